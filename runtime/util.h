/*
 * util.h --
 *
 *	Small runtime utilities shared by every module: event-loop waits, file
 *	names and free disk space, text tests, byte order and bit arrays,
 *	base64, and the list and prompt helpers used by the statistics and
 *	control-point code. The exported half (memory, hash tables, tclUpdate)
 *	is declared in <tesk.h>.
 */
#ifndef TESK_RUNTIME_UTIL_H
#define TESK_RUNTIME_UTIL_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include "runtime/bytes.h"
#include "tesk.h"

/* Event loop (eventloop.cpp) ------------------------------------------------ */

/* Arms a timer of ms milliseconds and handles events of the given kinds
 * (plus timers) without blocking until it has fired. */
void tclWait(Tcl_Interp *interp, int eventFlags, int ms);

/* Files and disks (files.cpp) ------------------------------------------------- */

/* Tilde expansion and native separators into out; on failure adds "Fail to
 * translate file name." to errorInfo and answers false. */
bool translateFileName(Tcl_Interp *interp, std::string &out, const char *name);
/* An absolute path unchanged, a relative one joined to the current folder. */
std::string getAbsPath(const char *path);
/* The last element of the path. */
std::string getPathTail(const char *path);
/* 0 when the file exists, non-zero otherwise (the C library's access test). */
int fileExists(const char *path);
/* Free bytes of the file system holding path (or its nearest existing parent
 * folder); -1.0 after printing "Error in getdfree() call\n" when unknown. */
double diskFreeForPath(const char *path);
/* Free bytes of the current folder's file system; Linux has no drive letters,
 * so every drive number means the current one. */
double diskFreeByDrive(int drive);

/* Opens path read-only (or, with access O_RDWR, for reading and writing)
 * and close-on-exec when it names a regular file; -1 otherwise, with errno
 * set (EINVAL for a folder, FIFO or device). A FIFO is refused at once,
 * never waited on for a writer. Every file read by a name goes through
 * here (or readRegularFile); tests/support/reads_check.sh holds the few
 * exceptions. */
int openRegularFile(const char *path, int access = O_RDONLY);

/* A stdio stream ("rb") over openRegularFile(path): a reader of lines or
 * numbers ends with the file. NULL with errno set as openRegularFile sets
 * it, or as fdopen does. */
FILE *openRegularStream(const char *path);

/* Reads the whole regular file path (openRegularFile) into bytes when it
 * holds at most most bytes. Answers 0, or an errno value with bytes left
 * alone: EINVAL for a folder, FIFO or device, EFBIG for a longer file (one
 * that grows while read too), else the error of the open or the read. */
int readRegularFile(const char *path, int64_t most, std::string *bytes);

/* Closes a file descriptor when the holder goes (-1: nothing to close). */
struct FdHolder {
    int fd = -1;
    explicit FdHolder(int f) : fd(f) {}
    ~FdHolder();
    FdHolder(const FdHolder &) = delete;
    FdHolder &operator=(const FdHolder &) = delete;
};

/* Texts (text.cpp) ------------------------------------------------------------- */

int isIntegerString(const char *text);
int isNumberString(const char *text);
int strCaseCmp(const char *a, const char *b);

/* Bytes and bits: byte order, bit arrays, positioned I/O (bytes.h) ----------- */

/* Base64 (base64.cpp) -------------------------------------------------------- */

/* NUL-terminated text from gmemAlloc (caller frees), a newline after every 72
 * characters of full groups; *outLength excludes the NUL. NULL: no memory. */
char *base64Encode(size_t n, const unsigned char *bytes, size_t *outLength);
/* Bytes from gmemAlloc (caller frees) of a strict base64 text: whitespace
 * anywhere, otherwise only the alphabet, whole groups, "=" only as the last
 * one or two characters. NULL, with nothing decoded, for any other text or
 * when memory runs out. */
unsigned char *base64Decode(size_t n, const char *text, size_t *outLength);

/* Objects (object.cpp) ------------------------------------------------------- */

/* Called by a kind's save procedure that fails for a reason it can name
 * ("cannot write tab.dbf: No space left on device"): the object's save
 * answers "Error in save object: " and the reason. A save that names none
 * answers "Error in save object" alone. */
void objSaveFailed(const std::string &why);
/* Why one file of a save failed, named as the user gave it (given): where
 * its replacement (replace.h) could not begin, the replacement's own
 * account, which names the folder that takes no file or the file that may
 * not be written; else "cannot write GIVEN: " and the system's reason for
 * error ("short write" for 0). */
std::string saveFailureText(const char *given, bool begun, int error);

/* Output helpers (output.cpp) ------------------------------------------------- */

void appendFloatList(Tcl_Interp *interp, const float *values, int n);
void appendDoubleList(Tcl_Interp *interp, const double *values, int n);
void printBandList(long count, const long *bands);
/* Asks "question (Y/N)" on the console: 1 yes, 0 no; 0 when no input comes. */
int askYesNo(const char *question);

#endif /* TESK_RUNTIME_UTIL_H */
