#!/usr/bin/env python3
"""Checks that every #include under src/ (and under tools/, fuzz/ and bench/
beside it) follows the layer order:

  1 base/                 includes nothing of ours but base/
  2 cores                 base/ and the cores below them (CORE_RANK); never
                          the toolkit. Two cores of one rank never include
                          each other, so there is no circle among them.
  3 shell/                base/ and the shell; the toolkit
  4 <module>/window/      base/, cores, the shell, and its own unit only
  5 app/ (the rest)       anything

No unit (a header and its source, "link/carriers" for link/carriers.h and
link/carriers.cpp) of src/ is in an include circle with others, within a
module too: each circle is printed once, at an include that closes it.

Programs other than the window (cli/ under src/, and tools/, fuzz/, bench/)
use base/, the cores, their own files and cli/'s library only, never the toolkit, the shell, a window unit or
app/; the few benchmarks that measure the window itself (WINDOW_PROGRAMS)
are programs of the flows layer.

The link's state object (link/link_object.h) is included only by the files
directly in link/; programs beside src/ reach it through
link/link_test_access.h, which src/ itself never includes.

Prints each include that crosses the order, as file:line (relative to the
src/ folder given), and exits 1."""

import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
TOOLKIT = re.compile(r'^(gtk|gdk|gdk-pixbuf|glib|gio|gobject|pango|atk|cairo)[/-]|^(glib|gtk)\.h$')
NAMES = {1: "base", 2: "core", 3: "shell", 4: "window unit", 5: "flows", "P": "program"}

# The cores in the order of today's includes: a core uses only those of a
# lower rank (and base/).
CORE_RANK = {
    "profile": 1,
    "settings": 2,
    "collections": 3,
    "editor": 3,
    "library": 3,
    "link": 4,
    "ballistics": 4,
}
# Folders beside src/ that hold programs, and src/'s own program folders.
PROGRAM_FOLDERS = ("tools", "fuzz", "bench")
SRC_PROGRAMS = ("cli",)
# Benchmarks of the window itself: they start it, so they are flows.
WINDOW_PROGRAMS = {
    "bench/bullet_window_bench.cpp",
    "bench/folder_scan_bench.cpp",
    "bench/transfer_bench.cpp",
    "bench/preview_bench.cpp",
    "bench/empty_window.c",
    "bench/selection_window.c",
}
SOURCES = (".h", ".c", ".cpp")
# Headers private to a folder: only the files directly in it include them.
# The link's state object is the link's own; tests, fuzz targets, benches
# and tools reach it through link/link_test_access.h, which nothing in src/
# includes.
PRIVATE_HEADERS = {"link/link_object.h": "link/"}
TEST_ACCESS_HEADERS = ("link/link_test_access.h",)


def layer_of(path):
    """(layer, unit) of a path relative to src/; layer None for a folder
    that has no place in the order."""
    if path.startswith("../"):
        outside = path[3:]
        if outside in WINDOW_PROGRAMS:
            return 5, None
        return "P", outside.split("/")[0]
    top = path.split("/")[0]
    if top == "base":
        return 1, None
    if path.startswith("shell/"):
        return 3, None
    if top == "app":
        return 5, None
    if top in SRC_PROGRAMS:
        return "P", top
    m = re.match(r"([^/]+)/window/", path)
    if m:
        return 4, m.group(1)
    if top in CORE_RANK:
        return 2, top
    return None, top


def describe(layer):
    number, unit = layer
    if number is None:
        return f"folder {unit}/ (no place in the layer order)"
    return f"layer {number} ({NAMES[number]}{' ' + unit if unit else ''})"


def allowed(src, dst):
    (sl, su), (dl, du) = src, dst
    if sl == 5:
        return True
    if sl == "P":
        # A program's own files, and the command-line tool's library (its
        # fuzz target and bench exercise it).
        return dl in (1, 2) or (dl == "P" and (du == su or du in SRC_PROGRAMS))
    if sl == 4:
        return dl in (1, 2, 3) or (dl == 4 and du == su)
    if sl == 3:
        return dl in (1, 3)
    if sl == 2:
        return dl == 1 or (dl == 2 and (du == su or CORE_RANK[du] < CORE_RANK[su]))
    return dl == 1


