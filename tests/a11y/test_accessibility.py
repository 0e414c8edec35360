#!/usr/bin/python3
"""Pindle as a screen reader meets it: the real program, read and driven over AT-SPI.

A user signs in, finds every control of the overlay by its name and role, asks a question and
hears the finished answer once (not its streamed pieces), hears a failure, clears the conversation
and changes settings, all through the accessibility bus as a screen reader or a voice control
program would: EditableText to type, Action to press, Value to slide, events to listen.

Pindle talks to the backend address it was built with (PINDLE_BACKEND_URL, on loopback): the suite
serves it from a fake backend (fakes.py) in a network namespace of its own, so a server running on
this machine is never met. It starts itself again there (unshare), inside scripts/with-keyring.sh
and scripts/with-x11.sh. Needs PINDLE_APP (the program), Debian's python3-gi, gir1.2-atspi-2.0 and
at-spi2-core; without them it skips (exit 77), or fails under CI.
"""

import fcntl
import json
import os
import socket
import struct
import subprocess
import sys
import time
import unittest
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
try:
    import gi

    gi.require_version("Atspi", "2.0")
    from gi.repository import Atspi, GLib

    from fakes import EMAIL, PASSWORD, Answer, FakeBackend, TrayWatcher
except (ImportError, ValueError):  # reported by main(), which skips or, in CI, fails
    Atspi = None

SKIPPED = 77  # ctest's SKIP_RETURN_CODE for this suite
WAIT = 60  # seconds before a wait fails: sanitizer builds on a busy machine are slow
SCRIPTS = os.path.join(HERE, "..", "..", "scripts")
APP = os.environ.get("PINDLE_APP", "")
BACKEND = urllib.parse.urlsplit(os.environ.get("PINDLE_BACKEND_URL", "http://127.0.0.1:8787"))
R = Atspi.Role if Atspi else None


class Recorder:
    """Every AT-SPI event of the types listened to, in order of arrival, as (type, role, name,
    detail1, detail2, data); the data of a change of name is the new name on every Qt."""

    TYPES = ("object:announcement", "object:property-change:accessible-name",
             "object:text-changed", "object:state-changed")

    def __init__(self):
        self.events = []
        self.listener = Atspi.EventListener.new(self._record)
        for kind in self.TYPES:  # before the program starts: Qt sends what someone listens to
            self.listener.register(kind)

    def _record(self, event):
        try:
            role, name = event.source.get_role(), event.source.get_name()
        except GLib.Error:  # gone already
            role, name = None, None
        data = name if isinstance(event.any_data, Atspi.Accessible) else event.any_data
        self.events.append((event.type, role, name, event.detail1, event.detail2, data))

    def since(self, mark, kind, role=None):
        return [e for e in self.events[mark:] if e[0].startswith(kind) and role in (None, e[1])]

    def run_until(self, predicate, what):
        """Dispatches events until predicate() is true, and returns its value. The deadline
        only fails the test: nothing waits for it to pass."""
        context, deadline = GLib.MainContext.default(), time.monotonic() + WAIT
        wake = GLib.timeout_add(100, lambda: True)  # looks again at state that sends no event
        try:
            while not (value := predicate()):
                if time.monotonic() > deadline:
                    raise AssertionError(f"waited {WAIT} s in vain for {what}")
                context.iteration(True)
            return value
        finally:
            GLib.source_remove(wake)


def nodes(root):
    """The tree under root, depth first; parts that vanish while it is read are left out."""
    try:
        children = [root.get_child_at_index(i) for i in range(root.get_child_count())]
    except GLib.Error:
        return
    yield root
    for child in children:
        if child is not None:
            yield from nodes(child)


def shown(node):
    return node.get_state_set().contains(Atspi.StateType.VISIBLE)


def find(root, role, name=None):
    """The first node on screen with that role (and name)."""
    for node in nodes(root):
        try:
            if node.get_role() == role and name in (None, node.get_name()) and shown(node):
                return node
        except GLib.Error:
            pass
    return None


def press(node):
    """Qt lists "Press" twice where the view handles it; either runs the handler."""
    count = Atspi.Action.get_n_actions(node)
    return Atspi.Action.do_action(node, [Atspi.Action.get_action_name(node, i)
                                         for i in range(count)].index("Press"))


def text_of(node):
    return Atspi.Text.get_text(node, 0, -1)


