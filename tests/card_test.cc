#include "card_test.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "index/folder_record.h"
#include "index/index_files.h"
#include "index/random_order.h"
#include "text/utf.h"

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

namespace {

// What the Windows build must write as the Linux build does: DIRLST16.DAT
// without its time field, and RANDOM16.DAT's entries in any order.
std::vector<uint8_t> Comparable(const std::string& name, std::vector<uint8_t> bytes) {
  if (name == kDirListFileName && bytes.size() >= kHeaderTime + kHeaderTimeSize) {
    std::fill_n(bytes.begin() + kHeaderTime, kHeaderTimeSize, uint8_t{0});
  }
  if (name == kRandomOrderFileName && bytes.size() % kEntrySize == 0) {
    std::vector<std::vector<uint8_t>> entries;
    for (size_t at = 0; at < bytes.size(); at += kEntrySize) {
      entries.emplace_back(bytes.begin() + long(at), bytes.begin() + long(at + kEntrySize));
    }
    std::sort(entries.begin(), entries.end());
    bytes.clear();
    for (const auto& entry : entries) bytes.insert(bytes.end(), entry.begin(), entry.end());
  }
  return bytes;
}

// Whether Windows can hold a file of the name |name|: valid UTF-8, none of
// the characters its names may not hold, no dot or space at the end.
bool WindowsName(const std::string& name) {
  std::u16string units;
  return Utf8ToUtf16(name, &units) && !name.empty() && name.back() != '.' &&
         name.back() != ' ' &&
         std::none_of(name.begin(), name.end(), [](char c) {
           return static_cast<unsigned char>(c) < 0x20 ||
                  std::string_view("\\:*?\"<>|").find(c) != std::string_view::npos;
         });
}

// Copies the card at |from| to |to|; FIFOs and devices are left out. False
// when it holds what a card on Windows cannot: a name Windows cannot hold,
// or a symbolic link (FAT has none, and Wine shows Linux's as what they
// lead to).
bool CopyCard(const std::string& from, const std::string& to) {
  namespace fs = std::filesystem;
  bool windows = true;
  for (const auto& entry : fs::directory_iterator(from)) {
    const std::string there = to + "/" + entry.path().filename().string();
    windows = windows && WindowsName(entry.path().filename().string());
    std::error_code ec;
    if (entry.is_symlink(ec)) {
      windows = false;
    } else if (entry.is_directory(ec)) {
      fs::create_directory(there, ec);
      windows = CopyCard(entry.path().string(), there) && windows;
    } else if (entry.is_regular_file(ec)) {
      fs::copy_file(entry.path(), there, ec);
    }
  }
  return windows;
}

}  // namespace

void CardTest::Run(const std::vector<std::string>& args, int status) {
  // With CARDPREP_WINDOWS_TWIN naming the Windows build's cardprep.exe
  // (scripts/windows --test), every run runs it too, under Wine, on a copy
  // of the card made before the run: one expected to fail must fail there
  // alike (an output that cannot be created, say), with the same trace and
  // the same files left on the card.
  const char* twin = getenv("CARDPREP_WINDOWS_TWIN");
  // Not compared: another card named, or an argument Windows cannot be
  // given (its arguments are UTF-16).
  std::u16string units;
  bool compare = twin != nullptr &&
                       std::none_of(args.begin(), args.end(), [&units](const std::string& a) {
                         return a == "--card" || a == "-C" || a.rfind("--card=", 0) == 0 ||
                                !Utf8ToUtf16(a, &units);
                       });
  ScopedTempDir copy(false);
  // Nor a card with names Windows cannot hold.
  if (compare) compare = CopyCard(".", copy.path());
  run_ = RunCardprep(args);
  ASSERT_EQ(run_.status, status) << run_.err;
  out_ = Lines(run_.out, "\n");
  if (!compare) return;
  // Paths into the card name the same place in the copy.
  std::vector<std::string> argv = {"env", "-C", copy.path(), "wine", twin};
  for (const std::string& arg : args) {
    argv.push_back(arg.rfind(dir_.path(), 0) == 0 ? copy.path() + arg.substr(dir_.path().size())
                                                   : arg);
  }
  RunResult windows = RunCommand(argv);
  // cardprep.exe always ends with its summary on standard error. Ended with
  // no word at all, it never ran: Wine failed to start it (seen once, on a
  // loaded machine). It runs again, once, with Wine's own errors shown, and
  // the log says so.
  if (windows.status != 0 && windows.out.empty() && windows.err.empty()) {
    std::cout << "note: Wine ended cardprep.exe with status " << windows.status
              << " and no output; running it again\n";
    argv.insert(argv.begin() + 3, "WINEDEBUG=err+all");
    windows = RunCommand(argv);
  }
  EXPECT_EQ(windows.status, status) << windows.err;
  EXPECT_EQ(windows.out, run_.out) << "standard output of the Windows build";
  for (const char* name : kIndexFileNames) {
    const std::string there = copy.path() + "/" + name;
    ASSERT_EQ(std::filesystem::exists(there), std::filesystem::exists(name)) << name;
    // A folder standing where an output goes (a run expected to fail).
    ASSERT_EQ(std::filesystem::is_regular_file(there), std::filesystem::is_regular_file(name))
        << name;
    if (!std::filesystem::is_regular_file(name)) continue;
    EXPECT_EQ(Comparable(name, ReadBytes(there)), Comparable(name, ReadBytes(name)))
        << name << " of the Windows build";
  }
}

bool CardTest::Drawn(const uint8_t* upper, const uint8_t* lower, size_t columns,
                     const std::string& sjis, std::string* why) const {
  return LineMatchesFonts(upper, lower, columns, sjis, zenkaku_, hankaku_, why);
}
