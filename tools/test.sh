#!/bin/sh
# Runs every test of Tesk: sets the machine up and builds (tools/setup.sh all),
# then runs CTest on the sanitizer build and on the optimised build. Every
# test that needs X starts its own Xvfb server, so that the windows of tests
# running side by side never cover one another. The build and CTest run JOBS
# jobs at once (default: the number of processors).
# Both suites run whatever the first gives; each ends with one summary line
# (tests passed, failed, skipped), and the script exits with 1 when a test of
# either failed. TESK_REQUIRE_PEERS=1 makes a test file whose peer program
# (GDAL, ghostscript, numpy, ...) is missing fail, naming the peer, where a
# developer running the file alone sees its peer tests skipped.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/setup.sh" all
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}
TESK_REQUIRE_PEERS=1
export TESK_REQUIRE_PEERS

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
summary=""
status=0
for suite in build-asan build; do
    # ctest's own status survives the pipe through tee in a file
    {
        code=0
        ctest --test-dir "$top/$suite" -j "$jobs" --timeout 300 --output-on-failure || code=$?
        echo $code >"$work/rc"
    } 2>&1 | tee "$work/log"
    rc=$(cat "$work/rc")
    # ctest's result lines: "12/219 Test  #12: name ....   Passed    0.38 sec"
    grep -E '^ *[0-9]+/[0-9]+ Test +#[0-9]+: ' "$work/log" >"$work/results" || true
    passed=$(grep -cE '[.] +Passed +[0-9.]+ sec$' "$work/results" || true)
    skipped=$(grep -cE '[*]Skipped|[(]Disabled[)]' "$work/results" || true)
    total=$(wc -l <"$work/results")
    failed=$((total - passed - skipped))
    if [ "$rc" -ne 0 ] && [ "$failed" -eq 0 ]; then
        failed=1 # ctest itself failed (no build, no tests)
    fi
    [ "$failed" -eq 0 ] || status=1
    summary="$summary$suite: $passed passed, $failed failed, $skipped skipped
"
done
printf '\n%s' "$summary"
exit $status
