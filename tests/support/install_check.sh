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
test -f "$prefix/include/tesk/tesk_display.h"
test -f "$prefix/lib/tcltk/tesk4.010/program.lib"
# The manual pages, every one of doc/man in section n under its name
# tesk_NAME, as "man tesk_NAME" looks for it.
for page in "$(dirname "$0")"/../../doc/man/*.man; do
    name=tesk_$(basename "$page" .man)
    grep -q "^\.TH \"$name\" n" "$prefix/share/man/mann/$name.n"
done
# The same pages in HTML beside them: each page under its file name, listed by
# the contents (toc.html) and the keyword index (index.html), both titled for
# Tesk.
html=$prefix/share/doc/tesk/html
grep -q '<h2>Tesk</h2>' "$html/toc.html"
grep -q 'Keyword Index -- Tesk' "$html/index.html"
for page in "$(dirname "$0")"/../../doc/man/*.man; do
    name=$(basename "$page" .man)
    grep -q "<title>tesk_$name - " "$html/files/$name.html"
    grep -q "href=\"files/$name.html\"" "$html/toc.html"
done
# The recipes and the script that makes their files, beside the HTML pages
# that send a reader to them, as they are in the sources.
for file in recipes.md recipe-files.tcl; do
    cmp -s "$(dirname "$0")/../../doc/$file" "$prefix/share/doc/tesk/$file"
done
# No variable set, started inside a folder of data: the package's own
# library is loaded, the folder's program.lib never runs.
mkdir "$prefix/data"
echo 'close [open ran w]' >"$prefix/data/program.lib"
cat >"$prefix/check.tcl" <<'TCL'
set version [package require Tesk]
puts "$version [file tail [file dirname [lindex [package ifneeded Tesk $version] end-1]]] [llength [info commands rimage]] [llength [info procs meter.*]] [file exists ran]"
exit
TCL
answer=$(cd "$prefix/data" && TCLLIBPATH="$prefix/lib/tcltk" "$xrun" "$wish" "$prefix/check.tcl")
if [ "$answer" != "4.010 tesk4.010 1 2 0" ]; then
    echo "install_check: package require Tesk answered '$answer'" >&2
    exit 1
fi
