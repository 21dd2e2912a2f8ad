#!/usr/bin/env python3
"""Runs every benchmark case side by side and prints one table of medians, ratios and peak memory.

Every case runs once to warm up and then --runs times; the rounds go case after case, so that all
cases of a tree see the same machine. Times come from QueryPerformanceCounter inside the Wine
processes (the Linux baseline is timed around its pipeline); ratios are to the median of the bare
walker on the same tree. TS is a simulated network share (bench/share_listing.h), walked by the
engine with 0, 1, 2, 4 and 8 listers; its ratios are to the walk with none.
"""
import argparse
import json
import os
import platform
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
TREES = ("T1", "TL", "T2", "TR", "T3", "TS", "TG")
SHARE_LISTERS = (0, 1, 2, 4, 8)
N_SMALL, N_LARGE = 100, 10_000
SHARES = ("0.01", "0.5", "1.0")
# Names, masks and paths from a drive, from the root and with ** that no folder of T1 matches.
SKIP_NOTHING = ("node_modules; .git; .svn; __pycache__; *.tmp; cache*; Temp; obj; bin; out*; ?x?; target; "
                "**\\AppData\\Local; **\\obj\\Debug; build\\out; /dist; C:\\Windows; \\\\server\\share\\*; "
                "Z:\\nowhere\\**; d0*\\x*")
SCAN_PEAKS = {}  # tree -> the window's peak with every row, before the operations


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\") + "\\"


class Runner:
    def __init__(self, build, cache, runs, slow_limit, timeout):
        self.build, self.cache = build, cache
        self.runs, self.slow_limit, self.timeout = runs, slow_limit, timeout
        self.wine = os.path.join(build, "wine-run.sh")
        self.exe = {name: os.path.join(build, "bench", name + ".exe")
                    for name in ("bench_walk", "bench_engine", "bench_launch", "bench_window", "bench_wine_costs",
                                 "bench_cli")}

    def wine_result(self, exe, *args):
        # Now and then a case has ended with exit code 1 and no output at all, and then ran clean a dozen
        # times alone: such a run is said and tried once more; a second failure ends the benchmark.
        for attempt in (1, 2):
            done = subprocess.run([self.wine, self.exe[exe], *args], capture_output=True, text=True,
                                  timeout=self.timeout)
            for line in done.stdout.splitlines():
                if line.startswith("result "):
                    return dict(field.split("=", 1) for field in line.split()[1:])
            failure = f"{exe} {' '.join(args)} gave no result (exit code {done.returncode}):\n{done.stdout}\n{done.stderr}"
            if attempt == 1:
                print("  run again: " + failure, file=sys.stderr, flush=True)
        raise RuntimeError(failure)

    def find_result(self, root, n):
        """What a Linux user would type; its peak is that of the largest process of the pipeline."""
        command = f"find {root} -type f -printf '%T@ %p\\n' | sort -rn | head -{n}"
        start = time.perf_counter()
        process = subprocess.Popen(["sh", "-c", command], stdout=subprocess.PIPE)
        lines = process.stdout.read().count(b"\n")
        _, status, usage = os.wait4(process.pid, 0)
        seconds = time.perf_counter() - start
        process.returncode = status
        return {"seconds": seconds, "rows": lines, "peak_mb": usage.ru_maxrss / 1024}


def make_tree(cache, name):
    subprocess.run([sys.executable, os.path.join(HERE, "make_tree.py"), name, os.path.join(cache, name)],
                   check=True)
    with open(os.path.join(cache, name + ".json")) as info:
        return json.load(info)


