#!/bin/sh
# Checks what libtesk.so exports (nm -D --defined-only):
#  - every exported name is declared in a public header (include/*.h), so only
#    the entry points and the project-named API leave the library;
#  - no exported name is also defined by a library the package runs beside
#    (libc, libm, libstdc++, libX11, Xft, fontconfig, Tcl, Tk, libjpeg, zlib,
#    PROJ, GL, GLU, glut, CUPS): such a definition would never be called, or would
#    replace theirs.
# Usage: check-symbols.sh LIBRARY INCLUDE_DIR
lib=$1
include=$2
[ -f "$lib" ] || { echo "check-symbols: no library $lib" >&2; exit 2; }

exported=$(nm -D --defined-only "$lib" | awk '{print $NF}' | sed 's/@.*//' | grep -v -x -E '_init|_fini|_edata|_end|__bss_start' | sort -u)
status=0

undeclared=""
for sym in $exported; do
    if ! grep -q -w -- "$sym" "$include"/*.h; then
        undeclared="$undeclared $sym"
    fi
done
if [ -n "$undeclared" ]; then
    echo "check-symbols: exported but not declared in a public header:$undeclared" >&2
    status=1
fi

others=""
for name in libc.so.6 libm.so.6 libstdc++.so.6 libX11.so.6 libtcl8.6.so libtk8.6.so \
            libXft.so.2 libfontconfig.so.1 libjpeg.so.62 libz.so.1 libproj.so libGL.so.1 libGLU.so.1 libglut.so.3 \
            libcups.so.2; do
    path=$(ldconfig -p | awk -v n="$name" '$1 == n && /x86-64/ {print $NF; exit}')
    [ -n "$path" ] || path=$(ldconfig -p | awk -v n="$name" '$1 ~ "^"n {print $NF; exit}')
    [ -n "$path" ] && others="$others $path"
done
clashes=$( { echo "$exported"; for o in $others; do nm -D --defined-only "$o" | awk '{print $NF}' | sed 's/@.*//' | sort -u; done; } \
           | sort | uniq -d | grep -x -F "$exported" || true)
if [ -n "$clashes" ]; then
    echo "check-symbols: exported names that other libraries define:" $clashes >&2
    status=1
fi

[ $status -eq 0 ] && echo "check-symbols: $(echo "$exported" | wc -w) exported names, all declared, no clashes"
exit $status
