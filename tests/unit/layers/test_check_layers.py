"""The layer checker on a made-up tree: each row is a file, what it
includes, and whether that include crosses the layer order."""

import os
import sys
import tempfile

sys.path.insert(0, sys.argv[1])
import check_layers  # noqa: E402

ROWS = [
    ("profile/p.cpp", '"base/b.h"', False),
    ("collections/f.cpp", '"profile/p.h"', False),
    ("editor/window/e.cpp", '"editor/window/e.h"', False),
    ("editor/window/e.cpp", '"app/shell/s.h"', False),
    ("app/startup.cpp", '"collections/window/l.h"', False),
    ("app/shell/s.cpp", '<gtk/gtk.h>', False),
    ("base/b.cpp", '"profile/p.h"', True),
    ("profile/p.cpp", '"app/shell/s.h"', True),
    ("link/x.cpp", '<gtk/gtk.h>', True),
    ("app/shell/s.cpp", '"profile/p.h"', True),
    ("editor/window/e.cpp", '"collections/window/l.h"', True),
    ("collections/window/l.cpp", '"app/hooks.h"', True),
]

HEADERS = ["base/b.h", "profile/p.h", "app/shell/s.h", "editor/window/e.h", "collections/window/l.h", "app/hooks.h"]

with tempfile.TemporaryDirectory() as root:
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
    sys.exit(1 if failed else 0)
