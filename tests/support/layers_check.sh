#!/bin/sh
# Checks the layering of the sources:
#   layers_check.sh SOURCE_DIR BUILD_DIR CXX
# 1. No source reaches another folder by a relative path ("../").
# 2. No layer's view (BUILD_DIR/layers/NAME) holds a folder above it or beside
#    it in the order below (single shared headers aside), and an include of
#    such a folder's header fails to compile against the view.
set -eu
src=$1
build=$2
cxx=$3
status=0
if grep -rn --include='*.cpp' --include='*.h' '#include *"\.\./' \
        "$src/runtime" "$src/platform" "$src/imagestore" "$src/display" "$src/analysis" "$src/canvas" "$src/geo" "$src/package"; then
    echo "layers_check: relative includes bypass the layer views" >&2
    status=1
fi
rank() {
    case $1 in
    runtime) echo 0 ;; platform) echo 1 ;; imagestore) echo 2 ;; display) echo 3 ;;
    analysis|canvas|geo) echo 4 ;; gl|devices) echo 5 ;; package) echo 6 ;; *) echo 9 ;;
    esac
}
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT INT TERM
for view in "$build"/layers/*; do
    layer=$(basename "$view")
    for folder in runtime platform imagestore display analysis canvas geo package; do
        [ "$folder" = "$layer" ] && continue
        header=$(cd "$src" && ls "$folder"/*.h 2>/dev/null | head -n 1)
        [ -n "$header" ] || continue
        [ "$(rank "$folder")" -lt "$(rank "$layer")" ] && continue
        if [ -L "$view/$folder" ]; then
            echo "layers_check: $layer sees $folder, which is not below it" >&2
            status=1
            continue
        fi
        printf '#include "%s"\n' "$header" >"$probe/probe.cpp"
        if "$cxx" -fsyntax-only -I"$view" -I"$src/include" "$probe/probe.cpp" 2>"$probe/log"; then
            echo "layers_check: $layer reaches $header" >&2
            status=1
        elif ! grep -q "No such file\|file not found" "$probe/log"; then
            echo "layers_check: probe of $header from $layer failed otherwise:" >&2
            cat "$probe/log" >&2
            status=1
        fi
    done
done
exit $status
