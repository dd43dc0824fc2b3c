// cardprep-view: shows what cardprep wrote on a card, as the player will
// walk it, and checks it against itself and against the card.
//
//   DIRLST16.DAT SNDLST16.DAT     ReadCardIndex    CheckIndex, CheckCard
//   RANDOM16.DAT MSGSTR16.DAT  --> (the writer's --> problems and notes --> text, JSON
//   TAGINF16.TXT                    decoders)                          \-> PNG of the bitmaps
//
// Exit status: 0 when the index is consistent, 1 when it is not (or cannot
// be read, or the picture cannot be written), 2 for a bad command line.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/card_folder.h"
#include "host/commit.h"
#include "host/console.h"
#include "host/folder.h"
#include "host/program.h"
#include "host/words.h"
#include "index/index_files.h"
#include "options/command_line.h"
#include "text/cp932.h"
#include "tools/view/card_check.h"
#include "tools/view/card_index.h"
#include "tools/view/glyph_check.h"
#include "tools/view/index_check.h"
#include "tools/view/index_json.h"
#include "tools/view/index_png.h"
#include "tools/view/index_text.h"

namespace {

const char kUsage[] =
    "usage: cardprep-view [-C DIR | DIR] [--check | --json] [--png FILE [--scale N]]\n"
    "\n"
    "Reads the index cardprep wrote in a card's root (DIRLST16.DAT, SNDLST16.DAT,\n"
    "RANDOM16.DAT, MSGSTR16.DAT, TAGINF16.TXT) and prints the folder tree as the\n"
    "player walks it, with every sound and the play order. Then it checks the\n"
    "index against itself and against the card and prints one line per problem\n"
    "(damaged records, broken links, sounds no longer on the card, MP3 files the\n"
    "index lacks, characters the fonts cannot draw) and one note per MP3 file the\n"
    "scan leaves out by its rules, and per character names show as \"?\".\n"
    "\n"
    "DIR      the card's root, as with --card (a card dropped on the program)\n"
    "\n"
    "options:\n"
    "  -C, --card DIR   the card's root (default: the working folder)\n"
    "  --check          print only the check\n"
    "  --json           print the decoded index and the check as JSON\n"
    "  --png FILE       draw every folder, sound and message bitmap into a PNG\n"
    "                   file, framing the 128 columns the display shows before\n"
    "                   scrolling\n"
    "  --scale N        pixels per display pixel in the PNG, 1 to 16 (default 3)\n"
    "  -h, --help       show this help and exit\n"
    "  --version        show the version and exit\n"
    "\n"
    "Exit status: 0 when the index is consistent, 1 when it is not, 2 for a bad\n"
    "command line.\n";

struct Options {
  std::string card = ".";
  bool check_only = false;
  bool json = false;
  std::string png;
  int scale = 3;
};

// False when the program is to end at once with |*status|.
bool ParseOptions(int argc, char** argv, Options* options, int* status) {
  std::vector<std::string> operands;
  bool scaled = false;
  CommandLine line;
  line.program = "cardprep-view";
  line.usage = kUsage;
  line.operands = &operands;
  line.options = {
      TextOption("card", 'C', &options->card),
      FlagOption("check", 0, &options->check_only),
      FlagOption("json", 0, &options->json),
      TextOption("png", 0, &options->png),
      NumberOption("scale", 0, &options->scale, 1, kMaxScale, "a whole number from 1 to 16")
          .Noting(&scaled),
  };
  if (!ReadCommandLine(line, argc, argv, status)) return false;
  *status = kExitUsage;  // after any of the checks below
  // One folder may be named without --card: the card's path as typed, or
  // the card dropped on the program.
  std::string folder, why;
  if (operands.size() == 1 && AbsoluteFolder(operands.front(), &folder, &why)) {
    options->card = operands.front();
    operands.clear();
  }
  if (!operands.empty()) {
    Error("unknown argument '%s' (see cardprep-view --help)", operands.front().c_str());
    return false;
  }
  if (options->check_only && options->json) {
    Error("--check and --json cannot be combined: the JSON holds the check");
    return false;
  }
  if (scaled && options->png.empty()) {
    Error("--scale sets the size of the picture: give --png FILE too");
    return false;
  }
  return true;
}

bool PrintChecked(const std::string& text) {
  if (fwrite(text.data(), 1, text.size(), stdout) != text.size() || fflush(stdout) != 0) {
    Error("cannot write standard output: %s", strerror(errno));
    return false;
  }
  return true;
}

int Main(int argc, char** argv) {
  Options options;
  int status = kExitUsage;
  if (!ParseOptions(argc, argv, &options, &status)) return status;
  OpenCp932();

  // The picture is named from where the tool was started, the card by --card.
  if (!options.png.empty()) options.png = AbsoluteHostPath(options.png);
  std::string why;
  if (!EnterFolder(options.card, &why)) {
    Error("cannot enter %s: %s; is the card %s? Give its root folder", options.card.c_str(),
          why.c_str(), CardThereWord());
    return kExitUsage;
  }

  CardIndex index;
  std::string card;
  if (!ReadCardIndex(&index, &why)) {
    if (!AbsoluteFolder(".", &card, &why)) card = options.card;
    const std::string list = InFolder(card, "DIRLST16.DAT");
    if (LookAtCommitRecord({kSoundListFileName, kListingFileName, kRandomOrderFileName,
                            kDirListFileName})
            .state == RecordState::kUnfinished) {
      Error("cannot read %s: %s; a cardprep run was cut short while it put the index in place: "
            "run cardprep again, which first finishes that or undoes it",
            list.c_str(), why.c_str());
    } else {
      const std::string advice = StartedFromDesktop()
                                     ? " If it is not, " + DesktopCardAdvice("cardprep-view")
                                     : std::string();
      Error("cannot read %s: %s (is this the root of a card cardprep has indexed?): give the "
            "card's root, or index it with cardprep first.%s",
            list.c_str(), why.c_str(), advice.c_str());
    }
    return kExitFailure;
  }
  Findings findings;
  CheckIndex(index, &findings);
  CheckCard(index, &findings);
  CheckGlyphs(index, &findings);

  std::string text;
  if (options.json) {
    text = IndexJson(index, findings);
  } else if (options.check_only) {
    text = FindingsText(findings);
  } else {
    text = TreeText(index) + "\n" + PlayOrderText(index) + "\n" + FindingsText(findings);
  }
  bool ok = PrintChecked(text);
  if (!options.png.empty()) ok = WriteIndexPng(index, options.png, options.scale) && ok;
  return ok && findings.problems.empty() ? kExitSuccess : kExitFailure;
}

}  // namespace

int main(int argc, char** argv) {
  TakeHostArguments(&argc, &argv);
  return EndProgram(Main(argc, argv));
}
