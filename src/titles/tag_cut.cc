#include "titles/tag_cut.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "bytes/byte_order.h"
#include "titles/title_frames.h"

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
  kBinary,   // kept unparsed, or parsed as fields that cannot fail
  kText,     // text encoding, strings
  kComment,  // text encoding, 3-byte language, strings
  kPrivate,  // Latin-1 owner, binary data
  kObject,   // text encoding, Latin-1 MIME type, strings, binary data
  kPicture,  // text encoding, Latin-1 MIME type, picture type byte, string, binary data
};

bool Is(const uint8_t* id, const char (&name)[5]) { return memcmp(id, name, 4) == 0; }

// The frames the library knows by their own layout, beside the text ("T")
// and link ("W") frames.
constexpr const char* kKnownFrames[] = {
    "AENC", "APIC", "ASPI", "COMM", "COMR", "ENCR", "EQU2", "ETCO", "GEOB", "GRID",
    "LINK", "MCDI", "MLLT", "OWNE", "PCNT", "POPM", "POSS", "PRIV", "RBUF", "RVA2",
    "RVRB", "SEEK", "SIGN", "SYLT", "SYTC", "UFID", "USER", "USLT", "ZOBS"};
// ID3v2.3 frames the library keeps as obsolete, unparsed, whatever they hold
// (it looks up each of them among all frames, so thousands cost minutes).
constexpr const char* kObsoleteV3Frames[] = {"EQUA", "RVAD", "TDAT", "TIME",
                                             "TRDA", "TSIZ", "TYER"};

Layout LayoutOf(const uint8_t* id, int major) {
  for (int i = 0; i < 4; ++i) {
    const bool valid = (id[i] >= 'A' && id[i] <= 'Z') || (id[i] >= '0' && id[i] <= '9');
    if (!valid) return Layout::kKeep;  // the library fails the tag on it
  }
  if (Is(id, "TIT2")) return Layout::kKeep;
  if (major == 3) {
    for (const char* obsolete : kObsoleteV3Frames) {
      if (memcmp(id, obsolete, 4) == 0) return Layout::kBinary;
    }
    // An ID3v2.3 list of involved people is read as the text frame TIPL.
    if (Is(id, "IPLS")) return Layout::kText;
  }
  if (id[0] == 'T') {
    // ID3v2.3 genres are rewritten by a translation of the library's own.
    return major == 3 && Is(id, "TCON") ? Layout::kKeep : Layout::kText;
  }
  if (id[0] == 'W') {
    // A link is Latin-1 text, which always parses; WXXX has an encoding.
    return Is(id, "WXXX") ? Layout::kText : Layout::kBinary;
  }
  if (Is(id, "COMM") || Is(id, "USLT")) return Layout::kComment;
  if (Is(id, "PRIV")) return Layout::kPrivate;
  if (Is(id, "GEOB")) return Layout::kObject;
  if (Is(id, "APIC")) return Layout::kPicture;
  for (const char* known : kKnownFrames) {
    if (memcmp(id, known, 4) == 0) return Layout::kKeep;
  }
  return Layout::kBinary;  // unknown or experimental: kept as bytes
}

