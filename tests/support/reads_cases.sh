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

lineCase open fail analysis/a.cpp '    int fd = open(name, O_RDONLY | O_CLOEXEC);'
lineCase open-rdwr fail imagestore/a.cpp '    fd = ::open(name, O_RDWR);'
lineCase open-ternary fail geo/a.cpp '    int fd = ok ? -1 : open(name, O_RDONLY);'
lineCase fopen fail gl/a.cpp '    FILE *f = std::fopen(name, "r");'
lineCase fopen-update fail devices/a.cpp '    FILE *f = fopen(name, "w+");'
lineCase ifstream fail display/a.cpp '    std::ifstream in(name);'
lineCase channel fail canvas/a.cpp '    Tcl_Channel c = Tcl_OpenFileChannel(interp, name, "r", 0);'
lineCase eval-file fail package/a.cpp '    return Tcl_EvalFile(interp, name);'
lineCase exception-elsewhere fail analysis/b.cpp '    FILE *fp = std::fopen(file, "r");'

lineCase write-only pass analysis/a.cpp '    int fd = open(name, O_WRONLY | O_CREAT, 0666);'
lineCase fopen-write pass geo/a.cpp '    FILE *f = std::fopen(name, "wb");'
lineCase channel-write pass canvas/a.cpp '    chan = Tcl_OpenFileChannel(interp, name, "w", 0666);'
lineCase method pass analysis/a.cpp '        out.open(); p->open(name); images.open(name);'
lineCase declaration pass geo/a.cpp 'RamImage *SensorImages::open(const char *name)'
lineCase member pass devices/a.cpp '    bool open(const char *name)'
lineCase comment pass gl/a.cpp '    // fd = open(name, O_RDONLY); /* fopen(name, "r") */'
lineCase reader pass runtime/a.cpp '    FdHolder file(openRegularFile(path.c_str()));'
lineCase exception pass runtime/calc_probes.cpp '    FILE *fp = std::fopen(file, "r");'
exit $status
