// The card's two fonts, loaded from their files in _FONT at the start of a
// run; the format itself is read in fontx.cc.
#include <algorithm>
#include <cstring>
#include <cstdint>
#include <string>
#include <vector>

#include "font/fontx.h"
#include "host/card_folder.h"
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
  Warn("%s is a %d x %d %s font, not %d x 16 %s: names drawn with it will be cut or blank; "
       "build the fonts again with cardprep-font",
       Utf16ToUtf8(path).c_str(), font.width, font.height,
       is_double ? "double-byte" : "single-byte", want_width,
       double_byte ? "double-byte" : "single-byte");
}

// Loads a font of the card as the player's tools did, with their lines.
bool LoadFont(std::u16string_view path, FontInfo* font, bool double_byte, std::string* why) {
  if (!GetFontMetrics(path, font, why)) {
    Out("GetFontMetrics error %s\n", Utf16ToUtf8(path).c_str());
    return false;
  }
  WarnAboutShape(*font, path, double_byte);
  return true;
}

// Reads the font file at |path| and decodes it, without a word; false with
// |*problem| when it cannot be used.
bool ReadFont(std::u16string_view path, FontInfo* font, FontxProblem* problem) {
  UniqueFd fd;
  uint64_t file_size = 0;
  std::string why;
  if (!OpenRegularFile(HostPath(path), &fd, &file_size, &why)) {
    problem->as_bad_signature = false;
    problem->what = TypeOfEntry(HostPath(path)) == EntryType::kMissing
                        ? "is missing"
                        : "cannot be opened (" + why + ")";
    return false;
  }
  // The header and block table first; then only as much of the file as they
  // announce, and never more than it holds.
  std::vector<uint8_t> bytes(static_cast<size_t>(
      std::min<uint64_t>(file_size, kFontxBlockTable + 255 * kFontxBlockEntrySize)));
  int error = 0;
  bytes.resize(ReadFully(fd.get(), bytes.data(), bytes.size(), &error));
  const uint64_t wanted =
      std::min<uint64_t>(FontxAnnouncedSize(bytes.data(), bytes.size()), file_size);
  if (error == 0 && wanted > bytes.size()) {
    const size_t have = bytes.size();
    bytes.resize(static_cast<size_t>(wanted));
    bytes.resize(have + ReadFully(fd.get(), bytes.data() + have, bytes.size() - have, &error));
  }
  // A read that fails is no truncated font: the card could not deliver it.
  if (error != 0) {
    problem->as_bad_signature = false;
    problem->what = std::string("cannot be read (") + strerror(error) + ")";
    return false;
  }
  return DecodeFontx(bytes.data(), bytes.size(), font, problem);
}

}  // namespace

bool GetFontMetrics(std::u16string_view path, FontInfo* font, std::string* why) {
  FontxProblem problem;
  if (ReadFont(path, font, &problem)) return true;
  // The player's tools said a font they could not read as one they could
  // not open, and one of another format as not FONTX.
  if (problem.what == "is missing" || problem.what.rfind("cannot be", 0) == 0) {
    Out("フォントファイルオープンエラー\n");
  } else if (problem.as_bad_signature) {
    Out("FONTXでない\n");
  }
  const std::string shown = Utf16ToUtf8(path);
  if (why != nullptr) {
    *why = problem.what;
  } else {
    Error("%s %s", shown.c_str(), problem.what.c_str());
  }
  return false;
}

bool InitFont(std::vector<FontFailure>* failures) {
  std::string why;
  if (!LoadFont(kZenkakuFontPath, &g_font.zenkaku, true, failures ? &why : nullptr)) {
    if (failures == nullptr) return false;
    failures->push_back({kZenkakuFontPath, why});
    FontInfo unused;
    FontxProblem problem;
    if (!ReadFont(kHankakuFontPath, &unused, &problem)) {
      failures->push_back({kHankakuFontPath, problem.what});
    }
    return false;
  }
  if (!LoadFont(kHankakuFontPath, &g_font.hankaku, false, failures ? &why : nullptr)) {
    if (failures != nullptr) failures->push_back({kHankakuFontPath, why});
    return false;
  }
  Out("InitFont OK\n");
  return true;
}
