// The words of the advice the programs give that differ by host: the
// commands a person types, and what the card and its tools are called, on
// Linux (the POSIX hosts) and on Windows.
#ifndef CARDPREP_HOST_WORDS_H_
#define CARDPREP_HOST_WORDS_H_

#include <string>

// Said of a card that is there: "mounted" on Linux, "inserted" on Windows.
const char* CardThereWord();

// Where a card is, for examples: "/media/card", "E:\".
const char* ExampleCard();

// The command that checks and repairs a card's file system: "fsck.fat",
// "chkdsk E: /f".
const char* CheckCardCommand();

// |path| as a person would type it in the host's shell: quoted when it
// holds a space or a character the shell reads.
std::string ShellWord(const std::string& path);

// What to do about a folder |shown| that may not be read.
std::string ReadRightsAdvice(const std::string& shown);

// What to do about a card mounted read-only, or one the user may not write.
std::string ReadOnlyCardAdvice();
std::string WriteRightsAdvice();

// What to do about an output that could not be created or written, for
// the system's |error|: make room on a full card, let a read-only one be
// written, or check the card.
std::string WriteErrorAdvice(int error);

// What to do about a character converter of the system that cannot be
// opened.
std::string ConverterAdvice();

// How to put fonts on the card whose root is |card|: "cardprep-font --card
// DIR FONT" with the font Debian ships, or copying _FONT from the zip.
std::string MakeFontsAdvice(const std::string& card);

// How to run |program| on the card whose root is |root|.
std::string RunOnCardAdvice(const char* program, const std::string& root);

// What cardprep-font's help says of its sources and how to run it, where
// fonts are found on this host: its SOURCE paragraph, then an example.
const char* FontSourcesHelp();
const char* FontExampleHelp();

// What cardprep's help says of its prefixes, in the host's paths: the
// PREFIX paragraph's first lines, with examples of how a folder is given.
const char* PrefixHelp();

// What cardprep's help says of the exit status of a run that was stopped,
// and how one is stopped on this host: the end of its last sentence.
const char* StoppedStatusHelp();

// What cardprep-copy's help says of where the card is, an example, and
// the exit status of a stopped run.
const char* CopyCardHelp();
const char* CopyExampleHelp();
const char* CopyStoppedHelp();

// For a program started from the desktop where there is no card: where to
// put it (with |also|, such as "the _FONT folder") or what to drop on it.
// Empty on a host without a desktop start.
std::string DesktopCardAdvice(const char* program, const char* also = nullptr);

#endif  // CARDPREP_HOST_WORDS_H_
