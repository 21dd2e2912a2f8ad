"""The window's own behaviour on the real program, as a keyboard user meets it: the list drawn while a
scan fills it and Start focused when it ends, the search mode switched
with the arrow keys, the focus after Start and after the folder picker, a window that repaints what a
size change uncovers, the size that survives a minimised or maximised close, and the list's keys.
"""
import os
import re
import shutil
import subprocess
import time

from driver import BUTTONS_TOP, LIST_LEFT, LIST_TOP, SHOTS, Program, check, probe, run, windows_path, xdotool, WINE_RUN

CONTROLS_OF_A_FORM = ("", "QuenwickForm", "QuenwickHandOff")


def on_a_control(where):
    """The focus is on an enabled control of the main window, not on a window or nowhere."""
    return where[0] == "Quenwick" and where[1] not in CONTROLS_OF_A_FORM and where[3] == "1"


def mode(program):
    """The checked search mode and whether the number box and the date picker are enabled."""
    controls = program.controls()
    checked = {text: flag == "1" for _, text, _, flag in controls}
    edits = [enabled == "1" for kind, _, enabled, _ in controls if kind == "Edit"]
    pickers = [enabled == "1" for kind, _, enabled, _ in controls if kind == "SysDateTimePick32"]
    name = "number" if checked.get("Number of freshest files") else \
        "date" if checked.get("Files modified after") else \
        "changed" if checked.get("Changed since the last scan") else "none"
    return name, edits[1] if len(edits) > 1 else None, pickers[0] if pickers else None


def until(condition, seconds=20):
    end = time.time() + seconds
    while not condition():
        if time.time() > end:
            return False
        time.sleep(0.2)
    return True


def mode_by_keyboard(tree):
    program = Program("keys", tree)
    program.click(8 + 8, 136 + 8)  # "Files modified after", then back, with the mouse
    program.click(8 + 8, 80 + 8)
    program.click(8 + 100, 24 + 10)  # into the path box
    program.keys("Tab", "Tab", "Tab")
    check(program.focus()[2] == "Number of freshest files",
          "keys: after a mouse switch Tab reaches the checked mode (%r)" % (program.focus(),))
    expected = [("date", False, True), ("number", True, False), ("date", False, True), ("changed", False, False),
                ("date", False, True)]
    seen = []
    for key, wanted in zip(("Down", "Up", "Down", "Down", "Up"), expected):
        program.keys(key)
        until(lambda: mode(program) == wanted, 5)
        seen.append(mode(program))
    check(seen == expected, "keys: the arrow keys switch the mode five times in a row, each with its controls (%r)" % seen)
    program.click(8 + 100, 24 + 10)
    program.keys("Tab", "Tab", "Tab")
    check(program.focus()[2] == "Files modified after", "keys: Tab enters the modes at the checked one")
    program.shot("date-by-keys")
    program.close(expect_question=False)


def focus_after_start_and_picker(million):
    program = Program("focus", million)
    program.click(8 + 100, 24 + 10)
    for _ in range(12):  # past "...", subfolders, the mode, N and the filters
        if program.focus()[2] == "&Start":
            break
        program.keys("Tab")
    check(program.focus()[2] == "&Start", "focus: Tab reaches Start (%r)" % (program.focus(),))
    program.keys("space")
    code, text = program.status(windows_path(million) + "\\d0", 30000)
    check(code == 0, "focus: Space on Start starts a scan (%r)" % text)
    check(until(lambda: on_a_control(program.focus()) and program.focus()[2] != "&Start"),
          "focus: Start greys out and hands the focus to an enabled control (%r)" % (program.focus(),))
    before = program.focus()
    program.keys("Tab")
    check(on_a_control(program.focus()) and program.focus() != before, "focus: Tab goes on during the scan")
    program.shot("scanning")
    program.keys("alt+t")
    code, _ = probe("window", "Confirm", "5000")
    check(code == 0, "focus: Stop asks")
    program.keys("Return")
    program.status("Successfully processed")
    check(until(lambda: on_a_control(program.focus()) and mode(program)[1]),
          "focus: after the scan the focus is on an enabled control (%r)" % (program.focus(),))
    reached = False
    for _ in range(15):
        program.keys("Tab")
        if program.focus()[1] == "SysListView32":
            reached = True
            break
    check(reached, "focus: Tab reaches the results list after the scan")
    for answer in ("Escape", "Return"):  # Cancel, then OK on the folder the dialog shows
        program.click(8 + 100, 24 + 10)
        program.keys("Tab", "space")
        where = program.wait_focus("Browse for Folder")
        check(where[0] == "Browse for Folder", "picker: the folder dialog opens from the keyboard (%r)" % (where,))
        program.shot("picker")
        program.keys(answer)
        check(until(lambda: on_a_control(program.focus())),
              "picker, %s: the focus comes back to a control (%r)" % (answer, program.focus()))
        where = program.focus()
        program.keys("Tab")
        check(on_a_control(program.focus()) and program.focus() != where, "picker, %s: Tab works at once" % answer)
    program.close(expect_question=False)


