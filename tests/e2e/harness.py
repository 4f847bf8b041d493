"""Starts the real program in a working folder of its own and finds its
windows and controls through the accessibility interface, by role and name,
as a screen reader (or a user) would."""

import os
import re
import shutil
import subprocess
import tempfile
import threading
import time
import unittest

import pyatspi

APP_NAME = "stowline"


def wait_for(condition, timeout=10.0, interval=0.1, what="condition"):
    end = time.monotonic() + timeout
    while True:
        try:
            value = condition()
        except Exception:  # the tree changes under us while the program starts
            value = None
        if value:
            return value
        if time.monotonic() > end:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(interval)


# A GLib log line of level WARNING or CRITICAL, whatever its domain (Gtk, Gdk,
# GLib-GObject, Pango, Atk, ...): "(stowline:123): Gtk-CRITICAL **: 10:00:00.000:
# ..." or, without a domain, "** (stowline:123): WARNING **: ...".
TOOLKIT_TROUBLE = re.compile(r"(?:^|[\s:])(?:[A-Za-z][\w.+-]*-)?(?:WARNING|CRITICAL) \*\*")
# What a program built with the sanitizers prints when it finds a fault.
SANITIZER_REPORT = re.compile(r"ERROR: (?:Address|Leak)Sanitizer|: runtime error: ")


def toolkit_trouble(output):
    """The lines of `output` that are toolkit warnings or criticals, or the
    first lines of a sanitizer's report."""
    return [line for line in output.splitlines() if TOOLKIT_TROUBLE.search(line) or SANITIZER_REPORT.search(line)]


def walk(node, depth=0, limit=40, into_tables=True):
    if node is None or depth > limit:
        return
    yield node
    # A list of a thousand rows is thousands of cells to ask about, one
    # round trip each: skip them unless cells are what is looked for.
    if not into_tables and role_name(node) in ("table", "tree table"):
        return
    for i in range(node.childCount):
        try:
            child = node.getChildAtIndex(i)
        except Exception:
            continue
        yield from walk(child, depth + 1, limit, into_tables)


def start_x_server(screen):
    """An Xvfb of `screen` ("WxH") on a free display: its process and display name."""
    read_end, write_end = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", screen + "x24", "-nolisten", "tcp"],
                              pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as f:
        number = f.readline().strip()
    if not number:
        server.kill()
        raise AssertionError("Xvfb did not start")
    return server, ":" + number


def role_name(node):
    return node.getRoleName()


