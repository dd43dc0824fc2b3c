#include "app/run.h"

#include <cstdlib>
#include <iterator>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "app/card.h"
#include "catalog/folder_scan.h"
#include "catalog/numbering.h"
#include "catalog/player_names.h"
#include "catalog/recorded_titles.h"
#include "report/run_report.h"
#include "font/draw.h"
#include "font/fontx.h"
#include "host/card_folder.h"
#include "host/commit.h"
#include "host/console.h"
#include "host/file.h"
#include "host/folder.h"
#include "host/lock.h"
#include "host/process_pool.h"
#include "host/stop.h"
#include "host/system.h"
#include "host/words.h"
#include "text/card_path.h"
#include "text/cp932.h"
#include "titles/title_reader.h"
#include "titles/title_record_file.h"

namespace {

// Memory the run holds back for its end, should memory run out.
constexpr size_t kMemoryReserve = 1 << 20;

// How far the run came, for the words it ends with. Owned by the run order.
struct RunState {
  void* reserve = nullptr;      // freed when memory first runs out
  bool memory_ran_out = false;  // an allocation had to take the reserve
  bool committing = false;      // the four files are being put in place
  bool index_replaced = false;  // they are in place
};
RunState g_run;

// "A", "A and B", "A, B and C".
std::string Enumerate(const std::vector<std::string>& names) {
  std::string text;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) text += i + 1 == names.size() ? " and " : ", ";
    text += names[i];
  }
  return text;
}

// What the card keeps of |outputs| from before: "the card keeps its
// previous A and B (it had no C)".
std::string Kept(const std::vector<const char*>& outputs) {
  std::vector<std::string> kept, absent, unknown;
  for (const char* name : outputs) {
    switch (KindOfPath(std::string("./") + name)) {
      case PathKind::kFile: kept.push_back(name); break;
      case PathKind::kUnknown: unknown.push_back(name); break;
      default: absent.push_back(name); break;
    }
  }
  std::string what;
  if (!kept.empty()) what = "the card keeps its previous " + Enumerate(kept);
  if (!unknown.empty()) {
    what += (what.empty() ? "the card keeps whatever it had of " : ", and whatever it had of ") +
            Enumerate(unknown);
  }
  if (what.empty()) return "the card had no " + Enumerate(absent) + " before, and has none";
  if (!absent.empty()) what += " (it had no " + Enumerate(absent) + ")";
  return what;
}

// Says which of |outputs| the card keeps from before, and |why|.
void SayKept(const std::vector<const char*>& outputs, const std::string& why) {
  Error("%s not replaced, since %s: %s; run cardprep again once the error above is mended",
        outputs.size() == 1 ? outputs[0] : "the index was", why.c_str(), Kept(outputs).c_str());
}

// Why an output that was not written whole was not: it was never begun
// because the run stopped before it, or it failed (its own error says how).
std::string WhyNotWhole(const std::vector<std::string>& failed,
                        const std::vector<std::string>& not_begun) {
  if (!failed.empty()) return Enumerate(failed) + " could not be written";
  return "the run stopped before writing " + Enumerate(not_begun);
}

// Whether the card may hold any of |outputs|, which a worse index must not
// replace.
bool HoldsAny(const std::vector<const char*>& outputs) {
  for (const char* name : outputs) {
    const PathKind kind = KindOfPath(std::string("./") + name);
    if (kind == PathKind::kFile || kind == PathKind::kUnknown) return true;
  }
  return false;
}

