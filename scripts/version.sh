#!/usr/bin/env bash
# Prints the release's version: the one of project(mKestrinUser VERSION ...)
# in CMakeLists.txt, from which the build also makes kestrin_version.h.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
version=$(sed -n 's/^project(mKestrinUser VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
[ -n "$version" ] || { echo "version: no version in CMakeLists.txt" >&2; exit 1; }
echo "$version"
