"""The program starts in a 980 x 660 window titled "Brimlet", and "Cancel"
ends it with status 0."""

import harness


def test(session):
    app = session.start()
    window = app.main_window()

    _, _, width, height = harness.extents(window)
    harness.check_equal((width, height), (980, 660), "window size read through the accessibility tree")
    _, _, width, height = app.x_window_geometry()
    harness.check_equal((width, height), (980, 660), "X window size")

    app.press_button(window, "Cancel")
    harness.check_equal(app.wait_exit(), 0, "exit status after Cancel")


if __name__ == "__main__":
    harness.main(test)
