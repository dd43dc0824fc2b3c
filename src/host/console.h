// Console output. Standard output carries the tool's progress and diagnostic
// lines in UTF-8, exactly as the player's tool chain has always printed them;
// everything the tool says beyond those lines (entries it skips, limits it
// hits, files it cannot write) goes to standard error, one line each,
// beginning "warning: " or "error: " and naming the path concerned.
#ifndef CARDPREP_HOST_CONSOLE_H_
#define CARDPREP_HOST_CONSOLE_H_

#define CARDPREP_PRINTF(f, a) __attribute__((format(printf, f, a)))

#include <string>
#include <utility>
#include <vector>

// Counts of what went to standard error, for the summary that ends a run.
struct ConsoleState {
  unsigned warnings = 0;
  unsigned errors = 0;
  // Entries left out of the index, by reason, in the order first met.
  std::vector<std::pair<std::string, unsigned>> skipped;
};
extern ConsoleState g_console;

// One progress line (or part of one) on standard output.
void Out(const char* format, ...) CARDPREP_PRINTF(1, 2);
// "warning: ..." and "error: ..." lines on standard error; the newline is
// added here.
void Warn(const char* format, ...) CARDPREP_PRINTF(1, 2);
void Error(const char* format, ...) CARDPREP_PRINTF(1, 2);

// The line that ends a run on standard error.
void Summary(const char* format, ...) CARDPREP_PRINTF(1, 2);

// Counts |count| entries left out for |reason| ("names not valid UTF-8").
void CountSkipped(const char* reason, unsigned count = 1);

#endif  // CARDPREP_HOST_CONSOLE_H_
