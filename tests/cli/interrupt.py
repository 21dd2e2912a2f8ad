#!/usr/bin/env python3
"""Ctrl+C during a scan from the command line: the console program stops, writes what it found so far
and ends with 130. Wine turns SIGINT into the console's Ctrl+C event, as a terminal's Ctrl+C.

    interrupt.py BUILD_DIR QUENWICK_COM

The tree has a folder link loop in each of its 3,000 folders, so standard error shows the scan going
on; the signal is sent once the first of those lines is there. Output goes through files: Wine's
helper processes may keep a pipe open after the program has ended.
"""
import os
import re
import signal
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts"))
from checks import check, display_of_its_own, finish, wait_for, windows_path

BUILD, COM = sys.argv[1:3]
FOLDERS, FILES_PER_FOLDER = 3000, 3


def main():
    # wine-run.sh would wrap the program in xvfb-run, which the signal would reach instead.
    with display_of_its_own():
        with tempfile.TemporaryDirectory() as top:
            tree = os.path.join(top, "tree")
            files = set()
            for f in range(FOLDERS):
                folder = os.path.join(tree, "d%04d" % f)
                os.makedirs(folder)
                os.symlink(".", os.path.join(folder, "self"))
                for k in range(FILES_PER_FOLDER):
                    path = os.path.join(folder, "f%d.txt" % k)
                    open(path, "w").close()
                    files.add(windows_path(path))
            out_path, err_path = os.path.join(top, "out"), os.path.join(top, "err")
            with open(out_path, "wb") as out, open(err_path, "wb") as err:
                # wine-run.sh ends in exec: the process signalled is the program itself.
                program = subprocess.Popen([os.path.join(BUILD, "wine-run.sh"), COM, "--within", "36500d",
                                            windows_path(tree)], stdin=subprocess.DEVNULL, stdout=out, stderr=err)
                try:
                    scanning = wait_for(lambda: os.path.getsize(err_path) > 0, 120)
                    check(scanning, "the scan reports its first looping folder")
                    program.send_signal(signal.SIGINT)
                    code = program.wait(timeout=60)
                except subprocess.TimeoutExpired:
                    code = None
                finally:
                    if program.poll() is None:
                        program.kill()
                        program.wait()
            check(code == 130, "it ends with 130 (%r)" % code)

            lines = open(out_path, "rb").read().decode("utf-8").split("\r\n")
            check(lines[-1] == "", "every line ends with CR LF")
            found = [line.split("\t") for line in lines[:-1]]
            check(all(len(f) == 2 and f[0] in files for f in found), "each line is a file of the tree and its time")
            check(len({f[0] for f in found}) == len(found), "no file is written twice")
            times = [f[1] for f in found if len(f) == 2]
            check(times == sorted(times, reverse=True), "newest first")
            check(len(found) < len(files), "it stopped early: %d of %d files" % (len(found), len(files)))

            logged = open(err_path, "rb").read().decode("utf-8").split("\r\n")
            pattern = re.compile(r"Z:.*\\d\d{4}\\self\\ - .* \(1921\)")
            check(logged[-1] == "" and all(pattern.fullmatch(line) for line in logged[:-1]),
                  "standard error holds the looping folders' lines and nothing else (no progress line)")
            check(0 < len(logged) - 1 < FOLDERS, "%d of %d looping folders reported" % (len(logged) - 1, FOLDERS))
    return finish()


if __name__ == "__main__":
    sys.exit(main())
