#!/bin/sh
# Prepares a Debian 12 machine and builds Tesk.
#   tools/setup.sh [release|asan|all]     (default: release)
# Installs the Debian packages that are missing (as root, or through sudo),
# then configures and builds:
#   build/        the optimised library (gcc -O2) for the demo and benchmarks
#   build-asan/   the test build (clang, AddressSanitizer and UBSan)
# The build runs JOBS jobs at once (default: the number of processors).
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
what=${1:-release}

# tcllib: dtplite renders the manual pages (doc/man) and the tests read them
# through its doctools package.
packages="build-essential cmake ninja-build ccache pkg-config binutils clang libclang-rt-14-dev
 tcl8.6-dev tk8.6-dev libxext-dev libjpeg62-turbo-dev zlib1g-dev libxft-dev fonts-dejavu-core libproj-dev proj-data
 libgl-dev libglu1-mesa-dev freeglut3-dev libgtest-dev libbenchmark-dev libshp-dev libgd-dev libcups2-dev xvfb xauth tcllib strace"
# The tests also cross-check files with readers and writers of other
# projects (GDAL, netpbm, shapelib's programs, libjpeg's cjpeg and djpeg,
# giflib's programs, ImageMagick) and figures with PROJ's own programs;
# numpy and scipy check the FFT, the statistics, classification, fits and
# image tools (run by /usr/bin/python3, or $TESK_PYTHON); xclip owns the
# clipboard as another client would; libtk-img's window format is the
# peer of the capture benchmark; a cupsd of the tests' own takes print
# jobs, Ghostscript renders them and emf2svg reads our metafiles; twimg
# scans SANE's test device through libsane1 against sane-utils' scanimage;
# ffmpeg writes the AVI files that ddw plays against its own decoding;
# xwininfo (x11-utils) sees the windows of the glu tests.
[ "$what" = all ] && packages="$packages gdal-bin netpbm shapelib proj-bin libjpeg-turbo-progs giflib-tools imagemagick libtiff-tools dcmtk python3-numpy python3-scipy xclip libtk-img ghostscript cups-daemon cups-client cups-core-drivers emf2svg libsane1 sane-utils ffmpeg x11-utils"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "setup: installing$missing"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing
fi

jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}
build() {
    dir=$1; shift
    if [ ! -f "$top/$dir/build.ninja" ]; then
        cmake -S "$top" -B "$top/$dir" -G Ninja "$@" >/dev/null
    fi
    cmake --build "$top/$dir" -j "$jobs"
}
case $what in
release|all) build build -DCMAKE_BUILD_TYPE=RelWithDebInfo ;;
esac
case $what in
asan|all) CC=clang CXX=clang++ build build-asan -DCMAKE_BUILD_TYPE=Debug -DTESK_SANITIZE=ON ;;
esac
