#!/bin/sh
# Installs the build into a temporary prefix and loads the package from there
# in a plain wish, through Tcl's package path only:
#   install_check.sh BUILD_DIR WISH XRUN
set -eu
build=$1
wish=$2
xrun=$3
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT INT TERM
cmake --install "$build" --prefix "$prefix" >/dev/null
test -f "$prefix/lib/tcltk/tesk4.010/libtesk.so"
test -f "$prefix/lib/tcltk/tesk4.010/pkgIndex.tcl"
test -f "$prefix/include/tesk/tesk_image.h"
cat >"$prefix/check.tcl" <<'TCL'
set teskAppScripts {}
set version [package require Tesk]
puts "$version [file tail [file dirname [lindex [package ifneeded Tesk $version] end-1]]] [llength [info commands rimage]]"
exit
TCL
answer=$(cd / && TCLLIBPATH="$prefix/lib/tcltk" "$xrun" "$wish" "$prefix/check.tcl")
if [ "$answer" != "4.010 tesk4.010 1" ]; then
    echo "install_check: package require Tesk answered '$answer'" >&2
    exit 1
fi
