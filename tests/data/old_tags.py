#!/usr/bin/python3
"""Writes MP3 titles as tag writers of the 2000s stored them: the bytes of a
code page in text that declares (or, for ID3v1, implies) ISO-8859-1.

usage: old_tags.py FILE FORMAT ENCODING TITLE
       old_tags.py --batch     (the four fields a line, tab-separated, on
                                standard input)
  FILE      an MP3 file to tag; made (a few frames of silence) when missing
  FORMAT    v1    ID3v1.1, appended to the file (an old one replaced); a
                  title over 30 bytes is cut at byte 30, as old writers did,
                  even inside a character
            v2.2  ID3v2.2, a TT2 frame with encoding byte 0 (built by hand:
                  no writer makes v2.2 now)
            v2.3  ID3v2.3, a TIT2 frame with encoding byte 0 (mutagen)
            v2.4  ID3v2.4, the same
  ENCODING  cp932 or cp1252: TITLE (UTF-8) is written in that code page;
            latin1: as ISO-8859-1; hex: TITLE is the bytes in hex, written
            as they are (for sequences no code page defines)

An ID3v2 tag replaces the file's ID3v2 tag and keeps its ID3v1 tag, and an
ID3v1 tag keeps its ID3v2 tag, so a file can carry both.

  old_tags.py song.mp3 v1 cp932 '夜明けの歌'
  old_tags.py song.mp3 v2.3 cp1252 'Don’t Stop'
  old_tags.py song.mp3 v2.2 hex 82b382ad82e7
"""
import os
import struct
import sys

from mutagen.id3 import ID3, TIT2, Encoding

# MPEG-1 Layer III, 128 kbit/s, 44.1 kHz, mono: 417 bytes a frame. Zero side
# information and main data decode as silence.
_FRAME = b"\xff\xfb\x90\xc4" + bytes(417 - 4)


def title_bytes(encoding, title):
    if encoding == "hex":
        return bytes.fromhex(title)
    return title.encode({"cp932": "cp932", "cp1252": "cp1252", "latin1": "latin-1"}[encoding])


def split_tags(data):
    """Returns (ID3v2 tag, audio, ID3v1 tag) of a file's bytes."""
    v2 = b""
    if data[:3] == b"ID3" and len(data) >= 10:
        size = 0
        for b in data[6:10]:
            size = size << 7 | (b & 0x7F)
        v2, data = data[:10 + size], data[10 + size:]
    v1 = b""
    if len(data) >= 128 and data[-128:-125] == b"TAG":
        data, v1 = data[:-128], data[-128:]
    return v2, data, v1


def id3v1(raw):
    def field(value, size):
        return value[:size] + bytes(size - len(value[:size]))
    return (b"TAG" + field(raw, 30) + field(b"", 30) + field(b"", 30) + b"2003" +
            field(b"", 28) + b"\0" + b"\x01" + b"\xff")  # track 1, no genre


def syncsafe(n):
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])


def id3v22(raw):
    body = b"\x00" + raw  # encoding 0: ISO-8859-1
    frame = b"TT2" + struct.pack(">I", len(body))[1:] + body
    return b"ID3\x02\x00\x00" + syncsafe(len(frame)) + frame


def main():
    if sys.argv[1:] == ["--batch"]:
        # One file a line on standard input: FILE, FORMAT, ENCODING and TITLE
        # separated by tabs, so that a whole card costs one interpreter.
        for line in sys.stdin:
            if line.strip():
                write(*line.rstrip("\n").split("\t"))
        return
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    write(*sys.argv[1:])


def write(path, form, encoding, title):
    raw = title_bytes(encoding, title)
    if not os.path.exists(path):
        with open(path, "wb") as f:
            f.write(_FRAME * 10)
    with open(path, "rb") as f:
        v2, audio, v1 = split_tags(f.read())

    if form == "v1":
        v1 = id3v1(raw)
    elif form == "v2.2":
        v2 = id3v22(raw)
    elif form in ("v2.3", "v2.4"):
        with open(path, "wb") as f:
            f.write(audio)
        tags = ID3()
        # Mutagen writes ISO-8859-1 text byte for byte: each byte of the
        # code page becomes one Latin-1 character.
        tags.add(TIT2(encoding=Encoding.LATIN1, text=[raw.decode("latin-1")]))
        tags.save(path, v2_version=int(form[-1]), v1=0)
        with open(path, "rb") as f:
            v2, audio, _ = split_tags(f.read())
    else:
        sys.exit("old_tags.py: FORMAT must be v1, v2.2, v2.3 or v2.4")
    with open(path, "wb") as f:
        f.write(v2 + audio + v1)


if __name__ == "__main__":
    main()
