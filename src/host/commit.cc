#include "host/commit.h"

#include <utility>

#include "host/os.h"

namespace {

const char kRecordPath[] = "./.cardprep-commit";
const char kRecordTitle[] = "cardprep commit record";

// One file of a commit, by its three names.
struct Names {
  std::string name;    // "DIRLST16.DAT"
  std::string final_path, temp_path, backup_path;
  bool had = false;    // the card held an old one
};

std::string Said(const char* what, const std::string& name, int error) {
  return std::string(what) + " " + name + ": " + ErrorText(error);
}


std::string RecordText(long pid, const std::vector<Names>& files) {
  std::string text = std::string(kRecordTitle) + "\npid " + std::to_string(pid) + "\n";
  for (const Names& f : files) text += f.name + (f.had ? " replaces\n" : " is new\n");
  return text + "end\n";
}

// Writes the record and forces it, and the folder that holds it, to the
// card; 0 or the error. A record that cannot be made whole is removed.
int WriteRecord(const std::string& text) {
  int fd = -1;
  if (const int error = CreateForWrite(kRecordPath, false, &fd)) return error;
  int error = WriteAll(fd, text.data(), text.size());
  if (error == 0) error = SyncFile(fd);
  const int close_error = CloseFile(fd);
  if (error == 0) error = close_error;
  if (error == 0) error = SyncWorkingFolder();
  if (error != 0) RemovePath(kRecordPath);
  return error;
}

// Reads the record into |*pid| and |*files| (names, and whether each
// replaced an old file); |names| are the files it may name. Returns 1 for a
// whole record, 0 for none, -1 for one cut short while it was written (no
// rename had begun then) or not readable as a record, -2 when it cannot
// be read (|*error|).
int ReadRecord(const std::vector<std::string>& names, long* pid, std::vector<Names>* files,
               int* error) {
  int fd = -1;
  bool missing = false;
  if (const int open_error = OpenForRead(kRecordPath, &fd, &missing)) {
    if (missing) return 0;
    *error = open_error;
    return -2;
  }
  char buffer[1024];
  int read_error = 0;
  const size_t got = ReadFully(fd, buffer, sizeof buffer, &read_error);
  CloseFile(fd);
  if (read_error != 0) {
    *error = read_error;
    return -2;
  }
  std::vector<std::string> lines;
  std::string line;
  for (size_t i = 0; i < got; ++i) {
    if (buffer[i] != '\n') {
      line += buffer[i];
    } else {
      lines.push_back(std::move(line));
      line.clear();
    }
  }
  if (lines.size() < 3 || lines.front() != kRecordTitle || lines.back() != "end" ||
      lines[1].compare(0, 4, "pid ") != 0 || lines.size() - 3 > names.size()) {
    return -1;
  }
  const std::string digits = lines[1].substr(4);
  if (digits.empty() || digits.size() > 9 ||
      digits.find_first_not_of("0123456789") != std::string::npos) {
    return -1;
  }
  *pid = 0;
  for (const char c : digits) *pid = *pid * 10 + (c - '0');
  files->clear();
  for (size_t i = 2; i + 1 < lines.size(); ++i) {
    Names f;
    const size_t space = lines[i].find(' ');
    f.name = lines[i].substr(0, space);
    const std::string rest = space == std::string::npos ? "" : lines[i].substr(space);
    bool known = false;
    for (const std::string& n : names) known = known || n == f.name;
    for (const Names& before : *files) known = known && before.name != f.name;
    if (!known || (rest != " replaces" && rest != " is new")) return -1;
    f.had = rest == " replaces";
    files->push_back(std::move(f));
  }
  return 1;
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

// Completes or undoes the commit of |files| as the card holds it now.
Recovery Finish(const std::vector<Names>& files) {
  Recovery recovery;
  struct State {
    int temp, final, backup;
  };
  std::vector<State> states;
  bool forward = true;
  for (const Names& f : files) {
    int error = 0;
    const State s = {PathExists(f.temp_path, &error), PathExists(f.final_path, &error),
                     PathExists(f.backup_path, &error)};
    if (error != 0) {
      recovery.result = RecoveryResult::kFailed;
      recovery.why = Said("cannot look at", f.name, error);
      return recovery;
    }
    // Forward needs every new file: still aside, or in place already. A
    // new file is in place only where its old one was moved aside first:
    // the old ones are removed after the record, never before.
    const bool placed = s.temp == 0 && s.final == 1 && (!f.had || s.backup == 1);
    forward = forward && (s.temp == 1 || placed);
    states.push_back(s);
  }
  auto move = [&recovery](const std::string& from, const std::string& to, const Names& f) {
    const int error = RenamePath(from, to);
    if (error == 0) return true;
    recovery.result = RecoveryResult::kFailed;
    recovery.why = Said("cannot rename", f.name, error);
    return false;
  };
  if (forward) {
    for (size_t i = 0; i < files.size(); ++i) {
      const Names& f = files[i];
      if (states[i].temp != 1) continue;  // in place
      if (f.had && states[i].final == 1 && states[i].backup != 1 &&
          !move(f.final_path, f.backup_path, f)) {
        return recovery;
      }
      if (!move(f.temp_path, f.final_path, f)) return recovery;
    }
    recovery.result = RecoveryResult::kCompleted;
  } else {
    for (size_t i = files.size(); i-- > 0;) {
      const Names& f = files[i];
      if (states[i].backup == 1) {
        if (!move(f.backup_path, f.final_path, f)) return recovery;
      } else if (!f.had && states[i].final == 1 && states[i].temp != 1) {
        // Put in place by the commit, where the card had none.
        if (const int error = RemovePath(f.final_path)) {
          recovery.result = RecoveryResult::kFailed;
          recovery.why = Said("cannot remove", f.name, error);
          return recovery;
        }
      }
    }
    recovery.result = RecoveryResult::kUndone;
  }
  if (const int error = Conclude(files)) {
    recovery.result = RecoveryResult::kFailed;
    recovery.why = std::string("cannot force the card's folder to the card: ") + ErrorText(error);
  }
  return recovery;
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
    int error = 0;
    const int exists = PathExists(f.final_path, &error);
    if (exists < 0) {
      report.failure = Said("cannot tell whether the card holds", f.name, error);
      return report;
    }
    f.had = exists == 1;
    files.push_back(std::move(f));
  }
  if (const int error = WriteRecord(RecordText(pid, files))) {
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
    const Recovery recovery = Finish(files);
    switch (recovery.result) {
      case RecoveryResult::kNothing:
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

Recovery RecoverCommit(const std::vector<std::string>& names) {
  Recovery recovery;
  long pid = 0;
  std::vector<Names> files;
  int error = 0;
  const int read = ReadRecord(names, &pid, &files, &error);
  if (read == 0) return recovery;
  if (read == -2) {
    recovery.result = RecoveryResult::kFailed;
    recovery.why = std::string("cannot read ") + kCommitRecordName + ": " + ErrorText(error);
    return recovery;
  }
  if (read == -1) {
    // Written in part: the renames had not begun.
    if (const int remove_error = RemovePath(kRecordPath)) {
      recovery.result = RecoveryResult::kFailed;
      recovery.why = std::string("cannot remove ") + kCommitRecordName + ": " + ErrorText(remove_error);
      return recovery;
    }
    recovery.result = RecoveryResult::kUndone;
    return recovery;
  }
  NameFiles(pid, &files);
  return Finish(files);
}

bool CommitUnfinished() {
  int error = 0;
  return PathExists(kRecordPath, &error) == 1;
}
