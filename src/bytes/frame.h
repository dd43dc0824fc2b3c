// Messages framed on a byte stream, as the process pool and its workers
// exchange them over their pipes: a header naming the message and the
// length of its body, then the body. All numbers little-endian:
//
//   offset  size    field
//   0       8       id: the job the message belongs to
//   8       4       length of the body
//   12      length  body
#ifndef CARDPREP_BYTES_FRAME_H_
#define CARDPREP_BYTES_FRAME_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "bytes/byte_order.h"

constexpr size_t kFrameId = 0, kFrameLength = 8, kFrameHeaderSize = 12;
static_assert(kFrameLength + 4 == kFrameHeaderSize, "frame layout");

inline void AppendFrame(std::string* out, uint64_t id, const std::string& body) {
  AppendLe64(out, id);
  AppendLe32(out, static_cast<uint32_t>(body.size()));
  *out += body;
}

// Whether |buffer| holds a whole message from |at| on; sets its id and the
// position and length of its body.
inline bool WholeFrame(const std::string& buffer, size_t at, uint64_t* id, size_t* body,
                       uint32_t* length) {
  if (buffer.size() - at < kFrameHeaderSize) return false;
  const uint8_t* header = Bytes(buffer.data() + at);
  *length = GetLe32(header + kFrameLength);
  if (buffer.size() - at - kFrameHeaderSize < *length) return false;
  *id = GetLe64(header + kFrameId);
  *body = at + kFrameHeaderSize;
  return true;
}

#endif  // CARDPREP_BYTES_FRAME_H_
