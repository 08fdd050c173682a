#!/usr/bin/python3
"""Profiles per second of the Python stream beside the C benchmark's library
reader (profile_read_bench): batches of 100 profiles of 243 points over
loopback, answered with pre-built bytes by batch_sender (the same sender as
profile_read_bench's, in a process of its own), so the sender is not what is
measured. Rounds alternate between the two readers.

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


def c_reader(program, batches):
    """The same figures from profile_read_bench's library line."""
    run = subprocess.run([program, str(batches), "1"], capture_output=True, text=True)
    if run.returncode != 0:
        raise RuntimeError(f"{program} failed: {run.stderr.strip()}")
    found = re.findall(r"^library\s+(\d+) profiles/s\s+([\d.]+) us CPU/profile", run.stdout, re.M)
    if not found:
        raise RuntimeError(f"no library line in the output of {program}:\n{run.stdout}")
    return float(found[0][0]), float(found[0][1])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--batches", type=int, default=2000)
    parser.add_argument("--rounds", type=int, default=7)
    args = parser.parse_args()
    if not 1 <= args.batches <= 1000000 or not 1 <= args.rounds <= 100:
        parser.error("batches from 1 to 1000000, rounds from 1 to 100")
    program = os.path.join(args.build, "bin", "profile_read_bench")
    os.environ.setdefault("KELO_DLL_PATH", os.path.join(args.build, "lib"))
    sys.path.insert(0, os.path.join(ROOT, "python"))

    sender = subprocess.Popen([os.path.join(args.build, "bin", "batch_sender"), ADDRESS],
                              stdout=subprocess.PIPE, text=True)
    if "listening" not in sender.stdout.readline():
        sys.exit("batch_sender did not start")
    print(f"{args.batches} batches of {PROFILES_PER_BATCH} profiles of 243 points, "
          f"{args.rounds} rounds")
    runs = {"python stream": [], "C library reader": []}
    ratios = []
    try:
        for round_ in range(args.rounds):
            # Which reader goes first changes from round to round.
            readers = [("C library reader", lambda: c_reader(program, args.batches)),
                       ("python stream", lambda: python_stream(args.batches))]
            for name, reader in readers[::1 if round_ % 2 == 0 else -1]:
                runs[name].append(reader())
            python, c = runs["python stream"][-1], runs["C library reader"][-1]
            ratios.append(python[0] / c[0])
            print(f"round {round_ + 1}: python stream {python[0]:8.0f} profiles/s "
                  f"{python[1]:6.2f} us CPU/profile; C library reader {c[0]:8.0f} profiles/s "
                  f"{c[1]:6.2f} us CPU/profile; {100 * ratios[-1]:5.1f} %")
    finally:
        sender.terminate()
        sender.wait()
    for name, results in runs.items():
        print(f"median of {args.rounds}: {name} {statistics.median(r[0] for r in results):.0f} "
              f"profiles/s, {statistics.median(r[1] for r in results):.2f} us CPU/profile")
    print(f"python stream throughput: {100 * statistics.median(ratios):.1f} % of the C library "
          f"reader (target 80 %)")
    # The steadier figure on a busy machine.
    cpu = statistics.median(p[1] / c[1] for p, c in zip(runs["python stream"],
                                                        runs["C library reader"]))
    print(f"python stream CPU per profile: {cpu:.2f} x the C library reader's")

if __name__ == "__main__":
    main()
