// cardprep-view run as users run it, on cards indexed by the real cardprep:
// the tree and the JSON must show what the card holds, damage must be
// reported line by line, and the picture must hold the files' bitmaps. The
// expected values come from the card as made here and the file layouts,
// never from the viewer's own code.
#include <gtest/gtest.h>
#include <png.h>

#include <map>

#include <algorithm>
#include <array>
#include <filesystem>

#include "card_test.h"

namespace {

namespace fs = std::filesystem;

// The lines of |text| from the one equal to |from| up to the next empty line.
std::vector<std::string> Section(const std::string& text, const std::string& from) {
  std::vector<std::string> lines = Lines(text, "\n");
  auto begin = std::find(lines.begin(), lines.end(), from);
  auto end = std::find(begin, lines.end(), "");
  return std::vector<std::string>(begin, end);
}

bool HasLine(const std::string& text, const std::string& line) {
  const std::vector<std::string> lines = Lines(text, "\n");
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

void Poke(const std::string& file, size_t at, std::vector<uint8_t> bytes) {
  std::vector<uint8_t> data = ReadBytes(file);
  std::copy(bytes.begin(), bytes.end(), data.begin() + long(at));
  WriteBytes(file, data);
}

class ViewTest : public CardTest {
 protected:
  // Folders, as cardprep numbers them: 1 root (r), 2 A (a1, a2), 3 B, 4 Z
  // (say "hi"), 5 日本 (歌), 6 A\Disc 1 (d1), 7 B\C (c1, titled "Intro");
  // A\Empty is counted and dropped. Sounds 0-6 in that pre-order.
  void MakeTree() {
    Mp3("r.mp3");
    Mp3("A/a1.mp3");
    Mp3("A/a2.mp3");
    Mp3("A/Disc 1/d1.mp3");
    MakeDirs("A/Empty");
    Mp3("B/C/c1.mp3", "Intro");
    Mp3("Z/say \"hi\".mp3");
    Mp3("日本/歌.mp3");
  }
};

TEST_F(ViewTest, TreeAndJsonShowTheIndexedCard) {
  MakeTree();
  Run({"/A"});
  const RunResult view = RunView({});
  ASSERT_EQ(view.status, 0) << view.out << view.err;
  EXPECT_EQ(view.err, "");
  const std::vector<std::string> lines = Lines(view.out, "\n");
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0].substr(0, 21), "DIRLST16.DAT written ");
  EXPECT_EQ(lines[0].size(), 40u);  // YYYY-MM-DD hh:mm:ss
  // Folders counted as cardprep's summary counts them.
  EXPECT_EQ(lines[1], "index: 7 sounds in 6 folders, 7 play-order entries, 9 messages, "
                      "7 listed files");
  EXPECT_NE(run_.err.find("summary: 7 sounds in 6 folders indexed"), std::string::npos);
  EXPECT_EQ(Section(view.out, "folder 1 \\ \"\": sound 0"),
            (std::vector<std::string>{
                "folder 1 \\ \"\": sound 0",
                "  sound 0 \"r.mp3\"",
                "  folder 2 \\A \"A\": sounds 1-2, file by file",
                "    sound 1 \"a1.mp3\"",
                "    sound 2 \"a2.mp3\"",
                "    folder 6 \\A\\Disc 1 \"Disc 1|A\": sound 3, file by file",
                "      sound 3 \"d1.mp3\"",
                "  folder 3 \\B \"B\"",
                "    folder 7 \\B\\C \"C\": sound 4",
                "      sound 4 \"c1.mp3\" title \"Intro\"",
                "  folder 4 \\Z \"Z\": sound 5",
                "    sound 5 \"say \"hi\".mp3\"",
                "  folder 5 \\日本 \"日本\": sound 6",
                "    sound 6 \"歌.mp3\"",
            }));
  // The play order is shuffled: its entries in any order, numbered in turn.
  std::vector<std::string> order = Section(view.out, "play order, 7 entries in file order:");
  ASSERT_EQ(order.size(), 8u) << view.out;
  for (size_t i = 1; i < order.size(); ++i) {
    const std::string number = "  " + std::to_string(i - 1) + " ";
    EXPECT_EQ(order[i].substr(0, number.size()), number);
    order[i] = order[i].substr(number.size());
  }
  std::sort(order.begin() + 1, order.end());
  EXPECT_EQ(std::vector<std::string>(order.begin() + 1, order.end()),
            (std::vector<std::string>{
                "file 0 of folder 2: \\A\\a1.mp3 (sound 1)",
                "file 0 of folder 6: \\A\\Disc 1\\d1.mp3 (sound 3)",
                "file 1 of folder 2: \\A\\a2.mp3 (sound 2)",
                "folder 1: \\",
                "folder 4: \\Z",
                "folder 5: \\日本",
                "folder 7: \\B\\C",
            }));
  EXPECT_TRUE(HasLine(view.out, "check: the index agrees with itself and with the card"));

