#!/bin/sh
# Every file the library reads by a name goes through the bounded reader of
# regular files in runtime/files.cpp (openRegularFile, openRegularStream,
# readRegularFile), which refuses a folder, a FIFO or a device at once:
#   reads_check.sh SOURCE_DIR
# Outside it, a call that opens a name for reading fails the check: open,
# open64, openat, fopen, fopen64, freopen, Tcl_OpenFileChannel,
# Tcl_FSOpenFileChannel, Tcl_EvalFile, Tcl_FSEvalFile(Ex), and any
# std::ifstream or std::fstream. A call on a line that opens for writing
# only (O_WRONLY, or the mode "w", "wb", "a" or "ab") reads nothing. The few
# raw opens that are safe are listed in exceptions below, each with its
# reason in a comment beside the call. Comments are skipped; each finding
# prints as FILE:LINE: TEXT.
set -eu
src=$1
support=$(dirname "$0")
. "$support/opens_scan.sh"

# "FILE<TAB>TEXT": a raw open is allowed in FILE on a line holding TEXT.
exceptions='runtime/files.cpp	open(path, (access == O_RDWR
runtime/replace.cpp	O_RDWR | O_CREAT | O_EXCL
runtime/replace.cpp	O_TMPFILE | O_RDWR | O_CLOEXEC
runtime/replace.cpp	O_RDWR | O_CLOEXEC | O_NOFOLLOW
runtime/replace.cpp	std::fopen("/proc/self/status", "r")
runtime/cpus.cpp	std::fopen("/sys/fs/cgroup/cpu.max", "r")
runtime/cpus.cpp	std::fopen(name, "r")
runtime/calc_probes.cpp	std::fopen(file, "r")
imagestore/formats/gpz.cpp	open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC)
imagestore/formats/gpz.cpp	open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)'

found=$(scanOpens "$src" "$exceptions" '
    call = text ~ (lead "(open|open64|openat|fopen|fopen64|freopen|Tcl_OpenFileChannel|Tcl_FSOpenFileChannel|Tcl_EvalFile|Tcl_FSEvalFile|Tcl_FSEvalFileEx)[ \t]*\\(")
    stream = text ~ /(^|[^A-Za-z0-9_])(std::)?(ifstream|fstream)([^A-Za-z0-9_]|$)/
    # a line that opens for writing only reads nothing
    hit = stream || (call && text !~ /O_WRONLY/ && text !~ /"(w|wb|a|ab)"/)
')
if [ -n "$found" ]; then
    echo "$found"
    echo "reads_check: a file opened by name for reading outside the regular-file reader (use openRegularFile, openRegularStream or readRegularFile of runtime/util.h)" >&2
    exit 1
fi
