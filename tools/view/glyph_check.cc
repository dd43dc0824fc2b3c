#include "tools/view/glyph_check.h"

#include <algorithm>
#include <map>

#include "catalog/player_names.h"
#include "font/draw.h"
#include "font/fontx.h"
#include "host/file.h"
#include "index/listing.h"
#include "index/message_file.h"
#include "index/sound_list.h"
#include "text/card_path.h"
#include "text/cp932.h"
#include "text/sjis_field.h"
#include "text/utf.h"

namespace {

// Fonts far larger than any FONTX2 font are not read.
constexpr uint64_t kMaxFontBytes = 64u << 20;


// Reads one of the card's fonts; false with |*why|.
bool ReadCardFont(std::u16string_view path, FontInfo* font, std::string* why) {
  std::vector<uint8_t> bytes;
  uint64_t size = 0;
  if (!ReadFileUpTo(HostPath(path), kMaxFontBytes, &bytes, &size, why)) return false;
  if (size > kMaxFontBytes) {
    *why = "it is far larger than a font";
    return false;
  }
  FontxProblem problem;
  if (DecodeFontx(bytes.data(), bytes.size(), font, &problem)) return true;
  *why = "it " + problem.what;
  return false;
}

bool AllZero(const uint8_t* bytes, size_t n) {
  return std::all_of(bytes, bytes + n, [](uint8_t b) { return b == 0; });
}

bool AllSpaces(const char* field, size_t n) {
  return std::all_of(field, field + n, [](char c) { return c == ' '; });
}

// What the check found of one character the fonts cannot show.
struct Gap {
  bool blank = false;
  size_t names = 0;
  std::string first;  // the first name that holds it
};

class GlyphCheck {
 public:
  GlyphCheck(const FontInfo& zenkaku, const FontInfo& hankaku)
      : zenkaku_(zenkaku), hankaku_(hankaku) {}

  // Notes every character of the Shift-JIS |field| the fonts cannot show.
  void Check(const char* field, size_t size, const std::string& what) {
    std::vector<uint32_t> seen;
    for (size_t i = 0; i < size;) {
      const auto b = static_cast<uint8_t>(field[i]);
      const bool two = IsSjisLeadByte(b) && i + 1 < size;
      const auto code = static_cast<uint16_t>(two ? b << 8 | static_cast<uint8_t>(field[i + 1]) : b);
      i += two ? 2 : 1;
      const FontInfo& font = two ? zenkaku_ : hankaku_;
      const uint8_t* glyph = FindGlyph(font, code);
      const bool blank = glyph != nullptr && AllZero(glyph, static_cast<size_t>(font.glyph_size)) &&
                         !IsSpaceCode(code, two);
      if (glyph != nullptr && !blank) continue;
      const uint32_t key = uint32_t{two} << 16 | code;
      if (std::find(seen.begin(), seen.end(), key) != seen.end()) continue;
      seen.push_back(key);
      Gap& gap = gaps_[key];
      gap.blank = blank;
      if (gap.names++ == 0) gap.first = what;
    }
  }

  void Report(Findings* findings) const {
    for (const auto& [key, gap] : gaps_) {
      const bool two = key >> 16;
      findings->problems.push_back(
          DescribeCode(static_cast<uint16_t>(key), two) + ": " +
          (gap.blank ? "a blank glyph in " : "no glyph in ") +
          Utf16ToUtf8(two ? kZenkakuFontPath : kHankakuFontPath) + ", so the display shows " +
          std::to_string(gap.names) + (gap.names == 1 ? " name" : " names") +
          (gap.blank ? " with a gap in its place" : " without it") + " (first: " + gap.first +
          ")");
    }
  }

 private:
  const FontInfo& zenkaku_;
  const FontInfo& hankaku_;
  std::map<uint32_t, Gap> gaps_;
};

// One line for every kind of record whose names are drawn blank though they
// hold more than spaces.
class BlankNames {
 public:
  void Check(const char* field, size_t size, const uint8_t* upper, const uint8_t* lower,
             size_t columns, const std::string& what) {
    if (AllSpaces(field, size)) return;
    ++named_;
    if (!AllZero(upper, columns) || !AllZero(lower, columns)) return;
    if (count_++ == 0) first_ = what;
  }
  // |nothing_drawn|: no name of any kind is drawn, as when the card was
  // indexed without its fonts.
  void Report(const char* kind, bool nothing_drawn, Findings* findings) const {
    if (count_ == 0) return;
    findings->problems.push_back(std::to_string(count_) + " " + kind + (count_ == 1 ? "" : "s") +
                                 " drawn blank (first: " + first_ + ")" +
                                 (nothing_drawn ? ": was the card indexed without its fonts?"
                                                : ""));
  }
  bool AllBlank() const { return count_ == named_; }

 private:
  size_t named_ = 0;  // names holding more than spaces
  size_t count_ = 0;
  std::string first_;
};

// Characters of the names that Shift-JIS has no form for, nor a look-alike,
// found by converting each name again as cardprep does, and told as
// cardprep tells them: one note per folder, for its own name and its
// sounds' names.
class UnshownCharacters {
 public:
  // |folder|: the number of the folder the name belongs to.
  void Check(const std::u16string& text, size_t field_size, uint32_t folder,
             const std::string& what) {
    std::vector<char> field(field_size);
    bool replaced = false;
    std::vector<char32_t> lost;
    WideToSjisField(field.data(), field_size, text, &replaced, &lost);
    if (lost.empty()) return;
    Group& group = groups_[folder];
    if (group.names++ == 0) group.first = what;
    for (const char32_t c : lost) {
      if (std::find(group.characters.begin(), group.characters.end(), c) ==
          group.characters.end()) {
        group.characters.push_back(c);
      }
    }
  }
  void Report(const CardIndex& index, Findings* findings) const {
    for (const auto& [folder, group] : groups_) {
      findings->notes.push_back(DescribeUnshownNames(group.names, group.characters,
                                                     FolderLabel(index, folder), group.first));
      findings->notes_beyond_music = true;
    }
  }

