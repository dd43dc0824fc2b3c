#include "index/dir_list.h"

#include <cstdio>
#include <cstring>

#include "catalog/numbering.h"
#include "font/draw.h"
#include "host/console.h"
#include "host/folder.h"
#include "index/folder_record.h"
#include "text/card_path.h"

namespace {

void FillLinks(const DirInfo& dir, FolderRecord* record) {
  record->first_child = dir.first_child;
  record->child_count = static_cast<uint8_t>(dir.children.size());
  record->sound_count = static_cast<uint8_t>(dir.sounds.size());
  record->first_sound = dir.first_sound;
  record->parent = dir.parent;
  record->grandparent = dir.grandparent;
}

}  // namespace

void WriteDirListHeader(OutFile* file, const CatalogCounters& counters, const std::tm& now) {
  DirListHeader header;
  header.folder_count = counters.folder_count;
  header.sound_folder_count = counters.sound_folder_count;
  char digits[kHeaderTimeSize + 1];
  auto field = [](int value, unsigned modulus) { return static_cast<unsigned>(value) % modulus; };
  snprintf(digits, sizeof digits, "%04u%02u%02u%02u%02u%02u", field(now.tm_year + 1900, 10000),
           field(now.tm_mon + 1, 100), field(now.tm_mday, 100), field(now.tm_hour, 100),
           field(now.tm_min, 100), field(now.tm_sec, 100));
  memcpy(header.time, digits, kHeaderTimeSize);
  uint8_t bytes[kDirListHeaderSize];
  EncodeDirListHeader(header, bytes);
  WriteBytes(file, bytes, sizeof bytes);
}

void WriteRootDirEntry(OutFile* file, const DirInfo& root) {
  FolderRecord record;
  memcpy(record.sjis_name, root.sjis_name, kFolderSjisNameSize);
  record.path = u"\\";
  FillLinks(root, &record);
  uint8_t bytes[kFolderRecordSize];
  EncodeFolderRecord(record, bytes);
  WriteBytes(file, bytes, sizeof bytes);
}

void WriteDirStructureFileM(OutFile* file, const std::u16string& path, const DirInfo& dir,
                            GlyphGapState* glyph_gaps) {
  PageRow<kFolderRowSize> row;
  uint8_t bytes[kFolderRecordSize];
  for (const DirInfo& child : dir.children) {
    FolderRecord record;
    memcpy(record.sjis_name, child.sjis_name, kFolderSjisNameSize);
    record.path = ChildPath(path, child.name);
    record.name = child.name;
    FillLinks(child, &record);
    PrintNumbers("WriteDirStructureFileM", child);
    DrawField(&row, child.sjis_name, kFolderSjisNameSize, NameKind::kFolder,
              [&] { return "the name of folder " + ShownPath(record.path); }, glyph_gaps);
    memcpy(record.upper, row.upper, kFolderRowSize);
    memcpy(record.lower, row.lower, kFolderRowSize);
    EncodeFolderRecord(record, bytes);
    WriteBytes(file, bytes, sizeof bytes);
  }
  for (const DirInfo& child : dir.children) {
    WriteDirStructureFileM(file, ChildPath(path, child.name), child, glyph_gaps);
  }
}
