#!/usr/bin/env bash
# Indexes the real-image fixtures (twice, with thumbnails) into a temporary library and checks
# that every PNG is accounted for: the zero-byte file is the one failure, the rest are indexed
# and get thumbnails, the second run finds the library unchanged, and (when the sqlite3 shell is
# installed) the library file holds what was indexed and the root's folder-event position.
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
[[ -f "$library/lorvex-index.json" ]] || fail "the registered folders were not kept inside the library folder"

# The library is an ordinary SQLite file: every indexed image has its row, a generation record and
# a thumbnail on disk.
if command -v sqlite3 > /dev/null; then
  query() { sqlite3 "$library/LorvexV3.sqlite" "$1"; }
  indexed=$((pngs - 1))
  [[ "$(query 'SELECT COUNT(*) FROM media_files WHERE missing = 0')" == "$indexed" ]] ||
    fail "expected $indexed media_files rows"
  [[ "$(query 'SELECT COUNT(DISTINCT media_file_id) FROM generation_records')" == "$indexed" ]] ||
    fail "expected a generation record per indexed image"
  keys="$(query 'SELECT COUNT(*) FROM image_properties WHERE thumbnail_key IS NOT NULL')"
  [[ "$keys" == "$indexed" && "$(find "$library/Thumbnails" -name '*.jpg' -size +0 | wc -l)" == "$indexed" ]] ||
    fail "expected $indexed thumbnails, the library names $keys"
  # The folder-event position is stored as registering stores it: the next launch is up to date.
  [[ "$(query 'SELECT COUNT(*) FROM registered_folder_fsevent_states WHERE last_event_id IS NOT NULL')" == 1 ]] ||
    fail "no folder-event position was stored for the root"
fi
echo "lorvex-index indexed $pngs fixture PNGs: $summary"
