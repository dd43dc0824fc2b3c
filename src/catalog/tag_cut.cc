#include "catalog/tag_cut.h"

#include <algorithm>
#include <cstring>

#include "host/byte_order.h"

namespace {

// ID3v2 tag header: "ID3", version, revision (at 4), flags, syncsafe body size.
constexpr size_t kTagVersion = 3, kTagFlags = 5, kTagSize = 6;
constexpr size_t kTagHeaderSize = 10;
constexpr uint8_t kTagUnsynchronised = 0x80, kTagExtendedHeader = 0x40;

// ID3v2.3 and 2.4 frame header: id, size (2.3 plain, 2.4 syncsafe), flags.
constexpr size_t kFrameSize = 4, kFrameFlags = 8;
constexpr size_t kFrameHeaderSize = 10;

// Frame flags (second flag byte) as each version stores them.
constexpr uint16_t kV3FormatUnknown = 0x001F;  // the library keeps such a frame unparsed
constexpr uint16_t kV3Compressed = 0x0080, kV3Encrypted = 0x0040, kV3Grouped = 0x0020;
constexpr uint16_t kV4FormatUnknown = 0x00B0;
constexpr uint16_t kV4Grouped = 0x0040, kV4Compressed = 0x0008, kV4Encrypted = 0x0004;
constexpr uint16_t kV4Unsynchronised = 0x0002, kV4DataLength = 0x0001;

// ID3v2.3 extended header: size (u32, not counting itself), flags u16,
// padding size u32, then a CRC when flagged.
constexpr uint16_t kV3ExtendedCrc = 0x8000;
// ID3v2.4 extended header: syncsafe size (counting itself), flag byte count,
// flag bytes; the first flag byte holds the CRC flag.
constexpr size_t kV4ExtendedFlags = 5;
constexpr uint8_t kV4ExtendedCrc = 0x20;

// How far into a picture frame its MIME type's end is looked for.
constexpr size_t kPeek = 256;

// The frames that may be left out, by how their fields begin.
enum class Layout {
  kKeep,     // handed over
  kText,     // text encoding, strings
  kComment,  // text encoding, 3-byte language, strings
  kPrivate,  // Latin-1 owner, binary data
  kObject,   // text encoding, Latin-1 MIME type, strings, binary data
  kPicture,  // text encoding, Latin-1 MIME type, picture type byte, string, binary data
};

bool Is(const uint8_t* id, const char (&name)[5]) { return memcmp(id, name, 4) == 0; }

Layout LayoutOf(const uint8_t* id, int major) {
  for (int i = 0; i < 4; ++i) {
    const bool valid = (id[i] >= 'A' && id[i] <= 'Z') || (id[i] >= '0' && id[i] <= '9');
    if (!valid) return Layout::kKeep;  // the library fails the tag on it
  }
  if (Is(id, "TIT2")) return Layout::kKeep;
  if (id[0] == 'T') {
    // ID3v2.3 genres are rewritten by a translation of the library's own.
    return major == 3 && Is(id, "TCON") ? Layout::kKeep : Layout::kText;
  }
  if (Is(id, "COMM") || Is(id, "USLT")) return Layout::kComment;
  if (Is(id, "PRIV")) return Layout::kPrivate;
  if (Is(id, "GEOB")) return Layout::kObject;
  if (Is(id, "APIC")) return Layout::kPicture;
  return Layout::kKeep;
}

// Whether the library parses fields of |layout| from |size| bytes, of which
// |data| holds the first |peeked|. A text encoding above 3 makes every string
// after it fail, so only the four known ones pass.
bool FieldsParse(Layout layout, const uint8_t* data, size_t peeked, uint64_t size) {
  const bool known_encoding = size >= 1 && data[0] <= 3;
  switch (layout) {
    case Layout::kKeep:
      return false;
    case Layout::kText:
    case Layout::kObject:
      return known_encoding;
    case Layout::kComment:
      return known_encoding && size >= 4;
    case Layout::kPrivate:
      return true;
    case Layout::kPicture: {
      if (!known_encoding) return false;
      const void* nul = memchr(data + 1, 0, peeked - 1);
      if (nul == nullptr) return false;  // not seen: the library decides
      const auto mime_end = static_cast<uint64_t>(static_cast<const uint8_t*>(nul) - data);
      return size >= mime_end + 2;  // the picture type byte follows
    }
  }
  return false;
}

// Where the frames are read from: the file, or a resynchronised copy of an
// ID3v2.3 tag body.
class Body {
 public:
  Body(FileBytes* file, uint64_t at, uint64_t size) : file_(file), at_(at), size_(size) {}
  explicit Body(const std::vector<uint8_t>* bytes) : bytes_(bytes), size_(bytes->size()) {}

