#include "index/random_order.h"

#include <string>
#include <utility>

#include "bytes/byte_order.h"
#include "host/console.h"
#include "host/file.h"
#include "index/index_file.h"

void EncodeRandomEntry(const RandomEntry& entry, uint8_t (&out)[kEntrySize]) {
  out[kEntryKind] = entry.kind;
  PutLe16(out + kEntryFolder, entry.folder);
  out[kEntryPosition] = entry.file;
}

RandomEntry DecodeRandomEntry(const uint8_t (&in)[kEntrySize]) {
  RandomEntry entry;
  entry.kind = in[kEntryKind];
  entry.folder = GetLe16(in + kEntryFolder);
  entry.file = in[kEntryPosition];
  return entry;
}

size_t SetRandomOrderTable(const DirInfo& dir, size_t next, std::vector<RandomEntry>* table) {
  if (!dir.sounds.empty()) {
    Out(" SetRandomOrderTable %d, %x %x, %x %x \n", dir.file_unit ? 1 : 0, dir.number,
        uint32_t{dir.number} * 768u, dir.first_sound, uint32_t{dir.first_sound} * 1024u);
    // The table is built in order, so entry |next| is always the next one
    // appended.
    table->resize(next);
    if (!dir.file_unit) {
      table->push_back({kWholeFolder, dir.number, 0});
    } else {
      for (size_t i = 0; i < dir.sounds.size(); ++i) {
        table->push_back({kOneFile, dir.number, static_cast<uint8_t>(i)});
      }
    }
    next = table->size();
  }
  for (const DirInfo& child : dir.children) next = SetRandomOrderTable(child, next, table);
  return next;
}

void ShuffleEntries(std::vector<RandomEntry>* table, const std::function<uint32_t()>& random) {
  const auto n = static_cast<uint32_t>(table->size());
  if (n == 0) return;
  for (uint64_t swaps = 10ull * n; swaps > 0; --swaps) {
    const uint32_t a = random() % n;
    const uint32_t b = random() % n;
    std::swap((*table)[a], (*table)[b]);
  }
}

void MakeRandomOrderFile(const DirInfo& root, uint16_t entry_count,
                         const std::function<uint32_t()>& random, OutFile* file) {
  std::vector<RandomEntry> table;
  table.reserve(entry_count);
  table.resize(SetRandomOrderTable(root, 0, &table));
  ShuffleEntries(&table, random);

  if (!OpenIndexFile(kRandomOrderFileName, /*trace=*/true, file)) return;
  uint8_t bytes[kEntrySize];
  for (const RandomEntry& entry : table) {
    EncodeRandomEntry(entry, bytes);
    WriteBytes(file, bytes, sizeof bytes);
  }
  FinishAside(file);
}
