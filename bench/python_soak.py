#!/usr/bin/python3
# SPDX-License-Identifier: Apache-2.0
"""The soak for the Python package: one kelo.Group collects from every
scanner with a time-out, while `soak --plant` runs the emulators and the
fault schedule of the C++ soak (the same schedule for the same seed). A
member that fails or misses the time-out is closed and opened again
(bounded attempts, with a pause) while the others go on. Every profile is
checked (checksum, serial number, sequence), every call is timed, and the
run ends with the C++ soak's line:

  soak: S s, P profiles, F faults injected, R reported with their failure
  code, H hangs, rss +K KiB, fds +D, threads +T

and exit status 0 when every target was met.

usage: python_soak.py [--seconds S] [--seed N] [--scanners N] [--soak PATH]
                      [--build DIR] [--first-address A] [--rss-limit KIB]
"""
import argparse
import bisect
import ctypes
import errno
import os
import subprocess
import sys
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

BATCH = 50
COLLECT_TIMEOUT = 1.0       # seconds a collection may take
CONNECT_TIMEOUT = 1.0
ANSWER_TIMEOUT = 5.0        # the library's wait for each piece of an answer
PAUSE = 0.2                 # between attempts to connect
ATTEMPTS = 50               # connects in a row before a scanner counts as lost
HANG_GRACE = 1.0
AFTERMATH = 3.0             # failures this long after a fault are still its own
SETTLE_LIMIT = 15.0
WRONG_ANSWER_TYPE = 99      # the emulator's answer type under wrong-type
KINDS = ("silent", "short", "wrong-type", "huge-length", "drop", "restart")

# Stamped profiles (the emulator's --stamp): header words 1, 5, 7 and 8.
SEQUENCE, SERIAL, MARK, CHECKSUM = 1, 5, 7, 8
# glibc's mallopt parameter, and the size from which it serves with mmap.
M_MMAP_THRESHOLD = -3
MMAP_THRESHOLD = 128 * 1024


def fix_mmap_threshold():
    """As the C++ soak does: glibc otherwise raises its mmap threshold after
    the first large block is freed and keeps later ones, once freed, in its
    heaps, still resident; fixed, resident memory follows what is allocated."""
    try:
        ctypes.CDLL(None).mallopt(M_MMAP_THRESHOLD, MMAP_THRESHOLD)
    except (OSError, AttributeError):
        pass


def checksums(profiles, np):
    """The emulator's checksum of each profile (its --help): word i of header
    values 0-7, the point count and the point values taken as
    f(w ^ i*0x9E3779B9), f MurmurHash3's finaliser, summed modulo 2**32."""
    n = len(profiles)
    words = np.concatenate([profiles["header"][:, :CHECKSUM], profiles["point_count"][:, None],
                            profiles["points"].reshape(n, -1)], axis=1).view(np.uint32)
    places = np.arange(words.shape[1], dtype=np.uint32)
    x = words ^ (places * np.uint32(0x9E3779B9))
    x ^= x >> np.uint32(16)
    x *= np.uint32(0x85EBCA6B)
    x ^= x >> np.uint32(13)
    x *= np.uint32(0xC2B2AE35)
    x ^= x >> np.uint32(16)
    counted = places[None, :] < (CHECKSUM + 1 + 3 * profiles["point_count"].astype(np.int64))[:, None]
    return (np.where(counted, x, 0).sum(axis=1, dtype=np.uint64) & 0xFFFFFFFF).astype(np.uint32)


class ProfileCheck:
    """Checksum, serial number and sequence of one scanner's profiles; a gap
    is expected only after a failure or a new connection."""

    def __init__(self, serial, np):
        self.serial, self.np = serial, np
        self.intact = self.corrupted = self.out_of_order = self.gaps = self.unexplained = 0
        self.last = None
        self.gap_allowed = True

    def check(self, profiles):
        np = self.np
        if not len(profiles):
            return
        header = profiles["header"].view(np.uint32)
        good = (checksums(profiles, np) == header[:, CHECKSUM]) & (header[:, SERIAL] == self.serial)
        self.corrupted += int((~good).sum())
        header = header[good]
        self.intact += len(header)
        for mark, sequence in zip(header[:, MARK].tolist(), header[:, SEQUENCE].tolist()):
            if self.last is not None:
                last_mark, last_sequence = self.last
                if mark < last_mark or (mark == last_mark and sequence <= last_sequence):
                    self.out_of_order += 1
                elif mark > last_mark or sequence != last_sequence + 1:
                    if self.gap_allowed:
                        self.gaps += 1
                    else:
                        self.unexplained += 1
            self.last = (mark, sequence)
            self.gap_allowed = False


