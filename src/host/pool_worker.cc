#include "host/pool_worker.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>

#include "bytes/frame.h"
#include "host/system.h"
#include "host/worker_status.h"

namespace {

uint64_t g_worker_data_limit = 0;

// Requests come in through a buffer of the worker's own, so that it knows
// when more are waiting: answers are then held back and written together.
struct WorkerInput {
  std::string buffer;
  size_t at = 0;

  // Whether a whole request is buffered.
  bool HasRequest() const {
    uint64_t id;
    size_t body;
    uint32_t length;
    return WholeFrame(buffer, at, &id, &body, &length);
  }
  // Reads until a whole request is buffered; false at the end of the input.
  bool Fill() {
    while (!HasRequest()) {
      if (at > 0) {
        buffer.erase(0, at);
        at = 0;
      }
      char chunk[65536];
      const ssize_t n = read(0, chunk, sizeof chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      buffer.append(chunk, static_cast<size_t>(n));
    }
    return true;
  }
};

bool WriteAll(int fd, std::string* out) {
  size_t done = 0;
  while (done < out->size()) {
    const ssize_t n = write(fd, out->data() + done, out->size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  out->clear();
  return true;
}

}  // namespace

uint64_t WorkerPeakMemory() {
  rusage usage;
  if (getrusage(RUSAGE_SELF, &usage) != 0) return 0;
  return static_cast<uint64_t>(usage.ru_maxrss) * 1024;
}

bool WorkerMemoryNearLimit() {
  return g_worker_data_limit != 0 && WorkerPeakMemory() >= g_worker_data_limit / 4 * 3;
}

int RunWorker(const WorkerLimits& limits, const JobHandler& handler) {
  g_worker_data_limit = limits.data_bytes;
  rlimit no_core = {0, 0};
  setrlimit(RLIMIT_CORE, &no_core);
#if defined(__has_feature)
#if __has_feature(address_sanitizer) && !defined(__SANITIZE_ADDRESS__)
#define __SANITIZE_ADDRESS__ 1
#endif
#endif
#if !defined(__SANITIZE_ADDRESS__)
  // Sanitizers reserve vast private mappings of their own; the limit is for
  // the real program.
  rlimit data = {limits.data_bytes, limits.data_bytes};
  setrlimit(RLIMIT_DATA, &data);
#endif
  WorkerStatus* status = MapStatus(kStatusFd);
  close(kStatusFd);
  // Answers get a descriptor of their own, so that nothing a library might
  // print can mix with them.
  const int answers = dup(1);
  const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (status == nullptr || answers < 0 || null < 0) return 1;
  dup2(null, 1);
  close(null);

  WorkerInput in;
  std::string out;
  uint64_t jobs_done = 0;
  auto more_time = [status](uint32_t ms) { status->extra_ms.store(ms); };
  while (in.Fill()) {
    uint64_t id = 0;
    size_t body = 0;
    uint32_t length = 0;
    WholeFrame(in.buffer, in.at, &id, &body, &length);
    const std::string request = in.buffer.substr(body, length);
    in.at = body + length;
    status->extra_ms.store(0);
    status->job.store(id);
    status->started_ms.store(NowMs());
    status->busy.store(1);
    const std::string reply = handler(request, more_time);
    status->busy.store(0);
    AppendFrame(&out, id, reply);
    // Peak memory only grows: looking every few jobs is enough to end the
    // worker before the next job could run short.
    const bool ending = ++jobs_done % 8 == 0 && WorkerMemoryNearLimit();
    // Every eighth answer goes out even while requests wait, so that the
    // main process sends more before this worker runs out.
    const bool flush = !in.HasRequest() || ending || jobs_done % 8 == 0 || out.size() > 32768;
    if (flush && !WriteAll(answers, &out)) return 1;
    if (ending) return 0;
  }
  return WriteAll(answers, &out) ? 0 : 1;
}
