// Putting the files that describe the music in place as one step that a
// failed rename, a pulled card or a power cut cannot leave half done. A card
// is a FAT file system: it has renames, removals and fsync, but no hard
// links and no rename that swaps two files, so the step is a small
// transaction of renames with a record on the card:
//
//   1. every new file is whole on the card under its temporary name
//      (".NAME.cardprep-PID", forced to the card when it was finished);
//   2. the record ".cardprep-commit" is written and forced to the card,
//      with the folder, before the first rename;
//   3. for each file in order: the old one is renamed aside
//      (".NAME.cardprep-old-PID"), and the new one takes its
//      name;
//   4. the folder is forced to the card, the record removed and the folder
//      forced again; only then are the old files removed.
//
// A rename that fails makes the renames done undo, in reverse order. A
// step cut short by a pulled card or a power cut leaves the record: the
// next run (RecoverCommit, before anything else) completes the renames when
// every new file is still there, else undoes them, so the card holds the old
// index or the new one, never a mix.
//
// The record, one line each:
//   cardprep commit record
//   pid PID                    the process whose files these are
//   NAME replaces | NAME is new   one line per file, in the order of renaming
//   end
#ifndef CARDPREP_HOST_COMMIT_H_
#define CARDPREP_HOST_COMMIT_H_

#include <string>
#include <vector>

#include "host/file.h"

// The record, in the card's root.
constexpr char kCommitRecordName[] = ".cardprep-commit";

enum class CommitResult {
  kDone,         // every new file is in place
  kNotBegun,     // nothing was renamed: the record could not be written
  kUndone,       // a rename failed, and the renames made were undone
  kUnfinished,   // neither could be finished: the record stays for the next run
};

struct CommitReport {
  CommitResult result = CommitResult::kNotBegun;
  // What failed, naming the file: "cannot put DIRLST16.DAT in place:
  // Input/output error"; for kUnfinished also why undoing it failed.
  std::string failure;
  // After kDone: the folder could not be forced to the card (why), so the
  // new files may not be there if the card is pulled now; the record stays
  // so that the next run makes sure.
  std::string sync_failure;
  // The renaming process ended without saying how far it came (how it
  // ended); the outcome was then read off the card.
  std::string report_lost;
};

// Puts the finished |files| (opened aside in the working folder, the card's
// root) in place of their final names, in order, as the transaction above.
// The renames are made by a child process that ignores the stop signals, so
// that nothing sent to this process cuts the step short; when its report is
// lost, what is on the card says the outcome. Says nothing; the caller words
// the report. Files in place, or undone and back under their temporary
// names, are this process's files again: the caller keeps or removes them.
// After kUnfinished they belong to the record.
CommitReport CommitTogether(const std::vector<OutFile*>& files);

enum class RecoveryResult {
  kNothing,    // no record: the last commit ended
  kCompleted,  // the renames were completed
  kUndone,     // they were undone (or had not begun)
  kFailed,     // neither could be done (|why|); the record stays
};
struct Recovery {
  RecoveryResult result = RecoveryResult::kNothing;
  std::string why;
};
// Finishes the commit whose record lies in the working folder, if any, for
// the files |names| may name (others make the record unusable).
Recovery RecoverCommit(const std::vector<std::string>& names);

// Whether the record of an unfinished commit lies in the working folder.
bool CommitUnfinished();

#endif  // CARDPREP_HOST_COMMIT_H_
