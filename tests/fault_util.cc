#include "fault_util.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

#include "index/index_files.h"
#include "test_util.h"

namespace fs = std::filesystem;

Fault MakeFault(const std::string& calls, const std::string& path, const std::string& nth,
                int error) {
  Fault fault;
  fault.calls = calls;
  fault.path = path;
  fault.nth = nth;
  fault.error = error;
  return fault;
}

std::vector<std::string> FaultEnv(const Fault& fault) {
  const char* asan = getenv("ASAN_OPTIONS");
  std::vector<std::string> env = {
      std::string("LD_PRELOAD=") + CARDPREP_FAULT_SHIM,
      // The shim comes before the sanitizer's runtime in the programs it is
      // loaded into.
      std::string("ASAN_OPTIONS=") + (asan ? std::string(asan) + ":" : "") +
          "verify_asan_link_order=0",
      "CARDPREP_FAULT_CALLS=" + fault.calls,
      "CARDPREP_FAULT_NTH=" + fault.nth,
      "CARDPREP_FAULT_ERRNO=" + std::to_string(fault.error)};
  if (!fault.path.empty()) env.push_back("CARDPREP_FAULT_PATH=" + fault.path);
  if (fault.stop) env.push_back("CARDPREP_FAULT_STOP=1");
  if (!fault.counter.empty()) env.push_back("CARDPREP_FAULT_COUNTER=" + fault.counter);
  return env;
}

RunResult RunCardprepWith(const Fault& fault, const std::vector<std::string>& args) {
  std::vector<std::string> argv = {CARDPREP_BINARY};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunWithEnv(argv, FaultEnv(fault));
}

void ResetCounter(const std::string& path) { WriteBytes(path, std::vector<uint8_t>(8, 0)); }

pid_t StartProgram(const std::vector<std::string>& argv, const std::string& err_path,
                   const std::vector<std::string>& env) {
  const pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    const int null = open("/dev/null", O_WRONLY);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(null, 1);
    dup2(err, 2);
    for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  setpgid(pid, pid);  // whichever of the two runs first
  return pid;
}

pid_t StartCardprep(const std::string& err_path, const std::vector<std::string>& env,
                    const std::vector<std::string>& args) {
  std::vector<std::string> argv = {CARDPREP_BINARY};
  argv.insert(argv.end(), args.begin(), args.end());
  return StartProgram(argv, err_path, env);
}

int WaitFor(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string ReadProcessFile(pid_t pid, const char* what) {
  const std::string path = "/proc/" + std::to_string(pid) + "/" + what;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return "";
  std::string text;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, size_t(n));
  close(fd);
  return n < 0 ? "" : text;
}

char ProcessState(pid_t pid, pid_t* parent) {
  const std::string stat = ReadProcessFile(pid, "stat");
  const size_t end_of_name = stat.rfind(')');
  if (end_of_name == std::string::npos) return 0;
  std::istringstream fields(stat.substr(end_of_name + 2));
  char state = 0;
  long ppid = 0;
  fields >> state >> ppid;
  if (parent != nullptr) *parent = static_cast<pid_t>(ppid);
  return state;
}

pid_t WaitForStoppedChild(pid_t parent) {
  for (;;) {
    for (const auto& entry : fs::directory_iterator("/proc")) {
      const std::string name = entry.path().filename().string();
      if (name.find_first_not_of("0123456789") != std::string::npos) continue;
      const pid_t pid = static_cast<pid_t>(std::stol(name));
      pid_t ppid = 0;
      if (ProcessState(pid, &ppid) == 'T' && ppid == parent) return pid;
    }
    const char state = ProcessState(parent);
    if (state == 0 || state == 'Z') return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

void WaitUntilCardIsFree() {
  const int folder = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  while (flock(folder, LOCK_EX | LOCK_NB) != 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  close(folder);
}

RunResult FinishCutCommit() { return RunCardprepWith(MakeFault("opendir", "", "1+")); }

Index ReadIndex() {
  Index index;
  for (const char* name : kIndexFileNames) {
    index[name] = fs::exists(name) ? ReadBytes(name) : std::vector<uint8_t>{};
  }
  return index;
}

bool SameIndex(const Index& now, const Index& want, std::string* why) {
  for (const auto& [name, bytes] : want) {
    std::vector<uint8_t> a = now.at(name), b = bytes;
    if (name == "DIRLST16.DAT" && a.size() >= 18 && b.size() >= 18) {
      std::fill(a.begin() + 4, a.begin() + 18, 0);  // the time of writing
      std::fill(b.begin() + 4, b.begin() + 18, 0);
    }
    if (name == "RANDOM16.DAT") {
      // Entries of 4 bytes, shuffled: compared as a set.
      auto entries = [](const std::vector<uint8_t>& f) {
        std::vector<std::vector<uint8_t>> e;
        for (size_t at = 0; at + 4 <= f.size(); at += 4) e.emplace_back(f.begin() + long(at), f.begin() + long(at) + 4);
        std::sort(e.begin(), e.end());
        return e;
      };
      if (a.size() != b.size() || entries(a) != entries(b)) {
        *why = name;
        return false;
      }
      continue;
    }
    if (a != b) {
      *why = name;
      return false;
    }
  }
  return true;
}
