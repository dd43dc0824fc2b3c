#!/usr/bin/env python3
"""Checks what the files of src/ (and the tools, tests, fuzz targets and
benchmarks) include, and where they ask which system they are built for.

  include_rooms_test.py SOURCE_DIR [CHECK...]   (every check when none is named)

rooms     Each room may include its own headers and those of the rooms below
          it in ROOMS, never one above: the arrows all run down, so they close
          no circle, and a low room never learns of a high one. The tools may
          include every room but app/, whose run is cardprep's alone; only
          cardprep-copy (tools/copy), which ends by indexing the card with
          that run, includes it.
units     No two units include each other, directly or through others. A unit
          is a header and the sources that implement it: name.h, name.cc and
          its twins named by their system (name_posix.cc, name_linux.cc,
          name_windows.cc). A unit that includes its includer cannot be read,
          tested or changed on its own.
platform  Only src/host/platform.h asks the compiler which system it builds
          for (_WIN32, __linux__, __MINGW32__...); the rest of src/host and
          the tests test its CARDPREP_WINDOWS, CARDPREP_POSIX and
          CARDPREP_LINUX, and include it where they do. Nothing above
          src/host (the other rooms, the tools, the fuzz targets, the
          benchmarks) tests a system at all: what differs by system is a host
          function.
"""
import collections
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

