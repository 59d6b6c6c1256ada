/*
 * shapeproj.cpp --
 *
 *	The coordinate system of a shape set: its definition (projdef) and
 *	the reprojection of every point (projection).
 */
#include "geo/shapecall.h"

int shapeProjdefWord(ShapeCall &c)
{
    Tcl_AppendResult(c.interp, c.name(), " ", c.word(), " is not available in this build", nullptr);
    return TCL_ERROR;
}

int shapeProjectionWord(ShapeCall &c)
{
    return shapeProjdefWord(c);
}
