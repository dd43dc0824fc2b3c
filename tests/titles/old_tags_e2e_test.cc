// Titles old tag writers stored in a code page, read end to end: real tag
// bytes in ID3v1 and ID3v2.2/2.3/2.4 text declared ISO-8859-1, a run of the
// real binary, the listing read back.
#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <regex>

#include "card_test.h"
#include "e2e_util.h"
#include "test_util.h"
#include "titles/title_test_util.h"

namespace {

namespace fs = std::filesystem;

// The rows of a title table; a "/" in a folder name (which no host name
// can hold) becomes "-".
std::vector<TableTitle> ReadTable(const std::string& file) {
  std::vector<TableTitle> rows = ReadTitleTable(file);
  for (TableTitle& row : rows) std::replace(row.folder.begin(), row.folder.end(), '/', '-');
  return rows;
}

// The Shift-JIS characters of |bytes|, one string each.
std::vector<std::string> SjisCharacters(const std::string& bytes) {
  std::vector<std::string> chars;
  for (size_t i = 0; i < bytes.size();) {
    const auto b = static_cast<uint8_t>(bytes[i]);
    const size_t n = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC) ? 2 : 1;
    chars.push_back(bytes.substr(i, n));
    i += n;
  }
  return chars;
}

class OldTagsTest : public CardTest {
 protected:
  // Writes one file per row, in the given folder, cycling through the four
  // tag forms (ID3v1 only where the title fits its 30 bytes).
  std::vector<std::string> WriteCard(const std::vector<TableTitle>& rows) {
    std::string batch;
    std::vector<std::string> files;
    const char* forms[] = {"v2.3", "v2.2", "v2.4", "v1"};
    for (size_t i = 0; i < rows.size(); ++i) {
      MakeDirs(rows[i].folder);
      char name[32];
      snprintf(name, sizeof name, "/%03zu.mp3", i);
      files.push_back(rows[i].folder + name);
      WriteSilentMp3(files.back());
      std::string form = forms[i % 4];
      if (form == "v1" && rows[i].bytes.size() > 30) form = "v2.3";
      std::string hex;
      for (const char c : rows[i].bytes) {
        char two[3];
        snprintf(two, sizeof two, "%02x", static_cast<uint8_t>(c));
        hex += two;
      }
      batch += files.back() + "\t" + form + "\thex\t" + hex + "\n";
    }
    WriteText("batch.txt", batch);
    EXPECT_EQ(RunProgram({"sh", "-c",
                          "/usr/bin/python3 " CARDPREP_TEST_DATA_DIR "/old_tags.py --batch "
                          "< batch.txt"}),
              0);
    fs::remove("batch.txt");
    return files;
  }

  // The listing's title field of every sound, by its name field.
  std::map<std::string, std::string> ListedTitles() {
    std::map<std::string, std::string> titles;
    for (const std::string& line : Lines(ReadText("TAGINF16.TXT"), "\r\n")) {
      if (line.size() == 2 * 50) titles[line.substr(1, 48)] = line.substr(51, 48);
    }
    return titles;
  }
};

