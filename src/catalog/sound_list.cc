#include "catalog/sound_list.h"

#include <algorithm>

#include "catalog/sound_record.h"
#include "catalog/title_tag.h"
#include "font/draw.h"
#include "sjis/listing.h"
#include "sjis/sjis_field.h"

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

void WriteSoundList(const std::vector<std::u16string>& mp3list) {
  std::vector<TitleResult> titles;
  titles.reserve(mp3list.size());
  for (size_t i = 0; i < mp3list.size(); ++i) titles.push_back(NextTitle());
  const size_t skip = TitleSkip(titles);

  PageRow<kSoundRowSize> row;
  SoundRecord record;
  uint8_t bytes[kSoundRecordSize];
  for (size_t i = 0; i < mp3list.size(); ++i) {
    char name_field[kSoundNameFieldSize];
    WideToSjisField(name_field, sizeof name_field, mp3list[i]);
    memcpy(record.sjis_name, name_field, kSoundSjisNameSize);
    record.name = mp3list[i];
    DrawField(&row, name_field, kSoundSjisNameSize);
    memcpy(record.upper, row.upper, kSoundRowSize);
    memcpy(record.lower, row.lower, kSoundRowSize);
    EncodeSoundRecord(record, bytes);
    WriteBytes(&g_catalog.sound_list, bytes, sizeof bytes);

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
      WideToSjisField(title_field, sizeof title_field,
                      std::u16string_view(titles[i].title).substr(skip));
      bracket(title_field);
    }
    WriteListingLine(std::string_view(line, length));
    ++g_catalog.sound_index;
  }
}
