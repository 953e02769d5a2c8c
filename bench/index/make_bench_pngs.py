#!/usr/bin/env python3
"""Writes synthetic generator PNGs for the indexing benchmark.

Each file is a valid 832x1216 RGBA PNG that decoders accept, so thumbnail work is part of what the
benchmarks measure: IHDR, the text chunks a generator writes (NovelAI-style
Title/Description/Software/Source/Comment JSON, or an A1111-style "parameters" text, alternating),
IDAT chunks (8 KiB chunks for the NovelAI-style files, 64 KiB for the others, as those generators
write them) and IEND. The image is rows of noise over a flat rest: the noise rows are stored
uncompressed (stored deflate blocks over a shared random pool, no compression per file) and set the
file's size, and the flat rest is one deflate segment compressed once per row count and reused. A
file is about its drawn size plus the flat rest's few KiB (a flat 832x1216 image deflates to ~4 KiB).
Files are spread over folders of 1,000. With --a1111-only every file carries the A1111-style
"parameters" text alone (the small-file set of the cold-index benchmark).
"""
import argparse
import json
import os
import random
import struct
import zlib


def chunk(kind: bytes, data: bytes) -> bytes:
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def text(keyword: str, value: str) -> bytes:
    return chunk(b"tEXt", keyword.encode("latin-1") + b"\0" + value.encode("latin-1", "replace"))


WORDS = ("1girl solo long_hair smile looking_at_viewer blue_eyes outdoors sky cloud dress flower "
         "masterpiece best_quality detailed_background sunset city night rain umbrella cat").split()


def prompt(rng: random.Random) -> str:
    return ", ".join(rng.choice(WORDS) for _ in range(rng.randint(12, 40)))


def text_chunks(index: int, rng: random.Random, a1111_only: bool) -> bytes:
    positive = prompt(rng)
    negative = "lowres, bad anatomy, bad hands, text, error, " + prompt(rng)
    seed = rng.randint(0, 2**32 - 1)
    if index % 2 == 0 and not a1111_only:
        comment = {
            "prompt": positive, "steps": 28, "height": 1216, "width": 832, "scale": 5.0,
            "uncond_scale": 0.0, "cfg_rescale": 0.0, "seed": seed, "n_samples": 1,
            "noise_schedule": "karras", "sampler": "k_euler_ancestral", "uc": negative,
            "v4_prompt": {"caption": {"base_caption": positive, "char_captions": []}, "use_coords": False},
            "v4_negative_prompt": {"caption": {"base_caption": negative, "char_captions": []}},
        }
        return (text("Title", "NovelAI generated image") + text("Description", positive) +
                text("Software", "NovelAI") + text("Source", "NovelAI Diffusion V4.5 4BDE2A90") +
                text("Generation time", "4.2") + text("Comment", json.dumps(comment)))
    parameters = (f"{positive}\nNegative prompt: {negative}\nSteps: 30, Sampler: DPM++ 2M, Schedule type: Karras, "
                  f"CFG scale: 6, Seed: {seed}, Size: 832x1216, Model hash: 6ce0161689, Model: animagine_xl_3")
    return text("parameters", parameters)


WIDTH, HEIGHT = 832, 1216
ROW = 1 + WIDTH * 4  # filter byte + RGBA pixels
ADLER_BASE = 65521
STORED_BLOCK = 65535


def adler32_combine(first: int, second: int, second_length: int) -> int:
    """The Adler-32 of two byte runs one after the other, from the checksum of each (zlib's own)."""
    remainder = second_length % ADLER_BASE
    sum1 = first & 0xFFFF
    sum2 = (remainder * sum1) % ADLER_BASE
    sum1 += (second & 0xFFFF) + ADLER_BASE - 1
    sum2 += ((first >> 16) & 0xFFFF) + ((second >> 16) & 0xFFFF) + ADLER_BASE - remainder
    if sum1 >= ADLER_BASE:
        sum1 -= ADLER_BASE
    if sum1 >= ADLER_BASE:
        sum1 -= ADLER_BASE
    if sum2 >= ADLER_BASE << 1:
        sum2 -= ADLER_BASE << 1
    if sum2 >= ADLER_BASE:
        sum2 -= ADLER_BASE
    return sum1 | (sum2 << 16)


