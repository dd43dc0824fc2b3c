// The command lines of the three programs, parsed one way: getopt_long, so
// that options may come anywhere, "--opt=VALUE" and "--opt VALUE" both
// work, an unambiguous abbreviation stands for its option and "--" ends the
// options. Every mistake is told in the same words, naming the program.
#ifndef CARDPREP_OPTIONS_COMMAND_LINE_H_
#define CARDPREP_OPTIONS_COMMAND_LINE_H_

#include <string>
#include <vector>

struct KnownOption {
  const char* name;         // the long name, without "--"
  char short_name;          // 0 for none
  bool takes_value;
  int id;                   // 256 or more, so that it is never taken for a letter
};

struct GivenOption {
  int id;
  std::string name;   // as the option names it, with "--"
  std::string value;  // "" for an option without a value
};

// Parses |argv| of |program|. Returns false after one "error: " line when an
// option is unknown or ambiguous, lacks its value (an empty value counts as
// none) or has one it does not take; the caller then exits with status 2.
[[nodiscard]] bool ParseCommandLine(const char* program, int argc, char** argv,
                                    const std::vector<KnownOption>& known,
                                    std::vector<GivenOption>* options,
                                    std::vector<std::string>* operands);

// Reads |value| of |option| as a whole decimal number from |low| to |high|.
// Returns false after "error: OPTION takes WHAT, not 'VALUE'".
[[nodiscard]] bool ParseWholeNumber(const GivenOption& option, long low, long high,
                                    const char* what, long* number);

#endif  // CARDPREP_OPTIONS_COMMAND_LINE_H_
