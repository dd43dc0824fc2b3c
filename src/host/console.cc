#include "host/console.h"

#include <cstdarg>
#include <cstdio>

ConsoleState g_console;

void Out(const char* format, ...) {
  va_list args;
  va_start(args, format);
  vfprintf(stdout, format, args);
  va_end(args);
}

namespace {

void Say(const char* prefix, const char* format, va_list args) {
  // Standard output is block-buffered when it is not a terminal; flushing it
  // first keeps the two streams in order when they share one.
  fflush(stdout);
  fputs(prefix, stderr);
  vfprintf(stderr, format, args);
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

void Summary(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Say("summary: ", format, args);
  va_end(args);
}

void CountSkipped(const char* reason, unsigned count) {
  for (auto& entry : g_console.skipped) {
    if (entry.first == reason) {
      entry.second += count;
      return;
    }
  }
  g_console.skipped.emplace_back(reason, count);
}
