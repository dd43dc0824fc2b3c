// Where the card is, for cardprep-copy: a card is a folder that holds
// _FONT (its fonts, which the index needs). The folder --card names; else,
// for a program that lies on a card (on Windows: started there, or with a
// folder dropped on it), the root of that card; else the working folder.
#ifndef CARDPREP_COPY_FIND_CARD_H_
#define CARDPREP_COPY_FIND_CARD_H_

#include <string>

// Sets |*card| to the host path of the card's root. False, after an error
// line saying where a card was looked for and how to make one, when there is
// none.
bool FindCopyCard(const std::string& card_option, std::string* card);

#endif  // CARDPREP_COPY_FIND_CARD_H_
