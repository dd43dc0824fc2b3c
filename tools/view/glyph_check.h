// What the display would show of the index's names. The player draws no
// text: it shows the bitmaps drawn when the card was indexed. A name that
// holds more than spaces but whose bitmap is blank (a card indexed without
// its fonts) is a problem, and so is every character of a name, or of a
// title in the listing, that the card's fonts have no glyph for or only a
// blank one: the display shows the name without it.
#ifndef CARDPREP_TOOLS_VIEW_GLYPH_CHECK_H_
#define CARDPREP_TOOLS_VIEW_GLYPH_CHECK_H_

#include "tools/view/card_index.h"
#include "tools/view/index_check.h"

void CheckGlyphs(const CardIndex& index, Findings* findings);

#endif  // CARDPREP_TOOLS_VIEW_GLYPH_CHECK_H_
