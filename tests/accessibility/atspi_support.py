"""What the accessibility tests share: their own X display, session bus calls and accessibility
bus, the programs they start (ended on the way out), a window read and driven through AT-SPI,
and the search of its tree.

Every wait has a time limit; a step that cannot go on raises Abort.
"""

import os
import signal
import subprocess
import time

import gi

gi.require_version("Atspi", "2.0")
import pyatspi  # noqa: E402  (connects on first use, once the buses below run)
from gi.repository import Gio, GLib  # noqa: E402

WAIT_SECONDS = 20
TAB_KEYSYM = 0xFF09


class Abort(Exception):
    """A step that cannot go on: a time limit passed or a program ended."""


def limit_run(seconds):
    """Raises Abort once the whole run has taken `seconds`; limit_run(0) lifts the limit."""

    def on_alarm(_signum, _frame):
        raise Abort(f"the run took longer than {seconds} s")

    signal.signal(signal.SIGALRM, on_alarm)
    signal.alarm(seconds)


class Checks:
    """Each check printed as it is made. A check named in `expected_to_fail` (something the
    program lacks today) fails quietly, and counts as a failure once it holds, so that it is
    taken off that list when the program is mended."""

    def __init__(self, expected_to_fail=()):
        self.failures = []
        self.expected_to_fail = set(expected_to_fail)

    def expect(self, condition, what, detail=""):
        shown = what + (": " + detail if detail else "")
        if what in self.expected_to_fail:
            if condition:
                print("XPASS " + shown + " (take it off the expected-to-fail list)", flush=True)
                self.failures.append(what + " holds now, but is listed as expected to fail")
            else:
                print("xfail " + shown, flush=True)
            return condition
        print(("ok    " if condition else "FAIL  ") + shown, flush=True)
        if not condition:
            self.failures.append(shown)
        return condition


class Processes:
    """The programs this test starts, ended in reverse order by their own ids. They stay in the
    test's process group, so that a timeout that ends the group ends them too."""

    def __init__(self):
        self.started = []

    def start(self, argv, **kwargs):
        process = subprocess.Popen(argv, **kwargs)
        self.started.append(process)
        return process

    def stop_all(self):
        for process in reversed(self.started):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(timeout=3)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait(timeout=3)


def start_display(processes):
    read_end, write_end = os.pipe()
    processes.start(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x800x24", "-nolisten", "tcp"],
        pass_fds=[write_end],
        stderr=subprocess.DEVNULL,
    )
    os.close(write_end)
    os.set_blocking(read_end, False)
    number = b""
    deadline = time.monotonic() + WAIT_SECONDS
    while not number.endswith(b"\n"):
        if time.monotonic() > deadline:
            raise Abort("Xvfb did not report its display")
        try:
            chunk = os.read(read_end, 16)
            if not chunk:
                raise RuntimeError("Xvfb ended before reporting its display")
            number += chunk
        except BlockingIOError:
            time.sleep(0.05)
    os.close(read_end)
    os.environ["DISPLAY"] = ":" + number.decode().strip()


def session_call(bus, destination, path, interface, method, args=None):
    return bus.call_sync(destination, path, interface, method, args, None, 0, 5000, None).unpack()


