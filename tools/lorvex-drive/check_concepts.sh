#!/usr/bin/env bash
# Drives tag concepts through the store over a copy of the real-image fixtures (a fresh library, a
# home and settings folders of its own) and checks what lorvex-drive prints: a concept made an alias
# of a tag and selected as the filter pages exactly as many images as that tag's own filter does and
# as the library counts for the concept; an image assigned by hand joins the page and leaves it when
# unassigned; a rename shows in the filter; without its alias the concept matches nothing; no error
# is shown.
# Usage: check_concepts.sh LORVEX_DRIVE FIXTURES_DIR. Exits 77 when the fixtures are absent.
set -euo pipefail
drive="$1"
fixtures="$2"
[[ -d "$fixtures" ]] || exit 77

source "$(dirname "$0")/sandbox.sh"

fail() { echo "check_concepts: $*" >&2; exit 1; }
tag="1girl"
# An image whose file does not even name the tag.
other="$(grep -rL --include='*.png' -- "$tag" "$work/pictures" | grep -v bad_images | head -n 1)"

output="$(in_sandbox "$drive" --library "$work/library" --tag-concepts "$work/pictures" \
  -- tag add "$tag" -- tag unselect "$tag" -- concept create "  Young   women " -- concept alias "young women" "$tag" -- concept select 1 \
  -- concept assign 1 "$other" -- concept unassign 1 "$other" -- concept rename 1 Girls \
  -- concept unalias Girls "$tag" 2> "$work/stderr")" ||
  fail "exited $?: $output $(tail -n 3 "$work/stderr")"
! grep -q '^error:' <<< "$output" || fail "an error was shown: $output"

# The results line that follows the command line `$1`.
results_after() { awk -v cmd="> $1" '$0 == cmd { found = 1 } found && /^results:/ { print; exit }' <<< "$output"; }
concept_after() { awk -v cmd="> $1" '$0 == cmd { found = 1 } found && /^  1 "/ { print; exit }' <<< "$output"; }

# The tag's own filter gives the count the concept must match.
tagged="$(results_after "tag add $tag" | sed -E 's/^results: ([0-9]+) loaded.*/\1/')"
(( tagged > 0 )) || fail "no image carries $tag: $output"
grep -q '^concept: created 1 "Young women"$' <<< "$output" || fail "create: $output"
[[ "$(results_after "concept select 1")" == "results: $tagged loaded, hasMore no" ]] || fail "select: $output"
[[ "$(concept_after "concept select 1")" == "  1 \"Young women\" images $tagged aliases [$tag]" ]] || fail "count: $output"
[[ "$(results_after "concept assign 1 $other")" == "results: $((tagged + 1)) loaded, hasMore no" ]] || fail "assign: $output"
[[ "$(concept_after "concept assign 1 $other")" == *"assigned by hand 1 of 1" ]] || fail "assign: $output"
[[ "$(results_after "concept unassign 1 $other")" == "results: $tagged loaded, hasMore no" ]] || fail "unassign: $output"
grep -q '^filter: concepts \[1 "Girls"\]$' <<< "$output" || fail "rename: $output"
[[ "$(results_after "concept unalias Girls $tag")" == "results: 0 loaded, hasMore no" ]] || fail "unalias: $output"
