#include "catalog/prefixes.h"

#include <algorithm>

#include "catalog/scan_rules.h"
#include "host/console.h"
#include "host/text.h"
#include "text/utf.h"

namespace {

void CollectPaths(const DirInfo& dir, const std::u16string& path,
                  std::vector<std::u16string>* paths) {
  for (const DirInfo& child : dir.children) {
    std::u16string child_path = ChildPath(path, child.name);
    paths->push_back(child_path);  // may move what paths held: recurse on the copy
    CollectPaths(child, child_path, paths);
  }
}

std::u16string Folded(std::u16string_view text) {
  std::u16string folded(text);
  for (char16_t& unit : folded) unit = FoldCase(unit);
  return folded;
}

std::string ShownPrefix(std::u16string_view prefix) {
  std::string shown = Utf16ToUtf8(prefix);
  std::replace(shown.begin(), shown.end(), '\\', '/');
  return shown;
}

}  // namespace

void WarnAboutPrefixes(const ScanSettings& settings, const DirInfo& root) {
  for (const FileUnitPrefix& prefix : settings.file_unit_prefixes) {
    bool matches = false;
    const std::u16string plain = PrefixThatWouldMatch(root, prefix.path, &matches);
    if (matches) continue;
    if (plain.empty()) {
      Warn("prefix '%s' matches no folder: no folder is shuffled file by file for it",
           prefix.shown.c_str());
    } else {
      Warn("prefix '%s' matches no folder; did you mean '%s'?", prefix.shown.c_str(),
           ShownPrefix(plain).c_str());
    }
  }
}

std::u16string PrefixThatWouldMatch(const DirInfo& root, std::u16string_view prefix,
                                    bool* matches) {
  std::vector<std::u16string> paths = {u""};
  CollectPaths(root, u"", &paths);
  auto begins = [](std::u16string_view path, std::u16string_view start) {
    return path.substr(0, start.size()) == start;
  };
  *matches = std::any_of(paths.begin(), paths.end(),
                         [&](const std::u16string& path) { return begins(path, prefix); });
  if (*matches) return {};
  std::u16string plain(prefix);
  if (plain.empty() || plain.front() != u'\\') plain.insert(plain.begin(), u'\\');
  while (plain.size() > 1 && plain.back() == u'\\') plain.pop_back();
  if (plain.size() <= 1) return {};
  for (const std::u16string& path : paths) {
    if (begins(path, plain)) return plain;
  }
  const std::u16string folded = Folded(plain);
  for (const std::u16string& path : paths) {
    if (begins(Folded(path), folded)) return path.substr(0, plain.size());
  }
  return {};
}

