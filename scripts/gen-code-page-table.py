#!/usr/bin/env python3
"""Writes archive/format/CodePageNNNTable.cpp for a double-byte code page from glibc's converter.

Run by hand on Linux when a table has to change (it should not); the output is committed as
data, so no build and no platform needs iconv. Every single byte and every two-byte code is
asked once; a code is kept only when the character it decodes to encodes back to the same bytes,
so the table holds exactly the codes a name can carry both ways. The lead and trail byte ranges
below are the code page's double-byte rules, written into the table for the name rules to use.

    scripts/gen-code-page-table.py 950|936|932 [OUTPUT]
        (default OUTPUT: archive/format/CodePage<number>Table.cpp)
"""

import ctypes
import ctypes.util
import os
import subprocess
import sys

# glibc converter name, lead byte ranges, trail byte ranges (inclusive; at most two each).
CODE_PAGES = {
    "950": ("CP950", [(0x81, 0xFE)], [(0x40, 0x7E), (0xA1, 0xFE)]),
    "936": ("CP936", [(0x81, 0xFE)], [(0x40, 0x7E), (0x80, 0xFE)]),
    "932": ("CP932", [(0x81, 0x9F), (0xE0, 0xFC)], [(0x40, 0x7E), (0x80, 0xFC)]),
}

# Every table indexes pairs alike: leads 0x80-0xFF by trails 0x40-0xFF.
PAIR_LEADS = range(0x80, 0x100)
PAIR_TRAILS = range(0x40, 0x100)


def in_ranges(b, ranges):
    return any(first <= b <= last for first, last in ranges)


class Iconv:
    """One glibc converter: bytes in, bytes out, None when it refuses."""

    def __init__(self, libc, to_code, from_code):
        self.libc = libc
        self.cd = libc.iconv_open(to_code.encode(), from_code.encode())
        if self.cd == ctypes.c_void_p(-1).value:
            sys.exit(f"iconv has no converter from {from_code} to {to_code}")

    def __call__(self, data):
        self.libc.iconv(self.cd, None, None, None, None)  # a fresh shift state for each code
        in_buf = ctypes.create_string_buffer(data, len(data))
        out_buf = ctypes.create_string_buffer(16)
        in_ptr = ctypes.c_char_p(ctypes.addressof(in_buf))
        out_ptr = ctypes.c_char_p(ctypes.addressof(out_buf))
        in_left = ctypes.c_size_t(len(data))
        out_left = ctypes.c_size_t(16)
        r = self.libc.iconv(self.cd, ctypes.byref(in_ptr), ctypes.byref(in_left),
                            ctypes.byref(out_ptr), ctypes.byref(out_left))
        if r == ctypes.c_size_t(-1).value or in_left.value != 0:
            return None
        return out_buf.raw[:16 - out_left.value]


def load_libc():
    libc = ctypes.CDLL(ctypes.util.find_library("c"))
    libc.iconv_open.restype = ctypes.c_void_p
    libc.iconv_open.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
    libc.iconv.restype = ctypes.c_size_t
    libc.iconv.argtypes = [ctypes.c_void_p] + [ctypes.c_void_p] * 4
    return libc


def round_trip(dec, enc, code):
    """The code point code decodes to when it encodes back to code itself, else 0."""
    out = dec(code)
    if out is None or len(out) != 4:
        return 0
    cp = int.from_bytes(out, "little")
    if cp == 0 or enc(out) != code:
        return 0
    return cp


def rows(values, width, per_line):
    line = []
    for v in values:
        line.append(f"0x{v:0{width}X},")
        if len(line) == per_line:
            yield "    " + " ".join(line)
            line = []
    if line:
        yield "    " + " ".join(line)


