#!/usr/bin/python3
"""Reads and drives Corvane's main window the way a screen reader does.

Starts its own X display (Xvfb), the desktop accessibility bus (at-spi-bus-launcher, which brings
up the registry) and the real corvane program with accessibility on, then uses AT-SPI alone:
File > Open of a junk file must raise an alert with the load error; Open of a sample must put the
figures into the value labels; Draw, the two Calculate buttons and the Ra Draw must fill the
lists and describe the two pictures; Tab must move the focus from control to control and into the
Ra panel beyond the window's right edge. The expected texts come from corvane-batch on the same
file. Run it inside a session bus of its own:

    dbus-run-session -- /usr/bin/python3 main_window_test.py --program build/src/corvane \
        --batch build/src/corvane-batch

Every wait has a time limit and the whole run has one; whatever it started is ended on the way
out. Exit status 0 when every check holds, 1 otherwise.
"""

import argparse
import json
import os
import signal
import subprocess
import sys
import tempfile
import time

import gi

gi.require_version("Atspi", "2.0")
import pyatspi  # noqa: E402  (connects on first use, once the buses below run)
from gi.repository import Gio, GLib  # noqa: E402

RUN_LIMIT_SECONDS = 150
WAIT_SECONDS = 20
LOAD_ERROR = "An error occured loading file"
TAB_KEYSYM = 0xFF09
# The roles a user operates, as AT-SPI names them.
CONTROL_ROLES = {"push button", "check box", "scroll bar", "list", "menu item"}
# The value labels, by accessible name, and the figure each shows (corvane-batch's names).
VALUE_LABELS = {
    "Maximum X value": "Label3",
    "Minimum x value": "Label4",
    "Maximum Y value": "Label7",
    "Minimum y value": "Label8",
    "Maximum Z value": "Label11",
    "Minimum z value": "Label12",
    "Mean z value": "Label18",
}


class Abort(Exception):
    """A step that cannot go on: a time limit passed or a program ended."""


def on_alarm(_signum, _frame):
    raise Abort(f"the run took longer than {RUN_LIMIT_SECONDS} s")


class Checks:
    def __init__(self):
        self.failures = []

    def expect(self, condition, what):
        print(("ok    " if condition else "FAIL  ") + what, flush=True)
        if not condition:
            self.failures.append(what)
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
    """Corvane as AT-SPI shows it, with the events a screen reader listens to."""

    def __init__(self, a11y_bus):
        self.a11y_bus = a11y_bus
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
                raise Abort(f"corvane ended with status {self.process.returncode}")
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
                if app is not None and app.name == "Corvane":
                    self.app = app
                    return self.frame()
            return None

        return self.wait_for("the main window", main_window)

    def top_levels(self):
        return [self.app.getChildAtIndex(i) for i in range(self.app.childCount)]

    def frame(self):
        for top in self.top_levels():
            if top is not None and top.getRoleName() == "frame" and top.name.startswith("Corvane"):
                if find(top, lambda a: a.getRoleName() == "push button"):
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


def list_lines(root, name):
    box = named(root, "list", name)
    return [box.getChildAtIndex(i).name for i in range(box.childCount)]


def text_of(accessible):
    """What a screen reader reads of an object: its text if it has one, else name and
    description."""
    if "Text" in interfaces(accessible):
        text = accessible.queryText()
        return text.getText(0, text.characterCount)
    return accessible.name + " " + accessible.description


def label_text(root, name):
    """A label's text as a screen reader gets it: its text, or else its description (Qt's
    labels have no text of their own on the accessibility bus, the window copies a value label's
    text into its description)."""
    label = named(root, "label", name)
    if "Text" in interfaces(label):
        text = label.queryText()
        return text.getText(0, text.characterCount)
    return label.description


def open_file(window, path):
    """File > Open through the real file dialog: types the path and presses Open."""
    window.act(named(window.frame(), "menu item", "Open"))
    dialog = window.wait_for("the Open dialog", lambda: window.dialog("dialog", "Open"))
    field = find(dialog, lambda a: a.getRoleName() == "text" and "EditableText" in interfaces(a))
    field.queryEditableText().setTextContents(path)
    window.wait_for("the typed file name", lambda: text_of(field) == path)
    window.act(named(dialog, "push button", "Open"))


