/*
 * rimagecanvas.cpp --
 *
 *	rimage canvas: a Tk canvas or a gcanvas rendered off screen into a
 *	RAM image or onto the clipboard.
 */
#include "analysis/rimage.h"

#include <climits>
#include <cstring>
#include "display/canvascapture.h"
#include "display/clipboard.h"
#include "display/picture.h"
#include "imagestore/ramimage.h"

/*
 * rimageCanvas --
 *	rimage canvas canvasId rimgTag ?x0 y0 width height? ?coordType?
 *	Renders the region (default: the whole window; coordType 0, the
 *	default, in window coordinates, else in canvas coordinates) into the
 *	memory image rimgTag (made or rewritten; a new image gets a script
 *	open) and answers the tag, or puts it on the clipboard when rimgTag is
 *	"clipboard" and answers nothing.
 */
int rimageCanvas(ImageDesc *, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 4 && argc != 8 && argc != 9) {
        Tcl_AppendResult(interp, argv[0], " ", argv[1], " canvasId rimgTag [x0 y0 width height] [coordType].\n",
                         nullptr);
        return TCL_ERROR;
    }
    CanvasInfo info;
    if (getCanvasInfo(interp, argv[2], &info) != TCL_OK) {
        return TCL_ERROR;
    }
    Tcl_ResetResult(interp);
    int x = 0, y = 0, width = info.width, height = info.height, coordType = 0;
    if (argc >= 8 &&
        (Tcl_GetInt(interp, argv[4], &x) != TCL_OK || Tcl_GetInt(interp, argv[5], &y) != TCL_OK ||
         Tcl_GetInt(interp, argv[6], &width) != TCL_OK || Tcl_GetInt(interp, argv[7], &height) != TCL_OK)) {
        return TCL_ERROR;
    }
    if (argc == 9 && Tcl_GetInt(interp, argv[8], &coordType) != TCL_OK) {
        return TCL_ERROR;
    }
    /* One pixel more on the top and left: the picture is the area from
     * (1, 1) of the pixmap. */
    if (x == INT_MIN || y == INT_MIN || width == INT_MAX || height == INT_MAX) {
        Tcl_SetResult(interp, const_cast<char *>("Invalid region."), TCL_STATIC);
        return TCL_ERROR;
    }
    Pixmap pixmap = canvasToPixmap(interp, None, 0, 0, &info, x - 1, y - 1, width + 1, height + 1, coordType);
    if (pixmap == None) {
        return TCL_ERROR;
    }
    Display *display = Tk_Display(info.tkwin);
    const char *tag = argv[3];
    int code = TCL_OK;
    if (std::strcmp(tag, "clipboard") == 0) {
        if (!putDrawableOnClipboard(info.tkwin, pixmap, 1, 1, width, height)) {
            Tcl_SetResult(interp, const_cast<char *>("Error in putting the picture on the clipboard.\n"), TCL_STATIC);
            code = TCL_ERROR;
        }
    } else {
        code = rimageFromDrawable(interp, info.tkwin, pixmap, Tk_Colormap(info.tkwin), 1, 1, width, height, tag);
    }
    Tk_FreePixmap(display, pixmap);
    return code;
}
