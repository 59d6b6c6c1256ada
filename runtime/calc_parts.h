/*
 * calc_parts.h --
 *
 *	The subcommands of calc, grouped by concern (geometry, probes of the
 *	system and the C library, list and console utilities), and the small
 *	text helpers they share: C-locale formatting and number scanning,
 *	console printing and the error path of the subcommands that report
 *	through errorInfo. Every handler takes the command's words as calc
 *	received them (argv[0] "calc", argv[1] the subcommand word).
 *	Numbers are formatted and scanned in the C locale (runtime/cnumber.h).
 */
#ifndef TESK_RUNTIME_CALC_PARTS_H
#define TESK_RUNTIME_CALC_PARTS_H

#include <cstdio>
#include <string>
#include <tcl.h>
#include "runtime/calc.h"
#include "runtime/cnumber.h"

/* calc_geometry.cpp: angles, frame-camera rotations, the fplane kernel. */
CalcProc calcD2r, calcR2d, calcXyzRotate, calcRefImgCoord, calcFplane;

/* calc_probes.cpp: memory, handles, time, stdio and disk probes. */
CalcProc calcMemory, calcHandles, calcMalloc, calcRealloc, calcMemid, calcGalloc, calcGfree, calcFtime, calcFgets,
    calcFscanf, calcLoadtime, calcFreeDisk, calcStime, calcTest, calcPanic;

/* calc_misc.cpp: band lists, bitmaps, characters, the console cursor,
 * correlation, compression and random numbers. */
CalcProc calcBands, calcBitmap, calcChars, calcClrscr, calcGotoxy, calcCorrel, calcComptest, calcRand, calcSrand,
    calcRrand, calcScramble;

/* calc_text.cpp ------------------------------------------------------------ */

/* Writes text to the console's standard output (stream stdout) or error
 * (stream stderr). */
void calcPrint(FILE *stream, const std::string &text);

/* Reads up to maximum numbers from the start of text as sscanf with
 * "%lf %lf ..." would in the C locale; answers how many were read, or -1
 * when a number among them is not finite. */
int calcScanDoubles(const char *text, double *values, int maximum);

/* Sets the interpreter's result to text. */
void calcSetResult(Tcl_Interp *interp, const std::string &text);

/* True when the global variable Tesk_Debug holds "1". */
bool calcDebugOn(Tcl_Interp *interp);

/* Adds message to errorInfo (printing errorInfo to standard error when
 * Tesk_Debug is "1") and answers TCL_ERROR; the result stays empty. */
int calcErrorInfo(Tcl_Interp *interp, const char *message);

#endif /* TESK_RUNTIME_CALC_PARTS_H */
