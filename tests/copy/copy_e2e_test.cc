// cardprep-copy end to end: the real program copies libraries made by
// ffmpeg and lame at test time onto a card in a temporary folder, indexes
// it, and cardprep-view checks the card afterwards.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <thread>

#include "card_test.h"
#include "copy/audio_fixture.h"
#include "fault_util.h"

namespace {

namespace fs = std::filesystem;

using Snapshot = std::map<std::string, std::vector<uint8_t>>;

// Every file below |folder|, by its path there, with its bytes.
Snapshot Files(const std::string& folder) {
  Snapshot files;
  if (!fs::exists(folder)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) {
      files[fs::relative(entry.path(), folder).string()] = ReadBytes(entry.path().string());
    }
  }
  return files;
}

// The files a run left under temporary names below |folder|.
std::vector<std::string> Leftovers(const std::string& folder) {
  std::vector<std::string> left;
  for (const auto& [path, bytes] : Files(folder)) {
    if (path.find(".cardprep-") != std::string::npos) left.push_back(path);
  }
  return left;
}

size_t CountIn(const std::string& folder, const std::string& extension) {
  size_t n = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().extension() == extension) ++n;
  }
  return n;
}

class CopyE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string missing = FfmpegMissing();
    if (!missing.empty()) GTEST_SKIP() << missing;
    ASSERT_TRUE(PutUnifontFonts("card"));
    MakeDirs("lib");
  }

  // Runs cardprep-copy with |args| after "--card card"; expects |status|.
  RunResult Copy(std::vector<std::string> args, int status = 0) {
    args.insert(args.begin(), {CARDPREP_COPY_BINARY, "--card", "card"});
    const RunResult r = RunCommand(args);
    EXPECT_EQ(r.status, status) << r.err;
    return r;
  }

  // cardprep-view on the card, its check clean; |check_| gets the tree too.
  void ExpectCardChecks() {
    const RunResult r = RunCommand({CARDPREP_VIEW_BINARY, "--card", "card", "--check"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "check: the index agrees with itself and with the card\n");
    check_ = RunCommand({CARDPREP_VIEW_BINARY, "--card", "card"}).out;
  }

  // A FLAC file of |seconds| of |signal| ("sine" or "noise").
  void Flac(const std::string& path, double seconds, const Tags& tags = {},
            const std::string& signal = "sine") {
    MakeAudio(path, {{"-c:a", "flac"}, 44100, 2, seconds, signal, {}}, tags);
  }

  static std::string LastLine(const std::string& text) {
    const std::vector<std::string> lines = Lines(text, "\n");
    return lines.empty() ? "" : lines.back();
  }

  // The line of |text| that begins with |start|.
  static std::string LineWith(const std::string& text, const std::string& start) {
    for (const std::string& line : Lines(text, "\n")) {
      if (line.rfind(start, 0) == 0) return line;
    }
    return "";
  }

  ScopedTempDir dir_;
  std::string check_;
};

