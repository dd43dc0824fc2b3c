// What the programs ask of the host when they start and end: their
// arguments in UTF-8 (on Windows taken from the UTF-16 command line), and,
// for a program started by a double click on Windows (the only process on
// its console), a key pressed before its window closes.
#ifndef CARDPREP_HOST_PROGRAM_H_
#define CARDPREP_HOST_PROGRAM_H_

#include <string>

#include "host/platform.h"

// Replaces |*argc| and |*argv| with the host's own arguments in UTF-8, and
// readies standard output and error (on Windows: bytes as they are, no CR
// added). Called first in main().
void TakeHostArguments(int* argc, char*** argv);

// Whether the program was started from the desktop (a double click, or a
// folder dropped on it) with a console window of its own, which closes
// when it ends; never on POSIX hosts.
bool StartedFromDesktop();

// Returns |status|, after "Press any key to close this window." and a key
// when the program has a console window of its own (on POSIX hosts never).
int EndProgram(int status);

// The root of the drive the program's own file lies on ("E:\\"), where a
// card that carries the program has its fonts; empty on hosts whose
// programs do not lie on cards (POSIX).
std::string ProgramDriveRoot();

// The separator of the host's paths, for the paths the programs say.
constexpr char kHostSeparator = CARDPREP_WINDOWS ? '\\' : '/';

#endif  // CARDPREP_HOST_PROGRAM_H_
