// Titles are read apart from the main process and ahead of the writer. Tag
// readers are untrusted code: a crafted tag can make one run for hours, ask
// for gigabytes or read past its buffers. So titles are read by a pool of
// worker processes, each with a memory limit and a time limit per file; a
// worker that crashes, overruns or hangs is killed and replaced, and that
// file is listed without a title, named in a warning.
//
// The scan hands over every folder's sound names as soon as it has taken
// them, in the order the sound records will be written; the sound list
// writer takes them back in that same order with their titles, so the files
// written do not depend on how many workers there are.
#ifndef CARDPREP_TITLES_TITLE_READER_H_
#define CARDPREP_TITLES_TITLE_READER_H_

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "titles/title_frames.h"
#include "host/process_pool.h"

// A sound taken back from the reader: its name and its title.
struct TitledSound {
  std::u16string name;
  TitleResult title;
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

// The sounds whose titles are asked for and not yet taken back, and the
// workers reading them. Written only here.
struct TitleReaderState {
  struct Folder {
    std::u16string path;                 // the folder's card path
    std::vector<std::u16string> names;   // its sounds, in record order
  };
  struct Request {
    uint32_t folder = 0;  // its number among the folders handed over
    uint32_t index = 0;   // in that folder's names
    bool submitted = false;
    bool done = false;
    TitleResult result;
  };
  std::deque<Folder> folders;    // from the folder of requests.front() on
  uint32_t first_folder = 0;     // number of folders.front()
  std::deque<Request> requests;  // from the next one to be taken on
  uint64_t first_id = 0;         // id of requests.front()
  size_t next_submit = 0;        // position in |requests|
  ProcessPool pool;
  bool isolated = false;         // workers are running
  int64_t progress_start_ms = 0;  // when the writer first asked for a title
};
// The reader's state, made when first asked for: an empty deque holds
// memory, and none may be asked for before the run can say that it ran out.
TitleReaderState& Titles();

// Starts the workers. When not one can start, titles are read in this
// process, with a warning.
void StartTitleReader(const TitleReaderOptions& options);
void StopTitleReader();
// Ends the workers at once, for a run that is being stopped.
void KillTitleReader();
void ResetTitleReader();  // run order and test fixtures only

// Hands over the sounds |names| of the folder at |path|, in record order,
// and asks for their titles.
void RequestTitles(const std::u16string& path, std::vector<std::u16string> names);
// Hands waiting requests to idle workers and takes in what they finished,
// without waiting.
void PumpTitles();
// The next sound handed over, with its title. A file that cannot be read has
// no title and is named in a warning.
TitledSound NextTitle();

// The worker's side: serves title requests on standard input and output.
int RunTitleWorker();

#endif  // CARDPREP_TITLES_TITLE_READER_H_
