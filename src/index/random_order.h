// The play order RANDOM16.DAT: whole folders and, in file-unit folders,
// single files, put in the tree's order and shuffled.
//
// Entry, 4 bytes, no header, one after another:
//   offset  size  field
//   0       1     kind: 0 the whole folder, 1 one file
//   1       2     folder number, little-endian
//   3       1     file position in the folder (kind 1), else 0
#ifndef CARDPREP_INDEX_RANDOM_ORDER_H_
#define CARDPREP_INDEX_RANDOM_ORDER_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "catalog/dir_info.h"
#include "host/file.h"

constexpr char kRandomOrderFileName[] = "RANDOM16.DAT";

constexpr size_t kEntryKind = 0, kEntryFolder = 1, kEntryPosition = 3, kEntrySize = 4;
static_assert(kEntryPosition + 1 == kEntrySize, "play order entry layout");

constexpr uint8_t kWholeFolder = 0;
constexpr uint8_t kOneFile = 1;

struct RandomEntry {
  uint8_t kind = kWholeFolder;
  uint16_t folder = 0;
  uint8_t file = 0;
};

void EncodeRandomEntry(const RandomEntry& entry, uint8_t (&out)[kEntrySize]);
RandomEntry DecodeRandomEntry(const uint8_t (&in)[kEntrySize]);

// Appends the entries of |dir| and its subtree to |table|, which holds
// |next| entries so far; returns how many it holds afterwards.
size_t SetRandomOrderTable(const DirInfo& dir, size_t next, std::vector<RandomEntry>* table);

// Shuffles |table| with 10 x n swaps of two positions drawn from |random|.
void ShuffleEntries(std::vector<RandomEntry>* table, const std::function<uint32_t()>& random);

// Builds the table of |entry_count| entries from the numbered tree,
// shuffles it with |random| and writes RANDOM16.DAT aside into |file|; the
// run order puts it in place.
void MakeRandomOrderFile(const DirInfo& root, uint16_t entry_count,
                         const std::function<uint32_t()>& random, OutFile* file);

#endif  // CARDPREP_INDEX_RANDOM_ORDER_H_
