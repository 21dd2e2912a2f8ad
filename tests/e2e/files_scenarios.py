"""The files handed on from the real window, as a user does it: the selection as other programs read
it, Ctrl+C read back by another process (also after the program has closed), two rows dragged onto
another process's window, Del to the trash with the system's question, and the shell's own menu.
"""
import os
import shutil
import subprocess
import time

from driver import BUILD, LIST_LEFT, LIST_TOP, PROBE, WINE_RUN, Program, check, probe, run, windows_path, xdotool
from window_scenarios import until

ROW_HEIGHT = 13  # at 96 pixels per inch
TARGET = (700 + 150, 100 + 100)  # the middle of the probe's drop target on the screen


def row_y(row):
    return LIST_TOP + 30 + ROW_HEIGHT * row


def make_files(root, count):
    """count files, newest first in the list: file 0 is the newest."""
    shutil.rmtree(root, ignore_errors=True)
    os.makedirs(root)
    now = int(time.time())
    paths = []
    for i in range(count):
        path = os.path.join(root, "file %d.txt" % i)
        with open(path, "w") as f:
            f.write("x" * i)
        os.utime(path, (now - 60 * i, now - 60 * i))
        paths.append(path)
    return paths


def selection():
    """What the list view tells another process: the selected count and the selected rows."""
    return probe("selection")[1].split()


def clipboard_files():
    code, text = probe("clipboard-files")
    return text.splitlines() if code == 0 else ["probe failed %d" % code]


def drag_rows_out(program):
    """Rows 3 and 4 dragged onto the probe's drop target: what it received."""
    target = subprocess.Popen([WINE_RUN, PROBE, "drop-target", "30000"], stdout=subprocess.PIPE)
    ready = target.stdout.readline().decode().strip()
    program.click(LIST_LEFT + 60, row_y(3))
    xdotool("keydown", "ctrl")
    program.click(LIST_LEFT + 60, row_y(4))
    xdotool("keyup", "ctrl")
    # A list view starts a drag only once it sees the pointer move within itself.
    x, y = program.x + LIST_LEFT + 60, program.y + row_y(4)
    xdotool("mousemove", "--sync", str(x), str(y), "mousedown", "1")
    for step in range(1, 5):
        xdotool("mousemove", "--sync", str(x + 3 * step), str(y))
        time.sleep(0.05)
    time.sleep(0.3)
    for step in range(1, 21):
        xdotool("mousemove", "--sync", str(x + (TARGET[0] - x) * step // 20), str(y + (TARGET[1] - y) * step // 20))
        time.sleep(0.05)
    time.sleep(0.3)
    program.shot("dragging")
    xdotool("mouseup", "1")
    try:
        out, _ = target.communicate(timeout=20)
    except subprocess.TimeoutExpired:
        target.kill()
        out, _ = target.communicate()
    return ready, out.decode("utf-8", "replace").splitlines()


def in_trash(trash, path):
    return os.path.exists(os.path.join(trash, "files", os.path.basename(path)))


def hands_on_files():
    root = os.path.abspath(os.path.join(BUILD, "e2e-files"))
    files = make_files(root, 7)
    shown = [windows_path(path) for path in files]
    # The trash the shell moves files to, kept inside the build tree.
    xdg = os.path.abspath(os.path.join(BUILD, "e2e-xdg"))
    shutil.rmtree(xdg, ignore_errors=True)
    os.makedirs(xdg)
    os.environ["XDG_DATA_HOME"] = xdg
    trash = os.path.join(xdg, "Trash")
    # The clipboard lives while some Wine process does: this one outlives the program.
    keeper = subprocess.Popen([WINE_RUN, PROBE, "window", "no such window", "120000"], stdout=subprocess.DEVNULL)

    program = Program("files", root)
    program.keys("Return")
    program.status("Successfully processed")
    program.click(LIST_LEFT + 60, row_y(0))
    xdotool("keydown", "shift")
    program.click(LIST_LEFT + 60, row_y(2))
    xdotool("keyup", "shift")
    check(selection() == ["3", "0", "1", "2"], "files: Shift+click, another process reads three rows selected (%r)"
          % selection())
    xdotool("keydown", "ctrl")
    program.click(LIST_LEFT + 60, row_y(5))
    xdotool("keyup", "ctrl")
    check(selection() == ["4", "0", "1", "2", "5"], "files: Ctrl+click adds its row (%r)" % selection())
    program.keys("ctrl+a")
    check(selection() == ["7"] + [str(i) for i in range(7)], "files: Select all, every row (%r)" % selection())
    check(program.counts("7 selected")[0] == 0, "files: the counts say how many are selected")

    program.click(LIST_LEFT + 60, row_y(0))
    xdotool("keydown", "shift")
    program.click(LIST_LEFT + 60, row_y(2))
    xdotool("keyup", "shift")
    program.keys("ctrl+c")
    copied = clipboard_files()
    check(copied == shown[:3] + ["effect 1"], "files: Ctrl+C, another process reads three files to copy (%r)" % copied)

    # Alt+Enter reaches the list as a key: Wine's system shows no properties, and a box says so.
    program.keys("alt+Return")
    boxed = until(lambda: program.focus()[1:3] == ("Button", "OK"), 15)
    program.shot("properties")
    program.keys("Return")
    check(boxed, "files: Alt+Enter, a box says the system showed no properties (%r)" % (program.focus(),))

    ready, dropped = drag_rows_out(program)
    check(ready == "ready" and dropped[:2] == shown[3:5] and len(dropped) == 3,
          "files: two rows dragged onto another process arrive as two files (%r, %r)" % (ready, dropped))

    # Del on one row: the system's question, then the file in the trash and its row gone.
    program.click(LIST_LEFT + 60, row_y(6))
    program.keys("Delete")
    asked = probe("window", "Confirm file deletion", "10000")[0] == 0
    program.shot("delete-question")
    program.keys("Return")
    check(asked and until(lambda: not os.path.exists(files[6]), 10) and in_trash(trash, files[6]),
          "files: Del, Yes: the file is in the trash, not in its folder")
    check(program.counts(", 6 rows")[0] == 0, "files: its row is gone (%r)" % (program.counts(", 6 rows"),))

    # Shift with the right button: the shell's own menu over the rows; its Delete does the same.
    program.click(LIST_LEFT + 60, row_y(5))
    xdotool("keydown", "shift")
    program.click(LIST_LEFT + 60, row_y(5), 3)
    xdotool("keyup", "shift")
    picture = program.shot("shell-menu")
    program.keys("d")  # "&Delete"
    asked = probe("window", "Confirm file deletion", "10000")[0] == 0
    program.keys("Return")
    check(asked and until(lambda: not os.path.exists(files[5]), 10) and in_trash(trash, files[5]),
          "files: the shell menu's Delete moves the file to the trash")
    check(program.counts(", 5 rows")[0] == 0, "files: and its row leaves the list")

    program.close(expect_question=False)
    after = clipboard_files()
    check(after == shown[:3] + ["effect 1"], "files: the copied files are still there after the program closed (%r)"
          % after)
    keeper.kill()
    return picture
