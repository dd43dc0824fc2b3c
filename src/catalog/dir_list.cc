#include "catalog/dir_list.h"

#include <cstdio>
#include <cstring>

#include "catalog/folder_record.h"
#include "font/draw.h"
#include "host/console.h"
#include "host/folder.h"
#include "host/system.h"
#include "text/card_path.h"

NumberingState g_numbering;

namespace {

// The progress lines print each folder's number and first sound with the
// multipliers 768 and 1024 the player's tools have always shown.
void PrintNumbers(const char* label, const DirInfo& dir) {
  Out("%s %x %x, %x %x \n", label, dir.number, uint32_t{dir.number} * 768u, dir.first_sound,
      uint32_t{dir.first_sound} * 1024u);
}

void FillLinks(const DirInfo& dir, FolderRecord* record) {
  record->first_child = dir.first_child;
  record->child_count = static_cast<uint8_t>(dir.children.size());
  record->sound_count = static_cast<uint8_t>(dir.sound_count);
  record->first_sound = dir.first_sound;
  if (dir.parent != nullptr) {
    record->parent = dir.parent->number;
    record->grandparent = dir.parent->parent != nullptr ? dir.parent->parent->number : 0;
  }
}

}  // namespace

void SetDirInfo(DirInfo* dir) {
  for (auto& child : dir->children) {
    child->number = g_numbering.next_folder_number++;
    child->parent = dir;
    if (child->sound_count > 0) PrintNumbers("SetDirInfo", *child);
  }
  if (!dir->children.empty()) dir->first_child = dir->children.front()->number;
  for (auto& child : dir->children) SetDirInfo(child.get());
}

void NumberFolders(DirInfo* root) {
  g_numbering.next_folder_number = 1;
  root->number = g_numbering.next_folder_number++;
  SetDirInfo(root);
}

bool WriteDirListHeader(OutFile* file) {
  DirListHeader header;
  header.folder_count = g_catalog.counters.folder_count;
  header.sound_folder_count = g_catalog.counters.sound_folder_count;
  const std::tm now = LocalNow();
  char digits[kHeaderTimeSize + 1];
  auto field = [](int value, unsigned modulus) { return static_cast<unsigned>(value) % modulus; };
  snprintf(digits, sizeof digits, "%04u%02u%02u%02u%02u%02u", field(now.tm_year + 1900, 10000),
           field(now.tm_mon + 1, 100), field(now.tm_mday, 100), field(now.tm_hour, 100),
           field(now.tm_min, 100), field(now.tm_sec, 100));
  memcpy(header.time, digits, kHeaderTimeSize);
  uint8_t bytes[kDirListHeaderSize];
  EncodeDirListHeader(header, bytes);
  WriteBytes(file, bytes, sizeof bytes);
  return true;
}

bool WriteRootDirEntry(OutFile* file, const DirInfo& root) {
  FolderRecord record;
  memcpy(record.sjis_name, root.sjis_name, kFolderSjisNameSize);
  record.path = u"\\";
  FillLinks(root, &record);
  uint8_t bytes[kFolderRecordSize];
  EncodeFolderRecord(record, bytes);
  WriteBytes(file, bytes, sizeof bytes);
  return true;
}

bool WriteDirStructureFileM(OutFile* file, const std::u16string& path, const DirInfo& dir) {
  PageRow<kFolderRowSize> row;
  uint8_t bytes[kFolderRecordSize];
  for (const auto& child : dir.children) {
    FolderRecord record;
    memcpy(record.sjis_name, child->sjis_name, kFolderSjisNameSize);
    record.path = path + u'\\' + child->name;
    record.name = child->name;
    FillLinks(*child, &record);
    PrintNumbers("WriteDirStructureFileM", *child);
    DrawField(&row, child->sjis_name, kFolderSjisNameSize,
              [&] { return "the name of folder " + ShownPath(record.path); });
    memcpy(record.upper, row.upper, kFolderRowSize);
    memcpy(record.lower, row.lower, kFolderRowSize);
    EncodeFolderRecord(record, bytes);
    WriteBytes(file, bytes, sizeof bytes);
  }
  for (const auto& child : dir.children) {
    WriteDirStructureFileM(file, path + u'\\' + child->name, *child);
  }
  return true;
}
