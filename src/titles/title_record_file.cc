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
  if (!ReadFileNoFollow(RecordPath(), kMaxTitleRecordSize, &bytes, &why, &missing)) {
    if (!missing) {
      Warn("cannot read %s (%s): every title is read from its file",
           ShownPath(kTitleRecordPath).c_str(), why.c_str());
    }
    return false;
  }
  if (!DecodeTitleRecord(bytes, record, &why)) {
    Warn("%s is not used (%s): every title is read from its file",
         ShownPath(kTitleRecordPath).c_str(), why.c_str());
    return false;
  }
  return true;
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
