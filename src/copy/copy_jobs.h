// The files of a copy, written on threads beside the main one: each thread
// takes the next file of the plan, writes it aside on the card (encoded, or
// copied as it is), forces it to the card and hands it back under its
// temporary name. The main thread alone puts files in place, says what
// happened and keeps the record: the threads say nothing themselves.
#ifndef CARDPREP_COPY_COPY_JOBS_H_
#define CARDPREP_COPY_COPY_JOBS_H_

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "copy/copy_plan.h"
#include "copy/transcode.h"
#include "host/file.h"
#include "host/thread.h"

struct CopyJob {
  // Set before the jobs start.
  const PlannedFile* planned = nullptr;
  std::string target;  // the host path it takes on the card
  std::string shown;   // its card path, as said
  int quality = kDefaultQuality;
  // While it runs, for the progress line.
  TranscodeProgress progress;
  // Once it is handed back.
  bool ok = false;
  TranscodeResult result;  // why it failed; for an encoded file also what it holds
  OutFile out;             // finished aside when |ok|
};

// The threads and what they share with the main thread.
struct JobPool {
  std::vector<CopyJob>* jobs = nullptr;
  std::vector<HostThread> threads;
  std::atomic<size_t> next{0};        // the next job to take
  std::atomic<bool> cancel{false};    // no job is begun any more, and those running stop
  std::mutex mutex;
  std::condition_variable handed_back;
  std::vector<size_t> finished;       // handed back, not yet taken by the main thread
};

// Starts |threads| threads on |*jobs| (at least one; none when the system
// cannot start one: TakeFinished then does the jobs itself, one a call).
void StartJobs(std::vector<CopyJob>* jobs, int threads, JobPool* pool);
// The jobs handed back since the last call, waiting up to |wait_ms| for one.
std::vector<size_t> TakeFinished(JobPool* pool, int wait_ms);
// Begins no job any more; those running stop at their next step, and are
// handed back as cancelled.
void CancelJobs(JobPool* pool);
// Waits for the threads to end; returns the jobs handed back meanwhile.
std::vector<size_t> JoinJobs(JobPool* pool);

// Does one job on the calling thread (the threads' own work).
void RunJob(CopyJob* job, const std::atomic<bool>* cancel);

#endif  // CARDPREP_COPY_COPY_JOBS_H_
