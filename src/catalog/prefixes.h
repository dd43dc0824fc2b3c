// Prefixes that match no folder: said after the scan, with the prefix that
// would match when the intended one is plain.
#ifndef CARDPREP_CATALOG_PREFIXES_H_
#define CARDPREP_CATALOG_PREFIXES_H_

#include <string>
#include <string_view>

#include "catalog/dir_info.h"
#include "catalog/scan_rules.h"

// For a prefix that matches no folder path of the tree below |root|, the
// prefix that would match when the intended one is plain: with a leading
// separator, without a trailing one, or differing only in case. Empty when
// it matches a folder or nothing plain would.
std::u16string PrefixThatWouldMatch(const DirInfo& root, std::u16string_view prefix,
                                    bool* matches);

// A warning for each file-unit prefix that matches no folder below |root|.
void WarnAboutPrefixes(const ScanSettings& settings, const DirInfo& root);

#endif  // CARDPREP_CATALOG_PREFIXES_H_
