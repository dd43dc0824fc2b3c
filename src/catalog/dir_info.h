// The folder tree of the card and the counters the output files need. The
// scan builds the tree once; the writers, the numbering and the play order
// read it afterwards.
#ifndef CARDPREP_CATALOG_DIR_INFO_H_
#define CARDPREP_CATALOG_DIR_INFO_H_

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "text/sjis_field.h"
#include "titles/code_page.h"

// One folder.
struct DirInfo {
  char sjis_name[kFolderNameFieldSize] = {};  // the name the player shows
  std::u16string name;                        // its own name, at most 64 units
  uint16_t number = 0;        // folder number; the root is 1
  uint16_t first_child = 0;   // number of the first child, 0 for none
  // Sorted by name, at most 255. Each folder stays where it was made, so
  // links to it hold while its siblings are sorted or dropped.
  std::vector<std::unique_ptr<DirInfo>> children;
  int32_t sound_count = 0;    // MP3 files taken, at most 255
  uint16_t first_sound = 0;   // index of the first sound record, 0 for none
  DirInfo* parent = nullptr;  // none for the root
  bool file_unit = false;     // shuffled file by file
};

// Limits of the player's formats: one byte counts children and sounds, two
// bytes number folders and sounds.
constexpr size_t kMaxFolderName = 64;     // UTF-16 units
constexpr size_t kMaxFileName = 128;      // UTF-16 units
constexpr size_t kMaxScannedPath = 123;   // UTF-16 units
constexpr size_t kMaxChildren = 255;
constexpr size_t kMaxSoundsPerFolder = 255;
constexpr uint32_t kMaxSounds = 65535;
constexpr uint32_t kMaxFolders = 65534;   // below the root

// The counters the folder list header and the play order need.
struct CatalogCounters {
  uint16_t folder_count = 0;        // subfolders accepted, dropped ones included
  uint16_t sound_folder_count = 0;  // folders holding at least one sound
  uint16_t sound_index = 0;         // next record of SNDLST16.DAT
  uint16_t random_entry_count = 0;  // entries of the play order
  uint32_t sounds_taken = 0;        // by the scan, against kMaxSounds
  // Titles stored as Latin-1, read in another code page, by code page.
  std::array<uint32_t, kCodePageCount> recoded_titles{};
  uint32_t windows1252_titles = 0;  // ... and read as Windows-1252
};

// A character of the names the player shows that code page 932 lacks and
// that has no look-alike: those names show "?" in its place.
struct UnshownCharacter {
  char32_t code_point = 0;
  size_t names = 0;       // names holding it
  std::u16string first;   // the card path of the first of them
};

// The card's tree and its counters: built by the scan (folder_scan.h), which
// alone writes them; numbered by the folder list writer; read by the rest.
struct CatalogState {
  std::unique_ptr<DirInfo> root;
  CatalogCounters counters;
  bool fat_names_warned = false;  // names a FAT mount could not show: said once
  std::vector<UnshownCharacter> unconvertible;  // in the order first met
};
extern CatalogState g_catalog;
void ResetCatalogState();  // run order and test fixtures only

#endif  // CARDPREP_CATALOG_DIR_INFO_H_
