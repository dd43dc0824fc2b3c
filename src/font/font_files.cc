// The card's two fonts, loaded from their files in _FONT at the start of a
// run; the format itself is read in fontx.cc.
#include <algorithm>
#include <cstring>
#include <cstdint>
#include <string>
#include <vector>

#include "font/fontx.h"
#include "host/console.h"
#include "host/file.h"
#include "text/card_path.h"
#include "text/utf.h"

namespace {

// The player's lines are 16 dots high and 8 dots a text byte, so anything
// else is drawn cut, misplaced or blank: say so once.
void WarnAboutShape(const FontInfo& font, std::u16string_view path, bool double_byte) {
  const int want_width = double_byte ? 16 : 8;
  const bool is_double = font.code_type != 0;
  if (font.width == want_width && font.height == 16 && is_double == double_byte) return;
  Warn("%s is a %d x %d %s font, not %d x 16 %s: names drawn with it will be cut or blank",
       Utf16ToUtf8(path).c_str(), font.width, font.height,
       is_double ? "double-byte" : "single-byte", want_width,
       double_byte ? "double-byte" : "single-byte");
}

bool LoadFont(std::u16string_view path, FontInfo* font, bool double_byte) {
  if (!GetFontMetrics(path, font)) {
    Out("GetFontMetrics error %s\n", Utf16ToUtf8(path).c_str());
    return false;
  }
  WarnAboutShape(*font, path, double_byte);
  return true;
}

}  // namespace

bool GetFontMetrics(std::u16string_view path, FontInfo* font) {
  const std::string shown = Utf16ToUtf8(path);
  UniqueFd fd;
  uint64_t file_size = 0;
  std::string why;
  if (!OpenRegularFile(HostPath(path), &fd, &file_size, &why)) {
    Out("フォントファイルオープンエラー\n");
    Error("cannot open %s: %s", shown.c_str(), why.c_str());
    return false;
  }
  // The header and block table first; then only as much of the file as they
  // announce, and never more than it holds.
  std::vector<uint8_t> bytes(
      static_cast<size_t>(std::min<uint64_t>(file_size, kFontxBlockTable + 255 * kFontxBlockEntrySize)));
  int error = 0;
  bytes.resize(ReadFully(fd.get(), bytes.data(), bytes.size(), &error));
  const uint64_t wanted = std::min<uint64_t>(FontxAnnouncedSize(bytes.data(), bytes.size()), file_size);
  if (error == 0 && wanted > bytes.size()) {
    const size_t have = bytes.size();
    bytes.resize(static_cast<size_t>(wanted));
    bytes.resize(have + ReadFully(fd.get(), bytes.data() + have, bytes.size() - have, &error));
  }
  // A read that fails is no truncated font: the card could not deliver it.
  if (error != 0) {
    Out("フォントファイルオープンエラー\n");
    Error("cannot read %s: %s", shown.c_str(), strerror(error));
    return false;
  }
  return ParseFontx(bytes.data(), bytes.size(), shown, font);
}

bool InitFont() {
  if (!LoadFont(kZenkakuFontPath, &g_font.zenkaku, true)) return false;
  if (!LoadFont(kHankakuFontPath, &g_font.hankaku, false)) return false;
  Out("InitFont OK\n");
  return true;
}
