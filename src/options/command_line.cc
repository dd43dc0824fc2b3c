#include "options/command_line.h"

#include <getopt.h>

#include <cstring>

#include "host/console.h"

namespace {

constexpr int kFirstOptionId = 256;

// The long options |arg| ("--ab" or "--ab=x") may stand for.
std::vector<const KnownOption*> Matching(const std::vector<KnownOption>& known, const char* arg) {
  std::string name = arg + 2;
  name = name.substr(0, name.find('='));
  std::vector<const KnownOption*> found;
  for (const KnownOption& candidate : known) {
    if (name == candidate.name) return {&candidate};
    if (strncmp(candidate.name, name.c_str(), name.size()) == 0) found.push_back(&candidate);
  }
  return found;
}

}  // namespace

bool ParseCommandLine(const char* program, int argc, char** argv,
                      const std::vector<KnownOption>& known, std::vector<GivenOption>* options,
                      std::vector<std::string>* operands) {
  std::string short_options = ":";  // ':' reports a missing value apart from an unknown option
  std::vector<option> long_options;
  for (const KnownOption& each : known) {
    if (each.id < kFirstOptionId) return false;  // ids must not be taken for letters
    long_options.push_back({each.name, each.takes_value ? required_argument : no_argument,
                            nullptr, each.id});
    if (each.short_name != 0) {
      short_options += each.short_name;
      if (each.takes_value) short_options += ':';
    }
  }
  long_options.push_back({nullptr, 0, nullptr, 0});

  opterr = 0;
  optind = 0;  // starts afresh, whatever parsed a command line before
  for (;;) {
    const int c = getopt_long(argc, argv, short_options.c_str(), long_options.data(), nullptr);
    if (c == -1) break;
    if (c == '?' || c == ':') {
      // A long option in error is the argument just passed over.
      const char* arg = argv[optind - 1];
      // Long options report their id (256 up) or 0; short ones their letter.
      const bool is_long = optopt == 0 || optopt >= kFirstOptionId;
      std::string shown = is_long ? std::string(arg).substr(0, std::string(arg).find('='))
                                  : "-" + std::string(1, static_cast<char>(optopt));
      if (c == ':') {
        if (is_long) shown = std::string("--") + Matching(known, arg).front()->name;
        Error("%s needs a value (see %s --help)", shown.c_str(), program);
      } else if (is_long && Matching(known, arg).size() > 1) {
        std::string candidates;
        const std::vector<const KnownOption*> matching = Matching(known, arg);
        for (size_t i = 0; i < matching.size(); ++i) {
          if (i > 0) candidates += i + 1 == matching.size() ? " or " : ", ";
          candidates += std::string("--") + matching[i]->name;
        }
        Error("option '%s' is ambiguous: it may be %s (see %s --help)", shown.c_str(),
              candidates.c_str(), program);
      } else if (is_long && Matching(known, arg).size() == 1) {
        Error("option '--%s' takes no value (see %s --help)", Matching(known, arg).front()->name,
              program);
      } else {
        Error("unknown option '%s' (see %s --help)", shown.c_str(), program);
      }
      return false;
    }
    for (const KnownOption& each : known) {
      if (each.id != c && each.short_name != c) continue;
      GivenOption given{each.id, std::string("--") + each.name, optarg ? optarg : ""};
      if (each.takes_value && given.value.empty()) {
        Error("%s needs a value (see %s --help)", given.name.c_str(), program);
        return false;
      }
      options->push_back(std::move(given));
      break;
    }
  }
  for (int i = optind; i < argc; ++i) operands->push_back(argv[i]);
  return true;
}

bool ParseWholeNumber(const GivenOption& option, long low, long high, const char* what,
                      long* number) {
  const std::string& text = option.value;
  long n = 0;
  bool ok = !text.empty();
  for (const char c : text) {
    if (c < '0' || c > '9' || n > high) {
      ok = false;
      break;
    }
    n = n * 10 + (c - '0');
  }
  if (!ok || n < low || n > high) {
    Error("%s takes %s, not '%s'", option.name.c_str(), what, text.c_str());
    return false;
  }
  *number = n;
  return true;
}
