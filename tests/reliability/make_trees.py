#!/usr/bin/env python3
"""Makes the big and odd trees of the reliability and end-to-end tests on the Linux side, where it is
far faster than through Wine, and where names Windows calls cannot make (case-only twins) are possible.

    make_trees.py ROOT KIND...    KIND: million, rising, deep, names, special

Each tree is built under a temporary name and renamed when whole, so a tree that exists is complete;
an existing tree is kept. File times follow the formulas below, which the tests repeat.
"""
import os
import shutil
import sys

BASE = 1577836800  # 2020-01-01 00:00:00 UTC


def million(top):
    # 10 x 100 folders of 1,000 files; file i gets a distinct time, scattered over the tree.
    for a in range(10):
        for b in range(100):
            folder = os.path.join(top, "d%02d" % a, "e%02d" % b)
            os.makedirs(folder)
            for c in range(1000):
                i = a * 100000 + b * 1000 + c
                t = BASE + (i * 7919) % 1000003
                fd = os.open(os.path.join(folder, "f%04d.txt" % c), os.O_CREAT | os.O_WRONLY, 0o644)
                os.utime(fd, (t, t))
                os.close(fd)


def rising(top):
    # 300 folders of 1,000 empty files whose times rise in the order the walk meets them (Wine lists
    # a folder by name), so that in the number mode every file enters the N newest and pushes out an
    # older one: the most churn a ranking meets. File i of the walk is BASE + i seconds.
    for a in range(300):
        folder = os.path.join(top, "r%03d" % a)
        os.makedirs(folder)
        for c in range(1000):
            fd = os.open(os.path.join(folder, "g%04d.txt" % c), os.O_CREAT | os.O_WRONLY, 0o644)
            t = BASE + a * 1000 + c
            os.utime(fd, (t, t))
            os.close(fd)


def deep(top):
    # 2,000 nested folders "d", each with one file whose time is BASE plus its depth in minutes.
    os.makedirs(top)
    here = os.open(top, os.O_RDONLY)
    for level in range(2001):
        fd = os.open("f.txt", os.O_CREAT | os.O_WRONLY, 0o644, dir_fd=here)
        t = BASE + level * 60
        os.utime(fd, (t, t))
        os.close(fd)
        if level == 2000:
            break
        os.mkdir("d", dir_fd=here)
        below = os.open("d", os.O_RDONLY, dir_fd=here)
        os.close(here)
        here = below
    os.close(here)


NAMES = [
    "Case.txt", "case.txt", "CASE.TXT",          # case-only twins
    "\U0001F600 smile.txt", "\U0001D11Eclef.txt",  # outside the Basic Multilingual Plane
    "\u041f\u0440\u0438\u0432\u0435\u0442.txt",   # Cyrillic: outside code page 1252
    "\u65e5\u672c\u8a9e.txt",                     # CJK
    "caf\u00e9.txt",                              # inside code page 1252
    "plain.txt",
]


def names(top):
    # One file per name, file k at BASE plus k hours; the same names again in a subfolder.
    for folder in (top, os.path.join(top, "\u00c5 sub \U0001F4C1")):
        os.makedirs(folder)
        for k, name in enumerate(NAMES):
            path = os.path.join(folder, name)
            with open(path, "w") as f:
                f.write(name)
            t = BASE + k * 3600 + (len(folder) - len(top)) * 60
            os.utime(path, (t, t))


def special(top):
    # Entries that are not plain files or folders: a pipe, a socket, links to a file, to a device
    # and to nowhere, beside a plain file.
    import socket
    os.makedirs(top)
    os.mkfifo(os.path.join(top, "pipe"))
    server = socket.socket(socket.AF_UNIX)
    server.bind(os.path.join(top, "socket"))
    server.close()
    with open(os.path.join(top, "plain.txt"), "w") as f:
        f.write("plain")
    os.utime(os.path.join(top, "plain.txt"), (BASE, BASE))
    os.symlink("plain.txt", os.path.join(top, "to-file"))
    os.symlink("/dev/zero", os.path.join(top, "to-device"))
    os.symlink("/nonexistent/qnwk", os.path.join(top, "to-nowhere"))


def main():
    root = sys.argv[1]
    os.makedirs(root, exist_ok=True)
    for kind in sys.argv[2:]:
        final = os.path.join(root, kind)
        if os.path.isdir(final):
            continue
        partial = "%s.part-%d" % (final, os.getpid())
        globals()[kind](partial)
        try:
            os.rename(partial, final)
        except OSError:
            shutil.rmtree(partial)  # another run finished it first


if __name__ == "__main__":
    main()
