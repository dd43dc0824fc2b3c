#!/usr/bin/python3
"""Writes the seed inputs of the fuzz targets into corpus/<target>/.

Small, hand-described cases: the fuzzers grow them into the rest.
"""
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def save(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def fontx(width, height, code_type, blocks=None, glyph_bytes=None):
    head = b"FONTX2" + b"SEEDFONT" + bytes([width, height, code_type])
    if code_type == 0:
        return head + (glyph_bytes if glyph_bytes is not None else bytes(range(256)) * height)
    table = bytes([len(blocks)]) + b"".join(struct.pack("<HH", a, b) for a, b in blocks)
    count = sum(max(0, b - a + 1) for a, b in blocks)
    row_bytes = (width + 7) // 8
    glyphs = glyph_bytes if glyph_bytes is not None else bytes(
        (i * 37) & 0xFF for i in range(count * row_bytes * height))
    return head + table + glyphs


def syncsafe(n):
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])


def id3v24(frames):
    return b"ID3\x04\x00\x00" + syncsafe(len(frames)) + frames


def frame24(fid, data, flags=0):
    return fid + syncsafe(len(data)) + struct.pack(">H", flags) + data


def frame23(fid, data, flags=0):
    return fid + struct.pack(">IH", len(data), flags) + data


AUDIO = b"\xff\xfb\x90\x64" + bytes(60)

# Fonts: both kinds, odd shapes, hazards.
save("fontx", "double-16x16", fontx(16, 16, 1, [(0x8140, 0x8142), (0x889F, 0x88A0)]))
save("fontx", "single-8x16", fontx(8, 16, 0))
save("fontx", "single-8x8", fontx(8, 8, 0))
save("fontx", "double-24x24", fontx(24, 24, 1, [(0x8140, 0x8140)]))
save("fontx", "double-8x12", fontx(8, 12, 1, [(0x8140, 0x8141)]))
save("fontx", "overlap-reversed", fontx(16, 16, 1, [(0x8140, 0x8142), (0x8141, 0x8140),
                                                     (0x8141, 0x8143)]))
save("fontx", "ends-at-ffff", fontx(16, 16, 1, [(0xFFFE, 0xFFFF)]))
save("fontx", "no-blocks", fontx(16, 16, 1, []))
save("fontx", "table-too-big", b"FONTX2SEEDFONT" + bytes([16, 16, 1, 255]) + b"\x00\x00\xff\xff" * 5)
save("fontx", "width-0", fontx(16, 16, 1, [(0x8140, 0x8140)])[:14] + b"\x00" +
     fontx(16, 16, 1, [(0x8140, 0x8140)])[15:])

# Draw: two length bytes, then Shift-JIS text.
save("draw", "ascii", bytes([127, 127]) + b"ABC             ")
save("draw", "kanji-ascii", bytes([63, 63]) + b"\x8a\xbfA\xb1")
save("draw", "lead-at-end", bytes([40, 40]) + b"AB\x88")
save("draw", "nul-then-lead", bytes([40, 30]) + b"\x00\x88\x9f")
save("draw", "lead-takes-nul", bytes([40, 40]) + b"\x88\x00\x88\x9f")
save("draw", "high-codes", bytes([199, 199]) + b"\xff\xff\xfc\xfc\xe0\x40\x81\x80")

# Fields: a size byte, then UTF-16LE text.
def utf16(text):
    return text.encode("utf-16-le")

save("sjis_field", "ascii", bytes([16]) + utf16("ABC"))
save("sjis_field", "kanji-cut", bytes([32]) + utf16("a" * 31 + "漢"))
save("sjis_field", "hangul", bytes([16]) + utf16("A한B"))
save("sjis_field", "astral", bytes([4]) + utf16("a\U0001F3B5b"))
save("sjis_field", "decomposed", bytes([2]) + utf16("か\u3099"))
save("sjis_field", "lone-surrogates", bytes([48]) + b"\x00\xd8\x41\x00\x00\xdc")

