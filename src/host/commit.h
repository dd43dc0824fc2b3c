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
// The record, one line each, every line ending in a line feed:
//   cardprep commit record
//   pid PID                    the process whose files these are: decimal,
//                              1 to 4294967295, no leading zero
//   NAME replaces | NAME is new   one line per file, in the order of renaming;
//                              at least one, each file named once
//   end
// Nothing follows "end". A record has this one form only.
//
// The record and the files it names are the card's, and a card is
// untrusted: whatever stands at their names may have been put there by
// anything (a folder, a FIFO, a link, a hard link to a song, garbage). The
// record is read only when it is a regular file, without following a link
// or waiting on a FIFO; only regular files are ever renamed into an index
// file's name; only an index file the commit itself put in place is ever
// removed by undoing it. What stands at the record's, the temporary or the
// old names and is not what this tool wrote is moved aside (MoveAside), so
// that no state of these names stops every run: the next run indexes the
// card.
#ifndef CARDPREP_HOST_COMMIT_H_
#define CARDPREP_HOST_COMMIT_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/file.h"

// The record, in the card's root.
constexpr char kCommitRecordName[] = ".cardprep-commit";
// What a record, or a temporary or old file that is not one this tool
// wrote, is moved aside as: ".cardprep-commit.not-a-record-PID".
constexpr char kNotARecordTag[] = "not-a-record";
// No record is larger: four files, the longest name and number.
constexpr size_t kMaxCommitRecordSize = 256;

// A record, as its bytes say.
struct CommitFile {
  std::string name;  // "DIRLST16.DAT"
  bool had = false;  // it replaces an old file (else it is new)
};
struct CommitRecord {
  uint32_t pid = 0;
  std::vector<CommitFile> files;  // in the order of renaming
};

// The bytes of |record|.
std::string EncodeCommitRecord(const CommitRecord& record);

enum class RecordForm {
  kWhole,       // a record, byte for byte what EncodeCommitRecord writes
  kCutShort,    // the first bytes of one (none at all too): its writing was cut
  kNotARecord,  // anything else
};
// Reads |bytes| as a record whose files are among |names|, each named once.
// For kWhole fills in |*record|; for kNotARecord says why in |*why|.
RecordForm DecodeCommitRecord(std::string_view bytes, const std::vector<std::string>& names,
                              CommitRecord* record, std::string* why);

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

// Something at one of the commit's names that this tool did not write,
// moved out of the way.
struct MovedAside {
  std::string name;      // its name in the card's root
  std::string moved_to;  // its new name there
  std::string what;      // "a folder", "not a record cardprep wrote"...
};

enum class RecoveryResult {
  kNothing,    // no record: the last commit ended
  kNotBegun,   // a record cut short while it was written: no rename had begun
  kCompleted,  // the renames were completed
  kUndone,     // they were undone
  kFailed,     // neither could be done (|why|); the record stays
};
struct Recovery {
  RecoveryResult result = RecoveryResult::kNothing;
  std::string why;
  std::vector<MovedAside> moved;  // said by the caller, whatever the result
};
// Finishes the commit whose record lies in the working folder, if any, for
// the files |names| may name.
Recovery RecoverCommit(const std::vector<std::string>& names);

// What lies at the record's name in the working folder, looked at without
// changing anything.
enum class RecordState {
  kNone,
  kUnfinished,  // a whole record: a commit was cut short
  kCutShort,    // a record cut short while it was written
  kNotARecord,  // anything else (|why| says what)
  kUnreadable,  // it cannot be read (|why|)
};
struct RecordLook {
  RecordState state = RecordState::kNone;
  std::string why;
};
RecordLook LookAtCommitRecord(const std::vector<std::string>& names);

#endif  // CARDPREP_HOST_COMMIT_H_
