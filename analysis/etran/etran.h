/*
 * etran.h --
 *
 *	The etran command: translation of band-calculator expressions into
 *	three-address instruction lists.
 */
#ifndef TESK_ANALYSIS_ETRAN_ETRAN_H
#define TESK_ANALYSIS_ETRAN_ETRAN_H

#include <tcl.h>

/* Registers etran; 0, or 1 when the command cannot be created. */
int etranInit(Tcl_Interp *interp);

#endif /* TESK_ANALYSIS_ETRAN_ETRAN_H */
