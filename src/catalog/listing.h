// TAGINF16.TXT, the listing for people: Shift-JIS text whose lines end in
// CR LF. The run order opens it before the catalog is built and closes it
// after; while it is open, the sound list writer adds a line per sound, and
// every name or title that had to be changed to fit code page 932 is noted
// by a line "cannot convert " before the line that shows it.
#ifndef CARDPREP_CATALOG_LISTING_H_
#define CARDPREP_CATALOG_LISTING_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "host/file.h"

constexpr char kListingFileName[] = "TAGINF16.TXT";

// Writes |line| and CR LF, if |listing| is open.
void WriteListingLine(OutFile* listing, std::string_view line);

// Fills the Shift-JIS |field| of |size| bytes from |text|, noting in
// |listing| when characters had to become "?". For a name the player shows,
// |name_path| is its card path, and each such character is counted in
// g_catalog against it.
void ConvertForListing(char* field, size_t size, std::u16string_view text, OutFile* listing,
                       const std::u16string* name_path = nullptr);

// One warning for every character counted so far.
void WarnAboutUnshownCharacters();

#endif  // CARDPREP_CATALOG_LISTING_H_
