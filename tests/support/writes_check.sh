#!/bin/sh
# Every file the library writes goes through the replace helper of
# runtime/replace.cpp (a new file beside the target, renamed over it once
# whole), so that a failure at any step leaves the earlier file as it was:
#   writes_check.sh SOURCE_DIR
# Outside it, a call that opens a name for writing fails the check: open,
# open64 or openat with O_WRONLY, O_RDWR, O_CREAT, O_TRUNC or O_APPEND;
# creat; fopen, fopen64 or freopen with a mode of "w", "a" or "+";
# Tcl_OpenFileChannel or Tcl_FSOpenFileChannel with such a mode; any
# std::ofstream or std::fstream; and a Tk photo's write built as a command
# (the word "write" given to a photo). The few raw opens that are sound are
# listed in exceptions below with their reasons. Comments are skipped; each
# finding prints as FILE:LINE: TEXT.
set -eu
src=$1
support=$(dirname "$0")
. "$support/opens_scan.sh"

# "FILE<TAB>TEXT<TAB>WHY": a raw open for writing is allowed in FILE on a
# line holding TEXT, for the reason WHY.
exceptions='runtime/replace.cpp	O_RDWR | O_CREAT | O_EXCL	the new file of a replacement itself
runtime/replace.cpp	O_TMPFILE | O_RDWR | O_CLOEXEC	the new file of a replacement itself, without a name until it is put in place
runtime/replace.cpp	O_WRONLY | O_CLOEXEC | O_NOFOLLOW	a replacement written in place (a folder that takes no new file, or a file whose owner and group a new one cannot keep): the target, written only by the commit, when the new contents are whole
runtime/replace.cpp	O_RDWR | O_CLOEXEC | O_NOFOLLOW	a replacement written in place: the commit reserves the room, then copies the whole new contents over the target
runtime/files.cpp	open(path, (access == O_RDWR	an image file bound read-write: its pixels are written in place, in a file whose data area was written whole when it was made
imagestore/formats/gpz.cpp	open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC)	the pixel file of a header opened read-write: written in place, like any raw image file
analysis/tools/ptablebuild.cpp	open(name, O_WRONLY | O_CLOEXEC)	asks whether an existing table may be written later: opened without truncating, written nothing, closed at once
canvas/postscript.cpp	Tcl_OpenFileChannel(interp, name, "w", 0666);	a device or FIFO given to -file has no contents to keep and takes the text as a stream; a plain file goes through the replace helper
display/gimgdump.cpp	Tcl_NewStringObj("write", -1)	Tk writes the photo under the temporary name of a replacement, renamed over the file once written'

found=$(scanOpens "$src" "$exceptions" '
    raw = (text ~ (lead "(open|open64|openat)[ \t]*\\(") &&
           text ~ /O_WRONLY|O_RDWR|O_CREAT|O_TRUNC|O_APPEND/) ||
          text ~ (lead "(creat|creat64)[ \t]*\\(")
    stdio = text ~ (lead "(fopen|fopen64|freopen)[ \t]*\\(") && text ~ /"[rwab+]*[wa+][rwab+]*"/
    channel = text ~ /(Tcl_OpenFileChannel|Tcl_FSOpenFileChannel)[ \t]*\(/ &&
              (text ~ /"[rwab+]*[wa+][rwab+]*"/ || text ~ /WRONLY|RDWR|CREAT/)
    stream = text ~ /(^|[^A-Za-z0-9_])(std::)?(ofstream|fstream)([^A-Za-z0-9_]|$)/
    photo = text ~ /"write"/ || text ~ /" write "/
    hit = raw || stdio || channel || stream || photo
')
if [ -n "$found" ]; then
    echo "$found"
    echo "writes_check: a file opened for writing outside the replace helper (use replaceBegin and replaceCommit, or replaceWithBytes, of runtime/replace.h)" >&2
    exit 1
fi
