/*
 * printdest.h --
 *
 *	The printers a script can choose: the CUPS destinations of the server
 *	that CUPS_SERVER names (or the default one) and the file printer "Print
 *	to File", always listed and the default when CUPS has none; and what a
 *	printer can do (page, printable area, resolution). Serves the printer
 *	command.
 */
#ifndef TESK_DEVICES_PRINT_PRINTDEST_H
#define TESK_DEVICES_PRINT_PRINTDEST_H

#include <string>
#include <tcl.h>
#include <vector>

/* The file printer's name. */
extern const char *const kFilePrinterName;

/* One printer: the kept printer settings (device names and mode). */
struct PrintDest {
    std::string name;       /* queue name, or kFilePrinterName */
    std::string makeModel;  /* printer-make-and-model: the driver name */
    std::string uri;        /* device-uri: the port; the file printer's file */
    std::string server;     /* host of printer-uri-supported, "" for the file printer */
    std::string media;      /* the media name its page comes from */
    bool filePrinter = false;
    bool defaultFile = false; /* the file printer's file is the fixed default name */
    bool isDefault = false;
    bool remote = false;    /* printer-type's remote bit */
    bool shared = false;    /* printer-is-shared */
    bool offline = false;   /* printer-state 5 (stopped) or not accepting jobs */
    double pageWidthMm = 210, pageHeightMm = 297;  /* the page */
    double marginMm[4] = {0, 0, 0, 0};             /* left, top, right, bottom unprintable */
    int dpiX = 300, dpiY = 300;                    /* resolution, dots per inch */
};

/*
 * printDestinations --
 *	Every printer: the CUPS destinations (asked afresh, so that a changed
 *	env(CUPS_SERVER) counts), then the file printer, whose file is
 *	env(TESK_PRINT_FILE) or the fixed default "tesk-print.ps" in the
 *	current folder, and which is the default when no destination is.
 */
std::vector<PrintDest> printDestinations(Tcl_Interp *interp);

/*
 * printDestCapabilities --
 *	Fills dest's media, page, margins and resolution from CUPS (the file
 *	printer: A4, 300 dpi, no margins; no media: A4).
 */
void printDestCapabilities(PrintDest *dest);

/* The printable area of dest in printer pixels (HORZRES, VERTRES), each
 * at least 1. */
void printableSize(const PrintDest &dest, int *width, int *height);

#endif /* TESK_DEVICES_PRINT_PRINTDEST_H */
