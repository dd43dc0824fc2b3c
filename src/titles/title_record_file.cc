#include "titles/title_record_file.h"

#include <string>
#include <utility>
#include <vector>

#include "host/console.h"
#include "host/folder.h"
#include "text/card_path.h"

namespace {

constexpr char kRecordFileName[] = "TITLES.DAT";
constexpr char kNoRecordNote[] = "the next run reads every title from its file";

std::string RecordFolder() { return HostPath(kTitleRecordFolder); }
std::string RecordPath() { return HostPath(kTitleRecordPath); }

// Removes the record a run could not replace: it may hold sounds no longer
// on the card. Only after its folder was found to be a real one.
void DropOldRecord() {
  std::string why;
  (void)RemoveFile(RecordPath(), &why);
}

}  // namespace

bool LoadTitleRecord(TitleRecord* record) {
  *record = TitleRecord();
  std::string bytes, why;
  bool missing = false;
  FileTime modified;
  if (!ReadFileNoFollow(RecordPath(), kMaxTitleRecordSize, &bytes, &why, &missing, &modified)) {
    if (!missing) {
      Warn("cannot read %s (%s): every title is read from its file",
           ShownPath(kTitleRecordPath).c_str(), why.c_str());
    }
    return false;
  }
  if (!DecodeTitleRecord(bytes, record, &why) ||
      !RecordTimeTrusted(*record, modified, FileTimeNow(), &why)) {
    Warn("%s is not used (%s): every title is read from its file",
         ShownPath(kTitleRecordPath).c_str(), why.c_str());
    *record = TitleRecord();
    return false;
  }
  return true;
}

void TidyTitleRecord() {
  // Moves the card's |path| aside as "PATH.|tag|-PID" when |stands_in_way|
  // says what stands there would.
  auto tidy = [](std::u16string_view path, const char* tag, bool (*stands_in_way)(NodeKind)) {
    const std::string host = HostPath(path);
    NodeKind kind = NodeKind::kMissing;
    std::string why, moved_to;
    if (!KindAt(host, &kind, &why) || !stands_in_way(kind)) return;
    const std::string shown = ShownPath(path);
    if (!MoveAside(host, tag, &moved_to, &why)) {
      Warn("cannot move %s aside (%s), which is %s: %s", shown.c_str(), why.c_str(),
           NodeKindName(kind), kNoRecordNote);
      return;
    }
    SayMovedAside(shown, NodeKindName(kind), shown + moved_to.substr(host.size()));
  };
  tidy(kTitleRecordFolder, "not-a-folder",
       [](NodeKind kind) { return kind != NodeKind::kMissing && kind != NodeKind::kFolder; });
  tidy(kTitleRecordPath, "not-a-record",
       [](NodeKind kind) { return kind == NodeKind::kFolder || kind == NodeKind::kDevice; });
}

bool OpenTitleRecord(TitleRecordOutput* out) {
  const std::string shown = ShownPath(kTitleRecordPath);
  std::string why;
  out->made_folder = KindOfPath(RecordFolder()) == PathKind::kMissing;
  if (!MakeFolderNoFollow(RecordFolder(), &why)) {
    Warn("cannot write %s: %s is %s; %s", shown.c_str(), ShownPath(kTitleRecordFolder).c_str(),
         why.c_str(), kNoRecordNote);
    return false;
  }
  (void)RemoveLeftovers(RecordFolder(), {kRecordFileName});  // of runs killed while they wrote it
  FileStamp created;
  if (!OpenAside(RecordPath(), shown, &out->file, &why) ||
      !StampOpenFile(out->file.fd, &created, &why)) {
    Warn("cannot write %s: %s; %s", shown.c_str(), why.c_str(), kNoRecordNote);
    DiscardAside(&out->file);
    DropOldRecord();
    return false;
  }
  out->file.failure_note = kNoRecordNote;
  out->written = created.modified;
  return true;
}

void WriteTitleRecord(TitleRecord record, TitleRecordOutput* out) {
  if (!IsOpen(out->file)) return;
  record.written = out->written;
  record.granularity_ns = kFileTimeGranularityNs;
  const std::string bytes = EncodeTitleRecord(record);
  WriteBytes(&out->file, bytes.data(), bytes.size());
  std::string why;
  if (!FinishAside(&out->file) || !ReplaceWithAside(&out->file)) {
    DiscardAside(&out->file);
    DropOldRecord();
    return;
  }
  if (!SyncFolder(RecordFolder(), &why)) {
    Warn("cannot force %s to the card: %s", ShownPath(kTitleRecordPath).c_str(), why.c_str());
  }
}

void KeepTitleRecord(TitleRecordOutput* out) { DiscardAside(&out->file); }

void DropTitleRecord(TitleRecordOutput* out) {
  {
    // Closed before it is removed: Windows removes an open file, and so
    // lets go of its folder, only once it is closed.
    const OutFile closing = std::move(out->file);
  }
  std::string why;
  if (out->made_folder) (void)RemoveEmptyFolder(RecordFolder(), &why);
  out->made_folder = false;
}
