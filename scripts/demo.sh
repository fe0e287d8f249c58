#!/usr/bin/env bash
# Runs the plug-in in the demo host under Wine: a window of its own with a
# few sample Kestrin users, the plug-in's menu items and its online switch.
# Without a display (or with --screenshot) it runs under Xvfb instead, saves
# a picture of the demo and the editor window, and exits; the picture goes to
# docs/images/demo.png (the README's) unless another PNG file is named.
#   scripts/demo.sh                              the window, on $DISPLAY
#   scripts/demo.sh --screenshot [picture.png]   the picture only
# KESTRIN_CROSS_DIR names a cross build folder to use (default: build/cross,
# configured and built here); KESTRIN_WINEPREFIX a Wine prefix (default:
# build/wineprefix, made on first use).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

usage() { echo "usage: scripts/demo.sh [--screenshot [picture.png]]" >&2; exit 2; }
screenshot=""
case "${1:-}" in
  "") ;;
  --screenshot) screenshot=${2:-$root/docs/images/demo.png} ;;
  *) usage ;;
esac
[ $# -le 2 ] || usage
if [ -n "$screenshot" ]; then
  mkdir -p "$(dirname "$screenshot")"
  screenshot="$(cd "$(dirname "$screenshot")" && pwd)/$(basename "$screenshot")"
fi
cd "$root"

build=${KESTRIN_CROSS_DIR:-}
if [ -z "$build" ]; then
  scripts/install-deps.sh
  cmake --preset cross >/dev/null
  build=build/cross
fi
cmake --build "$build" --target kestrin_demo
program="$build/bin/kestrin_demo.exe"

if [ -n "${DISPLAY:-}" ] && [ -z "$screenshot" ]; then
  exec scripts/wine-run.sh "$program"
fi

[ -n "$screenshot" ] || screenshot=$root/docs/images/demo.png
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Unset DISPLAY: wine-run.sh then starts a private Xvfb for the picture. Wine's
# helper processes complain when that Xvfb goes away at the end; harmless.
env -u DISPLAY scripts/wine-run.sh "$program" --screenshot "Z:$work/demo.bmp" \
  2> >(grep -v '^X connection to .* broken' >&2)
convert "$work/demo.bmp" -strip "PNG24:$screenshot"
echo "Saved $screenshot"
