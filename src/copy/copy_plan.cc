#include "copy/copy_plan.h"

#include <algorithm>
#include <map>
#include <set>
#include <utility>

#include "catalog/scan_rules.h"
#include "copy/card_names.h"
#include "host/program.h"
#include "text/card_path.h"
#include "text/utf.h"

namespace {

constexpr char16_t kMp3Extension[] = u".mp3";

// A folder of the card as planning fills it: what it holds, and the names
// this run has given in it (by their FAT keys).
struct CardFolder {
  bool listed = false;
  std::map<std::u16string, CardEntry> entries;  // by key
  std::map<std::u16string, std::u16string> folders_given;  // key: name
  std::set<std::u16string> files_given;
};

// A file of a source folder with the name it would have on the card.
struct Fitted {
  std::u16string name;
  unsigned changes = kNameKept;
  const SourceFile* source = nullptr;
};

std::string Said(std::u16string_view card_path) { return CardPathSaid(card_path); }

class Planner {
 public:
  Planner(const CopySettings& settings, const CopyRecord& record, const CardView& card)
      : settings_(settings), card_(card) {
    for (const CopiedFile& file : record.files) recorded_[FatKey(file.card_path)] = &file;
  }

  CopyPlan Plan(const SourceFolder& sources) {
    MakeTarget();
    PlanFiles(settings_.to, FitFiles(sources.files));
    for (const SourceFolder& folder : sources.folders) PlanFolder(folder, settings_.to);
    return std::move(plan_);
  }

 private:
  CardFolder& Folder(const std::u16string& path) {
    CardFolder& folder = folders_[FatKey(path)];
    if (!folder.listed) {
      folder.listed = true;
      std::vector<CardEntry> entries;
      if (card_.list(path, &entries)) {
        for (CardEntry& entry : entries) {
          const std::u16string key = FatKey(entry.name);
          folder.entries.emplace(key, std::move(entry));
        }
      }
    }
    return folder;
  }

  // The target folder and those above it, made where missing.
  void MakeTarget() {
    std::u16string path;
    size_t at = 0;
    while (at < settings_.to.size()) {
      const size_t next = std::min(settings_.to.find(u'\\', at + 1), settings_.to.size());
      const std::u16string name = settings_.to.substr(at + 1, next - at - 1);
      CardFolder& parent = Folder(path);
      const auto entry = parent.entries.find(FatKey(name));
      if (entry == parent.entries.end()) {
        parent.folders_given[FatKey(name)] = name;
        plan_.new_folders.push_back(path + u"\\" + name);
        folders_[FatKey(path + u"\\" + name)].listed = true;  // nothing is there
      }
      path += u"\\" + name;
      at = next;
    }
  }

  std::vector<Fitted> FitFiles(const std::vector<SourceFile>& files) {
    std::vector<Fitted> fitted;
    for (const SourceFile& file : files) {
      Fitted f;
      f.source = &file;
      std::u16string_view base = file.name;
      std::u16string_view extension = ExtensionOf(base);
      if (file.kind == CopyKind::kEncoded) {
        base.remove_suffix(extension.size());
        extension = kMp3Extension;
      } else {
        base.remove_suffix(extension.size());
      }
      f.name = FitFileName(base, extension, &f.changes);
      fitted.push_back(std::move(f));
    }
    std::stable_sort(fitted.begin(), fitted.end(),
                     [](const Fitted& a, const Fitted& b) { return a.name < b.name; });
    return fitted;
  }

  // The room the folders below |folder| need in a path, each of their
  // names cut to kMinCutFolderName at most.
  size_t Reserve(const SourceFolder& folder) {
    size_t reserve = 0;
    for (const SourceFolder& child : folder.folders) {
      unsigned changes = 0;
      size_t name = FitFolderName(child.name, kMaxFolderName, &changes).size();
      if (child.files.size() > kMaxSoundsPerFolder) name += 4;  // " 12"
      reserve = std::max(reserve, 1 + std::min(name, kMinCutFolderName) + Reserve(child));
    }
    return reserve;
  }