def cases_of(tree, info, root):
    """(label, kind, program, arguments); kind says which target the case counts for."""
    win = windows_path(root)
    after = info["after"]
    if tree == "TL":  # paths past 260 characters, against T1's figures
        return [("bare walker", "walk", "bench_walk", (win,)),
                (f"engine N={N_SMALL}", f"engine-n{N_SMALL}", "bench_engine", (win, "number", str(N_SMALL)))]
    cases = [("bare walker", "walk", "bench_walk", (win,)),
             ("listed-ahead walker, the program's listers", "walk-ahead", "bench_walk", (win, "auto")),
             (f"find | sort -rn | head -{N_SMALL}", "find", None, (root, N_SMALL)),
             ("cmd /c dir /s /b /o:-d", "dir", "bench_launch", (f"cmd /c dir /s /b /o:-d {win}",)),
             (f"engine N={N_SMALL}, no listers", f"engine0-n{N_SMALL}", "bench_engine",
              (win, "number", str(N_SMALL), "--listers", "0"))]
    for who, program in (("engine", "bench_engine"), ("window", "bench_window")):
        cases.append((f"{who} N={N_SMALL}", f"{who}-n{N_SMALL}", program, (win, "number", str(N_SMALL))))
        cases.append((f"{who} N={N_LARGE:,}", f"{who}-n{N_LARGE}", program, (win, "number", str(N_LARGE))))
        if who == "window" and tree == "TR":
            # Every file of TR enters the ranking, so after the click each deletion meets a sorted list.
            cases.append((f"window N={N_LARGE:,}, sorted by name once it holds {N_LARGE:,} rows",
                          f"window-n{N_LARGE}-sorted", program,
                          (win, "number", str(N_LARGE), "--sort-name-at", str(N_LARGE))))
        for share in SHARES:
            arguments = (win, "date", str(after[share]))
            if who == "window" and tree == "T3" and share == "1.0":
                arguments += ("--operations",)
            cases.append((f"{who} date {float(share):.0%}", f"{who}-d{share}", program, arguments))
    # The command-line scan, against the engine row of the same mode: the hundred newest of T3, and
    # every file of T1, each written to a file.
    out = os.path.join(os.path.dirname(root), f"cli-{tree}.txt")
    if tree == "T3":
        cases.append((f"command line --newest {N_SMALL} --out", f"cli-n{N_SMALL}", "bench_cli",
                      ("--newest", str(N_SMALL), "--out", windows_path(out).rstrip("\\"), win)))
    if tree == "T1":
        cases.append(("command line --within, every file", "cli-d1.0", "bench_cli",
                      ("--within", "36500d", "--out", windows_path(out).rstrip("\\"), win)))
        # The filters, against the engine N=100 row: six of the eleven top folders skipped by name,
        # twenty patterns of every kind that match no folder, a mask that takes one file name of the
        # 91 in each folder, and the later of the two times.
        for label, kind, option in (("skip 6 of 11 top folders", "filter-skip", ("--skip", "d000;d002;d004;d006;d008;d010")),
                                    ("20 skip patterns matching nothing", "filter-skip20", ("--skip", SKIP_NOTHING)),
                                    ("mask taking 1.1% of the files", "filter-mask", ("--name", "f0007.*")),
                                    ("time: later of modified and created", "filter-either", ("--time", "either"))):
            cases.append((f"engine N={N_SMALL}, {label}", kind, "bench_engine", (win, "number", str(N_SMALL)) + option))
    return cases


def share_cases():
    """The engine on the simulated share, N=100, with each number of listers, the first the base, and
    with the number the program takes for a share (a UNC path)."""
    root = "\\\\sim\\share\\"
    return [(f"share, {n} lister{'s' if n > 1 else ''}" if n else "share, no listers", f"share-{n}", "bench_engine",
             (root, "number", str(N_SMALL), "--share", "--listers", str(n))) for n in SHARE_LISTERS] + \
           [("share, the program's listers", "share-auto", "bench_engine", (root, "number", str(N_SMALL), "--share"))]


def generated_cases():
    """Ten million generated files (bench/generated_listing.h), every one qualifying in the date mode,
    walked by the engine into sinks that do nothing, the base, and into the results list's row store."""
    root = "S:\\gen\\"
    return [("generated, sinks that do nothing", "gen-null", "bench_engine", (root, "date", "0", "--generated")),
            ("generated, the row store", "gen-store", "bench_engine", (root, "date", "0", "--generated", "--store"))]


def run_case(runner, case, results):
    label, kind, program, arguments = case
    try:
        if program is None:
            result = runner.find_result(*arguments)
        else:
            result = runner.wine_result(program, *arguments)
    except subprocess.TimeoutExpired:
        result = {"seconds": float("inf"), "timeout": "yes"}
    results.setdefault(label, []).append(result)
    return result


def ratio(seconds, walk):
    finite = lambda v: v is not None and v not in (float("inf"), 0)
    return seconds / walk if finite(seconds) and finite(walk) else None


def median_of(results, key):
    values = [float(r[key]) for r in results if key in r]
    return statistics.median(values) if values else None


def largest(results, key):
    values = [float(r[key]) for r in results if key in r]
    return max(values) if values else None


def number(value, digits=2):
    if value is None:
        return "n/a"
    if value == float("inf"):
        return "timeout"
    return f"{value:.{digits}f}"