// Every Japanese title of the table, in albums and in single-title folders,
// is listed as the title it is: the listing shows each from where the
// titles of its folder start to differ, cut at 48 bytes.
TEST_F(OldTagsTest, JapaneseTitlesStoredAsLatin1AreReadAsShiftJis) {
  const std::vector<TableTitle> rows = ReadTable("tag_titles_ja.tsv");
  ASSERT_GE(rows.size(), 150u);
  const std::vector<std::string> files = WriteCard(rows);
  Run();
  const std::map<std::string, std::string> listed = ListedTitles();
  std::map<std::string, std::vector<size_t>> folders;
  for (size_t i = 0; i < rows.size(); ++i) folders[rows[i].folder].push_back(i);
  size_t checked = 0;
  for (const auto& [folder, members] : folders) {
    // Where the folder's titles start to differ from the first one.
    std::vector<std::vector<std::string>> chars;
    size_t shortest = SIZE_MAX;
    for (size_t i : members) {
      chars.push_back(SjisCharacters(rows[i].bytes));
      shortest = std::min(shortest, chars.back().size());
    }
    size_t skip = 0;
    bool differ = false;
    for (size_t pos = 0; pos < shortest && !differ; ++pos) {
      for (const auto& c : chars) {
        if (c[pos] != chars[0][pos]) differ = true;
      }
      if (differ) skip = pos;
    }
    for (size_t m = 0; m < members.size(); ++m) {
      const size_t i = members[m];
      SCOPED_TRACE(files[i] + " " + rows[i].title);
      // Microsoft's table stores the characters of the NEC-selected rows
      // (lead bytes 0xED, 0xEE) by their codes in the IBM rows.
      const std::map<std::string, std::string> ibm_codes = {{"\xED\x95", "\xFA\xB1"},
                                                            {"\xEE\xE0", "\xFB\xFC"}};
      std::string want;
      for (size_t c = skip; c < chars[m].size() && want.size() + chars[m][c].size() <= 48; ++c) {
        const auto ibm = ibm_codes.find(chars[m][c]);
        want += ibm != ibm_codes.end() ? ibm->second : chars[m][c];
      }
      const std::string name = files[i].substr(files[i].rfind('/') + 1);
      ASSERT_EQ(listed.count(Padded(name)), 1u);
      EXPECT_EQ(listed.at(Padded(name)), Padded(want));
      ++checked;
    }
  }
  EXPECT_EQ(checked, rows.size());
  EXPECT_EQ(ReadText("TAGINF16.TXT").find("cannot convert"), std::string::npos);
  // Titles of ASCII alone read the same either way and are not counted.
  const auto high = std::count_if(rows.begin(), rows.end(), [](const TableTitle& r) {
    return std::any_of(r.bytes.begin(), r.bytes.end(), [](char c) { return c & 0x80; });
  });
  // A code page no title was read in is left out of the summary.
  const std::string summary = Lines(run_.err, "\n").back();
  EXPECT_NE(summary.find("; titles stored as Latin-1 read as Shift-JIS: " + std::to_string(high)),
            std::string::npos)
      << summary;
  EXPECT_EQ(summary.find(": 0"), std::string::npos) << summary;
  EXPECT_NE(run_.err.find("note: J-POP名曲集: 31 titles stored as Latin-1 read as Shift-JIS"),
            std::string::npos)
      << run_.err;
}

// Titles in the code pages of Korea, China, Taiwan, Russia and Greece:
// every album is read in its code page and listed as code page 932 shows
// it (Hangul in Revised Romanization, Greek accents and ς by their
// look-alikes), letter for
// letter; a folder of one title is listed
// so, as stored, or with a romanized syllable for each character but ASCII
// (read as Korean when it could be); nothing is read as Shift-JIS.
TEST_F(OldTagsTest, TitlesInOtherCodePagesAreListedAsCodePage932ShowsThem) {
  const struct {
    const char* file;
    const char* page;
  } tables[] = {{"tag_titles_ko.tsv", "EUC-KR"}, {"tag_titles_zh_cn.tsv", "GBK"},
                {"tag_titles_zh_tw.tsv", "Big5"}, {"tag_titles_ru.tsv", "Windows-1251"},
                {"tag_titles_el.tsv", "Windows-1253"},
                {"tag_titles_el_accented.tsv", "Windows-1253"}};
  std::vector<TableTitle> rows;
  // Per folder: its titles, those with a byte >= 0x80, its code page.
  struct Folder {
    size_t titles = 0, high = 0;
    std::string page;
  };
  std::map<std::string, Folder> folders;
  for (const auto& table : tables) {
    const std::string file = table.file;
    const std::string top = file.substr(11, file.size() - 15);  // "ko", "zh_cn"
    for (TableTitle row : ReadTable(file)) {
      row.folder = top + "/" + row.folder;
      Folder& folder = folders[row.folder];
      ++folder.titles;
      folder.high += std::any_of(row.bytes.begin(), row.bytes.end(), [](char c) { return c & 0x80; });
      folder.page = table.page;
      rows.push_back(row);
    }
  }
  const std::vector<std::string> files = WriteCard(rows);
  Run({"--tag-charset", "latin1"});
  const std::map<std::string, std::string> as_stored = ListedTitles();
  Run();
  const std::map<std::string, std::string> listed = ListedTitles();
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(files[i] + " " + rows[i].title);
    const std::string name = Padded(files[i].substr(files[i].rfind('/') + 1));
    ASSERT_EQ(listed.count(name), 1u);
    if (folders[rows[i].folder].titles > 1) {
      EXPECT_EQ(listed.at(name), Padded(rows[i].shown));
      continue;
    }
    // Read as Korean: each UTF-8 character but ASCII a romanized syllable
    // (or "?"), then the field's spaces.
    std::string korean;
    for (char c : rows[i].title) {
      if ((c & 0x80) == 0) {
        korean += std::string(isalnum(static_cast<unsigned char>(c)) ? "" : "\\") + c;
      }
      if ((c & 0xC0) == 0xC0) korean += "([a-z]+|\\?)";
    }
    const std::string& got = listed.at(name);
    if (got != Padded(rows[i].shown) && !std::regex_match(got, std::regex(korean + " *"))) {
      EXPECT_EQ(got, as_stored.at(name));
    }
  }
  for (const auto& [path, folder] : folders) {
    if (folder.titles == 1) continue;
    const std::string note = "note: " + path + ": " + std::to_string(folder.high) +
                             " titles stored as Latin-1 read as " + folder.page + " (";
    EXPECT_NE(run_.err.find(note), std::string::npos) << note << "\n" << run_.err;
  }
  EXPECT_EQ(run_.err.find("Shift-JIS: "), run_.err.find("Shift-JIS: 0,")) << run_.err;
  EXPECT_EQ(run_.err.find("read as Shift-JIS ("), std::string::npos) << run_.err;
}