class Program:
    """One run of the program, in <root>/bin with <root>/Profiles and <root>/Device.

    With `cwd` the program starts in that folder instead, and nothing is laid
    out for it; `binary` replaces STOWLINE_BIN; a None in `extra_env` unsets
    that variable. With `screen` ("1024x768") the program runs on an X server
    of that size of its own."""

    def __init__(self, root=None, extra_env=None, binary=None, cwd=None, screen=None):
        self.root = root or tempfile.mkdtemp(prefix="stowline-e2e-")
        os.makedirs(self.root, exist_ok=True)
        self.bin = cwd or os.path.join(self.root, "bin")
        if cwd is None:
            for d in (self.bin, os.path.join(self.root, "Profiles"), os.path.join(self.root, "Device")):
                os.makedirs(d, exist_ok=True)
            images = os.environ["STOWLINE_IMAGES"]
            for f in os.listdir(images):
                shutil.copy(os.path.join(images, f), self.bin)
        env = dict(os.environ)
        self.xserver = None
        if screen:
            self.xserver, env["DISPLAY"] = start_x_server(screen)
        self.display = env.get("DISPLAY", "")
        env["GTK_MODULES"] = "gail:atk-bridge"
        env["NO_AT_BRIDGE"] = "0"
        if "ASAN_OPTIONS" in env:
            # The accessibility bridge leaks the texts it asks widgets for
            # (tooltips among them). Only a full stack shows that the
            # allocation came from it, so the suppression list can name it.
            env["ASAN_OPTIONS"] += ":fast_unwind_on_malloc=0"
        for key, value in (extra_env or {}).items():
            if value is None:
                env.pop(key, None)
            else:
                env[key] = value
        # Bring the accessibility bus and its registry up before the program
        # looks for them: a program that starts while they are still being
        # activated may never appear on the bus.
        wait_for(lambda: pyatspi.Registry.getDesktop(0).childCount >= 0, what="the accessibility registry")
        self.stdout_path = os.path.join(self.root, "stdout.txt")
        self._stdout = open(self.stdout_path, "wb")
        self.final_output = ""
        self._trouble_reported = False
        self.app = None
        # One more start if the first never shows up on the bus (a loaded
        # machine); a program that is there but wrong still fails its test.
        for attempt in range(2):
            self.proc = subprocess.Popen([binary or os.environ["STOWLINE_BIN"]], cwd=self.bin, env=env,
                                         stdout=self._stdout, stderr=subprocess.STDOUT)
            try:
                self.app = wait_for(self._find_app, timeout=15, what="the program on the accessibility bus")
                break
            except AssertionError:
                self.proc.kill()
                self.proc.wait()
                if attempt == 1:
                    raise

    def _find_app(self):
        """This run's program: by name, and by process when two are on the bus."""
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.name == APP_NAME and app.get_process_id() in (self.proc.pid, -1):
                return app
        return None

    # Finding things ---------------------------------------------------------
    def window(self, title, timeout=10):
        def find():
            for i in range(self.app.childCount):
                w = self.app.getChildAtIndex(i)
                if w is not None and w.name == title and w.getState().contains(pyatspi.STATE_SHOWING):
                    return w
            return None
        return wait_for(find, timeout=timeout, what="window " + repr(title))

    def find(self, name, role=None, within=None, timeout=10, showing=True):
        cells = role in (None, "table cell")

        def look():
            for node in walk(within or self.app, into_tables=cells):
                if node.name != name:
                    continue
                if role and role_name(node) != role:
                    continue
                if showing and not node.getState().contains(pyatspi.STATE_SHOWING):
                    continue
                return node
            return None
        return wait_for(look, timeout=timeout, what="%s %r" % (role or "control", name))

    def shown(self, name, role=None, within=None):
        """True when a control of that name is on screen now (no waiting)."""
        for node in walk(within or self.app, into_tables=role in (None, "table cell")):
            if node.name == name and (not role or role_name(node) == role):
                if node.getState().contains(pyatspi.STATE_SHOWING):
                    return True
        return False

    def window_shown(self, title):
        for i in range(self.app.childCount):
            w = self.app.getChildAtIndex(i)
            if w is not None and w.name == title and w.getState().contains(pyatspi.STATE_SHOWING):
                return True
        return False

    @staticmethod
    def combo_text(combo):
        """The text a combo box shows: the name of its selected item."""
        try:
            sel = combo.querySelection()
            for i in range(sel.nSelectedChildren):
                return sel.getSelectedChild(i).name or ""
        except NotImplementedError:
            pass
        return combo.name or ""

    def output_after_quit(self):
        self.quit_from_menu()
        self.wait_exit()
        return self.output()

    def main_window(self):
        return self.window("Corvane - Stowline")

    def choose_device(self, kind):
        """Presses a device picture in the selection window; the main window."""
        sw = self.window("Corvane Stowline")
        self.press(self.find(kind, role="push button", within=sw))
        return self.main_window()

    def connect_port(self, mw, listed):
        """Waits for the port `listed` in the "COM Port" list, presses Connect
        and waits for the green lamp."""
        combo = self.find("COM Port", role="combo box", within=mw)
        wait_for(lambda: listed in self.combo_text(combo) or listed in (combo.name or ""), what="the simulator's port")
        self.press(self.find("Connect", role="push button", within=mw))
        wait_for(lambda: self.find("Connection Lamp", within=mw).description == "Connected", what="the green lamp")

    def status_text(self):
        bar = self.find_role("status bar")
        texts = [self.text_of(n) for n in walk(bar) if role_name(n) == "label"]
        return "".join(texts)

    def find_role(self, role, within=None, timeout=10):
        return wait_for(lambda: next((n for n in walk(within or self.app) if role_name(n) == role), None),
                        timeout=timeout, what=role)

    def quit_from_menu(self):
        self.press(self.find("Quit", role="menu item", showing=False))

    def all(self, role, within=None):
        return [n for n in walk(within or self.app, into_tables=role == "table cell") if role_name(n) == role]

    def answer(self, title=None, text=None, button="OK"):
        """Answers a shown dialog found by its title, or (message dialogs, which
        the accessibility layer names by their kind) by the text it shows."""
        def find():
            for i in range(self.app.childCount):
                w = self.app.getChildAtIndex(i)
                if w is None or not w.getState().contains(pyatspi.STATE_SHOWING):
                    continue
                if title and w.name == title:
                    return w
                if text and any(n.name == text for n in self.all("label", within=w)):
                    return w
            return None
        dialog = wait_for(find, what="dialog %r" % (title or text))
        self.press(self.find(button, role="push button", within=dialog))

    # Acting -----------------------------------------------------------------
    @staticmethod
    def press(node):
        node.queryAction().doAction(0)

    @staticmethod
    def text_of(node):
        t = node.queryText()
        return t.getText(0, t.characterCount)

    @staticmethod
    def type_into(node, text):
        editable = node.queryEditableText()
        editable.setTextContents(text)

    def screenshot(self, name):
        shots = os.environ.get("STOWLINE_SHOTS") or self.root
        os.makedirs(shots, exist_ok=True)
        path = os.path.join(shots, name + ".png")
        subprocess.run(["import", "-display", self.display, "-window", "root", path], check=False,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return path

    def output(self):
        self._stdout.flush()
        with open(self.stdout_path, "rb") as f:
            return f.read().decode("utf-8", "replace")

    def wait_exit(self, timeout=10):
        return self.proc.wait(timeout=timeout)

    def close(self, keep_root=False):
        """Ends the program; fails (once) when it printed a toolkit warning or
        critical at any time in its run, showing those lines."""
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        if self.xserver:
            self.xserver.terminate()
            self.xserver.wait()
            self.xserver = None
        if not self._stdout.closed:
            self.final_output = self.output()
            self._stdout.close()
        if not keep_root:
            shutil.rmtree(self.root, ignore_errors=True)
        trouble = toolkit_trouble(self.final_output)
        if trouble and not self._trouble_reported:
            self._trouble_reported = True
            raise AssertionError("the program printed toolkit warnings or sanitizer reports:\n" + "\n".join(trouble))


class ProgramTest(unittest.TestCase):
    """Base class: self.program runs for one test and is closed after it."""

    def start_simulator(self, *args, runtime=None):
        """Starts stowline-sim with `args` in a runtime folder of its own (or
        `runtime`); its process, the name the program lists its port under, and
        the extra environment the program needs to see that port. Its output is
        read on as it comes (it tells every line) into self.simulator_said."""
        if runtime is None:
            runtime = tempfile.mkdtemp(prefix="stowline-run-")
            self.addCleanup(shutil.rmtree, runtime, True)
        env = dict(os.environ, XDG_RUNTIME_DIR=runtime)
        sim = subprocess.Popen([os.environ["STOWLINE_SIM"], *args], env=env, stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        self.addCleanup(sim.wait)
        self.addCleanup(sim.terminate)
        listed = None
        while listed is None:
            line = sim.stdout.readline()
            self.assertTrue(line, "the simulator ended before it published its port")
            m = re.search(r"port list as (\S+)", line)
            if m:
                listed = m.group(1)
        self.simulator_said = []
        threading.Thread(target=lambda: self.simulator_said.extend(sim.stdout), daemon=True).start()
        return sim, listed, {"XDG_RUNTIME_DIR": runtime}

    def start(self, **kwargs):
        self.program = Program(**kwargs)
        self.addCleanup(self.program.close)
        return self.program
