// One run of cardprep-copy in the card's root, the working folder: the
// sources listed and checked, the copy planned and every renaming said, the
// files written on the cores and put in place, the record kept. Indexing
// the card afterwards is the program's (tools/copy), with cardprep's own
// run.
#ifndef CARDPREP_COPY_COPY_RUN_H_
#define CARDPREP_COPY_COPY_RUN_H_

#include <string>
#include <vector>

#include "copy/transcode.h"

struct CopyOptions {
  std::vector<std::string> sources;  // absolute host paths
  std::vector<std::string> given;    // as given, for messages
  std::u16string to;                 // the target folder's card path; "" for the root
  std::string to_given;              // as given
  int quality = kDefaultQuality;
  int jobs = 0;                      // 0: one per processor
  bool dry_run = false;
};

struct CopyReport {
  bool listed = false;   // the sources could be taken (else nothing was done)
  bool card_failed = false;  // the card was full or failed: the run stopped there
  bool card_full = false;    // it was full (else it failed: pulled out, broken)
  unsigned written = 0, encoded = 0, replaced = 0;  // put in place (encoded among them)
  unsigned up_to_date = 0;
  unsigned not_copied = 0;  // sources that could not be read or decoded
  unsigned not_begun = 0;   // left when the card failed
  unsigned others = 0;      // files no audio the copy takes
  uint64_t audio_ms = 0;    // encoded
  int64_t elapsed_ms = 0;
};

// Runs the copy; says everything it does, and the summary line.
CopyReport RunCopy(const CopyOptions& options);

// The most threads a copy runs.
constexpr int kMaxCopyJobs = 32;

#endif  // CARDPREP_COPY_COPY_RUN_H_
