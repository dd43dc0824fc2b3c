// Files on the card. Inputs (fonts, MP3 files) are opened without blocking
// and read only when they are regular files, so a FIFO or a device named like
// one never stalls the run. Outputs go through a large buffer; every write
// and close is checked, and a failure is reported once, naming the file.
#ifndef CARDPREP_HOST_FILE_H_
#define CARDPREP_HOST_FILE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/file_stamp.h"
#include "host/node_kind.h"

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

// Reads the whole regular file at |host_path| into |*bytes|, following no
// symbolic link on the way: neither the file nor a folder of its path may
// be one. For a file the tool keeps on the card itself, which anything may
// have replaced: false with |*why| when it is a link, not a regular file,
// larger than |limit| bytes, or changed while read; |*missing| tells a file
// (or folder) that is not there, which is no fault. |*modified|, when
// given, is the file's modification time.
[[nodiscard]] bool ReadFileNoFollow(const std::string& host_path, uint64_t limit,
                                    std::string* bytes, std::string* why, bool* missing,
                                    FileTime* modified = nullptr);

// "a folder", "a symbolic link", "a device", "a FIFO or socket".
const char* NodeKindName(NodeKind kind);
// What stands at |host_path|; false, with |*why|, when the system cannot say.
bool KindAt(const std::string& host_path, NodeKind* kind, std::string* why);

// The tool's own files on the card (its records, temporary and old names)
// are untrusted: what stands at such a name and is not what the tool wrote
// is moved out of the way, never deleted (it may be anything, a folder of
// songs included) and never followed. Renames what stands at |host_path|
// (a file, a folder, a link) to a new name beside it that says so,
// "|host_path|.|tag|-PID" (or with "-2", "-3"... when that is taken), never
// replacing anything; sets |*moved_to|. False with |*why| when it cannot.
bool MoveAside(const std::string& host_path, std::string_view tag, std::string* moved_to,
               std::string* why);

// Reads up to |n| bytes, fewer only at the end of the file or on an error;
// |*error|, when given, is then the error's number (0 at the end).
size_t ReadFully(int fd, void* buffer, size_t n, int* error = nullptr);
// Reads up to |n| bytes from |offset| on, leaving the file position alone;
// fewer only at the end of the file or on an error, as ReadFully says.
size_t ReadAt(int fd, uint64_t offset, void* buffer, size_t n, int* error = nullptr);

// Reads the regular file |host_path| into |bytes|: all of it, or its first
// |limit| bytes when it is larger; |*size| is the file's size. False, with
// |*why|, when it cannot be opened or ends before that (file_read.cc, built
// from the two functions above on every host).
[[nodiscard]] bool ReadFileUpTo(const std::string& host_path, uint64_t limit,
                                std::vector<uint8_t>* bytes, uint64_t* size, std::string* why);

