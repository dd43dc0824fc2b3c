#!/usr/bin/env bash
# Only src/host talks to the operating system (and the tools' own main()):
# a system call anywhere else is a second home for something the host layer
# owns. Within it, what only Linux has stays in the *_linux.cc files, each
# naming it in its first line ("// Linux-only: ..."), so that a port to
# another POSIX system sees what it must write: a *_posix.cc file uses only
# what POSIX gives. The tools reach files through the host too:
# std::filesystem, which hides the host's calls and words, appears nowhere
# else in src or tools.
set -euo pipefail
source_dir=$1
calls='\b(opendir|readdir|fstatat|posix_spawn[a-z_]*|pread|pwrite|getrandom|flock|sigaction|fork|execv[a-z]*|mkostemp|statfs|statvfs)\s*\('
found=$(cd "$source_dir" && grep -rnE "$calls" src tools --include='*.cc' --include='*.h' |
        grep -v '^src/host/' | grep -v '^tools/[a-z]*/main\.cc:' || true)
if [ -n "$found" ]; then
  echo "system calls outside src/host:" >&2
  echo "$found" >&2
  exit 1
fi

linux_only='\b(statfs|memfd_create|MFD_[A-Z]+|pipe2|renameat2|RENAME_NOREPLACE|getrandom|sched_getaffinity|CPU_COUNT|st_[amc]tim|ru_maxrss)\b|/proc/|<sys/(vfs|sysmacros|random)\.h>'
found=$(cd "$source_dir" && for file in src/host/*_posix.cc; do
          sed 's|//.*||' "$file" | grep -nE "$linux_only" | sed "s|^|$file:|" || true
        done)
if [ -n "$found" ]; then
  echo "what only Linux has, in a *_posix.cc file (it belongs in a *_linux.cc one):" >&2
  echo "$found" >&2
  exit 1
fi
unnamed=$(cd "$source_dir" && for file in src/host/*_linux.cc; do
            head -n 1 "$file" | grep -q '^// Linux-only: ' || echo "$file"
          done)
if [ -n "$unnamed" ]; then
  echo "*_linux.cc files whose first line does not name what only Linux has (// Linux-only: ...):" >&2
  echo "$unnamed" >&2
  exit 1
fi
found=$(cd "$source_dir" && grep -rnE 'std::filesystem|<filesystem>' src tools \
          --include='*.cc' --include='*.h' | grep -v '^src/host/' || true)
if [ -n "$found" ]; then
  echo "std::filesystem outside src/host:" >&2
  echo "$found" >&2
  exit 1
fi
