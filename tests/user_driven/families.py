#!/usr/bin/python3
"""Drives the real program from outside, one family of windows per run:

    families.py FAMILY --screen 1024x768 --build BUILD_DIR --private DIR

The program runs under its own X server, session bus and settings folder (all inside DIR), on
the project's simulated chronograph; the windows, buttons and fields are found on the
accessibility bus by their titles, captions and accessible names, and touched only with real
mouse clicks, key presses and the window manager's close message. Every window opened is
checked to lie inside the screen.

A new family is a function below and a line in FAMILIES (and its name in tests/CMakeLists.txt)."""

import argparse
import importlib.util
import os
import shutil
import signal
import sys
import time
import traceback
from dataclasses import dataclass
from typing import Callable

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from session import Failure, Session, check, wait_for  # noqa: E402
from user import MAIN, QUESTION, User  # noqa: E402


# The families --------------------------------------------------------------------------------------

def startup(u, device):
    """Tip of the Day closed by Escape and by the close message; the exit question answered No by
    Escape, the close message and its No button, with capture going on; then Yes, twice."""
    u.start(tip_close="escape")
    device.shot(801.5)
    shots = u.recorded(801.5, 0)
    for ask, answer in (("message", "escape"), ("menu", "message"), ("menu", "No")):
        u.exit_question(ask)
        u.close(QUESTION, answer)
        check(u.s.program_running(), "the program ended although the exit was answered No")
        u.main_usable()
    device.shot(802.5)
    u.recorded(802.5, shots)
    u.exit("message")
    u.start(tip_close="message")
    u.exit("menu")


def options(u, device):
    """Chrono Options and Data Options, opened from their captions and the menu, closed by Escape,
    the close message and their own buttons; Enter in their text boxes presses nothing."""
    u.start()
    u.click_main("label", "Chronograph:")
    u.opened("Chrono Options")
    u.main_disabled()
    check(u.enter_in_each_text_box("Chrono Options"), "Chrono Options shows no text box")
    u.close("Chrono Options", "escape")
    u.main_usable()
    # Escape, the close message and Save each leave the chronograph connected: the next shot counts.
    device.shot(801.5)
    shots = u.recorded_alone(801.5, 0)
    u.d.choose_menu(MAIN, "Menu", "Chrono Settings")
    u.opened("Chrono Options")
    u.main_disabled()
    u.close("Chrono Options", "message")
    u.main_usable()
    device.shot(802.5)
    shots = u.recorded_alone(802.5, shots)
    u.click_main("label", "Chronograph:")
    u.opened("Chrono Options")
    u.close("Chrono Options", "Save")
    u.main_usable()
    device.shot(803.5)
    shots = u.recorded_alone(803.5, shots)

    for caption, frame, how in (("Gun:", "Gun Details", "escape"), ("Projectile:", "Projectile Details", "message")):
        u.click_main("label", caption)
        window = u.opened("Data Options")
        u.main_disabled()
        focused = wait_for(lambda: next((b for b in window.find_all("text") if b.focused), None),
                           "a text box of Data Options to have the focus", 5)
        check(focused.name == "Make:" and focused.parent_name() == frame,
              "opened from %r, the focus is in %r of %r" % (caption, focused.name, focused.parent_name()))
        if how == "escape":
            check(len(u.enter_in_each_text_box("Data Options")) >= 5, "Data Options shows too few text boxes")
        u.close("Data Options", how)
        u.main_usable()
    u.d.choose_menu(MAIN, "Menu", "Pellet Settings")
    u.opened("Data Options")
    u.close("Data Options", "Close")
    u.main_usable()
    device.shot(804.5)
    u.recorded(804.5, shots)
    u.exit()