class Plant:
    """`soak --plant` as a child process: the emulators' addresses, then the
    faults as they begin and end, read on a thread of their own."""

    def __init__(self, command):
        self.process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.scanners = []              # (address, port, serial)
        for line in self.process.stdout:
            word = line.split()
            if word[0] == "emulator":
                self.scanners.append((word[2], int(word[3]), int(word[4])))
            elif word[0] == "ready":
                break
        else:
            raise RuntimeError("soak --plant ended before its emulators were ready")
        # [kind, begun, ended, profiles then, profiles once the first
        # collection that ends after the fault has ended has counted them]
        self.faults = [[] for _ in self.scanners]
        self.calm = threading.Event()
        self.end = threading.Event()
        self.profiles = [0] * len(self.scanners)
        self._thread = threading.Thread(target=self._read, daemon=True)
        self._thread.start()

    def _read(self):
        for line in self.process.stdout:
            word = line.split()
            if word[0] == "fault":
                self.faults[int(word[2])].append([word[4], float(word[1]), None,
                                                  self.profiles[int(word[2])], None])
            elif word[0] == "normal":
                self.faults[int(word[2])][int(word[3])][2] = float(word[1])
            elif word[0] == "calm":
                self.calm.set()
            elif word[0] == "end":
                self.end.set()
        self.end.set()

    def say(self, line):
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()

    def close(self):
        """Ends the plant; its exit status (not 0: an emulator did not end cleanly)."""
        self.process.stdin.close()
        status = self.process.wait(timeout=60)
        self._thread.join(timeout=10)
        return status


def usage():
    with open("/proc/self/statm") as statm:
        resident = int(statm.read().split()[1])
    return (resident * os.sysconf("SC_PAGE_SIZE") // 1024, len(os.listdir("/proc/self/fd")) - 1,
            len(os.listdir("/proc/self/task")))


