#!/usr/bin/python3
"""What a Windows user meets first, with the zip's programs under Wine.

usage: first_contact_test.py readme ZIP
         unzips ZIP as README-windows.txt says (Extract All: a folder named
         as the zip), then runs every command the README gives (its lines
         indented by six spaces), in its order, in cmd.exe in that folder,
         with drive E: a card of music without fonts: each must end with
         status 0 and no error, and the card must end up indexed
       first_contact_test.py desktop ZIP
         starts each program as Explorer does (alone on a console of its
         own) in the unzipped folder, where there is no card: each must say
         what to do, then wait for a key before its window closes, and
         write nothing there

Runs under the Wine prefix scripts/windows makes (WINEPREFIX); drive E: is
mapped in it to the test's card for the test's length only.
"""
import gzip
import os
import re
import shutil
import subprocess
import sys
import tempfile
import zipfile

COMMAND_INDENT = " " * 6
# The index a run writes in the card's root.
INDEX = ["DIRLST16.DAT", "SNDLST16.DAT", "RANDOM16.DAT", "MSGSTR16.DAT", "TAGINF16.TXT"]
UNIFONT = "/usr/share/unifont/unifont_jp.hex"


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def unzip(zip_path, into):
    """Extract All: the zip's own top folder lands in |into|."""
    with zipfile.ZipFile(zip_path) as z:
        z.extractall(into)
    folder = os.path.join(into, os.path.basename(zip_path)[: -len(".zip")])
    if not os.path.isdir(folder):
        fail("the zip does not unpack to a folder named as the zip: " + str(os.listdir(into)))
    return folder


def readme_commands(folder):
    with open(os.path.join(folder, "README-windows.txt"), "rb") as f:
        text = f.read().decode("utf-8")
    if "\r\n" not in text or "\n" in text.replace("\r\n", ""):
        fail("README-windows.txt does not end its lines in CR LF")
    commands = [line[len(COMMAND_INDENT):] for line in text.split("\r\n")
                if line.startswith(COMMAND_INDENT) and line[len(COMMAND_INDENT)] != " "]
    if not commands:
        fail("README-windows.txt gives no command")
    for name in re.findall(r"\bcardprep-[0-9.]+-win64\b", text):
        if name != os.path.basename(folder):
            fail("README-windows.txt names the folder %s, but the zip unpacks to %s"
                 % (name, os.path.basename(folder)))
    return commands


def silent_mp3(path):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    raw = path + ".raw"
    with open(raw, "wb") as f:
        f.write(bytes(4410 * 2))
    subprocess.run(["lame", "--silent", "-r", "-s", "44.1", "--bitwidth", "16", "-m", "m",
                    raw, path], check=True, capture_output=True)
    os.remove(raw)


class DriveE:
    """Drive E: of the Wine prefix names |card| while the object lives."""

    def __init__(self, card):
        self.link = os.path.join(os.environ["WINEPREFIX"], "dosdevices", "e:")
        self.card = card

    def __enter__(self):
        self.before = os.readlink(self.link) if os.path.islink(self.link) else None
        if self.before is not None:
            os.remove(self.link)
        os.symlink(self.card, self.link)
        return self

    def __exit__(self, *_):
        os.remove(self.link)
        if self.before is not None:
            os.symlink(self.before, self.link)


def wine_cmd(folder, command):
    """Runs |command| as typed at cmd.exe's prompt in |folder|."""
    script = os.path.join(folder, "..", "typed.bat")
    with open(script, "wb") as f:
        f.write(("@%s\r\n@exit /b %%ERRORLEVEL%%\r\n" % command).encode("utf-8"))
    run = subprocess.run(["wine", "cmd", "/c", script], cwd=folder, capture_output=True,
                         timeout=120)
    os.remove(script)
    return run


