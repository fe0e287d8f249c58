#!/usr/bin/env bash
# Packs the release zip for messenger users: the DLL, the user readme, the
# translation template and an example exchange file, side by side.
#   scripts/package.sh <mKestrinUser.dll> <output folder>
# Prints the path of the zip it made.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
dll=$1
mkdir -p "$2"
out=$(cd "$2" && pwd)

zip_path="$out/mKestrinUser-$("$root/scripts/version.sh").zip"

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "$dll" "$stage/mKestrinUser.dll"
cp "$root/docs/user/readme.txt" "$stage/readme.txt"
cp "$root/langpack/langpack_mKestrinUser.txt" "$stage/langpack_mKestrinUser.txt"
cp "$root/docs/user/kestrin-users-example.csv" "$stage/kestrin-users-example.csv"
# One date for every file, so that the same inputs give the same zip.
touch -d '2026-01-01 00:00:00 UTC' "$stage"/*

rm -f "$zip_path"
(cd "$stage" && zip -q -X -D "$zip_path.tmp" \
  mKestrinUser.dll readme.txt langpack_mKestrinUser.txt kestrin-users-example.csv)
mv "$zip_path.tmp" "$zip_path"
echo "$zip_path"
