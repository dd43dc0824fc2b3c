#include "catalog/prefixes.h"

#include <algorithm>

#include "catalog/scan_rules.h"
#include "host/console.h"
#include "host/program.h"
#include "host/text.h"
#include "text/card_path.h"
#include "text/utf.h"

namespace {

constexpr size_t kMaxHints = 3;

void CollectPaths(const DirInfo& dir, const std::u16string& path,
                  std::vector<std::u16string>* paths) {
  for (const DirInfo& child : dir.children) {
    std::u16string child_path = ChildPath(path, child.name);
    paths->push_back(child_path);  // may move what paths held: recurse on the copy
    CollectPaths(child, child_path, paths);
  }
}

std::vector<std::u16string> AllPaths(const DirInfo& root) {
  std::vector<std::u16string> paths = {u""};
  CollectPaths(root, u"", &paths);
  return paths;
}

std::u16string Folded(std::u16string_view text) {
  std::u16string folded(text);
  for (char16_t& unit : folded) unit = FoldCase(unit);
  return folded;
}

bool Begins(std::u16string_view path, std::u16string_view start) {
  return path.substr(0, start.size()) == start;
}

// Whether |path| ends in the whole names |tail| ("\A\Tech Talk" ends in
// "Tech Talk" and in "A\Tech Talk", not in "ech Talk").
bool EndsInNames(std::u16string_view path, std::u16string_view tail) {
  return path.size() > tail.size() && path.substr(path.size() - tail.size()) == tail &&
         path[path.size() - tail.size() - 1] == u'\\';
}

// A card path as the host's paths are written: "/Podcasts/Show" on POSIX
// hosts, "\Podcasts\Show" on Windows.
std::string Shown(std::u16string_view path) {
  std::string shown = Utf16ToUtf8(path);
  std::replace(shown.begin(), shown.end(), '\\', kHostSeparator);
  return shown;
}

// "'/A'", "'/A' or '/B'", "'/A', '/B' or '/C'".
std::string Either(const std::vector<std::u16string>& paths) {
  std::string text;
  for (size_t i = 0; i < paths.size(); ++i) {
    if (i > 0) text += i + 1 == paths.size() ? " or " : ", ";
    text += "'" + Shown(paths[i]) + "'";
  }
  return text;
}

}  // namespace

bool PrefixMatches(const DirInfo& root, std::u16string_view prefix) {
  const std::vector<std::u16string> paths = AllPaths(root);
  return std::any_of(paths.begin(), paths.end(),
                     [&](const std::u16string& path) { return Begins(path, prefix); });
}

std::vector<std::u16string> PrefixHints(const DirInfo& root, std::u16string_view prefix) {
  std::u16string names(prefix);
  while (!names.empty() && names.front() == u'\\') names.erase(names.begin());
  while (!names.empty() && names.back() == u'\\') names.pop_back();
  if (names.empty()) return {};
  const std::vector<std::u16string> paths = AllPaths(root);
  // A plain fix: the leading separator, or the case.
  const std::u16string fixed = ChildPath(u"", names);
  for (const std::u16string& path : paths) {
    if (path == fixed) return {path};
  }
  for (const std::u16string& path : paths) {
    if (Folded(path) == Folded(fixed)) return {path};
  }
  // The folders whose own name it is, or the end of whose path; those of
  // the same case first.
  std::vector<std::u16string> hints;
  for (const bool fold : {false, true}) {
    const std::u16string tail = fold ? Folded(names) : names;
    for (const std::u16string& path : paths) {
      if (hints.size() < kMaxHints && EndsInNames(fold ? Folded(path) : path, tail) &&
          std::find(hints.begin(), hints.end(), path) == hints.end()) {
        hints.push_back(path);
      }
    }
  }
  return hints;
}

void WarnAboutPrefixes(const ScanSettings& settings, const DirInfo& root) {
  for (const FileUnitPrefix& prefix : settings.file_unit_prefixes) {
    if (!prefix.outside_of.empty()) {
      Warn("prefix '%s' is a folder outside the card %s: no folder is shuffled file by file for "
           "it; name a folder of the card instead",
           prefix.shown.c_str(), prefix.outside_of.c_str());
      continue;
    }
    if (PrefixMatches(root, prefix.path)) continue;
    const std::vector<std::u16string> hints = PrefixHints(root, prefix.path);
    if (hints.empty()) {
      Warn("prefix '%s' matches no folder: no folder is shuffled file by file for it; check "
           "the folder's name (cardprep-view lists the card's folders)",
           prefix.shown.c_str());
    } else {
      Warn("prefix '%s' matches no folder; did you mean %s?", prefix.shown.c_str(),
           Either(hints).c_str());
    }
  }
}
