#include "app/args.h"

#include <cstring>

#include "host/console.h"
#include "host/program.h"
#include "host/words.h"
#include "options/command_line.h"
#include "text/utf.h"

// The help, in the host's paths and words where they differ.
std::string Usage() {
  const std::string fonts = std::string("_FONT") + kHostSeparator;
  return std::string(
             "usage: cardprep [OPTION...] [CARD] [PREFIX...]\n"
             "\n"
             "Run in the root folder of a memory card, or give the card (cardprep ") +
         ExampleCard() +
         ").\n"
         "It walks the card and writes the player's index files there: DIRLST16.DAT,\n"
         "SNDLST16.DAT, RANDOM16.DAT, MSGSTR16.DAT and TAGINF16.TXT. The names the\n"
         "player shows are drawn with the FONTX2 fonts " + fonts + "RIZOZ16I.DAZ\n"
         "(16 x 16 double-byte) and " + fonts + "MYRCH16B.FNT (8 x 16): without them\n"
         "nothing is written.\n"
         "\n"
         "CARD     the card's root folder, as with --card; it must hold _FONT\n" +
         PrefixHelp() +
         "         shuffled file by file instead of as a whole (at most three;\n"
         "         compared case-sensitively)\n"
         "\n"
         "options:\n"
         "  -C, --card DIR     index the card whose root is DIR (default: the working\n"
         "                     folder)\n"
         "  -n, --dry-run      do the whole run and say everything it would, but\n"
         "                     write nothing to the card\n"
         "  --rescan           read every file's ID3 tag again, not only those changed\n"
         "                     since the last run (size or modification time), and\n"
         "                     rewrite the record of titles kept in _CARDPREP; for\n"
         "                     taggers that keep both when they change a title\n"
         "  --jobs N           read ID3 tags in N worker processes (default: one per\n"
         "                     processor); each has a memory limit, and a file whose\n"
         "                     tag takes too long is listed without a title\n"
         "  --tag-timeout S    seconds a tag may take, plus one second per MiB of the\n"
         "                     file (default 10)\n"
         "  --tag-charset CS   how titles stored as Latin-1 (ID3v1, or ID3v2 text\n"
         "                     declared ISO-8859-1) are read: auto (default) reads\n"
         "                     a folder's in the code page their bytes plainly are\n"
         "                     in (Shift-JIS, EUC-KR, GBK, Big5, Windows-1251 or\n"
         "                     Windows-1253), and Windows-1252 punctuation as such;\n"
         "                     latin1 as stored; cp932, euc-kr, gbk, big5, cp1251\n"
         "                     or cp1253 (also sjis, cp949, gb18030, windows-1251...)\n"
         "                     every one in that code page\n"
         "  -v, --verbose      print the trace on standard output also when it is a\n"
         "                     terminal (a file or a pipe always gets it)\n"
         "  -q, --quiet        leave out the trace, the progress line and notes;\n"
         "                     warnings, errors and the summary stay\n"
         "  -h, --help         show this help and exit\n"
         "  --version          show the version and exit\n"
         "\n"
         "Exit status: 0 when the run printed no error line (warnings allowed), 1\n"
         "after one, 2 for a bad command line, " +
         StoppedStatusHelp();
}

namespace {

enum Option {
  kJobs = 256, kTagTimeout, kTagCharset, kQuiet, kVerbose, kDryRun, kRescan, kCard, kHelp, kVersion
};

}  // namespace

bool ParseArgs(int argc, char** argv, Args* args) {
  const std::vector<KnownOption> known = {
      {"jobs", 0, true, kJobs},   {"tag-timeout", 0, true, kTagTimeout},
      {"tag-charset", 0, true, kTagCharset},
      {"quiet", 'q', false, kQuiet}, {"verbose", 'v', false, kVerbose},
      {"dry-run", 'n', false, kDryRun}, {"rescan", 0, false, kRescan},
      {"card", 'C', true, kCard},
      {"help", 'h', false, kHelp},    {"version", 0, false, kVersion},
  };
  std::vector<GivenOption> options;
  std::vector<std::string> operands;
  if (!ParseCommandLine("cardprep", argc, argv, known, &options, &operands)) return false;
  for (const GivenOption& option : options) {
    long number = 0;
    switch (option.id) {
      case kJobs:
        if (!ParseWholeNumber(option, 1, 256, "a number of processes from 1 to 256", &number)) {
          return false;
        }
        args->jobs = static_cast<int>(number);
        break;
      case kTagTimeout:
        if (!ParseWholeNumber(option, 1, 3600, "seconds from 1 to 3600", &number)) return false;
        args->tag_timeout_ms = static_cast<uint32_t>(number * 1000);
        break;
      case kTagCharset:
        if (!ParseTagCharset(option.value, &args->tag_charset)) {
          Error("--tag-charset takes %s, not '%s'", kTagCharsetNames, option.value.c_str());
          return false;
        }
        break;
      case kQuiet:
        args->quiet = true;
        break;
      case kVerbose:
        args->verbose = true;
        break;
      case kDryRun:
        args->dry_run = true;
        break;
      case kRescan:
        args->rescan = true;
        break;
      case kCard:
        args->card = option.value;
        break;
      case kHelp:
        args->help = true;
        break;
      case kVersion:
        args->version = true;
        break;
    }
  }
  if (args->quiet && args->verbose) {
    Error("--quiet and --verbose cannot be combined (see cardprep --help)");
    return false;
  }
  for (const std::string& operand : operands) {
    PrefixArg prefix;
    prefix.arg = operand;
    prefix.valid = Utf8ToUtf16(operand, &prefix.path);
    if (!prefix.valid) prefix.path.clear();
    for (char16_t& unit : prefix.path) {
      if (unit == u'/') unit = u'\\';
    }
    args->prefixes.push_back(std::move(prefix));
  }
  return true;
}
