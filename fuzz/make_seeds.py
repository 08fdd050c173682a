#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Writes the starting inputs of every fuzz target into corpus/<target>/.

Each input starts with two selector bytes (variant, small argument), then
the bytes the scanner sends. A variant byte with its top bit set asks for
the bytes in pieces: a count byte and each piece's length less one (2-byte
little-endian) come before the scanner's bytes. The seeds are well-formed
answers; the fuzzer takes them apart from there.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def word(*values):
    return b"".join(struct.pack(">I", v & 0xFFFFFFFF) for v in values)


def in_pieces(variant, option, *lengths):
    """Selector of an input delivered in pieces of the given lengths."""
    return bytes([0x80 | variant, option, len(lengths)]) + b"".join(
        struct.pack("<H", n - 1) for n in lengths)


def member(data):
    """One group member's bytes, for every member but the last."""
    return struct.pack("<H", len(data)) + data


def answer(kind, payload):
    return word(kind, len(payload)) + payload


def counted(text):
    data = text.encode()
    return word(len(data)) + data


def profile(points, header_first=0):
    body = word(header_first, 1, 2, 3, 4, 1001, 0, 0, 0, points)
    for i in range(points):
        body += word(i * 100 - 5000, 150000 + i, 900 + i)
    return answer(0, body)


def batch(*profiles):
    inner = b"".join(profiles)
    return word(39, 4 + len(inner), len(profiles)) + inner


def scan(points):
    body = word(7, 0, 640, 480, 1, 2, 3, 0, points)
    for i in range(points):
        body += word(i, 100 + i, 50)
    return answer(2, body)


def image(width, height):
    pixels = bytes((x * 7 + y * 13) & 0xFF for y in range(height) for x in range(width))
    return answer(1, word(3, 0, height, width, 8) + pixels)


def calibration(lasers, first=("12.5", "-3.25", "0.001")):
    texts = list(first[:3]) + ["1", "0", "0", "0", "1", "0", "0", "0", "1", "100", "0.25",
                               "-0.125", "2e-06", "3"]
    texts[3:3 + len(first) - 3] = first[3:]
    body = b"".join(counted(t) for t in texts)
    return word(47, 0) + body + word(0, lasers) + word(-50000, 50000, 20000, 120000)


def udp_reply(identity, text=b"emulated"):
    record = struct.pack("<IHBIIBBI", 1001, 2, 0, 0x0100007F, identity, 1, 1, 0x00FFFFFF)
    record += text.ljust(512, b"\0")
    datagram = struct.pack("<IB", 0xA223AE7F, 1) + record
    assert len(datagram) == 538
    return struct.pack("<H", len(datagram)) + datagram


