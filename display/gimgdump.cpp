/*
 * gimgdump.cpp --
 *
 *	The dump of what a gimg view shows into an image file or a Tk photo.
 */
#include "display/gimg.h"

int gimgDumpCmd(GimgMaster *, Tcl_Interp *interp, int, const char **argv)
{
    Tcl_AppendResult(interp, argv[0], " ", argv[1], " is not available in this build", nullptr);
    return TCL_ERROR;
}

