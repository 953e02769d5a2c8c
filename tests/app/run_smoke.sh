#!/usr/bin/env bash
# Smoke test of the command a user starts Lorvex with: scripts/run, offscreen, in a home of its own
# with empty XDG folders. The main window must come up ("MainWindowShown") and the library must be
# created in a private folder ($XDG_DATA_HOME/Lorvex, mode 0700, holding LorvexV3.sqlite). Without
# any display, scripts/run must refuse with status 2.
set -euo pipefail
cd "$(dirname "$0")/../.."

scratch=$(mktemp -d)
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT

export HOME=$scratch/home XDG_CONFIG_HOME=$scratch/config XDG_DATA_HOME=$scratch/data \
  XDG_CACHE_HOME=$scratch/cache XDG_STATE_HOME=$scratch/state XDG_RUNTIME_DIR=$scratch/runtime
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

# No display of any kind: a clear refusal, not a crash.
status=0
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM scripts/run > /dev/null 2> "$scratch/nodisplay.err" || status=$?
if [ "$status" -ne 2 ] || ! grep -q "no display" "$scratch/nodisplay.err"; then
  echo "run_smoke: without a display scripts/run gave status $status:" >&2
  cat "$scratch/nodisplay.err" >&2
  exit 1
fi

# The real start. scripts/run builds first (the first time takes a while); the window is looked
# for once the program runs.
unset DISPLAY WAYLAND_DISPLAY
export QT_QPA_PLATFORM=offscreen LORVEX_TRACE=1
scripts/run > "$scratch/run.out" 2> "$scratch/run.err" &
pid=$!
limit=${RUN_SMOKE_BUILD_SECONDS:-3600}
for ((second = 0; second < limit; ++second)); do
  grep -q "event MainWindowShown" "$scratch/run.err" && [ -f "$XDG_DATA_HOME/Lorvex/LorvexV3.sqlite" ] && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 1
done

fail() {
  echo "run_smoke: $1" >&2
  tail -n 40 "$scratch/run.err" >&2
  exit 1
}
grep -q "event MainWindowShown" "$scratch/run.err" || fail "the main window never showed"
[ -f "$XDG_DATA_HOME/Lorvex/LorvexV3.sqlite" ] || fail "no library at $XDG_DATA_HOME/Lorvex/LorvexV3.sqlite"
mode=$(stat -c %a "$XDG_DATA_HOME/Lorvex")
[ "$mode" = 700 ] || fail "the library folder has mode $mode, not 700"
kill -0 "$pid" 2>/dev/null || fail "lorvex ended on its own"
echo "run_smoke: the main window showed and the library was created in a private folder"
