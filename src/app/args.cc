#include "app/args.h"

#include <cstring>

#include "host/console.h"
#include "host/names.h"

const char* Usage() {
  return "usage: cardprep [OPTION...] [PREFIX...]\n"
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
         "  --jobs N           read ID3 tags in N worker processes (default: one per\n"
         "                     processor); each has a memory limit, and a file whose\n"
         "                     tag takes too long is listed without a title\n"
         "  --tag-timeout S    seconds a tag may take, plus one second per MiB of the\n"
         "                     file (default 10)\n"
         "  -h, --help         show this help and exit\n"
         "  --version          show the version and exit\n";
}

namespace {

// A whole number from |low| to |high|, written in decimal.
bool ParseNumber(const char* text, long low, long high, long* value) {
  if (*text == '\0') return false;
  long n = 0;
  for (const char* p = text; *p; ++p) {
    if (*p < '0' || *p > '9') return false;
    n = n * 10 + (*p - '0');
    if (n > high) return false;
  }
  if (n < low) return false;
  *value = n;
  return true;
}

// The value of an option given as "--name VALUE" or "--name=VALUE".
const char* OptionValue(const char* name, int argc, char** argv, int* i) {
  const size_t length = strlen(name);
  const char* arg = argv[*i];
  if (strncmp(arg, name, length) != 0) return nullptr;
  if (arg[length] == '=') return arg + length + 1;
  if (arg[length] != '\0') return nullptr;
  if (*i + 1 >= argc) return "";
  return argv[++*i];
}

}  // namespace

bool ParseArgs(int argc, char** argv, Args* args) {
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    long number = 0;
    if (const char* value = OptionValue("--jobs", argc, argv, &i)) {
      if (!ParseNumber(value, 1, 256, &number)) {
        Error("--jobs takes a number of processes from 1 to 256, not '%s'", value);
        return false;
      }
      args->jobs = static_cast<int>(number);
    } else if (const char* seconds = OptionValue("--tag-timeout", argc, argv, &i)) {
      if (!ParseNumber(seconds, 1, 3600, &number)) {
        Error("--tag-timeout takes seconds from 1 to 3600, not '%s'", seconds);
        return false;
      }
      args->tag_timeout_ms = static_cast<uint32_t>(number * 1000);
    } else if (strcmp(arg, "-h") == 0 || strcmp(arg, "--help") == 0) {
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