def capture(u, device):
    """The undocked Speed/Power panel, the save file dialog, its "Save Cancelled" message and the
    "Velmora - File Saved" notice, each closed by Escape and by the close message; saving into the
    working folder leaves the shot cache's database locked."""
    u.start()
    device.shot(805.5)
    shots = u.recorded(805.5, 0)
    for how in ("escape", "message"):
        u.click_main("push button", "Power")
        panel = u.opened("Speed/Power")
        u.main_disabled()
        check(panel.find("label", "805.50"), "the undocked panel does not show the last speed")
        u.close("Speed/Power", how)
        u.main_usable()
        check(u.main().find("panel", "Speed"), "the speed and power figures did not come back to the main window")

    # The dialog lists the working folder, where the shot cache's database is open: the program
    # must keep its locks on it (closing a file it only looked into would release them).
    database = {"pellet.store", "pellet.store-shm"}
    check(database <= u.s.locked_by_program(), "the database is not locked before saving")
    chooser = "Save Shot String"
    for cancel, dismiss in (("escape", "message"), ("message", "escape")):
        u.click_main("push button", "Save Capture")
        u.opened(chooser)
        u.close(chooser, cancel)
        box = u.opened(QUESTION)
        check(box.find("label", "Save Cancelled"), "cancelling the file dialog did not say \"Save Cancelled\"")
        u.close(QUESTION, dismiss)
        u.main_usable()
    for name, how in (("first.csv", "escape"), ("second.csv", "message")):
        path = os.path.join(u.s.work, name)
        u.click_main("push button", "Save Capture")
        box = u.opened(chooser).find("text", "File name:")
        u.d.click(box)
        wait_for(lambda: box.focused, "the file name box to take the focus", 5)
        u.d.key("ctrl+a")
        u.d.type_text(path)
        u.d.key("Return")
        u.opened("Velmora - File Saved")
        check(os.path.exists(path), "the notice came but %s was not written" % path)
        u.close("Velmora - File Saved", how)
        u.main_usable()
        check(database <= u.s.locked_by_program(),
              "the program lost its locks on the shot cache's database while its file dialog listed the folder")
    device.shot(806.5)
    u.recorded(806.5, shots)
    u.exit()


def chrony(u, device):
    """Shooting Chrony memory: opening downloads the current string; Enter in its text boxes sends
    nothing; closed by Escape and by the close message, live shots are recorded again."""
    u.start()
    shots = 0
    for live, how in ((812.5, "escape"), (813.5, "message")):
        u.click_main("push button", "Chrony Status")
        u.opened("Chrony Status")
        u.main_disabled()
        # The opening selects the Chrony's current string, whose shots (800, 810) come in live.
        u.recorded(810, shots + 1)
        shots = u.settled()
        names = u.enter_in_each_text_box("Chrony Status")
        check("Strings stored:" in names, "no text box named \"Strings stored:\" in Chrony Status: %s" % names)
        u.close("Chrony Status", how)
        u.main_usable()
        device.shot(live)
        shots = u.recorded_alone(live, shots)
    pull_while_cleared_is_shown(u, device, shots)
    u.exit()


def pull_while_cleared_is_shown(u, device, shots):
    """Clear Chrony, Yes, and the cable is pulled while "All Shots now cleared." is showing: the
    window closes, the program says why and goes on; when the Chrony is back it is told "X.END"
    and live shots are recorded again."""
    u.click_main("push button", "Chrony Status")
    window = u.opened("Chrony Status")
    u.main_disabled()
    u.recorded(810, shots + 1)
    shots = u.settled()
    clear = window.find("push button", "Clear Chrony")
    wait_for(lambda: clear.enabled, "Clear Chrony to be enabled once the Chrony was asked", 5)
    u.d.click(clear)
    question = u.opened(QUESTION)
    u.d.click(question.find("push button", "Yes"))
    wait_for(lambda: box_saying(u, "All Shots now cleared."), "the message \"All Shots now cleared.\"", 10)
    device.sim.command("unplug")
    u.d.wait_gone("Chrony Status")
    loss = wait_for(lambda: box_saying(u, "was closed"), "the message that the window was closed", 10)
    u.d.click(loss.find("push button", "OK"))
    wait_for(lambda: not box_saying(u, "was closed"), "the loss message to close", 10)
    u.d.click(box_saying(u, "All Shots now cleared.").find("push button", "OK"))
    u.d.wait_gone(QUESTION)
    u.main_usable()
    device.sim.command("plug")
    # The Chrony is told "X.END" first; the row says when capture has resumed.
    wait_for(lambda: any(label.name.endswith("capture resumed") for label in u.main().find_all("label")),
             "the row to say that capture resumed", 10)
    device.shot(815.5)
    u.recorded_alone(815.5, shots, timeout=15)


def box_saying(u, words):
    """The program's message box whose text holds these words, if one is shown."""
    for window in u.d.windows():
        if window.name == QUESTION and any(words in label.name for label in window.find_all("label")):
            return window
    return None


