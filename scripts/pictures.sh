#!/usr/bin/env bash
# Makes the four pictures of docs/images anew, headless under Xvfb: the demo
# host with the editor window (demo.png, by scripts/demo.sh --screenshot), the
# Add and Edit windows (editor-add.png, editor-edit.png) and the import's
# question about Kestrin users already stored (import-question.png), which
# the Wine suite's picture tests take into the build folder and this compresses.
# KESTRIN_CROSS_DIR names a cross build folder to use (default: build/cross,
# configured and built here).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

# The demo configures and builds the cross build folder when none is named.
scripts/demo.sh --screenshot docs/images/demo.png
build=$(cd "${KESTRIN_CROSS_DIR:-build/cross}" && pwd)
cmake --build "$build" --target wine_tests

rm -rf "$build/screenshots"
KESTRIN_SOURCE_DIR=$root KESTRIN_BUILD_DIR=$build env -u DISPLAY scripts/wine-run.sh \
  "$build/bin/wine_tests.exe" \
  --gtest_filter='EditorTest.PicturesOfTheAddAndEditWindows:CsvWineTest.ImportingAnExportedFileAgainAsksAndEachAnswerDoesWhatItSays' \
  2> >(grep -v '^X connection to .* broken' >&2)
for name in editor-add editor-edit import-question; do
  convert "$build/screenshots/$name.png" -strip -quality 95 "docs/images/$name.png"
  echo "Saved docs/images/$name.png"
done
