import os
import shutil
import struct
import tempfile
import time
import unittest

import pyatspi

from harness import Program, ProgramTest, wait_for

LINK_CONTROLS = ("COM Port", "Connect", "Connection Lamp")


class DeviceChoice(ProgramTest):
    def test_m600_keeps_the_port_controls_and_hides_the_folder_button(self):
        p = self.start()
        mw = p.choose_device("M600")
        for name in LINK_CONTROLS:
            self.assertTrue(p.shown(name, within=mw), name)
        self.assertFalse(p.shown("Select Velmora 2 Profile Folder", within=mw))
        self.assertTrue(p.shown("Get Profiles\nfrom Zeravik", role="push button", within=mw))
        self.assertTrue(p.shown("Send Profiles\nto Zeravik", role="push button", within=mw))
        self.assertFalse(p.window_shown("Corvane Stowline"))
        p.screenshot("main-window-m600")

    def test_cv_relay_relabels_the_transfer_buttons(self):
        p = self.start()
        mw = p.choose_device("cv-relay")
        self.assertTrue(p.shown("Get Profiles\nFrom CV\nDevice", role="push button", within=mw))
        self.assertTrue(p.shown("Send Profiles\nTo CV Device", role="push button", within=mw))
        self.assertTrue(p.shown("Connect", role="push button", within=mw))
        self.assertFalse(p.shown("Select Velmora 2 Profile Folder", within=mw))

    def test_velmora_shows_no_link_control_but_the_folder_button(self):
        p = self.start()
        mw = p.choose_device("Velmora")
        for name in LINK_CONTROLS:
            self.assertFalse(p.shown(name, within=mw), name)
        self.assertFalse(p.shown("Get Profiles\nfrom Zeravik", within=mw))
        self.assertFalse(p.shown("Send Profiles\nto Zeravik", within=mw))
        self.assertTrue(p.shown("Select Velmora 2 Profile Folder", within=mw))
        p.screenshot("main-window-velmora")

    def test_m900_without_its_cable_says_so_and_carries_on(self):
        p = self.start()
        mw = p.choose_device("M900")
        self.assertFalse(p.shown("COM Port", within=mw))
        self.assertFalse(p.shown("Connect", within=mw))
        self.assertFalse(p.shown("Select Velmora 2 Profile Folder", within=mw))
        wait_for(lambda: "Could not detect Zeravik USB Cable" in p.status_text(), what="the cable message")
        lamp = p.find("Connection Lamp", within=mw)
        self.assertEqual(lamp.description, "Not connected")
        self.assertIn("SLAB DEBUG", p.output_after_quit())


class Settings(ProgramTest):
    def test_unit_system_and_file_survive_a_restart(self):
        root = tempfile.mkdtemp(prefix="stowline-e2e-")
        self.addCleanup(shutil.rmtree, root, True)
        first = Program(root=root)
        try:
            mw = first.choose_device("M600")
            first.press(first.find("English", role="radio button", within=mw))
            wait_for(lambda: first.find("English", role="radio button", within=mw)
                     .getState().contains(pyatspi.STATE_CHECKED), what="English checked")
            first.quit_from_menu()
            self.assertEqual(first.wait_exit(), 0)
        finally:
            first.close(keep_root=True)
        with open(os.path.join(root, "bin", "settings.ini"), "rb") as f:
            data = f.read()
        self.assertEqual(len(data), 1028)
        self.assertEqual(struct.unpack("<i", data[:4])[0], 2)

        second = Program(root=root)
        try:
            mw = second.choose_device("M600")
            english = second.find("English", role="radio button", within=mw)
            self.assertTrue(english.getState().contains(pyatspi.STATE_CHECKED))
            self.assertEqual(second.text_of(second.find("Muzzle Velocity", role="text", within=mw)), "2600")
        finally:
            second.close(keep_root=True)

    def test_exit_from_the_selection_window_keeps_the_stored_settings(self):
        p = self.start()
        stored = struct.pack("<i", 3) + b"/some/folder".ljust(1024, b"\0")
        with open(os.path.join(p.bin, "settings.ini"), "wb") as f:
            f.write(stored)
        p.press(p.find("Exit Application", role="push button"))
        self.assertEqual(p.wait_exit(), 0)
        with open(os.path.join(p.bin, "settings.ini"), "rb") as f:
            self.assertEqual(f.read(), stored)


class SimulatedMeter(ProgramTest):
    def test_connecting_to_the_simulators_port_turns_the_lamp_green(self):
        sim, listed, env = self.start_simulator("--m600")
        p = self.start(extra_env=env)
        mw = p.choose_device("M600")
        combo = p.find("COM Port", role="combo box", within=mw)
        wait_for(lambda: listed in combo.name or any(listed in (n.name or "") for n in p.all("menu item", combo))
                 or listed in p.combo_text(combo), what="the simulator's port in the list")
        p.press(p.find("Connect", role="push button", within=mw))
        lamp = p.find("Connection Lamp", within=mw)
        wait_for(lambda: lamp.description == "Connected", what="the green lamp")
        self.assertTrue(p.shown("Disconnect", role="push button", within=mw))
        self.assertIn("Connected to device...", p.status_text())
        p.screenshot("connected-to-simulator")

        p.press(p.find("Disconnect", role="push button", within=mw))
        wait_for(lambda: lamp.description == "Not connected", what="the red lamp")
        self.assertIn("Device disconnected...", p.status_text())


if __name__ == "__main__":
    unittest.main()
