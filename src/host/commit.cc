#include "host/commit.h"

#include <utility>

#include "host/os.h"

namespace {

const char kRecordPath[] = "./.cardprep-commit";
const char kRecordTitle[] = "cardprep commit record";
const char kPidLine[] = "pid ";
const char kEndLine[] = "end";
const char kReplaces[] = " replaces";
const char kIsNew[] = " is new";
constexpr size_t kMaxPidDigits = 10;  // 4294967295

// One file of a commit, by its three names.
struct Names {
  std::string name;    // "DIRLST16.DAT"
  std::string final_path, temp_path, backup_path;
  bool had = false;    // the card held an old one
};

std::string Said(const char* what, const std::string& name, int error) {
  return std::string(what) + " " + name + ": " + ErrorText(error);
}

// A path in the working folder as messages name it: "./X" as "X".
std::string NameOf(const std::string& path) {
  return path.compare(0, 2, "./") == 0 ? path.substr(2) : path;
}

bool BeginsWith(std::string_view text, std::string_view start) {
  return text.size() >= start.size() && text.substr(0, start.size()) == start;
}

// Whether |part| is how |whole| begins.
bool Begins(std::string_view part, std::string_view whole) { return BeginsWith(whole, part); }

// Whether |digits| begin a process number (all of it with |whole|): 1 to
// 4294967295, no leading zero; its value in |*pid|.
bool ProcessDigits(std::string_view digits, bool whole, uint32_t* pid) {
  if (digits.empty()) return !whole;
  if (digits.size() > kMaxPidDigits || digits[0] == '0') return false;
  uint64_t value = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  if (value > UINT32_MAX) return false;
  *pid = static_cast<uint32_t>(value);
  return true;
}

// Where a record's lines stand while it is read.
struct RecordReading {
  const std::vector<std::string>* names;
  std::vector<bool> named;  // by |names|: named by a line already
  size_t line = 0;          // lines read whole
  bool ended = false;       // "end" was read
};

// Whether |text|, the last line of a record left without its line feed,
// begins a line that may come next.
bool BeginsALine(const RecordReading& r, const CommitRecord& record, std::string_view text) {
  uint32_t pid = 0;
  if (r.line == 0) return Begins(text, kRecordTitle);
  if (r.line == 1) {
    return Begins(text, kPidLine) ||
           (BeginsWith(text, kPidLine) && ProcessDigits(text.substr(4), false, &pid));
  }
  if (!record.files.empty() && Begins(text, kEndLine)) return true;
  for (size_t i = 0; i < r.names->size(); ++i) {
    const std::string& name = (*r.names)[i];
    if (!r.named[i] && (Begins(text, name + kReplaces) || Begins(text, name + kIsNew))) {
      return true;
    }
  }
  return false;
}

// Takes the whole line |text| of a record; false with |*why| when it may
// not stand there.
bool TakeLine(RecordReading* r, CommitRecord* record, std::string_view text, std::string* why) {
  const std::string where = "line " + std::to_string(r->line + 1) + " ";
  if (r->line == 0) {
    if (text == kRecordTitle) return true;
    *why = "it does not begin as a record";
    return false;
  }
  if (r->line == 1) {
    if (BeginsWith(text, kPidLine) && ProcessDigits(text.substr(4), true, &record->pid)) return true;
    *why = where + "is no process number";
    return false;
  }
  if (text == kEndLine) {
    if (record->files.empty()) {
      *why = "it names no file";
      return false;
    }
    r->ended = true;
    return true;
  }
  CommitFile file;
  if (text.size() > sizeof kReplaces - 1 &&
      text.substr(text.size() - (sizeof kReplaces - 1)) == kReplaces) {
    file.had = true;
    file.name = std::string(text.substr(0, text.size() - (sizeof kReplaces - 1)));
  } else if (text.size() > sizeof kIsNew - 1 &&
             text.substr(text.size() - (sizeof kIsNew - 1)) == kIsNew) {
    file.name = std::string(text.substr(0, text.size() - (sizeof kIsNew - 1)));
  } else {
    *why = where + "is malformed";
    return false;
  }
  for (size_t i = 0; i < r->names->size(); ++i) {
    if ((*r->names)[i] != file.name) continue;
    if (r->named[i]) {
      *why = where + "names a file a second time";
      return false;
    }
    r->named[i] = true;
    record->files.push_back(std::move(file));
    return true;
  }
  *why = where + "names a file that is not one of the index";
  return false;
}

// Writes the record and forces it, and the folder that holds it, to the
// card; 0 or the error. It is made anew, never written through whatever
// stands at its name (a link to a file elsewhere, say). A record that
// cannot be made whole is removed.
int WriteRecord(const std::string& text) {
  int fd = -1;
  if (const int error = CreateForWrite(kRecordPath, true, &fd)) return error;
  int error = WriteAll(fd, text.data(), text.size());
  if (error == 0) error = SyncFile(fd);
  const int close_error = CloseFile(fd);
  if (error == 0) error = close_error;
  if (error == 0) error = SyncWorkingFolder();
  if (error != 0) RemovePath(kRecordPath);
  return error;
}

// What lies at the record's name.
struct RecordRead {
  RecordState state = RecordState::kNone;
  CommitRecord record;  // kUnfinished
  std::string why;      // kNotARecord, kUnreadable
};

RecordRead ReadRecord(const std::vector<std::string>& names) {
  RecordRead read;
  int fd = -1;
  NodeKind kind = NodeKind::kMissing;
  if (const int error = OpenFileNoFollow(kRecordPath, &fd, &kind)) {
    // This tool's own record it may always read: one it may not is another's.
    read.state = AccessDenied(error) ? RecordState::kNotARecord : RecordState::kUnreadable;
    read.why = AccessDenied(error) ? "it may not be read: " + ErrorText(error) : ErrorText(error);
    return read;
  }
  if (kind == NodeKind::kMissing) return read;
  if (kind != NodeKind::kFile) {
    read.state = RecordState::kNotARecord;
    read.why = NodeKindName(kind);
    return read;
  }
  const UniqueFd owned(fd);
  // One byte more than a record may hold tells one that is larger, which
  // is read no further.
  char buffer[kMaxCommitRecordSize + 1];
  int error = 0;
  const size_t got = ReadFully(fd, buffer, sizeof buffer, &error);
  if (error != 0) {
    read.state = RecordState::kUnreadable;
    read.why = ErrorText(error);
    return read;
  }
  switch (DecodeCommitRecord(std::string_view(buffer, got), names, &read.record, &read.why)) {
    case RecordForm::kWhole: read.state = RecordState::kUnfinished; break;
    case RecordForm::kCutShort: read.state = RecordState::kCutShort; break;
    case RecordForm::kNotARecord: read.state = RecordState::kNotARecord; break;
  }
  return read;
}

void NameFiles(long pid, std::vector<Names>* files) {
  for (Names& f : *files) {
    f.final_path = "./" + f.name;
    f.temp_path = AsidePath(f.final_path, pid);
    f.backup_path = BackupPath(f.final_path, pid);
  }
}

// Removes the record and then the old files, once every new file is in
// place and forced to the card. Returns 0 or the error of forcing the
// folder (the record then stays, for the next run to make sure).
int Conclude(const std::vector<Names>& files) {
  if (const int error = SyncWorkingFolder()) return error;
  bool missing = false;
  if (const int error = RemovePath(kRecordPath, &missing)) {
    if (!missing) return error;
  }
  SyncWorkingFolder();
  for (const Names& f : files) RemovePath(f.backup_path);
  return 0;
}

// The renames of a commit, as its own process makes them. Fixed size: it
// is sent whole over a pipe.
struct StepReport {
  int32_t failed_step = -1;  // the rename that failed, or -1
  int32_t error = 0;         // its error
  int32_t undo_error = 0;    // the error that stopped undoing, or 0
  int32_t conclude_error = 0;  // the error of concluding, or 0
};

struct Step {
  const char* from;
  const char* to;
};

void RunSteps(const std::vector<Step>& steps, const std::vector<Names>& files,
              StepReport* report) {
  size_t done = 0;
  for (; done < steps.size(); ++done) {
    if (const int error = RenamePath(steps[done].from, steps[done].to)) {
      report->failed_step = static_cast<int32_t>(done);
      report->error = error;
      break;
    }
  }
  if (report->failed_step < 0) {
    report->conclude_error = Conclude(files);
    return;
  }
  while (done-- > 0) {
    if (const int error = RenamePath(steps[done].to, steps[done].from)) {
      report->undo_error = error;
      return;
    }
  }
  // Undone: nothing of the commit is left but the record.
  if (const int error = SyncWorkingFolder()) {
    report->undo_error = error;
    return;
  }
  RemovePath(kRecordPath);
  SyncWorkingFolder();
}

// What the renaming process is given.
struct StepRun {
  const std::vector<Step>* steps;
  const std::vector<Names>* files;
};
void RunStepsOf(void* context, void* report) {
  const auto* run = static_cast<const StepRun*>(context);
  RunSteps(*run->steps, *run->files, static_cast<StepReport*>(report));
}

std::vector<Step> StepsOf(const std::vector<Names>& files) {
  std::vector<Step> steps;
  for (const Names& f : files) {
    if (f.had) steps.push_back({f.final_path.c_str(), f.backup_path.c_str()});
    steps.push_back({f.temp_path.c_str(), f.final_path.c_str()});
  }
  return steps;
}

// Which file a step moves.
const Names& FileOf(const std::vector<Names>& files, size_t step) {
  size_t at = 0;
  for (const Names& f : files) {
    at += f.had ? 2 : 1;
    if (step < at) return f;
  }
  return files.back();
}

// Completes or undoes the commit of |files| as the card holds it now, into
// |*recovery|. Only regular files are renamed into an index file's name:
// anything else at a temporary or old name is moved aside first.
void Finish(const std::vector<Names>& files, Recovery* recovery) {
  struct State {
    NodeKind temp, final, backup;
  };
  auto fail = [recovery](std::string why) {
    recovery->result = RecoveryResult::kFailed;
    recovery->why = std::move(why);
  };
  // What stands at |path|, moved aside unless it is nothing or a regular file.
  auto regular_or_none = [&](const std::string& path, NodeKind* kind) {
    if (const int error = NodeAt(path, kind)) {
      fail(Said("cannot look at", NameOf(path), error));
      return false;
    }
    if (*kind == NodeKind::kMissing || *kind == NodeKind::kFile) return true;
    std::string moved_to, why;
    if (!MoveAside(path, kNotARecordTag, &moved_to, &why)) {
      fail("cannot move " + NameOf(path) + " aside: " + why);
      return false;
    }
    recovery->moved.push_back({NameOf(path), NameOf(moved_to), NodeKindName(*kind)});
    *kind = NodeKind::kMissing;
    return true;
  };
  std::vector<State> states;
  for (const Names& f : files) {
    State s;
    if (!regular_or_none(f.temp_path, &s.temp) || !regular_or_none(f.backup_path, &s.backup)) {
      return;
    }
    if (const int error = NodeAt(f.final_path, &s.final)) {
      fail(Said("cannot look at", f.name, error));
      return;
    }
    states.push_back(s);
  }
  // No file takes the place of a folder or a device.
  auto blocked = [](NodeKind kind) { return kind == NodeKind::kFolder || kind == NodeKind::kDevice; };
  bool forward = true;
  for (size_t i = 0; i < files.size(); ++i) {
    const State& s = states[i];
    // Forward needs every new file: still aside, or in place already. A
    // new file is in place only where its old one was moved aside first:
    // the old ones are removed after the record, never before.
    const bool placed = s.temp == NodeKind::kMissing && s.final == NodeKind::kFile &&
                        (!files[i].had || s.backup == NodeKind::kFile);
    forward = forward && ((s.temp == NodeKind::kFile && !blocked(s.final)) || placed);
  }
  auto move = [&](const std::string& from, const std::string& to, const Names& f) {
    const int error = RenamePath(from, to);
    if (error != 0) fail(Said("cannot rename", f.name, error));
    return error == 0;
  };
  if (forward) {
    for (size_t i = 0; i < files.size(); ++i) {
      const Names& f = files[i];
      const State& s = states[i];
      if (s.temp != NodeKind::kFile) continue;  // in place
      if (f.had && s.final != NodeKind::kMissing && s.backup != NodeKind::kFile &&
          !move(f.final_path, f.backup_path, f)) {
        return;
      }
      if (!move(f.temp_path, f.final_path, f)) return;
    }
    recovery->result = RecoveryResult::kCompleted;
  } else {
    // The renames go in the record's order, an old file aside before its
    // new one takes its place: an old file set aside after the i-th file
    // shows that the i-th was put in place by the commit.
    std::vector<bool> passed(files.size(), false);
    for (size_t i = files.size(); i-- > 1;) {
      passed[i - 1] = passed[i] || (files[i].had && states[i].backup == NodeKind::kFile);
    }
    for (size_t i = files.size(); i-- > 0;) {
      const Names& f = files[i];
      const State& s = states[i];
      if (s.backup == NodeKind::kFile) {
        if (!blocked(s.final) && !move(f.backup_path, f.final_path, f)) return;
      } else if (!f.had && s.final == NodeKind::kFile && s.temp == NodeKind::kMissing &&
                 passed[i]) {
        // Put in place by the commit, where the card had none. One that may
        // have been there before the commit is left as it is.
        if (const int error = RemovePath(f.final_path)) {
          fail(Said("cannot remove", f.name, error));
          return;
        }
      }
    }
    recovery->result = RecoveryResult::kUndone;
  }
  if (const int error = Conclude(files)) {
    fail(std::string("cannot force the card's folder to the card: ") + ErrorText(error));
  }
}

}  // namespace

