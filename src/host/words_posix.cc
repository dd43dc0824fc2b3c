// The words of advice on Linux and the other POSIX hosts.
#include "host/words.h"

const char* CardThereWord() { return "mounted"; }

const char* ExampleCard() { return "/media/card"; }

const char* CheckCardCommand() { return "fsck.fat"; }

std::string ShellWord(const std::string& path) {
  if (!path.empty() &&
      path.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                             "0123456789/._-+,:@%") == std::string::npos) {
    return path;
  }
  std::string quoted = "'";
  for (const char c : path) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

std::string MakeFontsAdvice(const std::string& card) {
  return "cardprep-font --card " + ShellWord(card) + " /usr/share/unifont/unifont_jp.hex";
}

std::string RunOnCardAdvice(const char* program, const std::string& root) {
  return std::string(program) + " --card " + ShellWord(root) + " (or cd " + ShellWord(root) +
         " && " + program + ")";
}

const char* FontSourcesHelp() {
  return "SOURCE   a Unifont hex file (/usr/share/unifont/unifont_jp.hex), or a BDF\n"
         "         font numbered as ISO10646-1, ISO8859-1, JIS X 0208 or JIS X 0201\n"
         "         (convert X11 PCF fonts with pcf2bdf first); compressed (.gz) or not\n";
}

const char* FontExampleHelp() {
  return "Example, with Debian's xfonts-shinonome and pcf2bdf:\n"
         "  pcf2bdf -o k16.bdf /usr/share/fonts/X11/misc/shnmk16.pcf.gz\n"
         "  pcf2bdf -o a16.bdf /usr/share/fonts/X11/misc/shnm8x16a.pcf.gz\n"
         "  pcf2bdf -o r16.bdf /usr/share/fonts/X11/misc/shnm8x16r.pcf.gz\n"
         "  cardprep-font --card /media/card k16.bdf a16.bdf r16.bdf\n";
}

std::string DesktopCardAdvice(const char*, const char*) { return ""; }