// Says how the commit of the four files ended, beyond "done".
void SayCommitted(const CommitReport& report, const std::vector<const char*>& names) {
  const std::string lost =
      report.report_lost.empty()
          ? ""
          : " (the process that renamed them ended without its report: " + report.report_lost +
                "; the card was looked at)";
  switch (report.result) {
    case CommitResult::kDone:
      if (!lost.empty()) Warn("the new index is in place%s", lost.c_str());
      if (!report.sync_failure.empty()) {
        Error("cannot force the card's folder to the card (%s): the new index is in place, but "
              "if the card is pulled now it may not hold it; run cardprep again before you "
              "remove it",
              report.sync_failure.c_str());
      }
      break;
    case CommitResult::kNotBegun:
      Error("%s; the index was not replaced: %s; check the card (%s) and run cardprep again",
            report.failure.c_str(), Kept(names).c_str(), CheckCardCommand());
      break;
    case CommitResult::kUndone:
      Error("%s%s; the renames made were undone: %s; check the card (%s) and run cardprep again",
            report.failure.c_str(), lost.c_str(), Kept(names).c_str(), CheckCardCommand());
      break;
    case CommitResult::kUnfinished:
      Error("%s%s: the card holds part of the old index and part of the new one until the next "
            "run of cardprep, which first finishes putting the new one in place or undoes it "
            "(%s on the card records how far it came): run cardprep again before you remove the "
            "card",
            report.failure.c_str(), lost.c_str(), kCommitRecordName);
      break;
  }
}

// One of the four files that describe the music.
struct MusicOutput {
  const char* name;
  OutFile* file;
};
using MusicOutputs = MusicOutput[4];

// What a run keeps of the card's old index instead of its own outputs.
struct Keeping {
  std::vector<const char*> names;  // the four music files
  std::vector<std::string> failed, not_begun;
  bool whole = false;       // all four written whole
  bool keep_music = false;  // written whole, but worse than the card's
  bool keep_messages = false;
};

// A run that would write a worse index than the card holds (the fonts, a
// converter, a folder or memory failed it) keeps the old one.
Keeping DecideWhatToKeep(const MusicOutputs& music, const OutFile& messages,
                         const std::string& worse) {
  Keeping keeping;
  for (const MusicOutput& o : music) {
    keeping.names.push_back(o.name);
    if (!WrittenWhole(*o.file)) {
      (o.file->finished ? keeping.failed : keeping.not_begun).push_back(o.name);
    }
  }
  keeping.whole = keeping.failed.empty() && keeping.not_begun.empty();
  keeping.keep_music = keeping.whole && !worse.empty() && HoldsAny(keeping.names);
  keeping.keep_messages =
      WrittenWhole(messages) && !worse.empty() && HoldsAny({kMessageFileName});
  return keeping;
}

// Renames the four music files into place together.
CommitReport CommitMusic(const MusicOutputs& music) {
  std::vector<OutFile*> together;
  for (const MusicOutput& o : music) together.push_back(o.file);
  g_run.committing = true;
  SetStopNote("the new index was being put in place; run cardprep again, which makes sure "
              "the card holds it whole");
  const CommitReport report = CommitTogether(together);
  g_run.committing = false;
  for (OutFile* file : together) {
    if (report.result == CommitResult::kDone || report.result == CommitResult::kUnfinished) {
      // In place, or the record's to finish: no longer this run's to remove.
      UnregisterAsideFile(file->temp_path);
      file->temp_path.clear();
    } else {
      DiscardAside(file);
    }
  }
  return report;
}

// Says what the card holds now, the music first, then the messages.
void SayWhatWasKept(const Keeping& keeping, const CommitReport& commit, const OutFile& messages,
                    RunReport* report) {
  const std::string& worse = report->worse_index;
  if (!keeping.whole) {
    const std::string why = WhyNotWhole(keeping.failed, keeping.not_begun);
    SayKept(keeping.names, why);
    NotIndexed(report, why);
  } else if (keeping.keep_music) {
    SayKept(keeping.names, worse);
    NotIndexed(report, worse);
  } else {
    SayCommitted(commit, keeping.names);
    if (commit.result == CommitResult::kUnfinished) {
      NotIndexed(report, "it was cut short while put in place; the next run finishes that");
    } else if (commit.result != CommitResult::kDone) {
      NotIndexed(report, "the new one could not be put in place");
    }
  }
  if (keeping.keep_messages) {
    SayKept({kMessageFileName}, worse);
  } else if (!WrittenWhole(messages)) {
    SayKept({kMessageFileName}, messages.finished ? std::string("it could not be written")
                                                  : WhyNotWhole({}, {kMessageFileName}));
  }
}

