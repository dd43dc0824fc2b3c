#include "titles/title_reader.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "host/console.h"
#include "host/system.h"
#include "host/words.h"
#include "text/card_path.h"
#include "titles/tag_search.h"
#include "titles/title_wire.h"

namespace {

// At most this many titles are read ahead of the writer, which bounds the
// memory the pool's queue and answers take.
constexpr size_t kReadAhead = 4096;

using Job = TitleReader::Job;

const TitleReader::Folder& FolderOf(const TitleReader& reader, const Job& job) {
  return reader.folders[job.folder - reader.first_folder];
}

std::u16string_view NameOf(const TitleReader& reader, const Job& job) {
  return std::u16string_view(FolderOf(reader, job).names).substr(job.name_at, job.name_size);
}

std::u16string PathOf(const TitleReader& reader, const Job& job) {
  return ChildPath(FolderOf(reader, job).path, NameOf(reader, job));
}

// Fills in |job|, whose file could not be read, with no title, saying why.
void FillUnread(const TitleReader& reader, Job* job, const std::string& why) {
  Warn("cannot read %s: %s; listed without a title: check the card (%s), or copy the file "
       "onto it again",
       ShownPath(PathOf(reader, *job)).c_str(), why.c_str(), CheckCardCommand());
  Title title;
  title.read = title.failed = true;
  job->title = std::move(title);
}

// Why a worker gave no title, in words.
std::string DescribeFailure(const PoolReply& reply) {
  char text[128];
  switch (reply.failure) {
    case JobFailure::kCrashed:
      snprintf(text, sizeof text, "the tag reader crashed (%s)",
               DescribeCrash(reply.code).c_str());
      break;
    case JobFailure::kExited:
      snprintf(text, sizeof text, "the tag reader stopped (exit status %d)", reply.code);
      break;
    case JobFailure::kMalformedAnswer:
      snprintf(text, sizeof text, "the tag reader sent a malformed answer");
      break;
    case JobFailure::kTimedOut:
      snprintf(text, sizeof text, "the tag reader took longer than %.1f s",
               static_cast<double>(reply.allowed_ms) / 1000.0);
      break;
    case JobFailure::kNoWorker:
      snprintf(text, sizeof text, "no tag reader could be started");
      break;
    case JobFailure::kEnded:
    case JobFailure::kNone:
      snprintf(text, sizeof text, "the tag reader stopped");
      break;
  }
  return text;
}

// Fills in the title of |job|, which is read from now on, found or not.
void Fill(Job* job, Title title) {
  CleanTitle(&title);
  title.read = true;
  job->title = std::move(title);
}

// Reads in this process: the fallback when no worker can start.
void ReadHere(const TitleReader& reader, Job* job) {
  Title title;
  std::string why;
  if (!GetTitleTag(FolderOf(reader, *job).path, NameOf(reader, *job), &title, &why)) {
    FillUnread(reader, job, why);
  } else {
    Fill(job, std::move(title));
  }
}

void Take(TitleReader* reader, const PoolReply& reply) {
  if (reply.id < reader->first_id) return;
  const auto position = static_cast<size_t>(reply.id - reader->first_id);
  if (position >= reader->jobs.size()) return;
  Job* job = &reader->jobs[position];
  // No worker is left to read it: it is read here once the pool is let go.
  if (!reply.ok && reply.failure == JobFailure::kNoWorker) return;
  if (!reply.ok) {
    FillUnread(*reader, job, DescribeFailure(reply));
    return;
  }
  bool opened = false;
  std::string why;
  Title title;
  if (!DecodeTitleAnswer(reply.reply, &title, &opened, &why)) {
    FillUnread(*reader, job, "the tag reader sent a malformed answer");
  } else if (!opened) {
    FillUnread(*reader, job, why);
  } else {
    Fill(job, std::move(title));
  }
}

void Submit(TitleReader* reader, size_t position) {
  Job& job = reader->jobs[position];
  SubmitJob(&reader->pool, reader->first_id + position,
            EncodeTitleRequest(FolderOf(*reader, job).path, NameOf(*reader, job)));
  job.submitted = true;
  ++reader->in_flight;
}

void NameStuck(const std::vector<pid_t>& stuck) {
  for (const pid_t pid : stuck) {
    Warn("title reader process %d does not end, even killed (the card may have stopped "
         "answering); it is left behind: take the card out only once it has ended",
         static_cast<int>(pid));
  }
}

// Hands the next requests in order to idle workers, as far as the read-ahead
// allows, and fills in what comes back, waiting up to |wait_ms| for it.
void Pump(TitleReader* reader, int wait_ms) {
  int free = FreeWorkerSlots(reader->pool);
  while (free > 0 && reader->next_submit < reader->jobs.size() &&
         reader->in_flight < kReadAhead) {
    const Job& job = reader->jobs[reader->next_submit];
    if (!job.submitted && !job.title.read) {
      Submit(reader, reader->next_submit);
      --free;
    }
    ++reader->next_submit;
  }
  // Nothing is out to come back: a card re-indexed from the record asks
  // the workers for little or nothing.
  if (reader->in_flight == 0 && wait_ms == 0) return;
  std::vector<PoolReply> replies;
  CollectReplies(&reader->pool, wait_ms, &replies);
  for (const PoolReply& reply : replies) Take(reader, reply);
  if (!ProcessPoolRunning(reader->pool)) {
    // Every worker ended as it started, again and again.
    Warn("the title readers end as soon as they start: reading titles in the main process");
    NameStuck(KillProcessPool(&reader->pool));
    reader->isolated = false;
  }
}

// "cardprep: 5000/20000 titles read, 2500 per second, about 6 s left".
void ShowTitleProgress(TitleReader* reader) {
  const int64_t now = NowMs();
  const bool first = reader->progress_start_ms == 0;
  if (first) reader->progress_start_ms = now;
  if (!ProgressDue(first)) return;
  const uint64_t done = reader->first_id;
  const uint64_t total = done + reader->jobs.size();
  const double seconds = static_cast<double>(now - reader->progress_start_ms) / 1000.0;
  char line[160];
  if (done == 0 || seconds < 0.2) {
    snprintf(line, sizeof line, "cardprep: %llu/%llu titles read",
             static_cast<unsigned long long>(done), static_cast<unsigned long long>(total));
  } else {
    const double rate = static_cast<double>(done) / seconds;
    snprintf(line, sizeof line, "cardprep: %llu/%llu titles read, %.0f per second, about %.0f s left",
             static_cast<unsigned long long>(done), static_cast<unsigned long long>(total), rate,
             static_cast<double>(total - done) / rate + 0.5);
  }
  ShowProgress(line);
}

// Lets go of the jobs waited for, oldest first, and of the folders they
// were the last of.
void DropTaken(TitleReader* reader) {
  while (!reader->jobs.empty() && reader->jobs.front().taken) {
    reader->jobs.pop_front();
    ++reader->first_id;
    if (reader->next_submit > 0) --reader->next_submit;
  }
  while (!reader->folders.empty() &&
         (reader->jobs.empty() || reader->jobs.front().folder > reader->first_folder)) {
    reader->folders.pop_front();
    ++reader->first_folder;
  }
}

// Starts the workers, once, when a title must first be read from its file.
void StartWorkers(TitleReader* reader) {
  if (reader->started) return;
  reader->started = true;
  ProcessPoolOptions pool;
  pool.worker_flag = kTitleWorkerFlag;
  pool.workers = reader->options.jobs;
  pool.base_allowance_ms = reader->options.base_timeout_ms;
  std::string why;
  reader->isolated = StartProcessPool(pool, &reader->pool, &why);
  if (!reader->isolated) {
    Warn("cannot start title readers (%s): reading titles in the main process", why.c_str());
  }
}

}  // namespace

