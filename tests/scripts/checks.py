"""What the test scripts share: named checks, counted, and the summing-up that gives the exit code."""

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
