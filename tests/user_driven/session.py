"""The processes of one user-driven test: a private X server, a private D-Bus session (the
accessibility bus is started from it on demand), the chronograph simulator and the program.

Everything started here is a descendant of this process, which makes itself a child subreaper
so that daemons started on the way (at-spi-bus-launcher, at-spi2-registryd) stay reachable.
`Session.close()` ends every one of them by its process id, also after a failure."""

import ctypes
import os
import signal
import sqlite3
import subprocess
import time

PR_SET_PDEATHSIG = 1
PR_SET_CHILD_SUBREAPER = 36
_libc = ctypes.CDLL(None, use_errno=True)


def _die_with_parent():
    # A child outlives a harness killed by the test runner's time-out only until it notices.
    _libc.prctl(PR_SET_PDEATHSIG, signal.SIGTERM, 0, 0, 0)


class Failure(AssertionError):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_for(condition, what, timeout=10.0, interval=0.05):
    """Polls `condition` until it returns something true, and returns that; fails after `timeout`."""
    deadline = time.monotonic() + timeout
    while True:
        result = condition()
        if result:
            return result
        if time.monotonic() > deadline:
            raise Failure("timed out after %.1f s waiting for %s" % (timeout, what))
        time.sleep(interval)


def _descendants():
    """Process ids whose parent chain leads to this process, children after their parents."""
    parents = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as f:
                stat = f.read()
        except OSError:
            continue
        # The command name (field 2) may hold spaces; the parent id follows the state after it.
        parents[int(entry)] = int(stat[stat.rfind(")") + 2:].split()[1])
    mine, found = {os.getpid()}, []
    grew = True
    while grew:
        grew = False
        for pid, parent in parents.items():
            if parent in mine and pid not in mine:
                mine.add(pid)
                found.append(pid)
                grew = True
    return found


def _reap():
    while True:
        try:
            pid, _ = os.waitpid(-1, os.WNOHANG)
        except ChildProcessError:
            return
        if pid == 0:
            return


class Simulator:
    """velmora-chrono-sim on a pseudo-terminal, driven by its --stdin commands."""

    def __init__(self, binary, family, link, strings, log):
        self.process = subprocess.Popen(
            [binary, "--family", family, "--link", link, "--strings", strings, "--stdin"],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=log, text=True, preexec_fn=_die_with_parent)
        first = self.process.stdout.readline().strip()
        if not first.startswith("PTY "):
            raise Failure("the simulator did not start: %r" % first)
        self.link = link

    def command(self, line):
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()
        answer = self.process.stdout.readline().strip()
        if answer != "OK":
            raise Failure("the simulator answered %r to %r" % (answer, line))

    def shot(self, fps):
        self.command("shot %s" % fps)


