/*
 * assemble.cpp --
 *
 *	Items back into shape objects, and the vertex and segment angles of items.
 */
#include "canvas/canvasint.h"

int gcanvasAssembleCmd(Tcl_Interp *interp, GcanvasWidget *, int, Tcl_Obj *const objv[])
{
    Tcl_AppendResult(interp, Tcl_GetString(objv[0]), " ", Tcl_GetString(objv[1]), " is not available in this build", nullptr);
    return TCL_ERROR;
}

int gcanvasVangleCmd(Tcl_Interp *interp, GcanvasWidget *, int, Tcl_Obj *const objv[])
{
    Tcl_AppendResult(interp, Tcl_GetString(objv[0]), " ", Tcl_GetString(objv[1]), " is not available in this build", nullptr);
    return TCL_ERROR;
}

int gcanvasLangleCmd(Tcl_Interp *interp, GcanvasWidget *, int, Tcl_Obj *const objv[])
{
    Tcl_AppendResult(interp, Tcl_GetString(objv[0]), " ", Tcl_GetString(objv[1]), " is not available in this build", nullptr);
    return TCL_ERROR;
}

