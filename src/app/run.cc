#include "app/run.h"

#include <string>
#include <vector>

#include "catalog/dir_info.h"
#include "catalog/dir_list.h"
#include "catalog/folder_scan.h"
#include "catalog/listing.h"
#include "catalog/title_reader.h"
#include "font/draw.h"
#include "font/fontx.h"
#include "host/console.h"
#include "host/file.h"
#include "host/folder.h"
#include "host/process_pool.h"
#include "host/stop.h"
#include "messages/message_file.h"
#include "playorder/random_order.h"

namespace {

bool OpenOutput(const char* name, OutFile* file) {
  std::string why;
  if (OpenAside(std::string("./") + name, name, file, &why)) return true;
  Out("fopen error\n");
  Error("cannot create %s: %s", name, why.c_str());
  return false;
}

// "A", "A and B", "A, B and C".
std::string Enumerate(const std::vector<std::string>& names) {
  std::string text;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) text += i + 1 == names.size() ? " and " : ", ";
    text += names[i];
  }
  return text;
}

// Says which of |outputs| the card keeps from before, and |why|.
void SayKept(const std::vector<const char*>& outputs, const std::string& why) {
  std::vector<std::string> kept, absent;
  for (const char* name : outputs) {
    (KindOfPath(std::string("./") + name) == PathKind::kFile ? kept : absent).push_back(name);
  }
  std::string what = kept.empty() ? "the card had no " + Enumerate(absent) + " before, and has none"
                                  : "the card keeps its previous " + Enumerate(kept);
  if (!kept.empty() && !absent.empty()) what += " (it had no " + Enumerate(absent) + ")";
  Error("%s not replaced, since %s: %s", outputs.size() == 1 ? outputs[0] : "the index was",
        why.c_str(), what.c_str());
}

// Why an output that was not written whole was not: it was never begun
// because the run stopped before it, or it failed (its own error says how).
std::string WhyNotWhole(const std::vector<std::string>& failed,
                        const std::vector<std::string>& not_begun) {
  if (!failed.empty()) return Enumerate(failed) + " could not be written";
  return "the run stopped before writing " + Enumerate(not_begun);
}

// Puts the run's outputs in place of the old ones. The four files that
// describe the music point into one another, so they replace their old
// versions together or not at all; the messages stand alone.
void PutInPlace(IndexFiles* files) {
  struct Output {
    const char* name;
    OutFile* file;
  };
  // The folder list last: the player starts from it.
  const Output music[] = {{kSoundListFileName, &files->scan.sound_list},
                          {kListingFileName, &files->scan.listing},
                          {kRandomOrderFileName, &files->play_order},
                          {kDirListFileName, &files->dir_list}};
  HoldStopSignals();
  std::vector<const char*> names;
  std::vector<std::string> failed, not_begun;
  for (const Output& o : music) {
    names.push_back(o.name);
    if (!WrittenWhole(*o.file)) (o.file->finished ? failed : not_begun).push_back(o.name);
  }
  const bool replace = failed.empty() && not_begun.empty();
  if (replace) {
    std::vector<OutFile*> together;
    for (const Output& o : music) together.push_back(o.file);
    ReplaceTogether(together);
  } else {
    for (const Output& o : music) DiscardAside(o.file);
  }
  if (WrittenWhole(files->messages)) {
    ReplaceWithAside(&files->messages);
  } else {
    DiscardAside(&files->messages);
  }
  // The card may be pulled out as soon as the tool returns.
  SyncFolder(".");
  SetStopNote("the new index was already in place");
  ReleaseStopSignals();
  if (!replace) SayKept(names, WhyNotWhole(failed, not_begun));
  if (!WrittenWhole(files->messages)) {
    SayKept({kMessageFileName}, files->messages.finished
                                    ? std::string("it could not be written")
                                    : WhyNotWhole({}, {kMessageFileName}));
  }
}

// Removes what runs that were killed or lost their power left: files opened
// aside for the five outputs. Only those, recognised by name.
void RemoveLeftovers() {
  std::vector<FolderEntry> entries;
  std::string why, read_error;
  if (!ListFolder(u"", &entries, &why, &read_error)) return;
  for (const FolderEntry& entry : entries) {
    if (entry.kind != EntryKind::kFile) continue;
    for (const char* name : kIndexFileNames) {
      if (IsAsideName(entry.host_name, name) && !RemoveFile("./" + entry.host_name, &why)) {
        Warn("cannot remove %s, left by an earlier run: %s", entry.host_name.c_str(), why.c_str());
      }
    }
  }
}

