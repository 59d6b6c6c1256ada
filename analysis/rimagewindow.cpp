/*
 * rimagewindow.cpp --
 *
 *	rimage window: the screen rectangle of a Tk window, or an area of the
 *	screen copied into a memory image or onto the clipboard; and the
 *	drawable-to-memory-image step that the canvas and clipboard
 *	subcommands share with it.
 */
#include "analysis/rimage.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "display/clipboard.h"
#include "display/picture.h"
#include "imagestore/codes.h"
#include "imagestore/ramimage.h"
#include "runtime/startup.h"

namespace {

int fail(Tcl_Interp *interp, const char *text)
{
    Tcl_SetResult(interp, const_cast<char *>(text), TCL_STATIC);
    return TCL_ERROR;
}

/* The screen rectangle of a window. */
struct Rect {
    int x, y, width, height;
};

/* True when the window and every parent up to its top-level are mapped. */
bool viewable(Tk_Window tkwin)
{
    for (Tk_Window w = tkwin; w != nullptr; w = Tk_Parent(w)) {
        if (!Tk_IsMapped(w)) {
            return false;
        }
        if (Tk_IsTopLevel(w)) {
            break;
        }
    }
    return true;
}

/*
 * windowRect --
 *	The rectangle of the window named path by the option words in options (words
 *	separated by commas, blanks or '|': "frame" the top-level's frame,
 *	"rect" the window's own rectangle in root coordinates, "clip" cut to
 *	the virtual root; none means "rect"). TCL_ERROR with a message for an
 *	unknown option, a path that names no window, or a window not mapped.
 */
int windowRect(Tcl_Interp *interp, const char *path, const char *options, Rect *rect)
{
    bool frame = false;
    bool clip = false;
    std::string words = options != nullptr ? options : "";
    std::size_t at = 0;
    while (at < words.size()) {
        std::size_t end = words.find_first_of(", |", at);
        if (end == std::string::npos) {
            end = words.size();
        }
        std::string word = words.substr(at, end - at);
        at = end + 1;
        if (word.empty() || word == "rect") {
            continue;
        }
        if (word == "frame") {
            frame = true;
        } else if (word == "clip") {
            clip = true;
        } else {
            return fail(interp, "Invalide option.\n");
        }
    }
    Tk_Window tkwin = Tk_NameToWindow(interp, path, teskMainWindowOf(interp));
    if (tkwin == nullptr) {
        return fail(interp, "Invalid window path.\n");
    }
    if (!viewable(tkwin)) {
        return fail(interp, "Window is not mapped.\n");
    }
    if (frame) {
        if (!getToplevelFrameRect(tkwin, &rect->x, &rect->y, &rect->width, &rect->height)) {
            return fail(interp, "Window is not mapped.\n");
        }
    } else {
        Tk_GetRootCoords(tkwin, &rect->x, &rect->y);
        rect->width = Tk_Width(tkwin);
        rect->height = Tk_Height(tkwin);
    }
    if (clip) {
        int vx, vy, vw, vh;
        Tk_GetVRootGeometry(tkwin, &vx, &vy, &vw, &vh);
        int right = std::min(rect->x + rect->width, vw);
        int bottom = std::min(rect->y + rect->height, vh);
        rect->x = std::max(rect->x, 0);
        rect->y = std::max(rect->y, 0);
        rect->width = std::max(right - rect->x, 0);
        rect->height = std::max(bottom - rect->y, 0);
    }
    return TCL_OK;
}

}  // namespace

/*
 * rimageWindow --
 *	rimage window winPath ?options?    the window's rectangle "x y w h"
 *	rimage window rimgTag ?area?       the screen area (a window path, or
 *	                                   "x y width height"; default the
 *	                                   whole virtual root) as the memory
 *	                                   image rimgTag, or on the clipboard
 *	                                   when rimgTag is "clipboard"
 */
int rimageWindow(ImageDesc *, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 3 && argc != 4) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " ", argv[1], " imgID [x0 y0 width height]", nullptr);
        return TCL_ERROR;
    }
    Tk_Window mainWin = teskMainWindowOf(interp);
    if (mainWin == nullptr) {
        Tcl_AppendResult(interp, argv[0], " ", argv[1], " needs Tk", nullptr);
        return TCL_ERROR;
    }
    const char *target = argv[2];
    Rect rect{};
    if (target[0] == '.') {
        if (windowRect(interp, target, argc == 4 ? argv[3] : nullptr, &rect) != TCL_OK) {
            return TCL_ERROR;
        }
        char text[64];
        std::snprintf(text, sizeof text, "%d %d %d %d", rect.x, rect.y, rect.width, rect.height);
        Tcl_SetResult(interp, text, TCL_VOLATILE);
        return TCL_OK;
    }

    const bool toClipboard = std::strcmp(target, "clipboard") == 0;
    RamImage *old = toClipboard ? nullptr : ramImageFindByTag(target);
    if (old != nullptr && !isMemoryImgId(old->desc.imgid)) {
        return fail(interp, "rimage must be memory resident");
    }
    if (old != nullptr && (old->attr & RAMIMG_LOCKED)) {
        return fail(interp, "can't update a system rimage");
    }
    int vx, vy, vw, vh;
    Tk_GetVRootGeometry(mainWin, &vx, &vy, &vw, &vh);
    rect = Rect{0, 0, vw, vh};
    if (argc == 4) {
        if (argv[3][0] == '.') {
            /* measured as "rect|clip": a window partly off the screen
             * gives its visible part */
            if (windowRect(interp, argv[3], "rect|clip", &rect) != TCL_OK) {
                return TCL_ERROR;
            }
        } else {
            char extra = 0;
            if (std::sscanf(argv[3], "%d %d %d %d %c", &rect.x, &rect.y, &rect.width, &rect.height, &extra) != 4) {
                return fail(interp, "Invalid region.");
            }
        }
    }
    if (rect.x < 0 || rect.y < 0 || rect.width < 1 || rect.height < 1 || rect.width > vw - rect.x ||
        rect.height > vh - rect.y) {
        return fail(interp, "Window is out of limits.\n");
    }
    Window root = RootWindowOfScreen(Tk_Screen(mainWin));
    if (toClipboard) {
        Pixmap pixmap = pixmapFromDrawable(mainWin, root, rect.x, rect.y, rect.width, rect.height);
        if (pixmap == None) {
            return fail(interp, "error in get pixmap.\n");
        }
        int done = putDrawableOnClipboard(mainWin, pixmap, 0, 0, rect.width, rect.height);
        Tk_FreePixmap(Tk_Display(mainWin), pixmap);
        return done ? TCL_OK : fail(interp, "error in get pixmap.\n");
    }
    return rimageFromDrawable(interp, mainWin, root, Tk_Colormap(mainWin), rect.x, rect.y, rect.width, rect.height,
                              target);
}

int rimageFromDrawable(Tcl_Interp *interp, Tk_Window tkwin, Drawable source, Colormap colormap, int x, int y,
                       int width, int height, const char *tag)
{
    return drawableToTag(interp, tkwin, source, colormap, x, y, width, height, tag, "Error in rimgDrawable...\n");
}
