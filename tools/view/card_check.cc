#include "tools/view/card_check.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

#include "catalog/scan_rules.h"
#include "host/commit.h"
#include "host/folder.h"
#include "host/lock.h"
#include "index/index_files.h"
#include "text/card_path.h"
#include "text/utf.h"

namespace {

// Lists the folders and regular files in |host| (symbolic links resolved,
// dangling ones dropped), sorted by name so that reports come in a fixed
// order.
std::vector<FolderEntry> ListSorted(const std::string& host) {
  std::vector<FolderEntry> entries;
  std::string why, read_error;
  if (!ListHostFolder(host, &entries, &why, &read_error)) return entries;
  std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) {
    return a.host_name < b.host_name;
  });
  return entries;
}

// The ".mp3" test on a name's bytes, for names that are no UTF-8.
bool EndsInMp3(const std::string& name) {
  if (name.size() < 4) return false;
  std::string tail = name.substr(name.size() - 4);
  for (char& c : tail) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 0x20 : c);
  return tail == ".mp3";
}

// MP3 files in |host| and below it, symbolic links to folders not followed.
std::string ShownFolder(const std::u16string& path) {
  return path.empty() ? "\\" : Utf16ToUtf8(path);
}

std::string Mp3Files(size_t n) {
  return std::to_string(n) + (n == 1 ? " MP3 file" : " MP3 files");
}

class CardWalk {
 public:
  CardWalk(const CardIndex& index, Findings* findings)
      : index_(index), findings_(findings), card_is_fat_(CardIsFat()) {
    for (size_t n = 1; n <= index.folders.size(); ++n) {
      const IndexedFolder& folder = index.folders[n - 1];
      if (!folder.terminated) continue;
      const std::u16string& path = folder.record.path;
      numbers_.emplace(path == u"\\" ? u"" : path, n);
    }
  }

  // Walks the folder at the scan's path |path| ("" for the root).
  void Walk(const std::u16string& path) {
    const std::string host = HostPath(path);
    std::vector<std::u16string> folders, mp3s;
    for (FolderEntry& e : ListSorted(host)) {
      std::u16string name;
      const EntryRule rule = ClassifyEntry(path, e, card_is_fat_, &name);
      const std::string shown =
          (path.empty() ? "" : Utf16ToUtf8(path)) + "\\" + ShownName(e.host_name);
      if (e.kind == EntryKind::kFolder) {
        if (rule == EntryRule::kTakeFolder) {
          folders.push_back(std::move(name));
        } else if (const size_t n = CountMp3FilesIn(host + "/" + e.host_name)) {
          Note(shown + ": " + Mp3Files(n) + " not indexed: " + LeftOutBecause(rule));
        }
        continue;
      }
      if (rule == EntryRule::kTakeSound) {
        mp3s.push_back(std::move(name));
      } else if (LeftOutBecause(rule) != nullptr && EndsInMp3(e.host_name)) {
        Note(shown + ": not indexed: " + LeftOutBecause(rule));
      }
    }
    CheckSounds(path, mp3s);

    std::sort(folders.begin(), folders.end());
    for (size_t i = 0; i < folders.size(); ++i) {
      const std::u16string child = ChildPath(path, folders[i]);
      std::string why;
      if (i >= kMaxChildren) {
        why = ShownFolder(path) + " holds " + std::to_string(folders.size()) +
              " folders and the player takes the first 255 by name";
      } else if (child.size() > kMaxScannedPath) {
        why = "its path is longer than the 123 characters the player takes";
      }
      if (why.empty()) {
        Walk(child);
      } else if (const size_t n = CountMp3FilesIn(HostPath(child))) {
        Note(Utf16ToUtf8(child) + ": " + Mp3Files(n) + " not indexed: " + why);
      }
    }
  }

  // Every folder and sound of the index must still be on the card.
  void FindIndexed() {
    for (size_t n = 1; n <= index_.folders.size(); ++n) {
      const IndexedFolder& folder = index_.folders[n - 1];
      if (!folder.terminated) continue;
      const FolderRecord& r = folder.record;
      const std::u16string& path = r.path;
      if (KindOfPath(HostPath(path == u"\\" ? u"" : path)) != PathKind::kFolder) {
        Problem(FolderLabel(index_, static_cast<uint32_t>(n)) +
                ": in the index, but no longer on the card");
        continue;
      }
      const size_t end = std::min(size_t{r.first_sound} + r.sound_count, index_.sounds.size());
      for (size_t k = r.first_sound; k < end; ++k) {
        const std::u16string& name = index_.sounds[k].record.name;
        const std::u16string file = ChildPath(path == u"\\" ? u"" : path, name);
        if (KindOfPath(HostPath(file)) != PathKind::kFile) {
          Problem("sound " + std::to_string(k) + " " + Utf16ToUtf8(file) +
                  ": in the index, but no longer on the card");
        }
      }
    }
  }

