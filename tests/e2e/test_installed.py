"""The program as `cmake --install` lays it out starts and finds its
archiver: one file packed from the installed command gives the success
message and the archive."""

import os

import harness


def test(session):
    path = os.path.join(session.files, "a.txt")
    with open(path, "wb") as handle:
        handle.write(b"installed\n")
    window = session.start()
    session.choose_files(window, [path])
    session.press_button(window, "Compress")
    box, texts, _ = session.message_box(timeout=60)
    harness.check_equal(texts[:1], ["Compression finished successfully!"], "the message")
    session.answer(box, "OK")
    harness.check(os.path.isfile(os.path.join(session.files, "files.7z")), "the archive")
    session.press_button(window, "Cancel")
    harness.check_equal(session.wait_exit(), 0, "exit status after Cancel")


if __name__ == "__main__":
    harness.main(test)
