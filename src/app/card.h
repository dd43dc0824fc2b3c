// Which folder is the card, and whether it is one. A card is a folder that
// holds _FONT with the two fonts the player's names are drawn with: cardprep
// writes onto a card or nowhere. The card is the working folder, the folder
// --card names, or one named by an argument: a person who types the card's
// path (cardprep /media/card, cardprep .) or drops the card on the program
// (Explorer passes E:\) means the card, not a prefix.
#ifndef CARDPREP_APP_CARD_H_
#define CARDPREP_APP_CARD_H_

#include <string>

#include "app/args.h"

// Without --card, takes the first argument that names a card as the card,
// as if given with --card, and takes it out of the prefixes; says so in a
// note. An argument naming a folder that holds _FONT is such a one; so is
// an absolute path naming a folder (or a file, or on Windows a drive) that
// lies outside the working folder, which is then checked as a card, so
// that the error speaks of it. "/" and "\" alone stay the root prefix.
void TakeCardFromArguments(Args* args);

// Why a run stopped before it wrote anything; empty when it did not.
struct NoCard {
  std::string summary;  // for the summary: "/home/me has no _FONT folder"
};

// Checks that the working folder, the card's root, is a card: it holds a
// _FONT folder whose two fonts load (into the run's fonts). When it is
// not, says so in one error line that names what is missing or unusable and
// how to mend it on this host (or, when a folder above holds _FONT, that
// that folder is the card's root and how to run there), and fills |*why|.
bool CheckCard(NoCard* why);

// Says, in one error line, that the card holds no MP3 file to index (and
// had no index): nothing is written.
void SayNothingToIndex();

#endif  // CARDPREP_APP_CARD_H_
