// The checks cardprep-view makes. CheckIndex holds the files against each
// other: sizes, the header's counts, the links between folders, the sound
// ranges, the play order and the listing. CheckCard (card_check.h) holds
// them against the folders and files on the card.
//
// A problem is something the player would trip over or a run of cardprep
// would change: the index is damaged or older than the card. A note names
// MP3 files on the card that the scan leaves out by its own rules (names it
// cannot take, the format's limits): running cardprep again would not
// change them, so they do not make the index inconsistent.
#ifndef CARDPREP_TOOLS_VIEW_INDEX_CHECK_H_
#define CARDPREP_TOOLS_VIEW_INDEX_CHECK_H_

#include <string>
#include <vector>

#include "tools/view/card_index.h"

struct Findings {
  std::vector<std::string> problems;  // one line each, without "problem: "
  std::vector<std::string> notes;
  bool notes_beyond_music = false;  // a note is about something else than MP3 files
};

void CheckIndex(const CardIndex& index, Findings* findings);

// "sound 3" or "sounds 3-5".
std::string SoundRange(size_t first, size_t count);

#endif  // CARDPREP_TOOLS_VIEW_INDEX_CHECK_H_