def print_table(header, rows):
    """A Markdown table, its columns as wide as their widest cell."""
    table = [[c.replace("|", "\\|") for c in map(str, row)] for row in [header] + rows]  # a pipe splits a cell
    widths = [max(len(row[i]) for row in table) for i in range(len(header))]
    for number_of_row, row in enumerate(table):
        print("| " + " | ".join(c.ljust(w) for c, w in zip(row, widths)) + " |")
        if number_of_row == 0:
            print("|" + "|".join("-" * (w + 2) for w in widths) + "|")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True)
    parser.add_argument("--cache", required=True)
    parser.add_argument("--runs", type=int, default=5, help="timed runs after the warm-up (5)")
    parser.add_argument("--trees", default=",".join(TREES), help="which trees, e.g. T1,TR")
    parser.add_argument("--quick", action="store_true", help="T1, TR and TS, one timed run each: a check, not a result")
    parser.add_argument("--slow-limit", type=float, default=60.0,
                        help="a case whose warm-up takes longer than this many seconds is timed by that run alone")
    parser.add_argument("--timeout", type=float, default=600.0, help="seconds before one run is given up")
    parser.add_argument("--json", help="also write every measurement here")
    parser.add_argument("--busy", action="store_true",
                        help="one CPU-bound process runs beside the cases for the whole run, as on a user's busy machine")
    options = parser.parse_args()
    if options.quick:
        options.trees, options.runs = "T1,TR,TS", 1
    trees = [t for t in options.trees.split(",") if t]
    os.makedirs(options.cache, exist_ok=True)
    need_mb = 700 if "T3" in trees else 100
    free_mb = shutil.disk_usage(options.cache).free / 2**20
    if free_mb < need_mb:
        sys.exit(f"{options.cache} has {free_mb:.0f} MB free; the trees need about {need_mb} MB")

    runner = Runner(options.build, options.cache, options.runs, options.slow_limit, options.timeout)
    busy = subprocess.Popen([sys.executable, "-c", "while True: pass"]) if options.busy else None
    try:
        run_all(options, trees, runner, busy is not None)
    finally:
        if busy:
            busy.kill()


def run_all(options, trees, runner, busy):
    # Wine's first start after the prefix was made can take long: not part of any case.
    subprocess.run([runner.wine, runner.exe["bench_walk"], windows_path(HERE)], capture_output=True, timeout=300)
    everything = {}
    rows = []
    for tree in trees:
        if tree == "TS":
            info, cases = {"files": 100100}, share_cases()
        elif tree == "TG":
            info, cases = {"files": 10_000_000}, generated_cases()
        else:
            info = make_tree(options.cache, tree)
            cases = cases_of(tree, info, os.path.join(options.cache, tree))
            if busy:  # the outside tools are the idle run's yardstick; here only the program is weighed
                cases = [case for case in cases if case[1] not in ("find", "dir")]
        results = {}
        once = set()
        for round_number in range(options.runs + 1):
            for case in cases:
                label = case[0]
                if label in once:
                    continue
                result = run_case(runner, case, results)
                print(f"  {tree} round {round_number} {label}: {number(float(result['seconds']), 3)} s",
                      file=sys.stderr, flush=True)
                if round_number == 0:
                    if float(result["seconds"]) > options.slow_limit:
                        once.add(label)  # the caches are warm already: this run is its one measurement
                    else:
                        results[label].pop()  # the warm-up
        everything[tree] = {"info": info, "results": results}
        walk = median_of(results[cases[0][0]], "seconds")
        for label, kind, _, _ in cases:
            measured = results[label]
            seconds = median_of(measured, "seconds")
            notes = []
            rows_seen = largest(measured, "rows")
            if rows_seen is not None and kind != "find":
                notes.append(f"{int(rows_seen):,} rows")
            if kind.startswith("window") and any(r.get("sorted") == "no" for r in measured):
                notes.append("NOT SORTED")
            files = largest(measured, "files")
            if files is not None and int(files) != info["files"]:
                notes.append(f"counted {int(files):,} files")
            scan_peak = largest(measured, "scan_peak_mb")
            if scan_peak is not None:
                notes.append(f"peak {scan_peak:.0f} MB before the operations")
                SCAN_PEAKS[tree] = scan_peak
            store = largest(measured, "store_bytes")
            if store is not None and rows_seen:
                notes.append(f"{store / rows_seen:.1f} bytes a row in the store")
            listers = largest(measured, "listers")
            if listers:
                notes.append(f"{int(listers)} lister{'s' if listers > 1 else ''}")
            ahead = largest(measured, "ahead_folders")
            if ahead:
                notes.append(f"ahead at most {int(ahead)} folders, {int(largest(measured, 'ahead_entries')):,} entries")
            if len(measured) < options.runs:
                notes.append(f"{len(measured)} run")
            rows.append((tree, label, kind, seconds, ratio(seconds, walk),
                         largest(measured, "reply_ms"), largest(measured, "peak_mb"), ", ".join(notes)))
        if tree == "T3":
            label = "window date 100%"
            for operation in ("sort_by_time", "sort_by_name", "sort_by_name_reversed", "select_all", "copy",
                              "copy_files", "drag_start"):
                seconds = median_of(results[label], operation + "_seconds")
                note = "the list view's own selection, a row at a time under Wine" if operation == "select_all" else ""
                rows.append((tree, "  then " + operation.replace("_", " "), "op-" + operation, seconds,
                             ratio(seconds, walk), largest(results[label], operation + "_reply_ms"),
                             largest(results[label], operation + "_peak_mb"), note))

    print()
    if busy:
        print("Busy machine: one CPU-bound process ran beside every case.")
    print(f"Quenwick benchmark: median of {options.runs} runs after a warm-up; ratio to the bare walker "
          f"on the same tree (TS: to the share walked without listers); reply: the longest wait for the "
          f"window's answer, any run; peak: largest run.")
    print(f"Machine: {platform.machine()}, {os.cpu_count()} cores, {cpu_name()}, {memory_gb():.0f} GB, "
          f"{wine_version()}, {platform.system()} {platform.release()}")
    print()
    header = ("tree", "case", "median s", "ratio", "reply ms", "peak MB", "notes")
    print_table(header, [(t, l, number(s, 3), number(r), number(m, 1), number(p, 0), n)
                         for t, l, _, s, r, m, p, n in rows])
    print()
    for line in target_lines(rows, busy):
        print(line)
    print()
    costs = runner.wine_result("bench_wine_costs")
    everything["wine_costs"] = costs
    print("Single calls under Wine, in a minimal program (bench/wine_costs.cpp), once:")
    for key, value in costs.items():
        if key != "chars":
            print(f"- {key.replace('_', ' ')}: {float(value):.3f}")
    if options.json:
        with open(options.json, "w") as out:
            json.dump(everything, out, indent=1)


