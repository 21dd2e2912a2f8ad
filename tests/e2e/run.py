#!/usr/bin/env python3
"""The real quenwick.exe, driven from outside as a user would: keys and clicks through xdotool on the
test's X display, the clipboard read back through xclip, the settings read from the Wine prefix.

    run.py BUILD_DIR QUENWICK_EXE PROBE_EXE

Three sessions: the number mode (the menu by a right click), the date mode (by Shift+F10), and a scan
of a million files stopped halfway, after which a second scan is paused and the window closed: Esc
answers the stop question No, Enter Yes.
Screenshots of every step go to BUILD_DIR/e2e-shots.
"""
import os
import re
import shutil
import subprocess
import sys
import time

BUILD, EXE, PROBE = sys.argv[1:4]
HERE = os.path.dirname(os.path.abspath(__file__))
SHOTS = os.path.join(BUILD, "e2e-shots")
WINE_RUN = os.path.join(BUILD, "wine-run.sh")
BASE = 1577836800  # the million tree's time origin, as make_trees.py has it
failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures.append(what)
    return condition


def run(*command, **options):
    return subprocess.run(command, capture_output=True, **options)


def probe(*arguments):
    result = run(WINE_RUN, PROBE, *arguments)
    return result.returncode, result.stdout.decode("utf-8", "replace").strip()


def xdotool(*arguments):
    return run("xdotool", *arguments).stdout.decode().strip()


def windows_path(unix_path):
    return "Z:" + unix_path.replace("/", "\\")


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
    """One run of quenwick.exe with a folder as its argument."""

    def __init__(self, name, folder):
        self.name, self.step = name, 0
        run(WINE_RUN, "reg", "delete", "HKCU\\Software\\Dovrel", "/f")
        self.process = subprocess.Popen([WINE_RUN, EXE, windows_path(folder)])
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

    def click(self, x, y, button=1):
        """Clicks at client coordinates of the main window (96 pixels per inch)."""
        xdotool("mousemove", "--sync", str(self.x + x), str(self.y + y), "click", str(button))
        time.sleep(0.2)

    def status(self, text, ms=120000):
        return probe("status", text, str(ms))

    def copy_name_and_time(self, keyboard=False):
        """Context menu on the list, Select all; again, Copy, Name and Time. Returns the clipboard.
        The menu opens on a right click, or with the keyboard (Shift+F10) after a click on the first row."""
        # xclip stays behind to serve what it put there, so its output is not waited for.
        subprocess.run(["xclip", "-selection", "clipboard", "-i", "/dev/null"], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)

        def open_menu():
            if keyboard:
                self.keys("shift+F10")
            else:
                self.click(152 + 60, 56 + 30, 3)

        if keyboard:
            self.click(152 + 60, 56 + 30)
        open_menu()
        self.shot("menu")
        self.keys("Up", "Return")  # the last entry: Select all
        self.shot("all-selected")
        open_menu()
        self.keys("Down", "Down", "Down", "Right", "Down")  # Open..., Explore, Copy > Name and Time
        self.shot("copy-menu")
        self.keys("Return")
        time.sleep(0.5)
        out = run("xclip", "-o", "-selection", "clipboard", "-t", "UTF8_STRING").stdout.decode("utf-8", "replace")
        return out.replace("\r\n", "\n").split("\n") if out else []

    def close(self, expect_question):
        self.keys("Escape")
        code, _ = probe("window", "Confirm", "3000" if expect_question else "500")
        check(code == 0 if expect_question else code != 0,
              "%s: the stop question %s" % (self.name, "appears" if expect_question else "does not appear"))
        if code == 0:
            self.shot("question")
            self.keys("Return")
        try:
            exit_code = self.process.wait(30)
        except subprocess.TimeoutExpired:
            self.process.kill()
            exit_code = None
        check(exit_code == 0, "%s: the program ends with exit code 0 (got %s)" % (self.name, exit_code))

    def settings(self):
        text = run(WINE_RUN, "reg", "query", "HKCU\\Software\\Dovrel\\qnwk").stdout.decode("utf-8", "replace")
        values = {}
        for line in text.splitlines():
            m = re.match(r"\s+(\w+)\s+(REG_\w+)\s*(.*)$", line)
            if m:
                values[m.group(1)] = (m.group(2), m.group(3).strip())
        return values


