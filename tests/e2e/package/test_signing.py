"""The signed release as the release step makes it from the real program: a throw-away certificate
authority and code-signing certificate made with openssl, the package step run with them as a maker
runs it, and the signed program checked with osslsigncode the way a user's Windows checks it.

The first signed package is left in TLYN_SIGNED_RELEASE_DIR, where the package test unpacks and
runs it against the simulated device.
"""
import calendar
import hashlib
import os
import re
import shutil
import struct
import subprocess
import sys
import time
import unittest
import zipfile

SOURCE = os.environ["TLYN_SOURCE_DIR"]
WIN_BUILD = os.environ["TLYN_WIN_BUILD_DIR"]
NAME = os.environ["TLYN_RELEASE_NAME"]
VERSION = os.environ["TLYN_VERSION"]
SAMPLE_FOLDER = os.environ["TLYN_SAMPLE_FOLDER"]
WORK = os.environ["TLYN_SIGNING_WORK"]
SIGNED = os.environ["TLYN_SIGNED_RELEASE_DIR"]

PASSWORD = "a maker's passphrase"
PROGRAM = NAME + "/TLYN_Update.exe"
OPENSSL_CONFIG = """\
[req]
distinguished_name = name
prompt = no
[name]
CN = Throw-away Test Authority
[authority]
basicConstraints = critical,CA:true
keyUsage = critical,keyCertSign,cRLSign
subjectKeyIdentifier = hash
[signer]
basicConstraints = critical,CA:false
keyUsage = critical,digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
"""


def run(command, **kwargs):
    return subprocess.run(command, capture_output=True, text=True, **kwargs)


def openssl(*args):
    result = run(["openssl"] + list(args), cwd=WORK)
    if result.returncode != 0:
        raise RuntimeError("openssl %s failed: %s" % (" ".join(args), result.stderr))


def make_authority(name):
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", name + ".key", "-out", name + ".pem",
            "-days", "2", "-config", "openssl.cnf", "-extensions", "authority", "-subj", "/CN=" + name)


def make_certificates():
    """ca.pem, and signer.p12 with the signer's key, its certificate and ca.pem; other-chain.p12
    holds the same key and certificate with an unrelated authority as its chain."""
    with open(os.path.join(WORK, "openssl.cnf"), "w") as f:
        f.write(OPENSSL_CONFIG)
    make_authority("ca")
    make_authority("other-ca")
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", "signer.key", "-out", "signer.csr",
            "-subj", "/CN=Vostrel Systems test signer", "-config", "openssl.cnf")
    openssl("x509", "-req", "-in", "signer.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
            "-out", "signer.pem", "-days", "1", "-extfile", "openssl.cnf", "-extensions", "signer")
    for p12, chain in (("signer.p12", "ca.pem"), ("other-chain.p12", "other-ca.pem")):
        openssl("pkcs12", "-export", "-inkey", "signer.key", "-in", "signer.pem", "-certfile", chain,
                "-passout", "pass:" + PASSWORD, "-out", p12)
    with open(os.path.join(WORK, "not-a-certificate.p12"), "wb") as f:
        f.write(b"-----BEGIN NOTHING-----\n")


def package(out, pkcs12=None, password=PASSWORD):
    """The package step as the release target runs it, into `out`, signed when `pkcs12` is given."""
    os.makedirs(out, exist_ok=True)
    env = {k: v for k, v in os.environ.items() if not k.startswith("TLYN_SIGN_")}
    if pkcs12 is not None:
        env["TLYN_SIGN_PKCS12"] = pkcs12
        env["TLYN_SIGN_PASSWORD"] = password
    sample = os.path.join(SOURCE, "package", "sample")
    return run([sys.executable, "-B", os.path.join(SOURCE, "package", "make_package.py"),
                "--source", SOURCE, "--out", out, "--name", NAME, "--version", VERSION,
                "--sample-folder", SAMPLE_FOLDER,
                "--sample", os.path.join(sample, "Gathrix_Remote.txt"),
                "--sample", os.path.join(sample, "GX-REM2-Sample.hex"),
                os.path.join(WIN_BUILD, "TLYN_Update.exe")], env=env)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def program_in(out):
    with zipfile.ZipFile(os.path.join(out, NAME + ".zip")) as archive:
        return archive.read(PROGRAM)


def verify(program_path):
    return run(["osslsigncode", "verify", "-in", program_path, "-CAfile", os.path.join(WORK, "ca.pem")])


def release_time():
    given = os.environ.get("SOURCE_DATE_EPOCH")
    if given:
        return int(given)
    return int(run(["git", "-C", SOURCE, "log", "-1", "--format=%ct"]).stdout)


