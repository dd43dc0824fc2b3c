#include "catalog/player_names.h"

#include <algorithm>

#include "host/console.h"
#include "text/card_path.h"
#include "text/sjis_field.h"
#include "text/utf.h"

std::u16string FolderShownText(const std::u16string& name, const std::u16string& parent_name) {
  auto begins = [&name](std::u16string_view lower) {
    if (name.size() < lower.size()) return false;
    for (size_t i = 0; i < lower.size(); ++i) {
      const char16_t unit = name[i];
      if ((unit >= u'A' && unit <= u'Z' ? unit + 0x20 : unit) != lower[i]) return false;
    }
    return true;
  };
  if (begins(u"disc") || begins(u"disk")) return name + u'|' + parent_name;
  return name;
}

bool NameForPlayer(char* field, size_t size, std::u16string_view text, const std::u16string& path,
                   std::vector<UnshownCharacter>* unshown) {
  bool replaced = false;
  std::vector<char32_t> unconvertible;
  WideToSjisField(field, size, text, &replaced, &unconvertible);
  for (const char32_t c : unconvertible) {
    auto at = std::find_if(unshown->begin(), unshown->end(),
                           [c](const UnshownCharacter& u) { return u.code_point == c; });
    if (at == unshown->end()) at = unshown->insert(unshown->end(), {c, 0, path});
    ++at->names;
  }
  return replaced;
}

void WarnAboutUnshownCharacters(const std::vector<UnshownCharacter>& unshown) {
  for (const UnshownCharacter& c : unshown) {
    Warn("the player cannot show %s (Shift-JIS has no such character, nor one like it): %zu "
         "%s \"?\" in its place (first: %s)",
         DescribeCharacter(c.code_point).c_str(), c.names, c.names == 1 ? "name shows" : "names show",
         ShownPath(c.first).c_str());
  }
}
