#!/usr/bin/env bash
# Peak memory of indexing one PNG whose single text chunk is huge: lorvex-index indexes one file
# into a new library, for each shape of text below, and the peak resident size is read from the
# kernel (getrusage through `/usr/bin/time -f %M`). The aims: a peak of at most eight times the
# chunk plus 100 MB, and a library grown by at most twice the file's text (against a library
# indexed from an empty folder), whatever the text holds.
#   a1111-token     "parameters": one 60 MiB token (a pasted blob)
#   a1111-commas    "parameters": 60 MiB of commas
#   a1111-tags      "parameters": 7 million tags, 50,000 distinct
#   a1111-words     "parameters": 12 million words, no comma
#   a1111-1m-tags   "parameters": 1,000,000 distinct tags (a chunk of about 11 MB)
#   novelai-token   NovelAI "Comment" JSON whose prompt is one 60 MiB token
#   novelai-words   NovelAI "Comment" JSON whose prompt is 12 million words
# Prints one line per shape: peak MB against its bound, the library's growth against its bound,
# and "ok" or "OVER".
#
# Usage: bench/index/bench_text_chunk_memory.sh [LORVEX_INDEX] [WORK_DIR]
#   LORVEX_INDEX defaults to build/release/tools/lorvex-index/lorvex-index; WORK_DIR (default
#   /tmp/lorvex-bench-text-chunk) holds the generated files and is kept for later runs.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
indexer="${1:-$here/../../build/release/tools/lorvex-index/lorvex-index}"
work="${2:-/tmp/lorvex-bench-text-chunk}"
[[ -x "$indexer" ]] || { echo "lorvex-index not found at $indexer" >&2; exit 2; }
[[ -x /usr/bin/time ]] || { echo "/usr/bin/time is needed to read the peak" >&2; exit 2; }
mkdir -p "$work"

python3 - "$work" <<'PY'
import json, os, struct, sys, zlib

work = sys.argv[1]
size = 60 * 1024 * 1024

def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

def png(path, texts):
    if os.path.exists(path):
        return
    os.makedirs(os.path.dirname(path), exist_ok=True)
    ihdr = struct.pack(">IIBBBBB", 8, 8, 8, 2, 0, 0, 0)
    pixels = zlib.compress(b"".join(b"\x00" + b"\x80\x40\x20" * 8 for _ in range(8)))
    body = b"".join(chunk(b"tEXt", keyword + b"\x00" + value) for keyword, value in texts)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + body + chunk(b"IDAT", pixels) + chunk(b"IEND", b""))

def tags():
    parts, total, i = [], 0, 0
    while total < size:
        part = b"tag%d, " % (i % 50000)
        parts.append(part)
        total += len(part)
        i += 1
    return b"".join(parts)[:size]

def distinct_tags():
    return b"".join(b"tag%d, " % i for i in range(1000000))

settings = b"\nNegative prompt: bad\nSteps: 20, Sampler: Euler a, CFG scale: 7, Seed: 42, Size: 512x768, Model: m"
for name, prompt in (("a1111-token", lambda: b"a" * size), ("a1111-commas", lambda: b"," * size),
                     ("a1111-tags", tags), ("a1111-words", lambda: b"word " * (size // 5)),
                     ("a1111-1m-tags", distinct_tags)):
    png(os.path.join(work, name, "image.png"), [(b"parameters", prompt() + settings)])
for name, prompt in (("novelai-token", lambda: "a" * size), ("novelai-words", lambda: "word " * (size // 5))):
    comment = json.dumps({"prompt": prompt(), "uc": "bad", "steps": 28, "width": 832, "height": 1216}).encode()
    png(os.path.join(work, name, "image.png"), [(b"Software", b"NovelAI"), (b"Comment", comment)])
PY

# The library's bytes on disk (the database with its write-ahead log, and the thumbnails).
library_bytes() { du -sb "$1" | cut -f1; }

# A library indexed from an empty folder: what every library holds before its first image.
mkdir -p "$work/empty"
rm -rf "$work/empty.library"
"$indexer" --library "$work/empty.library" "$work/empty" >/dev/null 2>&1
empty_bytes=$(library_bytes "$work/empty.library")

status=0
for shape in a1111-token a1111-commas a1111-tags a1111-words a1111-1m-tags novelai-token novelai-words; do
  file="$work/$shape/image.png"
  library="$work/$shape.library"
  rm -rf "$library"
  chunk_bytes=$(( $(stat -c %s "$file") - 100 ))
  peak_kb=$(/usr/bin/time -f %M "$indexer" --library "$library" "$work/$shape" 2>&1 >/dev/null | tail -n 1)
  peak_mb=$(( peak_kb * 1024 / 1000000 ))
  bound_mb=$(( (8 * chunk_bytes + 100000000) / 1000000 ))
  growth_mb=$(( ($(library_bytes "$library") - empty_bytes) / 1000000 ))
  growth_bound_mb=$(( 2 * chunk_bytes / 1000000 ))
  verdict=ok
  (( peak_mb <= bound_mb && growth_mb <= growth_bound_mb )) || { verdict=OVER; status=1; }
  printf '%-14s peak %4d MB (bound %4d MB)  library +%4d MB (bound %4d MB)  %s\n' "$shape" "$peak_mb" \
    "$bound_mb" "$growth_mb" "$growth_bound_mb" "$verdict"
done
exit "$status"