// Titles whose writers ended them with terminators, read as one more, empty
// string after the title ("夜明けの歌\0\0"): every tag form lists the title,
// read as Shift-JIS. A record of titles of the format's version 1, which
// kept that empty string as the title, is not taken: the tags are read.
TEST_F(OldTagsTest, TitlesEndedByTerminatorsKeepTheirTitle) {
  const std::string titles[] = {
      FromHex("96e996be82af82cc89cc"),                          // 夜明けの歌
      FromHex("8ca98fe382b082c482b282e782f196e982cc90af82f0"),  // 見上げてごらん夜の星を
      FromHex("8fe382f08cfc82a282c495e082b182a4"),              // 上を向いて歩こう
      FromHex("90ec82cc97ac82ea82cc82e682a482c9")};             // 川の流れのように
  std::vector<TableTitle> rows;
  for (const std::string& title : titles) {
    rows.push_back({"Terminated", title + std::string(2, '\0'), ""});
  }
  const std::vector<std::string> files = WriteCard(rows);  // v2.3, v2.2, v2.4, v1
  auto expect_titles = [&] {
    const std::map<std::string, std::string> listed = ListedTitles();
    for (size_t i = 0; i < files.size(); ++i) {
      SCOPED_TRACE(files[i]);
      const std::string name = Padded(files[i].substr(files[i].rfind('/') + 1));
      ASSERT_EQ(listed.count(name), 1u);
      EXPECT_EQ(listed.at(name), Padded(titles[i]));
    }
  };
  Run();
  expect_titles();
  EXPECT_NE(run_.err.find("read as Shift-JIS: 4"), std::string::npos) << run_.err;

  // The record as version 1 wrote it: its version, and its checksum (of
  // bytes 0-39 and the body after the 44-byte header) made anew.
  std::string record = ReadText("_CARDPREP/TITLES.DAT");
  ASSERT_GT(record.size(), 44u);
  ASSERT_EQ(record.substr(0, 12), std::string("CPTITLES\2\0\0\0", 12));
  record[8] = 1;
  const auto* bytes = reinterpret_cast<const Bytef*>(record.data());
  uLong crc = crc32(0L, bytes, 40);
  crc = crc32(crc, bytes + 44, static_cast<uInt>(record.size() - 44));
  for (int i = 0; i < 4; ++i) record[40 + size_t(i)] = static_cast<char>(crc >> (8 * i));
  WriteText("_CARDPREP/TITLES.DAT", record);
  Run();
  expect_titles();
  EXPECT_NE(run_.err.find("warning: _CARDPREP/TITLES.DAT is not used (written in version 1 of "
                          "the format, not 2)"),
            std::string::npos)
      << run_.err;
  EXPECT_EQ(run_.err.find("from the record"), std::string::npos) << run_.err;
}

