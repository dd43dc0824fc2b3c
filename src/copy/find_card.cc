#include "copy/find_card.h"

#include "host/console.h"
#include "host/folder.h"
#include "host/program.h"

namespace {

bool HoldsFonts(const std::string& folder) {
  return KindOfPath(folder + kHostSeparator + "_FONT") == PathKind::kFolder;
}

#if defined(_WIN32)
constexpr char kMakeFonts[] = "copy the _FONT folder from the zip to the card's root";
#else
constexpr char kMakeFonts[] = "make its fonts with cardprep-font --card DIR FONT";
#endif

}  // namespace

bool FindCopyCard(const std::string& card_option, std::string* card) {
  if (!card_option.empty()) {
    const PathKind kind = KindOfPath(card_option);
    if (kind != PathKind::kFolder) {
      Error("--card %s: %s (is the card mounted?); nothing was copied", card_option.c_str(),
            kind == PathKind::kMissing ? "there is no such folder" : "it is not a folder");
      return false;
    }
    if (!HoldsFonts(card_option)) {
      Error("%s is not a card's root: it holds no _FONT folder (%s); nothing was copied",
            card_option.c_str(), kMakeFonts);
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
  Error("no card here: the working folder holds no _FONT folder; give the card's root with "
        "--card DIR (%s); nothing was copied", kMakeFonts);
  return false;
}
