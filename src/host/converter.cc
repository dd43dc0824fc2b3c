#include "host/converter.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "host/console.h"

namespace {

struct Opened {
  std::string to, from;
  iconv_t converter;  // (iconv_t)-1: could not be opened, and that was said
};

// Every converter asked for in this process, for the run.
std::vector<Opened> g_converters;

}  // namespace

bool GetConverter(const char* to, const char* from, iconv_t* converter) {
  const iconv_t none = reinterpret_cast<iconv_t>(-1);
  for (const Opened& each : g_converters) {
    if (each.to == to && each.from == from) {
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
  g_converters.push_back({to, from, *converter});
  return *converter != none;
}
