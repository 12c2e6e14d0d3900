"""Drives the real Brimlet program in a real window, as a person or a screen
reader would: through its accessibility tree (AT-SPI), finding buttons and
fields by their names, with xdotool for pointer drags.

Run under run-under-xvfb.sh, which provides the X server, the session bus and
the accessibility bus. A test script looks like this:

    import harness

    def test(session):
        app = session.start()
        window = app.main_window()
        app.press_button(window, "Cancel")
        harness.check_equal(app.wait_exit(), 0, "exit status")

    harness.main(test)

Every wait polls with a timeout; nothing sleeps to synchronise. When a test
fails, the accessibility tree, a screenshot and the program's output are
saved (and the tree printed), and the program is always killed at the end.
"""

import faulthandler
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import traceback

import gi
gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402
import pyatspi  # noqa: E402

POLL_INTERVAL = 0.05
DEFAULT_TIMEOUT = 15.0
SKIP_STATUS = 77
TITLE = "Brimlet"


class Failure(AssertionError):
    """A check of the test failed; the message says what was expected."""


class Skip(Exception):
    """The test cannot run on this machine; the message says why."""


# --- small checks with clear messages ---------------------------------------

def check(condition, message):
    if not condition:
        raise Failure(message)


def check_equal(actual, expected, what):
    if actual != expected:
        raise Failure(f"{what}: expected {expected!r}, got {actual!r}")


def wait_until(predicate, what, timeout=DEFAULT_TIMEOUT):
    """Polls predicate until it returns something truthy and returns that.

    Errors from the accessibility bus count as "not yet": the program may be
    busy (a modal loop starting, the archiver running) or a widget may have
    just been deleted.
    """
    deadline = time.monotonic() + timeout
    last_error = None
    while True:
        try:
            result = predicate()
            if result:
                return result
        except (GLib.GError, RuntimeError, LookupError) as error:
            last_error = error
        if time.monotonic() > deadline:
            detail = f" (last error: {last_error})" if last_error else ""
            raise Failure(f"timed out after {timeout:.0f} s waiting for {what}{detail}")
        time.sleep(POLL_INTERVAL)


# --- accessibility tree helpers ----------------------------------------------

def role(node):
    return node.getRoleName()


def children(node):
    result = []
    for index in range(node.childCount):
        try:
            child = node.getChildAtIndex(index)
        except GLib.GError:
            continue
        if child is not None:
            result.append(child)
    return result


def walk(node):
    """The node and all its descendants, depth first; vanished nodes are left out."""
    stack = [node]
    while stack:
        current = stack.pop()
        yield current
        try:
            stack.extend(reversed(children(current)))
        except GLib.GError:
            continue


def is_showing(node):
    try:
        node.clear_cache()
        return node.getState().contains(pyatspi.STATE_SHOWING)
    except GLib.GError:
        return False


def description(node):
    """The tool tip, for Qt widgets without an accessible description."""
    try:
        return node.description or ""
    except GLib.GError:
        return ""


def text_of(node):
    """What the node reads as: its Text interface where it has one, else its name."""
    try:
        text = node.queryText()
        return text.getText(0, -1)
    except (NotImplementedError, GLib.GError):
        return node.name or ""


def matches(node, role_name=None, name=None, tooltip=None, showing=True):
    """Name matches the accessible name; a widget without one (an icon-only
    tool button) also matches by its tool tip."""
    try:
        if role_name is not None and role(node) != role_name:
            return False
        if name is not None:
            own = node.name or ""
            if own != name and not (own == "" and description(node) == name):
                return False
        if tooltip is not None and description(node) != tooltip:
            return False
        return not showing or is_showing(node)
    except GLib.GError:
        return False


def extents(node):
    """(x, y, width, height) of the node on the screen."""
    box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return (box.x, box.y, box.width, box.height)


