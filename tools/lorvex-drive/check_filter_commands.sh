#!/usr/bin/env bash
# Drives the filter commands over an indexed copy of the real-image fixtures (a home and settings
# folders of its own) and checks what they print: the tag suggestions carry image counts, selecting
# a suggested tag leaves exactly as many results as its count says, the saved tag is back after a
# restart over the same library (its settings suite inside it) with nothing selected, and clearing
# brings every result back.
# Usage: check_filter_commands.sh LORVEX_DRIVE FIXTURES_DIR. Exits 77 when the fixtures are absent.
set -euo pipefail
drive="$1"
fixtures="$2"
[[ -d "$fixtures" ]] || exit 77

source "$(dirname "$0")/sandbox.sh"

fail() { echo "check_filter_commands: $*" >&2; exit 1; }
run() {
  in_sandbox "$drive" --library "$work/library" "$@" 2> "$work/stderr" ||
    fail "exited $?: $(tail -n 3 "$work/stderr")"
}

first="$(run "$work/pictures" -- tags)"
total="$(grep -m1 -oP '^results: \K[0-9]+(?= loaded)' <<< "$first")"
# The most used tag, as the first row lists it: "  tag NAME (COUNT)".
row="$(grep -m1 -P '^  tag .+ \([0-9]+\)$' <<< "$first")" || fail "no tag suggestion with a count: $first"
tag="$(sed -E 's/^  tag (.+) \(([0-9]+)\)$/\1/' <<< "$row")"
count="$(sed -E 's/^  tag (.+) \(([0-9]+)\)$/\2/' <<< "$row")"
(( count > 0 && count < total )) || fail "the first tag's count $count does not narrow $total results"

added="$(run -- tag add "  $tag ")"
grep -qxF "saved tags: [$tag]" <<< "$added" || fail "tag add: $added"
grep -qxF "selected tags: [$tag]" <<< "$added" || fail "tag add: $added"
grep -qx "results: $count loaded, hasMore no" <<< "$added" || fail "tag add does not leave $count results: $added"

restarted="$(run -- clear)"
grep -qxF "saved tags: [$tag]" <<< "$restarted" || fail "the saved tag is not back after a restart: $restarted"
grep -qxF "selected tags: []" <<< "$restarted" || fail "a selection outlived the restart: $restarted"
grep -qx "results: $total loaded, hasMore no" <<< "$restarted" || fail "clear: $restarted"
! grep -q '^error:' <<< "$first$added$restarted" || fail "an error was shown: $first$added$restarted"
