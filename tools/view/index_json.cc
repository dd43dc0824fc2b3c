#include "tools/view/index_json.h"

#include <cstdio>

#include "index/message_file.h"

namespace {

std::string Num(uint64_t n) { return std::to_string(n); }

std::string Bool(bool b) { return b ? "true" : "false"; }

// "key": value pairs joined into an object on one line.
std::string Object(std::initializer_list<std::pair<const char*, std::string>> fields) {
  std::string out = "{";
  for (const auto& [key, value] : fields) {
    if (out.size() > 1) out += ", ";
    out += JsonString(key) + ": " + value;
  }
  return out + "}";
}

// An array with one item a line.
std::string Array(const std::vector<std::string>& items) {
  if (items.empty()) return "[]";
  std::string out = "[\n";
  for (size_t i = 0; i < items.size(); ++i) {
    out += "    " + items[i] + (i + 1 < items.size() ? ",\n" : "\n");
  }
  return out + "  ]";
}

std::string Strings(const std::vector<std::string>& lines) {
  std::vector<std::string> items;
  for (const std::string& line : lines) items.push_back(JsonString(line));
  return Array(items);
}

std::string Header(const CardIndex& index) {
  if (!index.has_header) return "null";
  const DirListHeader& h = index.header;
  std::string time(h.time, kHeaderTimeSize);
  for (char& c : time) {
    if (static_cast<unsigned char>(c) >= 0x80) c = '?';  // the field is ASCII digits
  }
  return Object({{"folder_count", Num(h.folder_count)},
                 {"sound_folder_count", Num(h.sound_folder_count)},
                 {"time", JsonString(time)}});
}

}  // namespace

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (b < 0x20) {
      char escape[7];
      snprintf(escape, sizeof escape, "\\u%04X", b);
      out += escape;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string IndexJson(const CardIndex& index, const Findings& findings) {
  std::vector<std::string> folders;
  for (size_t n = 1; n <= index.folders.size(); ++n) {
    const FolderRecord& r = index.folders[n - 1].record;
    folders.push_back(Object({
        {"number", Num(n)},
        {"path", JsonString(Utf8(r.path))},
        {"name", JsonString(Utf8(r.name))},
        {"displayed", JsonString(DisplayedName(r.sjis_name, kFolderSjisNameSize))},
        {"parent", Num(r.parent)},
        {"grandparent", Num(r.grandparent)},
        {"first_child", Num(r.first_child)},
        {"child_count", Num(r.child_count)},
        {"first_sound", Num(r.first_sound)},
        {"sound_count", Num(r.sound_count)},
        {"file_unit", Bool(index.file_unit[n - 1])},
    }));
  }
  std::string tree = "[";
  for (const TreeStep& step : WalkTree(index)) {
    tree += (tree.size() > 1 ? ", " : "") + Num(step.number);
  }
  tree += "]";

  const bool listed = index.listing.size() == index.sounds.size();
  std::vector<std::string> sounds;
  for (size_t k = 0; k < index.sounds.size(); ++k) {
    const SoundRecord& r = index.sounds[k].record;
    const uint16_t folder = index.sound_folder[k];
    std::string title = "null";
    if (listed && index.listing[k].has_title) {
      const std::string& field = index.listing[k].title;
      title = JsonString(DisplayedName(field.data(), field.size()));
    }
    sounds.push_back(Object({
        {"index", Num(k)},
        {"folder", folder != 0 ? Num(folder) : "null"},
        {"name", JsonString(Utf8(r.name))},
        {"displayed", JsonString(DisplayedName(r.sjis_name, kSoundSjisNameSize))},
        {"title", title},
    }));
  }
  std::vector<std::string> entries;
  for (const RandomEntry& e : index.play_order) {
    entries.push_back(
        Object({{"kind", Num(e.kind)}, {"folder", Num(e.folder)}, {"file", Num(e.file)}}));
  }

  return "{\n  \"header\": " + Header(index) + ",\n  \"folders\": " + Array(folders) +
         ",\n  \"tree\": " + tree + ",\n  \"sounds\": " + Array(sounds) +
         ",\n  \"play_order\": " + Array(entries) +
         ",\n  \"messages\": " + Num(index.messages.size() / kMessageRecordSize) +
         ",\n  \"problems\": " + Strings(findings.problems) +
         ",\n  \"notes\": " + Strings(findings.notes) + "\n}\n";
}
