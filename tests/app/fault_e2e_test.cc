// Faults of the card and the system injected into the real binary (the fault
// shim): a read error, an entry or a folder the card fails to deliver, fonts
// and a converter that cannot be had, renames and syncs that fail, a card
// pulled at any moment, too few file descriptors or too little memory. After
// each, the card holds the index it had or the whole new one, every loss is
// said, and the exit status is 1 exactly when an error was.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include "card_test.h"
#include "fault_util.h"

namespace {

namespace fs = std::filesystem;

const char kRecord[] = ".cardprep-commit";

class FaultTest : public CardTest {
 protected:
  // A card indexed once (|old_|), then given more music, whose whole new
  // index is |new_|, made on a copy of the card.
  void MakeCards() {
    Mp3("Old/a.mp3", "Alpha");
    Mp3("Old/b.mp3", "Beta");
    Mp3("r.mp3", "Root");
    Run();
    old_ = ReadIndex();
    Mp3("New/c.mp3", "Gamma");
    Mp3("New/Deep/d.mp3", "Delta");
    ScopedTempDir copy(false);
    fs::copy(".", copy.path(), fs::copy_options::recursive);
    fs::current_path(copy.path());
    Run();
    new_ = ReadIndex();
    fs::current_path(dir_.path());
  }
  void ExpectIndex(const Index& want, const std::string& what) {
    std::string why;
    EXPECT_TRUE(SameIndex(ReadIndex(), want, &why)) << what << ": " << why << " differs";
  }
  // Exit status 1 exactly when an error line was printed.
  static void ExpectStatusMatches(const RunResult& r) {
    EXPECT_EQ(r.status, Has(r.err, "error: ") ? 1 : 0) << r.err;
  }

  Index old_, new_;
};

TEST_F(FaultTest, AReadErrorOnAnMp3IsSaidAndCostsOnlyItsTitle) {
  Mp3("a.mp3", "Alpha");
  Mp3("b.mp3", "Beta");
  struct Case {
    const char* calls;
    const char* said;
  } cases[] = {
      {"pread", "warning: cannot read b.mp3: a read failed: Input/output error; listed without "
                "a title"},
      {"open", "warning: cannot read b.mp3: Input/output error; listed without a title"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.calls);
    const RunResult r = RunCardprepWith(MakeFault(c.calls, "b.mp3", "1+"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.err, c.said)) << r.err;
    EXPECT_EQ(Lines(ReadText("TAGINF16.TXT"), "\r\n"),
              (std::vector<std::string>{"[" + Padded("a.mp3") + "][" + Padded("Alpha") + "]",
                                        "[" + Padded("b.mp3") + "]"}));
  }
}

TEST_F(FaultTest, AnEntryWhoseTypeCannotBeReadIsSaid) {
  Mp3("a.mp3");
  fs::create_symlink("a.mp3", "link.mp3");  // its type is asked for
  const RunResult r = RunCardprepWith(MakeFault("stat", "link.mp3", "1+"));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Has(r.err, "warning: skipping link.mp3: what it is cannot be read: Input/output "
                         "error; check the card (fsck.fat) and run cardprep again\n"))
      << r.err;
  EXPECT_TRUE(Has(r.err, "skipped: entries that cannot be read: 1")) << r.err;
}

// A folder the card fails to deliver would cost the index what it holds; one
// that may not be read is the owner's wish.
TEST_F(FaultTest, AFolderTheCardCannotDeliverKeepsTheOldIndex) {
  MakeCards();
  struct Case {
    const char* calls;
    int error;
    const char* said;
    bool replaced;
  } cases[] = {
      {"opendir", EIO, "error: cannot read folder New: Input/output error; nothing in it is indexed",
       false},
      {"readdir", EIO, "error: cannot read all of folder New: Input/output error", false},
      {"opendir", EACCES, "warning: cannot read folder New: Permission denied", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.calls) + " " + strerror(c.error));
    const RunResult r = RunCardprepWith(MakeFault(c.calls, "=./New", "1", c.error));
    ExpectStatusMatches(r);
    EXPECT_TRUE(Has(r.err, c.said)) << r.err;
    if (c.replaced) continue;
    EXPECT_TRUE(Has(r.err, "error: the index was not replaced, since folder New could not be "
                           "read"))
        << r.err;
    ExpectIndex(old_, "the old index");
  }
  // With no index on the card, the run writes what it can.
  for (const char* name : {"DIRLST16.DAT", "SNDLST16.DAT", "RANDOM16.DAT", "TAGINF16.TXT"}) {
    fs::remove(name);
  }
  EXPECT_EQ(RunCardprepWith(MakeFault("opendir", "=./New")).status, 1);
  EXPECT_TRUE(fs::exists("DIRLST16.DAT"));
}

