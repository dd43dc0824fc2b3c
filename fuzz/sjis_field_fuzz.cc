// Property: any UTF-16 text gives a complete field of exactly the size
// asked for: whole Shift-JIS characters, then spaces, then the NUL.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "text/sjis_field.h"

namespace {

bool IsLead(uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
bool IsTrail(uint8_t b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  OpenConvertersOnce();
  if (size < 1) return 0;
  const size_t field_size = 1 + data[0] % 64;
  std::u16string text;
  for (size_t i = 1; i + 1 < size; i += 2) text.push_back(char16_t(data[i] | data[i + 1] << 8));
  std::vector<char> field(field_size + 8, '\x7F');
  bool replaced = false;
  FUZZ_CHECK(WideToSjisField(field.data(), field_size, text, &replaced), "no field made");
  FUZZ_CHECK(field[field_size - 1] == '\0', "the field does not end in NUL");
  for (size_t i = field_size; i < field.size(); ++i) {
    FUZZ_CHECK(field[i] == '\x7F', "written past the field");
  }
  // Whole characters up to the NUL: the text, then the spaces that pad it.
  size_t i = 0;
  while (i + 1 < field_size) {
    const auto b = uint8_t(field[i]);
    FUZZ_CHECK(b != 0, "a NUL inside the field's text");
    if (IsLead(b)) {
      FUZZ_CHECK(i + 2 < field_size, "a two-byte character split at the end");
      FUZZ_CHECK(IsTrail(uint8_t(field[i + 1])), "a lead byte without a trail byte");
      i += 2;
    } else {
      ++i;
    }
  }
  return 0;
}
