#!/usr/bin/env python3
"""The package for Windows users: `bash scripts/package.sh FOLDER` makes quenwick-<version>-win64.zip
named after the executable's own version record, holding the window program, the console program
beside it and their text, and prints the package's SHA-256. Neither needs a run-time library beside it.

    package_zip.py SOURCE_DIR BUILD_DIR
"""
import hashlib
import os
import struct
import subprocess
import sys
import tempfile
import zipfile

from checks import check, finish

ROOT, BUILD = sys.argv[1:3]


def file_version(exe):
    data = open(exe, "rb").read()
    at = data.find(struct.pack("<I", 0xFEEF04BD))
    if at < 0:
        sys.exit("no version record in " + exe)
    high, low = struct.unpack_from("<II", data, at + 8)
    return "%d.%d.%d.%d" % (high >> 16, high & 0xFFFF, low >> 16, low & 0xFFFF)


exe = os.path.join(BUILD, "quenwick.exe")
with tempfile.TemporaryDirectory() as out:
    result = subprocess.run(["bash", os.path.join(ROOT, "scripts", "package.sh"), out],
                            env=dict(os.environ, QUENWICK_BUILD=BUILD), capture_output=True, text=True)
    print(result.stdout + result.stderr, end="")
    check(result.returncode == 0, "the package script ends with 0")
    name = "quenwick-%s-win64.zip" % file_version(exe)
    check(os.listdir(out) == [name], "the output folder holds %s alone: %s" % (name, os.listdir(out)))
    package = os.path.join(out, name)
    if os.path.exists(package):
        digest = hashlib.sha256(open(package, "rb").read()).hexdigest()
        check("SHA-256: " + digest in result.stdout, "it prints the package's SHA-256")
        with zipfile.ZipFile(package) as archive:
            check(sorted(archive.namelist()) == ["README.txt", "quenwick.com", "quenwick.exe"],
                  "the package holds quenwick.exe, quenwick.com and README.txt: %s" % archive.namelist())
            for program in ("quenwick.exe", "quenwick.com"):
                check(archive.read(program) == open(os.path.join(BUILD, program), "rb").read(),
                      "it holds the built " + program)
            check(archive.read("README.txt") == open(os.path.join(ROOT, "docs", "windows-readme.txt"), "rb").read(),
                  "its README.txt is the text for Windows users")
        for program in ("quenwick.exe", "quenwick.com"):
            imports = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", os.path.join(BUILD, program)],
                                     capture_output=True, text=True).stdout
            dlls = sorted({line.split()[-1].lower() for line in imports.splitlines() if "DLL Name:" in line})
            check(bool(dlls) and not [d for d in dlls if d.startswith("lib")],
                  "%s imports only system libraries: %s" % (program, dlls))

sys.exit(finish())
