/*
 * rimagedraw.cpp --
 *
 *	rimage draw: a polyline or a filled polygon written with one value into
 *	one band of an image.
 */
#include "analysis/rimage.h"

#include <cstring>
#include "display/banddraw.h"
#include "display/mask.h"
#include "display/spanlist.h"
#include "imagestore/ramimage.h"

namespace {

/* An integer word within low .. high into *value; false otherwise. */
bool intInRange(const char *word, int low, int high, int *value)
{
    return Tcl_GetInt(nullptr, word, value) == TCL_OK && *value >= low && *value <= high;
}

}  // namespace

/*
 * rimageDraw --
 *	rimage draw imgID graphID coordList ?value? ?band?
 *	graphID "line" draws the segments between consecutive points (four
 *	numbers or more), "polygon" fills the closed polygon (six or more);
 *	value 0..255 (default 0) goes into band 1..nbands (default 1). The
 *	result is empty.
 */
int rimageDraw(ImageDesc *, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc < 5 || argc > 7) {
        Tcl_SetObjResult(interp,
                         Tcl_ObjPrintf("Usage: %s %s imgID graphID coordList ?value? ?band?\n", argv[0], argv[1]));
        return TCL_ERROR;
    }
    int error = RAMIMG_OK;
    RamImage *image = ramImageOpen(argv[2], argv[2], nullptr, nullptr, &error);
    if (image == nullptr) {
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("Error in open: %s\n", argv[2]));
        return TCL_ERROR;
    }
    bool line = std::strcmp(argv[3], "line") == 0;
    int value = 0, band = 1;
    SpanList *points = nullptr;
    if (!line && std::strcmp(argv[3], "polygon") != 0) {
        Tcl_SetResult(interp, const_cast<char *>("Unknown graphic id\n"), TCL_STATIC);
    } else if (argc > 5 && !intInRange(argv[5], 0, 255, &value)) {
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("Invalid color value: %s\n", argv[5]));
    } else if (argc > 6 && !intInRange(argv[6], 1, image->desc.nbands, &band)) {
        Tcl_SetResult(interp, const_cast<char *>("Invalid band number.\n"), TCL_STATIC);
    } else {
        points = parsePolygonList(interp, argv[4], line ? 4 : 6);
    }
    if (points != nullptr) {
        if (line) {
            ramImageDrawPolyline(image, band - 1, value, points);
        } else if (ramImageFillPolygon(image, band - 1, value, points) < 0) {
            Tcl_SetResult(interp, const_cast<char *>("Error in rimage draw: out of memory.\n"), TCL_STATIC);
            polyFreeList(points);
            points = nullptr;
        }
    }
    ramImageRelease(image, nullptr);
    if (points == nullptr) {
        return TCL_ERROR;
    }
    polyFreeList(points);
    return TCL_OK;
}
