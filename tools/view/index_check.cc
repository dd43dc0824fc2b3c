#include "tools/view/index_check.h"

#include <algorithm>
#include <map>
#include <tuple>

#include "catalog/scan_rules.h"
#include "index/message_file.h"
#include "text/card_path.h"

namespace {

using Problems = std::vector<std::string>;

std::string Num(uint64_t n) { return std::to_string(n); }

std::string Sounds(uint64_t n) { return Num(n) + (n == 1 ? " sound" : " sounds"); }

// "R records and B bytes over" for a size that is not whole records.
std::string Over(uint64_t size, uint64_t record, const char* things) {
  return Num(size / record) + " " + things + " and " + Num(size % record) + " bytes over";
}

void CheckFiles(const CardIndex& index, Problems* problems) {
  for (const IndexFile* file : {&index.dir_list, &index.sound_list, &index.play_order_file,
                                &index.message_file, &index.listing_file}) {
    if (!file->present) {
      problems->push_back(std::string(file->name) + " cannot be read: " + file->why);
    } else if (file->cut) {
      problems->push_back(std::string(file->name) + " is " + Num(file->size) +
                          " bytes, more than the player can use; the rest is not read");
    }
  }
  const IndexFile& dirs = index.dir_list;
  if (dirs.size < kDirListHeaderSize + kFolderRecordSize) {
    problems->push_back("DIRLST16.DAT is " + Num(dirs.size) +
                        " bytes, too short for the header and the root's record");
  } else if ((dirs.size - kDirListHeaderSize) % kFolderRecordSize != 0) {
    problems->push_back("DIRLST16.DAT is " + Num(dirs.size) +
                        " bytes: not a " + Num(kDirListHeaderSize) + "-byte header and whole " +
                        Num(kFolderRecordSize) + "-byte records (" +
                        Over(dirs.size - kDirListHeaderSize, kFolderRecordSize, "records") + ")");
  }
  if (index.sound_list.present && index.sound_list.size % kSoundRecordSize != 0) {
    problems->push_back("SNDLST16.DAT is " + Num(index.sound_list.size) +
                        " bytes: not a whole number of " + Num(kSoundRecordSize) + "-byte records (" +
                        Over(index.sound_list.size, kSoundRecordSize, "records") + ")");
  }
  if (index.play_order_file.present && index.play_order_file.size % kEntrySize != 0) {
    problems->push_back("RANDOM16.DAT is " + Num(index.play_order_file.size) +
                        " bytes: not a whole number of " + Num(kEntrySize) + "-byte entries (" +
                        Over(index.play_order_file.size, kEntrySize, "entries") + ")");
  }
  const uint64_t messages = kMessageCount * kMessageRecordSize;
  if (index.message_file.present && index.message_file.size != messages) {
    problems->push_back("MSGSTR16.DAT is " + Num(index.message_file.size) + " bytes, not " +
                        Num(kMessageCount) + " messages of " + Num(kMessageRecordSize) + " bytes (" +
                        Num(messages) + ")");
  }
  if (!index.listing_error.empty()) problems->push_back("TAGINF16.TXT: " + index.listing_error);
}

void CheckHeader(const CardIndex& index, Problems* problems) {
  if (!index.has_header) return;
  const DirListHeader& h = index.header;
  const size_t below_root = index.folders.empty() ? 0 : index.folders.size() - 1;
  // Empty folders are counted but dropped, so the count may exceed the
  // records; it can never fall short of them.
  if (h.folder_count < below_root) {
    problems->push_back("the header counts " + Num(h.folder_count) +
                        " folders below the root, fewer than the " + Num(below_root) +
                        " records after the root's");
  } else if (h.folder_count > kMaxFolders) {
    problems->push_back("the header counts " + Num(h.folder_count) +
                        " folders below the root, more than the " + Num(kMaxFolders) +
                        " a card can hold");
  }
  const auto with_sounds = std::count_if(index.folders.begin(), index.folders.end(),
                                         [](const IndexedFolder& f) {
                                           return f.record.sound_count > 0;
                                         });
  if (h.sound_folder_count != static_cast<size_t>(with_sounds)) {
    problems->push_back("the header counts " + Num(h.sound_folder_count) +
                        " folders with sounds, but " + Num(static_cast<uint64_t>(with_sounds)) +
                        " records have sounds");
  }
  if (!std::all_of(h.time, h.time + kHeaderTimeSize, [](char c) { return c >= '0' && c <= '9'; })) {
    problems->push_back("the header's time is not 14 digits (YYYYMMDDhhmmss)");
  }
}

// Which folders list folder m as a child (listed_by[m]), after checking each
// folder's own path field and child range.
using ListedBy = std::vector<std::vector<size_t>>;

ListedBy CheckFolderRecords(const CardIndex& index, Problems* problems) {
  const size_t n_folders = index.folders.size();
  auto label = [&](size_t n) { return FolderLabel(index, static_cast<uint32_t>(n)); };
  ListedBy listed_by(n_folders + 1);
  for (size_t n = 1; n <= n_folders; ++n) {
    const IndexedFolder& folder = index.folders[n - 1];
    const FolderRecord& r = folder.record;
    if (!folder.terminated) {
      problems->push_back("folder " + Num(n) + ": its path or name field has no terminating NUL");
    } else if (folder.path_bytes != 2 * r.path.size()) {
      problems->push_back(label(n) + ": the path is " + Num(2 * r.path.size()) +
                          " bytes long, but its length field says " + Num(folder.path_bytes));
    }
    if (r.child_count == 0) continue;
    const size_t last = size_t{r.first_child} + r.child_count - 1;
    if (r.first_child < 2 || last > n_folders) {
      problems->push_back(label(n) + ": its children, folders " + Num(r.first_child) + "-" +
                          Num(last) + ", lie outside the folder list (2-" + Num(n_folders) + ")");
      continue;
    }
    for (size_t c = r.first_child; c <= last; ++c) listed_by[c].push_back(n);
  }
  return listed_by;
}

void CheckRoot(const CardIndex& index, const ListedBy& listed_by, Problems* problems) {
  const FolderRecord& root = index.folders[0].record;
  if (root.parent != 0 || root.grandparent != 0) {
    problems->push_back("folder 1 (the root) names folder " + Num(root.parent) +
                        " as its parent and folder " + Num(root.grandparent) +
                        " as its grandparent; the root has neither");
  }
  if (root.path != u"\\") {
    problems->push_back("folder 1 (the root) has the path " + Utf8(root.path) + ", not \\");
  }
  if (!listed_by[1].empty()) {
    problems->push_back("folder 1 (the root) is listed as a child of folder " +
                        Num(listed_by[1].front()));
  }
}

// Every folder but the root: listed once, and its parent, grandparent and path
// agree with the folder that lists it.
void CheckParentage(const CardIndex& index, const ListedBy& listed_by, Problems* problems) {
  auto label = [&](size_t n) { return FolderLabel(index, static_cast<uint32_t>(n)); };
  auto record = [&](size_t n) -> const FolderRecord& { return index.folders[n - 1].record; };
  for (size_t m = 2; m <= index.folders.size(); ++m) {
    const FolderRecord& r = record(m);
    const std::vector<size_t>& parents = listed_by[m];
    if (parents.empty()) {
      problems->push_back(label(m) + " names folder " + Num(r.parent) +
                          " as its parent, but no folder lists it as a child");
      continue;
    }
    if (parents.size() > 1) {
      std::string who;
      for (size_t p : parents) who += (who.empty() ? "" : " and ") + Num(p);
      problems->push_back(label(m) + " is listed as a child by folders " + who);
      continue;
    }
    const size_t p = parents.front();
    if (r.parent != p) {
      problems->push_back(label(m) + " names folder " + Num(r.parent) + " as its parent, but " +
                          label(p) + " lists it as a child");
    } else if (r.grandparent != record(p).parent) {
      problems->push_back(label(m) + " names folder " + Num(r.grandparent) +
                          " as its grandparent, but its parent's parent is folder " +
                          Num(record(p).parent));
    }
    if (r.name.empty()) problems->push_back(label(m) + " has no name");
    const std::u16string want = ChildPath(p == 1 ? u"" : record(p).path, r.name);
    if (r.path != want) {
      problems->push_back(label(m) + ": the path is not its parent's path and its name (" +
                          Utf8(want) + ")");
    }
  }
}

// A folder listed exactly once may still sit in a loop the walk never enters.
void CheckReachable(const CardIndex& index, const ListedBy& listed_by, Problems* problems) {
  const size_t n_folders = index.folders.size();
  std::vector<bool> reached(n_folders + 1, false);
  for (const TreeStep& step : WalkTree(index)) reached[step.number] = true;
  for (size_t m = 2; m <= n_folders; ++m) {
    if (!reached[m] && listed_by[m].size() == 1) {
      problems->push_back(FolderLabel(index, static_cast<uint32_t>(m)) +
                          " cannot be reached from the root");
    }
  }
}

void CheckFolders(const CardIndex& index, Problems* problems) {
  if (index.folders.empty()) return;
  const ListedBy listed_by = CheckFolderRecords(index, problems);
  CheckRoot(index, listed_by, problems);
  CheckParentage(index, listed_by, problems);
  CheckReachable(index, listed_by, problems);
}

// Sounds [first, end) that no folder claims.
std::string Unclaimed(size_t first, size_t end) {
  return SoundRange(first, end - first) + (end - first == 1 ? " belongs" : " belong") +
         " to no folder";
}

void CheckSounds(const CardIndex& index, Problems* problems) {
  const size_t n_sounds = index.sounds.size();
  // (first, last + 1, folder) of every folder with sounds.
  std::vector<std::tuple<size_t, size_t, size_t>> ranges;
  for (size_t n = 1; n <= index.folders.size(); ++n) {
    const FolderRecord& r = index.folders[n - 1].record;
    if (r.sound_count == 0) continue;
    const size_t end = size_t{r.first_sound} + r.sound_count;
    if (end > n_sounds) {
      problems->push_back(FolderLabel(index, static_cast<uint32_t>(n)) + " claims " +
                          SoundRange(r.first_sound, r.sound_count) +
                          ", past the end of SNDLST16.DAT (" + Num(n_sounds) + " records)");
    }
    ranges.emplace_back(r.first_sound, end, n);
  }
  std::sort(ranges.begin(), ranges.end());
  size_t covered = 0;     // sounds [0, covered) belong to a folder
  size_t last_owner = 0;  // the folder whose range reaches |covered|
  for (const auto& [first, end, n] : ranges) {
    if (first > covered && covered < n_sounds) {
      problems->push_back(Unclaimed(covered, std::min(first, n_sounds)));
    } else if (first < covered) {
      problems->push_back(FolderLabel(index, static_cast<uint32_t>(last_owner)) + " and " +
                          FolderLabel(index, static_cast<uint32_t>(n)) + " both claim " +
                          SoundRange(first, std::min(end, covered) - first));
    }
    if (end > covered) {
      covered = end;
      last_owner = n;
    }
  }
  if (covered < n_sounds) {
    problems->push_back(Unclaimed(covered, n_sounds));
  }
  for (size_t k = 0; k < n_sounds; ++k) {
    if (!index.sounds[k].terminated) {
      problems->push_back("sound " + Num(k) + ": its name field has no terminating NUL");
    }
  }
}

void CheckPlayOrder(const CardIndex& index, Problems* problems) {
  const size_t n_folders = index.folders.size();
  std::vector<size_t> whole(n_folders + 1, 0);
  std::map<size_t, std::vector<size_t>> files;  // folder -> times each file is listed
  for (size_t i = 0; i < index.play_order.size(); ++i) {
    const RandomEntry& e = index.play_order[i];
    const std::string entry = "play-order entry " + Num(i);
    if (e.kind != kWholeFolder && e.kind != kOneFile) {
      problems->push_back(entry + " has kind " + Num(e.kind) +
                          ", neither 0 (a whole folder) nor 1 (one file)");
      continue;
    }
    const IndexedFolder* folder = FindFolder(index, e.folder);
    if (folder == nullptr) {
      problems->push_back(entry + " names folder " + Num(e.folder) +
                          ", which is not in the folder list (folders 1-" + Num(n_folders) + ")");
      continue;
    }
    const size_t count = folder->record.sound_count;
    if (count == 0) {
      problems->push_back(entry + " names " + FolderLabel(index, e.folder) +
                          ", which holds no sounds");
    } else if (e.kind == kWholeFolder) {
      ++whole[e.folder];
    } else if (e.file >= count) {
      problems->push_back(entry + " names file " + Num(e.file) + " of " +
                          FolderLabel(index, e.folder) + ", which holds " + Sounds(count));
    } else {
      std::vector<size_t>& times = files[e.folder];
      times.resize(count, 0);
      ++times[e.file];
    }
  }
  for (size_t n = 1; n <= n_folders; ++n) {
    const FolderRecord& r = index.folders[n - 1].record;
    if (r.sound_count == 0) continue;
    const std::string label = FolderLabel(index, static_cast<uint32_t>(n));
    const auto by_file = files.find(n);
    if (whole[n] == 0 && by_file == files.end()) {
      problems->push_back(label + " holds " + Sounds(r.sound_count) +
                          ", but is not in the play order");
      continue;
    }
    if (whole[n] > 0 && by_file != files.end()) {
      problems->push_back(label + " is in the play order both whole and file by file");
    }
    if (whole[n] > 1) {
      problems->push_back(label + " is in the play order " + Num(whole[n]) + " times");
    }
    if (by_file == files.end()) continue;
    for (size_t p = 0; p < by_file->second.size(); ++p) {
      const size_t times = by_file->second[p];
      if (times == 1) continue;
      const std::string file = "file " + Num(p) + " of " + label + " (sound " +
                               Num(size_t{r.first_sound} + p) + ")";
      problems->push_back(file + (times == 0 ? " is not in the play order"
                                             : " is in the play order " + Num(times) + " times"));
    }
  }
}

void CheckListing(const CardIndex& index, Problems* problems) {
  if (!index.listing_file.present || !index.listing_error.empty()) return;
  const size_t n_sounds = index.sounds.size();
  if (index.listing.size() != n_sounds) {
    problems->push_back("TAGINF16.TXT lists " + Num(index.listing.size()) +
                        " files, but SNDLST16.DAT holds " + Num(n_sounds) + " records");
  }
  size_t first = 0, differing = 0;
  for (size_t k = 0; k < std::min(n_sounds, index.listing.size()); ++k) {
    const char* field = index.sounds[k].record.sjis_name;
    if (index.listing[k].name != std::string(field, kSoundSjisNameSize)) {
      if (differing++ == 0) first = k;
    }
  }
  if (differing > 0) {
    const std::string& listed = index.listing[first].name;
    problems->push_back(
        "TAGINF16.TXT names \"" + DisplayedName(listed.data(), listed.size()) + "\" for sound " +
        Num(first) + ", but its record holds \"" +
        DisplayedName(index.sounds[first].record.sjis_name, kSoundSjisNameSize) + "\"" +
        (differing > 1 ? " (" + Num(differing - 1) + " more lines differ)" : ""));
  }
}

}  // namespace

std::string SoundRange(size_t first, size_t count) {
  if (count == 1) return "sound " + Num(first);
  return "sounds " + Num(first) + "-" + Num(first + count - 1);
}

void CheckIndex(const CardIndex& index, Findings* findings) {
  Problems* problems = &findings->problems;
  CheckFiles(index, problems);
  CheckHeader(index, problems);
  CheckFolders(index, problems);
  CheckSounds(index, problems);
  CheckPlayOrder(index, problems);
  CheckListing(index, problems);
}
