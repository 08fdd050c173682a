# SPDX-License-Identifier: Apache-2.0
"""Checks the height map of examples/python/height_map.py, read back with
the standard library alone: a 16-bit greyscale PNG of the given size, every
chunk's CRC right, every row whole and unfiltered, and the samples running
from 1 (the lowest height) to 65535 (the highest), 0 nowhere (the
emulator's profiles have all their points).

    python3 check_height_map.py IMAGE.png COLUMNS ROWS
"""
import struct
import sys
import zlib

path, columns, rows = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
data = open(path, "rb").read()
assert data[:8] == b"\x89PNG\r\n\x1a\n", "no PNG signature"
chunks, at = {}, 8
while at < len(data):
    size, kind = struct.unpack(">I4s", data[at:at + 8])
    body, (crc,) = data[at + 8:at + 8 + size], struct.unpack(">I", data[at + 8 + size:at + 12 + size])
    assert crc == zlib.crc32(kind + body) and kind not in chunks, f"{kind}: wrong CRC or repeated"
    chunks[kind], at = body, at + 12 + size
assert list(chunks) == [b"IHDR", b"IDAT", b"IEND"], list(chunks)
assert struct.unpack(">IIBBBBB", chunks[b"IHDR"]) == (columns, rows, 16, 0, 0, 0, 0), chunks[b"IHDR"]
pixels, stride = zlib.decompress(chunks[b"IDAT"]), 1 + 2 * columns
assert len(pixels) == rows * stride and not any(pixels[0::stride]), "rows not whole or filtered"
samples = [v for r in range(rows) for v in struct.unpack(f">{columns}H", pixels[r * stride + 1:(r + 1) * stride])]
assert (min(samples), max(samples)) == (1, 65535), f"samples from {min(samples)} to {max(samples)}"
print(f"{path}: {columns} x {rows}, 16-bit greyscale, samples 1 to 65535")