def no_toolkit(layer):
    return layer[0] in (1, 2, "P")


def unit_of(path):
    return os.path.splitext(path)[0]


def check_file(root, full, faults, edges=None):
    rel = os.path.relpath(full, root).replace(os.sep, "/")
    here = layer_of(rel)
    with open(full, encoding="utf-8", errors="replace") as f:
        lines = f.readlines()
    if here[0] is None:
        # Named at its first include, where a layer would have been needed.
        first = next((n for n, line in enumerate(lines, 1) if INCLUDE.match(line)), 1)
        faults.append(f"{rel}:{first}: {describe(here)}")
        return
    for number, line in enumerate(lines, 1):
        m = INCLUDE.match(line)
        if not m:
            continue
        kind, target = m.groups()
        if kind == "<":
            if no_toolkit(here) and TOOLKIT.search(target):
                faults.append(f"{rel}:{number}: a {NAMES[here[0]]} includes the toolkit <{target}>")
            continue
        if not os.path.exists(os.path.join(root, target)):
            continue  # generated headers, the system's, a program's own
        if edges is not None and unit_of(target) != unit_of(rel):
            edges.setdefault(unit_of(rel), {}).setdefault(unit_of(target), f"{rel}:{number}")
        owner = PRIVATE_HEADERS.get(target)
        if owner and not (rel.startswith(owner) and "/" not in rel[len(owner):]):
            faults.append(f"{rel}:{number}: includes \"{target}\", private to {owner}")
            continue
        if target in TEST_ACCESS_HEADERS and not rel.startswith("../") and rel != target:
            faults.append(f"{rel}:{number}: includes \"{target}\", for tests and tools only")
            continue
        there = layer_of(target)
        if there[0] is None or not allowed(here, there):
            faults.append(f"{rel}:{number}: {describe(here)} includes \"{target}\" ({describe(there)})")


def circles(edges):
    """One fault per group of units that include each other in a circle
    (a strongly connected component of the unit graph, Tarjan's way)."""
    index, low, stack, on_stack, groups = {}, {}, [], set(), []

    def visit(unit):
        index[unit] = low[unit] = len(index)
        stack.append(unit)
        on_stack.add(unit)
        for after in sorted(edges.get(unit, {})):
            if after not in index:
                visit(after)
                low[unit] = min(low[unit], low[after])
            elif after in on_stack:
                low[unit] = min(low[unit], index[after])
        if low[unit] == index[unit]:
            group = set()
            while True:
                member = stack.pop()
                on_stack.discard(member)
                group.add(member)
                if member == unit:
                    break
            if len(group) > 1:
                groups.append(group)

    for unit in sorted(edges):
        if unit not in index:
            visit(unit)
    faults = []
    for group in sorted(groups, key=min):
        # The shortest way round from the group's first unit back to it.
        start = min(group)
        ways = {start: [start]}
        queue = [start]
        while queue:
            unit = queue.pop(0)
            for after in sorted(edges.get(unit, {})):
                if after == start:
                    way = ways[unit] + [start]
                    queue = []
                    break
                if after in group and after not in ways:
                    ways[after] = ways[unit] + [after]
                    queue.append(after)
        where = edges[way[-2]][start]
        faults.append(f"{where}: units include each other in a circle: {' -> '.join(way)}")
    return faults


def check(root):
    """Faults of the src/ folder `root` and of the program folders beside it."""
    faults = []
    edges = {}
    parent = os.path.dirname(os.path.abspath(root))
    folders = [root] + [os.path.join(parent, p) for p in PROGRAM_FOLDERS]
    for top in folders:
        if not os.path.isdir(top):
            continue
        for folder, dirs, files in os.walk(top):
            dirs[:] = sorted(d for d in dirs if not d.startswith("."))
            for name in sorted(files):
                if name.endswith(SOURCES):
                    check_file(root, os.path.join(folder, name), faults, edges if top == root else None)
    return faults + circles(edges)


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else "src"
    faults = check(root)
    for fault in faults:
        print(fault)
    if faults:
        print(f"{len(faults)} include(s) cross the layer order or close a circle", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
