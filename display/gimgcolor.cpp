/*
 * gimgcolor.cpp --
 *
 *	The colour-table words of a gimg image: lookup tables, palette entries, display ranges, single pixels.
 */
#include "display/gimg.h"

int gimgGetLookupCmd(GimgMaster *, Tcl_Interp *interp, int, const char **argv)
{
    Tcl_AppendResult(interp, argv[0], " ", argv[1], " is not available in this build", nullptr);
    return TCL_ERROR;
}

int gimgSetLookupCmd(GimgMaster *, Tcl_Interp *interp, int, const char **argv)
{
    Tcl_AppendResult(interp, argv[0], " ", argv[1], " is not available in this build", nullptr);
    return TCL_ERROR;
}

int gimgGetIndicesCmd(GimgMaster *, Tcl_Interp *interp, int, const char **argv)
{
    Tcl_AppendResult(interp, argv[0], " ", argv[1], " is not available in this build", nullptr);
    return TCL_ERROR;
}

int gimgSetIndicesCmd(GimgMaster *, Tcl_Interp *interp, int, const char **argv)
{
    Tcl_AppendResult(interp, argv[0], " ", argv[1], " is not available in this build", nullptr);
    return TCL_ERROR;
}

int gimgSetRangeCmd(GimgMaster *, Tcl_Interp *interp, int, const char **argv)
{
    Tcl_AppendResult(interp, argv[0], " ", argv[1], " is not available in this build", nullptr);
    return TCL_ERROR;
}

int gimgSetPixelCmd(GimgMaster *, Tcl_Interp *interp, int, const char **argv)
{
    Tcl_AppendResult(interp, argv[0], " ", argv[1], " is not available in this build", nullptr);
    return TCL_ERROR;
}

