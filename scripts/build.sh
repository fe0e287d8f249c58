#!/usr/bin/env bash
# Installs what is missing, builds dist/mKestrinUser.dll and packs the release
# zip dist/mKestrinUser-<version>.zip for messenger users.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
scripts/install-deps.sh
cmake --preset cross >/dev/null
cmake --build --preset cross --target mKestrinUser
mkdir -p dist
cp build/cross/bin/mKestrinUser.dll dist/mKestrinUser.dll
echo "Built dist/mKestrinUser.dll"
echo "Packed $(scripts/package.sh build/cross/bin/mKestrinUser.dll dist)"
