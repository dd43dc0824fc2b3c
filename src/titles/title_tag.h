// Song titles from ID3 tags. Titles appear only in the listing for people;
// the player's files carry none.
#ifndef CARDPREP_TITLES_TITLE_TAG_H_
#define CARDPREP_TITLES_TITLE_TAG_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "titles/title_frames.h"

// Reads the title of the MP3 file |file_name| in the folder |folder_path|
// (card form: "" for the root) into |*title|: the last string of the last
// text field of the last "TIT2" frame of the file's tag, which holds the
// ID3v2 frames, or the ID3v1 title when there is no ID3v2 tag; none when
// the file has no such string.
//
// Returns false, with the reason in |*why|, when the file cannot be opened
// (only regular files are read) or read; it then has no title. Depends on
// nothing but the file, so it can run anywhere, a separate process
// included. |opened|, when given, learns the file's size once it is open,
// before its tag is read.
bool GetTitleTag(std::u16string_view folder_path, std::u16string_view file_name, Title* title,
                 std::string* why, const std::function<void(uint64_t size)>& opened = nullptr);

#endif  // CARDPREP_TITLES_TITLE_TAG_H_
