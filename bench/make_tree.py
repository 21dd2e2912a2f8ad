#!/usr/bin/env python3
"""Makes the benchmark's trees, the same every time (fixed seed).

T1  100,000 files in about 1,100 folders (wide)
T2  about 100,000 files in about 8,400 folders (narrow and deep)
T3  1,000,000 files
TR  100,000 files whose times rise in walk order, so every file qualifies in the number mode
TL  T1's files below a folder 280 characters below the tree's root, so every path passes 260
"""
import json
import math
import os
import shutil
import random
import sys

BASE_TIME = 1_600_000_000  # September 2020, whole seconds
SPAN = 5 * 365 * 86400


def wide(root, rng, folders_top, folders_sub, files_per_folder):
    made = 0
    for a in range(folders_top):
        for b in range(folders_sub):
            folder = os.path.join(root, f"d{a:03d}", f"s{b:03d}")
            os.makedirs(folder)
            for f in range(files_per_folder):
                made += touch(os.path.join(folder, f"f{f:04d}.dat"), rng)
    return made


def deep(root, rng, chains, depth, files_per_folder):
    made = 0
    for c in range(chains):
        folder = os.path.join(root, f"c{c:03d}")
        for level in range(depth):
            folder = os.path.join(folder, f"l{level:02d}")
            os.makedirs(folder)
            for f in range(files_per_folder):
                made += touch(os.path.join(folder, f"f{f:02d}.dat"), rng)
    return made


def touch(path, rng):
    with open(path, "wb"):
        pass
    t = BASE_TIME + rng.randrange(SPAN) + rng.randrange(1000) / 1000
    os.utime(path, (t, t))
    return 1


def rise_in_walk_order(root):
    """Gives the files rising times in the order a depth-first walk meets them. Wine lists a
    folder's entries sorted by name (the kernel's order differs), so that order is followed here."""
    t = BASE_TIME

    def walk(folder):
        nonlocal t
        with os.scandir(folder) as listing:
            entries = sorted(listing, key=lambda entry: entry.name)
            for entry in entries:
                if entry.is_dir(follow_symlinks=False):
                    walk(entry.path)
                else:
                    t += 1
                    os.utime(entry.path, (t, t))

    walk(root)


def survey(root):
    """Counts files and folders and reads every file's time, the way the walk will see them."""
    times, folders = [], 0
    pending = [root]
    while pending:
        with os.scandir(pending.pop()) as entries:
            for entry in entries:
                if entry.is_dir(follow_symlinks=False):
                    folders += 1
                    pending.append(entry.path)
                else:
                    times.append(entry.stat(follow_symlinks=False).st_mtime)
    return times, folders


def thresholds(times, shares):
    """Whole-second Unix times after which about each share of the files lies (strictly newer
    qualifies); the pickers of the window hold whole seconds, so the engine gets the same moments."""
    newest_first = sorted(times, reverse=True)
    result = {}
    for share in shares:
        k = math.ceil(share * len(newest_first))
        if k >= len(newest_first):
            result[str(share)] = math.floor(newest_first[-1]) - 1
        else:
            result[str(share)] = math.floor(newest_first[k])
    return result


def main():
    kind, root = sys.argv[1], sys.argv[2]
    if os.path.exists(root + ".json"):
        return
    if os.path.exists(root):
        # A run that was cut short: start again from nothing.
        shutil.rmtree(root)
    os.makedirs(root)
    rng = random.Random(20261207)
    if kind == "T1":
        made = wide(root, rng, 11, 100, 91)  # 1,100 leaf folders, 100,100 files
    elif kind == "T2":
        made = deep(root, rng, 350, 24, 12)  # 8,400 folders, 100,800 files
    elif kind == "T3":
        made = wide(root, rng, 100, 100, 100)  # 10,000 leaf folders, 1,000,000 files
    elif kind == "TL":
        below = os.path.join(root, *(f"{level}" + "l" * 54 for level in range(5)))
        made = wide(below, rng, 11, 100, 91)
    elif kind == "TR":
        made = wide(root, rng, 11, 100, 91)
        rise_in_walk_order(root)
    else:
        sys.exit(f"unknown tree {kind}")
    times, folders = survey(root)
    assert len(times) == made, (len(times), made)
    shares = (0.01, 0.5, 1.0)
    info = {"files": made, "folders": folders, "after": thresholds(times, shares)}
    after = info["after"]
    info["qualifying"] = {k: sum(1 for t in times if t > v) for k, v in after.items()}
    # Beside the tree, written last: the walk must not count it, and its presence means "complete".
    with open(root + ".json", "w") as out:
        json.dump(info, out, indent=1)
    print(f"{kind}: {made} files in {folders} folders in {root}")


if __name__ == "__main__":
    main()
