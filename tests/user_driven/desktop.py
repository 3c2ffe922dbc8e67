"""The user's eyes and hands on the private desktop: the program's windows and controls as the
accessibility bus (AT-SPI) shows them, real mouse clicks and key presses (xdotool, XTEST), and
the window manager's close message (WM_DELETE_WINDOW) sent with python3-xlib.

Import this module only once the session has put DISPLAY and DBUS_SESSION_BUS_ADDRESS into the
environment: the accessibility library connects to the bus of that session."""

import subprocess
import time

import pyatspi
from gi.repository import Atspi, GLib
from Xlib import X, display, error
from Xlib.protocol import event

from session import Failure, wait_for

WINDOW_ROLES = ("frame", "dialog", "alert", "file chooser", "window")


def vanished(error):
    """An object destroyed between being listed and being asked leaves no object behind its path."""
    return isinstance(error, GLib.Error) and "No such object path" in str(error)


class Control:
    """One accessible object of the program, found again by the same look-up when it went stale."""

    def __init__(self, accessible):
        self.acc = accessible

    @property
    def name(self):
        return self.acc.name or ""

    @property
    def description(self):
        return self.acc.description or ""

    @property
    def role(self):
        return self.acc.getRoleName()

    def states(self):
        return self.acc.getState()

    def has(self, state):
        # A closed window's objects answer with the state DEFUNCT rather than an error, so an
        # error here is the bus or the program failing: it fails the test, never reads as "absent".
        return self.states().contains(state)

    @property
    def enabled(self):
        return self.has(pyatspi.STATE_ENABLED) and self.has(pyatspi.STATE_SENSITIVE)

    @property
    def takes_line_breaks(self):
        """An editable multi-line box, where Enter is a line break."""
        return self.has(pyatspi.STATE_MULTI_LINE) and self.has(pyatspi.STATE_EDITABLE)

    @property
    def focused(self):
        return self.has(pyatspi.STATE_FOCUSED)

    def extents(self):
        e = self.acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        return e.x, e.y, e.width, e.height

    def centre(self):
        x, y, w, h = self.extents()
        if w <= 0 or h <= 0:
            raise Failure("%s %r has no place on the screen" % (self.role, self.name))
        return x + w // 2, y + h // 2

    def parent_name(self):
        parent = self.acc.parent
        return parent.name if parent is not None else ""

    def text(self):
        try:
            t = self.acc.queryText()
            return t.getText(0, t.characterCount)
        except NotImplementedError:
            return self.name

    def children(self):
        result = []
        for i in range(self.acc.childCount):
            child = self.acc.getChildAtIndex(i)
            if child is not None:
                result.append(Control(child))
        return result

    def walk(self):
        """This object and everything below it, depth first."""
        stack = [self]
        while stack:
            c = stack.pop()
            yield c
            try:
                stack.extend(reversed(c.children()))
            except GLib.Error as e:
                if not vanished(e):
                    raise

    def find_all(self, role=None, name=None, showing=True):
        found = []
        for c in self.walk():
            try:
                if role is not None and c.role != role:
                    continue
                if name is not None and c.name != name:
                    continue
                if showing and not c.has(pyatspi.STATE_SHOWING):
                    continue
            except GLib.Error as e:
                if not vanished(e):
                    raise
                continue
            found.append(c)
        return found

    def find(self, role=None, name=None, timeout=5.0):
        what = "%s %r" % (role or "control", name)
        return wait_for(lambda: next(iter(self.find_all(role, name)), None), what, timeout)

    def __repr__(self):
        return "<%s %r>" % (self.role, self.name)


