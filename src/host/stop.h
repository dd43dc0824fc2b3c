// Stopping a run without leaving a trace of it. SIGINT, SIGTERM and SIGHUP
// end the run at once: the worker processes are killed, every file the run
// opened aside is removed, one line on standard error says so, and the
// process exits with 128 + the signal's number. The outputs the run has not
// put in place yet are the only files it changed, so the card keeps what it
// had. What to kill and remove is registered here as it comes and goes,
// in fixed tables the signal handler can read safely.
#ifndef CARDPREP_HOST_STOP_H_
#define CARDPREP_HOST_STOP_H_

#include <sys/types.h>

#include <string>

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

#endif  // CARDPREP_HOST_STOP_H_
