#!/usr/bin/env bash
# A delete-candidate mark never lands on the copy of an image the person kept. Two files of one
# content in a copy of the real-image fixtures, a (the first result) and b. Monitored: a is marked,
# deleted, and b renamed at once. Rebuilt: a is marked and trashed, a table of the library file is
# damaged, and the next launch builds a new library with the marks read back from the old file.
# Expected: no delete candidate either time, and the rebuild's notice counts no mark given back.
# Usage: check_twin_marks.sh LORVEX_DRIVE LORVEX_QUERY FIXTURES_DIR; 77 without them or sqlite3.
set -euo pipefail
drive="$1" query="$2" fixtures="$3"
[[ -d "$fixtures" ]] && command -v sqlite3 > /dev/null || exit 77
source "$(dirname "$0")/sandbox.sh"
fail() { echo "check_twin_marks: $*" >&2; exit 1; }
drive() { in_sandbox "$drive" --library "$work/$library" "$@" 2>> "$work/stderr" || fail "exited $?: $*"; }
candidates() { "$query" --library "$work/$library" --delete-candidate 2> /dev/null | grep -c '"path"' || true; }

a="$(find "$work/pictures" -mindepth 2 -name '*.png' -size +1k ! -path '*/bad_images/*' | sort | head -n 1)"
b="$(dirname "$a")/twin of $(basename "$a")"
cp "$a" "$b"
touch -d "@$(($(date +%s) + 120))" "$a"

library=monitored
output="$(drive "$work/pictures")"
[[ "$(sed -n '/^results: /{n;s/^  //p;q}' <<< "$output")" == "$a" ]] || fail "a is not the first result"
drive -- wait 3 -- mark 1 -- move "$a" "$work/a.png" -- move "$b" "$b.renamed.png" -- wait 5 > /dev/null
[[ "$(candidates)" == 0 ]] || fail "the kept twin became a delete candidate"
mv "$work/a.png" "$a"
mv "$b.renamed.png" "$b"

library=rebuilt
drive "$work/pictures" > /dev/null
output="$(drive -- mark 1 -- trash-review -- trash --loaded)"
grep -q "^trash summary: requested 1 trashed 1 failed 0$" <<< "$output" || fail "a was not trashed"
file="$work/$library/LorvexV3.sqlite"
sqlite3 "$file" "PRAGMA wal_checkpoint(TRUNCATE);" > /dev/null
page="$(sqlite3 "$file" "SELECT pageno FROM dbstat WHERE name = 'generation_parameters' LIMIT 1;")"
size="$(sqlite3 "$file" "PRAGMA page_size;")"
head -c "$size" /dev/urandom | dd of="$file" bs="$size" seek="$((page - 1))" conv=notrunc status=none
: > "$file-damaged"
output="$(drive)"
grep -q "^recovery: damaged library rebuilt, set aside as .*, marks of 0 images recovered$" <<< "$output" ||
  fail "no rebuild, or it counted marks it did not give back: $output"
[[ "$(candidates)" == 0 ]] || fail "the kept twin became a delete candidate after the rebuild"
