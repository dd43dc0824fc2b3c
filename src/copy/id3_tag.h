// The ID3v2.3 tag an encoded file begins with: title, artist, album, track
// and disc as UTF-16 text, and a private frame that says which source the
// file was made from (copy_record.h), so that a run whose record was lost
// still knows the file as its own.
//
//   offset size
//    0      3   "ID3"
//    3      2   version 3.0
//    5      1   flags, 0 (no unsynchronisation, no extended header)
//    6      4   size of the frames, syncsafe
//   10          frames, each:
//                 0  4  frame ID ("TIT2")
//                 4  4  size of the body, big-endian
//                 8  2  flags, 0
//                10     body
// A text frame's body: 01 (UTF-16 with a byte order mark), FF FE, the text
// in UTF-16LE, no terminator. The private frame's body: its owner
// "cardprep-copy", a NUL, then the origin's bytes.
#ifndef CARDPREP_COPY_ID3_TAG_H_
#define CARDPREP_COPY_ID3_TAG_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// A source's tags as FFmpeg gives them, in UTF-8.
struct AudioTags {
  std::string title, artist, album, track, disc;
};

constexpr size_t kId3HeaderSize = 10;
constexpr size_t kId3FrameHeaderSize = 10;
constexpr char kOriginOwner[] = "cardprep-copy";

// The tag for |tags| and |origin| (empty: no private frame). Text is cleaned
// first: a byte sequence that is not UTF-8 is read as Latin-1, control
// characters (a line feed among them) become spaces, spaces at either end
// go, and a track or disc keeps only its "N" or "N/M". Empty fields get no
// frame.
std::string BuildId3Tag(const AudioTags& tags, std::string_view origin);

// The origin in the private frame of the ID3v2 tag |bytes| begins with
// (version 3 or 4, as a tagger may have rewritten it); false when there is
// none, or the tag is cut short.
bool FindOrigin(std::string_view bytes, std::string* origin);

// How many bytes of a file FindOrigin needs to see: the tag's size from its
// header, or 0 when |header| (10 bytes) is no ID3v2 header.
size_t Id3TagSize(std::string_view header);

#endif  // CARDPREP_COPY_ID3_TAG_H_