class FlatRows:
    """The flat rows under the noise, as a final raw-deflate segment and the Adler-32 of the rows,
    compressed once per row count."""

    def __init__(self) -> None:
        self.row = b"\0" + bytes((96, 128, 160, 255)) * WIDTH
        self.cache: dict[int, tuple[bytes, int, int]] = {}

    def __call__(self, count: int) -> tuple[bytes, int, int]:
        if count not in self.cache:
            rows = self.row * count
            compressor = zlib.compressobj(9, zlib.DEFLATED, -15, 9)
            self.cache[count] = (compressor.compress(rows) + compressor.flush(), zlib.adler32(rows), len(rows))
        return self.cache[count]


def image_stream(noise: memoryview, flat_rows: FlatRows) -> bytes:
    """The zlib stream of the image: `noise` (whole rows, filter bytes included) in stored blocks,
    then the flat rest."""
    noise_rows = len(noise) // ROW
    flat, flat_adler, flat_length = flat_rows(HEIGHT - noise_rows)
    parts = [b"\x78\x01"]
    for offset in range(0, len(noise), STORED_BLOCK):
        block = noise[offset:offset + STORED_BLOCK]
        parts.append(struct.pack("<BHH", 0, len(block), len(block) ^ 0xFFFF))
        parts.append(block)
    # A flat rest of no rows still ends the stream: an empty final stored block.
    parts.append(flat if flat_length else b"\x01\x00\x00\xff\xff")
    adler = adler32_combine(zlib.adler32(noise), flat_adler, flat_length)
    parts.append(struct.pack(">I", adler))
    return b"".join(parts)


def noise_pool(rng: random.Random, rows: int) -> bytes:
    """Random pixel rows, each led by filter byte 0 (none)."""
    pool = bytearray(rng.randbytes(rows * ROW))
    pool[::ROW] = bytes(rows)
    return bytes(pool)


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", required=True)
    parser.add_argument("--count", type=int, required=True)
    parser.add_argument("--min-bytes", type=int, default=1 << 20)
    parser.add_argument("--max-bytes", type=int, default=3 << 20)
    parser.add_argument("--seed", type=int, default=7)
    parser.add_argument("--a1111-only", action="store_true")
    arguments = parser.parse_args()

    rng = random.Random(arguments.seed)
    # Room for the largest image's noise starting at any of 64 rows.
    spare_rows = 64
    pool = memoryview(noise_pool(rng, min(HEIGHT, arguments.max_bytes // ROW) + spare_rows))
    flat_rows = FlatRows()
    signature = b"\x89PNG\r\n\x1a\n"
    ihdr = chunk(b"IHDR", struct.pack(">IIBBBBB", WIDTH, HEIGHT, 8, 6, 0, 0, 0))
    iend = chunk(b"IEND", b"")
    for index in range(arguments.count):
        folder = os.path.join(arguments.out, f"set-{index // 1000:03d}")
        os.makedirs(folder, exist_ok=True)
        size = rng.randint(arguments.min_bytes, arguments.max_bytes)
        step = 8192 if index % 2 == 0 and not arguments.a1111_only else 65536
        start = rng.randrange(0, spare_rows) * ROW
        noise_rows = min(HEIGHT, size // ROW)
        stream = image_stream(pool[start:start + noise_rows * ROW], flat_rows)
        parts = [signature, ihdr, text_chunks(index, rng, arguments.a1111_only)]
        for offset in range(0, len(stream), step):
            parts.append(chunk(b"IDAT", stream[offset:offset + step]))
        parts.append(iend)
        with open(os.path.join(folder, f"image-{index:06d}.png"), "wb") as file:
            file.write(b"".join(parts))


if __name__ == "__main__":
    main()
