"""The program's own window frame: it opens at 980 x 660, moves by its title
bar, grows by its bottom-right corner, opens the help window, and its Close
button ends the program with status 0."""

import harness


def geometry_becomes(window, expected, what):
    harness.wait_until(lambda: harness.extents(window) == expected, f"{what}: {expected}", 10)


def test(session):
    window = session.start()
    x, y, width, height = harness.extents(window)
    harness.check_equal((width, height), (980, 660), "the window's first size")

    left, top, _, _ = harness.extents(session.find(window, role_name="label", name="Brimlet\u2122"))
    start = (left + 10, top + 10)
    session.drag(start, (start[0] + 150, start[1] + 90))
    x, y = x + 150, y + 90
    geometry_becomes(window, (x, y, width, height), "the window moved by the drag")

    corner = (x + width - 2, y + height - 2)
    session.drag(corner, (corner[0] + 60, corner[1] + 40))
    geometry_becomes(window, (x, y, width + 60, height + 40), "the window grown by the drag")

    session.press_button(window, "Help")
    session.window("Brimlet Help", role_name="label", name="How to Use the File Compression Tool")
    harness.check(harness.is_showing(window), "the main window stays open beside the help")

    session.quit(window, "Close")


if __name__ == "__main__":
    harness.main(test)
