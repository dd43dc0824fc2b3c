#include "catalog/listing_ahead.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "test_util.h"
#include "text/utf.h"

namespace {

namespace fs = std::filesystem;

// Waits until the listing ahead has nothing left to list; false after 10 s.
bool AwaitListedAhead(ListingAhead* ahead) {
  for (int i = 0; i < 10000; ++i) {
    const ListingAhead::Stats stats = ahead->stats();
    if (stats.to_list == 0 && stats.listing == 0 && stats.claimed > 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

// Every folder of the card in the scan's order, each listing taken from
// |ahead|, as "path: sound sound ..." lines.
void WalkLikeTheScan(ListingAhead* ahead, const std::u16string& path,
                     std::vector<std::string>* lines) {
  const FolderListing listing = TakeListing(ahead, path, /*card_is_fat=*/false);
  std::string line = Utf16ToUtf8(path) + (listing.opened ? ":" : ": not opened");
  for (size_t i = 0; i < listing.contents.sounds.size(); ++i) {
    const FolderEntry& entry = listing.entries[listing.contents.sound_entries[i]];
    line += " " + Utf16ToUtf8(listing.contents.sounds[i]);
    if (entry.has_stamp) line += "=" + std::to_string(entry.stamp.size);
  }
  lines->push_back(line);
  for (const std::u16string& child : SubfoldersToEnter(path, listing.contents.folders)) {
    WalkLikeTheScan(ahead, child, lines);
  }
}

// "A1" holds "A1-0.mp3" .. "A1-(n-1).mp3" of n bytes each, so that a
// listing handed to the wrong folder shows.
void MakeTree(int artists, int albums) {
  for (int a = 0; a < artists; ++a) {
    for (int b = 0; b < albums; ++b) {
      const std::string folder = "Artist " + std::to_string(a) + "/Album " + std::to_string(b);
      MakeDirs(folder);
      const int sounds = 1 + (a * albums + b) % 5;
      for (int s = 0; s < sounds; ++s) {
        WriteText(folder + "/" + std::to_string(a) + "-" + std::to_string(b) + "-" +
                      std::to_string(s) + ".mp3",
                  std::string(static_cast<size_t>(sounds), 'x'));
      }
    }
    WriteText("Artist " + std::to_string(a) + "/cover.jpg", "jpg");
  }
  MakeDirs("_FONT/inside");  // never entered, by the scan or ahead of it
}

std::vector<std::string> WalkWithoutListingAhead() {
  std::vector<std::string> lines;
  WalkLikeTheScan(nullptr, u"", &lines);
  return lines;
}

// The folders listed ahead are handed over as they were listed: once every
// folder is listed, the card can change under the scan and it still sees
// what the other thread saw; what the scan never enters is never listed.
TEST(ListingAheadTest, HandsTheScanTheFoldersItListedAhead) {
  ScopedTempDir dir;
  MakeTree(4, 3);
  const std::vector<std::string> want = WalkWithoutListingAhead();
  ASSERT_EQ(want.size(), 1u + 4 + 4 * 3);

  ListingAhead ahead(/*card_is_fat=*/false);
  ahead.Start();
  ASSERT_TRUE(ahead.stats().started);
  ASSERT_TRUE(AwaitListedAhead(&ahead));
  // Every folder the scan enters, and none else (not _FONT, nor what it holds).
  EXPECT_EQ(ahead.stats().claimed, want.size());
  for (int a = 0; a < 4; ++a) fs::remove_all("Artist " + std::to_string(a));

  std::vector<std::string> got;
  WalkLikeTheScan(&ahead, u"", &got);
  EXPECT_EQ(got, want);
  // Taken twice, a folder is listed again: the card has it no more.
  EXPECT_FALSE(ahead.Take(u"\\Artist 0").opened);
}

// The scan and the other thread race for the same folders, and stops come
// at any point: each folder still gets its own listing, whoever made it.
TEST(ListingAheadTest, EachFolderGetsItsOwnListingWhoeverListsIt) {
  ScopedTempDir dir;
  MakeTree(12, 5);
  const std::vector<std::string> want = WalkWithoutListingAhead();
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE(round);
    std::vector<std::string> got;
    {
      ListingAhead ahead(/*card_is_fat=*/false);
      ahead.Start();
      if (round % 4 == 3) {
        // The thread ends while it lists (as when the run stops early).
        (void)ahead.Take(u"");
        continue;
      }
      WalkLikeTheScan(&ahead, u"", &got);
    }
    ASSERT_EQ(got, want);
  }
}

// On a big card the other thread stops once it holds the entries of about
// kMostHeldAhead files, and goes on as the scan takes them.
TEST(ListingAheadTest, HoldsABoundedNumberOfEntriesForTheScan) {
  ScopedTempDir dir;
  constexpr int kFolders = 40, kFiles = 600;  // 24,000 files
  for (int f = 0; f < kFolders; ++f) {
    const std::string folder = "F" + std::to_string(100 + f);
    MakeDirs(folder);
    for (int i = 0; i < kFiles; ++i) WriteText(folder + "/" + std::to_string(i) + ".mp3", "");
  }
  const std::vector<std::string> want = WalkWithoutListingAhead();
  ListingAhead ahead(/*card_is_fat=*/false);
  ahead.Start();
  // Waits until it holds its most and lists nothing: it waits then.
  ListingAhead::Stats stats;
  bool stopped = false;
  for (int i = 0; i < 20000 && !stopped; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    stats = ahead.stats();
    stopped = stats.held > kMostHeldAhead && stats.listing == 0;
  }
  ASSERT_TRUE(stopped) << stats.held;
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // and lists no more
  EXPECT_EQ(ahead.stats().held, stats.held);
  EXPECT_LE(stats.held, kMostHeldAhead + kFiles + 1);
  EXPECT_GT(ahead.stats().to_list, 0u);  // more to list, once there is room
  std::vector<std::string> got;
  WalkLikeTheScan(&ahead, u"", &got);
  EXPECT_EQ(got, want);
  EXPECT_EQ(ahead.stats().held, 0u);
}

}  // namespace
