#include "catalog/player_names.h"

#include <algorithm>
#include <set>

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
                   const std::u16string& folder, std::vector<UnshownNames>* unshown) {
  bool replaced = false;
  std::vector<char32_t> unconvertible;
  WideToSjisField(field, size, text, &replaced, &unconvertible);
  if (unconvertible.empty()) return replaced;
  // A folder's names come one after another (its own, then its sounds'), so
  // its entry, when it has one, is the last.
  if (unshown->empty() || unshown->back().folder != folder) {
    unshown->push_back({folder, 0, path, {}});
  }
  UnshownNames& group = unshown->back();
  ++group.names;
  for (const char32_t c : unconvertible) {
    const auto& known = group.characters;
    if (std::find(known.begin(), known.end(), c) == known.end()) group.characters.push_back(c);
  }
  return replaced;
}

std::string DescribeUnshownNames(size_t names, const std::vector<char32_t>& characters,
                                 const std::string& folder, const std::string& first) {
  constexpr size_t kListed = 10;
  std::string listed;
  for (size_t i = 0; i < characters.size() && i < kListed; ++i) {
    listed += (i == 0 ? "" : ", ") + DescribeCharacter(characters[i]);
    if (characters[i] > 0xFFFF) listed += " (as \"??\")";
  }
  if (characters.size() > kListed) {
    listed += " and " + std::to_string(characters.size() - kListed) + " more";
  }
  const bool one_name = names == 1;
  const bool one_character = characters.size() == 1;
  const char* them = one_name ? "it" : "them";
  return std::to_string(names) + (one_name ? " name in " : " names in ") + folder +
         (one_name ? " shows" : " show") + " \"?\" for " +
         (one_character ? "a character" : std::to_string(characters.size()) + " characters") +
         " the player cannot show, nor anything like " + (one_character ? "it" : "them") + ": " +
         listed + " (first: " + first + "); rename " + them + " without " +
         (one_character ? "this character" : "these characters") + " to read " + them +
         " whole on the player";
}

void WarnAboutUnshownCharacters(const std::vector<UnshownNames>& unshown) {
  for (const UnshownNames& group : unshown) {
    const std::string folder =
        group.folder.empty() ? "the card's root" : ShownPath(group.folder);
    Warn("%s",
         DescribeUnshownNames(group.names, group.characters, folder, ShownPath(group.first))
             .c_str());
  }
}

size_t CountUnshownCharacters(const std::vector<UnshownNames>& unshown) {
  std::set<char32_t> characters;
  for (const UnshownNames& group : unshown) {
    characters.insert(group.characters.begin(), group.characters.end());
  }
  return characters.size();
}
