#!/bin/sh
# Runs a command with an X display: the current one, or a private Xvfb server
# when there is none. TESK_XPRIVATE=1 (set for every test, whose windows
# must not overlap those of tests running beside it) or TESK_XDEPTH (24, 16
# or 8) asks for a private server even when a display exists; TESK_XARGS
# adds arguments to that server's command line.
# TESK_PRELOAD (the sanitizer runtime of a sanitized build) is preloaded into
# the command alone: the shells and tools around it are not built for it.
run() {
    if [ -n "${TESK_PRELOAD:-}" ]; then
        LD_PRELOAD=$TESK_PRELOAD "$@"
    else
        "$@"
    fi
}
depth=${TESK_XDEPTH:-24}
if [ -n "${DISPLAY:-}" ] && [ -z "${TESK_XDEPTH:-}" ] && [ "${TESK_XPRIVATE:-0}" != 1 ]; then
    run "$@"
    exit
fi
command -v Xvfb >/dev/null 2>&1 || { echo "xrun: Xvfb is not installed" >&2; exit 1; }
dir=$(mktemp -d)
trap 'kill $xpid 2>/dev/null; wait $xpid 2>/dev/null; rm -rf "$dir"' EXIT INT TERM
Xvfb -displayfd 3 -screen 0 1280x1024x"$depth" -nolisten tcp -noreset ${TESK_XARGS:-} 3>"$dir/display" 2>"$dir/log" &
xpid=$!
i=0
while [ ! -s "$dir/display" ]; do
    i=$((i + 1))
    if [ $i -gt 100 ] || ! kill -0 $xpid 2>/dev/null; then
        echo "xrun: Xvfb did not start" >&2; cat "$dir/log" >&2; exit 1
    fi
    sleep 0.1
done
DISPLAY=:$(head -n 1 "$dir/display")
export DISPLAY
run "$@"
