"""The real-time part of the soak: the real program, driven through its
accessibility interface, against stowline-sim with faults on its command line,
for ROUNDS rounds of the user's journey (profiles on the device side, Send
Profiles, Get Profiles). One program and one simulator for the whole run, so
that the faults (each strikes once, counted from the simulator's start) fall
into different rounds. Checks each round: every profile the meter stored is the
one sent, every profile saved by the download carries the sent values in
every field the protocol carries, no file outside the device folder changed,
each transfer ended within its bound; prints the program's RSS after each
round, the figures at the end, and exits 1 on a failed check.

    scripts/soak.sh --e2e [ROUNDS]     (Xvfb and a D-Bus session of its own)
"""

import os
import random
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "e2e"))
from harness import Program, wait_for  # noqa: E402

PROFILES_PER_ROUND = 4
# Fields the lines carry for an M600 (no zero offsets below firmware
# 1.12001), by offset, with the resolution of their text.
CARRIED = [("bd", 0, 5e-4), ("bl", 4, 5e-4), ("bw", 8, 0.5), ("bt", 12, 5e-3), ("bc", 332, 5e-4),
           ("mv", 336, 0.5), ("zr", 344, 0.5), ("shi", 348, 5e-4), ("ssfV", 460, 5e-4), ("ssfH", 464, 5e-4)]
CARRIED += [("dsf%d" % i, 20 + 4 * i, 5e-4) for i in range(6)] + [("vl%d" % i, 44 + 4 * i, 5e-4) for i in range(6)]


def faults(rounds):
    """Faults spread over the rounds: per round, a bad checksum on one ":AP",
    a lost ":AV" and, every other round, a lost ":AS" (counted over every line
    of that kind the meter sends, profiles sent again included)."""
    args = []
    for r in range(rounds):
        base = r * (PROFILES_PER_ROUND + 2)
        args += ["--bad-checksum", ":AP@%d" % (base + 2), "--lose", ":AV@%d" % (base + 4)]
        if r % 2 == 1:
            args += ["--lose", ":AS@%d" % (base + 3)]
    return args


def rss_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return -1


def snapshot(root):
    """Every file outside the device folder (and the program's own output):
    size, time and content."""
    seen = {}
    for folder, dirs, files in os.walk(root):
        rel = os.path.relpath(folder, root)
        if rel == "Device":
            dirs[:] = []
            continue
        for name in files:
            path = os.path.join(folder, name)
            if os.path.relpath(path, root) == "stdout.txt":
                continue
            with open(path, "rb") as f:
                seen[os.path.relpath(path, root)] = (os.path.getmtime(path), f.read())
    return seen


def variant(record, rng, name):
    """The saved record with random values in every carried field."""
    data = bytearray(record)
    values = {"bd": rng.uniform(0.17, 0.51), "bl": rng.uniform(0.5, 2.5), "bw": float(rng.randint(30, 700)),
              "bt": rng.choice([-1, 1]) * rng.uniform(6, 16), "bc": rng.uniform(0.15, 1.1),
              "mv": float(rng.randint(900, 3900)), "zr": float(rng.randint(50, 900)), "shi": rng.uniform(0.8, 3.5),
              "ssfV": rng.uniform(0.5, 2.0), "ssfH": rng.uniform(0.5, 2.0)}
    for i in range(6):
        values["dsf%d" % i] = rng.uniform(0.8, 1.2)
        values["vl%d" % i] = rng.uniform(0.5, 4.0)
    for field, offset, _ in CARRIED:
        struct.pack_into("<f", data, offset, values[field])
    struct.pack_into("<i", data, 16, 1 if values["bt"] > 0 else -1)
    struct.pack_into("<i", data, 328, rng.choice([0, 1]))  # G1 or G7: bc is carried
    data[524:556] = name.encode().ljust(32, b"\0")
    return bytes(data)


