#!/usr/bin/python3
"""Reads and drives Corvane Analysis the way a screen reader does.

Starts its own X display (Xvfb), the desktop accessibility bus and the real corvane-analysis
with a sample on its command line (its settings in a folder of the test's own, so that a user's
recent files are never touched), then uses AT-SPI and the keyboard alone: the window, tables,
settings, tabs and menus must carry their names, access keys and shortcuts; the Figures table's
cells must read corvane-batch's figures for the same file, and after a new Cut-off typed into its
field, the batch's figures for that cut-off; every chart and both maps must say in words what
they show, the height map also where its cross-hair stands; Tab must reach every control. Run it
inside a session bus of its own:

    dbus-run-session -- /usr/bin/python3 analysis_window_test.py \
        --program build/src/corvane-analysis --batch build/src/corvane-batch \
        --sample samples/rough_surface_100k.txt

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
    limit_run,
    named,
    start_accessibility_bus,
    start_display,
    text_of,
)

# Checks the window is known to fail, each to leave this list once it is mended (the test fails
# while a check listed here holds).
EXPECTED_TO_FAIL = []

RUN_LIMIT_SECONDS = 150
APP_NAME = "Corvane Analysis"
TITLE = "Corvane Analysis"
NEW_CUTOFF = "2.5"
RETURN_KEYSYM = 0xFF0D
RIGHT_KEYSYM = 0xFF53
TAB_TITLES = [
    "Height map",
    "3D view",
    "Profile",
    "Material ratio",
    "Height distribution",
    "Spectrum",
    "Autocorrelation",
]
FILE_MENU = [
    "Open...",
    "Open Recent",
    "Close",
    "Close All",
    "Save Settings...",
    "Load Settings...",
    "Export Report...",
    "Export Figures...",
    "Export X3P...",
    "Quit",
]
SHORTCUTS = {
    "Open...": "Ctrl+O",
    "Close": "Ctrl+W",
    "Quit": "Ctrl+Q",
    "Copy Figures": "Ctrl+C",
    "Zoom In": "Ctrl++",
    "Zoom Out": "Ctrl+-",
}
# The settings whose field carries the label's text as its accessible name.
NAMED_FIELDS = {
    "Cut-off": "text",
    "Form degree": "spin button",
    "S-filter": "text",
    "L-filter": "text",
    "Scan line": "spin button",
}
# The controls Tab must reach whichever view is shown, as (role, name); None: any name (the
# unit's combo box is named by its current item), and those of each view's page.
WINDOW_CONTROLS = [
    ("table", "Surfaces"),
    ("page tab list", None),
    ("table", "Figures"),
    ("text", "Cut-off"),
    ("spin button", "Form degree"),
    ("text", "S-filter"),
    ("text", "L-filter"),
    ("check box", "Robust mean line"),
    ("combo box", None),
]
PAGE_CONTROLS = {
    "Height map": [
        ("push button", "Fit"),
        ("check box", "Clip colours to 1 %"),
        ("filler", "Height map"),
    ],
    "3D view": [("spin button", "Vertical exaggeration")],
    "Profile": [("spin button", "Scan line")],
    "Autocorrelation": [("filler", "Autocorrelation")],
}


def g6(value):
    """A figure as the window writes it: 6 significant digits, '-' for an undefined one."""
    return "-" if value is None else format(value, ".6g")


def g3(value):
    return format(value, ".3g")


def batch_figures(batch, sample, *options):
    run = subprocess.run(
        [batch, "--standard", "--json", *options, sample],
        check=True,
        capture_output=True,
        text=True,
        timeout=WAIT_SECONDS,
    )
    return json.loads(run.stdout.splitlines()[0])


def is_analysis_frame(top):
    return top.name == TITLE or top.name.startswith(TITLE + " - ")


def table_rows(frame, name):
    """The table's cells as a screen reader reads them through AT-SPI Table, by column header."""
    table = named(frame, "table", name).queryTable()
    headers = [table.getColumnHeader(c).name for c in range(table.nColumns)]
    return [
        {headers[c]: table.getAccessibleAt(r, c).name for c in range(table.nColumns)}
        for r in range(table.nRows)
    ]


def figure_values(frame):
    """The Figures table's Value column by group and figure: ('Areal', 'Sa') -> '0.171036'."""
    return {(row["Group"], row["Figure"]): row["Value"] for row in table_rows(frame, "Figures")}


def expected_values(result):
    standard = result["standard"]
    values = {("Areal", name): g6(v) for name, v in standard["areal"].items()}
    for name, value in standard["mean"].items():
        if name != "profiles":  # the count of evaluated profiles, not a figure
            values[("Profile (mean)", name)] = g6(value)
    return values


