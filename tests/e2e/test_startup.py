import unittest

from harness import ProgramTest


class StartUp(ProgramTest):
    def test_selection_window_offers_four_devices_and_exits_cleanly(self):
        p = self.start()
        sw = p.window("Corvane Stowline")
        for kind in ("Velmora", "M900", "M600", "cv-relay"):
            button = p.find(kind, role="push button", within=sw)
            self.assertTrue(button.getState().contains(__import__("pyatspi").STATE_SENSITIVE), kind)
        p.find("Please Select Your Product", role="label", within=sw)
        p.screenshot("selection-window")
        p.press(p.find("Exit Application", role="push button", within=sw))
        self.assertEqual(p.wait_exit(), 0)
        self.assertIn("String with numbers: 2.35", p.output())


if __name__ == "__main__":
    unittest.main()
