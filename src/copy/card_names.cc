#include "copy/card_names.h"

#include <vector>

#include "host/text.h"

namespace {

constexpr char16_t kReplacement = u'_';
constexpr char16_t kFullWidthLowLine = u'\uFF3F';
constexpr size_t kMaxExtension = 16;

bool IsFatForbidden(char16_t unit) {
  if (unit < 0x20) return true;
  switch (unit) {
    case u'?': case u':': case u'*': case u'<': case u'>': case u'|': case u'"': case u'\\':
    case u'/':
      return true;
    default:
      return false;
  }
}

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

char16_t AsciiUpper(char16_t unit) {
  return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - 0x20) : unit;
}

// Whether |part| (a name before its first dot) names a device on Windows.
bool IsDeviceName(std::u16string_view part) {
  std::u16string upper;
  for (const char16_t unit : part) upper.push_back(AsciiUpper(unit));
  // "CON " is CON too: Windows drops spaces at the end of that part.
  while (!upper.empty() && upper.back() == u' ') upper.pop_back();
  for (std::u16string_view device : {u"CON", u"PRN", u"AUX", u"NUL"}) {
    if (upper == device) return true;
  }
  return upper.size() == 4 && (upper.compare(0, 3, u"COM") == 0 || upper.compare(0, 3, u"LPT") == 0) &&
         upper[3] >= u'1' && upper[3] <= u'9';
}

// A dot or space at the end, which FAT drops, as "_".
void FixEnd(std::u16string* name) {
  if (!name->empty() && (name->back() == u'.' || name->back() == u' ')) name->back() = kReplacement;
}

// The first |max| units of |text|, a surrogate pair never cut in two.
std::u16string_view Prefix(std::u16string_view text, size_t max) {
  if (text.size() <= max) return text;
  if (max > 0 && IsHighSurrogate(text[max - 1])) --max;
  return text.substr(0, max);
}

std::u16string Number(unsigned n) {
  const std::string digits = std::to_string(n);
  return std::u16string(digits.begin(), digits.end());
}

}  // namespace

std::u16string_view ExtensionOf(std::u16string_view name) {
  const size_t dot = name.rfind(u'.');
  return dot == std::u16string_view::npos ? std::u16string_view() : name.substr(dot);
}

std::u16string FatSafeName(std::u16string_view name, unsigned* changes) {
  std::u16string safe(name);
  for (char16_t& unit : safe) {
    if (IsFatForbidden(unit)) {
      unit = kReplacement;
      *changes |= kFatCharacters;
    }
  }
  if (safe.empty()) {
    *changes |= kFatCharacters;
    return std::u16string(1, kReplacement);
  }
  if (safe.back() == u'.' || safe.back() == u' ') {
    FixEnd(&safe);
    *changes |= kFatCharacters;
  }
  const size_t dot = safe.find(u'.');
  if (IsDeviceName(std::u16string_view(safe).substr(0, dot))) {
    safe.insert(dot == std::u16string::npos ? safe.size() : dot, 1, kReplacement);
    *changes |= kDeviceName;
  }
  return safe;
}

std::u16string CutName(std::u16string_view name, size_t max, bool keep_extension) {
  if (name.size() <= max) return std::u16string(name);
  std::u16string_view extension = keep_extension ? ExtensionOf(name) : std::u16string_view();
  if (extension.size() > kMaxExtension || extension.size() >= max) extension = {};
  std::u16string cut(Prefix(name.substr(0, name.size() - extension.size()),
                            max - extension.size()));
  FixEnd(&cut);
  cut += extension;
  return cut;
}

std::u16string FitFolderName(std::u16string_view name, size_t max, unsigned* changes) {
  std::u16string fitted = FatSafeName(name, changes);
  if (fitted.front() == u'_') {
    fitted.front() = kFullWidthLowLine;
    *changes |= kToolFolderMark;
  }
  if (fitted.size() > max) {
    fitted = CutName(fitted, max, /*keep_extension=*/false);
    *changes |= kCut;
  }
  return fitted;
}

std::u16string FitFileName(std::u16string_view base, std::u16string_view extension,
                           unsigned* changes) {
  constexpr size_t kMaxFile = 128;
  std::u16string fitted = FatSafeName(base, changes);
  fitted += extension;
  if (fitted.size() > kMaxFile) {
    fitted = CutName(fitted, kMaxFile, /*keep_extension=*/true);
    *changes |= kCut;
  }
  return fitted;
}

std::u16string NumberedName(std::u16string_view name, unsigned n, size_t max,
                            bool keep_extension) {
  const std::u16string suffix = u" (" + Number(n) + u")";
  std::u16string_view extension = keep_extension ? ExtensionOf(name) : std::u16string_view();
  if (extension.size() > kMaxExtension) extension = {};
  std::u16string_view stem = name.substr(0, name.size() - extension.size());
  const size_t room = max > suffix.size() + extension.size() ? max - suffix.size() - extension.size() : 0;
  std::u16string numbered(Prefix(stem, room));
  numbered += suffix;
  numbered += extension;
  return numbered;
}

std::u16string PartName(std::u16string_view name, unsigned part, size_t max) {
  const std::u16string suffix = u" " + Number(part);
  std::u16string named(Prefix(name, max > suffix.size() ? max - suffix.size() : 0));
  while (!named.empty() && named.back() == u' ') named.pop_back();
  return named + suffix;
}

std::u16string FatKey(std::u16string_view name) {
  std::u16string key(name);
  for (char16_t& unit : key) unit = FoldCase(unit);
  return key;
}

std::string DescribeNameChanges(unsigned changes, size_t max) {
  std::vector<std::string> said;
  if (changes & kFatCharacters) said.push_back("characters FAT cannot hold became \"_\"");
  if (changes & kDeviceName) said.push_back("Windows keeps the name for a device");
  if (changes & kToolFolderMark) {
    said.push_back("a folder whose name begins with \"_\" is never played");
  }
  if (changes & kCut) said.push_back("cut to the " + std::to_string(max) + " characters the player takes");
  std::string text;
  for (const std::string& s : said) text += (text.empty() ? "" : "; ") + s;
  return text;
}