def signature_blob(program):
    """(offset, length) of the DER signature inside the program's certificate table."""
    pe = struct.unpack_from("<I", program, 0x3C)[0]
    optional = pe + 24
    magic = struct.unpack_from("<H", program, optional)[0]
    directories = optional + (112 if magic == 0x20B else 96)
    offset, size = struct.unpack_from("<II", program, directories + 4 * 8)
    assert size > 8, "the program has no certificate table"
    der = offset + 8  # past WIN_CERTIFICATE's length, revision and type
    assert program[der] == 0x30 and program[der + 1] == 0x82, "the certificate table holds no DER sequence"
    return der, 4 + struct.unpack_from(">H", program, der + 2)[0]


class SignedRelease(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        shutil.rmtree(WORK, ignore_errors=True)
        shutil.rmtree(SIGNED, ignore_errors=True)
        os.makedirs(WORK)
        make_certificates()
        cls.p12 = os.path.join(WORK, "signer.p12")
        cls.first = package(SIGNED, cls.p12)
        cls.second = package(os.path.join(WORK, "second"), cls.p12)
        for made in (cls.first, cls.second):
            assert made.returncode == 0, "the signed package failed: " + made.stderr

    def test_program_in_the_zip_verifies_against_the_authority(self):
        program = program_in(SIGNED)
        self.assertNotEqual(program, read(os.path.join(WIN_BUILD, "TLYN_Update.exe")), "the program is unsigned")
        path = os.path.join(WORK, "shipped.exe")
        with open(path, "wb") as f:
            f.write(program)
        result = verify(path)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn("Subject: /CN=Vostrel Systems test signer", result.stdout)
        self.assertIn("Message digest algorithm  : SHA256", result.stdout)
        # The signing time is the release's own, not the clock's.
        shown = re.search(r"Signing time: (.+ GMT)", result.stdout)
        self.assertTrue(shown, result.stdout)
        signed_at = calendar.timegm(time.strptime(shown.group(1), "%b %d %H:%M:%S %Y %Z"))
        self.assertEqual(signed_at, release_time())
        # The checksums are those of the signed program.
        sums = read(os.path.join(SIGNED, "SHA256SUMS")).decode("ascii")
        self.assertIn("%s  %s\n" % (hashlib.sha256(program).hexdigest(), PROGRAM), sums)
        self.assertIn("signed with %s" % self.p12, self.first.stdout)

    def test_one_changed_byte_fails_verification(self):
        program = program_in(SIGNED)
        der, length = signature_blob(program)
        for what, at in (("a byte of the program's code", 0x1000 + 0x123),
                         ("a byte of the signature value", der + length - 20)):
            with self.subTest(what):
                changed = bytearray(program)
                changed[at] ^= 0x01
                path = os.path.join(WORK, "changed.exe")
                with open(path, "wb") as f:
                    f.write(changed)
                result = verify(path)
                self.assertNotEqual(result.returncode, 0, "a changed program verified:\n" + result.stdout)

    def test_two_signed_builds_are_byte_identical(self):
        for name in (NAME + ".zip", "SHA256SUMS"):
            with self.subTest(name):
                self.assertEqual(read(os.path.join(SIGNED, name)), read(os.path.join(WORK, "second", name)))

    def test_unsigned_build_is_the_plain_release(self):
        out = os.path.join(WORK, "unsigned")
        made = package(out)
        self.assertEqual(made.returncode, 0, made.stderr)
        self.assertIn("make_package: TLYN_Update.exe not signed (TLYN_SIGN_PKCS12 is not set)", made.stdout.splitlines())
        self.assertEqual(program_in(out), read(os.path.join(WIN_BUILD, "TLYN_Update.exe")))
        for name in (NAME + ".zip", "SHA256SUMS"):
            with self.subTest(name):
                self.assertEqual(read(os.path.join(out, name)), read(os.path.join(WIN_BUILD, name)),
                                 "differs from the release target's package in %s (made before the last "
                                 "build, or signed?)" % WIN_BUILD)

    def test_a_certificate_that_fails_stops_the_release_and_leaves_no_package(self):
        cases = [
            ("wrong password", "signer.p12", "not the passphrase", "wrong password"),
            ("certificate file missing", "no-such.p12", PASSWORD, "can't read the signing certificate"),
            ("no PKCS#12 file", "not-a-certificate.p12", PASSWORD, "is no PKCS#12 file"),
            ("a chain the signature doesn't verify against", "other-chain.p12", PASSWORD, "does not verify"),
            ("the variable set but empty", "", PASSWORD, "TLYN_SIGN_PKCS12 is set but empty"),
        ]
        for what, p12, password, says in cases:
            with self.subTest(what):
                out = os.path.join(WORK, "refused")
                shutil.rmtree(out, ignore_errors=True)
                os.makedirs(out)
                # A package from an earlier run must not pass for this one.
                for name in (NAME + ".zip", "SHA256SUMS"):
                    with open(os.path.join(out, name), "w") as f:
                        f.write("an earlier package\n")
                made = package(out, os.path.join(WORK, p12) if p12 else "", password)
                self.assertNotEqual(made.returncode, 0)
                self.assertIn(says, made.stderr)
                self.assertIn("No package was made", made.stderr)
                self.assertEqual(os.listdir(out), [], "left behind")


if __name__ == "__main__":
    unittest.main()