def check_figures(checks, frame, result, what):
    shown = figure_values(frame)
    wanted = expected_values(result)
    wrong = [
        f"{key[1]} reads {shown.get(key)!r}, the batch {value!r}"
        for key, value in wanted.items()
        if shown.get(key) != value
    ]
    count = len(wanted)
    checks.expect(not wrong, what, "; ".join([f"{count - len(wrong)} of {count} agree"] + wrong))


def relation_targets(accessible, relation):
    return [
        r.getTarget(i)
        for r in accessible.getRelationSet()
        if r.getRelationType() == relation
        for i in range(r.getNTargets())
    ]


def check_names(checks, window, result):
    frame = window.frame()
    name = os.path.basename(result["file"])
    checks.expect(
        frame.name == f"{TITLE} - {name}", "the window's title names the file", frame.name
    )
    for table in ("Surfaces", "Figures"):
        found = find(frame, lambda a, t=table: a.getRoleName() == "table" and a.name == t)
        checks.expect(
            found is not None and "Table" in interfaces(found), f"a table named {table!r}"
        )

    for title, role in NAMED_FIELDS.items():
        field = find(frame, lambda a, t=title, r=role: a.getRoleName() == r and a.name == t)
        label = find(frame, lambda a, t=title: a.getRoleName() == "label" and a.name == t)
        labelled = label is not None and field in relation_targets(
            label, pyatspi.RELATION_LABEL_FOR
        )
        checks.expect(
            field is not None and labelled, f"the {role} {title!r} is named and labelled so"
        )
    robust = find(frame, lambda a: a.getRoleName() == "check box" and a.name == "Robust mean line")
    checks.expect(robust is not None, "the check box 'Robust mean line'")
    # Qt's combo box takes its current item for its name: the label says what it is.
    label = find(frame, lambda a: a.getRoleName() == "label" and a.name == "Unit")
    targets = relation_targets(label, pyatspi.RELATION_LABEL_FOR) if label else []
    checks.expect(
        [t.getRoleName() for t in targets] == ["combo box"],
        "the label 'Unit' labels the unit's combo box",
        f"reads {targets[0].name!r}" if targets else "no combo box",
    )

    tabs = find(frame, lambda a: a.getRoleName() == "page tab list")
    titles = [tabs.getChildAtIndex(i).name for i in range(tabs.childCount)]
    titles = [t for t in titles if t not in ("Scroll Left", "Scroll Right")]
    checks.expect(titles == TAB_TITLES, "the tabs carry their titles", str(titles))


def check_menus(checks, window):
    frame = window.frame()
    bar = find(frame, lambda a: a.getRoleName() == "menu bar")
    menus = [bar.getChildAtIndex(i) for i in range(bar.childCount)]

    def key_of(item):
        return item.queryAction().getKeyBinding(0)

    items = {}
    for menu in menus:
        popup = menu.getChildAtIndex(0)
        entries = [popup.getChildAtIndex(i) for i in range(popup.childCount)]
        entries = [e for e in entries if e.getRoleName() == "menu item"]
        items[menu.name] = {e.name: key_of(e) for e in entries}
    file_items = list(items.get("File", {}))
    checks.expect(file_items == FILE_MENU, "the File menu's items", str(file_items))
    for menu, keys in items.items():
        # An item with a shortcut shows that on the bus, the others their access key.
        access = [k.lower() for n, k in keys.items() if n not in SHORTCUTS]
        checks.expect(
            all(k.startswith("alt+") for k in access) and len(set(access)) == len(access),
            f"each item of {menu} has a key of its own",
            str(keys),
        )
    found = {n: k for keys in items.values() for n, k in keys.items() if n in SHORTCUTS}
    checks.expect(found == SHORTCUTS, "the standard shortcuts", str(found))


def check_menu_keys(checks, window):
    """Alt and a menu's key open the menu (its first item takes the focus); Escape closes it."""
    bar = find(window.frame(), lambda a: a.getRoleName() == "menu bar")
    for menu in [bar.getChildAtIndex(i) for i in range(bar.childCount)]:
        key = menu.queryAction().getKeyBinding(0).lower()
        if not checks.expect(key.startswith("alt+"), f"the {menu.name} menu has an access key"):
            continue
        popup = menu.getChildAtIndex(0)
        items = {popup.getChildAtIndex(i).name for i in range(popup.childCount)}
        count = len(focus_gains(window))
        subprocess.run(["xdotool", "key", key], check=True, timeout=WAIT_SECONDS)
        opened = window.wait_until(
            lambda: any(
                e["role"] == "menu item" and e["name"] in items
                for e in focus_gains(window)[count:]
            ),
            3,
        )
        focused = [(e["role"], e["name"]) for e in focus_gains(window)[count:]]
        checks.expect(
            bool(opened), f"{key.title()} opens the {menu.name} menu", f"focus: {focused}"
        )
        for _ in range(2):  # out of the menu, then out of the menu bar
            subprocess.run(["xdotool", "key", "Escape"], check=True, timeout=WAIT_SECONDS)
            window.pump(0.3)