// Puts the run's outputs in place of the old ones. The four files that
// describe the music point into one another, so they replace their old
// versions together or not at all (host/commit.h); the messages stand alone.
void PutInPlace(IndexFiles* files, RunReport* report) {
  // The folder list last: the player starts from it.
  const MusicOutputs music = {{kSoundListFileName, &files->scan.sound_list},
                              {kListingFileName, &files->scan.listing},
                              {kRandomOrderFileName, &files->play_order},
                              {kDirListFileName, &files->dir_list}};
  HoldStopSignals();
  if (g_run.memory_ran_out) {
    Error("memory ran out during the run; close other programs and run cardprep again");
    KeepOldIndex(report, "memory ran out");
  }
  const Keeping keeping = DecideWhatToKeep(music, files->messages, report->worse_index);
  if (WrittenWhole(files->messages) && !keeping.keep_messages) {
    ReplaceWithAside(&files->messages);
  } else {
    DiscardAside(&files->messages);
  }
  const bool commit = keeping.whole && !keeping.keep_music;
  CommitReport done;
  if (commit) {
    done = CommitMusic(music);
  } else {
    for (const MusicOutput& o : music) DiscardAside(o.file);
  }
  // The card may be pulled out as soon as the tool returns.
  std::string why;
  if (!SyncFolder(".", &why)) {
    Error("cannot force the card's folder to the card (%s): if it is pulled now, it may not "
          "hold what this run wrote; run cardprep again before you remove it",
          why.c_str());
  }
  const bool in_place = commit && done.result == CommitResult::kDone;
  SetStopNote(in_place ? "the new index was already in place"
              : done.result == CommitResult::kUnfinished
                  ? "the next run of cardprep finishes putting the index in place"
                  : "the card's index was left as it was");
  g_run.index_replaced = in_place;
  ReleaseStopSignals();
  SayWhatWasKept(keeping, done, files->messages, report);
}

// Removes what runs that were killed or lost their power left of the five
// outputs.
void RemoveIndexLeftovers() {
  for (const NotRemoved& file :
       RemoveLeftovers(".", {std::begin(kIndexFileNames), std::end(kIndexFileNames)})) {
    Warn("cannot remove %s, left by an earlier run: %s; remove it by hand", file.name.c_str(),
         file.why.c_str());
  }
}

// The files a commit puts in place together.
std::vector<std::string> CommittedNames() {
  return {kSoundListFileName, kListingFileName, kRandomOrderFileName, kDirListFileName};
}

// Finishes what a run cut short while it put its index in place left, before
// anything else. False when that cannot be done: the run stops.
bool FinishEarlierCommit() {
  const Recovery recovery = RecoverCommit(CommittedNames());
  for (const MovedAside& m : recovery.moved) SayMovedAside(m.name, m.what, m.moved_to);
  switch (recovery.result) {
    case RecoveryResult::kNothing:
      return true;
    case RecoveryResult::kNotBegun:
      Warn("an earlier run was cut short (the card pulled, or the power lost) before it began "
           "to put its index in place; the card keeps the index it had");
      return true;
    case RecoveryResult::kCompleted:
      Warn("an earlier run was cut short (the card pulled, or the power lost) while it put its "
           "index in place; that is completed now");
      return true;
    case RecoveryResult::kUndone:
      Warn("an earlier run was cut short (the card pulled, or the power lost) while it put its "
           "index in place; that is undone now");
      return true;
    case RecoveryResult::kFailed:
      break;
  }
  Error("cannot make sure that no earlier run left its index half in place (%s); nothing was "
        "changed: check the card (%s) and run cardprep again",
        recovery.why.c_str(), CheckCardCommand());
  return false;
}

// What a dry run says of a commit record it leaves as it is.
void SayEarlierCommit() {
  const RecordLook look = LookAtCommitRecord(CommittedNames());
  switch (look.state) {
    case RecordState::kNone:
      break;
    case RecordState::kUnfinished:
      Warn("an earlier run was cut short (the card pulled, or the power lost) while it put its "
           "index in place; a run without --dry-run finishes that first");
      break;
    case RecordState::kCutShort:
      Warn("an earlier run was cut short (the card pulled, or the power lost) before it began "
           "to put its index in place; a run without --dry-run removes its record, %s",
           kCommitRecordName);
      break;
    case RecordState::kNotARecord:
      Warn("%s is not a file cardprep wrote (%s): a run without --dry-run moves it aside",
           kCommitRecordName, look.why.c_str());
      break;
    case RecordState::kUnreadable:
      Warn("cannot read %s (%s): a run without --dry-run stops there; check the card (%s)",
           kCommitRecordName, look.why.c_str(), CheckCardCommand());
      break;
  }
}

