// What a run learns as it goes that decides what lands on the card and what
// its summary says: the entries it left out, why its index would be worse
// than the card's (the card then keeps its own), why it did not index the
// card, and the characters its fonts could not show. The run owns its
// report and hands it to the scan and the writers; the console only prints.
#ifndef CARDPREP_REPORT_RUN_REPORT_H_
#define CARDPREP_REPORT_RUN_REPORT_H_

#include <string>
#include <utility>
#include <vector>

#include "font/draw.h"

struct RunReport {
  // Entries left out of the index, by reason, in the order first met.
  std::vector<std::pair<std::string, unsigned>> skipped;
  // Why this run's index would be worse than the one the card holds (a
  // folder lost, a converter missing, memory run out), said in the error
  // that keeps the old one; empty while nothing made it worse.
  std::string worse_index;
  // Why the card was not indexed, for the summary ("SNDLST16.DAT could not
  // be written"); empty while nothing stopped it.
  std::string not_indexed;
  // The characters the fonts could not show, and the names drawn blank.
  GlyphGapState glyph_gaps;
};

// Counts |count| entries left out for |reason| ("names not valid UTF-8").
void CountSkipped(RunReport* report, const char* reason, unsigned count = 1);

// Records that the index this run writes would be worse than the one the
// card may hold, because of |cause| ("the converter ... could not be
// opened"), which was said in an error line already; only the first cause
// is kept. A card that holds an index keeps it.
void KeepOldIndex(RunReport* report, const std::string& cause);

// Records why the card is not indexed, unless a reason is known already.
void NotIndexed(RunReport* report, const std::string& why);

// Says, as an error, that the converter |what| ("from UTF-16LE to CP932")
// could not be opened (|why|): every text it would convert comes out wrong,
// so the card keeps the index it holds.
void ConverterMissing(RunReport* report, const std::string& what, const std::string& why);

#endif  // CARDPREP_REPORT_RUN_REPORT_H_
