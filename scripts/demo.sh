#!/usr/bin/env bash
# Runs the plug-in in the demo host under Wine: a window of its own with a
# few sample Kestrin users, the plug-in's menu items and its online switch.
# Without a display (or with --screenshot) it runs under Xvfb instead, saves
# a picture of the demo and the editor window to docs/images/demo.png, and
# exits.
#   scripts/demo.sh [--screenshot]
# KESTRIN_CROSS_DIR names a cross build folder to use (default: build/cross,
# configured and built here).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

build=${KESTRIN_CROSS_DIR:-}
if [ -z "$build" ]; then
  scripts/install-deps.sh
  cmake --preset cross >/dev/null
  build=build/cross
fi
cmake --build "$build" --target kestrin_demo
program="$build/bin/kestrin_demo.exe"

if [ -n "${DISPLAY:-}" ] && [ "${1:-}" != "--screenshot" ]; then
  exec scripts/wine-run.sh "$program"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Unset DISPLAY: wine-run.sh then starts a private Xvfb for the picture.
env -u DISPLAY scripts/wine-run.sh "$program" --screenshot "Z:$work/demo.bmp"
mkdir -p docs/images
convert "$work/demo.bmp" -strip "PNG24:docs/images/demo.png"
echo "Saved docs/images/demo.png"