// Opens the decoders of the code pages titles stored as Latin-1 may be read
// in, and the detector. Under auto, one that cannot be opened only takes its
// code page out of the decision; a code page given by name that cannot be
// decoded is an error, and its titles stay as stored.
void OpenDecoders(const TagCharset& charset, CodePageDecoders* decoders) {
  std::string why;
  for (size_t i = 0; i < kCodePageCount; ++i) {
    const auto page = static_cast<CodePage>(i);
    if (!charset.automatic && charset.page != page) continue;
    if (OpenCodePageDecoder(page, decoders, &why)) continue;
    if (charset.automatic) {
      Warn("cannot open the converter from %s (%s): titles stored in it stay as stored",
           DecoderName(page), why.c_str());
    } else {
      Error("--tag-charset %s: cannot open the converter from %s (%s): titles stay as stored",
            CodePageName(page), DecoderName(page), why.c_str());
    }
  }
  if (charset.automatic && !OpenCodePageDetector(decoders, &why)) {
    Warn("cannot start the character set detector (%s): titles stored as Latin-1 are read "
         "in another code page on the evidence of their bytes alone", why.c_str());
  }
}

// A prefix as the scan compares it: the card path of the folder it names
// as a host path (Podcasts, ./Podcasts/, /media/card/Podcasts), or else the
// argument itself, "/" read as "\\".
std::u16string PrefixPath(const PrefixArg& prefix) {
  std::u16string card_path;
  if (prefix.arg.rfind('\\', 0) != 0 && CardPathOfFolder(prefix.arg, &card_path)) return card_path;
  return prefix.path;
}

// The first three prefix arguments take the three slots, whatever they hold.
ScanSettings TakePrefixes(const Args& args, CodePageDecoders* decoders) {
  ScanSettings settings;
  settings.tag_charset = args.tag_charset;
  settings.decoders = decoders;
  for (size_t i = 0; i < args.prefixes.size(); ++i) {
    const PrefixArg& prefix = args.prefixes[i];
    if (i >= kMaxPrefixes) {
      Warn("prefix '%s' ignored: the player takes at most %d prefixes", prefix.arg.c_str(),
           kMaxPrefixes);
    } else if (!prefix.valid) {
      Warn("prefix argument %zu is not valid UTF-8: no folder can match it", i + 1);
    } else {
      settings.file_unit_prefixes.push_back({PrefixPath(prefix), prefix.arg});
    }
  }
  return settings;
}

}  // namespace

bool MakeDirListFile(const ScanSettings& settings, IndexFiles* files) {
  DirInfo* root = BuildCatalog(settings, &files->scan);
  StopTitleReader();

  NumberFolders(root);
  MakeRandomOrderFile(*root, &files->play_order);

  Out("WriteDirStructureFileM\n");
  OutFile* dir_list = &files->dir_list;
  if (!OpenOutput(kDirListFileName, dir_list)) return false;
  WriteDirListHeader(dir_list);
  WriteRootDirEntry(dir_list, *root);
  WriteDirStructureFileM(dir_list, u"", *root);
  FinishAside(dir_list);
  return true;
}

