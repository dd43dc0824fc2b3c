// cardprep on the file system it is made for: a FAT32 image made by
// mkfs.vfat and filled by mtools, mounted through FUSE by fusefat, indexed
// twice and then mounted read-only. What each run wrote is read back from
// the image by mtools, which knows nothing of the mount, and fsck.vfat
// checks the image after each run.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>

#include "card_test.h"
#include "index/index_files.h"
#include "text/utf.h"

namespace {

namespace fs = std::filesystem;

// The program's path in $PATH or the system folders; empty when missing.
std::string FindProgram(const std::string& name) {
  const char* path = getenv("PATH");
  std::string dirs = std::string(path ? path : "") + ":/usr/sbin:/sbin";
  for (size_t start = 0, end; start <= dirs.size(); start = end + 1) {
    end = std::min(dirs.find(':', start), dirs.size());
    const std::string file = dirs.substr(start, end - start) + "/" + name;
    if (end > start && access(file.c_str(), X_OK) == 0) return file;
  }
  return "";
}

// An mtools command on card.img, with long names in UTF-8.
RunResult Mtools(const std::string& tool, const std::vector<std::string>& args) {
  std::vector<std::string> argv = {"env", "LC_ALL=C.UTF-8", "MTOOLS_SKIP_CHECK=1", tool,
                                   "-i", "card.img"};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunCommand(argv);
}

// card.img mounted on mnt by fusefat, run in the foreground as a child of
// the test, so that unmounting can wait until it has written the image out
// and ended.
class FatMount {
 public:
  explicit FatMount(std::string fusermount) : fusermount_(std::move(fusermount)) {}
  ~FatMount() { Unmount(); }

  bool Mount(const std::string& options, std::string* why) {
    MakeDirs("mnt");
    struct stat outside;
    stat(".", &outside);
    pid_ = fork();
    if (pid_ == 0) {
      const int log = open("fusefat.log", O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(log, 1);
      dup2(log, 2);
      execlp("fusefat", "fusefat", "-f", "-o", options.c_str(), "card.img", "mnt", nullptr);
      _exit(127);
    }
    for (int tries = 0; tries < 200; ++tries) {
      struct stat inside;
      if (stat("mnt", &inside) == 0 && inside.st_dev != outside.st_dev) return true;
      int status;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        *why = "fusefat cannot mount the image: " + Reason(ReadText("fusefat.log"));
        return false;
      }
      usleep(50 * 1000);
    }
    *why = "fusefat did not mount the image within 10 s";
    Unmount();
    return false;
  }

  // fusefat's exit status once unmounted, or -1 when it did not end by
  // itself within 10 s.
  int Unmount() {
    if (pid_ < 0) return -1;
    RunProgramQuietly({fusermount_, "-u", "mnt"});
    int status = 0;
    for (int tries = 0; tries < 200; ++tries) {
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      usleep(50 * 1000);
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
    RunProgramQuietly({fusermount_, "-u", "-z", "mnt"});
    pid_ = -1;
    return -1;
  }

 private:
  // The line of fusefat's talk that says what went wrong.
  static std::string Reason(const std::string& log) {
    for (const std::string& line : Lines(log, "\n")) {
      if (line.rfind("fuse", 0) == 0) return line;
    }
    return log;
  }

  std::string fusermount_;
  pid_t pid_ = -1;
};

class FatCardTest : public ::testing::Test {
 protected:
  struct CardRun {
    RunResult cardprep, check;
    std::map<std::string, std::vector<uint8_t>> files;  // read through the mount
    int fusefat_status = -1;  // once unmounted; -1 when it had to be killed
  };

  void SetUp() override {
    for (const char* tool : {"mkfs.vfat", "fsck.vfat", "mcopy", "mdir", "fusefat"}) {
      if (FindProgram(tool).empty()) {
        GTEST_SKIP() << tool << " is not installed: scripts/install-deps installs dosfstools, "
                     << "mtools and fusefat";
      }
    }
    fusermount_ = FindProgram("fusermount3");
    if (fusermount_.empty()) fusermount_ = FindProgram("fusermount");
    if (fusermount_.empty()) GTEST_SKIP() << "fusermount is not installed (package fuse3)";
    const int fuse = open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (fuse < 0) {
      GTEST_SKIP() << "cannot open /dev/fuse as user " << geteuid() << " (" << strerror(errno)
                   << "), so no FAT image can be mounted";
    }
    close(fuse);
  }