  uint64_t size() const { return size_; }
  const uint8_t* Get(uint64_t offset, size_t n) {
    if (bytes_ != nullptr) return bytes_->data() + offset;
    return file_->Get(at_ + offset, n, at_ + size_);
  }
  bool Append(uint64_t offset, uint64_t n, std::vector<uint8_t>* out) {
    if (n == 0) return true;
    const size_t old = out->size();
    out->resize(old + static_cast<size_t>(n));
    if (bytes_ != nullptr) {
      memcpy(out->data() + old, bytes_->data() + offset, static_cast<size_t>(n));
      return true;
    }
    return file_->Copy(at_ + offset, static_cast<size_t>(n), out->data() + old);
  }

 private:
  FileBytes* file_ = nullptr;
  const std::vector<uint8_t>* bytes_ = nullptr;
  uint64_t at_ = 0;
  uint64_t size_;
};

// Undoes unsynchronisation as the library does: a 00 after an FF is
// dropped. False when the body ends in FF 00: the library then takes the
// byte past its buffer as the last one, so the tag is handed over whole.
bool Resynchronise(std::vector<uint8_t>* bytes) {
  std::vector<uint8_t>& b = *bytes;
  if (b.empty()) return true;
  size_t in = 0, out = 0;
  while (in + 1 < b.size()) {
    b[out++] = b[in];
    if (b[in] == 0xFF && b[in + 1] == 0x00) ++in;
    ++in;
  }
  if (in == b.size()) return false;
  b[out++] = b[in];
  b.resize(out);
  return true;
}

// Whether the frame at |at| in |body|, whose header is |header| and whose
// data is |size| bytes, parses for sure and plays no part in the title.
bool Droppable(Body* body, uint64_t at, const uint8_t* header, uint64_t size, int major) {
  const Layout layout = LayoutOf(header, major);
  if (layout == Layout::kKeep) return false;
  const uint16_t flags = GetBe16(header + kFrameFlags);
  uint64_t skip = 0;  // bytes before the fields: group, method, length
  bool encrypted = false;
  if (major == 3) {
    // Unknown format flags keep a frame unparsed, which cannot fail.
    if (flags & kV3FormatUnknown) return true;
    if (flags & kV3Compressed) return false;  // the library inflates it
    if (flags & kV3Encrypted) skip += 1;
    if (flags & kV3Grouped) skip += 1;
    encrypted = (flags & kV3Encrypted) != 0;
  } else {
    if (flags & kV4FormatUnknown) return true;
    if (flags & (kV4Compressed | kV4Unsynchronised)) return false;
    if (flags & kV4Grouped) skip += 1;
    if (flags & kV4Encrypted) skip += 1;
    if (flags & kV4DataLength) skip += 4;
    encrypted = (flags & kV4Encrypted) != 0;
  }
  if (size < skip) return false;  // the library fails the tag on it
  if (encrypted) return true;     // kept unparsed
  const uint64_t fields = size - skip;
  const auto peek = static_cast<size_t>(std::min<uint64_t>(fields, kPeek));
  const uint8_t* data = body->Get(at + kFrameHeaderSize + skip, peek);
  return data != nullptr && FieldsParse(layout, data, peek, fields);
}

// Appends the frames of [from, end) of |body| that cannot be left out, in
// order, stopping where the library stops: at padding, or at a frame that
// fails the tag (handed over so that it fails the cut tag the same way).
bool CutFrames(Body* body, uint64_t from, uint64_t end, int major, std::vector<uint8_t>* out) {
  uint64_t at = from;
  while (at < end) {
    const uint8_t* first = body->Get(at, 1);
    if (first == nullptr) return false;
    if (*first == 0) break;  // padding
    if (end - at < kFrameHeaderSize) return body->Append(at, end - at, out);
    const uint8_t* got = body->Get(at, kFrameHeaderSize);
    if (got == nullptr) return false;
    uint8_t header[kFrameHeaderSize];
    memcpy(header, got, sizeof header);
    const uint64_t size =
        major == 4 ? GetSyncsafe32(header + kFrameSize) : GetBe32(header + kFrameSize);
    if (size > end - at - kFrameHeaderSize) {
      // Longer than the tag: the header alone fails the cut tag too.
      return body->Append(at, kFrameHeaderSize, out);
    }
    if (!Droppable(body, at, header, size, major) &&
        !body->Append(at, kFrameHeaderSize + size, out)) {
      return false;
    }
    at += kFrameHeaderSize + size;
  }
  return true;
}

bool Whole(FileBytes* file, uint64_t at, uint64_t length, std::vector<uint8_t>* out) {
  out->resize(static_cast<size_t>(length));
  return file->Copy(at, static_cast<size_t>(length), out->data());
}

}  // namespace

