// Titles are read apart from the main process and ahead of the writer. Tag
// readers are untrusted code: a crafted tag can make one run for hours, ask
// for gigabytes or read past its buffers. So titles are read by a pool of
// worker processes, each with a memory limit and a time limit per file; a
// worker that crashes, overruns or hangs is killed and replaced, and that
// file is listed without a title, named in a warning.
//
// The scan asks for every sound's title as soon as it has taken the
// folder's files, in the order the sound records will be written; the sound
// list writer takes them back in that same order, so the files written do
// not depend on how many workers there are.
#ifndef CARDPREP_CATALOG_TITLE_READER_H_
#define CARDPREP_CATALOG_TITLE_READER_H_

#include <cstdint>
#include <deque>
#include <string>

#include "catalog/dir_info.h"

struct TitleResult {
  std::u16string title;
  int32_t length = -1;  // -1: the file has no title
};

struct TitleReaderOptions {
  int jobs = 1;                   // worker processes
  uint32_t base_timeout_ms = 10000;  // per file, plus kTimeoutPerMiB a MiB of file
};
// A slow card delivers a few MiB a second; a tag the size of the file must
// still be read in time.
constexpr uint32_t kTimeoutPerMiBMs = 1000;

// The flag that makes this program a title worker.
constexpr char kTitleWorkerFlag[] = "--title-worker";

struct TitleReaderState {
  struct Request {
    const DirInfo* dir = nullptr;  // its sounds are the files asked for
    uint32_t folder = 0;  // its number among the folders asked for
    uint32_t index = 0;   // in dir->sounds
    bool submitted = false;
    bool done = false;
    TitleResult result;
  };
  std::deque<std::u16string> folder_paths;  // of the folders asked for
  uint32_t first_folder = 0;                // number of folder_paths.front()
  std::deque<Request> requests;  // from the next one to be taken on
  uint64_t first_id = 0;         // id of requests.front()
  size_t next_submit = 0;        // position in |requests|
  bool isolated = false;         // workers are running
};
extern TitleReaderState g_titles;

// Starts the workers. When not one can start, titles are read in this
// process, with a warning.
void StartTitleReader(const TitleReaderOptions& options);
void StopTitleReader();
void ResetTitleReader();  // run order and test fixtures only

// Asks for the titles of all of |dir|'s sounds; |path| is its card path.
void RequestTitles(const std::u16string& path, const DirInfo& dir);
// Hands waiting requests to idle workers and takes in what they finished,
// without waiting.
void PumpTitles();
// The title of the next sound asked for. A file that cannot be read has no
// title and is named in a warning.
TitleResult NextTitle();

// The worker's side: serves title requests on standard input and output.
int RunTitleWorker();

#endif  // CARDPREP_CATALOG_TITLE_READER_H_
