"""What the end-to-end scenarios share: the real quenwick.exe started with a folder, keys and clicks
through xdotool on the test's X display, the probe that reads what X cannot tell, and the checks.

Command line of every scenario: BUILD_DIR QUENWICK_EXE PROBE_EXE.
"""
import os
import re
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts"))
from checks import check, display_of_its_own, finish, windows_path

BUILD, EXE, PROBE = sys.argv[1:4]
HERE = os.path.dirname(os.path.abspath(__file__))
SHOTS = os.path.join(BUILD, "e2e-shots")
WINE_RUN = os.path.join(BUILD, "wine-run.sh")
# Where the window puts the list and the row of buttons, in client coordinates at 96 pixels per inch.
LIST_LEFT, LIST_TOP, BUTTONS_TOP = 152, 84, 300


def run(*command, **options):
    return subprocess.run(command, capture_output=True, **options)


def probe(*arguments):
    result = run(WINE_RUN, PROBE, *arguments)
    return result.returncode, result.stdout.decode("utf-8", "replace").strip()


def xdotool(*arguments):
    return run("xdotool", *arguments).stdout.decode().strip()


class Formats:
    """The prefix's regional settings, and the program's date-time text under them."""

    def __init__(self):
        code, text = probe("locale")
        items = text.split("\n")
        if code != 0 or len(items) != 8:
            raise SystemExit("probe locale failed: %r" % text)
        (self.pattern, self.date_sep, self.time_sep, zero, clock, self.am, self.pm, before) = items
        self.leading_zero = zero == "1"
        self.twelve = clock == "0"
        self.symbol_before = before == "1"

    def date(self, t):
        out, i, p = "", 0, self.pattern
        while i < len(p):
            j = i
            while j < len(p) and p[j] == p[i]:
                j += 1
            run_ = p[i:j]
            if run_[0] == "d":
                out += "%02d" % t.tm_mday if len(run_) >= 2 else str(t.tm_mday)
            elif run_[0] == "M":
                out += "%02d" % t.tm_mon if len(run_) >= 2 else str(t.tm_mon)
            elif run_[0] == "y":
                out += str(t.tm_year) if len(run_) >= 3 else "%02d" % (t.tm_year % 100)
            elif run_[0] == "/":
                out += self.date_sep * len(run_)
            elif run_[0] == "'":
                k = p.index("'", i + 1)
                out += p[i + 1:k]
                j = k + 1
            else:
                out += run_
            i = j
        return out

    def text(self, seconds):
        t = time.localtime(seconds)
        hour = t.tm_hour
        if self.twelve:
            hour = hour % 12 or 12
        clock = ("%02d" if self.leading_zero else "%d") % hour
        clock += self.time_sep + "%02d" % t.tm_min + self.time_sep + "%02d" % t.tm_sec
        if self.twelve:
            symbol = self.am if t.tm_hour < 12 else self.pm
            if symbol:
                clock = symbol + " " + clock if self.symbol_before else clock + " " + symbol
        return self.date(t) + " " + clock


