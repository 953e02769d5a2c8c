#!/usr/bin/env bash
# Drives the store over a copy of the real-image fixtures as a new user would (a fresh library, a
# home and settings folders of its own) and checks what it prints: every PNG scanned, the zero-byte
# file the one failure, the first page holding the rest, no error; and that nothing was written
# outside the library folder and the copy. A second run over the same library launches with the
# folder already registered and finds the same library.
# Usage: check_fixtures.sh LORVEX_DRIVE FIXTURES_DIR. Exits 77 when the fixtures are absent.
set -euo pipefail
drive="$1"
fixtures="$2"
[[ -d "$fixtures" ]] || exit 77

source "$(dirname "$0")/sandbox.sh"

fail() { echo "check_fixtures: $*" >&2; exit 1; }
pngs=$(find "$work/pictures" -iname '*.png' ! -name '.*' | wc -l)

for run in 1 2; do
  output="$(in_sandbox "$drive" --library "$work/library" "$work/pictures" 2> "$work/stderr-$run")" ||
    fail "run $run exited $?: $output $(tail -n 3 "$work/stderr-$run")"
  grep -q "^scan: scanned $pngs indexed $((pngs - 1)) failed 1$" <<< "$output" || fail "run $run: $output"
  grep -q "failed: $work/pictures/.*/empty_file.png" <<< "$output" || fail "run $run: the empty file is not reported"
  grep -q "^results: $((pngs - 1)) loaded, hasMore no$" <<< "$output" || fail "run $run: $output"
  ! grep -q '^error:' <<< "$output" || fail "run $run showed an error: $output"
done
[[ -f "$work/library/lorvex-library.json" ]] || fail "the settings were not kept inside the library folder"
[[ -z "$(find "$work/home" "$work/config" "$work/data" "$work/cache" -mindepth 1 -print -quit)" ]] ||
  fail "something was written outside the library folder: $(find "$work/home" "$work/config" "$work/data" "$work/cache" -mindepth 1)"
