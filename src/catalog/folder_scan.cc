#include "catalog/folder_scan.h"

#include <algorithm>

#include "catalog/listing.h"
#include "catalog/sound_list.h"
#include "host/console.h"
#include "host/folder.h"
#include "host/text.h"
#include "text/card_path.h"
#include "text/cp932.h"
#include "text/utf.h"
#include "titles/title_reader.h"

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

std::u16string ChildPath(const std::u16string& path, const std::u16string& name) {
  return path + u'\\' + name;
}

std::string Shown(const std::u16string& path) { return ShownPath(path); }

// "a, b, c and 4 more": the first few of |names|, and how many follow.
std::string FirstFew(const std::vector<std::u16string>& names) {
  constexpr size_t kFew = 5;
  std::string text;
  for (size_t i = 0; i < names.size() && i < kFew; ++i) {
    text += (i == 0 ? "" : ", ") + Utf16ToUtf8(names[i]);
  }
  if (names.size() > kFew) text += " and " + std::to_string(names.size() - kFew) + " more";
  return text;
}

// Takes the folder's MP3 files, the first 255 in sorted order (the order a
// folder lists them in is a hash order on some file systems, so a cut there
// would leave out any file) and at most 65535 on the card, and counts them.
void TakeSounds(const std::u16string& path, std::vector<std::u16string> candidates,
                DirInfo* dir) {
  std::sort(candidates.begin(), candidates.end());
  if (candidates.size() > kMaxSoundsPerFolder) {
    const size_t left_out = candidates.size() - kMaxSoundsPerFolder;
    const std::string first = Utf16ToUtf8(candidates[kMaxSoundsPerFolder]);
    const std::string which = left_out == 1 ? "the last by name, \"" + first + "\", is"
                                            : "the last " + std::to_string(left_out) +
                                                  " by name, from \"" + first + "\" on, are";
    Warn("%s holds %zu MP3 files; the player takes %zu in a folder, so %s left out (move some "
         "into subfolders)",
         Shown(path).c_str(), candidates.size(), kMaxSoundsPerFolder, which.c_str());
    CountSkipped("MP3 files over a folder's 255", static_cast<unsigned>(left_out));
    candidates.resize(kMaxSoundsPerFolder);
  }
  const size_t room = kMaxSounds - g_catalog.counters.sounds_taken;
  if (candidates.size() > room) {
    Warn("the card holds more than %u MP3 files, the most the player can index: "
         "%zu in %s and every one after are left out",
         kMaxSounds, candidates.size() - room, Shown(path).c_str());
    CountSkipped("MP3 files over the card's 65535", static_cast<unsigned>(candidates.size() - room));
    candidates.resize(room);
  }
  if (candidates.empty()) return;
  g_catalog.counters.sounds_taken += static_cast<uint32_t>(candidates.size());
  ++g_catalog.counters.sound_folder_count;
  g_catalog.counters.random_entry_count = static_cast<uint16_t>(
      g_catalog.counters.random_entry_count + (dir->file_unit ? candidates.size() : 1));
  dir->sound_count = static_cast<int32_t>(candidates.size());
  RequestTitles(path, std::move(candidates));
}

// Takes the folder's subfolders: sorted by name, the first 255 kept, and no
// more than 65534 below the root in all.
void TakeChildren(const std::u16string& path, std::vector<std::unique_ptr<DirInfo>> children,
                  DirInfo* dir) {
  std::sort(children.begin(), children.end(),
            [](const auto& a, const auto& b) { return a->name < b->name; });
  if (children.size() > kMaxChildren) {
    const size_t left_out = children.size() - kMaxChildren;
    Warn("%s holds %zu folders; the player takes %zu in a folder, so %s after \"%s\" "
         "%s left out (group them into subfolders, for example by first letter)",
         Shown(path).c_str(), children.size(), kMaxChildren,
         left_out == 1 ? "the one" : ("the " + std::to_string(left_out)).c_str(),
         Utf16ToUtf8(children[kMaxChildren - 1]->name).c_str(), left_out == 1 ? "is" : "are");
    CountSkipped("folders over a folder's 255",
                 static_cast<unsigned>(children.size() - kMaxChildren));
    children.resize(kMaxChildren);
  }
  const size_t room = kMaxFolders - g_catalog.counters.folder_count;
  if (children.size() > room) {
    Warn("the card holds more than %u folders, the most the player can index: "
         "%zu in %s and every one after are left out",
         kMaxFolders, children.size() - room, Shown(path).c_str());
    CountSkipped("folders over the card's 65534", static_cast<unsigned>(children.size() - room));
    children.resize(room);
  }
  g_catalog.counters.folder_count = static_cast<uint16_t>(g_catalog.counters.folder_count + children.size());
  for (auto& child : children) child->parent = dir;
  dir->children = std::move(children);
}

}  // namespace