// The record of titles keeps each title as stored, never as a run read it:
// a run that takes its titles from the record decides each folder's code
// page afresh, and lists and notes them as a run reading every tag does,
// whichever --tag-charset the run that wrote the record had.
TEST_F(OldTagsTest, TitlesFromTheRecordAreReadInTheirCodePageAfresh) {
  std::vector<TableTitle> rows;
  for (const char* table : {"tag_titles_ja.tsv", "tag_titles_ko.tsv", "tag_titles_ru.tsv"}) {
    const std::vector<TableTitle> all = ReadTable(table);
    for (const TableTitle& row : all) {
      if (row.folder == all[0].folder) rows.push_back(row);
    }
  }
  for (const std::string& file : WriteCard(rows)) {
    // Older than the record by far: it vouches for every file.
    fs::last_write_time(file, fs::file_time_type::clock::now() - std::chrono::hours(1));
  }
  // What a run says of the titles it read: its notes, and the summary's
  // count by code page.
  auto said = [this] {
    std::string notes;
    for (const std::string& line : Lines(run_.err, "\n")) {
      if (line.rfind("note: ", 0) == 0) notes += line + "\n";
      const size_t read_as = line.find("titles stored as Latin-1 read as");
      if (line.rfind("summary: ", 0) == 0 && read_as != std::string::npos) {
        notes += line.substr(read_as) + "\n";
      }
    }
    return notes;
  };
  const std::string all = std::to_string(rows.size());
  struct Listed {
    std::map<std::string, std::string> titles;
    std::string said;
  } read[2];
  const std::vector<std::string> charsets[] = {{}, {"--tag-charset", "latin1"}};
  for (size_t i = 0; i < 2; ++i) {
    std::vector<std::string> args = charsets[i];
    args.push_back("--rescan");
    Run(args);
    EXPECT_EQ(run_.err.find("from the record"), std::string::npos) << run_.err;
    read[i] = {ListedTitles(), said()};
  }
  ASSERT_EQ(read[0].titles.size(), rows.size());
  EXPECT_NE(read[0].titles, read[1].titles) << "the titles are read in their code pages";
  EXPECT_NE(read[0].said.find("read as Shift-JIS"), std::string::npos) << read[0].said;
  EXPECT_NE(read[0].said.find("read as EUC-KR"), std::string::npos) << read[0].said;
  EXPECT_NE(read[0].said.find("read as Windows-1251"), std::string::npos) << read[0].said;
  // Each from a record the other setting wrote (a run that reads no tag
  // leaves the record as it is).
  for (size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(i == 0 ? "auto" : "latin1");
    std::vector<std::string> other = charsets[1 - i];
    other.push_back("--rescan");
    Run(other);
    Run(charsets[i]);
    EXPECT_NE(run_.err.find(all + " titles from the record, 0 read"), std::string::npos)
        << run_.err;
    EXPECT_EQ(ListedTitles(), read[i].titles);
    EXPECT_EQ(said(), read[i].said);
  }
}

// A code page whose converter cannot be opened (here the system's
// conversion modules name one that does not exist): under auto its
// titles stay as stored, never read as Shift-JIS, with a warning. (Asked
// for by name, it is an error: FaultTest.FontsOrAConverterThatCannotBeHad.)
TEST_F(OldTagsTest, AConverterThatCannotBeOpenedIsSaid) {
  std::vector<TableTitle> album;
  for (const TableTitle& row : ReadTable("tag_titles_ko.tsv")) {
    if (album.empty() || row.folder == album[0].folder) album.push_back(row);
  }
  ASSERT_GE(album.size(), 8u);
  WriteCard(album);
  Run({"--tag-charset", "latin1"});
  const std::map<std::string, std::string> as_stored = ListedTitles();
  MakeDirs("gconv");
  WriteText("gconv/gconv-modules", "alias CP949// NOSUCH//\n");
  const std::string env = "GCONV_PATH=" + fs::absolute("gconv").string();
  run_ = RunCommand({"env", env, CARDPREP_BINARY});
  EXPECT_EQ(run_.status, 0) << run_.err;
  EXPECT_NE(run_.err.find("warning: cannot open the converter from CP949 ("), std::string::npos)
      << run_.err;
  EXPECT_EQ(run_.err.find("note: "), std::string::npos) << run_.err;
  EXPECT_EQ(ListedTitles(), as_stored);
}

}  // namespace
