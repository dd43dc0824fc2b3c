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

bool ParseArgs(int argc, char** argv, Args* args, int* status) {
  int tag_timeout_s = static_cast<int>(args->tag_timeout_ms / 1000);
  std::vector<std::string> operands;
  CommandLine line;
  line.program = "cardprep";
  line.usage = Usage();
  line.operands = &operands;
  line.options = {
      NumberOption("jobs", 0, &args->jobs, 1, 256, "a number of processes from 1 to 256"),
      NumberOption("tag-timeout", 0, &tag_timeout_s, 1, 3600, "seconds from 1 to 3600"),
      CustomOption("tag-charset", 0, kTagCharsetNames,
                   [args](const std::string& value) {
                     return ParseTagCharset(value, &args->tag_charset);
                   }),
      FlagOption("quiet", 'q', &args->quiet),
      FlagOption("verbose", 'v', &args->verbose),
      FlagOption("dry-run", 'n', &args->dry_run),
      FlagOption("rescan", 0, &args->rescan),
      TextOption("card", 'C', &args->card),
  };
  if (!ReadCommandLine(line, argc, argv, status)) return false;
  args->tag_timeout_ms = static_cast<uint32_t>(tag_timeout_s) * 1000;
  if (args->quiet && args->verbose) {
    Error("--quiet and --verbose cannot be combined (see cardprep --help)");
    *status = kExitUsage;
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
