#!/usr/bin/env bash
# The memory a scan of hostile files leaves behind: bench_scan_memory scans a folder of them into
# a new library through the library service, in one process, and reports its resident memory
# before the scan, at its peak, right after it and after a second at rest. The folder holds:
#   text-*.png      three "parameters" tEXt chunks of 100 MB (words, tags, one token)
#   bomb-*.png      a zTXt and an iTXt chunk that inflate to 1 GiB each
#   deep-json.png   a NovelAI "Comment" of 100,000 nested arrays
#   huge-*.png      an IHDR of 100,000 x 100,000 (and of 2^31 - 1 square) over a few bytes of IDAT
#   tags-1m.png     a prompt of 1,000,000 distinct tags
#   plain-*.png     ten ordinary small images
# The aim: at rest, the process holds at most 100 MB more than before the scan.
#
# Usage: bench/index/bench_hostile_scan_memory.sh [BENCH_SCAN_MEMORY] [WORK_DIR]
#   BENCH_SCAN_MEMORY defaults to build/release/bench/scan_memory/bench_scan_memory; WORK_DIR (default
#   /tmp/lorvex-bench-hostile-scan) holds the generated files and is kept for later runs.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
program="${1:-$here/../../build/release/bench/scan_memory/bench_scan_memory}"
work="${2:-/tmp/lorvex-bench-hostile-scan}"
[[ -x "$program" ]] || { echo "bench_scan_memory not found at $program" >&2; exit 2; }
mkdir -p "$work/hostile"

python3 - "$work/hostile" <<'PY'
import json, os, struct, sys, zlib

folder = sys.argv[1]
mb = 1000 * 1000

def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

def png(name, texts, width=8, height=8, idat=None):
    path = os.path.join(folder, name)
    if os.path.exists(path):
        return
    ihdr = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    if idat is None:
        idat = zlib.compress(b"".join(b"\x00" + b"\x80\x40\x20" * width for _ in range(height)))
    body = b"".join(chunk(kind, data) for kind, data in texts)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + body + chunk(b"IDAT", idat) + chunk(b"IEND", b""))

def bomb(total):
    compressor = zlib.compressobj(9)
    block = b"a" * (1 << 20)
    out = [compressor.compress(block) for _ in range(total >> 20)]
    return b"".join(out) + compressor.flush()

settings = b"\nNegative prompt: bad\nSteps: 20, Sampler: Euler a, CFG scale: 7, Seed: 42, Size: 512x768, Model: m"
def text(kind, value):
    return (b"tEXt", kind + b"\x00" + value)

png("text-words.png", [text(b"parameters", b"word " * (100 * mb // 5) + settings)])
png("text-tags.png", [text(b"parameters", b"".join(b"tag%d, " % (i % 50000) for i in range(100 * mb // 10)) + settings)])
png("text-token.png", [text(b"parameters", b"a" * (100 * mb) + settings)])
png("bomb-ztxt.png", [(b"zTXt", b"parameters\x00\x00" + bomb(1 << 30))])
png("bomb-itxt.png", [(b"iTXt", b"Comment\x00\x01\x00\x00\x00" + bomb(1 << 30)), text(b"Software", b"NovelAI")])
deep = b'{"prompt": "cat", "uc": "bad", "nest": ' + b"[" * 100000 + b"]" * 100000 + b"}"
png("deep-json.png", [text(b"Software", b"NovelAI"), text(b"Comment", deep)])
png("huge-100k.png", [text(b"parameters", b"cat" + settings)], 100000, 100000, zlib.compress(b"\x00" * 64))
png("huge-max.png", [text(b"parameters", b"dog" + settings)], 2**31 - 1, 2**31 - 1, zlib.compress(b"\x00" * 64))
png("tags-1m.png", [text(b"parameters", b"".join(b"tag%d, " % i for i in range(1000000)) + settings)])
for i in range(10):
    png("plain-%d.png" % i, [text(b"parameters", b"1girl, solo, smile %d" % i + settings)])
PY

library="$work/library"
rm -rf "$library"
line=$("$program" --library "$library" "$work/hostile")
echo "$line"
value() { sed -E "s/.*$1=([0-9-]+).*/\1/" <<<"$line"; }
before=$(value before_mb)
peak=$(value peak_mb)
rest=$(value rest_mb)
verdict=ok
(( rest - before <= 100 )) || verdict=OVER
printf 'before %d MB  peak %d MB  at rest %d MB (+%d MB; aim <= +100 MB)  %s\n' "$before" "$peak" "$rest" \
  $(( rest - before )) "$verdict"
[[ "$verdict" == ok ]]
