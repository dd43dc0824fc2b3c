// The words of advice on Windows.
#include "host/words.h"

#include <windows.h>

const char* CardThereWord() { return "inserted"; }

const char* ExampleCard() { return "E:\\"; }

const char* CheckCardCommand() { return "chkdsk E: /f, with the card's drive for E:"; }

std::string ShellWord(const std::string& path) {
  // cmd.exe reads "E:\" as it is, but "E:\" quoted as "E:\\" would end in
  // a quote the program takes for part of the path.
  if (path.find_first_of(" &()[]{}^=;!'+,`~") == std::string::npos || path.empty()) return path;
  std::string quoted = "\"" + path;
  if (quoted.back() == '\\') quoted += '\\';
  return quoted + "\"";
}

std::string ReadRightsAdvice(const std::string&) {
  return "give your account the right to read it (its Properties, Security), and run cardprep "
         "again";
}

std::string ReadOnlyCardAdvice() { return "unlock its write-protect switch"; }

std::string WriteRightsAdvice() {
  return "make sure Windows may write to the card (not read-only, no file on it open in "
         "another program) and run cardprep again";
}

std::string WriteErrorAdvice(int error) {
  switch (error) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return "the card is full: make room on it and run cardprep again";
    case ERROR_WRITE_PROTECT:
      return "the card is write-protected: " + ReadOnlyCardAdvice();
    case ERROR_ACCESS_DENIED:
      return WriteRightsAdvice();
    default:
      return "check the card (chkdsk E: /f, with the card's drive for E:) and run cardprep "
             "again";
  }
}

std::string ConverterAdvice() {
  return "add the language's support to Windows (Settings, Time & Language, Language)";
}

std::string MakeFontsAdvice(const std::string& card) {
  return "copy the _FONT folder from cardprep's zip to " + card +
         " (README-windows.txt says how to make fonts of your own with cardprep-font)";
}

std::string RunOnCardAdvice(const char* program, const std::string& root) {
  return std::string(program) + " --card " + ShellWord(root) + ", or copy " + program +
         ".exe to " + root + " and double-click it there";
}

const char* FontSourcesHelp() {
  return "SOURCE   a Unifont hex file (unifont_jp-VERSION.hex.gz from GNU Unifont's\n"
         "         site, unifoundry.com), or a BDF font numbered as ISO10646-1,\n"
         "         ISO8859-1, JIS X 0208 or JIS X 0201; compressed (.gz) or not.\n"
         "         Windows' own fonts (.ttf, .ttc, .fon) cannot be read.\n";
}

const char* FontExampleHelp() {
  return "Example, in a Command Prompt in the folder cardprep-font.exe is in, with\n"
         "GNU Unifont's Japanese hex file downloaded to your Downloads folder and\n"
         "the card in drive E:\n"
         "  cardprep-font --card E:\\ %USERPROFILE%\\Downloads\\unifont_jp-15.1.05.hex.gz\n";
}

const char* PrefixHelp() {
  return "PREFIX   a folder of the card such as \\Pops, Pops or E:\\Pops: every\n"
         "         folder whose path begins with it is\n";
}

const char* StoppedStatusHelp() {
  return "130 when the run\n"
         "was stopped (Ctrl-C, Ctrl-Break or closing its window).\n";
}

const char* CopyCardHelp() {
  return "Run in the card's root, give it with --card, or drop folders on the\n"
         "program lying on the card.";
}

const char* CopyExampleHelp() {
  return "cardprep-copy --card E:\\ C:\\Music\\Album D:\\Song.flac --to \\Music";
}

const char* CopyStoppedHelp() {
  return "130 when stopped (Ctrl-C, Ctrl-Break or closing its window)";
}

std::string DesktopCardAdvice(const char* program, const char* also) {
  return std::string("copy ") + program + ".exe" + (also != nullptr ? std::string(" and ") + also : "") +
         " to the card's root and double-click it there, or drop the card's drive on " +
         program + ".exe";
}
