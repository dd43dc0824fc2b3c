#include "tools/view/index_png.h"

#include <png.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/console.h"
#include "host/file.h"
#include "index/message_file.h"

namespace {

// The picture has five colours, stored as a palette: a third of the bytes
// of RGB to filter and compress, which is most of the time a card takes.
enum Colour : uint8_t { kInk, kPaper, kPaperBeyond, kFrame, kPage, kLabelInk, kColours };
constexpr png_color kPalette[kColours] = {
    {0x00, 0x00, 0x00},  // ink
    {0xE8, 0xF0, 0xD8},  // paper inside the frame
    {0xC8, 0xCC, 0xC0},  // paper beyond it: what scrolls in later
    {0xD0, 0x30, 0x30},  // the frame
    {0xF8, 0xF8, 0xF8},  // the page around the strips
    {0x30, 0x40, 0xA0},  // the labels
};

// The labels' characters, 3 x 5 dots: a row a byte, bit 2 the leftmost dot.
struct LabelGlyph {
  char c;
  uint8_t rows[kLabelRows];
};
constexpr LabelGlyph kLabelFont[] = {
    {'0', {7, 5, 5, 5, 7}}, {'1', {2, 6, 2, 2, 7}}, {'2', {7, 1, 7, 4, 7}},
    {'3', {7, 1, 3, 1, 7}}, {'4', {5, 5, 7, 1, 1}}, {'5', {7, 4, 7, 1, 7}},
    {'6', {7, 4, 7, 5, 7}}, {'7', {7, 1, 1, 2, 2}}, {'8', {7, 5, 7, 5, 7}},
    {'9', {7, 5, 7, 1, 7}}, {'F', {7, 4, 6, 4, 4}}, {'S', {3, 4, 2, 1, 6}},
    {'M', {5, 7, 7, 5, 5}},
};

// One 16-pixel line of the files, in page layout, and the record it shows.
struct Strip {
  const uint8_t* upper;
  const uint8_t* lower;
  size_t columns;
  size_t x;
  std::string label;  // "F12" folder 12, "S340" sound record 340, "M8" message 8
};

bool LabelDot(const std::string& label, size_t x, size_t y) {
  if (x < kLabelX || y < kLabelTop || y >= kLabelTop + kLabelRows) return false;
  const size_t cell = (x - kLabelX) / kLabelAdvance, dot = (x - kLabelX) % kLabelAdvance;
  if (cell >= label.size() || dot >= kLabelColumns) return false;
  for (const LabelGlyph& glyph : kLabelFont) {
    if (glyph.c == label[cell]) return (glyph.rows[y - kLabelTop] >> (kLabelColumns - 1 - dot)) & 1;
  }
  return false;
}

std::vector<Strip> Strips(const CardIndex& index) {
  std::vector<Strip> strips;
  for (const TreeStep& step : WalkTree(index)) {
    const FolderRecord& r = index.folders[step.number - 1].record;
    strips.push_back(
        {r.upper, r.lower, kFolderRowSize, kFolderX, "F" + std::to_string(step.number)});
    for (size_t k = r.first_sound; k < size_t{r.first_sound} + r.sound_count; ++k) {
      if (k >= index.sounds.size()) break;
      const SoundRecord& s = index.sounds[k].record;
      strips.push_back({s.upper, s.lower, kSoundRowSize, kSoundX, "S" + std::to_string(k)});
    }
  }
  for (size_t at = 0; at + kMessageRecordSize <= index.messages.size(); at += kMessageRecordSize) {
    const uint8_t* m = index.messages.data() + at;
    strips.push_back({m + kMessageUpperRow, m + kMessageLowerRow, kMessageRowSize, kFolderX,
                      "M" + std::to_string(at / kMessageRecordSize)});
  }
  return strips;
}

// The colour of pixel (x, y) of a band holding |s|.
Colour BandPixel(const Strip& s, size_t x, size_t y) {
  const size_t left = s.x - 1, right = s.x + kDisplayColumns;
  const bool in_strip = y >= kStripTop && y < kStripTop + 16 && x >= s.x && x < s.x + s.columns;
  if (in_strip) {
    const size_t row = y - kStripTop, column = x - s.x;
    const uint8_t bits = row < 8 ? s.upper[column] : s.lower[column];
    if ((bits >> (row % 8)) & 1) return kInk;
  }
  const bool frame_rows = y == kStripTop - 1 || y == kStripTop + 16;
  const bool inside_rows = y >= kStripTop - 1 && y <= kStripTop + 16;
  if ((frame_rows && x >= left && x <= right) || (inside_rows && (x == left || x == right))) {
    return kFrame;
  }
  if (in_strip) return x < right ? kPaper : kPaperBeyond;
  return LabelDot(s.label, x, y) ? kLabelInk : kPage;
}

struct PngSink {
  OutFile file;
  std::string message;  // libpng's reason when it gave up
};

void PngWrite(png_structp png, png_bytep data, size_t n) {
  WriteBytes(&static_cast<PngSink*>(png_get_io_ptr(png))->file, data, n);
}

void PngFlush(png_structp) {}

[[noreturn]] void PngError(png_structp png, png_const_charp message) {
  static_cast<PngSink*>(png_get_error_ptr(png))->message = message;
  png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

// Hands out the picture row by row, so that a large card never needs the
// whole picture in memory.
class PictureRows {
 public:
  PictureRows(std::vector<Strip> strips, size_t scale)
      : strips_(std::move(strips)), scale_(scale), row_(kPictureWidth * scale) {}
  size_t width() const { return kPictureWidth * scale_; }
  size_t height() const { return strips_.size() * kBandHeight * scale_; }

  png_bytep Row(size_t y) {
    const Strip& strip = strips_[y / scale_ / kBandHeight];
    const size_t band_y = y / scale_ % kBandHeight;
    for (size_t x = 0; x < kPictureWidth; ++x) {
      memset(&row_[x * scale_], BandPixel(strip, x, band_y), scale_);
    }
    return row_.data();
  }

 private:
  std::vector<Strip> strips_;
  size_t scale_;
  std::vector<uint8_t> row_;
};

// Encodes the picture into |sink|. Nothing here owns memory across the
// jump libpng makes on an error.
bool Encode(PngSink* sink, PictureRows* rows) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, sink, PngError, PngWarning);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, sink, PngWrite, PngFlush);
  png_set_IHDR(png, info, static_cast<png_uint_32>(rows->width()),
               static_cast<png_uint_32>(rows->height()), 8, PNG_COLOR_TYPE_PALETTE,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_PLTE(png, info, kPalette, kColours);
  png_write_info(png, info);
  for (size_t y = 0; y < rows->height(); ++y) png_write_row(png, rows->Row(y));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool WriteIndexPng(const CardIndex& index, const std::string& path, int scale) {
  PictureRows rows(Strips(index), static_cast<size_t>(scale));
  if (rows.height() == 0) {
    Error("cannot write %s: the index holds no names to draw", path.c_str());
    return false;
  }
  if (rows.height() > kMaxPictureHeight) {
    Error("cannot write %s: the picture would be %zu pixels tall, more than %zu; "
          "try a smaller --scale",
          path.c_str(), rows.height(), kMaxPictureHeight);
    return false;
  }
  PngSink sink;
  std::string why;
  if (!OpenWrite(path, path, &sink.file, &why)) {
    Error("cannot create %s: %s", path.c_str(), why.c_str());
    return false;
  }
  if (!Encode(&sink, &rows)) {
    if (!sink.file.failed) {
      Error("cannot write %s: %s", path.c_str(),
            sink.message.empty() ? "out of memory" : sink.message.c_str());
    }
    return false;
  }
  return CloseChecked(&sink.file);
}
