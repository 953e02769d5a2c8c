#!/usr/bin/env bash
# Indexing benchmark over lorvex-index, each figure against a floor run on the same files:
#   cold:   indexing 2,000 new 1-3 MB generator PNGs into a new library
#           vs `openssl dgst -sha256` over the same files (goal: <= 1.3x)
#   rescan: an unchanged rescan of 20,000 indexed PNGs vs a bare stat walk of them (goal: <= 2x)
# Both sides run with the files in the page cache; each figure is the best of three runs. The
# floor is one openssl process; lorvex-index hashes up to three queued files ahead on helper
# threads while it writes the library, so its cold figure can fall below the floor.
#
# Usage: bench/index/bench_index.sh [LORVEX_INDEX] [WORK_DIR]
#   LORVEX_INDEX defaults to build/release/tools/lorvex-index/lorvex-index (build it with
#   scripts/build); WORK_DIR (default /tmp/lorvex-bench-index) holds the generated files and is
#   kept for later runs (delete it to regenerate).
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
indexer="${1:-$here/../../build/release/tools/lorvex-index/lorvex-index}"
work="${2:-/tmp/lorvex-bench-index}"
cold_count="${COLD_COUNT:-2000}"
rescan_count="${RESCAN_COUNT:-20000}"
runs="${RUNS:-3}"

[[ -x "$indexer" ]] || { echo "lorvex-index not found at $indexer" >&2; exit 2; }
mkdir -p "$work"

now() { date +%s.%N; }
# Runs the command; prints its wall time in seconds.
timed() {
  local start end
  start=$(now)
  "$@" > /dev/null 2>&1
  end=$(now)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }'
}
minimum() { printf '%s\n' "$@" | sort -g | head -n 1; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

if [[ ! -f "$work/cold.done" ]]; then
  echo "writing $cold_count PNGs of 1-3 MB to $work/cold" >&2
  rm -rf "$work/cold"
  python3 "$here/make_bench_pngs.py" --out "$work/cold" --count "$cold_count"
  touch "$work/cold.done"
fi
if [[ ! -f "$work/rescan.done" ]]; then
  echo "writing $rescan_count small PNGs to $work/rescan" >&2
  rm -rf "$work/rescan"
  python3 "$here/make_bench_pngs.py" --out "$work/rescan" --count "$rescan_count" --min-bytes 2048 --max-bytes 16384
  touch "$work/rescan.done"
fi

hash_all() { find "$work/cold" -name '*.png' -print0 | xargs -0 -n 500 openssl dgst -sha256; }
index_cold() { rm -rf "$work/library-cold"; "$indexer" --library "$work/library-cold" "$work/cold"; }
stat_walk() { find "$work/rescan" -name '*.png' -printf '%s %T@\n'; }
rescan() { "$indexer" --library "$work/library-rescan" "$work/rescan"; }

# Warm the page cache so that both sides read from memory.
hash_all > /dev/null
rm -rf "$work/library-rescan"
rescan > "$work/rescan-first.json" 2> /dev/null

hash_times=(); cold_times=(); stat_times=(); rescan_times=()
for ((run = 0; run < runs; ++run)); do
  hash_times+=("$(timed hash_all)")
  cold_times+=("$(timed index_cold)")
  stat_times+=("$(timed stat_walk)")
  rescan_times+=("$(timed rescan)")
done
hash_best=$(minimum "${hash_times[@]}"); cold_best=$(minimum "${cold_times[@]}")
stat_best=$(minimum "${stat_times[@]}"); rescan_best=$(minimum "${rescan_times[@]}")

index_cold > "$work/cold.json" 2> /dev/null
rescan > "$work/rescan.json" 2> /dev/null
echo "cold index:  $cold_count files $(du -sh "$work/cold" | cut -f1): lorvex-index ${cold_best}s vs openssl sha256 ${hash_best}s = $(ratio "$cold_best" "$hash_best")x (goal <= 1.3x)"
echo "             $(tail -n 1 "$work/cold.json")"
echo "rescan:      $rescan_count unchanged files: lorvex-index ${rescan_best}s vs stat walk ${stat_best}s = $(ratio "$rescan_best" "$stat_best")x (goal <= 2x)"
echo "             $(tail -n 1 "$work/rescan.json")"
