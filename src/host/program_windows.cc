// Starting and ending a program on Windows: the arguments from the UTF-16
// command line, standard output and error as bytes, and the window a double
// click opened kept until a key is pressed.
#include <windows.h>
#include <shellapi.h>
#include <conio.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <vector>

#include "host/program.h"
#include "host/win32.h"

namespace {

struct ProgramHostState {
  std::vector<std::string> arguments;
  std::vector<char*> argv;
};
ProgramHostState g_program;

}  // namespace

void TakeHostArguments(int* argc, char*** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  // The progress line's escapes, as on a terminal.
  DWORD mode = 0;
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (GetConsoleMode(error, &mode)) {
    SetConsoleMode(error, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
  }
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return;
  for (int i = 0; i < count; ++i) g_program.arguments.push_back(Utf8FromWide(wide[i]));
  LocalFree(wide);
  for (std::string& argument : g_program.arguments) g_program.argv.push_back(argument.data());
  g_program.argv.push_back(nullptr);
  *argc = count;
  *argv = g_program.argv.data();
}

bool StartedFromDesktop() {
  DWORD processes[2];
  DWORD mode = 0;
  // Started from a console window, the program shares it with the shell;
  // started by a double click, it is alone on a window of its own that
  // closes with it.
  return GetConsoleProcessList(processes, 2) == 1 &&
         GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode);
}

int EndProgram(int status) {
  if (StartedFromDesktop()) {
    fflush(stdout);
    fputs("Press any key to close this window.\n", stderr);
    fflush(stderr);
    _getwch();
  }
  return status;
}

std::string ProgramDriveRoot() {
  std::wstring path(32768, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  if (length == 0 || length >= path.size()) return "";
  path.resize(length);
  wchar_t volume[MAX_PATH + 1];
  if (!GetVolumePathNameW(path.c_str(), volume, MAX_PATH + 1)) return "";
  return Utf8FromWide(volume);
}
