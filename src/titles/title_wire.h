// What the title reader and its worker processes say to each other: a
// request names a file, an answer brings its title or why there is none.
// Little-endian, each message one frame of the pool (bytes/frame.h):
//
//   request  folder units u32, folder path UTF-16, name units u32, name UTF-16
//   answer   length i32 (-1: no title), opened u8, reason bytes u32, reason,
//            title units u32, title UTF-16, from Latin-1 text u8
#ifndef CARDPREP_TITLES_TITLE_WIRE_H_
#define CARDPREP_TITLES_TITLE_WIRE_H_

#include <string>
#include <string_view>

#include "titles/title_frames.h"

std::string EncodeTitleRequest(std::u16string_view folder, std::u16string_view name);
// False for a request that is not one.
bool DecodeTitleRequest(const std::string& bytes, std::u16string* folder, std::u16string* name);

// |opened|: the file could be read; else |why| says why not.
std::string EncodeTitleAnswer(const Title& title, bool opened, const std::string& why);
// False for an answer that breaks the format, or whose title is longer than
// a title can be.
bool DecodeTitleAnswer(const std::string& bytes, Title* title, bool* opened, std::string* why);

#endif  // CARDPREP_TITLES_TITLE_WIRE_H_
