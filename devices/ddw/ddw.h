/*
 * ddw.h --
 *
 *	The ddw widget: a RAM image shown through a back surface (an off-screen
 *	XImage and pixmap of the image's size) copied onto the widget's window.
 *	Registered by the package's module table.
 */
#ifndef TESK_DEVICES_DDW_DDW_H
#define TESK_DEVICES_DDW_DDW_H

#include <tcl.h>

/* Creates the ddw command and provides the package TK_DIRECTX 1.0; answers
 * 0, or non-zero when the package cannot be provided. */
int ddwInit(Tcl_Interp *interp);

#endif /* TESK_DEVICES_DDW_DDW_H */
