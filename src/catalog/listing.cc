#include "catalog/listing.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "catalog/dir_info.h"
#include "host/console.h"
#include "host/folder.h"
#include "text/card_path.h"
#include "text/sjis_field.h"
#include "text/utf.h"

void WriteListingLine(OutFile* listing, std::string_view line) {
  if (!IsOpen(*listing)) return;
  // A text-mode file ends every line in CR LF, a line feed inside a name
  // too. No byte of a two-byte Shift-JIS character is a line feed.
  for (size_t at = 0; at <= line.size();) {
    const size_t feed = std::min(line.find('\n', at), line.size());
    WriteBytes(listing, line.data() + at, feed - at);
    WriteBytes(listing, "\r\n", 2);
    at = feed + 1;
  }
}

void ConvertForListing(char* field, size_t size, std::u16string_view text, OutFile* listing,
                       const std::u16string* name_path) {
  bool replaced = false;
  std::vector<char32_t> unconvertible;
  WideToSjisField(field, size, text, &replaced, &unconvertible);
  if (!replaced) return;
  WriteListingLine(listing, "cannot convert ");
  if (name_path == nullptr) return;
  std::vector<UnshownCharacter>& seen = g_catalog.unconvertible;
  for (const char32_t c : unconvertible) {
    auto at = std::find_if(seen.begin(), seen.end(),
                           [c](const UnshownCharacter& u) { return u.code_point == c; });
    if (at == seen.end()) at = seen.insert(seen.end(), {c, 0, *name_path});
    ++at->names;
  }
}

void WarnAboutUnshownCharacters() {
  for (const UnshownCharacter& c : g_catalog.unconvertible) {
    Warn("the player cannot show %s (Shift-JIS has no such character, nor one like it): %zu "
         "%s \"?\" in its place (first: %s)",
         DescribeCharacter(c.code_point).c_str(), c.names, c.names == 1 ? "name shows" : "names show",
         ShownPath(c.first).c_str());
  }
}
