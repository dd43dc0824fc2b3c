#include "options/command_line.h"

#include <getopt.h>

#include <cstdio>
#include <cstring>
#include <utility>

#include "host/console.h"

namespace {

// getopt_long reports a long option by its number in the table plus this,
// so that none is taken for a letter.
constexpr int kFirstOptionId = 256;

// The options |arg| ("--ab" or "--ab=x") may stand for.
std::vector<const Option*> Matching(const std::vector<Option>& known, const char* arg) {
  std::string name = arg + 2;
  name = name.substr(0, name.find('='));
  std::vector<const Option*> found;
  for (const Option& candidate : known) {
    if (name == candidate.name) return {&candidate};
    if (strncmp(candidate.name, name.c_str(), name.size()) == 0) found.push_back(&candidate);
  }
  return found;
}

bool TakesValue(const Option& option) { return option.kind != OptionKind::kFlag; }

// Says what is wrong with the argument getopt_long stopped at (|c| is '?'
// or ':'). What a long option lacks is told by the option itself: hosts'
// getopt_long differ in which of the two they return for a value given to
// an option that takes none.
void SayWrongOption(const char* program, const std::vector<Option>& known, int c,
                    const char* arg) {
  // Long options report their id (256 up) or 0; short ones their letter.
  if (optopt != 0 && optopt < kFirstOptionId) {
    const char letter = static_cast<char>(optopt);
    if (c == ':') {
      Error("-%c needs a value (see %s --help)", letter, program);
    } else {
      Error("unknown option '-%c' (see %s --help)", letter, program);
    }
    return;
  }
  const std::string shown = std::string(arg).substr(0, std::string(arg).find('='));
  const std::vector<const Option*> matching = Matching(known, arg);
  if (matching.size() > 1) {
    std::string candidates;
    for (size_t i = 0; i < matching.size(); ++i) {
      if (i > 0) candidates += i + 1 == matching.size() ? " or " : ", ";
      candidates += std::string("--") + matching[i]->name;
    }
    Error("option '%s' is ambiguous: it may be %s (see %s --help)", shown.c_str(),
          candidates.c_str(), program);
  } else if (matching.size() == 1 && TakesValue(*matching.front())) {
    Error("--%s needs a value (see %s --help)", matching.front()->name, program);
  } else if (matching.size() == 1) {
    Error("option '--%s' takes no value (see %s --help)", matching.front()->name, program);
  } else {
    Error("unknown option '%s' (see %s --help)", shown.c_str(), program);
  }
}

// Reads |text| as a whole decimal number from |low| to |high| (neither
// negative): digits only, no sign, no space.
bool ReadWholeNumber(const std::string& text, long low, long high, long* number) {
  long n = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    const long digit = c - '0';
    if (n > (high - digit) / 10) return false;  // past |high|, and never past LONG_MAX
    n = n * 10 + digit;
  }
  if (text.empty() || n < low) return false;
  *number = n;
  return true;
}

// Takes |value| into the field |option| is bound to; false after the error
// line when the option does not take it.
bool Take(const Option& option, const std::string& value) {
  bool taken = true;
  switch (option.kind) {
    case OptionKind::kFlag:
      *option.flag = true;
      break;
    case OptionKind::kText:
      *option.text = value;
      break;
    case OptionKind::kTexts:
      option.texts->push_back(value);
      break;
    case OptionKind::kNumber: {
      long number = 0;
      taken = ReadWholeNumber(value, option.low, option.high, &number);
      if (taken && option.int_number != nullptr) *option.int_number = static_cast<int>(number);
      if (taken && option.long_number != nullptr) *option.long_number = number;
      break;
    }
    case OptionKind::kCustom:
      taken = option.read(value);
      break;
  }
  if (!taken) {
    Error("--%s takes %s, not '%s'", option.name, option.what, value.c_str());
    return false;
  }
  if (option.given != nullptr) *option.given = true;
  return true;
}

Option Bound(const char* name, char short_name, OptionKind kind) {
  Option option;
  option.name = name;
  option.short_name = short_name;
  option.kind = kind;
  return option;
}

}  // namespace

