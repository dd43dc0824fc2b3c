#include "app/card.h"

#include <string>
#include <utility>
#include <vector>

#include "font/fontx.h"
#include "host/card_folder.h"
#include "host/console.h"
#include "host/program.h"
#include "host/words.h"
#include "text/utf.h"

namespace {

constexpr char kFontFolder[] = "_FONT";

// How far up a card's root is looked for.
constexpr int kMaxLevelsUp = 64;

// Whether |argument| is the root prefix, "/" or "\" alone.
bool IsRootPrefix(const std::string& argument) { return argument == "/" || argument == "\\"; }

// The working folder as the system shows it; "." when it cannot say.
std::string WorkingFolder() {
  std::string absolute, why;
  return AbsoluteFolder(".", &absolute, &why) ? absolute : ".";
}

// Whether the working folder is a card whose folder |argument|, read as a
// path on the card ("/Music" as "\Music"), exists: then it is a prefix.
bool FolderOfWorkingCard(const std::string& argument) {
  return TypeOfEntry(kFontFolder) == EntryType::kFolder &&
         TypeOfEntry("." + (argument.front() == '/' ? argument : "/" + argument)) ==
             EntryType::kFolder;
}

// Whether |argument| names the card: see TakeCardFromArguments.
bool NamesCard(const std::string& argument) {
  if (argument.empty() || IsRootPrefix(argument)) return false;
  const ArgumentForm form = FormOfArgument(argument);
  if (form == ArgumentForm::kCardPath) return false;
  std::string folder, why;
  if (AbsoluteFolder(argument, &folder, &why)) {
    if (TypeOfEntry(InFolder(folder, kFontFolder)) != EntryType::kMissing) return true;
    return form == ArgumentForm::kAbsolute && !PathWithin(folder, WorkingFolder()) &&
           !FolderOfWorkingCard(argument);
  }
  if (form != ArgumentForm::kAbsolute || PathWithin(argument, WorkingFolder())) return false;
  const EntryType type = TypeOfEntry(argument);
  // A file is no card: taken as one, it is refused with a word. Nothing
  // at a drive's path is a drive without its medium, which is said too; on
  // POSIX hosts an absolute path to nothing is a path on the card.
  if (type == EntryType::kFile || type == EntryType::kOther) return true;
  return type == EntryType::kMissing && argument.find(':') != std::string::npos;
}

}  // namespace

void TakeCardFromArguments(Args* args) {
  if (!args->card.empty()) return;
  for (size_t i = 0; i < args->prefixes.size(); ++i) {
    const std::string& argument = args->prefixes[i].arg;
    if (!NamesCard(argument)) continue;
    args->card = argument;
    args->card_from_argument = true;
    Note("taking %s as the card's root, as --card %s would", argument.c_str(),
         ShellWord(argument).c_str());
    args->prefixes.erase(args->prefixes.begin() + static_cast<long>(i));
    return;
  }
}

namespace {

// The folder above |card| that holds _FONT: the card's root, when |card|
// lies on a card but is not its root. Stops quietly at a folder it may
// not look into.
bool CardRootAbove(const std::string& card, std::string* root) {
  std::string folder = card;
  for (int level = 0; level < kMaxLevelsUp && FolderAbove(folder, &folder); ++level) {
    switch (TypeOfEntry(InFolder(folder, kFontFolder))) {
      case EntryType::kFolder:
        *root = folder;
        return true;
      case EntryType::kMissing:
        break;
      default:
        return false;
    }
  }
  return false;
}

// The advice for a program started from the desktop where there is no
// card, after |before|.
std::string DesktopAdvice(const char* before) {
  if (!StartedFromDesktop()) return "";
  return before + DesktopCardAdvice("cardprep", "the _FONT folder");
}

// "A", "A and B".
std::string Both(const std::vector<std::string>& texts) {
  return texts.size() == 2 ? texts[0] + " and " + texts[1] : texts.empty() ? "" : texts[0];
}

void SayNoFontFolder(const std::string& card, EntryType type, const std::string& why,
                     NoCard* no_card) {
  const std::string font_folder = InFolder(card, kFontFolder);
  std::string root;
  switch (type) {
    case EntryType::kMissing:
      if (CardRootAbove(card, &root)) {
        Error("%s is a folder on the card whose root is %s, not its root: nothing was "
              "written; run cardprep there: %s",
              card.c_str(), root.c_str(), RunOnCardAdvice("cardprep", root).c_str());
        no_card->summary = card + " is not the card's root";
        return;
      }
      Error("%s has no _FONT folder, so it is not a card's root (or the card's fonts were never "
            "put on it): nothing was written; run cardprep in the card's root, or name the card "
            "(cardprep %s); to give a card its fonts: %s%s",
            card.c_str(), ExampleCard(), MakeFontsAdvice(card).c_str(),
            DesktopAdvice("; or ").c_str());
      no_card->summary = card + " has no _FONT folder";
      return;
    case EntryType::kLink:
      Error("%s is a symbolic link, which cardprep does not follow: nothing was written; put "
            "the fonts' folder itself on the card: %s",
            font_folder.c_str(), MakeFontsAdvice(card).c_str());
      no_card->summary = font_folder + " is a symbolic link";
      return;
    case EntryType::kUnknown:
      Error("cannot look at %s (%s): nothing was written; check the card (%s) and run "
            "cardprep again",
            font_folder.c_str(), why.c_str(), CheckCardCommand());
      no_card->summary = "the card's _FONT folder cannot be looked at";
      return;
    default:
      Error("%s is a file, not the folder of the card's fonts: nothing was written; rename "
            "or remove it, then give the card its fonts: %s",
            font_folder.c_str(), MakeFontsAdvice(card).c_str());
      no_card->summary = font_folder + " is not a folder";
      return;
  }
}

void SayUnusableFonts(const std::string& card, const std::vector<FontFailure>& failures,
                      NoCard* no_card) {
  std::vector<std::string> said;
  for (const FontFailure& failure : failures) {
    said.push_back(Utf16ToUtf8(failure.path) + " " + failure.why);
  }
  Error("the card's fonts cannot be used (%s): nothing was written, since every name would be "
        "drawn blank; give the card its fonts again: %s",
        Both(said).c_str(), MakeFontsAdvice(card).c_str());
  no_card->summary = failures.size() == 2 ? "the card's fonts cannot be used"
                                          : "a font of the card cannot be used";
}

}  // namespace

bool CheckCard(NoCard* no_card) {
  const std::string card = WorkingFolder();
  std::string why;
  const EntryType type = TypeOfEntry(kFontFolder, &why);
  if (type != EntryType::kFolder) {
    SayNoFontFolder(card, type, why, no_card);
    return false;
  }
  std::vector<FontFailure> failures;
  if (InitFont(&failures)) return true;
  SayUnusableFonts(card, failures, no_card);
  return false;
}

void SayNothingToIndex() {
  const std::string card = WorkingFolder();
  Error("no MP3 files on this card: nothing to index; is %s the card's root?%s", card.c_str(),
        DesktopAdvice(" If not, ").c_str());
}