class Accessibility(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.events = Recorder()  # also brings the accessibility bus up
        cls.tray = TrayWatcher()
        cls.backend = FakeBackend(BACKEND.port or 80)
        config = os.path.join(os.environ["HOME"], ".config", "pindle")
        os.makedirs(config)
        cls.settings_file = os.path.join(config, "settings.json")
        with open(cls.settings_file, "w") as settings:
            json.dump({"pindle_category": "writing"}, settings)  # answers go unreviewed
        cls.env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        cls.process = subprocess.Popen([APP], env=cls.env)
        desktop = Atspi.get_desktop(0)
        cls.app = cls.events.run_until(lambda: next(
            (app for app in map(desktop.get_child_at_index, range(desktop.get_child_count()))
             if app is not None and app.get_process_id() == cls.process.pid), None),
            "Pindle on the accessibility bus")
        version = tuple(map(int, cls.app.get_toolkit_version().split(".")[:2]))
        cls.announced = version >= (6, 8)  # before, an alert item's new name says it

    @classmethod
    def tearDownClass(cls):
        cls.process.terminate()
        cls.process.wait()
        cls.backend.stop()

    def wait_for(self, role, name=None, root=None):
        return self.events.run_until(lambda: find(root or self.app, role, name),
                                     f"{role.value_nick} {name!r}")

    def said(self, mark):
        """What a screen reader was told since mark: (message, assertive) per announcement, or
        before Qt 6.8 (message, None) per new name of an alert item."""
        if self.announced:
            return [(e[5], e[3] == 2) for e in self.events.since(mark, "object:announcement")]
        return [(e[5], None) for e in self.events.since(
            mark, "object:property-change:accessible-name", R.ALERT) if e[5]]

    def mark_end(self, field):
        """Types into the field and waits for its event: what the program said before has
        arrived by then, as its events keep their order."""
        mark = len(self.events.events)
        self.assertTrue(Atspi.EditableText.set_text_contents(field, "marker"))
        self.events.run_until(lambda: any(e[5] == "marker" for e in self.events.since(
            mark, "object:text-changed:insert")), "the marker typed")
        Atspi.EditableText.set_text_contents(field, "")

    def ask(self, question):
        field = self.wait_for(R.TEXT, "Ask anything…")
        self.assertTrue(Atspi.EditableText.set_text_contents(field, question))  # as dictated
        self.assertTrue(press(self.wait_for(R.PUSH_BUTTON, "Send")))
        return field

    def test_1_sign_in(self):
        email = self.wait_for(R.TEXT, "Email")
        password = self.wait_for(R.PASSWORD_TEXT)
        # Qt leaves a password field's name empty; its placeholder is its description.
        self.assertEqual(password.get_name() or password.get_description(), "Password")
        self.assertTrue(Atspi.EditableText.set_text_contents(email, EMAIL))
        self.assertTrue(Atspi.EditableText.set_text_contents(password, PASSWORD))
        self.assertTrue(press(self.wait_for(R.PUSH_BUTTON, "Sign In")))
        self.events.run_until(lambda: find(self.app, R.FRAME, "Pindle — Sign In") is None,
                              "the sign-in window closing")
        self.assertEqual(self.tray.items, [f"org.kde.StatusNotifierItem-{self.process.pid}-1"])
        # Starting Pindle again shows the overlay of the one running.
        subprocess.run([APP], env=self.env, timeout=WAIT, check=True)
        self.wait_for(R.TEXT, "Ask anything…")

    def test_2_overlay_controls(self):
        overlay = self.wait_for(R.TEXT, "Ask anything…")
        while overlay.get_role() != R.FRAME:
            overlay = overlay.get_parent()
        shown_nodes = [node for node in nodes(overlay) if shown(node)]
        buttons = [node.get_name() for node in shown_nodes if node.get_role() == R.PUSH_BUTTON]
        for name in ("Clear chat", "Record Audio", "Record System Audio", "Send"):
            self.assertIn(name, buttons)
        self.assertTrue(any(name.startswith("Capture screen") for name in buttons), buttons)
        self.assertNotIn("Menu", buttons)  # the tray has the menu
        self.assertIsNotNone(find(overlay, R.LIST, "Conversation"))
        controls = {R.PUSH_BUTTON, R.TEXT, R.LIST, R.LIST_ITEM, R.MENU_ITEM, R.CHECK_BOX,
                    R.SLIDER, R.COMBO_BOX, R.LINK}
        self.assertEqual([node.get_role_name() for node in shown_nodes
                          if node.get_role() in controls and not node.get_name()], [])

        # Without a tray the header has the menu, and its button opens and closes it.
        self.tray.host_gone()
        menu = self.wait_for(R.PUSH_BUTTON, "Menu", overlay)
        self.assertTrue(press(menu))
        self.wait_for(R.MENU_ITEM, "Settings…")
        items = [node.get_name() for node in nodes(self.app)
                 if node.get_role() == R.MENU_ITEM and shown(node)]
        self.assertEqual([item.split(" (")[0] for item in items],
                         ["Toggle Overlay", "Capture Screen", "Type Mode", "Settings…",
                          "Sign Out", "Quit Pindle"])
        self.assertTrue(press(menu))
        self.events.run_until(lambda: find(self.app, R.MENU_ITEM) is None, "the menu closing")

    def test_3_answer_said_once(self):
        answer = Answer(["Paris ", "is ", "the ", "capital ", "of France."], held=2)
        self.backend.answers.put(answer)
        mark = len(self.events.events)
        field = self.ask("What is the capital of France?")
        conversation = self.wait_for(R.LIST, "Conversation")
        self.wait_for(R.LIST_ITEM, "You: What is the capital of France?", conversation)
        self.wait_for(R.LIST_ITEM, "Pindle: Paris is ", conversation)  # the first tokens shown
        answer.release.set()
        self.wait_for(R.LIST_ITEM, f"Pindle: {answer.text}", conversation)
        self.events.run_until(lambda: self.said(mark), "the answer said")
        self.mark_end(field)
        self.assertEqual(self.said(mark), [(answer.text, False if self.announced else None)])

    def test_4_error_said_and_cleared(self):
        self.backend.answers.put(Answer(status=500, error="The model is overloaded."))
        message = "Server error (500): The model is overloaded."
        mark = len(self.events.events)
        field = self.ask("And of Spain?")
        self.events.run_until(lambda: (message, True if self.announced else None)
                              in self.said(mark), "the error said")
        self.mark_end(field)
        if self.announced:  # before, the banner's name changes too, as an alert's
            self.assertEqual(self.said(mark), [(message, True)])
        # The banner shows it, with a way to dismiss it; the question stays, its answer went.
        dismiss = self.wait_for(R.PUSH_BUTTON, "Dismiss")
        banner = dismiss.get_parent()
        self.assertEqual((banner.get_role(), banner.get_name()), (R.ALERT, message))
        conversation = self.wait_for(R.LIST, "Conversation")
        self.assertEqual([node.get_name() for node in nodes(conversation)
                          if node.get_role() == R.LIST_ITEM][-1], "You: And of Spain?")
        self.assertTrue(press(dismiss))
        self.events.run_until(lambda: not shown(banner), "the banner gone")

        self.assertTrue(press(self.wait_for(R.PUSH_BUTTON, "Clear chat")))
        self.events.run_until(lambda: find(conversation, R.LIST_ITEM) is None, "an empty list")

    def test_5_settings(self):
        self.assertTrue(press(self.wait_for(R.PUSH_BUTTON, "Menu")))
        self.assertTrue(press(self.wait_for(R.MENU_ITEM, "Settings…")))
        window = self.wait_for(R.FRAME, "Pindle Settings")
        self.wait_for(R.COMBO_BOX, "Model", window)
        category = self.wait_for(R.COMBO_BOX, "Assistant Category", window)
        self.assertEqual(text_of(category.get_child_at_index(0)), "Writing & Content")
        slider = self.wait_for(R.SLIDER, "Overlay Opacity", window)
        switch = self.wait_for(R.CHECK_BOX, "Start Pindle at login", window)

        def stored(key):
            with open(self.settings_file) as settings:
                return json.load(settings).get(key)

        # Slid as a screen reader slides: the value is set, no handle moves.
        self.assertTrue(Atspi.Value.set_current_value(slider, 0.5))
        self.events.run_until(lambda: stored("pindle_opacity") == 0.5, "the opacity stored")
        self.wait_for(R.LABEL, "50%", window)

        # The switch's first action, a screen reader's click; the entry lands in the private
        # home of with-keyring.sh.
        entry = os.path.join(os.environ["HOME"], ".config", "autostart", "com.pindle.app.desktop")
        for on in (True, False):
            self.assertTrue(Atspi.Action.do_action(switch, 0))
            self.events.run_until(lambda: switch.get_state_set().contains(
                Atspi.StateType.CHECKED) == on, f"the switch {'on' if on else 'off'}")
            self.events.run_until(lambda: os.path.exists(entry) == on, "the autostart entry")


def loopback_up():
    """A new network namespace has its loopback interface down."""
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sock:
        request = struct.pack("16sH22x", b"lo", 0)
        flags = struct.unpack("16sH22x", fcntl.ioctl(sock, 0x8913, request))[1]  # SIOCGIFFLAGS
        fcntl.ioctl(sock, 0x8914, struct.pack("16sH22x", b"lo", flags | 1))  # SIOCSIFFLAGS, up


def main():
    inside = "PINDLE_A11Y_INSIDE" in os.environ
    unshare = ["unshare", "--net"] + ([] if os.geteuid() == 0 else ["--map-root-user"])
    missing = [what for what, there in (
        ("python3-gi and gir1.2-atspi-2.0", Atspi is not None),
        ("at-spi2-core", os.path.exists("/usr/libexec/at-spi-bus-launcher")),
        ("PINDLE_APP", os.access(APP, os.X_OK)),
        ("a loopback http PINDLE_BACKEND_URL",
         BACKEND.scheme == "http" and BACKEND.hostname in ("127.0.0.1", "localhost")),
        ("a network namespace of its own (unshare)",
         inside or subprocess.run(unshare + ["true"]).returncode == 0)) if not there]
    if missing:
        print("Skipped, missing:", ", ".join(missing))
        sys.exit(1 if os.environ.get("CI") else SKIPPED)
    if not inside:
        os.environ["PINDLE_A11Y_INSIDE"] = "1"
        os.execvp(unshare[0], unshare + [os.path.join(SCRIPTS, "with-keyring.sh"),
                                         os.path.join(SCRIPTS, "with-x11.sh"),
                                         sys.executable, *sys.argv])
    loopback_up()
    # Atspi.Action.get_action_name is deprecated, and nothing replaces it in at-spi2-core 2.46.
    unittest.main(verbosity=2, failfast=True, warnings="ignore")


if __name__ == "__main__":
    main()
