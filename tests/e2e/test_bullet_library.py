import unittest

import pyatspi

from harness import ProgramTest, wait_for


class BulletLibrary(ProgramTest):
    def test_filter_choose_and_see_the_editor_change(self):
        p = self.start()
        mw = p.choose_device("M600")
        diameter = p.find("Bullet Diameter", role="text", within=mw)
        before = p.text_of(diameter)

        p.press(p.find("[Choose from Database]", role="push button", within=mw))
        bl = p.window("Bullet List")
        p.type_into(p.find("Filter", role="text", within=bl), "sniper")
        table = p.find("SniperSubsonic", role="table cell", within=bl).parent
        # Only the one bullet is left; its row is the first.
        table.queryTable().addRowSelection(0)
        p.screenshot("bullet-library-filtered")
        p.press(p.find("OK", role="push button", within=bl))
        p.press(p.find("Yes", role="push button"))

        wait_for(lambda: not bl.getState().contains(pyatspi.STATE_SHOWING), what="the library to close")
        bc = p.find("Ballistic Coeff.", role="text", within=mw)
        wait_for(lambda: p.text_of(bc) == "0.113", what="the chosen bullet's BC")
        self.assertEqual(p.text_of(p.find("Bullet Mass", role="text", within=mw)).strip(), "60")
        self.assertEqual(p.text_of(diameter), "0.222")
        self.assertNotEqual(p.text_of(diameter), before)
        p.screenshot("bullet-chosen")


if __name__ == "__main__":
    unittest.main()
