// A run that is killed, interrupted, out of room or second in line never
// leaves the card with a broken index: the card keeps the index it had or
// gets the whole new one, never a mix, and nothing of the run is left.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

#include "card_test.h"
#include "index/index_files.h"
#include "fault_util.h"

namespace {

namespace fs = std::filesystem;

// Whether no process of the process group |group| runs any more. A process
// that has ended but that nobody has waited for yet (its parent ended
// first) does not count.
bool GroupIsGone(pid_t group) {
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string stat = ReadProcessFile(static_cast<pid_t>(std::stol(name)), "stat");
    const size_t end_of_name = stat.rfind(')');
    if (end_of_name == std::string::npos) continue;  // ended meanwhile
    std::istringstream fields(stat.substr(end_of_name + 2));
    std::string state;
    long parent = 0, process_group = 0;
    fields >> state >> parent >> process_group;
    if (process_group == group && state != "Z") return false;
  }
  return true;
}

int ViewCheck(std::string* out) {
  const RunResult r = RunCommand({CARDPREP_VIEW_BINARY, "--check"});
  *out = r.out + r.err;
  return r.status;
}

class InterruptTest : public CardTest {
 protected:
  // |folders| folders of |per_folder| sounds each, under |top|.
  void AddSounds(const std::string& top, int folders, int per_folder) {
    for (int f = 0; f < folders; ++f) {
      for (int s = 0; s < per_folder; ++s) {
        Mp3(top + "/F" + std::to_string(f) + "/s" + std::to_string(s) + ".mp3");
      }
    }
  }
  // cardprep in the card, standard error to a file of the test's own.
  pid_t Start() { return StartCardprep(Err()); }
  std::string Err() const { return logs_.path() + "/stderr"; }
  // Indexes the card and says how long the run took.
  std::chrono::microseconds IndexCard() {
    const auto start = std::chrono::steady_clock::now();
    Run();
    return std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - start);
  }

  ScopedTempDir logs_{/*enter=*/false};
};

// Killed at moments spread over whole runs, a run leaves either the index
// the card had (byte for byte) or a complete new one that agrees with the
// card, never a mix of the two.
TEST_F(InterruptTest, AKilledRunLeavesTheOldIndexOrTheNewOne) {
  AddSounds("Old", 12, 30);
  const auto took = IndexCard();
  Index last = ReadIndex();
  AddSounds("New", 4, 30);  // the new index differs in every file
  int killed = 0, replaced = 0;
  constexpr int kKills = 30;
  for (int i = 0; i <= kKills; ++i) {
    SCOPED_TRACE(testing::Message() << "kill " << i);
    const pid_t pid = Start();
    std::this_thread::sleep_for(took * 3 / 2 * i / kKills);
    kill(pid, SIGKILL);
    killed += WaitFor(pid) == 128 + SIGKILL;
    kill(-pid, SIGKILL);  // its workers
    // A commit under way is finished by its own process; one cut before it
    // began is finished (undone) by the next run, before anything else.
    WaitUntilCardIsFree();
    if (fs::exists(".cardprep-commit")) FinishCutCommit();
    const Index now = ReadIndex();
    if (now == last) continue;
    std::string check;
    EXPECT_EQ(ViewCheck(&check), 0) << "neither the old index nor a whole new one:\n" << check;
    last = now;
    ++replaced;
  }
  EXPECT_GT(killed, 0) << "every run ended before it was killed";
  // The next whole run removes what the killed ones left.
  Run();
  EXPECT_EQ(AsideFiles(), std::vector<std::string>{});
  std::string check;
  EXPECT_EQ(ViewCheck(&check), 0) << check;
}

TEST_F(InterruptTest, StopSignalsLeaveTheOldIndexNoTemporaryFileAndNoWorker) {
  AddSounds("Music", 12, 30);
  const auto took = IndexCard();
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(sig));
    // The signal must land in the run: one that lands after the new index
    // is in place is tried again sooner, one before the program has begun
    // (nothing said, nothing changed) later; halving the span between.
    bool stopped = false;
    auto early = std::chrono::microseconds(0), late = took * 3 / 2;
    for (int attempt = 0; !stopped && attempt < 12; ++attempt) {
      const auto delay = (early + late) / 2;
      const Index old = ReadIndex();
      const pid_t pid = Start();
      std::this_thread::sleep_for(delay);
      kill(pid, sig);
      const int status = WaitFor(pid);
      // A worker killed by the run may still be tearing down its memory
      // (long under the sanitizers, on a busy machine): it has a while.
      bool worker_gone = GroupIsGone(pid);
      for (int i = 0; !worker_gone && i < 100; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        worker_gone = GroupIsGone(pid);
      }
      kill(-pid, SIGKILL);
      const std::string said = ReadText(Err());
      if (status == 0 || said.find("the new index was already in place") != std::string::npos ||
          said.find("summary: ") != std::string::npos) {
        late = delay;  // too late: the index was in place, or the run over
        continue;
      }
      EXPECT_EQ(status, 128 + sig);
      EXPECT_TRUE(ReadIndex() == old) << "the index changed";
      EXPECT_EQ(AsideFiles(), std::vector<std::string>{});
      if (said.empty()) {
        early = delay;  // too early: stopped before it had begun
        continue;
      }
      stopped = true;
      EXPECT_TRUE(worker_gone) << "a worker outlived the run";
      EXPECT_EQ(said, std::string("error: stopped by ") +
                          (sig == SIGINT ? "SIGINT" : sig == SIGTERM ? "SIGTERM" : "SIGHUP") +
                          ": the card's index was left as it was\n");
    }
    EXPECT_TRUE(stopped) << "every run ended before the signal";
  }
}

