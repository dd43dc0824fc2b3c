// The code pages tag writers of the 2000s stored titles in, in text that
// declares ISO-8859-1 (ID3v1, and ID3v2 text with encoding byte 0): their
// names on the command line and in messages, their decoders, and what the
// character set detector says a folder's bytes are.
//
// The decoders and the detector are opened once for a run, which owns them
// (CodePageDecoders), and handed to whatever reads titles.
#ifndef CARDPREP_TITLES_CODE_PAGE_H_
#define CARDPREP_TITLES_CODE_PAGE_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/text.h"

enum class CodePage : uint8_t {
  kLatin1,       // as stored: one character per byte
  kShiftJis,     // Japanese, code page 932
  kEucKr,        // Korean; decoded as code page 949, which holds EUC-KR
  kGbk,          // simplified Chinese; decoded as GB18030, which holds GBK
  kBig5,         // traditional Chinese; decoded as code page 950
  kWindows1251,  // Cyrillic
  kWindows1253,  // Greek
};
constexpr size_t kCodePageCount = 7;

// "Latin-1", "Shift-JIS", "EUC-KR", "GBK", "Big5", "Windows-1251",
// "Windows-1253".
const char* CodePageName(CodePage page);

// --tag-charset: decided folder by folder, or one code page for every title
// stored as Latin-1 (kLatin1: every title as stored).
struct TagCharset {
  bool automatic = true;
  CodePage page = CodePage::kLatin1;  // when not automatic
};

// "auto", or a code page by a name a user would type (case and the
// separators "-", "_" and " " do not matter): latin1, iso-8859-1; cp932,
// shift-jis, sjis, windows-31j; euc-kr, cp949, uhc; gbk, gb18030, gb2312,
// cp936; big5, cp950; cp1251, windows-1251; cp1253, windows-1253. False
// for anything else.
[[nodiscard]] bool ParseTagCharset(std::string_view name, TagCharset* charset);
// The names ParseTagCharset takes, for an error line.
extern const char kTagCharsetNames[];

struct DetectorDeleter {
  void operator()(struct uchardet* detector) const;
};

// The decoders of the code pages besides Latin-1 and Shift-JIS (which the
// field converter's own table decodes), and the detector. A member left
// null could not be opened: that code page is never chosen, and the
// detector never asked.
struct CodePageDecoders {
  std::array<TextDecoder, kCodePageCount> from;
  std::unique_ptr<struct uchardet, DetectorDeleter> detector;
};

// Opens the decoder of |page| (the host's: glibc's iconv, Windows' own), or
// the detector; false with |why| when it cannot be opened.
[[nodiscard]] bool OpenCodePageDecoder(CodePage page, CodePageDecoders* decoders,
                                       std::string* why);
[[nodiscard]] bool OpenCodePageDetector(CodePageDecoders* decoders, std::string* why);
// The name of |page|'s decoder ("CP949"), for messages.
const char* DecoderName(CodePage page);

// Decodes |bytes| from |page| into |out|. A byte sequence the code page
// does not define, or a lead byte without its trail byte, becomes U+FFFD (a
// field shows "?" for it), and decoding goes on after its first byte; so
// does a user-defined character, except in Shift-JIS, where code page 932
// keeps it for the user's own font. Returns whether every character was
// defined and none user-defined; a code page whose decoder is not open
// reads as Latin-1 and gives false.
bool DecodeCodePage(CodePageDecoders* decoders, CodePage page, std::string_view bytes,
                    std::u16string* out);

// The code page the detector names for |titles| (each followed by a line
// feed), as one of ours: Shift-JIS, EUC-KR or UHC, GB18030, Big5,
// Windows-1251 or Mac Cyrillic (which share the small letters), Windows-1253
// or ISO-8859-7 (which share the letters). kLatin1 for any other answer,
// none, or no detector.
CodePage DetectCodePage(CodePageDecoders* decoders, const std::vector<std::string>& titles);

#endif  // CARDPREP_TITLES_CODE_PAGE_H_
