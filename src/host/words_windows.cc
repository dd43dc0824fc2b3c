// The words of advice on Windows.
#include "host/words.h"

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

std::string MakeFontsAdvice(const std::string& card) {
  return "copy the _FONT folder from cardprep's zip to " + card +
         " (README-windows.txt says how to make fonts of your own with cardprep-font)";
}

std::string RunOnCardAdvice(const char* program, const std::string& root) {
  return std::string(program) + " --card " + ShellWord(root) + ", or copy " + program +
         ".exe to " + root + " and double-click it there";
}

std::string DesktopCardAdvice(const char* program) {
  return std::string("copy ") + program + ".exe and the _FONT folder to the card's root and "
         "double-click it there, or drop the card's drive on " + program + ".exe";
}
