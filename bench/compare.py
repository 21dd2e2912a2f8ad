#!/usr/bin/env python3
"""Compares two builds of the benchmark programs on the same machine in the same run, round by round.

The cases are bench/run.py's own: the engine N=100 on each tree, and the command line where run.py
has it (--newest 100 on T3, --within every file on T1). Each round runs every case once with each
build, one right after the other, the old build first in even rounds and the new one first in odd
ones; round 0, a warm-up, is not counted. Per case it prints the median seconds of each
build, the median of the per-round ratios new/old against --limit, and their spread. It reports and
does not judge: the exit status is 0 whatever the ratios.

bench_engine makes a hidden top-level window, so it needs an X display (bench_cli does not); start
one virtual display for the whole run, as bench/run.sh does. Each build's wine-run.sh sets its own
WINEPREFIX (<build>/wineprefix), so none need be set. From the repository:
  source scripts/virtual_display.sh; start_virtual_display
  python3 bench/compare.py --old /tmp/q-old/build-bench --new build-bench [--rounds 6] [--json raw.json]
"""
import argparse
import json
import os
import statistics
import subprocess
import sys

sys.dont_write_bytecode = True  # no __pycache__ left in the repository's bench folder
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import run as bench  # noqa: E402  the cases, the Wine runner and the result parsing of bench/run.py

KINDS = (f"engine-n{bench.N_SMALL}", f"cli-n{bench.N_SMALL}", "cli-d1.0")


def one_run(runner, case):
    """The seconds of one run, None when it failed twice (run.py's retry) or timed out."""
    try:
        result = bench.run_case(runner, case, {})
    except RuntimeError as failure:
        print(f"  failed twice: {failure}", file=sys.stderr, flush=True)
        return None, None
    seconds = float(result["seconds"])
    return (seconds if seconds != float("inf") else None), result.get("rows")