// A second run, started while a first one holds the card (paused there by
// the fault shim), stops at once and touches nothing.
TEST_F(InterruptTest, ASecondRunOnTheSameCardStopsAndTouchesNothing) {
  AddSounds("Music", 1, 3);
  Fault pause;
  pause.calls = "opendir";  // the first listing, once the card is held
  pause.stop = true;
  const pid_t first = StartCardprep(Err(), FaultEnv(pause));
  while (ProcessState(first) != 'T') {
    ASSERT_NE(ProcessState(first), 0) << ReadText(Err());
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  Run({}, 1);
  // The lock's holder is named, as the system lists it.
  EXPECT_EQ(Lines(run_.err, "\n")[0],
            "error: another cardprep run (process " + std::to_string(first) +
                ") is indexing this card; nothing was changed (run it again once that one "
                "has finished)");
  EXPECT_EQ(run_.out, "");
  for (const char* name : kIndexFileNames) EXPECT_FALSE(fs::exists(name)) << name;
  EXPECT_EQ(AsideFiles(), std::vector<std::string>{});
  kill(first, SIGCONT);
  EXPECT_EQ(WaitFor(first), 0) << ReadText(Err());
  EXPECT_TRUE(fs::exists("DIRLST16.DAT"));
}

// What a killed run left is named by the check and removed by the next run;
// files that only look alike are left alone.
TEST_F(InterruptTest, LeftoversOfAKilledRunAreNotedAndRemovedAndNothingElse) {
  AddSounds("Music", 1, 2);
  Run();
  // Files written aside, and an old file a commit had not removed yet.
  const std::vector<std::string> ours = {".SNDLST16.DAT.cardprep-4242", ".TAGINF16.TXT.cardprep-7",
                                         ".DIRLST16.DAT.cardprep-old-99"};
  const std::vector<std::string> others = {".SNDLST16.DAT.cardprep-x", "SNDLST16.DAT.cardprep-1",
                                           ".NOTES16.DAT.cardprep-5", ".SNDLST16.DAT.cardprep-",
                                           ".DIRLST16.DAT.cardprep-old-"};
  for (const std::string& name : ours) WriteText(name, "partial");
  for (const std::string& name : others) WriteText(name, "keep me");
  std::string check;
  EXPECT_EQ(ViewCheck(&check), 0) << check;
  for (const std::string& name : ours) {
    const char* what = name.find("-old-") == std::string::npos ? ": a temporary" : ": an old";
    EXPECT_NE(check.find("note: " + name + what), std::string::npos) << check;
  }
  for (const std::string& name : others) {
    EXPECT_EQ(check.find("note: " + name + ":"), std::string::npos) << check;
  }
  Run();
  for (const std::string& name : ours) EXPECT_FALSE(fs::exists(name)) << name;
  for (const std::string& name : others) EXPECT_EQ(ReadText(name), "keep me") << name;
}

// A card with too little room for the new index keeps the old one byte for
// byte. Needs a small file system of its own: a tmpfs in a mount namespace.
TEST_F(InterruptTest, AFullCardKeepsTheOldIndex) {
  std::string why;
  std::vector<std::string> unshare = InMountNamespace(&why);
  if (unshare.empty()) GTEST_SKIP() << why;
  AddSounds("Music", 2, 10);
  MakeDirs("small");
  const std::string script = std::string(R"(
set -e
mount -t tmpfs -o size=1m tmpfs small
cp -a _FONT Music small/
cd small
")") + CARDPREP_BINARY + R"(" >/dev/null 2>&1
md5sum DIRLST16.DAT SNDLST16.DAT RANDOM16.DAT MSGSTR16.DAT TAGINF16.TXT > ../sums
for i in $(seq 1 40); do cp Music/F0/s0.mp3 Music/F1/n$i.mp3; done
# Fill the rest but for 16 KiB: less than the new sound list needs.
dd if=/dev/zero of=filler bs=4k 2>/dev/null || true
truncate -s -16k filler
status=0
")" + CARDPREP_BINARY + R"(" >/dev/null 2>../err || status=$?
echo "status $status"
md5sum -c --quiet ../sums && echo "old index kept"
ls -a | grep -c cardprep- || true
)";
  unshare.insert(unshare.end(), {"sh", "-c", script});
  const RunResult r = RunCommand(unshare);
  EXPECT_EQ(r.out, "status 1\nold index kept\n0\n") << r.err << ReadText("err");
  EXPECT_NE(ReadText("err").find("error: cannot write SNDLST16.DAT: No space left on device"),
            std::string::npos)
      << ReadText("err");
  EXPECT_NE(ReadText("err").find("the card keeps its previous SNDLST16.DAT, TAGINF16.TXT, "
                                 "RANDOM16.DAT and DIRLST16.DAT"),
            std::string::npos)
      << ReadText("err");
}

}  // namespace
