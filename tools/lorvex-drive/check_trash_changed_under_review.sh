#!/usr/bin/env bash
# A file whose content is replaced while the Trash review is open stays out of the Trash, even once
# folder monitoring has indexed the new content: the first run registers a copy of the real-image
# fixtures; the second (once its launch has settled) marks three images, opens the Trash review,
# writes the bytes of another image over the first of the three with monitoring running, waits
# until a background pass has indexed the change, moves the loaded candidates and then retries the
# one that failed.
# Expected: the pass indexed the change; the move trashes the two others and refuses the replaced
# file as changed since the review; the retry refuses it again; the file keeps its new bytes in
# place, still a delete candidate in the library; two files in the Trash.
# Usage: check_trash_changed_under_review.sh LORVEX_DRIVE LORVEX_QUERY FIXTURES_DIR. Exits 77 when
# the fixtures are absent.
set -euo pipefail
drive="$1"
query="$2"
fixtures="$3"
[[ -d "$fixtures" ]] || exit 77
source "$(dirname "$0")/sandbox.sh"

fail() { echo "check_trash_changed_under_review: $*" >&2; exit 1; }
drive() { in_sandbox "$drive" --library "$work/library" "$@"; }

output="$(drive "$work/pictures" 2> "$work/stderr-1")" || fail "the registration exited $?: $output"
# The first result is the first image the next run marks; the fifth is not marked and of other bytes.
first="$(sed -n '/^results: /{n;s/^  //p;q}' <<< "$output")"
other="$(sed -n '/^results: /{n;n;n;n;n;s/^  //p;q}' <<< "$output")"
[[ -f "$first" && -f "$other" ]] || fail "no first and fifth result: $output"
! cmp -s "$first" "$other" || fail "the first and fifth result have the same bytes"

# The first wait lets the launch's catch-up pass end, so that the change is indexed by a pass of its own.
output="$(drive -- wait 3 -- mark 3 -- trash-review -- write "$first" "$other" -- wait 5 -- trash --loaded \
  -- trash --retry 2> "$work/stderr-2")" || fail "the review run exited $?: $output $(tail -n 3 "$work/stderr-2")"
grep -q "^review: open, 3 loaded, hasMore no, selected 0$" <<< "$output" || fail "the review did not list 3: $output"
grep -q "^last scan: backgroundChangedPaths$" <<< "$output" || fail "monitoring did not index the change: $output"
grep -q "^trash summary: requested 3 trashed 2 failed 1$" <<< "$output" || fail "unexpected outcome: $output"
grep -q "^trash summary: requested 1 trashed 0 failed 1$" <<< "$output" || fail "the retry trashed the file: $output"
[[ "$(grep -cF "  failed: $first (fileChangedSinceReview): " <<< "$output")" == 2 ]] ||
  fail "the replaced file was not refused twice: $output"

cmp -s "$first" "$other" || fail "the replaced file did not stay in place with its new bytes"
trashed="$(find "$work/data/Trash/files" -mindepth 1 -maxdepth 1 | wc -l)"
[[ "$trashed" == 2 ]] || fail "$trashed items in the Trash: $(ls -A "$work/data/Trash/files" 2>&1)"
candidates="$("$query" --library "$work/library" --delete-candidate 2> /dev/null)" || fail "lorvex-query failed"
grep -qF "\"path\":\"$first\"" <<< "$candidates" || fail "the replaced file is no longer a listed delete candidate"
