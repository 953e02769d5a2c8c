#!/usr/bin/env bash
# Indexing benchmark over lorvex-index, each figure against a floor run on the same files:
#   small:  indexing 100,000 new small PNGs (3-5 KB, one A1111 "parameters" chunk, folders of
#           1,000) into a new library: images per second (goal: >= 5,000 on 8 cores), and the
#           peak anonymous memory of the run (the library file's mapped pages left out)
#   rescan: an unchanged rescan of those 100,000 vs a bare stat walk of them (goal: <= 4x)
#   cold:   indexing 2,000 new 1-3 MB generator PNGs into a new library vs `openssl dgst
#           -sha256` over the same files run as one process per core (goal: <= 1.5x)
# Every side runs with the files in the page cache; each figure is the best of RUNS runs (small:
# SMALL_RUNS, default 1). lorvex-index reads, parses and hashes files on every core while its
# writer thread fills the library. The machine's load is printed beside the figures: other work on
# it skews them.
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
small_count="${SMALL_COUNT:-100000}"
runs="${RUNS:-3}"
small_runs="${SMALL_RUNS:-1}"
cores="$(nproc)"

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
if [[ ! -f "$work/small.done" ]]; then
  echo "writing $small_count small PNGs to $work/small" >&2
  rm -rf "$work/small"
  python3 "$here/make_bench_pngs.py" --out "$work/small" --count "$small_count" --min-bytes 3072 --max-bytes 5120 \
    --a1111-only
  touch "$work/small.done"
fi

hash_all() { find "$work/cold" -name '*.png' -print0 | xargs -0 -P "$cores" -n 50 openssl dgst -sha256; }
index_cold() { rm -rf "$work/library-cold"; "$indexer" --library "$work/library-cold" "$work/cold"; }
index_small() { rm -rf "$work/library-small"; "$indexer" --library "$work/library-small" "$work/small"; }
stat_walk() { find "$work/small" -name '*.png' -printf '%s %T@\n'; }
rescan() { "$indexer" --library "$work/library-small" "$work/small"; }
# The peak anonymous memory (kB) of a command, sampled every 0.1 s: the resident size would count
# the library's pages that SQLite reads through its memory map. The command may be a function, which
# runs in a subshell: its processes are the subshell and everything below it, summed.
anonymous_kb() {
  local total child
  total=$(awk '/RssAnon/ { print $2 }' "/proc/$1/status" 2> /dev/null || true)
  total=${total:-0}
  for child in $(pgrep -P "$1" 2> /dev/null || true); do
    total=$((total + $(anonymous_kb "$child")))
  done
  echo "$total"
}
peak_anonymous() {
  "$@" > /dev/null 2>&1 &
  local pid=$! peak=0 now
  while kill -0 "$pid" 2> /dev/null; do
    now=$(anonymous_kb "$pid")
    [[ -n "$now" && "$now" -gt "$peak" ]] && peak=$now
    sleep 0.1
  done
  wait "$pid"
  echo "$peak"
}

# Warm the page cache so that both sides read from memory.
hash_all > /dev/null
find "$work/small" -name '*.png' -print0 | xargs -0 cat > /dev/null

small_times=(); peak=0
for ((run = 0; run < small_runs; ++run)); do
  small_times+=("$(timed index_small)")
done
small_best=$(minimum "${small_times[@]}")
peak=$(peak_anonymous index_small)
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
echo "load:        $(uptime | sed 's/.*load average/load average/') on $cores cores"
echo "small index: $small_count new files in ${small_best}s = $(awk -v n="$small_count" -v s="$small_best" 'BEGIN { printf "%.0f", n / s }') images/s (goal >= 5,000); peak anonymous memory $((peak / 1024)) MB"
echo "rescan:      $small_count unchanged files: lorvex-index ${rescan_best}s vs stat walk ${stat_best}s = $(ratio "$rescan_best" "$stat_best")x (goal <= 4x)"
echo "             $(tail -n 1 "$work/rescan.json")"
echo "cold index:  $cold_count files $(du -sh "$work/cold" | cut -f1): lorvex-index ${cold_best}s vs openssl sha256 on $cores processes ${hash_best}s = $(ratio "$cold_best" "$hash_best")x (goal <= 1.5x)"
echo "             $(tail -n 1 "$work/cold.json")"
