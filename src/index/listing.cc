#include "index/listing.h"

#include <algorithm>

#include "text/sjis_field.h"

void WriteListingLine(OutFile* listing, std::string_view line) {
  if (!IsOpen(*listing)) return;
  // No byte of a two-byte Shift-JIS character is a line feed.
  for (size_t at = 0; at <= line.size();) {
    const size_t feed = std::min(line.find('\n', at), line.size());
    WriteBytes(listing, line.data() + at, feed - at);
    WriteBytes(listing, "\r\n", 2);
    at = feed + 1;
  }
}

void ConvertForListing(char* field, size_t size, std::u16string_view text, OutFile* listing) {
  bool replaced = false;
  WideToSjisField(field, size, text, &replaced);
  if (replaced) WriteListingLine(listing, kCannotConvertNote);
}
