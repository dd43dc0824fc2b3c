// One run of cardprep in the card's root: fonts, the catalog build, and the
// files the player reads.
#ifndef CARDPREP_APP_RUN_H_
#define CARDPREP_APP_RUN_H_

#include "app/args.h"
#include "catalog/folder_scan.h"
#include "catalog/sound_list.h"

// Runs the whole tool in the working folder. Returns the exit status, which
// is 0 whatever was reported.
int RunCardprep(const Args& args);

// The catalog build: scans the card, writing the sound list and the
// listing as it goes, numbers the folders, writes the play order and the
// folder list. Returns true when it ran to its end.
bool MakeDirListFile(const ScanSettings& settings, SoundListFiles* files);

#endif  // CARDPREP_APP_RUN_H_
