/*
 * gimgtype.cpp --
 *
 *	The gimg Tk image type: registration and the master registry. Until the
 *	image type is built, registration succeeds with no images.
 */
#include "display/gimg.h"

int gimgTypeInit(Tcl_Interp *)
{
    return TCL_OK;
}

void gimgAppendNames(Tcl_Interp *)
{
}
