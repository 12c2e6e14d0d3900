"""What a screen reader meets: the main window and the help window are
windows ("frame"), named apart; the advertisement is a panel of the window,
not a dialog; "Destination:" labels the destination button, which says that
it opens the save dialog; and a change of the size line is announced (the
event a screen reader hears)."""

import os

import harness
import pyatspi
from harness import Atspi, GLib


def test(session):
    heard = []

    def hear(event):
        try:
            heard.append((event.source.get_role_name(), event.source.get_name()))
        except GLib.GError:
            pass  # a widget that has gone since
    listener = Atspi.EventListener.new(hear)
    listener.register("object:property-change:accessible-name")

    def announced(text):
        while GLib.MainContext.default().iteration(False):
            pass
        return ("label", text) in heard

    window = session.start()
    harness.check_equal((window.getRoleName(), window.name), ("frame", "Brimlet"), "the main window")
    harness.check_equal(session.find(window, name="Advertisement").getRoleName(), "panel", "the advertisement")

    path = os.path.join(session.files, "notes.txt")
    with open(path, "wb") as handle:
        handle.write(b"minutes\n")
    session.choose_files(window, [path])
    harness.wait_until(lambda: announced("Total size: 1 KB of 500MB limit"), "the new size line to be announced")

    destination = session.find(window, role_name="push button", name=f"{session.files}/files.7z")
    labels = [relation.getTarget(0).name for relation in destination.getRelationSet()
              if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY]
    harness.check_equal(labels, ["Destination:"], "what labels the destination")
    harness.check("save dialog" in destination.description, f"the destination's description {destination.description!r}")

    session.press_button(window, "Help")
    help_window = session.window("Brimlet Help", role_name="label", name="How to Use the File Compression Tool")
    harness.check_equal(help_window.getRoleName(), "frame", "the help window's role")
    session.quit(window)


if __name__ == "__main__":
    harness.main(test)