def census(frame):
    """Counts what the main window shows a screen reader. Controls are what a user operates or
    can focus; the lines of a list are its content, counted apart."""
    objects = list(walk(frame))
    controls = [
        a
        for a in objects
        if a.getRoleName() != "list item" and (a.getRoleName() in CONTROL_ROLES or is_focusable(a))
    ]
    names = [a.name for a in controls]
    value_labels = list(VALUE_LABELS) + ["Reference plane height value", "Sampling length value"]
    return {
        "objects": len(objects),
        "controls": len(controls),
        "named": sum(1 for n in names if n),
        "distinct names": len(set(names)),
        "with values": sum(1 for a in controls if "Value" in interfaces(a)),
        "value labels with text": sum(1 for n in value_labels if label_text(frame, n)),
        "list lines": sum(1 for a in objects if a.getRoleName() == "list item"),
        "described": sum(1 for a in objects if a.description),
    }


def is_focusable(accessible):
    return accessible.getState().contains(pyatspi.STATE_FOCUSABLE)


def is_enabled(accessible):
    return accessible.getState().contains(pyatspi.STATE_ENABLED)


def check_load_error(window, checks, junk):
    """Open of a file that is no point file: the message arrives as an alert."""
    open_file(window, junk)
    alert = window.wait_for("the load error's alert", lambda: window.dialog("alert"))
    texts = [text_of(a) for a in walk(alert)]
    print("      the alert holds:", texts)
    checks.expect(any(LOAD_ERROR in t for t in texts), f"the alert reads {LOAD_ERROR!r}")
    announced = window.wait_until(
        lambda: any(
            e.get("role") == "alert" and e["type"].startswith("window:") for e in window.events
        )
    )
    checks.expect(bool(announced), "the alert comes with a window event of role alert")
    window.act(named(alert, "push button", "OK"))
    window.wait_for("the alert to close", lambda: window.dialog("alert") is None)
    draw = named(window.frame(), "push button", "Draw the plan view")
    checks.expect(not is_enabled(draw), "after the failed load Draw is disabled")


def check_loaded(window, checks, expected):
    """After Open of a sample the value labels read the figures corvane-batch gives."""
    frame = window.frame()
    wanted = {name: expected["labels"][label] for name, label in VALUE_LABELS.items()}
    wanted["Reference plane height value"] = expected["label21"]
    wanted["Sampling length value"] = str(expected["samplingLength"])
    for name, text in wanted.items():
        read = label_text(frame, name)
        checks.expect(read == text, f"{name} reads {read!r}")
    scroll = named(frame, "scroll bar", "Height of reference plane").queryValue()
    checks.expect(
        scroll.currentValue == expected["planePosition"],
        f"the reference plane scroll bar stands at {scroll.currentValue}",
    )


def check_calculations(window, checks, expected):
    """Calculate Rn, Calculate Ra and the Ra Draw: the lists hold corvane-batch's lines and the
    pictures say what they now show."""
    window.act(named(window.frame(), "push button", "Calculate Rn"))
    n = len(expected["list3"])
    window.wait_for(
        "the Rn lines", lambda: len(list_lines(window.frame(), "Rn of each profile")) == n
    )
    frame = window.frame()
    wanted = {
        "Rn of each profile": expected["list3"],
        "Rn3d results": [expected["rnLine"]],
        "Rn2D results": [expected["rn2dLine"]],
    }
    for name, lines in wanted.items():
        checks.expect(list_lines(frame, name) == lines, f"{name!r} holds {len(lines)} line(s)")
    plan = named(frame, "image", "Plan view of the points")
    checks.expect(
        f"Plan view of {expected['points']} points" in plan.description,
        f"the plan view is described: {plan.description!r}",
    )
    profile = named(frame, "image", "Rn of each profile, plotted")
    checks.expect(
        f"Rn of {n} profiles" in profile.description,
        f"the profile plot is described: {profile.description!r}",
    )

    window.act(named(frame, "push button", "Calculate Ra"))
    lines = window.wait_for("the Ra line", lambda: list_lines(window.frame(), "Ra results"))
    checks.expect(lines == [expected["raLine"]], f"'Ra results' holds {lines!r}")

    before = plan.description
    window.act(named(frame, "push button", "Draw the points above the reference plane"))
    window.wait_for("the plan view's new description", lambda: plan.description != before)
    checks.expect(
        "above the reference plane" in plan.description,
        f"the Ra Draw is described: {plan.description!r}",
    )


