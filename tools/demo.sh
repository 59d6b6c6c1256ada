#!/bin/sh
# Runs Tesk's tour: sets the machine up and builds (tools/setup.sh), then
# starts wish with Tesk loaded and runs demo/tour.tcl, or the script given,
# under Xvfb when there is no display. What the tour shows is written to
# the folder out/ (or $TESK_OUT). The build runs JOBS jobs at once (default:
# the number of processors).
#   tools/demo.sh [script.tcl]
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/setup.sh" release
export TESK_OUT=${TESK_OUT:-$top/out}
mkdir -p "$TESK_OUT"
exec "$top/tests/support/xrun.sh" wish "$top/demo/start.tcl" "$top/build" "$@"