def prochrono(u, device):
    """ProChrono remote functions: Enter in its "String" and "Shots" boxes dumps nothing; closed by
    Escape and by the close message, the status poll finds live shots again."""
    u.start()
    # The first status reply after start-up is only the baseline: a shot that comes before it
    # is part of it, and the next one is recorded.
    device.shot(812)
    if not u.is_recorded(812, 0, timeout=3):
        device.shot(811)
        u.recorded(811, 0)
    shots = 1
    for live, how in ((805, "escape"), (799, "message")):
        u.click_main("push button", "ProC Status")
        window = u.opened("ProChrono Remote Functions")
        u.main_disabled()
        wait_for(lambda: window.find("text", "Shots").text() == str(device.stored),
                 "the ProChrono's shot count in \"Shots\"", 5)
        names = u.enter_in_each_text_box("ProChrono Remote Functions")
        check(sorted(names) == ["Shots", "String"], "the text boxes are named %s" % names)
        u.close("ProChrono Remote Functions", how)
        u.main_usable()
        device.shot(live)
        shots = u.recorded_alone(live, shots)
    u.exit()


def ced(u, device):
    """CED M2 string dump: Enter in its listing dumps nothing and no live shot is taken while it is
    open; closed by Escape and by the close message, the poll records live shots again."""
    u.start()
    shots = u.new_shot(0)
    for how in ("escape", "message"):
        u.click_main("push button", "CED Status")
        window = u.opened("CED String Dump")
        u.main_disabled()
        check(window.find("combo box"), "the string list is missing")
        shots = u.settled(0.3)
        u.enter_in_each_text_box("CED String Dump")
        u.nothing_recorded(shots)
        u.close("CED String Dump", how)
        u.main_usable()
        shots = u.new_shot(shots)
    u.exit()


def companions(u, device):
    """The chart and the history: windows beside the main window, which stays usable and keeps
    recording. Each opened from the menu and closed by Escape and by the close message; the chart
    also from the undocked panel, over the main window that panel disables; a cleared string shows
    up in the history."""
    chart, history = "Velmora - Chart", "Velmora - History"
    u.start()
    device.shot(807.5)
    shots = u.recorded(807.5, 0)
    for how in ("escape", "message"):
        u.d.choose_menu(MAIN, "Menu", "Chart")
        window = u.opened(chart)
        check(u.main().enabled, "the main window is disabled while the chart is open")
        device.shot(808.5 + len(how))
        shots = u.recorded(808.5 + len(how), shots)
        check(window.find("push button", "Copy Image"), "the chart has no \"Copy Image\" button")
        u.close(chart, how)
        u.main_usable()

    u.click_main("push button", "Power")
    panel = u.opened("Speed/Power")
    u.main_disabled()
    u.d.click(panel.find("push button", "Chart"))
    window = u.opened(chart)
    check(window.enabled, "the chart opened from the panel cannot be used")
    u.close(chart, "escape")
    u.close("Speed/Power", "message")
    u.main_usable()

    u.click_main("push button", "Clear Capture")
    u.opened(QUESTION)
    u.close(QUESTION, "Yes")
    u.main_usable()
    for how in ("escape", "message"):
        u.d.choose_menu(MAIN, "Menu", "History")
        window = u.opened(history)
        table = window.find("table", "Archived strings")
        wait_for(lambda: table.find_all("table cell", "%d" % shots), "the cleared string in the history", 5)
        u.close(history, how)
        u.main_usable()
    u.exit()


# A Garmin Xero C1 export as its phone app writes it in a comma locale: quoted decimal commas.
XERO_EXPORT = """Marlin,.357, 15,3grs W296, 158,0 gr
#,GESCHWINDIGKEIT (MPS),\u0394 DURCHSCHN. (MPS),KE (J),LEISTUNGSFAKTOR,ZEIT,SAUBERER LAUF,KALTER LAUF,NOTIZEN
1,"488,3","-1,2","1220,4","253,1",10:09:12,,,
2,"490,1","0,6","1229,4","254,0",10:10:17,,,
4,"487,6","-1,9","1216,9","252,7",10:11:22,,,
-,,,,,,
DURCHSCHNITTLICHE GESCHWINDIGKEIT,"488,6"
STANDARDABWEICHUNG,"1,0"
STREUUNG,"2,5"
DURCHSCHNITTLICHER LEISTUNGSFAKTOR,"253,2"
PROJEKTILGEWICHT (GRAINS),158.0
SITZUNGSNOTIZ,
-,,,,,,
8. Februar 2025 um 10:08
Alle Sch\u00fcsse wurden in die Berechnung einbezogen
"""