  const RunResult json = RunView({"--json"});
  ASSERT_EQ(json.status, 0) << json.err;
  WriteText("view.json", json.out);
  const RunResult facts =
      RunCommand({"/usr/bin/python3", CARDPREP_TEST_DATA_DIR "/view_json.py", "view.json"});
  ASSERT_EQ(facts.status, 0) << facts.err;
  EXPECT_EQ(Lines(facts.out, "\n"),
            (std::vector<std::string>{
                "header|7|6|14 digits",
                // number|path|name|displayed|parent|grandparent|first child|children|
                // first sound|sounds|file unit
                "folder|1|\\|||0|0|2|4|0|1|False",
                "folder|2|\\A|A|A|1|0|6|1|1|2|True",
                "folder|3|\\B|B|B|1|0|7|1|0|0|False",
                "folder|4|\\Z|Z|Z|1|0|0|0|5|1|False",
                "folder|5|\\日本|日本|日本|1|0|0|0|6|1|False",
                "folder|6|\\A\\Disc 1|Disc 1|Disc 1|A|2|1|0|0|3|1|True",
                "folder|7|\\B\\C|C|C|3|1|0|0|4|1|False",
                "tree|1 2 6 3 7 4 5",
                // index|folder|name|displayed|title
                "sound|0|1|r.mp3|r.mp3|None",
                "sound|1|2|a1.mp3|a1.mp3|None",
                "sound|2|2|a2.mp3|a2.mp3|None",
                "sound|3|6|d1.mp3|d1.mp3|None",
                "sound|4|7|c1.mp3|c1.mp3|Intro",
                "sound|5|4|say \"hi\".mp3|say \"hi\".mp3|None",
                "sound|6|5|歌.mp3|歌.mp3|None",
                "play|0|1|0",
                "play|0|4|0",
                "play|0|5|0",
                "play|0|7|0",
                "play|1|2|0",
                "play|1|2|1",
                "play|1|6|0",
                "messages|9|problems|0|notes|0",
            }));
}

