#include "text/cp932.h"

#include <utility>

#include "host/console.h"
#include "host/text.h"
#include "host/words.h"
#include "text/utf.h"

uint16_t g_cp932_units[0x10000];

Cp932Converters g_cp932;

void OpenCp932(std::vector<ConverterFailure>* failed) {
  std::vector<ConverterFailure> failures;
  std::string why;
  g_cp932.encoder = OpenCp932Encoder(&why);
  if (g_cp932.encoder == nullptr) failures.push_back({"from UTF-16LE to CP932", why});
  g_cp932.decoder = OpenTextDecoder(kCodePageShiftJis, &why);
  if (g_cp932.decoder == nullptr) failures.push_back({"from CP932 to UTF-16LE", why});
  if (failed != nullptr) {
    *failed = std::move(failures);
    return;
  }
  for (const ConverterFailure& f : failures) {
    Error("cannot open the converter %s: %s; %s", f.what.c_str(), f.why.c_str(),
          ConverterAdvice().c_str());
  }
}

uint16_t AskCp932(char16_t unit) {
  return g_cp932_units[unit] = Cp932FormOf(g_cp932.encoder.get(), unit);
}

std::u16string Cp932ToWide(std::string_view sjis) {
  if (g_cp932.decoder == nullptr) return {};
  return DecodeText(g_cp932.decoder.get(), sjis);
}

std::string Cp932ToUtf8(std::string_view sjis) { return Utf16ToUtf8(Cp932ToWide(sjis)); }

bool ReadsAsShiftJis(std::string_view sjis, std::string* utf8) {
  const std::u16string text = Cp932ToWide(sjis);
  for (const char16_t c : text) {
    if (c == u'\uFFFD' || c < 0x20 || c == 0x7F || c == u'\\') return false;
  }
  *utf8 = Utf16ToUtf8(text);
  return !text.empty();
}