def differing_pixels(program, what):
    """Pixels of the window that a full repaint changes: what the size change left wrong."""
    left, top, width, height = map(int, program.bounds()[:4])
    area = "%dx%d+%d+%d" % (width, height, max(left, 0), max(top, 0))
    before = program.shot(what)
    probe("redraw")
    time.sleep(1)
    after = program.shot(what + "-repainted")
    result = run("compare", "-metric", "AE", "-extract", area, before, after, "/dev/null")
    try:
        return int(float(result.stderr.decode().split()[0]))
    except (ValueError, IndexError):
        return -1


def repaint(tree):
    program = Program("paint", tree)
    program.keys("Return")
    program.status("Successfully processed")
    program.click(LIST_LEFT + 60, LIST_TOP + 30)  # a row: no caret blinks in the pictures
    width = int(program.bounds()[2])
    xdotool("windowsize", program.window, "760", "480")
    check(until(lambda: int(program.bounds()[2]) != width), "paint: the window grows")
    time.sleep(1)
    wrong = differing_pixels(program, "grown")
    check(wrong == 0, "paint: after growing, every control is drawn and nothing stale stays (%d pixels)" % wrong)
    left, top, width, height = map(int, program.bounds()[:4])
    # The size grip, in the status bar's corner.
    xdotool("mousemove", "--sync", str(program.x + width - 12), str(program.y + height - 31), "mousedown", "1")
    for step in range(1, 11):
        xdotool("mousemove", "--sync", str(program.x + width - 12 + 12 * step), str(program.y + height - 31 + 7 * step))
        time.sleep(0.05)
    xdotool("mouseup", "1")
    check(until(lambda: int(program.bounds()[2]) > width), "paint: the grip drags the window larger")
    time.sleep(1)
    wrong = differing_pixels(program, "dragged")
    check(wrong == 0, "paint: after dragging the grip, no trail is left (%d pixels)" % wrong)
    program.close(expect_question=False)


def placement(tree):
    program = Program("place", tree)
    xdotool("windowsize", program.window, "700", "430")
    check(until(lambda: int(program.bounds()[2]) > 600), "place: the window takes a size of its own")
    normal = program.bounds()[:4]
    for how in ("minimise", "maximise"):
        probe("show", how)
        check(until(lambda: program.bounds()[4:] == [how + "d"]), "place: the window is %sd" % how)
        probe("close")
        check(program.wait_exit() == 0, "place: closed while %sd, it ends with exit code 0" % how)
        program = Program("place-" + how, None, keep_settings=True)
        check(program.bounds() == normal + ["normal"],
              "place: closed %sd, it comes back at its size (%r, was %r)" % (how, program.bounds(), normal))
    program.close(expect_question=False)


def notepad_windows():
    found = xdotool("search", "--onlyvisible", "--name", " - Notepad$").split()
    return [xdotool("getwindowname", window) for window in found]


def list_keys(tree, files):
    # The prefix knows Notepad for .txt files as a new Windows does.
    run(WINE_RUN, "reg", "add", "HKLM\\Software\\Classes\\.txt", "/ve", "/d", "txtfile", "/f")
    program = Program("list", tree)
    program.keys("Return")
    program.status("Successfully processed")
    shown = files[:100]  # N is 100, newest first
    rows = [(LIST_TOP + 30, shown[0][1]), (LIST_TOP + 43, shown[1][1])]
    for how, (y, path) in zip(("Enter", "double click"), rows):
        program.click(LIST_LEFT + 60, y)
        if how == "Enter":
            program.keys("Return")
        else:
            xdotool("click", "--repeat", "2", "--delay", "80", "1")
        name = path.rsplit("\\", 1)[1]
        check(until(lambda: any(title.startswith(name) for title in notepad_windows())),
              "list: %s on a row opens its file (%r)" % (how, notepad_windows()))
        program.shot("opened")
        subprocess.run(["pkill", "-f", "notepad.exe"])
        until(lambda: not notepad_windows())
        xdotool("windowfocus", "--sync", program.window)
    code, text = program.status("Successfully processed", 500)
    check(code == 0, "list: the keys left the results where they were (%r)" % text)
    lines = program.copy_paths()
    check(lines == [path for _, path in shown], "list: Ctrl+A and Ctrl+C copy the path of every row (%d lines)" % len(lines))
    program.close(expect_question=False)


def dark_share(path, x, y, width, height):
    """The share of dark pixels (text, not grid lines) in a part of a picture of the list."""
    result = run("convert", path, "+repage", "-crop", "%dx%d+%d+%d" % (width, height, x, y), "-colorspace", "gray",
                 "-threshold", "50%", "-format", "%[fx:mean]", "info:")
    return 1.0 - float(result.stdout.decode() or 1)


