#!/usr/bin/env python3
"""Weighs the snapshot's cost in alternating rounds: each pair of cases one right after the other, the
order swapped every other round, and the median of the per-round ratios.

- T3, N=100: the engine keeping the scan's snapshot against the engine alone (target 1.10): written
  only, all the number mode needs.
- The changed mode against a snapshot with 1% of the files different: the generated tree of T3's
  shape (bench/generated_listing.h, --tops 10, a million files) as it is "later", compared with the
  snapshot of it as it was, against the plain scan of the same later tree (date mode, nothing
  newer), both from the start (the old snapshot read beside the walk) to the new one written (target
  1.20). The old
  snapshot is copied into place before every changed run.
- T3 in the changed mode with nothing changed, against the plain scan of T3 (no target; the real
  file system's share beside the generated tree's).

Prints every round, the median ratios, the snapshot's bytes a file and the peak memory
(PeakWorkingSetSize; "commit": PeakPagefileUsage). Round 0 warms up and is not counted.
bench_engine needs an X display. From the repository, with build-bench built:
  source scripts/virtual_display.sh; start_virtual_display
  python3 bench/snapshot_rounds.py --build build-bench [--t3 DIR] [--rounds 4]
"""
import argparse
import os
import shutil
import statistics
import sys

sys.dont_write_bytecode = True  # no __pycache__ left in the repository's bench folder
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import run as bench  # noqa: E402  the Wine runner and the tree maker of bench/run.py

NOTHING_NEWER = "4102444800"  # 2100: no file qualifies in the date mode
GENERATED = ("S:\\gen\\", "date", NOTHING_NEWER, "--generated", "--tops", "10", "--later")


def pairs(t3, snapshots, with_t3_changed, changed_t3=None):
    """(name, target, base case, measured case, made before each measured run); a case: (label, args)."""
    win = bench.windows_path(t3)
    newest = (win, "number", str(bench.N_SMALL))
    written = os.path.join(snapshots, "t3-written.qsnap")

    def remove_written():
        if os.path.exists(written):
            os.remove(written)

    result = [("T3 N=100 writing the snapshot", 1.10, ("engine N=100", newest),
               ("engine N=100 --snapshot", newest + ("--snapshot", bench.windows_path(snapshots) + "t3-written.qsnap")),
               remove_written)]
    before = os.path.join(snapshots, "generated-before.qsnap")
    work = os.path.join(snapshots, "generated-work.qsnap")
    result.append(("TG (a million files), changed mode, 1% different", 1.20, ("plain scan, nothing newer", GENERATED),
                   ("changed mode", GENERATED + ("--snapshot", bench.windows_path(snapshots) + "generated-work.qsnap",
                                                 "--changed")),
                   lambda: shutil.copyfile(before, work)))
    if changed_t3:
        tree_win = bench.windows_path(changed_t3)
        before_t3 = os.path.join(snapshots, "t3-before.qsnap")
        work_t3 = os.path.join(snapshots, "t3-work.qsnap")
        result.append(("T3 (a million files), changed mode, 1% different", 1.20,
                       ("plain scan, nothing newer", (tree_win, "date", NOTHING_NEWER)),
                       ("changed mode", (tree_win, "date", NOTHING_NEWER, "--snapshot",
                                         bench.windows_path(snapshots) + "t3-work.qsnap", "--changed")),
                       lambda: shutil.copyfile(before_t3, work_t3)))
    if with_t3_changed:
        t3_kept = bench.windows_path(snapshots) + "t3-changed.qsnap"
        result.append(("T3 changed mode, nothing changed", None, ("plain scan, nothing newer", (win, "date", NOTHING_NEWER)),
                       ("changed mode", (win, "date", NOTHING_NEWER, "--snapshot", t3_kept, "--changed")), None))
    return result