# Units that still include each other while they are being taken apart; the
# check fails once a pair no longer does, so that the list only shrinks.
# Empty: no two units include each other.
UNTANGLING = set()
UNIT_INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+/[^"/]+)\.h"', re.M)
TWIN = re.compile(r"_(posix|linux|windows)$")

# What the compilers define for a system, and what platform.h defines from it.
COMPILER_PLATFORM = re.compile(
    r"\b(_WIN32|_WIN64|__WIN32__|WIN32|_WINDOWS|__MINGW32__|__MINGW64__|__CYGWIN__|_MSC_VER"
    r"|__linux__|__linux|linux|__gnu_linux__|__unix__|__unix|__APPLE__|__MACH__"
    r"|__FreeBSD__|__NetBSD__|__OpenBSD__|__DragonFly__|__sun|__ANDROID__|_POSIX_VERSION)\b")
CONDITION = re.compile(r"^\s*#\s*(if|ifdef|ifndef|elif)\b(.*)$", re.M)
OWN_PLATFORM = re.compile(r"\bCARDPREP_(WINDOWS|POSIX|LINUX)\b")
PLATFORM_HEADER = "src/host/platform.h"
SOURCES = (".c", ".cc", ".h")


def check_rooms(source_dir):
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


def unit_of(path):
    """room/name of the unit |path| belongs to."""
    room, stem = path.parent.name, path.stem
    if path.suffix == ".cc" and not (path.parent / (stem + ".h")).exists():
        base = TWIN.sub("", stem)
        if (path.parent / (base + ".h")).exists():
            stem = base
    return f"{room}/{stem}"


def circles(edges):
    """The sets of units that reach each other (strongly connected, more
    than one unit), each sorted."""
    index, low, stack, on_stack, found = {}, {}, [], set(), []

    def visit(unit):
        index[unit] = low[unit] = len(index)
        stack.append(unit)
        on_stack.add(unit)
        for other in sorted(edges[unit]):
            if other not in index:
                visit(other)
                low[unit] = min(low[unit], low[other])
            elif other in on_stack:
                low[unit] = min(low[unit], index[other])
        if low[unit] == index[unit]:
            members = []
            while True:
                member = stack.pop()
                on_stack.discard(member)
                members.append(member)
                if member == unit:
                    break
            if len(members) > 1:
                found.append(sorted(members))

    for unit in sorted(edges):
        if unit not in index:
            visit(unit)
    return sorted(found)


def check_units(source_dir):
    edges = collections.defaultdict(set)
    why = {}  # (unit, other): the first file of |unit| that includes |other|
    for path in sorted((source_dir / "src").glob("*/*")):
        if path.suffix not in (".cc", ".h"):
            continue
        unit = unit_of(path)
        edges[unit]
        for other in UNIT_INCLUDE.findall(path.read_text(errors="replace")):
            if other != unit:
                edges[unit].add(other)
                why.setdefault((unit, other), path.relative_to(source_dir))
    wrong = []
    for a, b in sorted(UNTANGLING):
        if b not in edges[a] or a not in edges[b]:
            wrong.append(f"{a} and {b} no longer include each other: take them off UNTANGLING")
    # Two units at a time first, then circles through more units once those
    # pairs are left aside.
    pairs = sorted((a, b) for a in edges for b in edges[a] if a < b and a in edges[b])
    for a, b in pairs:
        if (a, b) not in UNTANGLING:
            wrong.append(f"units include each other: {a} and {b} ({why[(a, b)]} includes "
                         f"{b}.h; {why[(b, a)]} includes {a}.h)")
    for a, b in pairs:
        edges[a].discard(b)
        edges[b].discard(a)
    for members in circles(edges):
        circle = shortest_circle(edges, members)
        steps = [f"{why[(a, b)]} includes {b}.h" for a, b in zip(circle, circle[1:])]
        wrong.append(f"units include each other: {' -> '.join(circle)} ({'; '.join(steps)})")
    return wrong


def shortest_circle(edges, members):
    """The shortest way round among |members|: [a, b, ..., a]."""
    best = None
    for start in members:
        came_from = {start: None}
        queue = collections.deque([start])
        while queue:
            unit = queue.popleft()
            if start in edges[unit]:
                path = [unit]
                while came_from[path[-1]] is not None:
                    path.append(came_from[path[-1]])
                circle = path[::-1] + [start]
                if best is None or len(circle) < len(best):
                    best = circle
                break
            for other in sorted(edges[unit] & set(members)):
                if other not in came_from:
                    came_from[other] = unit
                    queue.append(other)
    return best


def code_of(text):
    """|text| without its // and /* */ comments."""
    text = re.sub(r"/\*.*?\*/", " ", text, flags=re.S)
    return re.sub(r"//[^\n]*", "", text)


def check_platform(source_dir):
    wrong = []
    files = []
    for top in ("src", "tools", "fuzz", "bench", "tests"):
        files += sorted(p for p in (source_dir / top).rglob("*") if p.suffix in SOURCES)
    for path in files:
        name = path.relative_to(source_dir).as_posix()
        if name == PLATFORM_HEADER:
            continue
        code = code_of(path.read_text(errors="replace"))
        above_host = name.split("/")[0] in ("src", "tools", "fuzz", "bench") and \
            not name.startswith("src/host/")
        asked = sorted({macro for _, condition in CONDITION.findall(code)
                        for macro in COMPILER_PLATFORM.findall(condition)})
        tested = sorted(f"CARDPREP_{macro}" for macro in set(OWN_PLATFORM.findall(code)))
        if above_host and (asked or tested):
            wrong.append(f"{name} tests the system ({', '.join(asked + tested)}) above src/host: "
                         f"make what differs a host function")
        elif asked:
            wrong.append(f"{name} asks the compiler for {', '.join(asked)}: test "
                         f"{PLATFORM_HEADER}'s CARDPREP_ names instead")
        elif tested and '#include "host/platform.h"' not in code:
            wrong.append(f"{name} tests {', '.join(tested)} without including host/platform.h, "
                         f"where it reads as 0")
    return wrong


CHECKS = {"rooms": check_rooms, "units": check_units, "platform": check_platform}


def main():
    source_dir = pathlib.Path(sys.argv[1])
    names = sys.argv[2:] or list(CHECKS)
    wrong = []
    for name in names:
        wrong += CHECKS[name](source_dir)
    for line in wrong:
        print("FAIL: " + line, file=sys.stderr)
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())