def main():
    rounds = int(sys.argv[1]) if len(sys.argv) > 1 else 3
    seed = int(os.environ.get("SOAK_SEED", "1"))
    rng = random.Random(seed)
    problems = []
    figures = {"sent": 0, "stored": 0, "saved": 0, "complete": 0, "incomplete": 0}
    started = time.monotonic()

    runtime = tempfile.mkdtemp(prefix="stowline-soak-run-")
    kept = tempfile.mkdtemp(prefix="stowline-soak-meter-")
    given = faults(rounds)
    sim = subprocess.Popen([os.environ["STOWLINE_SIM"], "--m600", "--profiles", kept] + given,
                           env=dict(os.environ, XDG_RUNTIME_DIR=runtime), stdin=subprocess.PIPE,
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    said = []
    listed = None
    while listed is None:
        line = sim.stdout.readline()
        if not line:
            print("the simulator ended before it published its port")
            return 1
        m = re.search(r"port list as (\S+)", line)
        if m:
            listed = m.group(1)
    threading.Thread(target=lambda: said.extend(sim.stdout), daemon=True).start()

    p = Program(extra_env={"XDG_RUNTIME_DIR": runtime})
    rss = []
    try:
        mw = p.choose_device("M600")
        combo = p.find("COM Port", role="combo box", within=mw)
        wait_for(lambda: listed in p.combo_text(combo) or listed in (combo.name or ""), what="the simulator's port")
        p.press(p.find("Connect", role="push button", within=mw))
        wait_for(lambda: p.find("Connection Lamp", within=mw).description == "Connected", what="the green lamp")
        # One profile saved through the form: the others are variants of it.
        p.type_into(p.find("Profile Name", role="text", within=mw), "SOAK BASE")
        p.press(p.find("Save Profile", role="push button", within=mw))
        p.answer(text="Profile saved as: SOAK BASE")
        base_file = os.path.join(p.root, "Profiles", "SOAK BASE.pro")
        wait_for(lambda: os.path.exists(base_file), what="the saved profile")
        with open(base_file, "rb") as f:
            base = f.read()
        device = os.path.join(p.root, "Device")
        before = snapshot(p.root)
        send = next(b for b in p.all("push button", within=mw) if (b.name or "").startswith("Send Profiles"))
        get = next(b for b in p.all("push button", within=mw) if (b.name or "").startswith("Get Profiles"))

        asked = True  # the device side was not read from the meter yet
        for r in range(1, rounds + 1):
            for f in os.listdir(device):
                os.remove(os.path.join(device, f))
            sent = {}
            for i in range(PROFILES_PER_ROUND):
                name = "R%02d %s" % (r, "".join(rng.choice("ABCDEFGHJKLMNPQRSTUVWXYZ") for _ in range(3)))
                sent[name] = variant(base, rng, name)
                with open(os.path.join(device, name + ".pro"), "wb") as f:
                    f.write(sent[name])
            figures["sent"] += len(sent)
            stored_before = sum("stored in slot" in line for line in said)
            p.press(send)
            if asked:  # Send Profiles asks before replacing the meter's profiles
                p.answer(text="Send %d profiles to the device?" % len(sent), button="Send")
            try:
                wait_for(lambda: "%d profiles sent to the device" % len(sent) in p.status_text(), timeout=120,
                         what="the end of the upload")
            except AssertionError as e:
                problems.append("round %d: %s (status: %r)" % (r, e, p.status_text()))
                continue
            wait_for(lambda: sum("stored in slot" in line for line in said) - stored_before >= len(sent),
                     timeout=10, what="the meter's stores")
            figures["stored"] += sum("stored in slot" in line for line in said) - stored_before
            for name, record in sent.items():
                kept_file = os.path.join(kept, name + ".pro")
                if not os.path.exists(kept_file):
                    problems.append("round %d: the meter did not store %s" % (r, name))

            p.press(get)
            try:
                wait_for(lambda: "Download complete" in p.status_text() or "Download incomplete" in p.status_text(),
                         timeout=180, what="the end of the download")
            except AssertionError as e:
                problems.append("round %d: %s (status: %r)" % (r, e, p.status_text()))
                continue
            status = p.status_text()
            asked = "Download complete" not in status
            figures["complete" if "Download complete" in status else "incomplete"] += 1
            files = sorted(os.listdir(device))
            # The meter serves every profile it holds: this round's, and
            # those of earlier rounds it keeps in its folder.
            for file in files:
                name = file[:-4]
                with open(os.path.join(device, file), "rb") as f:
                    got = f.read()
                if len(got) != 556:
                    problems.append("round %d: %s is %d bytes" % (r, file, len(got)))
                    continue
                if name not in sent:
                    continue
                figures["saved"] += 1
                for field, offset, resolution in CARRIED:
                    a, b = (struct.unpack_from("<f", data, offset)[0] for data in (sent[name], got))
                    if field == "bt" and a <= 0:
                        resolution = 5e-2  # a left twist goes with one decimal
                    if abs(a - b) > resolution * 1.001:
                        problems.append("round %d: %s field %s sent %r, got %r" % (r, name, field, a, b))
                if sent[name][328:332] != got[328:332] or sent[name][484:508] != got[484:508]:
                    problems.append("round %d: %s drag code, units or clicks differ" % (r, name))
            missing = [n for n in sent if n + ".pro" not in files]
            if "Download complete" in status and missing:
                problems.append("round %d: \"Download complete\" without %s" % (r, ", ".join(missing)))
            if snapshot(p.root) != before:
                problems.append("round %d: a file outside the device folder changed" % r)
            rss.append(rss_kib(p.proc.pid))
            print("round %d: %d sent, status %r, %d files, RSS %d KiB" % (r, len(sent), status.strip(), len(files),
                                                                           rss[-1]), flush=True)
        output = p.output()
    finally:
        try:
            p.close()
        except AssertionError as e:  # toolkit warnings in the program's output
            problems.append(str(e))
        sim.terminate()
        sim.wait()
        shutil.rmtree(runtime, True)
        shutil.rmtree(kept, True)

    asked = output.count("Profile transmission contained errors")
    skipped = re.findall(r"Skipping profile (.*)", output)
    print("== e2e soak, seed %d: %d rounds, %.0f s wall" % (seed, rounds, time.monotonic() - started))
    print("  faults given to the simulator: %s" % " ".join(given))
    print("  %d profiles sent, %d stored by the meter, %d of this round's saved; downloads: %d complete, "
          "%d incomplete; %d profiles asked again, %d skipped%s" %
          (figures["sent"], figures["stored"], figures["saved"], figures["complete"], figures["incomplete"], asked,
           len(skipped), (": " + "; ".join(skipped)) if skipped else ""))
    if rss:
        print("  RSS after round 1: %d KiB, after round %d: %d KiB" % (rss[0], len(rss), rss[-1]))
    for problem in problems:
        print("VIOLATION " + problem)
    print("  violations: %d" % len(problems))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
