// The commit record on its bytes: one form only, written line by line as
// the format defines it; every first part of a record is a record cut
// short; anything else, however near, is no record. And the recovery of a
// commit in a folder of crafted files: only regular files are renamed
// into an index file's name, what is not the tool's is moved aside, and
// undoing removes only what the commit itself put in place.
#include "host/commit.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "host/platform.h"
#if CARDPREP_WINDOWS
#include <process.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "test_util.h"

namespace {

namespace fs = std::filesystem;

// This process's number, as the names it moves things aside to hold it.
std::string OwnPid() {
#if CARDPREP_WINDOWS
  return std::to_string(_getpid());
#else
  return std::to_string(getpid());
#endif
}

const std::vector<std::string> kNames = {"SNDLST16.DAT", "TAGINF16.TXT", "RANDOM16.DAT",
                                         "DIRLST16.DAT"};

// A whole record, as the format defines it.
const std::string kWhole =
    "cardprep commit record\n"
    "pid 4242\n"
    "SNDLST16.DAT replaces\n"
    "TAGINF16.TXT is new\n"
    "RANDOM16.DAT replaces\n"
    "DIRLST16.DAT replaces\n"
    "end\n";

TEST(CommitRecordTest, WritesTheRecordLineByLine) {
  CommitRecord record;
  record.pid = 4242;
  record.files = {{"SNDLST16.DAT", true},
                  {"TAGINF16.TXT", false},
                  {"RANDOM16.DAT", true},
                  {"DIRLST16.DAT", true}};
  EXPECT_EQ(EncodeCommitRecord(record), kWhole);
  record.pid = 4294967295u;
  record.files = {{"DIRLST16.DAT", false}};
  EXPECT_EQ(EncodeCommitRecord(record),
            "cardprep commit record\npid 4294967295\nDIRLST16.DAT is new\nend\n");
}

TEST(CommitRecordTest, ReadsAWholeRecordAsWritten) {
  CommitRecord record;
  std::string why;
  ASSERT_EQ(DecodeCommitRecord(kWhole, kNames, &record, &why), RecordForm::kWhole) << why;
  EXPECT_EQ(record.pid, 4242u);
  ASSERT_EQ(record.files.size(), 4u);
  EXPECT_EQ(record.files[1].name, "TAGINF16.TXT");
  EXPECT_FALSE(record.files[1].had);
  EXPECT_TRUE(record.files[3].had);
  EXPECT_EQ(EncodeCommitRecord(record), kWhole);
}

// A write cut short leaves the first bytes of a record, none at all too:
// every one of them is told from a record that is no record.
TEST(CommitRecordTest, TakesEveryFirstPartOfARecordAsCutShort) {
  for (size_t n = 0; n < kWhole.size(); ++n) {
    SCOPED_TRACE(n);
    CommitRecord record;
    std::string why;
    EXPECT_EQ(DecodeCommitRecord(kWhole.substr(0, n), kNames, &record, &why),
              RecordForm::kCutShort)
        << why;
    EXPECT_TRUE(record.files.empty());
  }
}

TEST(CommitRecordTest, RefusesWhatIsNotARecordWithItsReason) {
  struct Case {
    const char* what;
    std::string bytes;
    const char* why;
  } cases[] = {
      {"garbage", std::string("\xFF\xFB\x90\x00 an MP3 file", 16), "it does not begin as a record"},
      {"another program's", "cardprep commit log\npid 1\n", "it does not begin as a record"},
      {"junk after its end", kWhole + "x", "bytes follow its end"},
      {"zeros after its end", kWhole + std::string(100, '\0'), "bytes follow its end"},
      {"a second end", kWhole + "end\n", "bytes follow its end"},
      {"larger than any record", kWhole + std::string(300, ' '), "it is larger than any record"},
      {"lines ended CR LF", "cardprep commit record\r\npid 1\r\n", "it does not begin as a record"},
      {"process 0", "cardprep commit record\npid 0\n", "line 2 is no process number"},
      {"a leading zero", "cardprep commit record\npid 042\n", "line 2 is no process number"},
      {"beyond 32 bits", "cardprep commit record\npid 4294967296\n", "line 2 is no process number"},
      {"a sign", "cardprep commit record\npid -1\n", "line 2 is no process number"},
      {"no file", "cardprep commit record\npid 7\nend\n", "it names no file"},
      {"a file twice",
       "cardprep commit record\npid 7\nDIRLST16.DAT is new\nDIRLST16.DAT replaces\nend\n",
       "line 4 names a file a second time"},
      {"a song", "cardprep commit record\npid 7\nsong.mp3 replaces\nend\n",
       "line 3 names a file that is not one of the index"},
      {"a font", "cardprep commit record\npid 7\n_FONT/RIZOZ16I.DAZ replaces\nend\n",
       "line 3 names a file that is not one of the index"},
      {"a path up", "cardprep commit record\npid 7\n../DIRLST16.DAT replaces\nend\n",
       "line 3 names a file that is not one of the index"},
      {"an absolute path", "cardprep commit record\npid 7\n/etc/passwd replaces\nend\n",
       "line 3 names a file that is not one of the index"},
      {"a backslash path", "cardprep commit record\npid 7\n\\DIRLST16.DAT replaces\nend\n",
       "line 3 names a file that is not one of the index"},
      {"a NUL in a name",
       std::string("cardprep commit record\npid 7\nDIRLST16.DAT") + '\0' + "x replaces\nend\n",
       "line 3 names a file that is not one of the index"},
      {"a name cut by a line feed", "cardprep commit record\npid 7\nDIRLST\n16.DAT is new\nend\n",
       "line 3 is malformed"},
      {"neither replaces nor new", "cardprep commit record\npid 7\nDIRLST16.DAT stays\nend\n",
       "line 3 is malformed"},
      {"cut inside a name no file has", "cardprep commit record\npid 7\nDIRLST17", "line 3 is malformed"},
      {"cut after a name's line", "cardprep commit record\npid 7\nDIRLST16.DAT is new\nDIRLST16",
       "line 4 is malformed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CommitRecord record;
    record.pid = 1;
    std::string why;
    EXPECT_EQ(DecodeCommitRecord(c.bytes, kNames, &record, &why), RecordForm::kNotARecord);
    EXPECT_EQ(why, c.why);
    EXPECT_TRUE(record.files.empty());
  }
}

// Recovery in a folder of crafted files. Each file's bytes say which it
// is: "old X" for the index file the card had, "new X" for the commit's.
class RecoveryTest : public ::testing::Test {
 protected:
  void Record(const std::string& text) { WriteText(".cardprep-commit", text); }
  static std::string Old(const std::string& name) { return "old " + name; }
  static std::string New(const std::string& name) { return "new " + name; }
  static std::string Temp(const std::string& name) { return "." + name + ".cardprep-4242"; }
  static std::string Backup(const std::string& name) { return "." + name + ".cardprep-old-4242"; }
  static std::string Text(const std::string& path) {
    return fs::is_regular_file(path) ? ReadText(path) : "";
  }
  // The names in the folder, sorted.
  static std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(".")) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  ScopedTempDir dir_;
};

// A record that was cut short left by a run whose DIRLST16.DAT had been
// put in place while SNDLST16.DAT's new copy is gone (a fsck, say), and
// whose old was never set aside: recovery undoes, and the card keeps the
// old index, never the new DIRLST16.DAT beside the old SNDLST16.DAT.
TEST_F(RecoveryTest, UndoesWhereAReplacedFileWasNeverSetAside) {
  Record("cardprep commit record\npid 4242\nSNDLST16.DAT replaces\nDIRLST16.DAT replaces\nend\n");
  WriteText("SNDLST16.DAT", Old("SNDLST16.DAT"));  // its new copy lost, the old not moved
  WriteText("DIRLST16.DAT", Old("DIRLST16.DAT"));
  WriteText(Temp("DIRLST16.DAT"), New("DIRLST16.DAT"));
  const Recovery r = RecoverCommit(kNames);
  EXPECT_EQ(r.result, RecoveryResult::kUndone) << r.why;
  EXPECT_EQ(Text("SNDLST16.DAT"), Old("SNDLST16.DAT"));
  EXPECT_EQ(Text("DIRLST16.DAT"), Old("DIRLST16.DAT"));
  EXPECT_FALSE(fs::exists(".cardprep-commit"));
}

// Undoing removes a file the record calls new only when the commit shows
// it got past it: an old file set aside after it.
TEST_F(RecoveryTest, UndoingRemovesOnlyWhatTheCommitPutInPlace) {
  struct Case {
    const char* what;
    bool later_set_aside;  // DIRLST16.DAT's old file was set aside
    bool removed;          // TAGINF16.TXT is removed
  } cases[] = {
      {"nothing after it done: it may be the card's own", false, false},
      {"a later old file set aside: the commit put it there", true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const std::string& name : Names()) fs::remove_all(name);
    // DIRLST16.DAT's new copy is lost: the commit cannot be completed.
    Record("cardprep commit record\npid 4242\nTAGINF16.TXT is new\nDIRLST16.DAT replaces\nend\n");
    WriteText("TAGINF16.TXT", c.later_set_aside ? New("TAGINF16.TXT") : Old("TAGINF16.TXT"));
    WriteText(c.later_set_aside ? Backup("DIRLST16.DAT") : "DIRLST16.DAT", Old("DIRLST16.DAT"));
    const Recovery r = RecoverCommit(kNames);
    EXPECT_EQ(r.result, RecoveryResult::kUndone) << r.why;
    EXPECT_EQ(fs::exists("TAGINF16.TXT"), !c.removed);
    if (!c.removed) {
      EXPECT_EQ(Text("TAGINF16.TXT"), Old("TAGINF16.TXT"));
    }
    EXPECT_EQ(Text("DIRLST16.DAT"), Old("DIRLST16.DAT"));
    const std::vector<std::string> left =
        c.removed ? std::vector<std::string>{"DIRLST16.DAT"}
                  : std::vector<std::string>{"DIRLST16.DAT", "TAGINF16.TXT"};
    EXPECT_EQ(Names(), left);
  }
}

// What is not a regular file at a temporary or old name is moved aside,
// never renamed into an index file's name; what the record says is then
// done with the regular files there are.
TEST_F(RecoveryTest, RenamesOnlyRegularFilesIntoAnIndexFilesName) {
  struct Case {
    const char* what;
    std::string at;  // the name that holds it
    std::function<void(const std::string&)> make;
    const char* kind;
  } cases[] = {
      {"a folder at the temporary name", Temp("DIRLST16.DAT"),
       [](const std::string& p) { MakeDirs(p + "/Album"); }, "a folder"},
      {"a folder at the old name", Backup("DIRLST16.DAT"),
       [](const std::string& p) { MakeDirs(p + "/Album"); }, "a folder"},
#if !CARDPREP_WINDOWS  // no FAT card holds these; Wine shows Linux's links as their targets
      {"a link at the temporary name", Temp("DIRLST16.DAT"),
       [](const std::string& p) { fs::create_symlink("/etc/hostname", p); }, "a symbolic link"},
      {"a FIFO at the old name", Backup("DIRLST16.DAT"),
       [](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0644), 0); }, "a FIFO or socket"},
#endif
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const std::string& name : Names()) fs::remove_all(name);
    Record("cardprep commit record\npid 4242\nDIRLST16.DAT replaces\nend\n");
    WriteText("DIRLST16.DAT", Old("DIRLST16.DAT"));
    c.make(c.at);
    const Recovery r = RecoverCommit(kNames);
    EXPECT_EQ(r.result, RecoveryResult::kUndone) << r.why;
    ASSERT_EQ(r.moved.size(), 1u);
    EXPECT_EQ(r.moved[0].name, c.at);
    EXPECT_EQ(r.moved[0].what, c.kind);
    EXPECT_EQ(r.moved[0].moved_to, c.at + ".not-a-record-" + OwnPid());
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status("DIRLST16.DAT")));
    EXPECT_EQ(Text("DIRLST16.DAT"), Old("DIRLST16.DAT"));
    EXPECT_EQ(Names(), (std::vector<std::string>{r.moved[0].moved_to, "DIRLST16.DAT"}));
  }
}

// Moving aside never replaces what stands at the new name.
TEST_F(RecoveryTest, MovesAsideUnderANameNotTakenYet) {
  const std::string first = ".cardprep-commit.not-a-record-" + OwnPid();
  MakeDirs(first + "/Album");
  WriteText(first + "-2", "a song kept there");
  MakeDirs(".cardprep-commit");
  const Recovery r = RecoverCommit(kNames);
  EXPECT_EQ(r.result, RecoveryResult::kNothing) << r.why;
  ASSERT_EQ(r.moved.size(), 1u);
  EXPECT_EQ(r.moved[0].moved_to, first + "-3");
  EXPECT_TRUE(fs::is_directory(first + "/Album"));
  EXPECT_EQ(ReadText(first + "-2"), "a song kept there");
  EXPECT_TRUE(fs::is_directory(first + "-3"));
}

}  // namespace
