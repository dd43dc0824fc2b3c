#include "titles/title_record.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "bytes/byte_order.h"

namespace {

constexpr uint32_t kNanosecondsPerSecond = 1000000000;
constexpr uint8_t kNoTitle = 0, kTitle = 1, kLatin1Title = 2;

// The fewest bytes a folder and a sound take in the body, which bound how
// many the decoder makes room for before it has read them.
constexpr size_t kMinFolderBytes = 2;  // empty path, one sound
constexpr size_t kMinSoundBytes = 5;   // empty name, size, two times, no title

// ---------------------------------------------------------------- writing

// Writes into a buffer made large enough beforehand: a varint takes at most
// 10 bytes, and a text of n units at most 2n + 10.
class BodyWriter {
 public:
  explicit BodyWriter(std::string* out, size_t at) : out_(out), at_(at) {}
  size_t at() const { return at_; }

  void Varint(uint64_t v) {
    uint8_t* p = Here();
    size_t n = 0;
    while (v >= 0x80) {
      p[n++] = static_cast<uint8_t>(v | 0x80);
      v >>= 7;
    }
    p[n++] = static_cast<uint8_t>(v);
    at_ += n;
  }

  void Byte(uint8_t b) { (*out_)[at_++] = static_cast<char>(b); }

  void String(std::u16string_view text) {
    char16_t all = 0;
    for (char16_t unit : text) all |= unit;
    const bool wide = all > 0xFF;
    Varint(uint64_t{text.size()} << 1 | (wide ? 1 : 0));
    uint8_t* p = Here();
    if (wide) {
      for (char16_t unit : text) {
        PutLe16(p, unit);
        p += 2;
      }
    } else {
      for (char16_t unit : text) *p++ = static_cast<uint8_t>(unit);
    }
    at_ = static_cast<size_t>(p - reinterpret_cast<uint8_t*>(&(*out_)[0]));
  }

 private:
  uint8_t* Here() { return reinterpret_cast<uint8_t*>(&(*out_)[at_]); }

  std::string* out_;
  size_t at_;
};

constexpr size_t kMaxVarint = 10;

uint64_t ZigZag(int64_t v) {
  return v >= 0 ? static_cast<uint64_t>(v) << 1 : ((~static_cast<uint64_t>(v)) << 1) | 1;
}

bool Recordable(const RecordedSound& sound) {
  return sound.name.size() <= kRecordMaxName &&
         (!sound.title.found || sound.title.text.size() <= static_cast<size_t>(kMaxTitleLength));
}

// Indexes 0..n-1 ordered by |key|, the first of equal keys only.
template <typename Key>
std::vector<size_t> SortedUnique(size_t n, Key key) {
  std::vector<size_t> order(n);
  for (size_t i = 0; i < n; ++i) order[i] = i;
  // The scan hands over names already in order: then sorting is not needed.
  bool sorted = true;
  for (size_t i = 1; i < n && sorted; ++i) sorted = key(i - 1) < key(i);
  if (sorted) return order;
  std::stable_sort(order.begin(), order.end(),
                   [&key](size_t a, size_t b) { return key(a) < key(b); });
  order.erase(std::unique(order.begin(), order.end(),
                          [&key](size_t a, size_t b) { return key(a) == key(b); }),
              order.end());
  return order;
}

// ---------------------------------------------------------------- reading

// A walk through the body; the first fault stops it and is kept as the
// reason.
class BodyReader {
 public:
  explicit BodyReader(std::string_view body) : body_(body) {}

  bool ok() const { return why_.empty(); }
  const std::string& why() const { return why_; }
  size_t left() const { return body_.size() - at_; }
  bool AtEnd() const { return at_ == body_.size(); }

  void Fail(const char* what) {
    if (ok()) why_ = "malformed at byte " + std::to_string(kRecordHeaderSize + at_) + ": " + what;
  }

  uint8_t Byte() {
    if (!ok()) return 0;
    if (at_ == body_.size()) {
      Fail("it ends in the middle of a sound");
      return 0;
    }
    return static_cast<uint8_t>(body_[at_++]);
  }

  uint64_t Varint() {
    uint64_t v = 0;
    for (unsigned shift = 0; ok(); shift += 7) {
      const uint8_t b = Byte();
      if (shift == 63 && b > 1) Fail("a number beyond 64 bits");
      v |= static_cast<uint64_t>(b & 0x7F) << shift;
      if ((b & 0x80) == 0) {
        if (b == 0 && shift > 0) Fail("a number longer than it needs");
        return v;
      }
    }
    return 0;
  }