// Opens the decoders of the code pages titles stored as Latin-1 may be read
// in, and the detector. Under auto, one that cannot be opened only takes its
// code page out of the decision; a code page given by name that cannot be
// decoded is an error, and its titles stay as stored.
void OpenDecoders(const TagCharset& charset, CodePageDecoders* decoders, RunReport* report) {
  std::string why;
  for (size_t i = 0; i < kCodePageCount; ++i) {
    const auto page = static_cast<CodePage>(i);
    if (!charset.automatic && charset.page != page) continue;
    if (OpenCodePageDecoder(page, decoders, &why)) continue;
    if (charset.automatic) {
      Warn("cannot open the converter from %s (%s): titles stored in it stay as stored; %s",
           DecoderName(page), why.c_str(), ConverterAdvice().c_str());
    } else {
      Error("--tag-charset %s: cannot open the converter from %s (%s): titles stay as stored; %s",
            CodePageName(page), DecoderName(page), why.c_str(), ConverterAdvice().c_str());
      KeepOldIndex(report, std::string("the converter from ") + DecoderName(page) +
                   " could not be opened");
    }
  }
  if (charset.automatic && !OpenCodePageDetector(decoders, &why)) {
    Warn("cannot start the character set detector (%s): titles stored as Latin-1 are read "
         "in another code page on the evidence of their bytes alone; to be sure of a folder's, "
         "name its code page with --tag-charset",
         why.c_str());
  }
}

// A prefix as the scan compares it: the card path of the folder it names
// as a host path (Podcasts, ./Podcasts/, /media/card/Podcasts), or else the
// argument itself, "/" read as "\\", without separators at its end
// ("\\Podcasts\\" is "\\Podcasts"). An absolute path to a folder outside
// the card matches nothing, and is said to lie outside it.
FileUnitPrefix PrefixPath(const PrefixArg& prefix) {
  FileUnitPrefix taken{prefix.path, prefix.arg, ""};
  std::string below_root, folder, why;
  std::u16string card_path;
  if (prefix.arg.rfind('\\', 0) != 0 && FolderBelowCardRoot(prefix.arg, &below_root) &&
      CardPathOfHost(below_root, &card_path)) {
    taken.path = card_path;
  } else if (FormOfArgument(prefix.arg) == ArgumentForm::kAbsolute && prefix.arg != "/" &&
             AbsoluteFolder(prefix.arg, &folder, &why) &&
             AbsoluteFolder(".", &taken.outside_of, &why)) {
    return taken;
  }
  while (taken.path.size() > 1 && taken.path.back() == u'\\') taken.path.pop_back();
  return taken;
}

// The first three prefix arguments take the three slots, whatever they hold.
ScanSettings TakePrefixes(const Args& args) {
  ScanSettings settings;
  for (size_t i = 0; i < args.prefixes.size(); ++i) {
    const PrefixArg& prefix = args.prefixes[i];
    if (i >= kMaxPrefixes) {
      Warn("prefix '%s' ignored: the player takes at most %d prefixes; give at most %d",
           prefix.arg.c_str(), kMaxPrefixes, kMaxPrefixes);
    } else if (!prefix.valid) {
      Warn("prefix argument %zu is not valid UTF-8: no folder can match it; give the folder's "
           "name as the card shows it",
           i + 1);
    } else {
      settings.file_unit_prefixes.push_back(PrefixPath(prefix));
    }
  }
  return settings;
}

}  // namespace

