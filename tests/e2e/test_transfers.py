"""One user's round: save a profile, copy it to the device side, send it to
a simulated M600 and get it back, through the accessibility interface."""

import os
import shutil
import struct
import tempfile
import unittest

from harness import ProgramTest, wait_for

# Fields the lines carry, by offset, with the resolution their text has (an
# M600 reports no version, so it carries no zero offsets).
CARRIED = [("bd", 0, 5e-4), ("bl", 4, 5e-4), ("bw", 8, 0.5), ("bt", 12, 5e-3), ("bc", 332, 5e-4),
           ("mv", 336, 0.5), ("zr", 344, 0.5), ("shi", 348, 5e-4), ("ssfV", 460, 5e-4), ("ssfH", 464, 5e-4)]
CARRIED += [("dsf%d" % i, 20 + 4 * i, 5e-4) for i in range(6)] + [("vl%d" % i, 44 + 4 * i, 5e-4) for i in range(6)]


class Transfers(ProgramTest):
    def test_send_to_the_simulated_meter_and_get_it_back(self):
        kept = tempfile.mkdtemp(prefix="stowline-meter-")
        self.addCleanup(shutil.rmtree, kept, True)
        sim, listed, env = self.start_simulator("--m600", "--profiles", kept)
        p = self.start(extra_env=env)
        mw = p.choose_device("M600")
        p.connect_port(mw, listed)

        name = "TRIP 308"
        p.type_into(p.find("Profile Name", role="text", within=mw), name)
        p.press(p.find("Save Profile", role="push button", within=mw))
        p.answer(text="Profile saved as: " + name)
        p.press(p.find("Copy to Device", role="push button", within=mw))
        device_file = os.path.join(p.root, "Device", name + ".pro")
        wait_for(lambda: os.path.exists(device_file), what="the device-side copy")
        # Three more on the device side, so that the upload lasts long enough to be seen.
        with open(device_file, "rb") as f:
            record = f.read()
        others = ["TRIP %d" % n for n in (1, 2, 3)]
        for other in others:
            with open(os.path.join(p.root, "Device", other + ".pro"), "wb") as f:
                f.write(record[:524] + other.encode().ljust(32, b"\0"))

        send = next(b for b in p.all("push button", within=mw) if (b.name or "").startswith("Send Profiles"))
        p.press(send)
        # The device side was not read from this meter: it asks before replacing the meter's profiles.
        p.answer(text="Send 4 profiles to the device?", button="Send")
        progress = p.window("Progress", timeout=10)
        wait_for(lambda: any((n.name or "").startswith("Sending profile: " + name) for n in p.all("label", progress)),
                 what="the profile's progress text")
        p.screenshot("progress-while-sending")
        wait_for(lambda: "4 profiles sent to the device" in p.status_text(), timeout=60, what="the end of the upload")
        stored = os.path.join(kept, name + ".pro")
        wait_for(lambda: os.path.exists(stored), what="the meter's copy")

        get = next(b for b in p.all("push button", within=mw) if (b.name or "").startswith("Get Profiles"))
        p.press(get)
        wait_for(lambda: not os.path.exists(device_file) or "Download complete" in p.status_text(),
                 what="the device side emptied first")
        wait_for(lambda: "Download complete" in p.status_text(), timeout=60, what="the end of the download")
        wait_for(lambda: sum(c.name in others + [name] for c in p.all("table cell", within=mw)) == 5,
                 what="the device list rows (and the PC row)")
        with open(os.path.join(p.root, "Profiles", name + ".pro"), "rb") as f:
            sent = f.read()
        with open(device_file, "rb") as f:
            got = f.read()
        self.assertEqual(len(got), 556)
        for field, offset, resolution in CARRIED:
            a, b = (struct.unpack_from("<f", data, offset)[0] for data in (sent, got))
            self.assertLessEqual(abs(a - b), resolution * 1.001, field)
        self.assertEqual(sent[484:508], got[484:508], "units and clicks")
        self.assertEqual(got[524:524 + len(name) + 1], name.encode() + b"\0")
        p.screenshot("device-list-after-get")
        said = self.simulator_said
        self.assertTrue(any("stored in slot 4" in line for line in said), said[-5:])


if __name__ == "__main__":
    unittest.main()
