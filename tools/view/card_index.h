// What cardprep-view reads from a card: the five files cardprep writes in
// the card's root, decoded with the record layouts the writer uses, and
// what was odd about the files themselves (missing, not a whole number of
// records, larger than the player's limits, a text field without its NUL).
// Nothing here judges the links between records; index_check does.
#ifndef CARDPREP_TOOLS_VIEW_CARD_INDEX_H_
#define CARDPREP_TOOLS_VIEW_CARD_INDEX_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "index/folder_record.h"
#include "index/random_order.h"
#include "index/sound_record.h"

// One of the five files as found on the card.
struct IndexFile {
  const char* name = "";
  bool present = false;
  std::string why;      // why it could not be read, when not present
  uint64_t size = 0;    // bytes on the card
  bool cut = false;     // larger than the player can use; only the start was read
};

struct IndexedFolder {
  FolderRecord record;
  uint16_t path_bytes = 0;  // the record's path length field
  bool terminated = true;   // path and name fields hold their NUL
};

struct IndexedSound {
  SoundRecord record;
  bool terminated = true;  // the name field holds its NUL
};

// A sound's line of TAGINF16.TXT: its name field and, if listed, its title
// field, both still Shift-JIS and space padded.
struct ListingLine {
  std::string name;
  std::string title;
  bool has_title = false;
};

struct CardIndex {
  IndexFile dir_list, sound_list, play_order_file, message_file, listing_file;

  bool has_header = false;
  DirListHeader header;
  std::vector<IndexedFolder> folders;  // folders[n - 1] is folder number n
  std::vector<IndexedSound> sounds;    // sounds[k] is sound record k
  std::vector<RandomEntry> play_order;
  std::vector<uint8_t> messages;       // the whole messages of MSGSTR16.DAT
  std::vector<ListingLine> listing;
  std::string listing_error;           // where TAGINF16.TXT stopped making sense

  // Derived from the records.
  std::vector<uint16_t> sound_folder;  // per sound, the first folder claiming it (0: none)
  std::vector<bool> file_unit;         // per folder, whether it plays file by file
};

// Reads the index files in the working folder. Returns false, with |*why|,
// only when DIRLST16.DAT cannot be read at all; every other oddity is kept
// in |index| for the checks.
[[nodiscard]] bool ReadCardIndex(CardIndex* index, std::string* why);

// Folder number |number|'s record, or null when the list has none.
const IndexedFolder* FindFolder(const CardIndex& index, uint32_t number);

// A folder in the order the player walks the tree: the folder, its sounds,
// then each child's subtree in turn. Links that leave the list or come back
// to a folder already walked are not followed.
struct TreeStep {
  uint16_t number;
  int depth;  // 0 for the root
};
std::vector<TreeStep> WalkTree(const CardIndex& index);

// The text of a Shift-JIS field in UTF-8, its padding spaces trimmed.
std::string DisplayedName(const char* field, size_t size);
// A card path or name in UTF-8.
std::string Utf8(const std::u16string& text);
// "folder 4 \A\Disc 1", the way every line names a folder.
std::string FolderLabel(const CardIndex& index, uint32_t number);
// The card path of sound k within folder |number| ("\A\a1.mp3").
std::string SoundPath(const CardIndex& index, uint32_t number, size_t k);

#endif  // CARDPREP_TOOLS_VIEW_CARD_INDEX_H_
