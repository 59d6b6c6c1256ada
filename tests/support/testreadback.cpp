/*
 * testreadback.cpp --
 *
 *	"tesktest readback": what the screen shows in a window, as colours,
 *	so that tests can check rendered pixels at any depth of the X server.
 *
 *	tesktest readback WINDOW ?X Y WIDTH HEIGHT?
 *	        the window's area (default: all of it) read with XGetImage and
 *	        its pixels looked up in the window's colormap; answers a list
 *	        of rows, each a list of {r g b} (0..255); drawing still
 *	        pending (exposures, idle redraws) is finished first
 */
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdint>
#include <map>
#include <vector>
#include <tcl.h>
#include <tk.h>

namespace {

int noteXError(ClientData data, XErrorEvent *)
{
    *static_cast<int *>(data) = 1;
    return 0;
}

int fail(Tcl_Interp *interp, const char *text)
{
    Tcl_SetObjResult(interp, Tcl_NewStringObj(text, -1));
    return TCL_ERROR;
}

/* The image of an area of a window; NULL when the server refuses it (an
 * area not on the screen, a window not viewable). */
XImage *grabArea(Display *display, Window window, int x, int y, int width, int height)
{
    int failed = 0;
    Tk_ErrorHandler handler = Tk_CreateErrorHandler(display, -1, -1, -1, noteXError, &failed);
    XImage *image = XGetImage(display, window, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height),
                              AllPlanes, ZPixmap);
    XSync(display, False);
    Tk_DeleteErrorHandler(handler);
    if (failed && image != nullptr) {
        XDestroyImage(image);
        image = nullptr;
    }
    return image;
}

/* Lets the window finish drawing: the server's answers to what was sent
 * (exposures of a window just mapped) are fetched and handled, with the
 * idle redraws they schedule, until nothing more arrives. */
void settle(Display *display)
{
    for (int round = 0; round < 3; round++) {
        XSync(display, False);
        while (Tcl_DoOneEvent(TCL_DONT_WAIT | TCL_WINDOW_EVENTS | TCL_FILE_EVENTS | TCL_IDLE_EVENTS)) {
        }
    }
}

bool samePixels(const XImage *a, const XImage *b)
{
    for (int row = 0; row < a->height; row++) {
        for (int column = 0; column < a->width; column++) {
            if (XGetPixel(const_cast<XImage *>(a), column, row) != XGetPixel(const_cast<XImage *>(b), column, row)) {
                return false;
            }
        }
    }
    return true;
}

/* The area once two grabs some milliseconds apart agree: on a loaded
 * machine a window can still be catching up with its own drawing. */
XImage *stableArea(Display *display, Window window, int x, int y, int width, int height)
{
    XImage *image = grabArea(display, window, x, y, width, height);
    for (int tries = 0; image != nullptr && tries < 20; tries++) {
        Tcl_Sleep(10);
        settle(display);
        XImage *again = grabArea(display, window, x, y, width, height);
        if (again == nullptr) {
            XDestroyImage(image);
            return nullptr;
        }
        bool same = samePixels(image, again);
        XDestroyImage(image);
        image = again;
        if (same) {
            break;
        }
    }
    return image;
}

}  // namespace

int testreadbackCmd(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != 3 && objc != 7) {
        Tcl_WrongNumArgs(interp, 2, objv, "window ?x y width height?");
        return TCL_ERROR;
    }
    if (tkStubsPtr == nullptr) {
        return fail(interp, "tesktest readback needs Tk");
    }
    Tk_Window mainWindow = Tk_MainWindow(interp);
    if (mainWindow == nullptr) {
        return TCL_ERROR;
    }
    settle(Tk_Display(mainWindow));
    Tk_Window tkwin = Tk_NameToWindow(interp, Tcl_GetString(objv[2]), Tk_MainWindow(interp));
    if (tkwin == nullptr) {
        return TCL_ERROR;
    }
    int area[4] = {0, 0, Tk_Width(tkwin), Tk_Height(tkwin)};
    if (objc == 7) {
        for (int i = 0; i < 4; i++) {
            if (Tcl_GetIntFromObj(interp, objv[3 + i], &area[i]) != TCL_OK) {
                return TCL_ERROR;
            }
        }
    }
    const int x = area[0], y = area[1], width = area[2], height = area[3];
    if (width < 1 || height < 1 || x < 0 || y < 0 || x > Tk_Width(tkwin) - width || y > Tk_Height(tkwin) - height) {
        return fail(interp, "area outside the window");
    }
    Display *display = Tk_Display(tkwin);
    Window window = Tk_WindowId(tkwin);
    XWindowAttributes attributes;
    if (window == None || !Tk_IsMapped(tkwin) || !XGetWindowAttributes(display, window, &attributes) ||
        attributes.map_state != IsViewable) {
        return fail(interp, "window not viewable");
    }
    XImage *image = stableArea(display, window, x, y, width, height);
    if (image == nullptr) {
        return fail(interp, "XGetImage failed");
    }

    /* Look every distinct pixel up once. */
    std::map<unsigned long, XColor> colours;
    for (int row = 0; row < height; row++) {
        for (int column = 0; column < width; column++) {
            colours.emplace(XGetPixel(image, column, row), XColor{});
        }
    }
    std::vector<XColor> query;
    query.reserve(colours.size());
    for (const auto &entry : colours) {
        XColor colour{};
        colour.pixel = entry.first;
        colour.flags = DoRed | DoGreen | DoBlue;
        query.push_back(colour);
    }
    int failed = 0;
    Tk_ErrorHandler handler = Tk_CreateErrorHandler(display, -1, -1, -1, noteXError, &failed);
    XQueryColors(display, Tk_Colormap(tkwin), query.data(), static_cast<int>(query.size()));
    XSync(display, False);
    Tk_DeleteErrorHandler(handler);
    if (failed) {
        XDestroyImage(image);
        return fail(interp, "XQueryColors failed");
    }
    for (const XColor &colour : query) {
        colours[colour.pixel] = colour;
    }

    Tcl_Obj *rows = Tcl_NewListObj(0, nullptr);
    for (int row = 0; row < height; row++) {
        Tcl_Obj *line = Tcl_NewListObj(0, nullptr);
        for (int column = 0; column < width; column++) {
            const XColor &colour = colours[XGetPixel(image, column, row)];
            Tcl_Obj *rgb[] = {Tcl_NewIntObj(colour.red >> 8), Tcl_NewIntObj(colour.green >> 8),
                              Tcl_NewIntObj(colour.blue >> 8)};
            Tcl_ListObjAppendElement(nullptr, line, Tcl_NewListObj(3, rgb));
        }
        Tcl_ListObjAppendElement(nullptr, rows, line);
    }
    XDestroyImage(image);
    Tcl_SetObjResult(interp, rows);
    return TCL_OK;
}