bool HasMp3Extension(std::u16string_view name) {
  const size_t dot = name.rfind(u'.');
  return dot != std::u16string_view::npos && name.size() - dot == 4 &&
         StartsWithIgnoringCase(name.substr(dot), u".mp3");
}

bool IsTrashFolder(std::u16string_view name) {
  if (name == u".Trashes" || name == u".Trash") return true;
  // Windows names are the same in any case.
  for (std::u16string_view recycler : {u"$recycle.bin", u"recycler"}) {
    if (name.size() == recycler.size() && StartsWithIgnoringCase(name, recycler)) return true;
  }
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

bool IsFileUnitFolder(const ScanSettings& settings, std::u16string_view path) {
  for (const FileUnitPrefix& prefix : settings.file_unit_prefixes) {
    if (path.substr(0, prefix.path.size()) == prefix.path) return true;
  }
  return false;
}

std::u16string FolderShownText(const std::u16string& name, const std::u16string& parent_name) {
  if (StartsWithIgnoringCase(name, u"disc") || StartsWithIgnoringCase(name, u"disk")) {
    return name + u'|' + parent_name;
  }
  return name;
}

void NameFolder(DirInfo* child, const std::u16string& parent_name, OutFile* listing,
                const std::u16string* path) {
  ConvertForListing(child->sjis_name, sizeof child->sjis_name,
                    FolderShownText(child->name, parent_name), listing, path);
}

EntryRule ClassifyEntry(std::u16string_view folder_path, const FolderEntry& entry,
                        std::u16string* decoded) {
  const bool utf8 = Utf8ToUtf16(entry.host_name, decoded);
  if (!utf8) decoded->clear();
  if (!entry.type_error.empty()) return EntryRule::kTypeUnreadable;
  // Names the catalog could not open again by name come first.
  if (!utf8) return EntryRule::kNotUtf8;
  const std::u16string& name = *decoded;
  if (name.find(u'\\') != std::u16string::npos) return EntryRule::kBackslash;
  // What a FAT mount without utf8 shows for a character outside its
  // character set: "?" (or ":xxxx" with uni_xlate), which no FAT name holds.
  if (name.find_first_of(u"?:") != std::u16string::npos && CardIsFat()) {
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

namespace {

// Warns about an entry whose name the catalog cannot take at all; false for
// every other entry.
bool SkipUnusableName(const std::string& shown_folder, const FolderEntry& entry,
                      EntryRule rule) {
  auto shown = [&](const std::string& name) {
    return shown_folder == "." ? name : shown_folder + "/" + name;
  };
  switch (rule) {
    case EntryRule::kTypeUnreadable:
      Warn("skipping %s: what it is cannot be read: %s",
           shown(ShownName(entry.host_name)).c_str(), entry.type_error.c_str());
      CountSkipped("entries that cannot be read");
      return true;
    case EntryRule::kNotUtf8: {
      const std::string path = shown(entry.host_name);
      std::string shift_jis;
      if (ReadsAsShiftJis(entry.host_name, &shift_jis)) {
        // Most such names come from Windows-era archives: say what the
        // name reads as, and how to rename it to that.
        const std::string renamed = shown(shift_jis);
        Warn("skipping %s: the name is not valid UTF-8; read as Shift-JIS it is \"%s\": "
             "rename it in the card's root with: mv -n -- %s %s",
             shown(EscapedName(entry.host_name)).c_str(), renamed.c_str(),
             ShellQuoted(path).c_str(), ShellQuoted(renamed).c_str());
      } else {
        Warn("skipping %s: the name is not valid UTF-8",
             shown(EscapedName(entry.host_name)).c_str());
      }
      CountSkipped("names not valid UTF-8");
      return true;
    }
    case EntryRule::kBackslash:
      Warn("skipping %s: the name holds a backslash", shown(entry.host_name).c_str());
      CountSkipped("names holding a backslash");
      return true;
    case EntryRule::kFatUnshowable:
      if (!g_catalog.fat_names_warned) {
        g_catalog.fat_names_warned = true;
        Warn("the card is a FAT file system mounted without the utf8 option, so names with "
             "characters outside its character set read as \"?\" and cannot be opened "
             "(first: %s); they are skipped. Mount it again with the utf8 option: "
             "sudo umount <mount point>; sudo mount -o utf8 <device> <mount point>",
             shown(entry.host_name).c_str());
      }
      CountSkipped("names unreadable on a FAT card without utf8");
      return true;
    case EntryRule::kFolderLink:
      Warn("not following %s: it is a symbolic link to a folder", shown(entry.host_name).c_str());
      CountSkipped("links to folders");
      return true;
    case EntryRule::kAppleDouble:
      CountSkipped("AppleDouble metadata files");
      return true;
    default:
      return false;
  }
}

}  // namespace

void ScanFolder(const ScanSettings& settings, const std::u16string& path, DirInfo* dir) {
  if (ProgressDue()) {
    ShowProgress("cardprep: scanning the card: " +
                 std::to_string(g_catalog.counters.sounds_taken) + " MP3 files in " +
                 std::to_string(g_catalog.counters.sound_folder_count) + " folders so far");
  }
  dir->file_unit = IsFileUnitFolder(settings, path);
  std::vector<FolderEntry> entries;
  std::string why, read_error;
  bool fault = false;
  const std::string shown = Shown(path);
  if (!ListHostFolder(HostPath(path), &entries, &why, &read_error, &fault)) {
    // A folder that may not be read stays out, as its owner wants; one that
    // the card fails to deliver would cost the index what it holds.
    if (fault) {
      Error("cannot read folder %s: %s; nothing in it is indexed", shown.c_str(), why.c_str());
      KeepOldIndex("folder " + shown + " could not be read");
    } else {
      Warn("cannot read folder %s: %s; nothing in it is indexed", shown.c_str(), why.c_str());
    }
    CountSkipped("folders that cannot be read");
    return;
  }
  std::vector<EntryRule> rules;
  std::vector<std::u16string> names(entries.size());
  rules.reserve(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    rules.push_back(ClassifyEntry(path, entries[i], &names[i]));
    SkipUnusableName(shown, entries[i], rules.back());
  }
  if (!read_error.empty()) {
    if (fault) {
      Error("cannot read all of folder %s: %s", shown.c_str(), read_error.c_str());
      KeepOldIndex("folder " + shown + " could not be read whole");
    } else {
      Warn("cannot read all of folder %s: %s", shown.c_str(), read_error.c_str());
    }
  }

  std::vector<std::unique_ptr<DirInfo>> children;
  std::vector<std::u16string> sounds, unplayable;
  for (size_t i = 0; i < entries.size(); ++i) {
    std::u16string& name = names[i];
    switch (rules[i]) {
      case EntryRule::kTakeFolder:
        children.push_back(std::make_unique<DirInfo>());
        children.back()->name = std::move(name);
        break;
      case EntryRule::kTakeSound:
        sounds.push_back(std::move(name));
        break;
      case EntryRule::kUnplayableAudio:
        unplayable.push_back(std::move(name));
        break;
      case EntryRule::kTrash:
        Warn("not indexing %s: it holds deleted files", Shown(ChildPath(path, name)).c_str());
        CountSkipped("trash folders");
        break;
      case EntryRule::kFolderNameTooLong:
        Warn("skipping folder %s: its name is %zu characters long, and the player takes %zu",
             Shown(ChildPath(path, name)).c_str(), name.size(), kMaxFolderName);
        CountSkipped("folder names over 64 characters");
        break;
      case EntryRule::kFileNameTooLong:
        Warn("skipping %s: its name is %zu characters long, and the player takes %zu",
             Shown(ChildPath(path, name)).c_str(), name.size(), kMaxFileName);
        CountSkipped("file names over 128 characters");
        break;
      default:  // said above, or left out without a word
        break;
    }
  }
  if (!unplayable.empty()) {
    std::sort(unplayable.begin(), unplayable.end());
    Warn("%s: %zu audio %s the player cannot play %s left out (it plays MP3 only; convert "
         "%s to MP3): %s",
         shown.c_str(), unplayable.size(), unplayable.size() == 1 ? "file" : "files",
         unplayable.size() == 1 ? "is" : "are", unplayable.size() == 1 ? "it" : "them",
         FirstFew(unplayable).c_str());
    CountSkipped("audio files the player cannot play", static_cast<unsigned>(unplayable.size()));
  }
  TakeSounds(path, std::move(sounds), dir);
  PumpTitles();
  TakeChildren(path, std::move(children), dir);

  for (auto& child : dir->children) {
    const std::u16string child_path = ChildPath(path, child->name);
    if (child_path.size() > kMaxScannedPath) {
      child->file_unit = IsFileUnitFolder(settings, child_path);
      Warn("not indexing %s: its path is %zu characters long, and the player takes %zu",
           Shown(child_path).c_str(), child_path.size(), kMaxScannedPath);
      CountSkipped("folder paths over 123 characters");
      continue;
    }
    ScanFolder(settings, child_path, child.get());
  }
}

void GetSubDirInfo(const ScanSettings& settings, const std::u16string& path, DirInfo* dir,
                   SoundListFiles* files) {
  Out("GetSubDirInfo=[%s]\n",
      Cp932ToUtf8(std::string_view(dir->sjis_name, kFolderNameFieldSize - 1)).c_str());
  if (dir->file_unit) Out(" ファイル単位\n");
  for (auto& child : dir->children) {
    const std::u16string child_path = ChildPath(path, child->name);
    NameFolder(child.get(), dir->name, &files->listing, &child_path);
  }
  if (dir->sound_count > 0) {
    dir->first_sound = g_catalog.counters.sound_index;
    const TagCharsetDecision read = WriteSoundList(path, static_cast<size_t>(dir->sound_count),
                                                   settings.tag_charset, settings.decoders, files);
    g_catalog.counters.recoded_titles[static_cast<size_t>(read.page)] += read.recoded_titles;
    g_catalog.counters.windows1252_titles += read.windows1252_titles;
    g_catalog.counters.sound_index =
        static_cast<uint16_t>(g_catalog.counters.sound_index + dir->sound_count);
  }
  for (auto& child : dir->children) {
    GetSubDirInfo(settings, ChildPath(path, child->name), child.get(), files);
  }
  auto& children = dir->children;
  children.erase(std::remove_if(children.begin(), children.end(),
                                [](const auto& c) {
                                  return c->children.empty() && c->sound_count == 0;
                                }),
                 children.end());
}

namespace {

void CollectPaths(const DirInfo& dir, const std::u16string& path,
                  std::vector<std::u16string>* paths) {
  for (const auto& child : dir.children) {
    std::u16string child_path = ChildPath(path, child->name);
    paths->push_back(child_path);  // may move what paths held: recurse on the copy
    CollectPaths(*child, child_path, paths);
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

}  // namespace

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

DirInfo* BuildCatalog(const ScanSettings& settings, SoundListFiles* files) {
  g_catalog = CatalogState();
  g_catalog.root = std::make_unique<DirInfo>();
  DirInfo* root = g_catalog.root.get();
  ConvertForListing(root->sjis_name, sizeof root->sjis_name, u"", &files->listing);
  ScanFolder(settings, u"", root);
  WarnAboutPrefixes(settings, *root);
  GetSubDirInfo(settings, u"", root, files);
  WarnAboutUnshownCharacters();
  return root;
}
