#!/bin/sh
# Runs every test of Tesk: sets the machine up and builds (tools/setup.sh all),
# then runs CTest on the sanitizer build and on the optimised build. Every
# test that needs X starts its own Xvfb server, so that the windows of tests
# running side by side never cover one another. The build and CTest run JOBS
# jobs at once (default: the number of processors).
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/setup.sh" all
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}
ctest --test-dir "$top/build-asan" -j "$jobs" --timeout 300 --output-on-failure
ctest --test-dir "$top/build" -j "$jobs" --timeout 300 --output-on-failure
