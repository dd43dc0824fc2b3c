#include "catalog/folder_scan.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "catalog/listing_ahead.h"
#include "catalog/player_names.h"
#include "catalog/prefixes.h"
#include "host/console.h"
#include "host/folder.h"
#include "host/program.h"
#include "host/words.h"
#include "text/card_path.h"
#include "text/cp932.h"
#include "text/utf.h"

namespace {

// One scan of the card: what it is told, what it builds, and what it has
// said once already.
struct Scan {
  const ScanSettings& settings;
  TitleReader* titles;
  ListingAhead* ahead;  // may be null
  Catalog* catalog;
  RunReport* report;
  bool fat_names_warned = false;  // names a FAT mount could not show
};

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

// Warns about an entry whose name the catalog cannot take at all; false for
// every other entry.
bool SkipUnusableName(Scan* scan, const std::string& shown_folder, const FolderEntry& entry,
                      EntryRule rule) {
  auto shown = [&](const std::string& name) {
    return shown_folder == "." ? name : shown_folder + kHostSeparator + name;
  };
  switch (rule) {
    case EntryRule::kTypeUnreadable:
      Warn("skipping %s: what it is cannot be read: %s; check the card (%s) and run cardprep "
           "again",
           shown(ShownName(entry.host_name)).c_str(), entry.type_error.c_str(),
           CheckCardCommand());
      CountSkipped(scan->report, "entries that cannot be read");
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
        Warn("skipping %s: the name is not valid UTF-8; rename it (convmv -f ENCODING -t "
             "utf8 --notest renames such names)",
             shown(EscapedName(entry.host_name)).c_str());
      }
      CountSkipped(scan->report, "names not valid UTF-8");
      return true;
    }
    case EntryRule::kBackslash:
      Warn("skipping %s: the name holds a backslash, which the player takes for a folder "
           "separator; rename it without one",
           shown(entry.host_name).c_str());
      CountSkipped(scan->report, "names holding a backslash");
      return true;
    case EntryRule::kFatUnshowable:
      if (!scan->fat_names_warned) {
        scan->fat_names_warned = true;
        Warn("the card is a FAT file system mounted without the utf8 option, so names with "
             "characters outside its character set read as \"?\" and cannot be opened "
             "(first: %s); they are skipped. Mount it again with the utf8 option: "
             "sudo umount <mount point>; sudo mount -o utf8 <device> <mount point>",
             shown(entry.host_name).c_str());
      }
      CountSkipped(scan->report, "names unreadable on a FAT card without utf8");
      return true;
    case EntryRule::kFolderLink:
      Warn("not following %s: it is a symbolic link to a folder, and the player follows no "
           "links; put the folder itself on the card",
           shown(entry.host_name).c_str());
      CountSkipped(scan->report, "links to folders");
      return true;
    case EntryRule::kAppleDouble:
      CountSkipped(scan->report, "AppleDouble metadata files");
      return true;
    default:
      return false;
  }
}

// Warns about an entry with a usable name that the rules leave out.
void SayLeftOut(Scan* scan, const std::u16string& path, const FolderContents::LeftOut& entry) {
  const std::u16string& name = entry.name;
  switch (entry.rule) {
    case EntryRule::kTrash:
      if (IsRecycleFolder(name)) {
        // Windows makes one on every card it deletes from: said only when
        // deleted songs take room in it.
        const size_t mp3s = CountMp3FilesIn(HostPath(ChildPath(path, name)));
        if (mp3s == 0) break;
        Warn("not indexing %s: it holds %zu deleted MP3 %s; empty the Recycle Bin to free "
             "their room on the card",
             Shown(ChildPath(path, name)).c_str(), mp3s, mp3s == 1 ? "file" : "files");
      } else {
        Warn("not indexing %s: it holds deleted files; empty the trash to free their room on "
             "the card",
             Shown(ChildPath(path, name)).c_str());
      }
      CountSkipped(scan->report, "trash folders");
      break;
    case EntryRule::kFolderNameTooLong:
      Warn("skipping folder %s: its name is %zu characters long, and the player takes %zu; "
           "shorten its name",
           Shown(ChildPath(path, name)).c_str(), name.size(), kMaxFolderName);
      CountSkipped(scan->report, "folder names over 64 characters");
      break;
    case EntryRule::kFileNameTooLong:
      Warn("skipping %s: its name is %zu characters long, and the player takes %zu; shorten "
           "its name",
           Shown(ChildPath(path, name)).c_str(), name.size(), kMaxFileName);
      CountSkipped(scan->report, "file names over 128 characters");
      break;
    default:  // said while listing, or left out without a word
      break;
  }
}

