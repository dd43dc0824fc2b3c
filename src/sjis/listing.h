// TAGINF16.TXT, the listing for people: Shift-JIS text whose lines end in
// CR LF. The entry point opens it before the catalog is built and closes it
// after; while it is open, the sound list writer adds a line per sound and
// field conversion notes every name it had to change.
#ifndef CARDPREP_SJIS_LISTING_H_
#define CARDPREP_SJIS_LISTING_H_

#include <string>
#include <string_view>

#include "host/file.h"

struct ListingState {
  OutFile file;
};
extern ListingState g_listing;

constexpr char kListingFileName[] = "TAGINF16.TXT";

[[nodiscard]] bool OpenListing(std::string* why);
bool CloseListing();
bool IsListingOpen();
// Writes |line| and CR LF, if the listing is open.
void WriteListingLine(std::string_view line);

#endif  // CARDPREP_SJIS_LISTING_H_
