// What the record of titles costs on a card: its size, and the time to
// encode it, write it to the card (forced to it, as a run does), decode it
// and look every sound up in it. Run in a card's root: it walks the card
// (every folder not beginning with "_", every ".mp3" file), stamps each
// file from the listing and reads its title as the title reader does, then
// prints the minimum and average of 5 runs of each step. The file it writes
// is removed again.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "catalog/scan_rules.h"
#include "titles/title_record.h"
#include "titles/tag_search.h"
#include "host/file.h"
#include "host/file_stamp.h"
#include "host/folder.h"
#include "text/card_path.h"
#include "text/utf.h"

namespace {

constexpr int kRuns = 5;

void Walk(const std::u16string& path, TitleRecord* record) {
  std::vector<FolderEntry> entries;
  std::string why, read_error;
  const StampFilter sounds = [](std::string_view name) { return HasMp3Extension(name); };
  if (!ListHostFolder(HostPath(path), &entries, &why, &read_error, nullptr, sounds)) return;
  RecordedFolder folder;
  folder.path = path;
  std::vector<std::u16string> children;
  std::u16string name;
  for (const FolderEntry& e : entries) {
    if (!Utf8ToUtf16(e.host_name, &name)) continue;
    if (e.kind == EntryKind::kFolder) {
      if (!e.link && !name.empty() && name[0] != u'_') children.push_back(name);
    } else if (HasMp3Extension(name) && e.has_stamp) {
      RecordedSound sound;
      sound.name = name;
      sound.stamp = e.stamp;
      if (GetTitleTag(path, name, &sound.title, &why)) {
        folder.sounds.push_back(std::move(sound));
      }
    }
  }
  std::sort(folder.sounds.begin(), folder.sounds.end(),
            [](const RecordedSound& a, const RecordedSound& b) { return a.name < b.name; });
  if (!folder.sounds.empty()) record->folders.push_back(std::move(folder));
  std::sort(children.begin(), children.end());
  for (const std::u16string& child : children) Walk(ChildPath(path, child), record);
}

template <typename Step>
void Time(const char* what, Step step) {
  double least = 1e30, sum = 0;
  for (int run = 0; run < kRuns; ++run) {
    const auto start = std::chrono::steady_clock::now();
    step();
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count();
    least = std::min(least, ms);
    sum += ms;
  }
  printf("  %-28s min %8.2f ms  avg %8.2f ms\n", what, least, sum / kRuns);
}

}  // namespace

int main() {
  // The record's time is that of a file created on the card at the start.
  OutFile out;
  std::string why;
  TitleRecord record;
  FileStamp marker;
  if (!OpenAside("./.title-record-bench", "title record", &out, &why) ||
      !StampOpenFile(out.fd, &marker, &why)) {
    fprintf(stderr, "error: cannot write in the card's root: %s\n", why.c_str());
    return 1;
  }
  record.written = marker.modified;
  Walk(u"", &record);
  size_t sounds = 0;
  for (const RecordedFolder& f : record.folders) sounds += f.sounds.size();

  std::string bytes = EncodeTitleRecord(record);
  printf("title record: %zu sounds in %zu folders, %zu bytes (%.1f MB, %.1f bytes a sound)\n",
         sounds, record.folders.size(), bytes.size(), static_cast<double>(bytes.size()) / 1e6,
         static_cast<double>(bytes.size()) / static_cast<double>(std::max<size_t>(sounds, 1)));
  Time("encode", [&] { bytes = EncodeTitleRecord(record); });
  Time("write aside, forced to card", [&] {
    OutFile file;
    if (!OpenAside("./.title-record-bench", "title record", &file, &why)) return;
    WriteBytes(&file, bytes.data(), bytes.size());
    FinishAside(&file);
    DiscardAside(&file);
  });
  TitleRecord decoded;
  Time("decode", [&] {
    if (!DecodeTitleRecord(bytes, &decoded, &why)) fprintf(stderr, "error: %s\n", why.c_str());
  });
  size_t trusted = 0;
  Time("look up every sound", [&] {
    trusted = 0;
    for (const RecordedFolder& f : record.folders) {
      for (const RecordedSound& s : f.sounds) {
        trusted += TrustedTitle(decoded, f.path, s.name, s.stamp) != nullptr;
      }
    }
  });
  printf("  %zu of %zu sounds trusted (the rest changed within %.1f s of the record's time)\n",
         trusted, sounds, record.granularity_ns / 1e9);
  DiscardAside(&out);
  return 0;
}
