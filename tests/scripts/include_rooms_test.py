#!/usr/bin/env python3
"""Checks which rooms of src/ (and the tools) include which.

  include_rooms_test.py SOURCE_DIR

Each room may include its own headers and those of the rooms below it in
ROOMS, never one above: the arrows all run down, so they close no circle,
and a low room never learns of a high one. The tools may include every room
but app/, whose run is cardprep's alone; only cardprep-copy (tools/copy),
which ends by indexing the card with that run, includes it.
"""
import pathlib
import re
import sys

# room: the rooms it may include besides its own, lowest rooms first.
ROOMS = {
    "bytes": set(),
    "host": {"bytes"},
    "text": {"host"},
    "options": {"host"},
    "font": {"bytes", "host", "text"},
    "titles": {"bytes", "host", "text"},
    "report": {"font", "host"},
    "catalog": {"font", "host", "report", "text", "titles"},
    "index": {"bytes", "catalog", "font", "host", "report", "text", "titles"},
    "app": {"bytes", "catalog", "font", "host", "index", "options", "report", "text", "titles"},
    "copy": {"bytes", "catalog", "host", "text"},
}
TOOLS = set(ROOMS) - {"app"}
# The tools that may include app/ as well.
TOOLS_WITH_APP = {"copy"}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/', re.M)


def check(source_dir):
    wrong = []
    files = sorted((source_dir / "src").glob("*/*")) + sorted((source_dir / "tools").glob("*/*"))
    for path in files:
        if path.suffix not in (".cc", ".h"):
            continue
        part, room = path.parts[-3], path.parts[-2]
        if part == "src" and room not in ROOMS:
            wrong.append(f"{path}: src/{room} is not a known room")
            continue
        if part == "src":
            allowed = ROOMS[room] | {room}
        else:
            allowed = TOOLS | {"tools"} | ({"app"} if room in TOOLS_WITH_APP else set())
        for included in INCLUDE.findall(path.read_text(errors="replace")):
            if included not in allowed:
                wrong.append(f"{path.relative_to(source_dir)} includes {included}/")
    return wrong


def main():
    wrong = check(pathlib.Path(sys.argv[1]))
    for line in wrong:
        print("FAIL: " + line, file=sys.stderr)
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())
