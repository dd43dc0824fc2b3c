#!/usr/bin/python3
"""Prints Microsoft's code page 932 as one UTF-16 unit converts to it.

One line per code point U+0000-U+FFFF: the code point in hex, then the
bytes in hex, or "-" where the code page has no form for it. The table is
the one Python's "cp932" codec decodes by, read backwards: where several
codes decode to one character (the NEC and IBM extensions hold duplicates),
the character converts to the first of them in byte order, passing over the
NEC-selected IBM rows 0xED40-0xEEFC when another code exists. Python also
decodes five single bytes that Microsoft's table leaves undefined (0x80,
0xA0 and 0xFD-0xFF); they are left out.
"""

UNDEFINED_SINGLE_BYTES = {0x80, 0xA0, 0xFD, 0xFE, 0xFF}


def codes():
    for byte in range(0x100):
        if byte not in UNDEFINED_SINGLE_BYTES:
            yield bytes([byte])
    for lead in list(range(0x81, 0xA0)) + list(range(0xE0, 0xFD)):
        for trail in range(0x40, 0xFD):
            yield bytes([lead, trail])


def main():
    best = {}
    for code in codes():
        try:
            text = code.decode("cp932")
        except UnicodeDecodeError:
            continue
        if len(text) != 1:
            continue
        nec_selected = len(code) == 2 and 0xED40 <= int.from_bytes(code, "big") <= 0xEEFC
        key = (nec_selected, code)
        if ord(text) not in best or key < best[ord(text)]:
            best[ord(text)] = key
    lines = []
    for unit in range(0x10000):
        found = best.get(unit)
        lines.append("%04X %s" % (unit, found[1].hex().upper() if found else "-"))
    print("\n".join(lines))


if __name__ == "__main__":
    main()