def list_picture(program, name):
    """The list's area on the screen, at 96 pixels per inch: 383 by 205, with the row count and first row
    the probe reads just before and just after it: (path, before, after). Its name carries what was read
    before, so that two same pictures tell a list not redrawn (other rows read) from rows that did not
    come (the same rows read)."""
    before = program.rows("", 0)[1]
    count, _, first = before.partition("|")
    tag = re.sub(r"[^0-9A-Za-z]+", "-", "-".join(first.split("\\")[-2:])).strip("-")
    path = os.path.join(SHOTS, "%s-list-%s-%s-rows-%s.png" % (program.name, name, count or "no", tag or "none"))
    run("import", "-window", "root", "-crop", "383x205+%d+%d" % (program.x + LIST_LEFT, program.y + LIST_TOP), path)
    return path, before, program.rows("", 0)[1]


def same_picture(a, b):
    return run("compare", "-metric", "AE", a, b, "/dev/null").stderr.decode().split()[:1] == ["0"]


def drawn_anew(program, name, last, paused=False):
    """A picture of the list taken once it reads other rows than it did after the last picture. Rows come
    at the scan's pace, which a busy machine slows, and are drawn when the window gets to it: the picture
    waits for both (ten seconds at the most for the drawing) rather than for a time a machine overruns.
    Of a paused scan, the rows read just before and after the picture are the same: the last rows handed
    over before the pause may still be on their way."""
    picture = list_picture(program, name)
    end = time.time() + 10
    while ((last and picture[1] != last[2] and same_picture(last[0], picture[0])) or
           (paused and picture[1] != picture[2])) and time.time() < end:
        time.sleep(0.5)
        picture = list_picture(program, name)
    return picture


def drawn(path):
    """Column captions in the header and rows of text below it."""
    return dark_share(path, 2, 2, 360, 16) > 0.01 and dark_share(path, 2, 22, 360, 170) > 0.02


def live_list(rising):
    """While a scan fills the list, pictures of it show the header and rows; in the number mode, where
    every file of this tree enters the N newest, each picture shows other rows than the one before, also
    after Pause and Start. When the scan ends the focus is back on Start, so Enter starts the next one;
    a focus the user moved during a scan stays where it was put. How many pictures a scan gets does not
    hang on the machine's speed: the date mode's scan is paused after its first picture; the number
    mode's is paused as it starts and let on in steps of a few files, so that a busy machine cannot
    let the walk reach its end between two pictures."""
    for kind in ("number", "date"):
        program = Program("live-" + kind, rising)
        start = lambda: program.click(8 + 25, BUTTONS_TOP + 12)
        if kind == "number":
            check(program.start_paused(start), "live, number: the scan is paused as it starts")
            pictures = []  # (path, rows read before, rows read after) each
            for step in range(6):
                program.probe_step(pictures[-1][2] if pictures else "0|")
                pictures.append(drawn_anew(program, "step-%d" % step, pictures[-1] if pictures else None, paused=True))
        else:
            program.click(8 + 8, 136 + 8)
            program.click(24 + 45, 160 + 10)  # the year of "Files modified after": before the tree's
            program.keys("2", "0", "1", "9")
            start()
            program.rows("0|")  # the first rows
            pictures = [drawn_anew(program, "0", None)]
            program.rows(pictures[-1][2])
            program.keys("alt+p")
            program.counts("Paused: ")
            # Paused, the list stays drawn: these pictures are of one list.
            pictures.append(drawn_anew(program, "paused", pictures[-1], paused=True))
            pictures += [list_picture(program, "paused-%d" % step) for step in range(4)]
        program.keys("alt+s")
        if kind == "date":
            program.click(LIST_LEFT + 60, LIST_TOP + 30)  # into the list: the user's own move
        running = program.status("Successfully processed", 1)[0] != 0
        while running:
            program.rows(pictures[-1][2])
            pictures.append(drawn_anew(program, str(len(pictures)), pictures[-1]))
            running = program.status("Successfully processed", 1)[0] != 0
        pictures.pop()  # maybe taken after the end
        blank = [os.path.basename(p) for p, _, _ in pictures if not drawn(p)]
        check(len(pictures) >= 5 and not blank,
              "live, %s: %d pictures during the scan, each with header and rows (not: %r)" % (kind, len(pictures), blank))
        if kind == "number":
            same = ["%s (read %s) after %s (read %s): %s" % (os.path.basename(b[0]), b[1], os.path.basename(a[0]), a[2],
                                                            "not redrawn" if b[1] != a[2] else "no row came")
                    for a, b in zip(pictures, pictures[1:]) if same_picture(a[0], b[0])]
            check(not same, "live, number: each picture shows other rows than the one before (not: %r)" % same)
            check(until(lambda: program.focus()[2] == "&Start"),
                  "live, number: after the scan started by a click the focus is on Start (%r)" % (program.focus(),))
            program.keys("Return")
            code, text = program.status(windows_path(rising) + "\\r", 30000)
            check(code == 0 and program.process.poll() is None, "live, number: Enter starts the next scan (%r)" % text)
            program.status("Successfully processed")
        else:
            check(program.focus()[1] == "SysListView32", "live, date: the list keeps the focus the user gave it (%r)"
                  % (program.focus(),))
        program.close(expect_question=False)


