#!/usr/bin/env bash
# Only src/host talks to the operating system (and the tools' own main()):
# a system call anywhere else is a second home for something the host layer
# owns. The tools reach files through the host too: std::filesystem, which
# hides the host's calls and words, appears nowhere else in src or tools.
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
found=$(cd "$source_dir" && grep -rnE 'std::filesystem|<filesystem>' src tools \
          --include='*.cc' --include='*.h' | grep -v '^src/host/' || true)
if [ -n "$found" ]; then
  echo "std::filesystem outside src/host:" >&2
  echo "$found" >&2
  exit 1
fi