  // card.img: a FAT32 file system of 64 MiB holding what the folder |card|
  // holds, copied in by mtools.
  void MakeImage(const std::string& card) {
    ASSERT_EQ(RunProgram({FindProgram("mkfs.vfat"), "-C", "-F", "32", "card.img", "65536"}), 0);
    std::vector<std::string> args = {"-s"};
    for (const auto& entry : fs::directory_iterator(card)) args.push_back(entry.path().string());
    args.push_back("::/");
    const RunResult copy = Mtools("mcopy", args);
    ASSERT_EQ(copy.status, 0) << copy.err;
  }

  // Mounts card.img with fusefat -o |options|, runs cardprep with |args|
  // and cardprep-view --check in the card's root, reads the five files back
  // through the mount and unmounts. False, with |why|, when the image
  // cannot be mounted.
  bool RunOnImage(const std::string& options, const std::vector<std::string>& args,
                  CardRun* run, std::string* why) {
    FatMount mount(fusermount_);
    if (!mount.Mount(options, why)) return false;
    fs::current_path("mnt");
    run->cardprep = RunCardprep(args);
    run->check = RunView({"--check"});
    for (const char* name : kIndexFileNames) {
      if (fs::exists(name)) run->files[name] = ReadBytes(name);
    }
    fs::current_path("..");
    run->fusefat_status = mount.Unmount();
    return true;
  }

  // fsck.vfat finds nothing wrong, and mtools reads back into back/ the
  // files |run| wrote, and no other file of the run's own.
  void ExpectImageHolds(const CardRun& run) {
    const RunResult fsck = RunCommand({FindProgram("fsck.vfat"), "-n", "card.img"});
    EXPECT_EQ(fsck.status, 0) << fsck.out << fsck.err;
    EXPECT_EQ(Lines(fsck.out, "\n").size(), 2u) << fsck.out;  // the version and the counts
    ASSERT_EQ(run.files.size(), 5u);
    MakeDirs("back");
    for (const auto& [name, bytes] : run.files) {
      const RunResult copy = Mtools("mcopy", {"-o", "::/" + name, "back/" + name});
      ASSERT_EQ(copy.status, 0) << copy.err;
      EXPECT_EQ(ReadBytes("back/" + name), bytes) << name;
    }
    const RunResult root = Mtools("mdir", {"-b", "::/"});
    EXPECT_EQ(root.out.find(".cardprep-"), std::string::npos) << root.out;
  }