  void PlanFolder(const SourceFolder& source, const std::u16string& parent) {
    std::vector<Fitted> files = FitFiles(source.files);
    const size_t parts = std::max<size_t>(1, (files.size() + kMaxSoundsPerFolder - 1) /
                                                 kMaxSoundsPerFolder);
    const size_t reserve = Reserve(source);
    std::vector<std::u16string> part_paths;
    for (size_t part = 1; part <= parts; ++part) {
      unsigned changes = kNameKept;
      const size_t below = part == 1 ? reserve : 0;  // the first part holds the subfolders
      const size_t used = parent.size() + 1 + below;
      const size_t room = used < kMaxScannedPath ? kMaxScannedPath - used : 0;
      size_t max = std::min(kMaxFolderName, std::max(room, kMinCutFolderName));
      std::u16string name = FitFolderName(source.name, kMaxFolderName, &changes);
      if (parts > 1) name = PartName(name, static_cast<unsigned>(part), max);
      if (name.size() > max) {
        name = CutName(name, max, /*keep_extension=*/false);
        changes |= kCut;
      }
      if (parent.size() + 1 + name.size() > kMaxScannedPath) {
        plan_.left_out.push_back("not copying " + source.shown + ": it lies too deep on the card (" +
                                 Said(parent) + " is " + std::to_string(parent.size()) +
                                 " characters long, and the player takes paths of 123); copy it " +
                                 "higher up with --to");
        return;
      }
      const std::u16string given = GiveFolderName(parent, name, max);
      const std::u16string path = parent + u"\\" + given;
      part_paths.push_back(path);
      if (parts == 1 && given != source.name && FatKey(given) != FatKey(source.name)) {
        std::string why = DescribeNameChanges(changes, max);
        if ((changes & kCut) && max < kMaxFolderName) {
          why += " (the player takes paths of up to 123 characters)";
        }
        if (FatKey(given) != FatKey(name)) {
          why += std::string(why.empty() ? "" : "; ") + "a file of that name is on the card";
        }
        plan_.renamed.push_back({{path}, source.shown + ": copied to " + Said(path) + " (" + why + ")"});
      }
      const size_t first = (part - 1) * kMaxSoundsPerFolder;
      const size_t last = std::min(files.size(), first + kMaxSoundsPerFolder);
      PlanFiles(path, std::vector<Fitted>(files.begin() + static_cast<long>(first),
                                          files.begin() + static_cast<long>(last)));
      if (part == 1) {
        for (const SourceFolder& child : source.folders) PlanFolder(child, path);
      }
    }
    if (parts > 1) {
      std::string into;
      for (size_t i = 0; i < part_paths.size(); ++i) {
        const size_t count = std::min(kMaxSoundsPerFolder, files.size() - i * kMaxSoundsPerFolder);
        into += (i == 0 ? "" : i + 1 == part_paths.size() ? " and " : ", ") + Said(part_paths[i]) +
                " (" + std::to_string(count) + ")";
      }
      plan_.renamed.push_back({part_paths, source.shown + " holds " + std::to_string(files.size()) +
                                               " sounds, and the player takes 255 in a folder: " +
                                               "split into " + into + " in their sorted order"});
    }
  }

  // The name the folder |name| takes in |parent|: a folder of that name
  // there (on the card, or given by this run) is joined; a file there makes
  // it "NAME (2)".
  std::u16string GiveFolderName(const std::u16string& parent, const std::u16string& name,
                                size_t max) {
    CardFolder& folder = Folder(parent);
    for (unsigned n = 1;; ++n) {
      const std::u16string candidate = n == 1 ? name : NumberedName(name, n, max, false);
      const std::u16string key = FatKey(candidate);
      const auto given = folder.folders_given.find(key);
      if (given != folder.folders_given.end()) return given->second;
      if (folder.files_given.count(key) > 0) continue;
      const auto entry = folder.entries.find(key);
      if (entry != folder.entries.end()) {
        if (!entry->second.folder) continue;
        folder.folders_given[key] = entry->second.name;
        return entry->second.name;
      }
      folder.folders_given[key] = candidate;
      const std::u16string path = parent + u"\\" + candidate;
      plan_.new_folders.push_back(path);
      folders_[FatKey(path)].listed = true;  // nothing is there yet
      return candidate;
    }
  }

