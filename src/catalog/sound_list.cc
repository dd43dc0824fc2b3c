#include "catalog/sound_list.h"

#include <algorithm>

#include "catalog/listing.h"
#include "catalog/sound_record.h"
#include "font/draw.h"
#include "host/console.h"
#include "host/folder.h"
#include "text/card_path.h"
#include "text/sjis_field.h"
#include "titles/title_tag.h"

size_t TitleSkip(const std::vector<TitleResult>& titles) {
  int32_t shortest = kMaxTitleLength + 1;
  for (const TitleResult& t : titles) shortest = std::min(shortest, t.length);
  if (shortest <= 0) return 0;
  for (size_t pos = 0; pos < static_cast<size_t>(shortest); ++pos) {
    for (size_t i = 1; i < titles.size(); ++i) {
      if (titles[i].title[pos] != titles[0].title[pos]) return pos;
    }
  }
  return 0;
}

namespace {

// Reads the folder's titles stored as Latin-1 in the code page |charset|
// picks; with auto, says what it chose.
TagCharsetDecision ReadOldCodePages(const std::u16string& folder_path, const TagCharset& charset,
                                    CodePageDecoders* decoders, std::vector<TitleResult>* titles) {
  std::vector<TagTitle> texts;
  for (TitleResult& t : *titles) {
    if (t.length >= 1) texts.push_back({&t.title, t.latin1});
  }
  const TagCharsetDecision read = RecodeFolderTitles(charset, decoders, texts);
  for (TitleResult& t : *titles) {
    if (t.length >= 1) t.length = static_cast<int32_t>(t.title.size());
  }
  if (charset.automatic && (read.recoded_titles > 0 || read.windows1252_titles > 0)) {
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

}  // namespace

TagCharsetDecision WriteSoundList(const std::u16string& folder_path, size_t count,
                                  const TagCharset& tag_charset, CodePageDecoders* decoders,
                                  SoundListFiles* files) {
  std::vector<std::u16string> names;
  std::vector<TitleResult> titles;
  names.reserve(count);
  titles.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    TitledSound sound = NextTitle();
    names.push_back(std::move(sound.name));
    titles.push_back(std::move(sound.title));
  }
  const TagCharsetDecision read = ReadOldCodePages(folder_path, tag_charset, decoders, &titles);
  const size_t skip = TitleSkip(titles);

  PageRow<kSoundRowSize> row;
  SoundRecord record;
  uint8_t bytes[kSoundRecordSize];
  for (size_t i = 0; i < count; ++i) {
    char name_field[kSoundNameFieldSize];
    const std::u16string path = folder_path + u'\\' + names[i];
    ConvertForListing(name_field, sizeof name_field, names[i], &files->listing, &path);
    memcpy(record.sjis_name, name_field, kSoundSjisNameSize);
    record.name = std::move(names[i]);
    DrawField(&row, name_field, kSoundSjisNameSize, [&] { return ShownPath(path); });
    memcpy(record.upper, row.upper, kSoundRowSize);
    memcpy(record.lower, row.lower, kSoundRowSize);
    EncodeSoundRecord(record, bytes);
    WriteBytes(&files->sound_list, bytes, sizeof bytes);

    // "[name]" or "[name][title]", both fields 48 bytes.
    char line[2 * (kSoundSjisNameSize + 2)];
    size_t length = 0;
    auto bracket = [&](const char* field) {
      line[length++] = '[';
      memcpy(line + length, field, kSoundSjisNameSize);
      length += kSoundSjisNameSize;
      line[length++] = ']';
    };
    bracket(name_field);
    if (titles[i].length >= 1) {
      char title_field[kSoundNameFieldSize];
      ConvertForListing(title_field, sizeof title_field,
                        std::u16string_view(titles[i].title).substr(skip), &files->listing);
      bracket(title_field);
    }
    WriteListingLine(&files->listing, std::string_view(line, length));
  }
  return read;
}