// An output file being written. |name| is how messages name it.
struct OutFile {
  int fd = -1;
  std::string name;
  std::vector<uint8_t> buffer;
  size_t used = 0;
  bool failed = false;  // a write failed and was reported; later data is dropped
  int error = 0;        // the system's error of the failure, when it had one
  bool finished = false;  // closed; still under its temporary name if it has one
  bool discard = false;   // a dry run's output: written nowhere, never synced
  // When not empty, a failure is said as a warning ending in this note (what
  // the run does without the file), not as an error.
  std::string failure_note;
  // Set for a file written off the main thread: a failure is not said but
  // kept in |error| (the system's error number), for its owner to say.
  bool quiet_failure = false;
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
// Opens an output written aside: a new temporary file beside |host_path|
// (".NAME.cardprep-PID", unique to this process), which takes the place of
// |host_path| only when it is replaced whole. A symbolic link at
// |host_path| is then replaced, never written through, and a failed or
// interrupted write leaves the old file as it was. Fails, as creating
// |host_path| itself would, when a folder stands there or the file there
// may not be written, and when a device stands there (a name such as
// /dev/null given for an output is never replaced by a file); |*file| is
// then closed and failed.
[[nodiscard]] bool OpenAside(const std::string& host_path, const std::string& name,
                             OutFile* file, std::string* why);
// In a dry run every output opened aside is written nowhere: nothing is
// created, written or synced, on the card or anywhere else, and there is
// nothing to put in place.
void SetDryRun(bool dry_run);
// Whether |name| (a name in a folder) is the temporary file some process
// opened aside for |final_name|.
bool IsAsideName(std::string_view name, std::string_view final_name);
// The temporary file beside |host_path| of the process |pid|
// (".NAME.cardprep-PID"), and the name the old file at |host_path| takes
// while a commit of that process puts the new one in place
// (".NAME.cardprep-old-PID").
std::string AsidePath(const std::string& host_path, long pid);
std::string BackupPath(const std::string& host_path, long pid);
// Whether |name| is such an old file, of any process.
bool IsBackupName(std::string_view name, std::string_view final_name);
// A file that could not be removed (its name in its folder), and why.
struct NotRemoved {
  std::string name;
  std::string why;
};
// Removes from the folder at |folder| what runs that were killed or lost
// their power left of the files named |final_names| there: files opened
// aside, and old files a commit had not removed yet. Only those,
// recognised by name. Returns those that could not be removed.
std::vector<NotRemoved> RemoveLeftovers(const std::string& folder,
                                        const std::vector<const char*>& final_names);
// Flushes, forces to the card and closes an output opened aside, leaving it
// under its temporary name. Reports a write error like CloseChecked. Returns
// true when every byte reached the file.
bool FinishAside(OutFile* file);
// Puts a finished output in place of its final name. Reports a failure.
bool ReplaceWithAside(OutFile* file);
// Removes an output's temporary file, finished or not.
void DiscardAside(OutFile* file);
// Whether the output was opened and every byte of it reached the file.
bool WrittenWhole(const OutFile& file);
bool IsOpen(const OutFile& file);
void WriteBytes(OutFile* file, const void* data, size_t n);
inline void WriteText(OutFile* file, const std::string& text) {
  WriteBytes(file, text.data(), text.size());
}
// Writes |n| bytes at |offset| of the file, over what was written there
// (after what is buffered): a header known only at the end. Reports a
// failure as WriteBytes does.
void RewriteAt(OutFile* file, uint64_t offset, const void* data, size_t n);
// Puts a finished output in place of its final name only when nothing
// stands there: 0, or the system's error, |*taken| telling that something
// does. Reports nothing; the file stays aside on failure.
int PlaceAsideNoReplace(OutFile* file, bool* taken);
// The system's words for |error|, as a failure of an output reports it,
// and whether it says that the card is full.
std::string ErrorText(int error);
bool IsNoSpaceError(int error);

// Flushes the buffer, forces the data to the card and closes the file (and
// puts a file opened aside in its place). Reports "error: cannot write <name>:
// <reason>" unless a write failure was reported already. Returns true when
// every byte reached the file.
bool CloseChecked(OutFile* file);

// Whether files can be created in the folder at |host_path|; |*read_only|
// tells a file system mounted read-only, and |*why| says why not
// ("the file system is read-only", "Permission denied").
bool FolderWritable(const std::string& host_path, bool* read_only, std::string* why);

// The bytes free for this user on the file system of |host_path|; -1 when
// the system cannot say.
int64_t FreeBytes(const std::string& host_path);

// Forces the entries of a folder (new files, renames) to the card. False,
// with the reason in |*why|, when the system cannot say they are there; a
// file system that cannot force a folder at all counts as done.
[[nodiscard]] bool SyncFolder(const std::string& host_path, std::string* why);

// Removes the file |host_path|; false with |*why| when it cannot.
bool RemoveFile(const std::string& host_path, std::string* why);


#endif  // CARDPREP_HOST_FILE_H_
