// The wire between the title reader (title_reader.h) and its workers
// (title_worker.h): how a worker is started, and the bytes of a request and
// of its answer, each one frame of the process pool (bytes/frame.h). Both
// ends encode and decode here, so a field changes in one place.
#ifndef CARDPREP_TITLES_TITLE_WIRE_H_
#define CARDPREP_TITLES_TITLE_WIRE_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "titles/title_frames.h"

// The flag that makes this program a title worker.
constexpr char kTitleWorkerFlag[] = "--title-worker";

// A request names one file, little-endian:
//
//   folder units u32, folder path UTF-16 (card form), name units u32,
//   name UTF-16
std::string EncodeTitleRequest(std::u16string_view folder, std::u16string_view name);
// False for a request that is not one.
bool DecodeTitleRequest(const std::string& bytes, std::u16string* folder, std::u16string* name);

// The answer to a request, little-endian:
//
//   length i32 (-1: no title), opened u8, reason bytes u32, reason,
//   title units u32, title UTF-16, from Latin-1 text u8
//
// |opened|: the file could be read; else |why| says why not.
std::string EncodeTitleAnswer(const Title& title, bool opened, const std::string& why);
// False for an answer that breaks the format, or whose title is longer than
// a title can be.
bool DecodeTitleAnswer(const std::string& bytes, Title* title, bool* opened, std::string* why);

#endif  // CARDPREP_TITLES_TITLE_WIRE_H_
