#!/usr/bin/env python3
"""Writes the sample firmware that ships with the program for trying it out against the simulated
boot loader: an Intel HEX file of 16-byte records whose data is a readable banner and a counting
pattern. It is no firmware for a real device.
    python3 tools/samplefw/make_sample.py package/sample/GX-REM2-Sample.hex
"""
import sys

BANNER = b"SAMPLE IMAGE FOR THE SIMULATED GATHRIX BOOT LOADER - NOT FIRMWARE FOR ANY DEVICE. "
SIZE = 40 * 256  # forty pages


def record(address, rtype, data):
    body = bytes([len(data), address >> 8, address & 0xFF, rtype]) + data
    checksum = (-sum(body)) & 0xFF
    return ":" + body.hex().upper() + "%02X" % checksum + "\r\n"


def main(path):
    image = bytearray()
    while len(image) < SIZE:
        image += BANNER
        image += bytes((len(image) + i) & 0xFF for i in range(45))
    image = image[:SIZE]
    lines = [record(a, 0, bytes(image[a:a + 16])) for a in range(0, SIZE, 16)]
    lines.append(record(0, 1, b""))
    with open(path, "w", newline="") as f:
        f.write("".join(lines))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "package/sample/GX-REM2-Sample.hex")