TEST_F(FaultTest, FontsOrAConverterThatCannotBeHadKeepTheOldIndex) {
  MakeCards();
  struct Case {
    Fault fault;
    std::vector<std::string> said;
    std::vector<std::string> args;
  } cases[] = {
      {MakeFault("read", "RIZOZ16I", "1+"),
       {"error: the card's fonts cannot be used (_FONT\\RIZOZ16I.DAZ cannot be read "
        "(Input/output error)): nothing was written",
        "summary: not indexed: the card keeps its previous index (a font of the card cannot be "
        "used); 1 error\n"},
       {}},
      {MakeFault("iconv_open", "", "1+", EMFILE),
       {"error: cannot open the converter from UTF-16LE to CP932: Too many open files; reinstall "
        "the C library's converters (sudo apt-get install --reinstall libc6)\n",
        "error: the index was not replaced, since the converter from ",
        " could not be opened: the card keeps its previous SNDLST16.DAT, TAGINF16.TXT, "
        "RANDOM16.DAT and DIRLST16.DAT; run cardprep again once the error above is mended\n"},
       {}},
      // The first converter opened: the one of the code page asked for.
      {MakeFault("iconv_open", "", "1", EMFILE),
       {"error: --tag-charset EUC-KR: cannot open the converter from CP949 (Too many open "
        "files): titles stay as stored; reinstall the C library's converters (sudo apt-get "
        "install --reinstall libc6)\n",
        "error: the index was not replaced, since the converter from CP949 could not be "
        "opened: the card keeps its previous"},
       {"--tag-charset", "cp949"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault.calls);
    const RunResult r = RunCardprepWith(c.fault, c.args);
    EXPECT_EQ(r.status, 1);
    for (const std::string& line : c.said) EXPECT_TRUE(Has(r.err, line)) << line << r.err;
    ExpectIndex(old_, "the old index");
    EXPECT_EQ(AsideFiles(), std::vector<std::string>{});
  }
}

// Every rename of the commit failing in turn: the renames made are undone.
// The messages go first, alone.
TEST_F(FaultTest, ARenameThatFailsAtAnyStepOfTheCommitIsUndone) {
  MakeCards();
  Index old_music = old_;
  old_music.erase("MSGSTR16.DAT");
  for (int step = 1; step <= 10; ++step) {
    SCOPED_TRACE("rename " + std::to_string(step));
    const RunResult r = RunCardprepWith(MakeFault("rename", "", std::to_string(step)));
    ExpectStatusMatches(r);
    if (step == 1) {
      EXPECT_TRUE(Has(r.err, "error: cannot write MSGSTR16.DAT: Input/output error; check the "
                             "card (fsck.fat) and run cardprep again\n"))
          << r.err;
      ExpectIndex(new_, "the new index");
    } else if (step <= 9) {
      EXPECT_EQ(r.status, 1);
      EXPECT_TRUE(Has(r.err, " in place: Input/output error; the renames made were undone: the "
                             "card keeps its previous SNDLST16.DAT, TAGINF16.TXT, RANDOM16.DAT "
                             "and DIRLST16.DAT; check the card (fsck.fat) and run cardprep "
                             "again\n"))
          << r.err;
      ExpectIndex(old_music, "the old index");
    } else {
      EXPECT_EQ(r.status, 0) << r.err;
      ExpectIndex(new_, "the new index");
    }
    EXPECT_EQ(AsideFiles(), std::vector<std::string>{});
    for (const auto& [name, bytes] : old_) WriteBytes(name, bytes);
  }
}

TEST_F(FaultTest, AFailedSyncIsAnError) {
  MakeCards();
  struct Case {
    Fault fault;
    const char* said;
    bool replaced;
  } cases[] = {
      {MakeFault("fsync", "SNDLST16.DAT.cardprep-"),
       "error: cannot write SNDLST16.DAT: Input/output error; check the card (fsck.fat) and run "
       "cardprep again\n",
       false},
      // The commit's record, which must be on the card before any rename.
      {MakeFault("fsync", ".cardprep-commit"),
       "error: cannot write the record of the commit, .cardprep-commit: Input/output error; the "
       "index was not replaced: the card keeps its previous",
       false},
      // The card's folder, before the renames and after them.
      {MakeFault("fsync", "=."),
       "error: cannot write the record of the commit, .cardprep-commit: Input/output error; the "
       "index was not replaced: the card keeps its previous",
       false},
      {MakeFault("fsync", "=.", "2+"),
       "error: cannot force the card's folder to the card (Input/output error): the new index "
       "is in place, but if the card is pulled now it may not hold it",
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.said);
    const RunResult r = RunCardprepWith(c.fault);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, c.said)) << r.err;
    ExpectIndex(c.replaced ? new_ : old_, c.replaced ? "the new index" : "the old index");
    Run();  // finishes what the record still says
    EXPECT_EQ(AsideFiles(), std::vector<std::string>{});
    for (const auto& [name, bytes] : old_) WriteBytes(name, bytes);
  }
}

