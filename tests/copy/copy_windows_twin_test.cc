// cardprep-copy.exe against the Linux cardprep-copy, under Wine: the same
// sources, every format and the hard ones, copied onto two cards, give the
// same files, each of the same length and tags (their audio may differ
// within LAME's rounding, since the two builds' compilers differ), MP3
// sources byte for byte on both; and the Windows card checks clean. Run by
// scripts/windows --test, which names the Windows build's cardprep-copy.exe
// in CARDPREP_WINDOWS_COPY_TWIN.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>

#include "copy/audio_fixture.h"
#include "e2e_util.h"
#include "test_util.h"

namespace {

namespace fs = std::filesystem;

std::map<std::string, std::string> FilesBelow(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string path = fs::relative(entry.path(), folder).string();
    if (entry.is_regular_file() && path.rfind("_", 0) != 0 &&
        path.find("16.") == std::string::npos) {
      files[path] = entry.path().string();
    }
  }
  return files;
}

TEST(CopyWindowsTwinTest, SameLengthsAndTagsAsLinux) {
  const char* twin = getenv("CARDPREP_WINDOWS_COPY_TWIN");
  if (twin == nullptr) {
    GTEST_SKIP() << "compares with the Windows build, which scripts/windows --test names in "
                    "CARDPREP_WINDOWS_COPY_TWIN";
  }
  const std::string missing = FfmpegMissing();
  if (!missing.empty()) GTEST_SKIP() << missing;
  ScopedTempDir dir;
  MakeDirs("lib/Album é 日本");
  struct Source {
    const char* file;
    AudioShape shape;
  };
  const Source sources[] = {
      {"01 flac.flac", {{"-c:a", "flac"}, 44100, 2, 2.3, "noise", {}}},
      {"02 aac.m4a", {{"-c:a", "aac"}, 44100, 2, 2.3, "sine", {}}},
      {"03 alac.m4a", {{"-c:a", "alac"}, 44100, 2, 2.3, "sine", {}}},
      {"04 vorbis.ogg", {{"-c:a", "libvorbis"}, 44100, 2, 2.3, "noise", {}}},
      {"05 opus.opus", {{"-c:a", "libopus"}, 48000, 2, 2.3, "sine", {}}},
      {"06 wma.wma", {{"-c:a", "wmav2"}, 44100, 2, 2.3, "sine", {}}},
      {"07 wav.wav", {{"-c:a", "pcm_s16le"}, 44100, 2, 2.3, "sine", {}}},
      {"08 hi-res.flac", {{"-c:a", "flac", "-sample_fmt", "s32"}, 96000, 2, 2.3, "noise", {}}},
      {"09 surround.flac", {{"-c:a", "flac"}, 48000, 6, 2.3, "sine", {}}},
      {"10 mono 8k.wav", {{"-c:a", "pcm_s16le"}, 8000, 1, 2.3, "sine", {}}},
      {"11 mp3.mp3", {{"-c:a", "libmp3lame"}, 44100, 2, 2.3, "sine", {}}},
  };
  for (const Source& s : sources) {
    MakeAudio(std::string("lib/Album é 日本/") + s.file, s.shape, JapaneseAndAccentedTags());
  }
  for (const char* card : {"linux", "windows"}) ASSERT_TRUE(PutUnifontFonts(card));
  const RunResult linux_run =
      RunCommand({CARDPREP_COPY_BINARY, "--card", "linux", "lib/Album é 日本"});
  ASSERT_EQ(linux_run.status, 0) << linux_run.err;
  const RunResult windows_run = RunCommand({"wine", twin, "--card", "windows", "lib/Album é 日本"});
  ASSERT_EQ(windows_run.status, 0) << windows_run.err;
  // Both say the same: every file copied, no warning, the card indexed.
  // (Wine puts lines of its own between.)
  for (const RunResult* run : {&linux_run, &windows_run}) {
    const size_t copied = run->err.find("summary: 11 files copied (10 encoded, 1 as they are)");
    ASSERT_NE(copied, std::string::npos) << run->err;
    const std::string line = run->err.substr(copied, run->err.find('\n', copied) - copied);
    EXPECT_NE(line.find("x real time"), std::string::npos) << line;
    EXPECT_EQ(line.find("warning"), std::string::npos) << line;
    EXPECT_NE(run->err.find("\nsummary: 11 sounds in 1 folder indexed"),
              std::string::npos) << run->err;
  }

  const auto linux_files = FilesBelow("linux");
  const auto windows_files = FilesBelow("windows");
  ASSERT_EQ(linux_files.size(), 11u);
  ASSERT_EQ(windows_files.size(), linux_files.size());
  for (const auto& [path, linux_file] : linux_files) {
    SCOPED_TRACE(path);
    const auto windows_file = windows_files.find(path);
    ASSERT_NE(windows_file, windows_files.end());
    std::string errors;
    const int64_t samples = DecodedSamples(linux_file, 0, &errors);
    EXPECT_GT(samples, 0);
    EXPECT_EQ(DecodedSamples(windows_file->second, 0, &errors), samples);
    EXPECT_EQ(errors, "");
    // The tags, but the origin, which names each host's path of the source.
    auto tags = ProbeTags(linux_file), windows_tags = ProbeTags(windows_file->second);
    for (const char* key : {"title", "artist", "album", "track", "disc"}) {
      EXPECT_EQ(windows_tags[key], tags[key]) << key;
    }
    EXPECT_FALSE(tags["title"].empty());
    const StreamInfo a = ProbeStream(linux_file), b = ProbeStream(windows_file->second);
    EXPECT_EQ(a.rate, b.rate);
    EXPECT_EQ(a.channels, b.channels);
  }
  EXPECT_EQ(ReadBytes("windows/Album é 日本/11 mp3.mp3"),
            ReadBytes("lib/Album é 日本/11 mp3.mp3"));
  const RunResult check = RunCommand({CARDPREP_VIEW_BINARY, "--card", "windows", "--check"});
  EXPECT_EQ(check.status, 0) << check.out;
  // A second run of the Windows program copies nothing.
  const RunResult again = RunCommand({"wine", twin, "--card", "windows", "lib/Album é 日本"});
  EXPECT_NE(again.err.find("summary: 0 files copied; 11 up to date"), std::string::npos)
      << again.err;
}

}  // namespace
