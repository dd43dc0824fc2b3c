// Cuts an ID3v2 tag down to what its title depends on before the tag
// library parses it. The library copies and parses every frame of a tag,
// cover art included, and fails the whole tag when one frame fails; a
// crafted frame (millions of strings, thousands of obsolete frames, a title
// that inflates to gigabytes) can make it run for minutes or ask for
// gigabytes. So the frame headers are walked here, once, and:
//   - a frame is left out when it can be shown to parse (and so could not
//     have failed the tag) and to play no part in the title: a text frame
//     other than the title, a comment, lyrics, a private frame, an object or
//     a picture, whose few leading bytes are checked the way the library
//     parses them, and the frames the library keeps as bytes whatever they
//     hold (unknown and experimental ones, links, ID3v2.3 obsolete frames);
//   - a title frame ("TIT2") is handed over rebuilt: inflated here in small
//     pieces when compressed, its strings walked here, and only the title
//     (its last string that is not empty, title_frames.h), as far as a
//     title reaches, handed over uncompressed (or a frame that fails the
//     tag where the library would fail it);
//   - every other frame is handed over as it is: the frames that point to
//     further tags ("SEEK"), and whatever is compressed, unsynchronised frame
//     by frame or damaged, so the library decides about those as before.
// A tag it cannot walk with certainty (ID3v2.2, a CRC over the frames, a
// damaged extended header) is handed over whole.
//
// The cut tag keeps the version, and in ID3v2.4 the extended header (which
// says whether the tag updates an earlier one); an ID3v2.3 tag is handed over
// already resynchronised, without its extended header and padding.
#ifndef CARDPREP_TITLES_TAG_CUT_H_
#define CARDPREP_TITLES_TAG_CUT_H_

#include <cstdint>
#include <vector>

#include "titles/file_bytes.h"

// Writes to |*out| the tag to parse in place of the ID3v2 tag of |length|
// bytes (header, body and any footer) at |at| in |file|. Returns false when
// the file cannot supply the bytes; the tag then counts as unreadable.
[[nodiscard]] bool CutTagForTitle(FileBytes* file, uint64_t at, uint64_t length,
                                  std::vector<uint8_t>* out);

#endif  // CARDPREP_TITLES_TAG_CUT_H_
