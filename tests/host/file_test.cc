#include "host/file.h"

#include <gtest/gtest.h>

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
  EXPECT_EQ(GetCapturedStderr(), "error: cannot write FULL.DAT: No space left on device\n");
}

TEST(OutFileTest, SmallWritesFailAtClose) {
  OutFile file;
  std::string why;
  ASSERT_TRUE(OpenWrite("/dev/full", "SMALL.DAT", &file, &why)) << why;
  CaptureStderr();
  WriteBytes(&file, "abc", 3);
  EXPECT_FALSE(CloseChecked(&file));
  EXPECT_EQ(GetCapturedStderr(), "error: cannot write SMALL.DAT: No space left on device\n");
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

}  // namespace
