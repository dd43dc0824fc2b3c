// The title reader's worker: a copy of cardprep started with
// kTitleWorkerFlag, which reads the titles the reader asks for
// (title_reader.h) on standard input and output, within the memory limit of
// its process, until its input ends.
#ifndef CARDPREP_TITLES_TITLE_WORKER_H_
#define CARDPREP_TITLES_TITLE_WORKER_H_

#include <cstdint>
#include <string>

#include "titles/title_frames.h"

// The flag that makes this program a title worker.
constexpr char kTitleWorkerFlag[] = "--title-worker";

// A slow card delivers a few MiB a second; a tag the size of the file must
// still be read in time: a file may take this much longer a MiB.
constexpr uint32_t kTimeoutPerMiBMs = 1000;

// The answer to a request, little-endian, one frame of the pool:
//
//   length i32 (-1: no title), opened u8, reason bytes u32, reason,
//   title units u32, title UTF-16, from Latin-1 text u8
//
// |opened|: the file could be read; else |why| says why not.
std::string EncodeTitleAnswer(const Title& title, bool opened, const std::string& why);
// False for an answer that breaks the format, or whose title is longer than
// a title can be.
bool DecodeTitleAnswer(const std::string& bytes, Title* title, bool* opened, std::string* why);

// Serves title requests; returns the process's exit status.
int RunTitleWorker();

#endif  // CARDPREP_TITLES_TITLE_WORKER_H_
