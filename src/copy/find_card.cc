#include "copy/find_card.h"

#include "host/console.h"
#include "host/folder.h"
#include "host/program.h"
#include "host/words.h"

namespace {

bool HoldsFonts(const std::string& folder) {
  return KindOfPath(folder + kHostSeparator + "_FONT") == PathKind::kFolder;
}


}  // namespace

bool FindCopyCard(const std::string& card_option, std::string* card) {
  if (!card_option.empty()) {
    const PathKind kind = KindOfPath(card_option);
    if (kind != PathKind::kFolder) {
      Error("--card %s: %s; nothing was copied: check that the card is %s and the path is "
            "right",
            card_option.c_str(),
            kind == PathKind::kMissing ? "there is no such folder" : "it is not a folder",
            CardThereWord());
      return false;
    }
    if (!HoldsFonts(card_option)) {
      Error("%s is not a card's root: it holds no _FONT folder; nothing was copied: give the "
            "card's root, or give a card its fonts: %s",
            card_option.c_str(), MakeFontsAdvice(card_option).c_str());
      return false;
    }
    *card = card_option;
    return true;
  }
  // A program that lies on a card, started there or with a folder dropped
  // on it, copies to that card: its root, not the program's own folder
  // (which holds the fonts of the zip).
  const std::string drive = ProgramDriveRoot();
  if (!drive.empty() && HoldsFonts(drive) && FolderWithin(".", drive)) {
    Note("copying to the card the program lies on, %s", drive.c_str());
    *card = drive;
    return true;
  }
  if (HoldsFonts(".")) {
    *card = ".";
    return true;
  }
  // Started elsewhere (Explorer may start a program with a folder dropped
  // on it anywhere).
  if (!drive.empty() && HoldsFonts(drive)) {
    Note("copying to the card the program lies on, %s", drive.c_str());
    *card = drive;
    return true;
  }
  Error("no card here: the working folder holds no _FONT folder; nothing was copied: give the "
        "card's root with --card DIR, or give a card its fonts: %s",
        MakeFontsAdvice("DIR").c_str());
  return false;
}
