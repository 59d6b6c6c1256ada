/*
 * gtable.h --
 *
 *	Table objects: gtable.create, gtable.info and the command of every
 *	gtable object, a TABLE data object whose payload is a dBase table.
 */
#ifndef TESK_GEO_GTABLE_H
#define TESK_GEO_GTABLE_H

#include <tcl.h>

/* Registers gtable.create and gtable.info; 0, or 1 when either fails. */
int gtableCmdInit(Tcl_Interp *interp);

#endif /* TESK_GEO_GTABLE_H */