  int64_t ZigZagVarint() {
    const uint64_t v = Varint();
    return (v & 1) == 0 ? static_cast<int64_t>(v >> 1) : -static_cast<int64_t>(v >> 1) - 1;
  }

  std::u16string String(size_t limit, const char* what) {
    const uint64_t head = Varint();
    const uint64_t units = head >> 1;
    const bool wide = (head & 1) != 0;
    if (!ok()) return {};
    if (units > limit) {
      Fail(what);
      return {};
    }
    const size_t bytes = static_cast<size_t>(units) * (wide ? 2 : 1);
    if (bytes > left()) {
      Fail("it ends in the middle of a name");
      return {};
    }
    std::u16string text(static_cast<size_t>(units), u'\0');
    const auto* p = reinterpret_cast<const uint8_t*>(body_.data() + at_);
    bool above_ff = false;
    for (size_t i = 0; i < text.size(); ++i) {
      text[i] = wide ? static_cast<char16_t>(GetLe16(p + 2 * i)) : static_cast<char16_t>(p[i]);
      above_ff = above_ff || text[i] > 0xFF;
    }
    at_ += bytes;
    if (wide && !above_ff) Fail("a text of single bytes written in two");
    return text;
  }

 private:
  std::string_view body_;
  size_t at_ = 0;
  std::string why_;
};

bool DecodeSound(BodyReader* in, RecordedSound* sound) {
  sound->name = in->String(kRecordMaxName, "a name longer than 128 units");
  sound->stamp.size = in->Varint();
  sound->stamp.modified.seconds = in->ZigZagVarint();
  const uint64_t nanoseconds = in->Varint();
  if (nanoseconds >= kNanosecondsPerSecond) in->Fail("a time's nanoseconds beyond a second");
  sound->stamp.modified.nanoseconds = static_cast<uint32_t>(nanoseconds);
  const uint8_t title = in->Byte();
  if (title > kLatin1Title) in->Fail("an unknown kind of title");
  if (in->ok() && title != kNoTitle) {
    sound->title.found = true;
    sound->title.text = in->String(static_cast<size_t>(kMaxTitleLength),
                                   "a title longer than 259 units");
    sound->title.latin1 = title == kLatin1Title;
  }
  return in->ok();
}

}  // namespace

std::string EncodeTitleRecord(const TitleRecord& record) {
  const std::vector<RecordedFolder>& folders = record.folders;
  // What each folder keeps, in order, and room enough for it.
  std::vector<std::pair<size_t, std::vector<size_t>>> kept;
  size_t room = kRecordHeaderSize;
  uint32_t sound_count = 0;
  const std::vector<size_t> folder_order =
      SortedUnique(folders.size(), [&folders](size_t i) -> const std::u16string& {
        return folders[i].path;
      });
  for (size_t f : folder_order) {
    const RecordedFolder& folder = folders[f];
    if (folder.path.size() > kRecordMaxPath) continue;
    const std::vector<RecordedSound>& sounds = folder.sounds;
    std::vector<size_t> order =
        SortedUnique(sounds.size(), [&sounds](size_t i) -> const std::u16string& {
          return sounds[i].name;
        });
    order.erase(std::remove_if(order.begin(), order.end(),
                               [&sounds](size_t i) { return !Recordable(sounds[i]); }),
                order.end());
    order.resize(std::min<size_t>({order.size(), kRecordMaxFolderSounds, kRecordMaxSounds - sound_count}));
    if (order.empty()) continue;
    sound_count += static_cast<uint32_t>(order.size());
    room += 2 * folder.path.size() + 2 * kMaxVarint;
    for (size_t i : order) {
      room += 2 * (sounds[i].name.size() + sounds[i].title.text.size()) + 6 * kMaxVarint;
    }
    kept.emplace_back(f, std::move(order));
  }

  std::string out(room, '\0');
  BodyWriter body(&out, kRecordHeaderSize);
  for (const auto& [f, order] : kept) {
    const RecordedFolder& folder = folders[f];
    body.String(folder.path);
    body.Varint(order.size());
    for (size_t s : order) {
      const RecordedSound& sound = folder.sounds[s];
      body.String(sound.name);
      body.Varint(sound.stamp.size);
      body.Varint(ZigZag(sound.stamp.modified.seconds));
      body.Varint(std::min(sound.stamp.modified.nanoseconds, kNanosecondsPerSecond - 1));
      if (!sound.title.found) {
        body.Byte(kNoTitle);
      } else {
        body.Byte(sound.title.latin1 ? kLatin1Title : kTitle);
        body.String(sound.title.text);
      }
    }
  }
  out.resize(body.at());
  const auto folder_count = static_cast<uint32_t>(kept.size());

  auto* header = reinterpret_cast<uint8_t*>(&out[0]);
  memcpy(header + kRecordMagic, kTitleRecordMagic, kRecordVersion - kRecordMagic);
  PutLe32(header + kRecordVersion, kTitleRecordVersion);
  PutLe32(header + kRecordGranularity, record.granularity_ns);
  PutLe64(header + kRecordSeconds, static_cast<uint64_t>(record.written.seconds));
  PutLe32(header + kRecordNanoseconds,
          std::min(record.written.nanoseconds, kNanosecondsPerSecond - 1));
  PutLe32(header + kRecordFolders, folder_count);
  PutLe32(header + kRecordSounds, sound_count);
  PutLe32(header + kRecordBodySize, static_cast<uint32_t>(out.size() - kRecordHeaderSize));
  uLong crc = crc32(0L, header, static_cast<uInt>(kRecordChecksum));
  crc = crc32(crc, header + kRecordHeaderSize, static_cast<uInt>(out.size() - kRecordHeaderSize));
  PutLe32(header + kRecordChecksum, static_cast<uint32_t>(crc));
  return out;
}

