// ID3 tags for the tag reader's tests, built field by field.
#ifndef CARDPREP_TESTS_TITLES_ID3_BYTES_H_
#define CARDPREP_TESTS_TITLES_ID3_BYTES_H_

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

inline Bytes Join(const std::vector<Bytes>& parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
inline Bytes Syncsafe(size_t n) {
  return {uint8_t((n >> 21) & 0x7F), uint8_t((n >> 14) & 0x7F), uint8_t((n >> 7) & 0x7F),
          uint8_t(n & 0x7F)};
}
inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }
// ID3v2.4 frame: id, syncsafe size, flags, data.
inline Bytes F4(const char* id, const Bytes& data, uint16_t flags = 0) {
  return Join({Text(id), Syncsafe(data.size()), {uint8_t(flags >> 8), uint8_t(flags)}, data});
}
// ID3v2.3 frame: id, plain size, flags, data.
inline Bytes F3(const char* id, const Bytes& data, uint16_t flags = 0) {
  const size_t n = data.size();
  return Join({Text(id), {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)},
               {uint8_t(flags >> 8), uint8_t(flags)}, data});
}
// Tag header: "ID3", version, revision 0, flags, syncsafe size.
inline Bytes Tag(uint8_t version, const Bytes& body, uint8_t flags = 0) {
  return Join({Text("ID3"), {version, 0, flags}, Syncsafe(body.size()), body});
}

#endif  // CARDPREP_TESTS_TITLES_ID3_BYTES_H_
