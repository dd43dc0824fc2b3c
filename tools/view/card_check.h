// The index held against the card in the working folder: every folder and
// sound the index names must still be there, and every MP3 file the scan
// would take must be in the index. The card is walked by the scan's rules
// (folder_scan.h, host/folder.h); an MP3 file those rules leave out becomes
// a note naming the rule, one a run of cardprep would add is a problem.
#ifndef CARDPREP_TOOLS_VIEW_CARD_CHECK_H_
#define CARDPREP_TOOLS_VIEW_CARD_CHECK_H_

#include "tools/view/card_index.h"
#include "tools/view/index_check.h"

void CheckCard(const CardIndex& index, Findings* findings);

#endif  // CARDPREP_TOOLS_VIEW_CARD_CHECK_H_
