#include "host/file.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "test_util.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

TEST(OutFileTest, WritesEveryByteThroughTheBuffer) {
  ScopedTempDir dir;
  OutFile file;
  std::string why;
  ASSERT_TRUE(OpenWrite("./out.bin", "out.bin", &file, &why)) << why;
  std::vector<uint8_t> data(700 * 1024);  // more than one buffer's worth
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 31 + i / 977);
  WriteBytes(&file, data.data(), 1);
  WriteBytes(&file, data.data() + 1, data.size() - 1);
  EXPECT_TRUE(CloseChecked(&file));
  EXPECT_EQ(ReadBytes("out.bin"), data);
}

TEST(OutFileTest, WriteErrorsAreReportedOnceNamingTheFile) {
  OutFile file;
  std::string why;
  ASSERT_TRUE(OpenWrite("/dev/full", "FULL.DAT", &file, &why)) << why;
  std::vector<uint8_t> data(600 * 1024, 0x5A);
  CaptureStderr();
  WriteBytes(&file, data.data(), data.size());
  WriteBytes(&file, data.data(), data.size());
  EXPECT_FALSE(CloseChecked(&file));
  EXPECT_EQ(GetCapturedStderr(),
            "error: cannot write FULL.DAT: No space left on device; the card is full: make room "
            "on it and run cardprep again\n");
}

TEST(OutFileTest, SmallWritesFailAtClose) {
  OutFile file;
  std::string why;
  ASSERT_TRUE(OpenWrite("/dev/full", "SMALL.DAT", &file, &why)) << why;
  CaptureStderr();
  WriteBytes(&file, "abc", 3);
  EXPECT_FALSE(CloseChecked(&file));
  EXPECT_EQ(GetCapturedStderr(),
            "error: cannot write SMALL.DAT: No space left on device; the card is full: make "
            "room on it and run cardprep again\n");
}

TEST(OpenRegularFileTest, RefusesWhatIsNotARegularFile) {
  UniqueFd fd;
  uint64_t size = 0;
  std::string why;
  EXPECT_FALSE(OpenRegularFile("/dev/null", &fd, &size, &why));
  EXPECT_EQ(why, "not a regular file");
  EXPECT_FALSE(OpenRegularFile("/", &fd, &size, &why));
  EXPECT_EQ(why, "not a regular file");
}

TEST(ReadAtTest, ReadsFromAnOffsetAndStopsAtTheEnd) {
  ScopedTempDir dir;
  std::vector<uint8_t> data(10000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 7 + i / 251);
  WriteBytes("data.bin", data);
  UniqueFd fd;
  uint64_t size = 0;
  std::string why;
  ASSERT_TRUE(OpenRegularFile("data.bin", &fd, &size, &why)) << why;
  struct Case {
    uint64_t offset;
    size_t asked, got;
  } cases[] = {{0, 10, 10}, {9990, 10, 10}, {9995, 10, 5}, {10000, 4, 0}, {uint64_t{1} << 40, 4, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.offset);
    std::vector<uint8_t> out(c.asked, 0xEE);
    EXPECT_EQ(ReadAt(fd.get(), c.offset, out.data(), c.asked), c.got);
    for (size_t i = 0; i < c.got; ++i) ASSERT_EQ(out[i], data[c.offset + i]) << i;
  }
  // The file position is the reader's own: a plain read still starts at 0.
  uint8_t first[3];
  ASSERT_EQ(ReadFully(fd.get(), first, 3), 3u);
  EXPECT_TRUE(std::equal(first, first + 3, data.begin()));
}

TEST(ReadFileNoFollowTest, ReadsOnlyARegularFileReachedWithoutALink) {
  ScopedTempDir dir;
  MakeDirs("_KEEP");
  WriteText("_KEEP/R.DAT", "record");
  MakeDirs("elsewhere");
  WriteText("elsewhere/R.DAT", "not ours");
  ASSERT_EQ(symlink("../elsewhere/R.DAT", "_KEEP/LINK.DAT"), 0);
  ASSERT_EQ(symlink("elsewhere", "_LINKED"), 0);
  ASSERT_EQ(mkfifo("_KEEP/FIFO.DAT", 0644), 0);  // never waited on
  MakeDirs("_KEEP/DIR.DAT");
  struct Case {
    std::string path;
    uint64_t limit;
    bool read, missing;
    const char* why;
  } cases[] = {
      {"./_KEEP/R.DAT", 6, true, false, ""},
      {dir.path() + "/_KEEP/R.DAT", 100, true, false, ""},
      {"_KEEP/R.DAT", 5, false, false, "larger than 5 bytes"},
      {"_KEEP/NONE.DAT", 100, false, true, "No such file or directory"},
      {"_NONE/R.DAT", 100, false, true, "No such file or directory"},
      {"_KEEP/LINK.DAT", 100, false, false, "a symbolic link or not a file, never followed"},
      {"_LINKED/R.DAT", 100, false, false, "a symbolic link or not a file, never followed"},
      {"_KEEP/FIFO.DAT", 100, false, false, "not a regular file"},
      {"_KEEP/DIR.DAT", 100, false, false, "not a regular file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    std::string bytes = "old", why;
    bool missing = !c.missing;
    EXPECT_EQ(ReadFileNoFollow(c.path, c.limit, &bytes, &why, &missing), c.read);
    EXPECT_EQ(missing, c.missing);
    EXPECT_EQ(bytes, c.read ? "record" : "");
    EXPECT_EQ(why, c.why);
  }
}

}  // namespace

namespace {

// An output named by a device (/dev/null given for a font, a device node
// on a card) is never replaced by a file, which would take the device's
// place for every program: nothing is created beside it, and the run says
// why.
TEST(OutFileTest, AnOutputAtADeviceIsNeverReplaced) {
  struct stat before;
  ASSERT_EQ(stat("/dev/null", &before), 0);
  OutFile file;
  std::string why;
  EXPECT_FALSE(OpenAside("/dev/null", "/dev/null", &file, &why));
  EXPECT_EQ(why, "a device stands there, which is never replaced by a file");
  EXPECT_TRUE(file.temp_path.empty());
  EXPECT_FALSE(std::filesystem::exists("/dev/.null.cardprep-" + std::to_string(getpid())));
  struct stat after;
  ASSERT_EQ(stat("/dev/null", &after), 0);
  EXPECT_TRUE(S_ISCHR(after.st_mode));
  EXPECT_EQ(after.st_rdev, before.st_rdev);
}

}  // namespace
