/*
 * idoption.h --
 *
 *	Tk custom options whose values are named codes (map ids, image types,
 *	pixel types, image functions, enhancement functions, ranges, rotation
 *	orders) or small structured values (file names, descriptions, band
 *	combinations, palette level counts). ParseID and GetIDStr are exported
 *	(<tesk.h>) for the option tables of C modules.
 */
#ifndef TESK_DISPLAY_IDOPTION_H
#define TESK_DISPLAY_IDOPTION_H

#include <cstdint>
#include <tk.h>
#include "tesk.h"

/* One kind of ID-valued option: its name (for messages) and its lookups;
 * the structured kinds have only the name. */
struct IdOptionKind {
    const char *name;
    int (*fromName)(const char *name); /* -1 when the name is not listed */
    const char *(*toName)(int code);   /* "UNKNOWN" for codes not listed */
};

/* The custom options, each with its kind as client data. */
extern Tk_CustomOption rotationIdOption, imgdesOption, mapIdOption, imgIdOption, imgTypeOption, pixelIdOption,
    funcIdOption, rangeIdOption, fileOption, paletteOption, combOption;

/* A -comb value as combOption stores it (count, then three 1-based band
 * numbers, 0 for none) against the bands of the image it is to show:
 * TCL_OK when each number is at most bands, else TCL_ERROR with "Invalid
 * value: 9/9/9 for comb" in interp. The one rule of every widget and image
 * type that shows bands by -comb. */
int combBandsCheck(Tcl_Interp *interp, const int32_t *comb, int bands);

int funcIdFromName(const char *name);
const char *funcIdToName(int code);
int rangeIdFromName(const char *name);
const char *rangeIdToName(int code);
int rotationIdFromName(const char *name);
const char *rotationIdToName(int code);

#endif /* TESK_DISPLAY_IDOPTION_H */
