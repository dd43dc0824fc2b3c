// Paths in the card's own form: "" for the root, "\Album\Disc 1" below it,
// in UTF-16, as the scan forms, stores and compares them. A card path becomes
// a host path (UTF-8, relative to the working folder, the card's root) only
// when a folder is listed or a file is opened, and is shown in messages as
// that host path.
#ifndef CARDPREP_TEXT_CARD_PATH_H_
#define CARDPREP_TEXT_CARD_PATH_H_

#include <string>
#include <string_view>

// The card path of the entry |name| in the folder at |path|: the folder's
// path, a backslash and the name ("" and "A" give "\A"; "\A" and "B" give
// "\A\B"). Every card path below the root is made so.
std::u16string ChildPath(std::u16string_view path, std::u16string_view name);

// Maps a backslash path to a host path relative to the working folder:
// "\A\B" becomes "./A/B", "_FONT\X.FNT" becomes "./_FONT/X.FNT" and the root
// "" becomes ".".
std::string HostPath(std::u16string_view path);

// How a card path is shown in messages: as the host path below the
// working folder, with the host's separator ("Album/Disc 1"; on Windows
// "Album\Disc 1"), "." for the root.
std::string ShownPath(std::u16string_view path);

// The card path of a folder given as its host path below the card's root
// ("" for the root, "/Podcasts/Show" below it); false when that is not
// UTF-8.
bool CardPathOfHost(std::string_view below_root, std::u16string* card_path);

#endif  // CARDPREP_TEXT_CARD_PATH_H_
