// The names the player shows: every folder and sound name as a Shift-JIS
// field (text/sjis_field.h), and the characters of them that code page 932
// cannot show at all, gathered folder by folder for one warning each at the
// end of the scan (a Korean or Chinese album would otherwise give a line
// for every letter of its names).
#ifndef CARDPREP_CATALOG_PLAYER_NAMES_H_
#define CARDPREP_CATALOG_PLAYER_NAMES_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/dir_info.h"

// The text the player shows for the folder |name| in the folder
// |parent_name|: its own name, or for a name beginning with "disc" or "disk"
// in any case, "<name>|<parent's name>", since such folders look alike on
// the player's display.
std::u16string FolderShownText(const std::u16string& name, const std::u16string& parent_name);

// Fills the Shift-JIS |field| of |size| bytes from |text|, the name of
// |path|. Returns whether characters of it had to become "?"; then the name
// and those characters are counted in |unshown| for |folder|: the folder
// |path| names itself, or the folder of the sound it names. A folder's
// names are given one after another, its own first.
bool NameForPlayer(char* field, size_t size, std::u16string_view text, const std::u16string& path,
                   const std::u16string& folder, std::vector<UnshownNames>* unshown);

// What is said of |names| names of a folder (shown as |folder|) that show
// "?" for |characters|: how many, up to ten of the characters (one above
// U+FFFF said to show as "??", one "?" per UTF-16 unit), the first name
// (shown as |first|), and what to do.
std::string DescribeUnshownNames(size_t names, const std::vector<char32_t>& characters,
                                 const std::string& folder, const std::string& first);

// One warning for each folder counted.
void WarnAboutUnshownCharacters(const std::vector<UnshownNames>& unshown);

// How many characters the names show as "?", each counted once.
size_t CountUnshownCharacters(const std::vector<UnshownNames>& unshown);

#endif  // CARDPREP_CATALOG_PLAYER_NAMES_H_