def order_and_settings(tree):
    """Tab in reading order; the header's arrows and names in the shell's order (f 1, f 2, F 3, f 10),
    reversed by a second click; the counts; the mode and "Include subfolders" after a restart."""
    program = Program("order", tree)
    program.click(8 + 100, 24 + 10)  # the path box
    stops = []
    for _ in range(12):
        program.keys("Tab")
        stops.append(program.focus()[1:3])
    expected = [("Button", "..."), ("Button", "&Include subfolders"), ("Button", "Number of freshest files"),
                ("Edit", ""), ("Button", ""), ("ComboBox", ""), ("Edit", ""), ("Edit", ""), ("SysListView32", ""),
                ("Button", "&Start"), ("Button", "&Close"), ("Edit", "")]  # the probe reads buttons' captions only
    check(stops == expected, "order: Tab goes in reading order, Skip, Names and the list before the buttons (%r)" % stops)
    program.click(8 + 8, 136 + 8)  # "Files modified after": an hour before the start
    program.keys("alt+i", "Return")  # subfolders off, Start
    program.status("Successfully processed")
    code, text = program.counts("rows", 500)
    check(text == "4 files seen, 4 rows" and program.arrows() == ["none", "down"],
          "order: the counts leave out the subfolder (%r), Date/Time shows newest first (%r)" % (text, program.arrows()))
    names = [windows_path(os.path.join(tree, n)) for n in ("f 1.txt", "f 2.txt", "F 3.txt", "f 10.txt")]
    for arrows, lines in ((["up", "none"], names), (["down", "none"], names[::-1])):
        program.click(LIST_LEFT + 60, LIST_TOP + 8)  # the File header
        until(lambda: program.arrows() == arrows, 5)
        check(program.arrows() == arrows and program.copy_paths() == lines,
              "order: File clicked, its arrow %s and the names in the shell's order that way" % arrows[0])
    program.close(expect_question=False)
    stored = [program.settings().get(name) for name in ("ByDate", "Recursive")]
    check(stored == [("REG_DWORD", "0x1"), ("REG_DWORD", "0x0")], "order: the mode and subfolders are stored (%r)" % stored)
    program = Program("order-again", tree, keep_settings=True)
    checked = {text: flag == "1" for _, text, _, flag in program.controls()}
    check(mode(program) == ("date", False, True) and not checked.get("&Include subfolders"),
          "order: after a restart the date mode and subfolders off come back (%r)" % (mode(program),))
    program.close(expect_question=False)


def changed_mode(folder):
    """The changed mode chosen by the keyboard and run by F5 twice: the first scan is kept, the second
    lists a file written to and a new one in the counts and the list."""
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for name in ("kept.txt", "grows.txt"):
        with open(os.path.join(folder, name), "w") as file:
            file.write(name)
    program = Program("changed", folder)
    program.click(8 + 100, 24 + 10)  # the path box
    program.keys("Tab", "Tab", "Tab", "Down", "Down", "F5")
    code, text = program.counts("no earlier scan", 30000)
    check(code == 0 and mode(program)[0] == "changed",
          "changed: the keys choose the mode and F5 keeps the first scan (%r)" % text)
    with open(os.path.join(folder, "grows.txt"), "a") as file:
        file.write("more")
    with open(os.path.join(folder, "new.txt"), "w") as file:
        file.write("new")
    program.keys("F5")
    code, text = program.counts("1 new, 1 changed, 0 deleted, 0 moved since", 30000)
    rows = sorted(program.copy_paths())
    check(code == 0 and rows == [windows_path(os.path.join(folder, n)) for n in ("grows.txt", "new.txt")],
          "changed: the second scan lists the file written to and the new one (%r, %r)" % (text, rows))
    program.shot("listed")
    program.close(expect_question=False)
    shutil.rmtree(folder, ignore_errors=True)


def all_scenarios(tree, files, million, rising, order):
    changed_mode(os.path.join(os.path.dirname(order), "e2e-changed-%d" % os.getpid()))
    order_and_settings(order)
    live_list(rising)
    mode_by_keyboard(tree)
    focus_after_start_and_picker(million)
    repaint(tree)
    placement(tree)
    list_keys(tree, files)