def controls(root):
    """The objects a user operates, without the cells of tables and the menus."""
    yield root
    if root.getRoleName() in ("table", "menu bar", "list"):
        return
    for i in range(root.childCount):
        child = root.getChildAtIndex(i)
        if child is not None:
            yield from controls(child)


def access_keys(frame):
    """Each Alt key of the menu bar and of the controls showing, with what it belongs to."""
    keys = {}
    bar = find(frame, lambda a: a.getRoleName() == "menu bar")
    owners = [bar.getChildAtIndex(i) for i in range(bar.childCount)]
    owners += [
        a
        for a in controls(frame)
        if a.getRoleName() not in ("menu bar", "menu item")
        and a.getState().contains(pyatspi.STATE_SHOWING)
        and "Action" in interfaces(a)
    ]
    for owner in owners:
        actions = owner.queryAction()
        key = actions.getKeyBinding(0).lower() if actions.nActions else ""
        if key.startswith("alt+"):
            keys.setdefault(key.title(), []).append(f"{owner.getRoleName()} {owner.name!r}")
    return keys


def show_tab(window, title):
    tabs = find(window.frame(), lambda a: a.getRoleName() == "page tab list")
    window.act(named(tabs, "page tab", title))
    page = window.wait_for(
        f"the {title} tab",
        lambda: find(
            window.frame(),
            lambda a: a.name == title
            and a.getRoleName() == "filler"
            and a.getState().contains(pyatspi.STATE_SHOWING),
        ),
    )
    window.pump(0.3)
    return page


def height_map_chart(frame):
    """The map itself, which takes the focus, not the tab's page of the same name."""
    return find(
        frame,
        lambda a: a.getRoleName() == "filler"
        and a.name == "Height map"
        and a.getState().contains(pyatspi.STATE_FOCUSABLE),
    )


def give_focus(window, accessible, what):
    accessible.queryComponent().grabFocus()
    window.wait_for(
        f"the focus on {what}", lambda: accessible.getState().contains(pyatspi.STATE_FOCUSED), 5
    )


def check_descriptions(checks, window, result):
    """Every chart and map says what it shows, with the batch's figures where it names them."""
    areal = result["standard"]["areal"]
    grid = result["standard"]["grid"]
    frame = window.frame()
    unit = "mm"

    height_map = height_map_chart(frame)
    wanted = (
        f"Height map of S, {grid['nx'] * grid['dx']:.6g} by {grid['ny'] * grid['dy']:.6g} {unit}: "
        f"{grid['nx']} x {grid['ny']} pixels, colours from {-areal['Sv']:.6g} to "
        f"{areal['Sp']:.6g} {unit}."
    )
    checks.expect(
        height_map.description == wanted,
        "the height map is described",
        repr(height_map.description),
    )

    ratio = named(frame, "filler", "Material ratio")
    wanted = (
        f"Material ratio curve: Sk {g3(areal['Sk'])} {unit}, Spk {g3(areal['Spk'])} {unit}, "
        f"Svk {g3(areal['Svk'])} {unit}, Smr1 {g3(areal['Smr1'])} %, Smr2 {g3(areal['Smr2'])} %"
    )
    checks.expect(
        ratio.description == wanted,
        "the material ratio curve is described",
        repr(ratio.description),
    )

    distribution = named(frame, "filler", "Height distribution").description
    checks.expect(
        distribution.startswith("Height distribution of S:")
        and f"Sq {g3(areal['Sq'])} {unit}" in distribution,
        "the height distribution is described",
        repr(distribution),
    )
    spectrum = named(frame, "filler", "Spectrum").description
    profiles = result["standard"]["mean"]["profiles"]
    checks.expect(
        spectrum.startswith(f"Spectrum: power spectral density of {profiles} primary profiles"),
        "the spectrum is described",
        repr(spectrum),
    )
    autocorrelation = named(frame, "filler", "Autocorrelation map").description
    checks.expect(
        autocorrelation.startswith("Autocorrelation of S")
        and f"Sal {g6(areal['Sal'])} {unit}" in autocorrelation,
        "the autocorrelation map is described",
        repr(autocorrelation),
    )
    view3d = named(frame, "filler", "3D view").description
    checks.expect(
        view3d.startswith(f"3D view of S: {grid['nx']} x {grid['ny']} points"),
        "the 3D view is described",
        repr(view3d),
    )
    page = named(frame, "filler", "Profile")
    chart = find(page, lambda a: a is not page and a.getRoleName() == "filler" and a.description)
    checks.expect(
        chart is not None and chart.description.startswith("Profile "),
        "the profile chart is described",
        repr(chart.description if chart else None),
    )


