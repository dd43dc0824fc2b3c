// What every fuzz target shares: an always-on check that aborts with a
// message, and a scratch folder made the working folder once.
#ifndef CARDPREP_FUZZ_FUZZ_CHECK_H_
#define CARDPREP_FUZZ_FUZZ_CHECK_H_

#include <cstdio>
#include <cstdlib>
#include <string>

#define FUZZ_CHECK(condition, message)                                     \
  do {                                                                     \
    if (!(condition)) {                                                    \
      fprintf(stderr, "fuzz check failed: %s (%s)\n", message, #condition); \
      abort();                                                             \
    }                                                                      \
  } while (0)

// Makes a fresh folder under $TMPDIR the working folder, once per process,
// and sends standard output (the tool's progress lines) to /dev/null.
void EnterScratchFolder();

// Opens the converters of code page 932 (text/cp932.h), once per process,
// as a program does when it starts.
void OpenConvertersOnce();

// Writes |size| bytes to |path| in the working folder.
void WriteScratchFile(const char* path, const uint8_t* data, size_t size);

#endif  // CARDPREP_FUZZ_FUZZ_CHECK_H_
