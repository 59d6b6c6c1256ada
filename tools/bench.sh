#!/bin/sh
# Builds the optimised library (tools/setup.sh) and runs every benchmark.
#   tools/bench.sh [benchmark options]
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/setup.sh" release
for b in "$top"/build/bench/*_bench; do
    [ -x "$b" ] && "$b" "$@"
done