def check_crosshair(checks, window):
    """An arrow key on the focused height map puts its cross-hair in the map's description."""
    show_tab(window, "Height map")
    height_map = height_map_chart(window.frame())
    give_focus(window, height_map, "the height map")
    pyatspi.Registry.generateKeyboardEvent(RIGHT_KEYSYM, None, pyatspi.KEY_SYM)
    said = window.wait_until(lambda: "Cross-hair: x " in height_map.description, 5)
    description = height_map.description
    checks.expect(
        bool(said) and ", S " in description.split("Cross-hair:")[-1],
        "the height map's description follows its cross-hair",
        repr(description),
    )


def check_cutoff(checks, window, sample, batch):
    """A new Cut-off typed into its field and committed with Return re-analyses the surface."""
    expected = batch_figures(batch, sample, "--cutoff", NEW_CUTOFF)
    frame = window.frame()
    field = named(frame, "text", "Cut-off")
    give_focus(window, field, "Cut-off")
    field.queryEditableText().setTextContents(NEW_CUTOFF)
    window.wait_for("the typed cut-off", lambda: text_of(field) == NEW_CUTOFF, 5)
    pyatspi.Registry.generateKeyboardEvent(RETURN_KEYSYM, None, pyatspi.KEY_SYM)
    ra = ("Profile (mean)", "Ra")
    wanted = g6(expected["standard"]["mean"]["Ra"])
    window.wait_until(lambda: figure_values(window.frame()).get(ra) == wanted)
    check_figures(
        checks,
        window.frame(),
        expected,
        f"after Cut-off {NEW_CUTOFF} the Figures read the batch's --cutoff {NEW_CUTOFF}",
    )
    row = table_rows(window.frame(), "Surfaces")[0]
    mean_ra = next((v for k, v in row.items() if k.startswith("mean Ra")), None)
    checks.expect(mean_ra == wanted, "the Surfaces row's mean Ra follows", repr(mean_ra))


def focused_stop(event):
    """The control a focus event is about: a table for any of its cells."""
    if event["role"] in ("table cell", "table row header", "table column header"):
        return ("table", event["parent"])
    if event["role"] in ("page tab list", "page tab"):
        return ("page tab list", None)
    if event["role"] == "combo box":
        return ("combo box", None)
    return (event["role"], event["name"])


def tab_walk(window, page):
    """Tab from the Surfaces table round the window with `page` shown. Where Tab keeps the focus
    in a table, or comes to a control seen before, the walk goes on from the first control not
    yet reached (given the focus through AT-SPI). Returns the controls wanted, those Tab reached
    and the tables it stayed in."""
    show_tab(window, page)
    wanted = WINDOW_CONTROLS + PAGE_CONTROLS.get(page, [])
    reached, trapped, log, starts = [], set(), [], []
    start = ("table", "Surfaces")
    while start is not None:
        starts.append(start)
        role, name = start
        frame = window.frame()
        control = find(
            frame,
            lambda a: a.getRoleName() == role
            and (name is None or a.name == name)
            and a.getState().contains(pyatspi.STATE_SHOWING),
        )
        log.append(f"from {role} {name or ''}:")
        if control is not None:
            count = len(focus_gains(window))
            control.queryComponent().grabFocus()
            window.wait_until(lambda: len(focus_gains(window)) > count, 3)
            window.pump(0.3)  # a table reports its cell's focus after its own
            previous = start
            seen = [start]
            for _ in range(len(wanted) + 6):
                count = len(focus_gains(window))
                window.press_tab()
                if not window.wait_until(lambda: len(focus_gains(window)) > count, 5):
                    log.append("no focus event")
                    break
                stop = focused_stop(focus_gains(window)[-1])
                if stop == previous and stop[0] == "table":
                    trapped.add(stop[1])
                    log.append(f"stays in {stop[1]}")
                    break
                source = focus_gains(window)[-1]["source"]
                where = ""
                if not stop[1] and stop[0] not in ("page tab list", "combo box"):
                    where = f" (no name, in a {source.parent.getRoleName()})"
                log.append(f"{stop[0]} {stop[1] or ''}{where}")
                if stop not in reached:
                    reached.append(stop)
                if stop in seen:
                    break
                seen.append(stop)
                previous = stop
        start = next((c for c in wanted if c not in reached and c not in starts), None)
    print(f"      Tab with {page!r} shown: " + " -> ".join(log))
    return wanted, reached, trapped


