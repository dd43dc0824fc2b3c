#include "host/console.h"

#include <cstdarg>
#include <time.h>
#include <unistd.h>

#include <cstdio>

#include "host/platform.h"
#if CARDPREP_WINDOWS
#include <io.h>
#include <windows.h>

#include <string>
#endif

ConsoleState g_console;

namespace {

constexpr int kProgressIntervalMs = 100;
// Back to the line's start, and clear it (ANSI "erase in line").
constexpr char kEraseLine[] = "\r\033[K";

void EraseProgress() {
  if (!g_console.progress_shown) return;
  fputs(kEraseLine, stderr);
  fflush(stderr);
  g_console.progress_shown = false;
}

#if CARDPREP_WINDOWS
// A console, not a file, a pipe or NUL (which isatty takes for a terminal).
bool IsTerminal(int fd) {
  DWORD mode = 0;
  return GetConsoleMode(reinterpret_cast<HANDLE>(_get_osfhandle(fd)), &mode) != 0;
}

// On a console, text is written as UTF-16, so that Japanese shows whatever
// the console's code page; elsewhere it goes out in UTF-8 as it is.
void Print(FILE* stream, const char* format, va_list args) {
  const HANDLE console = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  DWORD mode = 0;
  if (!GetConsoleMode(console, &mode)) {
    vfprintf(stream, format, args);
    return;
  }
  va_list again;
  va_copy(again, args);
  const int n = vsnprintf(nullptr, 0, format, again);
  va_end(again);
  if (n <= 0) return;
  std::string text(static_cast<size_t>(n) + 1, '\0');
  vsnprintf(text.data(), text.size(), format, args);
  text.pop_back();
  const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), n, nullptr, 0);
  std::wstring wide(static_cast<size_t>(units), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), n, wide.data(), units);
  fflush(stream);
  DWORD written = 0;
  WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
}
#else
bool IsTerminal(int fd) { return isatty(fd) != 0; }
void Print(FILE* stream, const char* format, va_list args) { vfprintf(stream, format, args); }
#endif

bool StdoutIsTerminal() {
  if (g_console.stdout_terminal < 0) g_console.stdout_terminal = IsTerminal(1) ? 1 : 0;
  return g_console.stdout_terminal == 1;
}

}  // namespace

void ChooseTrace(bool verbose, bool quiet) {
  g_console.quiet = quiet;
  g_console.trace = !quiet && (verbose || !StdoutIsTerminal());
}

void Out(const char* format, ...) {
  if (!g_console.trace) return;
  // The trace and the progress line share the terminal: the line goes first.
  if (g_console.progress_shown && StdoutIsTerminal()) EraseProgress();
  va_list args;
  va_start(args, format);
  Print(stdout, format, args);
  va_end(args);
}

namespace {

void Say(const char* prefix, const char* format, va_list args) {
  // Standard output is block-buffered when it is not a terminal; flushing it
  // first keeps the two streams in order when they share one.
  fflush(stdout);
  EraseProgress();
  fputs(prefix, stderr);
  Print(stderr, format, args);
  fputc('\n', stderr);
}

}  // namespace

void Warn(const char* format, ...) {
  ++g_console.warnings;
  va_list args;
  va_start(args, format);
  Say("warning: ", format, args);
  va_end(args);
}

void Error(const char* format, ...) {
  ++g_console.errors;
  va_list args;
  va_start(args, format);
  Say("error: ", format, args);
  va_end(args);
}

void Note(const char* format, ...) {
  if (!g_console.trace) return;
  va_list args;
  va_start(args, format);
  Say("note: ", format, args);
  va_end(args);
}

void Summary(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Say("summary: ", format, args);
  va_end(args);
}

void SayMovedAside(const std::string& name, const std::string& what,
                   const std::string& moved_to) {
  Warn("%s is not a file cardprep wrote (%s): moved aside to %s, which cardprep does not need "
       "and may be deleted",
       name.c_str(), what.c_str(), moved_to.c_str());
}

bool ProgressDue(bool new_stage) {
  if (g_console.progress_wanted < 0) {
    g_console.progress_wanted = !g_console.quiet && IsTerminal(2) ? 1 : 0;
  }
  if (g_console.progress_wanted == 0) return false;
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  const int64_t now_ms = static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
  if (now_ms < g_console.progress_due_ms && !new_stage) return false;
  g_console.progress_due_ms = now_ms + kProgressIntervalMs;
  return true;
}

void ShowProgress(const std::string& line) {
  fflush(stdout);
  fputs(kEraseLine, stderr);
  fputs(line.c_str(), stderr);
  fflush(stderr);
  g_console.progress_shown = true;
}

void EndProgress() {
  EraseProgress();
  fflush(stderr);
}
