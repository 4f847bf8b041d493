import unittest

import pyatspi

from harness import ProgramTest, walk, role_name

CONTROLS = ("push button", "combo box", "text", "radio button", "table", "tree table", "status bar")


class SmallScreen(ProgramTest):
    def test_every_control_of_the_main_window_is_on_a_1024x768_screen(self):
        p = self.start(screen="1024x768")
        mw = p.choose_device("M600")
        p.find("Connect", role="push button", within=mw)

        def box(node):
            e = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
            return e.x, e.y, e.x + e.width, e.y + e.height

        left, top, right, bottom = box(mw)
        self.assertTrue(left >= 0 and top >= 0 and right <= 1024 and bottom <= 768, box(mw))
        seen = set()
        for node in walk(mw, into_tables=False):
            if role_name(node) in CONTROLS and node.name and node.getState().contains(pyatspi.STATE_SHOWING):
                x0, y0, x1, y1 = box(node)
                self.assertTrue(left <= x0 and x1 <= right and top <= y0 and y1 <= bottom, (node.name, box(node)))
                seen.add(node.name)
        for name in ("Connect", "COM Port", "E Units", "W Click Units", "Metric", "Copy to PC", "Send Profiles\nto Zeravik",
                     "Delete Profile from Device", "Solution Preview"):
            self.assertIn(name, seen)
        p.screenshot("main-1024")


if __name__ == "__main__":
    unittest.main()
