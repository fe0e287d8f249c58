#!/usr/bin/env bash
# Checks that the DLL exports exactly MirandaPluginInfo, Load and Unload under
# undecorated names, and imports nothing but system DLLs.
set -euo pipefail
dll=$1
dump=$(i686-w64-mingw32-objdump -p "$dll")

exports=$(printf '%s\n' "$dump" | awk '/\[Ordinal\/Name Pointer\] Table/{on=1; next} on && /^[ \t]*\[/{print $NF; next} on{on=0}' | sort)
expected=$(printf '%s\n' Load MirandaPluginInfo Unload)
if [ "$exports" != "$expected" ]; then
  echo "exports are not exactly the three entry points:"; printf '%s\n' "$exports"; exit 1
fi

allowed='^(kernel32|user32|gdi32|comdlg32|msvcrt|advapi32|shell32|comctl32|ntdll)\.dll$'
imports=$(printf '%s\n' "$dump" | awk '/DLL Name:/{print tolower($3)}' | sort -u)
bad=$(printf '%s\n' "$imports" | grep -Ev "$allowed" || true)
if [ -n "$bad" ]; then
  echo "imports a DLL that is not a system DLL:"; printf '%s\n' "$bad"; exit 1
fi
echo "exports: $(echo $exports); imports: $(echo $imports)"