// Every format goes onto the card: MP3 byte for byte, the rest as MP3
// files holding the source's samples and tags; the card is indexed, and a
// second run copies nothing.
TEST_F(CopyE2eTest, CopiesALibraryAndIndexesIt) {
  MakeDirs("lib/Album");
  struct Source {
    const char* file;
    std::vector<std::string> codec;
    int rate;
  };
  const Source sources[] = {{"01 flac.flac", {"-c:a", "flac"}, 44100},
                            {"02 aac.m4a", {"-c:a", "aac"}, 44100},
                            {"03 alac.m4a", {"-c:a", "alac"}, 44100},
                            {"04 vorbis.ogg", {"-c:a", "libvorbis"}, 44100},
                            {"05 opus.opus", {"-c:a", "libopus"}, 48000},
                            {"06 wma.wma", {"-c:a", "wmav2"}, 44100},
                            {"07 wav.wav", {"-c:a", "pcm_s16le"}, 44100},
                            {"08 mp3.mp3", {"-c:a", "libmp3lame"}, 44100}};
  for (const Source& s : sources) {
    AudioShape shape;
    shape.codec = s.codec;
    shape.rate = s.rate;
    shape.seconds = 1.2;
    MakeAudio(std::string("lib/Album/") + s.file, shape, JapaneseAndAccentedTags());
  }
  WriteText("lib/Album/cover.jpg", "not a picture");
  const RunResult first = Copy({"lib/Album"});
  const std::string copied = LineWith(first.err, "summary: 8 files");
  EXPECT_EQ(copied.rfind("summary: 8 files copied (7 encoded, 1 as they are), 8 s of audio "
                         "encoded at ", 0), 0u) << first.err;
  EXPECT_NE(copied.find("x real time; 1 other file left out"),
            std::string::npos) << first.err;
  EXPECT_EQ(LastLine(first.err), "summary: 8 sounds in 1 folder indexed");

  EXPECT_EQ(ReadBytes("card/Album/08 mp3.mp3"), ReadBytes("lib/Album/08 mp3.mp3"));
  for (const Source& s : sources) {
    SCOPED_TRACE(s.file);
    const std::string source = std::string("lib/Album/") + s.file;
    const std::string copy =
        "card/Album/" + fs::path(s.file).stem().string() + ".mp3";
    ASSERT_TRUE(fs::exists(copy));
    std::string errors;
    EXPECT_EQ(DecodedSamples(copy, 0, &errors), DecodedSamples(source, 0, &errors));
    EXPECT_EQ(errors, "");
    EXPECT_EQ(ProbeTags(copy).at("title"), ProbeTags(source).at("title"));
  }
  EXPECT_FALSE(fs::exists("card/Album/cover.jpg"));
  EXPECT_TRUE(fs::exists("card/_CARDPREP/COPIED.DAT"));
  ExpectCardChecks();
  EXPECT_NE(check_.find("index: 8 sounds in 1 folder"), std::string::npos) << check_;

  const Snapshot before = Files("card/Album");
  const RunResult second = Copy({"lib/Album"});
  EXPECT_EQ(LineWith(second.err, "summary: 0"),
            "summary: 0 files copied; 8 up to date; 1 other file left out");
  EXPECT_TRUE(Files("card/Album") == before);

  // A changed source replaces its own earlier copy, under the same name.
  Flac("lib/Album/01 flac.flac", 2.5, {{"title", "longer"}});
  const RunResult third = Copy({"lib/Album"});
  EXPECT_NE(third.err.find("summary: 1 file copied (1 encoded, 0 as they are; 1 replacing earlier "
                           "copies)"),
            std::string::npos)
      << third.err;
  std::string errors;
  EXPECT_EQ(DecodedSamples("card/Album/01 flac.mp3", 0, &errors), 110250);
  EXPECT_FALSE(fs::exists("card/Album/01 flac (2).mp3"));
  ExpectCardChecks();
}

