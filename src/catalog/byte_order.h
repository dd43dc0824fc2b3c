// Little-endian numbers and UTF-16LE text fields of the card's files, read
// and written byte by byte.
#ifndef CARDPREP_CATALOG_BYTE_ORDER_H_
#define CARDPREP_CATALOG_BYTE_ORDER_H_

#include <cstddef>
#include <cstdint>
#include <string>

inline void PutLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline uint16_t GetLe16(const uint8_t* p) {
  return static_cast<uint16_t>(static_cast<uint16_t>(p[0]) | static_cast<uint16_t>(p[1]) << 8);
}
// Writes |text| as UTF-16LE with its NUL into a field of |size| bytes, zero
// filled after it; the text is cut to leave room for the NUL.
void PutUtf16Field(uint8_t* p, size_t size, const std::u16string& text);
// Reads a NUL-terminated UTF-16LE field; false when it has no NUL.
bool GetUtf16Field(const uint8_t* p, size_t size, std::u16string* text);

#endif  // CARDPREP_CATALOG_BYTE_ORDER_H_
