"""Drives the real Brimlet in a real window as a screen reader would: through
its accessibility tree (AT-SPI), by the names of its widgets, with xdotool for
pointer drags. Run under run-under-xvfb.sh. On failure the tree, a screenshot
and the program's output are shown; the program is always killed at the end."""

import os
import shutil
import subprocess
import sys
import tempfile
import time
import traceback
import zipfile

import gi
gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402
import pyatspi  # noqa: E402


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def check_equal(actual, expected, what):
    check(actual == expected, f"{what}: expected {expected!r}, got {actual!r}")


def wait_until(predicate, what, timeout=15.0):
    """Polls predicate until it answers something truthy and returns that;
    bus errors count as "not yet" (the program is busy, or a widget just went)."""
    deadline = time.monotonic() + timeout
    while True:
        try:
            result = predicate()
            if result:
                return result
        except (GLib.GError, RuntimeError, LookupError):
            pass
        check(time.monotonic() < deadline, f"timed out after {timeout:.0f} s waiting for {what}")
        time.sleep(0.05)


def children(node):
    found = []
    for index in range(node.childCount):
        try:
            found.append(node.getChildAtIndex(index))
        except GLib.GError:
            pass
    return [child for child in found if child is not None]


def walk(node, prune=()):
    """node and everything below it, but not what is inside a node whose
    role is in prune (a file dialog's list of ten thousand files)."""
    yield node
    if node.getRoleName() in prune:
        return
    for child in children(node):
        yield from walk(child, prune)


def is_showing(node):
    try:
        node.clear_cache()
        return node.getState().contains(pyatspi.STATE_SHOWING)
    except GLib.GError:
        return False


def text_of(node):
    try:
        return node.queryText().getText(0, -1)
    except (NotImplementedError, GLib.GError):
        return node.name or ""


def find_all(root, role_name=None, name=None, tooltip=None, prune=()):
    """Shown widgets below root; an icon-only one also matches by its tool tip."""
    def matches(node):
        own, tip = node.name or "", node.description or ""
        return ((role_name is None or node.getRoleName() == role_name)
                and (name is None or own == name or (own == "" and tip == name))
                and (tooltip is None or tip == tooltip) and is_showing(node))
    return [node for node in walk(root, prune) if matches(node)]


def extents(node):
    box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return (box.x, box.y, box.width, box.height)


def is_focused(node):
    try:
        node.clear_cache()
        return node.getState().contains(pyatspi.STATE_FOCUSED)
    except GLib.GError:
        return False


def key(*names):
    """Types keys (xdotool's names: "Tab", "ctrl+Return", "alt+F4") into the
    window that has the keyboard."""
    subprocess.run(["xdotool", "key", "--delay", "50", *names], check=True, timeout=30)


def screen_picture():
    """The whole screen: its width, its height and its pixels, three bytes each."""
    size = subprocess.run(["xdotool", "getdisplaygeometry"], capture_output=True, text=True,
                          check=True, timeout=10).stdout.split()
    pixels = subprocess.run(["import", "-window", "root", "-depth", "8", "rgb:-"], capture_output=True,
                            check=True, timeout=30).stdout
    return int(size[0]), int(size[1]), pixels


def crop(picture, box, margin=3):
    """The pixels of box on the screen, with a margin for rings drawn around it."""
    width, height, pixels = picture
    x, y, w, h = box
    left, top = max(0, x - margin), max(0, y - margin)
    right, bottom = min(width, x + w + margin), min(height, y + h + margin)
    return b"".join(pixels[(row * width + left) * 3:(row * width + right) * 3] for row in range(top, bottom))


def dump(node, depth=0):
    lines = ["  " * depth + f"[{node.getRoleName()}] {node.name!r} {text_of(node)!r}"]
    return lines + [line for child in children(node) for line in dump(child, depth + 1)]


def write_files(folder, files):
    """Makes the user's files (name: bytes) in a new folder."""
    os.makedirs(folder)
    for name, content in files.items():
        with open(os.path.join(folder, name), "wb") as handle:
            handle.write(content)


