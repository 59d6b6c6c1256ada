/*
 * calc.h --
 *
 *	The calc utility command.
 */
#ifndef TESK_RUNTIME_CALC_H
#define TESK_RUNTIME_CALC_H

#include <tcl.h>

/* Registers calc; 0, or 1 when the command cannot be created. */
int calcInit(Tcl_Interp *interp);

#endif /* TESK_RUNTIME_CALC_H */
