#include "card_test.h"

#include <algorithm>
#include <filesystem>

std::string Padded(const std::string& sjis, size_t width) {
  return sjis + std::string(width - std::min(width, sjis.size()), ' ');
}

std::vector<std::string> Lines(const std::string& text, const std::string& end) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t at; (at = text.find(end, start)) != std::string::npos; start = at + end.size()) {
    lines.push_back(text.substr(start, at - start));
  }
  if (start < text.size()) lines.push_back(text.substr(start) + "<no line end>");
  return lines;
}

uint16_t Le16(const std::vector<uint8_t>& f, size_t at) { return uint16_t(f[at] | f[at + 1] << 8); }

std::u16string Utf16At(const std::vector<uint8_t>& f, size_t at, size_t size, bool* zero_after) {
  std::u16string text;
  size_t i = 0;
  for (; i + 1 < size && (f[at + i] | f[at + i + 1]); i += 2) text.push_back(char16_t(Le16(f, at + i)));
  if (zero_after != nullptr) {
    *zero_after = std::all_of(f.begin() + long(at + i), f.begin() + long(at + size),
                              [](uint8_t b) { return b == 0; });
  }
  return text;
}

std::string PathOfUnits(const std::string& top, size_t units) {
  std::string path = top;
  while (path.size() + 1 + 12 < units) path += "/abcdefghij";
  const size_t left = units - 1 - path.size();  // 0 to 12
  if (left == 1) path += "K";
  if (left > 1) path += "/" + std::string(left - 1, 'K');
  return path;
}

std::vector<std::string> AsideFiles() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(".")) {
    const std::string name = entry.path().filename().string();
    if (name.find(".cardprep-") != std::string::npos) names.push_back(name);
  }
  return names;
}

void CardTest::SetUp() {
  ASSERT_TRUE(PutUnifontFonts());
  zenkaku_ = ReadBytes("_FONT/RIZOZ16I.DAZ");
  hankaku_ = ReadBytes("_FONT/MYRCH16B.FNT");
}

void CardTest::Mp3(const std::string& path, const std::string& title) {
  const std::string folder = std::filesystem::path(path).parent_path().string();
  if (!folder.empty()) MakeDirs(folder);
  WriteSilentMp3(path);
  if (!title.empty()) TagWithMutagen(path, 4, "utf8", {title});
}

void CardTest::Run(const std::vector<std::string>& args, int status) {
  run_ = RunCardprep(args);
  ASSERT_EQ(run_.status, status) << run_.err;
  out_ = Lines(run_.out, "\n");
}

bool CardTest::Drawn(const uint8_t* upper, const uint8_t* lower, size_t columns,
                     const std::string& sjis, std::string* why) const {
  return LineMatchesFonts(upper, lower, columns, sjis, zenkaku_, hankaku_, why);
}
