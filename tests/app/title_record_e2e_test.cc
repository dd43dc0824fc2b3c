// The record of titles against the real binary. However the card changed
// since the last run, a run that takes titles from the record writes the
// index a run that reads every tag (--rescan) writes, byte for byte (both
// at one SOURCE_DATE_EPOCH), and leaves a record of exactly the sounds on
// the card. A file changed within 2 s before the record's time is read
// again, a dry run leaves the record alone, and a record that cannot be
// written costs a warning, never the index.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <set>

#include "card_test.h"
#include "fault_util.h"
#include "titles/title_record.h"
#include "titles/title_test_util.h"

namespace {

namespace fs = std::filesystem;

const char kRecordPath[] = "_CARDPREP/TITLES.DAT";

// A file of a few silent MPEG frames behind an ID3v2.3 tag whose title is
// |title|'s bytes, declared ISO-8859-1 (as old writers stored Shift-JIS).
void Song(const std::string& path, const std::string& title) {
  const std::string folder = fs::path(path).parent_path().string();
  if (!folder.empty()) MakeDirs(folder);
  const size_t frame = 1 + title.size();
  const size_t tag = 10 + frame;
  std::string bytes = std::string("ID3\x03\x00\x00", 6) +
                      // tag size, syncsafe (7 bits a byte)
                      char(tag >> 21 & 0x7F) + char(tag >> 14 & 0x7F) + char(tag >> 7 & 0x7F) +
                      char(tag & 0x7F) + "TIT2" + char(frame >> 24) + char(frame >> 16) +
                      char(frame >> 8) + char(frame) + std::string(2, '\0') + '\0' + title;
  for (int i = 0; i < 4; ++i) bytes += std::string("\xFF\xFB\x90\x00", 4) + std::string(413, '\0');
  WriteText(path, bytes);
}

// Sets the modification time of |path| to |seconds| ago.
void Age(const std::string& path, int seconds) {
  fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::seconds(seconds));
}

// The sounds of the card in the working folder, as "\Folder\name".
std::set<std::u16string> SoundsOnCard() {
  std::set<std::u16string> sounds;
  for (auto it = fs::recursive_directory_iterator("."); it != fs::recursive_directory_iterator();
       ++it) {
    const std::string name = it->path().filename().string();
    if (it->is_directory() && name[0] == '_') it.disable_recursion_pending();
    if (!it->is_regular_file() || it->path().extension() != ".mp3") continue;
    std::string path = it->path().string().substr(1);  // "./A/b.mp3" -> "/A/b.mp3"
    for (char& c : path) c = c == '/' ? '\\' : c;
    sounds.insert(std::u16string(path.begin(), path.end()));
  }
  return sounds;
}

TitleRecord ReadRecord() {
  TitleRecord record;
  std::string why;
  EXPECT_TRUE(DecodeTitleRecord(ReadText(kRecordPath), &record, &why)) << why;
  return record;
}

std::set<std::u16string> SoundsInRecord() {
  std::set<std::u16string> sounds;
  for (const RecordedFolder& folder : ReadRecord().folders) {
    for (const RecordedSound& sound : folder.sounds) sounds.insert(folder.path + u'\\' + sound.name);
  }
  return sounds;
}

class TitleRecordE2eTest : public CardTest {
 protected:
  // A card of 11 sounds, every file an hour old, indexed once.
  void SetUp() override {
    CardTest::SetUp();
    Song("Intro.mp3", "Intro");
    Song("Pops/01.mp3", "Pops - One");
    Song("Pops/02.mp3", "Pops - Two");
    Song("Pops/03.mp3", "Pops - Three");
    Song("Japan/a.mp3", FromHex("96e996be82af82cc89cc"));
    Song("Japan/b.mp3", FromHex("82b382ad82e7"));
    Song("Japan/c.mp3", FromHex("90ec82cc97ac82ea82cc82e682a482c9"));
    Song("Japan/d.mp3", FromHex("8fe382f08cfc82a282c495e082b182a4"));
    Song("Album/Disc 1/01.mp3", "Album - First");
    Song("Album/Disc 1/02.mp3", "Album - Second");
    Song("Album/Disc 2/01.mp3", "Album - Third");
    for (const auto& e : fs::recursive_directory_iterator(".")) {
      if (e.path().extension() == ".mp3") Age(e.path().string(), 3600);
    }
    Run();
  }

