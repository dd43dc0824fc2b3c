#include "host/pool_worker.h"

#include "bytes/frame.h"
#include "host/os.h"
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
      const size_t n = ReadRequests(chunk, sizeof chunk);
      if (n == 0) return false;
      buffer.append(chunk, n);
    }
    return true;
  }
};

bool WriteAnswers(int fd, std::string* out) {
  if (WriteAll(fd, out->data(), out->size()) != 0) return false;
  out->clear();
  return true;
}

}  // namespace

bool WorkerMemoryNearLimit() {
  return g_worker_data_limit != 0 && WorkerPeakMemory() >= g_worker_data_limit / 4 * 3;
}

int RunWorker(const WorkerLimits& limits, const JobHandler& handler) {
  g_worker_data_limit = limits.data_bytes;
  WorkerStatus* status = nullptr;
  int answers = -1;
  if (!PrepareWorker(limits, &status, &answers)) return 1;

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
    if (flush && !WriteAnswers(answers, &out)) return 1;
    if (ending) return 0;
  }
  return WriteAnswers(answers, &out) ? 0 : 1;
}
