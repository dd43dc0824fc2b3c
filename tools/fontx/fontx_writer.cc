#include "tools/fontx/fontx_writer.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "bytes/byte_order.h"
#include "font/fontx.h"
#include "host/console.h"
#include "host/file.h"
#include "host/words.h"
#include "text/cp932.h"

namespace {

// The files follow the FONTX2 layout the loader reads (font/fontx.h): the
// header, then for the single-byte font 256 glyphs of 16 bytes, for the
// double-byte font a block table and 32 bytes a code of every block in order.
// A glyph is its rows from the top, 1 byte (8 wide) or 2 bytes (16 wide) a
// row, bit 7 of a row's first byte the leftmost dot.
constexpr size_t kZenkakuGlyphSize = 32;
constexpr size_t kHankakuGlyphSize = 16;
constexpr char kFontName[] = "CARDPREP";

void EncodeHeader(uint8_t width, uint8_t code_type, uint8_t (&out)[kFontxHeaderSize]) {
  memcpy(out + kFontxSignature, kFontxMagic, kFontxSignatureSize);
  memset(out + kFontxName, ' ', kFontxNameSize);
  memcpy(out + kFontxName, kFontName, std::min(kFontxNameSize, sizeof kFontName - 1));
  out[kFontxWidth] = width;
  out[kFontxHeight] = 16;
  out[kFontxCodeType] = code_type;
}

const SourceGlyph* FindSourceGlyph(const std::vector<GlyphSource>& sources, char16_t unit,
                                   int only_width) {
  for (const GlyphSource& source : sources) {
    auto it = source.glyphs.find(unit);
    if (it != source.glyphs.end() && (only_width == 0 || it->second.width == only_width)) {
      return &it->second;
    }
  }
  return nullptr;
}

// Every two-byte code page 932 code with its character, ascending; asked of
// the converter once.
const std::vector<std::pair<uint16_t, char16_t>>& DoubleByteCodes() {
  static const std::vector<std::pair<uint16_t, char16_t>> codes = [] {
    std::vector<std::pair<uint16_t, char16_t>> list;
    for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
      if (!IsSjisLeadByte(static_cast<uint8_t>(lead))) continue;
      for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
        if (trail == 0x7F) continue;
        const auto code = static_cast<uint16_t>(lead << 8 | trail);
        char16_t unit;
        if (Cp932CodeToUnicode(code, &unit)) list.emplace_back(code, unit);
      }
    }
    return list;
  }();
  return codes;
}

// The font replaces what was there; a link to a font elsewhere (a shared
// collection, say) is replaced, never written through.
bool Create(const std::string& path, OutFile* file) {
  std::string why;
  if (OpenAside(path, path, file, &why)) return true;
  Error("cannot create %s: %s; %s", path.c_str(), why.c_str(),
        WriteErrorAdvice(file->error).c_str());
  return false;
}

}  // namespace

std::vector<CodeRange> GroupIntoBlocks(const std::vector<uint16_t>& codes, size_t max_blocks) {
  std::vector<CodeRange> runs;
  for (uint16_t code : codes) {
    if (!runs.empty() && code == runs.back().last + 1) {
      runs.back().last = code;
    } else {
      runs.push_back({code, code});
    }
  }
  max_blocks = std::max<size_t>(max_blocks, 1);
  if (runs.size() <= max_blocks) return runs;

  // Each hole filled joins two blocks, and the holes are independent of one
  // another, so filling the smallest ones costs the fewest blank codes.
  std::vector<size_t> holes(runs.size() - 1);
  for (size_t i = 0; i < holes.size(); ++i) holes[i] = i;
  auto hole_size = [&](size_t i) { return runs[i + 1].first - runs[i].last; };
  std::stable_sort(holes.begin(), holes.end(),
                   [&](size_t a, size_t b) { return hole_size(a) < hole_size(b); });
  std::vector<bool> fill(holes.size(), false);
  for (size_t k = 0; k < runs.size() - max_blocks; ++k) fill[holes[k]] = true;

  std::vector<CodeRange> blocks;
  for (size_t i = 0; i < runs.size(); ++i) {
    if (i > 0 && fill[i - 1]) {
      blocks.back().last = runs[i].last;
    } else {
      blocks.push_back(runs[i]);
    }
  }
  return blocks;
}

