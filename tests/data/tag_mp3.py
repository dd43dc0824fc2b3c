#!/usr/bin/python3
"""Writes an ID3v2 title tag onto an existing file with mutagen.

usage: tag_mp3.py FILE VERSION ENCODING TITLE...
  VERSION   3 or 4 (ID3v2.3 or ID3v2.4)
  ENCODING  latin1, utf16, utf16be or utf8
  TITLE     one or more strings of the TIT2 frame
"""
import sys

from mutagen.id3 import ID3, TIT2, Encoding

ENCODINGS = {
    "latin1": Encoding.LATIN1,
    "utf16": Encoding.UTF16,
    "utf16be": Encoding.UTF16BE,
    "utf8": Encoding.UTF8,
}

def main():
    path, version, encoding, titles = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4:]
    tags = ID3()
    tags.add(TIT2(encoding=ENCODINGS[encoding], text=titles))
    # v23_sep=None keeps several strings apart in ID3v2.3 instead of joining them.
    tags.save(path, v2_version=version, v23_sep=None)

if __name__ == "__main__":
    main()
