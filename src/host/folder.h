// Listing a folder of the card. Entries come back with UTF-16 names in the
// order the host delivers them; what cannot be one of the card's names is
// left out here, so the catalog sees only folders and regular files it can
// open again by name.
#ifndef CARDPREP_HOST_FOLDER_H_
#define CARDPREP_HOST_FOLDER_H_

#include <string>
#include <string_view>
#include <vector>

enum class EntryKind { kFolder, kFile };

struct FolderEntry {
  std::u16string name;
  EntryKind kind;
};

// Lists the folder at the backslash path |path| ("" is the working folder).
// Left out, with a warning each: names that are not valid UTF-8 or hold a
// backslash (they could not be opened by name again) and symbolic links to
// folders (never followed, so no loops). On a FAT card mounted without
// UTF-8 names, names holding "?" or ":" (characters the mount could not
// show, which no FAT name can hold) are left out with one warning for the
// whole run. Left out silently: "." and "..", entries that are neither
// folders nor regular files (a symbolic link to a regular file is a file),
// and AppleDouble files ("._" names holding another system's metadata).
// Returns false, with a warning, when the folder cannot be read.
bool ListFolder(std::u16string_view path, std::vector<FolderEntry>* entries);

// Whether the card (the working folder) is on a FAT file system; asked of
// the system once.
bool CardIsFat();
// Test fixtures only: take the card as FAT or not, whatever it is.
void SetCardIsFatForTesting(bool fat);

// Whether the file |name| in the open folder |dir_fd| is an AppleDouble
// file: other systems leave metadata in "._" files beside the real ones,
// and their first four bytes are the AppleDouble magic number 00 05 16 07.
bool IsAppleDouble(int dir_fd, const char* name);

// How a backslash path is shown in messages: as the host path below the
// working folder ("Album/Disc 1"), "." for the root.
std::string ShownPath(std::u16string_view path);

#endif  // CARDPREP_HOST_FOLDER_H_
