#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into corpus/<target>/ beside this script.

Each seed is a small case the rules name: accepted and rejected HEX files, description files with
either line end, and boot loader devices (the input layout is at the top of ConversationFuzz.cpp).
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def record(length_field, address, rtype, data, checksum=None):
    body = bytes([length_field, address >> 8, address & 0xFF, rtype]) + bytes(data)
    if checksum is None:
        checksum = (256 - sum(body) % 256) % 256
    return ":" + body.hex().upper() + "%02X" % checksum


def data(address, values):
    return record(len(values), address, 0x00, values)


END = ":00000001FF"


def hex_seeds():
    ramp = list(range(16))
    return {
        "end-only.hex": END + "\n",
        "two-records.hex": "\n".join([data(0x0000, ramp), data(0x0100, [0xAA]), END]) + "\n",
        "falling-order.hex": "\n".join([data(0x0010, ramp), data(0x0000, ramp), END]) + "\n",
        "crlf-lower-case.hex": (data(0x1234, [0xDE, 0xAD, 0xBE, 0xEF]).lower() + "\r\n" + END.lower() + "\r\n"),
        "segment-records.hex": "\n".join([record(2, 0, 0x02, [0x10, 0x00]), record(4, 0, 0x03, [0, 0, 0x12, 0x34], 0xFF),
                                          data(0x0000, [0xAA]), END]) + "\n",
        "record-93-bytes.hex": data(0x0000, [0] * 93) + "\n" + END + "\n",
        "record-94-bytes.hex": data(0x0000, [0] * 94) + "\n" + END + "\n",
        "across-ffff.hex": data(0xFFF8, ramp) + "\n" + END + "\n",
        "bad-checksum.hex": data(0x0100, [0xAA])[:-1] + "4\n" + END + "\n",
        "linear-address.hex": record(2, 0, 0x04, [0, 0]) + "\n" + END + "\n",
        "long-line-remainder.hex": data(0x0100, [0xAA]) + " " * 186 + END + "\n",
        "blank-line.hex": data(0x0100, [0xAA]) + "\n\n" + END + "\n",
        "no-end-record.hex": data(0x0000, ramp) + "\n",
        "non-hex-digit.hex": ":010100009G6E\n" + END + "\n",
    }


def description_seeds():
    return {
        "lf.txt": "2.32\nGX_REM2.hex\n",
        "crlf.txt": "2.32\r\nGX_REM2.hex\r\n",
        "one-line.txt": "2.32\n",
        "empty-second-line.txt": "2.32\n\n",
        "blanks-and-lone-cr.txt": " 2.\r32 \nGX REM2.hex\r",
        "three-lines.txt": "2.32\r\r\nGX.hex\nthird\n",
    }


def device(pages=1, opens=True, unreadable=None, claims_65536=False, origin=0, replies=()):
    bits = pages | (0 if opens else 0x08) | (0x10 if unreadable is not None else 0) | (0x20 if claims_65536 else 0)
    out = bytes([bits, unreadable or 0]) + struct.pack("<I", origin)
    for kind, after, payload, failed in replies:
        out += bytes([{"start": 0, "greeting": 1, "frame": 2}[kind] | (0x80 if failed else 0)])
        out += struct.pack("<H", after) + bytes([len(payload)]) + bytes(payload)
    return out


def answer(after, text, failed=False):
    return ("greeting", after, text.encode("latin-1"), failed)


def frame(after, text, failed=False):
    return ("frame", after, text.encode("latin-1"), failed)


GOOD = "GX-REM2-2.32\r!"


def conversation_seeds():
    return {
        "good-one-page": device(replies=[answer(100, GOOD)]),
        "good-three-pages-across-the-wrap": device(pages=3, origin=0xFFFFF000, replies=[answer(100, GOOD)]),
        "four-refusals-then-taken": device(pages=2, replies=[answer(100, GOOD)] + [frame(5, "@")] * 4 + [frame(5, "!")]),
        "fifth-refusal": device(replies=[answer(100, GOOD)] + [frame(5, "@")] * 5),
        "line-feed-after-the-line": device(replies=[answer(100, "GX-REM2-2.32\r\n!")]),
        "silent": device(),
        # Each window begins after a 20 ms pause: the version line's at 20 ms after the greeting, a
        # reply's at 20 ms after its frame; the ready byte's when the line is taken.
        "version-just-in-time": device(replies=[answer(100, "GX-REM2-2.32"), answer(3018, "\r!")]),
        "version-just-too-late": device(replies=[answer(100, "GX-REM2-2.32"), answer(3021, "\r!")]),
        "ready-just-in-time": device(replies=[answer(100, "GX-REM2-2.32\r"), answer(2098, "!")]),
        "ready-just-too-late": device(replies=[answer(100, "GX-REM2-2.32\r"), answer(2101, "!")]),
        "reply-just-in-time-then-just-too-late": device(pages=2, replies=[answer(100, GOOD), frame(3018, "!"),
                                                                          frame(3021, "!")]),
        "noise-before-the-greeting": device(replies=[("start", 40, b"\xd0" + GOOD.encode(), False), answer(100, GOOD)]),
        "failed-read-in-the-line": device(replies=[answer(100, "GX-R", failed=True)]),
        "flood": device(replies=[answer(100, "G" * 63), answer(101, "X" * 63)]),
        "doubled-replies": device(pages=3, replies=[answer(100, GOOD), frame(5, "!!"), frame(5, "@!")]),
        "image-does-not-open": device(opens=False, replies=[answer(100, GOOD)]),
        "page-unreadable": device(pages=2, unreadable=1, replies=[answer(100, GOOD)]),
    }


def write(target, seeds):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    for name, content in seeds.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(content.encode("latin-1") if isinstance(content, str) else content)


if __name__ == "__main__":
    write("hex", hex_seeds())
    write("description", description_seeds())
    write("conversation", conversation_seeds())
