// The folder tree scan. The card is read in two passes over one tree:
//
// ScanFolder lists the card from the root, depth first, and builds the tree:
// which folders and MP3 files are taken, in which order, within which
// limits, with the counters the folder list needs. As soon as a folder's
// files are known their titles are asked for, so they are read while the
// scan goes on.
//
// GetSubDirInfo then visits the tree in the same order and does what shows:
// the progress lines, the folder names the player shows, the sound records
// and listing lines, and it drops folders that hold nothing.
//
// Paths are in the card's form: "" for the root, "\Album\Disc 1" below it.
#ifndef CARDPREP_CATALOG_FOLDER_SCAN_H_
#define CARDPREP_CATALOG_FOLDER_SCAN_H_

#include <string>
#include <string_view>

#include <vector>

#include "catalog/dir_info.h"
#include "catalog/sound_list.h"
#include "host/file.h"
#include "host/folder.h"
#include "titles/tag_charset.h"

// A folder path prefix from the command line.
struct FileUnitPrefix {
  std::u16string path;  // in the card's form
  std::string shown;    // as given, for messages
};

// What the command line says about the catalog.
struct ScanSettings {
  // Folders whose path begins with one of these are shuffled file by file.
  std::vector<FileUnitPrefix> file_unit_prefixes;
  // How titles stored as Latin-1 are read, and the decoders to read them
  // with (owned by the run; without them, only as Latin-1 or Shift-JIS).
  TagCharset tag_charset;
  CodePageDecoders* decoders = nullptr;
};

// Whether |name| ends in ".mp3" in any case: its last "." and what follows.
bool HasMp3Extension(std::u16string_view name);

// Whether |name| is one of the folders in which desktops keep the songs
// deleted from a removable card (".Trashes", ".Trash", ".Trash-<digits>",
// and Windows' "$RECYCLE.BIN" and "RECYCLER" in any case); the scan never
// enters them in the card's root.
bool IsTrashFolder(std::u16string_view name);

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
// Sets |*name| to the entry's name in UTF-16 when its bytes are UTF-8.
EntryRule ClassifyEntry(std::u16string_view folder_path, const FolderEntry& entry,
                        std::u16string* name);

// Whether |path| begins with one of the file-unit prefixes (compared unit by
// unit, case-sensitively); an empty prefix matches every path.
bool IsFileUnitFolder(const ScanSettings& settings, std::u16string_view path);

// Builds the card's tree from the working folder into g_catalog: scans it,
// warns about prefixes that match no folder, then writes the sound records
// and listing lines into |files|. Returns the root.
DirInfo* BuildCatalog(const ScanSettings& settings, SoundListFiles* files);

// For a prefix that matches no folder path of the tree below |root|, the
// prefix that would match when the intended one is plain: with a leading
// separator, without a trailing one, or differing only in case. Empty when
// it matches a folder or nothing plain would.
std::u16string PrefixThatWouldMatch(const DirInfo& root, std::u16string_view prefix,
                                    bool* matches);

// Builds |dir|'s subtree from the folder at |path|, handing every folder's
// sounds to the title reader.
void ScanFolder(const ScanSettings& settings, const std::u16string& path, DirInfo* dir);

// Writes the subtree of |dir| (at |path|) as the scan found it, then keeps
// only the children that hold sounds or folders.
void GetSubDirInfo(const ScanSettings& settings, const std::u16string& path, DirInfo* dir,
                   SoundListFiles* files);

// The text the player shows for the folder |name| in the folder
// |parent_name|: its own name, or for a name beginning with "disc" or "disk"
// in any case, "<name>|<parent's name>", since such folders look alike on
// the player's display.
std::u16string FolderShownText(const std::u16string& name, const std::u16string& parent_name);

// Makes |child|'s Shift-JIS name from FolderShownText. A name that had to be
// changed is noted in |listing|, and counted against |path| when given.
void NameFolder(DirInfo* child, const std::u16string& parent_name, OutFile* listing,
                const std::u16string* path = nullptr);

#endif  // CARDPREP_CATALOG_FOLDER_SCAN_H_
