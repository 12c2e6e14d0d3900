"""With a window manager, keyboard only: Tab visits the listed file's row,
Browse for files, the destination, Cancel and Compress in that order (not the
title bar's buttons, as a window's caption buttons are not on its way), and
each of them looks different while it has the focus; then, with a help window
open, Alt+F4 on the main window ends the program."""

import os

import harness

STOPS = ["Rename notes.txt", "Browse for files", None, "Cancel", "Compress"]


def test(session):
    path = os.path.join(session.files, "notes.txt")
    with open(path, "wb") as handle:
        handle.write(b"minutes\n")
    destination = f"{session.files}/files.7z"
    window = session.start()
    session.choose_files(window, [path])
    session.find(window, role_name="push button", name=destination)
    # The pointer away from the window, so that no control shows its hover look.
    harness.subprocess.run(["xdotool", "mousemove", "0", "0"], check=True, timeout=10)

    names = [name or destination for name in STOPS]
    boxes = {name: harness.extents(session.find(window, role_name="push button", name=name)) for name in names}
    session.find(window, role_name="push button", name=names[0]).queryComponent().grabFocus()
    pictures = []
    for step, name in enumerate(names):
        if step:
            harness.key("Tab")
        harness.wait_until(lambda: session.focused(window).name == name, f"the focus on {name!r}")
        pictures.append(harness.screen_picture())
    harness.key("Tab")
    harness.wait_until(lambda: session.focused(window).name == names[0], "Tab to come round to the first stop")
    for step, name in enumerate(names):
        focused = harness.crop(pictures[step], boxes[name])
        others = [harness.crop(picture, boxes[name]) for other, picture in enumerate(pictures) if other != step]
        harness.check(all(picture != focused for picture in others),
                      f"{name!r} at {boxes[name]} looks different with the focus")

    harness.key("F1")
    help_window = session.window("Brimlet Help", role_name="label", name="How to Use the File Compression Tool")
    # Back to the main window by its caption, the help window left open.
    left, top, _, _ = harness.extents(session.find(window, role_name="label", name="Brimlet\u2122"))
    harness.subprocess.run(["xdotool", "mousemove", str(left + 5), str(top + 5), "click", "1"],
                           check=True, timeout=10)
    harness.wait_until(lambda: harness.is_showing(help_window), "the help window to stay open")
    harness.key("alt+F4")
    harness.check_equal(session.process.wait(15), 0, "exit status after Alt+F4 on the main window")


if __name__ == "__main__":
    harness.main(test)
