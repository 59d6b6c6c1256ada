/*
 * itemopts.cpp --
 *
 *	Shared option kinds of the canvas's option tables.
 */
#include "canvas/itemopts.h"

#include <cstdio>
#include <cstring>
#include "canvas/gcanvas.h"
#include "tkInt.h"

namespace {

int pixelParse(ClientData, Tcl_Interp *interp, Tk_Window tkwin, const char *value, char *record, int offset)
{
    double mm;
    if (Tk_GetScreenMM(interp, tkwin, value, &mm) != TCL_OK) {
        return TCL_ERROR;
    }
    Screen *screen = Tk_Screen(tkwin);
    *reinterpret_cast<double *>(record + offset) =
        mm * static_cast<double>(WidthOfScreen(screen)) / WidthMMOfScreen(screen);
    return TCL_OK;
}

const char *pixelPrint(ClientData, Tk_Window, char *record, int offset, Tcl_FreeProc **freeProc)
{
    char *text = static_cast<char *>(ckalloc(TCL_DOUBLE_SPACE));
    Tcl_PrintDouble(nullptr, *reinterpret_cast<double *>(record + offset), text);
    *freeProc = TCL_DYNAMIC;
    return text;
}

int offsetParse(ClientData clientData, Tcl_Interp *interp, Tk_Window tkwin, const char *value, char *record,
                int offset)
{
    return TkOffsetParseProc(clientData, interp, tkwin, value, record, offset);
}

const char *offsetPrint(ClientData clientData, Tk_Window tkwin, char *record, int offset, Tcl_FreeProc **freeProc)
{
    return TkOffsetPrintProc(clientData, tkwin, record, offset, freeProc);
}

struct StateName {
    const char *name;
    int state;
};

const StateName kStates[] = {{"active", GCANVAS_STATE_ACTIVE},
                             {"disabled", GCANVAS_STATE_DISABLED},
                             {"hidden", GCANVAS_STATE_HIDDEN},
                             {"normal", GCANVAS_STATE_NORMAL}};

int stateParse(ClientData, Tcl_Interp *interp, Tk_Window, const char *value, char *record, int offset)
{
    int *state = reinterpret_cast<int *>(record + offset);
    size_t length = value != nullptr ? std::strlen(value) : 0;
    if (length == 0) {
        *state = GCANVAS_STATE_INHERIT;
        return TCL_OK;
    }
    for (const StateName &s : kStates) {
        if (std::strncmp(value, s.name, length) == 0) {
            *state = s.state;
            return TCL_OK;
        }
    }
    Tcl_AppendResult(interp, "bad state value \"", value, "\": must be active, disabled, hidden, or normal",
                     nullptr);
    return TCL_ERROR;
}

const char *statePrint(ClientData, Tk_Window, char *record, int offset, Tcl_FreeProc **)
{
    int state = *reinterpret_cast<int *>(record + offset);
    for (const StateName &s : kStates) {
        if (s.state == state) {
            return s.name;
        }
    }
    return "";
}

} // namespace

Tk_CustomOption gcanvasPixelOption = {pixelParse, pixelPrint, nullptr};
Tk_CustomOption gcanvasOffsetOption = {offsetParse, offsetPrint, reinterpret_cast<ClientData>(TK_OFFSET_RELATIVE)};
Tk_CustomOption gcanvasItemStateOption = {stateParse, statePrint, nullptr};

GC gcanvasGetGC(Tk_Window tkwin, unsigned long mask, XGCValues *values)
{
    Tk_MakeWindowExist(tkwin);
    return XCreateGC(Tk_Display(tkwin), Tk_WindowId(tkwin), mask, values);
}

void gcanvasFreeGC(Display *display, GC gc)
{
    if (gc != nullptr) {
        XFreeGC(display, gc);
    }
}
