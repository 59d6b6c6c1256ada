#!/bin/sh
# Checks the layering of the sources against the one table of cmake/layers.table:
#   layers_check.sh SOURCE_DIR [BUILD_DIR CXX]
# 1. Every tesk_layer of a Sources.cmake is a row of the table and each row
#    has one, listing only sources of its own folder.
# 2. No include path, in any folder or in include/, holds ".." or is
#    absolute; include/ reaches no layer.
# 3. Each layer's DEPENDS is exactly what its files reach, following the
#    includes of the headers they reach (which compile in the layer's view
#    too): a whole folder only of lower rank, a single header only of the
#    same or a lower rank, and no entry that nothing uses.
# 4. With a build folder: no layer's view (BUILD_DIR/layers/NAME, a "/" of
#    NAME written "_") holds a folder of the same or a higher rank, and an
#    include of such a folder's header fails to compile against the view.
set -eu
src=$1
build=${2:-}
cxx=${3:-}
table=$src/cmake/layers.table
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
status=0

cd "$src"
if [ ! -f "$table" ]; then
    echo "layers_check: no layer table $table" >&2
    exit 1
fi
# The source folders: those holding a Sources.cmake (a bridge's may lie in
# a subfolder of its own).
folders=
for list in */Sources.cmake; do
    [ -f "$list" ] && folders="$folders ${list%/Sources.cmake}"
done
: >"$work/sourcelists"
# shellcheck disable=SC2086
[ -n "$folders" ] && find $folders -name Sources.cmake | sort >"$work/sourcelists"
[ -d include ] && folders="$folders include"
# Every file may be included; all but the build's and the scripts' files are
# read for includes.
# shellcheck disable=SC2086
find $folders -type f | sort >"$work/files"
: >"$work/includes"
grep -v -E '(\.cmake|\.in|\.lib|\.tcl|\.md|\.txt)$' "$work/files" | tr '\n' '\0' |
    xargs -0 -r grep -I -H -n -E '^[[:space:]]*#[[:space:]]*include' >"$work/includes" || :