TEST_F(ViewTest, DamagedOrStaleIndexesAreReported) {
  constexpr size_t kDir = 1024, kSound = 1120;
  struct Case {
    const char* what;
    void (*damage)();
    void (*undo)();
    std::string line;
    std::string also = "";  // a second problem said
  } cases[] = {
      {"SNDLST16.DAT cut short",
       [] { fs::resize_file("SNDLST16.DAT", 7 * kSound - 100); }, nullptr,
       "problem: SNDLST16.DAT is 7740 bytes: not a whole number of 1120-byte records "
       "(6 records and 1020 bytes over)"},
      {"a parent number changed",
       [] { Poke("DIRLST16.DAT", 6 * kDir + 425, {3, 0}); }, nullptr,
       "problem: folder 6 \\A\\Disc 1 names folder 3 as its parent, but folder 2 \\A lists it "
       "as a child"},
      {"a grandparent number changed",
       [] { Poke("DIRLST16.DAT", 7 * kDir + 427, {2, 0}); }, nullptr,
       "problem: folder 7 \\B\\C names folder 2 as its grandparent, but its parent's parent is "
       "folder 1"},
      {"the header's count of folders with sounds",
       [] { Poke("DIRLST16.DAT", 2, {5, 0}); }, nullptr,
       "problem: the header counts 5 folders with sounds, but 6 records have sounds"},
      {"two folders claiming one sound",
       [] { Poke("DIRLST16.DAT", 7 * kDir + 430, {3, 0}); }, nullptr,
       "problem: folder 6 \\A\\Disc 1 and folder 7 \\B\\C both claim sound 3"},
      {"a play-order entry out of range",
       [] { Poke("RANDOM16.DAT", 1, {99, 0}); }, nullptr,
       "problem: play-order entry 0 names folder 99, which is not in the folder list "
       "(folders 1-7)"},
      // Folder 2 holds two sounds: file 1 is its last (the undamaged index
      // has it and passes), file 2 the first past its end.
      {"file 1 of a folder of two sounds named as file 2",
       [] {
         std::vector<uint8_t> order = ReadBytes("RANDOM16.DAT");
         for (size_t at = 0; at + 4 <= order.size(); at += 4) {
           if (order[at] == 1 && order[at + 1] == 2 && order[at + 3] == 1) {
             order.erase(order.begin() + long(at), order.begin() + long(at + 4));
           }
         }
         order.insert(order.begin(), {1, 2, 0, 2});  // kind, folder (LE), file
         WriteBytes("RANDOM16.DAT", order);
       },
       nullptr,
       "problem: play-order entry 0 names file 2 of folder 2 \\A, which holds 2 sounds",
       "problem: file 1 of folder 2 \\A (sound 2) is not in the play order"},
      {"an MP3 file deleted", [] { fs::remove("A/a2.mp3"); }, [] { WriteSilentMp3("A/a2.mp3"); },
       "problem: sound 2 \\A\\a2.mp3: in the index, but no longer on the card"},
      {"an MP3 file added", [] { WriteSilentMp3("A/new.mp3"); }, [] { fs::remove("A/new.mp3"); },
       "problem: \\A\\new.mp3: on the card, but not in the index (run cardprep again)"},
  };
  MakeTree();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Run({"/A"});
    ASSERT_EQ(RunView({"--check"}).status, 0);
    c.damage();
    const RunResult view = RunView({"--check"});
    EXPECT_EQ(view.status, 1);
    EXPECT_TRUE(HasLine(view.out, c.line)) << view.out;
    EXPECT_TRUE(c.also.empty() || HasLine(view.out, c.also)) << view.out;
    if (c.undo != nullptr) c.undo();
  }
}

TEST_F(ViewTest, MusicTheScanLeavesOutIsNotedWithItsRule) {
  Mp3("Real/r.mp3");
  fs::create_directory_symlink("Real", "Link");
  MakeDirs("_Hidden");
  WriteBytes("_Hidden/h.mp3", {});
  MakeDirs(".Trash-1000");
  WriteBytes(".Trash-1000/t.mp3", {});
  WriteBytes("bad\xFF.mp3", {});
  WriteBytes("._x.mp3", {0x00, 0x05, 0x16, 0x07});  // metadata, not music: no note
  const std::string long_name = std::string(125, 'l') + ".mp3";
  WriteBytes(long_name, {});
  MakeDirs("Many");
  for (int i = 0; i < 256; ++i) WriteBytes("Many/" + std::to_string(1000 + i) + ".mp3", {});
  for (int i = 0; i < 256; ++i) MakeDirs("Artists/A" + std::to_string(100 + i));
  WriteBytes("Artists/A355/last.mp3", {});  // the 256th folder by name
  // A folder path of 123 units is indexed, one of 124 is not.
  for (const size_t units : {123, 124}) {
    const std::string deep = PathOfUnits("Deep" + std::to_string(units), units);
    MakeDirs(deep);
    WriteBytes(deep + "/far.mp3", {});
  }
  std::string deep_card = "\\" + PathOfUnits("Deep124", 124);
  std::replace(deep_card.begin(), deep_card.end(), '/', '\\');
  Run();

  const RunResult view = RunView({"--check"});
  EXPECT_EQ(view.status, 0) << view.out;
  std::vector<std::string> lines = Lines(view.out, "\n");
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "check: the index agrees with itself and with the card; 8 notes on MP3 "
                      "files the scan leaves out");
  std::sort(lines.begin() + 1, lines.end());
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()),
            (std::vector<std::string>{
                "note: \\.Trash-1000: 1 MP3 file not indexed: it holds deleted files",
                "note: \\Artists\\A355: 1 MP3 file not indexed: \\Artists holds 256 folders and "
                "the player takes the first 255 by name",
                "note: " + deep_card + ": 1 MP3 file not indexed: its path is longer than the "
                "123 characters the player takes",
                "note: \\Link: 1 MP3 file not indexed: symbolic links to folders are not followed",
                "note: \\Many: 1 of its 256 MP3 files not indexed: the player takes the first 255 "
                "by name",
                "note: \\_Hidden: 1 MP3 file not indexed: folders whose name begins with \"_\" "
                "are never entered",
                "note: \\bad\\xFF.mp3: not indexed: the name is not valid UTF-8",
                "note: \\" + long_name + ": not indexed: the name is longer than the 128 "
                "characters the player takes",
            }));
}