def test_readme(zip_path):
    with tempfile.TemporaryDirectory() as scratch:
        downloads = os.path.join(scratch, "Downloads")
        os.makedirs(downloads)
        folder = unzip(zip_path, downloads)
        unzipped = set(os.listdir(folder))
        commands = readme_commands(folder)
        card = os.path.join(scratch, "card")
        for song in ["Album/1.mp3", "Album/2.mp3", "Podcasts/Show/1.mp3", "Podcasts/Show/2.mp3"]:
            silent_mp3(os.path.join(card, song))
        # A font file the README's commands name, as the user downloaded it.
        for command in commands:
            for word in command.split():
                if word.endswith(".hex.gz"):
                    with open(UNIFONT, "rb") as src, gzip.open(os.path.join(folder, word), "wb") as dst:
                        shutil.copyfileobj(src, dst)
        with DriveE(card):
            for command in commands:
                run = wine_cmd(folder, command)
                err = run.stderr.decode("utf-8", "replace")
                out = run.stdout.decode("utf-8", "replace")
                print("> %s (status %d)\n%s" % (command, run.returncode, err))
                if run.returncode != 0 and out:
                    print("its output:\n%s" % out)
                if run.returncode != 0 or "error: " in err:
                    fail("the README's command '%s' failed" % command)
        for name in INDEX + ["_FONT/RIZOZ16I.DAZ", "_FONT/MYRCH16B.FNT"]:
            if not os.path.isfile(os.path.join(card, name)):
                fail("after the README's commands the card lacks " + name)
        left = sorted(set(os.listdir(folder)) - unzipped - {w for c in commands
                                                            for w in c.split()})
        if left:
            fail("the README's commands wrote into the unzipped folder: %s" % left)


ESCAPES = re.compile(r"\x1b\[[0-9;?]*[A-Za-z]")


def on_own_console(program, folder):
    """|program| started alone on a console of its own, as Explorer starts a
    double-clicked program; a key is pressed after a while. Its console's
    text, escapes and line ends left out."""
    line = "stty cols 1000; wine %s" % os.path.join(folder, program)
    keys = subprocess.Popen(["sh", "-c", "sleep 6; printf x"], stdout=subprocess.PIPE)
    run = subprocess.run(["script", "-qec", line, "/dev/null"], cwd=folder,
                         stdin=keys.stdout, capture_output=True, timeout=60)
    keys.wait()
    text = run.stdout.decode("utf-8", "replace")
    # The console moves the cursor over a space rather than writing it.
    text = re.sub(r"\x1b\[([0-9]*)C", lambda m: " " * int(m.group(1) or 1), text)
    text = ESCAPES.sub("", text)
    return run.returncode, text.replace("\r", "").replace("\n", "")


def test_desktop(zip_path):
    with tempfile.TemporaryDirectory() as scratch:
        folder = unzip(zip_path, scratch)
        before = sorted(os.listdir(folder))
        said = {
            "cardprep.exe": "copy cardprep.exe and the _FONT folder to the card's root and "
                            "double-click it there, or drop the card's drive on cardprep.exe",
            "cardprep-view.exe": "copy cardprep-view.exe to the card's root and double-click "
                                 "it there, or drop the card's drive on cardprep-view.exe",
            "cardprep-copy.exe": "cardprep-copy copies music onto a card: drop an album's "
                                 "folder on cardprep-copy.exe on the card, or run it in a "
                                 "Command Prompt.",
            "cardprep-font.exe": "cardprep-font makes a card's fonts from a font file; it runs "
                                 "in a Command Prompt.",
        }
        for program, advice in said.items():
            status, text = on_own_console(program, folder)
            print("%s (status %d):\n%s\n" % (program, status, text))
            squeezed = re.sub(r"\s+", " ", text)
            if advice not in squeezed:
                fail("%s started from the desktop does not say: %s" % (program, advice))
            if "Press any key to close this window." not in squeezed:
                fail("%s started from the desktop does not wait for a key" % program)
        if sorted(os.listdir(folder)) != before:
            fail("programs started from the desktop wrote into the unzipped folder: %s"
                 % sorted(set(os.listdir(folder)) - set(before)))


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("readme", "desktop"):
        print(__doc__)
        return 2
    {"readme": test_readme, "desktop": test_desktop}[sys.argv[1]](sys.argv[2])
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
