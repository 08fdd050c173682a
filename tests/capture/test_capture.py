# SPDX-License-Identifier: Apache-2.0
# The Wireshark dissector (tools/wireshark/kelo.lua) and the replay of captures
# (kelo-scanner-emulator --replay). A full emulator session and a discovery are
# captured in the network namespace scripts/tests.d/75-capture.sh makes; the
# capture must decode without malformed packets or errors, with the values the
# client sent and received, and replaying it must give the client the same
# results. A capture of a lying scanner, built here, must decode cleanly too.
import json
import os
import signal
import struct
import subprocess
import time
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
BUILD = ROOT / os.environ.get("KELO_BUILD_DIR", "build")
EMULATOR = BUILD / "bin" / "kelo-scanner-emulator"
CLIENT = BUILD / "bin" / "kelo_capture_client"
DISSECTOR = ROOT / "tools" / "wireshark" / "kelo.lua"
SERIAL = 4242
SCANNER = "127.0.0.1"
ERROR_SEVERITY = 0x00800000  # PI_ERROR: Lua errors and malformed packets are at least this
PROCESS_SECONDS = 60

# Every command of the command table and the answers each is owed.
ANSWERS_OWED = {8: 1, 10: 1, 11: 1, 12: 2, 13: 1, 16: 1, 18: 1, 24: 1, 26: 1, 28: 0, 29: 0,
                33: 0, 35: 0, 38: 1, 41: 0, 42: 0, 43: 1, 44: 1, 45: 2, 46: 1, 47: 1, 48: 1,
                49: 0, 52: 0, 55: 1, 57: 0, 58: 0, 59: 0, 60: 0, 61: 0, 85: 1, 86: 2, 102: 0}


def decoded(capture, fields):
    """The fields of every frame, as tshark shows them with the dissector loaded."""
    command = ["tshark", "-r", str(capture), "-X", f"lua_script:{DISSECTOR}", "-T", "json"]
    for name in sorted(set(fields) | {"_ws.malformed", "_ws.expert.severity", "_ws.expert.message"}):
        command += ["-e", name]
    run = subprocess.run(command, capture_output=True, text=True, timeout=PROCESS_SECONDS)
    assert run.returncode == 0, run.stderr
    frames = [packet["_source"]["layers"] for packet in json.loads(run.stdout)]
    # Every frame decodes without malformed packets or errors.
    assert [frame for frame in frames if "_ws.malformed" in frame or any(
        int(severity) >= ERROR_SEVERITY for severity in frame.get("_ws.expert.severity", []))] == []
    return frames


def rows(frames, name, values, fields):
    """The fields (space-separated names) of the frames where field `name` is present and, unless
    values is None, takes one of them; a row is its fields joined by "|", a field's values by commas."""
    wanted = {str(v) for v in (values if isinstance(values, tuple) else (values,))}
    return ["|".join(",".join(frame.get(f, [])) for f in fields.split()) for frame in frames
            if name in frame and (values is None or wanted & set(frame[name]))]


def named(prefix, names):
    return " ".join(prefix + name for name in names.split())


def in_test_namespace():
    """In the namespace 75-capture.sh made, whose only other address is its own."""
    host, address = os.environ.get("KELO_HOST_NETNS"), os.environ.get("KELO_CAPTURE_NETNS_ADDRESS")
    shown = subprocess.run(["ip", "-o", "-4", "addr", "show"], capture_output=True, text=True).stdout
    return bool(host) and os.readlink("/proc/self/ns/net") != host and \
        {line.split()[3].split("/")[0] for line in shown.splitlines()} - {"127.0.0.1"} == {address}


