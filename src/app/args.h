// The command line: up to three folder path prefixes whose folders enter the
// play order file by file, and a few options.
#ifndef CARDPREP_APP_ARGS_H_
#define CARDPREP_APP_ARGS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "titles/tag_charset.h"

// One prefix argument.
struct PrefixArg {
  std::string arg;     // as given, for messages
  std::u16string path;  // in the card's path form ("/" taken as "\")
  bool valid = false;   // the argument is UTF-8; one that is not matches nothing
};

struct Args {
  bool quiet = false;    // no trace, progress line or notes; warnings and errors stay
  bool verbose = false;  // the trace on standard output also when it is a terminal
  bool dry_run = false;  // the whole run, but nothing written to the card
  bool rescan = false;   // every tag read, none taken from the title record
  std::string card;      // the card's root; empty: the working folder
  bool card_from_argument = false;  // |card| was an argument, not --card
  int jobs = 0;                    // title readers; 0: one per processor
  uint32_t tag_timeout_ms = 10000;  // per file, before the allowance for its size
  TagCharset tag_charset;          // how titles stored as Latin-1 are read
  // Every prefix argument in order; the first three take the three slots,
  // whatever they hold.
  std::vector<PrefixArg> prefixes;
};

constexpr int kMaxPrefixes = 3;

// Parses argv. Returns false when the program is to end at once with
// |*status|: 0 after --help or --version, 2 after an error line for an
// unknown option or a bad value (nothing is written then).
[[nodiscard]] bool ParseArgs(int argc, char** argv, Args* args, int* status);

// The help --help prints.
std::string Usage();

#endif  // CARDPREP_APP_ARGS_H_