class Program:
    """One run of quenwick.exe with a folder as its argument; settings are deleted first unless kept."""

    def __init__(self, name, folder, keep_settings=False):
        self.name, self.step = name, 0
        if not keep_settings:
            run(WINE_RUN, "reg", "delete", "HKCU\\Software\\Dovrel", "/f")
        self.process = subprocess.Popen([WINE_RUN, EXE] + ([windows_path(folder)] if folder else []))
        self.window = None
        for _ in range(300):
            # The main window, not the hidden 1x1 one that carries the same title.
            for found in xdotool("search", "--onlyvisible", "--name", "^Quenwick$").split():
                width = re.search(r"Width: (\d+)", run("xwininfo", "-id", found).stdout.decode())
                if width and int(width.group(1)) > 1:
                    self.window = found
            if self.window:
                break
            time.sleep(0.1)
        if not self.window:
            raise SystemExit("the main window did not appear")
        code, origin = probe("client")
        self.x, self.y = map(int, origin.split())
        xdotool("windowfocus", "--sync", self.window)
        self.shot("started")

    def shot(self, what):
        self.step += 1
        time.sleep(0.3)  # let Wine paint before the picture
        path = os.path.join(SHOTS, "%s-%d-%s.png" % (self.name, self.step, what))
        run("import", "-window", "root", path)
        return path

    def keys(self, *keys):
        for key in keys:
            xdotool("key", "--clearmodifiers", key)
            time.sleep(0.15)

    def type(self, text):
        xdotool("type", "--delay", "30", text)
        time.sleep(0.15)

    def click(self, x, y, button=1):
        """Clicks at client coordinates of the main window (96 pixels per inch)."""
        xdotool("mousemove", "--sync", str(self.x + x), str(self.y + y), "click", str(button))
        time.sleep(0.2)

    def status(self, text, ms=120000):
        return probe("status", text, str(ms))

    def counts(self, text, ms=5000):
        return probe("counts", text, str(ms))

    def rows(self, other_than, ms=30000):
        """Waits until the list reads other rows than other_than, or the scan has ended: "COUNT|FIRST ROW"."""
        return probe("rows", other_than, str(ms))

    def probe_step(self, other_than, ms=30000):
        """Lets the paused scan go on until it has seen another file, then waits for the list to read
        other rows than other_than."""
        return probe("step", other_than, str(ms))

    def start_paused(self, press):
        """Starts a scan by press(), paused by the probe as soon as it runs: on a busy machine the walk
        goes far in the time a picture takes."""
        pauser = subprocess.Popen([WINE_RUN, PROBE, "pause-at-start", "30000"], stdout=subprocess.PIPE)
        ready = pauser.stdout.readline().decode().strip() == "ready"
        press()
        return ready and pauser.wait() == 0

    def arrows(self):
        return probe("arrows")[1].split()

    def focus(self):
        """Where the keyboard focus is: (window title, control class, control text, enabled)."""
        _, text = probe("focus")
        parts = text.split("|")
        return tuple(parts) if len(parts) == 4 else ("", "", "", "")

    def wait_focus(self, title, seconds=20):
        """Waits until the focus is in the window with this title; returns where it is."""
        end = time.time() + seconds
        while True:
            where = self.focus()
            if where[0] == title or time.time() > end:
                return where
            time.sleep(0.2)

    def controls(self):
        """The main window's controls in the dialog manager's order: (class, text, enabled, checked)."""
        _, text = probe("controls")
        return [tuple(line.split("|")) for line in text.splitlines() if line.count("|") == 3]

    def bounds(self):
        _, text = probe("bounds")
        return text.split()

    def wait_exit(self):
        try:
            return self.process.wait(30)
        except subprocess.TimeoutExpired:
            self.process.kill()
            return None

    def clipboard_lines(self):
        out = run("xclip", "-o", "-selection", "clipboard", "-t", "UTF8_STRING").stdout.decode("utf-8", "replace")
        return out.replace("\r\n", "\n").split("\n") if out else []

    def copy_paths(self):
        """Ctrl+A and Ctrl+C in the list after a click on a row: the clipboard's lines."""
        subprocess.run(["xclip", "-selection", "clipboard", "-i", "/dev/null"], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        self.click(LIST_LEFT + 60, LIST_TOP + 30)
        self.keys("ctrl+a", "ctrl+c")
        time.sleep(0.5)
        return self.clipboard_lines()

    def copy_name_and_time(self, keyboard=False):
        """Context menu on the list, Select all; again, Copy, Name and Time. Returns the clipboard.
        The menu opens on a right click, or with the keyboard (the menu key) after a click on the first row."""
        # xclip stays behind to serve what it put there, so its output is not waited for.
        subprocess.run(["xclip", "-selection", "clipboard", "-i", "/dev/null"], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)

        def open_menu():
            if keyboard:
                self.keys("Menu")
            else:
                self.click(LIST_LEFT + 60, LIST_TOP + 30, 3)

        if keyboard:
            self.click(LIST_LEFT + 60, LIST_TOP + 30)
        open_menu()
        self.shot("menu")
        self.keys("Down", "Down", "Down", "Down", "Return")  # Open..., Explore, Copy, Select all
        self.shot("all-selected")
        open_menu()
        self.keys("Down", "Down", "Down", "Right", "Down")  # Open..., Explore, Copy > Name and Time
        self.shot("copy-menu")
        self.keys("Return")
        time.sleep(0.5)
        return self.clipboard_lines()

    def close(self, expect_question):
        self.keys("Escape")
        code, _ = probe("window", "Confirm", "3000" if expect_question else "500")
        check(code == 0 if expect_question else code != 0,
              "%s: the stop question %s" % (self.name, "appears" if expect_question else "does not appear"))
        if code == 0:
            self.shot("question")
            self.keys("Return")
        exit_code = self.wait_exit()
        check(exit_code == 0, "%s: the program ends with exit code 0 (got %s)" % (self.name, exit_code))

    def settings(self):
        text = run(WINE_RUN, "reg", "query", "HKCU\\Software\\Dovrel\\qnwk").stdout.decode("utf-8", "replace")
        values = {}
        for line in text.splitlines():
            m = re.match(r"\s+(\w+)\s+(REG_\w+)\s*(.*)$", line)
            if m:
                values[m.group(1)] = (m.group(2), m.group(3).strip())
        return values