class Session:
    """One private desktop for the program: X server, session bus, simulator, program."""

    def __init__(self, bin_dir, screen, private_dir):
        self.bin_dir = bin_dir
        self.screen = screen
        self.private = private_dir
        self.config = os.path.join(private_dir, "config")
        self.work = os.path.join(private_dir, "work")
        self.runtime = os.path.join(private_dir, "runtime")
        for d in (self.config, self.work, self.runtime):
            os.makedirs(d, exist_ok=True)
        os.chmod(self.runtime, 0o700)
        self.log_path = os.path.join(private_dir, "processes.log")
        self.log = open(self.log_path, "w")
        self.program = None
        self.simulator = None
        self.env = dict(os.environ, HOME=private_dir, XDG_CONFIG_HOME=self.config, XDG_RUNTIME_DIR=self.runtime,
                        LC_ALL="C.UTF-8")
        self.env.pop("SESSION_MANAGER", None)
        _libc.prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0)
        try:
            self._start_x()
            self._start_bus()
        except BaseException:
            self.close()
            raise
        # The accessibility library and xdotool of this process reach the private desktop.
        os.environ.update({k: self.env[k] for k in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR")})

    def _start_x(self):
        read_end, write_end = os.pipe()
        width, height = self.screen
        self.x_server = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "%dx%dx24" % (width, height), "-noreset",
             "-nolisten", "tcp"], pass_fds=(write_end,), stdout=self.log, stderr=self.log,
            preexec_fn=_die_with_parent)
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + 15
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            chunk = os.read(read_end, 16)
            if not chunk:
                break
            number += chunk
        os.close(read_end)
        if not number.strip():
            raise Failure("Xvfb did not start")
        self.env["DISPLAY"] = ":" + number.decode().strip()

    def _start_bus(self):
        self.bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=1"],
                                    stdout=subprocess.PIPE, stderr=self.log, env=self.env, text=True,
                                    preexec_fn=_die_with_parent)
        address = self.bus.stdout.readline().strip()
        if not address:
            raise Failure("dbus-daemon did not start")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address

    # Simulators and the program --------------------------------------------------------------

    def start_simulator(self, family, strings):
        link = os.path.join(self.private, "chronograph-tty")
        self.simulator = Simulator(os.path.join(self.bin_dir, "velmora-chrono-sim"), family, link, strings, self.log)
        return self.simulator

    def write_settings(self, settings, ports=None):
        folder = os.path.join(self.config, "Velmora")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "Velmora.conf"), "w") as f:
            if ports:
                f.write("[Ports]\n" + "".join("%d=%s\n" % item for item in ports.items()) + "\n")
            f.write("[Settings]\n" + "".join("%s=%s\n" % item for item in settings.items()))

    def start_program(self, extra_env=None):
        env = dict(self.env, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb", **(extra_env or {}))
        self.program = subprocess.Popen([os.path.join(self.bin_dir, "velmora")], cwd=self.work, env=env,
                                        stdout=self.log, stderr=self.log, preexec_fn=_die_with_parent)
        return self.program

    def program_running(self):
        return self.program is not None and self.program.poll() is None

    # Witnesses ---------------------------------------------------------------------------------

    def cached_velocities(self):
        """The velocities in the shot cache (pellet.store), read-only while the program runs."""
        path = os.path.join(self.work, "pellet.store")
        if not os.path.exists(path):
            return []
        try:
            db = sqlite3.connect("file:%s?mode=ro" % path, uri=True, timeout=2)
            try:
                return [float(row[0].replace(",", ".")) for row in db.execute("SELECT fps FROM Cache ORDER BY rowid")]
            finally:
                db.close()
        except sqlite3.OperationalError:
            return None

    def locked_by_program(self):
        """The files of the working folder on which the program holds a POSIX lock (/proc/locks)."""
        names = {}
        for name in os.listdir(self.work):
            try:
                names[os.stat(os.path.join(self.work, name)).st_ino] = name
            except OSError:
                continue
        locked = set()
        with open("/proc/locks") as f:
            for line in f:
                fields = line.split()
                if fields[1] == "->":  # a waiting request
                    continue
                # id: POSIX ADVISORY READ|WRITE pid major:minor:inode start end
                if fields[1] == "POSIX" and int(fields[4]) == self.program.pid:
                    name = names.get(int(fields[5].split(":")[2]))
                    if name:
                        locked.add(name)
        return locked

    # Clean-up ------------------------------------------------------------------------------------

    def close(self):
        """Ends the program, the simulator, the bus and its daemons, and the X server."""
        if self.simulator and self.simulator.process.poll() is None:
            try:
                self.simulator.process.stdin.write("quit\n")
                self.simulator.process.stdin.flush()
                self.simulator.process.wait(2)
            except (OSError, subprocess.TimeoutExpired):
                pass
        for sig, grace in ((signal.SIGTERM, 3.0), (signal.SIGKILL, 2.0)):
            pids = _descendants()
            if not pids:
                break
            for pid in reversed(pids):
                try:
                    os.kill(pid, sig)
                except ProcessLookupError:
                    pass
            deadline = time.monotonic() + grace
            while time.monotonic() < deadline and _descendants():
                _reap()
                time.sleep(0.05)
        _reap()
        self.log.close()

    def log_text(self):
        try:
            with open(self.log_path) as f:
                return f.read()
        except OSError:
            return ""