def import_through_dialog(u, window, path):
    """Clicks "Import..." in the History window, types the file's path into the file dialog and
    returns the message that tells what was read."""
    u.d.click(window.find("push button", "Import..."))
    box = u.opened("Import Strings").find("text", "File name:")
    u.d.click(box)
    wait_for(lambda: box.focused, "the file name box to take the focus", 5)
    u.d.key("ctrl+a")
    u.d.type_text(path)
    u.d.key("Return")
    return u.opened(QUESTION, 30)


def labels_of(window):
    return [c.name or "" for c in window.find_all("label", None)]


def imports(u, device):
    """An export of another chronograph imported through the History window's "Import..." and its
    file dialog: the program says what it read, the string is listed with its source, the same
    file a second time adds nothing, and the string opens in the chart with its statistics."""
    history, chart = "Velmora - History", "Velmora - Chart"
    shutil.rmtree(os.path.join(u.s.private, ".local", "share", "Velmora"), ignore_errors=True)
    path = os.path.join(u.s.work, "Xero Marlin.csv")
    with open(path, "w", encoding="utf-8") as f:
        f.write(XERO_EXPORT)
    with open(path, "rb") as f:
        original = f.read()
    u.start()
    u.d.choose_menu(MAIN, "Menu", "History")
    window = u.opened(history)
    for attempt in ("first", "again"):
        told = import_through_dialog(u, window, path)
        if attempt == "first":
            check(told.find("label", '"Xero Marlin.csv": 3 shots, 487.6 to 490.1 m/s, from Marlin,.357, 15,3grs W296, '
                            '158,0 gr, 8 February 2025.'), "the import did not say what it read")
        else:
            check(told.find_all("label", None) and any("is already in the history" in (c.name or "")
                                                       for c in told.find_all("label", None)),
                  "importing the same file again did not say it was already there")
        u.close(QUESTION, "OK")
        table = window.find("table", "Archived strings")
        wait_for(lambda: table.find_all("table cell", "Garmin Xero C1 (ShotView CSV), Xero Marlin.csv"),
                 "the imported string in the history with its source", 5)
        check(len(table.find_all("table cell", "Garmin Xero C1 (ShotView CSV), Xero Marlin.csv")) == 1,
              "the history lists the imported file more than once")
    with open(path, "rb") as f:
        check(f.read() == original, "the import changed the original file")
    # The new entry is selected: its statistics, then its chart.
    wait_for(lambda: any("at 90 %" in (c.name or "") for c in window.find_all("label", None)),
             "the statistics of the imported string", 5)
    u.d.click(window.find("push button", "Show in Chart"))
    shown = u.opened(chart)
    wait_for(lambda: any("Average 488.7" in (c.name or "") or "Average 1603" in (c.name or "")
                         for c in shown.find_all("label", None)),
             "the chart of the imported string with its average", 5)
    u.close(chart, "escape")
    u.close(history, "message")
    u.main_usable()
    u.exit()


# A load development as a spreadsheet keeps it: a charge a row, its shots, then the row's own
# figures (never taken as shots). 42.0 and 42.3 gr differ by 2 fps over 5 shots: a flat spot.
LOAD_TABLE = ("Charge (gr);Shot 1 (fps);Shot 2 (fps);Shot 3 (fps);Shot 4 (fps);Shot 5 (fps);Average;"
              "Extreme Spread\n") + "".join(
    "%s;%s;%.1f;%d\n" % (charge, ";".join("%d" % (average + d) for d in (-5, 3, -1, 6, -3)), average, 11)
    for charge, average in (("41.0", 2701), ("41.5", 2728), ("42.0", 2751), ("42.3", 2753), ("42.6", 2779)))
CHARGES = ["41.0 gr", "41.5 gr", "42.0 gr", "42.3 gr", "42.6 gr"]


# A ShotView workbook of 14 sessions, one a sheet (tests/import_files/real: MIT, see its README).
WORKBOOK = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "import_files", "real",
                        "xero-workbook", "Shotview_i.xlsx")
WORKBOOK_SOURCE = "Garmin Xero C1 (ShotView workbook), Shotview_i.xlsx"


