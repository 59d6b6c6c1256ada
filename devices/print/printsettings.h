/*
 * printsettings.h --
 *
 *	The printer settings kept per interpreter between printer commands,
 *	the module-wide tile size of canvas printing, and the subcommands that
 *	print (printcanvas.cpp) and show the dialogs (printdialog.cpp).
 */
#ifndef TESK_DEVICES_PRINT_PRINTSETTINGS_H
#define TESK_DEVICES_PRINT_PRINTSETTINGS_H

#include <string>
#include <tcl.h>
#include "devices/print/printdest.h"

/* The printer settings of one interpreter. */
struct PrinterSettings {
    Tcl_Interp *interp;      /* owner of the dialogs */
    double marginMm[4];      /* left, right, top, bottom page margins, millimetres */
    int interactive;         /* 1: printing shows the print dialog; 0: the kept or default printer */
    int fromPage, toPage;    /* page range chosen in the print dialog, from 1 */
    int pageCount;           /* pages of the job being set up */
    int copies;              /* copies chosen in the print dialog, at least 1 */
    std::string printerName; /* the printer kept from the last dialog, "" none */
};

/* Tile width and height of canvas printing, canvas units, 128 ..
 * kMaxPrintTile: a sub-tile takes both its ends, so the largest is one
 * unit under the widest region a canvas draws off screen. */
extern int printTileWidth;
extern int printTileHeight;
enum { kMinPrintTile = 128, kMaxPrintTile = 32736 };

/*
 * findPrintDest --
 *	The printer named name (NULL: the kept one, else the default) with its
 *	capabilities. False when none has that name, or when the kept printer
 *	went away (then *out is the file printer, for the page's size only).
 */
bool findPrintDest(PrinterSettings *s, Tcl_Interp *interp, const char *name, PrintDest *out);

/* Print dialog flags. */
enum : unsigned { PD_PRINTSETUP = 0x40, PD_RETURNDC = 0x100, PD_RETURNDEFAULT = 0x400 };
/* Extended errors of a dialog: nothing can print; the kept printer is gone. */
enum { PDERR_NODEFAULTPRN = 0x1008, PDERR_PRINTERNOTFOUND = 0x100B };

/*
 * printDialog --
 *	Chooses the printer and the page range: with PD_RETURNDEFAULT, or
 *	when interactive is 0 and PD_PRINTSETUP is not asked, the kept or
 *	default printer without a dialog; else the modal print dialog .teskPrint,
 *	owned by owner (NULL: the main window). The range runs from the
 *	settings' from page (lowered to the to page) to the page count. On
 *	success the printer is kept, the range and copies (1 without a
 *	dialog) stored and *dest filled (true);
 *	on cancel false with *error 0, when nothing can print PDERR_NODEFAULTPRN,
 *	when the kept printer went away PDERR_PRINTERNOTFOUND.
 */
bool printDialog(PrinterSettings *s, Tcl_Interp *interp, const char *owner, unsigned flags, PrintDest *dest,
                 int *error);

/* printer pagesetup ?window? and printer setup ?window?: the dialogs. */
int pageSetupCmd(PrinterSettings *s, Tcl_Interp *interp, int argc, const char **argv);
int setupCmd(PrinterSettings *s, Tcl_Interp *interp, int argc, const char **argv);

/* printer canvas canvasName ?scale x0 y0 x1 y1 ?coordType? ?printerDriver printerName port?? */
int printCanvasCmd(PrinterSettings *s, Tcl_Interp *interp, int argc, const char **argv);

#endif /* TESK_DEVICES_PRINT_PRINTSETTINGS_H */
