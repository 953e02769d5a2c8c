#!/usr/bin/env bash
# Renders every scene in both languages over a fresh library in a temporary folder and checks that
# each scene wrote a non-empty PNG per language.
set -euo pipefail
tool=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$tool" --library "$work/library" --out "$work/out" > "$work/log" 2>&1 || { cat "$work/log"; exit 1; }
status=0
while read -r scene; do
  for lang in en ja; do
    file="$work/out/$scene.$lang.png"
    if [ ! -s "$file" ]; then
      echo "missing: $scene.$lang.png"
      status=1
    fi
  done
done < <("$tool" --list)
[ $status -eq 0 ] || cat "$work/log"
exit $status
