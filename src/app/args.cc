#include "app/args.h"

#include <cstring>

#include "host/console.h"
#include "host/names.h"

const char* Usage() {
  return "usage: cardprep [PREFIX...]\n"
         "\n"
         "Run in the root folder of a memory card. Walks the card and writes the\n"
         "player's index files there: DIRLST16.DAT, SNDLST16.DAT, RANDOM16.DAT,\n"
         "MSGSTR16.DAT and TAGINF16.TXT. Names are drawn with the FONTX2 fonts\n"
         "_FONT/RIZOZ16I.DAZ (16 x 16 double-byte) and _FONT/MYRCH16B.FNT (8 x 16).\n"
         "\n"
         "PREFIX   a folder path such as /Pops or '\\Pops': every folder whose path\n"
         "         begins with it is shuffled file by file instead of as a whole\n"
         "         (at most three; compared case-sensitively)\n"
         "\n"
         "options:\n"
         "  -h, --help     show this help and exit\n"
         "  --version      show the version and exit\n";
}

bool ParseArgs(int argc, char** argv, Args* args) {
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (strcmp(arg, "-h") == 0 || strcmp(arg, "--help") == 0) {
      args->help = true;
    } else if (strcmp(arg, "--version") == 0) {
      args->version = true;
    } else if (arg[0] == '-') {
      // No folder path begins with "-", so no prefix is lost by this.
      Error("unknown option '%s' (see cardprep --help)", arg);
      return false;
    } else {
      std::u16string prefix;
      if (!Utf8ToUtf16(arg, &prefix)) {
        Warn("prefix argument %d is not valid UTF-8: no folder can match it; ignored", i);
        continue;
      }
      for (char16_t& unit : prefix) {
        if (unit == u'/') unit = u'\\';
      }
      args->prefixes.push_back(std::move(prefix));
    }
  }
  return true;
}
