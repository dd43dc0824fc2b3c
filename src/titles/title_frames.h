// The title frames of ID3 tags, decoded by the project itself. On Linux the
// titles are read through the tag library (libid3tag); it cannot be had for
// Windows, so this decoder stands in for it there, and it gives what the
// library gives, quirks included: the same tags parse and the same tags
// fail (one frame that does not parse fails its whole tag), and the same
// strings come out of the title frames. The differential test and fuzz
// target hold the two equal on every input the library finishes.
//
// What the library does that a title depends on:
//   ID3v1     the 30-byte title up to its first NUL, trailing spaces cut,
//             read as Latin-1; an empty one is no title.
//   ID3v2     versions 2, 3 and 4. Version 2's frames take their version 4
//             names ("TT2" is "TIT2"); unsynchronisation is undone over the
//             whole tag in versions 2 and 3, frame by frame in version 4;
//             compressed frames are inflated with zlib and must come out at
//             the length they declare; encrypted frames and frames with
//             unknown format flags are kept without their fields.
//   fields    every field of every frame is parsed by its frame's layout,
//             and a field the data cannot fill fails the tag: a text
//             encoding above 3, a number or language cut short.
//   strings   ISO-8859-1, UTF-16 (with a byte order mark, else big-endian;
//             lone surrogates dropped; an odd last byte taken), UTF-16BE and
//             UTF-8 (bytes of no character skipped, five- and six-byte forms
//             read), each up to its NUL; a title frame's list holds every
//             string up to the frame's end, an empty one after a final NUL
//             included, and a line feed in it is read as a space.
//   title     the last string of the list that is not empty (a writer's
//             terminator after the title, "Title\0\0", reads as one more,
//             empty string, which would lose the title), or an empty one
//             when all are; the same whichever decoder reads the tag.
//   UTF-16    the strings handed on: characters above U+10FFFF become U+00B7.
// Where the library reads a byte past its buffer (unsynchronised data
// ending in FF 00, whose last byte it copies from there), that byte is taken
// as 0, which gives the data as its writer meant it; what the library gives
// there is not defined.
#ifndef CARDPREP_TITLES_TITLE_FRAMES_H_
#define CARDPREP_TITLES_TITLE_FRAMES_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A title keeps at most this many UTF-16 units; longer ones are cut.
constexpr int32_t kMaxTitleLength = 259;

// A title frame of a tag ("TIT2", as ID3v1's title and ID3v2.2's "TT2"
// count too).
struct TitleFrame {
  bool latin1 = false;    // its text is declared ISO-8859-1, as ID3v1's is
  bool has_text = false;  // it holds a string
  std::u16string text;    // its last string that is not empty, else ""
};

// A sound's title, as the listing shows it.
struct Title {
  bool found = false;   // the file has a title (which may be empty)
  std::u16string text;  // at most kMaxTitleLength units
  // It came from Latin-1 text (ID3v1, or ID3v2 text declared ISO-8859-1):
  // one unit <= U+00FF per stored byte.
  bool latin1 = false;
  // The title reader has filled it in (title_reader.h), found or not.
  bool read = false;
  // The file could not be read (a warning said why): it has no title, and
  // the title record does not keep it, so the next run tries again.
  bool failed = false;

  // Its length in UTF-16 units, -1 for none.
  int32_t Length() const { return found ? static_cast<int32_t>(text.size()) : -1; }
};

// What a search for a file's title takes from one tag.
struct TagTitles {
  unsigned version = 0;   // major << 8 | revision; 0x0100 or 0x0101 for ID3v1
  bool update = false;    // its extended header marks it an update of the tags before
  bool has_seek = false;  // it holds a "SEEK" frame, whose offset is |seek|
  int64_t seek = 0;
  std::vector<TitleFrame> titles;  // its title frames, in order
  bool past_end = false;  // the library reads past its buffer on this tag
};

// Empties |*tag| for the next tag, keeping what it has allocated.
void ResetTagTitles(TagTitles* tag);

// Appends the character |c| to |*text| as the tag library hands titles on
// in UTF-16: above U+FFFF as a surrogate pair, above U+10FFFF as U+00B7.
void AppendTitleUnits(char32_t c, std::u16string* text);

// How many bytes QueryTag looks at.
constexpr size_t kTagQuerySize = 10;

// The size of the tag that begins at |data| (|length| bytes there): 128 for
// ID3v1, header, body and any footer for ID3v2; for an ID3v2 footer, minus
// the size of the tag it ends; 0 for no tag.
long QueryTag(const uint8_t* data, size_t length);

// Decodes the tag of |length| bytes at |data| into |*tag|. Returns false
// where the tag library fails to parse the tag.
bool DecodeTag(const uint8_t* data, size_t length, TagTitles* tag);

// The title among |frames| (a file's title frames in the order its tags were
// merged): the text of the last frame that holds a string, cut to
// kMaxTitleLength units; none when no frame holds a string.
Title ChooseTitle(const std::vector<TitleFrame>& frames);

#endif  // CARDPREP_TITLES_TITLE_FRAMES_H_
