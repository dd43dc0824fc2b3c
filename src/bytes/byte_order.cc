#include "bytes/byte_order.h"

#include <algorithm>
#include <cstring>

void AppendUtf16(std::string* out, std::u16string_view text) {
  AppendLe32(out, static_cast<uint32_t>(text.size()));
  const size_t at = out->size();
  out->resize(at + 2 * text.size());
  auto* p = reinterpret_cast<uint8_t*>(&(*out)[at]);
  for (char16_t unit : text) {
    PutLe16(p, unit);
    p += 2;
  }
}

void PutUtf16Field(uint8_t* p, size_t size, std::u16string_view text) {
  memset(p, 0, size);
  const size_t units = std::min(text.size(), size / 2 - 1);
  for (size_t i = 0; i < units; ++i) PutLe16(p + 2 * i, text[i]);
}

bool GetUtf16Field(const uint8_t* p, size_t size, std::u16string* text) {
  text->clear();
  for (size_t i = 0; i + 1 < size; i += 2) {
    const uint16_t unit = GetLe16(p + i);
    if (unit == 0) return true;
    text->push_back(static_cast<char16_t>(unit));
  }
  return false;
}

const uint8_t* ByteReader::Take(size_t n) {
  if (!ok_ || left() < n) {
    ok_ = false;
    return nullptr;
  }
  const uint8_t* p = Bytes(bytes_.data() + at_);
  at_ += n;
  return p;
}

uint8_t ByteReader::U8() {
  const uint8_t* p = Take(1);
  return p != nullptr ? *p : 0;
}

uint32_t ByteReader::Le32() {
  const uint8_t* p = Take(4);
  return p != nullptr ? GetLe32(p) : 0;
}

uint64_t ByteReader::Le64() {
  const uint8_t* p = Take(8);
  return p != nullptr ? GetLe64(p) : 0;
}

std::u16string ByteReader::Utf16(size_t limit) {
  const uint32_t n = Le32();
  if (ok_ && n > limit) ok_ = false;
  const uint8_t* p = ok_ ? Take(size_t{n} * 2) : nullptr;
  if (p == nullptr) return {};
  std::u16string text(n, u'\0');
  for (uint32_t i = 0; i < n; ++i) text[i] = static_cast<char16_t>(GetLe16(p + 2 * i));
  return text;
}

std::string ByteReader::Counted(size_t limit) {
  const uint32_t n = Le32();
  if (ok_ && n > limit) ok_ = false;
  const uint8_t* p = ok_ ? Take(n) : nullptr;
  if (p == nullptr) return {};
  return std::string(reinterpret_cast<const char*>(p), n);
}
