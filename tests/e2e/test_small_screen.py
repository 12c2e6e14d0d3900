"""At 200 % on a 1366 x 768 screen, under a window manager: every window of
the program lies whole inside the screen (the main window, the help window,
the file dialog, the progress dialog, the message boxes), what does not fit
scrolls, and each message box shows its whole text (no label wider than its
box): a listed file gone before Compress, then a success that names a
destination of over 250 characters. Runs with a stand-in archiver that writes the
archive when the test lets it."""

import os
import subprocess

import harness


def screen():
    """In the program's own pixels, which is what its accessibility tree speaks."""
    size = subprocess.run(["xdotool", "getdisplaygeometry"], capture_output=True, text=True,
                          check=True, timeout=10).stdout.split()
    scale = float(os.environ["QT_SCALE_FACTOR"])
    return 0, 0, round(int(size[0]) / scale), round(int(size[1]) / scale)


def inside(inner, outer, what):
    x, y, width, height = inner
    left, top, outer_width, outer_height = outer
    harness.check(left <= x and top <= y and x + width <= left + outer_width and y + height <= top + outer_height,
                  f"{what} {inner} inside {outer}")


def check_box(session, screen_box, *named):
    """The message box whole on the screen, its labels whole in it, each of
    named in one of them; answered with OK."""
    box = session.window(timeout=60, role_name="push button", name="OK")
    extents = harness.extents(box)
    inside(extents, screen_box, "the message box")
    labels = [label for label in harness.find_all(box, role_name="label") if harness.text_of(label)]
    for label in labels:
        inside(harness.extents(label), extents, f"the label {harness.text_of(label)!r}")
    for text in named:
        harness.check(any(text in harness.text_of(label) for label in labels), f"{text!r} in the box")
    session.press_button(box, "OK")
    harness.wait_until(lambda: not harness.is_showing(box), "the box to close")


def test(session):
    done = os.path.join(session.root, "done")
    session.stand_in_archiver(write="1", wait_for=done)
    deep = session.files
    while len(deep) < 250:
        deep = os.path.join(deep, "Shared documents of the team")
    harness.write_files(deep, {"a.txt": b"minutes\n"})
    gone = os.path.join(session.files, "Trip", "gone.txt")
    harness.write_files(os.path.dirname(gone), {"gone.txt": b"notes\n"})

    window = session.start()
    whole = screen()
    inside(harness.extents(window), whole, "the main window")
    session.press_button(window, "Help")
    help_window = session.window("Brimlet Help", role_name="label", name="How to Use the File Compression Tool")
    inside(harness.extents(help_window), whole, "the help window")
    harness.key("Escape")
    harness.wait_until(lambda: not harness.is_showing(help_window), "the help window to close")

    session.press_button(window, "Browse for files")
    dialog = session.window("Select one or more files to open", role_name="text", name="File name:")
    inside(harness.extents(dialog), whole, "the file dialog")
    session.choose_in_dialog("Select one or more files to open", "Open", gone)
    os.remove(gone)
    session.press_button(window, "Compress")
    check_box(session, whole, "gone.txt")

    session.remove(window, "gone.txt")
    session.choose_files(window, [os.path.join(deep, "a.txt")])
    session.press_button(window, "Compress")
    progress = session.window("Compressing...", role_name="push button", name="Cancel")
    inside(harness.extents(progress), whole, "the progress dialog")
    open(done, "w").close()
    check_box(session, whole, "Compression finished successfully!",
              os.path.join(deep, os.path.basename(deep) + ".7z"))
    inside(harness.extents(window), whole, "the main window after the road")
    session.quit(window)


if __name__ == "__main__":
    harness.main(test)
