import os
import unittest

import pyatspi

from harness import ProgramTest, wait_for

class Profiles(ProgramTest):
    def rows_named(self, p, window, name):
        """How many shown list rows (of both lists) carry `name`."""
        return sum(1 for n in p.all("table cell", within=window)
                   if n.name == name and n.getState().contains(pyatspi.STATE_SHOWING))

    def test_save_copy_to_device_and_delete(self):
        p = self.start()
        mw = p.choose_device("M600")
        name = "E2E GUN"
        p.type_into(p.find("Profile Name", role="text", within=mw), name)
        p.press(p.find("Save Profile", role="push button", within=mw))
        p.answer(text="Profile saved as: " + name)
        pc_file = os.path.join(p.root, "Profiles", name + ".pro")
        wait_for(lambda: os.path.exists(pc_file), what="the saved file")
        self.assertEqual(os.path.getsize(pc_file), 556)
        wait_for(lambda: self.rows_named(p, mw, name) == 1, what="the PC list row")

        p.press(p.find("Copy to Device", role="push button", within=mw))
        device_file = os.path.join(p.root, "Device", name + ".pro")
        wait_for(lambda: os.path.exists(device_file), what="the device-side copy")
        wait_for(lambda: self.rows_named(p, mw, name) == 2, what="the device list row")
        p.screenshot("profiles-saved-and-copied")

        p.press(p.find("Delete Profile from PC", role="push button", within=mw))
        p.answer("Delete Profile from PC")
        wait_for(lambda: not os.path.exists(pc_file), what="the PC file to go")
        wait_for(lambda: self.rows_named(p, mw, name) == 1, what="the PC row to go")
        self.assertTrue(os.path.exists(device_file))
        p.press(p.find("Delete Profile from Device", role="push button", within=mw))
        p.answer("Delete Profile from Device")
        wait_for(lambda: self.rows_named(p, mw, name) == 0, what="the device row to go")
        self.assertFalse(os.path.exists(device_file))

    def test_copy_over_a_device_profile_replaces_it_after_yes(self):
        p = self.start()
        mw = p.choose_device("M600")
        name = "E2E OVER"
        p.type_into(p.find("Profile Name", role="text", within=mw), name)
        p.press(p.find("Save Profile", role="push button", within=mw))
        p.answer(text="Profile saved as: " + name)
        pc_file = os.path.join(p.root, "Profiles", name + ".pro")
        wait_for(lambda: os.path.exists(pc_file), what="the saved file")
        device_file = os.path.join(p.root, "Device", name + ".pro")
        with open(device_file, "wb") as f:
            f.write(bytes(556))

        p.press(p.find("Copy to Device", role="push button", within=mw))
        p.answer(text="Warning: The selected profile exists on the device.\nDo you wish to overwrite?",
                    button="Yes")
        with open(pc_file, "rb") as f:
            saved = f.read()

        def device_bytes():
            with open(device_file, "rb") as f:
                return f.read()
        wait_for(lambda: device_bytes() == saved, what="the device-side file replaced")
        wait_for(lambda: p.status_text() == "Copied %s to the device, replacing the one there" % name,
                 what="the copy told")

        # Back to the PC: the same question, and No keeps the PC's file.
        p.press(p.find("Copy to PC", role="push button", within=mw))
        question = "Warning: The selected profile exists on the PC.\nDo you wish to overwrite?"
        wait_for(lambda: any(n.name == question for n in p.all("label")), what="the Copy to PC question")
        p.screenshot("copy-to-pc-question")
        p.answer(text=question, button="No")
        with open(pc_file, "rb") as f:
            self.assertEqual(f.read(), saved)


if __name__ == "__main__":
    unittest.main()
