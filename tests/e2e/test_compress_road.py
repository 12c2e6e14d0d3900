"""The whole road: choose files in the file dialog, give one another name,
remove one, compress, and find exactly the listed files under their listed
names in the archive, byte for byte, with the user's own files untouched."""

import os
import subprocess

import harness

# A space and a non-ASCII letter in names, and content that is not text.
FILES = {
    "a b.txt": b"first file, with a space in its name\n",
    "caf\u00e9.txt": "d\u00e9j\u00e0 vu\n".encode("utf-8"),
    "notes.md": b"# notes\n" * 100,
    "data.bin": bytes(range(256)) * 40,
}
RENAMED = ("notes.md", "\u00fcberblick.md")
REMOVED = "data.bin"
FOLDER = "Trip files"


def extracted(archive, target):
    """Every file of the archive as {relative path: bytes}."""
    subprocess.run(["7zz", "x", "-y", "-sccUTF-8", f"-o{target}", archive], capture_output=True,
                   check=True, env=dict(os.environ, LC_ALL="C.UTF-8"))
    contents = {}
    for folder, _, names in os.walk(target):
        for name in names:
            with open(os.path.join(folder, name), "rb") as handle:
                contents[os.path.relpath(os.path.join(folder, name), target)] = handle.read()
    return contents


def test(session):
    folder = os.path.join(session.files, FOLDER)
    os.makedirs(folder)
    paths = [os.path.join(folder, name) for name in FILES]
    for path, content in zip(paths, FILES.values()):
        with open(path, "wb") as handle:
            handle.write(content)
    destination = f"{folder}/{FOLDER}.7z"

    window = session.start()
    session.choose_files(window, paths)
    for name in FILES:
        session.name_button(window, name)
    session.find(window, role_name="push button", name=destination)
    session.rename(window, *RENAMED)
    session.remove(window, REMOVED)
    expected = {n: c for n, c in FILES.items() if n not in (REMOVED, RENAMED[0])}
    expected[RENAMED[1]] = FILES[RENAMED[0]]

    session.press_button(window, "Compress")
    box, texts, buttons = session.message_box(timeout=60)
    harness.check_equal(texts, ["Compression finished successfully!",
                                f"7z file is saved in {destination}"], "the success message")
    harness.check_equal(sorted(buttons), ["OK", "Open"], "the success message's buttons")
    session.answer(box, "OK")

    harness.wait_until(lambda: session.listed_names(window) == [], "the list to be emptied")
    harness.check(not os.path.exists(session.staging), "the staging folder is gone")
    harness.check_equal(extracted(destination, os.path.join(session.root, "out")), expected,
                        "files extracted from the archive")
    harness.check_equal(sorted(os.listdir(folder)), sorted(list(FILES) + [f"{FOLDER}.7z"]),
                        "the user's folder holds their files and the archive only")
    for path, content in zip(paths, FILES.values()):
        harness.check_equal(open(path, "rb").read(), content, f"the user's file {path}")

    session.press_button(window, "Cancel")
    harness.check_equal(session.wait_exit(), 0, "exit status after Cancel")


if __name__ == "__main__":
    harness.main(test)
