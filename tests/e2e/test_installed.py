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
    texts, _ = session.message()
    harness.check_equal(texts[:1], ["Compression finished successfully!"], "the message")
    harness.check(os.path.isfile(os.path.join(session.files, "files.7z")), "the archive")
    session.quit(window)


if __name__ == "__main__":
    harness.main(test)
