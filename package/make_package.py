#!/usr/bin/env python3
"""Makes the release package: NAME.zip holding the folder NAME/ with the program, its files and the
README.txt made from README.md, and SHA256SUMS beside it for the zip and each file in it.

    make_package.py --source DIR --out DIR --name NAME --version V FILE...

The zip is the same, byte for byte, whenever it is made from the same files: the entries come in the
order given, every entry carries the time of the last commit (or SOURCE_DATE_EPOCH when it is set),
and modes and compression are fixed. Both outputs are written under temporary names and renamed into
place, so a failed run leaves no half-written file.
"""
import argparse
import hashlib
import os
import subprocess
import sys
import time
import zipfile

sys.dont_write_bytecode = True  # the source tree stays as checked out
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import guide  # noqa: E402

GUIDE_NAME = "README.txt"


def fail(message):
    print("make_package: " + message, file=sys.stderr)
    sys.exit(1)


def source_date(source):
    """Seconds since 1970 (UTC) that stand for the time the sources were made."""
    given = os.environ.get("SOURCE_DATE_EPOCH")
    if given:
        if not given.isdigit():
            fail("SOURCE_DATE_EPOCH is no whole number of seconds: %r" % given)
        return int(given)
    try:
        out = subprocess.run(["git", "-C", source, "log", "-1", "--format=%ct"], check=True,
                             capture_output=True, text=True).stdout.strip()
    except (OSError, subprocess.CalledProcessError) as error:
        fail("no date for the package: %s is no git checkout and SOURCE_DATE_EPOCH is not set (%s)"
             % (source, error))
    return int(out)


def zip_time(epoch):
    # A zip keeps local wall-clock time with no zone; UTC makes it the same on every machine.
    # The format starts in 1980 and counts seconds in twos.
    year, month, day, hour, minute, second = time.gmtime(epoch)[:6]
    if year < 1980:
        return (1980, 1, 1, 0, 0, 0)
    return (year, month, day, hour, minute, second - second % 2)


def entry(name, when, mode):
    info = zipfile.ZipInfo(name, when)
    info.create_system = 3  # modes as on Unix; Windows ignores them
    info.external_attr = mode << 16
    return info


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def write_atomically(path, data):
    part = path + ".part"
    with open(part, "wb") as f:
        f.write(data)
    os.replace(part, path)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--source", required=True, help="the source tree (README.md, git history)")
    parser.add_argument("--out", required=True, help="folder that receives the zip and SHA256SUMS")
    parser.add_argument("--name", required=True, help="base name of the zip and of its folder")
    parser.add_argument("--version", required=True)
    parser.add_argument("files", nargs="+")
    args = parser.parse_args()

    contents = []
    for path in args.files:
        try:
            with open(path, "rb") as f:
                contents.append((os.path.basename(path), f.read()))
        except OSError as error:
            fail("can't read %s: %s" % (path, error))
    readme = os.path.join(args.source, "README.md")
    try:
        with open(readme, encoding="utf-8") as f:
            markdown = f.read()
        text = guide.to_text(markdown, "TLYN_Update %s: firmware update utility for the Gathrix RS-232 Remote"
                             % args.version)
    except (OSError, guide.GuideError) as error:
        fail("can't make %s from %s: %s" % (GUIDE_NAME, readme, error))
    contents.append((GUIDE_NAME, text.encode("ascii")))
    names = [name for name, _ in contents]
    if len(set(names)) != len(names):
        fail("two files of the package have one name: %s" % ", ".join(names))

    when = zip_time(source_date(args.source))
    zip_name = args.name + ".zip"
    zip_path = os.path.join(args.out, zip_name)
    part = zip_path + ".part"
    try:
        with zipfile.ZipFile(part, "w") as archive:
            archive.writestr(entry(args.name + "/", when, 0o40755), b"")
            for name, data in contents:
                mode = 0o100755 if name.lower().endswith(".exe") else 0o100644
                archive.writestr(entry(args.name + "/" + name, when, mode), data,
                                 compress_type=zipfile.ZIP_DEFLATED, compresslevel=9)
        with open(part, "rb") as f:
            zip_data = f.read()

        # Paths as they are after unpacking the zip beside it, so `sha256sum -c SHA256SUMS` checks all.
        sums = "%s  %s\n" % (sha256(zip_data), zip_name)
        for name, data in contents:
            sums += "%s  %s/%s\n" % (sha256(data), args.name, name)
        os.replace(part, zip_path)
        write_atomically(os.path.join(args.out, "SHA256SUMS"), sums.encode("ascii"))
    except OSError as error:
        for leftover in (part, os.path.join(args.out, "SHA256SUMS.part")):
            if os.path.exists(leftover):
                os.remove(leftover)
        fail("can't write the package into %s: %s" % (args.out, error))
    sys.stdout.write(sums)


if __name__ == "__main__":
    main()
