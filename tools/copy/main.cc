// cardprep-copy: copies music onto the card in a form the player plays,
// then indexes the card as cardprep does.
//
//   SOURCE...  --> listed, planned --> written aside on the cores --> put in --> cardprep's
//   (folders,      (names fitted,      (MP3 as it is; the rest         place,      own run
//    files)         record read)        encoded by LAME)                record    (the index)
//
// The index is made in this process by cardprep's run (app/run.h), so that
// one program, one lock and one exit status cover both; the title readers
// it starts are this program again, as for cardprep.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/args.h"
#include "app/run.h"
#include "copy/card_names.h"
#include "copy/copy_run.h"
#include "copy/find_card.h"
#include "copy/transcode.h"
#include "host/console.h"
#include "host/file.h"
#include "host/folder.h"
#include "host/lock.h"
#include "host/program.h"
#include "host/words.h"
#include "options/command_line.h"
#include "text/card_path.h"
#include "text/utf.h"
#include "titles/title_worker.h"

namespace {

// The help, in the host's paths and words.
std::string Usage() {
  return std::string(
             "usage: cardprep-copy [OPTION...] SOURCE... [--to FOLDER]\n"
             "\n"
             "Copies music onto a memory card in a form its player plays, then indexes the\n"
             "card as cardprep does. Each SOURCE, a folder or a file, lands in FOLDER on the\n"
             "card by its own name, as cp -r does. MP3 files are copied as they are; FLAC,\n"
             "AAC and ALAC (.m4a), Ogg Vorbis, Opus, WMA and WAV files are encoded as MP3\n"
             "(LAME, variable bit rate) with their title, artist, album, track and disc.\n"
             "Names and folders are fitted to the player (255 sounds a folder, names of 64\n"
             "and 128 characters, paths of 123), and each change is said. Nothing on the\n"
             "card is overwritten; a second run copies only what changed.\n") +
         CopyCardHelp() +
         "\n"
         "\n"
         "  " +
         CopyExampleHelp() +
         "\n"
         "\n"
         "options:\n"
         "  -C, --card DIR     the card's root, a folder holding _FONT (default: the\n"
         "                     working folder)\n"
         "  --to FOLDER        the folder of the card to copy into, such as /Music\n"
         "                     (default: the card's root); made when missing\n"
         "  --quality V        LAME's quality, V0 (best, largest) to V9 (smallest);\n"
         "                     default V2, about 190 kbit/s\n"
         "  --jobs N           encode N files at a time (default: one per processor)\n"
         "  -n, --dry-run      say what would be copied and under which names, but\n"
         "                     write nothing\n"
         "  --no-index         copy only; index the card later with cardprep\n"
         "  -v, --verbose      print a line per file copied, and cardprep's trace,\n"
         "                     also when standard output is a terminal\n"
         "  -q, --quiet        leave out those lines, the progress line and notes;\n"
         "                     warnings, errors and the summaries stay\n"
         "  -h, --help         show this help and exit\n"
         "  --version          show the version and exit\n"
         "\n"
         "Exit status: 0 when no error line was printed (warnings allowed), 1 after\n"
         "one, 2 for a bad command line, " +
         CopyStoppedHelp() + ".\n";
}

struct Options {
  std::string card;
  std::string to;
  bool to_given = false;
  int quality = kDefaultQuality;
  int jobs = 0;
  bool dry_run = false, no_index = false, verbose = false, quiet = false;
  std::vector<std::string> sources;
};

// "V0" to "V9" (or "v2", or the digit alone) into |*quality|.
bool ReadQuality(const std::string& given, int* quality) {
  std::string value = given;
  if (value.size() == 2 && (value[0] == 'V' || value[0] == 'v')) value.erase(0, 1);
  if (value.size() != 1 || value[0] < '0' || value[0] > '9') return false;
  *quality = value[0] - '0';
  return true;
}

// False when the program is to end at once with |*status|.
bool ParseOptions(int argc, char** argv, Options* options, int* status) {
  CommandLine line;
  line.program = "cardprep-copy";
  line.usage = Usage();
  line.operands = &options->sources;
  line.options = {
      TextOption("card", 'C', &options->card),
      TextOption("to", 0, &options->to).Noting(&options->to_given),
      CustomOption("quality", 0, "V0 to V9",
                   [options](const std::string& value) {
                     return ReadQuality(value, &options->quality);
                   }),
      NumberOption("jobs", 0, &options->jobs, 1, kMaxCopyJobs, "a number of files from 1 to 32"),
      FlagOption("dry-run", 'n', &options->dry_run),
      FlagOption("no-index", 0, &options->no_index),
      FlagOption("verbose", 'v', &options->verbose),
      FlagOption("quiet", 'q', &options->quiet),
  };
  if (!ReadCommandLine(line, argc, argv, status)) return false;
  *status = kExitUsage;  // after any of the checks below
  if (options->quiet && options->verbose) {
    Error("--quiet and --verbose cannot be combined (see cardprep-copy --help)");
    return false;
  }
  if (options->sources.empty()) {
    Error("nothing to copy: give the folders and files to copy (see cardprep-copy --help)");
    return false;
  }
  return true;
}

// The target folder as a card path: "/Music/Rock", "Music\\Rock" or a host
// path to a folder of the card (/media/card/Music) become "\\Music\\Rock".
// False after an error line when a name in it is none the player takes.
bool TargetPath(const std::string& given, std::u16string* to) {
  std::string below_root;
  std::u16string path;
  if (!given.empty() && FolderBelowCardRoot(given, &below_root) && given[0] != '\\' &&
      (given[0] != '/' || KindOfPath(given) == PathKind::kFolder)) {
    if (!CardPathOfHost(below_root, &path)) path.clear();
  } else if (!Utf8ToUtf16(given, &path)) {
    Error("--to %s: not valid UTF-8", given.c_str());
    return false;
  }
  to->clear();
  for (size_t at = 0; at <= path.size();) {
    size_t end = path.find_first_of(u"/\\", at);
    if (end == std::u16string::npos) end = path.size();
    const std::u16string name = path.substr(at, end - at);
    at = end + 1;
    if (name.empty() || name == u".") continue;
    unsigned changes = kNameKept;
    const std::u16string fitted = FitFolderName(name, 64, &changes);
    if (name == u".." || changes != kNameKept) {
      Error("--to %s: the player cannot take a folder named '%s' (%s)", given.c_str(),
            Utf16ToUtf8(name).c_str(),
            name == u".." ? "give the folder from the card's root"
                          : DescribeNameChanges(changes, 64).c_str());
      return false;
    }
    *to += u"\\" + fitted;
  }
  if (to->size() > 123) {
    Error("--to %s: the player takes folder paths of up to 123 characters", given.c_str());
    return false;
  }
  return true;
}

// Indexes the card with cardprep's run, the copy's counts set aside.
int Index(const Options& options) {
  Args args;
  args.quiet = options.quiet;
  args.verbose = options.verbose;
  g_console.warnings = 0;
  g_console.errors = 0;
  return RunCardprep(args);
}

int Main(int argc, char** argv) {
  // Double-clicked, it has nothing to copy: how it is used is said instead
  // of an error.
  if (argc == 1 && StartedFromDesktop()) {
    Out("cardprep-copy copies music onto a card: drop an album's folder on "
        "cardprep-copy.exe on the card, or run it in a Command Prompt.\n\n");
    Out("%s", Usage().c_str());
    return kExitUsage;
  }
  Options options;
  int status = kExitUsage;
  if (!ParseOptions(argc, argv, &options, &status)) return status;
  ChooseTrace(options.verbose, options.quiet);
  PrepareTranscoding();
  CopyOptions copy;
  copy.given = options.sources;
  for (const std::string& source : options.sources) copy.sources.push_back(AbsoluteHostPath(source));
  copy.quality = options.quality;
  copy.jobs = options.jobs;
  copy.dry_run = options.dry_run;
  SetDryRun(options.dry_run);
  std::string card, why;
  if (!FindCopyCard(options.card, &card)) return kExitFailure;
  if (card != "." && !EnterFolder(card, &why)) {
    Error("cannot enter the card folder %s: %s; nothing was copied", card.c_str(), why.c_str());
    return kExitFailure;
  }
  if (options.to_given && !TargetPath(options.to, &copy.to)) return kExitUsage;
  copy.to_given = options.to;
  CopyReport report;
  {
    UniqueFd lock;
    if (LockFolder(".", &lock, &why) == LockResult::kHeldByAnother) {
      Error("another cardprep run is using this card; nothing was copied (run it again once "
            "that one has finished)");
      return kExitFailure;
    }
    report = RunCopy(copy);
  }  // cardprep's run takes the lock itself
  const unsigned copy_errors = g_console.errors;
  // A card that failed (pulled out, broken) is not indexed: what it would
  // take is said already. A full one is: what was copied is whole.
  if (!report.listed || options.dry_run || options.no_index ||
      (report.card_failed && !report.card_full)) {
    return copy_errors > 0 ? kExitFailure : kExitSuccess;
  }
  const int index_status = Index(options);
  return copy_errors > 0 ? kExitFailure : index_status;
}

}  // namespace

int main(int argc, char** argv) {
  TakeHostArguments(&argc, &argv);
  // The index's title readers are this program again.
  if (argc == 2 && strcmp(argv[1], kTitleWorkerFlag) == 0) return RunTitleWorker();
  HoldMemoryInReserve();
  return EndProgram(Main(argc, argv));
}