def check_tab_order(window, checks):
    """Tab from Draw round the window once: every press reports the focus on another control,
    and it reaches the Ra panel's controls beyond the window's edge. Returns the presses."""
    draw = named(window.frame(), "push button", "Draw the plan view")
    window.activate()
    draw.queryComponent().grabFocus()
    window.wait_for("the focus on Draw", lambda: draw.getState().contains(pyatspi.STATE_FOCUSED))
    seen = []
    for _ in range(40):
        count = len(focus_gains(window))
        window.press_tab()
        window.wait_for("a focus event after Tab", lambda: len(focus_gains(window)) > count, 5)
        event = focus_gains(window)[-1]
        seen.append((event["role"], event["name"], event["parent"]))
        if event["name"] == "Draw the plan view":
            break
    for role, name, parent in seen:
        print(f"      Tab -> {role} {name!r} in {parent!r}")
    back = seen[-1][1] == "Draw the plan view"
    checks.expect(back, f"Tab comes back round to Draw after {len(seen)} presses")
    checks.expect(len(set(seen)) == len(seen), "each Tab focuses another control")
    in_ra = [name for _, name, parent in seen if parent == "Ra panel"]
    checks.expect(len(in_ra) == 6, f"Tab reaches the Ra panel's 6 controls: {in_ra}")
    return len(seen)


def focus_gains(window):
    return [
        e
        for e in window.events
        if e["type"] == "object:state-changed:focused" and e.get("detail1") == 1
    ]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True, help="the corvane program")
    parser.add_argument("--batch", required=True, help="the corvane-batch program")
    arguments = parser.parse_args()
    program = os.path.abspath(arguments.program)
    sample = os.path.join(os.path.dirname(program), "samples", "rn_demo.txt")

    os.environ["LC_ALL"] = "C.UTF-8"
    # The accessibility bus is the one this test starts, whatever the caller's session names.
    os.environ.pop("AT_SPI_BUS_ADDRESS", None)
    batch = subprocess.run(
        [arguments.batch, "--json", sample],
        check=True,
        capture_output=True,
        text=True,
        timeout=WAIT_SECONDS,
    )
    expected = json.loads(batch.stdout)

    signal.signal(signal.SIGALRM, on_alarm)
    signal.alarm(RUN_LIMIT_SECONDS)
    processes = Processes()
    checks = Checks()
    try:
        with tempfile.TemporaryDirectory() as scratch:
            junk = os.path.join(scratch, "junk.txt")
            with open(junk, "w") as file:
                file.write("this is no point file\n")
            start_display(processes)
            window = Window(start_accessibility_bus(processes))
            environment = dict(
                os.environ,
                QT_QPA_PLATFORM="xcb",
                QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                XDG_RUNTIME_DIR=scratch,
            )
            window.process = processes.start([program], env=environment)
            frame = window.wait_for_main_window()
            window.pump(0.5)
            print("before a file:", census(frame))
            for name in ("Plan view of the points", "Rn of each profile, plotted"):
                picture = find(frame, lambda a: a.name == name)
                role = picture.getRoleName()
                checks.expect(role == "image", f"{name!r} is an image (role {role!r})")
                checks.expect(
                    bool(picture.description), f"{name!r} is described: {picture.description!r}"
                )

            check_load_error(window, checks, junk)
            open_file(window, sample)
            window.wait_for(
                "the loaded file",
                lambda: is_enabled(named(window.frame(), "push button", "Draw the plan view")),
            )
            window.pump(0.3)
            check_loaded(window, checks, expected)
            check_calculations(window, checks, expected)
            presses = check_tab_order(window, checks)
            after = census(window.frame())
            print("after Open and Calculate:", after)
            print(f"Tab presses round the window: {presses}")
            controls = after["controls"]
            checks.expect(after["named"] == controls, "every control has a name")
            checks.expect(after["distinct names"] == controls, "no two controls share a name")
    except Abort as error:
        checks.expect(False, str(error))
    finally:
        signal.alarm(0)
        processes.stop_all()
    if checks.failures:
        print(f"{len(checks.failures)} check(s) failed", flush=True)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