bool DecodeTitleRecord(std::string_view bytes, TitleRecord* record, std::string* why) {
  *record = TitleRecord();
  auto fail = [&](std::string reason) {
    *record = TitleRecord();
    *why = std::move(reason);
    return false;
  };
  const auto* header = reinterpret_cast<const uint8_t*>(bytes.data());
  if (bytes.size() < kRecordHeaderSize) {
    if (bytes.size() >= kRecordVersion && memcmp(header, kTitleRecordMagic, kRecordVersion) != 0) {
      return fail("not a title record");
    }
    return fail("truncated: " + std::to_string(bytes.size()) + " bytes, shorter than its header");
  }
  if (memcmp(header + kRecordMagic, kTitleRecordMagic, kRecordVersion - kRecordMagic) != 0) {
    return fail("not a title record");
  }
  const uint32_t version = GetLe32(header + kRecordVersion);
  if (version != kTitleRecordVersion) {
    return fail("written in version " + std::to_string(version) + " of the format, not " +
                std::to_string(kTitleRecordVersion));
  }
  const uint64_t body_size = GetLe32(header + kRecordBodySize);
  const uint64_t have = bytes.size() - kRecordHeaderSize;
  if (body_size > have) {
    return fail("truncated: " + std::to_string(have) + " of its " + std::to_string(body_size) +
                " bytes after the header");
  }
  if (body_size < have) return fail("longer than it says: bytes follow its end");
  uLong crc = crc32(0L, header, static_cast<uInt>(kRecordChecksum));
  crc = crc32(crc, header + kRecordHeaderSize, static_cast<uInt>(body_size));
  if (static_cast<uint32_t>(crc) != GetLe32(header + kRecordChecksum)) {
    return fail("damaged: its checksum does not match");
  }

  record->granularity_ns = GetLe32(header + kRecordGranularity);
  record->written.seconds = static_cast<int64_t>(GetLe64(header + kRecordSeconds));
  record->written.nanoseconds = GetLe32(header + kRecordNanoseconds);
  const uint32_t folders = GetLe32(header + kRecordFolders);
  const uint32_t sounds = GetLe32(header + kRecordSounds);
  if (record->written.nanoseconds >= kNanosecondsPerSecond) {
    return fail("malformed: its time's nanoseconds go beyond a second");
  }
  if (sounds > kRecordMaxSounds || folders > sounds) {
    return fail("malformed: it counts " + std::to_string(folders) + " folders and " +
                std::to_string(sounds) + " sounds");
  }

  BodyReader in(bytes.substr(kRecordHeaderSize));
  // Room only for what the bytes left can hold.
  record->folders.reserve(std::min<size_t>(folders, in.left() / kMinFolderBytes));
  uint32_t sounds_read = 0;
  while (in.ok() && !in.AtEnd()) {
    if (record->folders.size() == folders) {
      in.Fail("more folders than the header counts");
      break;
    }
    RecordedFolder folder;
    folder.path = in.String(kRecordMaxPath, "a folder path longer than 123 units");
    if (in.ok() && !record->folders.empty() && !(record->folders.back().path < folder.path)) {
      in.Fail("folders out of order");
    }
    const uint64_t count = in.Varint();
    if (in.ok() && (count == 0 || count > kRecordMaxFolderSounds)) {
      in.Fail("a folder of no sounds or more than 255");
    }
    if (in.ok() && count > sounds - sounds_read) in.Fail("more sounds than the header counts");
    if (!in.ok()) break;
    sounds_read += static_cast<uint32_t>(count);
    folder.sounds.reserve(std::min<size_t>(count, in.left() / kMinSoundBytes));
    for (uint64_t i = 0; i < count && in.ok(); ++i) {
      RecordedSound sound;
      if (!DecodeSound(&in, &sound)) break;
      if (!folder.sounds.empty() && !(folder.sounds.back().name < sound.name)) {
        in.Fail("sounds out of order");
        break;
      }
      folder.sounds.push_back(std::move(sound));
    }
    record->folders.push_back(std::move(folder));
  }
  if (in.ok() && (record->folders.size() != folders || sounds_read != sounds)) {
    in.Fail("fewer folders or sounds than the header counts");
  }
  if (!in.ok()) return fail(in.why());
  return true;
}

