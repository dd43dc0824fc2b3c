// The scan's rules: which entries of a folder the catalog takes, in which
// order, within which limits of the player's formats, and why it leaves
// one out. cardprep's scan follows them (folder_scan.h), and cardprep-view
// holds a card against them, so both tell the same story.
//
// Paths are in the card's form: "" for the root, "\Album\Disc 1" below it.
#ifndef CARDPREP_CATALOG_SCAN_RULES_H_
#define CARDPREP_CATALOG_SCAN_RULES_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/folder.h"

// Limits of the player's formats: one byte counts children and sounds, two
// bytes number folders and sounds.
constexpr size_t kMaxFolderName = 64;     // UTF-16 units
constexpr size_t kMaxFileName = 128;      // UTF-16 units
constexpr size_t kMaxScannedPath = 123;   // UTF-16 units
constexpr size_t kMaxChildren = 255;
constexpr size_t kMaxSoundsPerFolder = 255;
constexpr uint32_t kMaxSounds = 65535;
constexpr uint32_t kMaxFolders = 65534;   // below the root

// A folder path prefix from the command line.
struct FileUnitPrefix {
  std::u16string path;  // in the card's form
  std::string shown;    // as given, for messages
  // Not empty for a host path to a folder outside the card: the card's
  // root, as shown in messages. Such a prefix matches nothing.
  std::string outside_of;
};

// What the command line and the card say about the scan.
struct ScanSettings {
  // Folders whose path begins with one of these are shuffled file by file.
  std::vector<FileUnitPrefix> file_unit_prefixes;
  // The card is on a FAT file system (asked of the host once, by the run):
  // names holding "?" or ":" are then what a mount without utf8 made.
  bool card_is_fat = false;
};

// Whether |path| begins with one of the file-unit prefixes (compared unit by
// unit, case-sensitively); an empty prefix matches every path.
bool IsFileUnitFolder(const ScanSettings& settings, std::u16string_view path);

// Whether |name| ends in ".mp3" in any case: its last "." and what follows.
// The bytes of a name that is not UTF-8 are tested the same way.
bool HasMp3Extension(std::u16string_view name);
bool HasMp3Extension(std::string_view name);

// Whether |name| is one of the folders in which desktops keep the songs
// deleted from a removable card (".Trashes", ".Trash", ".Trash-<digits>",
// and Windows' "$RECYCLE.BIN" and "RECYCLER" in any case); the scan never
// enters them in the card's root.
bool IsTrashFolder(std::u16string_view name);
// Whether the trash folder |name| is one of Windows' recycle folders,
// which Windows makes on every card it deletes from.
bool IsRecycleFolder(std::u16string_view name);

// How many MP3 files the folder at |host_path| and its folders hold
// (links to folders not followed, at most 16 levels down), for folders the
// scan does not enter.
size_t CountMp3FilesIn(const std::string& host_path);

// Whether |name| is a folder other systems keep their own data in on a
// card ("System Volume Information", ".Spotlight-V100", ".fseventsd",
// ".TemporaryItems"); the scan never enters them in the card's root.
bool IsSystemFolder(std::u16string_view name);

// Whether |name| ends in the extension of an audio format the player
// cannot play (.m4a, .aac, .wma, .ogg, .opus, .flac, .wav), in any case.
bool IsUnplayableAudio(std::u16string_view name);

// What the scan does with one entry of the folder at |folder_path|, and
// why it leaves one out; the rules in the order they are applied.
enum class EntryRule {
  kTakeFolder,
  kTakeSound,
  kTypeUnreadable,  // the system cannot say what it is (with a warning)
  // Names the catalog could not open again by name (each with a warning).
  kNotUtf8,
  kBackslash,
  kFatUnshowable,  // the card is FAT, mounted without utf8: one warning for all
  kFolderLink,     // symbolic links to folders are never followed (no loops)
  kAppleDouble,    // another system's metadata, never audio: left out silently
  // Folders.
  kToolFolder,          // a name beginning with "_" (_FONT among them): silently
  kTrash,               // a trash folder in the card's root
  kSystemFolder,        // another system's folder in the card's root: silently
  kFolderNameTooLong,   // over 64 UTF-16 units
  // Files.
  kUnplayableAudio,     // audio the player cannot play: one warning a folder
  kNotMp3,              // silently
  kFileNameTooLong,     // over 128 UTF-16 units
};
// Host names are bytes, read as UTF-8: sets |*name| to the entry's name in
// UTF-16 when they are.
// |card_is_fat|: the card is on FAT (ScanSettings).
EntryRule ClassifyEntry(std::u16string_view folder_path, const FolderEntry& entry,
                        bool card_is_fat, std::u16string* name);

// Why a rule leaves out an entry that may hold music, in the words of a
// note ("the name is not valid UTF-8"); null for the rules that take an
// entry, or leave out one that is no music.
const char* LeftOutBecause(EntryRule rule);

// One folder's entries sorted out by the rules.
struct FolderContents {
  struct LeftOut {
    size_t entry;  // its position in the entries
    EntryRule rule;
    std::u16string name;  // empty when not UTF-8
  };
  std::vector<std::u16string> folders;     // taken by their names, sorted
  std::vector<std::u16string> sounds;      // MP3 files, sorted
  std::vector<size_t> sound_entries;       // the position of each of |sounds| in the entries
  std::vector<std::u16string> unplayable;  // sorted
  std::vector<LeftOut> left_out;           // in the order of the entries
};
FolderContents SortOutEntries(std::u16string_view folder_path,
                              const std::vector<FolderEntry>& entries, bool card_is_fat);

// Whether the folder at |path| lies too deep to be scanned; its parent
// still counts it.
inline bool PathTooLongToScan(std::u16string_view path) { return path.size() > kMaxScannedPath; }
// How many of a folder's |count| subfolders the player takes: the first
// 255 in sorted order.
inline size_t KeptSubfolders(size_t count) { return count < kMaxChildren ? count : kMaxChildren; }
// The subfolders of the folder at |path| that the scan enters, of its
// sorted |names|: those it keeps whose paths are not too long to scan.
std::vector<std::u16string> SubfoldersToEnter(std::u16string_view path,
                                              const std::vector<std::u16string>& names);

#endif  // CARDPREP_CATALOG_SCAN_RULES_H_
