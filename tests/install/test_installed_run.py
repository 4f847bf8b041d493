"""The package unpacked (dpkg -x) into a temporary folder and its program
started from there under Xvfb with a temporary HOME, as a user starts it from
the menu: the per-user folder is laid out, the selection window shows its
pictures, a saved profile lands in the per-user Profiles/, and the next start
finds it with the settings kept."""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))

import pyatspi  # noqa: E402

from harness import ProgramTest, wait_for  # noqa: E402
from install_layout import deb_path  # noqa: E402

KINDS = ("Velmora", "M900", "M600", "cv-relay")


class InstalledProgram(ProgramTest):
    def setUp(self):
        deb = deb_path()
        if not deb:
            self.skipTest("no package was built (see the install_package_build test)")
        self.tmp = tempfile.mkdtemp(prefix="stowline-unpacked-")
        self.addCleanup(shutil.rmtree, self.tmp, True)
        subprocess.run(["dpkg", "-x", deb, os.path.join(self.tmp, "root")], check=True)
        self.binary = os.path.join(self.tmp, "root/usr/bin/stowline")
        self.home = os.path.join(self.tmp, "home")
        self.user = os.path.join(self.home, ".local/share/stowline")
        os.makedirs(self.home)

    def launch(self, run, cwd):
        os.makedirs(cwd, exist_ok=True)
        p = self.start(root=os.path.join(self.tmp, run), binary=self.binary, cwd=cwd,
                       extra_env={"HOME": self.home, "XDG_DATA_HOME": None})
        sw = p.window("Corvane Stowline")
        for kind in KINDS:  # a picture that did not load shows as a small "broken image" icon
            button = p.find(kind, role="push button", within=sw)
            self.assertEqual(button.queryImage().getImageSize(), (150, 150), kind)
        return p

    def pc_rows(self, p, window, name):
        return sum(1 for n in p.all("table cell", within=window)
                   if n.name == name and n.getState().contains(pyatspi.STATE_SHOWING))

    def save_profile(self, p, window, name):
        p.type_into(p.find("Profile Name", role="text", within=window), name)
        p.press(p.find("Save Profile", role="push button", within=window))

        def dialog():
            for i in range(p.app.childCount):
                w = p.app.getChildAtIndex(i)
                if w is not None and w.getState().contains(pyatspi.STATE_SHOWING) and any(
                        n.name == "Profile saved as: " + name for n in p.all("label", within=w)):
                    return w
            return None
        p.press(p.find("OK", role="push button", within=wait_for(dialog, what="the saved notice")))

    def quit(self, p):
        p.quit_from_menu()
        self.assertEqual(p.wait_exit(), 0)
        return p.output()

    def test_menu_start_lays_out_the_user_folder_and_keeps_what_is_saved(self):
        anywhere = os.path.join(self.tmp, "anywhere")
        p = self.launch("first", anywhere)
        bin_folder = os.path.join(self.user, "bin")
        for folder in ("bin", "Profiles", "Device"):
            self.assertTrue(os.path.isdir(os.path.join(self.user, folder)), folder)
        self.assertEqual(os.path.realpath(os.path.join(bin_folder, "d_m600.png")),
                         os.path.join(self.tmp, "root/usr/share/stowline/d_m600.png"))
        self.assertEqual(os.listdir(anywhere), [])
        name = "PKG GUN"  # names hold up to ten characters
        self.save_profile(p, p.choose_device("M600"), name)
        saved = os.path.join(self.user, "Profiles", name + ".pro")
        wait_for(lambda: os.path.exists(saved), what="the saved profile")
        self.assertEqual(os.path.getsize(saved), 556)
        out = self.quit(p)
        self.assertEqual(out.count("Working folder: " + bin_folder + "\n"), 1, out)
        settings = os.path.join(bin_folder, "settings.ini")
        with open(settings, "rb") as f:
            kept = f.read()
        with open(saved, "rb") as f:
            profile = f.read()

        p = self.launch("second", anywhere)
        mw = p.choose_device("M600")
        wait_for(lambda: self.pc_rows(p, mw, name) == 1, what="the saved profile in the PC list")
        out = self.quit(p)
        self.assertIn("Working folder: " + bin_folder, out)
        with open(saved, "rb") as f:
            self.assertEqual(f.read(), profile)
        with open(settings, "rb") as f:
            self.assertEqual(f.read(), kept)


if __name__ == "__main__":
    unittest.main()