ZenkakuFont BuildZenkaku(const std::vector<GlyphSource>& sources) {
  std::vector<uint16_t> codes;
  std::vector<const SourceGlyph*> found;
  size_t japanese = 0;
  for (const auto& [code, unit] : DoubleByteCodes()) {
    if (const SourceGlyph* glyph = FindSourceGlyph(sources, unit, 0)) {
      codes.push_back(code);
      found.push_back(glyph);
      // Hiragana and katakana, and the unified kanji.
      if ((unit >= 0x3041 && unit <= 0x30FF) || (unit >= 0x4E00 && unit <= 0x9FFF)) ++japanese;
    }
  }
  ZenkakuFont font;
  font.japanese = japanese;
  font.codes = codes.size();
  font.blocks = GroupIntoBlocks(codes, kMaxFontxBlocks);
  size_t next = 0;  // the next code with a glyph
  for (const CodeRange& block : font.blocks) {
    for (unsigned code = block.first; code <= block.last; ++code) {
      uint8_t glyph[kZenkakuGlyphSize] = {};
      if (next < codes.size() && codes[next] == code) {
        const SourceGlyph& source = *found[next++];
        // An 8-dot glyph sits in the left byte of its rows; shifting by 4
        // centres it.
        const int shift = source.width == 8 ? 4 : 0;
        if (shift) ++font.narrow;
        for (size_t r = 0; r < 16; ++r) {
          const auto row = static_cast<uint16_t>(source.rows[r] >> shift);
          glyph[2 * r] = static_cast<uint8_t>(row >> 8);  // left 8 dots first
          glyph[2 * r + 1] = static_cast<uint8_t>(row);
        }
      } else {
        ++font.fillers;
      }
      font.glyphs.insert(font.glyphs.end(), glyph, glyph + kZenkakuGlyphSize);
    }
  }
  return font;
}

HankakuFont BuildHankaku(const std::vector<GlyphSource>& sources) {
  HankakuFont font;
  font.glyphs.assign(256 * kHankakuGlyphSize, 0);
  for (unsigned code = 0; code < 256; ++code) {
    char16_t unit;
    if (code >= 0x20 && code <= 0x7E) {
      unit = static_cast<char16_t>(code);
    } else if (code >= 0xA1 && code <= 0xDF) {
      unit = static_cast<char16_t>(0xFF61 + (code - 0xA1));
    } else {
      continue;
    }
    const SourceGlyph* glyph = FindSourceGlyph(sources, unit, 8);
    if (glyph == nullptr) continue;
    ++(code < 0x80 ? font.ascii : font.katakana);
    for (size_t r = 0; r < 16; ++r) {
      font.glyphs[code * kHankakuGlyphSize + r] = static_cast<uint8_t>(glyph->rows[r] >> 8);
    }
  }
  return font;
}

bool WriteZenkakuFile(const std::string& path, const ZenkakuFont& font) {
  if (font.blocks.size() > kMaxFontxBlocks) {
    Error("cannot write %s: %zu blocks, at most %zu fit", path.c_str(), font.blocks.size(),
          kMaxFontxBlocks);
    return false;
  }
  OutFile file;
  if (!Create(path, &file)) return false;
  uint8_t header[kFontxHeaderSize];
  EncodeHeader(16, 1, header);
  WriteBytes(&file, header, sizeof header);
  const auto count = static_cast<uint8_t>(font.blocks.size());
  WriteBytes(&file, &count, 1);
  for (const CodeRange& block : font.blocks) {
    uint8_t entry[kFontxBlockEntrySize];
    PutLe16(entry + kFontxEntryFirst, block.first);
    PutLe16(entry + kFontxEntryLast, block.last);
    WriteBytes(&file, entry, sizeof entry);
  }
  WriteBytes(&file, font.glyphs.data(), font.glyphs.size());
  return CloseChecked(&file);
}

bool WriteHankakuFile(const std::string& path, const HankakuFont& font) {
  OutFile file;
  if (!Create(path, &file)) return false;
  uint8_t header[kFontxHeaderSize];
  EncodeHeader(8, 0, header);
  WriteBytes(&file, header, sizeof header);
  WriteBytes(&file, font.glyphs.data(), font.glyphs.size());
  return CloseChecked(&file);
}