class Program:
    """A program in the background whose output goes to a file."""

    def __init__(self, log, *command, ready):
        self.log = log
        self.process = subprocess.Popen(command, stdout=open(log, "w"), stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 10
        while ready not in log.read_text():
            assert self.process.poll() is None and time.monotonic() < deadline, f"no '{ready}': {log.read_text()}"
            time.sleep(0.05)

    def stop(self, stop_signal=signal.SIGTERM):
        self.process.send_signal(stop_signal)
        assert self.process.wait(timeout=PROCESS_SECONDS) == 0, self.log.read_text()
        return self.log.read_text()


def run_client(*arguments):
    run = subprocess.run([str(CLIENT), *arguments], capture_output=True, text=True, timeout=PROCESS_SECONDS)
    assert run.returncode == 0, run.stderr
    return run.stdout


@pytest.fixture(scope="module")
def recorded(tmp_path_factory):
    """A captured session and discovery, and the client's results live and replayed."""
    if not in_test_namespace():
        pytest.skip("captures run only in the namespace of scripts/tests.d/75-capture.sh")
    work = tmp_path_factory.mktemp("capture")
    capture = work / "session.pcap"
    emulator = Program(work / "emulator.log", str(EMULATOR), "--bind", SCANNER, "--serial", str(SERIAL), "--discovery",
                       "--image-width", "64", "--image-height", "48", "--seconds", str(PROCESS_SECONDS),
                       ready="listening on")
    dumpcap = Program(work / "dumpcap.log", "dumpcap", "-i", "any", "-P", "-w", str(capture), "-f",
                      "tcp port 24334 or udp port 30127", "-a", f"duration:{PROCESS_SECONDS}", ready="Capturing on")
    try:
        live = run_client("session", SCANNER, str(work / "live.par"))
        run_client("discovery", str(SERIAL))
        time.sleep(0.5)  # the last packets reach the capture
    finally:
        dumpcap.stop(signal.SIGINT)
        emulator.stop()
    replay = Program(work / "replay.log", str(EMULATOR), "--bind", SCANNER, "--replay", str(capture),
                     "--seconds", str(PROCESS_SECONDS), ready="listening on")
    try:
        replayed = run_client("session", SCANNER, str(work / "replayed.par"))
    finally:
        replay_log = replay.stop()
    return {"capture": capture, "live": (live, (work / "live.par").read_bytes()), "replay_log": replay_log,
            "replayed": (replayed, (work / "replayed.par").read_bytes())}


def client_line(output, name):
    """The words after `name` on the client's line for that call."""
    return next(line.split()[1:] for line in output.splitlines() if line.split()[0] == name)


# (field, its values or None, fields shown, expected rows): what the client sent, frame by frame.
SENT = [
    ("kelo.command.code", 18, "kelo.parameters.line",
     ["ExposureTime = 800,LaserPower = 250,Bogus = 1", "ExposureTime = 800"]),
    ("kelo.command.code", 41, "kelo.laser kelo.calibration.value", ["0|1.5,-2.25,1e-07"]),
    ("kelo.command.code", 42, "kelo.calibration.value kelo.calibration.trailer",
     ["1,0,0,0,1,0,0,0,1,250.5,0.25,-0.125,2e-06,3|0xaaaaaaaa"]),
    ("kelo.command.code", 55, "kelo.laser kelo.old_positions.request_word", ["0|4"]),
    ("kelo.command.code", 26, "kelo.description.id", ["2"]),
    ("kelo.command.code", 60, named("kelo.sync_settings.", "real1 real2 real3 int1 flag1 real4 real5 real6 real7 "
                                                           "real8 flag2 flag3"),
     ["0.0025|1.5|2.25|7|1|10.5|20.25|30.125|40|50.5|2|0"]),
    ("kelo.command.code", 58, named("kelo.autoexposure.", "real1 real2 real3 int1 int2 int3 flag"),
     ["0.01|650|325.5|100|50|200|2"]),
    ("kelo.command.code", 59, named("kelo.scan_window.", "real1 real2 real3 real4"), ["100|-100|-50|50"]),
    ("kelo.command.code", 61, named("kelo.alternating.", "enable exposure1 exposure2"), ["1|100|200"]),
    ("kelo.command.code", 49, "kelo.encoder.value", ["123456"]),
    ("kelo.command.code", 57, "kelo.pulses.setting1 kelo.pulses.setting2", ["2000|7", "0|0"]),
    ("kelo.command.code", 38, "kelo.batch.requested", ["5"] * 4),
    ("kelo.command.code", (43, 44, 45, 46, 47), "kelo.laser", ["0"] * 7),
    ("kelo.command.code", (85, 86), named("kelo.diagnostic.", "value1 value2 value3"), ["1|2|3", "4|5|6"]),
    ("kelo.command.code", 8, "kelo.firmware.size kelo.firmware.trailer", ["1000|0xdeadbeef", "999|"]),
    ("kelo_udp.type", 0, "kelo_udp.selector.mode kelo_udp.selector.value", [f"2|{SERIAL}", "1|7"]),
    ("kelo_udp.type", 3, named("kelo_udp.", "serial cable_id.action cable_id"), [f"{SERIAL}|2|7", f"{SERIAL}|3|0"]),
    ("kelo_udp.type", 2, named("kelo_udp.", "serial ip_mode address second_address"),
     [f"{SERIAL}|1|10.78.0.50|255.255.255.0"]),
]
# What the answers hold, compared with what the client read through the library.
RECEIVED_FIELDS = "frame.number kelo.unmatched " + named("kelo.", "errors.count errors.message status.key status.value "
                                                         "description.text calibration.window.raw batch.count "
                                                         "image.row_length image.rows firmware.accepted") + " " + \
    named("kelo_udp.", "info.identity info.block_text")


@pytest.fixture(scope="module")
def frames(recorded):
    fields = RECEIVED_FIELDS.split() + [name for where, _, names, _ in SENT for name in [where, *names.split()]]
    return decoded(recorded["capture"], fields + ["kelo.answer.command"])


def test_replay_gives_the_client_the_same_results(recorded):
    assert "close 0" in recorded["live"][0]
    assert recorded["replayed"] == recorded["live"]  # the printed results and the fetched parameter file
    # Only the date line of the position upload may differ, when a minute passed.
    differing = [line for line in recorded["replay_log"].splitlines() if "differs" in line]
    assert all("(code 41)" in line for line in differing), recorded["replay_log"]


def test_every_command_is_decoded_and_every_answer_matched(frames):
    codes = [int(code) for row in rows(frames, "kelo.command.code", None, "kelo.command.code") for code in row.split(",")]
    assert set(codes) == set(ANSWERS_OWED)
    matched = rows(frames, "kelo.answer.command", None, "kelo.answer.command")
    assert sum(len(row.split(",")) for row in matched) == sum(ANSWERS_OWED[code] for code in codes)
    assert rows(frames, "kelo.unmatched", None, "frame.number") == []


def test_answers_hold_what_the_library_read(recorded, frames):
    live = recorded["live"][0]
    messages = live.splitlines()[1].split(" | ")[1:]
    assert rows(frames, "kelo.errors.count", None, "kelo.errors.count kelo.errors.message") == \
        [f"{len(messages)}|{','.join(messages)}"]
    keys, values = rows(frames, "kelo.answer.command", 24, "kelo.status.key kelo.status.value")[0].split("|")
    assert [f"{k}={v}" for k, v in zip(keys.split(","), values.split(","))] == client_line(live, "status")[1:]
    assert rows(frames, "kelo.answer.command", 26, "kelo.description.text") == \
        [" ".join(client_line(live, "description")[1:])]
    assert rows(frames, "kelo.answer.command", 47, "kelo.calibration.window.raw")[0] == \
        ",".join(client_line(live, "scan-window")[1:])
    assert rows(frames, "kelo.answer.command", 38, "kelo.batch.count")[:3] == [client_line(live, "batch")[0]] * 3
    assert rows(frames, "kelo.image.row_length", None, "kelo.image.row_length kelo.image.rows") == ["64|48"] * 5
    assert rows(frames, "kelo.answer.command", 8, "kelo.firmware.accepted") == ["1", "1"]
    assert rows(frames, "kelo_udp.type", 1, "kelo_udp.info.identity kelo_udp.info.block_text") == \
        [f"{SERIAL}|kelo-scanner-emulator"] * 2


# A capture of a scanner that lies, built here --------------------------------------------------

def word(*values):
    return b"".join(struct.pack(">I", value & 0xFFFFFFFF) for value in values)


def answer(answer_type, payload, length=None):
    return word(answer_type, len(payload) if length is None else length) + payload


def ipv4(source, destination, protocol, body):
    return struct.pack(">BBHHHBBH4s4s", 0x45, 0, 20 + len(body), 0, 0x4000, 64, protocol, 0, bytes(source),
                       bytes(destination)) + body


def write_pcap(path, packets):
    """A pcap file of raw IPv4 packets (link type 101)."""
    path.write_bytes(struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, 101) + b"".join(
        struct.pack("<IIII", 1000 + i, 0, len(packet), len(packet)) + packet for i, packet in enumerate(packets)))


