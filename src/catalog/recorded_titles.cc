#include "catalog/recorded_titles.h"

#include <cstddef>
#include <string>
#include <utility>

#include "catalog/scan_rules.h"
#include "text/card_path.h"

// The record holds whatever the scan takes.
static_assert(kMaxScannedPath <= kRecordMaxPath && kMaxFileName <= kRecordMaxName &&
                  kMaxSoundsPerFolder <= kRecordMaxFolderSounds && kMaxSounds <= kRecordMaxSounds,
              "the title record holds every sound the scan takes");

namespace {

bool Recordable(const Sound& sound) {
  return sound.has_stamp && sound.title.read && !sound.title.failed;
}

size_t CountRecordable(const DirInfo& dir) {
  size_t count = 0;
  for (const Sound& sound : dir.sounds) count += Recordable(sound) ? 1 : 0;
  for (const DirInfo& child : dir.children) count += CountRecordable(child);
  return count;
}

void RecordFolder(const std::u16string& path, DirInfo* dir, TitleRecord* record) {
  RecordedFolder folder;
  folder.sounds.reserve(dir->sounds.size());
  for (Sound& sound : dir->sounds) {
    if (!Recordable(sound)) continue;
    folder.sounds.push_back({std::move(sound.name), sound.stamp, std::move(sound.title)});
  }
  if (!folder.sounds.empty()) {
    folder.path = path;
    record->folders.push_back(std::move(folder));
  }
  for (DirInfo& child : dir->children) RecordFolder(ChildPath(path, child.name), &child, record);
}

}  // namespace

TitleRecord TakeTitleRecord(Catalog* catalog) {
  TitleRecord record;
  RecordFolder(u"", &catalog->root, &record);
  return record;
}

size_t RecordableSoundCount(const Catalog& catalog) { return CountRecordable(catalog.root); }
