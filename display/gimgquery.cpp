/*
 * gimgquery.cpp --
 *
 *	The pixel-value queries of a gimg image: pixels, lines, profiles, sections, histograms, statistics.
 */
#include "display/gimg.h"

int gimgPixelCmd(GimgMaster *, Tcl_Interp *interp, int, const char **argv)
{
    Tcl_AppendResult(interp, argv[0], " ", argv[1], " is not available in this build", nullptr);
    return TCL_ERROR;
}

int gimgLineCmd(GimgMaster *, Tcl_Interp *interp, int, const char **argv)
{
    Tcl_AppendResult(interp, argv[0], " ", argv[1], " is not available in this build", nullptr);
    return TCL_ERROR;
}

int gimgProfileCmd(GimgMaster *, Tcl_Interp *interp, int, const char **argv)
{
    Tcl_AppendResult(interp, argv[0], " ", argv[1], " is not available in this build", nullptr);
    return TCL_ERROR;
}

int gimgSectionCmd(GimgMaster *, Tcl_Interp *interp, int, const char **argv)
{
    Tcl_AppendResult(interp, argv[0], " ", argv[1], " is not available in this build", nullptr);
    return TCL_ERROR;
}

int gimgHistCmd(GimgMaster *, Tcl_Interp *interp, int, const char **argv)
{
    Tcl_AppendResult(interp, argv[0], " ", argv[1], " is not available in this build", nullptr);
    return TCL_ERROR;
}

int gimgStatsCmd(GimgMaster *, Tcl_Interp *interp, int, const char **argv)
{
    Tcl_AppendResult(interp, argv[0], " ", argv[1], " is not available in this build", nullptr);
    return TCL_ERROR;
}

