#!/usr/bin/env bash
# A run that finds jobs that killed runs left behind: the latest is resumed before the scan, as at
# launch, an older one whose roots the walk covers is closed, and neither leaves its queue behind.
# The killed runs are written into the library file with the sqlite3 shell, as a kill leaves them.
# Usage: check_resume.sh LORVEX_INDEX FIXTURES_DIR. Exits 77 when the fixtures or the shell are absent.
set -euo pipefail
indexer="$1"
fixtures="$2"
[[ -d "$fixtures" ]] && command -v sqlite3 > /dev/null || exit 77

work="$(mktemp -d "${TMPDIR:-/tmp}/lorvex-index-resume-XXXXXX")"
trap 'rm -rf "$work"' EXIT
library="$work/library"
photos="$(realpath "$work")/photos"
mkdir -p "$photos/sub"
fail() { echo "check_resume: $*" >&2; exit 1; }
query() { sqlite3 "$library/LorvexV3.sqlite" "$1"; }

mapfile -t pngs < <(find "$fixtures" -iname '*.png' -size +0 ! -name '.*' | sort | head -n 3)
(( ${#pngs[@]} == 3 )) || exit 77
cp "${pngs[0]}" "$photos/a.png"
cp "${pngs[1]}" "$photos/b.png"
cp "${pngs[2]}" "$photos/sub/c.png"

"$indexer" --library "$library" "$photos" > /dev/null 2> "$work/stderr-1" || fail "first run: $(tail -n 3 "$work/stderr-1")"

# An older killed run over the subfolder, then a killed run over the whole folder, one of whose
# items was being processed.
query "INSERT INTO indexing_jobs (root_paths, status, total_count, processed_count, indexed_count, failed_count,
         current_path, created_at, updated_at, completed_at)
       VALUES ('$photos/sub', 'running', 1, 0, 0, 0, NULL, 10, 10, NULL),
              ('$photos', 'running', 2, 0, 0, 0, NULL, 20, 20, NULL);
       INSERT INTO indexing_queue_items (job_id, path, file_size, modification_time, status, failure_message,
         created_at, updated_at)
       SELECT id, root_paths || '/c.png', 1, 1, 'pending', NULL, 10, 10 FROM indexing_jobs WHERE updated_at = 10;
       INSERT INTO indexing_queue_items (job_id, path, file_size, modification_time, status, failure_message,
         created_at, updated_at)
       SELECT id, root_paths || '/a.png', 1, 1, 'processing', NULL, 20, 20 FROM indexing_jobs WHERE updated_at = 20;"
abandoned="$(query "SELECT group_concat(id) FROM indexing_jobs WHERE status = 'running'")"

output="$("$indexer" --library "$library" "$photos" 2> "$work/stderr-2")" ||
  fail "second run: $(tail -n 3 "$work/stderr-2")"
grep -q "^resumed an interrupted job: scanned=3 indexed=3 failed=0" "$work/stderr-2" ||
  fail "the killed run was not resumed: $(grep -m1 resumed "$work/stderr-2" || true)"
grep -q '"scanned":3,"indexed":3,"failed":0' <<< "$(tail -n 1 <<< "$output")" || fail "scan: $output"
[[ "$(query "SELECT COUNT(*) FROM indexing_jobs WHERE status = 'running'")" == 0 ]] ||
  fail "jobs are still running: $(query "SELECT id, root_paths FROM indexing_jobs WHERE status = 'running'")"
[[ "$(query "SELECT COUNT(*) FROM indexing_queue_items WHERE job_id IN ($abandoned)")" == 0 ]] ||
  fail "the killed runs' queues stayed"
echo "lorvex-index resumed and closed the killed runs' jobs ($abandoned)"