void CleanTitle(Title* title) {
  std::u16string& text = title->text;
  if (!title->found) text.clear();
  const size_t end = text.find(u'\0');
  if (end != std::u16string::npos) text.resize(end);
  if (text.size() > static_cast<size_t>(kMaxTitleLength)) {
    text.resize(static_cast<size_t>(kMaxTitleLength));
  }
  for (char16_t& unit : text) {
    if (unit < 0x20 || unit == 0x7F || (!title->latin1 && unit >= 0x80 && unit <= 0x9F)) {
      unit = u' ';
    }
  }
}

void StartTitleReader(const TitleReaderOptions& options, TitleReader* reader) {
  reader->options = options;
  reader->started = false;
}

void StopTitleReader(TitleReader* reader) {
  reader->started = true;
  if (reader->isolated) NameStuck(StopProcessPool(&reader->pool));
  reader->isolated = false;
}

void KillTitleReader(TitleReader* reader) {
  reader->started = true;
  if (reader->isolated) NameStuck(KillProcessPool(&reader->pool));
  reader->isolated = false;
}

TitleTicket RequestTitles(TitleReader* reader, const std::u16string& folder_path,
                          const std::vector<TitleRequest>& files) {
  TitleTicket ticket;
  ticket.first = reader->first_id + reader->jobs.size();
  if (files.empty()) return ticket;
  ticket.count = static_cast<uint32_t>(files.size());
  const auto folder = static_cast<uint32_t>(reader->first_folder + reader->folders.size());
  TitleReader::Folder asked{folder_path, {}};
  const RecordedFolder* recorded_folder =
      reader->record == nullptr ? nullptr : FindRecordedFolder(*reader->record, folder_path);
  for (const TitleRequest& file : files) {
    reader->jobs.emplace_back();
    Job* job = &reader->jobs.back();
    job->folder = folder;
    // Taken from the record, it is waited for all the same, in its turn.
    const Title* recorded =
        recorded_folder == nullptr || file.stamp == nullptr
            ? nullptr
            : TrustedTitle(*reader->record, recorded_folder, file.name, *file.stamp);
    if (recorded != nullptr) {
      Fill(job, *recorded);
      ++reader->from_record;
    } else {
      // Only a file read from its tag is named again: in its request, or
      // in a warning.
      job->name_at = static_cast<uint32_t>(asked.names.size());
      job->name_size = static_cast<uint32_t>(file.name.size());
      asked.names += file.name;
      ++reader->from_files;
      StartWorkers(reader);
    }
  }
  reader->folders.push_back(std::move(asked));
  return ticket;
}

void PumpTitles(TitleReader* reader) {
  if (reader->isolated) Pump(reader, 0);
}

Title AwaitTitle(TitleReader* reader, const TitleTicket& ticket, size_t index) {
  // The writer waits in the order it asked: the job is nearly always the
  // oldest one.
  const uint64_t id = ticket.first + index;
  if (index >= ticket.count || id < reader->first_id) return Title();  // not asked, or gone
  const auto position = static_cast<size_t>(id - reader->first_id);
  if (position >= reader->jobs.size() || reader->jobs[position].taken) return Title();
  ShowTitleProgress(reader);
  Job* job = &reader->jobs[position];
  if (!job->title.read && !job->submitted && reader->isolated) Submit(reader, position);
  // Read here when no worker is there, or none is left, to read it.
  while (!job->title.read) {
    if (!reader->isolated) {
      ReadHere(*reader, job);
      break;
    }
    Pump(reader, -1);
  }
  // Keep the workers fed while the writer works through titles already
  // read: a look every few titles costs one poll.
  if (reader->isolated && (reader->first_id & 7) == 7) Pump(reader, 0);
  Title title = std::move(job->title);
  job->taken = true;
  if (job->submitted) --reader->in_flight;
  DropTaken(reader);
  return title;
}