def loads(u, device):
    """A workbook of several sessions and a load-development table imported through the History
    window: each session and each row an entry (the rows labelled by their charge), the new ones
    selected after each import, and the table's shown in the chart as a ladder by charge with the
    slope of the line through the averages and the flat spot in words."""
    history, chart = "Velmora - History", "Velmora - Chart"
    shutil.rmtree(os.path.join(u.s.private, ".local", "share", "Velmora"), ignore_errors=True)
    table_path = os.path.join(u.s.work, "loads.csv")
    with open(table_path, "w", encoding="utf-8") as f:
        f.write(LOAD_TABLE)
    workbook_path = os.path.join(u.s.work, "Shotview_i.xlsx")
    shutil.copyfile(WORKBOOK, workbook_path)
    u.start()
    u.d.choose_menu(MAIN, "Menu", "History")
    window = u.opened(history)
    table = window.find("table", "Archived strings")

    told = import_through_dialog(u, window, workbook_path)
    text = " ".join(labels_of(told))
    check("14 strings imported." in text, "the import did not take each sheet as a string: %r" % text)
    check('"Shotview_i.xlsx" (108 eldm): 77 shots, 2765.7 to 2802.6 fps, from 108 eldm, 6 April 2024.' in text,
          "the import did not say what a sheet held: %r" % text)
    u.close(QUESTION, "OK")
    wait_for(lambda: len(table.find_all("table cell", WORKBOOK_SOURCE, showing=False)) == 14,
             "the workbook's 14 sessions in the history with their source", 10)
    check(table.find_all("table cell", "105 hybrid 31.0gt"), "a session's title is not in the history")

    told = import_through_dialog(u, window, table_path)
    text = " ".join(labels_of(told))
    check("5 strings imported." in text, "the import did not count the table's rows as strings: %r" % text)
    check('"loads.csv" (41.0 gr): 5 shots, 2696.0 to 2707.0 fps' in text, "the import did not say what a row held: %r"
          % text)
    u.close(QUESTION, "OK")
    for charge in CHARGES:
        # Cells scrolled out of sight count: the Label column may lie right of the view.
        wait_for(lambda: table.find_all("table cell", charge, showing=False),
                 "the entry labelled %r in the history" % charge, 5)
    check(len(table.find_all("table cell", "5", showing=False)) >= 5,
          "the table's rows are not entries of 5 shots each")
    check(len(table.find_all("table cell", WORKBOOK_SOURCE, showing=False)) == 14,
          "the workbook's sessions are no longer listed")

    # The new entries are selected: shown together, they stand by charge.
    u.d.click(window.find("push button", "Show in Chart"))
    shown = u.opened(chart)
    ladder = shown.find(None, "Ladder of the compared strings")
    wait_for(lambda: ladder.description == "By charge: " + ", ".join(CHARGES),
             "the ladder by charge (it says %r)" % ladder.description, 5)
    words = wait_for(lambda: next((n for n in labels_of(shown) if "per grain" in n), None),
                     "the slope of the line through the averages", 5)
    check("Line through the averages (least squares, each step counted once): about " in words,
          "the chart does not give the line's slope in words: %r" % words)
    check("Flat spot from 42.0 gr to 42.3 gr" in words, "the chart does not name the flat spot: %r" % words)
    u.close(chart, "escape")
    u.close(history, "message")
    u.main_usable()
    u.exit()


# Devices ---------------------------------------------------------------------------------------------

class SerialDevice:
    """A chronograph on a pseudo-terminal (velmora-chrono-sim) mapped to port 1."""

    CHRONO_TYPE = {"chrony": 1, "combro": 2, "prochrono": 4}

    def __init__(self, session, family):
        self.sim = session.start_simulator(family, "800,810;790")
        session.write_settings({"chronoType": self.CHRONO_TYPE[family], "txtComm": 1}, {1: self.sim.link})
        self.env = {}
        self.stored = 2  # shots in the current string of the device's memory

    def shot(self, fps):
        self.sim.shot(fps)
        self.stored += 1


class CedDevice:
    """The simulated CED M2 build of Devcore, first on the library search path, shooting steadily."""

    def __init__(self, session, build):
        scenario = os.path.join(session.private, "ced-scenario.txt")
        with open(scenario, "w") as f:
            f.write("string 781.2 779.6 783.4\n")
            for i in range(400):
                f.write("at %d shot %.1f\n" % (1000 + 400 * i, 700 + 0.1 * i))
        session.write_settings({"chronoType": 3})
        self.env = {"LD_LIBRARY_PATH": os.path.join(build, "devcore-sim"), "DEVCORE_SIM_SCENARIO": scenario}

    def shot(self, fps):
        raise Failure("the simulated CED M2 shoots by its scenario")


