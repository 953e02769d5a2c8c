#!/usr/bin/env bash
# Moves reviewed delete candidates of a copy of the real-image fixtures to a Trash of its own, the
# way a person would through the store, and checks that only the reviewed files went: the first run
# registers the copy; the second marks three images, undoes that, marks them again, opens the Trash
# review, changes one of the three files behind the library's back and moves the loaded candidates.
# Expected: two files in $XDG_DATA_HOME/Trash (a fresh folder on the copy's file system, so the home
# Trash is the one used), the changed file kept in place, reported as changed since the review and
# ticked for a retry, the error told in the language of the C locale, and the library listing
# exactly the two moved images as missing.
# Usage: check_trash.sh LORVEX_DRIVE LORVEX_QUERY FIXTURES_DIR. Exits 77 when the fixtures are
# absent.
set -euo pipefail
drive="$1"
query="$2"
fixtures="$3"
[[ -d "$fixtures" ]] || exit 77
source "$(dirname "$0")/sandbox.sh"

fail() { echo "check_trash: $*" >&2; exit 1; }
drive() { in_sandbox "$drive" --library "$work/library" "$@"; }

# The first run registers the copy; its first result is the first image the next run marks.
output="$(drive "$work/pictures" 2> "$work/stderr-1")" || fail "the registration exited $?: $output"
first="$(sed -n '/^results: /{n;s/^  //p;q}' <<< "$output")"
[[ -f "$first" ]] || fail "no first result to change: $output"
size_before="$(stat -c %s "$first")"

output="$(LC_ALL=C drive -- mark 3 -- undo -- mark 3 -- trash-review -- touch "$first" -- trash --loaded \
  2> "$work/stderr-2")" || fail "the review run exited $?: $output $(tail -n 3 "$work/stderr-2")"
grep -q "^review: open, 3 loaded, hasMore no, selected 0$" <<< "$output" || fail "the review did not list 3: $output"
grep -q "^trash summary: requested 3 trashed 2 failed 1$" <<< "$output" || fail "unexpected outcome: $output"
grep -qF "  failed: $first (fileChangedSinceReview): " <<< "$output" || fail "the changed file was not refused: $output"
grep -qxF "error: Some files could not be moved to the Trash." <<< "$output" || fail "the error is not told in English: $output"
grep -qF "  [x] $first" <<< "$output" || fail "the changed file is not ticked for a retry: $output"
grep -q "^review: open, 1 loaded, hasMore no, selected 1$" <<< "$output" || fail "the review kept more than the refused file: $output"

[[ -f "$first" && "$(stat -c %s "$first")" == "$size_before" ]] || fail "the changed file did not stay in place"
trashed="$(find "$work/data/Trash/files" -mindepth 1 -maxdepth 1 | wc -l)"
[[ "$trashed" == 2 ]] || fail "$trashed items in the Trash: $(ls -A "$work/data/Trash/files" 2>&1)"
infos="$(find "$work/data/Trash/info" -name '*.trashinfo' | wc -l)"
[[ "$infos" == 2 ]] || fail "$infos Trash information files"
while IFS= read -r moved; do
  [[ ! -e "$moved" ]] || fail "$moved is still in place"
done < <(sed -n 's/^  trashed: //p' <<< "$output")

missing="$("$query" --library "$work/library" --missing --delete-candidate 2> /dev/null)" || fail "lorvex-query failed"
[[ "$(grep -c '"path"' <<< "$missing")" == 2 ]] || fail "the library does not list two missing images: $missing"
! grep -qF "\"path\":\"$first\"" <<< "$missing" || fail "the changed file is listed as missing"
