/*
 * twimg.h --
 *
 *	The twimg command: scanning into the RAM image "twain.img" through
 *	the built-in TWAIN data source manager. Registered by the package's
 *	module table.
 */
#ifndef TESK_DEVICES_TWAIN_TWIMG_H
#define TESK_DEVICES_TWAIN_TWIMG_H

#include <tcl.h>

/* Creates twimg in interp (the first interpreter, or the next one after
 * it is deleted, runs the transfers' scripts); answers 0. */
int twimgInit(Tcl_Interp *interp);

#endif /* TESK_DEVICES_TWAIN_TWIMG_H */