 private:
  struct Group {
    size_t names = 0;
    std::string first;
    std::vector<char32_t> characters;  // in the order met
  };
  std::map<uint32_t, Group> groups_;  // by folder number
};

// How sound k is named in a finding.
std::string SoundWhat(const CardIndex& index, size_t k) {
  const uint16_t folder = k < index.sound_folder.size() ? index.sound_folder[k] : 0;
  return "sound " + std::to_string(k) + " " + SoundPath(index, folder, k);
}

std::string MessageWhat(size_t m) {
  return "message " + std::to_string(m) + " \"" + Utf16ToUtf8(kMessages[m]) + "\"";
}

// The messages' fields: ASCII, space padded.
std::vector<std::string> MessageFields() {
  std::vector<std::string> messages;
  for (const char16_t* message : kMessages) {
    std::string field = Utf16ToUtf8(message);
    field.resize(kMessageFieldSize - 1, ' ');
    messages.push_back(field);
  }
  return messages;
}

void CheckBlankRows(const CardIndex& index, const std::vector<std::string>& messages,
                    Findings* findings) {
  BlankNames blank_sounds, blank_folders, blank_messages;
  for (size_t k = 0; k < index.sounds.size(); ++k) {
    const SoundRecord& r = index.sounds[k].record;
    blank_sounds.Check(r.sjis_name, kSoundSjisNameSize, r.upper, r.lower, kSoundRowSize,
                       SoundWhat(index, k));
  }
  for (size_t n = 2; n <= index.folders.size(); ++n) {
    const FolderRecord& r = index.folders[n - 1].record;
    blank_folders.Check(r.sjis_name, kFolderSjisNameSize, r.upper, r.lower, kFolderRowSize,
                        FolderLabel(index, static_cast<uint32_t>(n)));
  }
  for (size_t m = 0; m < kMessageCount && (m + 1) * kMessageRecordSize <= index.messages.size();
       ++m) {
    const uint8_t* record = index.messages.data() + m * kMessageRecordSize;
    blank_messages.Check(messages[m].data(), messages[m].size(), record + kMessageUpperRow,
                         record + kMessageLowerRow, kMessageRowSize, MessageWhat(m));
  }
  const bool nothing_drawn =
      blank_sounds.AllBlank() && blank_folders.AllBlank() && blank_messages.AllBlank();
  blank_sounds.Report("sound name", nothing_drawn, findings);
  blank_folders.Report("folder name", nothing_drawn, findings);
  blank_messages.Report("message", nothing_drawn, findings);
}

void CheckUnshown(const CardIndex& index, Findings* findings) {
  UnshownCharacters unshown;
  // A folder's own name first, then its sounds', as cardprep names them.
  for (size_t n = 2; n <= index.folders.size(); ++n) {
    const FolderRecord& r = index.folders[n - 1].record;
    const IndexedFolder* parent = FindFolder(index, r.parent);
    const auto number = static_cast<uint32_t>(n);
    unshown.Check(FolderShownText(r.name, parent != nullptr ? parent->record.name : u""),
                  kFolderNameFieldSize, number, FolderLabel(index, number));
  }
  for (size_t k = 0; k < index.sounds.size(); ++k) {
    const uint32_t folder = k < index.sound_folder.size() ? index.sound_folder[k] : 0;
    unshown.Check(index.sounds[k].record.name, kSoundNameFieldSize, folder, SoundWhat(index, k));
  }
  unshown.Report(index, findings);
}

// Against the card's own fonts; without them, a note says nothing was checked.
void CheckAgainstFonts(const CardIndex& index, const std::vector<std::string>& messages,
                       Findings* findings) {
  FontInfo zenkaku, hankaku;
  std::string why;
  for (auto [path, font] : {std::pair{kZenkakuFontPath, &zenkaku}, std::pair{kHankakuFontPath, &hankaku}}) {
    if (!ReadCardFont(path, font, &why)) {
      findings->notes.push_back("cannot read " + Utf16ToUtf8(path) + " (" + why +
                                "): the characters of the names are not checked against it");
      findings->notes_beyond_music = true;
      return;
    }
  }
  GlyphCheck glyphs(zenkaku, hankaku);
  for (size_t k = 0; k < index.sounds.size(); ++k) {
    glyphs.Check(index.sounds[k].record.sjis_name, kSoundSjisNameSize, SoundWhat(index, k));
  }
  for (size_t n = 2; n <= index.folders.size(); ++n) {
    glyphs.Check(index.folders[n - 1].record.sjis_name, kFolderSjisNameSize,
                 FolderLabel(index, static_cast<uint32_t>(n)));
  }
  for (size_t m = 0; m < kMessageCount; ++m) {
    glyphs.Check(messages[m].data(), messages[m].size(), MessageWhat(m));
  }
  glyphs.Report(findings);
}

}  // namespace

void CheckGlyphs(const CardIndex& index, Findings* findings) {
  const std::vector<std::string> messages = MessageFields();
  CheckBlankRows(index, messages, findings);
  CheckUnshown(index, findings);
  CheckAgainstFonts(index, messages, findings);
}
