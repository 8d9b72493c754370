#!/usr/bin/env python3
"""Frames benchmark: how smoothly each program draws a busy page while it is
used, and how soon a key press shows.

Three pages of the benchmark's own, served on 127.0.0.1 (an organisation server
for the shell, the URL on the command line for MiniBrowser), each driven from
outside with xdotool under the same X display, in windows of the same size:

  table   5,000 rows scrolled by the mouse wheel
  canvas  3,000 particles animated on a canvas, drawn towards the moving pointer
  svg     a chart of 10,000 points panned by dragging with the button held

Frames per second: the page records the timestamp of every
requestAnimationFrame callback and of every input event; fps is the number of
frames from the interaction's first input event to the frame that drew its
last, over that time.

Key-press latency: the benchmark stamps the monotonic clock just before it runs
`xdotool key`; the page changes a marker on keydown and, once the frame that
shows the change has been rendered, sends a beacon, whose arrival the
benchmark's server stamps on the same clock. The latency therefore includes
xdotool's start (a few ms, the same for both programs) and the beacon's way
back through the engine's network process, and ends when the web process has
rendered the frame, not when the display has shown it.

Programs are interleaved run by run, so that the machine's load hits both alike.
Run under a display via scripts/bench.sh frames.
"""

import argparse
import json
import math
import os
import random
import statistics
import subprocess
import sys
import time

from benchlib import (MINIBROWSER_SIZE, ROOT, BeaconServer, command_and_env, fresh_home, load_average,
                      ratio, running)

PAGES_DIR = os.path.join(ROOT, "bench", "frames")
PAGES = ("table", "canvas", "svg")
WIDTH, HEIGHT = MINIBROWSER_SIZE


def xdotool(*args):
    subprocess.run(["xdotool", *map(str, args)], check=True, stdout=subprocess.DEVNULL)


def window_of(pid):
    """The program's visible top-level window (the largest, should there be more)."""
    found = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--pid", str(pid)],
                           check=True, capture_output=True, text=True, timeout=60).stdout.split()

    def area(window):
        shape = subprocess.run(["xdotool", "getwindowgeometry", "--shell", window], capture_output=True,
                               text=True).stdout
        values = dict(line.split("=", 1) for line in shape.split() if "=" in line)
        return int(values.get("WIDTH", 0)) * int(values.get("HEIGHT", 0))

    return max(found, key=area)


def interaction(page, window, seconds):
    """One xdotool command line that drives `page` for about `seconds`."""
    step = 0.02
    steps = max(2, int(seconds / step))
    cx, cy = WIDTH // 2, HEIGHT // 2 + 20
    if page == "table":
        return ["click", "--repeat", steps, "--delay", int(step * 1000), "5"]
    args = ["mousemove", "--window", window, cx, cy]
    if page == "svg":
        args += ["mousedown", "1"]
    for i in range(steps):
        angle = 2 * math.pi * i / steps
        if page == "svg":  # back and forth across the chart
            x, y = cx + 300 * math.sin(angle), cy + 80 * math.sin(2 * angle)
        else:  # round the canvas
            x, y = cx + 250 * math.cos(angle), cy + 200 * math.sin(angle)
        args += ["mousemove", "--window", window, int(x), int(y), "sleep", step]
    if page == "svg":
        args += ["mouseup", "1"]
    return args


def wait_stamp(server, path, count, what, timeout=30):
    stamps = server.stamps_of(path)
    if not stamps.wait_beyond(count, timeout):
        raise RuntimeError(f"no {what} within {timeout} s")
    return stamps.times[count], stamps.bodies[count]