def tcp_session(exchanges, segment=7):
    """Packets of one TCP session begun before the capture, each message cut into small segments."""
    ends, sequence, packets = [((10, 0, 0, 1), 40000), ((10, 0, 0, 2), 24334)], {True: 1000, False: 5000}, []
    for to_scanner, message in exchanges:
        (source, out), (destination, to) = ends if to_scanner else ends[::-1]
        for data in (message[start:start + segment] for start in range(0, len(message), segment)):
            tcp = struct.pack(">HHIIBBHHH", out, to, sequence[to_scanner], sequence[not to_scanner], 5 << 4, 0x18,
                              65535, 0, 0)
            packets.append(ipv4(source, destination, 6, tcp + data))
            sequence[to_scanner] += len(data)
    return packets


MAGIC = struct.pack("<I", 0xA223AE7F)
LYING_SESSION = [
    (True, word(77, 5) + b"\x01\x02\x03\x04\x05"),  # a command the table lacks
    (True, word(10, 0)),
    (False, answer(99, b"\x00" * 6)),  # an answer type nobody knows
    (True, word(24, 0)),
    (False, answer(24, word(1000, 1, 2))),  # 1000 pairs announced, one sent
    (True, word(47, 4, 0)),
    (False, answer(47, word(3) + b"1.5" + word(0xFFFFFF00) + b"abc")),  # a text longer than the answer
    (True, word(48, 0)),
    (False, answer(39, word(3) + answer(39, word(1) + answer(0, word(*range(9), 100000, 1, 2, 3)))
                   + answer(0, word(*range(9), -5)))),  # nested batch, too many points, too few answers
    (True, word(18, 3) + b"a=b"),
    (False, answer(21, word(0xFFFFFFFF))),  # a negative count of messages
    (True, word(26, 2) + b"\x00\x01"),  # a payload shorter than its layout
    (False, answer(26, word(3) + b"ab")),
    (True, word(8, 4) + b"\x01\x02\x03\x04"),
    (False, word(21, 0)),  # firmware refused, in protocol byte order
    (True, word(13, 0)),
    (False, answer(2, b"\x00" * 12, length=0x7FFFFFF0)),  # a length no message has
]
LYING_DATAGRAMS = [
    struct.pack("<I", 0x12345678) + b"\x00" * 534,  # wrong magic
    MAGIC + b"\x09" + b"\x00" * 533,  # a message type nobody knows
    b"\x7f\xae\x23",  # shorter than the header
    MAGIC + b"\x01" + struct.pack("<IHBII", 1, 2, 3, 4, 99),  # a reply cut after its identity
    MAGIC + b"\x00\x00" + b"\x00" * 531 + b"\x01",  # undefined bytes that are not zero
]


