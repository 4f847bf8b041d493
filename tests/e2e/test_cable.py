"""The cable as a desk has it: the simulated M600 plugged in after the program
started, connected, pulled out in the middle of Send Profiles, plugged in
again and sent to, through the accessibility interface."""

import os
import re
import shutil
import tempfile
import unittest

from harness import ProgramTest, wait_for

COPIES = 6


class Cable(ProgramTest):
    def test_plug_connect_pull_during_a_send_plug_again_and_send(self):
        runtime = tempfile.mkdtemp(prefix="stowline-run-")
        kept = tempfile.mkdtemp(prefix="stowline-meter-")
        for d in (runtime, kept):
            self.addCleanup(shutil.rmtree, d, True)
        p = self.start(extra_env={"XDG_RUNTIME_DIR": runtime})
        mw = p.choose_device("M600")
        p.type_into(p.find("Profile Name", role="text", within=mw), "CABLE 1")
        p.press(p.find("Save Profile", role="push button", within=mw))
        p.answer(text="Profile saved as: CABLE 1")
        p.press(p.find("Copy to Device", role="push button", within=mw))
        first = os.path.join(p.root, "Device", "CABLE 1.pro")
        wait_for(lambda: os.path.exists(first), what="the device-side copy")
        with open(first, "rb") as f:
            record = f.read()
        for n in range(2, COPIES + 1):
            with open(os.path.join(p.root, "Device", "CABLE %d.pro" % n), "wb") as f:
                f.write(record[:524] + ("CABLE %d" % n).encode().ljust(32, b"\0"))

        combo = p.find("COM Port", role="combo box", within=mw)
        lamp = p.find("Connection Lamp", within=mw)
        send = next(b for b in p.all("push button", within=mw) if (b.name or "").startswith("Send Profiles"))
        for plugging in (1, 2):
            sim, listed, _ = self.start_simulator("--m600", "--profiles", kept, runtime=runtime)
            wait_for(lambda: listed in p.combo_text(combo), what="the plugged port, chosen")
            p.press(p.find("Connect", role="push button", within=mw))
            wait_for(lambda: lamp.description == "Connected", what="the green lamp")
            p.press(send)
            p.answer(text="Send %d profiles to the device?" % COPIES, button="Send")
            if plugging == 2:
                break
            wait_for(lambda: any("stored in slot 2" in line for line in self.simulator_said), timeout=30,
                     what="two profiles stored")
            sim.terminate()  # the cable is pulled
            lost = wait_for(lambda: re.search(r"Device disconnected during Send Profiles: (\d) of %d profiles were "
                                              r"sent completely" % COPIES, p.status_text()), what="the message")
            self.assertGreaterEqual(int(lost.group(1)), 2)
            self.assertEqual(lamp.description, "Not connected")
            p.find("Connect", role="push button", within=mw)
            wait_for(lambda: listed not in p.combo_text(combo), what="the pulled port gone from the list")
            p.screenshot("cable-pulled-during-send")
        wait_for(lambda: "%d profiles sent to the device" % COPIES in p.status_text(), timeout=60,
                 what="the whole upload")
        wait_for(lambda: len([f for f in os.listdir(kept) if f.endswith(".pro")]) == COPIES, what="the meter's copies")


if __name__ == "__main__":
    unittest.main()
