// Titles and code page decoders for the tests of the titles room.
#ifndef CARDPREP_TESTS_TITLES_TITLE_TEST_UTIL_H_
#define CARDPREP_TESTS_TITLES_TITLE_TEST_UTIL_H_

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "titles/code_page.h"
#include "titles/title_frames.h"

// A title found in a tag, declared Latin-1 (|latin1|: one unit a stored
// byte) or not.
inline Title Titled(std::u16string text, bool latin1 = false) {
  Title t;
  t.found = true;
  t.text = std::move(text);
  t.latin1 = latin1;
  return t;
}

// The decoders and the detector, opened once for the test program as a run
// opens them.
inline CodePageDecoders* Decoders() {
  static CodePageDecoders* decoders = [] {
    auto* d = new CodePageDecoders;
    std::string why;
    for (size_t i = 0; i < kCodePageCount; ++i) {
      EXPECT_TRUE(OpenCodePageDecoder(static_cast<CodePage>(i), d, &why)) << why;
    }
    EXPECT_TRUE(OpenCodePageDetector(d, &why)) << why;
    return d;
  }();
  return decoders;
}

#endif  // CARDPREP_TESTS_TITLES_TITLE_TEST_UTIL_H_
