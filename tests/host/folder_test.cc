// Making a folder the tools write into, on each host's own calls: made when
// missing, taken when a folder is there, refused when anything else is.
#include "host/folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "test_util.h"

namespace {

namespace fs = std::filesystem;

TEST(MakeFolderTest, MakesAFolderOrTakesTheOneThere) {
  ScopedTempDir dir;
  MakeDirs("there");
  WriteText("file", "a file");
  const struct {
    const char* path;
    bool made;
  } cases[] = {
      {"new", true},
      {"new", true},  // made a moment ago
      {"there", true},
      {"file", false},
      {"missing/new", false},  // its parent is not there
      {"file/new", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    std::string why;
    EXPECT_EQ(MakeFolder(c.path, &why), c.made);
    EXPECT_EQ(why.empty(), c.made) << why;
    EXPECT_EQ(fs::is_directory(c.path), c.made);
  }
  EXPECT_EQ(ReadText("file"), "a file");
}

}  // namespace
