#include "catalog/title_reader.h"

#include <cstring>
#include <vector>

#include "catalog/title_tag.h"
#include "host/console.h"
#include "host/byte_order.h"
#include "host/folder.h"
#include "host/worker_pool.h"

TitleReaderState g_titles;

namespace {

// At most this many titles are read ahead of the writer, which bounds the
// memory they take.
constexpr size_t kReadAhead = 4096;

// Requests and answers between the main process and a worker, little-endian:
//   request:  folder units u32, folder path UTF-16, name units u32, name UTF-16
//   answer:   length i32, opened u8, reason bytes u32, reason,
//             title units u32, title UTF-16
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
  return out;
}

bool DecodeAnswer(const std::string& bytes, TitleResult* title, bool* opened, std::string* why) {
  ByteReader in(bytes);
  title->length = static_cast<int32_t>(in.Le32());
  *opened = in.U8() != 0;
  *why = in.Counted(1024);
  title->title = in.Utf16(kMaxTitleLength);
  return in.AtEnd() && title->length >= -1 && title->length <= kMaxTitleLength &&
         (title->length < 0 || static_cast<size_t>(title->length) == title->title.size());
}

const std::u16string& FolderOf(const TitleReaderState::Request& request) {
  return g_titles.folder_paths[request.folder - g_titles.first_folder];
}

const std::u16string& NameOf(const TitleReaderState::Request& request) {
  return request.dir->sounds[request.index];
}

std::u16string PathOf(const TitleReaderState::Request& request) {
  return FolderOf(request) + u'\\' + NameOf(request);
}

void WarnUnreadable(const TitleReaderState::Request& request, const std::string& why) {
  Warn("cannot read %s: %s; listed without a title", ShownPath(PathOf(request)).c_str(),
       why.c_str());
}

// Reads in this process: the fallback when no worker can start.
void ReadHere(TitleReaderState::Request* request) {
  std::string why;
  if (!GetTitleTag(FolderOf(*request), NameOf(*request), &request->result.title,
                   &request->result.length, &why)) {
    WarnUnreadable(*request, why);
  }
  request->done = true;
}

void Take(const PoolReply& reply) {
  if (reply.id < g_titles.first_id) return;
  const size_t position = static_cast<size_t>(reply.id - g_titles.first_id);
  if (position >= g_titles.requests.size()) return;
  TitleReaderState::Request& request = g_titles.requests[position];
  request.done = true;
  if (!reply.ok) {
    WarnUnreadable(request, reply.failure);
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
  int free = FreeWorkerSlots();
  while (free > 0 && g_titles.next_submit < g_titles.requests.size() &&
         g_titles.next_submit < kReadAhead) {
    TitleReaderState::Request& request = g_titles.requests[g_titles.next_submit];
    SubmitJob(g_titles.first_id + g_titles.next_submit,
              EncodeRequest(FolderOf(request), NameOf(request)));
    request.submitted = true;
    ++g_titles.next_submit;
    --free;
  }
  std::vector<PoolReply> replies;
  CollectReplies(wait_ms, &replies);
  for (const PoolReply& reply : replies) Take(reply);
}

}  // namespace

void StartTitleReader(const TitleReaderOptions& options) {
  WorkerPoolOptions pool;
  pool.worker_flag = kTitleWorkerFlag;
  pool.workers = options.jobs;
  pool.base_allowance_ms = options.base_timeout_ms;
  std::string why;
  g_titles.isolated = StartWorkerPool(pool, &why);
  if (!g_titles.isolated) {
    Warn("cannot start title readers (%s): reading titles in the main process", why.c_str());
  }
}

void StopTitleReader() {
  if (g_titles.isolated) StopWorkerPool();
  g_titles.isolated = false;
}

void ResetTitleReader() {
  StopTitleReader();
  g_titles = TitleReaderState();
}

void RequestTitles(const std::u16string& path, const DirInfo& dir) {
  if (dir.sounds.empty()) return;
  const auto folder = static_cast<uint32_t>(g_titles.first_folder + g_titles.folder_paths.size());
  g_titles.folder_paths.push_back(path);
  for (size_t i = 0; i < dir.sounds.size(); ++i) {
    TitleReaderState::Request request;
    request.dir = &dir;
    request.folder = folder;
    request.index = static_cast<uint32_t>(i);
    g_titles.requests.push_back(std::move(request));
  }
}

void PumpTitles() {
  if (g_titles.isolated) Pump(0);
}

TitleResult NextTitle() {
  if (g_titles.requests.empty()) return TitleResult();
  TitleReaderState::Request& front = g_titles.requests.front();
  if (!g_titles.isolated) {
    if (!front.done) ReadHere(&front);
  }
  while (!front.done) {
    if (!front.submitted && !WorkerPoolRunning()) {
      WarnUnreadable(front, "no tag reader could be started");
      front.done = true;
      break;
    }
    Pump(-1);
  }
  TitleResult result = std::move(front.result);
  // Keep the workers fed while the writer works through titles already
  // read: a look every few titles costs one poll.
  if (g_titles.isolated && (g_titles.first_id & 7) == 7) Pump(0);
  const bool last_of_folder = front.index + 1 == front.dir->sounds.size();
  g_titles.requests.pop_front();
  ++g_titles.first_id;
  if (g_titles.next_submit > 0) --g_titles.next_submit;
  if (last_of_folder) {
    g_titles.folder_paths.pop_front();
    ++g_titles.first_folder;
  }
  return result;
}

int RunTitleWorker() {
  WorkerLimits limits;
  return RunWorker(limits, [&limits](const std::string& request,
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
    bool opened = GetTitleTag(folder, name, &title.title, &title.length, &why, extra_time);
    if (opened && title.length < 0 && WorkerMemoryNearLimit()) {
      opened = false;
      why = "the tag reader ran into its memory limit of " +
            std::to_string(limits.data_bytes >> 20) + " MiB";
    }
    return EncodeAnswer(title, opened, why);
  });
}
