#include "support/title_reference.h"

#include <fcntl.h>
#include <id3tag.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#if defined(__has_feature)
#if __has_feature(address_sanitizer) && !defined(__SANITIZE_ADDRESS__)
#define __SANITIZE_ADDRESS__ 1
#endif
#endif

namespace {

constexpr size_t kMaxUnits = 259;

bool WriteAll(int fd, const void* data, size_t n) {
  const auto* p = static_cast<const char*>(data);
  while (n > 0) {
    const ssize_t done = write(fd, p, n);
    if (done <= 0) return false;
    p += done;
    n -= static_cast<size_t>(done);
  }
  return true;
}

}  // namespace

ReferenceTitle ReadReferenceTitle(const std::string& host_path) {
  ReferenceTitle result;
  const int fd = open(host_path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return result;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return result;
  }
  id3_file* file = id3_file_fdopen(fd, ID3_FILE_MODE_READONLY);
  if (file == nullptr) {
    close(fd);
    return result;
  }
  result.finished = true;
  const id3_tag* tag = id3_file_tag(file);
  static const id3_ucs4_t kEmpty[1] = {0};
  for (unsigned f = 0; tag != nullptr && f < tag->nframes; ++f) {
    const id3_frame* frame = tag->frames[f];
    if (strcmp(frame->id, "TIT2") != 0) continue;
    for (unsigned k = 0; k < frame->nfields; ++k) {
      const id3_field* field = &frame->fields[k];
      if (field->type != ID3_FIELD_TYPE_STRINGLIST) continue;
      const unsigned strings = id3_field_getnstrings(field);
      bool titled = false;  // a string of this list that is not empty was taken
      for (unsigned s = 0; s < strings; ++s) {
        const id3_ucs4_t* text = id3_field_getstrings(field, s);
        if (text == nullptr) text = kEmpty;
        // An empty string after the title is its writer's terminator.
        if (titled && text[0] == 0) continue;
        titled = text[0] != 0;
        id3_utf16_t* utf16 = id3_ucs4_utf16duplicate(text);
        if (utf16 == nullptr) continue;
        result.text.clear();
        for (size_t n = 0; utf16[n] != 0 && n < kMaxUnits; ++n) {
          result.text.push_back(static_cast<char16_t>(utf16[n]));
        }
        result.length = static_cast<int32_t>(result.text.size());
        free(utf16);
      }
    }
  }
  id3_file_close(file);
  return result;
}

namespace {

// The process's private data (VmData), which RLIMIT_DATA holds.
[[maybe_unused]] uint64_t DataKib() {
  FILE* status = fopen("/proc/self/status", "r");
  if (status == nullptr) return 0;
  char line[256];
  uint64_t kib = 0;
  while (fgets(line, sizeof line, status) != nullptr) {
    if (strncmp(line, "VmData:", 7) == 0) kib = strtoull(line + 7, nullptr, 10);
  }
  fclose(status);
  return kib;
}

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

ReferenceChild StartReferenceTitle(const std::string& host_path, uint32_t timeout_ms,
                                   uint64_t data_bytes) {
  ReferenceChild child;
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) return child;
  const pid_t pid = fork();
  if (pid < 0) {
    close(pipe_fds[0]);
    close(pipe_fds[1]);
    return child;
  }
  if (pid == 0) {
    close(pipe_fds[0]);
    // The peak memory is counted from here on: what the reader added to the
    // pages shared with the parent.
    const int clear = open("/proc/self/clear_refs", O_WRONLY | O_CLOEXEC);
    if (clear >= 0) {
      if (write(clear, "5", 1) != 1) _exit(1);
      close(clear);
    }
    rusage usage;
    const uint64_t start_kib =
        getrusage(RUSAGE_SELF, &usage) == 0 ? static_cast<uint64_t>(usage.ru_maxrss) : 0;
#if !defined(__SANITIZE_ADDRESS__)
    // On top of what the parent's copy holds already, as a fresh worker.
    const uint64_t limit = DataKib() * 1024 + data_bytes;
    rlimit data = {limit, limit};
    setrlimit(RLIMIT_DATA, &data);
#endif
    ReferenceTitle title = ReadReferenceTitle(host_path);
    // As a title worker, a reader that came near its memory limit did not
    // end within it: allocations it needed may have failed.
    if (getrusage(RUSAGE_SELF, &usage) == 0 &&
        (static_cast<uint64_t>(usage.ru_maxrss) - start_kib) * 1024 >= data_bytes / 4 * 3) {
      title.finished = false;
    }
    // finished u8, length i32, then the units.
    std::vector<char> out(5 + 2 * title.text.size());
    out[0] = title.finished ? 1 : 0;
    memcpy(&out[1], &title.length, 4);
    if (!title.text.empty()) memcpy(&out[5], title.text.data(), 2 * title.text.size());
    _exit(WriteAll(pipe_fds[1], out.data(), out.size()) ? 0 : 1);
  }
  close(pipe_fds[1]);
  child.pid = pid;
  child.answer_fd = pipe_fds[0];
  child.deadline_ms = NowMs() + timeout_ms;
  return child;
}

ReferenceTitle FinishReferenceTitle(ReferenceChild* child) {
  ReferenceTitle result;
  if (child->pid < 0) return result;
  std::string answer;
  for (;;) {
    // Past the deadline, what the child has written already still counts.
    const int64_t left = std::max<int64_t>(0, child->deadline_ms - NowMs());
    pollfd p = {child->answer_fd, POLLIN, 0};
    const int ready = poll(&p, 1, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    char chunk[4096];
    const ssize_t n = read(child->answer_fd, chunk, sizeof chunk);
    if (n <= 0) break;
    answer.append(chunk, static_cast<size_t>(n));
  }
  close(child->answer_fd);
  kill(child->pid, SIGKILL);
  int status = 0;
  waitpid(child->pid, &status, 0);
  child->pid = -1;
  if (answer.size() < 5 || (answer.size() - 5) % 2 != 0 || answer[0] != 1) return result;
  result.finished = true;
  memcpy(&result.length, &answer[1], 4);
  result.text.resize((answer.size() - 5) / 2);
  if (!result.text.empty()) memcpy(&result.text[0], &answer[5], answer.size() - 5);
  return result;
}
