#include "titles/title_reader.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "bytes/byte_order.h"
#include "host/console.h"
#include "host/folder.h"
#include "host/pool_worker.h"
#include "host/process_pool.h"
#include "host/system.h"
#include "text/card_path.h"
#include "titles/title_tag.h"

namespace {

TitleReaderState* g_titles = nullptr;

}  // namespace

TitleReaderState& Titles() {
  if (g_titles == nullptr) g_titles = new TitleReaderState();
  return *g_titles;
}

namespace {

// At most this many titles are read ahead of the writer, which bounds the
// memory they take.
constexpr size_t kReadAhead = 4096;

// Requests and answers between the main process and a worker, little-endian:
//   request:  folder units u32, folder path UTF-16, name units u32, name UTF-16
//   answer:   length i32, opened u8, reason bytes u32, reason,
//             title units u32, title UTF-16, from Latin-1 text u8
std::string EncodeRequest(std::u16string_view folder, std::u16string_view name) {
  std::string out;
  out.reserve(8 + 2 * (folder.size() + name.size()));
  AppendUtf16(&out, folder);
  AppendUtf16(&out, name);
  return out;
}

std::string EncodeAnswer(const TitleResult& title, bool opened, const std::string& why) {
  std::string out;
  AppendLe32(&out, static_cast<uint32_t>(title.length));
  out.push_back(opened ? 1 : 0);
  AppendLe32(&out, static_cast<uint32_t>(why.size()));
  out += why;
  AppendUtf16(&out, title.length >= 0 ? std::u16string_view(title.title) : std::u16string_view());
  out.push_back(title.latin1 ? 1 : 0);
  return out;
}

bool DecodeAnswer(const std::string& bytes, TitleResult* title, bool* opened, std::string* why) {
  ByteReader in(bytes);
  title->length = static_cast<int32_t>(in.Le32());
  *opened = in.U8() != 0;
  *why = in.Counted(1024);
  title->title = in.Utf16(kMaxTitleLength);
  title->latin1 = in.U8() != 0;
  return in.AtEnd() && title->length >= -1 && title->length <= kMaxTitleLength &&
         (title->length < 0 || static_cast<size_t>(title->length) == title->title.size());
}

const TitleReaderState::Folder& FolderOf(const TitleReaderState::Request& request) {
  return Titles().folders[request.folder - Titles().first_folder];
}

const std::u16string& NameOf(const TitleReaderState::Request& request) {
  return FolderOf(request).names[request.index];
}

std::u16string PathOf(const TitleReaderState::Request& request) {
  return FolderOf(request).path + u'\\' + NameOf(request);
}

void WarnUnreadable(const TitleReaderState::Request& request, const std::string& why) {
  Warn("cannot read %s: %s; listed without a title", ShownPath(PathOf(request)).c_str(),
       why.c_str());
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

// Reads in this process: the fallback when no worker can start.
void ReadHere(TitleReaderState::Request* request) {
  std::string why;
  if (!GetTitleTag(FolderOf(*request).path, NameOf(*request), &request->result.title,
                   &request->result.length, &why, nullptr, &request->result.latin1)) {
    WarnUnreadable(*request, why);
  }
  request->done = true;
}

void Take(const PoolReply& reply) {
  if (reply.id < Titles().first_id) return;
  const size_t position = static_cast<size_t>(reply.id - Titles().first_id);
  if (position >= Titles().requests.size()) return;
  TitleReaderState::Request& request = Titles().requests[position];
  request.done = true;
  if (!reply.ok) {
    WarnUnreadable(request, DescribeFailure(reply));
    return;
  }
  bool opened = false;
  std::string why;
  TitleResult result;
  if (!DecodeAnswer(reply.reply, &result, &opened, &why)) {
    WarnUnreadable(request, "the tag reader sent a malformed answer");
    return;
  }
  if (!opened) WarnUnreadable(request, why);
  request.result = std::move(result);
}

void Pump(int wait_ms) {
  int free = FreeWorkerSlots(Titles().pool);
  while (free > 0 && Titles().next_submit < Titles().requests.size() &&
         Titles().next_submit < kReadAhead) {
    TitleReaderState::Request& request = Titles().requests[Titles().next_submit];
    SubmitJob(&Titles().pool, Titles().first_id + Titles().next_submit,
              EncodeRequest(FolderOf(request).path, NameOf(request)));
    request.submitted = true;
    ++Titles().next_submit;
    --free;
  }
  std::vector<PoolReply> replies;
  CollectReplies(&Titles().pool, wait_ms, &replies);
  for (const PoolReply& reply : replies) Take(reply);
}

}  // namespace

void StartTitleReader(const TitleReaderOptions& options) {
  ProcessPoolOptions pool;
  pool.worker_flag = kTitleWorkerFlag;
  pool.workers = options.jobs;
  pool.base_allowance_ms = options.base_timeout_ms;
  std::string why;
  Titles().isolated = StartProcessPool(pool, &Titles().pool, &why);
  if (!Titles().isolated) {
    Warn("cannot start title readers (%s): reading titles in the main process", why.c_str());
  }
}

namespace {

void NameStuck(const std::vector<pid_t>& stuck) {
  for (const pid_t pid : stuck) {
    Warn("title reader process %d does not end, even killed (the card may have stopped "
         "answering); it is left behind",
         static_cast<int>(pid));
  }
}

}  // namespace

void StopTitleReader() {
  if (Titles().isolated) NameStuck(StopProcessPool(&Titles().pool));
  Titles().isolated = false;
}

void KillTitleReader() {
  if (Titles().isolated) NameStuck(KillProcessPool(&Titles().pool));
  Titles().isolated = false;
}

void ResetTitleReader() {
  StopTitleReader();
  Titles() = TitleReaderState();
}

void RequestTitles(const std::u16string& path, std::vector<std::u16string> names) {
  if (names.empty()) return;
  const auto folder = static_cast<uint32_t>(Titles().first_folder + Titles().folders.size());
  for (size_t i = 0; i < names.size(); ++i) {
    TitleReaderState::Request request;
    request.folder = folder;
    request.index = static_cast<uint32_t>(i);
    Titles().requests.push_back(std::move(request));
  }
  Titles().folders.push_back({path, std::move(names)});
}

void PumpTitles() {
  if (Titles().isolated) Pump(0);
}

namespace {

// "cardprep: 5000/20000 titles read, 2500 per second, about 6 s left".
void ShowTitleProgress() {
  const int64_t now = NowMs();
  const bool first = Titles().progress_start_ms == 0;
  if (first) Titles().progress_start_ms = now;
  if (!ProgressDue(first)) return;
  const uint64_t done = Titles().first_id;
  const uint64_t total = done + Titles().requests.size();
  const double seconds = static_cast<double>(now - Titles().progress_start_ms) / 1000.0;
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

}  // namespace

TitledSound NextTitle() {
  if (Titles().requests.empty()) return TitledSound();
  ShowTitleProgress();
  TitleReaderState::Request& front = Titles().requests.front();
  if (!Titles().isolated) {
    if (!front.done) ReadHere(&front);
  }
  while (!front.done) {
    if (!front.submitted && !ProcessPoolRunning(Titles().pool)) {
      WarnUnreadable(front, "no tag reader could be started");
      front.done = true;
      break;
    }
    Pump(-1);
  }
  TitleReaderState::Folder& folder = Titles().folders.front();
  TitledSound sound;
  sound.name = std::move(folder.names[front.index]);
  sound.title = std::move(front.result);
  // Keep the workers fed while the writer works through titles already
  // read: a look every few titles costs one poll.
  if (Titles().isolated && (Titles().first_id & 7) == 7) Pump(0);
  const bool last_of_folder = front.index + 1 == folder.names.size();
  Titles().requests.pop_front();
  ++Titles().first_id;
  if (Titles().next_submit > 0) --Titles().next_submit;
  if (last_of_folder) {
    Titles().folders.pop_front();
    ++Titles().first_folder;
  }
  return sound;
}

int RunTitleWorker() {
  WorkerLimits limits;
  // The peak only grows, and nothing else runs between jobs: one look after
  // each job says whether that job raised it.
  uint64_t peak = WorkerPeakMemory();
  return RunWorker(limits, [&limits, &peak](const std::string& request,
                                            const std::function<void(uint32_t)>& more_time) {
    ByteReader in(request);
    const std::u16string folder = in.Utf16(1024);
    const std::u16string name = in.Utf16(1024);
    TitleResult title;
    if (!in.AtEnd()) return EncodeAnswer(title, false, "malformed request");
    // A file of a MiB or more may take longer than the base allowance.
    auto extra_time = [&more_time](uint64_t size) {
      if (size >= (1u << 20)) {
        more_time(static_cast<uint32_t>(std::min<uint64_t>((size >> 20) * kTimeoutPerMiBMs, 3600000)));
      }
    };
    std::string why;
    bool opened = false;
    try {
      opened =
          GetTitleTag(folder, name, &title.title, &title.length, &why, extra_time, &title.latin1);
    } catch (const std::bad_alloc&) {
      title = TitleResult();
      why = "the tag reader ran out of memory";
    }
    // Memory that ran short on the way may have cost a tag, and so changed
    // the title, whatever title came out. Only a file whose own reading
    // raised the peak near the limit is blamed; the peak of a file read
    // earlier says nothing of this one.
    const uint64_t peak_after = WorkerPeakMemory();
    const bool raised_near_limit = peak_after > peak && peak_after >= limits.data_bytes / 4 * 3;
    peak = peak_after;
    if (opened && raised_near_limit) {
      opened = false;
      title = TitleResult();
      why = "the tag reader ran into its memory limit of " +
            std::to_string(limits.data_bytes >> 20) + " MiB";
    }
    return EncodeAnswer(title, opened, why);
  });
}
