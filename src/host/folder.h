// Folders of the card, as the host has them. Entries come back in the order
// the host delivers them, with what the host knows about each: its name's
// bytes, whether it is a folder or a regular file, a symbolic link or an
// AppleDouble file, and when asked, a regular file's size and modification
// time. How names are read, and which entries the catalog takes, are the
// scan's rules (catalog/scan_rules.h), not this layer's.
#ifndef CARDPREP_HOST_FOLDER_H_
#define CARDPREP_HOST_FOLDER_H_

#include <string>
#include <string_view>
#include <vector>

#include "host/file_stamp.h"

enum class EntryKind { kFolder, kFile };

struct FolderEntry {
  std::string host_name;  // the name's bytes as the host gave them
  EntryKind kind = EntryKind::kFile;
  bool link = false;          // a symbolic link to a folder or regular file
  bool apple_double = false;  // a "._" file holding another system's metadata
  // Not empty when the system could not say what the entry is (why not):
  // |kind| then means nothing.
  std::string type_error;
  // A regular file's size and modification time (of the file a link names),
  // when they were asked for and the file was still there to say.
  bool has_stamp = false;
  FileStamp stamp;
};

// Which regular files a listing stamps, by their name's bytes.
using StampFilter = bool (*)(std::string_view host_name);

// Lists the folder at the host path |host_path|. Left out: "." and "..",
// entries that are neither folders nor regular files, dangling links and
// entries that vanished meanwhile. Returns false with |*why| when the folder
// cannot be opened; when reading stops early, |*read_error| says why and the
// entries read so far are kept. |*fault|, when given, tells either failure
// apart: true for a fault of the card or the system (an I/O error, no file
// descriptor or memory left), false for a folder that may not be read or is
// gone. Every regular file whose name |stamps| (when given) accepts also
// gets its stamp, at one fstatat each on the open folder where the listing
// does not carry it.
bool ListHostFolder(const std::string& host_path, std::vector<FolderEntry>* entries,
                    std::string* why, std::string* read_error, bool* fault = nullptr,
                    StampFilter stamps = nullptr);

enum class PathKind { kMissing, kFolder, kFile, kOther, kUnknown };
// What is at |host_path|, symbolic links followed; kUnknown when the
// system cannot say (an I/O error), with the reason in |*why| when given.
PathKind KindOfPath(const std::string& host_path, std::string* why = nullptr);

// Makes sure a real folder is at |host_path|, creating it when nothing is
// there. False with |*why| when it cannot be made, or when a symbolic link
// or anything but a folder stands there: that is never followed.
bool MakeFolderNoFollow(const std::string& host_path, std::string* why);

// Makes sure a folder is at |host_path|, creating it when nothing is there;
// a symbolic link to a folder counts as one. False with |*why| when it
// cannot be made or something else stands there.
bool MakeFolder(const std::string& host_path, std::string* why);

// Whether the card (the working folder) is on a FAT file system. The run
// asks once and passes the answer to whatever needs it.
bool CardIsFat();

// Makes the folder at |host_path| the working folder, as the card's root;
// false with |*why| when it cannot be entered.
bool EnterFolder(const std::string& host_path, std::string* why);

// When |host_path| names an existing folder inside the card (the working
// folder), relative to the card's root or absolute, symbolic links
// resolved: sets |*below_root| to its host path below the card's root (""
// for the root itself, "/A/B" below it) and returns true.
bool FolderBelowCardRoot(const std::string& host_path, std::string* below_root);

// |path| as an absolute host path, from the working folder, with "." and
// ".." and doubled or trailing separators taken out.
std::string AbsoluteHostPath(const std::string& path);

// Whether the existing folder |inner| is the folder |outer| or lies inside
// it, symbolic links resolved (on Windows: as their full paths say, in any
// case). False when either cannot be resolved.
bool FolderWithin(const std::string& inner, const std::string& outer);

// Removes the folder at |host_path| if it is empty; false with |*why| when
// it cannot (it is not empty, or the system says no).
bool RemoveEmptyFolder(const std::string& host_path, std::string* why);

#endif  // CARDPREP_HOST_FOLDER_H_
