// The catalog: the card's folder tree as the scan found it, as one value.
// Every folder owns its subfolders and its sounds, each with the name the
// player shows, and the ticket its sounds' titles are waited for with; the
// sound list writer keeps each title as read once it has it, the numbering
// gives the folders their numbers, and the writers of the index read it.
#ifndef CARDPREP_CATALOG_DIR_INFO_H_
#define CARDPREP_CATALOG_DIR_INFO_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/file_stamp.h"
#include "text/sjis_field.h"
#include "titles/title_frames.h"
#include "titles/title_reader.h"

// One MP3 file of a folder.
struct Sound {
  std::u16string name;                       // its own name, at most 128 units
  char sjis_name[kSoundNameFieldSize] = {};  // the name the player shows
  bool name_replaced = false;                // characters of it had to become "?"
  Title title;  // as read, once waited for (folder_titles.h): what the record keeps
  // The file's size and modification time as the folder listing gave them,
  // when it could: what tells the title record that the file is unchanged.
  bool has_stamp = false;
  FileStamp stamp;
};

// One folder.
struct DirInfo {
  char sjis_name[kFolderNameFieldSize] = {};  // the name the player shows
  bool name_replaced = false;                 // characters of it had to become "?"
  std::u16string name;                        // its own name, at most 64 units
  std::vector<DirInfo> children;  // sorted by name, at most 255
  std::vector<Sound> sounds;      // sorted by name, at most 255
  TitleTicket titles;             // the titles of |sounds|, asked of the title reader
  uint16_t first_sound = 0;       // index of the first sound record, 0 for none
  bool file_unit = false;         // shuffled file by file
  // Given by the numbering (numbering.h): the root is 1.
  uint16_t number = 0;
  uint16_t first_child = 0;  // number of the first child, 0 for none
  uint16_t parent = 0;       // number of the parent, 0 for the root
  uint16_t grandparent = 0;  // number of the parent's parent, 0 for none
};

// The counters the folder list header and the play order need.
struct CatalogCounters {
  uint16_t folder_count = 0;        // subfolders accepted, dropped ones included
  uint16_t sound_folder_count = 0;  // folders holding at least one sound
  uint16_t random_entry_count = 0;  // entries of the play order
  uint32_t sounds_taken = 0;        // against kMaxSounds
};

// The names of one folder that show "?" for characters code page 932 lacks
// and that have no look-alike: the folder's own name and its sounds'
// names, told in one warning.
struct UnshownNames {
  std::u16string folder;              // the folder's card path
  size_t names = 0;                   // names showing "?"
  std::u16string first;               // the card path of the first of them
  std::vector<char32_t> characters;   // each such character once, in the order met
};

// The card, as the scan found it (folder_scan.h).
struct Catalog {
  DirInfo root;
  CatalogCounters counters;
  std::vector<UnshownNames> unshown;  // one per folder, in the order met
};

#endif  // CARDPREP_CATALOG_DIR_INFO_H_
