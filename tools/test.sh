#!/bin/sh
# Runs every test of Tesk: sets the machine up and builds (tools/setup.sh all),
# then runs CTest on the sanitizer build and on the optimised build, with one
# Xvfb server for the whole run when there is no display.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/setup.sh" all
jobs=$(nproc 2>/dev/null || echo 2)
exec "$top/tests/support/xrun.sh" sh -c "
    ctest --test-dir '$top/build-asan' -j $jobs --output-on-failure &&
    ctest --test-dir '$top/build' -j $jobs --output-on-failure"
