// Planning a copy: which source file goes where on the card, under which
// name, and whether it is written, replaces an earlier copy of its own, or
// is on the card already. Every player limit is fitted here, before
// anything is written: a folder of more than 255 sounds is split into
// "NAME 1", "NAME 2"... in sorted order, names are made FAT-safe and cut to
// 64 (folders) or 128 (files) units, folder paths are kept within 123
// units by shortening the deepest names first, and a name taken on the card
// by anything but an earlier copy of the same source gets " (2)".
//
// Planning is pure: the sources come as listed (copy_sources.h), the card
// through CardView, the earlier copies through the record. Paths on the
// card are in the card's form ("\Album\Song.mp3").
#ifndef CARDPREP_COPY_COPY_PLAN_H_
#define CARDPREP_COPY_COPY_PLAN_H_

#include <functional>
#include <string>
#include <vector>

#include "copy/copy_record.h"
#include "host/file_stamp.h"

// One audio file of a source.
struct SourceFile {
  std::string host_path;  // absolute
  std::string shown;      // as messages name it
  std::u16string name;    // its name
  CopyKind kind = CopyKind::kAsIs;
  FileStamp stamp;
};

// A folder of a source with the audio files and folders below it. The
// sources of a run form one such folder, which stands for the target.
struct SourceFolder {
  std::string shown;
  std::u16string name;
  std::vector<SourceFile> files;
  std::vector<SourceFolder> folders;
};

// An entry of a folder on the card.
struct CardEntry {
  std::u16string name;
  bool folder = false;
  FileStamp stamp;  // of a file
};

// The card, as planning looks at it.
struct CardView {
  // Lists the folder at |card_path|; false when there is none.
  std::function<bool(const std::u16string& card_path, std::vector<CardEntry>* entries)> list;
  // Whether the file at |card_path|, which the record does not name, is a
  // copy of the source |wanted| describes, up to date.
  std::function<bool(const std::u16string& card_path, const Origin& wanted)> is_copy_of;
};

struct CopySettings {
  int quality = 2;
  std::u16string to;  // the target folder's card path; "" for the root
};

enum class FileAction {
  kWrite,     // a new file
  kReplace,   // replaces an earlier copy of the same source, unchanged on the card
  kUpToDate,  // the card holds it already
};

struct PlannedFile {
  const SourceFile* source = nullptr;
  std::u16string folder;  // its folder's card path
  std::u16string name;    // its name there
  FileAction action = FileAction::kWrite;
  Origin origin;          // what the record keeps of it
  bool adopted = false;   // up to date, told by its tag or bytes, not by the record
};

// A line that says what got another name than its source, for the files
// written in or below the card paths |under|: a name said once, when the
// file first goes to the card, not again on every run.
struct Renaming {
  std::vector<std::u16string> under;
  std::string line;
};

struct CopyPlan {
  std::vector<std::u16string> new_folders;  // to make, parents first
  std::vector<PlannedFile> files;           // folder by folder, in sorted order
  std::vector<Renaming> renamed;
  std::vector<std::string> left_out;        // what could not be placed, each a warning
};

// Whether |path| is |folder| or lies below it.
bool PathUnder(std::u16string_view path, std::u16string_view folder);

// The shortest a folder name is cut to so that the path of a folder below
// it stays within the player's 123 units.
constexpr size_t kMinCutFolderName = 8;

// Plans the copy of |sources| into |settings.to|.
CopyPlan PlanCopy(const SourceFolder& sources, const CopySettings& settings,
                  const CopyRecord& record, const CardView& card);

// The card path of |file|.
std::u16string PlannedPath(const PlannedFile& file);

// A card path as messages say it: "/Album/Song.mp3" on POSIX hosts and
// "\Album\Song.mp3" on Windows; the root as the separator alone.
std::string CardPathSaid(std::u16string_view card_path);

#endif  // CARDPREP_COPY_COPY_PLAN_H_
