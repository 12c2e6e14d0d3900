"""A destination in a folder the user cannot write: the program says so in
plain words and keeps the list, so that the user can pick another place.
Runs as an unprivileged user (run-under-xvfb.sh --unprivileged): root can
write anywhere."""

import os
import sys

import harness


def test(session):
    if os.geteuid() == 0:
        print("SKIPPED: root can write into any folder; run with --unprivileged")
        sys.exit(77)
    path = os.path.join(session.files, "report.txt")
    with open(path, "wb") as handle:
        handle.write(b"quarterly figures\n")
    locked = os.path.join(session.root, "locked")
    os.makedirs(locked, mode=0o555)
    destination = os.path.join(locked, "out.7z")

    window = session.start()
    session.choose_files(window, [path])
    session.press(session.find(window, role_name="push button", name=f"{session.files}/files.7z"))
    session.choose_in_dialog("Save File", "Save", destination)
    session.find(window, role_name="push button", name=destination)

    session.press_button(window, "Compress")
    texts, buttons = session.message()
    lines = "\n".join(texts).split("\n")
    # Which folder, and what to do; running as an administrator is no remedy here.
    harness.check_equal((lines[0], buttons), ("You are unable to save the file in the specified destination.", ["OK"]),
                        "the failure message")
    harness.check_equal(any(locked in line for line in lines[1:]), True, "the folder named in the failure message")
    harness.check_equal(session.listed_names(window), ["report.txt"], "the list after the failure")
    harness.check_equal(os.listdir(locked), [], "the unwritable folder stays empty")
    session.quit(window)


if __name__ == "__main__":
    harness.main(test)
