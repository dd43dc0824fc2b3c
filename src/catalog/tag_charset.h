// Titles written in an old code page. Tag writers of the 2000s stored
// Japanese titles as Shift-JIS bytes in ID3v1 and in ID3v2 text declared
// ISO-8859-1, and Windows writers stored Windows-1252 punctuation there.
// The tag reader reads such text as Latin-1, one code point <= U+00FF per
// stored byte, so the bytes are all still there: this unit reads them again
// in the code page they were written in, deciding per folder, since an
// album is tagged by one writer in one code page.
//
// Readings, per folder, for the titles that came from Latin-1 text and hold
// a byte >= 0x80 (titles declared UTF-16 or UTF-8 never change):
//   kLatin1  every title stays as read.
//   kCp932   every such title is read as Shift-JIS (an undefined or cut-off
//            sequence becomes U+FFFD, so its field shows "?").
//   kAuto    when the Latin-1 reading of at least one of them cannot be
//            converted to code page 932 and their bytes read well as
//            Japanese Shift-JIS (ReadsAsShiftJis), all of them are read as
//            Shift-JIS. Otherwise a title whose Latin-1 reading cannot be
//            converted, whose bytes 0x80-0x9F are all Windows-1252
//            characters, and whose Windows-1252 reading converts in full is
//            read as Windows-1252. Every other title stays as read.
// "Converted" means as a field converts it: after NFC, every UTF-16 unit
// has a code page 932 form.
#ifndef CARDPREP_CATALOG_TAG_CHARSET_H_
#define CARDPREP_CATALOG_TAG_CHARSET_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class TagCharset { kAuto, kLatin1, kCp932 };

// "auto", "latin1" or "cp932"; false for anything else.
[[nodiscard]] bool ParseTagCharset(std::string_view name, TagCharset* charset);

// One title of a folder as the tag reader gave it.
struct TagTitle {
  std::u16string* text = nullptr;  // rewritten in place; its length may shrink
  bool latin1 = false;             // from ID3v1, or ID3v2 text with encoding 0
};

// What was decided for a folder.
struct TagCharsetDecision {
  bool shift_jis = false;          // its Latin-1 titles were read as Shift-JIS
  uint32_t shift_jis_titles = 0;   // titles rewritten from Shift-JIS
  uint32_t windows1252_titles = 0; // titles rewritten from Windows-1252
};

// Reads the Latin-1 titles of one folder in the code page |charset| picks
// and rewrites them in place. Titles without text (nullptr) are passed over.
TagCharsetDecision RecodeFolderTitles(TagCharset charset, const std::vector<TagTitle>& titles);

// How the bytes of a folder's Latin-1 titles read as Japanese Shift-JIS.
// Each title is its bytes, one per Latin-1 unit.
//
// |valid|: every title is Shift-JIS that code page 932 defines, each byte
// >= 0x80 being half-width katakana (0xA1-0xDF) or a lead byte (0x81-0x9F,
// 0xE0-0xFC) with a trail byte forming a defined pair outside the
// user-defined rows 0xF040-0xF9FC; only a title's last byte may be a lead
// byte without its trail (a field cut in the middle of a character).
//
// |uchardet|: the detector names Shift-JIS for the titles, each followed
// by a line feed (asked whether they are valid or not).
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
// The project's own rule: valid, some Japanese evidence, and at least four
// times as much as Latin (a Japanese album may hold a few Latin words
// such as "TVｻｲｽﾞ"; a European one holds no Japanese evidence at all).
struct ShiftJisEvidence {
  bool valid = true;
  bool uchardet = false;
  uint32_t japanese = 0;
  uint32_t latin = 0;
  bool OwnRule() const { return valid && japanese >= 1 && japanese >= 4 * latin; }
};
// |with_uchardet| false leaves |uchardet| false and the detector unasked.
ShiftJisEvidence WeighShiftJis(const std::vector<std::string>& titles, bool with_uchardet);
// Whether the titles read well as Japanese Shift-JIS: valid, and uchardet
// or the own rule says so (the detector is asked only when the rule does
// not).
bool ReadsAsShiftJis(const std::vector<std::string>& titles);

// Windows-1252 bytes in UTF-16: 0x80-0x9F as Windows-1252 defines them
// (its five undefined bytes 0x81, 0x8D, 0x8F, 0x90, 0x9D stay U+0081...),
// every other byte as Latin-1.
std::u16string Windows1252ToWide(std::string_view bytes);

#endif  // CARDPREP_CATALOG_TAG_CHARSET_H_
