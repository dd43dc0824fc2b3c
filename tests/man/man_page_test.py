#!/usr/bin/env python3
"""Checks a program's manual page against the program and the formatters.

  man_page_test.py options PROGRAM PAGE
      The options PROGRAM --help lists (in its usage lines and option
      table) are the ones PAGE's OPTIONS section describes, no more and no
      fewer.
  man_page_test.py lint PAGE
      mandoc -Tlint and groff -ww (what man -l runs) format PAGE without a
      single message.
  man_page_test.py version PROGRAM PAGE
      PAGE's title line names the version PROGRAM --version prints, as
      "cardprep VERSION" in its source field.
"""
import re
import shutil
import subprocess
import sys

OPTION = re.compile(r"(?<![\w-])(--?[A-Za-z][\w-]*)")


def fail(message):
    print("FAIL: " + message, file=sys.stderr)
    sys.exit(1)


def help_options(program):
    """The options in the usage lines and in the option table of --help."""
    run = subprocess.run([program, "--help"], capture_output=True, text=True)
    if run.returncode != 0:
        fail(f"{program} --help exits {run.returncode}")
    options = set()
    in_usage = False
    for line in run.stdout.splitlines():
        if line.startswith("usage:"):
            in_usage = True
        elif not line.startswith(" "):
            in_usage = False
        if in_usage:
            options.update(OPTION.findall(line))
        else:
            # An option table row: "  -h, --help   ...", "  --card DIR   ...".
            row = re.match(r"\s+(-[^\s,]+(?:,\s+-[^\s,]+)*)", line)
            if row:
                options.update(OPTION.findall(row.group(1)))
    if not options:
        fail(f"{program} --help lists no options")
    return options


def plain_text(page_source):
    """The page's words without font changes, with roff's escaped hyphens."""
    text = re.sub(r"\\f(\[[^]]*\]|\(..|.)", "", page_source)
    text = text.replace(r"\-", "-").replace(r"\&", "")
    return text


def page_option_items(text):
    """The options that begin the tagged paragraphs of the OPTIONS section."""
    section = re.search(r"^\.SH OPTIONS\n(.*?)(?=^\.SH )", text, re.M | re.S)
    if not section:
        fail("the page has no OPTIONS section")
    options = set()
    lines = section.group(1).splitlines()
    for tag_macro, tag in zip(lines, lines[1:]):
        if tag_macro.startswith(".TP") and re.match(r"\.[BIR]+\s+-", tag):
            options.update(OPTION.findall(tag))
    return options


def check_options(program, page):
    text = plain_text(open(page, encoding="ascii").read())
    listed = help_options(program)
    described = page_option_items(text)
    missing = sorted(listed - described)
    if missing:
        fail(f"{page} does not describe {', '.join(missing)} from {program} --help")
    unknown = sorted(described - listed)
    if unknown:
        fail(f"{page} describes {', '.join(unknown)}, which {program} --help does not list")
    print(f"{program}: --help and the page agree on {', '.join(sorted(listed))}")


def check_lint(page):
    for tool in ("mandoc", "groff"):
        if shutil.which(tool) is None:
            fail(f"{tool} is missing (scripts/install-deps installs it)")
    runs = {
        "mandoc -Tlint": ["mandoc", "-Tlint", "-Wstyle", page],
        "groff -ww": ["groff", "-ww", "-man", "-Tutf8", "-z", page],
    }
    for name, command in runs.items():
        run = subprocess.run(command, capture_output=True, text=True)
        messages = (run.stdout + run.stderr).strip()
        if run.returncode != 0 or messages:
            fail(f"{name} {page} (exit {run.returncode}):\n{messages}")
    print(f"{page}: no messages from mandoc -Tlint or groff -ww")


def check_version(program, page):
    run = subprocess.run([program, "--version"], capture_output=True, text=True)
    version = run.stdout.split()[-1] if run.returncode == 0 and run.stdout.split() else None
    if version is None:
        fail(f"{program} --version exits {run.returncode} with '{run.stdout.strip()}'")
    title = re.search(r'^\.TH \S+ \S+ \S+ "([^"]*)"', open(page, encoding="ascii").read(), re.M)
    if not title:
        fail(f"{page} has no .TH line with a source field")
    if title.group(1) != "cardprep " + version:
        fail(f"{page} says '{title.group(1)}', but {program} is version {version}")
    print(f"{page}: cardprep {version}, as {program} --version says")


def main(argv):
    if len(argv) == 4 and argv[1] == "options":
        check_options(argv[2], argv[3])
    elif len(argv) == 4 and argv[1] == "version":
        check_version(argv[2], argv[3])
    elif len(argv) == 3 and argv[1] == "lint":
        check_lint(argv[2])
    else:
        fail(__doc__)


if __name__ == "__main__":
    main(sys.argv)
