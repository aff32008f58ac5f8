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
import subprocess
import sys
import tempfile

import pyatspi

from atspi_support import (
    WAIT_SECONDS,
    Abort,
    Checks,
    Processes,
    Window,
    find,
    focus_gains,
    interfaces,
    is_enabled,
    is_focusable,
    limit_run,
    named,
    start_accessibility_bus,
    start_display,
    text_of,
    walk,
)

RUN_LIMIT_SECONDS = 150
LOAD_ERROR = "An error occured loading file"
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


def is_main_frame(top):
    """The main window, told from the file dialog's frame by its push buttons."""
    return top.name.startswith("Corvane") and bool(
        find(top, lambda a: a.getRoleName() == "push button")
    )


def list_lines(root, name):
    box = named(root, "list", name)
    return [box.getChildAtIndex(i).name for i in range(box.childCount)]


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

    limit_run(RUN_LIMIT_SECONDS)
    processes = Processes()
    checks = Checks()
    try:
        with tempfile.TemporaryDirectory() as scratch:
            junk = os.path.join(scratch, "junk.txt")
            with open(junk, "w") as file:
                file.write("this is no point file\n")
            start_display(processes)
            window = Window(start_accessibility_bus(processes), "Corvane", is_main_frame)
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
        limit_run(0)
        processes.stop_all()
    if checks.failures:
        print(f"{len(checks.failures)} check(s) failed", flush=True)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