CommitReport CommitTogether(const std::vector<OutFile*>& outputs) {
  CommitReport report;
  const long pid = OwnProcessId();
  std::vector<Names> files;
  for (const OutFile* out : outputs) {
    Names f;
    f.name = out->name;
    f.final_path = out->final_path;
    f.temp_path = out->temp_path;
    f.backup_path = BackupPath(out->final_path, pid);
    NodeKind kind = NodeKind::kMissing;
    if (const int error = NodeAt(f.final_path, &kind)) {
      report.failure = Said("cannot tell whether the card holds", f.name, error);
      return report;
    }
    f.had = kind != NodeKind::kMissing;
    files.push_back(std::move(f));
  }
  CommitRecord record;
  record.pid = static_cast<uint32_t>(pid);
  for (const Names& f : files) record.files.push_back({f.name, f.had});
  if (const int error = WriteRecord(EncodeCommitRecord(record))) {
    report.failure = std::string("cannot write the record of the commit, ") + kCommitRecordName +
                     ": " + ErrorText(error);
    return report;
  }

  const std::vector<Step> steps = StepsOf(files);
  StepRun run = {&steps, &files};
  StepReport steps_report;
  const bool heard = RunUncut(RunStepsOf, &run, &steps_report, sizeof steps_report,
                              &report.report_lost);
  if (!heard) {
    // Whatever it did, the card says; what it left is finished here.
    Recovery recovery;
    Finish(files, &recovery);
    switch (recovery.result) {
      case RecoveryResult::kNothing:
      case RecoveryResult::kNotBegun:
      case RecoveryResult::kCompleted:
        report.result = CommitResult::kDone;
        break;
      case RecoveryResult::kUndone:
        report.result = CommitResult::kUndone;
        report.failure = "the renames were undone";
        break;
      case RecoveryResult::kFailed:
        report.result = CommitResult::kUnfinished;
        report.failure = recovery.why;
        break;
    }
    return report;
  }
  if (steps_report.failed_step < 0) {
    report.result = CommitResult::kDone;
    if (steps_report.conclude_error != 0) report.sync_failure = ErrorText(steps_report.conclude_error);
    return report;
  }
  const Names& failed = FileOf(files, static_cast<size_t>(steps_report.failed_step));
  report.failure = "cannot put " + failed.name + " in place: " + ErrorText(steps_report.error);
  if (steps_report.undo_error == 0) {
    report.result = CommitResult::kUndone;
  } else {
    report.result = CommitResult::kUnfinished;
    report.failure += std::string("; undoing the renames made failed too: ") +
                      ErrorText(steps_report.undo_error);
  }
  return report;
}