  void RunReproducibly(std::vector<std::string> args) {
    args.insert(args.begin(), CARDPREP_BINARY);
    run_ = RunWithEnv(args, {"SOURCE_DATE_EPOCH=1700000000"});
    ASSERT_EQ(run_.status, 0) << run_.err;
  }
  // Copies the card at |from| into |to|, times kept, and enters it.
  static void CopyCard(const std::string& from, const ScopedTempDir& to) {
    fs::current_path(from);
    RunProgram({"cp", "-a", ".", to.path()});
    fs::current_path(to.path());
  }
};

TEST_F(TitleRecordE2eTest, WritesWhatReadingEveryTagWritesHoweverTheCardChanged) {
  struct Case {
    const char* what;
    std::function<void()> change;
    int read;             // titles read from files; -1: no record to take them from
    const char* warning;  // about the record; "" for none
  } cases[] = {
      {"unchanged", [] {}, 0, ""},
      {"a file added", [] { Song("Pops/04.mp3", "Pops - Four"); }, 1, ""},
      {"a file deleted", [] { fs::remove("Pops/02.mp3"); }, 0, ""},
      {"a file renamed", [] { fs::rename("Pops/03.mp3", "Pops/03 Three.mp3"); }, 1, ""},
      {"a file moved to another folder",
       [] { fs::rename("Album/Disc 2/01.mp3", "Album/Disc 1/03.mp3"); }, 1, ""},
      {"retagged, a new size",  // and the folder's code page decided anew
       [] { Song("Japan/b.mp3", FromHex("97dc82bb82a482bb82a4")); }, 1, ""},
      {"retagged, the same size and a new time",
       [] {
         Song("Pops/01.mp3", "Pops - Uno");
         Age("Pops/01.mp3", 1800);
       },
       1, ""},
      {"touched", [] { fs::last_write_time("Intro.mp3", fs::file_time_type::clock::now()); }, 1,
       ""},
      {"a folder renamed", [] { fs::rename("Pops", "Popular"); }, 3, ""},
      {"the record deleted", [] { fs::remove(kRecordPath); }, -1, ""},
      {"the record damaged",
       [] {
         std::string bytes = ReadText(kRecordPath);
         bytes[bytes.size() / 2] ^= 1;
         WriteText(kRecordPath, bytes);
       },
       -1, "warning: _CARDPREP/TITLES.DAT is not used (damaged: its checksum does not match)"},
      {"a link at the record's name",
       [] {
         fs::rename(kRecordPath, "_CARDPREP/kept");
         fs::create_symlink("kept", kRecordPath);
       },
       -1, "warning: cannot read _CARDPREP/TITLES.DAT (a symbolic link or not a file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedTempDir changed(false), with_record(false), rescanned(false);
    CopyCard(dir_.path(), changed);
    c.change();
    const std::string kept = fs::exists("_CARDPREP/kept") ? ReadText("_CARDPREP/kept") : "";

    // The same time and shuffle for both: the files must be the same bytes.
    CopyCard(changed.path(), with_record);
    RunReproducibly({});
    const std::string said = run_.err;
    const Index index = ReadIndex();
    const std::set<std::u16string> on_card = SoundsOnCard();
    // The record holds the sounds on the card, no more and no fewer.
    EXPECT_EQ(SoundsInRecord(), on_card);
    // A link is replaced, never written through.
    if (!kept.empty()) {
      EXPECT_EQ(ReadText("_CARDPREP/kept"), kept);
    }

    CopyCard(changed.path(), rescanned);
    RunReproducibly({"--rescan"});
    const Index rescanned_index = ReadIndex();
    for (const auto& [name, bytes] : index) {
      EXPECT_TRUE(bytes == rescanned_index.at(name)) << name << " differs";
    }
    EXPECT_EQ(SoundsInRecord(), on_card);
    EXPECT_EQ(run_.err.find("from the record"), std::string::npos) << run_.err;

    if (c.read >= 0) {
      const std::string counted = std::to_string(on_card.size() - size_t(c.read)) +
                                  " titles from the record, " + std::to_string(c.read) + " read";
      EXPECT_NE(said.find(counted), std::string::npos) << said;
    } else {
      EXPECT_EQ(said.find("from the record"), std::string::npos) << said;
    }
    const size_t warned = said.find(std::string("TITLES.DAT"));
    if (*c.warning == '\0') {
      EXPECT_EQ(warned, std::string::npos) << said;
    } else {
      EXPECT_NE(said.find(c.warning), std::string::npos) << said;
    }
    fs::current_path(dir_.path());
  }
}

// A record whose every title is stale shows which titles a run takes from
// it: those of files older than the record by more than 2 s, never one
// changed within 2 s before it, and none with --rescan.
TEST_F(TitleRecordE2eTest, TakesOnlyTitlesOfFilesOlderThanTheRecordByMoreThanTwoSeconds) {
  TitleRecord record = ReadRecord();
  ASSERT_EQ(record.folders[0].path, u"");  // Intro.mp3
  for (RecordedFolder& folder : record.folders) {
    for (RecordedSound& sound : folder.sounds) sound.title.text = u"stale " + sound.name;
  }
  // Intro.mp3 was changed 1.5 s before the record was written, the others
  // long before.
  Age("Intro.mp3", 600);
  struct stat st;
  ASSERT_EQ(stat("Intro.mp3", &st), 0);
  FileStamp& intro = record.folders[0].sounds[0].stamp;
  intro.modified = {st.st_mtim.tv_sec, static_cast<uint32_t>(st.st_mtim.tv_nsec)};
  record.written = intro.modified;
  record.written.seconds += 1;
  record.written.nanoseconds += 500000000;
  if (record.written.nanoseconds >= 1000000000) {
    record.written.nanoseconds -= 1000000000;
    record.written.seconds += 1;
  }
  const std::string crafted = EncodeTitleRecord(record);
  WriteText(kRecordPath, crafted);
  auto listing_says = [] {
    const std::string listing = ReadText("TAGINF16.TXT");
    return std::make_pair(listing.find("stale") != std::string::npos,
                          listing.find("stale Intro") != std::string::npos);
  };

  Run({"-n"});  // takes titles from the record, but changes nothing
  EXPECT_NE(run_.err.find("10 titles from the record, 1 read"), std::string::npos) << run_.err;
  EXPECT_EQ(ReadText(kRecordPath), crafted);
  Run();
  EXPECT_NE(run_.err.find("10 titles from the record, 1 read"), std::string::npos) << run_.err;
  EXPECT_EQ(listing_says(), std::make_pair(true, false));
  Run({"--rescan"});
  EXPECT_EQ(listing_says(), std::make_pair(false, false));
  EXPECT_EQ(ReadRecord().folders[0].sounds[0].title.text, u"Intro");
}

// A card the record holds whole is re-indexed without a title reader, and
// its record is left as it is. Title readers are processes of their own,
// started only when a title must be read from its file: the --jobs asked
// for when one file is new, and the record is then written again. When
// none can start, or every one ends as it starts, the main process reads
// the titles, with a warning, and the index is the same.
TEST_F(TitleRecordE2eTest, StartsTitleReadersAndWritesTheRecordOnlyForWhatItLacks) {
  const std::string recorded = ReadText(kRecordPath);
  ScopedTempDir scratch(false);
  Fault spawns = MakeFault("spawn", "", "1000000");
  spawns.counter = scratch.path() + "/counter";
  auto started = [&spawns] {
    const std::vector<uint8_t> counted = ReadBytes(spawns.counter);
    uint64_t count = 0;
    for (int i = 7; i >= 0; --i) count = count << 8 | counted[size_t(i)];
    return count;
  };
  ResetCounter(spawns.counter);
  RunResult r = RunCardprepWith(spawns, {"-q", "--jobs", "2"});
  EXPECT_NE(r.err.find("11 titles from the record, 0 read"), std::string::npos) << r.err;
  EXPECT_EQ(started(), 0u);
  EXPECT_EQ(ReadText(kRecordPath), recorded);
  EXPECT_TRUE(AsideFiles().empty());
  EXPECT_EQ(std::distance(fs::directory_iterator("_CARDPREP"), fs::directory_iterator()), 1);

  Song("New/x.mp3", "New");
  Age("New/x.mp3", 3600);
  ResetCounter(spawns.counter);
  r = RunCardprepWith(spawns, {"-q", "--jobs", "2"});
  EXPECT_NE(r.err.find("11 titles from the record, 1 read"), std::string::npos) << r.err;
  EXPECT_EQ(started(), 2u);
  EXPECT_EQ(SoundsInRecord(), SoundsOnCard());
  const Index read_by_workers = ReadIndex();

  r = RunCardprepWith(MakeFault("spawn", "", "1+", EAGAIN), {"-q", "--rescan"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("warning: cannot start title readers ("), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("summary: 12 sounds in 6 folders indexed; titles"), std::string::npos)
      << r.err;
  std::string why;
  EXPECT_TRUE(SameIndex(ReadIndex(), read_by_workers, &why)) << why;

  // Readers that end as they start, every time, are started three times
  // each and then given up on: the main process reads the titles.
  Fault dying = MakeFault("worker", "", "1+");
  dying.counter = spawns.counter;
  ResetCounter(dying.counter);
  r = RunCardprepWith(dying, {"-q", "--rescan", "--jobs", "2"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("warning: the title readers end as soon as they start: reading titles "
                       "in the main process\n"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(started(), 6u);
  EXPECT_TRUE(SameIndex(ReadIndex(), read_by_workers, &why)) << why;
}

// A record that cannot be written is a warning: the index lands, and no
// record is left that may name sounds the card no longer has.
TEST_F(TitleRecordE2eTest, ARecordThatCannotBeWrittenCostsAWarningOnly) {
  fs::remove("Pops/02.mp3");
  for (const char* calls : {"create", "write", "fsync", "rename"}) {
    SCOPED_TRACE(calls);
    ScopedTempDir copy(false);
    CopyCard(dir_.path(), copy);
    const RunResult r = RunCardprepWith(MakeFault(calls, "TITLES.DAT"), {"-q"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("warning: cannot write _CARDPREP/TITLES.DAT: Input/output error"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2) << r.err;  // and the summary
    EXPECT_EQ(ReadIndex().at("SNDLST16.DAT").size(), 10u * 1120);  // the new index
    EXPECT_FALSE(fs::exists(kRecordPath));
    EXPECT_EQ(std::distance(fs::directory_iterator("_CARDPREP"), fs::directory_iterator()), 0);
    fs::current_path(dir_.path());
  }
}

}  // namespace

namespace {

// Titles taken from the record are cleaned exactly as titles read from
// tags: a record that holds line breaks or a NUL in a title lists what a
// tag holding that title lists, and no line of its own.
TEST_F(TitleRecordE2eTest, TitlesFromTheRecordAreCleanedAsTitlesReadFromTags) {
  const std::u16string injected = u"A\r\n[FAKE.mp3][Injected]\r\nB\x01" u"C\x7F";
  TitleRecord record = ReadRecord();
  for (RecordedFolder& folder : record.folders) {
    if (folder.path != u"\\Pops") continue;
    folder.sounds[0].title.text = injected;                       // 01.mp3
    folder.sounds[1].title.text = std::u16string(u"Two\0Gone", 8);  // 02.mp3
  }
  ScopedTempDir tagged(false);
  CopyCard(dir_.path(), tagged);
  Song("Pops/01.mp3", "A\r\n[FAKE.mp3][Injected]\r\nB\x01" "C\x7F");
  Song("Pops/02.mp3", "Two");
  Run({"--rescan"});
  const std::string from_tags = ReadText("TAGINF16.TXT");

  fs::current_path(dir_.path());
  WriteText(kRecordPath, EncodeTitleRecord(record));
  Run();
  EXPECT_NE(run_.err.find("11 titles from the record, 0 read"), std::string::npos) << run_.err;
  const std::string listing = ReadText("TAGINF16.TXT");
  EXPECT_EQ(listing, from_tags);
  EXPECT_EQ(listing.find("\r\n[FAKE.mp3]"), std::string::npos) << listing;
  EXPECT_NE(listing.find("[" + Padded("A  [FAKE.mp3][Injected]  B C ") + "]"), std::string::npos)
      << listing;
  EXPECT_NE(listing.find("[" + Padded("Two") + "]"), std::string::npos) << listing;
}

// A record whose time lies after its own file's time or after now, beyond
// the 2 s of file times, would vouch for files changed after it: it is not
// used (one warning), every tag is read, and the record is written anew.
// (Where within the granularity a time still counts is
// TitleRecordTest.TrustsTheRecordsTimeOnlyWhenNoLaterThanItsFileAndNow's.)
TEST_F(TitleRecordE2eTest, ARecordWhoseTimeLiesLaterThanItCanIsNotTrusted) {
  struct Case {
    const char* what;
    int written_ago;  // seconds before now: the record's time
    int file_ago;     // and its file's modification time
    const char* warning;
  } cases[] = {
      {"its own file older than its time", 60, 3600,
       "warning: _CARDPREP/TITLES.DAT is not used (its time lies after the time its own file "
       "was written): every title is read from its file"},
      {"its time in the future", -3600, -7200,
       "warning: _CARDPREP/TITLES.DAT is not used (its time lies in the future): every title "
       "is read from its file"},
  };
  const TitleRecord earlier = ReadRecord();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedTempDir copy(false);
    CopyCard(dir_.path(), copy);
    TitleRecord record = earlier;
    for (RecordedFolder& folder : record.folders) {
      for (RecordedSound& sound : folder.sounds) sound.title.text = u"stale " + sound.name;
    }
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    record.written.seconds =
        std::chrono::duration_cast<std::chrono::seconds>(now).count() - c.written_ago;
    record.written.nanoseconds = 0;
    WriteText(kRecordPath, EncodeTitleRecord(record));
    Age(kRecordPath, c.file_ago);
    Run();
    const std::string listing = ReadText("TAGINF16.TXT");
    EXPECT_NE(run_.err.find(c.warning), std::string::npos) << run_.err;
    EXPECT_EQ(run_.err.find("from the record"), std::string::npos) << run_.err;
    EXPECT_EQ(listing.find("stale"), std::string::npos) << listing;
    const TitleRecord rewritten = ReadRecord();
    EXPECT_LT(rewritten.written.seconds,
              std::chrono::duration_cast<std::chrono::seconds>(now).count() + 10);
    EXPECT_EQ(SoundsInRecord(), SoundsOnCard());
    Run();  // trusted again
    EXPECT_NE(run_.err.find("11 titles from the record, 0 read"), std::string::npos) << run_.err;
    fs::current_path(dir_.path());
  }
}

// A file whose title could not be read is not recorded: the next run reads
// it again, and lists its title.
TEST_F(TitleRecordE2eTest, ATitleThatCouldNotBeReadIsReadAgainNextRun) {
  Song("Pops/02.mp3", "Pops - Zwei");
  Age("Pops/02.mp3", 600);
  RunResult r = RunCardprepWith(MakeFault("read,pread", "02.mp3", "1+"), {"-q"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("warning: cannot read Pops/02.mp3"), std::string::npos) << r.err;
  EXPECT_EQ(ReadText("TAGINF16.TXT").find("Zwei"), std::string::npos);
  Run();
  EXPECT_NE(run_.err.find("10 titles from the record, 1 read"), std::string::npos) << run_.err;
  // The listing leaves out what the folder's titles begin with alike.
  EXPECT_NE(ReadText("TAGINF16.TXT").find("][" + Padded("Zwei") + "]"), std::string::npos)
      << ReadText("TAGINF16.TXT");
}

}  // namespace
