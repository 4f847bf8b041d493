"""The layer checker on a made-up tree: each row is a file (relative to src/;
"../" for the program folders beside it), what it includes, and whether that
include crosses the layer order. Then units that include each other: each row
is a few files with their include, and the one fault expected (or none)."""

import os
import sys
import tempfile

sys.path.insert(0, sys.argv[1])
import check_layers  # noqa: E402

ROWS = [
    ("profile/p.cpp", '"base/b.h"', False),
    ("collections/f.cpp", '"profile/p.h"', False),
    ("editor/window/e.cpp", '"editor/window/e.h"', False),
    ("editor/window/e.cpp", '"shell/s.h"', False),
    ("app/startup.cpp", '"collections/window/l.h"', False),
    ("shell/s.cpp", '<gtk/gtk.h>', False),
    ("base/b.cpp", '"profile/p.h"', True),
    ("profile/p.cpp", '"shell/s.h"', True),
    ("link/x.cpp", '<gtk/gtk.h>', True),
    ("shell/s.cpp", '"profile/p.h"', True),
    ("editor/window/e.cpp", '"collections/window/l.h"', True),
    ("collections/window/l.cpp", '"app/hooks.h"', True),
    # The cores among themselves: downwards only, never between equals.
    ("link/x.cpp", '"collections/f.h"', False),
    ("ballistics/s.cpp", '"editor/m.h"', False),
    ("collections/f.cpp", '"link/x.h"', True),
    ("profile/p.cpp", '"settings/s.h"', True),
    ("editor/m.cpp", '"collections/f.h"', True),
    ("link/x.cpp", '"ballistics/s.h"', True),
    ("gadgets/g.cpp", '"base/b.h"', True),
    # Programs: base and cores, never the toolkit, the shell, a window unit.
    ("cli/main.cpp", '"link/x.h"', False),
    ("cli/main.cpp", '<gtk/gtk.h>', True),
    ("cli/main.cpp", '"shell/s.h"', True),
    ("../tools/sim.cpp", '"link/x.h"', False),
    ("../fuzz/f.cpp", '"collections/window/l.h"', True),
    ("../bench/b.cpp", '"app/hooks.h"', True),
    ("../bench/transfer_bench.cpp", '"app/hooks.h"', False),
    ("shell/s.cpp", '"base/b.h"', False),
    ("shell/s.cpp", '"link/x.h"', True),
    ("profile/p.cpp", '"cli/c.h"', True),
    # The link's private state: its own files, and tools through the test access.
    ("link/x.cpp", '"link/link_object.h"', False),
    ("link/window/w.cpp", '"link/link_object.h"', True),
    ("cli/main.cpp", '"link/link_object.h"', True),
    ("../tools/sim.cpp", '"link/link_object.h"', True),
    ("../fuzz/f.cpp", '"link/link_test_access.h"', False),
    ("cli/main.cpp", '"link/link_test_access.h"', True),
]

HEADERS = ["base/b.h", "profile/p.h", "shell/s.h", "editor/window/e.h", "collections/window/l.h", "app/hooks.h",
           "collections/f.h", "editor/m.h", "settings/s.h", "link/x.h", "ballistics/s.h", "cli/c.h",
           "link/link_object.h", "link/link_test_access.h"]

with tempfile.TemporaryDirectory() as repo:
    root = os.path.join(repo, "src")
    for header in HEADERS:
        os.makedirs(os.path.dirname(os.path.join(root, header)), exist_ok=True)
        open(os.path.join(root, header), "w").close()
    failed = 0
    for i, (path, target, crosses) in enumerate(ROWS):
        full = os.path.join(root, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "w") as f:
            f.write("// line 1\n#include " + target + "\n")
        faults = check_layers.check(root)
        named = any(fault.startswith(path + ":2:") for fault in faults)
        if named != crosses or len(faults) != int(crosses):
            print(f"row {i}: {path} including {target}: expected {'a fault' if crosses else 'none'}, got {faults}")
            failed += 1
        os.remove(full)
    # Units of one module in a circle, through a header or a source; a unit's
    # own header is no circle, nor are two units that include a third.
    CIRCLES = [
        ({"link/a.cpp": "link/b.h", "link/b.cpp": "link/a.h"}, "link/b.cpp:2: units include each other in a circle: "
                                                               "link/a -> link/b -> link/a"),
        ({"link/a.h": "link/b.h", "link/b.cpp": "link/c.h", "link/c.cpp": "link/a.h"}, "link/c.cpp:2:"),
        ({"link/window/d.cpp": "link/window/l.h", "link/window/l.cpp": "link/window/d.h"}, "link/window/l.cpp:2:"),
        ({"link/a.cpp": "link/a.h", "link/b.cpp": "link/a.h", "link/c.cpp": "link/a.h"}, None),
    ]
    for i, (files, expected) in enumerate(CIRCLES):
        made = [os.path.join(root, name) for name in files]
        for name, target in files.items():
            with open(os.path.join(root, name), "a") as f:
                f.write("// line 1\n#include \"" + target + "\"\n")
        for name in ("link/a.h", "link/b.h", "link/c.h", "link/window/d.h", "link/window/l.h"):
            if not os.path.exists(os.path.join(root, name)):
                os.makedirs(os.path.dirname(os.path.join(root, name)), exist_ok=True)
                open(os.path.join(root, name), "w").close()
                made.append(os.path.join(root, name))
        faults = check_layers.check(root)
        if (expected is None and faults) or (expected and (len(faults) != 1 or not faults[0].startswith(expected))):
            print(f"circle row {i}: expected {expected or 'none'}, got {faults}")
            failed += 1
        for full in set(made):
            if os.path.exists(full):
                os.remove(full)
    sys.exit(1 if failed else 0)
