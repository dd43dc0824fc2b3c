#include "titles/title_frames.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "bytes/byte_order.h"

namespace {

// ID3v2 header (and footer): "ID3" ("3DI"), major version, revision, flags,
// syncsafe body size.
constexpr size_t kHeaderSize = 10;
constexpr size_t kMajor = 3, kRevision = 4, kTagFlags = 5, kTagSize = 6;
constexpr uint8_t kTagUnsynchronised = 0x80, kTagExtended = 0x40, kTagFooter = 0x10;

// ID3v1: "TAG", the title, ...; the comment's last two bytes hold a track
// number (ID3v1.1) when the first of them is 0 and the second is not.
constexpr size_t kV1Size = 128, kV1Title = 3, kV1TitleSize = 30, kV1Track = 125;

// Frame flags in version 4's places (version 3's are moved there).
constexpr uint16_t kGrouped = 0x0040, kCompressed = 0x0008, kEncrypted = 0x0004;
constexpr uint16_t kFrameUnsynchronised = 0x0002, kDataLength = 0x0001;
// Format flags the library does not know: the frame is kept unparsed.
constexpr uint16_t kV3UnknownFormat = 0x001F, kV4UnknownFormat = 0x00B0;

// Extended header flags (version 4) and the CRC flag of version 3.
constexpr uint8_t kExtendedUpdate = 0x40, kExtendedCrc = 0x20, kExtendedRestrictions = 0x10;
constexpr uint16_t kV3ExtendedCrc = 0x8000;

// What a character the library's UTF-16 cannot hold becomes.
constexpr char32_t kReplacementChar = 0xB7;

// Version 2 frame names and their version 4 equivalents. "" marks an
// obsolete frame (kept as binary data, never failing); "TCON" is rewritten
// from its old syntax, one string.
struct Compat {
  const char* old_id;
  const char* id;
};
constexpr Compat kV2Compat[] = {
    {"BUF", "RBUF"}, {"CNT", "PCNT"}, {"COM", "COMM"}, {"CRA", "AENC"}, {"CRM", ""},
    {"EQU", ""},     {"ETC", "ETCO"}, {"GEO", "GEOB"}, {"IPL", "TIPL"}, {"LNK", "LINK"},
    {"MCI", "MCDI"}, {"MLL", "MLLT"}, {"PIC", "APIC"}, {"POP", "POPM"}, {"REV", "RVRB"},
    {"RVA", ""},     {"SLT", "SYLT"}, {"STC", "SYTC"}, {"TAL", "TALB"}, {"TBP", "TBPM"},
    {"TCM", "TCOM"}, {"TCO", "TCON"}, {"TCR", "TCOP"}, {"TDA", ""},     {"TDY", "TDLY"},
    {"TEN", "TENC"}, {"TFT", "TFLT"}, {"TIM", ""},     {"TKE", "TKEY"}, {"TLA", "TLAN"},
    {"TLE", "TLEN"}, {"TMT", "TMED"}, {"TOA", "TOPE"}, {"TOF", "TOFN"}, {"TOL", "TOLY"},
    {"TOR", "TDOR"}, {"TOT", "TOAL"}, {"TP1", "TPE1"}, {"TP2", "TPE2"}, {"TP3", "TPE3"},
    {"TP4", "TPE4"}, {"TPA", "TPOS"}, {"TPB", "TPUB"}, {"TRC", "TSRC"}, {"TRD", ""},
    {"TRK", "TRCK"}, {"TSI", ""},     {"TSS", "TSSE"}, {"TT1", "TIT1"}, {"TT2", "TIT2"},
    {"TT3", "TIT3"}, {"TXT", "TEXT"}, {"TXX", "TXXX"}, {"TYE", ""},     {"UFI", "UFID"},
    {"ULT", "USLT"}, {"WAF", "WOAF"}, {"WAR", "WOAR"}, {"WAS", "WOAS"}, {"WCM", "WCOM"},
    {"WCP", "WCOP"}, {"WPB", "WPUB"}, {"WXX", "WXXX"},
};
constexpr Compat kV3Compat[] = {
    {"EQUA", ""}, {"IPLS", "TIPL"}, {"RVAD", ""}, {"TCON", "TCON"}, {"TDAT", ""},
    {"TIME", ""}, {"TORY", "TDOR"}, {"TRDA", ""}, {"TSIZ", ""},     {"TYER", ""},
};

// The fields of a frame, one letter each:
//   e text encoding (1 byte)   l Latin-1 string to its NUL   m Latin-1 strings
//   s string (line feeds become spaces)   S string   t strings to the end
//   g language (3 bytes)   f frame name (4)   d date (8)   1 2 3 4 integers
//   b binary data (the rest)
struct Layout {
  const char* id;
  const char* fields;
};
constexpr Layout kLayouts[] = {
    {"AENC", "l22b"},      {"APIC", "el1sb"},  {"ASPI", "4421b"},      {"COMM", "egsS"},
    {"COMR", "eldl1sslb"}, {"ENCR", "l1b"},    {"EQU2", "1lb"},        {"ETCO", "1b"},
    {"GEOB", "elssb"},     {"GRID", "l1b"},    {"LINK", "flm"},        {"MLLT", "23311b"},
    {"OWNE", "elds"},      {"POPM", "l1b"},    {"POSS", "1b"},         {"PRIV", "lb"},
    {"RBUF", "314"},       {"RVA2", "lb"},     {"RVRB", "2211111111"}, {"SEEK", "4"},
    {"SIGN", "1b"},        {"SYLT", "eg11sb"}, {"SYTC", "1b"},         {"TXXX", "ess"},
    {"UFID", "lb"},        {"USER", "egs"},    {"USLT", "egsS"},       {"WXXX", "esl"},
    {"ZOBS", "fb"},
};

const char* FieldsOf(const char (&id)[5]) {
  for (const Layout& l : kLayouts) {
    if (memcmp(l.id, id, 4) == 0) return l.fields;
  }
  if (id[0] == 'T') return "et";  // text
  if (id[0] == 'W') return "l";   // URL
  return "b";                     // unknown, experimental or obsolete
}

bool ValidId(const char* id) {
  for (int i = 0; i < 4; ++i) {
    if (!((id[i] >= 'A' && id[i] <= 'Z') || (id[i] >= '0' && id[i] <= '9'))) return false;
  }
  return true;
}

const Compat* FindCompat(const Compat* table, size_t n, const uint8_t* id, size_t id_size) {
  for (size_t i = 0; i < n; ++i) {
    if (memcmp(table[i].old_id, id, id_size) == 0) return &table[i];
  }
  return nullptr;
}

// Undoes unsynchronisation as the library does: a 00 after an FF is
// dropped. When the data ends in FF 00, the library copies the byte after
// its buffer as the last one; that byte is taken as 0 (and |*past_end|
// set), so the data ends as its writer meant it, in FF.
std::vector<uint8_t> Deunsynchronise(const uint8_t* data, size_t n, bool* past_end) {
  std::vector<uint8_t> out;
  if (n == 0) return out;
  out.reserve(n);
  size_t i = 0;
  for (; i + 1 < n; ++i) {
    out.push_back(data[i]);
    if (data[i] == 0xFF && data[i + 1] == 0x00) ++i;
  }
  *past_end |= i == n;
  out.push_back(i < n ? data[i] : 0);
  return out;
}

// Inflates a compressed frame as zlib's uncompress into a buffer of
// |decoded| bytes does, which the library asks for: true when the stream
// ends having filled it exactly. Asked for no bytes, uncompress has room
// for one and reports none, so a stream of one byte passes too.
bool Inflate(const uint8_t* data, size_t n, uint64_t decoded, std::vector<uint8_t>* out) {
  out->clear();
  z_stream stream;
  memset(&stream, 0, sizeof stream);
  if (inflateInit(&stream) != Z_OK) return false;
  const uint64_t room = decoded == 0 ? 1 : decoded;
  stream.next_in = const_cast<uint8_t*>(data);
  stream.avail_in = static_cast<uInt>(std::min<size_t>(n, UINT32_MAX));
  int result = Z_OK;
  uint8_t overflow = 0;
  while (result == Z_OK) {
    // Out grows with what comes out, never to more than the room.
    const uint64_t held = out->size();
    if (held < room) {
      const size_t step = static_cast<size_t>(std::min<uint64_t>(room - held, 64 * 1024));
      out->resize(static_cast<size_t>(held) + step);
      stream.next_out = out->data() + held;
      stream.avail_out = static_cast<uInt>(step);
    } else {
      stream.next_out = &overflow;  // one more byte would not fit
      stream.avail_out = 1;
    }
    const uInt before = stream.avail_out;
    result = inflate(&stream, Z_NO_FLUSH);
    const size_t produced = before - stream.avail_out;
    if (held >= room) {
      if (produced > 0) result = Z_BUF_ERROR;
    } else {
      out->resize(static_cast<size_t>(held) + produced);
    }
    if (result == Z_OK && produced == 0 && stream.avail_in == 0) result = Z_BUF_ERROR;
  }
  inflateEnd(&stream);
  if (result != Z_STREAM_END) return false;
  if (decoded == 0) {
    out->clear();
    return true;
  }
  return out->size() == decoded;
}

// Text as the library decodes it, one code point per element, up to the
// string's NUL or the end of the data (the NUL is taken too).
using Ucs4 = std::u32string;

Ucs4 ReadLatin1(const uint8_t** p, const uint8_t* end) {
  Ucs4 text;
  while (*p < end) {
    const uint8_t b = *(*p)++;
    if (b == 0) break;
    text.push_back(b);
  }
  return text;
}

Ucs4 ReadUtf16(const uint8_t** p, const uint8_t* end, bool big_endian_only) {
  const size_t length = static_cast<size_t>(end - *p);
  const uint8_t* even_end = *p + (length & ~size_t{1});
  bool little = false;
  if (!big_endian_only && even_end - *p > 0) {
    const uint16_t mark = GetBe16(*p);
    if (mark == 0xFEFF || mark == 0xFFFE) {
      little = mark == 0xFFFE;
      *p += 2;
    }
  }
  std::u16string units;
  while (even_end - *p > 0) {
    const auto unit = static_cast<char16_t>(little ? (*p)[0] | (*p)[1] << 8 : (*p)[0] << 8 | (*p)[1]);
    *p += 2;
    if (unit == 0) break;
    units.push_back(unit);
  }
  if (*p == even_end && length % 2 != 0) ++*p;  // an odd last byte is taken
  Ucs4 text;
  for (size_t i = 0; i < units.size(); ++i) {
    const char16_t u = units[i];
    if (u < 0xD800 || u > 0xDFFF) {
      text.push_back(u);
    } else if (u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
               units[i + 1] <= 0xDFFF) {
      text.push_back(((char32_t{u} & 0x3FF) << 10 | (char32_t{units[i + 1]} & 0x3FF)) + 0x10000);
      ++i;
    }  // else a lone surrogate, dropped
  }
  return text;
}

// UTF-8 as the library reads it: a lead byte and its continuation bytes
// make a character when the value is at least the least of its length (so
// overlong forms are skipped, five- and six-byte forms read); any other
// byte is skipped alone.
Ucs4 ReadUtf8(const uint8_t** p, const uint8_t* end) {
  std::vector<uint8_t> bytes;
  while (*p < end) {
    const uint8_t b = *(*p)++;
    if (b == 0) break;
    bytes.push_back(b);
  }
  bytes.push_back(0);
  auto continues = [&](size_t i) { return (bytes[i] & 0xC0) == 0x80; };
  struct Form {
    uint8_t mask, lead;
    size_t size;
    char32_t least;
  };
  static constexpr Form kForms[] = {{0xE0, 0xC0, 2, 0x80},       {0xF0, 0xE0, 3, 0x800},
                                    {0xF8, 0xF0, 4, 0x10000},    {0xFC, 0xF8, 5, 0x200000},
                                    {0xFE, 0xFC, 6, 0x4000000}};
  Ucs4 text;
  size_t i = 0;
  while (bytes[i] != 0) {
    const uint8_t b = bytes[i];
    if (b < 0x80) {
      text.push_back(b);
      ++i;
      continue;
    }
    size_t taken = 1;
    for (const Form& form : kForms) {
      if ((b & form.mask) != form.lead) continue;
      bool whole = true;
      for (size_t k = 1; k < form.size && whole; ++k) whole = continues(i + k);
      if (!whole) break;
      char32_t value = b & (0x7F >> form.size);
      for (size_t k = 1; k < form.size; ++k) value = value << 6 | (bytes[i + k] & 0x3F);
      if (value >= form.least) {
        text.push_back(value);
        taken = form.size;
      }
      break;
    }
    i += taken;
  }
  return text;
}

// One string in |encoding|; false for an encoding the library does not
// know. |full| keeps line feeds, which are otherwise read as spaces.
bool ReadString(const uint8_t** p, const uint8_t* end, uint8_t encoding, bool full, Ucs4* text) {
  switch (encoding) {
    case 0:
      *text = ReadLatin1(p, end);
      break;
    case 1:
    case 2:
      *text = ReadUtf16(p, end, encoding == 2);
      break;
    case 3:
      *text = ReadUtf8(p, end);
      break;
    default:
      return false;
  }
  if (!full) std::replace(text->begin(), text->end(), U'\n', U' ');
  return true;
}

// What parsing a frame's fields gave, of what the titles use.
struct Fields {
  uint8_t encoding = 0;
  bool has_text = false;
  Ucs4 last;           // the last string of a string list that is not empty
  int64_t number = 0;  // the first integer ("SEEK")
};

// Parses fields by |layout| from [p, end) as the library does; false where
// a field fails. |tcon| reads a version 2 or 3 "TCON" frame: one string
// after the encoding, whatever follows it.
bool ParseFields(const char* layout, const uint8_t* p, const uint8_t* end, bool tcon,
                 Fields* fields) {
  Ucs4 text;
  bool number_read = false;
  for (const char* f = layout; *f != '\0'; ++f) {
    const auto left = static_cast<size_t>(end - p);
    switch (*f) {
      case 'e':
        if (left < 1) return false;
        fields->encoding = *p++;
        if (tcon) return ReadString(&p, end, fields->encoding, false, &text);
        break;
      case 'l':
        ReadLatin1(&p, end);
        break;
      case 'm':
        while (p < end) ReadLatin1(&p, end);
        break;
      case 's':
      case 'S':
        if (!ReadString(&p, end, fields->encoding, *f == 'S', &text)) return false;
        break;
      case 't':
        // The title is the last string that is not empty: a writer's
        // terminator after it reads as one more, empty string ("Title\0\0").
        while (p < end) {
          if (!ReadString(&p, end, fields->encoding, false, &text)) return false;
          if (!text.empty()) fields->last.swap(text);
          fields->has_text = true;
        }
        break;
      case 'g':
      case 'f':
      case 'd': {
        const size_t size = *f == 'g' ? 3 : *f == 'f' ? 4 : 8;
        if (left < size) return false;
        p += size;
        break;
      }
      case '1':
      case '2':
      case '3':
      case '4': {
        const auto size = static_cast<size_t>(*f - '0');
        if (left < size) return false;
        uint64_t value = 0;
        for (size_t i = 0; i < size; ++i) value = value << 8 | *p++;
        if (!number_read) fields->number = static_cast<int64_t>(value);
        number_read = true;
        break;
      }
      default:  // 'b'
        p = end;
        break;
    }
  }
  return true;
}

// A tag being decoded: its bytes, and the frames found so far.
class TagReader {
 public:
  TagReader(const uint8_t* data, size_t length, TagTitles* tag)
      : data_(data), length_(length), tag_(tag) {}
  bool Decode();

