// Property: drawing any text into a row of any length writes only inside
// the row and reads nothing past the text's terminating NUL.
#include <cstdint>
#include <cstring>
#include <vector>

#include "font/draw.h"
#include "fuzz_check.h"

namespace {

// A double-byte font with a few blocks of two-byte codes (some overlapping,
// one ending at 0xFFFF) and a single-byte font, both 16 dots high.
void LoadFonts() {
  static bool loaded = false;
  if (loaded) return;
  loaded = true;
  const uint16_t blocks[][2] = {{0x8140, 0x81FC}, {0x8180, 0x8240}, {0x889F, 0x88FC},
                                {0xE040, 0xEAA4}, {0xFFF0, 0xFFFF}};
  std::vector<uint8_t> z = {'F', 'O', 'N', 'T', 'X', '2', 'F', 'U', 'Z', 'Z', 'F', 'O', 'N', 'T',
                            16, 16, 1, uint8_t(sizeof blocks / sizeof blocks[0])};
  size_t glyphs = 0;
  for (const auto& b : blocks) {
    z.insert(z.end(), {uint8_t(b[0]), uint8_t(b[0] >> 8), uint8_t(b[1]), uint8_t(b[1] >> 8)});
    glyphs += size_t(b[1] - b[0]) + 1;
  }
  for (size_t g = 0; g < glyphs * 32; ++g) z.push_back(uint8_t(g * 7));
  FUZZ_CHECK(ParseFontx(z.data(), z.size(), "RIZOZ16I.DAZ", &g_font.zenkaku),
             "the fuzz double-byte font does not load");
  std::vector<uint8_t> h = {'F', 'O', 'N', 'T', 'X', '2', 'F', 'U', 'Z', 'Z', 'F', 'O', 'N', 'T',
                            8, 16, 0};
  for (size_t g = 0; g < 256 * 16; ++g) h.push_back(uint8_t(g * 13));
  FUZZ_CHECK(ParseFontx(h.data(), h.size(), "MYRCH16B.FNT", &g_font.hankaku),
             "the fuzz single-byte font does not load");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  OpenConvertersOnce();
  LoadFonts();
  if (size < 2) return 0;
  const int upper_length = 1 + data[0] % 200;
  const int lower_length = 1 + data[1] % 200;
  // The text with its NUL, in a buffer of its own so that a read past the
  // NUL is caught.
  std::vector<char> text(data + 2, data + size);
  text.push_back('\0');
  constexpr int kGuard = 64;
  std::vector<uint8_t> upper(size_t(upper_length + kGuard), 0xA5);
  std::vector<uint8_t> lower(size_t(lower_length + kGuard), 0xA5);
  DrawSjisString(upper.data(), upper_length, lower.data(), lower_length, text.data(),
                 int(text.size() - 1), g_font.hankaku, g_font.zenkaku);
  for (int i = 0; i < kGuard; ++i) {
    FUZZ_CHECK(upper[size_t(upper_length + i)] == 0xA5, "drawn past the upper row");
    FUZZ_CHECK(lower[size_t(lower_length + i)] == 0xA5, "drawn past the lower row");
  }
  return 0;
}
