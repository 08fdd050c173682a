#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Reads profiles from a scanner straight into a numpy array and saves them
as a height map: a row per profile, a column per point, the lowest height
black and the highest white (a column a profile has no point for stays 0).

    python3 height_map.py HOST[:PORT] [IMAGE.png] [--profiles N]

The image is a 16-bit greyscale PNG, written with numpy and the standard
library's zlib.
"""
import argparse
import struct
import zlib

import numpy as np

import kelo

HEIGHT = 1  # a point is (across, height, intensity)


def heights_of(profiles):
    """The heights as a 2-D array, and where the profiles have points."""
    points = profiles["points"]
    present = np.arange(points.shape[1]) < profiles["point_count"][:, np.newaxis]
    return points[:, :, HEIGHT], present


def grey_levels(heights, present):
    """1 to 65535 from the lowest to the highest height, 0 where no point
    is; with the lowest and the highest height."""
    levels = np.zeros(heights.shape, np.uint16)
    if not present.any():
        return levels, None, None
    low, high = int(heights[present].min()), int(heights[present].max())
    levels[present] = 1 + np.rint((heights[present] - low) * (65534 / max(high - low, 1)))
    return levels, low, high


def write_png(path, image):
    """A 2-D uint16 array as a 16-bit greyscale PNG."""
    rows, columns = image.shape
    # Each row is its filter type (0, none) and its samples, most significant byte first.
    data = np.zeros((rows, 1 + 2 * columns), np.uint8)
    data[:, 1:] = image.astype(">u2").view(np.uint8).reshape(rows, 2 * columns)

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    header = struct.pack(">IIBBBBB", columns, rows, 16, 0, 0, 0, 0)  # 16 bits, greyscale
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                  chunk(b"IDAT", zlib.compress(data.tobytes(), 6)) + chunk(b"IEND", b""))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("scanner", help="HOST or HOST:PORT")
    parser.add_argument("image", nargs="?", default="height-map.png")
    parser.add_argument("--profiles", type=int, default=1000, help="rows of the map (default 1000)")
    options = parser.parse_args()

    with kelo.Scanner(options.scanner) as scanner:
        # Time sync, batches of 100 read into one array; leaving the block
        # leaves sync mode.
        with scanner.acquire(mode="time", batch=100) as stream:
            profiles = stream.read(options.profiles)
    heights, present = heights_of(profiles)
    levels, low, high = grey_levels(heights, present)
    width = int(profiles["point_count"].max(initial=0))
    if width == 0:
        raise SystemExit("height_map: the profiles have no points")
    print(f"{len(profiles)} profiles of up to {width} points; heights from {low} to {high}")
    write_png(options.image, levels[:, :width])
    print(f"height map of {width} x {len(profiles)} saved to {options.image}")


if __name__ == "__main__":
    try:
        main()
    except kelo.KeloError as failure:
        raise SystemExit(f"height_map: {failure}")
