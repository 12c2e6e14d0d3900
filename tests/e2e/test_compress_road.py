"""The whole road: choose files in the file dialog, give one another name,
remove one, compress, and find exactly the listed files under their listed
names in the archive, byte for byte, with the user's own files untouched."""

import os

import harness

# A space and a non-ASCII letter in names, and content that is not text.
FILES = {
    "a b.txt": b"first file, with a space in its name\n",
    "caf\u00e9.txt": "d\u00e9j\u00e0 vu\n".encode("utf-8"),
    "notes.md": b"# notes\n" * 100,
    "data.bin": bytes(range(256)) * 40,
}


def test(session):
    folder = os.path.join(session.files, "Trip files")
    harness.write_files(folder, FILES)
    destination = f"{folder}/Trip files.7z"

    window = session.start()
    session.choose_files(window, [os.path.join(folder, name) for name in FILES])
    session.find(window, role_name="push button", name=destination)
    session.rename(window, "notes.md", "\u00fcberblick.md")
    session.remove(window, "data.bin")

    session.press_button(window, "Compress")
    texts, buttons = session.message()
    harness.check_equal((texts, buttons), (["Compression finished successfully!",
                        f"7z file is saved in {destination}"], ["OK", "Open"]), "the success message")
    harness.wait_until(lambda: session.listed_names(window) == [], "the list to be emptied")
    harness.check(not os.path.exists(session.staging), "the staging folder is gone")
    harness.check_archive(destination, {"a b.txt": FILES["a b.txt"], "caf\u00e9.txt": FILES["caf\u00e9.txt"],
                                        "\u00fcberblick.md": FILES["notes.md"]}, folder, FILES)
    harness.check_equal(len(os.listdir(folder)), len(FILES) + 1, "the user's files and the archive")
    session.quit(window)


if __name__ == "__main__":
    harness.main(test)
