// Where a card lies, as the person running the programs names it: the
// forms of the paths they type or drop on a program, the absolute folder
// such a path names, and the folders above it, where a card's root may be
// found when a program is started inside a card instead of at its root.
#ifndef CARDPREP_HOST_CARD_FOLDER_H_
#define CARDPREP_HOST_CARD_FOLDER_H_

#include <string>
#include <string_view>

// How an argument is written. On POSIX hosts a path beginning with "/" is
// absolute; on Windows "E:", "E:\Music" and "\\server\share" are, while
// "\Music" (one separator first) is a path on the card.
enum class ArgumentForm { kCardPath, kAbsolute, kRelative };
ArgumentForm FormOfArgument(std::string_view argument);

// What stands at |host_path| itself, a final symbolic link (or Windows
// reparse point) not followed.
enum class EntryType { kMissing, kFolder, kFile, kLink, kOther, kUnknown };
EntryType TypeOfEntry(const std::string& host_path, std::string* why = nullptr);

// The absolute path of the folder |host_path| names, as the system shows
// it ("/media/card", "E:\", "C:\Users\me"); false with |*why| when it
// cannot be had (it is missing, or may not be looked at).
bool AbsoluteFolder(const std::string& host_path, std::string* absolute, std::string* why);

// The folder holding |absolute| ("/media" for "/media/card", "E:\" for
// "E:\Music"); false at the top of its file system tree ("/", "E:\").
bool FolderAbove(const std::string& absolute, std::string* above);

// |folder| and a name in it: "/media/card" and "_FONT" give
// "/media/card/_FONT", "E:\" and "_FONT" give "E:\_FONT".
std::string InFolder(const std::string& folder, std::string_view name);

// Whether the path |inner| is |outer| or lies below it, as their text says
// (both absolute, as AbsoluteFolder gives them, |inner| need not exist;
// Windows compares them in any case).
bool PathWithin(const std::string& inner, const std::string& outer);

#endif  // CARDPREP_HOST_CARD_FOLDER_H_
