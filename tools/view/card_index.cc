#include "tools/view/card_index.h"

#include <algorithm>
#include <cstring>

#include "catalog/scan_rules.h"
#include "host/file.h"
#include "index/dir_list.h"
#include "index/listing.h"
#include "index/message_file.h"
#include "index/sound_list.h"
#include "text/card_path.h"
#include "text/cp932.h"
#include "text/utf.h"

namespace {

// What the player can address: 65534 folders below the root, 65535 sounds,
// one play-order entry per sound at most. A listing line is 102 bytes, and
// each name or title may add a 17-byte "cannot convert" line.
constexpr uint64_t kMaxDirListBytes = kDirListHeaderSize + (kMaxFolders + 1) * kFolderRecordSize;
constexpr uint64_t kMaxSoundListBytes = uint64_t{kMaxSounds} * kSoundRecordSize;
constexpr uint64_t kMaxPlayOrderBytes = uint64_t{kMaxSounds} * kEntrySize;
constexpr uint64_t kMaxMessageBytes = kMessageCount * kMessageRecordSize;
constexpr uint64_t kMaxListingBytes = 16u << 20;

constexpr char kCannotConvertLine[] = "cannot convert \r\n";

// Reads the start of |file|, at most |limit| bytes, from the working folder.
bool ReadIndexFile(const char* name, uint64_t limit, IndexFile* file,
                   std::vector<uint8_t>* bytes) {
  file->name = name;
  if (!ReadFileUpTo(std::string("./") + name, limit, bytes, &file->size, &file->why)) return false;
  file->cut = file->size > limit;
  file->present = true;
  return true;
}

// TAGINF16.TXT: "[name]" or "[name][title]" with 48-byte fields, CR LF after
// each, and "cannot convert " lines in between.
void ParseListing(const std::string& text, CardIndex* index) {
  constexpr size_t kField = kSoundSjisNameSize;
  auto bracketed = [&](size_t at) {
    return at + kField + 2 <= text.size() && text[at] == '[' && text[at + kField + 1] == ']';
  };
  auto line_end = [&](size_t at) { return text.compare(at, 2, "\r\n") == 0; };
  size_t line = 1;
  for (size_t at = 0; at < text.size(); ++line) {
    if (text.compare(at, sizeof kCannotConvertLine - 1, kCannotConvertLine) == 0) {
      at += sizeof kCannotConvertLine - 1;
      continue;
    }
    ListingLine entry;
    size_t next = at + kField + 2;
    if (bracketed(at)) {
      entry.name = text.substr(at + 1, kField);
      if (!line_end(next) && bracketed(next)) {
        entry.title = text.substr(next + 1, kField);
        entry.has_title = true;
        next += kField + 2;
      }
    }
    if (entry.name.empty() || !line_end(next)) {
      index->listing_error = "line " + std::to_string(line) +
                             " is neither \"[name]\", \"[name][title]\" with 48-byte fields "
                             "nor \"cannot convert \"";
      return;
    }
    index->listing.push_back(std::move(entry));
    at = next + 2;
  }
}

void Derive(CardIndex* index) {
  index->sound_folder.assign(index->sounds.size(), 0);
  for (size_t i = 0; i < index->folders.size(); ++i) {
    const FolderRecord& r = index->folders[i].record;
    for (size_t k = r.first_sound; k < size_t{r.first_sound} + r.sound_count; ++k) {
      if (k < index->sounds.size() && index->sound_folder[k] == 0) {
        index->sound_folder[k] = static_cast<uint16_t>(i + 1);
      }
    }
  }
  index->file_unit.assign(index->folders.size(), false);
  for (const RandomEntry& entry : index->play_order) {
    if (entry.kind == kOneFile && entry.folder >= 1 && entry.folder <= index->folders.size()) {
      index->file_unit[entry.folder - 1] = true;
    }
  }
}

}  // namespace