def run_once(program, page, server, home, seconds, presses):
    server.pages["/"] = server.pages["/" + page + ".html"]
    command, env = command_and_env(program, "server", home, MINIBROWSER_SIZE, server.url)
    counts = {path: len(server.stamps_of(path).times)
              for path in ("/bench/loaded", "/frames/started", "/frames/key", "/frames/report")}
    with running(command, env) as process:
        wait_stamp(server, "/bench/loaded", counts["/bench/loaded"], "load event", 120)
        window = window_of(process.pid)
        # The pointer over the page and a click in it give the page the keyboard.
        xdotool("windowfocus", "--sync", window)
        xdotool("mousemove", "--window", window, WIDTH // 2, HEIGHT // 2 + 20, "click", "1")
        xdotool("key", "s")
        wait_stamp(server, "/frames/started", counts["/frames/started"], "start of the interaction")
        xdotool(*interaction(page, window, seconds))
        latencies = []
        for press in range(presses):
            time.sleep(random.uniform(0.2, 0.3))  # off the frames' beat
            sent = time.monotonic()
            xdotool("key", "x")
            shown, _ = wait_stamp(server, "/frames/key", counts["/frames/key"] + press, "frame after the key")
            latencies.append(shown - sent)
        xdotool("key", "q")
        _, body = wait_stamp(server, "/frames/report", counts["/frames/report"], "report")
    report = json.loads(body)
    fps = report["frames"] / report["seconds"] if report["seconds"] else 0.0
    return fps, statistics.median(latencies) if latencies else 0.0


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--runs", type=int, default=10)
    parser.add_argument("--programs", default="lumivant,minibrowser")
    parser.add_argument("--pages", default=",".join(PAGES))
    parser.add_argument("--seconds", type=float, default=4.0, help="length of each interaction")
    parser.add_argument("--presses", type=int, default=8, help="key presses timed per run")
    args = parser.parse_args()

    pages = {}
    for name in PAGES:
        with open(os.path.join(PAGES_DIR, name + ".html"), "rb") as f:
            pages["/" + name + ".html"] = f.read()
    with open(os.path.join(PAGES_DIR, "recorder.js"), "rb") as f:
        pages["/recorder.js"] = f.read()
    pages["/"] = b""
    server = BeaconServer(pages)
    print(f"load average at the start: {load_average()}", file=sys.stderr)
    programs = args.programs.split(",")
    results = {}
    for run in range(args.runs):
        for page in args.pages.split(","):
            # Interleave the programs so that drift in the machine's load hits both alike.
            for program in programs:
                with fresh_home() as home:
                    fps, latency = run_once(program, page, server, home, args.seconds, args.presses)
                results.setdefault((page, program), []).append((fps, latency))
                print(f"{page:6} {program:12} run {run + 1:2}: {fps:5.1f} fps, key to frame "
                      f"{latency * 1000:5.0f} ms", file=sys.stderr)

    print("| page | program | fps median | fps min | fps max | key to frame ms median | min | max |")
    print("|---|---|---:|---:|---:|---:|---:|---:|")
    medians = {}
    for (page, program), rows in results.items():
        fps = [r[0] for r in rows]
        latency = [r[1] * 1000 for r in rows]
        medians[(page, program)] = (statistics.median(fps), statistics.median(latency))
        print(f"| {page} | {program} | {statistics.median(fps):.1f} | {min(fps):.1f} | {max(fps):.1f} "
              f"| {statistics.median(latency):.0f} | {min(latency):.0f} | {max(latency):.0f} |")
    print()
    print("| page | ratio | fps (goal ≥ 1.00) | key to frame (goal ≤ 1.00) |")
    print("|---|---|---:|---:|")
    for page in args.pages.split(","):
        if (page, "lumivant") not in medians:
            continue
        shell = medians[(page, "lumivant")]
        for reference in programs:
            if reference != "lumivant" and (page, reference) in medians:
                ref = medians[(page, reference)]
                print(f"| {page} | lumivant/{reference} | {ratio(shell[0], ref[0])} | {ratio(shell[1], ref[1])} |")
    print(f"\nload average at the end: {load_average()}")
    server.close()


if __name__ == "__main__":
    main()
