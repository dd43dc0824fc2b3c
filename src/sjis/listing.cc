#include "sjis/listing.h"

ListingState g_listing;

bool OpenListing(std::string* why) {
  return OpenWrite(std::string("./") + kListingFileName, kListingFileName, &g_listing.file, why);
}

bool CloseListing() { return CloseChecked(&g_listing.file); }

bool IsListingOpen() { return IsOpen(g_listing.file); }

void WriteListingLine(std::string_view line) {
  if (!IsOpen(g_listing.file)) return;
  WriteBytes(&g_listing.file, line.data(), line.size());
  WriteBytes(&g_listing.file, "\r\n", 2);
}
