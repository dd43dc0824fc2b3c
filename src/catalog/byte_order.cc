#include "catalog/byte_order.h"

#include <algorithm>
#include <cstring>

void PutUtf16Field(uint8_t* p, size_t size, const std::u16string& text) {
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