# (field, its values or None, fields shown, expected rows): what cannot be decoded is shown as
# such, with its length; the expert items (kelo.short ...) show 1 where they are raised.
LYING_SHOWN = [
    ("kelo.command.code", 77, "kelo.command.length kelo.payload kelo.unknown_command", ["5|0102030405|1"]),
    ("kelo.answer.type", 99, "kelo.answer.length kelo.payload kelo.answer.command kelo.unknown_answer",
     ["6|000000000000|10|1"]),
    ("kelo.status.count", None, "kelo.status.count kelo.status.key kelo.short", ["1000|1|1"]),
    ("kelo.answer.command", 47, "kelo.calibration.value kelo.string.length kelo.payload kelo.short",
     ["1.5|3,4294967040|616263|1"]),
    ("kelo.answer.command", 48, "kelo.batch.count kelo.record.point_count kelo.short", ["3,1|100000,-5|1,1"]),
    ("kelo.errors.count", None, "kelo.errors.count kelo.parameters_rejected", ["-1|1"]),
    ("kelo.command.code", 26, "kelo.command.length kelo.payload kelo.short", ["2|0001|1"]),
    ("kelo.answer.command", 8, "kelo.firmware.accepted kelo.firmware_refused", ["0|1"]),
    ("kelo.answer.command", 13, "kelo.answer.length kelo.huge_length", ["2147483632|1"]),
    ("kelo_udp", None, named("kelo_udp.", "type wrong_magic unknown_type size info.identity nonzero"),
     ["0|1||||", "9||1|||", "|||1||", "1|||1|99|", "0|||||1"]),
]


@pytest.fixture(scope="module")
def lying_frames(tmp_path_factory):
    path = tmp_path_factory.mktemp("lying") / "lying.pcap"
    write_pcap(path, tcp_session(LYING_SESSION) + [ipv4((10, 0, 0, 1), (10, 0, 0, 255), 17, struct.pack(
        ">HHHH", 50000, 30127, 8 + len(body), 0) + body) for body in LYING_DATAGRAMS])
    return decoded(path, [name for where, _, names, _ in LYING_SHOWN for name in [where, *names.split()]])


SHOWN = [("frames", *row) for row in SENT] + [("lying_frames", *row) for row in LYING_SHOWN]


@pytest.mark.parametrize("capture,where,values,fields,expected", SHOWN,
                         ids=[f"{c}:{w}={v}" for c, w, v, _, _ in SHOWN])
def test_frames_show_what_was_sent(request, capture, where, values, fields, expected):
    found = rows(request.getfixturevalue(capture), where, values, fields)
    if capture == "frames" and where.startswith("kelo_udp"):
        # Broadcasts are captured twice: going out, and looped back to the emulator.
        found = [row for i, row in enumerate(found) if i == 0 or row != found[i - 1]]
    assert found == expected
