#!/usr/bin/env bash
# Launch benchmark of the application over a library of 100,000 indexed images:
#   window:  the main window on screen ("MainWindowShown"),                     goal <= 0.5 s
#   page:    the first page of results applied ("FirstResultPage"),            goal <= 1.0 s
#   stall:   the main thread's longest stall in the 10 s after that page, while
#            the launch's catch-up scan runs ("MainThreadStall"),               goal <= 50 ms
# Each figure is the median of 5 launches (offscreen, LORVEX_TRACE on), times from process start;
# each launch is ended once its catch-up scan has completed.
# The floor is `lorvex-query --limit 501` on the same library: the search the first page needs.
# The last launch's steps follow, from its trace intervals ("Launch…"): when each began after the
# launch started, and how long it took, so what the first page waited for can be seen.
#
# The library is filled once: small generator PNGs (make_bench_pngs.py) indexed with
# `lorvex-index --app-settings` into the application's own library of a scratch home, so the app
# finds them registered and indexed at launch.
#
# Usage: bench/app/bench_launch.sh [BUILD_DIR] [WORK_DIR]
#   BUILD_DIR defaults to build/release (scripts/build makes it); WORK_DIR (default
#   /tmp/lorvex-bench-launch) keeps the images and the library for later runs (delete it to start
#   over). COUNT (100000) and RUNS (5) change the size.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../../build/release}"
work="${2:-/tmp/lorvex-bench-launch}"
count="${COUNT:-100000}"
runs="${RUNS:-5}"
lorvex="$build/src/app/lorvex"
indexer="$build/tools/lorvex-index/lorvex-index"
query="$build/tools/lorvex-query/lorvex-query"
for tool in "$lorvex" "$indexer" "$query"; do
  [[ -x "$tool" ]] || { echo "not built: $tool (run scripts/build)" >&2; exit 2; }
done

export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share" \
  XDG_CACHE_HOME="$work/home/.cache" XDG_STATE_HOME="$work/home/.local/state" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset DISPLAY WAYLAND_DISPLAY

if [[ ! -f "$work/images.done" ]]; then
  echo "writing $count small PNGs to $work/images" >&2
  rm -rf "$work/images"
  python3 "$here/../index/make_bench_pngs.py" --out "$work/images" --count "$count" --min-bytes 2048 --max-bytes 8192
  touch "$work/images.done"
fi
if [[ ! -f "$work/library.done" ]]; then
  echo "indexing them into the application's library" >&2
  rm -rf "$XDG_DATA_HOME/Lorvex" "$XDG_CONFIG_HOME/Lorvex"
  "$indexer" --app-settings "$work/images" > "$work/index.json" 2> /dev/null
  tail -n 1 "$work/index.json" >&2
  touch "$work/library.done"
fi

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
field() { sed -n "s/.*event $1 .*$2=\([0-9.]*\).*/\1/p" "$3" | head -n 1; }

windows=() pages=() stalls=()
for ((run = 1; run <= runs; ++run)); do
  log="$work/launch-$run.log"
  : > "$log"
  QT_QPA_PLATFORM=offscreen LORVEX_TRACE=1 "$lorvex" 2> "$log" > /dev/null &
  pid=$!
  # Until the stall figure is in and the launch's catch-up scan has ended: a launch stopped in the
  # middle of that scan would leave the next one an interrupted scan to resume first.
  for ((tenth = 0; tenth < 3000; ++tenth)); do
    if grep -q "event MainThreadStall" "$log" &&
      sed -n '/event FirstResultPage/,$p' "$log" | grep -q "Indexing metrics .*outcome=completed"; then
      break
    fi
    kill -0 "$pid" 2> /dev/null || break
    sleep 0.1
  done
  kill "$pid" 2> /dev/null || true
  wait "$pid" 2> /dev/null || true
  window=$(field MainWindowShown ms "$log")
  page=$(field FirstResultPage ms "$log")
  stall=$(field MainThreadStall maxMs "$log")
  shown=$(field FirstResultPage count "$log")
  [[ -n "$window" && -n "$page" && -n "$stall" ]] || { echo "launch $run gave no figures, see $log" >&2; exit 1; }
  echo "launch $run: window ${window} ms, first page ${page} ms (${shown} records), longest stall ${stall} ms" >&2
  windows+=("$window") pages+=("$page") stalls+=("$stall")
done

floor=$("$query" --library "$XDG_DATA_HOME/Lorvex" --limit 501 --repeat 3 2>&1 > /dev/null |
  sed -n 's/^elapsed_ms=//p' | sort -g | head -n 1)

window=$(median "${windows[@]}")
page=$(median "${pages[@]}")
stall=$(median "${stalls[@]}")
verdict() { awk -v v="$1" -v goal="$2" 'BEGIN { print (v <= goal) ? "ok" : "OVER" }'; }
printf 'library: %s images\n' "$count"
printf 'window shown:   %8.1f ms  (goal <= 500)  %s\n' "$window" "$(verdict "$window" 500)"
printf 'first page:     %8.1f ms  (goal <= 1000) %s\n' "$page" "$(verdict "$page" 1000)"
printf 'longest stall:  %8.1f ms  (goal <= 50)   %s\n' "$stall" "$(verdict "$stall" 50)"
printf 'floor (lorvex-query --limit 501, best of 3): %s ms\n' "$floor"
echo "launch steps of the last launch (at: ms after the launch began; took: ms):"
awk '/performance begin Launch/ { name[$4] = $3; for (i = 5; i <= NF; ++i) if ($i ~ /^at=/) at[$4] = substr($i, 4) }
     /performance end Launch/ { for (i = 5; i <= NF; ++i) if ($i ~ /^ms=/) printf "  %-24s at %8s  took %8s\n", name[$4], at[$4], substr($i, 4) }' \
  "$work/launch-$runs.log"
