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

// Reads the folder's titles stored as Latin-1 in the code page the writer's
// setting picks; with auto, says what it chose.
TagCharsetDecision ReadOldCodePages(const std::u16string& folder_path, SoundListWriter* writer,
                                    std::vector<Title>* titles) {
  const TagCharsetDecision read = RecodeFolderTitles(writer->tag_charset, writer->decoders, titles);
  if (writer->tag_charset.automatic && (read.recoded_titles > 0 || read.windows1252_titles > 0)) {
    std::string what;
    if (read.recoded_titles > 0) {
      what = std::to_string(read.recoded_titles) +
             (read.recoded_titles == 1 ? " title" : " titles") +
             " stored as Latin-1 read as " + CodePageName(read.page);
    }
    if (read.windows1252_titles > 0) {
      what += std::string(what.empty() ? "" : "; ") + std::to_string(read.windows1252_titles) +
              (read.windows1252_titles == 1 ? " title" : " titles") +
              " read as Windows-1252";
    }
    Note("%s: %s (--tag-charset latin1 reads titles as stored)", ShownPath(folder_path).c_str(),
         what.c_str());
  }
  return read;
}

// Writes |sound|'s record: its names and its name drawn.
void WriteSoundRecord(const std::u16string& path, const Sound& sound, OutFile* sound_list) {
  PageRow<kSoundRowSize> row;
  SoundRecord record;
  memcpy(record.sjis_name, sound.sjis_name, kSoundSjisNameSize);
  record.name = sound.name;
  DrawField(&row, sound.sjis_name, kSoundSjisNameSize, NameKind::kSound,
            [&] { return ShownPath(path); });
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

TagCharsetDecision WriteSoundList(const std::u16string& folder_path, const TitleTicket& ticket,
                                  std::vector<Sound>* sounds, SoundListWriter* writer) {
  std::vector<Title> titles;
  titles.reserve(sounds->size());
  for (size_t i = 0; i < sounds->size(); ++i) {
    Sound& sound = (*sounds)[i];
    sound.title = AwaitTitle(writer->titles, ticket, i);
    titles.push_back(sound.title);
  }
  const TagCharsetDecision read = ReadOldCodePages(folder_path, writer, &titles);
  const size_t skip = TitleSkip(titles);
  OutFile* listing = &writer->files->listing;
  for (size_t i = 0; i < sounds->size(); ++i) {
    const Sound& sound = (*sounds)[i];
    if (sound.name_replaced) WriteListingLine(listing, kCannotConvertNote);
    WriteSoundRecord(ChildPath(folder_path, sound.name), sound, &writer->files->sound_list);
    WriteListingEntry(sound, titles[i], skip, listing);
  }
  return read;
}

void GetSubDirInfo(const std::u16string& path, DirInfo* dir, SoundListWriter* writer) {
  Out("GetSubDirInfo=[%s]\n",
      Cp932ToUtf8(std::string_view(dir->sjis_name, kFolderNameFieldSize - 1)).c_str());
  if (dir->file_unit) Out(" ファイル単位\n");
  // A folder's names are noted before its parent's sounds.
  for (const DirInfo& child : dir->children) {
    if (child.name_replaced) WriteListingLine(&writer->files->listing, kCannotConvertNote);
  }
  if (!dir->sounds.empty()) writer->tally.Add(WriteSoundList(path, dir->titles, &dir->sounds, writer));
  for (DirInfo& child : dir->children) {
    GetSubDirInfo(ChildPath(path, child.name), &child, writer);
  }
}
