#include "catalog/listing.h"

#include "sjis/sjis_field.h"

void WriteListingLine(OutFile* listing, std::string_view line) {
  if (!IsOpen(*listing)) return;
  WriteBytes(listing, line.data(), line.size());
  WriteBytes(listing, "\r\n", 2);
}

void ConvertForListing(char* field, size_t size, std::u16string_view text, OutFile* listing) {
  bool replaced = false;
  WideToSjisField(field, size, text, &replaced);
  if (replaced) WriteListingLine(listing, "cannot convert ");
}
