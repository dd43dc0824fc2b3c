#include "copy/card_names.h"

#include <gtest/gtest.h>

namespace {

// Every character FAT refuses, a dot or space at the end, and the names
// Windows keeps for its devices.
TEST(CardNamesTest, MakesNamesFatCanHold) {
  struct Case {
    std::u16string name, safe;
    unsigned changes;
  };
  const Case cases[] = {
      {u"plain name", u"plain name", kNameKept},
      {u"a?b:c*d<e>f|g\"h\\i/j", u"a_b_c_d_e_f_g_h_i_j", kFatCharacters},
      {u"tab\there\nline", u"tab_here_line", kFatCharacters},
      {u"ends in a dot.", u"ends in a dot_", kFatCharacters},
      {u"ends in a space ", u"ends in a space_", kFatCharacters},
      {u"", u"_", kFatCharacters},
      {u"CON", u"CON_", kDeviceName},
      {u"nul.txt", u"nul_.txt", kDeviceName},
      {u"Com1", u"Com1_", kDeviceName},
      {u"COM10", u"COM10", kNameKept},
      {u"CONCERT", u"CONCERT", kNameKept},
      {u"LPT9 .live", u"LPT9 _.live", kDeviceName},
      {u"日本語?", u"日本語_", kFatCharacters},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name.begin(), c.name.end()));
    unsigned changes = kNameKept;
    EXPECT_EQ(FatSafeName(c.name, &changes), c.safe);
    EXPECT_EQ(changes, c.changes);
  }
}

// Names are cut in UTF-16 units, the extension kept, a surrogate pair never
// cut in two, and a dot or space the cut leaves at the end made "_".
TEST(CardNamesTest, CutsNamesKeepingTheExtension) {
  const std::u16string long_base(140, u'a');
  EXPECT_EQ(CutName(long_base + u".mp3", 128, true), std::u16string(124, u'a') + u".mp3");
  EXPECT_EQ(CutName(long_base, 64, false), std::u16string(64, u'a'));
  // U+1F3B5 is two units: at a cut through it, both go.
  const std::u16string astral = std::u16string(63, u'b') + u"\U0001F3B5c";
  EXPECT_EQ(CutName(astral, 64, false), std::u16string(63, u'b'));
  EXPECT_EQ(CutName(std::u16string(63, u'b') + u" cdef", 64, false),
            std::u16string(63, u'b') + u"_");
  EXPECT_EQ(CutName(u"short.mp3", 128, true), u"short.mp3");
}

TEST(CardNamesTest, FitsFolderAndFileNames) {
  unsigned changes = kNameKept;
  EXPECT_EQ(FitFolderName(u"_Live", 64, &changes), u"\uFF3FLive");
  EXPECT_EQ(changes, kToolFolderMark);
  changes = kNameKept;
  EXPECT_EQ(FitFolderName(std::u16string(70, u'x'), 64, &changes), std::u16string(64, u'x'));
  EXPECT_EQ(changes, kCut);
  changes = kNameKept;
  // The "_" a replacement leaves in front hides the folder as well.
  EXPECT_EQ(FitFolderName(u"?_x", 64, &changes), u"\uFF3F_x");
  EXPECT_EQ(changes, kFatCharacters | kToolFolderMark);

  changes = kNameKept;
  EXPECT_EQ(FitFileName(u"01 Intro?", u".mp3", &changes), u"01 Intro_.mp3");
  EXPECT_EQ(changes, kFatCharacters);
  changes = kNameKept;
  EXPECT_EQ(FitFileName(std::u16string(200, u'z'), u".mp3", &changes),
            std::u16string(124, u'z') + u".mp3");
  EXPECT_EQ(changes, kCut);
  changes = kNameKept;
  EXPECT_EQ(FitFileName(u"aux", u".mp3", &changes), u"aux_.mp3");
  EXPECT_EQ(changes, kDeviceName);
}

// " (2)" and " 2" fit within the limits: the name gives way, the
// extension and the number stay.
TEST(CardNamesTest, NumbersNamesWithinTheirLimits) {
  EXPECT_EQ(NumberedName(u"Song.mp3", 2, 128, true), u"Song (2).mp3");
  EXPECT_EQ(NumberedName(u"Album", 13, 64, false), u"Album (13)");
  EXPECT_EQ(NumberedName(std::u16string(124, u'a') + u".mp3", 2, 128, true),
            std::u16string(120, u'a') + u" (2).mp3");
  EXPECT_EQ(NumberedName(std::u16string(64, u'a'), 2, 64, false),
            std::u16string(60, u'a') + u" (2)");
  EXPECT_EQ(PartName(u"Album", 2, 64), u"Album 2");
  EXPECT_EQ(PartName(std::u16string(64, u'a'), 2, 64), std::u16string(62, u'a') + u" 2");
  EXPECT_EQ(PartName(std::u16string(61, u'a') + u" b", 10, 64),
            std::u16string(61, u'a') + u" 10");
}

// FAT takes names that differ only in case for one.
TEST(CardNamesTest, ComparesAsFatDoes) {
  EXPECT_EQ(FatKey(u"Song.MP3"), FatKey(u"song.mp3"));
  EXPECT_EQ(FatKey(u"ÄÖÜ"), FatKey(u"äöü"));
  EXPECT_NE(FatKey(u"Song 1"), FatKey(u"Song 2"));
}

}  // namespace
