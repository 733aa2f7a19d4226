#!/usr/bin/env bash
# scripts/run as a user redirects it: the rows alone on stdout, and nothing
# said about a build that had nothing to do.
#   run_script_test.sh SOURCE_FOLDER QUORVANE
set -euo pipefail
root=$1
quorvane=$2
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
"$quorvane" -c 5 >"$out/rows"
[ -s "$out/rows" ] || { echo "quorvane printed no rows"; exit 1; }
# The first run builds whatever is missing; the second has nothing to build.
for run in first second; do
  "$root/scripts/run" -c 5 >"$out/stdout" 2>"$out/stderr"
  if ! cmp -s "$out/rows" "$out/stdout"; then
    echo "$run run: stdout holds more than the rows:"
    diff "$out/rows" "$out/stdout" | head -20
    exit 1
  fi
done
if [ -s "$out/stderr" ]; then
  echo "a build with nothing to do still said:"
  head -20 "$out/stderr"
  exit 1
fi
echo "scripts/run: rows only"
