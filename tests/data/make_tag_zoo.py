#!/usr/bin/python3
"""Writes MP3 files whose tags cover the ways a title can be found.

usage: make_tag_zoo.py DIR

Two kinds of file, each named for what it holds:
  crafted-*  tags built byte by byte: where the tag library looks for tags
             (ID3v1, ID3v2 at the start, SEEK frames, appended tags with a
             footer, update tags, overlaps), and the frame and header
             layouts a reader has to walk (extended headers, CRCs,
             unsynchronisation, frame flags, broken frames);
  writer-*   tags written by real tag writers (mutagen, lame, id3v2) with
             cover art, lyrics, comments and the other frames they write.
The second kind needs lame, mutagen and id3v2.
"""
import os
import struct
import subprocess
import sys
import tempfile
import wave
import zlib

AUDIO = (b"\xff\xfb\x90\x64" + bytes(413)) * 6  # six silent MPEG-1 layer III frames


def syncsafe(n):
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])


def tag(version, body, flags=0, revision=0):
    return b"ID3" + bytes([version, revision, flags]) + syncsafe(len(body)) + body


def footer(version, body, flags=0):
    return b"3DI" + bytes([version, 0, flags | 0x10]) + syncsafe(len(body))


def appended(body, flags=0):
    """An ID3v2.4 tag with a footer, as appended at the end of a file."""
    return tag(4, body, flags | 0x10) + footer(4, body, flags)


def f24(fid, data, flags=0):
    return fid + syncsafe(len(data)) + struct.pack(">H", flags) + data


def f23(fid, data, flags=0):
    return fid + struct.pack(">IH", len(data), flags) + data


def f22(fid, data):
    return fid + struct.pack(">I", len(data))[1:] + data


def text(s, encoding=0):
    codec = {0: "latin-1", 1: "utf-16", 2: "utf-16-be", 3: "utf-8"}[encoding]
    return bytes([encoding]) + s.encode(codec)


def v1(title, comment=b""):
    return (b"TAG" + title.ljust(30, b"\0") + b"Artist".ljust(30, b"\0") +
            b"Album".ljust(30, b"\0") + b"1999" + comment.ljust(30, b"\0") + b"\x0c")


def picture(mime=b"image/jpeg", kind=3, size=3000, encoding=0):
    return bytes([encoding]) + mime + b"\0" + bytes([kind]) + b"cover\0" + bytes(
        (i * 7) & 0xFF for i in range(size))


def unsynchronise(data):
    out = bytearray()
    for i, b in enumerate(data):
        out.append(b)
        if b == 0xFF and (i + 1 == len(data) or data[i + 1] == 0 or data[i + 1] >= 0xE0):
            out.append(0)
    return bytes(out)


def ext24(flags, data=b""):
    """An ID3v2.4 extended header: size, one flag byte, then the flags' data."""
    body = b"\x01" + bytes([flags]) + data
    return syncsafe(4 + len(body)) + body


