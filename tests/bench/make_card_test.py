#!/usr/bin/python3
"""Checks that bench/make_card makes the card it promises.

    make_card_test.py MAKE_CARD FLOOR_WALK ID3TAG_WALK

Makes a 30-file card and reads it back three ways: libid3tag (id3tag_walk
--list: titles and cover art), the floor walk (floor_walk --list: which tag
each file starts or ends with) and the bytes themselves (tag and frame
sizes, text encodings, MPEG frames after the tag). Then makes it again to
check that a seed gives the same card.
"""

import hashlib
import os
import subprocess
import sys
import tempfile

MAKE_CARD, FLOOR_WALK, ID3TAG_WALK = sys.argv[1:4]
FILES = 30
SEED = 7
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def make(out_dir, seed):
    manifest = out_dir + ".tsv"
    subprocess.run([MAKE_CARD, out_dir, "--files", str(FILES), "--seed", str(seed),
                    "--manifest", manifest], check=True, stdout=subprocess.DEVNULL)
    with open(manifest, encoding="utf-8") as f:
        header, *rows = [line.rstrip("\n").split("\t") for line in f]
    return {row[0]: dict(zip(header, row)) for row in rows}


def walk_list(program, card):
    done = subprocess.run([program, "--list"], cwd=card, capture_output=True)
    if done.returncode != 0:
        sys.stderr.write(done.stderr.decode(errors="replace"))
        raise SystemExit("%s --list failed with status %d" % (program, done.returncode))
    rows = [line.split("\t") for line in done.stdout.decode("utf-8").splitlines()]
    return {row[0]: row[1:] for row in rows}


def syncsafe(b):
    check(all(x < 0x80 for x in b), "syncsafe size with a high bit")
    return b[0] << 21 | b[1] << 14 | b[2] << 7 | b[3]


# Encoding byte and start of TIT2's text for each manifest encoding.
TEXT_START = {"latin1": (0, b""), "utf16": (1, b"\xff\xfe"), "utf16bom-be": (1, b"\xfe\xff"),
              "utf16be": (2, b""), "utf8": (3, b"")}
ENCODERS = {"latin1": "latin-1", "utf16": "utf-16-le", "utf16bom-be": "utf-16-be",
            "utf16be": "utf-16-be", "utf8": "utf-8"}


def check_bytes(path, row):
    with open(path, "rb") as f:
        data = f.read()
    kind = row["kind"]
    audio = 0
    if kind.startswith("v2"):
        version = 3 if kind.startswith("v2.3") else 4
        check(data[:5] == b"ID3" + bytes([version, 0]), "%s: ID3v2.%d header" % (path, version))
        end = 10 + syncsafe(data[6:10])
        pos = 10
        frames = {}
        while pos < end and data[pos] != 0:
            size_bytes = data[pos + 4:pos + 8]
            size = syncsafe(size_bytes) if version == 4 else int.from_bytes(size_bytes, "big")
            frames[data[pos:pos + 4].decode("ascii", "replace")] = data[pos + 10:pos + 10 + size]
            pos += 10 + size
        check(pos <= end and not any(data[pos:end]), "%s: frames overrun the tag" % path)
        check(["TIT2", "TPE1", "TALB", "TRCK"] == list(frames)[:4], "%s: frames %s" % (path, list(frames)))
        code, start = TEXT_START[row["encoding"]]
        expected = bytes([code]) + start + row["title"].encode(ENCODERS[row["encoding"]])
        check(frames.get("TIT2", b"").rstrip(b"\0") == expected.rstrip(b"\0"),
              "%s: TIT2 bytes %r" % (path, frames.get("TIT2", b"")[:40]))
        check(("APIC" in frames) == (row["art"] != "0"), "%s: APIC frame" % path)
        audio = end
    check(data[audio:audio + 2] == b"\xff\xfb", "%s: no MPEG frame after the tag" % path)
    has_v1 = len(data) >= 128 and data[-128:-125] == b"TAG"
    check(has_v1 == kind.endswith("v1"), "%s: ID3v1 tag %s" % (path, has_v1))
    audio_end = len(data) - (128 if has_v1 else 0)
    check(5 * 417 <= audio_end - audio <= 12 * 418, "%s: %d bytes of audio" % (path, audio_end - audio))


def main():
    with tempfile.TemporaryDirectory() as tmp:
        card = os.path.join(tmp, "card")
        manifest = make(card, SEED)
        check(len(manifest) == FILES, "manifest lists %d files" % len(manifest))
        titles = walk_list(ID3TAG_WALK, card)
        kinds = walk_list(FLOOR_WALK, card)
        check(set(titles) == set(manifest) == set(kinds), "walks found other files than made")

        for path, row in sorted(manifest.items()):
            kind = row["kind"]
            floor_kind = kind.split("+")[0] if kind.startswith("v2") else kind
            check(kinds.get(path, [""])[0] == floor_kind, "%s: floor walk saw %s" % (path, kinds.get(path)))
            if kind == "v1":  # ID3v1 bytes as libid3tag reads them: Latin-1, spaces cut
                expected_title = bytes.fromhex(row["v1_title_hex"]).decode("latin-1").rstrip(" ")
            else:
                expected_title = "" if kind == "none" else row["title"]
            art = int(row["art"]) or -1
            check(titles.get(path) == [expected_title, str(art)],
                  "%s: libid3tag read %s, expected %r, %d" % (path, titles.get(path), expected_title, art))
            check_bytes(os.path.join(card, path), row)

        # The promised mix, which the decks guarantee in any 20 files.
        made_kinds = {row["kind"] for row in manifest.values()}
        check(made_kinds == {"v2.3", "v2.4", "v2.3+v1", "v2.4+v1", "v1", "none"}, "kinds %s" % made_kinds)
        with_art = sum(row["art"] != "0" for row in manifest.values())
        check(FILES // 4 <= with_art <= FILES // 2, "%d files with cover art" % with_art)
        encodings = {(row["kind"][:4], row["encoding"]) for row in manifest.values()}
        for needed in [("v2.3", "latin1"), ("v2.3", "utf16"), ("v2.4", "utf8")]:
            check(needed in encodings, "no %s %s tag" % needed)
        check(any(ord(c) >= 0x3040 for path in manifest for c in path), "no Japanese name")
        check(any(path.endswith(".MP3") for path in manifest), "no upper-case .MP3 name")

        # Same seed, same card; another seed, another card.
        def digest(root):
            h = hashlib.sha256()
            for base, dirs, files in sorted(os.walk(root)):
                dirs.sort()
                for name in sorted(files):
                    if not name.startswith("WALK"):
                        h.update(os.path.relpath(os.path.join(base, name), root).encode())
                        with open(os.path.join(base, name), "rb") as f:
                            h.update(f.read())
            return h.hexdigest()
        make(os.path.join(tmp, "again"), SEED)
        make(os.path.join(tmp, "other"), SEED + 1)
        check(digest(card) == digest(os.path.join(tmp, "again")), "same seed made another card")
        check(digest(card) != digest(os.path.join(tmp, "other")), "another seed made the same card")

    for failure in failures:
        print("FAIL:", failure)
    print("make_card_test: %d checks failed" % len(failures) if failures else "make_card_test: ok")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
