// TAGINF16.TXT, the listing for people: Shift-JIS text whose lines end in
// CR LF. The sound list writer adds a line per sound (sound_list.h); every
// name or title that had to be changed to fit code page 932 is noted by a
// line "cannot convert " before the line that shows it.
#ifndef CARDPREP_INDEX_LISTING_H_
#define CARDPREP_INDEX_LISTING_H_

#include <cstddef>
#include <string_view>

#include "host/file.h"

constexpr char kListingFileName[] = "TAGINF16.TXT";

// The line that notes a changed name or title.
constexpr char kCannotConvertNote[] = "cannot convert ";

// Writes |line| and CR LF, if |listing| is open. A line feed inside it is
// written as CR LF too, as a text-mode file writes it.
void WriteListingLine(OutFile* listing, std::string_view line);

// Fills the Shift-JIS |field| of |size| bytes from the title |text|,
// noting in |listing| when characters had to become "?".
void ConvertForListing(char* field, size_t size, std::u16string_view text, OutFile* listing);

#endif  // CARDPREP_INDEX_LISTING_H_
