#include "index/random_order.h"

#include <gtest/gtest.h>

#include <random>

namespace {

std::mt19937 g_seeded;  // a seeded stand-in for the system's source
uint32_t Seeded() { return static_cast<uint32_t>(g_seeded()); }

// Ten swaps per entry must let every entry reach every position, about
// equally often; a shuffle that never moves the last entry, or only moves
// entries by one place, fails this.
TEST(ShuffleEntriesTest, EveryEntryReachesEveryPosition) {
  constexpr int kEntries = 6;
  constexpr int kTrials = 30000;
  g_seeded.seed(20261206);
  int counts[kEntries][kEntries] = {};
  for (int trial = 0; trial < kTrials; ++trial) {
    std::vector<RandomEntry> table;
    for (int e = 0; e < kEntries; ++e) table.push_back({kWholeFolder, uint16_t(e), 0});
    ShuffleEntries(&table, Seeded);
    for (int pos = 0; pos < kEntries; ++pos) ++counts[table[pos].folder][pos];
  }
  const int expected = kTrials / kEntries;
  for (int e = 0; e < kEntries; ++e) {
    for (int pos = 0; pos < kEntries; ++pos) {
      EXPECT_NEAR(counts[e][pos], expected, expected / 10) << "entry " << e << " position " << pos;
    }
  }
}

TEST(RandomEntryTest, EncodesFieldByField) {
  uint8_t bytes[kEntrySize];
  EncodeRandomEntry({kOneFile, 0x1234, 0xFE}, bytes);
  EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 4), (std::vector<uint8_t>{
                                                        0x01,        // one file
                                                        0x34, 0x12,  // folder, little-endian
                                                        0xFE}));     // position
  const RandomEntry back = DecodeRandomEntry(bytes);
  EXPECT_EQ(back.kind, kOneFile);
  EXPECT_EQ(back.folder, 0x1234);
  EXPECT_EQ(back.file, 0xFE);
}

}  // namespace
