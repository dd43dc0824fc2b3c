// One run of cardprep in the card's root: fonts, the catalog build, and the
// files the player reads.
#ifndef CARDPREP_APP_RUN_H_
#define CARDPREP_APP_RUN_H_

#include "app/args.h"
#include "catalog/dir_list.h"
#include "catalog/folder_scan.h"
#include "catalog/listing.h"
#include "catalog/sound_list.h"
#include "host/file.h"
#include "messages/message_file.h"
#include "playorder/random_order.h"

// The five files a run writes into the card's root.
constexpr const char* kIndexFileNames[] = {kDirListFileName, kSoundListFileName,
                                           kRandomOrderFileName, kMessageFileName,
                                           kListingFileName};

// The run's outputs, each written aside under a temporary name and put in
// place only at the end of the run (PutInPlace), so that a run that fails or
// is stopped leaves the index the card had.
struct IndexFiles {
  SoundListFiles scan;  // SNDLST16.DAT and TAGINF16.TXT, written during the scan
  OutFile play_order;   // RANDOM16.DAT
  OutFile dir_list;     // DIRLST16.DAT
  OutFile messages;     // MSGSTR16.DAT
};

// Holds memory back for the end of a run, and makes a run that runs out
// of memory end in order: the first allocation that fails takes the
// reserve, and the run keeps the card's index; the next one ends the run at
// once (one error line, nothing of the run left behind, exit status 1).
// Called first, before anything is allocated.
void HoldMemoryInReserve();

// Runs the whole tool in the working folder. Returns the exit status: 0, or
// 1 when an error was reported.
int RunCardprep(const Args& args);

// The catalog build: scans the card, writing the sound list and the
// listing as it goes, numbers the folders, writes the play order and the
// folder list. Returns true when it ran to its end.
bool MakeDirListFile(const ScanSettings& settings, IndexFiles* files);

#endif  // CARDPREP_APP_RUN_H_