def make_small_tree(root, now):
    """150 files over three folders: 30 changed within the last hour, 120 before the last two hours."""
    shutil.rmtree(root, ignore_errors=True)
    files = []
    for k in range(150):
        folder = ["", "alpha", os.path.join("beta", "gamma")][k % 3]
        name = "file%03d.txt" % k if k != 7 else "r\u00e9sum\u00e9 \u65e5\u672c.txt"
        seconds = now - 60 * (k + 2) if k < 30 else now - 7200 - 977 * k
        path = os.path.join(root, folder, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        open(path, "w").close()
        os.utime(path, (seconds, seconds))
        files.append((seconds, windows_path(path)))
    files.sort(key=lambda f: -f[0])
    return files


def expected_lines(files, formats):
    return ["%s\t%s" % (path, formats.text(seconds)) for seconds, path in files]


def check_settings(program, folder, number):
    values = program.settings()
    check(values.get("Path") == ("REG_SZ", windows_path(folder)), "%s: Path stored (%r)" % (program.name, values.get("Path")))
    check(values.get("Number") == ("REG_DWORD", "0x%x" % number), "%s: Number stored (%r)" % (program.name, values.get("Number")))
    for name in ("Top", "Left", "Width", "Height"):
        check(values.get(name, ("",))[0] == "REG_DWORD", "%s: %s stored as REG_DWORD" % (program.name, name))


def completion(text):
    m = re.fullmatch(r"Successfully processed (\d+) files for [0-9:.]+\.", text)
    return int(m.group(1)) if m else None


def number_mode(formats, tree, files):
    program = Program("number", tree)
    program.click(24 + 40, 104 + 10)  # into the number box
    program.keys("ctrl+a", "4", "0")
    program.shot("number-40")
    program.keys("Return")  # Start is the default button
    code, text = program.status("Successfully processed")
    program.shot("done")
    check(code == 0 and completion(text) == len(files), "number: completion report counts 150 files (%r)" % text)
    lines = program.copy_name_and_time()
    check(lines == expected_lines(files[:40], formats), "number: clipboard holds the 40 newest, newest first")
    if lines != expected_lines(files[:40], formats):
        print("  got:      %r\n  expected: %r" % (lines[:3], expected_lines(files[:40], formats)[:3]))
    program.close(expect_question=False)
    check_settings(program, tree, 40)


def date_mode(formats, tree, files):
    program = Program("date", tree)
    program.click(8 + 8, 136 + 8)  # "Files modified after": an hour before the start
    program.shot("date-mode")
    program.keys("Return")
    code, text = program.status("Successfully processed")
    program.shot("done")
    check(code == 0 and completion(text) == len(files), "date: completion report counts 150 files (%r)" % text)
    lines = program.copy_name_and_time(keyboard=True)
    recent = [f for f in files if f[0] > time.time() - 3000]
    check(lines == expected_lines(recent, formats), "date: clipboard holds the 30 files of the last hour, newest first")
    if lines != expected_lines(recent, formats):
        print("  got:      %r\n  expected: %r" % (lines[:3], expected_lines(recent, formats)[:3]))
    program.close(expect_question=False)
    check_settings(program, tree, 100)


def stopped_halfway(formats, million):
    program = Program("stopped", million)
    program.keys("Return")
    code, text = program.status(windows_path(million) + "\\d0", 30000)
    check(code == 0, "stopped: the status bar shows the folder being listed (%r)" % text)
    program.keys("alt+t")  # Stop
    code, _ = probe("window", "Confirm", "5000")
    check(code == 0, "stopped: Stop asks the stop question")
    program.shot("stop-question")
    program.keys("Return")
    code, text = program.status("Successfully processed")
    program.shot("done")
    count = completion(text)
    check(code == 0 and count is not None and 0 < count < 1000000, "stopped: the report counts part of the tree (%r)" % text)
    lines = program.copy_name_and_time()
    check(len(lines) == 100, "stopped: 100 rows copied (%d)" % len(lines))
    times, whole = [], True
    for line in lines:
        m = re.fullmatch(re.escape(windows_path(million)) + r"\\d(\d\d)\\e(\d\d)\\f(\d{4})\.txt\t(.*)", line)
        if not m:
            whole = False
            continue
        i = int(m.group(1)) * 100000 + int(m.group(2)) * 1000 + int(m.group(3))
        seconds = BASE + (i * 7919) % 1000003
        whole = whole and m.group(4) == formats.text(seconds)
        times.append(seconds)
    check(whole and len(times) == 100, "stopped: every copied line is a real file with its own time text")
    check(times == sorted(times, reverse=True), "stopped: the lines run newest first")
    # A second scan, paused: closing the window asks the stop question; Esc answers No.
    program.keys("Return")
    code, text = program.status(windows_path(million) + "\\d0", 30000)
    check(code == 0, "stopped: a second scan runs (%r)" % text)
    program.keys("alt+p")
    program.shot("paused")
    program.keys("Escape")
    code, _ = probe("window", "Confirm", "5000")
    check(code == 0, "stopped: closing during the paused scan asks the stop question")
    program.keys("Escape")
    code, _ = probe("window", "Confirm", "300")
    check(code != 0 and program.process.poll() is None, "stopped: Esc answers No and the window stays")
    code, text = program.status("Successfully processed", 500)
    check(code != 0, "stopped: the paused scan is still there (%r)" % text)
    program.close(expect_question=True)
    check_settings(program, million, 100)


def main():
    os.makedirs(SHOTS, exist_ok=True)
    for old in os.listdir(SHOTS):
        os.remove(os.path.join(SHOTS, old))
    xvfb = None
    if not os.environ.get("DISPLAY"):
        display = next(n for n in range(90, 130) if not os.path.exists("/tmp/.X11-unix/X%d" % n))
        xvfb = subprocess.Popen(["Xvfb", ":%d" % display, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"])
        os.environ["DISPLAY"] = ":%d" % display
        for _ in range(50):
            if os.path.exists("/tmp/.X11-unix/X%d" % display):
                break
            time.sleep(0.1)
    try:
        trees = os.path.join(BUILD, "trees")
        run(sys.executable, os.path.join(HERE, "..", "reliability", "make_trees.py"), trees, "million", check=True)
        formats = Formats()
        tree = os.path.join(BUILD, "e2e-tree")
        files = make_small_tree(tree, int(time.time()))
        number_mode(formats, tree, files)
        date_mode(formats, tree, files)
        stopped_halfway(formats, os.path.join(trees, "million"))
    finally:
        if xvfb:
            xvfb.kill()
    print("%d failed" % len(failures) if failures else "all passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