def ranges_row(ranges):
    padded = ranges + [(1, 0)] * (2 - len(ranges))  # an empty range: first above last
    return ", ".join(f"{{0x{a:02X}, 0x{b:02X}}}" for a, b in padded)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    if len(sys.argv) < 2 or sys.argv[1] not in CODE_PAGES:
        sys.exit("usage: gen-code-page-table.py 950|936|932 [OUTPUT]")
    number = sys.argv[1]
    converter, leads, trails = CODE_PAGES[number]
    output = sys.argv[2] if len(sys.argv) > 2 else os.path.join(root, "archive", "format",
                                                                  f"CodePage{number}Table.cpp")
    libc = load_libc()
    dec = Iconv(libc, "UTF-32LE", converter)
    enc = Iconv(libc, converter, "UTF-32LE")

    single = list(range(0x80)) + [0] * 0x80
    encode = {}  # code point -> byte value or lead << 8 | trail
    for b in range(0x80, 0x100):
        if in_ranges(b, leads):
            continue  # a lead byte on its own is never a character
        cp = round_trip(dec, enc, bytes([b]))
        if cp:
            single[b] = cp
            encode[cp] = b
    pairs = []
    for lead in PAIR_LEADS:
        for trail in PAIR_TRAILS:
            cp = 0
            if in_ranges(lead, leads) and in_ranges(trail, trails):
                cp = round_trip(dec, enc, bytes([lead, trail]))
            pairs.append(cp)
            if cp:
                encode[cp] = lead << 8 | trail
    if any(cp > 0xFFFF for cp in encode):
        sys.exit("a code point beyond U+FFFF: the tables hold 16 bits")

    # Encoding in two levels: the high byte of the code point picks a block of 256 codes. Block 0
    # is all zero and stands for every high byte without a character.
    highs = sorted({cp >> 8 for cp in encode if cp >= 0x80})
    block_of = {h: i + 1 for i, h in enumerate(highs)}
    blocks = [[0] * 256 for _ in range(len(highs) + 1)]
    for cp, code in encode.items():
        if cp >= 0x80:
            blocks[block_of[cp >> 8]][cp & 0xFF] = code

    out = []
    out.append(f"// Generated by scripts/gen-code-page-table.py {number} from glibc's {converter} "
               "converter; do not edit.")
    out.append("// Only codes whose character encodes back to the same bytes are here.")
    out.append("")
    out.append('#include "archive/format/CodePageTable.h"')
    out.append("")
    out.append("namespace archive::table {")
    out.append("")
    out.append("namespace {")
    out.append("")
    out.append("const std::uint16_t kSingle[256] = {")
    out.extend(rows(single, 4, 12))
    out.append("};")
    out.append("")
    out.append(f"const std::uint16_t kPairs[kPairCount] = {{")
    out.extend(rows(pairs, 4, 12))
    out.append("};")
    out.append("")
    out.append("const std::uint8_t kEncodeBlock[256] = {")
    out.extend(rows([block_of.get(h, 0) for h in range(256)], 2, 16))
    out.append("};")
    out.append("")
    out.append(f"const std::uint16_t kEncode[{len(blocks)}][256] = {{")
    for i, block in enumerate(blocks):
        label = "none" if i == 0 else f"U+{highs[i - 1]:02X}xx"
        out.append(f"    // {label}")
        out.append("    {")
        out.extend("    " + r for r in rows(block, 4, 11))
        out.append("    },")
    out.append("};")
    out.append("")
    out.append("} // namespace")
    out.append("")
    out.append(f"extern const CodePageTable kCodePage{number} = {{")
    out.append(f"    {{{{{ranges_row(leads)}}}}},")
    out.append(f"    {{{{{ranges_row(trails)}}}}},")
    out.append("    kSingle, kPairs, kEncodeBlock, kEncode,")
    out.append("};")
    out.append("")
    out.append("} // namespace archive::table")
    with open(output, "w", encoding="ascii") as f:
        f.write("\n".join(out) + "\n")
    # The committed file is kept as clang-format leaves it, so a reformat never shows as a change.
    try:
        subprocess.run(["clang-format", "-i", f"--style=file:{root}/.clang-format", output],
                       check=True)
    except FileNotFoundError:
        pass
    print(f"{output}: {sum(1 for cp in pairs if cp)} two-byte and "
          f"{sum(1 for b in range(0x80, 0x100) if single[b])} single-byte characters beyond ASCII, "
          f"{len(blocks)} encoding blocks")


if __name__ == "__main__":
    main()