 private:
  bool DecodeV1();
  bool DecodeV2();
  bool ReadExtendedHeader(const uint8_t** p, const uint8_t** end, int major);
  bool ReadFrame(const uint8_t** p, const uint8_t* end, int major);
  bool AddFrame(const char (&id)[5], bool parsed, const uint8_t* p, const uint8_t* end,
                bool tcon);
  // The byte at offset |at| of the tag; 0 past its end, where the library
  // reads on.
  uint8_t At(size_t at) {
    if (at < length_) return data_[at];
    tag_->past_end = true;
    return 0;
  }

  const uint8_t* data_;
  size_t length_;
  TagTitles* tag_;
};

bool TagReader::DecodeV1() {
  if (length_ < kV1Size) return false;
  tag_->version = data_[kV1Track] == 0 && data_[kV1Track + 1] != 0 ? 0x0101 : 0x0100;
  const uint8_t* title = data_ + kV1Title;
  size_t n = 0;
  while (n < kV1TitleSize && title[n] != 0) ++n;
  while (n > 0 && title[n - 1] == ' ') --n;
  if (n == 0) return true;
  TitleFrame frame;
  frame.latin1 = true;
  frame.has_text = true;
  for (size_t i = 0; i < n; ++i) frame.text.push_back(title[i]);
  tag_->titles.push_back(std::move(frame));
  return true;
}

bool TagReader::ReadExtendedHeader(const uint8_t** p, const uint8_t** end, int major) {
  const uint8_t* ptr = *p;
  if (major == 2 || *end - ptr < 4) return false;
  if (major == 3) {
    const uint32_t size = GetBe32(ptr);
    ptr += 4;
    if (size > static_cast<uint64_t>(*end - ptr)) return false;
    const uint8_t* fields = ptr;
    const uint8_t* fields_end = ptr + size;
    ptr = fields_end;
    if (size >= 6) {
      const uint16_t flags = GetBe16(fields);
      const uint32_t padding = GetBe32(fields + 2);
      if (padding > static_cast<uint64_t>(*end - ptr)) return false;
      *end -= padding;
      if (flags & kV3ExtendedCrc) {
        if (fields_end - (fields + 6) < 4) return false;
        const uint32_t crc = GetBe32(fields + 6);
        if (crc != crc32(0, ptr, static_cast<uInt>(*end - ptr))) return false;
      }
    }
    *p = ptr;
    return true;
  }
  // Version 4: syncsafe size (counting itself), flag byte count, flag
  // bytes, then the data of each flag set, one length byte first.
  const uint8_t* start = ptr;
  const uint32_t size = GetSyncsafe32(ptr);
  ptr += 4;
  if (size < 6 || size > static_cast<uint64_t>(*end - start)) return false;
  const uint8_t* header_end = start + size;
  const uint8_t flag_bytes = *ptr++;
  if (flag_bytes < 1 || flag_bytes > header_end - ptr) return false;
  const uint8_t* data = ptr + flag_bytes;
  const uint8_t* check = data;
  for (size_t i = 0; i < flag_bytes; ++i) {
    for (uint8_t flags = ptr[i]; flags != 0; flags = static_cast<uint8_t>(flags << 1)) {
      if (!(flags & 0x80)) continue;
      if (check == header_end) return false;
      const uint8_t n = *check++;
      if (n > 0x7F || n > header_end - check) return false;
      check += n;
    }
  }
  const uint8_t flags = *ptr;
  tag_->update = (flags & kExtendedUpdate) != 0;
  ptr = header_end;
  // The data of the flags the library reads, read as it reads them: from
  // the first flag's data on, whatever the bits before said.
  size_t at = static_cast<size_t>(data - data_);
  if (flags & kExtendedUpdate) at += 1 + At(at);
  if (flags & kExtendedCrc) {
    const uint8_t n = At(at++);
    if (n < 5) return false;
    uint32_t crc = At(at++) & 0x0F;
    for (int i = 0; i < 4; ++i) crc = crc << 7 | (At(at++) & 0x7F);
    at += n - 5u;
    if (crc != crc32(0, ptr, static_cast<uInt>(*end - ptr))) return false;
  }
  if ((flags & kExtendedRestrictions) && At(at) < 1) return false;
  *p = ptr;
  return true;
}

bool TagReader::AddFrame(const char (&id)[5], bool parsed, const uint8_t* p, const uint8_t* end,
                          bool tcon) {
  if (!ValidId(id)) return false;
  Fields fields;
  if (parsed && !ParseFields(FieldsOf(id), p, end, tcon, &fields)) return false;
  if (memcmp(id, "TIT2", 4) == 0) {
    TitleFrame frame;
    frame.latin1 = fields.encoding == 0;
    frame.has_text = fields.has_text;
    for (char32_t c : fields.last) AppendTitleUnits(c, &frame.text);
    tag_->titles.push_back(std::move(frame));
  } else if (memcmp(id, "SEEK", 4) == 0 && !tag_->has_seek) {
    tag_->has_seek = true;
    tag_->seek = fields.number;
  }
  return true;
}

bool TagReader::ReadFrame(const uint8_t** p, const uint8_t* end, int major) {
  const uint8_t* raw = *p;
  const auto length = static_cast<size_t>(end - raw);
  char id[5] = {0};
  const Compat* compat = nullptr;
  uint64_t size = 0;
  uint16_t flags = 0;
  uint64_t decoded = 0;
  const uint8_t* ptr = raw;
  if (major == 2) {
    if (length < 6) return false;
    compat = FindCompat(kV2Compat, std::size(kV2Compat), raw, 3);
    size = GetBe24(raw + 3);
    ptr += 6;
  } else {
    if (length < 10) return false;
    memcpy(id, raw, 4);
    size = major == 4 ? GetSyncsafe32(raw + 4) : GetBe32(raw + 4);
    flags = GetBe16(raw + 8);
    ptr += 10;
  }
  if (size > static_cast<uint64_t>(end - ptr)) return false;
  const uint8_t* frame_end = ptr + size;
  *p = frame_end;

  if (major == 3) {
    compat = FindCompat(kV3Compat, std::size(kV3Compat), raw, 4);
    if (flags & kV3UnknownFormat) return AddFrame(id, false, ptr, frame_end, false);
    flags = static_cast<uint16_t>(((flags >> 1) & 0xFF00) | ((flags >> 4) & (kCompressed | kEncrypted)) |
                                  ((flags << 1) & kGrouped));
    if (flags & kCompressed) {
      if (frame_end - ptr < 4) return false;
      decoded = GetBe32(ptr);
      ptr += 4;
    }
    if (flags & kEncrypted) {
      if (frame_end - ptr < 1) return false;
      ++ptr;
    }
    if (flags & kGrouped) {
      if (frame_end - ptr < 1) return false;
      ++ptr;
    }
  } else if (major == 4) {
    if (flags & kV4UnknownFormat) return AddFrame(id, false, ptr, frame_end, false);
    if (flags & kGrouped) {
      if (frame_end - ptr < 1) return false;
      ++ptr;
    }
    if ((flags & kCompressed) && !(flags & kDataLength)) return false;
    if (flags & kEncrypted) {
      if (frame_end - ptr < 1) return false;
      ++ptr;
    }
    if (flags & kDataLength) {
      if (frame_end - ptr < 4) return false;
      decoded = GetSyncsafe32(ptr);
      ptr += 4;
    }
  }
  // The version 4 name.
  if (compat != nullptr && compat->id[0] != '\0') {
    memcpy(id, compat->id, 4);
  } else if (major == 2) {
    id[0] = 'Y';
    memcpy(id + 1, raw, 3);
  }

  std::vector<uint8_t> resynchronised, inflated;
  const uint8_t* data = ptr;
  const uint8_t* data_end = frame_end;
  if ((flags & kFrameUnsynchronised) && data_end > data) {
    resynchronised =
        Deunsynchronise(data, static_cast<size_t>(data_end - data), &tag_->past_end);
    data = resynchronised.data();
    data_end = data + resynchronised.size();
  }
  if (flags & kEncrypted) return AddFrame(id, false, data, data_end, false);
  if (flags & kCompressed) {
    if (!Inflate(data, static_cast<size_t>(data_end - data), decoded, &inflated)) return false;
    data = inflated.data();
    data_end = data + inflated.size();
  }
  if (compat != nullptr && compat->id[0] == '\0') return true;  // obsolete: binary data
  const bool tcon = compat != nullptr && memcmp(compat->id, "TCON", 4) == 0;
  return AddFrame(id, true, data, data_end, tcon);
}

bool TagReader::DecodeV2() {
  const int major = data_[kMajor];
  const uint8_t flags = data_[kTagFlags];
  tag_->version = static_cast<unsigned>(major << 8 | data_[kRevision]);
  size_t size = GetSyncsafe32(data_ + kTagSize);
  std::vector<uint8_t> resynchronised;
  const uint8_t* p = data_ + kHeaderSize;
  if ((flags & kTagUnsynchronised) && major < 4) {
    resynchronised = Deunsynchronise(p, size, &tag_->past_end);
    p = resynchronised.data();
    size = resynchronised.size();
  }
  const uint8_t* end = p + size;
  if ((flags & kTagExtended) && !ReadExtendedHeader(&p, &end, major)) return false;
  while (p < end) {
    if (*p == 0) break;  // padding
    if (!ReadFrame(&p, end, major)) return false;
  }
  return true;
}

bool TagReader::Decode() {
  if (length_ >= 3 && memcmp(data_, "TAG", 3) == 0) return DecodeV1();
  if (QueryTag(data_, length_) <= 0 || memcmp(data_, "ID3", 3) != 0) return false;
  const int major = data_[kMajor];
  if (major < 2 || major > 4) return false;
  uint64_t size = GetSyncsafe32(data_ + kTagSize);
  if (major == 4 && (data_[kTagFlags] & kTagFooter)) size += kHeaderSize;
  if (length_ < kHeaderSize + size) return false;
  return DecodeV2();
}

}  // namespace

