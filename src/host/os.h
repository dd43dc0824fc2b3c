// The system calls that the host layer's shared parts (file.cc, commit.cc,
// process_pool.cc, pool_worker.cc) make, as both hosts give them: POSIX in
// the *_posix.cc and *_linux.cc files, Win32 in the *_windows.cc ones.
// Errors are numbers, errno on POSIX and Windows' error codes on Windows,
// and ErrorText words them as the system does. Paths are UTF-8 with "/"
// between names; on Windows they become wide, absolute (\\?\) paths at the
// call. It takes only the records those units share (node_kind.h,
// pool_types.h), never their own headers, which would include it back.
#ifndef CARDPREP_HOST_OS_H_
#define CARDPREP_HOST_OS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/node_kind.h"
#include "host/pool_types.h"

// The system's text for |error|: "Permission denied", "Access is denied".
std::string ErrorText(int error);

// Whether |error| says that a file may not be read or written by this user
// (its permissions), not that the card failed.
bool AccessDenied(int error);

// This process's number.
long OwnProcessId();

// Creates |path| for writing into |*fd|: truncating an existing file, or,
// with |exclusive|, failing on one (|*exists| then true). 0 or the error.
int CreateForWrite(const std::string& path, bool exclusive, int* fd, bool* exists = nullptr);
// Opens |path| for reading when a regular file stands there: a final link
// is not followed, and a FIFO or device is never opened. 0 or the error;
// |*kind| says what stands there, and |*fd| is open only for kFile.
int OpenFileNoFollow(const std::string& path, int* fd, NodeKind* kind);
// Writes all |n| bytes; 0 or the error.
int WriteAll(int fd, const void* data, size_t n);
// Writes all |n| bytes at |offset|, leaving the file's position alone; 0
// or the error.
int WriteAllAt(int fd, uint64_t offset, const void* data, size_t n);
// Forces the file to the card (a file system that cannot counts as done);
// 0 or the error.
int SyncFile(int fd);
// Closes |fd|; 0 or the error.
int CloseFile(int fd);
// Renames |from| to |to|, replacing a file there, through to the card. 0 or
// the error.
int RenamePath(const std::string& from, const std::string& to);
// Renames |from| to |to| only when nothing stands at |to| (|*taken| then
// says so). 0 or the error.
int RenameNoReplace(const std::string& from, const std::string& to, bool* taken);
// Removes the file |path|; 0 or the error, |*missing| telling one that was
// not there.
int RemovePath(const std::string& path, bool* missing = nullptr);
// What stands at |path| (a dangling link too); 0 or the error when the
// system cannot say.
int NodeAt(const std::string& path, NodeKind* kind);
// Why a new file could not take the place of |path|: a folder stands there,
// or (asked with |writable|) the file there may not be written. 0 when it
// may.
int ReplaceableError(const std::string& path, bool writable);
// Forces the working folder's entries to the card; 0 or the error.
int SyncWorkingFolder();

// Runs |steps| in a way that nothing sent to stop this process cuts short,
// and copies the |size| bytes of |*report| it filled in back. False, with
// how it ended in |*lost|, when the report was lost.
bool RunUncut(void (*steps)(void* context, void* report), void* context, void* report,
              size_t size, std::string* lost);

// The pool's side of its workers (process_pool.cc).
// Starts a worker of |pool| into |*worker| (pid, pipes, status page).
bool SpawnWorker(const ProcessPool& pool, PoolWorker* worker, std::string* why);
// Ends the worker |pid|: waits |grace_ms| for it to end by itself, then
// kills it and waits again. Whether it ended, with its |*status|.
bool EndWorker(pid_t pid, int grace_ms, int* status);
// The status of a worker that did not end even killed.
int StuckWorkerStatus();
// Fills in how a worker that ended with |status| ended.
void DescribeEnd(int status, PoolReply* reply);
// Writes what it can of |n| bytes to a worker without waiting: the bytes
// written, 0 when none could be.
size_t WriteSome(int fd, const char* data, size_t n);
// Reads what a worker has sent: the bytes read, 0 when nothing is waiting,
// -1 when the worker's end is closed.
long ReadSome(int fd, char* buffer, size_t n);
// Waits up to |timeout_ms| (-1: without end) until one of |readable| has
// bytes or is closed, or one of |writable| takes bytes; |*ready| tells
// which of |readable| are ready.
void WaitForPipes(const std::vector<int>& readable, const std::vector<int>& writable,
                  int timeout_ms, std::vector<bool>* ready);
// Closes a pipe's end and sets |*fd| to -1.
void ClosePipe(int* fd);
// The path of this program's file, and readying the pool's owner (a worker
// that dies must not take it along).
std::string OwnProgramPath();
void PrepareForWorkers();

// On Windows, the environment variable that gives a worker the handle of
// its status page.
constexpr char kWorkerStatusVariable[] = "CARDPREP_WORKER_STATUS";

// The worker's side (pool_worker.cc): maps its status page, and takes its
// answers' descriptor apart from standard output. False when it cannot.
bool PrepareWorker(const WorkerLimits& limits, WorkerStatus** status, int* answers);
// Reads the next requests from standard input: the bytes read, 0 at its end.
size_t ReadRequests(char* buffer, size_t n);

#endif  // CARDPREP_HOST_OS_H_