Option Option::Noting(bool* seen) const {
  Option noting = *this;
  noting.given = seen;
  return noting;
}

Option FlagOption(const char* name, char short_name, bool* field) {
  Option option = Bound(name, short_name, OptionKind::kFlag);
  option.flag = field;
  return option;
}

Option TextOption(const char* name, char short_name, std::string* field) {
  Option option = Bound(name, short_name, OptionKind::kText);
  option.text = field;
  return option;
}

Option TextsOption(const char* name, char short_name, std::vector<std::string>* field) {
  Option option = Bound(name, short_name, OptionKind::kTexts);
  option.texts = field;
  return option;
}

Option NumberOption(const char* name, char short_name, int* field, long low, long high,
                    const char* what) {
  Option option = NumberOption(name, short_name, static_cast<long*>(nullptr), low, high, what);
  option.int_number = field;
  return option;
}

Option NumberOption(const char* name, char short_name, long* field, long low, long high,
                    const char* what) {
  Option option = Bound(name, short_name, OptionKind::kNumber);
  option.long_number = field;
  option.low = low;
  option.high = high;
  option.what = what;
  return option;
}

Option CustomOption(const char* name, char short_name, const char* what,
                    std::function<bool(const std::string& value)> read) {
  Option option = Bound(name, short_name, OptionKind::kCustom);
  option.what = what;
  option.read = std::move(read);
  return option;
}

bool ReadCommandLine(const CommandLine& line, int argc, char** argv, int* status) {
  *status = kExitUsage;
  bool help = false, version = false;
  std::vector<Option> known = line.options;
  known.push_back(FlagOption("help", 'h', &help));
  known.push_back(FlagOption("version", 0, &version));

  std::string short_options = ":";  // ':' reports a missing value apart from an unknown option
  std::vector<option> long_options;
  for (size_t i = 0; i < known.size(); ++i) {
    const Option& each = known[i];
    long_options.push_back({each.name, TakesValue(each) ? required_argument : no_argument,
                            nullptr, kFirstOptionId + static_cast<int>(i)});
    if (each.short_name != 0) {
      short_options += each.short_name;
      if (TakesValue(each)) short_options += ':';
    }
  }
  long_options.push_back({nullptr, 0, nullptr, 0});

  // The whole line first: a mistake anywhere in it is said before any
  // option is taken.
  std::vector<std::pair<const Option*, std::string>> given;
  opterr = 0;
  optind = 0;  // starts afresh, whatever read a command line before
  for (;;) {
    const int c = getopt_long(argc, argv, short_options.c_str(), long_options.data(), nullptr);
    if (c == -1) break;
    if (c == '?' || c == ':') {
      // A long option in error is the argument just passed over.
      SayWrongOption(line.program, known, c, argv[optind - 1]);
      return false;
    }
    const Option* option = nullptr;
    for (size_t i = 0; i < known.size() && option == nullptr; ++i) {
      if (kFirstOptionId + static_cast<int>(i) == c || known[i].short_name == c) {
        option = &known[i];
      }
    }
    if (option == nullptr) return false;  // getopt_long gave what it was not told of
    const std::string value = optarg != nullptr ? optarg : "";
    if (TakesValue(*option) && value.empty()) {
      Error("--%s needs a value (see %s --help)", option->name, line.program);
      return false;
    }
    given.emplace_back(option, value);
  }
  for (int i = optind; i < argc; ++i) {
    if (line.operands == nullptr) {
      Error("unknown argument '%s' (see %s --help)", argv[i], line.program);
      return false;
    }
    line.operands->push_back(argv[i]);
  }

  // Then each option in the order given.
  for (const auto& [option, value] : given) {
    if (!Take(*option, value)) return false;
    if (help) {
      fputs(line.usage.c_str(), stdout);
      *status = kExitSuccess;
      return false;
    }
    if (version) {
      printf("%s %s\n", line.program, CARDPREP_VERSION);
      *status = kExitSuccess;
      return false;
    }
  }
  return true;
}