@dataclass
class Family:
    run: Callable
    device: str = "chrony"


FAMILIES = {
    "startup": Family(startup),
    "options": Family(options),
    "capture": Family(capture),
    "chrony": Family(chrony),
    "prochrono": Family(prochrono, device="prochrono"),
    "ced": Family(ced, device="ced"),
    "companions": Family(companions),
    "imports": Family(imports),
    "loads": Family(loads),
}


# Running one family ----------------------------------------------------------------------------------

def prepare(private):
    for sub in ("config", "work", "runtime"):
        shutil.rmtree(os.path.join(private, sub), ignore_errors=True)
    for stale in ("processes.log", "ced-scenario.txt"):
        if os.path.exists(os.path.join(private, stale)):
            os.remove(os.path.join(private, stale))


def describe_desktop(desktop):
    lines = []
    try:
        for w in desktop.windows():
            lines.append("window %r at %s" % (w.name, w.extents()))
            for c in w.walk():
                try:
                    lines.append("    %s %r%s%s" % (c.role, c.name, "" if c.enabled else " (disabled)",
                                                    " (focused)" if c.focused else ""))
                except Exception:
                    continue
    except Exception as e:
        lines.append("the accessibility tree could not be read: %s" % e)
    return "\n".join(lines)


def missing_tools():
    tools = [t for t in ("Xvfb", "xdotool", "dbus-daemon") if not shutil.which(t)]
    tools += [m for m in ("pyatspi", "Xlib") if importlib.util.find_spec(m) is None]
    if not os.path.exists("/usr/libexec/at-spi-bus-launcher"):
        tools.append("at-spi-bus-launcher")
    return tools


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("family", choices=sorted(FAMILIES))
    parser.add_argument("--screen", default="1024x768")
    parser.add_argument("--build", required=True, help="the build folder (bin/velmora, devcore-sim/)")
    parser.add_argument("--private", required=True, help="a folder of this test's own")
    parser.add_argument("--deadline", type=float, default=150, help="seconds before the run gives up")
    parser.add_argument("--library-path", default="", help="also searched for libraries by the program")
    args = parser.parse_args()
    family = FAMILIES[args.family]
    missing = missing_tools()
    if missing:
        print("skipped: %s not installed (scripts/install-deps.sh installs them)" % ", ".join(missing))
        return 77
    screen = tuple(int(v) for v in args.screen.split("x"))
    os.makedirs(args.private, exist_ok=True)
    prepare(args.private)

    def give_up(signum, _frame):
        raise Failure("stopped by signal %d" % signum if signum != signal.SIGALRM
                      else "the run took longer than %d s" % args.deadline)
    for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGALRM):
        signal.signal(sig, give_up)
    signal.alarm(int(args.deadline))

    started = time.monotonic()
    session = Session(os.path.join(args.build, "bin"), screen, args.private)
    desktop = None
    ok = False
    try:
        device = CedDevice(session, args.build) if family.device == "ced" else SerialDevice(session, family.device)
        from desktop import Desktop  # connects to the session's own accessibility bus
        desktop = Desktop(session)
        env = dict(device.env)
        if args.library_path:
            env["LD_LIBRARY_PATH"] = ":".join(p for p in (env.get("LD_LIBRARY_PATH"), args.library_path) if p)
        u = User(session, desktop, env)
        family.run(u, device)
        ok = True
        print("%s at %s: passed in %.1f s" % (args.family, args.screen, time.monotonic() - started))
        for title, (x, y, w, h) in u.seen:
            print("    %-28s %4d,%-4d %4dx%-4d" % (title, x, y, w, h))
    except BaseException as e:
        print("%s at %s: FAILED after %.1f s: %s" % (args.family, args.screen, time.monotonic() - started, e))
        traceback.print_exc()
        if desktop is not None and session.program_running():
            print(describe_desktop(desktop))
        elif session.program is not None:
            print("the program had ended with %s" % session.program.returncode)
    finally:
        signal.alarm(0)
        session.close()
        if not ok:
            print("---- program, simulator and bus output ----")
            print(session.log_text()[-6000:])
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
