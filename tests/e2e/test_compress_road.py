"""The whole road of a run: choose files in the file dialog, give one of them
another name, remove one, compress, and find exactly the listed files under
their listed names in the archive, with the user's own files untouched."""

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


def archive_listing(archive):
    """Names and types of what the archive holds, as 7-Zip lists them."""
    out = subprocess.run(["7zz", "l", "-slt", "-sccUTF-8", archive], capture_output=True,
                         check=True, env=dict(os.environ, LC_ALL="C.UTF-8")).stdout.decode("utf-8")
    paths = [line[len("Path = "):] for line in out.splitlines() if line.startswith("Path = ")]
    types = [line[len("Type = "):] for line in out.splitlines() if line.startswith("Type = ")]
    return paths[1:], types  # the first Path is the archive itself


def extracted(archive, target):
    """Every file of the archive as {relative path: bytes}."""
    subprocess.run(["7zz", "x", "-y", "-sccUTF-8", f"-o{target}", archive], capture_output=True,
                   check=True, env=dict(os.environ, LC_ALL="C.UTF-8"))
    contents = {}
    for folder, _, names in os.walk(target):
        for name in names:
            path = os.path.join(folder, name)
            with open(path, "rb") as handle:
                contents[os.path.relpath(path, target)] = handle.read()
    return contents


def test(session):
    folder = os.path.join(session.files, FOLDER)
    os.makedirs(folder)
    paths = []
    for name, content in FILES.items():
        path = os.path.join(folder, name)
        with open(path, "wb") as handle:
            handle.write(content)
        paths.append(path)
    user_files_before = {p: (open(p, "rb").read(), os.stat(p).st_mtime_ns) for p in paths}
    destination = f"{folder}/{FOLDER}.7z"

    app = session.start()
    window = app.main_window()

    harness.choose_files(app, window, paths)
    for name in FILES:
        harness.name_button(app, window, name)
    app.find(window, role_name="push button", name=destination)

    harness.rename(app, window, *RENAMED)
    harness.remove(app, window, REMOVED)
    expected = {n: c for n, c in FILES.items() if n not in (REMOVED, RENAMED[0])}
    expected[RENAMED[1]] = FILES[RENAMED[0]]
    harness.check_equal(len(harness.listed_names(app, window)), len(expected),
                        "number of listed files")
    harness.check(os.path.isfile(os.path.join(session.staging, RENAMED[1])),
                  "the renamed file's copy is in the staging folder")
    # Removing a file rebuilds the list, which sets the default destination again.
    app.find(window, role_name="push button", name=destination)
    # Under a megabyte the line counts whole kilobytes, plus one.
    kilobytes = sum(len(content) for content in expected.values()) // 1024 + 1
    harness.check_equal(harness.size_line(app, window),
                        f"Total size: {kilobytes} KB of 500MB limit", "the size line")

    app.press_button(window, "Compress")
    box = app.message_box(timeout=60)
    texts = box.texts()
    harness.check_equal(texts[:1], ["Compression finished successfully!"], "success message")
    harness.check(f"7z file is saved in {destination}" in texts,
                  f"the message names the destination; it shows {texts}")
    buttons = box.buttons()
    harness.check("OK" in buttons and "Open" in buttons, f"buttons OK and Open; got {buttons}")
    box.answer("OK")

    harness.wait_until(lambda: harness.listed_names(app, window) == [], "the list to be emptied")
    harness.wait_until(
        lambda: harness.size_line(app, window) == "Total size: 0.0 MB of 500MB limit",
        "the size line to read 0.0 MB")
    harness.check(not os.path.exists(session.staging), "the staging folder is gone")

    harness.check(os.path.isfile(destination), f"an archive at {destination}")
    names, types = archive_listing(destination)
    harness.check_equal(sorted(names), sorted(expected), "names in the archive")
    harness.check("zip" in [t.lower() for t in types], f"a ZIP archive; 7-Zip says {types}")
    harness.check_equal(extracted(destination, os.path.join(session.root, "extracted")), expected,
                        "files extracted from the archive")
    for path, before in user_files_before.items():
        harness.check_equal((open(path, "rb").read(), os.stat(path).st_mtime_ns), before,
                            f"the user's file {path} (content, time)")
    harness.check_equal(sorted(os.listdir(folder)), sorted(list(FILES) + [f"{FOLDER}.7z"]),
                        "the user's folder holds their files and the archive only")

    app.press_button(window, "Cancel")
    harness.check_equal(app.wait_exit(), 0, "exit status after Cancel")


if __name__ == "__main__":
    harness.main(test)
