// Files on the card. Inputs (fonts, MP3 files) are opened without blocking
// and read only when they are regular files, so a FIFO or a device named like
// one never stalls the run. Outputs go through a large buffer; every write
// and close is checked, and a failure is reported once, naming the file.
#ifndef CARDPREP_HOST_FILE_H_
#define CARDPREP_HOST_FILE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Owns a file descriptor; closes it when it goes out of scope.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd();

  int get() const { return fd_; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_ = -1;
};

// Opens |host_path| for reading if it is a regular file (a symbolic link to
// one counts). On success sets |*fd| and |*size|; on
// failure sets |*why| to the reason ("not a regular file" or the system's
// text) and returns false.
[[nodiscard]] bool OpenRegularFile(const std::string& host_path, UniqueFd* fd,
                                   uint64_t* size, std::string* why);

// Reads up to |n| bytes, fewer only at the end of the file or on an error.
size_t ReadFully(int fd, void* buffer, size_t n);
// Reads up to |n| bytes from |offset| on, leaving the file position alone;
// fewer only at the end of the file or on an error.
size_t ReadAt(int fd, uint64_t offset, void* buffer, size_t n);

// An output file being written. |name| is how messages name it.
struct OutFile {
  int fd = -1;
  std::string name;
  std::vector<uint8_t> buffer;
  size_t used = 0;
  bool failed = false;  // a write failed and was reported; later data is dropped
  // Set when the file is written under a temporary name and takes the place
  // of |final_path| only once it is whole.
  std::string temp_path;
  std::string final_path;

  OutFile() = default;
  OutFile(const OutFile&) = delete;
  OutFile& operator=(const OutFile&) = delete;
  OutFile(OutFile&& other) noexcept { *this = std::move(other); }
  OutFile& operator=(OutFile&& other) noexcept;
  ~OutFile();
};

// Creates (or truncates) |host_path| for writing. Returns false, printing
// nothing, with the reason in |*why|, when it cannot be created: the callers
// report that in their own words.
[[nodiscard]] bool OpenWrite(const std::string& host_path, const std::string& name,
                             OutFile* file, std::string* why);
// Creates a temporary file beside |host_path| that replaces it when closed
// whole: a symbolic link there is replaced, never written through, and a
// failed write leaves the old file as it was.
[[nodiscard]] bool OpenReplacement(const std::string& host_path, const std::string& name,
                                   OutFile* file, std::string* why);
bool IsOpen(const OutFile& file);
void WriteBytes(OutFile* file, const void* data, size_t n);
inline void WriteText(OutFile* file, const std::string& text) {
  WriteBytes(file, text.data(), text.size());
}
// Flushes the buffer, forces the data to the card and closes the file (and
// puts a replacement in its place). Reports "error: cannot write <name>:
// <reason>" unless a write failure was reported already. Returns true when
// every byte reached the file.
bool CloseChecked(OutFile* file);

// Whether files can be created in the folder at |host_path|; |*why| says
// why not ("read-only file system", "Permission denied").
bool FolderWritable(const std::string& host_path, std::string* why);

// Forces the entries of a folder (new files, truncations) to the card.
void SyncFolder(const std::string& host_path);

#endif  // CARDPREP_HOST_FILE_H_
