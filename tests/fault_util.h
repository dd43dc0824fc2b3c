// Faults injected into the real programs through the test's fault shim
// (support/fault_shim.c), runs started in the background, and the index a
// card holds, to compare before and after.
#ifndef CARDPREP_TESTS_FAULT_UTIL_H_
#define CARDPREP_TESTS_FAULT_UTIL_H_

#include <sys/types.h>

#include <cerrno>
#include <map>
#include <string>
#include <vector>

#include "e2e_util.h"

struct Fault {
  std::string calls;      // the kinds of call: "rename", "read,pread", "all"
  std::string path;       // only calls whose path holds this
  std::string nth = "1";  // the K-th such call ("K"), or that and every later one ("K+")
  int error = EIO;        // what the call fails with
  bool stop = false;      // the process stops itself there instead (SIGSTOP)
  std::string counter;    // a file counting for every process of the run
};

// A fault of |calls| on paths holding |path|, at the |nth| call.
Fault MakeFault(const std::string& calls, const std::string& path = "",
                const std::string& nth = "1", int error = EIO);
// The environment that loads the shim with |fault|.
std::vector<std::string> FaultEnv(const Fault& fault);
// Runs cardprep with |args| in the working folder, |fault| injected.
RunResult RunCardprepWith(const Fault& fault, const std::vector<std::string>& args = {});
// A file for Fault::counter, at 0.
void ResetCounter(const std::string& path);

// Starts |argv| in the working folder in a process group of its own (its
// workers join it), standard output to /dev/null and standard error to
// |err_path|, with |env| added.
pid_t StartProgram(const std::vector<std::string>& argv, const std::string& err_path,
                   const std::vector<std::string>& env = {});
// The same for cardprep with |args|.
pid_t StartCardprep(const std::string& err_path, const std::vector<std::string>& env = {},
                    const std::vector<std::string>& args = {});
// The exit status, or 128 + the signal that ended it.
int WaitFor(pid_t pid);
// The text of /proc/PID/|what|; empty when process |pid| is gone, even
// while it was being read (the read then fails with ESRCH, which the
// standard streams throw for).
std::string ReadProcessFile(pid_t pid, const char* what);
// The state of process |pid| ('R', 'S', 'T' stopped, 'Z'...), or 0 when it
// is gone; its parent in |*parent|.
char ProcessState(pid_t pid, pid_t* parent = nullptr);
// Waits until a process whose parent is |parent| is stopped; returns it, or
// -1 when |parent| ended first.
pid_t WaitForStoppedChild(pid_t parent);

// Waits until no process holds the lock on the card in the working folder:
// a run's renaming child finishes the commit after the run is killed.
void WaitUntilCardIsFree();
// Runs cardprep only to finish what a commit cut short left on the card: its
// first listing of the card fails, so it stops after that, writing nothing.
RunResult FinishCutCommit();

// The five files of the index in the working folder (empty when missing).
using Index = std::map<std::string, std::vector<uint8_t>>;
Index ReadIndex();
// Whether |now| is |want| but for what every run changes: the time of
// writing in DIRLST16.DAT and the shuffled order of RANDOM16.DAT. |*why|
// names the first file that differs.
bool SameIndex(const Index& now, const Index& want, std::string* why);

#endif  // CARDPREP_TESTS_FAULT_UTIL_H_
