#!/usr/bin/env bash
# Packs the release zip from a built DLL, unpacks it into a clean folder and
# checks that it holds exactly the four files for messenger users, that the
# DLL is the one built, and that the text files are the project's own, with
# Windows line ends.
#   scripts/check-package.sh <mKestrinUser.dll>
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
dll=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "package: $*" >&2; exit 1; }

zip_path=$("$root/scripts/package.sh" "$dll" "$work/dist")
version=$("$root/scripts/version.sh")
[ "$(basename "$zip_path")" = "mKestrinUser-$version.zip" ] || fail "unexpected name $zip_path"

mkdir "$work/unpacked"
unzip -q "$zip_path" -d "$work/unpacked"
expected=$'kestrin-users-example.csv\nlangpack_mKestrinUser.txt\nmKestrinUser.dll\nreadme.txt'
found=$(cd "$work/unpacked" && find . -mindepth 1 -printf '%P\n' | LC_ALL=C sort)
[ "$found" = "$expected" ] || fail "holds"$'\n'"$found"$'\n'"instead of"$'\n'"$expected"

cmp -s "$dll" "$work/unpacked/mKestrinUser.dll" || fail "the DLL differs from $dll"
cmp -s "$root/docs/user/readme.txt" "$work/unpacked/readme.txt" || fail "readme.txt differs"
cmp -s "$root/langpack/langpack_mKestrinUser.txt" "$work/unpacked/langpack_mKestrinUser.txt" ||
  fail "langpack_mKestrinUser.txt differs"
cmp -s "$root/docs/user/kestrin-users-example.csv" "$work/unpacked/kestrin-users-example.csv" ||
  fail "kestrin-users-example.csv differs"

# Notepad and the importer read CR LF; every line must end with it.
for text in readme.txt langpack_mKestrinUser.txt kestrin-users-example.csv; do
  file="$work/unpacked/$text"
  lines=$(wc -l <"$file")
  crlf=$(grep -c $'\r$' "$file" || true)
  [ "$lines" -gt 0 ] && [ "$lines" = "$crlf" ] || fail "$text has lines without CR LF"
  [ "$(tail -c 2 "$file" | od -An -tx1 | tr -d ' ')" = "0d0a" ] || fail "$text lacks a final CR LF"
done
# The users' readme is written by hand: its title must name this release.
title=$(head -n 1 "$work/unpacked/readme.txt")
[ "$title" = "mKestrinUser $version - Kestrin users for Miranda IM"$'\r' ] ||
  fail "readme.txt's title does not name version $version: $title"
header=$(head -n 1 "$work/unpacked/kestrin-users-example.csv")
[ "$header" = $'First Name;Last Name;Name;Contact Type;E-mail Address;Mobile Phone;Personal Web Page\r' ] ||
  fail "the example's header is: $header"
echo "package: $(basename "$zip_path") holds the four files; the DLL is the one built"
