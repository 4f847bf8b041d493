#!/usr/bin/env python3
"""Checks that every #include under src/ follows the layer order:

  1 base/                 includes nothing of ours but base/
  2 cores                 base/ and cores; never the toolkit
  3 app/shell/            base/ and the shell; the toolkit
  4 <module>/window/      base/, cores, the shell, and its own unit only
  5 app/ (the rest)       anything

Prints each include that crosses the order, as file:line, and exits 1."""

import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
TOOLKIT = re.compile(r'^(gtk|gdk|gdk-pixbuf|glib|gio|gobject|pango|atk|cairo)[/-]|^(glib|gtk)\.h$')
NAMES = {1: "base", 2: "core", 3: "shell", 4: "window unit", 5: "flows"}


def layer_of(path):
    """(layer, unit) of a path relative to src/."""
    if path.startswith("base/"):
        return 1, None
    if path.startswith("app/shell/"):
        return 3, None
    if path.startswith("app/"):
        return 5, None
    m = re.match(r"([^/]+)/window/", path)
    if m:
        return 4, m.group(1)
    return 2, None


def describe(layer):
    number, unit = layer
    return f"layer {number} ({NAMES[number]}{' ' + unit if unit else ''})"


def allowed(src, dst):
    (sl, su), (dl, du) = src, dst
    if sl == 5:
        return True
    if sl == 4:
        return dl in (1, 2, 3) or (dl == 4 and du == su)
    if sl == 3:
        return dl in (1, 3)
    return dl <= sl


def check(root):
    faults = []
    for folder, _, files in os.walk(root):
        for name in sorted(files):
            if not name.endswith((".h", ".cpp")):
                continue
            full = os.path.join(folder, name)
            rel = os.path.relpath(full, root).replace(os.sep, "/")
            here = layer_of(rel)
            with open(full, encoding="utf-8", errors="replace") as f:
                for number, line in enumerate(f, 1):
                    m = INCLUDE.match(line)
                    if not m:
                        continue
                    kind, target = m.groups()
                    if kind == "<":
                        if here[0] <= 2 and TOOLKIT.search(target):
                            faults.append(f"{rel}:{number}: a {NAMES[here[0]]} includes the toolkit <{target}>")
                        continue
                    if not os.path.exists(os.path.join(root, target)):
                        continue  # generated headers and the system's
                    there = layer_of(target)
                    if not allowed(here, there):
                        faults.append(f"{rel}:{number}: {describe(here)} includes \"{target}\" ({describe(there)})")
    return faults


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else "src"
    faults = check(root)
    for fault in faults:
        print(fault)
    if faults:
        print(f"{len(faults)} include(s) cross the layer order", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