def target_lines(rows, busy):
    """Each target with its worst measured figure."""
    lines = []

    def check(what, values, limit, unit=""):
        values = [v for v in values if v is not None]
        if not values:
            return
        worst = max(values)
        verdict = "met" if worst <= limit else "MISSED"
        lines.append(f"- {what}: worst {worst:.2f}{unit} (target at most {limit}{unit}): {verdict}")

    by = lambda test: [r for r in rows if test(r)]

    def ratio_of(tree, kind):
        found = [r[4] for r in rows if r[0] == tree and r[2] == kind]
        return found[0] if found and found[0] is not None else None

    for tree, limit in (("T1", 0.90), ("T2", 0.70)) if not busy else (("T1", 1.0), ("T2", 1.0), ("TR", 1.0), ("T3", 1.0)):
        check(f"listed-ahead walker on {tree}, ratio", [ratio_of(tree, "walk-ahead")], limit)
    # Listing ahead should lower the engine and the window by the factor it lowers the walker.
    for tree in ("T1", "T2", "TR", "T3"):
        ahead = ratio_of(tree, "walk-ahead")
        if ahead is None:
            continue
        check(f"engine on {tree}, every mode, ratio, improved as the walker",
              [r[4] for r in by(lambda r: r[0] == tree and r[2].startswith("engine-"))], round(1.10 * ahead, 2))
        check(f"window N={N_SMALL} on {tree}, ratio, improved as the walker",
              [r[4] for r in by(lambda r: r[0] == tree and r[2] == f"window-n{N_SMALL}")], round(1.15 * ahead, 2))
    for listers, least in ((8, 4.0), (2, 1.8)):
        share = ratio_of("TS", f"share-{listers}")
        if share:
            lines.append(f"- simulated share, {listers} listers: {1 / share:.2f} times as fast as without "
                         f"(target at least {least}): {'met' if 1 / share >= least else 'MISSED'}")
    # The command line against the engine doing the same scan in the same run.
    for tree, cli, engine in (("T3", f"cli-n{N_SMALL}", f"engine-n{N_SMALL}"), ("T1", "cli-d1.0", "engine-d1.0")):
        mine = [r for r in rows if r[0] == tree and r[2] == cli]
        theirs = [r for r in rows if r[0] == tree and r[2] == engine]
        if mine and theirs and mine[0][3] and theirs[0][3]:
            check(f"command line on {tree} ({cli}), time against the engine row", [mine[0][3] / theirs[0][3]], 1.05)
        if mine and theirs and mine[0][6] is not None and theirs[0][6] is not None:
            check(f"command line on {tree} ({cli}), peak memory over the engine row's",
                  [mine[0][6] - theirs[0][6]], 0.0625, " MB")
    for kind, limit in (("filter-skip", 0.55), ("filter-skip20", 1.05), ("filter-mask", 0.95), ("filter-either", 1.05)):
        mine, base = ratio_of("T1", kind), ratio_of("T1", f"engine-n{N_SMALL}")
        if mine is not None and base:
            check(f"T1 {kind}, time against the engine N={N_SMALL} row", [mine / base], limit)
    long_paths, short_paths = ratio_of("TL", f"engine-n{N_SMALL}"), ratio_of("T1", f"engine-n{N_SMALL}")
    if long_paths is not None and short_paths is not None:
        check(f"engine N={N_SMALL} on TL (paths past 260 characters), ratio", [long_paths], round(short_paths + 0.05, 2))
    gen = ratio_of("TG", "gen-store")
    if gen is not None:
        check("ten million generated rows into the row store, time against sinks that do nothing", [gen], 1.10)
        check("ten million generated rows, peak memory", [r[6] for r in by(lambda r: r[2] == "gen-store")], 1600, " MB")
    engine_t3 = [r[6] for r in rows if r[0] == "T3" and r[2] == f"engine-n{N_SMALL}"]
    engine0_t3 = [r[6] for r in rows if r[0] == "T3" and r[2] == f"engine0-n{N_SMALL}"]
    if engine_t3 and engine0_t3 and None not in engine_t3 + engine0_t3:
        check(f"engine N={N_SMALL} on T3, peak memory over the walk without listers",
              [engine_t3[0] - engine0_t3[0]], 16, " MB")
    check("engine alone, every mode, ratio", [r[4] for r in by(lambda r: r[2].startswith("engine-"))], 1.10)
    check(f"window N={N_SMALL}, ratio", [r[4] for r in by(lambda r: r[2] == f"window-n{N_SMALL}")], 1.15)
    check("window date 100% on T1, ratio",
          [r[4] for r in by(lambda r: r[2] == "window-d1.0" and r[0] == "T1")], 1.5)
    check("window date 100% on T3, Start to sorted list, ratio",
          [r[4] for r in by(lambda r: r[2] == "window-d1.0" and r[0] == "T3")], 2.0)
    check("T3 sort by time, share of the walk", [r[4] for r in by(lambda r: r[2] == "op-sort_by_time")], 0.05)
    check("T3 sort by name, share of the walk",
          [r[4] for r in by(lambda r: r[2] in ("op-sort_by_name", "op-sort_by_name_reversed"))], 0.25)
    sorted_tr, unsorted_tr = ratio_of("TR", f"window-n{N_LARGE}-sorted"), ratio_of("TR", f"window-n{N_LARGE}")
    if sorted_tr is not None and unsorted_tr:
        check(f"TR window N={N_LARGE:,} sorted by name during the scan, time against the same case unsorted",
              [sorted_tr / unsorted_tr], 1.10)
    for op in ("select_all", "copy", "copy_files", "drag_start"):
        check(f"T3 {op.replace('_', ' ')}, share of the walk", [r[4] for r in by(lambda r: r[2] == "op-" + op)],
              1.0)
    if "T3" in SCAN_PEAKS:
        check("peak memory with 1,000,000 rows, before the operations", [SCAN_PEAKS["T3"]], 130, " MB")
    check("peak memory with 1,000,000 rows, the operations included",
          [r[6] for r in by(lambda r: r[2] == "window-d1.0" and r[0] == "T3")], 200, " MB")
    check("reply to a message while scanning (engine and window cases)",
          [r[5] for r in by(lambda r: r[2].startswith(("engine", "window", "share")))], 100, " ms")
    # Select all is the list view's own work (Wine sets each owner-data row in turn); no step of ours is in it.
    check("reply to a message during the T3 row operations but Select all",
          [r[5] for r in by(lambda r: r[2].startswith("op-") and r[2] != "op-select_all")], 100, " ms")
    return lines


def cpu_name():
    try:
        with open("/proc/cpuinfo") as info:
            for line in info:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or "unknown CPU"


def memory_gb():
    try:
        with open("/proc/meminfo") as info:
            return int(info.readline().split()[1]) / 2**20
    except (OSError, ValueError, IndexError):
        return 0


def wine_version():
    try:
        return subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip()
    except OSError:
        return "wine ?"


if __name__ == "__main__":
    main()
