// One run of cardprep in the card's root: fonts, the catalog build, and the
// files the player reads.
#ifndef CARDPREP_APP_RUN_H_
#define CARDPREP_APP_RUN_H_

#include "app/args.h"
#include "catalog/dir_info.h"
#include "catalog/scan_rules.h"
#include "index/index_files.h"
#include "index/sound_list.h"

// Holds memory back for the end of a run, and makes a run that runs out
// of memory end in order: the first allocation that fails takes the
// reserve, and the run keeps the card's index; the next one ends the run at
// once (one error line, nothing of the run left behind, exit status 1).
// Called first, before anything is allocated.
void HoldMemoryInReserve();

// Runs the whole tool in the working folder. Returns the exit status: 0, or
// 1 when an error was reported.
int RunCardprep(const Args& args);

// The catalog build: scans the card into |catalog|, asking |writer|'s
// title reader for the titles, writes the sound list and the listing with
// |writer|, numbers the folders, writes the play order and the folder list
// into |files|. Returns true when it ran to its end.
bool MakeDirListFile(const ScanSettings& settings, SoundListWriter* writer, Catalog* catalog,
                     IndexFiles* files);

#endif  // CARDPREP_APP_RUN_H_
