import os
import stat
import tempfile
import unittest

from harness import Program, ProgramTest, wait_for


class FolderGuards(ProgramTest):
    def test_a_second_copy_on_the_same_folder_says_so_and_ends(self):
        first = self.start()
        first.choose_device("M600")
        # What Get Profiles would have brought: the second copy must not empty it.
        got = os.path.join(first.root, "Device", "GOT.pro")
        with open(got, "wb") as f:
            f.write(bytes(556))

        second = Program(root=first.root)
        self.addCleanup(second.close, keep_root=True)
        said = "Stowline is already running with this working folder."
        second.find(said, role="label")
        second.screenshot("second-instance")
        second.answer(text=said, button="OK")
        self.assertEqual(second.wait_exit(), 1)
        self.assertIn("already running with the working folder", second.output())
        self.assertTrue(os.path.exists(got))
        self.assertNotIn("Deleting...", second.output())
        self.assertIsNone(first.proc.poll())

        # Once the first has ended (even killed), the folder is free again.
        first.proc.kill()
        first.proc.wait()
        third = Program(root=first.root)
        self.addCleanup(third.close, keep_root=True)
        third.window("Corvane Stowline")

    def test_a_read_only_profile_folder_tells_why_and_keeps_the_work(self):
        binary = os.environ["STOWLINE_BIN"]
        if os.geteuid() == 0:
            # root writes anywhere: run the program without that privilege.
            wrapper_dir = tempfile.mkdtemp(prefix="stowline-ro-")
            self.addCleanup(lambda: __import__("shutil").rmtree(wrapper_dir, True))
            binary = os.path.join(wrapper_dir, "stowline")
            drop = "-dac_override,-dac_read_search"
            with open(binary, "w") as f:
                f.write('#!/bin/sh\nexec setpriv --inh-caps=%s --bounding-set=%s -- "%s" "$@"\n'
                        % (drop, drop, os.environ["STOWLINE_BIN"]))
            os.chmod(binary, 0o755)
        p = self.start(binary=binary)
        profiles = os.path.join(p.root, "Profiles")
        os.chmod(profiles, stat.S_IRUSR | stat.S_IXUSR | stat.S_IRGRP | stat.S_IXGRP)
        self.addCleanup(os.chmod, profiles, 0o755)
        mw = p.choose_device("M600")
        p.type_into(p.find("Profile Name", role="text", within=mw), "RO GUN")
        mv = p.find("Muzzle Velocity", role="text", within=mw)
        p.type_into(mv, "2750")

        p.press(p.find("Save Profile", role="push button", within=mw))
        wait_for(lambda: p.status_text() == "Could not save RO GUN.pro: permission denied",
                 what="the failure in the status bar, not " + repr(p.status_text()))
        self.assertEqual(os.listdir(profiles), [])

        # Leaving the profile asks; Cancel keeps the work as it was.
        p.press(p.find("New Profile", role="push button", within=mw))
        p.find("Save changes to RO GUN?", role="label")
        p.screenshot("save-changes-question")
        p.answer(text="Save changes to RO GUN?", button="Cancel")
        wait_for(lambda: p.text_of(mv) == "2750", what="the typed velocity kept")
        self.assertEqual(p.text_of(p.find("Profile Name", role="text", within=mw)), "RO GUN")
        self.assertEqual(p.status_text(), "Could not save RO GUN.pro: permission denied")


if __name__ == "__main__":
    unittest.main()
