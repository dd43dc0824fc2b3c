// The test program's entry point. The title reader and the process pool start
// workers as fresh copies of the running program, so the test program also
// serves as a worker: as a title worker, and as a test worker whose jobs
// misbehave on request.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <unistd.h>
#include <vector>

#include "host/pool_worker.h"
#include "text/cp932.h"
#include "titles/title_worker.h"

namespace {

// Jobs of the test worker: "echo:TEXT" answers TEXT, "pid" its process id,
// "sleep:MS" sleeps,
// "crash" dies of a signal, "exit" ends the process, "eat:MIB" fills that
// much memory, "peak" answers the most memory the worker has held (bytes),
// "big:MIB" asks for an extra allowance of MIB seconds first.
std::string TestJob(const std::string& request, const std::function<void(uint32_t)>& more_time) {
  auto arg = [&](const char* verb) {
    return request.compare(0, strlen(verb), verb) == 0 ? request.substr(strlen(verb)) : "";
  };
  if (request.rfind("echo:", 0) == 0) return arg("echo:");
  if (request.rfind("sleep:", 0) == 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(atoi(arg("sleep:").c_str())));
    return "slept";
  }
  if (request.rfind("big:", 0) == 0) {
    const int seconds = atoi(arg("big:").c_str());
    more_time(static_cast<uint32_t>(seconds) * 1000);
    std::this_thread::sleep_for(std::chrono::milliseconds(seconds * 500));
    return "big done";
  }
  if (request == "pid") return std::to_string(getpid());
  if (request == "peak") return std::to_string(WorkerPeakMemory());
  if (request == "crash") abort();
  if (request == "exit") exit(3);
  if (request.rfind("eat:", 0) == 0) {
    std::vector<char> memory(static_cast<size_t>(atoi(arg("eat:").c_str())) << 20, 1);
    // Read back through a volatile pointer, so that no optimizer leaves the
    // memory out: every page is touched and counted.
    const volatile char* pages = memory.data();
    size_t touched = 0;
    for (size_t at = 0; at < memory.size(); at += 4096) touched += static_cast<size_t>(pages[at]);
    return std::to_string(touched * 4096 == memory.size() ? memory.size() : touched);
  }
  return "unknown";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && strcmp(argv[1], kTitleWorkerFlag) == 0) return RunTitleWorker();
  if (argc == 2 && strcmp(argv[1], "--test-worker") == 0) {
    WorkerLimits limits;
    // Room beside what the test program itself holds (it links every
    // library the programs do, FFmpeg's among them).
    limits.data_bytes = 128ull << 20;
    return RunWorker(limits, TestJob);
  }
  testing::InitGoogleTest(&argc, argv);
  OpenCp932();
  return RUN_ALL_TESTS();
}