 private:
  // The MP3 files the scan takes from |path| against those the index holds.
  void CheckSounds(const std::u16string& path, const std::vector<std::u16string>& mp3s) {
    const auto found = numbers_.find(path);
    std::set<std::u16string> held;
    if (found != numbers_.end()) {
      const FolderRecord& r = index_.folders[found->second - 1].record;
      const size_t end = std::min(size_t{r.first_sound} + r.sound_count, index_.sounds.size());
      for (size_t k = r.first_sound; k < end; ++k) held.insert(index_.sounds[k].record.name);
    }
    std::vector<std::u16string> missing;
    for (const std::u16string& name : mp3s) {
      if (held.count(name) == 0) missing.push_back(name);
    }
    if (missing.empty()) return;
    const std::string folder = ShownFolder(path);
    const std::string left_out = ": " + std::to_string(missing.size()) + " of its " +
                                 Mp3Files(mp3s.size()) + " not indexed: ";
    if (mp3s.size() > kMaxSoundsPerFolder) {
      Note(folder + left_out + "the player takes the first 255 by name");
    } else if (index_.sounds.size() >= kMaxSounds) {
      Note(folder + left_out + "the card holds more than 65535");
    } else if (found == numbers_.end() && index_.has_header &&
               index_.header.folder_count >= kMaxFolders) {
      Note(folder + left_out + "the card holds more than 65534 folders");
    } else if (found == numbers_.end() && missing.size() > 1) {
      Problem(folder + ": " + Mp3Files(missing.size()) +
              " on the card, but not in the index (run cardprep again)");
    } else {
      for (const std::u16string& name : missing) {
        Problem(Utf16ToUtf8(ChildPath(path, name)) +
                ": on the card, but not in the index (run cardprep again)");
      }
    }
  }

  void Note(std::string line) { findings_->notes.push_back(std::move(line)); }
  void Problem(std::string line) { findings_->problems.push_back(std::move(line)); }

  const CardIndex& index_;
  Findings* findings_;
  const bool card_is_fat_;  // asked of the host once, as the run asks
  std::map<std::u16string, size_t> numbers_;  // folder number by the scan's path
};

}  // namespace

void CheckCard(const CardIndex& index, Findings* findings) {
  // A run that holds the card's lock is at work on it: its files under
  // temporary names and its record are its own, not a stopped run's.
  const bool running = FolderLockHeld(".");
  const RecordLook record = LookAtCommitRecord(
      {kSoundListFileName, kListingFileName, kRandomOrderFileName, kDirListFileName});
  const std::string name = kCommitRecordName;
  if (running) {
    findings->notes.push_back(
        "a cardprep run is indexing this card now; check it again once that run has finished");
    findings->notes_beyond_music = true;
  } else {
    switch (record.state) {
      case RecordState::kNone:
        break;
      // A run cut short while it put its index in place: the files may be a
      // mix of two runs until the next run finishes that, first of all.
      case RecordState::kUnfinished:
        findings->problems.push_back(
            name +
            ": a cardprep run was cut short (the card pulled, or the power lost) while it put "
            "its index in place, so the index may be part old and part new; run cardprep again, "
            "which first finishes that or undoes it");
        break;
      case RecordState::kCutShort:
        findings->notes.push_back(name +
                                  ": left by a cardprep run cut short before it began to put "
                                  "its index in place; the next run removes it");
        findings->notes_beyond_music = true;
        break;
      case RecordState::kNotARecord:
        findings->notes.push_back(name + ": not a file cardprep wrote (" + record.why +
                                  "); the next run moves it aside");
        findings->notes_beyond_music = true;
        break;
      case RecordState::kUnreadable:
        findings->problems.push_back(name + ": cannot be read (" + record.why +
                                     "); cardprep stops before it changes the card until it "
                                     "can");
        break;
    }
  }
  // Files a stopped run left beside the index; the next run removes them
  // (or, after a commit cut short, uses them).
  const bool unfinished = record.state == RecordState::kUnfinished;
  for (const FolderEntry& e : ListSorted(".")) {
    for (const char* index_name : kIndexFileNames) {
      if (running || unfinished || e.kind != EntryKind::kFile) continue;
      const bool aside = IsAsideName(e.host_name, index_name);
      if (aside || IsBackupName(e.host_name, index_name)) {
        findings->notes.push_back(ShownName(e.host_name) + (aside ? ": a temporary " : ": an old ") +
                                  index_name +
                                  " left by a cardprep run that was stopped; the next run "
                                  "removes it");
        findings->notes_beyond_music = true;
      }
    }
  }
  CardWalk walk(index, findings);
  walk.FindIndexed();
  walk.Walk(u"");
}
