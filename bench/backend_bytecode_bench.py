"""How much the shipped bytecode of the bundled backend saves at its start.

Runs the bundle's interpreter as the shell does (-B, PYTHONDONTWRITEBYTECODE=1)
with the backend package's __pycache__ in place, as the packages ship it, and
with it moved aside, interleaved run by run so that the machine's load hits
both alike. Two measures:

- ready: from spawning "python3 -B -m app.launcher start ..." to the first 200
  on /health/ready, polled every 2 ms: what the shell waits for;
- import: "python3 -B -c 'import app.launcher'" from spawn to exit: the part
  that bytecode can change, without the server around it;
- own import: the interpreter's own account (-X importtime) of importing the
  package app and its module app.launcher, standard library imports excluded:
  the compile or load of the backend's own code, free of process start noise.

    python3 bench/backend_bytecode_bench.py [--bundle DIR] [--runs N]

Without --bundle it unpacks the newest build/Lumivant-*-linux-x86_64.tar.gz
(made by scripts/package.sh) into a temporary directory.
"""

import argparse
import glob
import os
import shutil
import socket
import statistics
import subprocess
import tarfile
import tempfile
import time
import urllib.error
import urllib.request

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")


def unpacked_bundle(work):
    archives = sorted(glob.glob(os.path.join(ROOT, "build", "Lumivant-*-linux-x86_64.tar.gz")))
    if not archives:
        raise SystemExit("no package: run scripts/package.sh first")
    with tarfile.open(archives[-1]) as archive:
        archive.extractall(work)
    return os.path.dirname(glob.glob(os.path.join(work, "*", "Lumivant"))[0])


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def environment():
    env = dict(os.environ)
    env["PYTHONDONTWRITEBYTECODE"] = "1"
    env["PYTHONUNBUFFERED"] = "1"
    return env


def time_to_ready(python):
    port = free_port()
    start = time.monotonic()
    child = subprocess.Popen([python, "-B", "-m", "app.launcher", "start", "--port", str(port),
                              "--no-browser"], env=environment(),
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        while True:
            try:
                with urllib.request.urlopen(f"http://127.0.0.1:{port}/health/ready",
                                            timeout=1) as answer:
                    if answer.status == 200:
                        return time.monotonic() - start
            except (urllib.error.URLError, ConnectionError, OSError):
                pass
            if child.poll() is not None:
                raise SystemExit("the backend exited before it was ready")
            time.sleep(0.002)
    finally:
        child.terminate()
        child.wait()


def time_to_import(python):
    start = time.monotonic()
    subprocess.run([python, "-B", "-c", "import app.launcher"], env=environment(), check=True)
    return time.monotonic() - start


def own_import_time(python):
    """Seconds the interpreter reports for importing app and app.launcher
    themselves (self time, without the modules they import)."""
    err = subprocess.run([python, "-B", "-X", "importtime", "-c", "import app.launcher"],
                         env=environment(), capture_output=True, text=True, check=True).stderr
    total = 0
    for line in err.splitlines():
        if line.startswith("import time:") and line.rstrip().endswith(("app", "app.launcher")):
            fields = line.split("|")
            if fields[-1].strip() in ("app", "app.launcher"):
                total += int(fields[0].split(":")[1])
    return total / 1e6


def reads_bytecode(python):
    """Whether the interpreter takes app.launcher from its shipped bytecode."""
    out = subprocess.run([python, "-B", "-v", "-c", "import app.launcher"], env=environment(),
                         capture_output=True, text=True).stderr
    return any("launcher" in line and " matches " in line for line in out.splitlines())


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bundle")
    parser.add_argument("--runs", type=int, default=30)
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix="lumivant-bytecode-bench-")
    try:
        bundle = args.bundle or unpacked_bundle(work)
        python = os.path.join(bundle, "Resources", "python", "bin", "python3")
        cache = glob.glob(os.path.join(bundle, "Resources", "python", "lib", "python3*",
                                       "site-packages", "app", "__pycache__"))
        if not cache:
            raise SystemExit("the bundle carries no bytecode of the backend")
        cache, aside = cache[0], cache[0] + ".aside"
        measures = ("ready", "import", "own import")
        results = {mode: {m: [] for m in measures} for mode in ("with", "without")}
        checks = {}
        for run in range(args.runs):
            order = ("with", "without") if run % 2 == 0 else ("without", "with")
            for mode in order:
                if mode == "without":
                    os.rename(cache, aside)
                try:
                    if run == 0:
                        checks[mode] = reads_bytecode(python)
                    results[mode]["ready"].append(time_to_ready(python))
                    results[mode]["import"].append(time_to_import(python))
                    results[mode]["own import"].append(own_import_time(python))
                finally:
                    if mode == "without":
                        os.rename(aside, cache)
        print(f"reads shipped bytecode: with {checks['with']}, without {checks['without']}")
        print("| measure | bytecode | median ms | min ms | max ms | stdev ms |")
        print("|---|---|---:|---:|---:|---:|")
        for measure in measures:
            for mode in ("with", "without"):
                values = [v * 1000 for v in results[mode][measure]]
                print(f"| {measure} | {mode} | {statistics.median(values):.2f} | {min(values):.2f} | "
                      f"{max(values):.2f} | {statistics.stdev(values):.2f} |")
        print()
        print("| measure | with / without (median) |")
        print("|---|---:|")
        for measure in measures:
            ratio = (statistics.median(results["with"][measure])
                     / statistics.median(results["without"][measure]))
            print(f"| {measure} | {ratio:.2f} |")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
