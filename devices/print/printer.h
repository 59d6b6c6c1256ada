/*
 * printer.h --
 *
 *	The printer and gmetafile commands and the package TK_PRINTER.
 */
#ifndef TESK_DEVICES_PRINT_PRINTER_H
#define TESK_DEVICES_PRINT_PRINTER_H

#include <tcl.h>

/* Provides TK_PRINTER 1.0 and creates printer and gmetafile: 0, or 1 with
 * a message when a command cannot be made. */
int printerInit(Tcl_Interp *interp);

#endif /* TESK_DEVICES_PRINT_PRINTER_H */
