import unittest

from harness import ProgramTest, wait_for


class SolutionPreview(ProgramTest):
    def test_open_change_the_wind_and_read_a_row_back(self):
        p = self.start()
        mw = p.choose_device("M600")
        p.press(p.find("Solution Preview", role="push button", within=mw))
        pv = p.window("Solution Preview")
        table = p.find("Solution Table", role="table", within=pv).queryTable()

        def row(range_text):
            """The cells of the row whose range reads `range_text`."""
            for r in range(table.nRows):
                if table.getAccessibleAt(r, 0).name == range_text:
                    return [table.getAccessibleAt(r, c).name for c in range(table.nColumns)]
            return None

        calm = wait_for(lambda: row("500"), what="the 500 m row")
        p.type_into(p.find("Wind Speed", role="text", within=pv), "10")
        direction = p.find("Wind Direction", role="text", within=pv)
        p.type_into(direction, "90")
        direction.queryAction().doAction(0)  # Enter

        windy = wait_for(lambda: (lambda r: r if r and r[3] != calm[3] else None)(row("500")),
                         what="the 500 m row in the wind")
        # A wind from the right pushes the bullet left (negative windage):
        # dial right (a positive hold). Range and velocity columns stay put.
        self.assertLess(float(windy[3]), float(calm[3]) - 5)
        self.assertGreater(float(windy[4]), 0)
        self.assertEqual(windy[0], "500")
        p.screenshot("solution-preview-wind")


if __name__ == "__main__":
    unittest.main()