TITLE = f24(b"TIT2", text("Title"))
OTHER = f24(b"TPE1", text("Artist")) + f24(b"TALB", text("Album"))
PICTURE = f24(b"APIC", picture())
CRAFTED = {
    # Where tags are found and how they are merged.
    "v1-only": AUDIO + v1(b"Version one"),
    "v1-track": AUDIO + v1(b"Track eleven", b"comment".ljust(28, b"\0") + b"\0\x0b"),
    "v24-and-v1": tag(4, TITLE + OTHER) + AUDIO + v1(b"Loses"),
    "v23-without-title-and-v1": tag(3, f23(b"TPE1", text("A"))) + AUDIO + v1(b"Cleared"),
    "v24-broken-and-v1": tag(4, TITLE + b"TALB" + syncsafe(2) + b"\0\0") + AUDIO + v1(b"Kept"),
    "v24-update-and-v1": tag(4, ext24(0x40, b"\x00") + OTHER, 0x40) + AUDIO + v1(b"Updated"),
    "v24-update-with-title-and-v1": tag(4, ext24(0x40, b"\x00") + TITLE, 0x40) + AUDIO + v1(b"V1"),
    "appended": AUDIO + appended(TITLE + OTHER),
    "appended-before-v1": AUDIO + appended(f24(b"TIT2", text("Appended"))) + v1(b"One"),
    "start-and-appended": tag(4, TITLE) + AUDIO + appended(f24(b"TIT2", text("Later"))),
    "start-and-appended-update": tag(4, TITLE) + AUDIO + appended(
        ext24(0x40, b"\x00") + OTHER, 0x40),
    "start-and-appended-update-title": tag(4, TITLE) + AUDIO + appended(
        ext24(0x40, b"\x00") + f24(b"TIT2", text("Second")), 0x40),
    "appended-footer-before-file": AUDIO[:20] + footer(4, bytes(200)),
    "appended-overlaps-start": None,   # filled in below
    "seek-to-second-tag": tag(4, f24(b"SEEK", struct.pack(">I", 100)) + OTHER) + bytes(100) +
                          tag(4, f24(b"TIT2", text("Sought"))) + AUDIO,
    "seek-to-update": tag(4, TITLE + f24(b"SEEK", struct.pack(">I", 0))) +
                      tag(4, ext24(0x40, b"\x00") + OTHER, 0x40) + AUDIO,
    "seek-to-nothing": tag(4, TITLE + f24(b"SEEK", struct.pack(">I", 40))) + AUDIO,
    "seek-past-end": tag(4, TITLE + f24(b"SEEK", struct.pack(">I", 0xFFFFFFF0))) + AUDIO,
    "seek-encrypted": tag(4, TITLE + f24(b"SEEK", b"\x01\x00\x00\x00\x10", 0x0004)) +
                      tag(4, f24(b"TIT2", text("From zero"))) + AUDIO,
    "seek-into-v1": AUDIO + bytes(2),  # filled in below
    "start-tag-reaches-v1": None,      # filled in below
    "v2-in-last-128-bytes": AUDIO + tag(4, f24(b"TIT2", text("Late"))) + bytes(128 - 25),
    "whole-file-is-v1": v1(b"Only tag"),
    "tag-longer-than-file": tag(4, TITLE)[:-3],
    "v23-footer-flag": tag(3, f23(b"TIT2", text("Flagged")) + bytes(10), 0x10) + AUDIO,
    "v25-header": b"ID3\x05\x00\x00" + syncsafe(12) + TITLE + AUDIO,
    "tiny-tag": b"TAG",
    "tiny-id3": b"ID3\x04\x00",
    "empty": b"",
    # Frame layouts.
    "v22": tag(2, f22(b"TT2", text("Old")) + f22(b"PIC", b"\0JPG\x03\0" + bytes(300))) + AUDIO,
    "v22-compressed-flag": tag(2, f22(b"TT2", text("Old")), 0x40) + AUDIO,
    "v23-extended-padding": tag(3, struct.pack(">IHI", 6, 0, 20) + f23(b"TIT2", text("Ext")) +
                                bytes(20), 0x40) + AUDIO,
    "v23-extended-padding-too-big": tag(3, struct.pack(">IHI", 6, 0, 999) +
                                        f23(b"TIT2", text("Ext")), 0x40) + AUDIO,
    "v23-extended-crc-good": None,  # filled in below
    "v23-extended-crc-bad": tag(3, struct.pack(">IHII", 10, 0x8000, 0, 1234) +
                                f23(b"TIT2", text("Crc")), 0x40) + AUDIO,
    "v24-extended-restrictions": tag(4, ext24(0x10, b"\x01\x05") + TITLE, 0x40) + AUDIO,
    "v24-extended-crc-bad": tag(4, ext24(0x20, b"\x05\x00\x00\x00\x00\x01") + TITLE, 0x40) + AUDIO,
    "v24-extended-too-big": tag(4, syncsafe(900) + b"\x01\x00" + TITLE, 0x40) + AUDIO,
    "v23-unsynchronised": tag(3, unsynchronise(
        f23(b"TIT2", b"\x00\xff\xfftitle\xff") + f23(b"APIC", picture(size=500))), 0x80) + AUDIO,
    "v23-unsynchronised-empty": tag(3, b"", 0x80) + AUDIO,
    "v23-unsynchronised-ends-ff00": tag(3, f23(b"TIT2", text("Sync")) + b"\0\0\xff\x00", 0x80) +
                                    AUDIO,
    "v24-unsync-flag-ignored": tag(4, f24(b"TIT2", b"\x00a\xff\x00b"), 0x80) + AUDIO,
    "v24-frame-unsynchronised": tag(4, f24(b"TIT2", b"\x00a\xff\x00b", 0x0002) +
                                    f24(b"APIC", unsynchronise(picture(size=200)), 0x0002)) + AUDIO,
    "v24-grouped-dli": tag(4, f24(b"TIT2", b"\x07" + syncsafe(6) + text("Group"), 0x0041) +
                           f24(b"TALB", b"\x07" + syncsafe(4) + text("Alb"), 0x0041)) + AUDIO,
    "v24-encrypted-title": tag(4, TITLE + f24(b"TIT2", b"\x01secret", 0x0004)) + AUDIO,
    "v24-encrypted-picture": tag(4, TITLE + f24(b"APIC", b"\x01" + picture(), 0x0004)) + AUDIO,
    "v24-unknown-format-flags": tag(4, TITLE + f24(b"TIT2", text("Raw"), 0x0080) +
                                    f24(b"APIC", b"x", 0x0010)) + AUDIO,
    "v24-compressed-title": tag(4, f24(b"TIT2", syncsafe(10) + zlib.compress(text("Inflated!")),
                                       0x0009)) + AUDIO,
    "v24-compressed-picture": tag(4, TITLE + f24(b"APIC", syncsafe(len(picture())) +
                                                zlib.compress(picture()), 0x0009)) + AUDIO,
    "v24-compressed-without-length": tag(4, TITLE + f24(b"TALB", zlib.compress(text("x")),
                                                        0x0008)) + AUDIO,
    "v23-encrypted": tag(3, f23(b"TIT2", text("Plain")) +
                         f23(b"TALB", b"\x05secret", 0x0040)) + AUDIO,
    "v23-encrypted-short": tag(3, f23(b"TIT2", text("Plain")) + f23(b"TALB", b"", 0x0040)) + AUDIO,
    "v23-compressed": tag(3, f23(b"TIT2", struct.pack(">I", 9) + zlib.compress(text("Squeezed")),
                                 0x0080) + f23(b"TALB", struct.pack(">I", 4) +
                                               zlib.compress(text("Alb")), 0x0080)) + AUDIO,
    "v23-unknown-format-flags": tag(3, f23(b"TIT2", text("Plain")) +
                                    f23(b"TALB", text("x"), 0x0001)) + AUDIO,
    "v23-obsolete-frames": tag(3, f23(b"TYER", text("1999")) + f23(b"TDAT", text("3112")) +
                               f23(b"TIME", text("2359")) + f23(b"TSIZ", text("123")) +
                               f23(b"TIT2", text("Dated")) + f23(b"TORY", text("1998"))) + AUDIO,
    "v23-genre": tag(3, f23(b"TIT2", text("Genre")) + f23(b"TCON", text("(17)(4)Eurodisco"))) +
                 AUDIO,
    "v23-genre-bad-encoding": tag(3, f23(b"TIT2", text("Genre")) + f23(b"TCON", b"\x09(17)")) +
                              AUDIO,
    "picture-bad-encoding": tag(4, TITLE + f24(b"APIC", picture(encoding=9))) + AUDIO,
    "picture-long-mime": tag(4, TITLE + f24(b"APIC", picture(mime=b"m" * 400))) + AUDIO,
    "picture-without-type": tag(4, TITLE + f24(b"APIC", b"\x00image/png\x00")) + AUDIO,
    "picture-mime-unterminated": tag(4, TITLE + f24(b"APIC", b"\x00image/png")) + AUDIO,
    "text-bad-encoding": tag(4, TITLE + f24(b"TALB", b"\x04abc")) + AUDIO,
    "text-bad-encoding-empty": tag(4, TITLE + f24(b"TALB", b"\x04")) + AUDIO,
    "text-empty-frame": tag(4, TITLE + f24(b"TALB", b"")) + AUDIO,
    "text-utf16-odd": tag(4, TITLE + f24(b"TALB", b"\x01\xff\xfea\x00b")) + AUDIO,
    "other-frames": tag(4, TITLE + f24(b"TXXX", text("key") + b"\0value") +
                        f24(b"COMM", b"\x00eng" + b"short\0full text") +
                        f24(b"USLT", b"\x03jpn" + "歌\0歌詞".encode()) +
                        f24(b"PRIV", b"owner\0" + bytes(500)) +
                        f24(b"GEOB", b"\x00app/x\0file\0desc\0" + bytes(300)) + PICTURE) + AUDIO,
    "comment-too-short": tag(4, TITLE + f24(b"COMM", b"\x00en")) + AUDIO,
    "many-frames": tag(3, b"".join(f23(b"TXXX", text("k%d" % i) + b"\0v") for i in range(2000)) +
                       f23(b"TIT2", text("Among many"))) + AUDIO,
    "two-titles": tag(4, f24(b"TIT2", text("First")) + PICTURE + f24(b"TIT2", text("Second"))) +
                  AUDIO,
    "title-strings": tag(4, f24(b"TIT2", text("One\0Two\0Three", 3))) + AUDIO,
    "title-after-padding": tag(4, TITLE + bytes(20) + f24(b"TIT2", text("Hidden"))) + AUDIO,
    "bad-id-after-title": tag(4, TITLE + f24(b"T\x00LB", text("x"))) + AUDIO,
    "lowercase-id": tag(4, TITLE + f24(b"Talb", text("x"))) + AUDIO,
    "frame-past-tag": tag(4, TITLE + b"TALB" + syncsafe(500) + b"\0\0" + text("x")) + AUDIO,
    "frame-header-cut": tag(4, TITLE + b"TAL") + AUDIO,
    "title-300-units": tag(3, f23(b"TIT2", text("x" * 300, 1))) + AUDIO,
    "v24-footer": tag(4, TITLE, 0x10) + footer(4, TITLE) + AUDIO,
    # Title frames decoded string by string, as a reader that keeps only
    # the last string must decode them.
    "title-latin1-last-string": tag(4, f24(b"TIT2", b"\x00one\0two\0last")) + AUDIO,
    "title-latin1-ends-in-nuls": tag(4, f24(b"TIT2", b"\x00one\0\0")) + AUDIO,
    "title-latin1-nuls": tag(4, f24(b"TIT2", b"\x00" + bytes(2000))) + AUDIO,
    "title-latin1-long": tag(3, f23(b"TIT2", b"\x00" + bytes(range(1, 256)) * 3)) + AUDIO,
    "title-encoding-only": tag(4, f24(b"TIT2", b"\x03")) + AUDIO + v1(b"One"),
    "title-empty-frame": tag(4, f24(b"TIT2", b"")) + AUDIO + v1(b"Kept when v2 fails"),
    "title-encoding-9": tag(4, f24(b"TIT2", b"\x09abc")) + AUDIO + v1(b"Kept when v2 fails"),
    "title-utf8-forms": tag(4, f24(b"TIT2", b"\x03a\xc3\xa9\xe3\x81\x82\xf0\x9f\x8e\xb5"
                                          b"\xf8\x88\x80\x80\x80\xfc\x84\x80\x80\x80\x80z")) + AUDIO,
    "title-utf8-invalid": tag(4, f24(b"TIT2", b"\x03\x80\xc0\xafA\xe0\x80\x80B\xf0\x80\x80"
                                            b"\xc3C\xed\xa0\x80D\xfe\xffE\xe3\x81")) + AUDIO,
    "title-utf8-junk-then-text": tag(4, f24(b"TIT2", b"\x03" + b"\x80" * 3000 + b"after")) +
                                 AUDIO,
    "title-utf8-long": tag(4, f24(b"TIT2", b"\x03" + "é漢".encode() * 300)) + AUDIO,
    "title-utf8-pair-at-cut": tag(4, f24(b"TIT2", b"\x03" + b"a" * 258 + "🎵b".encode())) +
                              AUDIO,
    "title-utf16-bom-each": tag(4, f24(b"TIT2", b"\x01\xff\xfea\x00\x00\x00\xfe\xff\x00b\x00\x00"
                                              b"\x00c")) + AUDIO,
    "title-utf16-no-bom": tag(4, f24(b"TIT2", b"\x01a\x00b\x00")) + AUDIO,
    "title-utf16-lone-surrogates": tag(4, f24(b"TIT2", b"\x01\xff\xfe" + b"\x00\xd8" * 500 +
                                                     b"\x00\xdcx\x00\x3d\xd8\x75\xdfy\x00")) +
                                   AUDIO,
    "title-utf16-high-at-end": tag(4, f24(b"TIT2", b"\x01\xfe\xff\x00a\xd8\x00")) + AUDIO,
    "title-utf16-pair-at-cut": tag(4, f24(b"TIT2", b"\x01\xff\xfe" + b"a\x00" * 258 +
                                                 b"\x3d\xd8\x75\xdf")) + AUDIO,
    "title-utf16-odd-end": tag(4, f24(b"TIT2", b"\x01\xff\xfea\x00\x00\x00b")) + AUDIO,
    "title-utf16-odd-string": tag(4, f24(b"TIT2", b"\x01\xff\xfea\x00\x00\x00bc\x00")) + AUDIO,
    "title-utf16-one-byte": tag(4, f24(b"TIT2", b"\x01a")) + AUDIO,
    "title-utf16-only-bom": tag(4, f24(b"TIT2", b"\x01\xff\xfe")) + AUDIO,
    "title-utf16-nuls": tag(4, f24(b"TIT2", b"\x01" + bytes(3001))) + AUDIO,
    "title-utf16be-bom-is-text": tag(4, f24(b"TIT2", b"\x02\xfe\xff\x00a\x00\x00\x00b")) + AUDIO,
    "title-v23-compressed-strings": tag(3, f23(b"TIT2", struct.pack(">I", 6) +
                                               zlib.compress(b"\x00a\0bcd"), 0x0080)) + AUDIO,
    "title-v23-compressed-grouped": tag(3, f23(b"TIT2", struct.pack(">I", 4) + b"\x05" +
                                               zlib.compress(b"\x00abc"), 0x00a0)) + AUDIO,
    "title-compressed-size-wrong": tag(3, f23(b"TIT2", struct.pack(">I", 5) +
                                              zlib.compress(b"\x00abc"), 0x0080)) + AUDIO +
                                   v1(b"Kept when v2 fails"),
    "title-compressed-cut-short": tag(3, f23(b"TIT2", struct.pack(">I", 4) +
                                             zlib.compress(b"\x00abc")[:-3], 0x0080)) + AUDIO +
                                  v1(b"Kept when v2 fails"),
    "title-compressed-trailing-bytes": tag(4, f24(b"TIT2", syncsafe(4) + zlib.compress(b"\x00abc") +
                                                  b"junk", 0x0009)) + AUDIO,
    "title-compressed-empty": tag(4, f24(b"TIT2", syncsafe(0) + zlib.compress(b""), 0x0009)) +
                              AUDIO + v1(b"Kept when v2 fails"),
    "title-compressed-unsynchronised": tag(4, f24(b"TIT2", syncsafe(3726) + unsynchronise(
        zlib.compress(b"\x03" + bytes(range(256)) * 4 + b"\0" + "終".encode() * 900)), 0x000b)) +
                                       AUDIO,
    "title-compressed-nuls": tag(3, f23(b"TIT2", struct.pack(">I", 5000) +
                                        zlib.compress(b"\x01" + bytes(4999)), 0x0080)) + AUDIO,
    "title-compressed-no-length": tag(4, f24(b"TIT2", zlib.compress(b"\x00abc"), 0x0008)) +
                                  AUDIO + v1(b"Kept when v2 fails"),
    "title-many-then-empty": tag(4, f24(b"TIT2", text("First")) + f24(b"TIT2", b"\x00")) + AUDIO,
    "obsolete-and-unknown-frames": tag(3, f23(b"RVAD", bytes(12)) + f23(b"TSIZ", b"\x09x") +
                                       f23(b"TIT2", text("Title")) + f23(b"QQQQ", b"?") +
                                       f23(b"WOAR", b"http://x") + f23(b"IPLS", b"\x00a\0b")) +
                                   AUDIO,
}

