#!/usr/bin/env bash
# `cmake --install` of a built tree into a temporary prefix puts what a freedesktop desktop needs to
# list and start Lorvex: bin/lorvex, a valid desktop entry in share/applications that starts it and
# names an icon, and that icon in the hicolor theme (scalable SVG and square PNGs of their size).
#   desktop_install_test.sh BUILD-DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

fail() { echo "desktop_install: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" > "$prefix/install.log" || { cat "$prefix/install.log" >&2; fail "install failed"; }

[ -x "$prefix/bin/lorvex" ] || fail "no executable bin/lorvex"
entry=$prefix/share/applications/app.lorvex.Lorvex.desktop
[ -f "$entry" ] || fail "no desktop entry $entry"
desktop-file-validate "$entry" || fail "the desktop entry does not validate"

value() { sed -n "s/^$1=//p" "$entry" | head -n 1; }
[ "$(value Type)" = Application ] || fail "Type is not Application"
[ "$(value Exec)" = lorvex ] || fail "Exec does not start lorvex: $(value Exec)"
icon=$(value Icon)
[ "$icon" = app.lorvex.Lorvex ] || fail "unexpected Icon: $icon"

svg=$prefix/share/icons/hicolor/scalable/apps/$icon.svg
[ -f "$svg" ] || fail "no scalable icon $svg"
python3 - "$svg" "$prefix/share/icons/hicolor" "$icon" <<'PY' || fail "the icons are not what the theme expects"
import struct, sys, xml.etree.ElementTree as ET
svg, theme, icon = sys.argv[1:4]
root = ET.parse(svg).getroot()
assert root.tag.endswith("svg"), "not an SVG document"
sizes = [16, 24, 32, 48, 64, 128, 256]
for size in sizes:
    path = f"{theme}/{size}x{size}/apps/{icon}.png"
    with open(path, "rb") as f:
        head = f.read(24)
    assert head[:8] == b"\x89PNG\r\n\x1a\n", f"{path} is not a PNG"
    width, height = struct.unpack(">II", head[16:24])
    assert (width, height) == (size, size), f"{path} is {width}x{height}"
PY
echo "desktop_install: bin/lorvex, $entry and the $icon icons are in place"
