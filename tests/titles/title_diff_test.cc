// Titles read from the tag bytes (GetTitleTag), and the same decoded by the
// project's own decoder, against those of the tag library's own file
// reader, on every MP3 file the project has: the tags of the tests'
// writers, crafted tags of every layout, the hostile card, the fuzz corpora
// and a bench card. Wherever the library's reader ends within a title
// worker's limits, all three must give the same title, unit for unit, and
// the same length.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e_util.h"
#include "host/file.h"
#include "support/title_reference.h"
#include "test_util.h"
#include "text/utf.h"
#include "titles/tag_search.h"

namespace {

namespace fs = std::filesystem;

// A worker's memory and time. The hostile card's files and the fuzz inputs
// get 3 s: those the library's reader needs longer for take it minutes, or
// for ever.
constexpr uint32_t kTimeoutMs = 10000;
constexpr uint32_t kHostileTimeoutMs = 3000;
constexpr uint64_t kDataBytes = 512ull << 20;

// "dir/x.mp3" as GetTitleTag takes it: a folder path in the card's form
// and a name.
void CardPath(const fs::path& path, std::u16string* folder, std::u16string* name) {
  folder->clear();
  for (const auto& part : path.parent_path()) {
    std::u16string unit;
    EXPECT_TRUE(Utf8ToUtf16(part.string(), &unit));
    *folder += u'\\' + unit;
  }
  EXPECT_TRUE(Utf8ToUtf16(path.filename().string(), name));
}

// The title of the file at |path| as the project's own decoder reads it;
// false where the library reads past its buffer, so its title is not
// defined.
bool OwnTitle(const fs::path& path, std::u16string* title, int32_t* length) {
  UniqueFd fd;
  uint64_t size = 0;
  std::string why;
  EXPECT_TRUE(OpenRegularFile(path.string(), &fd, &size, &why)) << why;
  TagSearchStats stats;
  const Title own = ChooseTitle(ReadFileTitles(fd.get(), size, TagDecoder::kOwn, &stats));
  *title = own.text;
  *length = own.Length();
  return !stats.past_end;
}

struct Tally {
  size_t files = 0;
  size_t finished = 0;  // by the library's reader, so compared
  std::vector<std::string> compared;
  std::string unfinished;  // the files the library's reader overran on
};

// Compares the two readers on every file of |paths| (card paths relative to
// the working folder); the library's reader runs in child processes, a few
// at a time.
Tally Compare(const std::vector<fs::path>& paths, uint32_t timeout_ms = kTimeoutMs) {
  Tally tally;
  constexpr size_t kBatch = 16;
  for (size_t first = 0; first < paths.size(); first += kBatch) {
    const size_t end = std::min(paths.size(), first + kBatch);
    std::vector<ReferenceChild> references;
    for (size_t i = first; i < end; ++i) {
      references.push_back(StartReferenceTitle(paths[i].string(), timeout_ms, kDataBytes));
    }
    for (size_t i = first; i < end; ++i) {
      SCOPED_TRACE(paths[i].string());
      const ReferenceTitle want = FinishReferenceTitle(&references[i - first]);
      ++tally.files;
      if (!want.finished) {
        tally.unfinished += paths[i].string() + " ";
        continue;
      }
      ++tally.finished;
      tally.compared.push_back(paths[i].string());
      std::u16string folder, name, title;
      CardPath(paths[i], &folder, &name);
      int32_t length = -2;
      std::string why;
      Title read;
      EXPECT_TRUE(GetTitleTag(folder, name, &read, &why)) << why;
      title = read.text;
      length = read.Length();
      EXPECT_EQ(length, want.length);
      if (want.length >= 0) {
        EXPECT_EQ(title, want.text);
      }
      std::u16string own;
      int32_t own_length = -2;
      if (OwnTitle(paths[i], &own, &own_length)) {
        EXPECT_EQ(own_length, want.length) << "the own decoder's";
        if (want.length >= 0) {
          EXPECT_EQ(own, want.text) << "the own decoder's";
        }
      }
    }
  }
  return tally;
}

// The files below |folder|; with |mp3_only|, those named *.mp3 in any case.
std::vector<fs::path> FilesIn(const fs::path& folder, bool mp3_only = false) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    std::string extension = entry.path().extension().string();
    for (char& c : extension) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    if (entry.is_regular_file() && (!mp3_only || extension == ".mp3")) {
      files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

class TitleDiffTest : public ::testing::Test {
 protected:
  ScopedTempDir dir_;
};

TEST_F(TitleDiffTest, CraftedTagsAndRealWriters) {
  ASSERT_EQ(RunProgram({"/usr/bin/python3", std::string(CARDPREP_TEST_DATA_DIR) + "/make_tag_zoo.py",
                        "zoo"}),
            0);
  const Tally tally = Compare(FilesIn("zoo"));
  EXPECT_GE(tally.files, 90u);
  EXPECT_EQ(tally.finished, tally.files) << tally.unfinished;
}

TEST_F(TitleDiffTest, HostileCard) {
  ASSERT_EQ(RunProgram({"/usr/bin/python3", std::string(CARDPREP_TEST_DATA_DIR) + "/make_hostile.py",
                        "hostile"}),
            0);
  const Tally tally = Compare(FilesIn("hostile"), kHostileTimeoutMs);
  // The quick one at least; most overrun the library's reader.
  EXPECT_NE(std::find(tally.compared.begin(), tally.compared.end(), "hostile/unsync-ff00-end.mp3"),
            tally.compared.end())
      << tally.unfinished;
}

TEST_F(TitleDiffTest, FuzzCorpora) {
  std::vector<fs::path> files;
  const fs::path corpus = fs::path(CARDPREP_SOURCE_DIR) / "fuzz" / "corpus" / "title_diff";
  for (const fs::path& input : FilesIn(corpus)) {
    // Copied in, under a name that needs no conversion.
    files.push_back("c" + std::to_string(files.size()) + ".mp3");
    fs::copy_file(input, files.back());
  }
  const Tally tally = Compare(files, kHostileTimeoutMs);
  EXPECT_GE(tally.files, 100u);
  EXPECT_GE(tally.finished, tally.files * 9 / 10);
}

TEST_F(TitleDiffTest, BenchCard) {
  ASSERT_EQ(RunProgram({"/usr/bin/python3", std::string(CARDPREP_SOURCE_DIR) + "/bench/make_card",
                        "card", "--files", "60", "--seed", "7"}),
            0);
  const Tally tally = Compare(FilesIn("card", true));
  EXPECT_EQ(tally.files, 60u);
  EXPECT_EQ(tally.finished, tally.files) << tally.unfinished;
}

}  // namespace
