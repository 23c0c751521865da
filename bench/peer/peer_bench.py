#!/usr/bin/python3
"""Times the program's PDF export against the reportlab peer on the same demo databases, in one
interleaved run (program, peer, program, peer, ...), and prints every run, the medians, the ratio of
the medians and each side's median peak memory.

    peer_bench.py --program build-bench/app/inventario [--runs 5] [--products 100000 ...]
"""
import argparse
import os
import platform
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PEER = os.path.join(HERE, "inventory_reportlab.py")
DATE = "31/12/2024"


def timed(argv):
    """Runs argv alone and returns (seconds, peak RSS in MiB) of that one child. Its standard error
    is not a terminal, as in a script: on a terminal the program shows its progress line and saves
    after preparing instead of while preparing."""
    start = time.monotonic()
    pid = os.posix_spawn(argv[0], argv, os.environ,
                         file_actions=[(os.POSIX_SPAWN_OPEN, 2, os.devnull, os.O_WRONLY, 0)])
    _, status, usage = os.wait4(pid, 0)
    seconds = time.monotonic() - start
    if not os.WIFEXITED(status) or os.WEXITSTATUS(status) != 0:
        sys.exit(f"failed: {' '.join(argv)}")
    return seconds, usage.ru_maxrss / 1024.0


def machine():
    model = "?"
    try:
        with open("/proc/cpuinfo") as cpuinfo:
            for line in cpuinfo:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    load = os.getloadavg()
    return f"{os.cpu_count()} x {model}; {platform.python_implementation()} {platform.python_version()}; " \
           f"load {load[0]:.2f} {load[1]:.2f} {load[2]:.2f}"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--products", type=int, nargs="*", default=[100_000])
    options = parser.parse_args()
    program = os.path.abspath(options.program)
    env_note = os.environ.get("QB_EXPORT_SEQUENTIAL")
    print(f"machine: {machine()}")
    if env_note:
        print("program: sequential export (QB_EXPORT_SEQUENTIAL set)")
    with tempfile.TemporaryDirectory() as folder:
        for count in options.products:
            database = os.path.join(folder, f"demo-{count}.db")
            subprocess.run([program, "--create-demo-database", database, "--products", str(count)],
                           check=True, stderr=subprocess.DEVNULL)
            ours, theirs = [], []
            for run in range(options.runs):
                mine = os.path.join(folder, "program.pdf")
                peer = os.path.join(folder, "peer.pdf")
                ours.append(timed([program, "--export", mine, "--database", database, "--date", DATE]))
                theirs.append(timed([sys.executable, PEER, database, peer, DATE]))
                print(f"{count:>9} run {run + 1}: program {ours[-1][0]:6.2f} s {ours[-1][1]:7.1f} MiB"
                      f" {os.path.getsize(mine):>11} B | reportlab {theirs[-1][0]:6.2f} s {theirs[-1][1]:7.1f} MiB"
                      f" {os.path.getsize(peer):>11} B", flush=True)
            a = statistics.median(t for t, _ in ours)
            b = statistics.median(t for t, _ in theirs)
            print(f"{count:>9} median of {options.runs}: program {a:.2f} s ({statistics.median(m for _, m in ours):.1f} MiB),"
                  f" reportlab {b:.2f} s ({statistics.median(m for _, m in theirs):.1f} MiB), ratio {a / b:.2f}")
    print(f"machine after: {machine()}")


if __name__ == "__main__":
    main()
