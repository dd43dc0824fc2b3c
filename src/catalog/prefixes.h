// Prefixes that match no folder: said after the scan, with a hint only
// towards folders that exist.
#ifndef CARDPREP_CATALOG_PREFIXES_H_
#define CARDPREP_CATALOG_PREFIXES_H_

#include <string>
#include <string_view>
#include <vector>

#include "catalog/dir_info.h"
#include "catalog/scan_rules.h"

// Whether |prefix| begins the path of a folder of the tree below |root|
// (the root's own path, "", too).
bool PrefixMatches(const DirInfo& root, std::u16string_view prefix);

// For a prefix that matches no folder path below |root|, the folders it
// most likely means, by their card paths: the one a plain fix names (a
// leading separator added, or only the case different), else the folders
// whose own name, or the end of whose path, it is ("Tech Talk" for
// "\Podcasts\Tech Talk"), at most three. Empty when none is plain: a hint
// never points at a folder that does not exist.
std::vector<std::u16string> PrefixHints(const DirInfo& root, std::u16string_view prefix);

// A warning for each file-unit prefix that matches no folder below |root|,
// with what to give instead.
void WarnAboutPrefixes(const ScanSettings& settings, const DirInfo& root);

#endif  // CARDPREP_CATALOG_PREFIXES_H_
