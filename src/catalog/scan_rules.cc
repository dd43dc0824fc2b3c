#include "catalog/scan_rules.h"

#include <algorithm>
#include <utility>

#include "host/folder.h"
#include "text/card_path.h"
#include "text/utf.h"

namespace {

char16_t AsciiLower(char16_t unit) {
  return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit + 0x20) : unit;
}

bool StartsWithIgnoringCase(std::u16string_view text, std::u16string_view lower_prefix) {
  if (text.size() < lower_prefix.size()) return false;
  for (size_t i = 0; i < lower_prefix.size(); ++i) {
    if (AsciiLower(text[i]) != lower_prefix[i]) return false;
  }
  return true;
}

}  // namespace

bool IsFileUnitFolder(const ScanSettings& settings, std::u16string_view path) {
  for (const FileUnitPrefix& prefix : settings.file_unit_prefixes) {
    if (prefix.outside_of.empty() && path.substr(0, prefix.path.size()) == prefix.path) {
      return true;
    }
  }
  return false;
}

namespace {

template <typename Char>
bool EndsInMp3(std::basic_string_view<Char> name) {
  const size_t dot = name.rfind(Char('.'));
  if (dot == std::basic_string_view<Char>::npos || name.size() - dot != 4) return false;
  for (size_t i = 0; i < 4; ++i) {
    if (AsciiLower(static_cast<char16_t>(name[dot + i])) != u".mp3"[i]) return false;
  }
  return true;
}

}  // namespace

bool HasMp3Extension(std::u16string_view name) { return EndsInMp3(name); }
bool HasMp3Extension(std::string_view name) { return EndsInMp3(name); }

bool IsRecycleFolder(std::u16string_view name) {
  // Windows names are the same in any case.
  for (std::u16string_view recycler : {u"$recycle.bin", u"recycler"}) {
    if (name.size() == recycler.size() && StartsWithIgnoringCase(name, recycler)) return true;
  }
  return false;
}

namespace {

constexpr int kMaxCountDepth = 16;

size_t CountMp3FilesIn(const std::string& host_path, int depth) {
  std::vector<FolderEntry> entries;
  std::string why, read_error;
  if (depth > kMaxCountDepth || !ListHostFolder(host_path, &entries, &why, &read_error)) return 0;
  size_t count = 0;
  for (const FolderEntry& e : entries) {
    if (e.kind == EntryKind::kFolder) {
      if (!e.link && e.type_error.empty()) {
        count += CountMp3FilesIn(host_path + "/" + e.host_name, depth + 1);
      }
    } else if (!e.apple_double && e.type_error.empty() && HasMp3Extension(e.host_name)) {
      ++count;
    }
  }
  return count;
}

}  // namespace

size_t CountMp3FilesIn(const std::string& host_path) { return CountMp3FilesIn(host_path, 0); }

bool IsTrashFolder(std::u16string_view name) {
  if (name == u".Trashes" || name == u".Trash" || IsRecycleFolder(name)) return true;
  constexpr std::u16string_view kTrashDash = u".Trash-";
  if (name.size() <= kTrashDash.size() || name.substr(0, kTrashDash.size()) != kTrashDash) {
    return false;
  }
  return std::all_of(name.begin() + kTrashDash.size(), name.end(),
                     [](char16_t u) { return u >= u'0' && u <= u'9'; });
}

bool IsSystemFolder(std::u16string_view name) {
  return name == u"System Volume Information" || name == u".Spotlight-V100" ||
         name == u".fseventsd" || name == u".TemporaryItems";
}

bool IsUnplayableAudio(std::u16string_view name) {
  const size_t dot = name.rfind(u'.');
  if (dot == std::u16string_view::npos) return false;
  const std::u16string_view extension = name.substr(dot);
  for (std::u16string_view audio : {u".m4a", u".aac", u".wma", u".ogg", u".opus", u".flac",
                                    u".wav"}) {
    if (extension.size() == audio.size() && StartsWithIgnoringCase(extension, audio)) return true;
  }
  return false;
}

