// Numbers and text fields as the card's files, the fonts, the tags and the
// worker pipes store them, read and written byte by byte: every value is
// cast before it is shifted, so neither the host's byte order nor its
// alignment matters. Readers check lengths first; ByteReader does that for
// a walk through a buffer of fields.
#ifndef CARDPREP_BYTES_BYTE_ORDER_H_
#define CARDPREP_BYTES_BYTE_ORDER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Little-endian, into and out of byte buffers.
inline void PutLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutLe64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint16_t GetLe16(const uint8_t* p) {
  return static_cast<uint16_t>(static_cast<uint16_t>(p[0]) | static_cast<uint16_t>(p[1]) << 8);
}
inline uint32_t GetLe32(const uint8_t* p) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint32_t>(p[i]);
  return v;
}
inline uint64_t GetLe64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = v << 8 | static_cast<uint64_t>(p[i]);
  return v;
}

// Big-endian, as ID3v2 stores its sizes.
inline uint16_t GetBe16(const uint8_t* p) {
  return static_cast<uint16_t>(static_cast<uint16_t>(p[0]) << 8 | static_cast<uint16_t>(p[1]));
}
inline uint32_t GetBe24(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]);
}
inline uint32_t GetBe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | GetBe24(p + 1);
}
// An ID3v2 "syncsafe" number: seven bits from each of four bytes, high byte
// first. The top bit of each byte is left out, as the tag library does.
inline uint32_t GetSyncsafe32(const uint8_t* p) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v = v << 7 | (static_cast<uint32_t>(p[i]) & 0x7F);
  return v;
}
// Writes |v| (below 2^28) as a syncsafe number.
inline void PutSyncsafe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>((v >> (7 * (3 - i))) & 0x7F);
}

// Appending little-endian numbers and UTF-16LE text to a message being
// built.
inline void AppendLe32(std::string* out, uint32_t v) {
  uint8_t bytes[4];
  PutLe32(bytes, v);
  out->append(reinterpret_cast<const char*>(bytes), sizeof bytes);
}
inline void AppendLe64(std::string* out, uint64_t v) {
  uint8_t bytes[8];
  PutLe64(bytes, v);
  out->append(reinterpret_cast<const char*>(bytes), sizeof bytes);
}
// The unit count (u32), then the units.
void AppendUtf16(std::string* out, std::u16string_view text);

inline const uint8_t* Bytes(const char* p) { return reinterpret_cast<const uint8_t*>(p); }

// Writes |text| as UTF-16LE with its NUL into a field of |size| bytes, zero
// filled after it; the text is cut to leave room for the NUL.
void PutUtf16Field(uint8_t* p, size_t size, std::u16string_view text);
// Reads a NUL-terminated UTF-16LE field; false when it has no NUL.
bool GetUtf16Field(const uint8_t* p, size_t size, std::u16string* text);

// A walk through fields in a buffer. A read past the end yields zero or
// nothing and leaves ok() false for good, so a caller checks once, after
// its last read.
class ByteReader {
 public:
  explicit ByteReader(std::string_view bytes) : bytes_(bytes) {}
  ByteReader(const uint8_t* data, size_t size)
      : bytes_(reinterpret_cast<const char*>(data), size) {}

  uint8_t U8();
  uint32_t Le32();
  uint64_t Le64();
  // A u32 count of at most |limit| units, then the UTF-16LE units.
  std::u16string Utf16(size_t limit);
  // A u32 count of at most |limit| bytes, then the bytes.
  std::string Counted(size_t limit);

  bool ok() const { return ok_; }
  size_t position() const { return at_; }
  size_t left() const { return bytes_.size() - at_; }
  bool AtEnd() const { return ok_ && at_ == bytes_.size(); }

 private:
  // The next |n| bytes, or nullptr (and ok() false) when fewer are left.
  const uint8_t* Take(size_t n);

  std::string_view bytes_;
  size_t at_ = 0;
  bool ok_ = true;
};

#endif  // CARDPREP_BYTES_BYTE_ORDER_H_
