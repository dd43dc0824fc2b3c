// The title reader's worker: a copy of cardprep started with
// kTitleWorkerFlag, which reads the titles the reader asks for
// (title_reader.h) on standard input and output, within the memory limit of
// its process, until its input ends.
#ifndef CARDPREP_TITLES_TITLE_WORKER_H_
#define CARDPREP_TITLES_TITLE_WORKER_H_

#include <cstdint>

#include "titles/title_wire.h"  // kTitleWorkerFlag, and what a worker reads and answers

// A slow card delivers a few MiB a second; a tag the size of the file must
// still be read in time: a file may take this much longer a MiB.
constexpr uint32_t kTimeoutPerMiBMs = 1000;

// Serves title requests; returns the process's exit status.
int RunTitleWorker();

#endif  // CARDPREP_TITLES_TITLE_WORKER_H_
