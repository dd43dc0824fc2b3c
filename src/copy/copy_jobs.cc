#include "copy/copy_jobs.h"

#include <chrono>

namespace {

// Enough for FFmpeg's decoders and LAME's analysis, which keep sizeable
// arrays on the stack.
constexpr size_t kThreadStack = 8 << 20;
constexpr size_t kCopyBuffer = 1 << 20;

// Copies an MP3 file byte for byte into |job->out|.
void CopyAsIs(CopyJob* job, const std::atomic<bool>* cancel) {
  TranscodeResult* result = &job->result;
  const SourceFile& source = *job->planned->source;
  UniqueFd fd;
  uint64_t size = 0;
  std::string why;
  if (!OpenRegularFile(source.host_path, &fd, &size, &why)) {
    result->failure = TranscodeFailure::kSource;
    result->why = why;
    return;
  }
  std::vector<char> buffer(kCopyBuffer);
  uint64_t copied = 0;
  for (;;) {
    if (cancel->load()) {
      result->failure = TranscodeFailure::kCancelled;
      return;
    }
    int error = 0;
    const size_t got = ReadFully(fd.get(), buffer.data(), buffer.size(), &error);
    if (error != 0) {
      result->failure = TranscodeFailure::kSource;
      result->why = ErrorText(error);
      return;
    }
    WriteBytes(&job->out, buffer.data(), got);
    if (job->out.failed) {
      result->failure = TranscodeFailure::kOutput;
      result->output_error = job->out.error;
      result->why = ErrorText(job->out.error);
      return;
    }
    copied += got;
    job->progress.source_bytes.store(copied);
    if (got < buffer.size()) break;
  }
  if (copied != source.stamp.size) {
    result->failure = TranscodeFailure::kSource;
    result->why = "it changed while it was copied";
  }
}

void Work(void* context) {
  JobPool* pool = static_cast<JobPool*>(context);
  for (;;) {
    if (pool->cancel.load()) return;
    const size_t index = pool->next.fetch_add(1);
    if (index >= pool->jobs->size()) return;
    RunJob(&(*pool->jobs)[index], &pool->cancel);
    std::lock_guard<std::mutex> lock(pool->mutex);
    pool->finished.push_back(index);
    pool->handed_back.notify_one();
  }
}

}  // namespace

void RunJob(CopyJob* job, const std::atomic<bool>* cancel) {
  TranscodeResult* result = &job->result;
  std::string why;
  if (!OpenAside(job->target, job->shown, &job->out, &why)) {
    result->failure = TranscodeFailure::kOutput;
    result->output_error = job->out.error;
    result->why = why;
    return;
  }
  job->out.quiet_failure = true;
  if (job->planned->source->kind == CopyKind::kEncoded) {
    TranscodeRequest request;
    request.source = job->planned->source->host_path;
    request.shown = job->planned->source->shown;
    request.quality = job->quality;
    request.origin = EncodeOrigin(job->planned->origin);
    request.progress = &job->progress;
    request.cancel = cancel;
    (void)TranscodeToMp3(request, &job->out, result);
  } else {
    CopyAsIs(job, cancel);
  }
  if (result->failure == TranscodeFailure::kNone && !FinishAside(&job->out)) {
    result->failure = TranscodeFailure::kOutput;
    result->output_error = job->out.error;
    result->why = ErrorText(job->out.error);
  }
  job->ok = result->failure == TranscodeFailure::kNone;
  if (!job->ok) {
    DiscardAside(&job->out);
    job->out = OutFile();  // closed: Windows removes an open file once it is closed
  }
}

void StartJobs(std::vector<CopyJob>* jobs, int threads, JobPool* pool) {
  pool->jobs = jobs;
  for (int i = 0; i < threads && static_cast<size_t>(i) < jobs->size(); ++i) {
    HostThread thread;
    if (!StartHostThread(Work, pool, &thread, kThreadStack)) break;
    pool->threads.push_back(thread);
  }
}

std::vector<size_t> TakeFinished(JobPool* pool, int wait_ms) {
  if (pool->threads.empty()) {
    // No thread could be started: one job a call, here.
    const size_t index = pool->next.fetch_add(1);
    if (index < pool->jobs->size()) {
      if (pool->cancel.load()) {
        (*pool->jobs)[index].result.failure = TranscodeFailure::kCancelled;
      } else {
        RunJob(&(*pool->jobs)[index], &pool->cancel);
      }
      return {index};
    }
    return {};
  }
  std::unique_lock<std::mutex> lock(pool->mutex);
  pool->handed_back.wait_for(lock, std::chrono::milliseconds(wait_ms),
                             [pool] { return !pool->finished.empty(); });
  std::vector<size_t> taken;
  taken.swap(pool->finished);
  return taken;
}

void CancelJobs(JobPool* pool) { pool->cancel.store(true); }

std::vector<size_t> JoinJobs(JobPool* pool) {
  for (HostThread& thread : pool->threads) JoinHostThread(&thread);
  pool->threads.clear();
  std::lock_guard<std::mutex> lock(pool->mutex);
  std::vector<size_t> taken;
  taken.swap(pool->finished);
  return taken;
}