# Old titles: a reading (0 auto, then the code pages in order), then a
# folder's titles one a line, a "U" line declared in Unicode.
def folder(reading, titles, codec):
    return bytes([reading]) + b"\n".join(t.encode(codec) for t in titles)


save("tag_charset", "japanese", folder(0, ["さくら", "ﾗﾌﾞｿﾝｸﾞ", "夜明けの歌"], "cp932"))
save("tag_charset", "korean", folder(0, ["사랑해요", "아리랑", "보고 싶다"], "cp949"))
save("tag_charset", "gbk", folder(0, ["月亮代表我的心", "甜蜜蜜"], "gbk"))
save("tag_charset", "big5", folder(0, ["月亮代表我的心", "甜蜜蜜"], "cp950"))
save("tag_charset", "russian", folder(0, ["Калинка", "Катюша"], "cp1251"))
save("tag_charset", "greek", folder(0, ["Ζορμπάς", "ΣΥΝΝΕΦΑ"], "cp1253"))
save("tag_charset", "european-and-unicode", folder(0, ["Café", "Don’t", "UÜber"], "cp1252"))
save("tag_charset", "v1-cut-lead", bytes([0]) + "見上げてごらん夜の星を 見上げて".encode("cp932")[:30])
save("tag_charset", "gb18030-four-bytes", bytes([4]) + b"\x81\x30\x81\x30 \x81\x30")
save("tag_charset", "big5-user-defined", bytes([5]) + b"\xfa\x40\xa4\x40\xff")

# Titles: ordinary tags of each version, and small hostile ones.
save("title_diff", "v24-utf8", id3v24(frame24(b"TIT2", b"\x03Title")) + AUDIO)
save("title_diff", "v24-two-strings", id3v24(frame24(b"TIT2", b"\x03Side A\x00Side B")) + AUDIO)
save("title_diff", "v24-terminators", id3v24(frame24(b"TIT2", b"\x03Title\x00\x00\x00")) + AUDIO)
TERMINATED = frame23(b"TIT2", b"\x01\xff\xfeT\x00i\x00t\x00l\x00e\x00\x00\x00\x00\x00")
save("title_diff", "v23-utf16-terminators",
     b"ID3\x03\x00\x00" + syncsafe(len(TERMINATED)) + TERMINATED + AUDIO)
save("title_diff", "v23-utf16", b"ID3\x03\x00\x00" + syncsafe(23) +
     frame23(b"TIT2", b"\x01\xff\xfeT\x00i\x00t\x00l\x00e\x00") + AUDIO)
save("title_diff", "v22", b"ID3\x02\x00\x00" + syncsafe(10) + b"TT2\x00\x00\x04\x00Old" + AUDIO)
save("title_diff", "v1", AUDIO + b"TAG" + b"V1 title".ljust(30, b"\x00") + bytes(95))
save("title_diff", "unsync-ff00-end", id3v24(frame24(b"TIT2", b"\x03abc\xff\x00", flags=0x0002)) + AUDIO)
save("title_diff", "compressed", id3v24(frame24(b"TIT2", syncsafe(6) + zlib.compress(b"\x03Small"),
                                           flags=0x0009)) + AUDIO)
save("title_diff", "declared-4gib", b"ID3\x03\x00\x00" + syncsafe(30) +
     frame23(b"TIT2", struct.pack(">I", 0xFFFFFFFF) + zlib.compress(b"x" * 20), flags=0x0080))
save("title_diff", "only-id3", b"ID3")

# Title differences: the crafted tags of the tests' tag zoo, each a layout
# or a place where tags are found.
sys.path.insert(0, os.path.join(HERE, "..", "tests", "data"))
import make_tag_zoo  # noqa: E402

for name, data in make_tag_zoo.CRAFTED.items():
    save("title_diff", name, data)


