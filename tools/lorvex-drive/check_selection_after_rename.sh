#!/usr/bin/env bash
# The selection follows a renamed image, and a selection the person dropped stays dropped: in a copy
# of the real-image fixtures the first two results are selected and the second is renamed with
# monitoring running (both stay selected, the second at its new name); the favourites filter then
# empties the results and the selection, and switched off again the first result is focused alone.
# Usage: check_selection_after_rename.sh LORVEX_DRIVE FIXTURES_DIR; 77 without fixtures.
set -euo pipefail
drive="$1" fixtures="$2"
[[ -d "$fixtures" ]] || exit 77
source "$(dirname "$0")/sandbox.sh"
fail() { echo "check_selection_after_rename: $*" >&2; exit 1; }
drive() { in_sandbox "$drive" --library "$work/library" "$@" 2>> "$work/stderr" || fail "exited $?: $*"; }
# What the N-th run of a command line printed: the lines after its "> COMMAND" up to the next one.
after() { awk -v command="> $1" -v want="$2" '/^> / {p = ($0 == command && ++n == want); next} p' <<< "$3"; }

output="$(drive "$work/pictures")"
mapfile -t first < <(sed -n '/^results: /{n;s/^  //p;n;s/^  //p;q}' <<< "$output")
[[ ${#first[@]} == 2 && -f "${first[1]}" ]] || fail "fewer than two results"
renamed="$(dirname "${first[1]}")/renamed-$(basename "${first[1]}")"

output="$(drive -- wait 3 -- select 2 -- move "${first[1]}" "$renamed" -- wait 5 -- selection \
  -- favorites on -- selection -- favorites off -- results 1 -- selection)"
followed="$(after selection 1 "$output")"
grep -qx "selection: 2 selected, focus ${first[0]}" <<< "$followed" || fail "not both selected after the rename: $followed"
grep -qx "  $renamed" <<< "$followed" || fail "the renamed image is not selected at its new name: $followed"
grep -qx "selection: 0 selected, focus none" <<< "$(after selection 2 "$output")" ||
  fail "the empty results kept a selection"
shown="$(after "results 1" 1 "$output" | sed -n 's/^  //p')"
grep -qx "selection: 1 selected, focus $shown" <<< "$(after selection 3 "$output")" ||
  fail "the dropped selection came back: $(after selection 3 "$output")"
