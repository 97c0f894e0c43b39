#!/usr/bin/env python3
"""Makes the release package: NAME.zip holding the folder NAME/ with the program and the README.txt
made from README.md, the sample firmware in a folder of its own inside it, and SHA256SUMS beside the
zip for the zip and each file in it.

    make_package.py --source DIR --out DIR --name NAME --version V
                    [--sample-folder FOLDER --sample FILE...] FILE...

The sample lies apart from the program on purpose: unpacked as shipped, the program finds no
description file beside it and so no firmware it could send to a real device.

When TLYN_SIGN_PKCS12 names a PKCS#12 file (its password in TLYN_SIGN_PASSWORD, which may be empty),
each program (.exe) is signed with it and verified before it goes into the zip; a program that can't
be signed and verified stops the package. Without it the programs go in unsigned.

The zip is the same, byte for byte, whenever it is made from the same files: the entries come in the
order given, every entry carries the time of the last commit (or SOURCE_DATE_EPOCH when it is set),
which is also the signing time, and modes and compression are fixed. Both outputs are written under
temporary names and only then renamed into place, so a failed run leaves no half-written file and no
zip beside checksums of another.
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
import signing  # noqa: E402

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


def read_files(paths, folder):
    """(name in the zip, bytes) of each file, named by its base name inside `folder`."""
    contents = []
    for path in paths:
        try:
            with open(path, "rb") as f:
                contents.append((folder + os.path.basename(path), f.read()))
        except OSError as error:
            fail("can't read %s: %s" % (path, error))
    return contents


def sign_programs(contents, when, out, zip_path):
    """The programs among `contents` signed and verified, when a certificate is named; one line
    says which way it went."""
    programs = [name for name, _ in contents if name.lower().endswith(".exe")]
    pkcs12 = os.environ.get("TLYN_SIGN_PKCS12")
    if pkcs12 is None:
        print("make_package: %s not signed (TLYN_SIGN_PKCS12 is not set)" % ", ".join(programs))
        return contents
    password = os.environ.get("TLYN_SIGN_PASSWORD", "")
    signed = []
    for name, data in contents:
        if name in programs:
            try:
                if not pkcs12:
                    raise signing.SigningError("TLYN_SIGN_PKCS12 is set but empty: name the PKCS#12 file, "
                                               "or unset it for an unsigned package")
                data = signing.sign_program(data, pkcs12, password, when)
            except signing.SigningError as error:
                # A package left from an earlier run would now pass for this one, unsigned.
                removed = [path for path in (zip_path, os.path.join(out, "SHA256SUMS")) if os.path.isfile(path)]
                for path in removed:
                    os.remove(path)
                fail("%s: %s. No package was made%s." % (name, error, "; the earlier one was removed"
                                                         if removed else ""))
        signed.append((name, data))
    print("make_package: %s signed with %s, signing time %s UTC, verified against its chain"
          % (", ".join(programs), pkcs12, time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime(when))))
    return signed


def replace_together(pairs):
    """Renames each temporary file onto its final name. Should one rename fail, none of the final
    files is left, so no zip stands beside checksums of another."""
    try:
        for part, path in pairs:
            os.replace(part, path)
    except OSError:
        for part, path in pairs:
            for leftover in (part, path):
                if os.path.isfile(leftover):
                    os.remove(leftover)
        raise


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--source", required=True, help="the source tree (README.md, git history)")
    parser.add_argument("--out", required=True, help="folder that receives the zip and SHA256SUMS")
    parser.add_argument("--name", required=True, help="base name of the zip and of its folder")
    parser.add_argument("--version", required=True)
    parser.add_argument("--sample-folder", default="", help="the folder in the package that holds the samples")
    parser.add_argument("--sample", action="append", default=[], help="a file for the sample folder")
    parser.add_argument("files", nargs="+")
    args = parser.parse_args()
    if args.sample and not args.sample_folder.strip():
        fail("samples given, but no --sample-folder to hold them")

    contents = read_files(args.files, "")
    readme = os.path.join(args.source, "README.md")
    try:
        with open(readme, encoding="utf-8") as f:
            markdown = f.read()
        text = guide.to_text(markdown, "TLYN_Update %s: firmware update utility for the Gathrix RS-232 Remote"
                             % args.version)
    except (OSError, guide.GuideError) as error:
        fail("can't make %s from %s: %s" % (GUIDE_NAME, readme, error))
    contents.append((GUIDE_NAME, text.encode("ascii")))
    sample_folder = args.sample_folder + "/" if args.sample else ""
    contents += read_files(args.sample, sample_folder)
    names = [name for name, _ in contents]
    if len(set(names)) != len(names):
        fail("two files of the package have one name: %s" % ", ".join(names))

    epoch = source_date(args.source)
    when = zip_time(epoch)
    zip_name = args.name + ".zip"
    zip_path = os.path.join(args.out, zip_name)
    sums_path = os.path.join(args.out, "SHA256SUMS")
    contents = sign_programs(contents, epoch, args.out, zip_path)
    parts = [(zip_path + ".part", zip_path), (sums_path + ".part", sums_path)]
    try:
        with zipfile.ZipFile(parts[0][0], "w") as archive:
            archive.writestr(entry(args.name + "/", when, 0o40755), b"")
            folders = set()
            for name, data in contents:
                folder = name.rpartition("/")[0]
                if folder and folder not in folders:
                    folders.add(folder)
                    archive.writestr(entry(args.name + "/" + folder + "/", when, 0o40755), b"")
                mode = 0o100755 if name.lower().endswith(".exe") else 0o100644
                archive.writestr(entry(args.name + "/" + name, when, mode), data,
                                 compress_type=zipfile.ZIP_DEFLATED, compresslevel=9)
        with open(parts[0][0], "rb") as f:
            zip_data = f.read()

        # Paths as they are after unpacking the zip beside it, so `sha256sum -c SHA256SUMS` checks all.
        sums = "%s  %s\n" % (sha256(zip_data), zip_name)
        for name, data in contents:
            sums += "%s  %s/%s\n" % (sha256(data), args.name, name)
        with open(parts[1][0], "wb") as f:
            f.write(sums.encode("ascii"))
        replace_together(parts)
    except OSError as error:
        for part, _ in parts:
            if os.path.isfile(part):
                os.remove(part)
        fail("can't write the package into %s: %s" % (args.out, error))
    sys.stdout.write(sums)


if __name__ == "__main__":
    main()
