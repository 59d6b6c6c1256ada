/*
 * comb.h --
 *
 *	The comb widget kit's kernel (in progress).
 */
#ifndef TESK_DEVICES_COMB_H
#define TESK_DEVICES_COMB_H

#include <tcl.h>

/* The kit's module init (module table row "comb"). */
int combInit(Tcl_Interp *interp);

#endif /* TESK_DEVICES_COMB_H */
