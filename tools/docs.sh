#!/bin/sh
# Renders the command reference: every doctools page doc/man/NAME.man to
# nroff (OUT/man/tesk_NAME.n) and to HTML (OUT/html/, with an index page,
# OUT/html/toc.html), through tcllib's dtplite, as the build does (the build
# folder's doc/man and doc/html).
#   tools/docs.sh [OUT]      (default OUT: build/doc)
# The pages follow a few conventions that the tests (tests/doc/) rely on:
# - a page opens with [manpage_begin tesk_NAME n VERSION] and documents a
#   command by [cmd NAME], a subcommand by naming it in its text;
# - an example is a block [example { ... }] whose first line is
#   "[example {" and whose last line is "}]"; it is a Tcl script that runs as
#   printed in a fresh wish after "package require Tesk", in a folder where
#   doc/recipe-files.tcl has made its files; square brackets are written
#   plainly (doctools prints the block verbatim; [lb] and [rb] there would
#   show as written); a line "# -> VALUE" right after a
#   command shows the command's result.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$top/build/doc}
command -v dtplite >/dev/null 2>&1 || { echo "docs: dtplite (tcllib) is not installed" >&2; exit 1; }
mkdir -p "$out/man" "$out/html"
for page in "$top"/doc/man/*.man; do
    name=$(basename "$page" .man)
    dtplite -o "$out/man/tesk_$name.n" nroff "$page"
done
# A folder of pages: dtplite writes one HTML file per page and the index.
dtplite -o "$out/html" -module Tesk html "$top/doc/man" >/dev/null
echo "docs: $(ls "$out/man" | wc -l) pages in $out/man and $out/html (index: $out/html/toc.html)"
