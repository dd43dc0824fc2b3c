#include "tools/view/index_text.h"

#include <algorithm>
#include <cstdio>

#include "index/message_file.h"
#include "text/utf.h"

namespace {

std::string Num(uint64_t n) { return std::to_string(n); }

std::string Quoted(const std::string& text) { return "\"" + Printable(text) + "\""; }

std::string Plural(size_t n, const char* one, const char* many) {
  return Num(n) + " " + (n == 1 ? one : many);
}

std::string HeaderTime(const char (&time)[kHeaderTimeSize]) {
  const std::string t(time, kHeaderTimeSize);
  if (t.find_first_not_of("0123456789") != std::string::npos) return Quoted(t);
  return t.substr(0, 4) + "-" + t.substr(4, 2) + "-" + t.substr(6, 2) + " " + t.substr(8, 2) +
         ":" + t.substr(10, 2) + ":" + t.substr(12, 2);
}

std::string SoundLine(const CardIndex& index, size_t k) {
  if (k >= index.sounds.size()) return "sound " + Num(k) + " (past the end of SNDLST16.DAT)";
  const SoundRecord& r = index.sounds[k].record;
  const std::string shown = DisplayedName(r.sjis_name, kSoundSjisNameSize);
  std::string line = "sound " + Num(k) + " " + Quoted(shown);
  const std::string file = Utf8(r.name);
  if (file != shown) line += " file " + Quoted(file);
  if (index.listing.size() == index.sounds.size() && index.listing[k].has_title) {
    const std::string& title = index.listing[k].title;
    line += " title " + Quoted(DisplayedName(title.data(), title.size()));
  }
  return line;
}

}  // namespace

std::string Printable(const std::string& text) { return EscapedBytes(text, false); }

std::string TreeText(const CardIndex& index) {
  std::string text;
  if (index.has_header) text += "DIRLST16.DAT written " + HeaderTime(index.header.time) + "\n";
  // Folders counted as cardprep's summary counts them: those with sounds.
  const size_t with_sounds = static_cast<size_t>(
      std::count_if(index.folders.begin(), index.folders.end(),
                    [](const IndexedFolder& f) { return f.record.sound_count > 0; }));
  text += "index: " + Plural(index.sounds.size(), "sound", "sounds") + " in " +
          Plural(with_sounds, "folder", "folders") + ", " +
          Plural(index.play_order.size(), "play-order entry", "play-order entries") + ", " +
          Plural(index.messages.size() / kMessageRecordSize, "message", "messages") +
          ", " + Plural(index.listing.size(), "listed file", "listed files") + "\n\n";
  for (const TreeStep& step : WalkTree(index)) {
    const std::string indent(2 * static_cast<size_t>(step.depth), ' ');
    const FolderRecord& r = index.folders[step.number - 1].record;
    text += indent + Printable(FolderLabel(index, step.number)) + " " +
            Quoted(DisplayedName(r.sjis_name, kFolderSjisNameSize));
    if (r.sound_count > 0) text += ": " + SoundRange(r.first_sound, r.sound_count);
    if (index.file_unit[step.number - 1]) text += ", file by file";
    text += "\n";
    for (size_t k = r.first_sound; k < size_t{r.first_sound} + r.sound_count; ++k) {
      text += indent + "  " + SoundLine(index, k) + "\n";
    }
  }
  return text;
}

std::string PlayOrderText(const CardIndex& index) {
  std::string text = "play order, " +
                     Plural(index.play_order.size(), "entry", "entries") + " in file order:\n";
  for (size_t i = 0; i < index.play_order.size(); ++i) {
    const RandomEntry& e = index.play_order[i];
    text += "  " + Num(i) + " ";
    const IndexedFolder* folder = FindFolder(index, e.folder);
    if (e.kind == kWholeFolder) {
      text += "folder " + Num(e.folder) + ": " +
              (folder != nullptr ? Printable(Utf8(folder->record.path)) : "not in the folder list");
    } else if (e.kind == kOneFile) {
      text += "file " + Num(e.file) + " of folder " + Num(e.folder) + ": ";
      const size_t k = folder != nullptr ? size_t{folder->record.first_sound} + e.file : 0;
      if (folder == nullptr) {
        text += "not in the folder list";
      } else if (e.file >= folder->record.sound_count || k >= index.sounds.size()) {
        text += "not in the folder";
      } else {
        text += Printable(SoundPath(index, e.folder, k)) + " (sound " + Num(k) + ")";
      }
    } else {
      text += "kind " + Num(e.kind) + ": unknown";
    }
    text += "\n";
  }
  return text;
}

std::string FindingsText(const Findings& findings) {
  std::string text;
  if (findings.problems.empty()) {
    text = "check: the index agrees with itself and with the card";
    if (!findings.notes.empty()) {
      text += "; " + Plural(findings.notes.size(), "note", "notes");
      if (!findings.notes_beyond_music) text += " on MP3 files the scan leaves out";
    }
  } else {
    text = "check: " + Plural(findings.problems.size(), "problem", "problems");
    if (!findings.notes.empty()) text += ", " + Plural(findings.notes.size(), "note", "notes");
  }
  text += "\n";
  for (const std::string& line : findings.problems) text += "problem: " + Printable(line) + "\n";
  for (const std::string& line : findings.notes) text += "note: " + Printable(line) + "\n";
  return text;
}
