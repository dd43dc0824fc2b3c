#include "index/sound_list.h"

#include <algorithm>
#include <cstring>

#include "font/draw.h"
#include "host/console.h"
#include "index/listing.h"
#include "index/sound_record.h"
#include "text/card_path.h"
#include "text/cp932.h"
#include "text/sjis_field.h"
#include "titles/folder_titles.h"

size_t TitleSkip(const std::vector<Title>& titles) {
  int32_t shortest = kMaxTitleLength + 1;
  for (const Title& t : titles) shortest = std::min(shortest, t.Length());
  if (shortest <= 0) return 0;
  for (size_t pos = 0; pos < static_cast<size_t>(shortest); ++pos) {
    for (size_t i = 1; i < titles.size(); ++i) {
      if (titles[i].text[pos] != titles[0].text[pos]) return pos;
    }
  }
  return 0;
}

namespace {

// Writes |line| and CR LF, if |listing| is open. A line feed inside it is
// written as CR LF too, as a text-mode file writes it.
void WriteListingLine(OutFile* listing, std::string_view line) {
  if (!IsOpen(*listing)) return;
  // No byte of a two-byte Shift-JIS character is a line feed.
  for (size_t at = 0; at <= line.size();) {
    const size_t feed = std::min(line.find('\n', at), line.size());
    WriteBytes(listing, line.data() + at, feed - at);
    WriteBytes(listing, "\r\n", 2);
    at = feed + 1;
  }
}

// Fills the Shift-JIS |field| of |size| bytes from the title |text|,
// noting in |listing| when characters had to become "?".
void ConvertForListing(char* field, size_t size, std::u16string_view text, OutFile* listing) {
  bool replaced = false;
  WideToSjisField(field, size, text, &replaced);
  if (replaced) WriteListingLine(listing, kCannotConvertNote);
}

// Writes |sound|'s record: its names and its name drawn (what the fonts
// cannot show noted in |glyph_gaps|).
void WriteSoundRecord(const std::u16string& path, const Sound& sound, OutFile* sound_list,
                      GlyphGapState* glyph_gaps) {
  PageRow<kSoundRowSize> row;
  SoundRecord record;
  memcpy(record.sjis_name, sound.sjis_name, kSoundSjisNameSize);
  record.name = sound.name;
  DrawField(&row, sound.sjis_name, kSoundSjisNameSize, NameKind::kSound,
            [&] { return ShownPath(path); }, glyph_gaps);
  memcpy(record.upper, row.upper, kSoundRowSize);
  memcpy(record.lower, row.lower, kSoundRowSize);
  uint8_t bytes[kSoundRecordSize];
  EncodeSoundRecord(record, bytes);
  WriteBytes(sound_list, bytes, sizeof bytes);
}

// "[name]" or "[name][title]", both fields 48 bytes; the title from |skip|.
void WriteListingEntry(const Sound& sound, const Title& title, size_t skip, OutFile* listing) {
  char line[2 * (kSoundSjisNameSize + 2)];
  size_t length = 0;
  auto bracket = [&](const char* field) {
    line[length++] = '[';
    memcpy(line + length, field, kSoundSjisNameSize);
    length += kSoundSjisNameSize;
    line[length++] = ']';
  };
  bracket(sound.sjis_name);
  if (title.Length() >= 1) {
    char title_field[kSoundNameFieldSize];
    ConvertForListing(title_field, sizeof title_field, std::u16string_view(title.text).substr(skip),
                      listing);
    bracket(title_field);
  }
  WriteListingLine(listing, std::string_view(line, length));
}

}  // namespace

void WriteSoundList(const std::u16string& folder_path, const std::vector<Sound>& sounds,
                    const std::vector<Title>& titles, SoundListFiles* files,
                    GlyphGapState* glyph_gaps) {
  const Title none;
  const size_t skip = titles.size() == sounds.size() ? TitleSkip(titles) : 0;
  OutFile* listing = &files->listing;
  for (size_t i = 0; i < sounds.size(); ++i) {
    const Sound& sound = sounds[i];
    if (sound.name_replaced) WriteListingLine(listing, kCannotConvertNote);
    WriteSoundRecord(ChildPath(folder_path, sound.name), sound, &files->sound_list,
                     glyph_gaps);
    WriteListingEntry(sound, i < titles.size() ? titles[i] : none, skip, listing);
  }
}

void GetSubDirInfo(const std::u16string& path, DirInfo* dir, SoundListWriter* writer) {
  Out("GetSubDirInfo=[%s]\n",
      Cp932ToUtf8(std::string_view(dir->sjis_name, kFolderNameFieldSize - 1)).c_str());
  if (dir->file_unit) Out(" ファイル単位\n");
  // A folder's names are noted before its parent's sounds.
  for (const DirInfo& child : dir->children) {
    if (child.name_replaced) WriteListingLine(&writer->files->listing, kCannotConvertNote);
  }
  if (!dir->sounds.empty()) {
    FolderTitles titles = AwaitFolderTitles(writer->titles, dir->titles, path,
                                            writer->tag_charset, writer->decoders);
    writer->tally.Add(titles.decision);
    WriteSoundList(path, dir->sounds, titles.shown, writer->files, writer->glyph_gaps);
    // The record of titles keeps them as read.
    for (size_t i = 0; i < dir->sounds.size() && i < titles.read.size(); ++i) {
      dir->sounds[i].title = std::move(titles.read[i]);
    }
  }
  for (DirInfo& child : dir->children) {
    GetSubDirInfo(ChildPath(path, child.name), &child, writer);
  }
}
