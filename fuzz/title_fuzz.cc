// Property: whatever an MP3 file holds, its title is absent or at most 259
// UTF-16 units, with the length said.
#include <cstdint>
#include <string>

#include "catalog/title_tag.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  EnterScratchFolder();
  WriteScratchFile("song.mp3", data, size);
  std::u16string title;
  int32_t length = 0;
  std::string why;
  FUZZ_CHECK(GetTitleTag(u"", u"song.mp3", &title, &length, &why), "the file would not open");
  FUZZ_CHECK(length >= -1 && length <= kMaxTitleLength, "a title length out of range");
  if (length >= 0) FUZZ_CHECK(title.size() == size_t(length), "the length is not the title's");
  return 0;
}
