// What the process pool and its workers share: how messages are framed on
// the pipes between them, and the status page each worker keeps.
//
// Messages, all numbers little-endian:
//   to a worker:    id u64, length u32, request bytes
//   from a worker:  id u64, length u32, reply bytes
//
// The status page says which job the worker is on, since when and how much
// time it asked for beyond the base allowance. The main process reads it to
// time jobs, and to tell the job that made a worker crash from those whose
// answers it had not yet written.
#ifndef CARDPREP_HOST_POOL_PROTOCOL_H_
#define CARDPREP_HOST_POOL_PROTOCOL_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "host/byte_order.h"

constexpr size_t kFrameId = 0, kFrameLength = 8, kFrameHeaderSize = 12;
static_assert(kFrameLength + 4 == kFrameHeaderSize, "pool message layout");

inline void AppendFrame(std::string* out, uint64_t id, const std::string& body) {
  AppendLe64(out, id);
  AppendLe32(out, static_cast<uint32_t>(body.size()));
  *out += body;
}

// Whether |buffer| holds a whole message from |at| on; sets its id and the
// position and length of its body.
inline bool WholeFrame(const std::string& buffer, size_t at, uint64_t* id, size_t* body,
                       uint32_t* length) {
  if (buffer.size() - at < kFrameHeaderSize) return false;
  const uint8_t* header = Bytes(buffer.data() + at);
  *length = GetLe32(header + kFrameLength);
  if (buffer.size() - at - kFrameHeaderSize < *length) return false;
  *id = GetLe64(header + kFrameId);
  *body = at + kFrameHeaderSize;
  return true;
}

// A worker's status page; fd 3 of every worker.
struct WorkerStatus {
  std::atomic<uint32_t> busy;       // 1 while on a job
  std::atomic<uint32_t> extra_ms;   // time asked for beyond the base
  std::atomic<uint64_t> job;        // the job it is on
  std::atomic<int64_t> started_ms;  // monotonic clock when it began
};
static_assert(std::atomic<uint64_t>::is_always_lock_free, "the status page needs lock-free words");
static_assert(std::atomic<int64_t>::is_always_lock_free, "the status page needs lock-free words");
constexpr int kStatusFd = 3;

// Maps the status page open on |fd|; nullptr when it cannot be mapped.
WorkerStatus* MapStatus(int fd);
void UnmapStatus(WorkerStatus* status);

// The monotonic clock in milliseconds.
int64_t NowMs();

#endif  // CARDPREP_HOST_POOL_PROTOCOL_H_
