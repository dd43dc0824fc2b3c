#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_check.h"
#include "text/cp932.h"

namespace {

std::string g_scratch;  // the scratch folder, removed when the program ends

int RemoveOne(const char* path, const struct stat*, int, struct FTW*) { return remove(path); }

void RemoveScratchFolder() {
  if (!g_scratch.empty()) (void)nftw(g_scratch.c_str(), RemoveOne, 16, FTW_DEPTH | FTW_PHYS);
}

}  // namespace

void EnterScratchFolder() {
  static bool entered = false;
  if (entered) return;
  entered = true;
  const char* tmp = getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/cardprep-fuzz-XXXXXX";
  FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr, "cannot make a scratch folder");
  FUZZ_CHECK(chdir(pattern.c_str()) == 0, "cannot enter the scratch folder");
  g_scratch = pattern;
  atexit(RemoveScratchFolder);
  mkdir("_FONT", 0755);
  // Opened as it is, never created: fopen's "w" would make a file of
  // /dev/null were it missing for a moment, which every program would
  // then write into.
  fflush(stdout);
  const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
  FUZZ_CHECK(null >= 0 && dup2(null, 1) == 1, "cannot silence standard output");
  close(null);
}

void OpenConvertersOnce() {
  static bool opened = false;
  if (opened) return;
  opened = true;
  OpenCp932();
}

void WriteScratchFile(const char* path, const uint8_t* data, size_t size) {
  FILE* f = fopen(path, "wb");
  FUZZ_CHECK(f != nullptr, "cannot write a scratch file");
  FUZZ_CHECK(size == 0 || fwrite(data, 1, size, f) == size, "cannot write a scratch file");
  fclose(f);
}
