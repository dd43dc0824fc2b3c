// Property: reading a folder's old titles again, in whatever code page the
// decision or the command line picks, gives each title at most one UTF-16
// unit per byte it was stored in, and leaves titles declared in Unicode as
// they were. The first byte picks the reading (auto or one code page); the
// rest is the folder's titles, one a line, one Latin-1 unit per byte; a
// title whose line begins with "U" is declared UTF-16 instead.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "titles/tag_charset.h"

namespace {

CodePageDecoders* Decoders() {
  static CodePageDecoders* decoders = [] {
    auto* d = new CodePageDecoders;
    std::string why;
    for (size_t i = 0; i < kCodePageCount; ++i) {
      FUZZ_CHECK(OpenCodePageDecoder(static_cast<CodePage>(i), d, &why), why.c_str());
    }
    FUZZ_CHECK(OpenCodePageDetector(d, &why), why.c_str());
    return d;
  }();
  return decoders;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  OpenConvertersOnce();
  if (size < 1) return 0;
  TagCharset charset;
  if (data[0] % (kCodePageCount + 1) != 0) {
    charset.automatic = false;
    charset.page = static_cast<CodePage>(data[0] % (kCodePageCount + 1) - 1);
  }
  std::vector<std::u16string> texts(1);
  for (size_t i = 1; i < size; ++i) {
    if (data[i] == '\n') {
      texts.emplace_back();
    } else {
      texts.back().push_back(data[i]);
    }
  }
  std::vector<Title> titles;
  for (const std::u16string& t : texts) {
    Title title;
    title.found = true;
    title.text = t;
    title.latin1 = t.empty() || t[0] != u'U';
    titles.push_back(title);
  }
  const std::vector<Title> stored = titles;
  const TagCharsetDecision d = RecodeFolderTitles(charset, Decoders(), &titles);
  FUZZ_CHECK(static_cast<size_t>(d.page) < kCodePageCount, "no code page");
  FUZZ_CHECK(d.recoded_titles + d.windows1252_titles <= titles.size(), "more titles read");
  for (size_t i = 0; i < titles.size(); ++i) {
    FUZZ_CHECK(titles[i].text.size() <= stored[i].text.size(), "a title grew beyond its bytes");
    if (!stored[i].latin1) FUZZ_CHECK(titles[i].text == stored[i].text, "a Unicode title changed");
  }
  return 0;
}