// Whether the library parses fields of |layout| from |size| bytes, of which
// |data| holds the first |peeked|. A text encoding above 3 makes every string
// after it fail, so only the four known ones pass.
bool FieldsParse(Layout layout, const uint8_t* data, size_t peeked, uint64_t size) {
  const bool known_encoding = size >= 1 && data[0] <= 3;
  switch (layout) {
    case Layout::kKeep:
      return false;
    case Layout::kBinary:
      return true;
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
  if (encrypted || layout == Layout::kBinary) return true;  // kept unparsed, or cannot fail
  const uint64_t fields = size - skip;
  const auto peek = static_cast<size_t>(std::min<uint64_t>(fields, kPeek));
  const uint8_t* data = body->Get(at + kFrameHeaderSize + skip, peek);
  return data != nullptr && FieldsParse(layout, data, peek, fields);
}

// The title a text frame's string list gives, decoded as the library
// decodes it: its last string that is not empty (a writer's terminator
// after the title reads as one more, empty string), or an empty one when
// every string is, as far as a title reaches. Fed the frame's
// data after its text encoding byte, in pieces of any size, it holds no
// more than one title, whatever the frame holds: a string list of millions
// of empty strings, or one string of megabytes, costs only the time to walk
// it. What the library does, string by string:
//   ISO-8859-1 (0): bytes up to a NUL, each one character;
//   UTF-8 (3): bytes up to a NUL, decoded as the library's decoder does
//     (longest form first, up to 6 bytes; a byte that starts no form, or an
//     overlong form, is passed over);
//   UTF-16 (1) and UTF-16BE (2): two-byte units up to a zero unit; with 1, a
//     string's first unit may be a byte order mark (FE FF or FF FE, taken
//     out), else it is big-endian; a surrogate that is not half of a pair is
//     passed over, and a last odd byte belongs to the string before it.
// A title is cut at kMaxTitleLength UTF-16 units, so the characters after
// the one that reaches it do not count.
class TitleString {
 public:
  explicit TitleString(uint8_t encoding) : encoding_(encoding) {}

  void Feed(const uint8_t* data, size_t n) {
    if (n > 0) any_ = true;
    if (encoding_ > 3) return;  // the library fails the frame on any string
    const bool wide = encoding_ == 1 || encoding_ == 2;
    const size_t unit = wide ? 2 : 1;
    for (size_t i = 0; i < n; ++i) {
      // Runs of NULs (whole zero units) and the rest of a string past the
      // title are passed over in one step, not byte by byte.
      if (data[i] == 0 && !(wide && have_odd_)) {
        size_t run = ZeroRun(data + i, n - i);
        run -= run % unit;
        if (run >= 2 * unit) {
          since_end_ += unit;
          EndString();  // the string under way
          EndString();  // then empty ones
          i += run - 1;
          continue;
        }
      } else if (!wide && units_ >= kMaxTitleLength) {
        const void* nul = memchr(data + i, 0, n - i);
        const size_t skip = nul == nullptr ? n - i : size_t(static_cast<const uint8_t*>(nul) - (data + i));
        since_end_ += skip;
        i += skip - 1;
        continue;
      }
      const uint8_t b = data[i];
      if (wide) {
        if (!have_odd_) {
          odd_ = b;
          have_odd_ = true;
          continue;
        }
        have_odd_ = false;
        Unit(odd_, b);
      } else if (b == 0) {
        EndString();
      } else {
        ++since_end_;
        if (encoding_ == 0) {
          Char(b);
        } else if (units_ < kMaxTitleLength) {
          pending_[pending_n_++] = b;
          if (pending_n_ == sizeof pending_) DecodeUtf8();
        }
      }
    }
  }

  // Appends the data of a text frame that gives the same title: the text
  // encoding, then the title encoded again in it, whole as far as the title
  // goes (with a terminator when it is empty).
  void Finish(std::vector<uint8_t>* out) {
    out->push_back(encoding_);
    if (encoding_ > 3) {
      if (any_) out->push_back(0);  // a string the library cannot read either
      return;
    }
    while (pending_n_ > 0) DecodeUtf8();
    // A string under way at the end (a high surrogate left waiting is passed
    // over), a byte in all (one empty string), or strings that ended.
    if (since_end_ == 0 && !have_odd_ && !ended_) return;  // no string at all
    const std::vector<uint32_t>* title = since_end_ > 0 && !current_.empty() ? &current_ : &last_;
    const bool wide = encoding_ == 1 || encoding_ == 2;
    if (title->empty()) {
      out->insert(out->end(), wide ? 2 : 1, 0);
      return;
    }
    if (encoding_ == 1) out->insert(out->end(), {0xFE, 0xFF});
    for (const uint32_t c : *title) {
      if (encoding_ == 0) {
        out->push_back(static_cast<uint8_t>(c));
      } else if (encoding_ == 3) {
        PutUtf8(c, out);
      } else if (c < 0x10000) {
        PutUnit(c, out);
      } else {
        PutUnit(0xD800 | ((c - 0x10000) >> 10), out);
        PutUnit(0xDC00 | ((c - 0x10000) & 0x3FF), out);
      }
    }
  }

 private:
  // How many of the |n| bytes at |p| are zero, from the first on.
  static size_t ZeroRun(const uint8_t* p, size_t n) {
    static const uint8_t kZeros[4096] = {};
    size_t run = 0;
    while (n - run >= sizeof kZeros && memcmp(p + run, kZeros, sizeof kZeros) == 0) {
      run += sizeof kZeros;
    }
    while (run < n && p[run] == 0) ++run;
    return run;
  }
  // The UTF-16 units one character takes in the title.
  static size_t Units(uint32_t c) { return c >= 0x10000 && c < 0x110000 ? 2 : 1; }
  void Char(uint32_t c) {
    if (units_ >= kMaxTitleLength) return;
    current_.push_back(c);
    units_ += Units(c);
  }
  void EndString() {
    while (pending_n_ > 0) DecodeUtf8();
    if (!current_.empty()) last_.swap(current_);  // an empty string leaves the title
    current_.clear();
    units_ = 0;
    ended_ = true;
    since_end_ = 0;
    first_unit_ = true;
    high_ = -1;
  }
  void Unit(uint8_t first, uint8_t second) {
    since_end_ += 2;
    if (first == 0 && second == 0) {
      EndString();
      return;
    }
    if (first_unit_) {
      first_unit_ = false;
      little_ = false;
      if (encoding_ == 1 && ((first == 0xFE && second == 0xFF) || (first == 0xFF && second == 0xFE))) {
        little_ = first == 0xFF;
        return;
      }
    }
    const uint32_t u = little_ ? uint32_t{second} << 8 | first : uint32_t{first} << 8 | second;
    if (high_ >= 0) {
      const auto high = static_cast<uint32_t>(high_);
      high_ = -1;
      if (u >= 0xDC00 && u <= 0xDFFF) {
        Char((((high & 0x3FF) << 10) | (u & 0x3FF)) + 0x10000);
        return;
      }
    }
    if (u >= 0xD800 && u <= 0xDBFF) {
      high_ = static_cast<int32_t>(u);
    } else if (u < 0xD800 || u > 0xDFFF) {
      Char(u);
    }
  }
  // Decodes the character (or passes over the byte) at the start of
  // |pending_|, which holds six bytes, or the string's last ones (a NUL
  // follows them).
  void DecodeUtf8() {
    uint8_t b[6] = {0, 0, 0, 0, 0, 0};
    memcpy(b, pending_, pending_n_);
    auto cont = [&b](int i) { return (b[i] & 0xC0) == 0x80; };
    size_t used = 1;
    if ((b[0] & 0x80) == 0) {
      Char(b[0]);
    } else if ((b[0] & 0xE0) == 0xC0 && cont(1)) {
      const uint32_t c = (b[0] & 0x1Fu) << 6 | (b[1] & 0x3Fu);
      if (c >= 0x80) Char(c), used = 2;
    } else if ((b[0] & 0xF0) == 0xE0 && cont(1) && cont(2)) {
      const uint32_t c = (b[0] & 0x0Fu) << 12 | (b[1] & 0x3Fu) << 6 | (b[2] & 0x3Fu);
      if (c >= 0x800) Char(c), used = 3;
    } else if ((b[0] & 0xF8) == 0xF0 && cont(1) && cont(2) && cont(3)) {
      const uint32_t c =
          (b[0] & 0x07u) << 18 | (b[1] & 0x3Fu) << 12 | (b[2] & 0x3Fu) << 6 | (b[3] & 0x3Fu);
      if (c >= 0x10000) Char(c), used = 4;
    } else if ((b[0] & 0xFC) == 0xF8 && cont(1) && cont(2) && cont(3) && cont(4)) {
      const uint32_t c = (b[0] & 0x03u) << 24 | (b[1] & 0x3Fu) << 18 | (b[2] & 0x3Fu) << 12 |
                         (b[3] & 0x3Fu) << 6 | (b[4] & 0x3Fu);
      if (c >= 0x200000) Char(c), used = 5;
    } else if ((b[0] & 0xFE) == 0xFC && cont(1) && cont(2) && cont(3) && cont(4) && cont(5)) {
      const uint32_t c = (b[0] & 0x01u) << 30 | (b[1] & 0x3Fu) << 24 | (b[2] & 0x3Fu) << 18 |
                         (b[3] & 0x3Fu) << 12 | (b[4] & 0x3Fu) << 6 | (b[5] & 0x3Fu);
      if (c >= 0x4000000) Char(c), used = 6;
    }
    used = std::min(used, pending_n_);
    memmove(pending_, pending_ + used, pending_n_ - used);
    pending_n_ -= used;
    if (units_ >= kMaxTitleLength) pending_n_ = 0;  // the rest does not count
  }
  static void PutUnit(uint32_t u, std::vector<uint8_t>* out) {
    out->push_back(static_cast<uint8_t>(u >> 8));
    out->push_back(static_cast<uint8_t>(u));
  }
  // The shortest of the library's forms, which it decodes back to |c|.
  static void PutUtf8(uint32_t c, std::vector<uint8_t>* out) {
    int extra = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : c < 0x200000 ? 3 : c < 0x4000000 ? 4 : 5;
    static const uint8_t kLead[] = {0x00, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC};
    out->push_back(static_cast<uint8_t>(kLead[extra] | (c >> (6 * extra))));
    while (extra-- > 0) out->push_back(static_cast<uint8_t>(0x80 | ((c >> (6 * extra)) & 0x3F)));
  }

  const uint8_t encoding_;
  bool any_ = false;          // the list holds any byte
  bool ended_ = false;        // a string has ended
  uint64_t since_end_ = 0;    // bytes of the string under way
  // The string under way and the last one that ended not empty, as far as
  // the title goes.
  std::vector<uint32_t> current_, last_;
  size_t units_ = 0;          // of |current_|, in UTF-16
  // UTF-16: a byte waiting for its second; the string's byte order; a high
  // surrogate waiting for its low one (-1: none).
  uint8_t odd_ = 0;
  bool have_odd_ = false;
  bool first_unit_ = true;
  bool little_ = false;
  int32_t high_ = -1;
  // UTF-8: bytes the decoder looks ahead at.
  uint8_t pending_[6] = {};
  size_t pending_n_ = 0;
};

// A compressed frame that says it inflates to more than a tag can hold is
// one the library could not allocate in a title reader: it fails.
constexpr uint64_t kMaxInflated = 256ull << 20;
// Pieces the title frame's data is read and inflated in.
constexpr size_t kPiece = 64 * 1024;

// Feeds |n| bytes of |body| from |at| to |sink| in pieces, undoing
// unsynchronisation when |unsync| (the caller made sure the data does not end
// in FF 00). False when the file cannot supply them.
template <typename Sink>
bool Stream(Body* body, uint64_t at, uint64_t n, bool unsync, Sink&& sink) {
  bool after_ff = false;
  std::vector<uint8_t> clean;
  for (uint64_t done = 0; done < n;) {
    const auto take = static_cast<size_t>(std::min<uint64_t>(kPiece, n - done));
    const uint8_t* piece = body->Get(at + done, take);
    if (piece == nullptr) return false;
    done += take;
    if (!unsync) {
      if (!sink(piece, take)) return true;
      continue;
    }
    clean.clear();
    for (size_t i = 0; i < take; ++i) {
      if (!(after_ff && piece[i] == 0)) clean.push_back(piece[i]);
      after_ff = piece[i] == 0xFF && !(after_ff && piece[i] == 0);
    }
    if (!sink(clean.data(), clean.size())) return true;
  }
  return true;
}

// Appends a title frame ("TIT2") of |data| in the version's layout.
void PutTitleFrame(const std::vector<uint8_t>& data, int major, std::vector<uint8_t>* out) {
  const uint8_t header[kFrameHeaderSize] = {'T', 'I', 'T', '2', 0, 0, 0, 0, 0, 0};
  const size_t at = out->size();
  out->insert(out->end(), header, header + kFrameHeaderSize);
  const auto size = static_cast<uint32_t>(data.size());
  if (major == 4) {
    PutSyncsafe32(out->data() + at + kFrameSize, size);
  } else {
    for (int i = 0; i < 4; ++i) (*out)[at + kFrameSize + size_t(i)] = uint8_t(size >> (24 - 8 * i));
  }
  out->insert(out->end(), data.begin(), data.end());
}

// Appends in place of the title frame at |at| in |body| (header |header|,
// |size| bytes of data) one that gives the same title, or fails the tag the
// same way, whatever it holds: its data inflated and its strings walked
// here, once, and only its title handed over (TitleString). Frames
// the library keeps unparsed, and unsynchronised data ending in FF 00 (which
// the library reads past), are handed over as they are. False when the
// file cannot supply the bytes.
bool CutTitleFrame(Body* body, uint64_t at, const uint8_t* header, uint64_t size, int major,
                   std::vector<uint8_t>* out) {
  auto as_it_is = [&] { return body->Append(at, kFrameHeaderSize + size, out); };
  const std::vector<uint8_t> fails;  // no text encoding: the library fails the frame
  const uint16_t flags = GetBe16(header + kFrameFlags);
  uint64_t skip = 0;
  bool compressed = false, unsync = false, length_given = false;
  if (major == 3) {
    if (flags & (kV3FormatUnknown | kV3Encrypted)) return as_it_is();
    compressed = (flags & kV3Compressed) != 0;
    skip = (compressed ? 4 : 0) + ((flags & kV3Grouped) ? 1 : 0);
  } else {
    if (flags & (kV4FormatUnknown | kV4Encrypted)) return as_it_is();
    compressed = (flags & kV4Compressed) != 0;
    unsync = (flags & kV4Unsynchronised) != 0;
    length_given = (flags & kV4DataLength) != 0;
    skip = ((flags & kV4Grouped) ? 1 : 0) + (length_given ? 4 : 0);
    if (compressed && !length_given) return as_it_is();  // the library fails it
  }
  if (size < skip) return as_it_is();
  const uint64_t data_at = at + kFrameHeaderSize + skip;
  const uint64_t data_size = size - skip;
  if (unsync && data_size >= 2) {
    const uint8_t* last = body->Get(data_at + data_size - 2, 2);
    if (last == nullptr) return false;
    if (last[0] == 0xFF && last[1] == 0x00) return as_it_is();
  }

  std::unique_ptr<TitleString> text;
  auto to_text = [&text](const uint8_t* data, size_t n) {
    if (n == 0) return true;
    if (!text) {
      text = std::make_unique<TitleString>(data[0]);
      ++data;
      --n;
    }
    text->Feed(data, n);
    return true;
  };
  if (!compressed) {
    if (!Stream(body, data_at, data_size, unsync, to_text)) return false;
  } else {
    const uint8_t* declared_at = body->Get(at + kFrameHeaderSize + (major == 3 ? 0 : skip - 4), 4);
    if (declared_at == nullptr) return false;
    const uint64_t declared = major == 3 ? GetBe32(declared_at) : GetSyncsafe32(declared_at);
    if (declared > kMaxInflated) {
      PutTitleFrame(fails, major, out);
      return true;
    }
    z_stream zs = {};
    if (inflateInit(&zs) != Z_OK) return false;
    std::vector<uint8_t> inflated(kPiece);
    uint64_t total = 0;
    bool ended = false, failed = false;
    // As the library's uncompress() into |declared| bytes: the stream must
    // end, neither before nor after them.
    auto inflate_piece = [&](const uint8_t* data, size_t n) {
      zs.next_in = const_cast<uint8_t*>(data);
      zs.avail_in = static_cast<uInt>(n);
      int result = Z_OK;
      do {
        zs.next_out = inflated.data();
        zs.avail_out = static_cast<uInt>(inflated.size());
        result = inflate(&zs, Z_NO_FLUSH);
        if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) {
          failed = true;
          return false;
        }
        const size_t produced = inflated.size() - zs.avail_out;
        total += produced;
        if (total > declared) {
          failed = true;
          return false;
        }
        to_text(inflated.data(), produced);
        if (result == Z_STREAM_END) {
          ended = true;
          return false;  // what follows the stream does not count
        }
      } while (zs.avail_out == 0 || (zs.avail_in > 0 && result == Z_OK));
      return true;
    };
    const bool read = Stream(body, data_at, data_size, unsync, inflate_piece);
    inflateEnd(&zs);
    if (!read) return false;
    if (failed || !ended || total != declared) {
      PutTitleFrame(fails, major, out);
      return true;
    }
  }
  std::vector<uint8_t> data;
  if (text) text->Finish(&data);
  PutTitleFrame(data, major, out);
  return true;
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
    if (Is(header, "TIT2")) {
      if (!CutTitleFrame(body, at, header, size, major, out)) return false;
    } else if (!Droppable(body, at, header, size, major) &&
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