// After a run that met a fault, and after the next run's recovery where a
// commit was cut: the card holds |old| or |now|, and a run that kept the old
// index said so.
class SweepTest : public FaultTest {
 protected:
  void Check(const RunResult& r, const std::string& what) {
    SCOPED_TRACE(what);
    ExpectStatusMatches(r);
    EXPECT_FALSE(Has(r.err, "terminate called")) << r.err;
    if (fs::exists(kRecord)) {
      const RunResult view = RunView({"--check"});
      EXPECT_EQ(view.status, 1);
      // A whole record (a commit under way) or one cut short as it was
      // written (no rename begun), each said as such.
      EXPECT_TRUE(Has(view.out + view.err, "cut short")) << view.out << view.err;
      const RunResult next = FinishCutCommit();
      EXPECT_TRUE(Has(next.err, "an earlier run was cut short")) << next.err;
      EXPECT_FALSE(fs::exists(kRecord));
    }
    std::string why_old, why_new;
    const Index now = ReadIndex();
    const bool is_old = SameIndex(now, old_, &why_old);
    const bool is_new = SameIndex(now, new_, &why_new);
    EXPECT_TRUE(is_old || is_new) << "a mix: " << why_old << " and " << why_new << "\n" << r.err;
    if (!is_new) {
      EXPECT_TRUE(Has(r.err, "error: ")) << "the old index was kept without a word:\n" << r.err;
    }
    for (const auto& [name, bytes] : old_) WriteBytes(name, bytes);
    for (const std::string& name : AsideFiles()) fs::remove(name);
  }
};

// A card that fails every call from the N-th on, as one pulled out of the
// reader (EIO) or remounted read-only (EROFS on what writes), N swept through
// the whole run: a stride through the scan, every call of the end.
TEST_F(SweepTest, ACardPulledAtAnyMomentLeavesTheOldIndexOrTheNewOne) {
  MakeCards();
  ScopedTempDir scratch(false);
  Fault count;
  count.calls = "all";
  count.counter = scratch.path() + "/counter";
  count.nth = "1000000";
  ResetCounter(count.counter);
  ASSERT_EQ(RunCardprepWith(count).status, 0);
  const std::vector<uint8_t> counted = ReadBytes(count.counter);
  uint64_t total = 0;
  for (int i = 7; i >= 0; --i) total = total << 8 | counted[size_t(i)];
  ASSERT_GT(total, 40u);
  for (const auto& [name, bytes] : old_) WriteBytes(name, bytes);

  for (const bool read_only : {false, true}) {
    for (uint64_t n = 1; n <= total + 1; n += n + 45 < total ? 7 : 1) {
      if (read_only && n + 45 < total) continue;  // only what writes counts
      Fault pulled = count;
      pulled.calls = read_only ? "create,write,fsync,rename,unlink" : "all";
      pulled.error = read_only ? EROFS : EIO;
      pulled.nth = std::to_string(n) + "+";
      ResetCounter(pulled.counter);
      Check(RunCardprepWith(pulled), (read_only ? "read-only from call " : "pulled at call ") +
                                         std::to_string(n) + " of " + std::to_string(total));
    }
  }
}

