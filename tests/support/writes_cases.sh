#!/bin/sh
# The writes check over small trees made here:
#   writes_cases.sh SOURCE_DIR
# Each way of opening a name for writing fails the check, in any library
# folder and also where the same text is an exception in another file;
# opens for reading, methods and declarations named open, comments and the
# replace helper's own calls pass.
set -eu
src=$1
check=$src/tests/support/writes_check.sh
cases=writes_cases
. "$src/tests/support/check_cases.sh"

lineCase open-create fail analysis/a.cpp '    int fd = open(name, O_CREAT | O_TRUNC | O_RDWR, 0666);'
lineCase open-write-only fail geo/a.cpp '    int fd = ::open(name, O_WRONLY | O_CLOEXEC);'
lineCase open-append fail gl/a.cpp '    fd = ok ? -1 : open(name, O_APPEND | O_WRONLY);'
lineCase open-read-write fail imagestore/a.cpp '    return openat(dir, name, O_RDWR);'
lineCase creat fail devices/a.cpp '    int fd = creat(name, 0644);'
lineCase fopen-write fail display/a.cpp '    FILE *f = std::fopen(name, "wb");'
lineCase fopen-append fail package/a.cpp '    FILE *f = fopen(name, "a");'
lineCase fopen-update fail runtime/a.cpp '    FILE *f = fopen(name, "r+");'
lineCase ofstream fail canvas/a.cpp '    std::ofstream out(name);'
lineCase fstream fail platform/a.cpp '    std::fstream both(name);'
lineCase channel fail canvas/a.cpp '    chan = Tcl_OpenFileChannel(interp, name, "w", 0666);'
lineCase fs-channel fail analysis/a.cpp '    chan = Tcl_FSOpenFileChannel(interp, path, "a+", 0666);'
lineCase photo-write fail display/a.cpp '    Tcl_Obj *word = Tcl_NewStringObj("write", -1);'
lineCase photo-script fail display/a.cpp '    Tcl_Eval(interp, (photo + " write " + file).c_str());'
lineCase exception-elsewhere fail analysis/b.cpp '        r->fd = open(r->temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);'

lineCase read-only pass analysis/a.cpp '    int fd = open(name, O_RDONLY | O_CLOEXEC);'
lineCase fopen-read pass geo/a.cpp '    FILE *f = std::fopen(name, "rb");'
lineCase channel-read pass canvas/a.cpp '    chan = Tcl_OpenFileChannel(interp, name, "r", 0);'
lineCase ifstream pass gl/a.cpp '    std::ifstream in(name);'
lineCase method pass analysis/a.cpp '        out.open(O_WRONLY); p->open(name, O_RDWR);'
lineCase comment pass gl/a.cpp '    // fd = open(name, O_WRONLY); /* fopen(name, "w") */'
lineCase replace pass geo/a.cpp '    if (!replaceBegin(&r, name) || !replaceCommit(&r)) {'
lineCase exception pass runtime/replace.cpp '        r->fd = open(r->temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);'
exit $status
