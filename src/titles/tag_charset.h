// Titles written in an old code page. Tag writers of the 2000s stored
// titles as the bytes of their own code page in ID3v1 and in ID3v2 text
// declared ISO-8859-1: Japanese as Shift-JIS, Korean as EUC-KR, Chinese as
// GBK or Big5, Russian as Windows-1251, Greek as Windows-1253, and Windows
// writers stored Windows-1252 punctuation there. The tag reader reads such
// text as Latin-1, one code point <= U+00FF per stored byte, so the bytes
// are all still there: this unit reads them again in the code page they
// were written in, deciding per folder, since an album is tagged by one
// writer in one code page.
//
// Readings, per folder, for the titles that came from Latin-1 text and hold
// a byte >= 0x80 (titles declared UTF-16 or UTF-8 never change):
//   fixed    every such title is read in the one code page given (Latin-1:
//            every title stays as read); a sequence the code page lacks
//            becomes U+FFFD, so its field shows "?".
//   auto     when the Latin-1 reading of at least one of them cannot be
//            converted to code page 932, all of them are read in the code
//            page their bytes plainly are in (DecideCodePage). Otherwise,
//            or when none is plain, a title whose Latin-1 reading cannot be
//            converted, whose bytes 0x80-0x9F are all Windows-1252
//            characters, and whose Windows-1252 reading converts in full is
//            read as Windows-1252. Every other title stays as read.
// "Converted" means as a field converts it: after NFC, every UTF-16 unit
// has a code page 932 form.
#ifndef CARDPREP_TITLES_TAG_CHARSET_H_
#define CARDPREP_TITLES_TAG_CHARSET_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "titles/code_page.h"
#include "titles/title_frames.h"

// What was decided for a folder.
struct TagCharsetDecision {
  CodePage page = CodePage::kLatin1;  // its Latin-1 titles were read in it
  uint32_t recoded_titles = 0;        // titles rewritten from |page|
  uint32_t windows1252_titles = 0;    // titles rewritten from Windows-1252
};

// Titles read in another code page over a run, for its summary.
struct TitleTally {
  std::array<uint32_t, kCodePageCount> recoded{};  // by code page
  uint32_t windows1252 = 0;

  void Add(const TagCharsetDecision& decision) {
    recoded[static_cast<size_t>(decision.page)] += decision.recoded_titles;
    windows1252 += decision.windows1252_titles;
  }
};

// Reads the titles of one folder (as the tag reader gave them) that came
// from Latin-1 text in the code page |charset| picks, and rewrites them in
// place; the others are passed over.
TagCharsetDecision RecodeFolderTitles(const TagCharset& charset, CodePageDecoders* decoders,
                                      std::vector<Title>* titles);

// How the bytes of a folder's Latin-1 titles read as Japanese Shift-JIS.
// Each title is its bytes, one per Latin-1 unit.
//
// |valid|: every title is Shift-JIS that code page 932 defines, each byte
// >= 0x80 being half-width katakana (0xA1-0xDF) or a lead byte (0x81-0x9F,
// 0xE0-0xFC) with a trail byte forming a defined pair outside the
// user-defined rows 0xF040-0xF9FC; only a title's last byte may be a lead
// byte without its trail (a field cut in the middle of a character).
//
// |japanese| and |latin|: evidence counted character by character (up to
// the first title that is not valid), with the characters beside each one
// (a "Latin word" is an ASCII letter next to it: the character before is
// one, or its trail byte is one and so is the character after):
//   japanese  a two-byte character with lead byte 0x81, 0x8D, 0x8F, 0x90 or
//             0x9D, which no Western text holds;
//             a two-byte character with another lead byte 0x82-0x9F, not in
//             a Latin word;
//             a run of two or more half-width katakana, touching no ASCII
//             letter, whose sound marks (0xDE, 0xDF) all follow kana that
//             take them, holding a byte 0xA6-0xBF (kana and the long vowel
//             mark that Latin-1 has as rare symbols) or a sound mark.
//   latin     a two-byte character or cut-off lead byte in a Latin word;
//             a run of half-width katakana touching an ASCII letter, or with
//             a sound mark that follows no kana taking it.
// Characters with lead bytes 0xE0-0xFC (an accented small letter and the
// byte after it, in Latin-1) count for neither unless in a Latin word.
//
// |kana_marks|: half-width sound marks that follow kana taking them, and
// long vowel marks (0xB0) that follow a kana: what half-width katakana
// holds and Korean or Chinese bytes, read so, seldom do.
//
// The project's own rule: valid, some Japanese evidence, and at least four
// times as much as Latin (a Japanese album may hold a few Latin words
// such as "TVｻｲｽﾞ"; a European one holds no Japanese evidence at all).
struct ShiftJisEvidence {
  bool valid = true;
  uint32_t japanese = 0;
  uint32_t latin = 0;
  uint32_t kana_marks = 0;
  bool OwnRule() const { return valid && japanese >= 1 && japanese >= 4 * latin; }
};
ShiftJisEvidence WeighShiftJis(const std::vector<std::string>& titles);

