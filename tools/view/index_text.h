// The index as people read it: the header, the folder tree in the order
// the player walks it (each folder's sounds before its subfolders), the
// play order in file order, and the check's findings. Names are shown as
// the player shows them: the Shift-JIS fields in UTF-8, padding trimmed.
#ifndef CARDPREP_TOOLS_VIEW_INDEX_TEXT_H_
#define CARDPREP_TOOLS_VIEW_INDEX_TEXT_H_

#include <string>

#include "tools/view/card_index.h"
#include "tools/view/index_check.h"

std::string TreeText(const CardIndex& index);
std::string PlayOrderText(const CardIndex& index);
std::string FindingsText(const Findings& findings);

// |text| with control characters as \xNN, so that one name stays one line.
std::string Printable(const std::string& text);

#endif  // CARDPREP_TOOLS_VIEW_INDEX_TEXT_H_
