#include "titles/file_bytes.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "host/file.h"

FileBytes::FileBytes(int fd, uint64_t size) : fd_(fd), size_(size) {}

size_t FileBytes::Read(uint64_t offset, void* out, size_t n) {
  ++reads_;
  int error = 0;
  const size_t got = ReadAt(fd_, offset, out, n, &error);
  if (error_ == 0) error_ = error;
  return got;
}

void FileBytes::ReadEnds() {
  ends_read_ = true;
  if (size_ <= sizeof head_) {
    // A small file is read whole, in one read.
    const auto n = static_cast<size_t>(size_);
    if (Read(0, head_, n) == n) head_held_ = {0, n, head_};
    return;
  }
  if (Read(0, head_, kHeadSize) == kHeadSize) head_held_ = {0, kHeadSize, head_};
  if (Read(size_ - kTailSize, tail_, kTailSize) == kTailSize) {
    tail_held_ = {size_ - kTailSize, kTailSize, tail_};
  }
}

const FileBytes::Held* FileBytes::Find(uint64_t offset, size_t n) const {
  for (const Held* held : {&head_held_, &tail_held_, &window_held_}) {
    if (held->data != nullptr && held->Covers(offset, n)) return held;
  }
  return nullptr;
}

const uint8_t* FileBytes::Get(uint64_t offset, size_t n, uint64_t ahead_to) {
  if (offset > size_ || n > size_ - offset) return nullptr;
  if (!ends_read_) ReadEnds();
  if (const Held* held = Find(offset, n)) return held->data + (offset - held->at);

  // Read [offset, offset + n) and what follows towards |ahead_to|.
  uint64_t until = std::max<uint64_t>(offset + n, std::min(ahead_to, offset + n + kReadAhead));
  until = std::min(until, size_);
  const auto want = static_cast<size_t>(until - offset);
  if (want > window_capacity_) {
    window_held_ = Held();
    window_.reset(new (std::nothrow) uint8_t[want]);
    window_capacity_ = window_ ? want : 0;
    if (!window_) return nullptr;
  }
  const size_t got = Read(offset, window_.get(), want);
  if (got < n) {
    window_held_ = Held();
    return nullptr;
  }
  window_held_ = {offset, got, window_.get()};
  return window_.get();
}

bool FileBytes::Copy(uint64_t offset, size_t n, uint8_t* out) {
  if (offset > size_ || n > size_ - offset) return false;
  if (n == 0) return true;  // |out| may be null then
  if (!ends_read_) ReadEnds();
  if (const Held* held = Find(offset, n)) {
    memcpy(out, held->data + (offset - held->at), n);
    return true;
  }
  return Read(offset, out, n) == n;
}
