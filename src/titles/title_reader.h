// The title reader: reads the titles of the card's sounds apart from the
// main process and ahead of the writer. Tag readers are untrusted code: a
// crafted tag can make one run for hours, ask for gigabytes or read past
// its buffers. So titles are read by a pool of worker processes
// (title_worker.h, spoken to over title_wire.h), each with a memory limit
// and a time limit per file; a worker that crashes, overruns or hangs is
// killed and replaced, and that file is listed without a title, named in a
// warning.
//
// The run owns the reader and hands it to the scan, which asks for a
// folder's titles as soon as it has taken the folder's sounds and keeps the
// ticket it is given, and to the sound list writer, which hands the ticket
// back to wait for the folder's titles (folder_titles.h). The reader keeps
// each title until it is waited for, and hands it over then: the asker's
// storage may move or grow meanwhile, and what is written depends neither
// on how many workers there are nor on the order titles are waited for in.
#ifndef CARDPREP_TITLES_TITLE_READER_H_
#define CARDPREP_TITLES_TITLE_READER_H_

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "host/file_stamp.h"
#include "host/process_pool.h"
#include "titles/title_frames.h"
#include "titles/title_record.h"

struct TitleReaderOptions {
  int jobs = 1;                      // worker processes
  uint32_t base_timeout_ms = 10000;  // per file, plus kTimeoutPerMiBMs a MiB (title_worker.h)
};

// A file whose title is asked for; read during the call that takes it
// only, so it may point into the asker's own storage.
struct TitleRequest {
  std::u16string_view name;
  // The file's size and modification time as the folder listing gave them;
  // null when it could not say. With a title record, a file whose stamp
  // the record trusts is not read.
  const FileStamp* stamp = nullptr;
};

// The titles of one folder's files asked for together: what the asker keeps
// to wait for them. Each title asked for has an id, counted from 0 over the
// run in the order asked; a folder's are |count| ids from |first|.
struct TitleTicket {
  uint64_t first = 0;
  uint32_t count = 0;
};

// The titles asked for and not yet waited for, and the workers reading
// them. Owned by the run; changed only through the functions below.
struct TitleReader {
  // A folder asked for: its card path, and the names of its files read
  // from their tags, one after another (those taken from the record need
  // none).
  struct Folder {
    std::u16string path;
    std::u16string names;
  };
  struct Job {
    uint32_t folder = 0;  // its number among the folders asked for
    uint32_t name_at = 0;  // its file's name in its folder's |names|
    uint32_t name_size = 0;
    Title title;  // read once filled in, until it is waited for
    bool submitted = false;  // handed to the pool
    bool taken = false;      // waited for
  };
  std::deque<Folder> folders;  // from number first_folder on
  uint32_t first_folder = 0;
  std::deque<Job> jobs;   // from the oldest not yet waited for on
  uint64_t first_id = 0;  // id of jobs.front(): the titles waited for so far
  size_t in_flight = 0;   // submitted and not yet waited for
  size_t next_submit = 0;  // position in |jobs| of the next to submit in order
  ProcessPool pool;
  TitleReaderOptions options;
  bool started = false;   // the workers were started, or need not be any more
  bool isolated = false;  // workers are running
  int64_t progress_start_ms = 0;  // when the writer first waited for a title
  // The titles read on an earlier run (title_record.h), or null; set by the
  // run before the first request.
  const TitleRecord* record = nullptr;
  uint32_t from_record = 0;  // titles taken from |record|
  uint32_t from_files = 0;   // titles asked of the files themselves
};

// Cleans |*title| as every title the reader fills in is cleaned, read from
// a tag or taken from the record of titles (which anything may have
// written): a NUL ends it, it keeps at most kMaxTitleLength units, and
// control characters become spaces, so that no title breaks a line of the
// listing. Control characters are U+0001-U+001F and U+007F, and
// U+0080-U+009F in a title not stored as Latin-1 (in one that is, those
// units are bytes of the code page it may be read in).
void CleanTitle(Title* title);

// Readies the reader. Its workers start when the first title that the
// record does not hold is asked for, so that a card re-indexed from the
// record starts none; when not one can start, titles are read in this
// process, with a warning.
void StartTitleReader(const TitleReaderOptions& options, TitleReader* reader);
// Lets the workers end; KillTitleReader ends them at once, for a run that
// is being stopped. Neither lets workers start afterwards.
void StopTitleReader(TitleReader* reader);
void KillTitleReader(TitleReader* reader);

// Asks for the titles of |files| in the folder at |folder_path|, in the
// order they will be waited for, and returns the ticket to wait for them
// with. A title the record holds for a file's stamp is filled in at once,
// and the file is not opened.
TitleTicket RequestTitles(TitleReader* reader, const std::u16string& folder_path,
                          const std::vector<TitleRequest>& files);
// Hands waiting requests to idle workers and fills in what they finished,
// without waiting.
void PumpTitles(TitleReader* reader);
// Waits until the title of file |index| of |ticket| is filled in and hands
// it over (read true). A file that cannot be read has no title and is named
// in a warning. A title not asked for under |ticket|, or waited for
// already, is none (read false).
Title AwaitTitle(TitleReader* reader, const TitleTicket& ticket, size_t index);

#endif  // CARDPREP_TITLES_TITLE_READER_H_