// The picture's layout, in display pixels: a 20-pixel band per strip, the
// strip in rows 2-17 from x 4 (folders, messages) or 20 (sounds), a frame
// around the first 128 columns, and from x 408 a label of 3 x 5-dot
// characters 4 pixels apart in rows 7-11; 434 wide.
TEST_F(ViewTest, PictureHoldsTheBitmapsPixelForPixel) {
  Mp3("r.mp3");
  Mp3("Ab/a1.mp3");
  Run();
  const RunResult view = RunView({"--png", "index.png", "--scale", "2", "--check"});
  ASSERT_EQ(view.status, 0) << view.err;

  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&image, "index.png")) << image.message;
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) << image.message;
  constexpr size_t kScale = 2, kBand = 20;
  // Root, r.mp3, Ab, a1.mp3, nine messages.
  ASSERT_EQ(image.width, 434 * kScale);
  ASSERT_EQ(image.height, 13 * kBand * kScale);
  auto pixel = [&](size_t x, size_t y) {
    const uint8_t* p = &rgb[3 * (y * image.width + x)];
    return std::array<uint8_t, 3>{p[0], p[1], p[2]};
  };
  const std::array<uint8_t, 3> black = {0, 0, 0};

  const std::vector<uint8_t> dirs = ReadBytes("DIRLST16.DAT");
  const std::vector<uint8_t> sounds = ReadBytes("SNDLST16.DAT");
  const std::vector<uint8_t> messages = ReadBytes("MSGSTR16.DAT");
  struct Strip {
    const uint8_t* upper;
    const uint8_t* lower;
    size_t columns, x;
    std::string label;
  };
  std::vector<Strip> strips = {
      {&dirs[1024 + 512], &dirs[1024 + 768], 256, 4, "F1"},
      {&sounds[352], &sounds[736], 384, 20, "S0"},
      {&dirs[2048 + 512], &dirs[2048 + 768], 256, 4, "F2"},
      {&sounds[1120 + 352], &sounds[1120 + 736], 384, 20, "S1"},
  };
  for (size_t m = 0; m < 9; ++m) {
    strips.push_back({&messages[256 * m], &messages[256 * m + 128], 128, 4, "M" + std::to_string(m)});
  }
  // The label characters, a row a string, as the picture draws them.
  const std::map<char, std::vector<std::string>> font = {
      {'0', {"###", "#.#", "#.#", "#.#", "###"}}, {'1', {".#.", "##.", ".#.", ".#.", "###"}},
      {'2', {"###", "..#", "###", "#..", "###"}}, {'F', {"###", "#..", "##.", "#..", "#.."}},
      {'S', {".##", "#..", ".#.", "..#", "##."}}, {'M', {"#.#", "###", "###", "#.#", "#.#"}},
      {'3', {"###", "..#", ".##", "..#", "###"}}, {'4', {"#.#", "#.#", "###", "..#", "..#"}},
      {'5', {"###", "#..", "###", "..#", "###"}}, {'6', {"###", "#..", "###", "#.#", "###"}},
      {'7', {"###", "..#", "..#", ".#.", ".#."}}, {'8', {"###", "#.#", "###", "#.#", "###"}},
  };

  size_t inked = 0;
  for (size_t band = 0; band < strips.size(); ++band) {
    SCOPED_TRACE(testing::Message() << "band " << band);
    const Strip& s = strips[band];
    const size_t top = band * kBand;
    for (size_t y = 0; y < 16; ++y) {
      for (size_t x = 0; x < s.columns; ++x) {
        const bool bit = ((y < 8 ? s.upper[x] : s.lower[x]) >> (y % 8)) & 1;
        inked += bit;
        for (size_t d = 0; d < kScale * kScale; ++d) {
          const size_t px = (s.x + x) * kScale + d % kScale;
          const size_t py = (top + 2 + y) * kScale + d / kScale;
          ASSERT_EQ(pixel(px, py) == black, bit) << "column " << x << " row " << y;
        }
      }
    }
    // The frame's top edge spans columns x - 1 to x + 128, in one colour
    // that is neither ink nor the page.
    const std::array<uint8_t, 3> frame = pixel((s.x - 1) * kScale, (top + 1) * kScale);
    EXPECT_NE(frame, black);
    EXPECT_NE(frame, pixel(0, top * kScale));
    EXPECT_EQ(pixel((s.x + 128) * kScale + 1, (top + 1) * kScale + 1), frame);
    EXPECT_NE(pixel((s.x + 129) * kScale, (top + 1) * kScale), frame);
    // The label, read back dot by dot, in a colour of its own.
    const std::array<uint8_t, 3> page = pixel(0, top * kScale);
    std::string label;
    for (size_t cell = 0; cell < 6; ++cell) {
      std::vector<std::string> dots(5, std::string(3, '.'));
      for (size_t y = 0; y < 5; ++y) {
        for (size_t x = 0; x < 3; ++x) {
          const auto p = pixel((408 + 4 * cell + x) * kScale, (top + 7 + y) * kScale);
          EXPECT_TRUE(p == page || (p != black && p != frame));
          if (p != page) dots[y][x] = '#';
        }
      }
      for (const auto& [c, rows] : font) {
        if (rows == dots) label += c;
      }
    }
    EXPECT_EQ(label, s.label);
  }
  EXPECT_GT(inked, 500u);  // the names and messages are really drawn

  const RunResult full = RunView({"--png", "/dev/full", "--check"});
  EXPECT_EQ(full.status, 1);
  EXPECT_NE(full.err.find("error: cannot write /dev/full"), std::string::npos) << full.err;
}

