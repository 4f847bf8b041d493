"""What an install puts under its prefix, shared by the tree and package tests."""

import os

APP_ID = "org.stowline.Stowline"
ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)
SOURCE = os.environ.get("STOWLINE_SOURCE", os.path.join(os.path.dirname(__file__), "..", ".."))
BUILD = os.environ.get("STOWLINE_BUILD", "")
PACKAGE_DIR = os.environ.get("STOWLINE_PACKAGE_DIR", "")


def pictures():
    return sorted(f for f in os.listdir(os.path.join(SOURCE, "images")) if f.endswith(".png"))


def expected_files():
    """Every file an install makes, relative to the prefix."""
    files = ["bin/stowline", "bin/stowline-cli", "bin/stowline-sim", "lib/udev/rules.d/70-stowline.rules",
             "share/applications/%s.desktop" % APP_ID, "share/metainfo/%s.metainfo.xml" % APP_ID,
             "share/man/man1/stowline.1.gz", "share/man/man1/stowline-cli.1.gz", "share/man/man1/stowline-sim.1.gz",
             "share/doc/stowline/README.md", "share/doc/stowline/copyright", "share/doc/stowline/changelog.gz"]
    files += ["share/icons/hicolor/%dx%d/apps/%s.png" % (s, s, APP_ID) for s in ICON_SIZES]
    files += ["share/stowline/" + p for p in pictures()]
    return sorted(files)


def files_under(top):
    found = []
    for folder, _, names in os.walk(top):
        found += [os.path.relpath(os.path.join(folder, n), top) for n in names]
    return sorted(found)


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    assert head[:8] == b"\x89PNG\r\n\x1a\n", path
    return int.from_bytes(head[16:20], "big"), int.from_bytes(head[20:24], "big")


def deb_path():
    """The package the fixture built, or None."""
    if not os.path.isdir(PACKAGE_DIR):
        return None
    debs = [f for f in os.listdir(PACKAGE_DIR) if f.endswith(".deb")]
    return os.path.join(PACKAGE_DIR, debs[0]) if len(debs) == 1 else None