  ScopedTempDir dir_;
  std::string fusermount_;
};

// "\A\B" as mtools names it: "::/A/B".
std::string ImagePath(const std::u16string& card_path) {
  std::string path = "::" + Utf16ToUtf8(card_path);
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

TEST_F(FatCardTest, IndexMatchesWhatTheImageHolds) {
  // Long Japanese names, names that fit 8.3, more MP3 files in a folder than
  // the player takes, folder paths at the 123-unit limit and past it. (A
  // lower-case name that fits 8.3 is stored with case flags, which fusefat
  // does not read: it would show "in.mp3" as "IN.MP3".)
  WriteSilentMp3("silent.mp3");
  const std::vector<uint8_t> mp3 = ReadBytes("silent.mp3");
  const std::string deepest = "card/" + PathOfUnits("Deep123", 123);
  const std::string too_deep = "card/" + PathOfUnits("Deep124", 124);
  for (const std::string& folder : {std::string("card/日本語の歌/Disc 1"), std::string("card/ALBUM"),
                                    std::string("card/Many"), deepest, too_deep}) {
    MakeDirs(folder);
  }
  for (const char* name : {"card/ROOT.MP3", "card/日本語の歌/さくら.mp3", "card/ALBUM/SONG1.MP3",
                           "card/日本語の歌/Disc 1/ｴﾝﾃﾞｨﾝｸﾞ.mp3", "card/ALBUM/TRACK02.MP3"}) {
    WriteBytes(name, mp3);
  }
  TagWithMutagen("card/日本語の歌/さくら.mp3", 4, "utf8", {"桜の歌"});
  for (int i = 1; i <= 260; ++i) WriteBytes("card/Many/Track " + std::to_string(1000 + i) + ".mp3", mp3);
  WriteBytes(deepest + "/Inside.mp3", mp3);
  WriteBytes(too_deep + "/Outside.mp3", mp3);
  ASSERT_TRUE(PutUnifontFonts("card"));
  MakeImage("card");

  CardRun run;
  std::string why;
  if (!RunOnImage("rw+", {}, &run, &why)) GTEST_SKIP() << why;
  EXPECT_EQ(run.cardprep.status, 0) << run.cardprep.err;
  EXPECT_NE(run.cardprep.err.find("summary: 261 sounds in 6 folders indexed"), std::string::npos)
      << run.cardprep.err;
  EXPECT_NE(run.cardprep.err.find("warning: Many holds 260 MP3 files"), std::string::npos);
  EXPECT_NE(run.cardprep.err.find("warning: not indexing " + too_deep.substr(5) + ": its path"),
            std::string::npos) << run.cardprep.err;
  EXPECT_EQ(run.check.status, 0) << run.check.out << run.check.err;
  EXPECT_EQ(run.check.out.rfind("check: the index agrees with itself and with the card; 2 notes "
                                "on MP3 files the scan leaves out\n", 0), 0u);
  EXPECT_EQ(run.fusefat_status, 0) << ReadText("fusefat.log");
  ExpectImageHolds(run);
  const std::string listing = ReadText("back/TAGINF16.TXT");
  EXPECT_NE(listing.find("[" + Padded("\x82\xB3\x82\xAD\x82\xE7.mp3") + "][" +  // さくら.mp3
                         Padded("\x8D\xF7\x82\xCC\x89\xCC") + "]\r\n"),        // 桜の歌
            std::string::npos) << listing;

  // Every folder path and sound name of the index is one the image holds,
  // and every MP3 file the image holds is indexed but those left out.
  const RunResult mdir = Mtools("mdir", {"-/", "-b", "::/"});
  ASSERT_EQ(mdir.status, 0) << mdir.err;
  const std::vector<std::string> lines = Lines(mdir.out, "\n");
  const std::set<std::string> on_image(lines.begin(), lines.end());
  const std::vector<uint8_t> folders = ReadBytes("back/DIRLST16.DAT");
  const std::vector<uint8_t> sounds = ReadBytes("back/SNDLST16.DAT");
  std::set<std::string> indexed;
  for (size_t r = 1024; r + 1024 <= folders.size(); r += 1024) {
    std::u16string path = Utf16At(folders, r + 32, 258);
    if (path == u"\\") path.clear();  // the root
    EXPECT_TRUE(path.empty() || on_image.count(ImagePath(path) + "/")) << ImagePath(path);
    const size_t first = Le16(folders, r + 430);
    for (size_t k = first; k < first + folders[r + 429] && (k + 1) * 1120 <= sounds.size(); ++k) {
      const std::string sound = ImagePath(path + u"\\" + Utf16At(sounds, k * 1120 + 48, 258));
      EXPECT_EQ(on_image.count(sound), 1u) << sound;
      indexed.insert(sound);
    }
  }
  EXPECT_EQ(indexed.size(), 261u);
  EXPECT_EQ(sounds.size(), 261u * 1120);
  std::vector<std::string> left_out;  // in name order
  for (const std::string& file : on_image) {
    const std::string end = file.size() > 4 ? file.substr(file.size() - 4) : "";
    if ((end == ".mp3" || end == ".MP3") && !indexed.count(file)) left_out.push_back(file);
  }
  ASSERT_EQ(left_out.size(), 6u);
  EXPECT_EQ(left_out[0], "::/" + too_deep.substr(5) + "/Outside.mp3");
  for (size_t i = 1; i < 6; ++i) EXPECT_EQ(left_out[i].rfind("::/Many/Track 1", 0), 0u);

  // Run again, with the big folder file by file: the new index takes the
  // old one's place.
  CardRun again;
  ASSERT_TRUE(RunOnImage("rw+", {"/Many"}, &again, &why)) << why;
  EXPECT_EQ(again.cardprep.status, 0) << again.cardprep.err;
  EXPECT_EQ(again.check.status, 0) << again.check.out;
  EXPECT_EQ(again.fusefat_status, 0) << ReadText("fusefat.log");
  ExpectImageHolds(again);
  EXPECT_EQ(again.files["SNDLST16.DAT"], run.files["SNDLST16.DAT"]);
  EXPECT_EQ(again.files["RANDOM16.DAT"].size(), 4u * (5 + 255));  // 5 folders, 255 files

  // Mounted read-only, the card gives the write error and keeps its index.
  CardRun read_only;
  ASSERT_TRUE(RunOnImage("ro", {}, &read_only, &why)) << why;
  EXPECT_EQ(Lines(read_only.cardprep.out, "\n"),
            (std::vector<std::string>{"InitFont OK", "fopen error"}));
  EXPECT_EQ(Lines(read_only.cardprep.err, "\n")[0],
            "error: cannot write to the card: it is mounted read-only; nothing was changed: "
            "unlock its write-protect switch, or mount it read-write: sudo mount -o "
            "remount,rw <mount point>");
  EXPECT_NE(read_only.fusefat_status, -1);  // it ends with status 255 after a read-only mount
  read_only.files = again.files;  // what the card must still hold
  ExpectImageHolds(read_only);
}

}  // namespace

// cardprep-copy onto the FAT image, nearly full: the names the player and
// FAT cannot take are fitted (names that differ only in case are one name
// on FAT), the card fills up, and fsck.vfat finds only whole files and no
// temporary one; what was copied checks clean.
TEST_F(FatCardTest, CopyFillsTheCardWithWholeFilesOnly) {
  ASSERT_TRUE(PutUnifontFonts("card"));
  // Of the 64 MiB, all but about 1.5 MiB taken.
  WriteBytes("card/FILLER.BIN", std::vector<uint8_t>(61u << 20, 0x55));
  MakeImage("card");
  MakeDirs("lib/Album: Live");
  WriteSilentMp3("silent.mp3");
  std::vector<uint8_t> mp3 = ReadBytes("silent.mp3");
  WriteBytes("lib/Album: Live/Song.mp3", mp3);
  mp3.back() ^= 1;
  WriteBytes("lib/Album: Live/SONG.MP3", mp3);  // the same name on FAT
  const RunResult noise = RunCommand(
      {"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "anoisesrc=c=pink:r=44100", "-t", "30",
       "-ac", "2", "-c:a", "flac", "lib/Album: Live/noise 1.flac"});
  if (noise.status != 0) GTEST_SKIP() << "ffmpeg cannot make the sources: " << noise.err;
  for (int i = 2; i <= 9; ++i) {
    fs::copy_file("lib/Album: Live/noise 1.flac", "lib/Album: Live/noise " + std::to_string(i) + ".flac");
  }
  FatMount mount(fusermount_);
  std::string why;
  if (!mount.Mount("rw+", &why)) GTEST_SKIP() << why;
  const RunResult copy =
      RunCommand({CARDPREP_COPY_BINARY, "--card", "mnt", "--jobs", "2", "lib/Album: Live"});
  const RunResult check = RunCommand({CARDPREP_VIEW_BINARY, "--card", "mnt", "--check"});
  EXPECT_EQ(mount.Unmount(), 0) << ReadText("fusefat.log");
  EXPECT_EQ(copy.status, 1) << copy.err;
  EXPECT_NE(copy.err.find("warning: lib/Album: Live: copied to /Album_ Live"), std::string::npos)
      << copy.err;
  EXPECT_NE(copy.err.find("lib/Album: Live/Song.mp3: copied as /Album_ Live/Song (2).mp3 (another "
                          "source of the same name goes there)"),
            std::string::npos)
      << copy.err;
  EXPECT_NE(copy.err.find("error: the card is full"), std::string::npos) << copy.err;
  EXPECT_NE(copy.err.find("nothing partial is left. Make room, or copy less, and run "
                          "cardprep-copy again"),
            std::string::npos)
      << copy.err;
  EXPECT_EQ(check.status, 0) << check.out << check.err;
  const RunResult fsck = RunCommand({FindProgram("fsck.vfat"), "-n", "card.img"});
  EXPECT_EQ(fsck.status, 0) << fsck.out << fsck.err;
  const RunResult files = Mtools("mdir", {"-/", "-b", "::/Album_ Live"});
  EXPECT_EQ(files.out.find(".cardprep-"), std::string::npos) << files.out;
  EXPECT_NE(files.out.find("SONG.MP3"), std::string::npos) << files.out;
  EXPECT_NE(files.out.find("Song (2).mp3"), std::string::npos) << files.out;
  // Each encoded file on the image is whole: read back, it decodes to 30 s.
  MakeDirs("back");
  size_t encoded = 0;
  for (int i = 1; i <= 9; ++i) {
    const std::string name = "noise " + std::to_string(i) + ".mp3";
    if (files.out.find(name) == std::string::npos) continue;
    ASSERT_EQ(Mtools("mcopy", {"::/Album_ Live/" + name, "back/" + name}).status, 0);
    const RunResult decoded = RunCommand({"sh", "-c",
        "ffmpeg -v error -i \"$1\" -ac 1 -f s16le - | wc -c", "sh", "back/" + name});
    EXPECT_EQ(std::atoll(decoded.out.c_str()), 30ll * 44100 * 2) << name << decoded.err;
    ++encoded;
  }
  EXPECT_GT(encoded, 0u);
  EXPECT_LT(encoded, 9u);
}