std::string EncodeCommitRecord(const CommitRecord& record) {
  std::string text = std::string(kRecordTitle) + "\n" + kPidLine + std::to_string(record.pid) + "\n";
  for (const CommitFile& f : record.files) text += f.name + (f.had ? kReplaces : kIsNew) + "\n";
  return text + kEndLine + "\n";
}

RecordForm DecodeCommitRecord(std::string_view bytes, const std::vector<std::string>& names,
                              CommitRecord* record, std::string* why) {
  *record = CommitRecord();
  auto not_a_record = [&](std::string reason) {
    *record = CommitRecord();
    *why = std::move(reason);
    return RecordForm::kNotARecord;
  };
  if (bytes.size() > kMaxCommitRecordSize) return not_a_record("it is larger than any record");
  RecordReading reading;
  reading.names = &names;
  reading.named.assign(names.size(), false);
  for (size_t at = 0;; ++reading.line) {
    const size_t feed = bytes.find('\n', at);
    const std::string_view text = bytes.substr(at, feed == std::string_view::npos ? bytes.size() - at
                                                                                  : feed - at);
    if (reading.ended) {
      if (feed == std::string_view::npos && text.empty()) return RecordForm::kWhole;
      return not_a_record("bytes follow its end");
    }
    if (feed == std::string_view::npos) {
      // Its writing was cut before this line's end.
      if (!BeginsALine(reading, *record, text)) {
        return not_a_record(reading.line == 0 ? "it does not begin as a record"
                                              : "line " + std::to_string(reading.line + 1) +
                                                    " is malformed");
      }
      *record = CommitRecord();
      return RecordForm::kCutShort;
    }
    std::string reason;
    if (!TakeLine(&reading, record, text, &reason)) return not_a_record(reason);
    at = feed + 1;
  }
}

