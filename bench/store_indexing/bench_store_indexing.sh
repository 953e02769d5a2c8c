#!/usr/bin/env bash
# Makes 5,000 small synthetic generator PNGs (once, kept in WORK_DIR) and runs
# bench_store_indexing over them.
# Usage: bench/store_indexing/bench_store_indexing.sh [BENCH_BINARY] [WORK_DIR]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
binary="${1:-$here/../../build/release/bench/store_indexing/bench_store_indexing}"
work="${2:-/tmp/lorvex-bench-store-indexing-pngs}"
count="${COUNT:-5000}"
[[ -x "$binary" ]] || { echo "bench_store_indexing not found at $binary" >&2; exit 2; }
if [[ ! -d "$work" ]]; then
  python3 "$here/../index/make_bench_pngs.py" --out "$work" --count "$count" --min-bytes 8192 --max-bytes 65536
fi
"$binary" "$work" --runs "${RUNS:-3}"
