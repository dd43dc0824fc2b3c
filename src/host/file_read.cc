#include <algorithm>

#include "host/file.h"

bool ReadFileUpTo(const std::string& host_path, uint64_t limit, std::vector<uint8_t>* bytes,
                  uint64_t* size, std::string* why) {
  UniqueFd fd;
  if (!OpenRegularFile(host_path, &fd, size, why)) return false;
  bytes->resize(static_cast<size_t>(std::min(*size, limit)));
  if (ReadFully(fd.get(), bytes->data(), bytes->size()) != bytes->size()) {
    *why = "it could not be read to its end";
    return false;
  }
  return true;
}
