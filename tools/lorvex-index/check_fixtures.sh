#!/usr/bin/env bash
# Indexes the real-image fixtures (twice, with thumbnails) into a temporary library and checks
# that every PNG is accounted for: the zero-byte file is the one failure, the rest are indexed
# and get thumbnails, and the second run finds the library unchanged.
# Usage: check_fixtures.sh LORVEX_INDEX FIXTURES_DIR. Exits 77 when the fixtures are absent.
set -euo pipefail
indexer="$1"
fixtures="$2"
[[ -d "$fixtures" ]] || exit 77

library="$(mktemp -d "${TMPDIR:-/tmp}/lorvex-index-check-XXXXXX")"
trap 'rm -rf "$library"' EXIT

fail() { echo "check_fixtures: $*" >&2; exit 1; }
pngs=$(find "$fixtures" -iname '*.png' ! -name '.*' | wc -l)

for run in 1 2; do
  output="$("$indexer" --library "$library" --thumbnails "$fixtures" 2> "$library/stderr-$run")" ||
    fail "run $run exited $?: $(tail -n 3 "$library/stderr-$run")"
  summary="$(tail -n 1 <<< "$output")"
  grep -q "\"scanned\":$pngs," <<< "$summary" || fail "run $run: expected $pngs files scanned: $summary"
  grep -q '"failed":1,' <<< "$summary" || fail "run $run: expected one failure: $summary"
  grep -q 'bad_images/empty_file.png","kind":"metadata","message":"invalidSignature"' <<< "$output" ||
    fail "run $run: the empty file is not reported: $output"
done
grep -q '"thumbnailsFailed":0' <<< "$summary" || fail "thumbnails failed: $summary"
grep -q "unchangedSkips=$((pngs - 1)) " "$library/stderr-2" || fail "the second run did not skip the unchanged files"
[[ -n "$(find "$library/Thumbnails" -name '*.jpg' -size +0)" ]] || fail "no thumbnail was written"
echo "lorvex-index indexed $pngs fixture PNGs: $summary"
