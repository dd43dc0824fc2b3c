#!/usr/bin/env bash
# A fuzz program makes its scratch folder in $TMPDIR and removes it when it
# ends: replaying a corpus leaves the temporary folder as it found it.
#   scratch_left_test.sh REPLAY_PROGRAM CORPUS
set -euo pipefail
tmp=$(mktemp -d "${TMPDIR:-/tmp}/cardprep-scratch-test-XXXXXX")
trap 'rm -rf "$tmp"' EXIT
TMPDIR=$tmp "$1" "$2" >/dev/null
left=$(ls -A "$tmp")
if [ -n "$left" ]; then
  echo "left in the temporary folder: $left" >&2
  exit 1
fi
