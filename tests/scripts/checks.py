"""What the test scripts share: named checks, counted, and the summing-up that gives the exit code;
waiting for a condition; an X display of their own when none is set."""
import contextlib
import os
import subprocess
import time

failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures.append(what)
    return condition


def finish():
    print("%d failed" % len(failures) if failures else "all passed")
    return 1 if failures else 0


def windows_path(unix_path):
    return "Z:" + unix_path.replace("/", "\\")


def wait_for(condition, seconds):
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            return False
        time.sleep(0.02)
    return True


@contextlib.contextmanager
def display_of_its_own():
    """Starts Xvfb on a free display when DISPLAY is unset, and ends it afterwards."""
    if os.environ.get("DISPLAY"):
        yield
        return
    display = next(n for n in range(90, 130) if not os.path.exists("/tmp/.X11-unix/X%d" % n))
    xvfb = subprocess.Popen(["Xvfb", ":%d" % display, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"])
    os.environ["DISPLAY"] = ":%d" % display
    try:
        wait_for(lambda: os.path.exists("/tmp/.X11-unix/X%d" % display), 5)
        yield
    finally:
        xvfb.kill()
