#!/usr/bin/env bash
# The demo's path: a sample card made by scripts/make-sample-card, fonts
# from Unifont, and a run that writes all five files with every song listed.
set -euo pipefail
source_dir=$1 cardprep=$2 cardprep_font=$3
card=$(mktemp -d)
trap 'rm -rf "$card"' EXIT

"$source_dir/scripts/make-sample-card" "$card" >/dev/null
"$cardprep_font" --card "$card" /usr/share/unifont/unifont_jp.hex >/dev/null
cd "$card"
"$cardprep" /Podcasts >stdout 2>stderr

fail() { echo "FAIL: $*" >&2; exit 1; }
for f in DIRLST16.DAT SNDLST16.DAT RANDOM16.DAT MSGSTR16.DAT TAGINF16.TXT; do
  [ -s "$f" ] || fail "$f missing or empty"
done
grep -q "^summary: 10 sounds in 5 folders indexed$" stderr || fail "warnings: $(cat stderr)"
songs=$(find . -name '*.mp3' | wc -l)
[ "$(stat -c %s SNDLST16.DAT)" -eq $((songs * 1120)) ] || fail "not one record per song"
[ "$(tr -cd '\n' < TAGINF16.TXT | wc -c)" -eq "$songs" ] || fail "not one listing line per song"
grep -q "InitFont OK" stdout || fail "fonts did not load: $(head -3 stdout)"
! grep -q "フォントデータ見つからない" stdout || fail "glyphs missing: $(grep -m3 見つからない stdout)"
listing=$(iconv -f CP932 -t UTF-8 TAGINF16.TXT)
grep -q "夜明けの歌" <<<"$listing" || fail "Japanese title not listed"
echo "sample card: $songs songs indexed"
