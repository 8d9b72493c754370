#!/usr/bin/env python3
"""Long-session benchmark: whether the web process stays flat over a day of work.

Each program opens the sample backend's notebook page (two plots and a table,
as a notebook with its output), which opens the next notebook once it has been
drawn, for --loads loads in a row. The shell starts the sample backend itself;
for MiniBrowser a small launcher starts it the same way and then runs the
browser, as in the start-up benchmark's local case. The backend answers "/"
with a redirect to the first notebook (SAMPLE_HOME_REDIRECT).

Every page's load event sends a beacon, which the backend passes on to the
benchmark's server; every --every loads the benchmark reads the resident memory
of the program's web processes from /proc. The growth over the second half of
the loop is the least-squares slope of those samples over the second half,
times its number of loads: a straight line through noisy samples rather than
the difference of two of them.

Programs are interleaved run by run. Run under a display via
scripts/bench.sh long-session.
"""

import argparse
import os
import statistics
import sys

from benchlib import (MINIBROWSER_SIZE, ROOT, BeaconServer, command_and_env, fresh_home, load_average,
                      memory_mib, running)


def run_once(program, server, home, loads, every):
    extra = {
        "SAMPLE_HOME_REDIRECT": f"/notebook.html?n=1&of={loads}",
        # This tree's sample backend, whichever bundle is measured.
        "PYTHONPATH": os.path.join(ROOT, "sample-backend"),
    }
    command, env = command_and_env(program, "local", home, MINIBROWSER_SIZE, server.url, extra_env=extra)
    stamps = server.stamps_of("/bench/loaded")
    first = len(stamps.times)
    samples = []  # (loads so far, web process MiB)
    with running(command, env) as process:
        for done in range(1, loads + 1):
            if not stamps.wait_beyond(first + done - 1, 120):
                raise RuntimeError(f"{program}: load {done} did not come within 120 s")
            if done % every == 0 or done == 1:
                samples.append((done, memory_mib(process.pid)[1]))
    return samples


def growth_over_second_half(samples, loads):
    half = [(n, mib) for n, mib in samples if n >= loads / 2]
    if len(half) < 2:
        return 0.0
    slope, _ = statistics.linear_regression([n for n, _ in half], [mib for _, mib in half])
    return slope * (loads / 2)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--loads", type=int, default=200)
    parser.add_argument("--every", type=int, default=10, help="loads between memory samples")
    parser.add_argument("--programs", default="lumivant,minibrowser")
    args = parser.parse_args()

    server = BeaconServer({"/": b""})
    print(f"load average at the start: {load_average()}", file=sys.stderr)
    programs = args.programs.split(",")
    results = {}
    for run in range(args.runs):
        # Interleave the programs so that drift in the machine's load hits both alike.
        for program in programs:
            with fresh_home() as home:
                samples = run_once(program, server, home, args.loads, args.every)
            growth = growth_over_second_half(samples, args.loads)
            results.setdefault(program, []).append((samples, growth))
            series = " ".join(f"{mib:.0f}" for _, mib in samples)
            print(f"{program:12} run {run + 1:2}: web MiB every {args.every} loads: {series}; "
                  f"second half {growth:+.1f} MiB", file=sys.stderr)

    print(f"| program | web MiB after load 1 | at load {args.loads // 2} | at load {args.loads} "
          "| growth over the second half MiB (median) | min | max |")
    print("|---|---:|---:|---:|---:|---:|---:|")
    medians = {}
    for program, rows in results.items():
        def at(loads, rows=rows):
            return statistics.median(min(s, key=lambda p: abs(p[0] - loads))[1] for s, _ in rows)
        growths = [g for _, g in rows]
        medians[program] = statistics.median(growths)
        print(f"| {program} | {at(1):.0f} | {at(args.loads // 2):.0f} | {at(args.loads):.0f} "
              f"| {medians[program]:+.1f} | {min(growths):+.1f} | {max(growths):+.1f} |")
    if "lumivant" in medians:
        print()
        print("| ratio | growth over the second half (goal ≤ 1.00 and ≤ 10 MiB) |")
        print("|---|---:|")
        for reference in programs:
            if reference != "lumivant" and reference in medians:
                ref = medians[reference]
                shown = f"{medians['lumivant'] / ref:.2f}" if ref > 0.5 else f"n/a (reference {ref:+.1f} MiB)"
                print(f"| lumivant/{reference} | {shown} |")
    print(f"\nload average at the end: {load_average()}")
    server.close()


if __name__ == "__main__":
    main()
