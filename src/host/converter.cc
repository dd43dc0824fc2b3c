#include "host/converter.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "host/console.h"

namespace {

struct Opened {
  char to[32];
  char from[32];
  iconv_t converter;  // (iconv_t)-1: could not be opened, and that was said
};

// Every converter asked for in this process, kept for the run. Plain
// storage, never destroyed, so the converters stay reachable to the end.
struct Converters {
  Opened opened[16];
  size_t count;
};
Converters g_converters;

}  // namespace

bool GetConverter(const char* to, const char* from, iconv_t* converter) {
  const iconv_t none = reinterpret_cast<iconv_t>(-1);
  for (size_t i = 0; i < g_converters.count; ++i) {
    const Opened& each = g_converters.opened[i];
    if (strcmp(each.to, to) == 0 && strcmp(each.from, from) == 0) {
      *converter = each.converter;
      return each.converter != none;
    }
  }
  *converter = iconv_open(to, from);
  if (*converter == none) {
    const int error = errno;
    Error("cannot open the converter from %s to %s: %s", from, to, strerror(error));
    KeepOldIndex(std::string("the converter from ") + from + " to " + to + " could not be opened");
  }
  if (g_converters.count < sizeof g_converters.opened / sizeof g_converters.opened[0] &&
      strlen(to) < sizeof(Opened::to) && strlen(from) < sizeof(Opened::from)) {
    Opened& added = g_converters.opened[g_converters.count++];
    strcpy(added.to, to);
    strcpy(added.from, from);
    added.converter = *converter;
  }
  return *converter != none;
}
