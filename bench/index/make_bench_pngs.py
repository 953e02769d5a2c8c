#!/usr/bin/env python3
"""Writes synthetic generator PNGs for the indexing benchmark.

Each file is a structurally valid PNG: IHDR, the text chunks a generator writes (NovelAI-style
Title/Description/Software/Source/Comment JSON, or an A1111-style "parameters" text, alternating),
IDAT chunks of incompressible bytes (8 KiB chunks for the NovelAI-style files, 64 KiB for the
others, as those generators write them) and IEND. The pixels are not decodable; indexing never
decodes them. Files are spread over folders of 1,000. With --a1111-only every file carries the
A1111-style "parameters" text alone (the small-file set of the cold-index benchmark).
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
    pool = rng.randbytes(arguments.max_bytes + 65536)
    signature = b"\x89PNG\r\n\x1a\n"
    ihdr = chunk(b"IHDR", struct.pack(">IIBBBBB", 832, 1216, 8, 6, 0, 0, 0))
    iend = chunk(b"IEND", b"")
    for index in range(arguments.count):
        folder = os.path.join(arguments.out, f"set-{index // 1000:03d}")
        os.makedirs(folder, exist_ok=True)
        size = rng.randint(arguments.min_bytes, arguments.max_bytes)
        step = 8192 if index % 2 == 0 and not arguments.a1111_only else 65536
        start = rng.randrange(0, 65536)
        parts = [signature, ihdr, text_chunks(index, rng, arguments.a1111_only)]
        for offset in range(0, size, step):
            parts.append(chunk(b"IDAT", pool[start + offset:start + min(size, offset + step)]))
        parts.append(iend)
        with open(os.path.join(folder, f"image-{index:06d}.png"), "wb") as file:
            file.write(b"".join(parts))


if __name__ == "__main__":
    main()