# The tesk_layer calls: "layer NAME LISTFILE", "dep NAME ENTRY", "src NAME FILE".
: >"$work/layers"
while read -r list; do
    awk -v list="$list" '
        { sub(/#.*/, ""); text = text " " $0 }
        END {
            while (match(text, /tesk_layer[ \t]*\([^)]*\)/)) {
                call = substr(text, RSTART, RLENGTH)
                text = substr(text, RSTART + RLENGTH)
                sub(/^tesk_layer[ \t]*\(/, "", call)
                sub(/\)$/, "", call)
                n = split(call, word, /[ \t]+/)
                name = ""
                mode = ""
                for (i = 1; i <= n; i++) {
                    if (word[i] == "") continue
                    if (name == "") { name = word[i]; print "layer", name, list; continue }
                    if (word[i] == "DEPENDS" || word[i] == "SOURCES") { mode = word[i]; continue }
                    if (mode == "DEPENDS") print "dep", name, word[i]
                    else if (mode == "SOURCES") print "src", name, word[i]
                }
            }
        }' "$list" >>"$work/layers"
done <"$work/sourcelists"

awk -v tablef="$table" -v filesf="$work/files" -v layersf="$work/layers" '
function fail(message) {
    print "layers_check: " message > "/dev/stderr"
    failed = 1
}
# The table folder that holds path (the longest one), or "" for none.
function folderOf(path,    row, best) {
    best = ""
    for (row in rank) {
        if (index(path, row "/") == 1 && length(row) > length(best)) best = row
    }
    return best
}
# path without empty and "." components.
function normal(path,    n, part, i, out) {
    n = split(path, part, "/")
    out = ""
    for (i = 1; i <= n; i++) {
        if (part[i] != "" && part[i] != ".") out = out == "" ? part[i] : out "/" part[i]
    }
    return out
}
# The file an include of path names from the file from: beside it (quoted
# form), under the source folder (every view mirrors it) or in include/;
# "" for a header from outside the tree.
function resolve(from, path, quoted,    dir) {
    dir = from
    sub(/\/[^\/]*$/, "", dir)
    path = normal(path)
    if (quoted && ((dir "/" path) in have)) return dir "/" path
    if (path in have) return path
    if (("include/" path) in have) return "include/" path
    return ""
}
FILENAME == tablef {
    sub(/#.*/, "")
    if (NF == 0) next
    if (NF != 2 || $2 !~ /^[0-9]+$/) { fail(tablef ":" FNR ": a row is a folder and its rank"); next }
    rank[$1] = $2 + 0
    next
}
FILENAME == filesf { have[$0] = 1; next }
FILENAME == layersf {
    if ($1 == "layer") {
        if ($2 in listOf) fail($3 ": a second tesk_layer(" $2 ")")
        listOf[$2] = $3
        if (!($2 in rank)) fail($3 ": layer " $2 " is not a row of the layer table")
        else if ($3 != $2 "/Sources.cmake" && index($3, $2 "/") != 1) fail($3 ": layer " $2 " is defined outside its folder")
    } else if ($1 == "dep") {
        nDeps[$2]++
        dep[$2, nDeps[$2]] = $3
    } else if (folderOf($3) != $2) {
        fail(listOf[$2] ": layer " $2 " lists " $3 ", a source of another folder")
    }
    next
}
{
    # file:line:text of one include
    colon = index($0, ":")
    file = substr($0, 1, colon - 1)
    rest = substr($0, colon + 1)
    colon = index(rest, ":")
    where = file ":" substr(rest, 1, colon - 1)
    text = substr(rest, colon + 1)
    if (!match(text, /include[ \t]*(<[^>]*>|"[^"]*")/)) {
        fail(where ": an include whose path is not written out: " text)
        next
    }
    path = substr(text, RSTART, RLENGTH)
    sub(/^include[ \t]*/, "", path)
    quoted = substr(path, 1, 1) == "\""
    path = substr(path, 2, length(path) - 2)
    if (substr(path, 1, 1) == "/" || ("/" path "/") ~ /\/\.\.\//) {
        fail(where ": include \"" path "\" leaves the layer views (no \"..\", no absolute path)")
        next
    }
    target = resolve(file, path, quoted)
    if (target == "") next
    nIncs[file]++
    inc[file, nIncs[file]] = target
    incAt[file, nIncs[file]] = where
    if (index(file, "include/") == 1 && folderOf(target) != "")
        fail(where ": the public header reaches " target)
}
END {
    for (row in rank) {
        if (!(row in listOf)) fail("no tesk_layer(" row ") for the row " row " of the layer table")
    }
    for (layer in listOf) {
        if (!(layer in rank)) continue
        # Every file the layer compiles: its own, then the headers they reach.
        n = 0
        split("", queued)
        split("", reached)
        for (f in have) {
            if (folderOf(f) == layer) { queue[++n] = f; queued[f] = 1 }
        }
        for (q = 1; q <= n; q++) {
            f = queue[q]
            for (i = 1; i <= nIncs[f]; i++) {
                t = inc[f, i]
                if (t in queued) continue
                queue[++n] = t
                queued[t] = 1
                b = folderOf(t)
                if (b != "" && b != layer) reached[t] = incAt[f, i]
            }
        }
        # The entries of DEPENDS: what they name, and at what rank.
        split("", named)
        for (i = 1; i <= nDeps[layer]; i++) {
            e = dep[layer, i]
            named[e] = 1
            where = listOf[layer] ": " layer " DEPENDS " e
            if (e in rank) {
                if (e == layer || rank[e] >= rank[layer])
                    fail(where ", a folder of rank " rank[e] " (not below " rank[layer] ")")
            } else if (e in have) {
                b = folderOf(e)
                if (b == "" || b == layer) fail(where ", a header of no other layer")
                else if (rank[b] > rank[layer]) fail(where ", a header of a folder of rank " rank[b] " (above " rank[layer] ")")
                else if (b in named) fail(where " and the whole folder " b)
            } else {
                fail(where ", which is neither a row of the layer table nor a header")
            }
        }
        split("", used)
        for (t in reached) {
            b = folderOf(t)
            if (t in named) used[t] = 1
            else if (b in named) used[b] = 1
            else fail(reached[t] ": " layer " reaches " t " but its DEPENDS names neither " b " nor " t)
        }
        for (e in named) {
            if (!(e in used)) fail(listOf[layer] ": " layer " DEPENDS " e " but includes nothing of it")
        }
    }
    exit failed
}' "$table" "$work/files" "$work/layers" "$work/includes" || status=1

# The views of a build: what each layer's compiler sees.
if [ -n "$build" ] && [ -d "$build/layers" ]; then
    sed 's/#.*//' "$table" | awk 'NF == 2 { print $1, $2 }' >"$work/ranks"
    while read -r layer layerRank; do
        view=$build/layers/$(echo "$layer" | tr / _)
        [ -d "$view" ] || continue
        while read -r folder folderRank; do
            [ "$folder" = "$layer" ] && continue
            [ "$folderRank" -lt "$layerRank" ] && continue
            header=
            for h in "$folder"/*.h; do
                # a header the view shows on its own (DEPENDS folder/file.h) aside
                if [ -f "$h" ] && [ ! -e "$view/$h" ]; then
                    header=$h
                    break
                fi
            done
            [ -n "$header" ] || continue
            if [ -L "$view/$folder" ]; then
                echo "layers_check: $layer sees $folder, which is not below it" >&2
                status=1
                continue
            fi
            printf '#include "%s"\n' "$header" >"$work/probe.cpp"
            if "$cxx" -fsyntax-only -I"$view" -I"$src/include" "$work/probe.cpp" 2>"$work/log"; then
                echo "layers_check: $layer reaches $header" >&2
                status=1
            elif ! grep -q "No such file\|file not found" "$work/log"; then
                echo "layers_check: probe of $header from $layer failed otherwise:" >&2
                cat "$work/log" >&2
                status=1
            fi
        done <"$work/ranks"
    done <"$work/ranks"
fi
exit $status
