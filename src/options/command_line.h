// The command lines of the programs, read one way. Each program declares
// its options as a table, each option bound to the field it sets (a flag,
// a text, a whole number in a range, a value given again and again, or a
// value read by the program's own function), and calls ReadCommandLine.
// The rest is the same for every program and lives only here: options may
// come anywhere, "--opt=VALUE" and "--opt VALUE" both work, an unambiguous
// abbreviation stands for its option, "--" ends the options, --help prints
// the program's usage and --version its version, and every mistake is told
// in the same words, naming the program, with exit status 2.
#ifndef CARDPREP_OPTIONS_COMMAND_LINE_H_
#define CARDPREP_OPTIONS_COMMAND_LINE_H_

#include <functional>
#include <string>
#include <vector>

// The exit statuses the programs share (a run stopped by a signal ends
// with the host's own status for it).
constexpr int kExitSuccess = 0;  // done, warnings allowed; or --help or --version answered
constexpr int kExitFailure = 1;  // an "error: " line said what went wrong
constexpr int kExitUsage = 2;    // a bad command line: one "error: " line, nothing done

enum class OptionKind {
  kFlag,    // no value; sets a bool
  kText,    // a value, kept as given (the last one, when given twice)
  kTexts,   // a value, each one given kept in order
  kNumber,  // a whole decimal number in a range
  kCustom,  // a value the program reads with its own function
};

// One option of a program and the field it is bound to. Made by the
// functions below.
struct Option {
  const char* name = "";  // the long name, without "--"
  char short_name = 0;    // 0 for none
  OptionKind kind = OptionKind::kFlag;
  bool* flag = nullptr;
  std::string* text = nullptr;
  std::vector<std::string>* texts = nullptr;
  int* int_number = nullptr;  // a number goes into one of these two
  long* long_number = nullptr;
  long low = 0;   // the numbers taken, |low| and |high| included; both
  long high = 0;  // fit the field and are not negative
  // What a value must be, for "--NAME takes WHAT, not 'VALUE'" (a number,
  // or a value |read| does not take).
  const char* what = "";
  std::function<bool(const std::string& value)> read;  // kCustom: false to refuse
  bool* given = nullptr;  // set to true when the option is given at all

  // This option, setting |*seen| as well when it is given.
  Option Noting(bool* seen) const;
};

Option FlagOption(const char* name, char short_name, bool* field);
Option TextOption(const char* name, char short_name, std::string* field);
Option TextsOption(const char* name, char short_name, std::vector<std::string>* field);
Option NumberOption(const char* name, char short_name, int* field, long low, long high,
                    const char* what);
Option NumberOption(const char* name, char short_name, long* field, long low, long high,
                    const char* what);
// |read| takes the value into the program's field, or refuses it by
// returning false; the error line that follows says it takes |what|.
Option CustomOption(const char* name, char short_name, const char* what,
                    std::function<bool(const std::string& value)> read);

// A program's command line.
struct CommandLine {
  const char* program = "";  // as errors, --help hints and --version name it
  std::string usage;         // what --help prints
  // The program's own options; -h/--help and --version are every
  // program's, and come after them.
  std::vector<Option> options;
  // The arguments that are no options, in order (all of them after "--");
  // null for a program that takes none.
  std::vector<std::string>* operands = nullptr;
};

// Reads |argv| as |line| says. The whole line is looked over first: an
// unknown or ambiguous option, a value missing (an empty one counts as
// none) or given to an option that takes none, or an operand where the
// program takes none, ends it. Then the options
// are taken in the order given, each into its field: a value its option
// does not take ends it with "error: --NAME takes WHAT, not 'VALUE'";
// --help prints the usage, and --version "PROGRAM VERSION", and end it.
// Returns true when the program goes on (to its own checks of what was
// given); false when it is to end with |*status|: kExitSuccess after
// --help or --version, kExitUsage after the one error line.
[[nodiscard]] bool ReadCommandLine(const CommandLine& line, int argc, char** argv, int* status);

#endif  // CARDPREP_OPTIONS_COMMAND_LINE_H_