def centre(node):
    x, y, width, height = extents(node)
    return (x + width // 2, y + height // 2)


def describe(node):
    try:
        parts = [f"[{role(node)}]", repr(node.name or "")]
        tip = description(node)
        if tip:
            parts.append(f"tooltip={tip!r}")
        if role(node) in ("text", "label", "password text"):
            content = text_of(node)
            if content != (node.name or ""):
                parts.append(f"text={content!r}")
        if not is_showing(node):
            parts.append("(hidden)")
        try:
            parts.append("at {}".format(extents(node)))
        except (NotImplementedError, GLib.GError):
            pass
        return " ".join(parts)
    except GLib.GError as error:
        return f"<gone: {error}>"


def dump(node, depth=0, lines=None):
    lines = [] if lines is None else lines
    lines.append("  " * depth + describe(node))
    try:
        for child in children(node):
            dump(child, depth + 1, lines)
    except GLib.GError:
        pass
    return lines


# --- the program -------------------------------------------------------------

class App:
    """One running Brimlet process and its accessibility tree."""

    def __init__(self, session, process):
        self.session = session
        self.process = process
        self._application = None

    @property
    def pid(self):
        return self.process.pid

    # finding things

    def application(self, timeout=DEFAULT_TIMEOUT):
        """The program's node on the accessibility bus (found by process id)."""
        if self._application is None:
            def registered():
                self._check_running()
                desktop = pyatspi.Registry.getDesktop(0)
                desktop.clear_cache()
                for candidate in children(desktop):
                    # With a GTK platform theme GTK registers the same
                    # process too, with an empty tree; Qt's is the one.
                    if candidate.get_process_id() == self.pid \
                            and candidate.get_toolkit_name() == "Qt":
                        return candidate
                return None
            found = wait_until(registered, "the program to appear on the accessibility bus",
                               timeout)
            self._application = found
        return self._application

    def fresh(self):
        """The application node with everything cached about its tree dropped,
        so that names, states and children are read anew. (Switching the cache
        off instead deadlocks libatspi when an event arrives mid-call.)"""
        application = self.application()
        application.clear_cache()
        return application

    def windows(self):
        """The program's top-level windows that are on screen."""
        return [w for w in children(self.fresh()) if is_showing(w)]

    def window(self, title=TITLE, containing=None, timeout=DEFAULT_TIMEOUT):
        """Waits for a shown top-level window with this title; with containing
        (a dict of find() criteria), only one that holds such a widget."""
        def look():
            self._check_running()
            for candidate in self.windows():
                if candidate.name != title:
                    continue
                if containing is None or self._first(candidate, **containing):
                    return candidate
            return None
        what = f"a window titled {title!r}"
        if containing:
            what += f" containing {containing}"
        return wait_until(look, what, timeout)

    def main_window(self, timeout=DEFAULT_TIMEOUT):
        return self.window(TITLE, {"role_name": "push button", "name": "Compress"}, timeout)

    def find(self, root, role_name=None, name=None, tooltip=None, showing=True,
             timeout=DEFAULT_TIMEOUT):
        """Waits for the first widget below root (depth first) that matches."""
        criteria = dict(role_name=role_name, name=name, tooltip=tooltip, showing=showing)

        def look():
            self._check_running()
            self.fresh()
            return self._first(root, **criteria)
        wanted = ", ".join(f"{k}={v!r}" for k, v in criteria.items() if v is not None and k != "showing")
        return wait_until(look, f"a widget with {wanted}", timeout)

    def find_all(self, root, role_name=None, name=None, tooltip=None, showing=True):
        """Every matching widget below root, right now (no waiting)."""
        return [n for n in walk(root) if matches(n, role_name, name, tooltip, showing)]

    def absent(self, root, role_name=None, name=None, tooltip=None, timeout=DEFAULT_TIMEOUT):
        """Waits until no shown widget below root matches."""
        def gone():
            self._check_running()
            self.fresh()
            return not self.find_all(root, role_name, name, tooltip)
        wait_until(gone,
                   f"no widget with role={role_name!r} name={name!r} tooltip={tooltip!r}",
                   timeout)

    @staticmethod
    def _first(root, role_name=None, name=None, tooltip=None, showing=True):
        for node in walk(root):
            if matches(node, role_name, name, tooltip, showing):
                return node
        return None

    # acting

    def press(self, node, timeout=DEFAULT_TIMEOUT):
        """Presses a button through its accessible action, as a screen reader
        does; waits for it to be enabled (a disabled Qt button offers no action)."""
        def pressable():
            node.clear_cache()
            if not node.getState().contains(pyatspi.STATE_ENABLED):
                return None
            action = node.queryAction()
            names = [action.getName(i).lower() for i in range(action.nActions)]
            for wanted in ("press", "click", "activate"):
                if wanted in names:
                    return action, names.index(wanted)
            return None
        action, index = wait_until(pressable, f"{describe(node)} to be enabled and pressable",
                                   timeout)
        action.doAction(index)

    def press_button(self, root, name, timeout=DEFAULT_TIMEOUT):
        self.press(self.find(root, role_name="push button", name=name, timeout=timeout))

    def set_text(self, node, text):
        """Replaces the text of an editable field and waits until it reads back."""
        node.queryEditableText().setTextContents(text)
        wait_until(lambda: text_of(node) == text, f"the field to read {text!r}")

    def type_text(self, node, text):
        """Types into a field with the keyboard (xdotool), after clicking into it."""
        self.click(node)
        self.session.xdotool("type", "--delay", "15", "--", text)

    def key(self, *keys):
        self.session.xdotool("key", *keys)

    def click(self, node, button=1):
        x, y = centre(node)
        self.session.xdotool("mousemove", "--sync", str(x), str(y), "click", str(button))

    def drag(self, start, end, steps=10):
        """A left-button drag with the pointer from start to end (screen points)."""
        (x0, y0), (x1, y1) = start, end
        args = ["mousemove", "--sync", str(x0), str(y0), "mousedown", "1"]
        for step in range(1, steps + 1):
            args += ["mousemove", "--sync",
                     str(x0 + (x1 - x0) * step // steps), str(y0 + (y1 - y0) * step // steps)]
        args += ["mouseup", "1"]
        self.session.xdotool(*args)

    # message box

    def message_box(self, timeout=DEFAULT_TIMEOUT):
        """Waits for the program's message box and returns it."""
        return MessageBox(self, self.window(TITLE, {"role_name": "push button", "name": "OK"},
                                           timeout))

    # the process

    def running(self):
        return self.process.poll() is None

    def _check_running(self):
        if not self.running():
            raise Failure(f"the program exited early with status {self.process.returncode}")

    def wait_exit(self, timeout=DEFAULT_TIMEOUT):
        """Waits for the program to end and returns its exit status."""
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Failure(f"the program did not exit within {timeout:.0f} s") from None

    def kill(self):
        if self.running():
            self.process.kill()
            self.process.wait()

    def x_window_geometry(self, title=TITLE):
        """(x, y, width, height) of the program's X window with this title, per xdotool."""
        ids = self.session.xdotool("search", "--onlyvisible", "--pid", str(self.pid),
                                   "--name", f"^{title}$").split()
        check(ids, f"no visible X window titled {title!r}")
        out = self.session.xdotool("getwindowgeometry", "--shell", ids[0])
        values = dict(line.split("=", 1) for line in out.split() if "=" in line)
        return tuple(int(values[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))

    def dump_tree(self):
        if self._application is None:
            return "(the program never appeared on the accessibility bus)"
        try:
            return "\n".join(dump(self._application))
        except GLib.GError as error:
            return f"(the tree could not be read: {error})"


class MessageBox:
    """The program's frameless message box."""

    def __init__(self, app, node):
        self.app = app
        self.node = node

    def texts(self):
        """The box's labels (text and informative text), in order, non-empty ones."""
        labels = self.app.find_all(self.node, role_name="label")
        return [t for t in (text_of(label).strip() for label in labels) if t]

    def text(self):
        texts = self.texts()
        return texts[0] if texts else ""

    def buttons(self):
        return [b.name for b in self.app.find_all(self.node, role_name="push button")]

    def answer(self, button):
        self.app.press_button(self.node, button)
        wait_until(lambda: not is_showing(self.node), f"the message box to close after {button!r}")


# --- the program's own widgets ------------------------------------------------

def shown_name(name):
    """A row shortens a long name to its first and last five characters."""
    return (name, name[:5] + "..." + name[-5:])


def name_button(app, window, name, timeout=DEFAULT_TIMEOUT):
    """The row's name button (tool tip "Rename") of the file shown as name."""
    def look():
        app.fresh()
        for button in app.find_all(window, role_name="push button", tooltip="Rename"):
            if button.name in shown_name(name):
                return button
        return None
    return wait_until(look, f"the row of {name!r}", timeout)


def listed_names(app, window):
    app.fresh()
    return sorted(b.name for b in app.find_all(window, role_name="push button", tooltip="Rename"))


def size_line(app, window):
    app.fresh()
    for label in app.find_all(window, role_name="label"):
        text = text_of(label)
        if text.startswith("Total size:"):
            return text.replace("<b>", "").replace("</b>", "")
    raise Failure("no size line in the main window")


def choose_files(app, window, paths):
    app.press_button(window, "Browse for files")
    dialog = app.window("Select one or more files to open")
    field = app.find(dialog, role_name="text", name="File name:")
    # Quoted names separated by spaces is how Qt's dialog takes several files.
    app.set_text(field, " ".join(f'"{path}"' for path in paths))
    app.press_button(dialog, "Open")
    wait_until(lambda: not is_showing(dialog), "the file dialog to close")


def choose_destination(app, window, current, wanted):
    """Clicks the destination path (a button showing current) and saves as wanted."""
    app.press(app.find(window, role_name="push button", name=current))
    dialog = app.window("Save File")
    app.set_text(app.find(dialog, role_name="text", name="File name:"), wanted)
    app.press_button(dialog, "Save")
    wait_until(lambda: not is_showing(dialog), "the save dialog to close")
    app.find(window, role_name="push button", name=wanted)


def rename(app, window, old, new):
    app.press(name_button(app, window, old))
    dialog = app.window("Change name")
    app.find(dialog, role_name="label", name="file name:")
    field = app.find(dialog, role_name="text")
    check_equal(text_of(field), old, "the rename field's first text")
    app.set_text(field, new)
    app.press_button(dialog, "OK")
    name_button(app, window, new)


def remove(app, window, name):
    row = name_button(app, window, name).parent
    app.press(app.find(row, role_name="push button", name="Remove"))
    wait_until(lambda: name not in listed_names(app, window), f"{name!r} to leave the list")


# --- a test session ------------------------------------------------------------

class Session:
    """One test: an isolated home and temporary folder, the program, and what is
    saved when the test fails."""

    def __init__(self, program, name):
        self.program = os.path.abspath(program)
        self.name = name
        self.root = tempfile.mkdtemp(prefix=f"brimlet-{name}-")
        self.home = self._folder("home")
        self.tmp = self._folder("tmp")
        self.runtime = self._folder("runtime", 0o700)
        self.files = self._folder("files")     # the user's own files
        self.apps = []
        self.log_path = os.path.join(self.root, "program.log")

    def _folder(self, name, mode=0o755):
        path = os.path.join(self.root, name)
        os.makedirs(path, mode=mode)
        return path

    @property
    def staging(self):
        return os.path.join(self.tmp, "velmora")

    def environment(self, extra=None):
        env = dict(os.environ)
        for variable in ("XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "GNOME_DESKTOP_SESSION_ID",
                         "KDE_FULL_SESSION", "XDG_SESSION_TYPE", "WAYLAND_DISPLAY",
                         "QT_STYLE_OVERRIDE", "QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS",
                         "QT_DEBUG_PLUGINS"):
            env.pop(variable, None)
        env.update({
            "HOME": self.home,
            "TMPDIR": self.tmp,
            "XDG_RUNTIME_DIR": self.runtime,
            "XDG_CONFIG_HOME": os.path.join(self.home, ".config"),
            "XDG_DATA_HOME": os.path.join(self.home, ".local", "share"),
            "XDG_CACHE_HOME": os.path.join(self.home, ".cache"),
            "LANG": "C.UTF-8",
            "LC_ALL": "C.UTF-8",
            "QT_QPA_PLATFORM": "xcb",
            # Qt's own widget dialogs, never a desktop's native ones, which
            # would not be reachable the same way.
            "QT_QPA_PLATFORMTHEME": "generic",
            "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
            "QT_ACCESSIBILITY": "1",
        })
        env.update(extra or {})
        return env

    def start(self, args=(), env=None):
        """Starts the program and waits until its main window is on screen."""
        log = open(self.log_path, "ab")
        process = subprocess.Popen([self.program, *args], cwd=self.root, env=self.environment(env),
                                   stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT)
        log.close()
        app = App(self, process)
        self.apps.append(app)
        app.main_window()
        return app

    def xdotool(self, *args):
        result = subprocess.run(["xdotool", *args], capture_output=True, text=True, timeout=30)
        if result.returncode != 0:
            raise Failure(f"xdotool {' '.join(args)} failed: {result.stderr.strip()}")
        return result.stdout

    def screenshot(self, path):
        subprocess.run(["import", "-window", "root", path], check=True, timeout=30,
                       capture_output=True)
        return path

    def artifacts_dir(self):
        wanted = os.environ.get("BRIMLET_E2E_ARTIFACTS")
        if wanted:
            try:
                os.makedirs(wanted, exist_ok=True)
                if os.access(wanted, os.W_OK):
                    return wanted
            except OSError:
                pass
        return tempfile.mkdtemp(prefix=f"brimlet-{self.name}-failure-")

    def save_failure(self):
        folder = self.artifacts_dir()
        print(f"--- saving what the screen showed to {folder}")
        try:
            print(f"screenshot: {self.screenshot(os.path.join(folder, self.name + '.png'))}")
        except (OSError, subprocess.SubprocessError) as error:
            print(f"(no screenshot: {error})")
        for index, app in enumerate(self.apps):
            tree = app.dump_tree()
            print(f"--- accessibility tree of program run {index + 1}:\n{tree}")
            with open(os.path.join(folder, f"{self.name}-tree{index + 1}.txt"), "w") as out:
                out.write(tree + "\n")
        if os.path.exists(self.log_path):
            with open(self.log_path, errors="replace") as log:
                print(f"--- program output:\n{log.read()}")

    def save_hang(self, seconds):
        """What can still be saved when the test itself is stuck: the tree
        cannot be read then, the screen and the program's output can."""
        print(f"FAILED: {self.name}: the test did not finish within {seconds:.0f} s; "
              "where it was stuck:")
        sys.stdout.flush()
        faulthandler.dump_traceback(file=sys.stdout, all_threads=True)
        folder = self.artifacts_dir()
        try:
            print(f"screenshot: {self.screenshot(os.path.join(folder, self.name + '.png'))}")
        except (OSError, subprocess.SubprocessError) as error:
            print(f"(no screenshot: {error})")
        self.close()
        if os.path.exists(self.log_path):
            with open(self.log_path, errors="replace") as log:
                print(f"--- program output:\n{log.read()}")

    def close(self, keep=False):
        for app in self.apps:
            app.kill()
        if not keep:
            shutil.rmtree(self.root, ignore_errors=True)


def main(test):
    """Runs test(session) with the program given as the first argument.
    Exit status: 0 passed, 1 failed, 77 skipped."""
    if len(sys.argv) < 2:
        sys.exit(f"usage: {sys.argv[0]} PROGRAM")
    name = os.path.splitext(os.path.basename(sys.argv[0]))[0]
    Atspi.set_timeout(5000, 15000)
    session = Session(sys.argv[1], name)
    started = time.monotonic()
    status = 1
    # A call into a hung program, or a deadlock in the accessibility library,
    # would otherwise block until ctest kills us and nothing would be saved.
    deadline = float(os.environ.get("BRIMLET_E2E_DEADLINE", "100"))

    def give_up():
        session.save_hang(deadline)
        sys.stdout.flush()
        os._exit(1)
    watchdog = threading.Timer(deadline, give_up)
    watchdog.daemon = True
    watchdog.start()
    try:
        test(session)
        status = 0
    except Skip as reason:
        print(f"SKIPPED: {reason}")
        status = SKIP_STATUS
    except Exception as error:  # every failure is reported the same way
        print(f"FAILED: {name}: {error}")
        traceback.print_exc(file=sys.stdout)
        session.save_failure()
    finally:
        watchdog.cancel()
        session.close()
    verdict = {0: "passed", SKIP_STATUS: "skipped"}.get(status, "failed")
    print(f"{name} {verdict} in {time.monotonic() - started:.1f} s")
    sys.stdout.flush()
    sys.exit(status)
