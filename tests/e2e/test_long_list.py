"""Ten thousand files picked at once in the file dialog (the folder typed,
a click in its list of files, then Ctrl+A): all of them listed, the list heard as
"Files to compress" with how many it holds, End on the list bringing the
last file into view with the focus, and Delete there leaving the rest with
the focus on the file before it."""

import os

import harness

COUNT = 10000
# The dialog's list holds the folder's ten thousand files: never walked.
VIEWS = ("list", "table", "tree", "tree table")


def name_of(number):
    return f"scan-{number:05d}.txt"


def test(session):
    folder = os.path.join(session.files, "Scans")
    harness.write_files(folder, {name_of(n): b"page %d\n" % n for n in range(1, COUNT + 1)})

    window = session.start()
    session.press_button(window, "Browse for files")
    dialog = session.window("Select one or more files to open", role_name="text", name="File name:")
    session.set_text(session.find(dialog, role_name="text", name="File name:", prune=VIEWS), folder)
    harness.key("Return")

    def view_of_the_folder():
        session.fresh()
        for node in harness.find_all(dialog, prune=VIEWS):
            if node.getRoleName() in VIEWS and node.childCount >= COUNT:
                return node
        return None
    view = harness.wait_until(view_of_the_folder, "the folder's files in the dialog", timeout=120)
    # A click on one of its files gives the list the keyboard.
    x, y, width, height = harness.extents(view)
    harness.subprocess.run(["xdotool", "mousemove", str(x + width // 3), str(y + height // 2), "click", "1"],
                           check=True, timeout=10)
    harness.wait_until(lambda: harness.is_focused(view), "the dialog's list to have the focus")
    harness.key("ctrl+a")
    session.press(session.find(dialog, role_name="push button", name="Open", prune=VIEWS))

    files = session.find(window, name="Files to compress")
    harness.wait_until(lambda: session.fresh() and files.description == f"{COUNT:,} files",
                       f"the list to hold {COUNT:,} files", timeout=120)
    files.queryComponent().grabFocus()
    harness.wait_until(lambda: harness.is_focused(files), "the list to have the focus")
    harness.key("End")
    last = name_of(COUNT)
    harness.wait_until(lambda: session.focused(window).name == f"Rename {last}", "the focus on the last file")
    row = session.name_button(window, last)
    box, shown = harness.extents(files), harness.extents(row)
    harness.check(box[1] <= shown[1] and shown[1] + shown[3] <= box[1] + box[3],
                  f"the last file's row {shown} inside the list {box}")

    harness.key("Delete")
    harness.wait_until(lambda: session.fresh() and files.description == f"{COUNT - 1:,} files",
                       "one file fewer", timeout=60)
    harness.wait_until(lambda: session.focused(window).name == f"Rename {name_of(COUNT - 1)}",
                       "the focus on the file before it")
    session.quit(window)


if __name__ == "__main__":
    harness.main(test)