void SayUnplayable(Scan* scan, const std::string& shown,
                   const std::vector<std::u16string>& unplayable) {
  if (unplayable.empty()) return;
  Warn("%s: %zu audio %s the player cannot play %s left out (%s); it plays MP3 only: "
       "convert %s to MP3",
       shown.c_str(), unplayable.size(), unplayable.size() == 1 ? "file" : "files",
       unplayable.size() == 1 ? "is" : "are", FirstFew(unplayable).c_str(),
       unplayable.size() == 1 ? "it" : "them");
  CountSkipped(scan->report, "audio files the player cannot play",
               static_cast<unsigned>(unplayable.size()));
}

// Takes the listing of the folder at |path| (made ahead, or made now), and
// says what it leaves out. False when the folder cannot be read at all.
bool ReadFolder(Scan* scan, const std::u16string& path, FolderListing* listing) {
  *listing = TakeListing(scan->ahead, path, scan->settings.card_is_fat);
  const std::vector<FolderEntry>& entries = listing->entries;
  const std::string& why = listing->why;
  const std::string& read_error = listing->read_error;
  const bool fault = listing->fault;
  const std::string shown = Shown(path);
  if (!listing->opened) {
    // A folder that may not be read stays out, as its owner wants; one that
    // the card fails to deliver would cost the index what it holds.
    if (fault) {
      Error("cannot read folder %s: %s; nothing in it is indexed: check the card (%s) and run "
            "cardprep again",
            shown.c_str(), why.c_str(), CheckCardCommand());
      KeepOldIndex(scan->report, "folder " + shown + " could not be read");
    } else {
      Warn("cannot read folder %s: %s; nothing in it is indexed: %s",
           shown.c_str(), why.c_str(), ReadRightsAdvice(shown).c_str());
    }
    CountSkipped(scan->report, "folders that cannot be read");
    return false;
  }
  const FolderContents* contents = &listing->contents;
  for (const FolderContents::LeftOut& entry : contents->left_out) {
    SkipUnusableName(scan, shown, entries[entry.entry], entry.rule);
  }
  if (!read_error.empty()) {
    if (fault) {
      Error("cannot read all of folder %s: %s; check the card (%s) and run cardprep again",
            shown.c_str(), read_error.c_str(), CheckCardCommand());
      KeepOldIndex(scan->report, "folder " + shown + " could not be read whole");
    } else {
      Warn("cannot read all of folder %s: %s; what it still holds is left out: run cardprep "
           "again once nothing else changes the card",
           shown.c_str(), read_error.c_str());
    }
  }
  for (const FolderContents::LeftOut& entry : contents->left_out) SayLeftOut(scan, path, entry);
  SayUnplayable(scan, shown, contents->unplayable);
  return true;
}

// Keeps the first |room| of |names|, the entries of the folder at |path|
// the card still has room for (it holds |most| |what| at most), and says
// what is left out.
void KeepWhatTheCardHasRoomFor(Scan* scan, const std::u16string& path, size_t room,
                               uint32_t most, const char* what,
                               std::vector<std::u16string>* names) {
  if (names->size() <= room) return;
  const size_t left_out = names->size() - room;
  Warn("the card holds more than %u %s, the most the player can index: "
       "%zu in %s and every one after are left out; move some music off the card",
       most, what, left_out, Shown(path).c_str());
  const std::string reason = std::string(what) + " over the card's " + std::to_string(most);
  CountSkipped(scan->report, reason.c_str(), static_cast<unsigned>(left_out));
  names->resize(room);
}

// Takes the folder's MP3 files, the first 255 in sorted order and at most
// 65535 on the card, counts them and asks for their titles.
void TakeSounds(Scan* scan, const std::u16string& path, const std::vector<FolderEntry>& entries,
                FolderContents* contents, DirInfo* dir) {
  std::vector<std::u16string>& names = contents->sounds;
  CatalogCounters& counters = scan->catalog->counters;
  if (names.size() > kMaxSoundsPerFolder) {
    const size_t left_out = names.size() - kMaxSoundsPerFolder;
    const std::string first = Utf16ToUtf8(names[kMaxSoundsPerFolder]);
    const std::string which = left_out == 1 ? "the last by name, \"" + first + "\", is"
                                            : "the last " + std::to_string(left_out) +
                                                  " by name, from \"" + first + "\" on, are";
    Warn("%s holds %zu MP3 files; the player takes %zu in a folder, so %s left out (move some "
         "into subfolders)",
         Shown(path).c_str(), names.size(), kMaxSoundsPerFolder, which.c_str());
    CountSkipped(scan->report, "MP3 files over a folder's 255", static_cast<unsigned>(left_out));
    names.resize(kMaxSoundsPerFolder);
  }
  KeepWhatTheCardHasRoomFor(scan, path, kMaxSounds - counters.sounds_taken, kMaxSounds, "MP3 files",
                            &names);
  if (names.empty()) return;
  // Sound records are written in the order of the scan: a folder's own,
  // then its subfolders'.
  dir->first_sound = static_cast<uint16_t>(counters.sounds_taken);
  counters.sounds_taken += static_cast<uint32_t>(names.size());
  ++counters.sound_folder_count;
  counters.random_entry_count = static_cast<uint16_t>(counters.random_entry_count +
                                                      (dir->file_unit ? names.size() : 1));
  dir->sounds.resize(names.size());
  std::vector<TitleRequest> requests;
  requests.reserve(names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    Sound& sound = dir->sounds[i];
    sound.name = std::move(names[i]);
    const FolderEntry& entry = entries[contents->sound_entries[i]];
    sound.has_stamp = entry.has_stamp;
    sound.stamp = entry.stamp;
    requests.push_back({sound.name, sound.has_stamp ? &sound.stamp : nullptr});
  }
  dir->titles = RequestTitles(scan->titles, path, requests);
}

