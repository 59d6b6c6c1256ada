/*
 * postscript.cpp --
 *
 *	The canvas as Encapsulated PostScript.
 */
#include "canvas/canvasint.h"

int gcanvasPostscriptCmd(Tcl_Interp *interp, GcanvasWidget *, int, Tcl_Obj *const objv[])
{
    Tcl_AppendResult(interp, Tcl_GetString(objv[0]), " ", Tcl_GetString(objv[1]), " is not available in this build", nullptr);
    return TCL_ERROR;
}

