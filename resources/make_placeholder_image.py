#!/usr/bin/env python3
"""Writes the placeholder firmware image embedded by default: 130048 bytes
(508 blocks of 256) from a fixed xorshift32 sequence, so every run produces
the same file. A vendor build embeds its real image instead (CMake cache
variable QUIL_FIRMWARE_IMAGE)."""
import pathlib
import sys

IMAGE_SIZE = 508 * 256
SEED = 0x2545F491


def placeholder_image():
    state = SEED
    out = bytearray()
    while len(out) < IMAGE_SIZE:
        state ^= (state << 13) & 0xFFFFFFFF
        state ^= state >> 17
        state ^= (state << 5) & 0xFFFFFFFF
        out += state.to_bytes(4, "little")
    return bytes(out[:IMAGE_SIZE])


if __name__ == "__main__":
    target = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).with_name("firmware.bin"))
    target.write_bytes(placeholder_image())
    print(f"{target}: {IMAGE_SIZE} bytes")
