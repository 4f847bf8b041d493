import os
import struct
import tempfile
import unittest

import pyatspi

from harness import ProgramTest, wait_for


def profile_bytes(name):
    """A saved profile whose values the form's display formats round: the
    save-time values are already in it, so a save without an edit must give
    the same bytes back."""
    b = bytearray(556)
    def put(fmt, offset, *values):
        struct.pack_into("<" + fmt, b, offset, *values)
    put("ffff", 0, 0.308, 1.24, 168.0, 11.25)           # bd bl bw bt
    put("i", 16, 1)                                       # sd
    put("6f", 20, 0.9876, 1.0, 1.0, 1.0, 1.0, 1.0)        # dsf
    put("6f", 44, 1.234, 0, 0, 0, 0, 0)                   # vl
    put("ffffff", 332, 0.462, 2600.0, 1000.0, 100.0, 1.75, 0.5)  # bc mv maxr zr shi zh
    put("f", 356, -0.25)                                  # zo
    put("ffff", 376, 59.0, 29.92, 0.0, 0.0)              # temp pres hum alt
    put("f", 392, 10.0)                                   # ws
    put("fi", 400, 90.0, 1)                               # wd ou
    put("6f", 408, 20.0, 59.0, 90.0, 0, 0, 0)             # mvt_temp
    put("6f", 432, 2501.0, 2502.0, 2504.0, 0, 0, 0)       # mvt_mv
    put("fff", 456, 1.0, 1.0, 1.0)                        # spare3 ssfV ssfH
    put("ffff", 468, 59.0, 29.92, 78.0, 0.0)             # second atmosphere
    put("6i", 484, 2, 3, 1, 1, 10, 10)                    # eu wu ce cw cve cvw
    b[524:524 + len(name)] = name.encode()
    return bytes(b)


class ValuesKept(ProgramTest):
    def test_saves_in_every_unit_system_and_a_new_profile_keep_what_the_user_kept(self):
        root = tempfile.mkdtemp(prefix="stowline-e2e-")
        os.makedirs(os.path.join(root, "Profiles"))
        name = "KEPT"
        path = os.path.join(root, "Profiles", name + ".pro")
        original = profile_bytes(name)
        with open(path, "wb") as f:
            f.write(original)
        p = self.start(root=root)
        mw = p.choose_device("M600")
        cell = wait_for(lambda: next((c for c in p.all("table cell", within=mw) if c.name == name), None),
                        what="the profile's row")
        cell.parent.querySelection().selectChild(cell.getIndexInParent())
        entry = p.find("Profile Name", role="text", within=mw)
        wait_for(lambda: p.text_of(entry) == name, what="the profile loaded")

        def save_and_read():
            os.remove(path)
            p.press(p.find("Save Profile", role="push button", within=mw))
            p.answer(text="Profile saved as: " + name)
            wait_for(lambda: os.path.exists(path), what="the saved file")
            with open(path, "rb") as f:
                return f.read()

        for units in ("Mixed", "Metric", "English"):
            p.press(p.find(units, role="radio button", within=mw))
            self.assertEqual(save_and_read(), original, units)

        # A new profile has none of the previous rifle's table or zero offsets.
        p.press(p.find("New Profile", role="push button", within=mw))
        wait_for(lambda: p.text_of(entry) == "UNSAVED", what="the new profile")
        p.type_into(entry, name)
        new = save_and_read()
        self.assertEqual(struct.unpack_from("<ff", new, 352), (0.0, 0.0))
        self.assertEqual(new[408:456], bytes(48))
        self.assertEqual(struct.unpack_from("<f", new, 336), (2600.0,))


if __name__ == "__main__":
    unittest.main()
