"""What a user does with the program, step by step, with the checks every step implies: each
window that opens lies wholly on the screen, each way of closing a window really closes it and
gives the main window back, and shots are recorded (or not) as the user expects."""

import time

from session import Failure, check, wait_for

MAIN = "Velmora v1.6"
TIP = "Tip of the Day"
QUESTION = "Velmora"  # the title of the program's message boxes
# Controls a user reaches with the keyboard, which a screen reader must be able to name.
NAMED_ROLES = ("push button", "check box", "radio button", "combo box", "text", "table", "spin button", "slider")


class User:
    def __init__(self, session, desktop, program_env=None):
        self.s = session
        self.d = desktop
        self.program_env = program_env or {}
        self.started = time.monotonic()
        self.seen = []  # every window opened, with where it was: the placement record

    def log(self, text):
        print("%6.2f  %s" % (time.monotonic() - self.started, text), flush=True)

    # Windows ---------------------------------------------------------------------------------

    def opened(self, title, timeout=10.0):
        """Waits for the window, checks that it lies inside the screen and that its controls can be
        named by a screen reader, and returns it."""
        window = self.d.window(title, timeout)
        self.d.x_window(title)  # mapped, so that clicks reach it
        x, y, w, h = wait_for(lambda: self._placed(window), "the window %r to be placed" % title, 5)
        self.seen.append((title, (x, y, w, h)))
        self.log("opened %r at %d,%d %dx%d" % (title, x, y, w, h))
        unnamed = [c.role for c in window.find_all() if c.role in NAMED_ROLES and not c.name]
        check(not unnamed, "controls of %r without an accessible name: %s" % (title, unnamed))
        check(x >= 0 and y >= 0 and x + w <= self.d.width and y + h <= self.d.height,
              "the window %r at %d,%d size %dx%d reaches past the %dx%d screen"
              % (title, x, y, w, h, self.d.width, self.d.height))
        return window

    @staticmethod
    def _placed(window):
        extents = window.extents()
        return extents if extents[2] > 0 and extents[3] > 0 else None

    def close(self, title, how):
        """Closes the window the way a user would: "escape", "message" (the window manager's close
        button) or the caption of one of its buttons."""
        self.log("closing %r by %s" % (title, how))
        if how == "escape":
            self.d.press_in(title, "Escape")
        elif how == "message":
            self.d.send_close(title)
        else:
            self.d.click(self.d.window(title).find("push button", how))
        self.d.wait_gone(title)

    def main(self):
        return self.d.window(MAIN)

    def main_disabled(self):
        wait_for(lambda: not self.main().enabled, "the main window to be disabled while a window is open", 5)

    def main_usable(self):
        """The main window is enabled again, nothing else is shown, and it can be activated."""
        wait_for(lambda: self.main().enabled, "the main window to be enabled again", 5)
        others = [t for t in self.d.titles() if t != MAIN]
        check(not others, "windows left open over the main window: %s" % others)
        self.d.focus(MAIN)

    def click_main(self, role, name):
        self.d.click(self.main().find(role, name))

    # Start and exit ----------------------------------------------------------------------------

    def start(self, tip_close="OK"):
        """Starts the program; the tip of the day comes up over the disabled main window."""
        self.s.start_program(self.program_env)
        self.d.application()
        self.opened(MAIN, 30)
        self.opened(TIP, 15)
        self.main_disabled()
        self.close(TIP, tip_close)
        self.main_usable()

    def exit_question(self, how):
        """Asks to exit (the close message on the main window, or the menu) and returns the question."""
        if how == "menu":
            self.d.choose_menu(MAIN, "Menu", "Exit")
        else:
            self.d.send_close(MAIN)
        box = self.opened(QUESTION)
        check(box.find("label", "Are you sure you want Exit Velmora?"), "the exit question has another text")
        return box

    def exit(self, ask="menu"):
        """Exit answered Yes: the program ends with 0 and leaves an empty shot cache."""
        box = self.exit_question(ask)
        self.d.click(box.find("push button", "Yes"))
        code = wait_for(lambda: self.s.program.poll() is not None and (self.s.program.returncode,),
                        "the program to end after Yes", 15)[0]
        check(code == 0, "the program ended with %s" % code)
        check(self.s.cached_velocities() == [], "the shot cache is not empty after a normal exit")

    # Shots ---------------------------------------------------------------------------------------

    def shots(self):
        """The velocities in the shot cache (read again while the program holds a write lock)."""
        def read():
            velocities = self.s.cached_velocities()
            return None if velocities is None else (velocities,)
        return wait_for(read, "the shot cache to be readable", 5)[0]

    def recorded(self, fps, before, timeout=10.0):
        """Waits until the shot with this velocity is the newest row of the shot cache."""
        self.log("waiting for %s fps after %d shot(s)" % (fps, before))
        wait_for(lambda: len(self.shots()) > before and abs(self.shots()[-1] - fps) < 0.01,
                 "a shot of %s fps to be recorded" % fps, timeout)
        return len(self.shots())

    def is_recorded(self, fps, before, timeout):
        try:
            self.recorded(fps, before, timeout)
            return True
        except Failure:
            return False

    def new_shot(self, before, timeout=10.0):
        """Waits for any new shot (the device shoots by itself); returns the number of shots."""
        wait_for(lambda: len(self.shots()) > before, "a live shot to be recorded", timeout)
        return len(self.shots())

    def settled(self, quiet=1.0, timeout=15.0):
        """Waits until no shot has been recorded for `quiet` seconds; returns the number of shots."""
        last = [len(self.shots())]

        def still():
            now = len(self.shots())
            if now != last[0]:
                last[0] = now
                return False
            return True

        wait_for(lambda: self._quiet_for(still, quiet), "the shot cache to settle", timeout)
        return last[0]

    def _quiet_for(self, still, seconds):
        steps = max(1, int(seconds / 0.1))
        for _ in range(steps):
            if not still():
                return False
            self.d.settle(0.1)
        return True

    def recorded_alone(self, fps, before, timeout=10.0):
        """Waits for a shot of `fps` and checks that it is the only shot since `before`. The device
        answers in order, so once this shot is recorded anything an earlier key press could have
        brought in has been recorded too: a negative check with a positive event at its end."""
        shots = self.recorded(fps, before, timeout)
        check(shots == before + 1, "%d shot(s) recorded where only %s fps should be: %s"
              % (shots - before, fps, self.shots()[before:]))
        return shots

    def nothing_recorded(self, before, seconds=1.0):
        self.d.settle(seconds)
        after = self.shots()
        check(len(after) == before, "%d shot(s) recorded where none should be: %s" % (len(after) - before,
                                                                                     after[before:]))

    # Text boxes ----------------------------------------------------------------------------------

    def text_boxes(self, title):
        """The enabled text boxes of a window in which Enter is not a line break of its own."""
        return [box for box in self.d.window(title).find_all("text") if box.enabled and not box.takes_line_breaks]

    def enter_in_each_text_box(self, title):
        """Clicks into each text box of the window and presses Enter there: the window stays open
        and no other window (a question, a message) comes up. Returns the names of the boxes."""
        names = []
        for box in self.text_boxes(title):
            self.d.click(box)
            wait_for(lambda: box.focused, "the text box %r of %r to take the focus" % (box.name, title), 5)
            self.d.key("Return")
            names.append(box.name)
        self.d.settle(0.3)
        check(self.d.titles() == sorted([MAIN, title]),
              "Enter in the text boxes of %r left these windows: %s" % (title, self.d.titles()))
        return names