def check_tab(checks, window):
    """Tab round the window with each view that has controls shown, and the Alt keys there."""
    every_wanted, every_reached, every_trapped, clashes = [], [], set(), {}
    for page in PAGE_CONTROLS:
        wanted, reached, trapped = tab_walk(window, page)
        every_trapped |= trapped
        every_wanted += [c for c in wanted if c not in every_wanted]
        every_reached += [c for c in reached if c not in every_reached]
        for key, owners in access_keys(window.frame()).items():
            if len(owners) > 1:
                clashes.setdefault(key, set()).update(owners)
    for table in ("Surfaces", "Figures"):
        checks.expect(table not in every_trapped, f"Tab leaves the {table} table")
    missing = [c for c in every_wanted if c not in every_reached]
    checks.expect(not missing, "Tab reaches every control", f"not reached: {missing}")
    unnamed = [
        c for c in every_reached if not c[1] and c[0] not in ("page tab list", "combo box")
    ]
    checks.expect(not unnamed, "Tab stops only at named objects", f"without a name: {unnamed}")
    stray = [c for c in every_reached if c[1] and c not in every_wanted]
    checks.expect(not stray, "Tab stops at no other control", str(stray))
    print("      Tab reaches:", [f"{role} {name or ''}".strip() for role, name in every_reached])
    checks.expect(
        not clashes,
        "each access key belongs to one control",
        "; ".join(f"{key}: {', '.join(sorted(owners))}" for key, owners in clashes.items()),
    )


def check_close(checks, window):
    """Ctrl+W closes the surface: the table empties and the title drops the file's name."""
    subprocess.run(["xdotool", "key", "ctrl+w"], check=True, timeout=WAIT_SECONDS)
    surfaces = named(window.frame(), "table", "Surfaces").queryTable()
    closed = window.wait_until(lambda: surfaces.nRows == 0, 5)
    checks.expect(bool(closed), "Ctrl+W closes the surface")
    title = window.wait_until(lambda: window.frame().name == TITLE, 5)
    checks.expect(bool(title), f"with no file the title reads {TITLE!r}", repr(window.frame().name))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True, help="the corvane-analysis program")
    parser.add_argument("--batch", required=True, help="the corvane-batch program")
    parser.add_argument("--sample", required=True, help="the point file to open")
    arguments = parser.parse_args()
    program = os.path.abspath(arguments.program)
    sample = os.path.abspath(arguments.sample)

    os.environ["LC_ALL"] = "C.UTF-8"
    # The accessibility bus is the one this test starts, whatever the caller's session names.
    os.environ.pop("AT_SPI_BUS_ADDRESS", None)
    expected = batch_figures(arguments.batch, sample)

    limit_run(RUN_LIMIT_SECONDS)
    processes = Processes()
    checks = Checks(EXPECTED_TO_FAIL)
    try:
        with tempfile.TemporaryDirectory() as scratch:
            start_display(processes)
            window = Window(start_accessibility_bus(processes), APP_NAME, is_analysis_frame)
            environment = dict(
                os.environ,
                QT_QPA_PLATFORM="xcb",
                QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                XDG_RUNTIME_DIR=scratch,
                XDG_CONFIG_HOME=scratch,
            )
            window.process = processes.start([program, sample], env=environment)
            window.wait_for_main_window()
            window.wait_for(
                "the Figures table to fill",
                lambda: table_rows(window.frame(), "Figures")
                and table_rows(window.frame(), "Surfaces")[0]["State"] == "ready",
            )
            window.pump(0.3)
            check_names(checks, window, expected)
            check_menus(checks, window)
            row = table_rows(window.frame(), "Surfaces")[0]
            checks.expect(
                row["Name"] == os.path.basename(sample)
                and row["Points"] == str(expected["points"])
                and row.get("Sa (mm)") == g6(expected["standard"]["areal"]["Sa"]),
                "the Surfaces row reads the file, its points and Sa",
                str(row),
            )
            check_figures(checks, window.frame(), expected, "the Figures read the batch's figures")
            check_descriptions(checks, window, expected)
            window.activate()  # the keyboard's checks from here on
            check_tab(checks, window)
            check_crosshair(checks, window)
            check_menu_keys(checks, window)
            check_cutoff(checks, window, sample, arguments.batch)
            check_close(checks, window)
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