# Title records (TITLES.DAT), written here from the format's description.
# The first byte 0 reads the rest as it is; 1 puts its body size and
# checksum right first.
def varint(n):
    out = b""
    while n >= 0x80:
        out += bytes([n & 0x7F | 0x80])
        n >>= 7
    return out + bytes([n])


def record_text(text):
    units = [int.from_bytes(text[i:i + 2], "little") for i in range(0, len(text), 2)]
    wide = any(u > 0xFF for u in units)
    return varint(len(units) << 1 | wide) + b"".join(
        struct.pack("<H", u) if wide else bytes([u]) for u in units)


def title_record(folders, seconds=1700000000, nanoseconds=0, granularity=2000000000):
    """folders: [(path, [(name, size, seconds, ns, kind, title)])], sorted;
    names, paths and titles as UTF-16LE bytes."""
    body = b""
    for path, sounds in folders:
        body += record_text(path) + varint(len(sounds))
        for name, size, s, ns, kind, title in sounds:
            zigzag = s << 1 if s >= 0 else (-s << 1) - 1
            body += record_text(name) + varint(size) + varint(zigzag) + varint(ns) + bytes([kind])
            if kind:
                body += record_text(title)
    head = b"CPTITLES" + struct.pack("<IIqiII", 2, granularity, seconds, nanoseconds,
                                     len(folders), sum(len(s) for _, s in folders))
    head += struct.pack("<I", len(body))
    return head + struct.pack("<I", zlib.crc32(head + body)) + body


def u16(text):
    return text.encode("utf-16-le")


ALBUM = [(u16("%02d 夜明けの歌.mp3" % i), 4000000 + i, 1600000000 + i, 0, 1, u16("夜明けの歌 %d" % i))
         for i in range(1, 4)]
SMALL = title_record([
    (u16(""), [(u16("a.mp3"), 123, 1, 999999999, 2, b"\xe9\x00A\x00")]),
    (u16("\\Artist\\Album"), ALBUM),
    (u16("\\Zeta"), [(u16("x.mp3"), 0, -5, 0, 0, b""),
                     (u16("\U0001F3B5.mp3"), 7, 0, 1, 1, b"\x00\xd8x\x00")]),  # a lone surrogate
])
for mode in (0, 1):
    save("title_record", "small-%d" % mode, bytes([mode]) + SMALL)
    save("title_record", "empty-%d" % mode, bytes([mode]) + title_record([]))
save("title_record", "long-texts", bytes([0]) + title_record([
    (u16("\\" + "あ" * 122), [(u16("n" * 128), 2**64 - 1, 2**62, 999999999, 1, u16("t" * 259))])]))
save("title_record", "cut", bytes([0]) + SMALL[:-3])
save("title_record", "header-only-cut", bytes([1]) + SMALL[:40])

# Commit records (.cardprep-commit), written from the format's description:
# whole ones, one cut short, and near misses.
COMMIT = (b"cardprep commit record\npid 4242\nSNDLST16.DAT replaces\nTAGINF16.TXT is new\n"
          b"RANDOM16.DAT replaces\nDIRLST16.DAT replaces\nend\n")
save("commit_record", "whole", COMMIT)
save("commit_record", "one-file", b"cardprep commit record\npid 4294967295\nDIRLST16.DAT is new\nend\n")
save("commit_record", "cut", COMMIT[:70])
save("commit_record", "junk-after-end", COMMIT + b"\0\0\0\0")
save("commit_record", "leading-zero", COMMIT.replace(b"pid 4242", b"pid 04242"))
save("commit_record", "named-twice", COMMIT.replace(b"TAGINF16.TXT", b"SNDLST16.DAT"))
save("commit_record", "path-up", COMMIT.replace(b"RANDOM16.DAT", b"../RANDOM16.DAT"))
save("commit_record", "crlf", COMMIT.replace(b"\n", b"\r\n"))
