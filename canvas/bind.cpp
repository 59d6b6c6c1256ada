/*
 * bind.cpp --
 *
 *	The current item, event bindings on items and tags, and keyboard focus.
 */
#include "canvas/canvasint.h"

int gcanvasBindCmd(Tcl_Interp *interp, GcanvasWidget *, int, Tcl_Obj *const objv[])
{
    Tcl_AppendResult(interp, Tcl_GetString(objv[0]), " ", Tcl_GetString(objv[1]), " is not available in this build", nullptr);
    return TCL_ERROR;
}

