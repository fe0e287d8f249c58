#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz", clang-14) and runs each of them.
#   scripts/fuzz.sh           a longer run: 100 s per target (FUZZ_SECONDS to change)
#   scripts/fuzz.sh --short   a bounded run of a few seconds per target, as the test run uses
# Exits non-zero when a target finds a fault; the input that caused it is left
# in the build folder's fuzz-artifacts/. Set KESTRIN_FUZZ_BUILD to use another build folder.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

seconds=${FUZZ_SECONDS:-100}
[ "${1:-}" = "--short" ] && seconds=${FUZZ_SECONDS:-4}

build=${KESTRIN_FUZZ_BUILD:-$root/build/fuzz}
if [ "$build" = "$root/build/fuzz" ]; then
  cmake --preset fuzz >/dev/null
else
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 -DKESTRIN_FUZZ=ON >/dev/null
fi
cmake --build "$build" --target fuzz_targets

starter() {  # starter <dir> <name> <printf format>: a first input of the corpus
  [ -f "$1/$2" ] || printf "$3" >"$1/$2"
}

mkdir -p "$build/fuzz-artifacts"
for target in csv_line_reader_fuzz csv_fields_fuzz integer_text_fuzz; do
  corpus="$build/fuzz-corpus/$target"
  mkdir -p "$corpus"
  case $target in
    csv_line_reader_fuzz)
      starter "$corpus" crlf '\001\002\003a;b\r\nc\rd\n\032e'
      starter "$corpus" header '\005\011\002First Name;Last Name\r\n\r\nJohn;Smith\r\n'
      starter "$corpus" utf16 '\002\003\004\377\376a\000;\000\251\003\r\000\n\000'
      starter "$corpus" utf8 '\003\005\001M\303\274ller;\316\251\r\nb\374' ;;
    csv_fields_fuzz)
      starter "$corpus" quoted '"a;b";c;"d""e";"f";\000x'
      starter "$corpus" values 'John\000Smith\000"Q";\0003\000a\r\nb\000\032\000w' ;;
    integer_text_fuzz)
      starter "$corpus" hex '  -0x7fffffff'
      starter "$corpus" dollar '$10' ;;
  esac
  echo "== $target: ${seconds}s"
  "$build/$target" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$build/fuzz-artifacts/$target-" "$corpus" 2>"$build/fuzz-artifacts/$target.log" \
    || { tail -n 40 "$build/fuzz-artifacts/$target.log"; exit 1; }
  grep -E '^#[0-9]+[[:space:]]+DONE' "$build/fuzz-artifacts/$target.log" | tail -n 1 || true
done
