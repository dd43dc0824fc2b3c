// Property: whatever a font file holds, a loaded font's glyph tables hold
// exactly what its blocks announce, every glyph found lies inside its block,
// and the loader takes no more than a small multiple of the file's size.
#include <cstdint>

#include "font/fontx.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FontInfo font;
  if (!ParseFontx(data, size, "F.FNT", &font)) {
    FUZZ_CHECK(font.blocks.empty() && font.width == 0, "a failed load left a font behind");
    return 0;
  }
  FUZZ_CHECK(font.width > 0 && font.height > 0, "a font of no size loaded");
  size_t held = 0;
  for (const CodeBlock& block : font.blocks) {
    const size_t want =
        block.glyph_count > 0 ? size_t(block.glyph_count) * size_t(font.glyph_size) : 0;
    FUZZ_CHECK(block.glyphs.size() == want, "a block holds other than its glyphs");
    held += block.glyphs.size();
    for (int32_t code = block.start_code; code <= block.end_code; code += 97) {
      const uint8_t* glyph = FindGlyph(font, uint16_t(code));
      FUZZ_CHECK(glyph != nullptr, "a code of a block has no glyph");
    }
  }
  FUZZ_CHECK(held <= 32 * size + 4096, "more glyph memory than the file can hold");
  for (uint32_t code = 0; code <= 0xFFFF; code += 251) {
    const uint8_t* glyph = FindGlyph(font, uint16_t(code));
    if (glyph == nullptr) continue;
    bool inside = false;
    for (const CodeBlock& block : font.blocks) {
      inside |= !block.glyphs.empty() && glyph >= block.glyphs.data() &&
                glyph + font.glyph_size <= block.glyphs.data() + block.glyphs.size();
    }
    FUZZ_CHECK(inside, "a glyph found outside its block");
  }
  return 0;
}