bool MakeDirListFile(const ScanSettings& settings, const HostHooks& hooks, SoundListWriter* writer,
                     ListingAhead* ahead, Catalog* catalog, IndexFiles* files,
                     RunReport* report) {
  ScanCard(settings, writer->titles, ahead, catalog, report);
  DirInfo* root = &catalog->root;
  GetSubDirInfo(u"", root, writer);
  WarnAboutUnshownCharacters(catalog->unshown);
  StopTitleReader(writer->titles);

  DropEmptyFolders(root);
  NumberFolders(root);
  MakeRandomOrderFile(*root, catalog->counters.random_entry_count, hooks.random32,
                      &files->play_order);

  Out("WriteDirStructureFileM\n");
  OutFile* dir_list = &files->dir_list;
  if (!OpenIndexFile(kDirListFileName, /*trace=*/true, dir_list)) return false;
  WriteDirListHeader(dir_list, catalog->counters, hooks.local_now());
  WriteRootDirEntry(dir_list, *root);
  WriteDirStructureFileM(dir_list, u"", *root, &report->glyph_gaps);
  FinishAside(dir_list);
  return true;
}

namespace {

// "1 sound", "2 sounds".
std::string Count(size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// What the summary says happened to the card: "17 sounds in 10 folders
// indexed", or why not and what the card keeps.
std::string WhatHappened(bool dry_run, const Catalog& catalog, bool scanned,
                         const RunReport& report) {
  std::string line;
  // A card found empty is said to be, when it is indexed so.
  const bool indexed = report.not_indexed.empty() && (dry_run || g_run.index_replaced);
  if (scanned && (indexed || catalog.counters.sounds_taken > 0)) {
    line = Count(catalog.counters.sounds_taken, "sound", "sounds") + " in " +
           Count(catalog.counters.sound_folder_count, "folder", "folders") + " ";
  }
  if (indexed) return line + (dry_run ? "would be indexed" : "indexed");
  const bool had_index = HoldsAny({kDirListFileName, kSoundListFileName});
  line += std::string("not indexed: the card ") +
          (had_index ? "keeps its previous index" : "has no index");
  if (!report.not_indexed.empty()) line += " (" + report.not_indexed + ")";
  return line;
}

void PrintSummary(bool dry_run, bool scanned, const RunReport& report, const Catalog& catalog,
                  const TitleReader& titles,
                  const TitleTally& tally) {
  std::string line = WhatHappened(dry_run, catalog, scanned, report);
  if (titles.record != nullptr && titles.from_record + titles.from_files > 0) {
    line += "; " + Count(titles.from_record, "title", "titles") + " from the record, " +
            std::to_string(titles.from_files) + " read";
  }
  for (size_t i = 0; i < report.skipped.size(); ++i) {
    const auto& [reason, count] = report.skipped[i];
    line += (i == 0 ? "; skipped: " : ", ") + reason + ": " + std::to_string(count);
  }
  // "titles stored as Latin-1 read as Shift-JIS: J, as Windows-1252: K",
  // then the other code pages, each only when a title was read in it.
  std::vector<std::string> read_as;
  for (size_t i = static_cast<size_t>(CodePage::kShiftJis); i < kCodePageCount; ++i) {
    if (tally.recoded[i] > 0) {
      read_as.push_back(std::string(CodePageName(static_cast<CodePage>(i))) + ": " +
                        std::to_string(tally.recoded[i]));
    }
    if (i == static_cast<size_t>(CodePage::kShiftJis) && tally.windows1252 > 0) {
      read_as.push_back("Windows-1252: " + std::to_string(tally.windows1252));
    }
  }
  for (size_t i = 0; i < read_as.size(); ++i) {
    line += (i == 0 ? "; titles stored as Latin-1 read as " : ", as ") + read_as[i];
  }
  if (const size_t unshown = CountUnshownCharacters(catalog.unshown); unshown > 0) {
    line += "; " + Count(unshown, "character", "characters") + " shown as \"?\"";
  }
  if (!report.glyph_gaps.seen.empty()) {
    line += "; " + Count(report.glyph_gaps.seen.size(), "character", "characters") +
            " the fonts cannot show";
  }
  std::vector<std::string> said;
  if (g_console.warnings > 0) said.push_back(Count(g_console.warnings, "warning", "warnings"));
  if (g_console.errors > 0) said.push_back(Count(g_console.errors, "error", "errors"));
  if (!said.empty()) line += "; " + Enumerate(said);
  if (dry_run) line += "; nothing was written (dry run)";
  Summary("%s", line.c_str());
}

// Says once, before anything is written, that the card cannot be written
// at all (|why|), with what to do about it. False then: the run stops
// there, as when the sound list cannot be created.
bool SayNotWritable(const Args& args, bool read_only, const std::string& why) {
  const std::string card = args.card.empty() ? "the card" : "the card " + args.card;
  const std::string advice = read_only ? ReadOnlyCardAdvice() : WriteRightsAdvice();
  if (args.dry_run) {
    Warn("cannot write to %s (%s): a run without --dry-run would stop before writing anything; "
         "%s",
         card.c_str(), why.c_str(), advice.c_str());
    return true;
  }
  Out("fopen error\n");
  if (read_only) {
    Error("cannot write to %s: it is mounted read-only; nothing was changed: %s", card.c_str(),
          advice.c_str());
  } else {
    Error("cannot write to %s: %s; nothing was changed: %s", card.c_str(), why.c_str(),
          advice.c_str());
  }
  return false;
}

// What a run keeps of the titles it read, for the next (title_record.h).
struct RunTitleRecord {
  TitleRecord earlier;        // read at the start, unless --rescan
  TitleRecordOutput output;   // opened at the start, unless a dry run
  bool scanned = false;       // the catalog holds the whole card
};

// What one run owns, handed to each step that needs it.
struct RunParts {
  explicit RunParts(const Args& given) : args(given) {}
  const Args& args;
  HostHooks hooks;
  TitleReader titles;
  Catalog catalog;
  TitleTally tally;
  RunTitleRecord record;
  RunReport report;
};

// Enters the card's folder. False when the run stops there.
bool EnterCard(const Args& args, RunReport* report) {
  std::string why;
  if (args.card.empty() || EnterFolder(args.card, &why)) return true;
  if (TypeOfEntry(args.card) == EntryType::kFile) {
    Error("%s is a file, not a card: nothing was written; give the card's root folder%s",
          args.card.c_str(), args.card_from_argument ? " (drop the card's drive, not a file)" : "");
    NotIndexed(report, args.card + " is a file");
  } else {
    Error("cannot enter the card folder %s: %s; nothing was changed: check that the card is %s "
          "and the path is right",
          args.card.c_str(), why.c_str(), CardThereWord());
    NotIndexed(report, "the card folder cannot be entered");
  }
  return false;
}

// Locks the card against another run until |lock| is closed. False when
// the run stops there.
bool LockCard(UniqueFd* lock, RunReport* report) {
  InstallStopHandlers("the card's index was left as it was");
  std::string why;
  if (LockFolder(".", lock, &why) == LockResult::kHeldByAnother) {
    const pid_t holder = FolderLockHolder(".");
    const std::string who =
        holder > 0 ? "another cardprep run (process " + std::to_string(holder) + ")"
                   : "another cardprep run";
    Error("%s is indexing this card; nothing was changed (run it again once that one has "
          "finished)",
          who.c_str());
    NotIndexed(report, "another cardprep run is indexing it");
    return false;
  }
  return true;
}

// Whether the card can be written, and if not, why.
struct CardAccess {
  bool writable = false;
  bool read_only = false;
  std::string not_writable;
};

// Finds whether the card can be written, finishes what an earlier run left
// half in place and removes its leftovers. False when the run stops there.
bool TidyCard(const Args& args, CardAccess* access) {
  access->writable = FolderWritable(".", &access->read_only, &access->not_writable);
  if (!args.dry_run && !FinishEarlierCommit()) return false;
  if (args.dry_run) SayEarlierCommit();
  if (access->writable && !args.dry_run) RemoveIndexLeftovers();
  return true;
}

// Reads the earlier run's titles, opens this run's record and readies the
// title reader.
void StartTitles(const Args& args, bool writable, TitleReader* titles, RunTitleRecord* record) {
  // The record's file is created before any folder is listed: its time is
  // the record's.
  if (writable && !args.dry_run) TidyTitleRecord();
  if (!args.rescan && LoadTitleRecord(&record->earlier)) titles->record = &record->earlier;
  if (writable && !args.dry_run) (void)OpenTitleRecord(&record->output);
  // The workers start when the scan first asks for a title the record does
  // not hold.
  TitleReaderOptions options;
  options.jobs = args.jobs > 0 ? args.jobs : ProcessorCount();
  options.base_timeout_ms = args.tag_timeout_ms;
  StartTitleReader(options, titles);
}

// Scans the card and writes the five files aside, once the first two can
// be created.
void WriteIndex(RunParts* run, bool card_is_fat, CodePageDecoders* decoders, ListingAhead* ahead,
                IndexFiles* files) {
  SoundListFiles& scan = files->scan;
  if (!OpenIndexFile(kSoundListFileName, /*trace=*/true, &scan.sound_list) ||
      !OpenIndexFile(kListingFileName, /*trace=*/true, &scan.listing)) {
    NotIndexed(&run->report,
               std::string(IsOpen(scan.sound_list) ? kListingFileName : kSoundListFileName) +
                   " could not be created");
    return;
  }
  SoundListWriter writer;
  writer.files = &scan;
  writer.titles = &run->titles;
  writer.tag_charset = run->args.tag_charset;
  writer.decoders = decoders;
  writer.glyph_gaps = &run->report.glyph_gaps;
  ScanSettings settings = TakePrefixes(run->args);
  settings.card_is_fat = card_is_fat;
  (void)MakeDirListFile(settings, run->hooks, &writer, ahead, &run->catalog, files, &run->report);
  run->record.scanned = true;
  run->tally = writer.tally;
  FinishAside(&scan.sound_list);
  FinishAside(&scan.listing);
  (void)WriteMessageFile(&files->messages, &run->report.glyph_gaps);
  WarnAboutBlankNames(run->report.glyph_gaps);
}

// Opens the converters of code page 932; each that cannot be opened is an
// error that keeps the card's index.
void OpenNameConverters(RunReport* report) {
  std::vector<ConverterFailure> failed;
  OpenCp932(&failed);
  for (const ConverterFailure& f : failed) ConverterMissing(report, f.what, f.why);
}

// Scans the card and writes the five files aside, the card's folders listed
// ahead on a second thread from the start of the title reader to the end
// of the scan (the thread ends with this function, before anything is put
// in place). False when the run stops before the scan.
bool MakeIndex(RunParts* run, const CardAccess& access, IndexFiles* files) {
  const bool card_is_fat = CardIsFat();
  // The folders are listed from here on, while the record is read.
  ListingAhead ahead(card_is_fat);
  ahead.Start();
  StartTitles(run->args, access.writable, &run->titles, &run->record);
  if (!access.writable && !SayNotWritable(run->args, access.read_only, access.not_writable)) {
    KillTitleReader(&run->titles);
    NotIndexed(&run->report, "the card cannot be written");
    return false;
  }
  CodePageDecoders decoders;
  OpenDecoders(run->args.tag_charset, &decoders, &run->report);
  OpenNameConverters(&run->report);  // the names the player shows and the trace
  WriteIndex(run, card_is_fat, &decoders, &ahead, files);
  return true;
}

// Whether the card holds no MP3 file the scan keeps, and no index: a card
// that had one gets the empty index, so that the player points at no file
// that is gone; one that never had one gets nothing.
bool NothingToIndex(const Catalog& catalog) {
  if (catalog.counters.sounds_taken > 0) return false;
  for (const char* name : {kDirListFileName, kSoundListFileName}) {
    if (KindOfPath(std::string("./") + name) != PathKind::kMissing) return false;
  }
  return true;
}

void Run(RunParts* run, IndexFiles* files) {
  const Args& args = run->args;
  RunReport* report = &run->report;
  SetDryRun(args.dry_run);
  if (!EnterCard(args, report)) return;
  UniqueFd lock;
  if (!LockCard(&lock, report)) return;
  // A card or nothing: where the fonts cannot be loaded, nothing is
  // scanned or written.
  NoCard no_card;
  if (!CheckCard(&no_card)) {
    NotIndexed(report, no_card.summary);
    return;
  }
  CardAccess access;
  if (!TidyCard(args, &access)) {
    NotIndexed(report, "an earlier run's half-placed index could not be made sure of");
    return;
  }
  if (!MakeIndex(run, access, files)) return;
  KillTitleReader(&run->titles);
  RunTitleRecord* record = &run->record;
  if (record->scanned && NothingToIndex(run->catalog)) {
    SayNothingToIndex();
    NotIndexed(report, "no MP3 files on it");
    DropTitleRecord(&record->output);
    return;
  }
  if (args.dry_run) return;
  PutInPlace(files, report);
  // After the index, which does not depend on it; a run cut short by a
  // memory shortage keeps what it has.
  if (record->scanned && !g_run.memory_ran_out) {
    // Every title taken from the record, and as many sounds as it holds:
    // the record on the card already says what this one would.
    if (run->titles.record != nullptr && run->titles.from_files == 0 &&
        RecordableSoundCount(run->catalog) == RecordedSoundCount(record->earlier)) {
      KeepTitleRecord(&record->output);
    } else {
      WriteTitleRecord(TakeTitleRecord(&run->catalog), &record->output);
    }
  }
}

// A run that runs out of memory: said in one line, with what the card
// holds, after its temporary files are removed (they are removed as the
// run's outputs are left behind on the way out).
void SayOutOfMemory() {
  if (g_run.committing) {
    Error("memory ran out while the new index was put in place: run cardprep again to make "
          "sure the card holds it whole");
  } else if (g_run.index_replaced) {
    Error("memory ran out after the new index was put in place");
  } else {
    Error("memory ran out: the index was not replaced, and the card keeps the one it had; close "
          "other programs and run cardprep again");
  }
}

// The first allocation that fails frees the reserve and is tried again, so
// that the run can still end in order: the index it writes then counts as
// worse than the card's. The next one ends the run at once, as a stop signal
// would (workers killed, temporary files removed, one error line), without
// an exception, which might itself find no memory.
void OnMemoryExhausted() {
  if (g_run.reserve != nullptr) {
    free(g_run.reserve);
    g_run.reserve = nullptr;
    g_run.memory_ran_out = true;
    return;
  }
  StopRun("memory ran out", 1);
}

}  // namespace

void HoldMemoryInReserve() {
  SetStopNote("nothing was changed");
  if (g_run.reserve == nullptr) g_run.reserve = malloc(kMemoryReserve);
  std::set_new_handler(OnMemoryExhausted);
}

namespace {

// "1700000000": seconds since 1970, at most 18 digits, nothing else.
bool ParseSeconds(const std::string& text, int64_t* seconds) {
  if (text.empty() || text.size() > 18) return false;
  int64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  *seconds = value;
  return true;
}

// A 64-bit mixing generator (splitmix64): the same seed, the same numbers.
uint32_t NextSeeded(uint64_t* state) {
  uint64_t z = (*state += 0x9E3779B97F4A7C15u);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  return static_cast<uint32_t>((z ^ (z >> 31)) >> 32);
}

}  // namespace

HostHooks ChooseHostHooks() {
  HostHooks hooks = SystemHooks();
  std::string value;
  if (!GetEnvironment("SOURCE_DATE_EPOCH", &value)) return hooks;
  int64_t seconds = 0;
  std::tm time{};
  if (!ParseSeconds(value, &seconds) || !UtcTime(seconds, &time)) {
    Warn("SOURCE_DATE_EPOCH=%s is not a number of seconds since 1970; it is ignored: set it to "
         "one, or unset it",
         value.c_str());
    return hooks;
  }
  hooks.local_now = [time] { return time; };
  hooks.random32 = [state = static_cast<uint64_t>(seconds)]() mutable {
    return NextSeeded(&state);
  };
  return hooks;
}

int RunCardprep(Args args) {
  ChooseTrace(args.verbose, args.quiet);
  TakeCardFromArguments(&args);
  RunParts run(args);
  run.hooks = ChooseHostHooks();
  try {
    IndexFiles files;
    Run(&run, &files);
  } catch (const std::bad_alloc&) {
    ReleaseStopSignals();
    KillTitleReader(&run.titles);
    SayOutOfMemory();
  }
  StopTitleReader(&run.titles);
  EndProgress();
  PrintSummary(args.dry_run, run.record.scanned, run.report, run.catalog, run.titles, run.tally);
  fflush(stdout);
  return g_console.errors > 0 ? 1 : 0;
}
