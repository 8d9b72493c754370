#!/usr/bin/env python3
"""Start-up benchmark: the time from starting a program to its first page's load event.

Three programs load the same page in the same run, measured the same way from
outside: the page sends a beacon on its load event to the server that serves it,
and the server stamps the time on the system's monotonic clock.

  lumivant     the built shell (build/Lumivant/Lumivant)
  minibrowser  WebKitGTK's own MiniBrowser: the engine's floor
  pywebview    pywebview with its GTK backend: the peer a Python group would pick

Two cases:
  server  an organisation server on 127.0.0.1 that is ready at once (shell overhead alone)
  local   the sample backend started by the program (the whole launch); the
          references start it the way the shell does, through a small launcher
          that waits for /health/ready before opening the browser.

Also reports the resident memory of each program's own process and of its web
process after the load. Run under a display (xvfb-run) via scripts/bench.sh.
"""

import argparse
import statistics
import sys
import time

from benchlib import (MINIBROWSER_SIZE, SHELL_FIRST_RUN_SIZE, BeaconServer, command_and_env, fresh_home,
                      load_average, memory_mib, running, web_process_spawn_seconds)

PAGE = (b"<!doctype html><html><head><meta charset='utf-8'><title>bench</title></head>"
        b"<body><h1>bench</h1><script>addEventListener('load', () => "
        b"navigator.sendBeacon('/bench/loaded', 'x'));</script></body></html>")


def run_once(program, case, server, home, size):
    command, env = command_and_env(program, case, home, size, server.url)
    stamps = server.stamps_of("/bench/loaded")
    requests = server.stamps_of("GET /")
    count, asked = len(stamps.times), len(requests.times)
    start = time.monotonic()
    with running(command, env) as process:
        if not stamps.wait_beyond(count, 120):
            raise RuntimeError(f"{program}/{case}: no load event within 120 s")
        elapsed = stamps.times[count] - start
        # Where the time goes: the web process's start and, with the
        # benchmark's own server, the page's request.
        spawn = web_process_spawn_seconds(process.pid)
        request = requests.times[asked] - start if case == "server" and len(requests.times) > asked else None
        time.sleep(1.0)  # let the page settle before reading memory; not part of the timing
        memory = memory_mib(process.pid)
    return elapsed, memory, spawn, request


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--runs", type=int, default=10)
    parser.add_argument("--programs", default="lumivant,minibrowser,pywebview")
    parser.add_argument("--cases", default="server,local")
    parser.add_argument("--minibrowser-size", action="store_true",
                        help="open the shell and pywebview at MiniBrowser's fixed 1024x768 instead of "
                             "the shell's first-run 1280x840, so that memory that follows the "
                             "window's size compares like with like")
    args = parser.parse_args()

    server = BeaconServer({"/": PAGE})
    print(f"load average at the start: {load_average()}", file=sys.stderr)
    programs = args.programs.split(",")
    size = MINIBROWSER_SIZE if args.minibrowser_size else SHELL_FIRST_RUN_SIZE
    results = {}
    for case in args.cases.split(","):
        for run in range(args.runs):
            # Interleave the programs so that drift in the machine's load hits all alike.
            for program in programs:
                with fresh_home() as home:
                    elapsed, memory, spawn, request = run_once(program, case, server, home, size)
                results.setdefault((case, program), []).append((elapsed, memory, spawn, request))
                print(f"{case:6} {program:12} run {run + 1:2}: {elapsed * 1000:7.0f} ms", file=sys.stderr)

    print("| case | program | median ms | min ms | max ms | stdev ms | own RSS MiB | web RSS MiB |")
    print("|---|---|---:|---:|---:|---:|---:|---:|")
    medians = {}
    for (case, program), rows in results.items():
        times = [r[0] * 1000 for r in rows]
        own = statistics.median(r[1][0] for r in rows)
        web = statistics.median(r[1][1] for r in rows)
        medians[(case, program)] = (statistics.median(times), own, web)
        print(f"| {case} | {program} | {statistics.median(times):.0f} | {min(times):.0f} | {max(times):.0f} "
              f"| {statistics.pstdev(times):.0f} | {own:.0f} | {web:.0f} |")
    print()
    print("| case | ratio | time | own RSS | web RSS |")
    print("|---|---|---:|---:|---:|")
    for case in args.cases.split(","):
        if (case, "lumivant") not in medians:
            continue
        shell = medians[(case, "lumivant")]
        for reference in programs:
            if reference == "lumivant" or (case, reference) not in medians:
                continue
            ref = medians[(case, reference)]
            ratios = [f"{a / b:.2f}" if b else "n/a" for a, b in zip(shell, ref)]
            print(f"| {case} | lumivant/{reference} | " + " | ".join(ratios) + " |")
    print()
    print("Where the time goes (medians, ms after the program's start; the page's request only in the "
          "server case, where the benchmark serves it):")
    print()
    print("| case | program | web process started | page requested | load event |")
    print("|---|---|---:|---:|---:|")
    for (case, program), rows in results.items():
        def median_ms(values):
            values = [v * 1000 for v in values if v is not None]
            return f"{statistics.median(values):.0f}" if values else "n/a"
        print(f"| {case} | {program} | {median_ms(r[2] for r in rows)} | {median_ms(r[3] for r in rows)} "
              f"| {median_ms(r[0] for r in rows)} |")
    print(f"\nload average at the end: {load_average()}")
    server.close()


if __name__ == "__main__":
    main()