EntryRule ClassifyEntry(std::u16string_view folder_path, const FolderEntry& entry,
                        bool card_is_fat, std::u16string* decoded) {
  const bool utf8 = Utf8ToUtf16(entry.host_name, decoded);
  if (!utf8) decoded->clear();
  if (!entry.type_error.empty()) return EntryRule::kTypeUnreadable;
  // Names the catalog could not open again by name come first.
  if (!utf8) return EntryRule::kNotUtf8;
  const std::u16string& name = *decoded;
  if (name.find(u'\\') != std::u16string::npos) return EntryRule::kBackslash;
  // What a FAT mount without utf8 shows for a character outside its
  // character set: "?" (or ":xxxx" with uni_xlate), which no FAT name holds.
  if (name.find_first_of(u"?:") != std::u16string::npos && card_is_fat) {
    return EntryRule::kFatUnshowable;
  }
  if (entry.kind == EntryKind::kFolder && entry.link) return EntryRule::kFolderLink;
  if (entry.apple_double) return EntryRule::kAppleDouble;
  if (entry.kind == EntryKind::kFolder) {
    if (name[0] == u'_') return EntryRule::kToolFolder;
    if (folder_path.empty() && IsTrashFolder(name)) return EntryRule::kTrash;
    if (folder_path.empty() && IsSystemFolder(name)) return EntryRule::kSystemFolder;
    if (name.size() > kMaxFolderName) return EntryRule::kFolderNameTooLong;
    return EntryRule::kTakeFolder;
  }
  if (IsUnplayableAudio(name)) return EntryRule::kUnplayableAudio;
  if (!HasMp3Extension(name)) return EntryRule::kNotMp3;
  if (name.size() > kMaxFileName) return EntryRule::kFileNameTooLong;
  return EntryRule::kTakeSound;
}

const char* LeftOutBecause(EntryRule rule) {
  switch (rule) {
    case EntryRule::kTypeUnreadable: return "what it is cannot be read";
    case EntryRule::kNotUtf8: return "the name is not valid UTF-8";
    case EntryRule::kBackslash: return "the name holds a backslash";
    case EntryRule::kFatUnshowable:
      return "the card is mounted without utf8, so the name cannot be read";
    case EntryRule::kFolderLink: return "symbolic links to folders are not followed";
    case EntryRule::kToolFolder:
      return "folders whose name begins with \"_\" are never entered";
    case EntryRule::kTrash: return "it holds deleted files";
    case EntryRule::kSystemFolder: return "it holds another system's data";
    case EntryRule::kFolderNameTooLong:
      return "the folder's name is longer than the 64 characters the player takes";
    case EntryRule::kFileNameTooLong:
      return "the name is longer than the 128 characters the player takes";
    default: return nullptr;
  }
}

std::vector<std::u16string> SubfoldersToEnter(std::u16string_view path,
                                              const std::vector<std::u16string>& names) {
  std::vector<std::u16string> paths;
  for (size_t i = 0; i < KeptSubfolders(names.size()); ++i) {
    std::u16string child = ChildPath(path, names[i]);
    if (!PathTooLongToScan(child)) paths.push_back(std::move(child));
  }
  return paths;
}

FolderContents SortOutEntries(std::u16string_view folder_path,
                              const std::vector<FolderEntry>& entries, bool card_is_fat) {
  FolderContents contents;
  std::vector<std::pair<std::u16string, size_t>> sounds;
  for (size_t i = 0; i < entries.size(); ++i) {
    std::u16string name;
    const EntryRule rule = ClassifyEntry(folder_path, entries[i], card_is_fat, &name);
    switch (rule) {
      case EntryRule::kTakeFolder: contents.folders.push_back(std::move(name)); break;
      case EntryRule::kTakeSound: sounds.emplace_back(std::move(name), i); break;
      case EntryRule::kUnplayableAudio: contents.unplayable.push_back(std::move(name)); break;
      default: contents.left_out.push_back({i, rule, std::move(name)}); break;
    }
  }
  // The order a folder lists its entries in is a hash order on some file
  // systems: every cut is made in sorted order.
  std::sort(contents.folders.begin(), contents.folders.end());
  std::sort(sounds.begin(), sounds.end());
  for (auto& [name, entry] : sounds) {
    contents.sounds.push_back(std::move(name));
    contents.sound_entries.push_back(entry);
  }
  std::sort(contents.unplayable.begin(), contents.unplayable.end());
  return contents;
}
