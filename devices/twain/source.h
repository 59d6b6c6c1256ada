/*
 * source.h --
 *
 *	What the sources of the built-in TWAIN manager share: the scan dialog
 *	.teskScan (a field per option, values in the array teskScan, Scan and
 *	Close buttons) and packed device-independent bitmaps.
 */
#ifndef TESK_DEVICES_TWAIN_SOURCE_H
#define TESK_DEVICES_TWAIN_SOURCE_H

#include <string>
#include <utility>
#include <vector>
#include <tcl.h>
#include "devices/twain/twain.h"

/* Shows .teskScan with a field per {key, value} (the values put into the
 * array teskScan); false when Tk refused (a background error). */
bool scanDialogShow(Tcl_Interp *interp, const std::vector<std::pair<std::string, std::string>> &fields);
void scanDialogHide(Tcl_Interp *interp);
/* Reads and clears the dialog's Scan and Close presses. */
void scanDialogPoll(Tcl_Interp *interp, bool *scan, bool *close);
/* The field of key as the user left it ("" when there is none). */
std::string scanDialogField(Tcl_Interp *interp, const char *key);

/*
 * dibNew --
 *	A zeroed packed bitmap of width x height pixels of bits (1, 8 or 24)
 *	with a grey colour table for 1 and 8 bits (1 bit: index 0 white when
 *	blackIsOne, else black); *rows gets the first stored (bottom) row and
 *	*stride the bytes of a row. NULL when memory runs out.
 */
TeskDib *dibNew(int width, int height, int bits, bool blackIsOne, unsigned char **rows, std::size_t *stride);

#endif /* TESK_DEVICES_TWAIN_SOURCE_H */