def check_archive(destination, packed, folder, files):
    """The archive holds exactly packed (name: bytes), whatever its name says
    it is a ZIP file, and the user's files are as they were."""
    with zipfile.ZipFile(destination) as archive:
        found = {name: archive.read(name) for name in archive.namelist()}
    check_equal(found, packed, "the archive's files")
    for name, content in files.items():
        check_equal(open(os.path.join(folder, name), "rb").read(), content, f"the user's {name}")


class Session:
    """The program in a private HOME and TMPDIR, the user's files in .files."""

    def __init__(self, program, name):
        self.program, self.name, self.process, self.node = program, name, None, None
        self.root = tempfile.mkdtemp(prefix=f"brimlet-{name}-")
        self.tmp, self.files = os.path.join(self.root, "tmp"), os.path.join(self.root, "files")
        os.makedirs(self.tmp), os.makedirs(self.files)
        self.staging, self.log = os.path.join(self.tmp, "velmora"), os.path.join(self.root, "log")

    def stand_in_archiver(self, **orders):
        """The program copied beside tests/fakearchiver as its util/7z.exe, told
        through its environment (FAKE_ARCHIVER_<ORDER>) what to do."""
        folder = os.path.join(self.root, "program")
        os.makedirs(os.path.join(folder, "util"))
        shutil.copy(self.program, folder)
        os.symlink(os.environ["BRIMLET_E2E_FAKEARCHIVER"], os.path.join(folder, "util", "7z.exe"))
        self.program = os.path.join(folder, os.path.basename(self.program))
        for order, value in orders.items():
            os.environ["FAKE_ARCHIVER_" + order.upper()] = value

    def start(self):
        env = dict(os.environ, HOME=self.root, TMPDIR=self.tmp, XDG_RUNTIME_DIR=self.root,
                   LC_ALL="C.UTF-8", QT_QPA_PLATFORM="xcb", QT_ACCESSIBILITY="1",
                   QT_QPA_PLATFORMTHEME="generic")  # Qt's own dialogs: a GTK one is not in Qt's tree
        with open(self.log, "ab") as log:
            self.process = subprocess.Popen([self.program], cwd=self.root, env=env,
                                            stdin=subprocess.DEVNULL, stdout=log, stderr=log)
        return self.window(role_name="push button", name="Compress")

    def focused(self, root):
        """The control that has the keyboard focus, once there is one: the
        deepest focused node, as a widget that hands its focus to a child
        (a row to its name) says it is focused too."""
        def deepest():
            self.fresh()
            found = [node for node in walk(root) if is_focused(node) and node.getRoleName() != "frame"]
            return found[-1] if found else None
        return wait_until(deepest, "a control with the keyboard focus")

    def fresh(self):
        """The program's node with its cached tree dropped (switching libatspi's
        cache off instead deadlocks it when an event arrives during a call)."""
        def registered():
            check(self.process.poll() is None, f"the program exited with {self.process.returncode}")
            if self.node is None:
                desktop = pyatspi.Registry.getDesktop(0)
                desktop.clear_cache()
                self.node = next((c for c in children(desktop) if c.get_process_id()
                                  == self.process.pid and c.get_toolkit_name() == "Qt"), None)
            return self.node
        wait_until(registered, "the program on the accessibility bus").clear_cache()
        return self.node

    def find(self, root, **criteria):
        return wait_until(lambda: self.fresh() and find_all(root, **criteria)[0],
                          f"a widget with {criteria}")

    def window(self, title="Brimlet", timeout=15.0, **containing):
        return wait_until(lambda: next((w for w in children(self.fresh()) if w.name == title
                                        and is_showing(w) and find_all(w, **containing)), None),
                          f"a window {title!r} holding {containing}", timeout)

    def press(self, node):
        """Presses once the button is enabled (a disabled Qt button offers no action)."""
        def pressable():
            node.clear_cache()
            action = node.queryAction()
            names = [action.getName(i).lower() for i in range(action.nActions)]
            enabled = node.getState().contains(pyatspi.STATE_ENABLED)
            return enabled and "press" in names and (action, names.index("press"))
        action, index = wait_until(pressable, f"{node.name!r} to be pressable")
        action.doAction(index)

    def press_button(self, root, name):
        self.press(self.find(root, role_name="push button", name=name))

    def set_text(self, node, text):
        node.queryEditableText().setTextContents(text)
        wait_until(lambda: text_of(node) == text, f"the field to read {text!r}")

    def drag(self, start, end, steps=10):
        args = ["mousemove", "--sync", *map(str, start), "mousedown", "1"]
        for step in range(1, steps + 1):
            args += ["mousemove", "--sync"] + [str(a + (b - a) * step // steps)
                                               for a, b in zip(start, end)]
        subprocess.run(["xdotool", *args, "mouseup", "1"], check=True, timeout=30)

    def message(self, answer="OK"):
        """Waits for the message box, answers it; returns its texts and buttons."""
        box = self.window(timeout=60, role_name="push button", name="OK")
        texts = [t for t in (text_of(label).strip() for label in find_all(box, role_name="label")) if t]
        buttons = sorted(b.name for b in find_all(box, role_name="push button"))
        self.press_button(box, answer)
        wait_until(lambda: not is_showing(box), f"the message box to close after {answer!r}")
        return texts, buttons

    def quit(self, window, button="Cancel"):
        self.press_button(window, button)
        check_equal(self.process.wait(15), 0, f"exit status after {button}")

    def listed_names(self, window):
        """The names of the listed files in view, as their rows' buttons say
        them (each row's name tells its file in its tool tip)."""
        self.fresh()
        return sorted(b.name[len("Rename "):] for b in find_all(window, role_name="push button")
                      if b.name.startswith("Rename ") and b.description == b.name[len("Rename "):])

    def name_button(self, window, name):
        return wait_until(lambda: self.fresh() and find_all(
            window, role_name="push button", name=f"Rename {name}")[0], f"the row of {name!r}")

    def choose_in_dialog(self, title, button, text):
        dialog = self.window(title, role_name="text", name="File name:")
        self.set_text(self.find(dialog, role_name="text", name="File name:"), text)
        self.press_button(dialog, button)
        wait_until(lambda: not is_showing(dialog), f"the dialog {title!r} to close")

    def choose_files(self, window, paths):
        self.press_button(window, "Browse for files")
        # Quoted names separated by spaces is how Qt's dialog takes several files.
        self.choose_in_dialog("Select one or more files to open", "Open",
                              " ".join(f'"{path}"' for path in paths))

    def rename(self, window, old, new):
        self.press(self.name_button(window, old))
        dialog = self.window("Change name", role_name="label", name="file name:")
        field = self.find(dialog, role_name="text")
        check_equal(text_of(field), old, "the rename field's first text")
        self.set_text(field, new)
        self.press_button(dialog, "OK")
        self.name_button(window, new)

    def remove(self, window, name):
        self.press(self.find(window, role_name="push button", name=f"Remove {name}"))
        wait_until(lambda: name not in self.listed_names(window), f"{name!r} to leave the list")

    def show_failure(self):
        folder = os.environ.get("BRIMLET_E2E_ARTIFACTS") or tempfile.mkdtemp()
        os.makedirs(folder, exist_ok=True)
        shot = os.path.join(folder, self.name + ".png")
        subprocess.run(["import", "-window", "root", shot], capture_output=True, timeout=30)
        print(f"screenshot: {shot}")
        if self.node:
            print("--- accessibility tree:\n" + "\n".join(dump(self.node)))
        if os.path.exists(self.log):
            print("--- program output:\n" + open(self.log, errors="replace").read())

    def close(self):
        if self.process and self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        shutil.rmtree(self.root, ignore_errors=True)


def main(test):
    """Runs test(session) with the program named by the first argument."""
    name = os.path.splitext(os.path.basename(sys.argv[0]))[0]
    Atspi.set_timeout(5000, 15000)
    session = Session(os.path.abspath(sys.argv[1]), name)

    try:
        test(session)
    except Exception as error:
        print(f"FAILED: {name}: {error}")
        traceback.print_exc(file=sys.stdout)
        session.show_failure()
        sys.exit(1)
    finally:
        session.close()