SEEDS = {
    "profile_fuzz": {
        "single": b"\0\0" + profile(3),
        "no_profile": b"\0\0" + word(34, 0),
        "full": b"\0\0" + profile(243),
        "batch_read": b"\1\3" + batch(profile(2), profile(1, 5), profile(0)),
        "large_batch": b"\2\2" + batch(profile(300), profile(486)),
        "all_lasers": b"\3\4" + batch(profile(4), profile(4, 1)),
        "nested": b"\0\0" + batch(batch(profile(1)), profile(2)),
        "cleanup": b"\4\1" + batch(profile(1)) + answer(18, b"xyz"),
        "get_n": b"\5\2" + profile(5),
        "get_multiple": b"\6\2" + batch(profile(1), profile(2)),
        "exit_drain": b"\7\1" + batch(profile(2)) + profile(1),
        "single_pieces": in_pieces(0, 0, 3, 5, 30) + profile(3),
        "batch_pieces": in_pieces(1, 3, 4, 8, 12, 100, 2000) + batch(profile(2), profile(200),
                                                                      profile(0)),
        "large_pieces": in_pieces(2, 2, 13, 3000, 1) + batch(profile(486), profile(486)),
        "cleanup_pieces": in_pieces(4, 2, 7, 600, 5) + batch(profile(50)) + profile(2),
    },
    "scan_fuzz": {
        "scan": b"\0\0" + scan(4),
        "diagnostic": b"\1\5" + scan(0),
        "wrong_type": b"\0\0" + profile(1),
        "scan_n": b"\2\1" + scan(2),
        "pieces": in_pieces(0, 0, 2, 7, 30) + scan(40),
    },
    "image_fuzz": {
        "image": b"\0\7" + image(8, 4),
        "image_scan": b"\1\1" + image(4, 2) + scan(2),
        "image_n": b"\2\1" + image(3, 3),
        "image_scan_n": b"\3\0" + image(2, 2) + scan(1),
        "diagnostic_image_scan": b"\4\2" + image(5, 1) + scan(3),
        "pieces": in_pieces(1, 1, 5, 20, 11, 4) + image(16, 8) + scan(5),
    },
    "parameter_fuzz": {
        "errors": b"\0\0" + word(21, 0, 2) + counted("x") + counted("ab"),
        "accepted": b"\0\0" + word(18, 0),
        "file": b"\1\0" + answer(16, b"# parameter set\nExposureTime = 500\n"),
        "send_rejected": b"\2\0" + word(21, 0, 1) + counted("line 1: unknown name"),
        "file_rejected": b"\2\1" + word(21, 0, 2) + counted("line 1: bad value") + counted("x"),
        "errors_pieces": in_pieces(0, 0, 6, 4, 3, 2) + word(21, 0, 2) + counted("first")
        + counted("second"),
        "file_pieces": in_pieces(1, 0, 8, 10) + answer(16, b"Exposure = 1\nGain = 2\n"),
    },
    "calibration_fuzz": {
        "retrieve": b"\0\0" + calibration(2) + calibration(2),
        "window": b"\1\1" + calibration(1),
        "position": b"\2\0" + calibration(3),
        "retrieve_pieces": in_pieces(0, 0, 8, 2, 6, 50, 3) + calibration(1),
        "out_of_range": b"\0\0" + calibration(1, ["1e999", "-0x1p99999", "1e-999", " +0.5"]),
    },
    "old_positions_fuzz": {
        "two": b"\0\4" + word(55, 0, 2) + counted("1") + counted("2") + counted("3")
        + counted("Date:.....May 01 2020 09:05 AM") + counted("4.5") + counted("-1")
        + counted("1e-07") + counted("x" * 40),
        "negative": b"\0\1" + word(55, 0, -3),
        "pieces": in_pieces(0, 2, 10, 3, 9) + word(55, 0, 1) + counted("1") + counted("2")
        + counted("3") + counted("Date: now"),
    },
    "status_fuzz": {
        "pairs": b"\0\4" + word(24, 0, 3, 0, 1001, 1, 577, 1, 20),
        "empty": b"\0\0" + word(24, 0, 0),
        "pieces": in_pieces(0, 2, 9, 5, 6) + word(24, 0, 2, 0, 1, 1, 2),
    },
    "description_fuzz": {
        "text": b"\0\4" + word(26, 0, 10) + b"Serial no.",
        "terminated": b"\0\40" + word(26, 0, 6) + b"Laser\0",
        "pieces": in_pieces(0, 16, 4, 4, 3) + word(26, 0, 12) + b"Temperature.",
    },
    "firmware_fuzz": {
        "confirmed": b"\1\20" + bytes([0x14, 0, 0, 0, 0, 0, 0, 0]),
        "big_endian_twenty": b"\0\4" + word(20, 0),
        "short": b"\1\0" + bytes([0x14, 0, 0]),
        "pieces": in_pieces(1, 9, 1, 3, 2) + bytes([0x14, 0, 0, 0, 0, 0, 0, 0]),
    },
    "group_fuzz": {
        "two": b"\1\2" + member(batch(profile(1), profile(2)) + batch(profile(3)))
        + batch(profile(4), profile(5), profile(6)),
        "three_one_fails": b"\2\1" + member(batch(profile(1), profile(1))) + member(word(39))
        + batch(profile(2), profile(2)),
        "empty_then_full": b"\0\1" + batch() + word(34, 0) + batch(profile(7), profile(8)),
        "pieces": in_pieces(3, 0, 5, 9, 13) + member(batch(profile(2))) + member(batch(profile(3)))
        + member(batch(profile(4))) + batch(profile(5)),
    },
    "udp_reply_fuzz": {
        "two": b"\0\3" + udp_reply(1001) + udp_reply(1002),
        "duplicate": b"\0\3" + udp_reply(7) + udp_reply(7),
        "short": b"\0\0" + struct.pack("<H", 5) + struct.pack("<IB", 0xA223AE7F, 1),
        "by_cable_id": b"\1\2" + udp_reply(5) + udp_reply(6) + udp_reply(7),
        "by_serial_number": b"\2\1" + udp_reply(1001),
    },
    "udp_reply_vb_fuzz": {
        "two": b"\0\3" + udp_reply(1001) + udp_reply(1002),
        "more_than_room": b"\1\1" + udp_reply(1) + udp_reply(2) + udp_reply(3),
        "duplicate_and_short": b"\2\7" + udp_reply(9) + udp_reply(9)
        + struct.pack("<H", 5) + struct.pack("<IB", 0xA223AE7F, 1),
    },
}


def main():
    for target, seeds in SEEDS.items():
        directory = os.path.join(HERE, "corpus", target)
        os.makedirs(directory, exist_ok=True)
        for name, data in seeds.items():
            with open(os.path.join(directory, "seed_" + name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