namespace {

// "1 sound", "2 sounds".
std::string Count(size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

void PrintSummary(bool dry_run) {
  std::string line = Count(g_catalog.counters.sound_index, "sound", "sounds") + " in " +
                     Count(g_catalog.counters.sound_folder_count, "folder", "folders") +
                     (dry_run ? " would be indexed" : " indexed");
  for (size_t i = 0; i < g_console.skipped.size(); ++i) {
    const auto& [reason, count] = g_console.skipped[i];
    line += (i == 0 ? "; skipped: " : ", ") + reason + ": " + std::to_string(count);
  }
  // "read as Shift-JIS: J, as Windows-1252: K", then the other code pages
  // any title was read in.
  const CatalogCounters& counters = g_catalog.counters;
  const auto& recoded = counters.recoded_titles;
  uint32_t recoded_any = counters.windows1252_titles;
  for (uint32_t n : recoded) recoded_any += n;
  if (recoded_any > 0) {
    line += "; titles stored as Latin-1 read as Shift-JIS: " +
            std::to_string(recoded[static_cast<size_t>(CodePage::kShiftJis)]) +
            ", as Windows-1252: " + std::to_string(counters.windows1252_titles);
    for (size_t i = static_cast<size_t>(CodePage::kShiftJis) + 1; i < kCodePageCount; ++i) {
      if (recoded[i] > 0) {
        line += std::string(", as ") + CodePageName(static_cast<CodePage>(i)) + ": " +
                std::to_string(recoded[i]);
      }
    }
  }
  if (!g_catalog.unconvertible.empty()) {
    line += "; " + Count(g_catalog.unconvertible.size(), "character", "characters") +
            " shown as \"?\"";
  }
  if (!g_glyph_gaps.seen.empty()) {
    line += "; " + Count(g_glyph_gaps.seen.size(), "character", "characters") +
            " the fonts cannot show";
  }
  line += "; " + Count(g_console.warnings, "warning", "warnings") + ", " +
          Count(g_console.errors, "error", "errors");
  if (dry_run) line += "; nothing was written (dry run)";
  Summary("%s", line.c_str());
}

// Says once, before anything is written, that the card cannot be written
// at all (|why|), with what to do about it. False then: the run stops
// there, as when the sound list cannot be created.
bool SayNotWritable(const Args& args, bool read_only, const std::string& why) {
  const std::string card = args.card.empty() ? "the card" : "the card " + args.card;
  if (args.dry_run) {
    Warn("cannot write to %s (%s): a run without --dry-run would stop before writing anything",
         card.c_str(), why.c_str());
    return true;
  }
  Out("fopen error\n");
  if (read_only) {
    Error("cannot write to %s: it is mounted read-only; nothing was changed (unlock its "
          "write-protect switch, or mount it read-write: sudo mount -o remount,rw "
          "<mount point>)",
          card.c_str());
  } else {
    Error("cannot write to %s: %s; nothing was changed (run cardprep as a user who may "
          "write there, or mount the card with uid=$(id -u))",
          card.c_str(), why.c_str());
  }
  return false;
}

void Run(const Args& args, IndexFiles* files) {
  ChooseTrace(args.verbose, args.quiet);
  SetDryRun(args.dry_run);
  std::string why;
  if (!args.card.empty() && !EnterFolder(args.card, &why)) {
    Error("cannot enter the card folder %s: %s (is the card mounted?); nothing was changed",
          args.card.c_str(), why.c_str());
    return;
  }
  InstallStopHandlers("the card's index was left as it was");
  UniqueFd lock;
  if (LockFolder(".", &lock, &why) == LockResult::kHeldByAnother) {
    const pid_t holder = FolderLockHolder(".");
    const std::string who =
        holder > 0 ? "another cardprep run (process " + std::to_string(holder) + ")"
                   : "another cardprep run";
    Error("%s is indexing this card; nothing was changed (run it again once that one has "
          "finished)",
          who.c_str());
    return;
  }
  bool read_only = false;
  std::string not_writable;
  const bool writable = FolderWritable(".", &read_only, &not_writable);
  if (writable && !args.dry_run) RemoveLeftovers();
  // The title readers start first: they are ready by the time the fonts
  // are loaded and the scan asks for titles.
  TitleReaderOptions titles;
  titles.jobs = args.jobs > 0 ? args.jobs : ProcessorCount();
  titles.base_timeout_ms = args.tag_timeout_ms;
  StartTitleReader(titles);
  InitFont();
  if (!writable && !SayNotWritable(args, read_only, not_writable)) {
    KillTitleReader();
    return;
  }
  CodePageDecoders decoders;
  OpenDecoders(args.tag_charset, &decoders);
  const ScanSettings settings = TakePrefixes(args, &decoders);
  SoundListFiles& scan = files->scan;
  if (OpenOutput(kSoundListFileName, &scan.sound_list) &&
      OpenOutput(kListingFileName, &scan.listing)) {
    MakeDirListFile(settings, files);
    FinishAside(&scan.sound_list);
    FinishAside(&scan.listing);
    (void)WriteMessageFile(&files->messages);
  }
  KillTitleReader();
  if (!args.dry_run) PutInPlace(files);
}

}  // namespace

int RunCardprep(const Args& args) {
  {
    IndexFiles files;
    Run(args, &files);
  }
  StopTitleReader();
  EndProgress();
  PrintSummary(args.dry_run);
  fflush(stdout);
  return g_console.errors > 0 ? 1 : 0;
}
