// What the display would show of the index's names. The player draws no
// text: it shows the bitmaps of folder and file names drawn when the card
// was indexed (titles are only listed, for people). A name that holds more
// than spaces but whose bitmap is blank is a problem, and when no name at
// all is drawn the card was most likely indexed without its fonts; so is
// every character of a name that the card's fonts have no glyph for or
// only a blank one: the display shows the name without it. A character of
// a name that Shift-JIS has no form for, nor a look-alike, is a note: the
// display shows "?", and no run of cardprep changes that.
#ifndef CARDPREP_TOOLS_VIEW_GLYPH_CHECK_H_
#define CARDPREP_TOOLS_VIEW_GLYPH_CHECK_H_

#include "tools/view/card_index.h"
#include "tools/view/index_check.h"

void CheckGlyphs(const CardIndex& index, Findings* findings);

#endif  // CARDPREP_TOOLS_VIEW_GLYPH_CHECK_H_