def hold_wine(runner):
    """Keeps the build's Wine server up for the whole comparison. The builds have two prefixes, so two
    servers, and a server ends three seconds after its last process: behind the other build's longer
    runs, every run would start Wine again, its system processes starting beside the timed scan and
    keeping the output pipe open until the server ends. A cmd waiting for a line of input holds it."""
    # The first start may make the prefix; with no pipe to hold, it returns once cmd has ended.
    subprocess.run([runner.wine, "cmd", "/c", "exit"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   timeout=300)
    return subprocess.Popen([runner.wine, "cmd", "/c", "set /p x="], stdin=subprocess.PIPE,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def median(values):
    values = [v for v in values if v is not None]
    return statistics.median(values) if values else None


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--old", required=True, help="build tree of the reference, e.g. /tmp/q-old/build-bench")
    parser.add_argument("--new", required=True, help="build tree of the change")
    parser.add_argument("--rounds", type=int, default=6, help="counted rounds after the warm-up (6)")
    parser.add_argument("--cache", default="/tmp/quenwick-bench", help="where the trees are (made if missing)")
    parser.add_argument("--trees", default="T1,T2,T3", help="trees for the engine N=100 case")
    parser.add_argument("--limit", type=float, default=1.05, help="the ratio new/old said to be within (1.05)")
    parser.add_argument("--timeout", type=float, default=600.0, help="seconds before one run is given up")
    parser.add_argument("--json", help="also write every round's seconds here")
    options = parser.parse_args()
    if not os.environ.get("DISPLAY"):
        sys.exit("no DISPLAY: bench_engine needs one; see the start of bench/compare.py")
    builds = {"old": os.path.abspath(options.old), "new": os.path.abspath(options.new)}
    runners = {}
    for name, build in builds.items():
        runners[name] = bench.Runner(build, options.cache, options.rounds, float("inf"), options.timeout)
        for program in ("bench_engine", "bench_cli"):
            if not os.path.isfile(runners[name].exe[program]):
                sys.exit(f"{runners[name].exe[program]} is missing: build the target {program} in {build}")

    cases = []  # (tree, case) with case as run.py makes it: (label, kind, program, arguments)
    for tree in [t for t in options.trees.split(",") if t]:
        info = bench.make_tree(options.cache, tree)
        cases += [(tree, case) for case in bench.cases_of(tree, info, os.path.join(options.cache, tree))
                  if case[1] in KINDS]
    if not cases:
        sys.exit(f"none of the trees {options.trees} has an engine or command-line case")

    load_before = os.getloadavg()[0]  # other work on the machine makes single runs uneven: said above the table
    holders = [hold_wine(runner) for runner in runners.values()]
    seconds = {(tree, case[1]): {"old": [], "new": []} for tree, case in cases}
    rows = {}  # (tree, kind, build) -> the rows seen, to say when the builds did not do the same work
    try:
        for round_number in range(options.rounds + 1):  # round 0 is the warm-up
            order = ("old", "new") if round_number % 2 == 0 else ("new", "old")
            for tree, case in cases:
                measured = {}
                for name in order:
                    measured[name], rows[(tree, case[1], name)] = one_run(runners[name], case)
                    if round_number:
                        seconds[(tree, case[1])][name].append(measured[name])
                print(f"  {tree} round {round_number}{' (warm-up)' if not round_number else ''} {case[0]}: "
                      + ", ".join(f"{n} {bench.number(measured[n], 3)} s" for n in order), file=sys.stderr, flush=True)
    finally:
        for holder in holders:  # its input closed, the waiting cmd ends; Wine then ends its server itself
            holder.stdin.close()
            try:
                holder.wait(timeout=30)
            except subprocess.TimeoutExpired:
                holder.kill()

    print()
    print(f"Quenwick, old against new: {options.rounds} round{'s' * (options.rounds != 1)} after a warm-up, "
          f"old first in even rounds, new first in odd ones; ratio: the median of the rounds' new/old, "
          f"spread: their least..largest.")
    print(f"old: {builds['old']}\nnew: {builds['new']}")
    print(f"Machine: {os.cpu_count()} cores, {bench.cpu_name()}, {bench.wine_version()}; load average "
          f"{load_before:.2f} at the start, {os.getloadavg()[0]:.2f} at the end")
    print()
    header = ("tree", "case", "old s", "new s", "new/old", f"at most {options.limit}", "spread", "notes")
    table = []
    for tree, (label, kind, _, _) in cases:
        pair = seconds[(tree, kind)]
        ratios = [bench.ratio(n, o) for o, n in zip(pair["old"], pair["new"])]
        ratios = [r for r in ratios if r is not None]
        middle = median(ratios)
        verdict = "n/a" if middle is None else ("yes" if middle <= options.limit else "NO")
        spread = f"{min(ratios):.3f}..{max(ratios):.3f}" if ratios else "n/a"
        notes = []
        failed = sum(v is None for v in pair["old"] + pair["new"])
        if failed:
            notes.append(f"{failed} runs failed")
        if rows.get((tree, kind, "old")) != rows.get((tree, kind, "new")):
            notes.append(f"rows old {rows.get((tree, kind, 'old'))}, new {rows.get((tree, kind, 'new'))}")
        table.append((tree, label, bench.number(median(pair["old"]), 3), bench.number(median(pair["new"]), 3),
                      bench.number(middle, 3), verdict, spread, ", ".join(notes)))
    bench.print_table(header, table)
    if options.json:
        with open(options.json, "w") as out:
            json.dump({"old": builds["old"], "new": builds["new"], "rounds": options.rounds,
                       "first": ["old" if r % 2 == 0 else "new" for r in range(1, options.rounds + 1)],
                       "cases": {f"{tree} {kind}": {"label": label, **seconds[(tree, kind)]}
                                 for tree, (label, kind, _, _) in cases}}, out, indent=1)


if __name__ == "__main__":
    main()
