/*
 * calc_parts.h --
 *
 *	The subcommands of calc, grouped by concern (geometry, probes of the
 *	system and the C library, list and console utilities), and the small
 *	text helpers they share: C-locale formatting and number scanning,
 *	console printing and the error path of the subcommands that report
 *	through errorInfo. Every handler takes the command's words as calc
 *	received them (argv[0] "calc", argv[1] the subcommand word).
 */
#ifndef TESK_RUNTIME_CALC_PARTS_H
#define TESK_RUNTIME_CALC_PARTS_H

#include <cstdio>
#include <string>
#include <tcl.h>

typedef int (CalcProc)(Tcl_Interp *interp, int argc, const char **argv);

/* calc_geometry.cpp: angles, frame-camera rotations, the fplane kernel. */
CalcProc calcD2r, calcR2d, calcXyzRotate, calcRefImgCoord, calcFplane;

/* calc_probes.cpp: memory, handles, time, stdio and disk probes. */
CalcProc calcMemory, calcHandles, calcMalloc, calcRealloc, calcMemid, calcGalloc, calcGfree, calcFtime,
    calcFgets, calcFscanf, calcLoadtime, calcFreeDisk, calcStime, calcTest, calcPanic;

/* calc_misc.cpp: band lists, bitmaps, characters, the console cursor,
 * correlation, compression and random numbers. */
CalcProc calcBands, calcBitmap, calcChars, calcClrscr, calcGotoxy, calcCorrel, calcComptest, calcRand,
    calcSrand, calcRrand, calcScramble;

/* calc_text.cpp ------------------------------------------------------------ */

/* printf in the C locale, whatever the process's LC_NUMERIC. */
std::string calcFormat(const char *format, ...) __attribute__((format(printf, 1, 2)));

/* Writes text to the console's standard output (stream stdout) or error
 * (stream stderr). */
void calcPrint(FILE *stream, const std::string &text);

/* Reads up to maximum numbers from the start of text as sscanf with
 * "%lf %lf ..." would in the C locale; answers how many were read. */
int calcScanDoubles(const char *text, double *values, int maximum);

/* Sets the interpreter's result to text. */
void calcSetResult(Tcl_Interp *interp, const std::string &text);

/* True when the global variable Tesk_Debug holds "1". */
bool calcDebugOn(Tcl_Interp *interp);

/* Adds message to errorInfo (printing errorInfo to standard error when
 * Tesk_Debug is "1") and answers TCL_ERROR; the result stays empty. */
int calcErrorInfo(Tcl_Interp *interp, const char *message);

/* While alive, the calling thread formats and scans numbers in the C locale. */
class CalcCLocale {
public:
    CalcCLocale();
    ~CalcCLocale();
    CalcCLocale(const CalcCLocale &) = delete;
    CalcCLocale &operator=(const CalcCLocale &) = delete;

private:
    void *previous;  // the thread's locale_t before
};

#endif /* TESK_RUNTIME_CALC_PARTS_H */
