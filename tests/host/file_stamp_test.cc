#include "host/file_stamp.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>

#include "host/file.h"
#include "host/folder.h"
#include "test_util.h"

namespace {

void SetModified(const char* path, int64_t seconds, long nanoseconds) {
  const struct timespec times[2] = {{0, UTIME_OMIT},
                                    {static_cast<time_t>(seconds), nanoseconds}};
  ASSERT_EQ(utimensat(AT_FDCWD, path, times, 0), 0) << path;
}

TEST(FileStampTest, ListingGivesTheFilesAskedForTheirSizeAndTime) {
  ScopedTempDir dir;
  WriteText("song.mp3", "12345");
  SetModified("song.mp3", 1600000000, 123456789);
  WriteText("target.bin", "1234567");
  SetModified("target.bin", 1500000001, 0);
  ASSERT_EQ(symlink("target.bin", "link.mp3"), 0);
  MakeDirs("Album");
  WriteText("cover.jpg", "123");
  const StampFilter mp3 = [](std::string_view name) {
    return name.size() > 4 && name.substr(name.size() - 4) == ".mp3";
  };
  for (StampFilter stamps : {StampFilter{nullptr}, mp3}) {
    SCOPED_TRACE(stamps != nullptr);
    std::vector<FolderEntry> entries;
    std::string why, read_error;
    ASSERT_TRUE(ListHostFolder(".", &entries, &why, &read_error, nullptr, stamps)) << why;
    ASSERT_EQ(entries.size(), 5u);
    std::set<std::string> stamped;
    for (const FolderEntry& e : entries) {
      SCOPED_TRACE(e.host_name);
      if (!e.has_stamp) continue;
      stamped.insert(e.host_name);
      // A link has the stamp of the file it names: that is what is read.
      const bool song = e.host_name == "song.mp3";
      EXPECT_EQ(e.stamp.size, song ? 5u : 7u);
      EXPECT_EQ(e.stamp.modified.seconds, song ? 1600000000 : 1500000001);
      EXPECT_EQ(e.stamp.modified.nanoseconds, song ? 123456789u : 0u);
    }
    // Only the files the filter asks for: not cover.jpg nor target.bin.
    const std::set<std::string> asked =
        stamps == nullptr ? std::set<std::string>() : std::set<std::string>({"link.mp3", "song.mp3"});
    EXPECT_EQ(stamped, asked);
  }
}

TEST(FileStampTest, ANewFileIsStampedWithTheCardsClockNow) {
  ScopedTempDir dir;
  struct timespec before, after;
  clock_gettime(CLOCK_REALTIME, &before);
  UniqueFd fd(open("marker", O_WRONLY | O_CREAT | O_EXCL, 0644));
  clock_gettime(CLOCK_REALTIME, &after);
  ASSERT_GE(fd.get(), 0);
  FileStamp stamp;
  std::string why;
  ASSERT_TRUE(StampOpenFile(fd.get(), &stamp, &why)) << why;
  EXPECT_EQ(stamp.size, 0u);
  // File systems take the time from a clock that ticks a few milliseconds
  // at a time, so it may lie that much before |before|.
  EXPECT_GE(stamp.modified.seconds, before.tv_sec - 1);
  EXPECT_LE(stamp.modified.seconds, after.tv_sec);
  EXPECT_FALSE(StampOpenFile(-1, &stamp, &why));
}

}  // namespace
