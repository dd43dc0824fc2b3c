// The bytes of one MP3 file that its tags lie in, for the tag search
// (tag_search.h) and the cut of each ID3v2 tag (tag_cut.h), both of which
// read through it.
#ifndef CARDPREP_TITLES_FILE_BYTES_H_
#define CARDPREP_TITLES_FILE_BYTES_H_

#include <cstddef>
#include <cstdint>
#include <memory>

// The parts of one MP3 file that its tags lie in, read with as few reads as
// a title allows. Behind a USB card reader every read is a round trip of a
// millisecond or so, so the head of the file (where an ID3v2 tag begins) and
// its tail (an ID3v1 tag and the footer of an appended ID3v2 tag) are read
// once, together when the file is small; anything else is read when it is
// asked for, with what follows it up to where the asker says it will look.
class FileBytes {
 public:
  // Read first from the head: most tags without pictures fit.
  static constexpr size_t kHeadSize = 4096;
  // Read from the end: an ID3v1 tag and the footer of a tag before it.
  static constexpr size_t kTailSize = 128 + 10;
  // At most this much is read beyond what is asked for.
  static constexpr size_t kReadAhead = 64 * 1024;

  // |fd| stays the caller's; |size| is the file's size.
  FileBytes(int fd, uint64_t size);
  FileBytes(const FileBytes&) = delete;
  FileBytes& operator=(const FileBytes&) = delete;

  uint64_t size() const { return size_; }
  // How many reads the file took.
  unsigned reads() const { return reads_; }
  // The number of the first read error, 0 while every read succeeded. A
  // read that fails is not told apart from the file's end by what Get and
  // Copy return, so whoever reads a file asks this at the end.
  int error() const { return error_; }

  // The bytes [offset, offset + n), good until the next call, or nullptr
  // when the file ends before them or cannot be read. A read that this
  // takes goes on towards |ahead_to| (as far as kReadAhead allows), so that
  // what the caller asks for next is there already.
  const uint8_t* Get(uint64_t offset, size_t n, uint64_t ahead_to = 0);
  // Copies [offset, offset + n) to |out|, reading straight into it what is
  // not held already. False when the file ends before them.
  bool Copy(uint64_t offset, size_t n, uint8_t* out);

 private:
  struct Held {
    uint64_t at = 0;
    size_t size = 0;
    const uint8_t* data = nullptr;
    bool Covers(uint64_t offset, size_t n) const {
      return offset >= at && n <= size && offset - at <= size - n;
    }
  };
  void ReadEnds();
  const Held* Find(uint64_t offset, size_t n) const;
  size_t Read(uint64_t offset, void* out, size_t n);

  int fd_;
  uint64_t size_;
  unsigned reads_ = 0;
  int error_ = 0;
  bool ends_read_ = false;
  uint8_t head_[kHeadSize + kTailSize];
  uint8_t tail_[kTailSize];
  Held head_held_, tail_held_, window_held_;
  std::unique_ptr<uint8_t[]> window_;
  size_t window_capacity_ = 0;
};

#endif  // CARDPREP_TITLES_FILE_BYTES_H_
