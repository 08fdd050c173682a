#!/usr/bin/python3
# SPDX-License-Identifier: Apache-2.0
"""Profiles per second of the Python stream beside the library's C reader:
batches of 100 profiles of 243 points over loopback, answered with pre-built
bytes, in alternating rounds.

Two C figures: profile_read_bench's library reader (its sender a thread of
the same process) and the same reader run by two_process_bench against the
sender process the Python stream reads from, which costs the reader more
than a sender thread does.

usage: python_stream_bench.py [--build DIR] [--batches N] [--rounds N]
"""
import argparse
import os
import re
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
ADDRESS = "127.61.8.9"
PROFILES_PER_BATCH = 100
LIBRARY_LINE = re.compile(r"^library\s+(\d+) profiles/s\s+([\d.]+) us CPU/profile", re.M)


def python_stream(batches):
    """(profiles/s, CPU microseconds of the reading thread per profile)."""
    import kelo
    with kelo.Scanner(ADDRESS) as scanner:
        with scanner.acquire(mode="time", batch=PROFILES_PER_BATCH) as stream:
            started, cpu = time.perf_counter(), time.thread_time()
            received = 0
            for _ in range(batches):
                received += len(next(stream))
            seconds, cpu = time.perf_counter() - started, time.thread_time() - cpu
    if received != batches * PROFILES_PER_BATCH:
        raise RuntimeError(f"received {received} profiles")
    return received / seconds, cpu * 1e6 / received


def c_reader(command):
    """The same figures from the library line a C benchmark prints."""
    run = subprocess.run(command, capture_output=True, text=True)
    found = LIBRARY_LINE.findall(run.stdout)
    if run.returncode != 0 or not found:
        raise RuntimeError(f"{command[0]} failed: {run.stderr.strip()}\n{run.stdout}")
    return float(found[0][0]), float(found[0][1])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--batches", type=int, default=2000)
    parser.add_argument("--rounds", type=int, default=7)
    args = parser.parse_args()
    if not 1 <= args.batches <= 1000000 or not 1 <= args.rounds <= 100:
        parser.error("batches from 1 to 1000000, rounds from 1 to 100")
    programs = os.path.join(args.build, "bin")
    os.environ.setdefault("KELO_DLL_PATH", os.path.join(args.build, "lib"))
    sys.path.insert(0, os.path.join(ROOT, "python"))

    server = subprocess.Popen([os.path.join(programs, "two_process_bench"), "serve", ADDRESS],
                              stdout=subprocess.PIPE, text=True)
    if "listening" not in server.stdout.readline():
        sys.exit("two_process_bench did not start")
    readers = {
        "python stream": lambda: python_stream(args.batches),
        "C, two processes": lambda: c_reader([os.path.join(programs, "two_process_bench"),
                                              "read", ADDRESS, str(args.batches)]),
        "profile_read_bench": lambda: c_reader([os.path.join(programs, "profile_read_bench"),
                                                str(args.batches), "1"]),
    }
    runs = {name: [] for name in readers}
    print(f"{args.batches} batches of {PROFILES_PER_BATCH} profiles of 243 points, "
          f"{args.rounds} rounds")
    try:
        for round_ in range(args.rounds):
            # The order turns from round to round.
            names = list(readers)
            for name in names[round_ % 3:] + names[:round_ % 3]:
                runs[name].append(readers[name]())
            print(f"round {round_ + 1}: " + "; ".join(
                f"{name} {runs[name][-1][0]:8.0f} profiles/s {runs[name][-1][1]:5.2f} us CPU"
                for name in readers))
    finally:
        server.terminate()
        server.wait()
    for name, results in runs.items():
        print(f"median of {args.rounds}: {name} {statistics.median(r[0] for r in results):.0f} "
              f"profiles/s, {statistics.median(r[1] for r in results):.2f} us CPU/profile")
    python = runs["python stream"]
    for name, target in (("profile_read_bench", " (target 80 %)"), ("C, two processes", "")):
        rate = statistics.median(p[0] / c[0] for p, c in zip(python, runs[name]))
        cpu = statistics.median(p[1] / c[1] for p, c in zip(python, runs[name]))
        print(f"python stream against {name}: throughput {100 * rate:.1f} %{target}, "
              f"CPU per profile {cpu:.2f} x")


if __name__ == "__main__":
    main()
