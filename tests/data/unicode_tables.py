#!/usr/bin/python3
"""Prints a table of Unicode's own data, to hold the tool's text functions to.

  unicode_tables.py fold   one line per UTF-16 unit U+0000-U+FFFF: the unit
                           and its simple case folding, in hex
  unicode_tables.py nfc    one line per BMP character that decomposes, for
                           the character and for its decomposed form: the
                           text and its NFC form, as UTF-16LE bytes in hex
  unicode_tables.py nfkd   one line per character that has a compatibility
                           decomposition: the code point in hex, then the
                           decomposition without its nonspacing marks
                           (general category Mn), as UTF-16LE bytes in hex

Python's own Unicode data is the reference, independently of ICU and of
Windows. Simple case folding is the one-unit folding: the full folding where
it is one character, else the lower case where that is one other character
(the "S" mappings), else the unit itself.
"""
import sys
import unicodedata


def simple_fold(unit):
    if 0xD800 <= unit <= 0xDFFF:
        return unit
    c = chr(unit)
    folded = c.casefold()
    if len(folded) == 1:
        return ord(folded)
    lower = c.lower()
    if len(lower) == 1 and lower != c:
        return ord(lower)
    return unit


def utf16(text):
    return text.encode("utf-16-le").hex()


def main():
    lines = []
    if sys.argv[1:] == ["fold"]:
        for unit in range(0x10000):
            lines.append("%04X %04X" % (unit, simple_fold(unit)))
    elif sys.argv[1:] == ["nfc"]:
        for unit in range(0x10000):
            if 0xD800 <= unit <= 0xDFFF:
                continue
            c = chr(unit)
            decomposed = unicodedata.normalize("NFD", c)
            if decomposed == c:
                continue
            for text in (c, decomposed):
                lines.append("%s %s" % (utf16(text), utf16(unicodedata.normalize("NFC", text))))
    elif sys.argv[1:] == ["nfkd"]:
        for code in range(0x110000):
            if 0xD800 <= code <= 0xDFFF:
                continue
            c = chr(code)
            decomposed = unicodedata.normalize("NFKD", c)
            if decomposed == c:
                continue
            kept = "".join(p for p in decomposed if unicodedata.category(p) != "Mn")
            lines.append("%04X %s" % (code, utf16(kept) or "-"))
    else:
        sys.exit("usage: unicode_tables.py fold|nfc|nfkd")
    print("\n".join(lines))


if __name__ == "__main__":
    main()
