// The tag library's (libid3tag's) decoding of one tag, given as the titles
// take it (title_frames.h): how titles are read on Linux, and what the
// project's own decoder is held to.
#ifndef CARDPREP_TITLES_TAG_LIBRARY_H_
#define CARDPREP_TITLES_TAG_LIBRARY_H_

#include <cstddef>
#include <cstdint>

#include "titles/title_frames.h"

// id3_tag_query.
long QueryTagWithLibrary(const uint8_t* data, size_t length);

// id3_tag_parse of the |length| bytes at |data|, its title frames and
// "SEEK" frame taken into |*tag|; false when the library fails the tag.
bool DecodeTagWithLibrary(const uint8_t* data, size_t length, TagTitles* tag);

#endif  // CARDPREP_TITLES_TAG_LIBRARY_H_
