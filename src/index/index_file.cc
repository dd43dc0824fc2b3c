#include "index/index_file.h"

#include <string>

#include "host/console.h"
#include "host/words.h"

bool OpenIndexFile(const char* name, bool trace, OutFile* file) {
  std::string why;
  if (OpenAside(std::string("./") + name, name, file, &why)) return true;
  if (trace) Out("fopen error\n");
  Error("cannot create %s: %s; %s", name, why.c_str(), WriteErrorAdvice(file->error).c_str());
  return false;
}
