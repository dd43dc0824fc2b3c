#include "sjis/cp932.h"

#include "host/names.h"
#include "host/text.h"

uint16_t g_cp932_units[0x10000];

uint16_t AskCp932(char16_t unit) { return g_cp932_units[unit] = Cp932FormOf(unit); }

std::u16string Cp932ToWide(std::string_view sjis) {
  return DecodeCodePage(kCodePageShiftJis, sjis);
}

std::string Cp932ToUtf8(std::string_view sjis) { return Utf16ToUtf8(Cp932ToWide(sjis)); }
