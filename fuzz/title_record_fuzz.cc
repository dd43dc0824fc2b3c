// Property: the reader of the title record stays within its bytes and makes
// room for no more than they can hold, and a record it takes is what the
// writer writes for what it read, byte for byte (so decoding what was
// encoded gives it back); every title it holds, cleaned as the title
// reader cleans it, holds no control character, no NUL and at most 259
// units, and is clean already when cleaned again. The first byte of the input picks whether the
// rest is read as it is, or with its body size and checksum put right, so
// that what lies behind them is reached.
#include <cstdint>
#include <string>

#include <zlib.h>

#include "titles/title_reader.h"
#include "titles/title_record.h"
#include "fuzz_check.h"
#include "bytes/byte_order.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  if ((data[0] & 1) != 0 && bytes.size() >= kRecordHeaderSize) {
    auto* p = reinterpret_cast<uint8_t*>(&bytes[0]);
    const size_t body = bytes.size() - kRecordHeaderSize;
    PutLe32(p + kRecordBodySize, static_cast<uint32_t>(body));
    uLong crc = crc32(0L, p, static_cast<uInt>(kRecordChecksum));
    crc = crc32(crc, p + kRecordHeaderSize, static_cast<uInt>(body));
    PutLe32(p + kRecordChecksum, static_cast<uint32_t>(crc));
  }
  TitleRecord record;
  std::string why;
  if (!DecodeTitleRecord(bytes, &record, &why)) {
    FUZZ_CHECK(!why.empty() && record.folders.empty(), "a record refused without a reason");
    return 0;
  }
  // Every unit of text takes a byte at least, and every sound five.
  size_t units = 0, sounds = 0;
  for (const RecordedFolder& folder : record.folders) {
    units += folder.path.size();
    FUZZ_CHECK(folder.sounds.capacity() <= bytes.size() / 5 + 1, "room beyond the bytes");
    for (const RecordedSound& sound : folder.sounds) {
      units += sound.name.size() + sound.title.text.size();
      FUZZ_CHECK(sound.title.found || sound.title.text.empty(), "text of no title");
      Title cleaned = sound.title;
      CleanTitle(&cleaned);
      FUZZ_CHECK(cleaned.text.size() <= static_cast<size_t>(kMaxTitleLength), "a long title");
      for (const char16_t unit : cleaned.text) {
        FUZZ_CHECK(unit >= 0x20 && unit != 0x7F, "a control character left in a title");
      }
      Title again = cleaned;
      CleanTitle(&again);
      FUZZ_CHECK(again.text == cleaned.text, "a title cleaned twice changes");
    }
    sounds += folder.sounds.size();
  }
  FUZZ_CHECK(units <= bytes.size() && 5 * sounds <= bytes.size(), "more read than the bytes hold");
  FUZZ_CHECK(EncodeTitleRecord(record) == bytes, "a record read is not what its writer writes");
  return 0;
}
