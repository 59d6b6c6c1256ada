/*
 * gimgview.cpp --
 *
 *	The view words of a gimg image: views onto other images, zoom, quarter turns, capture.
 */
#include "display/gimg.h"

int gimgCopyCmd(GimgMaster *, Tcl_Interp *interp, int, const char **argv)
{
    Tcl_AppendResult(interp, argv[0], " ", argv[1], " is not available in this build", nullptr);
    return TCL_ERROR;
}

int gimgCopySubCmd(GimgMaster *, Tcl_Interp *interp, int, const char **argv)
{
    Tcl_AppendResult(interp, argv[0], " ", argv[1], " is not available in this build", nullptr);
    return TCL_ERROR;
}

int gimgCaptureCmd(GimgMaster *, Tcl_Interp *interp, int, const char **argv)
{
    Tcl_AppendResult(interp, argv[0], " ", argv[1], " is not available in this build", nullptr);
    return TCL_ERROR;
}

int gimgEnhanceCmd(GimgMaster *, Tcl_Interp *interp, int, const char **argv)
{
    Tcl_AppendResult(interp, argv[0], " ", argv[1], " is not available in this build", nullptr);
    return TCL_ERROR;
}

int gimgMagnifyCmd(GimgMaster *, Tcl_Interp *interp, int, const char **argv)
{
    Tcl_AppendResult(interp, argv[0], " ", argv[1], " is not available in this build", nullptr);
    return TCL_ERROR;
}

int gimgRotateCmd(GimgMaster *, Tcl_Interp *interp, int, const char **argv)
{
    Tcl_AppendResult(interp, argv[0], " ", argv[1], " is not available in this build", nullptr);
    return TCL_ERROR;
}

int gimgGraphCmd(GimgMaster *, Tcl_Interp *interp, int, const char **argv)
{
    Tcl_AppendResult(interp, argv[0], " ", argv[1], " is not available in this build", nullptr);
    return TCL_ERROR;
}

int gimgMakePixmapCmd(GimgMaster *, Tcl_Interp *interp, int, const char **argv)
{
    Tcl_AppendResult(interp, argv[0], " ", argv[1], " is not available in this build", nullptr);
    return TCL_ERROR;
}

int gimgResidentCmd(GimgMaster *, Tcl_Interp *interp, int, const char **argv)
{
    Tcl_AppendResult(interp, argv[0], " ", argv[1], " is not available in this build", nullptr);
    return TCL_ERROR;
}

