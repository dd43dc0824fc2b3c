// Linux-only: glibc's iconv, whose "CP932" is exactly the tool's table,
// look-alikes included. Text conversions on Linux: iconv for the code pages
// and ICU for normalisation and case folding. No locale has to exist on the
// host.
#include <iconv.h>
#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/utf16.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "bytes/byte_order.h"
#include "host/console.h"
#include "host/text.h"

namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

// iconv's name of a code page.
std::string IconvName(uint32_t code_page) {
  if (code_page == kCodePageGb18030) return "GB18030";
  return "CP" + std::to_string(code_page);
}

const UNormalizer2* Nfc() {
  UErrorCode status = U_ZERO_ERROR;
  const UNormalizer2* nfc = unorm2_getNFCInstance(&status);
  return U_SUCCESS(status) ? nfc : nullptr;
}

}  // namespace

TextEncoder OpenCp932Encoder(std::string* why) {
  const iconv_t cd = iconv_open("CP932", "UTF-16LE");
  if (cd == kNoConverter) {
    *why = strerror(errno);
    return nullptr;
  }
  return TextEncoder(cd);
}

uint16_t Cp932FormOf(void* encoder, char16_t unit) {
  // Without the converter, ASCII (the same in code page 932) keeps its form,
  // so a field can always hold its "?".
  if (encoder == nullptr) return unit < 0x80 ? static_cast<uint16_t>(0x100 | unit) : kNoCp932Form;
  const auto cd = static_cast<iconv_t>(encoder);
  char in[2] = {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
  char out[8];
  char* in_p = in;
  char* out_p = out;
  size_t in_left = sizeof in;
  size_t out_left = sizeof out;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  size_t r = iconv(cd, &in_p, &in_left, &out_p, &out_left);
  size_t n = sizeof out - out_left;
  if (r == static_cast<size_t>(-1) || in_left != 0) return kNoCp932Form;
  const auto* b = reinterpret_cast<const uint8_t*>(out);
  if (n == 1) return static_cast<uint16_t>(0x100 | b[0]);
  if (n == 2 && b[0] >= 0x81) return static_cast<uint16_t>(b[0] << 8 | b[1]);
  return kNoCp932Form;
}

void TextDecoderCloser::operator()(void* decoder) const {
  iconv_close(static_cast<iconv_t>(decoder));
}

TextDecoder OpenTextDecoder(uint32_t code_page, std::string* why) {
  const iconv_t cd = iconv_open("UTF-16LE", IconvName(code_page).c_str());
  if (cd == kNoConverter) {
    *why = strerror(errno);
    return nullptr;
  }
  return TextDecoder(cd);
}

std::u16string DecodeText(void* decoder, std::string_view bytes) {
  const auto cd = static_cast<iconv_t>(decoder);
  std::u16string out;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  out.reserve(bytes.size());
  char* in_p = const_cast<char*>(bytes.data());
  size_t in_left = bytes.size();
  char buffer[256];
  while (in_left > 0) {
    char* out_p = buffer;
    size_t out_left = sizeof buffer;
    const size_t r = iconv(cd, &in_p, &in_left, &out_p, &out_left);
    const int error = errno;
    const size_t n = sizeof buffer - out_left;
    for (size_t i = 0; i + 1 < n; i += 2) {
      out.push_back(static_cast<char16_t>(GetLe16(Bytes(buffer + i))));
    }
    if (r == static_cast<size_t>(-1) && error != E2BIG) {
      out.push_back(u'\xFFFD');
      ++in_p;
      --in_left;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  return out;
}

bool IsNfcText(std::u16string_view text) {
  const UNormalizer2* nfc = Nfc();
  if (nfc == nullptr) return true;
  UErrorCode status = U_ZERO_ERROR;
  const UBool normal = unorm2_isNormalized(nfc, reinterpret_cast<const UChar*>(text.data()),
                                           static_cast<int32_t>(text.size()), &status);
  return U_FAILURE(status) || normal;
}

std::u16string NfcText(std::u16string_view text) {
  const UNormalizer2* nfc = Nfc();
  if (nfc == nullptr) return std::u16string(text);
  const auto* src = reinterpret_cast<const UChar*>(text.data());
  const auto length = static_cast<int32_t>(text.size());
  // NFC may lengthen a text (a few characters never recompose), so ask for
  // the size first.
  UErrorCode status = U_ZERO_ERROR;
  int32_t needed = unorm2_normalize(nfc, src, length, nullptr, 0, &status);
  if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) return std::u16string(text);
  std::u16string out(static_cast<size_t>(needed), u'\0');
  status = U_ZERO_ERROR;
  unorm2_normalize(nfc, src, length, reinterpret_cast<UChar*>(out.data()), needed, &status);
  if (U_FAILURE(status)) return std::u16string(text);
  return out;
}

bool DecomposeWithoutMarks(char32_t c, std::u16string* kept) {
  UErrorCode status = U_ZERO_ERROR;
  const UNormalizer2* nfkd = unorm2_getNFKDInstance(&status);
  UChar decomposition[32];
  const int32_t length =
      U_SUCCESS(status)
          ? unorm2_getDecomposition(nfkd, static_cast<UChar32>(c), decomposition, 32, &status)
          : -1;
  if (length <= 0 || U_FAILURE(status)) return false;
  kept->clear();
  for (int32_t i = 0; i < length;) {
    const int32_t start = i;
    UChar32 part;
    U16_NEXT(decomposition, i, length, part);
    if (u_charType(part) == U_NON_SPACING_MARK) continue;
    kept->append(reinterpret_cast<const char16_t*>(decomposition + start),
                 static_cast<size_t>(i - start));
  }
  return true;
}

char16_t FoldCase(char16_t unit) {
  return static_cast<char16_t>(u_foldCase(unit, U_FOLD_CASE_DEFAULT));
}
