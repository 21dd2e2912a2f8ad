#!/usr/bin/env python3
"""The README's run command on a machine without a display: `bash scripts/run.sh FOLDER` with a Unix
folder, no DISPLAY and no Wine server running yet must show the main window, and its screenshot
must show that window painted, not a blank screen.

    run_without_display.py SOURCE_DIR BUILD_DIR
"""
import os
import subprocess
import sys
import tempfile

from checks import check, finish

ROOT, BUILD = sys.argv[1:3]


def magick(*command):
    return subprocess.run(command, capture_output=True, text=True).stdout.strip()


env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
env["QUENWICK_BUILD"] = BUILD
# As on a bare machine, the run command's first Wine program starts the prefix's Wine server; one
# left by an earlier test would keep the desktop of that test's display.
wine = dict(env, WINEPREFIX=os.path.join(BUILD, "wineprefix"))
try:
    subprocess.run(["wineserver", "-w"], env=wine, timeout=60)
except subprocess.TimeoutExpired:
    sys.exit("the build's Wine prefix is still in use after a minute")

with tempfile.TemporaryDirectory() as tmp:
    folder = os.path.join(tmp, "a folder")
    os.mkdir(folder)
    open(os.path.join(folder, "notes.txt"), "w").close()
    shot = os.path.join(tmp, "shot.png")
    log = os.path.join(tmp, "run.log")
    # Output through a file: Wine's helper processes may hold a pipe open.
    with open(log, "w") as out:
        code = subprocess.run(["bash", os.path.join(ROOT, "scripts", "run.sh"), folder],
                              env=dict(env, QUENWICK_SCREENSHOT=shot), stdout=out,
                              stderr=subprocess.STDOUT, timeout=240).returncode
    text = open(log).read()
    print(text, end="", flush=True)
    check(code == 0, "the run command ends with 0 (%d)" % code)
    check("Screenshot: " + shot in text, "it names the screenshot")
    com = os.path.join(BUILD, "quenwick.com")
    check("The console program: " + com in text and os.path.exists(com), "it builds quenwick.com and says where")
    if os.path.exists(shot):
        width, height, colours = map(int, magick("identify", "-format", "%w %h %k", shot).split())
        # The window's inside, at least its smallest, and not the virtual display's whole screen.
        check(width >= 300 and height >= 200 and (width, height) != (1024, 768),
              "the picture is the window (%dx%d)" % (width, height))
        check(colours > 8, "the picture has more than a few colours (%d)" % colours)
        # The window face is light grey; a screen without the window is black.
        mean = float(magick("convert", shot, "-colorspace", "Gray", "-format", "%[fx:mean]", "info:"))
        check(mean > 0.7, "the picture is mostly light (mean %.2f)" % mean)
    else:
        check(False, "the screenshot exists")

sys.exit(finish())