long QueryTag(const uint8_t* data, size_t length) {
  if (length >= 3 && memcmp(data, "TAG", 3) == 0) return static_cast<long>(kV1Size);
  if (length < kHeaderSize) return 0;
  const bool header = memcmp(data, "ID3", 3) == 0;
  const bool footer = memcmp(data, "3DI", 3) == 0;
  if (!(header || footer) || data[kMajor] == 0xFF || data[kRevision] == 0xFF) return 0;
  for (size_t i = kTagSize; i < kHeaderSize; ++i) {
    if (data[i] >= 0x80) return 0;
  }
  long size = static_cast<long>(GetSyncsafe32(data + kTagSize));
  if (footer) return -size - static_cast<long>(kHeaderSize);
  if (data[kTagFlags] & kTagFooter) size += static_cast<long>(kHeaderSize);
  return static_cast<long>(kHeaderSize) + size;
}

void ResetTagTitles(TagTitles* tag) {
  tag->version = 0;
  tag->update = false;
  tag->has_seek = false;
  tag->seek = 0;
  tag->titles.clear();
  tag->past_end = false;
}

void AppendTitleUnits(char32_t c, std::u16string* text) {
  if (c >= 0x110000) c = kReplacementChar;
  if (c < 0x10000) {
    text->push_back(static_cast<char16_t>(c));
  } else {
    text->push_back(static_cast<char16_t>(0xD800 | ((c - 0x10000) >> 10)));
    text->push_back(static_cast<char16_t>(0xDC00 | (c & 0x3FF)));
  }
}

bool DecodeTag(const uint8_t* data, size_t length, TagTitles* tag) {
  ResetTagTitles(tag);
  TagReader reader(data, length, tag);
  if (reader.Decode()) return true;
  const bool past_end = tag->past_end;
  ResetTagTitles(tag);
  tag->past_end = past_end;
  return false;
}

Title ChooseTitle(const std::vector<TitleFrame>& frames) {
  Title title;
  for (auto frame = frames.rbegin(); frame != frames.rend(); ++frame) {
    if (!frame->has_text) continue;
    title.found = true;
    title.text = frame->text.substr(0, static_cast<size_t>(kMaxTitleLength));
    title.latin1 = frame->latin1;
    break;
  }
  return title;
}
