// The names the player shows: every folder and sound name as a Shift-JIS
// field (text/sjis_field.h), and the characters of them that code page 932
// cannot show at all, counted for one warning each at the end of the scan.
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
// |path|. Returns whether characters of it had to become "?", each of which
// is counted in |unshown| against |path|.
bool NameForPlayer(char* field, size_t size, std::u16string_view text, const std::u16string& path,
                   std::vector<UnshownCharacter>* unshown);

// One warning for every character counted.
void WarnAboutUnshownCharacters(const std::vector<UnshownCharacter>& unshown);

#endif  // CARDPREP_CATALOG_PLAYER_NAMES_H_
