// The one command-line reader of the programs, on a table of options of
// every kind: what each argument sets, and what ends the program at once,
// with what on which stream and which status.
#include "options/command_line.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

constexpr char kUsage[] = "usage: prog [OPTION...] [FILE...]\n\nAll about prog.\n";
constexpr char kVersion[] = "prog " CARDPREP_VERSION "\n";

// The fields the options are bound to.
struct Fields {
  bool quiet = false;
  bool verbose = false;
  bool check = false;
  bool tag_all = false;
  std::string card;
  std::vector<std::string> tags;
  int jobs = 0;
  long size = 0;
  std::string charset;
  bool png_given = false;
  std::vector<std::string> operands;
};

// What reading a command line came to.
struct Outcome {
  bool go_on = false;
  int status = -1;  // when it does not go on
  std::string out, err;
  Fields fields;
};

// Reads |args| after "prog" with a table of every kind of option;
// |operands| false: the program takes none.
Outcome Read(const std::vector<std::string>& args, bool operands = true) {
  Outcome outcome;
  Fields& f = outcome.fields;
  std::string png;
  CommandLine line;
  line.program = "prog";
  line.usage = kUsage;
  line.operands = operands ? &f.operands : nullptr;
  line.options = {
      FlagOption("quiet", 'q', &f.quiet),
      FlagOption("verbose", 'v', &f.verbose),
      TextOption("card", 'C', &f.card),
      CustomOption("charset", 0, "auto or latin1",
                   [&f](const std::string& value) {
                     if (value != "auto" && value != "latin1") return false;
                     f.charset = value;
                     return true;
                   }),
      FlagOption("check", 0, &f.check),
      TextsOption("tag", 't', &f.tags),
      FlagOption("tag-all", 0, &f.tag_all),
      NumberOption("jobs", 'j', &f.jobs, 1, 256, "a number from 1 to 256"),
      NumberOption("size", 0, &f.size, 0, LONG_MAX, "a number of bytes"),
      TextOption("png", 0, &png).Noting(&f.png_given),
  };
  std::vector<std::string> words = {"prog"};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(&word[0]);
  argv.push_back(nullptr);
  CaptureStdout();
  CaptureStderr();
  outcome.go_on =
      ReadCommandLine(line, static_cast<int>(words.size()), argv.data(), &outcome.status);
  outcome.out = GetCapturedStdout();
  outcome.err = GetCapturedStderr();
  return outcome;
}

std::string Joined(const std::vector<std::string>& args) {
  std::string joined;
  for (const std::string& arg : args) joined += "[" + arg + "]";
  return joined;
}

// Arguments each option takes into its field, given every way it may be.
TEST(CommandLineTest, OptionsSetTheirFields) {
  const std::string long_max = std::to_string(LONG_MAX);
  struct Case {
    std::vector<std::string> args;
    Fields want;
  };
  auto with = [](auto set) {
    Fields f;
    set(&f);
    return f;
  };
  const Case cases[] = {
      {{}, Fields()},
      {{"-q", "--verbose"}, with([](Fields* f) { f->quiet = f->verbose = true; })},
      {{"-qv"}, with([](Fields* f) { f->quiet = f->verbose = true; })},
      {{"--qu", "--verb"}, with([](Fields* f) { f->quiet = f->verbose = true; })},
      // A value given each way, abbreviated, and given twice (the last counts).
      {{"--card", "X"}, with([](Fields* f) { f->card = "X"; })},
      {{"--card=X"}, with([](Fields* f) { f->card = "X"; })},
      {{"--ca=X=Y"}, with([](Fields* f) { f->card = "X=Y"; })},
      {{"-C", "X"}, with([](Fields* f) { f->card = "X"; })},
      {{"-CX"}, with([](Fields* f) { f->card = "X"; })},
      {{"-qCX"}, with([](Fields* f) { f->quiet = true;
                   f->card = "X"; })},
      {{"--card", "-q"}, with([](Fields* f) { f->card = "-q"; })},
      {{"--card", "a", "-C", "b"}, with([](Fields* f) { f->card = "b"; })},
      // A repeated value keeps every one in order; an exact name is no
      // abbreviation of a longer one.
      {{"--tag", "a", "-tb", "--tag=c", "--tag", "a"},
       with([](Fields* f) { f->tags = {"a", "b", "c", "a"}; })},
      {{"--tag-a"}, with([](Fields* f) { f->tag_all = true; })},
      // Numbers at their bounds, and leading zeros.
      {{"--jobs", "1"}, with([](Fields* f) { f->jobs = 1; })},
      {{"--jobs=256"}, with([](Fields* f) { f->jobs = 256; })},
      {{"-j", "0042"}, with([](Fields* f) { f->jobs = 42; })},
      {{"--size", "0"}, with([](Fields* f) { f->size = 0; })},
      {{"--size", long_max}, with([&](Fields* f) { f->size = LONG_MAX; })},
      {{"--charset", "latin1"}, with([](Fields* f) { f->charset = "latin1"; })},
      {{"--png", "p.png"}, with([](Fields* f) { f->png_given = true; })},
      // Operands anywhere, in order; after "--" every argument is one.
      {{"a", "-q", "b"}, with([](Fields* f) { f->quiet = true;
                   f->operands = {"a", "b"}; })},
      {{"-", "--", "-q", "--card=X"},
       with([](Fields* f) { f->operands = {"-", "-q", "--card=X"}; })},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Joined(c.args));
    const Outcome got = Read(c.args);
    EXPECT_TRUE(got.go_on);
    EXPECT_EQ(got.out, "");
    EXPECT_EQ(got.err, "");
    const Fields& f = got.fields;
    EXPECT_EQ(f.quiet, c.want.quiet);
    EXPECT_EQ(f.verbose, c.want.verbose);
    EXPECT_EQ(f.check, c.want.check);
    EXPECT_EQ(f.tag_all, c.want.tag_all);
    EXPECT_EQ(f.card, c.want.card);
    EXPECT_EQ(f.tags, c.want.tags);
    EXPECT_EQ(f.jobs, c.want.jobs);
    EXPECT_EQ(f.size, c.want.size);
    EXPECT_EQ(f.charset, c.want.charset);
    EXPECT_EQ(f.png_given, c.want.png_given);
    EXPECT_EQ(f.operands, c.want.operands);
  }
}