class Soak:
    def __init__(self, plant, kelo, np):
        self.plant, self.kelo, self.np = plant, kelo, np
        n = len(plant.scanners)
        self.scanners = [None] * n
        self.retry_at = [0.0] * n
        self.attempts = [0] * n
        self.lost = [False] * n
        self.failures = [[] for _ in range(n)]      # (time, failure, detail, socket error, connect)
        self.checks = [ProfileCheck(serial, np) for _, _, serial in plant.scanners]
        self.last_complete = 0.0
        self.hangs = []
        self.group = kelo.Group()

    def timed(self, what, bound, call, *arguments, **keywords):
        started = time.monotonic()
        try:
            return call(*arguments, **keywords)
        finally:
            lasted = time.monotonic() - started
            if lasted > bound + HANG_GRACE:
                self.hangs.append(f"{what} ran {lasted:.1f} s, its time-out {bound:.1f} s")

    def record(self, i, error, connect=False):
        self.failures[i].append((time.monotonic(), error.failure, error.detail, error.socket_error, connect))
        self.checks[i].gap_allowed = True

    def connect_due(self):
        for i, (address, port, _) in enumerate(self.plant.scanners):
            if self.scanners[i] is not None or self.lost[i] or time.monotonic() < self.retry_at[i]:
                continue
            try:
                scanner = self.timed("Scanner", CONNECT_TIMEOUT, self.kelo.Scanner, address, port=port,
                                     connect_timeout=CONNECT_TIMEOUT)
            except self.kelo.KeloError as error:
                self.record(i, error, connect=True)
                self.attempts[i] += 1
                self.lost[i] = self.attempts[i] >= ATTEMPTS
                self.retry_at[i] = time.monotonic() + PAUSE
                continue
            try:
                self.timed("enter_sync", ANSWER_TIMEOUT, scanner.enter_sync, "time")
            except self.kelo.KeloError as error:
                self.record(i, error)
                self.timed("close", ANSWER_TIMEOUT, scanner.close)
                self.retry_at[i] = time.monotonic() + PAUSE
                continue
            self.group.add(scanner)
            self.scanners[i] = scanner
            self.attempts[i] = 0
            self.checks[i].gap_allowed = True

    def drop(self, i):
        scanner, self.scanners[i] = self.scanners[i], None
        self.group.remove(scanner)
        try:
            self.timed("close", ANSWER_TIMEOUT, scanner.close)
        except self.kelo.KeloError:
            pass
        self.retry_at[i] = time.monotonic() + PAUSE

    def collect_once(self):
        self.connect_due()
        members = {s.handle: i for i, s in enumerate(self.scanners) if s is not None}
        if not members:
            time.sleep(PAUSE / 4)
            return
        try:
            self.timed("collect", COLLECT_TIMEOUT, self.group.collect, BATCH, timeout=COLLECT_TIMEOUT)
            failed = None
        except self.kelo.GroupError as error:
            failed = members[error.member.handle]
            self.record(failed, error)
        # What each member delivered, also when another failed.
        for handle, i in members.items():
            profiles = self.group.profiles(self.scanners[i])
            self.checks[i].check(profiles)
            self.plant.profiles[i] += len(profiles)
        # A collection that was under way when a fault ended has read what
        # the scanner sent during it; profiles counted at the fault's end
        # would miss them.
        for i, faults in enumerate(self.plant.faults):
            for fault in reversed(faults):
                if fault[4] is not None:
                    break
                if fault[2] is not None:
                    fault[4] = self.plant.profiles[i]
        if failed is None and len(members) == len(self.scanners):
            self.last_complete = time.monotonic()
        elif failed is not None:
            self.drop(failed)

    def settle(self):
        """Until a collection from every scanner completes (lost ones aside)."""
        since = time.monotonic()
        while time.monotonic() < since + SETTLE_LIMIT:
            self.collect_once()
            if self.last_complete > since or all(self.lost):
                return True
        return False

    def close(self):
        for i, scanner in enumerate(self.scanners):
            if scanner is not None:
                self.timed("exit_sync", ANSWER_TIMEOUT, scanner.exit_sync)
                self.drop(i)
        self.group.close()


def own_report(kind, failure):
    """Whether a failure (time, code, detail, socket error, connect) is what
    the fault causes."""
    _, code, detail, socket_error, connect = failure
    if connect:
        return kind == "restart" and socket_error == errno.ECONNREFUSED
    own = {"silent": 1, "short": 2, "drop": 2, "restart": 2, "wrong-type": 4, "huge-length": 5}
    return code == own[kind] and (kind != "wrong-type" or detail == WRONG_ANSWER_TYPE)


