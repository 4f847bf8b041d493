"""The Debian package the fixture built: it holds the install tree under
/usr owned by root, depends on the shared libraries the executables link,
carries the udev scripts, and lintian reports no error."""

import os
import shutil
import subprocess
import unittest

from install_layout import deb_path, expected_files


def run(*args):
    return subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)


class Package(unittest.TestCase):
    def setUp(self):
        self.deb = deb_path()
        if not self.deb:
            self.skipTest("no package was built (see the install_package_build test)")

    def test_contents_control_and_scripts(self):
        listing = run("dpkg-deb", "--contents", self.deb).stdout.splitlines()
        files = sorted(line.split()[-1][len("./usr/"):] for line in listing if not line.startswith("d"))
        self.assertEqual(files, expected_files())
        self.assertTrue(all(line.split()[1] == "root/root" for line in listing), listing)

        depends = run("dpkg-deb", "--field", self.deb, "Depends").stdout
        for library in ("libgtk2.0-0", "libhidapi-hidraw0", "libserialport0", "libc6"):
            self.assertIn(library, depends)
        info = run("dpkg-deb", "--info", self.deb).stdout.splitlines()
        for script in ("postinst", "postrm"):
            line = next((l for l in info if script in l.split()), "")
            self.assertIn("*", line.split(), "%s is missing or not executable" % script)  # "*": executable
            text = subprocess.run(["sh", "-c", 'dpkg-deb --ctrl-tarfile "$0" | tar -xOf - ./' + script, self.deb],
                                  stdout=subprocess.PIPE, text=True).stdout
            self.assertIn("udevadm control --reload-rules", text, script)
            self.assertIn("udevadm trigger", text, script)
            self.assertEqual(run("sh", "-n", "-c", text).returncode, 0, script)

    def test_lintian_reports_no_error(self):
        if not shutil.which("lintian"):
            self.skipTest("lintian is not installed (Debian package lintian; ./scripts/deps.sh --test)")
        verdict = run("lintian", "--fail-on", "error", "--display-level", ">=info", self.deb)
        print("lintian:", verdict.stdout.strip() or "(no remarks)")
        self.assertEqual(verdict.returncode, 0, verdict.stdout)
        self.assertFalse([l for l in verdict.stdout.splitlines() if l.startswith("E:")], verdict.stdout)


if __name__ == "__main__":
    unittest.main()
