// Stopping a run without leaving a trace of it. SIGINT, SIGTERM and SIGHUP
// end the run at once: the worker processes are killed, every file the run
// opened aside is removed, one line on standard error says so, and the
// process exits with 128 + the signal's number. The outputs the run has not
// put in place yet are the only files it changed, so the card keeps what it
// had. What to kill and remove is registered here as it comes and goes,
// in fixed tables the signal handler can read safely.
//
// A run also holds an advisory lock on the card's root folder itself, so
// that a second run on the same card stops at once; the kernel lets go of
// it when the holder ends, however it ends, so no lock file is left behind.
#ifndef CARDPREP_HOST_STOP_H_
#define CARDPREP_HOST_STOP_H_

#include <sys/types.h>

#include <string>

#include "host/file.h"

// Installs the handlers. |note| ends the line the handler prints
// ("error: stopped by SIGINT: <note>"); SetStopNote changes it later.
void InstallStopHandlers(const char* note);
void SetStopNote(const char* note);
// Holds the three signals back while a step that must not be cut runs (the
// outputs taking their final names); ReleaseStopSignals lets a held one
// through.
void HoldStopSignals();
void ReleaseStopSignals();
// Ends the run at once, as a stop signal does, for a reason of its own
// ("memory ran out"): "error: <why>: <note>", exit status |status|. Safe
// where nothing else is (it allocates nothing).
[[noreturn]] void StopRun(const char* why, int status);

// Files opened aside and worker processes, for the handler.
void RegisterAsideFile(const std::string& path);
void UnregisterAsideFile(const std::string& path);
void RegisterChild(pid_t pid);
void UnregisterChild(pid_t pid);

enum class LockResult { kLocked, kHeldByAnother, kNoLocks };
// Takes the lock on the folder at |host_path| into |*lock|, without waiting.
// kNoLocks: the file system has no locks (the run goes on without one), or
// the folder cannot be opened (|*why| says why).
LockResult LockFolder(const std::string& host_path, UniqueFd* lock, std::string* why);
// The process holding the lock on the folder at |host_path|, as the system
// lists its locks; 0 when it cannot tell.
pid_t FolderLockHolder(const std::string& host_path);

#endif  // CARDPREP_HOST_STOP_H_
