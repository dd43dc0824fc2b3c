// The Windows build against the Linux build on whole cards: the sample
// card, a 2,000-file card of the benchmarks and every class of hostile tag,
// each run by both (CardTest::Run compares their files and output). Run
// by scripts/windows --test, which names the Windows build's cardprep.exe
// in CARDPREP_WINDOWS_TWIN; that also makes the end-to-end tests' own
// cards compare.
#include <cstdlib>
#include <filesystem>

#include "card_test.h"

namespace {

class WindowsTwinTest : public CardTest {
 protected:
  void SetUp() override {
    if (getenv("CARDPREP_WINDOWS_TWIN") == nullptr) {
      GTEST_SKIP() << "compares with the Windows build, which scripts/windows --test names in "
                      "CARDPREP_WINDOWS_TWIN";
    }
    CardTest::SetUp();
  }
};

TEST_F(WindowsTwinTest, SampleCard) {
  // The script empties the folder it fills: the card's own stays as it is.
  const ScopedTempDir sample(false);
  RunProgram({CARDPREP_SOURCE_DIR "/scripts/make-sample-card", sample.path() + "/card"});
  std::filesystem::copy(sample.path() + "/card", ".", std::filesystem::copy_options::recursive);
  Run({"/Podcasts"});
}

TEST_F(WindowsTwinTest, BenchCard) {
  RunProgram({CARDPREP_SOURCE_DIR "/bench/make_card", "Music", "--files", "2000"});
  Run();
}

TEST_F(WindowsTwinTest, HostileTags) {
  RunProgram({CARDPREP_TEST_DATA_DIR "/make_hostile.py", "Hostile"});
  Mp3("Hostile/ordinary.mp3", "Still here");
  Run();
}

}  // namespace