def change_one_percent(root):
    """Every hundredth file written again a day later and 4,096 bytes longer; of every hundredth folder's
    files one deleted, one moved to the folder before it, and one new file made beside them."""
    folders = sorted(dirpath for dirpath, _, files in os.walk(root) if files)
    changed = deleted = moved = new = 0
    for number, folder in enumerate(folders):
        names = sorted(os.listdir(folder))
        for k, name in enumerate(names):
            if (number * len(names) + k) % 100 == 0:
                path = os.path.join(folder, name)
                stat = os.stat(path)
                with open(path, "ab") as file:
                    file.write(b"x" * 4096)
                os.utime(path, (stat.st_atime, stat.st_mtime + 86400))
                changed += 1
        if number % 100 == 1:
            # The new file before the deletion, whose inode it would otherwise be given.
            with open(os.path.join(folder, "new.txt"), "w") as file:
                file.write("new")
            os.remove(os.path.join(folder, names[1]))
            os.rename(os.path.join(folder, names[2]), os.path.join(folders[number - 1], "moved-" + names[2]))
            deleted, moved, new = deleted + 1, moved + 1, new + 1
    return f"{changed} changed, {deleted} deleted, {moved} moved, {new} new"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True, help="the benchmark build tree, e.g. build-bench")
    parser.add_argument("--cache", default="/tmp/quenwick-bench", help="where T3 is made if --t3 is not given")
    parser.add_argument("--t3", help="a T3-shaped tree of a million files to use instead of the cache's")
    parser.add_argument("--rounds", type=int, default=4, help="counted rounds after the warm-up (4)")
    parser.add_argument("--no-t3-changed", action="store_true", help="leave out the changed mode on T3")
    parser.add_argument("--changed-t3", help="a folder to make a T3 of its own in, snapshot, and change 1%% of")
    parser.add_argument("--timeout", type=float, default=600.0, help="seconds before one run is given up")
    options = parser.parse_args()
    if not os.environ.get("DISPLAY"):
        sys.exit("no DISPLAY: bench_engine needs one; see the start of bench/snapshot_rounds.py")
    runner = bench.Runner(os.path.abspath(options.build), options.cache, options.rounds, float("inf"),
                          options.timeout)
    t3 = options.t3
    if not t3:
        bench.make_tree(options.cache, "T3")
        t3 = os.path.join(options.cache, "T3")
    snapshots = os.path.join(options.cache, "snapshots")
    os.makedirs(snapshots, exist_ok=True)
    for name in os.listdir(snapshots):
        os.remove(os.path.join(snapshots, name))
    # The old snapshot of the generated tree: the tree as it was, kept once.
    first = bench.run_case(runner, ("before", "", "bench_engine",
                                    ("S:\\gen\\", "date", NOTHING_NEWER, "--generated", "--tops", "10",
                                     "--snapshot", bench.windows_path(snapshots) + "generated-before.qsnap",
                                     "--changed")), {})
    print(f"generated tree as it was: {first['snapshot_files']} files, {first['snapshot_bytes']} bytes",
          file=sys.stderr, flush=True)

    changed_t3 = None
    if options.changed_t3:
        bench.make_tree(options.changed_t3, "T3")
        changed_t3 = os.path.join(options.changed_t3, "T3")
        stamp = os.path.join(options.changed_t3, "T3-changed")
        before = os.path.join(snapshots, "t3-before.qsnap")
        if os.path.exists(stamp):
            sys.exit(f"{changed_t3} was changed by an earlier run; remove {options.changed_t3} to make it again")
        first = bench.run_case(runner, ("before", "", "bench_engine",
                                        (bench.windows_path(changed_t3), "date", NOTHING_NEWER, "--snapshot",
                                         bench.windows_path(snapshots) + "t3-before.qsnap", "--changed")), {})
        print(f"T3 as it was: {first['snapshot_files']} files", file=sys.stderr, flush=True)
        print(f"T3 changed: {change_one_percent(changed_t3)}", file=sys.stderr, flush=True)
        open(stamp, "w").close()
        assert os.path.exists(before)

    summary = []
    for name, target, base, measured, prepare in pairs(t3, snapshots, not options.no_t3_changed, changed_t3):
        rounds = []
        for number in range(options.rounds + 1):
            order = (base, measured) if number % 2 == 0 else (measured, base)
            got = {}
            for label, arguments in order:
                if label == measured[0] and prepare:
                    prepare()
                got[label] = bench.run_case(runner, (label, "", "bench_engine", arguments), {})
            ratio = float(got[measured[0]]["seconds"]) / float(got[base[0]]["seconds"])
            print(f"  {name}, round {number}{' (warm-up)' if number == 0 else ''}: {base[0]} "
                  f"{float(got[base[0]]['seconds']):.3f} s, {measured[0]} {float(got[measured[0]]['seconds']):.3f} s"
                  f" (read {float(got[measured[0]]['read_seconds']):.3f}, end {float(got[measured[0]]['end_seconds']):.3f}),"
                  f" ratio {ratio:.3f}; counted {got[measured[0]]['files']} files; new {got[measured[0]]['new']},"
                  f" changed {got[measured[0]]['changed']}, deleted {got[measured[0]]['deleted']},"
                  f" moved {got[measured[0]]['moved']}", flush=True)
            if number > 0:
                rounds.append((ratio, got[base[0]], got[measured[0]]))
        summary.append((name, target, base[0], measured[0], rounds))

    print()
    print(f"Median of {options.rounds} alternating rounds after a warm-up:")
    for name, target, base, measured, rounds in summary:
        ratios = [r for r, _, _ in rounds]
        middle = statistics.median(ratios)
        last = rounds[-1][2]
        per_file = int(last["snapshot_bytes"]) / int(last["snapshot_files"])
        base_peak = max(float(b["peak_mb"]) for _, b, _ in rounds)
        peak = max(float(m["peak_mb"]) for _, _, m in rounds)
        commit = max(float(m["peak_commit_mb"]) for _, _, m in rounds)
        base_commit = max(float(b["peak_commit_mb"]) for _, b, _ in rounds)
        verdict = "" if target is None else f" (target at most {target}: {'met' if middle <= target else 'MISSED'})"
        print(f"- {name}: {measured} / {base}: median ratio {middle:.3f}{verdict}; per round "
              f"{', '.join(f'{r:.3f}' for r in ratios)}; median s {statistics.median(float(b['seconds']) for _, b, _ in rounds):.3f}"
              f" against {statistics.median(float(m['seconds']) for _, _, m in rounds):.3f}; snapshot "
              f"{int(last['snapshot_bytes']):,} bytes, {per_file:.1f} bytes a file; peak {peak:.0f} MB (commit "
              f"{commit:.0f} MB) against {base_peak:.0f} MB (commit {base_commit:.0f} MB)")
    print()
    # The README's table: each pair's base, then the case with the median of the per-round ratios.
    rows = []
    for name, target, base, measured, rounds in summary:
        tree = name.split()[0]
        for label, which in ((base, 1), (measured, 2)):
            runs = [r[which] for r in rounds]
            seconds = statistics.median(float(r["seconds"]) for r in runs)
            middle = 1.0 if which == 1 else statistics.median(r for r, _, _ in rounds)
            notes = f"{int(max(float(r['rows']) for r in runs)):,} rows"
            if which == 2:
                last = runs[-1]
                notes += (f", {int(last['snapshot_bytes']) / int(last['snapshot_files']):.1f} bytes a file, commit "
                          f"{max(float(r['peak_commit_mb']) for r in runs):.0f} MB, read "
                          f"{statistics.median(float(r['read_seconds']) for r in runs):.2f} s")
                if last["compared"] == "yes":
                    notes += (f", {last['new']} new, {last['changed']} changed, {last['deleted']} deleted, "
                              f"{last['moved']} moved")
            rows.append((tree, name if which == 2 else label, bench.number(seconds, 3), bench.number(middle),
                         bench.number(max(float(r["reply_ms"]) for r in runs), 1),
                         bench.number(max(float(r["peak_mb"]) for r in runs), 0), notes))
    bench.print_table(("tree", "case", "median s", "ratio", "reply ms", "peak MB", "notes"), rows)


if __name__ == "__main__":
    main()
