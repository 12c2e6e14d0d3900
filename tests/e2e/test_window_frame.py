"""The program's own window frame: its title bar buttons, moving the window by
the title bar, resizing it by its bottom-right corner, the help window and
closing."""

import harness

CAPTION = "Brimlet\u2122"
HELP_TITLE = "How to Use the File Compression Tool"


def geometry_becomes(app, window, expected, what):
    def now():
        return harness.extents(window) == expected
    try:
        harness.wait_until(now, what, timeout=10)
    except harness.Failure:
        raise harness.Failure(f"{what}: expected {expected}, the window is at "
                              f"{harness.extents(window)}") from None


def test(session):
    app = session.start()
    window = app.main_window()
    buttons = {name: app.find(window, role_name="push button", name=name)
               for name in ("Help", "Minimize", "Close")}

    # Move: drag the caption; the grabbed point follows the pointer.
    x, y, width, height = harness.extents(window)
    harness.check_equal((width, height), (980, 660), "first window size")
    caption = app.find(window, role_name="label", name=CAPTION)
    start = harness.centre(caption)
    dx, dy = 150, 90
    app.drag(start, (start[0] + dx, start[1] + dy))
    geometry_becomes(app, window, (x + dx, y + dy, width, height),
                     f"the window moved by ({dx}, {dy}) with its size kept")

    # Resize: drag the bottom-right corner outwards; the top-left stays.
    x, y, width, height = harness.extents(window)
    corner = (x + width - 2, y + height - 2)
    grow_x, grow_y = 60, 40
    app.drag(corner, (corner[0] + grow_x, corner[1] + grow_y))
    geometry_becomes(app, window, (x, y, width + grow_x, height + grow_y),
                     f"the window grown by ({grow_x}, {grow_y}) from its bottom-right corner")

    # Help: a window of its own, also titled "Brimlet", with the steps.
    app.press(buttons["Help"])
    help_window = app.window(harness.TITLE, {"role_name": "label", "name": HELP_TITLE})
    steps = [harness.text_of(label) for label in app.find_all(help_window, role_name="label")]
    harness.check(any(text.startswith("1. To select files for compression") for text in steps),
                  f"the help window shows the steps; it shows {steps}")
    harness.check(harness.is_showing(window), "the main window stays open beside the help")

    app.press(buttons["Close"])
    harness.check_equal(app.wait_exit(), 0, "exit status after the title bar's Close")


if __name__ == "__main__":
    harness.main(test)
