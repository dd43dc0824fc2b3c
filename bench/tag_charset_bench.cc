// Measures what reading titles stored in an old code page
// (catalog/tag_charset) costs on a card's titles. (How well the decision
// does on the title tables is in the tests' output: TagCharsetTest.)
//
//   tag_charset_bench --manifest FILE   a manifest bench/make_card wrote
//
// It rebuilds the titles the tag reader gives for each file of the
// card (Latin-1 text as one unit per byte, flagged; ID3v1-only files from
// their stored bytes) and times RecodeFolderTitles(auto) over all folders:
// minimum and average of 5 runs, what was decided, and how many titles do
// not read as the manifest says (an ID3v1 title of Shift-JIS bytes must
// give the start of the manifest's title, every other title stays as read).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "text/utf.h"
#include "titles/tag_charset.h"
#include "text/cp932.h"
#include "titles/tag_search.h"

namespace {

std::string FromHex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<char>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

bool HasHighByte(const std::string& bytes) {
  return std::any_of(bytes.begin(), bytes.end(),
                     [](char c) { return static_cast<uint8_t>(c) >= 0x80; });
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  std::string field;
  while (std::getline(in, field, '\t')) fields.push_back(field);
  return fields;
}

struct CardFolder {
  std::vector<std::u16string> texts;
  std::vector<bool> latin1;
  // What the title should read as afterwards: the manifest's title for an
  // ID3v1 title of Shift-JIS bytes (cut at 30 bytes, so compared as a
  // prefix), the title as read for everything else.
  std::vector<std::u16string> expected;
  std::vector<bool> prefix;
};

int Manifest(const std::string& path) {
  std::ifstream in(path);
  if (!in) {
    fprintf(stderr, "tag_charset_bench: cannot read %s\n", path.c_str());
    return 1;
  }
  std::map<std::string, CardFolder> folders;
  std::string line;
  std::getline(in, line);  // the header
  size_t titles = 0;
  while (std::getline(in, line)) {
    // path, kind, encoding, art, title, v1_title_hex
    const std::vector<std::string> f = SplitTabs(line);
    if (f.size() < 5 || f[1] == "none") continue;
    std::u16string text;
    bool latin1 = true;
    std::u16string expected;
    bool prefix = false;
    if (f[1] == "v1") {
      const std::string bytes = FromHex(f.size() > 5 ? f[5] : "");
      for (char c : bytes) text.push_back(static_cast<char16_t>(static_cast<uint8_t>(c)));
      expected = text;
      prefix = HasHighByte(bytes);
      if (prefix && !Utf8ToUtf16(f[4], &expected)) continue;
    } else {
      if (!Utf8ToUtf16(f[4], &text)) continue;
      latin1 = f[2] == "latin1";
      expected = text;
    }
    if (text.size() > static_cast<size_t>(kMaxTitleLength)) text.resize(kMaxTitleLength);
    const size_t slash = f[0].rfind('/');
    CardFolder& folder = folders[slash == std::string::npos ? "" : f[0].substr(0, slash)];
    folder.texts.push_back(std::move(text));
    folder.latin1.push_back(latin1);
    folder.expected.push_back(std::move(expected));
    folder.prefix.push_back(prefix);
    ++titles;
  }

  constexpr int kRuns = 5;
  size_t wrong = 0;
  double first_ms = 0, min_ms = 1e300, sum_ms = 0;
  // The decoders, opened as a run opens them: before the timing.
  CodePageDecoders decoders;
  std::string why;
  for (size_t i = 0; i < kCodePageCount; ++i) {
    if (!OpenCodePageDecoder(static_cast<CodePage>(i), &decoders, &why) ||
        !OpenCodePageDetector(&decoders, &why)) {
      fprintf(stderr, "tag_charset_bench: %s\n", why.c_str());
      return 1;
    }
  }
  uint32_t folders_read[kCodePageCount] = {};
  uint32_t titles_read[kCodePageCount] = {};
  uint32_t windows1252_titles = 0;
  for (int run = 0; run < kRuns; ++run) {
    std::vector<std::vector<Title>> views;
    for (const auto& [name, folder] : folders) {
      std::vector<Title> view(folder.texts.size());
      for (size_t i = 0; i < folder.texts.size(); ++i) {
        view[i].found = true;
        view[i].text = folder.texts[i];
        view[i].latin1 = folder.latin1[i];
      }
      views.push_back(std::move(view));
    }
    std::fill(std::begin(folders_read), std::end(folders_read), 0);
    std::fill(std::begin(titles_read), std::end(titles_read), 0);
    windows1252_titles = 0;
    const auto start = std::chrono::steady_clock::now();
    for (std::vector<Title>& view : views) {
      const TagCharsetDecision d = RecodeFolderTitles(TagCharset(), &decoders, &view);
      folders_read[static_cast<size_t>(d.page)] += d.recoded_titles > 0;
      titles_read[static_cast<size_t>(d.page)] += d.recoded_titles;
      windows1252_titles += d.windows1252_titles;
    }
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    wrong = 0;
    size_t v = 0;
    for (const auto& [name, folder] : folders) {
      const std::vector<Title>& view = views[v++];
      for (size_t i = 0; i < folder.texts.size(); ++i) {
        const std::u16string& got = view[i].text;
        const std::u16string& want = folder.expected[i];
        wrong += folder.prefix[i] ? want.compare(0, got.size(), got) != 0 || got.empty()
                                  : want != got;
      }
    }
    if (run == 0) first_ms = ms;  // the converter's tables and the detector still cold
    min_ms = std::min(min_ms, ms);
    sum_ms += ms;
  }
  printf("RecodeFolderTitles(auto) on %zu titles in %zu folders: min %.3f ms, average %.3f ms "
         "of %d runs, first %.3f ms\n", titles, folders.size(), min_ms, sum_ms / kRuns, kRuns,
         first_ms);
  for (size_t i = 1; i < kCodePageCount; ++i) {
    if (folders_read[i] == 0) continue;
    printf("  %u folders read as %s, %u titles\n", folders_read[i],
           CodePageName(static_cast<CodePage>(i)), titles_read[i]);
  }
  printf("  %u titles read as Windows-1252; %zu titles not as the manifest says\n",
         windows1252_titles, wrong);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  OpenCp932();
  if (argc == 3 && std::string(argv[1]) == "--manifest") return Manifest(argv[2]);
  fprintf(stderr, "usage: tag_charset_bench --manifest FILE\n");
  return 2;
}
