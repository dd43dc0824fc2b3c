// Linux-only: getrandom, the kernel's random numbers (/dev/urandom where it
// fails). The host's random numbers; the rest of the system calls are in
// system_posix.cc.
#include "host/system.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host/console.h"
#include "host/file.h"

namespace {

// Shuffling a full card takes over a million numbers; one system call each
// would cost seconds.
struct RandomPool {
  uint32_t words[4096];
  size_t next = sizeof words / sizeof words[0];
};
RandomPool g_random;

bool FillFromUrandom(void* buffer, size_t size) {
  UniqueFd fd(open("/dev/urandom", O_RDONLY | O_CLOEXEC));
  return fd.get() >= 0 && ReadFully(fd.get(), buffer, size) == size;
}

void Refill() {
  auto* bytes = reinterpret_cast<char*>(g_random.words);
  size_t done = 0;
  while (done < sizeof g_random.words) {
    ssize_t n = getrandom(bytes + done, sizeof g_random.words - done, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  if (done < sizeof g_random.words && !FillFromUrandom(bytes, sizeof g_random.words)) {
    Error("no random numbers from the system: %s; the play order is not shuffled: run cardprep "
          "again",
          strerror(errno));
  }
  g_random.next = 0;
}

}  // namespace

uint32_t Random32() {
  if (g_random.next == sizeof g_random.words / sizeof g_random.words[0]) Refill();
  return g_random.words[g_random.next++];
}