class Desktop:
    """The private desktop of one session, seen and touched from outside the program."""

    def __init__(self, session):
        self.session = session
        self.x = display.Display(session.env["DISPLAY"])
        self.width, self.height = session.screen
        self._app = None
        self._app_pid = None

    # Seeing ------------------------------------------------------------------------------------

    def application(self, timeout=20.0):
        """The program on the accessibility bus: the instance whose process id is the program's."""
        pid = self.session.program.pid

        def look():
            desktop = pyatspi.Registry.getDesktop(0)
            for i in range(desktop.childCount):
                app = desktop.getChildAtIndex(i)
                try:
                    if app is not None and app.get_process_id() == pid:
                        # Every look-up asks the program afresh instead of trusting a cache.
                        app.set_cache_mask(Atspi.Cache.NONE)
                        return Control(app)
                except Exception:
                    continue
            return None

        if self._app_pid != pid:
            self._app = wait_for(look, "the program on the accessibility bus", timeout)
            self._app_pid = pid
        return self._app

    def windows(self):
        """The program's top-level windows that are shown now, as (role, title) keyed controls."""
        app = self.application()
        # A program that stopped answering shows every object DEFUNCT, its windows too: that must
        # not pass for "the window has closed".
        if app.has(pyatspi.STATE_DEFUNCT):
            raise Failure("the program no longer answers on the accessibility bus")
        shown = []
        for w in app.children():
            try:
                if w.role in WINDOW_ROLES and w.has(pyatspi.STATE_SHOWING):
                    shown.append(w)
            except GLib.Error as e:
                # A window that closed while being asked is not shown. The program itself was
                # asked above, so a program that went away still fails the test.
                if not vanished(e):
                    raise
        return shown

    def window(self, title, timeout=10.0):
        return wait_for(lambda: next((w for w in self.windows() if w.name == title), None),
                        "the window %r" % title, timeout)

    def has_window(self, title):
        return any(w.name == title for w in self.windows())

    def wait_gone(self, title, timeout=10.0):
        wait_for(lambda: not self.has_window(title), "the window %r to close" % title, timeout)

    def titles(self):
        return sorted(w.name for w in self.windows())

    # The X side of windows ----------------------------------------------------------------------

    def x_window(self, title, timeout=5.0):
        """The mapped top-level X window with this title (there is no window manager to reparent it)."""
        def look():
            atom = self.x.intern_atom("_NET_WM_NAME")
            utf8 = self.x.intern_atom("UTF8_STRING")
            for w in self.x.screen().root.query_tree().children:
                try:
                    if w.get_attributes().map_state != X.IsViewable:
                        continue
                    prop = w.get_full_property(atom, utf8)
                    name = prop.value.decode() if prop else w.get_wm_name()
                    if name == title:
                        return w
                except error.XError:
                    continue
            return None
        return wait_for(look, "the X window %r" % title, timeout)

    def focus(self, title):
        """Activates the window as a window manager would on a click into it."""
        xid = self.x_window(title).id
        self._xdotool("windowfocus", "--sync", str(xid))
        wait_for(lambda: self.window(title).has(pyatspi.STATE_ACTIVE), "the window %r to be active" % title, 5)

    def send_close(self, title):
        """The window manager's close message: a WM_DELETE_WINDOW client message to the window."""
        w = self.x_window(title)
        protocols = self.x.intern_atom("WM_PROTOCOLS")
        delete = self.x.intern_atom("WM_DELETE_WINDOW")
        message = event.ClientMessage(window=w, client_type=protocols, data=(32, [delete, X.CurrentTime, 0, 0, 0]))
        w.send_event(message, event_mask=X.NoEventMask)
        self.x.flush()

    # Hands ---------------------------------------------------------------------------------------

    def _xdotool(self, *args):
        subprocess.run(["xdotool", *args], check=True, timeout=10, env=self.session.env,
                       stdout=subprocess.DEVNULL)

    def click(self, control):
        x, y = control.centre()
        self._xdotool("mousemove", str(x), str(y), "click", "1")

    def key(self, *keys):
        """Key presses on the focused window (with their releases, so nothing stays pressed)."""
        self._xdotool("key", "--clearmodifiers", *keys)

    def type_text(self, text):
        self._xdotool("type", "--delay", "20", text)

    def press_in(self, title, *keys):
        self.focus(title)
        self.key(*keys)

    def choose_menu(self, window_title, menu, item):
        """Opens a menu of the window's menu bar with a click and clicks one of its entries."""
        window = self.window(window_title)
        self.click(window.find("menu item", menu))

        def entry():
            for popup in self.application().find_all("popup menu"):
                for c in popup.find_all("menu item", item):
                    if c.extents()[2] > 0:
                        return c
            return None
        self.click(wait_for(entry, "the menu entry %r" % item, 5))

    def settle(self, seconds):
        """A short pause for something that must NOT happen (a shot that is not recorded)."""
        time.sleep(seconds)
