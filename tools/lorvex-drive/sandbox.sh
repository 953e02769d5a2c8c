# Sourced by the lorvex-drive checks, after they have set $fixtures: a work folder removed on exit,
# with a home, settings, data, cache and runtime folder of its own and a copy of the fixtures in
# $work/pictures. in_sandbox runs a command with that environment, so nothing the tool writes can
# reach the real home.
work="$(mktemp -d "${TMPDIR:-/tmp}/lorvex-drive-check-XXXXXX")"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/config" "$work/data" "$work/cache" "$work/runtime"
chmod 700 "$work/runtime"
cp -r "$fixtures" "$work/pictures"

in_sandbox() {
  env HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_CACHE_HOME="$work/cache" \
    XDG_RUNTIME_DIR="$work/runtime" "$@"
}
