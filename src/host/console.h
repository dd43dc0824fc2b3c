// Console output. Standard output carries the tool's progress and diagnostic
// lines in UTF-8, exactly as the player's tool chain has always printed them;
// everything the tool says beyond those lines (entries it skips, limits it
// hits, files it cannot write) goes to standard error, one line each,
// beginning "warning: " or "error: " and naming the path concerned.
//
// cardprep's trace runs to thousands of lines on a large card: a person at
// a terminal sees it only when asking for it, while scripts and logs, which
// read standard output from a file or a pipe, keep it (ChooseTrace).
#ifndef CARDPREP_HOST_CONSOLE_H_
#define CARDPREP_HOST_CONSOLE_H_

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "host/platform.h"  // CARDPREP_PRINTF

// What the console was told, and counts of what went to standard error for
// the summary that ends a run.
struct ConsoleState {
  bool trace = true;   // the trace lines go to standard output
  bool quiet = false;  // no progress line either
  int stdout_terminal = -1;  // -1: not asked yet
  unsigned warnings = 0;  // "warning: " lines printed
  unsigned errors = 0;    // "error: " lines printed
  int progress_wanted = -1;  // standard error is a terminal; -1: not asked yet
  bool progress_shown = false;
  int64_t progress_due_ms = 0;
};
extern ConsoleState g_console;

// Decides whether cardprep's trace goes to standard output, and its notes
// to standard error: never with |quiet| (which also leaves out the progress
// line), always with |verbose|, and otherwise only when standard output is
// not a terminal.
void ChooseTrace(bool verbose, bool quiet);

// One line of the trace (or part of one) on standard output.
void Out(const char* format, ...) CARDPREP_PRINTF(1, 2);
// "warning: ..." and "error: ..." lines on standard error; the newline is
// added here.
void Warn(const char* format, ...) CARDPREP_PRINTF(1, 2);
void Error(const char* format, ...) CARDPREP_PRINTF(1, 2);
// "note: ..." on standard error: a decision the user may want to know of,
// neither a warning nor an error. Said with the trace (a terminal hears of
// such decisions only from the summary unless asked with -v), never when
// quiet.
void Note(const char* format, ...) CARDPREP_PRINTF(1, 2);

// The line that ends a run on standard error.
void Summary(const char* format, ...) CARDPREP_PRINTF(1, 2);

// Says that |name| (as messages show it) held something cardprep did not
// write (|what|: "a folder", "bytes follow its end") and was moved aside
// to |moved_to| (MoveAside, file.h).
void SayMovedAside(const std::string& name, const std::string& what,
                   const std::string& moved_to);

// A line on standard error that says how far the run is, rewritten in place,
// only when standard error is a terminal and the run is not quiet. ProgressDue says whether it is
// time to rewrite it (the first time at once, then ten times a second, and
// at once for a |new_stage|); every other line, the trace on the same
// terminal too, erases it first, and EndProgress erases it for good.
bool ProgressDue(bool new_stage = false);
void ShowProgress(const std::string& line);
void EndProgress();

#endif  // CARDPREP_HOST_CONSOLE_H_
