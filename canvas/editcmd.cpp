/*
 * editcmd.cpp --
 *
 *	The editing words: focus, icursor, index, insert, dchars, select.
 */
#include "canvas/canvasint.h"

int gcanvasFocusCmd(Tcl_Interp *interp, GcanvasWidget *, int, Tcl_Obj *const objv[])
{
    Tcl_AppendResult(interp, Tcl_GetString(objv[0]), " ", Tcl_GetString(objv[1]), " is not available in this build", nullptr);
    return TCL_ERROR;
}

int gcanvasIcursorCmd(Tcl_Interp *interp, GcanvasWidget *, int, Tcl_Obj *const objv[])
{
    Tcl_AppendResult(interp, Tcl_GetString(objv[0]), " ", Tcl_GetString(objv[1]), " is not available in this build", nullptr);
    return TCL_ERROR;
}

int gcanvasIndexCmd(Tcl_Interp *interp, GcanvasWidget *, int, Tcl_Obj *const objv[])
{
    Tcl_AppendResult(interp, Tcl_GetString(objv[0]), " ", Tcl_GetString(objv[1]), " is not available in this build", nullptr);
    return TCL_ERROR;
}

int gcanvasInsertCmd(Tcl_Interp *interp, GcanvasWidget *, int, Tcl_Obj *const objv[])
{
    Tcl_AppendResult(interp, Tcl_GetString(objv[0]), " ", Tcl_GetString(objv[1]), " is not available in this build", nullptr);
    return TCL_ERROR;
}

int gcanvasDCharsCmd(Tcl_Interp *interp, GcanvasWidget *, int, Tcl_Obj *const objv[])
{
    Tcl_AppendResult(interp, Tcl_GetString(objv[0]), " ", Tcl_GetString(objv[1]), " is not available in this build", nullptr);
    return TCL_ERROR;
}

int gcanvasSelectCmd(Tcl_Interp *interp, GcanvasWidget *, int, Tcl_Obj *const objv[])
{
    Tcl_AppendResult(interp, Tcl_GetString(objv[0]), " ", Tcl_GetString(objv[1]), " is not available in this build", nullptr);
    return TCL_ERROR;
}