def start_accessibility_bus(processes):
    """Starts at-spi-bus-launcher and returns a connection to the accessibility bus it runs."""
    session = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    processes.start(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
    deadline = time.monotonic() + WAIT_SECONDS
    dbus = ("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus")
    name = GLib.Variant("(s)", ("org.a11y.Bus",))
    while not session_call(session, *dbus, "NameHasOwner", name)[0]:
        if time.monotonic() > deadline:
            raise Abort("at-spi-bus-launcher did not take its name on the session bus")
        time.sleep(0.05)
    bus = ("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus")
    address = session_call(session, *bus, "GetAddress")[0]
    flags = (
        Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT
        | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION
    )
    return Gio.DBusConnection.new_for_address_sync(address, flags, None, None)


class Window:
    """A program's main window as AT-SPI shows it, with the events a screen reader listens to.
    `app_name` is the application's accessible name; `is_frame(top)` tells its main window
    from its other top-level objects."""

    def __init__(self, a11y_bus, app_name, is_frame):
        self.a11y_bus = a11y_bus
        self.app_name = app_name
        self.is_frame = is_frame
        self.process = None
        self.app = None
        self.events = []
        pyatspi.Registry.registerEventListener(
            self.on_event,
            "object:state-changed:focused",
            "window:create",
            "window:activate",
            "object:property-change:accessible-description",
        )

    def on_event(self, event):
        try:
            source = event.source
            self.events.append(
                {
                    "type": event.type,
                    "detail1": event.detail1,
                    "role": source.getRoleName(),
                    "name": source.name,
                    "parent": source.parent.name if source.parent else "",
                    "source": source,
                }
            )
        except Exception as error:  # an object gone before its event was read
            self.events.append({"type": event.type, "error": str(error)})

    def pump(self, seconds):
        context = GLib.MainContext.default()
        end = time.monotonic() + seconds
        while True:
            while context.iteration(False):
                pass
            if time.monotonic() >= end:
                return
            time.sleep(0.02)

    def wait_until(self, condition, seconds=WAIT_SECONDS):
        """What the condition returns once it holds, or None when it has not within the time."""
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            self.pump(0.05)
            if self.process is not None and self.process.poll() is not None:
                name = os.path.basename(self.process.args[0])
                raise Abort(f"{name} ended with status {self.process.returncode}")
            try:
                found = condition()
            except Exception:  # the tree changes under us while a dialog comes and goes
                found = None
            if found:
                return found
        return None

    def wait_for(self, what, condition, seconds=WAIT_SECONDS):
        found = self.wait_until(condition, seconds)
        if not found:
            raise Abort(f"waited {seconds} s for {what}")
        return found

    def wait_for_main_window(self):
        def main_window():
            desktop = pyatspi.Registry.getDesktop(0)
            for i in range(desktop.childCount):
                app = desktop.getChildAtIndex(i)
                if app is not None and app.name == self.app_name:
                    self.app = app
                    return self.frame()
            return None

        return self.wait_for("the main window", main_window)

    def top_levels(self):
        return [self.app.getChildAtIndex(i) for i in range(self.app.childCount)]

    def frame(self):
        for top in self.top_levels():
            if top is not None and top.getRoleName() == "frame" and self.is_frame(top):
                return top
        return None

    def dialog(self, role, name=None):
        for top in self.top_levels():
            if top is not None and top.getRoleName() == role and (name is None or top.name == name):
                return top
        return None

    def act(self, accessible, action="Press"):
        """Starts an action without waiting for it: a button or menu item that opens a modal
        dialog answers only once the dialog has closed."""
        actions = accessible.queryAction()
        index = [actions.getName(i) for i in range(actions.nActions)].index(action)
        self.a11y_bus.call(
            accessible.app.bus_name,
            accessible.path,
            "org.a11y.atspi.Action",
            "DoAction",
            GLib.Variant("(i)", (index,)),
            None,
            Gio.DBusCallFlags.NONE,
            -1,
            None,
            None,
            None,
        )

    def activate(self):
        """Gives the main window the keyboard focus, as a window manager does when a window
        opens: the test's display has none."""
        subprocess.run(
            ["xdotool", "search", "--sync", "--onlyvisible", "--pid", str(self.process.pid),
             "--name", "^Corvane", "windowfocus", "--sync"],
            check=True, timeout=WAIT_SECONDS,
        )
        self.wait_for(
            "the main window to be active",
            lambda: self.frame().getState().contains(pyatspi.STATE_ACTIVE),
        )

    def press_tab(self):
        pyatspi.Registry.generateKeyboardEvent(TAB_KEYSYM, None, pyatspi.KEY_SYM)


def walk(accessible):
    yield accessible
    for i in range(accessible.childCount):
        child = accessible.getChildAtIndex(i)
        if child is not None:
            yield from walk(child)


def find(root, predicate):
    return next((a for a in walk(root) if predicate(a)), None)


def named(root, role, name):
    found = find(root, lambda a: a.getRoleName() == role and a.name == name)
    if found is None:
        raise LookupError(f"no {role} named {name!r}")
    return found


def interfaces(accessible):
    return set(accessible.get_interfaces())


def text_of(accessible):
    """What a screen reader reads of an object: its text if it has one, else name and
    description."""
    if "Text" in interfaces(accessible):
        text = accessible.queryText()
        return text.getText(0, text.characterCount)
    return accessible.name + " " + accessible.description


def is_focusable(accessible):
    return accessible.getState().contains(pyatspi.STATE_FOCUSABLE)


def is_enabled(accessible):
    return accessible.getState().contains(pyatspi.STATE_ENABLED)


def focus_gains(window):
    return [
        e
        for e in window.events
        if e["type"] == "object:state-changed:focused" and e.get("detail1") == 1
    ]
