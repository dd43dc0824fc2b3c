// The five files of the player's index, which a run writes into the card's
// root, and the outputs it writes them into, each opened by OpenIndexFile
// (index_file.h).
#ifndef CARDPREP_INDEX_INDEX_FILES_H_
#define CARDPREP_INDEX_INDEX_FILES_H_

#include "host/file.h"
#include "index/dir_list.h"
#include "index/index_file.h"
#include "index/listing.h"
#include "index/message_file.h"
#include "index/random_order.h"
#include "index/sound_list.h"

constexpr const char* kIndexFileNames[] = {kDirListFileName, kSoundListFileName,
                                           kRandomOrderFileName, kMessageFileName,
                                           kListingFileName};

// The run's outputs, each written aside under a temporary name and put in
// place only at the end of the run, so that a run that fails or is stopped
// leaves the index the card had.
struct IndexFiles {
  SoundListFiles scan;  // SNDLST16.DAT and TAGINF16.TXT
  OutFile play_order;   // RANDOM16.DAT
  OutFile dir_list;     // DIRLST16.DAT
  OutFile messages;     // MSGSTR16.DAT
};

#endif  // CARDPREP_INDEX_INDEX_FILES_H_
