#!/bin/sh
# The reads check over small trees made here:
#   reads_cases.sh SOURCE_DIR
# Each way of opening a name for reading fails the check, in any library
# folder and also where the same text is an exception in another file;
# opens for writing, methods and declarations named open, comments and the
# reader's own calls pass.
set -eu
src=$1
check=$src/tests/support/reads_check.sh
cases=reads_cases
. "$src/tests/support/check_cases.sh"

# case NAME EXPECT FILE LINE: a tree of the one FILE holding LINE; the
# check must pass when EXPECT is "pass", else fail naming FILE.
case_() {
    tree=$work/$1
    mkdir -p "$tree/$(dirname "$3")"
    printf '%s\n' "$4" >"$tree/$3"
    checkCase "$1" "$2" "$3:1: "
}

case_ open fail analysis/a.cpp '    int fd = open(name, O_RDONLY | O_CLOEXEC);'
case_ open-rdwr fail imagestore/a.cpp '    fd = ::open(name, O_RDWR);'
case_ open-ternary fail geo/a.cpp '    int fd = ok ? -1 : open(name, O_RDONLY);'
case_ fopen fail gl/a.cpp '    FILE *f = std::fopen(name, "r");'
case_ fopen-update fail devices/a.cpp '    FILE *f = fopen(name, "w+");'
case_ ifstream fail display/a.cpp '    std::ifstream in(name);'
case_ channel fail canvas/a.cpp '    Tcl_Channel c = Tcl_OpenFileChannel(interp, name, "r", 0);'
case_ eval-file fail package/a.cpp '    return Tcl_EvalFile(interp, name);'
case_ exception-elsewhere fail analysis/b.cpp '    FILE *fp = std::fopen(file, "r");'

case_ write-only pass analysis/a.cpp '    int fd = open(name, O_WRONLY | O_CREAT, 0666);'
case_ fopen-write pass geo/a.cpp '    FILE *f = std::fopen(name, "wb");'
case_ channel-write pass canvas/a.cpp '    chan = Tcl_OpenFileChannel(interp, name, "w", 0666);'
case_ method pass analysis/a.cpp '        out.open(); p->open(name); images.open(name);'
case_ declaration pass geo/a.cpp 'RamImage *SensorImages::open(const char *name)'
case_ member pass devices/a.cpp '    bool open(const char *name)'
case_ comment pass gl/a.cpp '    // fd = open(name, O_RDONLY); /* fopen(name, "r") */'
case_ reader pass runtime/a.cpp '    FdHolder file(openRegularFile(path.c_str()));'
case_ exception pass runtime/calc_probes.cpp '    FILE *fp = std::fopen(file, "r");'
exit $status
