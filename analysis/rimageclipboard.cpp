/*
 * rimageclipboard.cpp --
 *
 *	rimage clipboard: the picture on the clipboard read into a memory
 *	image, cropped back onto the clipboard, measured or given up.
 */
#include "analysis/rimage.h"

#include <X11/Xlib.h>
#include <X11/Xproto.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "display/clipboard.h"
#include "display/picture.h"
#include "display/xtrap.h"
#include "imagestore/ramimage.h"
#include "runtime/startup.h"
#include "tesk_stdio.h"

namespace {

/* Prints the entries of the clipboard colormap (at most 256) to standard
 * error as "i: N r: R g: G b: B". */
void printClipboardPalette(Tk_Window tkwin)
{
    Display *display = Tk_Display(tkwin);
    Colormap colormap = createClipboardColormap(tkwin);
    Visual *visual = Tk_Depth(tkwin) <= 8 ? DefaultVisualOfScreen(Tk_Screen(tkwin)) : Tk_Visual(tkwin);
    int count = std::clamp(visual->map_entries, 1, 256);
    std::vector<XColor> colours(count);
    if (!queryColormapEntries(display, colormap, colours.data(), count)) {
        return;
    }
    for (int i = 0; i < count; i++) {
        tesk_fprintf(stderr, "i: %d r: %d g: %d b: %d\n", i, colours[i].red >> 8, colours[i].green >> 8,
                     colours[i].blue >> 8);
    }
}

}  // namespace

/*
 * rimageClipboard --
 *	rimage clipboard rimgTag ?x y ?width height??
 *	rimgTag "?" answers the size of the picture on the clipboard (empty
 *	when there is none), "~" empties the clipboard, "palette" prints the
 *	clipboard palette; "clipboard" crops the picture on the clipboard to
 *	the area; any other tag becomes a memory image of the area (default:
 *	the whole picture) and is answered.
 */
int rimageClipboard(ImageDesc *, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc < 3 || argc > 7) {
        char text[256];
        std::snprintf(text, sizeof text, "Usage: %s %s rimgTag [x y width height]", argv[0], argv[1]);
        Tcl_SetResult(interp, text, TCL_VOLATILE);
        return TCL_ERROR;
    }
    Tk_Window mainWin = teskMainWindowOf(interp);
    if (mainWin == nullptr) {
        Tcl_AppendResult(interp, argv[0], " ", argv[1], " needs Tk", nullptr);
        return TCL_ERROR;
    }
    const char *tag = argv[2];
    int width = 0, height = 0;
    const bool present = getClipboardBitmapSize(mainWin, &width, &height) != 0;
    if (std::strcmp(tag, "?") == 0) {
        if (present) {
            char text[48];
            std::snprintf(text, sizeof text, "%d %d", width, height);
            Tcl_SetResult(interp, text, TCL_VOLATILE);
        }
        return TCL_OK;
    }
    if (std::strcmp(tag, "~") == 0) {
        if (present) {
            putDrawableOnClipboard(mainWin, None, 0, 0, 0, 0);
        }
        return TCL_OK;
    }
    if (std::strcmp(tag, "palette") == 0) {
        printClipboardPalette(mainWin);
        return TCL_OK;
    }
    if (!present) {
        Tcl_SetResult(interp, const_cast<char *>("Failed to get image from clipboard.\n"), TCL_STATIC);
        return TCL_ERROR;
    }
    int area[4] = {0, 0, width, height};
    for (int i = 3; i < argc; i++) {
        if (Tcl_GetInt(interp, argv[i], &area[i - 3]) != TCL_OK) {
            return TCL_ERROR;
        }
    }
    const int x = area[0], y = area[1], w = area[2], h = area[3];
    if (x < 0 || y < 0 || w < 1 || h < 1 || w > width - x || h > height - y) {
        Tcl_SetResult(interp, const_cast<char *>("Invalid bitmap range"), TCL_STATIC);
        return TCL_ERROR;
    }
    int pw = 0, ph = 0;
    Pixmap picture = pixmapFromClipboard(mainWin, &pw, &ph);
    if (picture == None || w > pw - x || h > ph - y) {
        if (picture != None) {
            Tk_FreePixmap(Tk_Display(mainWin), picture);
        }
        tesk_fprintf(stderr, "Error in copyClipboard\n");
        Tcl_SetResult(interp, const_cast<char *>("Error in copyClipboard\n"), TCL_STATIC);
        return TCL_ERROR;
    }
    Display *display = Tk_Display(mainWin);
    int code = TCL_OK;
    if (std::strcmp(tag, "clipboard") == 0) {
        Pixmap cropped = pixmapFromDrawable(mainWin, picture, x, y, w, h);
        if (cropped == None || !putDrawableOnClipboard(mainWin, cropped, 0, 0, w, h)) {
            tesk_fprintf(stderr, "error in get pixmap.\n");
            Tcl_SetResult(interp, const_cast<char *>("error in get pixmap.\n"), TCL_STATIC);
            code = TCL_ERROR;
        }
        if (cropped != None) {
            Tk_FreePixmap(display, cropped);
        }
    } else {
        code = rimageFromDrawable(interp, mainWin, picture, createClipboardColormap(mainWin), x, y, w, h, tag);
    }
    Tk_FreePixmap(display, picture);
    return code;
}
