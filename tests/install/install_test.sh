#!/usr/bin/env bash
# Installs the build into a fresh prefix with `cmake --install` and runs the
# installed programs from there, away from the source tree: exactly the
# four programs, their pages and the three documents are installed, in the
# usual places, each program says the project's version and so does the
# changelog, and together they index a small card.
set -euo pipefail
build_dir=$1 version=$2 revision=$3
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build_dir" --prefix "$prefix/usr" >/dev/null

programs=(cardprep cardprep-font cardprep-view cardprep-copy)
expected=""
for program in "${programs[@]}"; do
  expected+="usr/bin/$program"$'\n'"usr/share/man/man1/$program.1.gz"$'\n'
done
for document in README.md copyright changelog.Debian.gz; do
  expected+="usr/share/doc/cardprep/$document"$'\n'
done
installed=$(cd "$prefix" && find . ! -type d | sed 's|^\./||' | sort)
[ "$installed" = "$(sort <<<"${expected%$'\n'}")" ] ||
  fail "installed files differ from the programs, pages and documents:"$'\n'"$installed"
first=$(gzip -dc "$prefix/usr/share/doc/cardprep/changelog.Debian.gz" | head -n 1)
[[ "$first" == "cardprep ($version-$revision) "* ]] ||
  fail "the changelog begins '$first', not with cardprep ($version-$revision)"

card=$prefix/card
mkdir -p "$card/Album" "$card/Podcasts"
cd "$card"
for program in "${programs[@]}"; do
  bin=$prefix/usr/bin/$program
  [ -x "$bin" ] || fail "$program is not executable"
  got=$("$bin" --version) || fail "$program --version exits $?"
  [ "$got" = "$program $version" ] || fail "$program --version says '$got', not '$program $version'"
  help=$("$bin" --help) || fail "$program --help exits $?"
  [[ "$help" == "usage: $program "* ]] || fail "$program --help does not begin with its usage"
  gzip -t "$prefix/usr/share/man/man1/$program.1.gz" || fail "$program.1.gz is not gzip"
  if command -v man >/dev/null; then
    page=$(MANPATH=$prefix/usr/share/man man -w "$program") || fail "man finds no $program page"
    [ "$page" = "$prefix/usr/share/man/man1/$program.1.gz" ] || fail "man -w $program: $page"
  fi
done

# The installed programs need nothing from the build or the source tree.
unifont=/usr/share/unifont/unifont_jp.hex
if [ ! -f "$unifont" ]; then
  echo "installed; $unifont missing, so no card is indexed"
  exit 0
fi
: >"$card/Album/01 One.mp3"
: >"$card/Podcasts/Episode 1.mp3"
"$prefix/usr/bin/cardprep-font" --card "$card" "$unifont" >/dev/null ||
  fail "cardprep-font exits $?"
"$prefix/usr/bin/cardprep" /Podcasts >stdout 2>stderr || fail "cardprep exits $?"
grep -qx "summary: 2 sounds in 2 folders indexed" stderr ||
  fail "cardprep: $(cat stderr)"
"$prefix/usr/bin/cardprep-view" --check >check || fail "cardprep-view: $(cat check)"
echo "installed into $prefix/usr, and the installed programs index a card"
