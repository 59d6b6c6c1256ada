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
/* Gives the subcommand name, listed without a handler (a part built in a
 * higher layer, such as scangif), its handler. Answers 1, or 0 when no
 * such subcommand waits for one. */
int calcProvide(const char *name, CalcProc *proc);

#endif /* TESK_RUNTIME_CALC_H */
