#!/usr/bin/env bash
# Marks survive kills during moves, end to end: a folder of COUNT (2,000) distinct marked images (three
# in four delete candidates, the rest favourites) inside a registered folder is renamed back and
# forth while lorvex-drive runs over the library with monitoring on, and the process is killed with
# SIGKILL 0-1 s after the library first holds an image at the new name (after a launch of 0-3 s),
# ROUNDS (10) times; then a launch that completes. Every mark must then be on its image at the
# folder's current name. A kill counts as landing during a move when, after it, the library holds
# images at the new name while marks are still with the old one; the check fails when no kill did,
# since it then proved nothing. The kills land where they land, so this is a check to run by hand,
# not one of the ctest checks.
# Usage: kill_during_moves.sh LORVEX_DRIVE; COUNT, ROUNDS and SEED from the environment.
set -euo pipefail
drive="$1"
count="${COUNT:-2000}" rounds="${ROUNDS:-10}"
RANDOM="${SEED:-59}"
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d "${TMPDIR:-/tmp}/lorvex-kill-moves-XXXXXX")"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/config" "$work/data" "$work/cache" "$work/runtime" "$work/pictures/sub"
chmod 700 "$work/runtime"
library="$work/library"
database="$library/LorvexV3.sqlite"
fail() {
  tail -n 20 "$work/stderr" >&2 2> /dev/null || true
  echo "kill_during_moves: $*" >&2
  exit 1
}
sandbox=(env HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_CACHE_HOME="$work/cache"
  XDG_RUNTIME_DIR="$work/runtime")
in_sandbox() { "${sandbox[@]}" "$@"; }
seconds() { awk -v n="$RANDOM" -v most="$1" 'BEGIN { printf "%.3f", n / 32767 * most }'; }

python3 "$here/../../bench/index/make_bench_pngs.py" --out "$work/made" --count "$count" --min-bytes 3072 \
  --max-bytes 5120 --a1111-only
find "$work/made" -name '*.png' -exec mv -t "$work/pictures/sub" {} +
in_sandbox "$drive" --library "$library" "$work/pictures" -- wait 3 > /dev/null 2>> "$work/stderr" ||
  fail "the first launch failed"
[[ "$(sqlite3 "$database" "SELECT COUNT(DISTINCT content_sha256) FROM media_files WHERE missing = 0")" == "$count" ]] ||
  fail "the images are not $count distinct ones"
candidates=$((count * 3 / 4))
sqlite3 "$database" <<SQL
INSERT INTO review_states (media_file_id, favorite, delete_candidate, notes, updated_at)
  SELECT id, 0, 1, NULL, 0 FROM media_files ORDER BY absolute_path LIMIT $candidates
  ON CONFLICT(media_file_id) DO UPDATE SET delete_candidate = 1;
INSERT INTO review_states (media_file_id, favorite, delete_candidate, notes, updated_at)
  SELECT id, 1, 0, NULL, 0 FROM media_files ORDER BY absolute_path LIMIT -1 OFFSET $candidates
  ON CONFLICT(media_file_id) DO UPDATE SET favorite = 1;
SQL
# The marks of present images with a mark, by file name, with the folder they are in.
marks() {
  sqlite3 "$database" "SELECT absolute_path, favorite, delete_candidate FROM media_files JOIN review_states ON
    media_file_id = media_files.id WHERE missing = 0 AND (favorite OR delete_candidate) ORDER BY absolute_path" |
    sed "s|^$work/pictures/||"
}
expected="$(marks | sed 's|^sub/||')"

# How many present images the library holds in the folder, and how many marks it keeps on images of
# the folder, present or not.
present_in() {
  sqlite3 "$database" "SELECT COUNT(*) FROM media_files WHERE missing = 0 AND absolute_path LIKE '$work/pictures/$1/%'"
}
marked_in() {
  sqlite3 "$database" "SELECT COUNT(*) FROM media_files JOIN review_states ON media_file_id = media_files.id
    WHERE (favorite OR delete_candidate) AND absolute_path LIKE '$work/pictures/$1/%'"
}

from=sub to=sub2 during=0
for ((round = 1; round <= rounds; round++)); do
  # env runs the tool in its own process: the one killed.
  "${sandbox[@]}" "$drive" --library "$library" -- wait 60 > /dev/null 2>> "$work/stderr" &
  pid=$!
  sleep "$(seconds 3)"
  mv "$work/pictures/$from" "$work/pictures/$to"
  # Killed once the move is being handled: the first image at the new name, then 0-1 s more.
  for ((poll = 0; poll < 500; poll++)); do
    [[ "$(present_in "$to" 2> /dev/null || echo 0)" -gt 0 ]] && break
    sleep 0.02
  done
  sleep "$(seconds 1)"
  kill -9 "$pid" 2> /dev/null || true
  wait "$pid" 2> /dev/null || true
  landed=no
  if [[ "$(present_in "$to")" -gt 0 && "$(marked_in "$from")" -gt 0 ]]; then
    landed=yes
    during=$((during + 1))
  fi
  echo "round $round: $from -> $to, killed during the move: $landed" >&2
  tmp="$from" from="$to" to="$tmp"
done
((during > 0)) || fail "no kill of $rounds landed while a move was handled: nothing was proved"
in_sandbox "$drive" --library "$library" -- wait 5 > "$work/last" 2>> "$work/stderr" || {
  tail -n 20 "$work/last" >&2
  fail "the last launch failed"
}

actual="$(marks)"
[[ "$(sed "s|^$from/||" <<< "$actual")" == "$expected" && "$(grep -vc "^$from/" <<< "$actual")" == 0 ]] || {
  diff <(echo "$expected") <(sed "s|^$from/||" <<< "$actual") | head -20 >&2
  fail "marks lost or misplaced after $rounds killed moves (folder now $from)"
}
echo "kill_during_moves: every mark of $count images at $from after $rounds killed moves ($during killed during the move)"
