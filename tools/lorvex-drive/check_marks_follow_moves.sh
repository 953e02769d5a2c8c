#!/usr/bin/env bash
# A delete-candidate mark moves with its image and never comes back from the place it left: in a
# copy of the real-image fixtures the first result is marked, its folder renamed and renamed back
# (the mark comes back along); renamed again, the mark cleared and the old name given back, with
# monitoring and with each rename made while closed (no mark comes back, each run waiting for the
# launch's pass); last it is made a favourite, marked, trashed and put back (a favourite, unmarked).
# Usage: check_marks_follow_moves.sh LORVEX_DRIVE LORVEX_QUERY FIXTURES_DIR; 77 without fixtures.
set -euo pipefail
drive="$1" query="$2" fixtures="$3"
[[ -d "$fixtures" ]] || exit 77
source "$(dirname "$0")/sandbox.sh"
fail() { echo "check_marks_follow_moves: $*" >&2; exit 1; }
drive() { in_sandbox "$drive" --library "$work/library" "$@" 2>> "$work/stderr" || fail "exited $?: $*"; }
count() { "$query" --library "$work/library" "$@" 2> /dev/null | grep -c '"path"' || true; }

output="$(drive "$work/pictures")"
first="$(sed -n '/^results: /{n;s/^  //p;q}' <<< "$output")"
folder="$(dirname "$first")"
[[ -f "$first" && "$folder" != "$work/pictures" ]] || fail "no first result in a subfolder"
there=(-- move "$folder" "$folder-2" -- wait 5)
back=(-- move "$folder-2" "$folder" -- wait 5)
unmark=(-- candidates on -- unmark 1 -- candidates off)

drive -- wait 3 -- mark 1 "${there[@]}" "${back[@]}" > /dev/null
[[ "$(count --delete-candidate)" == 1 ]] || fail "the mark did not come back with its folder"
output="$(drive -- wait 3 "${there[@]}" "${unmark[@]}" "${back[@]}")"
grep -q "^unmark: 1 of" <<< "$output" || fail "no mark to clear"
[[ "$(count --delete-candidate)" == 0 ]] || fail "the cleared mark came back (monitored)"
drive -- mark 1 > /dev/null
mv "$folder" "$folder-2"
output="$(drive -- wait 3 "${unmark[@]}")"
grep -q "^unmark: 1 of" <<< "$output" || fail "no mark to clear at the new name"
mv "$folder-2" "$folder"
drive -- wait 3 > /dev/null
[[ "$(count --delete-candidate)" == 0 ]] || fail "the cleared mark came back (closed)"

drive -- wait 3 -- favorite 1 -- mark 1 -- trash-review -- trash --loaded > /dev/null
[[ ! -e "$first" ]] || fail "the image was not trashed"
mv "$work/data/Trash/files/$(basename "$first")" "$first"
drive -- wait 3 > /dev/null
[[ "$(count --delete-candidate)" == 0 && "$(count --favorite)" == 1 ]] || fail "put back: not kept as a favourite"
