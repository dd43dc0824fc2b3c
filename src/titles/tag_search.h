// The title of an MP3 file (GetTitleTag, below), from its ID3 tags. Titles
// appear only in the listing for people; the player's files carry none.
//
// Finds the ID3 tags of an MP3 file and merges them into one, as the tag
// library's own file reader does, but reading only the bytes the tags lie in
// (file_bytes.h: no stdio buffering and seeking) and cutting each ID3v2 tag
// down to what its title depends on first (tag_cut.h).
//
// Where the library looks, and in which order the tags it finds are merged:
//   1. an ID3v1 tag in the last 128 bytes (which may also be where an ID3v2
//      tag begins);
//   2. an ID3v2 tag at the start of the file, then each further tag that a
//      "SEEK" frame of the tag before points to, counted from the end of
//      that tag;
//   3. an ID3v2 tag appended at the end, before any ID3v1 tag, found through
//      its footer.
// A tag that overlaps one found before is left out; one found again (same
// place, same size) is not merged twice. A tag merged replaces every frame
// merged before it, unless its extended header marks it as an update, whose
// frames are added after them. A tag that fails to parse changes nothing.
//
// The tags found are decoded by the tag library where the build has it
// (Linux), else by the project's own decoder (title_frames.h), which gives
// the same titles; CARDPREP_OWN_TITLE_DECODER makes it the one used.
#ifndef CARDPREP_TITLES_TAG_SEARCH_H_
#define CARDPREP_TITLES_TAG_SEARCH_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "titles/title_frames.h"

enum class TagDecoder { kLibrary, kOwn };
#if defined(CARDPREP_OWN_TITLE_DECODER) || !defined(CARDPREP_HAVE_ID3TAG)
constexpr TagDecoder kTitleDecoder = TagDecoder::kOwn;
#else
constexpr TagDecoder kTitleDecoder = TagDecoder::kLibrary;
#endif

// What a search took, for the benchmarks and the differential checks.
struct TagSearchStats {
  unsigned reads = 0;    // reads of the file
  unsigned tags = 0;     // tags found and parsed
  // The library's reader would never end on this file: a "SEEK" frame
  // leads it back to a tag it has read, over and over. The search stops
  // there instead.
  bool endless = false;
  // A read of the file failed (the error's number): the tag found may lack
  // what the unread bytes held.
  int read_error = 0;
  // The library reads past its buffer on a tag of this file (title_frames.h),
  // so what it gives is not defined; the own decoder takes the byte as 0.
  bool past_end = false;
};

// The title frames of the open file |fd| of |size| bytes, as the library's
// reader would merge them, in its order; none for a file without tags.
std::vector<TitleFrame> ReadFileTitles(int fd, uint64_t size, TagDecoder decoder = kTitleDecoder,
                                       TagSearchStats* stats = nullptr);

// Reads the title of the MP3 file |file_name| in the folder |folder_path|
// (card form: "" for the root) into |*title|: the last string that is not
// empty (an empty one when all are) of the last text field of the last
// "TIT2" frame of the file's tag, which holds the
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

#endif  // CARDPREP_TITLES_TAG_SEARCH_H_