const RecordedFolder* FindRecordedFolder(const TitleRecord& record,
                                         std::u16string_view folder_path) {
  const auto folder = std::lower_bound(
      record.folders.begin(), record.folders.end(), folder_path,
      [](const RecordedFolder& f, std::u16string_view path) { return f.path < path; });
  if (folder == record.folders.end() || folder->path != folder_path) return nullptr;
  return &*folder;
}

namespace {

// The sound |name| of |folder| (null: there is none), or null.
const RecordedSound* FindRecordedSound(const RecordedFolder* folder, std::u16string_view name) {
  if (folder == nullptr) return nullptr;
  const auto sound = std::lower_bound(
      folder->sounds.begin(), folder->sounds.end(), name,
      [](const RecordedSound& s, std::u16string_view n) { return s.name < n; });
  if (sound == folder->sounds.end() || sound->name != name) return nullptr;
  return &*sound;
}

// Whether |a| lies after |b| by more than |granularity_ns|.
bool LaterBeyond(const FileTime& a, const FileTime& b, uint32_t granularity_ns) {
  const int64_t whole = granularity_ns / kNanosecondsPerSecond;
  // b + granularity, without overflow: nothing lies beyond the end of time.
  if (b.seconds > std::numeric_limits<int64_t>::max() - whole - 1) return false;
  int64_t seconds = b.seconds + whole;
  uint32_t nanoseconds = b.nanoseconds + granularity_ns % kNanosecondsPerSecond;
  if (nanoseconds >= kNanosecondsPerSecond) {
    nanoseconds -= kNanosecondsPerSecond;
    ++seconds;
  }
  return a.seconds > seconds || (a.seconds == seconds && a.nanoseconds > nanoseconds);
}

}  // namespace

bool StampIsTrusted(const FileStamp& recorded, const FileStamp& now, const FileTime& written,
                    uint32_t granularity_ns) {
  return recorded == now && LaterBeyond(written, now.modified, granularity_ns);
}

bool RecordTimeTrusted(const TitleRecord& record, const FileTime& file_modified,
                       const FileTime& now, std::string* why) {
  const uint32_t granularity = std::max(kFileTimeGranularityNs, record.granularity_ns);
  if (LaterBeyond(record.written, file_modified, granularity)) {
    *why = "its time lies after the time its own file was written";
    return false;
  }
  if (LaterBeyond(record.written, now, granularity)) {
    *why = "its time lies in the future";
    return false;
  }
  return true;
}

size_t RecordedSoundCount(const TitleRecord& record) {
  size_t count = 0;
  for (const RecordedFolder& folder : record.folders) count += folder.sounds.size();
  return count;
}

const Title* TrustedTitle(const TitleRecord& record, const RecordedFolder* folder,
                          std::u16string_view name, const FileStamp& now) {
  const RecordedSound* sound = FindRecordedSound(folder, name);
  if (sound == nullptr ||
      !StampIsTrusted(sound->stamp, now, record.written,
                      std::max(kFileTimeGranularityNs, record.granularity_ns))) {
    return nullptr;
  }
  return &sound->title;
}

const Title* TrustedTitle(const TitleRecord& record, std::u16string_view folder_path,
                          std::u16string_view name, const FileStamp& now) {
  return TrustedTitle(record, FindRecordedFolder(record, folder_path), name, now);
}