// Too few file descriptors, or too little memory: the run says so and keeps
// the old index, or writes the whole new one; it never ends in an abort.
TEST_F(SweepTest, TooFewFilesOrTooLittleMemory) {
  MakeCards();
  // Below some limit the program cannot even be loaded (the loader says so,
  // status 127), and nothing changes.
  auto limited = [&](const std::string& limit) {
    const RunResult r =
        RunCommand({"sh", "-c", "ulimit " + limit + " && exec \"$0\"", CARDPREP_BINARY});
    const bool loaded = !(r.status == 127 && !Has(r.err, "error: "));
    if (loaded) {
      Check(r, "ulimit " + limit);
    } else {
      ExpectIndex(old_, "the old index");
    }
    return loaded;
  };
  for (int files = 4; files <= 24; ++files) limited("-n " + std::to_string(files));
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the memory sweep needs a build without AddressSanitizer, whose shadow memory "
                  "no address space limit admits";
#else
  // The sweep starts where the program can be loaded: just above, memory
  // runs out at every stage of a run in turn.
  auto run_with = [&](int kib) { return limited("-v " + std::to_string(kib)); };
  int not_loaded = 8 << 10, loaded = 1 << 20;
  ASSERT_TRUE(run_with(loaded));
  while (loaded - not_loaded > 64) {
    const int middle = (loaded + not_loaded) / 2;
    (run_with(middle) ? loaded : not_loaded) = middle;
  }
  for (int kib = loaded; kib < loaded + (12 << 10); kib += 128) run_with(kib);
#endif
}

// A signal that reaches the run while its commit is under way (paused at a
// chosen rename) waits for the commit, which puts the whole new index in
// place.
TEST_F(FaultTest, ASignalDuringTheCommitWaitsForIt) {
  MakeCards();
  ScopedTempDir logs(false);
  for (const int step : {2, 5, 9}) {
    SCOPED_TRACE("paused at rename " + std::to_string(step));
    Fault pause;
    pause.calls = "rename";
    pause.nth = std::to_string(step);
    pause.stop = true;
    const pid_t run = StartCardprep(logs.path() + "/err", FaultEnv(pause));
    const pid_t renamer = WaitForStoppedChild(run);
    ASSERT_GT(renamer, 0) << ReadText(logs.path() + "/err");
    kill(run, SIGINT);
    // Held back by the run, or taken at once: either is seen before the
    // renamer goes on.
    for (;;) {
      const std::string status = ReadProcessFile(run, "status");
      const size_t pending = status.find("ShdPnd:\t");
      if (ProcessState(run) == 'Z' || ProcessState(run) == 0 ||
          (pending != std::string::npos &&
           (std::stoull(status.substr(pending + 8, 16), nullptr, 16) & (1u << (SIGINT - 1))))) {
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    kill(renamer, SIGCONT);
    EXPECT_EQ(WaitFor(run), 128 + SIGINT);
    EXPECT_TRUE(Has(ReadText(logs.path() + "/err"),
                    "error: stopped by SIGINT: the new index was already in place\n"))
        << ReadText(logs.path() + "/err");
    ExpectIndex(new_, "the new index");
    EXPECT_EQ(AsideFiles(), std::vector<std::string>{});
    for (const auto& [name, bytes] : old_) WriteBytes(name, bytes);
  }
}

// The process that renames, killed at a chosen rename, cannot say how far
// it came: the run looks at the card, finishes the commit, and says so.
TEST_F(FaultTest, ARenamerKilledMidwayIsFinishedByTheRun) {
  MakeCards();
  ScopedTempDir logs(false);
  for (const int step : {2, 6}) {
    SCOPED_TRACE("killed at rename " + std::to_string(step));
    // Counted across processes, so that the run's own renames after it
    // (finishing the commit) do not stop too.
    Fault pause = MakeFault("rename", "", std::to_string(step));
    pause.stop = true;
    pause.counter = logs.path() + "/counter";
    ResetCounter(pause.counter);
    const pid_t run = StartCardprep(logs.path() + "/err", FaultEnv(pause));
    const pid_t renamer = WaitForStoppedChild(run);
    ASSERT_GT(renamer, 0) << ReadText(logs.path() + "/err");
    kill(renamer, SIGKILL);
    EXPECT_EQ(WaitFor(run), 0) << ReadText(logs.path() + "/err");
    EXPECT_TRUE(Has(ReadText(logs.path() + "/err"),
                    "warning: the new index is in place (the process that renamed them ended "
                    "without its report: it was ended by signal 9"))
        << ReadText(logs.path() + "/err");
    ExpectIndex(new_, "the new index");
    EXPECT_EQ(AsideFiles(), std::vector<std::string>{});
    for (const auto& [name, bytes] : old_) WriteBytes(name, bytes);
  }
}

}  // namespace