// --help and --version end the program with status 0 and their text on
// standard output; every mistake ends it with status 2 and one error line,
// naming the program, on standard error. The whole line is looked over
// first; then the options are taken in order, the first that ends the
// program ending it.
TEST(CommandLineTest, HelpVersionAndMistakesEndTheProgram) {
  std::string past_long_max = std::to_string(LONG_MAX);
  past_long_max.back() = static_cast<char>(past_long_max.back() + 1);  // ...807 or ...647
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out, err;
  };
  const Case cases[] = {
      {{"--help"}, 0, kUsage, ""},
      {{"-h"}, 0, kUsage, ""},
      {{"--he"}, 0, kUsage, ""},
      {{"-qh", "file"}, 0, kUsage, ""},
      {{"--version"}, 0, kVersion, ""},
      {{"--vers"}, 0, kVersion, ""},
      {{"file", "--version", "--help"}, 0, kVersion, ""},
      {{"--help", "--jobs", "0"}, 0, kUsage, ""},
      {{"--jobs", "0", "--help"}, 2, "", "error: --jobs takes a number from 1 to 256, not '0'\n"},
      {{"--help", "--bogus"}, 2, "", "error: unknown option '--bogus' (see prog --help)\n"},
      {{"--", "--help"}, -1, "", ""},  // an operand: the program goes on
      // Unknown options, long and short.
      {{"--bogus=1"}, 2, "", "error: unknown option '--bogus' (see prog --help)\n"},
      {{"-x"}, 2, "", "error: unknown option '-x' (see prog --help)\n"},
      {{"-qx"}, 2, "", "error: unknown option '-x' (see prog --help)\n"},
      // Abbreviations that match more than one option.
      {{"--ver"}, 2, "",
       "error: option '--ver' is ambiguous: it may be --verbose or --version (see prog --help)\n"},
      {{"--c=X"}, 2, "",
       "error: option '--c' is ambiguous: it may be --card, --charset or --check (see prog "
       "--help)\n"},
      {{"--ta", "x"}, 2, "",
       "error: option '--ta' is ambiguous: it may be --tag or --tag-all (see prog --help)\n"},
      // A value missing, or given to an option that takes none.
      {{"--card"}, 2, "", "error: --card needs a value (see prog --help)\n"},
      {{"--ca"}, 2, "", "error: --card needs a value (see prog --help)\n"},
      {{"--card="}, 2, "", "error: --card needs a value (see prog --help)\n"},
      {{"-C", ""}, 2, "", "error: --card needs a value (see prog --help)\n"},
      {{"-q", "-C"}, 2, "", "error: -C needs a value (see prog --help)\n"},
      {{"--quiet=1"}, 2, "", "error: option '--quiet' takes no value (see prog --help)\n"},
      {{"--qu=1"}, 2, "", "error: option '--quiet' takes no value (see prog --help)\n"},
      {{"--help=me"}, 2, "", "error: option '--help' takes no value (see prog --help)\n"},
      // Numbers beyond their bounds, or no plain number.
      {{"--jobs", "0"}, 2, "", "error: --jobs takes a number from 1 to 256, not '0'\n"},
      {{"-j", "257"}, 2, "", "error: --jobs takes a number from 1 to 256, not '257'\n"},
      {{"--jobs=2560"}, 2, "", "error: --jobs takes a number from 1 to 256, not '2560'\n"},
      {{"--jobs", "-1"}, 2, "", "error: --jobs takes a number from 1 to 256, not '-1'\n"},
      {{"--jobs", "+1"}, 2, "", "error: --jobs takes a number from 1 to 256, not '+1'\n"},
      {{"--jobs", " 1"}, 2, "", "error: --jobs takes a number from 1 to 256, not ' 1'\n"},
      {{"--jobs", "1x"}, 2, "", "error: --jobs takes a number from 1 to 256, not '1x'\n"},
      {{"--jobs", "two"}, 2, "", "error: --jobs takes a number from 1 to 256, not 'two'\n"},
      {{"--size", past_long_max}, 2, "",
       "error: --size takes a number of bytes, not '" + past_long_max + "'\n"},
      {{"--size", "99999999999999999999999"}, 2, "",
       "error: --size takes a number of bytes, not '99999999999999999999999'\n"},
      // A value the program's own function refuses.
      {{"--charset", "utf8"}, 2, "", "error: --charset takes auto or latin1, not 'utf8'\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Joined(c.args));
    const Outcome got = Read(c.args);
    EXPECT_EQ(got.go_on, c.status == -1);
    if (c.status != -1) {
      EXPECT_EQ(got.status, c.status);
    }
    EXPECT_EQ(got.out, c.out);
    EXPECT_EQ(got.err, c.err);
  }
}

// A program that takes no operands ends at the first one.
TEST(CommandLineTest, AnOperandWhereNoneIsTakenIsAMistake) {
  const Outcome got = Read({"-q", "stray", "more"}, false);
  EXPECT_FALSE(got.go_on);
  EXPECT_EQ(got.status, 2);
  EXPECT_EQ(got.err, "error: unknown argument 'stray' (see prog --help)\n");
  EXPECT_TRUE(Read({"-q"}, false).go_on);
}

}  // namespace
