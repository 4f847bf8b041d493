"""Send Profiles with an empty device side: the program asks before it
erases the meter's profiles, and Escape sends nothing."""

import os
import shutil
import subprocess
import tempfile
import time
import unittest

import pyatspi
from harness import ProgramTest, wait_for


class SendQuestion(ProgramTest):
    def test_an_empty_device_side_is_not_sent_on_escape(self):
        kept = tempfile.mkdtemp(prefix="stowline-meter-")
        self.addCleanup(shutil.rmtree, kept, True)
        with open(os.path.join(kept, "KEEP ME.pro"), "wb") as f:
            f.write(bytes(524) + b"KEEP ME".ljust(32, b"\0"))
        sim, listed, env = self.start_simulator("--m600", "--profiles", kept)
        p = self.start(extra_env=env)
        mw = p.choose_device("M600")
        p.connect_port(mw, listed)

        send = next(b for b in p.all("push button", within=mw) if (b.name or "").startswith("Send Profiles"))
        p.press(send)
        def shown_question():
            # Message dialogs are named by their kind: found by their text.
            for i in range(p.app.childCount):
                w = p.app.getChildAtIndex(i)
                if w is not None and w.getState().contains(pyatspi.STATE_SHOWING) and \
                        any(n.name == "Send 0 profiles to the device?" for n in p.all("label", within=w)):
                    return w
            return None

        question = wait_for(shown_question, what="the question")
        labels = [n.name for n in p.all("label", within=question)]
        self.assertIn("Send 0 profiles to the device?", labels)
        self.assertTrue(any("every profile on the device will be erased" in (n or "") for n in labels), labels)
        p.screenshot("send-question")

        window = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Send Profiles$"],
                                capture_output=True, text=True).stdout.split()
        self.assertTrue(window, "the question's window")
        subprocess.run(["xdotool", "windowfocus", "--sync", window[0], "key", "Escape"], check=True)
        wait_for(lambda: shown_question() is None, what="the question closed")
        wait_for(lambda: "Nothing sent" in p.status_text(), what="the status message")
        time.sleep(1.0)  # what would have been sent has had its time
        self.assertFalse(any(line.startswith("received:") for line in self.simulator_said), self.simulator_said)
        self.assertEqual(os.listdir(kept), ["KEEP ME.pro"])


if __name__ == "__main__":
    unittest.main()
