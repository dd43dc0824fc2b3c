#include "copy/copy_sources.h"

#include <algorithm>

#include "host/console.h"
#include "host/folder.h"
#include "host/program.h"
#include "text/utf.h"

namespace {

const char kProtectedWhy[] =
    "it is copy-protected (DRM, as the iTunes Store sold music before 2009): only the program "
    "it was bought for plays it; it is not copied";

char16_t AsciiLower(char16_t unit) {
  return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit + 0x20) : unit;
}

bool StampEveryFile(std::string_view) { return true; }

// The last name of |path|.
std::string LastName(const std::string& path) {
  std::string trimmed = path;
  while (trimmed.size() > 1 && (trimmed.back() == '/' || trimmed.back() == kHostSeparator)) {
    trimmed.pop_back();
  }
  const size_t slash = trimmed.find_last_of(std::string("/") + kHostSeparator);
  std::string name = slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
  // "E:" is a drive, no name.
  if (name.size() == 2 && name[1] == ':') return "";
  return name;
}

std::string Joined(const std::string& folder, const std::string& name) {
  if (!folder.empty() && (folder.back() == '/' || folder.back() == kHostSeparator)) {
    return folder + name;
  }
  return folder + kHostSeparator + name;
}

// Takes the audio file at |host_path|; false, with |*why|, when it cannot
// be looked at.
bool TakeFile(const std::string& host_path, const std::string& shown, std::u16string name,
              const FolderEntry* entry, std::vector<SourceFile>* files, std::string* why) {
  SourceFile file;
  file.host_path = host_path;
  file.shown = shown;
  file.kind = AudioTypeOf(name) == AudioType::kMp3 ? CopyKind::kAsIs : CopyKind::kEncoded;
  file.name = std::move(name);
  if (entry != nullptr && entry->has_stamp) {
    file.stamp = entry->stamp;
  } else if (!StampPath(host_path, &file.stamp, why)) {
    return false;
  }
  files->push_back(std::move(file));
  return true;
}

void ListFolder(const std::string& host_path, const std::string& shown, SourceFolder* folder,
                SourceTally* tally) {
  std::vector<FolderEntry> entries;
  std::string why, read_error;
  if (!ListHostFolder(host_path, &entries, &why, &read_error, nullptr, StampEveryFile)) {
    Warn("cannot read the folder %s: %s; it is not copied", shown.c_str(), why.c_str());
    ++tally->unreadable;
    return;
  }
  if (!read_error.empty()) {
    Warn("cannot read all of the folder %s: %s; what could not be read is not copied",
         shown.c_str(), read_error.c_str());
    ++tally->unreadable;
  }
  std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) {
    return a.host_name < b.host_name;
  });
  for (const FolderEntry& entry : entries) {
    const std::string entry_path = Joined(host_path, entry.host_name);
    const std::string entry_shown = Joined(shown, EscapedName(entry.host_name));
    if (!entry.type_error.empty()) {
      Warn("cannot tell what %s is: %s; it is not copied", entry_shown.c_str(),
           entry.type_error.c_str());
      ++tally->unreadable;
      continue;
    }
    std::u16string name;
    if (!Utf8ToUtf16(entry.host_name, &name)) {
      Warn("skipping %s: the name is not valid UTF-8, so the card cannot be given it (rename it, "
           "for example with convmv)",
           entry_shown.c_str());
      ++tally->unreadable;
      continue;
    }
    if (entry.kind == EntryKind::kFolder) {
      if (entry.link) {
        Warn("not following %s: it is a symbolic link to a folder; give the folder itself",
             entry_shown.c_str());
        ++tally->unreadable;
        continue;
      }
      SourceFolder child;
      child.name = std::move(name);
      child.shown = entry_shown;
      ListFolder(entry_path, entry_shown, &child, tally);
      folder->folders.push_back(std::move(child));
      continue;
    }
    if (entry.apple_double) continue;  // another system's metadata
    switch (AudioTypeOf(name)) {
      case AudioType::kMp3:
      case AudioType::kDecodable:
        if (!TakeFile(entry_path, entry_shown, std::move(name), &entry, &folder->files, &why)) {
          Warn("cannot read %s: %s; it is not copied", entry_shown.c_str(), why.c_str());
          ++tally->unreadable;
        }
        break;
      case AudioType::kProtected:
        Warn("%s: %s", entry_shown.c_str(), kProtectedWhy);
        ++tally->protected_files;
        break;
      case AudioType::kOther:
        ++tally->others;
        break;
    }
  }
}

}  // namespace

AudioType AudioTypeOf(std::u16string_view name) {
  const size_t dot = name.rfind(u'.');
  if (dot == std::u16string_view::npos) return AudioType::kOther;
  std::u16string extension;
  for (const char16_t unit : name.substr(dot)) extension.push_back(AsciiLower(unit));
  if (extension == u".mp3") return AudioType::kMp3;
  if (extension == u".m4p") return AudioType::kProtected;
  for (std::u16string_view decodable :
       {u".flac", u".m4a", u".aac", u".ogg", u".oga", u".opus", u".wma", u".wav"}) {
    if (extension == decodable) return AudioType::kDecodable;
  }
  return AudioType::kOther;
}

std::string SourceFolderOf(const std::string& absolute) {
  if (KindOfPath(absolute) == PathKind::kFolder) return absolute;
  const size_t slash = absolute.find_last_of(std::string("/") + kHostSeparator);
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : absolute.substr(0, slash);
}

bool ListSources(const std::vector<std::string>& absolute, const std::vector<std::string>& given,
                 SourceFolder* sources, SourceTally* tally) {
  bool ok = true;
  for (size_t i = 0; i < absolute.size(); ++i) {
    const std::string& path = absolute[i];
    const char* shown = given[i].c_str();
    std::string why;
    const std::string host_name = LastName(path);
    std::u16string name;
    const PathKind kind = KindOfPath(path, &why);
    if (kind == PathKind::kMissing) {
      Error("%s does not exist; nothing was copied", shown);
      ok = false;
    } else if (kind == PathKind::kUnknown) {
      Error("cannot read %s: %s; nothing was copied", shown, why.c_str());
      ok = false;
    } else if (kind == PathKind::kOther) {
      Error("%s is neither a folder nor a file; nothing was copied", shown);
      ok = false;
    } else if (host_name.empty()) {
      Error("%s is the root of a file system, which has no name to copy it under: give its "
            "folders; nothing was copied", shown);
      ok = false;
    } else if (!Utf8ToUtf16(host_name, &name)) {
      Error("%s: the name is not valid UTF-8, so the card cannot be given it (rename it, for "
            "example with convmv); nothing was copied", shown);
      ok = false;
    } else if (kind == PathKind::kFolder) {
      SourceFolder folder;
      folder.name = std::move(name);
      folder.shown = given[i];
      ListFolder(path, given[i], &folder, tally);
      sources->folders.push_back(std::move(folder));
    } else {
      switch (AudioTypeOf(name)) {
        case AudioType::kMp3:
        case AudioType::kDecodable:
          if (!TakeFile(path, given[i], std::move(name), nullptr, &sources->files, &why)) {
            Error("cannot read %s: %s; nothing was copied", shown, why.c_str());
            ok = false;
          }
          break;
        case AudioType::kProtected:
          Error("%s: %s; nothing was copied", shown, kProtectedWhy);
          ok = false;
          break;
        case AudioType::kOther:
          Error("%s is no audio file cardprep-copy takes (MP3, FLAC, M4A, AAC, Ogg, Opus, WMA "
                "or WAV); nothing was copied", shown);
          ok = false;
          break;
      }
    }
  }
  return ok;
}
