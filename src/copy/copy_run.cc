#include "copy/copy_run.h"

#include <algorithm>
#include <map>
#include <utility>

#include "copy/card_names.h"
#include "copy/copy_jobs.h"
#include "copy/copy_plan.h"
#include "copy/copy_record.h"
#include "copy/copy_sources.h"
#include "copy/id3_tag.h"
#include "host/console.h"
#include "host/file.h"
#include "host/folder.h"
#include "host/process_pool.h"
#include "host/program.h"
#include "host/stop.h"
#include "host/system.h"
#include "text/card_path.h"
#include "text/utf.h"

namespace {

constexpr int kWaitMs = 100;
// How much of an MP3 file's head and tail tells it from another of the same
// size: its tags lie there.
constexpr uint64_t kCompareHead = 256 * 1024, kCompareTail = 64 * 1024;
// A card with less room than this (a song of four minutes at 256 kbit/s)
// that fails a write is full.
constexpr int64_t kFullCardBytes = 8 << 20;
// The most of a file's ID3v2 tag read to find its origin.
constexpr size_t kMaxTagRead = 16 << 20;

const char kStopNote[] =
    "every file put in place is whole, and nothing partial is left; run cardprep-copy again to "
    "copy the rest (it copies only what is missing)";

// "1 file", "2 files".
std::string Count(size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// "25 s", "43 min", "1 h 12 min".
std::string Duration(int64_t ms) {
  const int64_t seconds = (ms + 500) / 1000;
  if (seconds < 60) return std::to_string(seconds) + " s";
  const int64_t minutes = (seconds + 30) / 60;
  if (minutes < 60) return std::to_string(minutes) + " min";
  return std::to_string(minutes / 60) + " h " + std::to_string(minutes % 60) + " min";
}

// A file a killed run left in a folder of the card: ".NAME.mp3.cardprep-PID".
bool IsCopyLeftover(const std::u16string& name) {
  static const std::u16string kTag = u".cardprep-";
  const size_t tag = name.rfind(kTag);
  if (name.empty() || name[0] != u'.' || tag == std::u16string::npos || tag < 5) return false;
  const std::u16string final_name = name.substr(1, tag - 1);
  if (FatKey(ExtensionOf(final_name)) != u".mp3") return false;
  const size_t digits = tag + kTag.size();
  return digits < name.size() && std::all_of(name.begin() + static_cast<long>(digits), name.end(),
                                             [](char16_t u) { return u >= u'0' && u <= u'9'; });
}

bool StampEveryFile(std::string_view) { return true; }

// The card's folders, as planning sees them.
bool ListCardFolder(bool dry_run, const std::u16string& card_path, std::vector<CardEntry>* out) {
  std::vector<FolderEntry> entries;
  std::string why, read_error;
  const std::string host = HostPath(card_path);
  if (!ListHostFolder(host, &entries, &why, &read_error, nullptr, StampEveryFile)) return false;
  for (const FolderEntry& entry : entries) {
    CardEntry card_entry;
    if (!Utf8ToUtf16(entry.host_name, &card_entry.name)) {
      // Not a name this tool gives; kept in the way of no name it gives.
      continue;
    }
    if (IsCopyLeftover(card_entry.name) && entry.kind == EntryKind::kFile) {
      if (!dry_run) (void)RemoveFile(host + "/" + entry.host_name, &why);
      continue;
    }
    card_entry.folder = entry.kind == EntryKind::kFolder;
    card_entry.stamp = entry.stamp;
    out->push_back(std::move(card_entry));
  }
  return true;
}

// Whether the MP3 file at |card| holds what |source| holds: the same size,
// head and tail.
bool SameBytes(const std::string& card, const std::string& source, uint64_t size) {
  UniqueFd a, b;
  uint64_t a_size = 0, b_size = 0;
  std::string why;
  if (!OpenRegularFile(card, &a, &a_size, &why) || !OpenRegularFile(source, &b, &b_size, &why) ||
      a_size != size || b_size != size) {
    return false;
  }
  for (const auto& [from, length] :
       {std::pair<uint64_t, uint64_t>{0, std::min(size, kCompareHead)},
        std::pair<uint64_t, uint64_t>{size - std::min(size, kCompareTail),
                                      std::min(size, kCompareTail)}}) {
    std::string x(static_cast<size_t>(length), '\0'), y(static_cast<size_t>(length), '\0');
    if (ReadAt(a.get(), from, x.data(), x.size()) != x.size() ||
        ReadAt(b.get(), from, y.data(), y.size()) != y.size() || x != y) {
      return false;
    }
  }
  return true;
}

// Whether the file at |card_path|, which the record does not name, is an
// up-to-date copy of |wanted|: by the origin in its tag, or by its bytes.
bool IsCopyOf(const std::u16string& card_path, const Origin& wanted) {
  const std::string host = HostPath(card_path);
  if (wanted.kind == CopyKind::kAsIs) return SameBytes(host, wanted.source, wanted.stamp.size);
  std::vector<uint8_t> head;
  uint64_t size = 0;
  std::string why;
  if (!ReadFileUpTo(host, kId3HeaderSize, &head, &size, &why)) return false;
  const size_t tag = Id3TagSize(std::string_view(reinterpret_cast<const char*>(head.data()), head.size()));
  if (tag == 0 || tag > kMaxTagRead || !ReadFileUpTo(host, tag, &head, &size, &why)) return false;
  std::string bytes(head.begin(), head.end()), origin_bytes;
  Origin origin;
  return FindOrigin(bytes, &origin_bytes) && DecodeOrigin(origin_bytes, &origin) &&
         UpToDate(origin, wanted);
}

// Whether the sources may be copied onto this card: none of them is the
// card or lies on it, and the card lies in none of them.
bool CheckSourcesAgainstCard(const CopyOptions& options) {
  bool ok = true;
  for (size_t i = 0; i < options.sources.size(); ++i) {
    const std::string folder = SourceFolderOf(options.sources[i]);
    const bool folder_source = folder == options.sources[i];
    const bool on_card = FolderWithin(folder, ".");
    const bool holds_card = folder_source && FolderWithin(".", folder);
    if (on_card && holds_card) {
      Error("%s is the card itself: cardprep-copy copies music onto the card from elsewhere; "
            "nothing was copied", options.given[i].c_str());
    } else if (on_card) {
      Error("%s lies on the card itself: cardprep-copy copies music onto the card from "
            "elsewhere (to move it on the card, use your file manager); nothing was copied",
            options.given[i].c_str());
    } else if (holds_card) {
      Error("%s holds the card itself, which would be copied into itself: give the folders "
            "to copy; nothing was copied", options.given[i].c_str());
    } else {
      continue;
    }
    ok = false;
  }
  return ok;
}

// Whether the target folder, and every folder on its way, is a folder or
// not there yet.
bool CheckTarget(const CopyOptions& options) {
  std::u16string path;
  for (size_t at = 0; at < options.to.size();) {
    const size_t next = std::min(options.to.find(u'\\', at + 1), options.to.size());
    path = options.to.substr(0, next);
    std::string why;
    const PathKind kind = KindOfPath(HostPath(path), &why);
    if (kind == PathKind::kMissing) return true;
    if (kind != PathKind::kFolder) {
      Error("--to %s: %s on the card is %s; nothing was copied", options.to_given.c_str(),
            CardPathSaid(path).c_str(),
            kind == PathKind::kUnknown ? ("unreadable (" + why + ")").c_str() : "not a folder");
      return false;
    }
    at = next;
  }
  return true;
}

// What the run has done so far, for the progress line and the summary.
struct CopyProgress {
  int64_t start_ms = 0;
  uint64_t total_bytes = 0;
  size_t handed_back = 0;
};

// "cardprep-copy: 12/300 files, 43.2 min of audio, 118x real time, about
// 6 min left", the time left from the bytes of the sources read.
void ShowCopyProgress(const std::vector<CopyJob>& jobs, const CopyProgress& progress) {
  if (!ProgressDue(progress.handed_back == 0)) return;
  uint64_t bytes = 0, audio_ms = 0;
  for (const CopyJob& job : jobs) {
    bytes += job.progress.source_bytes.load();
    audio_ms += job.progress.audio_ms.load();
  }
  const int64_t elapsed = NowMs() - progress.start_ms;
  char line[200];
  int n = snprintf(line, sizeof line, "cardprep-copy: %zu/%zu files, %.1f min of audio",
                   progress.handed_back, jobs.size(), static_cast<double>(audio_ms) / 60000.0);
  if (elapsed >= 500 && bytes > 0 && n > 0) {
    const double left = static_cast<double>(elapsed) *
                        static_cast<double>(progress.total_bytes - std::min(bytes, progress.total_bytes)) /
                        static_cast<double>(bytes);
    snprintf(line + n, sizeof line - static_cast<size_t>(n),
             ", %.0fx real time, about %s left",
             static_cast<double>(audio_ms) / static_cast<double>(elapsed),
             Duration(static_cast<int64_t>(left)).c_str());
  }
  ShowProgress(line);
}

// "Music/A/01.flac -> /A/01.mp3 (encoded, 3:25)".
void TraceFile(const CopyJob& job, bool dry_run) {
  const PlannedFile& planned = *job.planned;
  const char* verb = planned.source->kind == CopyKind::kEncoded
                         ? (dry_run ? "would encode" : "encoded")
                         : (dry_run ? "would copy" : "copied");
  Out("%s %s -> %s\n", verb, planned.source->shown.c_str(), job.shown.c_str());
}

// The run's own state: what it planned and what it has done.
class CopyRun {
 public:
  explicit CopyRun(const CopyOptions& options) : options_(options) {}

  CopyReport Run() {
    InstallStopHandlers(kStopNote);
    report_.listed = ListSources(options_.sources, options_.given, &sources_, &tally_) &&
                     CheckSourcesAgainstCard(options_) && CheckTarget(options_);
    report_.others = tally_.others;
    if (!report_.listed) return report_;
    (void)LoadCopyRecord(&record_);
    CardView card;
    const bool dry_run = options_.dry_run;
    card.list = [dry_run](const std::u16string& path, std::vector<CardEntry>* entries) {
      return ListCardFolder(dry_run, path, entries);
    };
    card.is_copy_of = IsCopyOf;
    CopySettings settings;
    settings.quality = options_.quality;
    settings.to = options_.to;
    plan_ = PlanCopy(sources_, settings, record_, card);
    MakeJobs();
    SayRenamings();
    for (const std::string& line : plan_.left_out) Warn("%s", line.c_str());
    if (options_.dry_run) {
      for (const CopyJob& job : jobs_) TraceFile(job, true);
    } else if (MakeFolders()) {
      Copy();
    }
    Finish();
    return report_;
  }

 private:
  void MakeJobs() {
    size_t count = 0;
    for (const PlannedFile& file : plan_.files) {
      if (file.action == FileAction::kUpToDate) {
        ++report_.up_to_date;
      } else {
        ++count;
      }
    }
    jobs_ = std::vector<CopyJob>(count);  // made in place: a job holds atomics
    size_t next = 0;
    for (const PlannedFile& file : plan_.files) {
      if (file.action == FileAction::kUpToDate) continue;
      CopyJob& job = jobs_[next++];
      job.planned = &file;
      job.target = HostPath(PlannedPath(file));
      job.shown = CardPathSaid(PlannedPath(file));
      job.quality = options_.quality;
      progress_.total_bytes += file.source->stamp.size;
    }
  }

  // Says the renamings of what this run writes.
  void SayRenamings() {
    for (const Renaming& renaming : plan_.renamed) {
      const bool written = std::any_of(jobs_.begin(), jobs_.end(), [&](const CopyJob& job) {
        const std::u16string path = PlannedPath(*job.planned);
        return std::any_of(renaming.under.begin(), renaming.under.end(),
                           [&](const std::u16string& under) { return PathUnder(path, under); });
      });
      if (written) Warn("%s", renaming.line.c_str());
    }
  }

  // Makes the new folders, parents first. False after an error line when
  // one cannot be made: nothing is copied then.
  bool MakeFolders() {
    for (const std::u16string& folder : plan_.new_folders) {
      std::string why;
      if (!MakeFolderNoFollow(HostPath(folder), &why)) {
        Error("cannot make the folder %s on the card: %s; nothing was copied",
              CardPathSaid(folder).c_str(), why.c_str());
        report_.card_failed = true;
        return false;
      }
      made_.push_back(folder);
    }
    return true;
  }

  void Copy() {
    int threads = options_.jobs > 0 ? options_.jobs : ProcessorCount();
    threads = std::max(1, std::min(threads, kMaxCopyJobs));
    progress_.start_ms = NowMs();
    StartJobs(&jobs_, threads, &pool_);
    ShowCopyProgress(jobs_, progress_);
    std::vector<bool> back(jobs_.size());
    auto take = [&](const std::vector<size_t>& finished) {
      for (const size_t index : finished) {
        if (back[index]) continue;
        back[index] = true;
        ++progress_.handed_back;
        TakeBack(&jobs_[index]);
      }
    };
    while (progress_.handed_back < jobs_.size() && !report_.card_failed) {
      const std::vector<size_t> finished = TakeFinished(&pool_, kWaitMs);
      if (finished.empty() && pool_.threads.empty()) break;  // done, without threads
      take(finished);
      ShowCopyProgress(jobs_, progress_);
    }
    // After a failure of the card, what is under way stops and is taken
    // back (and removed); nothing more is begun.
    CancelJobs(&pool_);
    take(JoinJobs(&pool_));
    for (size_t i = 0; i < jobs_.size(); ++i) {
      if (!back[i]) ++report_.not_begun;
    }
    EndProgress();
    report_.elapsed_ms = NowMs() - progress_.start_ms;
  }

  // Takes a finished job back: puts its file in place, or says why not.
  void TakeBack(CopyJob* job) {
    const SourceFile& source = *job->planned->source;
    const TranscodeResult& result = job->result;
    if (!job->ok) {
      switch (result.failure) {
        case TranscodeFailure::kCancelled:
        case TranscodeFailure::kNone:
          ++report_.not_begun;
          return;
        case TranscodeFailure::kOutput:
          CardFailed(*job, result.output_error, result.why);
          ++report_.not_begun;
          return;
        default:
          Warn("%s: %s; it is not copied", source.shown.c_str(), result.why.c_str());
          ++report_.not_copied;
          return;
      }
    }
    int error = 0;
    bool taken = false;
    if (job->planned->action == FileAction::kReplace) {
      if (!ReplaceWithAside(&job->out)) error = job->out.error != 0 ? job->out.error : -1;
    } else {
      error = PlaceAsideNoReplace(&job->out, &taken);
    }
    if (taken) {
      Warn("%s: %s appeared on the card while it was written, and is left as it is; the copy "
           "was not put there (run cardprep-copy again)",
           source.shown.c_str(), job->shown.c_str());
      DiscardAside(&job->out);
      ++report_.not_copied;
      return;
    }
    if (error != 0) {
      DiscardAside(&job->out);
      CardFailed(*job, error, error > 0 ? ErrorText(error) : "it could not be put in place");
      ++report_.not_begun;
      return;
    }
    CopiedFile copied;
    copied.card_path = PlannedPath(*job->planned);
    copied.origin = job->planned->origin;
    std::string why;
    if (StampPath(job->target, &copied.card_stamp, &why)) placed_.push_back(std::move(copied));
    written_folders_[FatKey(job->planned->folder)] = job->planned->folder;
    ++report_.written;
    if (source.kind == CopyKind::kEncoded) {
      ++report_.encoded;
      report_.audio_ms += result.samples * 1000 / static_cast<uint64_t>(std::max(result.rate, 1));
    }
    if (job->planned->action == FileAction::kReplace) ++report_.replaced;
    TraceFile(*job, false);
  }

  // The card took no more, or failed: said once; the run stops.
  void CardFailed(const CopyJob& job, int error, const std::string& why) {
    if (report_.card_failed) return;
    report_.card_failed = true;
    // FAT through FUSE says "Operation not permitted" when it is full: a
    // card with less room than one more song holds is full, whatever it said.
    const int64_t free_bytes = FreeBytes(".");
    card_full_ = IsNoSpaceError(error) || (free_bytes >= 0 && free_bytes < kFullCardBytes);
    report_.card_full = card_full_;
    card_failure_ = "cannot write " + job.shown + ": " + why;
  }

  // Removes the folders made for files that never came, and forces what was
  // written to the card.
  void Tidy() {
    for (auto folder = made_.rbegin(); folder != made_.rend(); ++folder) {
      std::string why;
      (void)RemoveEmptyFolder(HostPath(*folder), &why);
    }
    for (const auto& [key, folder] : written_folders_) {
      std::string why;
      if (!SyncFolder(HostPath(folder), &why)) {
        Error("cannot force the folder %s to the card (%s): if it is pulled now, it may not "
              "hold what was copied; run cardprep-copy again before you remove it",
              CardPathSaid(folder).c_str(), why.c_str());
      }
    }
  }

  // The record: what it held and is still on the card, with what this run
  // put in place or found there.
  void KeepRecord() {
    std::map<std::u16string, CopiedFile> files;
    for (const CopiedFile& file : record_.files) {
      if (KindOfPath(HostPath(file.card_path)) == PathKind::kFile) {
        files[FatKey(file.card_path)] = file;
      }
    }
    for (const PlannedFile& planned : plan_.files) {
      if (!planned.adopted) continue;
      CopiedFile file;
      file.card_path = PlannedPath(planned);
      file.origin = planned.origin;
      std::string why;
      if (StampPath(HostPath(file.card_path), &file.card_stamp, &why)) {
        files[FatKey(file.card_path)] = std::move(file);
      }
    }
    for (CopiedFile& file : placed_) files[FatKey(file.card_path)] = std::move(file);
    CopyRecord record;
    for (auto& [key, file] : files) record.files.push_back(std::move(file));
    const bool same = record.files.size() == record_.files.size() &&
                      EncodeCopyRecord(record) == EncodeCopyRecord(record_);
    if (!same) (void)SaveCopyRecord(record);
  }

  void Finish() {
    if (!options_.dry_run) {
      Tidy();
      KeepRecord();
    }
    if (report_.card_failed && !card_failure_.empty()) {
      if (card_full_) {
        Error("the card is full (%s): %s were put on it whole, %s not; nothing partial is left. "
              "Make room, or copy less, and run cardprep-copy again: it copies only what is "
              "missing", card_failure_.c_str(), Count(report_.written, "file", "files").c_str(),
              Count(report_.not_begun, "file", "files").c_str());
      } else {
        Error("%s: the card may have been pulled out or have failed; %s were put on it whole, %s "
              "not, and nothing partial is left. Check the card and run cardprep-copy again",
              card_failure_.c_str(), Count(report_.written, "file", "files").c_str(),
              Count(report_.not_begun, "file", "files").c_str());
      }
    }
    Summary("%s", SummaryLine().c_str());
  }

  std::string SummaryLine() const {
    const bool dry = options_.dry_run;
    std::string line;
    if (!report_.listed) {
      line = "nothing copied";
    } else if (dry) {
      line = Count(jobs_.size(), "file", "files") + " would be copied";
    } else {
      line = Count(report_.written, "file", "files") + " copied";
      if (report_.written > 0) {
        line += " (" + std::to_string(report_.encoded) + " encoded, " +
                std::to_string(report_.written - report_.encoded) + " as they are";
        if (report_.replaced > 0) line += "; " + std::to_string(report_.replaced) + " replacing earlier copies";
        line += ")";
      }
      if (report_.audio_ms > 0 && report_.elapsed_ms > 0) {
        char rate[64];
        snprintf(rate, sizeof rate, "%.0fx", static_cast<double>(report_.audio_ms) /
                                                 static_cast<double>(report_.elapsed_ms));
        line += ", " + Duration(static_cast<int64_t>(report_.audio_ms)) +
                " of audio encoded at " + rate + " real time";
      }
    }
    if (report_.up_to_date > 0) line += "; " + std::to_string(report_.up_to_date) + " up to date";
    if (report_.not_copied > 0) {
      line += "; " + std::to_string(report_.not_copied) + " could not be copied";
    }
    if (report_.not_begun > 0 && !dry) line += "; " + std::to_string(report_.not_begun) + " not copied";
    if (tally_.protected_files > 0) {
      line += "; " + std::to_string(tally_.protected_files) + " copy-protected";
    }
    if (report_.others > 0) {
      line += "; " + Count(report_.others, "other file", "other files") + " left out";
    }
    // Counts that are zero are left out, as in cardprep's summary.
    if (g_console.warnings > 0) line += "; " + Count(g_console.warnings, "warning", "warnings");
    if (g_console.errors > 0) {
      line += (g_console.warnings > 0 ? ", " : "; ") + Count(g_console.errors, "error", "errors");
    }
    if (dry) line += "; nothing was written (dry run)";
    return line;
  }

  const CopyOptions& options_;
  CopyReport report_;
  SourceFolder sources_;
  SourceTally tally_;
  CopyRecord record_;
  CopyPlan plan_;
  std::vector<CopyJob> jobs_;
  JobPool pool_;
  CopyProgress progress_;
  std::vector<std::u16string> made_;
  std::map<std::u16string, std::u16string> written_folders_;
  std::vector<CopiedFile> placed_;
  bool card_full_ = false;
  std::string card_failure_;
};

}  // namespace

CopyReport RunCopy(const CopyOptions& options) {
  CopyRun run(options);
  return run.Run();
}