# A SEEK frame leading to the tag that begins 128 bytes before the end: it
# has been read already, as the first tag looked for.
_late = tag(4, f24(b"TIT2", text("Late")) + f24(b"SEEK", struct.pack(">I", 5)))
_gap = 300
_seek = tag(4, f24(b"SEEK", struct.pack(">I", _gap)))
CRAFTED["seek-into-v1"] = _seek + bytes(_gap) + _late + bytes(128 - len(_late))
# A tag at the start whose padding holds an ID3v1 tag: the two overlap.
CRAFTED["start-tag-reaches-v1"] = tag(4, TITLE + bytes(60) + v1(b"Inside"))
# A footer that leads to a tag inside the padding of the tag at the start.
_inner = tag(4, f24(b"TIT2", text("Inner")))
_outer = tag(4, TITLE + bytes(10) + _inner)
CRAFTED["appended-overlaps-start"] = _outer + footer(4, bytes(len(_inner) - 10))
_frames = f23(b"TIT2", text("Crc"))
CRAFTED["v23-extended-crc-good"] = tag(3, struct.pack(">IHII", 10, 0x8000, 0,
                                                      zlib.crc32(_frames)) + _frames, 0x40) + AUDIO


def silent_mp3(folder):
    wav = os.path.join(folder, "silence.wav")
    with wave.open(wav, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(44100)
        w.writeframes(bytes(2 * 4410))
    return wav


def write_writer_files(out_dir):
    from mutagen.id3 import (APIC, COMM, GEOB, ID3, PRIV, TALB, TIT2, TPE1, TXXX, TYER, TDRC,
                             USLT, Encoding)
    with tempfile.TemporaryDirectory() as tmp:
        wav = silent_mp3(tmp)
        cover = os.path.join(tmp, "cover.jpg")
        with open(cover, "wb") as f:
            f.write(b"\xff\xd8\xff\xe0" + bytes((i * 13) & 0xFF for i in range(20000)) + b"\xff\xd9")
        plain = os.path.join(tmp, "plain.mp3")
        subprocess.run(["lame", "--silent", "-m", "m", wav, plain], check=True)
        with open(plain, "rb") as f:
            audio = f.read()

        encodings = {3: ["latin1", "utf16"], 4: ["latin1", "utf16", "utf16be", "utf8"]}
        codes = {"latin1": Encoding.LATIN1, "utf16": Encoding.UTF16,
                 "utf16be": Encoding.UTF16BE, "utf8": Encoding.UTF8}
        titles = {"latin1": "Caf\u00e9 titles", "utf16": "\u3055\u304f\u3089 Sakura",
                  "utf16be": "\uff71\uff72\uff73", "utf8": "\u6f22\u5b57\U0001F3B5"}
        for version, names in encodings.items():
            for name in names:
                for extras in (False, True):
                    path = os.path.join(out_dir, "writer-mutagen-v2%d-%s%s.mp3" % (
                        version, name, "-full" if extras else ""))
                    with open(path, "wb") as f:
                        f.write(audio)
                    tags = ID3()
                    enc = codes[name]
                    tags.add(TIT2(encoding=enc, text=[titles[name]] + (["Side B"] if extras else [])))
                    if extras:
                        tags.add(TPE1(encoding=enc, text=["Artist"]))
                        tags.add(TALB(encoding=enc, text=["Album"]))
                        tags.add(TDRC(encoding=enc, text=["2004"]) if version == 4 else
                                 TYER(encoding=enc, text=["2004"]))
                        tags.add(APIC(encoding=enc, mime="image/jpeg", type=3, desc="Cover",
                                      data=open(cover, "rb").read()))
                        tags.add(USLT(encoding=enc, lang="eng", desc="", text="la la\nla"))
                        tags.add(COMM(encoding=enc, lang="eng", desc="", text="A comment"))
                        tags.add(TXXX(encoding=enc, desc="REPLAYGAIN_TRACK_GAIN", text=["-3 dB"]))
                        tags.add(PRIV(owner="WM/MediaClassPrimaryID", data=bytes(16)))
                        tags.add(GEOB(encoding=enc, mime="application/x", filename="f",
                                      desc="obj", data=bytes(1000)))
                    tags.save(path, v2_version=version, v23_sep=None, v1=2 if extras else 0)

        lame_cases = {
            "writer-lame-title.mp3": ["--tt", "Lame title"],
            "writer-lame-cover.mp3": ["--tt", "Covered", "--ta", "Artist", "--ti", cover],
            "writer-lame-v1-only.mp3": ["--tt", "Only v1", "--id3v1-only"],
            "writer-lame-v2-only.mp3": ["--tt", "Only v2", "--id3v2-only", "--tc", "comment"],
        }
        for name, args in lame_cases.items():
            subprocess.run(["lame", "--silent", "-m", "m"] + args + [wav, os.path.join(out_dir, name)],
                           check=True)
        for name, args in {"writer-id3v2-both.mp3": ["-t", "Both tags", "-a", "Artist"],
                           "writer-id3v2-v1.mp3": ["-1", "-t", "One"],
                           "writer-id3v2-v2.mp3": ["-2", "-t", "Two", "-c", "comment"]}.items():
            path = os.path.join(out_dir, name)
            with open(path, "wb") as f:
                f.write(audio)
            subprocess.run(["id3v2"] + args + [path], check=True, stdout=subprocess.DEVNULL)


def main():
    out_dir = sys.argv[1]
    os.makedirs(out_dir, exist_ok=True)
    for name, data in CRAFTED.items():
        with open(os.path.join(out_dir, "crafted-%s.mp3" % name), "wb") as f:
            f.write(data)
    write_writer_files(out_dir)


if __name__ == "__main__":
    main()