// Takes the folder's subfolders: sorted by name, the first 255 kept, and no
// more than 65534 below the root in all.
void TakeChildren(Scan* scan, const std::u16string& path, std::vector<std::u16string> names,
                  DirInfo* dir) {
  CatalogCounters& counters = scan->catalog->counters;
  if (KeptSubfolders(names.size()) < names.size()) {
    const size_t left_out = names.size() - KeptSubfolders(names.size());
    Warn("%s holds %zu folders; the player takes %zu in a folder, so %s after \"%s\" "
         "%s left out (group them into subfolders, for example by first letter)",
         Shown(path).c_str(), names.size(), kMaxChildren,
         left_out == 1 ? "the one" : ("the " + std::to_string(left_out)).c_str(),
         Utf16ToUtf8(names[kMaxChildren - 1]).c_str(), left_out == 1 ? "is" : "are");
    CountSkipped(scan->report, "folders over a folder's 255", static_cast<unsigned>(left_out));
    names.resize(kMaxChildren);
  }
  KeepWhatTheCardHasRoomFor(scan, path, kMaxFolders - counters.folder_count, kMaxFolders, "folders",
                            &names);
  counters.folder_count = static_cast<uint16_t>(counters.folder_count + names.size());
  dir->children.resize(names.size());
  for (size_t i = 0; i < names.size(); ++i) dir->children[i].name = std::move(names[i]);
}

// Names the folder at |path| in the folder |parent_name| as the player
// shows it, just before its sounds are named (a folder's names are told
// together).
void NameFolder(Scan* scan, const std::u16string& path, const std::u16string& parent_name,
                DirInfo* dir) {
  dir->name_replaced = NameForPlayer(dir->sjis_name, sizeof dir->sjis_name,
                                     FolderShownText(dir->name, parent_name), path, path,
                                     &scan->catalog->unshown);
}

// Names the folder's sounds as the player shows them.
void NameSounds(Scan* scan, const std::u16string& path, DirInfo* dir) {
  for (Sound& sound : dir->sounds) {
    sound.name_replaced = NameForPlayer(sound.sjis_name, sizeof sound.sjis_name, sound.name,
                                        ChildPath(path, sound.name), path, &scan->catalog->unshown);
  }
}

// Builds |dir|'s subtree from the folder at |path|.
void ScanFolder(Scan* scan, const std::u16string& path, DirInfo* dir) {
  const CatalogCounters& counters = scan->catalog->counters;
  if (ProgressDue()) {
    ShowProgress("cardprep: scanning the card: " + std::to_string(counters.sounds_taken) +
                 " MP3 files in " + std::to_string(counters.sound_folder_count) +
                 " folders so far");
  }
  dir->file_unit = IsFileUnitFolder(scan->settings, path);
  FolderListing listing;
  if (!ReadFolder(scan, path, &listing)) return;
  TakeSounds(scan, path, listing.entries, &listing.contents, dir);
  PumpTitles(scan->titles);
  TakeChildren(scan, path, std::move(listing.contents.folders), dir);
  NameSounds(scan, path, dir);

  for (DirInfo& child : dir->children) {
    const std::u16string child_path = ChildPath(path, child.name);
    NameFolder(scan, child_path, dir->name, &child);
    if (PathTooLongToScan(child_path)) {
      child.file_unit = IsFileUnitFolder(scan->settings, child_path);
      Warn("not indexing %s: its path is %zu characters long, and the player takes %zu; "
           "shorten the names of its folders, or nest it less deeply",
           Shown(child_path).c_str(), child_path.size(), kMaxScannedPath);
      CountSkipped(scan->report, "folder paths over 123 characters");
      continue;
    }
    ScanFolder(scan, child_path, &child);
  }
}

}  // namespace

void ScanCard(const ScanSettings& settings, TitleReader* titles, ListingAhead* ahead,
              Catalog* catalog, RunReport* report) {
  Scan scan{settings, titles, ahead, catalog, report};
  DirInfo* root = &catalog->root;
  NameFolder(&scan, u"", u"", root);
  ScanFolder(&scan, u"", root);
  WarnAboutPrefixes(settings, *root);
}
