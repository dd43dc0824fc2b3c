// The text conversions the tool takes from the system: code page 932 (and
// other code pages) to and from UTF-16, Unicode normalisation, character
// properties and case folding. On Linux they come from glibc's iconv and
// ICU (text_linux.cc); on Windows from Windows' own national-language
// functions (text_windows.cc), corrected where they differ, so that both
// hosts give the same result for every UTF-16 unit and every byte sequence.
#ifndef CARDPREP_HOST_TEXT_H_
#define CARDPREP_HOST_TEXT_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// The code page 932 form of one UTF-16 unit: kNoCp932Form when it has none
// (surrogates never have one), 0x100 | byte for a one-byte form, and
// lead << 8 | trail for a two-byte form (lead bytes are 0x81 and above, so
// the ranges never meet). The table is Microsoft's round-trip table plus
// nine look-alikes that Japanese text from other systems uses: U+00A2,
// U+00A3, U+00A5, U+00AC, U+2014, U+2016, U+203E, U+2212 and U+301C.
constexpr uint16_t kNoCp932Form = 1;
// |encoder| comes from OpenCp932Encoder (below); without one (null) only
// ASCII, the same in code page 932, has a form.
uint16_t Cp932FormOf(void* encoder, char16_t unit);

// Code pages by their Windows numbers.
constexpr uint32_t kCodePageShiftJis = 932;
constexpr uint32_t kCodePageKorean = 949;       // holds EUC-KR
constexpr uint32_t kCodePageGb18030 = 54936;    // holds GBK
constexpr uint32_t kCodePageBig5 = 950;
constexpr uint32_t kCodePageCyrillic = 1251;
constexpr uint32_t kCodePageGreek = 1253;

// A decoder of one code page into UTF-16, opened once and owned by its user.
struct TextDecoderCloser {
  void operator()(void* decoder) const;
};
using TextDecoder = std::unique_ptr<void, TextDecoderCloser>;

// Opens the decoder of |code_page|; null, with the reason in |*why|, when
// the host has none.
TextDecoder OpenTextDecoder(uint32_t code_page, std::string* why);

// The encoder of UTF-16 into code page 932, which Cp932FormOf takes: opened
// once, owned and closed like a decoder; null, with the reason in |*why|,
// when the host has none.
using TextEncoder = TextDecoder;
TextEncoder OpenCp932Encoder(std::string* why);

// Decodes |bytes| with |decoder| into UTF-16. A byte sequence the code page
// does not define, or a lead byte cut off at the end, becomes U+FFFD, and
// decoding goes on after its first byte. For code page 932 the single bytes
// 0x80, 0xA0 and 0xFD-0xFF are undefined.
std::u16string DecodeText(void* decoder, std::string_view bytes);

// Whether |text| is in Normalization Form C; true when it cannot be told.
bool IsNfcText(std::u16string_view text);
// The NFC form of |text|; |text| itself when it cannot be made. A lone
// surrogate stays where it was, and the text around it is normalised.
std::u16string NfcText(std::u16string_view text);

// The compatibility decomposition (NFKD) of the character |c| without its
// nonspacing marks (general category Mn), in UTF-16: "e" for "é", "Ø" for
// "Ǿ". False when |c| has no compatibility decomposition.
bool DecomposeWithoutMarks(char32_t c, std::u16string* kept);

// Unicode's simple case folding of one UTF-16 unit (a surrogate folds to
// itself).
char16_t FoldCase(char16_t unit);

#endif  // CARDPREP_HOST_TEXT_H_