// Names the player cannot take are fitted and said; a file of the same
// name on the card stays as it was, and the copy takes " (2)"; a second
// run finds its copies and makes no third.
TEST_F(CopyE2eTest, FitsNamesAndKeepsWhatIsOnTheCard) {
  const std::string folder = "Live: " + std::string(70, 'L');
  const std::string file = std::string(140, 'f');
  MakeDirs("lib/" + folder);
  Flac("lib/" + folder + "/" + file + ".flac", 0.5);
  MakeDirs("lib/Album");
  Flac("lib/Album/Song.flac", 0.5);
  MakeDirs("card/Album");
  WriteText("card/Album/song.mp3", "the user's own file");

  const RunResult r = Copy({"lib/Album", "lib/" + folder});
  const std::string fitted = "Live_ " + std::string(58, 'L');
  EXPECT_NE(r.err.find("warning: lib/" + folder + ": copied to /" + fitted +
                       " (characters FAT cannot hold became \"_\"; cut to the 64 characters the "
                       "player takes)"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("warning: lib/Album/Song.flac: copied as /Album/Song (2).mp3 "
                       "(/Album/song.mp3 on the card is another file, left as it is)"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(ReadText("card/Album/song.mp3"), "the user's own file");
  EXPECT_TRUE(fs::exists("card/Album/Song (2).mp3"));
  EXPECT_TRUE(fs::exists("card/" + fitted + "/" + std::string(124, 'f') + ".mp3"));
  const Snapshot before = Files("card");

  const RunResult again = Copy({"lib/Album", "lib/" + folder});
  EXPECT_EQ(again.err.find("warning:"), std::string::npos) << again.err;
  EXPECT_NE(again.err.find("summary: 0 files copied; 2 up to date"), std::string::npos);
  EXPECT_FALSE(fs::exists("card/Album/Song (3).mp3"));
  const Snapshot after = Files("card");
  for (const auto& [path, bytes] : before) {
    if (path.rfind("_CARDPREP", 0) == 0 || path.find("16.") != std::string::npos) continue;
    EXPECT_TRUE(after.count(path) > 0 && after.at(path) == bytes) << path;
  }
  ExpectCardChecks();
}

// What cannot be decoded is said and passed over; the rest is copied, and
// nothing of the failed ones is left on the card.
TEST_F(CopyE2eTest, PassesOverWhatCannotBeDecoded) {
  MakeDirs("lib/A");
  Flac("lib/A/good.flac", 0.5);
  WriteText("lib/A/broken.flac", "no sound here\n");
  Flac("lib/A/whole.flac", 3);
  const std::vector<uint8_t> whole = ReadBytes("lib/A/whole.flac");
  WriteBytes("lib/A/half.flac", std::vector<uint8_t>(whole.begin(), whole.begin() + whole.size() / 2));
  fs::remove("lib/A/whole.flac");
  Flac("lib/A/empty.flac", 0);
  WriteText("lib/A/bought.m4p", "FairPlay");
  const RunResult r = Copy({"lib/A"});
  for (const char* said :
       {"warning: lib/A/bought.m4p: it is copy-protected (DRM",
        "warning: lib/A/broken.flac: it is no audio file FFmpeg reads",
        "warning: lib/A/empty.flac: it holds no sound (0 seconds); it is not copied",
        "warning: lib/A/half.flac: it is cut short: it ends after 0:01 of the 0:03 its header "
        "gives; it is not copied"}) {
    EXPECT_NE(r.err.find(said), std::string::npos) << said << "\n" << r.err;
  }
  EXPECT_NE(r.err.find("summary: 1 file copied (1 encoded, 0 as they are), 1 s of audio"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("; 3 could not be copied; 1 copy-protected;"), std::string::npos) << r.err;
  EXPECT_EQ(Files("card/A").size(), 1u);
  EXPECT_TRUE(fs::exists("card/A/good.mp3"));
  EXPECT_EQ(Leftovers("card"), std::vector<std::string>{});
  ExpectCardChecks();
}

// Bad arguments get one clear error line each and change nothing.
TEST_F(CopyE2eTest, RefusesBadArgumentsAndChangesNothing) {
  MakeDirs("lib/A");
  Flac("lib/A/a.flac", 0.3);
  WriteText("lib/notes.txt", "words");
  MakeDirs("card/Music");
  Flac("card/Music/on card.flac", 0.3);
  WriteText("card/Taken", "a file");
  const Snapshot before = Files("card");
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string said;
  };
  const Case cases[] = {
      {{"lib/missing"}, 1, "error: lib/missing does not exist; nothing was copied"},
      {{"lib/notes.txt"}, 1,
       "error: lib/notes.txt is no audio file cardprep-copy takes (MP3, FLAC, M4A, AAC, Ogg, "
       "Opus, WMA or WAV); nothing was copied"},
      {{"card/Music"}, 1, "error: card/Music lies on the card itself"},
      {{"card/Music/on card.flac"}, 1, "error: card/Music/on card.flac lies on the card itself"},
      {{"card"}, 1, "error: card is the card itself"},
      {{"."}, 1, "error: . holds the card itself, which would be copied into itself"},
      {{"lib/A", "--to", "/Taken"}, 1,
       "error: --to /Taken: /Taken on the card is not a folder; nothing was copied"},
      {{"lib/A", "--to", "/a?b"}, 2, "error: --to /a?b: the player cannot take a folder named"},
      {{"lib/A", "--quality", "V10"}, 2, "error: --quality takes V0 to V9, not 'V10'"},
      {{}, 2, "error: nothing to copy"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.empty() ? "(none)" : c.args[0]);
    const RunResult r = Copy(c.args, c.status);
    EXPECT_EQ(r.err.rfind(c.said, 0), 0u) << r.err;
    EXPECT_TRUE(Files("card") == before);
  }
  // A folder without _FONT is no card.
  const RunResult r = RunCommand({CARDPREP_COPY_BINARY, "--card", "lib", "lib/A"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("error: lib is not a card's root: it holds no _FONT folder", 0), 0u)
      << r.err;
  EXPECT_FALSE(fs::exists("lib/A.mp3"));
}

TEST_F(CopyE2eTest, ADryRunSaysWhatItWouldDoAndWritesNothing) {
  MakeDirs("lib/A?");
  Flac("lib/A?/a.flac", 0.3);
  const Snapshot before = Files("card");
  const RunResult r = Copy({"lib/A?", "--dry-run", "-v"});
  EXPECT_EQ(r.out, "would encode lib/A?/a.flac -> /A_/a.mp3\n");
  EXPECT_NE(r.err.find("warning: lib/A?: copied to /A_"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("summary: 1 file would be copied; 1 warning; nothing was "
                       "written (dry run)"),
            std::string::npos)
      << r.err;
  EXPECT_TRUE(Files("card") == before);
}

// A card pulled out while files are written: every write fails from then
// on. The run stops at once, says so, and leaves nothing partial; the card
// is not indexed.
TEST_F(CopyE2eTest, APulledCardStopsTheRun) {
  MakeDirs("lib/A");
  for (const char* name : {"lib/A/1.flac", "lib/A/2.flac", "lib/A/3.flac", "lib/A/4.flac"}) {
    Flac(name, 20, {}, "noise");
  }
  const Snapshot before = Files("card");
  const RunResult r =
      RunWithEnv({CARDPREP_COPY_BINARY, "--card", "card", "--jobs", "1", "lib/A"},
                 FaultEnv(MakeFault("write", ".cardprep-", "4+")));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(": Input/output error: the card may have been pulled out or have failed; "),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("and nothing partial is left. Check the card and run cardprep-copy again"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(r.err.find("indexed"), std::string::npos) << r.err;
  EXPECT_EQ(Leftovers("card"), std::vector<std::string>{});
  for (const auto& [path, bytes] : Files("card")) {
    if (before.count(path) > 0) continue;
    std::string errors;
    EXPECT_EQ(DecodedSamples("card/" + path, 0, &errors), 20 * 44100) << path;
  }
}

// Ctrl-C while files are being encoded: the run stops at once, every file
// it put in place is whole, nothing partial is left, and the next run
// copies only the rest.
TEST_F(CopyE2eTest, CtrlCMidEncodeLeavesNothingPartial) {
  MakeDirs("lib/Long");
  Flac("lib/Long/01.flac", 40, {}, "noise");
  for (int i = 2; i <= 6; ++i) fs::copy_file("lib/Long/01.flac", "lib/Long/0" + std::to_string(i) + ".flac");
  const pid_t pid =
      StartProgram({CARDPREP_COPY_BINARY, "--card", "card", "--jobs", "2", "lib/Long"},
                   dir_.path() + "/stderr");
  // Until a file is being written aside.
  bool writing = false;
  for (int i = 0; i < 1000 && !writing; ++i) {
    writing = !Leftovers("card").empty();
    if (!writing) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(writing) << ReadText("stderr");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  kill(pid, SIGINT);
  EXPECT_EQ(WaitFor(pid), 128 + SIGINT);
  const std::string err = ReadText("stderr");
  EXPECT_NE(err.find("error: stopped by SIGINT: every file put in place is whole, and nothing "
                     "partial is left; run cardprep-copy again"),
            std::string::npos)
      << err;
  EXPECT_EQ(Leftovers("card"), std::vector<std::string>{});
  size_t whole = 0;
  for (const auto& [path, bytes] : Files("card/Long")) {
    std::string errors;
    EXPECT_EQ(DecodedSamples("card/Long/" + path, 0, &errors), 40 * 44100) << path;
    EXPECT_EQ(errors, "") << path;
    ++whole;
  }
  const RunResult rest = Copy({"lib/Long", "--jobs", "2"});
  EXPECT_NE(rest.err.find("summary: " + std::to_string(6 - whole) + " file"), std::string::npos)
      << rest.err;
  if (whole > 0) {
    EXPECT_NE(rest.err.find(std::to_string(whole) + " up to date"), std::string::npos) << rest.err;
  }
  EXPECT_EQ(CountIn("card/Long", ".mp3"), 6u);
  ExpectCardChecks();
}

// Spread over the cores, the files come out as they do one at a time, byte
// for byte; a terminal sees the progress line (files, minutes of audio, the
// rate and the time left), never run into the other lines.
TEST_F(CopyE2eTest, EncodesOnEveryCoreWithAProgressLine) {
  MakeDirs("lib/Many");
  for (int i = 1; i <= 8; ++i) {
    Flac("lib/Many/" + std::to_string(i) + ".flac", 20 + i, {{"title", "Song " + std::to_string(i)}},
         "noise");
  }
  WriteText("lib/Many/a?.flac", "no sound");  // a warning on the way
  Copy({"lib/Many", "--jobs", "1", "--no-index"});
  const Snapshot one = Files("card/Many");
  fs::remove_all("card/Many");
  fs::remove_all("card/_CARDPREP");
  const std::string seen =
      RunOnTerminal({CARDPREP_COPY_BINARY, "--card", "card", "--jobs", "4", "lib/Many"}, false).out;
  EXPECT_TRUE(Files("card/Many") == one) << "four jobs wrote other files than one";
  EXPECT_EQ(one.size(), 8u);
  EXPECT_NE(seen.find("\r\033[Kcardprep-copy: 0/9 files, 0.0 min of audio"), std::string::npos)
      << seen;
  const size_t rate = seen.find("x real time, about ");
  EXPECT_NE(rate, std::string::npos) << seen;
  EXPECT_NE(seen.find(" left", rate), std::string::npos) << seen;
  for (const char* start : {"warning: ", "summary: "}) {
    for (size_t at = seen.find(start); at != std::string::npos; at = seen.find(start, at + 1)) {
      EXPECT_TRUE(at == 0 || seen[at - 1] == '\n' || seen.compare(at - 3, 3, "\033[K") == 0)
          << start << " runs into another line:\n" << seen;
    }
  }
  EXPECT_NE(seen.find("summary: 8 files copied (8 encoded, 0 as they are), 3 min of audio"),
            std::string::npos)
      << seen;
}

}  // namespace
