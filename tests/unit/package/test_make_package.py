"""The package step on a small stand-in program: when it can't finish, the zip and SHA256SUMS in
the output folder still belong together (the earlier pair, or none), and nothing half-written stays."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

MAKER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "package", "make_package.py")
NAME = "Pkg-1.0"


class Interrupted(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="tlyn-package-test.")
        self.addCleanup(shutil.rmtree, self.dir)
        self.source = os.path.join(self.dir, "source")
        self.out = os.path.join(self.dir, "out")
        os.makedirs(self.source)
        os.makedirs(self.out)
        self.put(os.path.join(self.source, "README.md"), "<!-- guide -->\nUse it.\n<!-- /guide -->\n")
        self.program = os.path.join(self.source, "Prog.exe")
        self.put(self.program, "MZ a stand-in program")

    def put(self, path, text):
        with open(path, "w") as f:
            f.write(text)

    def read(self, name):
        with open(os.path.join(self.out, name), "rb") as f:
            return f.read()

    def package(self):
        env = {k: v for k, v in os.environ.items() if not k.startswith("TLYN_SIGN_")}
        env["SOURCE_DATE_EPOCH"] = "1300000000"
        return subprocess.run([sys.executable, "-B", MAKER, "--source", self.source, "--out", self.out,
                               "--name", NAME, "--version", "1.0", self.program],
                              capture_output=True, text=True, env=env)

    def test_checksums_that_cant_be_written_leave_the_earlier_pair(self):
        self.put(os.path.join(self.out, NAME + ".zip"), "the earlier zip")
        self.put(os.path.join(self.out, "SHA256SUMS"), "the earlier sums")
        os.makedirs(os.path.join(self.out, "SHA256SUMS.part"))  # in the way of the new sums
        made = self.package()
        self.assertNotEqual(made.returncode, 0)
        self.assertIn("can't write the package", made.stderr)
        self.assertEqual(self.read(NAME + ".zip"), b"the earlier zip")
        self.assertEqual(self.read("SHA256SUMS"), b"the earlier sums")
        self.assertEqual(sorted(os.listdir(self.out)), sorted([NAME + ".zip", "SHA256SUMS", "SHA256SUMS.part"]))

    def test_checksums_that_cant_be_put_in_place_leave_no_zip(self):
        os.makedirs(os.path.join(self.out, "SHA256SUMS", "in the way"))
        made = self.package()
        self.assertNotEqual(made.returncode, 0)
        self.assertIn("can't write the package", made.stderr)
        self.assertEqual(os.listdir(self.out), ["SHA256SUMS"], "a zip without its checksums, or a part, stayed")

    def test_a_finished_package_has_the_checksums_of_its_zip(self):
        made = self.package()
        self.assertEqual(made.returncode, 0, made.stderr)
        self.assertEqual(sorted(os.listdir(self.out)), sorted([NAME + ".zip", "SHA256SUMS"]))
        check = subprocess.run(["sha256sum", "--check", "--strict", "--quiet", "--ignore-missing", "SHA256SUMS"],
                               cwd=self.out, capture_output=True, text=True)
        self.assertEqual(check.returncode, 0, check.stdout + check.stderr)


if __name__ == "__main__":
    unittest.main()
