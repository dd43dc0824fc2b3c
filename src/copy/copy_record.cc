#include "copy/copy_record.h"

#include <zlib.h>

#include "bytes/byte_order.h"
#include "host/console.h"
#include "host/file.h"
#include "host/folder.h"
#include "text/card_path.h"

namespace {

constexpr uint8_t kOriginFormat = 1;
constexpr uint32_t kNanosecondsPerSecond = 1000000000;
// The fewest bytes a file takes in the body: an empty path, an origin of
// no path, the card's size and time.
constexpr size_t kMinFileBytes = 4 + 4 + kOriginPath + 8 + 8 + 4;

std::string_view FileName(std::string_view path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

uint32_t Checksum(std::string_view header, std::string_view body) {
  uLong crc = crc32(0, nullptr, 0);
  crc = crc32(crc, Bytes(header.data()), static_cast<uInt>(header.size()));
  // zlib takes at most 4 GiB at a time; the body is bounded far below.
  crc = crc32(crc, Bytes(body.data()), static_cast<uInt>(body.size()));
  return static_cast<uint32_t>(crc);
}

}  // namespace

std::string EncodeOrigin(const Origin& origin) {
  std::string bytes(kOriginPath, '\0');
  auto* p = reinterpret_cast<uint8_t*>(&bytes[0]);
  p[kOriginVersion] = kOriginFormat;
  p[kOriginKind] = static_cast<uint8_t>(origin.kind);
  p[kOriginQuality] = origin.quality;
  PutLe64(p + kOriginSize, origin.stamp.size);
  PutLe64(p + kOriginSeconds, static_cast<uint64_t>(origin.stamp.modified.seconds));
  PutLe32(p + kOriginNanoseconds, origin.stamp.modified.nanoseconds);
  bytes += origin.source;
  return bytes;
}

bool DecodeOrigin(std::string_view bytes, Origin* origin) {
  if (bytes.size() < kOriginPath || bytes.size() - kOriginPath > kMaxOriginPath) return false;
  const uint8_t* p = Bytes(bytes.data());
  const uint8_t kind = p[kOriginKind];
  const uint32_t nanoseconds = GetLe32(p + kOriginNanoseconds);
  if (p[kOriginVersion] != kOriginFormat ||
      (kind != static_cast<uint8_t>(CopyKind::kAsIs) &&
       kind != static_cast<uint8_t>(CopyKind::kEncoded)) ||
      p[kOriginQuality] > 9 || nanoseconds >= kNanosecondsPerSecond) {
    return false;
  }
  origin->kind = static_cast<CopyKind>(kind);
  origin->quality = p[kOriginQuality];
  origin->stamp.size = GetLe64(p + kOriginSize);
  origin->stamp.modified.seconds = static_cast<int64_t>(GetLe64(p + kOriginSeconds));
  origin->stamp.modified.nanoseconds = nanoseconds;
  origin->source = std::string(bytes.substr(kOriginPath));
  return true;
}

bool SameSource(const Origin& recorded, const Origin& now) {
  return recorded.source == now.source ||
         (FileName(recorded.source) == FileName(now.source) && recorded.stamp == now.stamp);
}

bool UpToDate(const Origin& recorded, const Origin& now) {
  return SameSource(recorded, now) && recorded.stamp == now.stamp && recorded.kind == now.kind &&
         (now.kind == CopyKind::kAsIs || recorded.quality == now.quality);
}

std::string EncodeCopyRecord(const CopyRecord& record) {
  std::string body;
  for (const CopiedFile& file : record.files) {
    AppendUtf16(&body, file.card_path);
    const std::string origin = EncodeOrigin(file.origin);
    AppendLe32(&body, static_cast<uint32_t>(origin.size()));
    body += origin;
    AppendLe64(&body, file.card_stamp.size);
    AppendLe64(&body, static_cast<uint64_t>(file.card_stamp.modified.seconds));
    AppendLe32(&body, file.card_stamp.modified.nanoseconds);
  }
  std::string header(kCopyRecordHeaderSize, '\0');
  auto* p = reinterpret_cast<uint8_t*>(&header[0]);
  for (size_t i = 0; i < kCopyRecordVersionAt; ++i) p[i] = static_cast<uint8_t>(kCopyRecordMagic[i]);
  PutLe32(p + kCopyRecordVersionAt, kCopyRecordVersion);
  PutLe32(p + kCopyRecordFiles, static_cast<uint32_t>(record.files.size()));
  PutLe32(p + kCopyRecordBody, static_cast<uint32_t>(body.size()));
  PutLe32(p + kCopyRecordChecksum,
          Checksum(std::string_view(header).substr(0, kCopyRecordChecksum), body));
  return header + body;
}

bool DecodeCopyRecord(std::string_view bytes, CopyRecord* record, std::string* why) {
  *record = CopyRecord();
  auto fail = [&](const char* reason) {
    *record = CopyRecord();
    *why = reason;
    return false;
  };
  if (bytes.size() < kCopyRecordHeaderSize) return fail("it is cut short");
  const uint8_t* p = Bytes(bytes.data());
  if (bytes.substr(0, kCopyRecordVersionAt) != kCopyRecordMagic) return fail("it is no record");
  if (GetLe32(p + kCopyRecordVersionAt) != kCopyRecordVersion) return fail("it is of another version");
  const uint32_t files = GetLe32(p + kCopyRecordFiles);
  const std::string_view body = bytes.substr(kCopyRecordHeaderSize);
  if (GetLe32(p + kCopyRecordBody) != body.size()) return fail("its size is not the one it gives");
  if (GetLe32(p + kCopyRecordChecksum) !=
      Checksum(bytes.substr(0, kCopyRecordChecksum), body)) {
    return fail("its checksum is wrong");
  }
  if (files > body.size() / kMinFileBytes) return fail("it is malformed");
  record->files.reserve(files);
  ByteReader reader(body);
  for (uint32_t i = 0; i < files; ++i) {
    CopiedFile file;
    file.card_path = reader.Utf16(kMaxRecordedCardPath);
    const std::string origin = reader.Counted(kOriginPath + kMaxOriginPath);
    file.card_stamp.size = reader.Le64();
    file.card_stamp.modified.seconds = static_cast<int64_t>(reader.Le64());
    file.card_stamp.modified.nanoseconds = reader.Le32();
    if (!reader.ok() || !DecodeOrigin(origin, &file.origin) ||
        file.card_stamp.modified.nanoseconds >= kNanosecondsPerSecond) {
      return fail("it is malformed");
    }
    record->files.push_back(std::move(file));
  }
  if (!reader.AtEnd()) return fail("it is malformed");
  return true;
}

namespace {

constexpr char kRecordFileName[] = "COPIED.DAT";

}  // namespace

bool LoadCopyRecord(CopyRecord* record) {
  *record = CopyRecord();
  std::string bytes, why;
  bool missing = false;
  if (!ReadFileNoFollow(HostPath(kCopyRecordPath), kMaxCopyRecordSize, &bytes, &why, &missing)) {
    if (!missing) {
      Warn("cannot read %s (%s): the files copied earlier are told by their tags", 
           ShownPath(kCopyRecordPath).c_str(), why.c_str());
    }
    return false;
  }
  if (!DecodeCopyRecord(bytes, record, &why)) {
    Warn("%s is not used (%s): the files copied earlier are told by their tags",
         ShownPath(kCopyRecordPath).c_str(), why.c_str());
    return false;
  }
  return true;
}

bool SaveCopyRecord(const CopyRecord& record) {
  const std::string shown = ShownPath(kCopyRecordPath);
  const std::string folder = HostPath(kCopyRecordFolder);
  const char* const kNote = "the next run tells the files copied by their tags";
  std::string why;
  if (!MakeFolderNoFollow(folder, &why)) {
    Warn("cannot write %s: %s is %s; %s", shown.c_str(), ShownPath(kCopyRecordFolder).c_str(),
         why.c_str(), kNote);
    return false;
  }
  (void)RemoveLeftovers(folder, {kRecordFileName});
  OutFile file;
  if (!OpenAside(HostPath(kCopyRecordPath), shown, &file, &why)) {
    Warn("cannot write %s: %s; %s", shown.c_str(), why.c_str(), kNote);
    return false;
  }
  file.failure_note = kNote;
  const std::string bytes = EncodeCopyRecord(record);
  WriteBytes(&file, bytes.data(), bytes.size());
  if (!FinishAside(&file) || !ReplaceWithAside(&file)) {
    DiscardAside(&file);
    return false;
  }
  if (!SyncFolder(folder, &why)) {
    Warn("cannot force %s to the card: %s", shown.c_str(), why.c_str());
    return false;
  }
  return true;
}