bool CutTagForTitle(FileBytes* file, uint64_t at, uint64_t length, std::vector<uint8_t>* out) {
  out->clear();
  const uint8_t* got = file->Get(at, kTagHeaderSize, at + length);
  if (got == nullptr) return false;
  uint8_t header[kTagHeaderSize];
  memcpy(header, got, sizeof header);
  const int major = header[kTagVersion];
  const uint8_t flags = header[kTagFlags];
  const uint64_t size = GetSyncsafe32(header + kTagSize);
  if ((major != 3 && major != 4) || size > length - kTagHeaderSize) {
    return Whole(file, at, length, out);
  }

  std::vector<uint8_t> resynchronised;
  Body body(file, at + kTagHeaderSize, size);
  if (major == 3 && (flags & kTagUnsynchronised)) {
    resynchronised.resize(static_cast<size_t>(size));
    if (!file->Copy(at + kTagHeaderSize, resynchronised.size(), resynchronised.data())) {
      return false;
    }
    if (!Resynchronise(&resynchronised)) return Whole(file, at, length, out);
    body = Body(&resynchronised);
  }

  // The cut tag's header; its size is set at the end.
  out->assign(header, header + kTagHeaderSize);
  (*out)[kTagFlags] = 0;
  uint64_t from = 0;
  uint64_t end = body.size();
  if (flags & kTagExtendedHeader) {
    if (end < 4) return Whole(file, at, length, out);
    const uint8_t* extended = body.Get(0, 4);
    if (extended == nullptr) return false;
    if (major == 3) {
      // Left out of the cut tag; its padding size shortens the frames.
      const uint64_t extended_size = GetBe32(extended);
      if (extended_size > end - 4) return Whole(file, at, length, out);
      from = 4 + extended_size;
      if (extended_size >= 6) {
        const uint8_t* fields = body.Get(4, 6);
        if (fields == nullptr) return false;
        const uint64_t padding = GetBe32(fields + 2);
        if (padding > end - from || (GetBe16(fields) & kV3ExtendedCrc)) {
          return Whole(file, at, length, out);
        }
        end -= padding;
      }
    } else {
      // Kept as it is: it says whether the tag updates an earlier one.
      const uint64_t extended_size = GetSyncsafe32(extended);
      if (extended_size < 6 || extended_size > end) return Whole(file, at, length, out);
      const uint8_t* fields = body.Get(0, kV4ExtendedFlags + 1);
      if (fields == nullptr) return false;
      if (fields[kV4ExtendedFlags] & kV4ExtendedCrc) return Whole(file, at, length, out);
      if (!body.Append(0, extended_size, out)) return false;
      (*out)[kTagFlags] = kTagExtendedHeader;
      from = extended_size;
    }
  }
  if (!CutFrames(&body, from, end, major, out)) return false;
  PutSyncsafe32(out->data() + kTagSize, static_cast<uint32_t>(out->size() - kTagHeaderSize));
  return true;
}
