#!/usr/bin/env bash
# Nothing the programs do creates, replaces or removes anything in /dev:
# run as root, a file renamed over /dev/null, or made there while it is
# missing for a moment, would take its place for every program of the
# machine. Each program runs in a mount namespace of its own whose /dev
# is an empty file system holding only a bind of the real /dev/null, and
# then nothing at all; afterwards /dev holds what it held.
#   dev_untouched_test.sh CARDPREP CARDPREP_VIEW CARDPREP_FONT REPLAY CORPUS
set -euo pipefail
cardprep=$1 view=$2 font=$3 replay=$4 corpus=$5
unshare=(unshare -m)
[ "$(id -u)" -eq 0 ] || unshare=(unshare -r -m)
if ! "${unshare[@]}" true 2>/dev/null; then
  echo "cannot make a mount namespace here (unshare ${unshare[*]:1} fails)"
  exit 77
fi
if [ ! -f /usr/share/unifont/unifont_jp.hex ]; then
  echo "GNU Unifont is missing (scripts/install-deps installs it)"
  exit 77
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/cardprep-dev-test-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/card/Album"
"$font" --card "$work/card" /usr/share/unifont/unifont_jp.hex >"$work/font.log"
# Two songs: an ID3v2.3 title and four silent MPEG frames each.
python3 - "$work/card" <<'PY'
import struct, sys
for path, title in (("a.mp3", b"Alpha"), ("Album/b.mp3", b"Beta")):
    frame = b"\0" + title
    tag = b"TIT2" + struct.pack(">I", len(frame)) + b"\0\0" + frame
    size = bytes([len(tag) >> 21 & 0x7F, len(tag) >> 14 & 0x7F, len(tag) >> 7 & 0x7F, len(tag) & 0x7F])
    with open(sys.argv[1] + "/" + path, "wb") as f:
        f.write(b"ID3\3\0\0" + size + tag + (b"\xff\xfb\x90\x00" + bytes(413)) * 4)
PY

# In the namespace; no redirection there goes to /dev/null, which would
# make it where it is missing.
"${unshare[@]}" bash -s "$work" "$cardprep" "$view" "$font" "$replay" "$corpus" \
  >"$work/out.log" 2>&1 <<'SH' || { cat "$work/out.log" >&2; exit 1; }
set -euo pipefail
work=$1 cardprep=$2 view=$3 font=$4 replay=$5 corpus=$6
fail() { echo "$*" >&2; exit 1; }
touch "$work/null"
mount --bind /dev/null "$work/null"
mount -t tmpfs tmpfs /dev
touch /dev/null
mount --bind "$work/null" /dev/null
[ -c /dev/null ] || fail "the test cannot bind /dev/null"
cd "$work/card"

# With /dev/null there: every program, the dry run and an output named
# /dev/null among them.
"$cardprep" -q 2>"$work/run.err" || fail "cardprep: $(cat "$work/run.err")"
"$cardprep" -n -q 2>"$work/dry.err" || fail "cardprep -n: $(cat "$work/dry.err")"
"$view" --check >"$work/check.out" || fail "cardprep-view --check: $(cat "$work/check.out")"
if "$font" --zenkaku /dev/null /usr/share/unifont/unifont_jp.hex >"$work/font.out" 2>"$work/font.err"; then
  fail "cardprep-font wrote its font over /dev/null"
fi
grep -q "^error: cannot create /dev/null: a device stands there, which is never replaced" \
  "$work/font.err" || fail "cardprep-font: $(cat "$work/font.err")"
"$replay" "$corpus" >"$work/replay.out" 2>&1 || fail "fuzz replay: $(cat "$work/replay.out")"
[ "$(ls -A /dev)" = null ] || fail "left in /dev: $(ls -A /dev)"
[ -c /dev/null ] || fail "/dev/null is no longer a device"

# With nothing at /dev/null: nothing may make it.
umount /dev/null
rm /dev/null
"$cardprep" -q 2>"$work/run2.err" || true
"$cardprep" -n -q 2>"$work/dry2.err" || true
"$view" --check >"$work/check2.out" 2>&1 || true
"$replay" "$corpus" >"$work/replay2.out" 2>&1 || true
[ -z "$(ls -A /dev)" ] || fail "made in /dev while /dev/null was missing: $(ls -A /dev)"
grep -q "summary:" "$work/run2.err" || fail "cardprep did not run: $(cat "$work/run2.err")"
grep -q "summary: .*would be indexed" "$work/dry2.err" ||
  fail "the dry run did not run without /dev/null: $(cat "$work/dry2.err")"
SH
