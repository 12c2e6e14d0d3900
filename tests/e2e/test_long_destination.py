"""A first file deep in nested folders gives a destination of over 300
characters: the window keeps its size, Compress and the title bar's Close stay
in view, and the path, shortened on screen, is whole in its name.
With BRIMLET_E2E_SCREEN and QT_SCALE_FACTOR set for a small scaled screen,
the window must also open inside that screen."""

import os
import subprocess

import harness


def screen_size():
    """In the program's own pixels, which is what its accessibility tree speaks."""
    out = subprocess.run(["xdotool", "getdisplaygeometry"], capture_output=True, text=True,
                         check=True, timeout=10).stdout.split()
    scale = float(os.environ.get("QT_SCALE_FACTOR", "1"))
    # Scaled sizes are rounded to whole pixels either way.
    return round(int(out[0]) / scale), round(int(out[1]) / scale)


def inside(inner, outer):
    x, y, width, height = inner
    left, top, outer_width, outer_height = outer
    return left <= x and top <= y and x + width <= left + outer_width and y + height <= top + outer_height


def test(session):
    folder = session.files
    while len(folder) < 280:
        folder = os.path.join(folder, "Shared documents of the team")
    os.makedirs(folder)
    path = os.path.join(folder, "notes.txt")
    with open(path, "wb") as handle:
        handle.write(b"minutes\n")
    destination = f"{folder}/{os.path.basename(folder)}.7z"
    harness.check(len(destination) >= 300, "the destination is over 300 characters")

    window = session.start()
    width, height = screen_size()
    first = harness.extents(window)
    harness.check(inside(first, (0, 0, width + 1, height + 1)), f"the window {first} inside the screen {width} x {height}")

    session.choose_files(window, [path])
    shown = session.find(window, role_name="push button", name=destination)
    harness.check_equal(harness.extents(window), first, "the window's place and size with the long destination")
    for name in ("Compress", "Close"):
        button = harness.extents(session.find(window, role_name="push button", name=name))
        harness.check(inside(button, first), f"{name} {button} inside the window {first}")
    harness.check(inside(harness.extents(shown), first), "the destination inside the window")
    session.quit(window)


if __name__ == "__main__":
    harness.main(test)