Recovery RecoverCommit(const std::vector<std::string>& names) {
  Recovery recovery;
  const RecordRead read = ReadRecord(names);
  switch (read.state) {
    case RecordState::kNone:
      return recovery;
    case RecordState::kUnreadable:
      recovery.result = RecoveryResult::kFailed;
      recovery.why = std::string("cannot read ") + kCommitRecordName + ": " + read.why;
      return recovery;
    case RecordState::kNotARecord: {
      // No rename can have begun under it: only a whole record, forced to
      // the card, lets a commit begin.
      std::string moved_to, why;
      if (!MoveAside(kRecordPath, kNotARecordTag, &moved_to, &why)) {
        recovery.result = RecoveryResult::kFailed;
        recovery.why = std::string("cannot move ") + kCommitRecordName + " aside: " + why;
        return recovery;
      }
      recovery.moved.push_back({kCommitRecordName, NameOf(moved_to), read.why});
      return recovery;
    }
    case RecordState::kCutShort:
      // Written in part: the renames had not begun.
      if (const int error = RemovePath(kRecordPath)) {
        recovery.result = RecoveryResult::kFailed;
        recovery.why = std::string("cannot remove ") + kCommitRecordName + ": " + ErrorText(error);
        return recovery;
      }
      recovery.result = RecoveryResult::kNotBegun;
      return recovery;
    case RecordState::kUnfinished:
      break;
  }
  std::vector<Names> files;
  for (const CommitFile& f : read.record.files) {
    Names n;
    n.name = f.name;
    n.had = f.had;
    files.push_back(std::move(n));
  }
  NameFiles(static_cast<long>(read.record.pid), &files);
  Finish(files, &recovery);
  return recovery;
}

RecordLook LookAtCommitRecord(const std::vector<std::string>& names) {
  const RecordRead read = ReadRecord(names);
  return {read.state, read.why};
}
