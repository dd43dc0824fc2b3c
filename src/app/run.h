// One run of cardprep in the card's root: fonts, the catalog build, and the
// files the player reads.
#ifndef CARDPREP_APP_RUN_H_
#define CARDPREP_APP_RUN_H_

#include "app/args.h"
#include "catalog/dir_info.h"
#include "catalog/listing_ahead.h"
#include "catalog/scan_rules.h"
#include "host/system.h"
#include "index/index_files.h"
#include "index/sound_list.h"
#include "report/run_report.h"

// Holds memory back for the end of a run, and makes a run that runs out
// of memory end in order: the first allocation that fails takes the
// reserve, and the run keeps the card's index; the next one ends the run at
// once (one error line, nothing of the run left behind, exit status 1).
// Called first, before anything is allocated.
void HoldMemoryInReserve();

// Runs the whole tool in the working folder. Returns the exit status: 0, or
// 1 when an error was reported.
int RunCardprep(Args args);

// The catalog build: scans the card into |catalog|, asking |writer|'s
// title reader for the titles and taking the folders |ahead| (may be null)
// lists, writes the sound list and the listing with |writer|, numbers the
// folders, writes the play order (shuffled with |hooks|' random numbers)
// and the folder list (written at |hooks|' time) into |files|. Returns true
// when it ran to its end.
bool MakeDirListFile(const ScanSettings& settings, const HostHooks& hooks, SoundListWriter* writer,
                     ListingAhead* ahead, Catalog* catalog, IndexFiles* files,
                     RunReport* report);

// Where the run takes random numbers and the time of day from: the
// system's, or, with SOURCE_DATE_EPOCH set to a number of seconds since
// 1970, that time (in UTC, for the folder list's time of writing) and
// numbers drawn from a generator seeded with it (for the play order), so
// that the same card gives the same files byte for byte.
HostHooks ChooseHostHooks();

#endif  // CARDPREP_APP_RUN_H_
