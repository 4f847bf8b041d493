"""cmake --install into a temporary DESTDIR, with a prefix other than the
configured one: the tree holds every part and nothing else, with the modes a
package needs; the desktop entry, its icon and the metainfo agree with each
other and pass their validators."""

import configparser
import os
import shutil
import subprocess
import tempfile
import unittest

from install_layout import APP_ID, BUILD, ICON_SIZES, SOURCE, expected_files, files_under, png_size

PREFIX = "/opt/stowline"


def read(path):
    with open(path, "rb") as f:
        return f.read()


class InstallTree(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dest = tempfile.mkdtemp(prefix="stowline-destdir-")
        run = subprocess.run(["cmake", "--install", BUILD, "--prefix", PREFIX], env=dict(os.environ, DESTDIR=cls.dest),
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        cls.status, cls.log = run.returncode, run.stdout
        cls.top = cls.dest + PREFIX

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dest, ignore_errors=True)

    def test_tree_holds_every_part_with_package_modes(self):
        self.assertEqual(self.status, 0, self.log)
        self.assertEqual(files_under(self.dest), [os.path.join(PREFIX[1:], f) for f in expected_files()])
        for folder, dirs, names in os.walk(self.dest):
            for d in dirs:
                self.assertEqual(os.stat(os.path.join(folder, d)).st_mode & 0o7777, 0o755, os.path.join(folder, d))
        for f in expected_files():
            mode = os.stat(os.path.join(self.top, f)).st_mode & 0o7777
            self.assertEqual(mode, 0o755 if f.startswith("bin/") else 0o644, f)
        self.assertEqual(read(os.path.join(self.top, "lib/udev/rules.d/70-stowline.rules")),
                         read(os.path.join(SOURCE, "udev/70-stowline.rules")))
        for f in expected_files():
            if f.startswith("share/stowline/"):
                self.assertEqual(read(os.path.join(self.top, f)), read(os.path.join(SOURCE, "images", f[15:])), f)
        for s in ICON_SIZES:
            self.assertEqual(png_size(os.path.join(self.top, "share/icons/hicolor/%dx%d/apps/%s.png" % (s, s, APP_ID))),
                             (s, s))

    def test_desktop_entry_names_what_is_installed(self):
        entry = configparser.ConfigParser(interpolation=None)
        entry.optionxform = str
        entry.read(os.path.join(self.top, "share/applications", APP_ID + ".desktop"))
        d = entry["Desktop Entry"]
        self.assertTrue(os.path.isfile(os.path.join(self.top, "bin", d["Exec"].split()[0])))
        self.assertTrue(os.path.isfile(os.path.join(self.top, "share/icons/hicolor/48x48/apps", d["Icon"] + ".png")))
        metainfo = read(os.path.join(self.top, "share/metainfo", APP_ID + ".metainfo.xml")).decode()
        self.assertIn('<launchable type="desktop-id">%s.desktop</launchable>' % APP_ID, metainfo)
        self.assertIn("<id>%s</id>" % APP_ID, metainfo)

    def test_validators_accept_the_desktop_entry_and_the_metainfo(self):
        checks = (("desktop-file-validate", "desktop-file-utils", ["share/applications/%s.desktop" % APP_ID]),
                  ("appstreamcli", "appstream", ["validate", "--no-net", "share/metainfo/%s.metainfo.xml" % APP_ID]))
        for tool, package, args in checks:
            with self.subTest(tool):
                if not shutil.which(tool):
                    self.skipTest("%s is not installed (Debian package %s; ./scripts/deps.sh --test)" % (tool, package))
                args = [os.path.join(self.top, a) if a.startswith("share/") else a for a in args]
                run = subprocess.run([tool] + args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
                print(tool + ":", run.stdout.strip() or "(no remarks)")
                self.assertEqual(run.returncode, 0, run.stdout)


if __name__ == "__main__":
    unittest.main()
