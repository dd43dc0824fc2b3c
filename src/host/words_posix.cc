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

std::string DesktopCardAdvice(const char*) { return ""; }
