"""A destination in a folder that the user cannot write: the program says so
in plain words and keeps the list, so that the user can pick another place.

Runs as an unprivileged user (run-under-xvfb.sh --unprivileged), since root
can write anywhere."""

import os

import harness

ADMIN_MESSAGE = ("You are unable to save the file in the specified destination. To resolve "
                 "this, kindly run the app as an administrator or choose an alternative "
                 "destination.")
FILES = {"report 2024.txt": b"quarterly figures\n", "\u00e5rsplan.txt": b"plan\n"}


def test(session):
    if os.geteuid() == 0:
        raise harness.Skip("root can write into any folder; run through "
                           "run-under-xvfb.sh --unprivileged")
    folder = os.path.join(session.files, "work")
    os.makedirs(folder)
    paths = []
    for name, content in FILES.items():
        paths.append(os.path.join(folder, name))
        with open(paths[-1], "wb") as handle:
            handle.write(content)
    locked = os.path.join(session.root, "locked")
    os.makedirs(locked)
    os.chmod(locked, 0o555)
    destination = os.path.join(locked, "out.7z")

    app = session.start()
    window = app.main_window()
    harness.choose_files(app, window, paths)
    for name in FILES:
        harness.name_button(app, window, name)
    harness.choose_destination(app, window, f"{folder}/work.7z", destination)
    listed_before = harness.listed_names(app, window)

    app.press_button(window, "Compress")
    box = app.message_box(timeout=60)
    harness.check_equal(box.texts(), [ADMIN_MESSAGE], "message for an unwritable destination")
    harness.check_equal(box.buttons(), ["OK"], "buttons of the failure message")
    box.answer("OK")

    harness.check_equal(harness.listed_names(app, window), listed_before, "the list after the failure")
    app.find(window, role_name="push button", name=destination)
    harness.check_equal(os.listdir(locked), [], "the unwritable folder stays empty")
    harness.check_equal(sorted(os.listdir(folder)), sorted(FILES), "the user's folder")

    app.press_button(window, "Cancel")
    harness.check_equal(app.wait_exit(), 0, "exit status after Cancel")


if __name__ == "__main__":
    harness.main(test)