// How the bytes of a folder's Latin-1 titles read in one of the other code
// pages, character by character for the double-byte ones, word by word for
// Windows-1251 and Windows-1253:
//   EUC-KR  native: Hangul syllables (lead 0xB0-0xC8, trail 0xA1-0xFE);
//           rare: hanja (lead 0xCA-0xFD); odd: every other character but
//           punctuation, symbols, full-width ASCII and jamo (rows
//           0xA1-0xA4), so the rows of kana, Cyrillic and Greek and the
//           syllables only code page 949 adds.
//   GBK     native: the common hanzi (GB2312 level 1, lead 0xB0-0xD7,
//           trail 0xA1-0xFE); rare: level 2 (lead 0xD8-0xF7); odd: every
//           other character but punctuation and full-width ASCII (rows
//           0xA1, 0xA3), so kana, Greek, Cyrillic, box drawing and the
//           characters only GBK and GB18030 add.
//   Big5    native: the common hanzi (0xA440-0xC67E); rare: the less common
//           ones (lead 0xC9-0xF9); odd: every other character but
//           punctuation and symbols (lead 0xA1, 0xA2).
//   A double-byte character in a Latin word (an ASCII letter before or
//   after it) counts as latin instead.
//   Windows-1251, Windows-1253: a word (a run of letters) holding an ASCII
//   letter and one of the code page's is latin; a word of three or more of
//   the code page's letters is native when it is written as the language
//   writes words (all capitals, all small, or a capital and small letters;
//   in Greek, capitals without accents, ς only at the end, a small word of
//   four letters or more with its accent; in Russian, no word begins with
//   ъ, ь or ы), else odd.
// |valid|: every title is well formed in the code page; for double-byte
// code pages, only a title of 30 bytes (an ID3v1 field) may end in a lead
// byte without its trail. |defined|: the code page's decoder defines every
// character, none of them user-defined; asked only when the rest of the
// rule holds, and false without a decoder.
//
// The project's own rule: valid, native evidence (two characters for the
// Chinese code pages, one otherwise), at least four times as much as odd
// and latin together, and for EUC-KR four times as much as rare, for GBK
// and Big5 more than rare (Plain: the bytes plainly are in the code page);
// and defined (OwnRule: they can be read in it).
struct CodePageEvidence {
  bool valid = true;
  bool defined = false;
  uint32_t native = 0;
  uint32_t rare = 0;
  uint32_t odd = 0;
  uint32_t latin = 0;
  bool Plain(CodePage page) const;
  bool OwnRule(CodePage page) const { return defined && Plain(page); }
};
// |page| is one of EUC-KR, GBK, Big5, Windows-1251 and Windows-1253.
CodePageEvidence WeighCodePage(CodePage page, CodePageDecoders* decoders,
                               const std::vector<std::string>& titles);

// The code page a folder's Latin-1 titles (their bytes, each holding one
// >= 0x80) plainly are in, or kLatin1; in this order:
// 1. EUC-KR, GBK or Big5 when the detector names it and its own rule holds.
// 2. Shift-JIS when valid and its own rule holds or the detector names it,
//    unless the bytes are plainly EUC-KR, or plainly GBK or Big5 and no kana
//    mark is seen: Korean and Chinese bytes are never read as Shift-JIS,
//    not even when their own decoder is missing. Half-width katakana alone
//    with two kana marks or more is Shift-JIS all the same.
// 3. Windows-1251 or Windows-1253 when the detector names it and its own
//    rule holds.
// 4. The one of EUC-KR, GBK and Big5 the bytes alone plainly are in, when
//    its own rule holds (GBK and Big5 only when some byte lies outside the
//    half-width katakana 0xA1-0xDF, which Japanese could be); else EUC-KR
//    when its own rule holds and every character is a Hangul syllable or
//    punctuation, which shows as "?" whatever the bytes were.
// The detector is asked only when its answer can matter.
CodePage DecideCodePage(CodePageDecoders* decoders, const std::vector<std::string>& titles);

// Windows-1252 bytes in UTF-16: 0x80-0x9F as Windows-1252 defines them
// (its five undefined bytes 0x81, 0x8D, 0x8F, 0x90, 0x9D stay U+0081...),
// every other byte as Latin-1.
std::u16string Windows1252ToWide(std::string_view bytes);

#endif  // CARDPREP_TITLES_TAG_CHARSET_H_
