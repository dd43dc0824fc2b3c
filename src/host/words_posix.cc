// The words of advice on Linux and the other POSIX hosts.
#include "host/words.h"

#include <cerrno>

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

std::string ReadRightsAdvice(const std::string& shown) {
  return "let it be read (chmod a+rx " + ShellWord(shown) + "), or run cardprep as its owner";
}

std::string ReadOnlyCardAdvice() {
  return "unlock its write-protect switch, or mount it read-write: sudo mount -o remount,rw "
         "<mount point>";
}

std::string WriteRightsAdvice() {
  return "run cardprep as a user who may write there, or mount the card with uid=$(id -u)";
}

std::string WriteErrorAdvice(int error) {
  switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return "the card is full: make room on it and run cardprep again";
    case EROFS:
      return "the card is mounted read-only: " + ReadOnlyCardAdvice();
    case EACCES:
    case EPERM:
      return WriteRightsAdvice();
    case EISDIR:
      return "a folder stands at its name: rename or remove that folder and run cardprep again";
    default:
      return "check the card (fsck.fat) and run cardprep again";
  }
}

std::string ConverterAdvice() {
  return "reinstall the C library's converters (sudo apt-get install --reinstall libc6)";
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

const char* PrefixHelp() {
  return "PREFIX   a folder of the card such as /Pops, '\\Pops', Pops or\n"
         "         /media/card/Pops: every folder whose path begins with it is\n";
}

const char* StoppedStatusHelp() {
  return "128 + the signal's number when the run\n"
         "was stopped.\n";
}

const char* CopyCardHelp() { return "Run in the card's root, or give it with --card."; }

const char* CopyExampleHelp() {
  return "cardprep-copy --card /media/card ~/Music/Album song.flac --to /Music";
}

const char* CopyStoppedHelp() { return "128 + the signal's number when stopped"; }

std::string DesktopCardAdvice(const char*, const char*) { return ""; }
