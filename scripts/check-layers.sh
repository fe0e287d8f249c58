#!/usr/bin/env bash
# Fails when a source under src/ includes a header of a higher layer. The
# layers, bottom to top; folders that share a line are peers and include
# neither each other.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

layers=(
  "host"          # the host's binary interface and the process-wide values
  "shell"         # the platform operations
  "records"       # contact records, dotted addresses, integer texts
  "csv editor"    # the exchange file; the editor window
  "plugin"        # exports, lifecycle, protocol services, menus and commands
)
declare -A rank
for i in "${!layers[@]}"; do
  for folder in ${layers[$i]}; do rank[$folder]=$i; done
done

status=0
while IFS= read -r hit; do
  file=${hit%%:*}
  header=$(sed -E 's/.*#include "([^"]*)".*/\1/' <<<"$hit")
  from=${file#src/}
  from=${from%%/*}
  to=${header%%/*}
  if [[ -z ${rank[$from]+set} || -z ${rank[$to]+set} ]]; then
    echo "check-layers: $file includes $header: a folder outside the layers" >&2
    status=1
  elif [[ $from != "$to" && ${rank[$to]} -ge ${rank[$from]} ]]; then
    echo "check-layers: $file ($from) includes $header ($to), which is not below it" >&2
    status=1
  fi
done < <(grep -rnE --include='*.cpp' --include='*.h' '^\s*#\s*include\s+"' src)
exit $status