  void PlanFiles(const std::u16string& path, const std::vector<Fitted>& files) {
    CardFolder& folder = Folder(path);
    for (const Fitted& file : files) {
      PlannedFile planned;
      planned.source = file.source;
      planned.folder = path;
      planned.origin.source = file.source->host_path;
      planned.origin.stamp = file.source->stamp;
      planned.origin.kind = file.source->kind;
      planned.origin.quality =
          file.source->kind == CopyKind::kEncoded ? static_cast<uint8_t>(settings_.quality) : 0;
      std::string taken;  // what stands at the names passed over
      for (unsigned n = 1;; ++n) {
        const std::u16string candidate =
            n == 1 ? file.name : NumberedName(file.name, n, kMaxFileName, true);
        const std::u16string key = FatKey(candidate);
        if (folder.files_given.count(key) > 0 || folder.folders_given.count(key) > 0) {
          if (taken.empty()) taken = "another source of the same name goes there";
          continue;
        }
        const auto entry = folder.entries.find(key);
        if (entry == folder.entries.end()) {
          planned.name = candidate;
          planned.action = FileAction::kWrite;
          break;
        }
        if (!entry->second.folder && Claim(path, entry->second, &planned)) break;
        if (taken.empty()) {
          taken = Said(path + u"\\" + entry->second.name) +
                  (entry->second.folder ? " is a folder" : " on the card is another file") +
                  ", left as it is";
        }
      }
      folder.files_given.insert(FatKey(planned.name));
      if (planned.name != file.name || file.changes != kNameKept) {
        std::string why = DescribeNameChanges(file.changes, kMaxFileName);
        if (planned.name != file.name) why += (why.empty() ? "" : "; ") + taken;
        if (planned.action != FileAction::kUpToDate) {
          plan_.renamed.push_back({{PlannedPath(planned)}, file.source->shown + ": copied as " +
                                                               Said(PlannedPath(planned)) + " (" +
                                                               why + ")"});
        }
      }
      plan_.files.push_back(std::move(planned));
    }
  }

  // Whether the file |entry| in the folder at |path| is this run's to take
  // for |planned|: an earlier copy of the same source, up to date or to be
  // replaced.
  bool Claim(const std::u16string& path, const CardEntry& entry, PlannedFile* planned) {
    const std::u16string card_path = path + u"\\" + entry.name;
    const auto recorded = recorded_.find(FatKey(card_path));
    if (recorded != recorded_.end()) {
      const CopiedFile& file = *recorded->second;
      if (UpToDate(file.origin, planned->origin)) {
        planned->action = FileAction::kUpToDate;
      } else if (file.origin.source == planned->origin.source && file.card_stamp == entry.stamp) {
        planned->action = FileAction::kReplace;
      } else {
        return false;
      }
    } else if (card_.is_copy_of(card_path, planned->origin)) {
      planned->action = FileAction::kUpToDate;
      planned->adopted = true;
    } else {
      return false;
    }
    planned->name = entry.name;
    return true;
  }

  const CopySettings& settings_;
  const CardView& card_;
  std::map<std::u16string, const CopiedFile*> recorded_;  // by the key of the card path
  std::map<std::u16string, CardFolder> folders_;          // by the key of the card path
  CopyPlan plan_;
};

}  // namespace

std::u16string PlannedPath(const PlannedFile& file) { return file.folder + u"\\" + file.name; }

bool PathUnder(std::u16string_view path, std::u16string_view folder) {
  return path.substr(0, folder.size()) == folder &&
         (path.size() == folder.size() || path[folder.size()] == u'\\');
}

std::string CardPathSaid(std::u16string_view card_path) {
  std::string said = Utf16ToUtf8(card_path.empty() ? u"\\" : card_path);
  for (char& c : said) {
    if (c == '\\') c = kHostSeparator;
  }
  return said;
}

CopyPlan PlanCopy(const SourceFolder& sources, const CopySettings& settings,
                  const CopyRecord& record, const CardView& card) {
  Planner planner(settings, record, card);
  return planner.Plan(sources);
}
