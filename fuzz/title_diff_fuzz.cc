// Property: whatever an MP3 file holds, its title is absent or at most 259
// UTF-16 units with the length said, and the title read from its tag bytes is
// the title the tag library's own file reader gives, unit for unit, with
// the same length, whether the tags are decoded by the library or by the
// project's own decoder; except where that reader would never end (a SEEK
// frame leading back to a tag it has read), which the search reports, and,
// for the own decoder, where the library reads past its buffer (its title
// is not defined there).
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "support/title_reference.h"
#include "titles/tag_search.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  EnterScratchFolder();
  WriteScratchFile("song.mp3", data, size);
  Title title;
  std::string why;
  FUZZ_CHECK(GetTitleTag(u"", u"song.mp3", &title, &why), "the file would not open");
  const int32_t length = title.Length();
  FUZZ_CHECK(length >= -1 && length <= kMaxTitleLength, "a title length out of range");

  const int fd = open("song.mp3", O_RDONLY | O_CLOEXEC);
  FUZZ_CHECK(fd >= 0, "the file would not open again");
  TagSearchStats stats;
  const std::vector<TitleFrame> own = ReadFileTitles(fd, size, TagDecoder::kOwn, &stats);
  close(fd);
  if (stats.endless) return 0;
  const Title own_title = ChooseTitle(own);
  const int32_t own_length = own_title.Length();

  const ReferenceTitle want = ReadReferenceTitle("song.mp3");
  FUZZ_CHECK(want.finished, "the library's reader would not open the file");
  FUZZ_CHECK(length == want.length, "the title lengths differ");
  FUZZ_CHECK(length < 0 || title.text == want.text, "the titles differ");
  if (stats.past_end) return 0;
  FUZZ_CHECK(own_length == want.length, "the own decoder's title length differs");
  FUZZ_CHECK(own_length < 0 || own_title.text == want.text, "the own decoder's title differs");
  return 0;
}