// The picture is named from where the tool was started, the card by
// --card: a relative path lands beside the one who typed it.
TEST_F(ViewTest, ThePictureIsNamedFromWhereTheToolStarted) {
  Mp3("r.mp3");
  Run();
  MakeDirs("start/pictures");
  fs::current_path("start");
  const RunResult view = RunView({"--card", "..", "--png", "pictures/./index.png", "--check"});
  fs::current_path("..");
  EXPECT_EQ(view.status, 0) << view.err;
  EXPECT_TRUE(fs::is_regular_file("start/pictures/index.png"));
  EXPECT_FALSE(fs::exists("pictures"));
}

// The viewer's own options and operand; how any option is read is the
// command-line reader's test.
TEST(ViewCommandLineTest, UsageErrorsExitTwoAndAMissingIndexOne) {
  ScopedTempDir card;
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string said;  // the start of standard output, or a piece of standard error
  } cases[] = {
      {{"--help"}, 0, "usage: cardprep-view "},
      {{"--version"}, 0, "cardprep-view " CARDPREP_VERSION "\n"},
      {{"--bogus"}, 2, "error: unknown option '--bogus' (see cardprep-view --help)"},
      {{"--scale=0"}, 2, "error: --scale takes a whole number from 1 to 16, not '0'"},
      {{"--scale", "17"}, 2, "error: --scale takes a whole number from 1 to 16, not '17'"},
      // The bounds themselves are taken (--version ends the run after them).
      {{"--scale", "1", "--version"}, 0, "cardprep-view "},
      {{"--scale", "16", "--version"}, 0, "cardprep-view "},
      {{"--check", "--json"}, 2, "error: --check and --json cannot be combined"},
      {{"--scale", "4"}, 2, "error: --scale sets the size of the picture: give --png FILE too"},
      {{"--card", "no-such-folder"}, 2, "error: cannot enter no-such-folder"},
      {{}, 1, "/DIRLST16.DAT: No such file or directory (is this the root of a card"},
      // A folder named without --card is the card: typed, or dropped on it.
      {{"."}, 1, "/DIRLST16.DAT: No such file or directory (is this the root of a card"},
      {{"/"}, 1, "error: cannot read /DIRLST16.DAT: No such file or directory"},
      {{".", "."}, 2, "error: unknown argument '.'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.said);
    const RunResult run = RunView(c.args);
    EXPECT_EQ(run.status, c.status);
    if (c.status == 0) {
      EXPECT_EQ(run.out.substr(0, c.said.size()), c.said);
    } else {
      EXPECT_NE(run.err.find(c.said), std::string::npos) << run.err;
    }
  }
}

}  // namespace
