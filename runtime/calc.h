/*
 * calc.h --
 *
 *	The calc utility command.
 */
#ifndef TESK_RUNTIME_CALC_H
#define TESK_RUNTIME_CALC_H

#include <tcl.h>

/* A subcommand's handler: the command's words as calc received them
 * (argv[0] "calc", argv[1] the subcommand word). */
typedef int(CalcProc)(Tcl_Interp *interp, int argc, const char **argv);

/* Registers calc; 0, or 1 when the command cannot be created. */
int calcInit(Tcl_Interp *interp);

/* The subcommands built in higher layers. */
struct CalcLink {
    CalcProc *scangif; /* calc scangif fileName: a GIF file's blocks on the console */
    CalcProc *geocalc; /* calc geocalc: the georeferencing calculator */
};

/* Filled in package/modules.cpp, every entry set. */
extern const CalcLink teskCalcLink;

#endif /* TESK_RUNTIME_CALC_H */
