"""One key, one action, under a window manager, with a stand-in archiver that
runs until the test lets it end: Return held down on Compress, and Ctrl+Return
pressed again while the run goes on, each start one run and never cancel it
(the keyboard's repeats, and Qt's push button, would press the progress
dialog's Cancel); the held key does not answer the success box either. The
progress bar is named after what it measures."""

import os
import subprocess

import harness


def run(session, window, name, press):
    """Lists one file and presses Compress with press(); the run is under way."""
    # A folder each, so that each run has a destination of its own.
    harness.write_files(os.path.join(session.files, name), {"notes.txt": b"minutes\n"})
    path = os.path.join(session.files, name, "notes.txt")
    session.choose_files(window, [path])
    press()
    progress = session.window("Compressing...", role_name="push button", name="Cancel")
    cancel = session.find(progress, role_name="push button", name="Cancel")
    harness.wait_until(lambda: harness.is_focused(cancel), "the progress dialog to have the keyboard")
    return session.find(progress, role_name="progress bar").name


def finish(session, done):
    """Lets the archiver end: a key that cancelled the run, or that answered
    the box, shows here."""
    open(done, "w").close()
    box = session.window(timeout=60, role_name="push button", name="OK")
    texts = [t for t in (harness.text_of(label).strip() for label in harness.find_all(box, role_name="label")) if t]
    harness.check_equal(texts[:1], ["Compression finished successfully!"], "the outcome")
    harness.key("Escape")
    harness.wait_until(lambda: not harness.is_showing(box), "the box to close on Escape")
    os.remove(done)


def test(session):
    done = os.path.join(session.root, "done")
    session.stand_in_archiver(write="1", wait_for=done)
    window = session.start()

    def hold_return():
        session.find(window, role_name="push button", name="Compress").queryComponent().grabFocus()
        harness.wait_until(lambda: session.focused(window).name == "Compress", "the focus on Compress")
        # Longer than the keyboard waits before it repeats a key (660 ms).
        subprocess.run(["xdotool", "keydown", "Return", "sleep", "1.5", "keyup", "Return"], check=True, timeout=30)

    bar = run(session, window, "held", hold_return)
    finish(session, done)

    def ctrl_return():
        harness.key("ctrl+Return")
    run(session, window, "twice", ctrl_return)
    harness.key("ctrl+Return")
    finish(session, done)
    harness.check_equal(bar, "Compressing...", "the progress bar's name")
    session.quit(window)


if __name__ == "__main__":
    harness.main(test)
