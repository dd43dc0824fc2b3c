// Code page 932 (Shift-JIS as Windows-31J defines it) for the tool's names:
// Microsoft's round-trip table plus the look-alikes that Japanese text from
// other systems uses (U+301C WAVE DASH as 0x81 0x60, U+00A5 YEN SIGN as 0x5C,
// and seven more), from the host's converter (host/text.h). Each UTF-16
// unit is asked for once and remembered.
#ifndef CARDPREP_TEXT_CP932_H_
#define CARDPREP_TEXT_CP932_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/text.h"

// Whether |b| begins a two-byte character: 0x81-0x9F or 0xE0-0xFC. The
// byte after it is its trail byte, whatever its value.
inline bool IsSjisLeadByte(uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// The converters of code page 932, opened once by OpenCp932 when a program
// starts (the run, each tool, the tests) and owned here; until then, or
// when one could not be opened, only ASCII converts.
struct Cp932Converters {
  TextEncoder encoder;
  TextDecoder decoder;
};
extern Cp932Converters g_cp932;
// A converter that could not be opened: which ("from UTF-16LE to CP932"),
// and why.
struct ConverterFailure {
  std::string what;
  std::string why;
};
// Opens both converters. Each that cannot be opened is added to |failed|,
// or, without |failed|, said in an error line.
void OpenCp932(std::vector<ConverterFailure>* failed = nullptr);

// One entry per UTF-16 unit, filled as units are first asked for: 0 not yet
// asked, 1 no form, 0x100 | byte for a one-byte form, lead << 8 | trail for
// a two-byte form (lead bytes are 0x81 and above, so the ranges never meet).
extern uint16_t g_cp932_units[0x10000];
uint16_t AskCp932(char16_t unit);  // fills the entry of |unit|

// Converts one UTF-16 unit into |out| and returns its byte count (1 or 2), or
// 0 when code page 932 has no form for it (surrogates never have one).
inline int Cp932FromUnit(char16_t unit, uint8_t out[2]) {
  uint16_t entry = g_cp932_units[unit];
  if (entry == 0) entry = AskCp932(unit);
  if (entry == 1) return 0;
  if (entry < 0x200) {
    out[0] = static_cast<uint8_t>(entry);
    return 1;
  }
  out[0] = static_cast<uint8_t>(entry >> 8);
  out[1] = static_cast<uint8_t>(entry);
  return 2;
}

// Decodes Shift-JIS bytes into UTF-8 for the console; a byte sequence the
// code page does not define becomes U+FFFD.
std::string Cp932ToUtf8(std::string_view sjis);

// Decodes Shift-JIS bytes into UTF-16 with the host's decoder, one unit per
// character (every character of code page 932 lies in the BMP). A byte the
// code page does not define, or a lead byte without its trail byte, becomes
// U+FFFD, which has no code page 932 form, so a field shows "?" for it; the
// decoding goes on after that one byte.
std::u16string Cp932ToWide(std::string_view sjis);

// Whether the bytes |sjis| are valid Shift-JIS text of printable characters,
// as names written on Windows in Japan are; sets |*utf8| to that text.
bool ReadsAsShiftJis(std::string_view sjis, std::string* utf8);

#endif  // CARDPREP_TEXT_CP932_H_