def account(soak):
    """(injected, reported, unexplained notes, failures outside any fault),
    and a line for each kind of fault."""
    injected = reported = 0
    notes, outside = [], []
    # injected, reported, came through harmless (huge length), not reached
    tally = {kind: [0, 0, 0, 0] for kind in KINDS}
    for i, faults in enumerate(soak.plant.faults):
        starts = [fault[1] for fault in faults]
        hits = [[0, 0] for _ in faults]         # own code, other code
        for failure in soak.failures[i]:
            k = bisect.bisect_right(starts, failure[0]) - 1
            ended = faults[k][2] if k >= 0 else None
            if k < 0 or (ended is not None and failure[0] > ended + AFTERMATH):
                outside.append(f"{soak.plant.scanners[i][0]}: failure {failure[1]} at {failure[0]:.3f}")
                continue
            hits[k][0 if own_report(faults[k][0], failure) else 1] += 1
        for (kind, begun, ended, before, after), (own, other) in zip(faults, hits):
            injected += 1
            tally[kind][0] += 1
            if own:
                reported += 1
                tally[kind][1] += 1
            elif kind == "huge-length" and not other and after is not None and after > before:
                tally[kind][2] += 1
            elif not other and after == before:
                tally[kind][3] += 1
            else:
                notes.append(f"{soak.plant.scanners[i][0]}: {kind} at {begun:.3f} "
                             + ("reported only with another code" if other else "not reported"))
    for kind, (count, own, expected, unreached) in tally.items():
        print(f"soak:   {kind:12} {count:5}: {own:5} reported with its own failure code" +
              (f", {expected} not reported, as expected: it changes only the outer length word of each "
               "batch, which the batch reader does not use" if expected else "") +
              (f", {unreached} not reached" if unreached else ""))
    if any(t[3] for t in tally.values()):
        print("soak:   not reached: the scanner delivered nothing while the fault lasted and no failure was "
              "reported for it; one thread collects, and it was connecting another scanner or in a "
              "collection that another member held up or ended (a group failure names one member)")
    return injected, reported, notes, outside


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--seconds", type=float, default=60)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--scanners", type=int, default=8)
    parser.add_argument("--build", default=os.environ.get("KELO_BUILD_DIR", os.path.join(ROOT, "build")))
    parser.add_argument("--soak", help="the soak program (default: BUILD/bin/soak)")
    parser.add_argument("--first-address", default=f"127.203.{os.getpid() % 250 + 1}.1")
    parser.add_argument("--rss-limit", type=int, default=1024, help="KiB")
    args = parser.parse_args()
    fix_mmap_threshold()
    os.environ.setdefault("KELO_DLL_PATH", os.path.join(args.build, "lib"))
    sys.path.insert(0, os.path.join(ROOT, "python"))
    import numpy as np
    import kelo

    plant = Plant([args.soak or os.path.join(args.build, "bin", "soak"), "--plant", "--seconds", str(args.seconds),
                   "--seed", str(args.seed), "--scanners", str(args.scanners), "--first-address",
                   args.first_address])
    started = time.monotonic()
    soak = Soak(plant, kelo, np)
    plant_status = None
    try:
        while not plant.calm.is_set():
            soak.collect_once()
        settled = soak.settle()
        baseline = usage()
        plant.say("resume")
        while not plant.end.is_set():
            soak.collect_once()
        settled = soak.settle() and settled
        end = usage()
        seconds = time.monotonic() - started
        soak.close()
    finally:
        plant_status = plant.close()

    injected, reported, notes, outside = account(soak)
    checks = soak.checks
    profiles = sum(c.intact + c.corrupted for c in checks)
    damaged = sum(c.corrupted + c.out_of_order + c.unexplained for c in checks)
    print(f"soak: profiles: {sum(c.intact for c in checks)} intact, {sum(c.corrupted for c in checks)} corrupted, "
          f"{sum(c.out_of_order for c in checks)} out of order; {sum(c.gaps for c in checks)} gaps, each after "
          f"a reported failure or a new connection, {sum(c.unexplained for c in checks)} anywhere else")
    for line in notes + [f"failure outside any fault: {o}" for o in outside] + [f"hang: {h}" for h in soak.hangs]:
        print(f"soak: {line}")
    rss, fds, threads = (e - b for e, b in zip(end, baseline))
    failed = [reason for reason, bad in [
        ("calls hung", soak.hangs), ("faults not reported with their code", notes),
        ("profiles lost or damaged", damaged), ("failures without a fault", outside),
        ("a scanner was given up", any(soak.lost)),
        ("emulators ended on their own or not cleanly", plant_status != 0), ("not every scanner collected at the baseline or the end",
                                                      not settled),
        ("memory, descriptors or threads grew", fds or threads or rss >= args.rss_limit)] if bad]
    for reason in failed:
        print(f"soak: FAILED: {reason}")
    print(f"soak: {seconds:.0f} s, {profiles} profiles, {injected} faults injected, {reported} reported with "
          f"their failure code, {len(soak.hangs)} hangs, rss {rss:+d} KiB, fds {fds:+d}, threads {threads:+d}",
          flush=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
