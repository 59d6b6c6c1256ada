/*
 * xtrap.cpp --
 *
 *	X error catching and trapped colormap reads and frees: see xtrap.h.
 */
#include "display/xtrap.h"

#include <X11/Xproto.h>

XErrorTrap::XErrorTrap(Display *display, int request) : display_(display)
{
    handler_ = Tk_CreateErrorHandler(display, -1, request, -1, note, &code_);
}

XErrorTrap::~XErrorTrap()
{
    XSync(display_, False);
    Tk_DeleteErrorHandler(handler_);
}

bool XErrorTrap::failed()
{
    return code() != 0;
}

int XErrorTrap::code()
{
    XSync(display_, False);
    return code_;
}

int XErrorTrap::note(ClientData data, XErrorEvent *event)
{
    int *code = static_cast<int *>(data);
    if (*code == 0) {
        *code = event->error_code;  // never 0: Success is no error
    }
    return 0;
}

int queryColorsTrapped(Display *display, Colormap colormap, XColor *colours, int n)
{
    if (n < 1) {
        return 0;
    }
    for (int i = 0; i < n; i++) {
        colours[i].flags = DoRed | DoGreen | DoBlue;
    }
    XErrorTrap trap(display, X_QueryColors);
    XQueryColors(display, colormap, colours, n);
    return trap.failed() ? 0 : 1;
}

int queryColormapEntries(Display *display, Colormap colormap, XColor *colours, int n)
{
    for (int i = 0; i < n; i++) {
        colours[i].pixel = static_cast<unsigned long>(i);
    }
    return queryColorsTrapped(display, colormap, colours, n);
}

void freeCells(Display *display, Colormap colormap, unsigned long *pixels, int n)
{
    Tk_ErrorHandler handler = Tk_CreateErrorHandler(display, -1, X_FreeColors, -1, nullptr, nullptr);
    XFreeColors(display, colormap, pixels, n, 0);
    Tk_DeleteErrorHandler(handler);
}
