#!/usr/bin/env bash
# A library held by another process is refused at once: lorvex-index exits 1 with the message and
# leaves the library folder as it was; once the other process lets go, it indexes as usual. The
# other process holds the library's lock file exactly as a running Lorvex does (flock(2), here
# through flock(1)).
# Usage: check_library_lock.sh LORVEX_INDEX
set -euo pipefail
indexer="$1"

work="$(mktemp -d "${TMPDIR:-/tmp}/lorvex-index-lock-XXXXXX")"
trap 'rm -rf "$work"' EXIT
fail() { echo "check_library_lock: $*" >&2; exit 1; }

library="$work/library"
mkdir -p "$library" "$work/photos"
# A library that has been used once: its database and registered folders exist.
"$indexer" --library "$library" "$work/photos" > /dev/null 2> "$work/first.err" ||
  fail "the first run failed: $(cat "$work/first.err")"
before="$(cd "$library" && find . -type f -exec sha256sum {} + | sort)"

status=0
flock --nonblock "$library/Lorvex.lock" \
  "$indexer" --library "$library" "$work/photos" > "$work/held.out" 2> "$work/held.err" || status=$?
[[ "$status" == 1 ]] || fail "expected exit 1 while the library is in use, got $status"
grep -q "another Lorvex process is using this library" "$work/held.err" ||
  fail "the message does not say the library is in use: $(cat "$work/held.err")"
[[ ! -s "$work/held.out" ]] || fail "a refused run printed results: $(cat "$work/held.out")"
after="$(cd "$library" && find . -type f -exec sha256sum {} + | sort)"
[[ "$before" == "$after" ]] || fail "the refused run changed the library"

"$indexer" --library "$library" "$work/photos" > "$work/free.out" 2> "$work/free.err" ||
  fail "the run after the lock was released failed: $(cat "$work/free.err")"
grep -q '"scanned":0,' "$work/free.out" || fail "unexpected summary: $(cat "$work/free.out")"
echo "lorvex-index refuses a library in use and opens it once it is free"
