#!/bin/sh
# The layers check over small trees made here, under the real layer table:
#   layers_cases.sh SOURCE_DIR
# A clean tree passes; each way around the layer rule fails, naming the file
# or the entry at fault.
set -eu
src=$1
check=$src/tests/support/layers_check.sh
cases=layers_cases
. "$src/tests/support/check_cases.sh"

# A tree of every layer of the table: each folder's one header includes the
# runtime's (the runtime's includes nothing), and DEPENDS names runtime.
base=$work/base
mkdir -p "$base/cmake"
cp "$src/cmake/layers.table" "$base/cmake/"
sed 's/#.*//' "$src/cmake/layers.table" | awk 'NF == 2 { print $1 }' | while read -r folder; do
    mkdir -p "$base/$folder"
    name=$(basename "$folder")
    below=runtime
    [ "$folder" = runtime ] && below=
    {
        [ -n "$below" ] && printf '#include "runtime/runtime.h"\n'
        printf 'int %s_x;\n' "$name"
    } >"$base/$folder/$name.h"
    printf '#include "%s/%s.h"\n' "$folder" "$name" >"$base/$folder/$name.cpp"
    printf 'tesk_layer(%s\n  DEPENDS %s\n  SOURCES\n    %s/%s.cpp\n)\n' "$folder" "$below" "$folder" "$name" \
        >"$base/$folder/Sources.cmake"
done

# case NAME EXPECT: copies the base tree to $tree, runs the edit read from
# standard input there, then the check; the check must pass when EXPECT is
# "pass", else fail with EXPECT in its messages.
case_() {
    tree=$work/$1
    cp -R "$base" "$tree"
    (cd "$tree" && sh -eu)
    checkCase "$1" "$2" "$2"
}

case_ clean pass </dev/null

# A single-header entry may not point up: imagestore naming a display header.
case_ header-entry-above 'imagestore DEPENDS display/display.h, a header of a folder of rank' <<'EOF'
printf '#include "display/display.h"\n' >>imagestore/imagestore.cpp
sed -i 's,DEPENDS runtime,DEPENDS runtime display/display.h,' imagestore/Sources.cmake
EOF

# A header entry beside the layer is the narrow interface, and passes.
case_ header-entry-beside pass <<'EOF'
printf '#include "geo/geo.h"\n' >>canvas/canvas.cpp
sed -i 's,DEPENDS runtime,DEPENDS runtime geo/geo.h,' canvas/Sources.cmake
EOF

# "../" is refused in every folder, gl/ and devices/ among them.
for folder in gl devices runtime; do
    case_ "dotdot-$folder" "$folder/$folder.cpp:2: include \"../geo/geo.h\" leaves the layer views" <<EOF
printf '#include "../geo/geo.h"\n' >>$folder/$folder.cpp
EOF
done

# A path that climbs out of a folder the view links and back into another.
case_ dotdot-through-view 'include "runtime/../analysis/analysis.h" leaves the layer views' <<'EOF'
printf '#include "runtime/../analysis/analysis.h"\n' >>runtime/runtime.cpp
EOF

# DEPENDS is what the folder includes: no more, no less.
case_ depends-unused 'gl DEPENDS platform but includes nothing of it' <<'EOF'
sed -i 's,DEPENDS runtime,DEPENDS runtime platform,' gl/Sources.cmake
EOF
case_ depends-missing 'display reaches runtime/runtime.h but its DEPENDS names neither runtime' <<'EOF'
sed -i 's,DEPENDS runtime,DEPENDS,' display/Sources.cmake
EOF
# A header reached through another folder's header must be seen too.
case_ depends-transitive 'platform/extra.h:1: imagestore reaches runtime/runtime.h but its DEPENDS names neither' <<'EOF'
printf '#include "runtime/runtime.h"\n' >platform/extra.h
sed -i 's,runtime/runtime.h,platform/extra.h,' imagestore/imagestore.h
sed -i 's,DEPENDS runtime,DEPENDS platform,' imagestore/Sources.cmake
EOF

# An include of a folder above: reached without a DEPENDS entry, or named
# as a whole folder above.
case_ include-above 'runtime reaches package/package.h' <<'EOF'
printf '#include "package/package.h"\n' >>runtime/runtime.cpp
EOF
case_ include-above-spelt-apart 'runtime reaches package/package.h' <<'EOF'
printf '#include "package/.//package.h"\n' >>runtime/runtime.cpp
EOF
case_ include-above-other-name 'runtime reaches package/package.inl' <<'EOF'
printf 'int package_y;\n' >package/package.inl
printf '#include "package/package.inl"\n' >>runtime/runtime.cpp
EOF
case_ folder-entry-above 'display DEPENDS gl, a folder of rank' <<'EOF'
printf '#include "gl/gl.h"\n' >>display/display.cpp
sed -i 's,DEPENDS runtime,DEPENDS runtime gl,' display/Sources.cmake
EOF

# A device bridge in a subfolder of its own row is a layer of its own: it
# may use the kit below it, and the kit may not reach into it.
bridge='printf "devices/bridge 6\n" >>cmake/layers.table
mkdir devices/bridge
printf "#include \"devices/devices.h\"\n" >devices/bridge/bridge.h
printf "tesk_layer(devices/bridge\n  DEPENDS runtime devices\n  SOURCES\n)\n" >devices/bridge/Sources.cmake'
echo "$bridge" | case_ bridge pass
printf '%s\n%s\n' "$bridge" 'printf "#include \"devices/bridge/bridge.h\"\n" >>devices/devices.cpp' |
    case_ bridge-reached-from-below 'devices reaches devices/bridge/bridge.h'

# Every folder holding sources is a row of the table; a public header
# reaches no layer.
case_ folder-outside-table 'layer sensor is not a row of the layer table' <<'EOF'
mkdir sensor
printf 'tesk_layer(sensor\n  SOURCES\n)\n' >sensor/Sources.cmake
EOF
case_ public-header 'the public header reaches runtime/runtime.h' <<'EOF'
mkdir include
printf '#include "runtime/runtime.h"\n' >include/tesk.h
EOF
exit $status
