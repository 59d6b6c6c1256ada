#!/bin/sh
# Checks that sizes read from data are weighed against the image memory
# budget (runtime/budget.h) where their memory is made:
#   budget_check.sh SOURCE_DIR
# 1. Every image type decoded whole (a row with ".decode =" in
#    imagestore/formats/) allocates its decoder's buffers from what its
#    header declares: its file asks imageBudgetAllows.
# 2. The readers of sizes that a device, another X client, a backend or a
#    table file declares, listed below, ask it too; a reader added to the
#    list, or a new decoded format, is held to the rule.
# Each finding prints as FILE: TEXT.
set -eu
src=$1
status=0
cd "$src"

asks() {
    grep -q 'imageBudgetAllows' "$1"
}

for file in imagestore/formats/*.cpp; do
    if grep -q '\.decode = ' "$file" && ! asks "$file"; then
        echo "$file: decodes a whole image without asking imageBudgetAllows"
        status=1
    fi
done

# The row cache of every file image; the clipboard's offers; pictures
# handed to Tk's photo reader as data; SANE options and pages; AVI pictures
# and frames; dBASE and shape records.
for file in imagestore/ramimage.cpp display/clipboard.cpp display/pictureweigh.cpp devices/twain/sane.cpp \
    devices/ddw/avi.cpp geo/dbase.cpp geo/shapefile.cpp; do
    if ! asks "$file"; then
        echo "$file: reads sizes from data without asking imageBudgetAllows"
        status=1
    fi
done
exit $status
