// The decoded index as one JSON object, for scripts. Strings are UTF-8;
// names appear twice, as stored ("name", "path": the UTF-16 names the
// player opens files by) and as shown ("displayed": the Shift-JIS field,
// padding trimmed).
//
//   {"header": {"folder_count", "sound_folder_count", "time"} or null,
//    "folders": [{"number", "path", "name", "displayed", "parent",
//                 "grandparent", "first_child", "child_count", "first_sound",
//                 "sound_count", "file_unit"}, ...]      in number order,
//    "tree": [folder numbers in the order the player walks them],
//    "sounds": [{"index", "folder" (null: no folder claims it), "name",
//                "displayed", "title" (null: none listed)}, ...],
//    "play_order": [{"kind", "folder", "file"}, ...]     in file order,
//    "messages": count, "problems": [lines], "notes": [lines]}
#ifndef CARDPREP_TOOLS_VIEW_INDEX_JSON_H_
#define CARDPREP_TOOLS_VIEW_INDEX_JSON_H_

#include <string>

#include "tools/view/card_index.h"
#include "tools/view/index_check.h"

std::string IndexJson(const CardIndex& index, const Findings& findings);

// |text| (UTF-8) as a JSON string literal, quotes included.
std::string JsonString(const std::string& text);

#endif  // CARDPREP_TOOLS_VIEW_INDEX_JSON_H_
