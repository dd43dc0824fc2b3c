// One file of the player's index, opened aside: written under a temporary
// name in the card's root, and put in place with the others only at the end
// of a run, so that a run that fails or is stopped leaves the index the card
// had. Each writer opens its own file so.
#ifndef CARDPREP_INDEX_INDEX_FILE_H_
#define CARDPREP_INDEX_INDEX_FILE_H_

#include "host/file.h"

// Opens the index file |name| aside in the card's root. When it cannot be
// created, says so on standard error, after the trace's "fopen error" line
// when |trace|; returns false.
[[nodiscard]] bool OpenIndexFile(const char* name, bool trace, OutFile* file);

#endif  // CARDPREP_INDEX_INDEX_FILE_H_
