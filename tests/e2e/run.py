#!/usr/bin/env python3
"""The real quenwick.exe, driven from outside as a user would: keys and clicks through xdotool on the
test's X display, the clipboard read back through xclip, the settings read from the Wine prefix.

    run.py BUILD_DIR QUENWICK_EXE PROBE_EXE [SCENARIO...]    (scans, window, files; all when none is named)

Five scan scenarios: the number mode (the menu by a right click), the date mode (by the menu key), the
filters set by their access keys, a scan of a million files stopped halfway, after which a second scan is paused and the window closed:
Esc answers the stop question No, Enter Yes; and a folder that is not there. Then the window's own behaviour (window_scenarios.py):
keyboard and focus, repainting, the stored place, and the list's keys. Then the files handed on
(files_scenarios.py): copied, dragged, deleted and the shell's menu.
Screenshots of every step go to BUILD_DIR/e2e-shots.
"""
import os
import re
import shutil
import sys
import time

from driver import BUILD, HERE, SHOTS, Formats, Program, check, display_of_its_own, finish, probe, run, windows_path
import files_scenarios
import window_scenarios

BASE = 1577836800  # the million tree's time origin, as make_trees.py has it


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
    code, text = program.counts("rows", 500)
    check(text == "150 files seen, 40 rows", "number: the status bar counts files seen and rows (%r)" % text)
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


def filters(formats, tree, files):
    """A folder skipped by name, a name mask and the later of the two times, set with the keyboard."""
    program = Program("filters", tree)
    program.keys("alt+k")
    program.type("gamma")
    program.keys("alt+n")
    program.type("file0*")
    program.keys("alt+w", "Down", "Down")  # Later of the two
    program.shot("filters")
    program.keys("Return")
    code, text = program.status("Successfully processed")
    check(code == 0 and completion(text) == 100, "filters: the 100 files outside gamma are counted (%r)" % text)
    code, text = program.counts("rows", 500)
    check(text == "66 of 100 files match the names, 1 folder skipped, 66 rows",
          "filters: the status bar tells what the filters let through (%r)" % text)
    kept = [f for f in files if "gamma" not in f[1] and f[1].rsplit("\\", 1)[1].startswith("file0")]
    lines = program.copy_name_and_time()
    check(len(kept) == 66 and lines == expected_lines(kept, formats),
          "filters: the list holds the 66 files named file0* outside gamma, newest first (%d lines)" % len(lines))
    program.close(expect_question=False)
    values = program.settings()
    check((values.get("SkipFolders"), values.get("NameMasks"), values.get("TimeKind")) ==
          (("REG_SZ", "gamma"), ("REG_SZ", "file0*"), ("REG_DWORD", "0x2")), "filters: the three are stored")


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
    code, counts = program.counts("Stopped: ")
    seen = re.fullmatch(r"Stopped: (.+?) files seen, 100 rows", counts)
    check(code == 0 and seen and re.sub(r"\D", "", seen.group(1)) == str(count),
          "stopped: the counts say the list is partial, with the report's count in the user's grouping (%r)" % counts)
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
    # A second scan, paused: closing the window asks the stop question; Esc answers No. The list has
    # the focus, where Enter opens a row, so Start is pressed by its access key.
    program.keys("alt+s")
    code, text = program.status(windows_path(million) + "\\d0", 30000)
    check(code == 0, "stopped: a second scan runs (%r)" % text)
    program.keys("alt+p")
    code, text = program.counts("Paused: ")
    check(code == 0, "stopped: the status bar says the scan is paused (%r)" % text)
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


def missing_root(tree):
    """A folder that is not there: the log names it, and once it is closed the counts part says so."""
    program = Program("missing", os.path.join(tree, "no such folder"))
    program.keys("Return")
    code, _ = probe("window", "Processing log", "30000")
    check(code == 0, "missing: the processing log opens")
    program.shot("log")
    program.keys("Return")
    code, text = program.counts("not found")
    program.shot("done")
    check(code == 0 and text == "The folder was not found", "missing: the counts part says so (%r)" % text)
    code, text = program.status("Successfully processed 0 files", 500)
    check(code == 0, "missing: the report beside it is kept (%r)" % text)
    program.close(expect_question=False)


def main():
    os.makedirs(SHOTS, exist_ok=True)
    for old in os.listdir(SHOTS):
        os.remove(os.path.join(SHOTS, old))
    with display_of_its_own():
        trees = os.path.join(BUILD, "trees")
        run(sys.executable, os.path.join(HERE, "..", "reliability", "make_trees.py"), trees, "million", "rising",
            check=True)
        formats = Formats()
        tree = os.path.join(BUILD, "e2e-tree")
        files = make_small_tree(tree, int(time.time()))
        order = os.path.join(BUILD, "e2e-order")
        shutil.rmtree(order, ignore_errors=True)
        os.makedirs(os.path.join(order, "sub"))
        for name in ("f 10.txt", "F 3.txt", "f 1.txt", "f 2.txt", os.path.join("sub", "x.txt")):
            open(os.path.join(order, name), "w").close()
        scenarios = sys.argv[4:] or ["scans", "window", "files"]
        if "scans" in scenarios:
            number_mode(formats, tree, files)
            date_mode(formats, tree, files)
            filters(formats, tree, files)
            stopped_halfway(formats, os.path.join(trees, "million"))
            missing_root(tree)
        if "window" in scenarios:
            window_scenarios.all_scenarios(tree, files, os.path.join(trees, "million"), os.path.join(trees, "rising"),
                                           order)
        if "files" in scenarios:
            files_scenarios.hands_on_files()
    return finish()


if __name__ == "__main__":
    sys.exit(main())
