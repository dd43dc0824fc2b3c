// Starting and ending a program on POSIX hosts: the arguments are the
// system's bytes, and a program has no window of its own.
#include "host/program.h"

void TakeHostArguments(int*, char***) {}

bool StartedFromDesktop() { return false; }

int EndProgram(int status) { return status; }

std::string ProgramDriveRoot() { return ""; }