bool ReadCardIndex(CardIndex* index, std::string* why) {
  std::vector<uint8_t> bytes;
  if (!ReadIndexFile(kDirListFileName, kMaxDirListBytes, &index->dir_list, &bytes)) {
    *why = index->dir_list.why;
    return false;
  }
  index->has_header = DecodeDirListHeader(bytes.data(), bytes.size(), &index->header);
  for (size_t at = kDirListHeaderSize; at + kFolderRecordSize <= bytes.size();
       at += kFolderRecordSize) {
    IndexedFolder folder;
    folder.terminated = DecodeFolderRecord(bytes.data() + at, kFolderRecordSize, &folder.record,
                                           &folder.path_bytes);
    index->folders.push_back(std::move(folder));
  }

  if (ReadIndexFile(kSoundListFileName, kMaxSoundListBytes, &index->sound_list, &bytes)) {
    index->sounds.resize(bytes.size() / kSoundRecordSize);
    for (size_t k = 0; k < index->sounds.size(); ++k) {
      IndexedSound& sound = index->sounds[k];
      sound.terminated = DecodeSoundRecord(bytes.data() + k * kSoundRecordSize,
                                           kSoundRecordSize, &sound.record);
    }
  }

  if (ReadIndexFile(kRandomOrderFileName, kMaxPlayOrderBytes, &index->play_order_file,
                    &bytes)) {
    for (size_t at = 0; at + kEntrySize <= bytes.size(); at += kEntrySize) {
      uint8_t entry[kEntrySize];
      memcpy(entry, bytes.data() + at, kEntrySize);
      index->play_order.push_back(DecodeRandomEntry(entry));
    }
  }

  if (ReadIndexFile(kMessageFileName, kMaxMessageBytes, &index->message_file, &bytes)) {
    bytes.resize(bytes.size() - bytes.size() % kMessageRecordSize);
    index->messages = std::move(bytes);
  }

  if (ReadIndexFile(kListingFileName, kMaxListingBytes, &index->listing_file, &bytes)) {
    ParseListing(std::string(bytes.begin(), bytes.end()), index);
  }
  Derive(index);
  return true;
}

const IndexedFolder* FindFolder(const CardIndex& index, uint32_t number) {
  return number >= 1 && number <= index.folders.size() ? &index.folders[number - 1] : nullptr;
}

std::vector<TreeStep> WalkTree(const CardIndex& index) {
  std::vector<TreeStep> steps;
  if (index.folders.empty()) return steps;
  std::vector<bool> walked(index.folders.size() + 1, false);
  std::vector<TreeStep> stack = {{1, 0}};
  while (!stack.empty()) {
    const TreeStep step = stack.back();
    stack.pop_back();
    if (walked[step.number]) continue;
    walked[step.number] = true;
    steps.push_back(step);
    const FolderRecord& r = index.folders[step.number - 1].record;
    // Children go on the stack last first, so the first child comes off next.
    for (size_t c = size_t{r.first_child} + r.child_count; c > r.first_child; --c) {
      const size_t child = c - 1;
      if (child >= 2 && child <= index.folders.size() && !walked[child]) {
        stack.push_back({static_cast<uint16_t>(child), step.depth + 1});
      }
    }
  }
  return steps;
}

std::string DisplayedName(const char* field, size_t size) {
  std::string text = Cp932ToUtf8(std::string_view(field, size));
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

std::string Utf8(const std::u16string& text) { return Utf16ToUtf8(text); }

std::string FolderLabel(const CardIndex& index, uint32_t number) {
  std::string label = "folder " + std::to_string(number);
  if (const IndexedFolder* folder = FindFolder(index, number)) {
    label += " " + Utf8(folder->record.path);
  }
  return label;
}

std::string SoundPath(const CardIndex& index, uint32_t number, size_t k) {
  const IndexedFolder* folder = FindFolder(index, number);
  const std::u16string& path = folder != nullptr ? folder->record.path : u"";
  const std::u16string& name = k < index.sounds.size() ? index.sounds[k].record.name : u"?";
  return Utf8(ChildPath(path == u"\\" ? u"" : path, name));
}
