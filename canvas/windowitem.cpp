/*
 * windowitem.cpp --
 *
 *	The window item of the geo canvas: a Tk widget placed at a world
 *	point, its size never scaled by the world transform, its anchor
 *	following the directions of the world axes; and the "canvas"
 *	geometry manager that keeps such widgets where their items say. The
 *	type asks to be redrawn always, since its widget moves whenever the
 *	canvas scrolls.
 */
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <X11/Xutil.h>
#include "canvas/canvasint.h"
#include "canvas/coords.h"
#include "canvas/itemopts.h"
#include "canvas/postscript.h"
#include "display/xtrap.h"
#include "tesk.h"

namespace {

/* The largest width or height a window is given: X sizes are 16-bit. */
constexpr int kMaxWindowSide = 32767;

struct WindowItem {
    GcanvasItem header;
    double x, y;           /* the point, world units */
    Tk_Window tkwin;       /* the managed window, or NULL (none, or destroyed) */
    int width, height;     /* -width, -height in pixels; 0 or less: the requested size */
    Tk_Anchor anchor;      /* which point of the window lies at the item's point */
    GcanvasWidget *canvas; /* the owner, for the geometry manager's calls */
};

WindowItem *asWindow(GcanvasItem *item)
{
    return reinterpret_cast<WindowItem *>(item);
}

#define WI_OPT(field) Tk_Offset(WindowItem, field)
Tk_ConfigSpec configSpecs[] = {
    {TK_CONFIG_ANCHOR, "-anchor", nullptr, nullptr, "center", WI_OPT(anchor), TK_CONFIG_DONT_SET_DEFAULT, nullptr},
    {TK_CONFIG_PIXELS, "-height", nullptr, nullptr, "0", WI_OPT(height), TK_CONFIG_DONT_SET_DEFAULT, nullptr},
    {TK_CONFIG_CUSTOM, "-state", nullptr, nullptr, nullptr, WI_OPT(header.state), TK_CONFIG_NULL_OK,
     &gcanvasItemStateOption},
    {TK_CONFIG_CUSTOM, "-tags", nullptr, nullptr, nullptr, 0, TK_CONFIG_NULL_OK,
     const_cast<Tk_CustomOption *>(&gcanvasTagsOption)},
    {TK_CONFIG_PIXELS, "-width", nullptr, nullptr, "0", WI_OPT(width), TK_CONFIG_DONT_SET_DEFAULT, nullptr},
    {TK_CONFIG_WINDOW, "-window", nullptr, nullptr, nullptr, WI_OPT(tkwin), TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_END, nullptr, nullptr, nullptr, nullptr, 0, 0, nullptr},
};
#undef WI_OPT

void winItemGeomRequest(ClientData clientData, Tk_Window tkwin);
void winItemLostSlave(ClientData clientData, Tk_Window tkwin);

const Tk_GeomMgr canvasGeomType = {"canvas", winItemGeomRequest, winItemLostSlave};

/* Takes the window off the screen: unmapped when the canvas is its
 * parent, else no longer kept in place beside the canvas. */
void hideWindow(WindowItem *w)
{
    Tk_Window canvasWin = w->canvas->tkwin;
    if (canvasWin == nullptr || Tk_Parent(w->tkwin) == canvasWin) {
        Tk_UnmapWindow(w->tkwin);
    } else {
        Tk_UnmaintainGeometry(w->tkwin, canvasWin);
    }
}

void winItemStructure(ClientData clientData, XEvent *event)
{
    if (event->type == DestroyNotify) {
        static_cast<WindowItem *>(clientData)->tkwin = nullptr;
    }
}

/* Lets the window go: no structure handler, no geometry manager, no
 * longer kept beside the canvas, unmapped. */
void releaseWindow(WindowItem *w, Tk_Window tkwin)
{
    Tk_DeleteEventHandler(tkwin, StructureNotifyMask, winItemStructure, w);
    Tk_ManageGeometry(tkwin, nullptr, nullptr);
    Tk_Window canvasWin = w->canvas->tkwin;
    if (canvasWin != nullptr && Tk_Parent(tkwin) != canvasWin) {
        Tk_UnmaintainGeometry(tkwin, canvasWin);
    }
    Tk_UnmapWindow(tkwin);
}

/* Whether the canvas may manage tkwin: the canvas is its parent or lies
 * below its parent with no top-level window between, and it is neither a
 * top-level window nor the canvas itself. */
bool usableWindow(Tk_Window canvasWin, Tk_Window tkwin)
{
    if (Tk_TopWinHierarchy(tkwin) || tkwin == canvasWin) {
        return false;
    }
    Tk_Window parent = Tk_Parent(tkwin);
    for (Tk_Window ancestor = canvasWin; ancestor != nullptr; ancestor = Tk_Parent(ancestor)) {
        if (ancestor == parent) {
            return true;
        }
        if (Tk_TopWinHierarchy(ancestor)) {
            return false;
        }
    }
    return false;
}

/* ---- the box ---- */

/* The left (or top) edge of a window of size s whose point lies at c:
 * where the anchor puts the point along one axis (-1 the low side in
 * window terms: west or north, 0 the middle, 1 the high side), the
 * sides swapped when the world axis runs the other way (scale < 0). */
double anchoredEdge(int c, int s, int side, double scale)
{
    if (side == 0) {
        return static_cast<double>(c) - s / 2;
    }
    bool high = side > 0 ? scale > 0 : scale < 0;
    return high ? static_cast<double>(c) - s : c;
}

void windowBbox(GcanvasWidget *canvas, GcanvasItem *item)
{
    WindowItem *w = asWindow(item);
    gcanvasMarkIndexStale(canvas);
    int x = roundToInt(static_cast<float>(w->x * canvas->mx - canvas->xOffset));
    int y = roundToInt(static_cast<float>(w->y * canvas->my - canvas->yOffset));
    item->xPad = item->yPad = 0;
    if (w->tkwin == nullptr || gcanvasItemHidden(canvas, item)) {
        item->x1 = x;
        item->y1 = y;
        item->x2 = x + 1.0;
        item->y2 = y + 1.0;
        return;
    }
    int width = w->width > 0 ? w->width : Tk_ReqWidth(w->tkwin);
    int height = w->height > 0 ? w->height : Tk_ReqHeight(w->tkwin);
    width = width > 0 ? width : 1;
    height = height > 0 ? height : 1;
    int sideX = 0, sideY = 0;
    switch (w->anchor) {
    case TK_ANCHOR_N: sideY = -1; break;
    case TK_ANCHOR_NE: sideX = 1, sideY = -1; break;
    case TK_ANCHOR_E: sideX = 1; break;
    case TK_ANCHOR_SE: sideX = 1, sideY = 1; break;
    case TK_ANCHOR_S: sideY = 1; break;
    case TK_ANCHOR_SW: sideX = -1, sideY = 1; break;
    case TK_ANCHOR_W: sideX = -1; break;
    case TK_ANCHOR_NW: sideX = -1, sideY = -1; break;
    default: break;
    }
    item->x1 = anchoredEdge(x, width, sideX, canvas->mx);
    item->y1 = anchoredEdge(y, height, sideY, canvas->my);
    item->x2 = item->x1 + width;
    item->y2 = item->y1 + height;
}

/* ---- display ---- */

/* Places the window where its box lies in the canvas window, or takes
 * it off the screen while the box lies wholly outside. */
void placeWindow(WindowItem *w)
{
    GcanvasWidget *canvas = w->canvas;
    Tk_Window canvasWin = canvas->tkwin;
    if (w->tkwin == nullptr || canvasWin == nullptr) {
        return;
    }
    if (gcanvasItemHidden(canvas, &w->header)) {
        hideWindow(w);
        return;
    }
    const GcanvasItem &h = w->header;
    int x = gcanvasDrawableCoord(canvas->xOrigin, h.x1);
    int y = gcanvasDrawableCoord(canvas->yOrigin, h.y1);
    /* no wider or higher than the X protocol's sizes (and x + width in int) */
    int width = std::clamp(roundToInt(h.x2 - h.x1), 1, kMaxWindowSide);
    int height = std::clamp(roundToInt(h.y2 - h.y1), 1, kMaxWindowSide);
    if (x + width <= 0 || y + height <= 0 || x >= Tk_Width(canvasWin) || y >= Tk_Height(canvasWin)) {
        hideWindow(w);
        return;
    }
    if (Tk_Parent(w->tkwin) == canvasWin) {
        if (x != Tk_X(w->tkwin) || y != Tk_Y(w->tkwin) || width != Tk_Width(w->tkwin) ||
            height != Tk_Height(w->tkwin)) {
            Tk_MoveResizeWindow(w->tkwin, x, y, width, height);
        }
        Tk_MapWindow(w->tkwin);
    } else {
        Tk_MaintainGeometry(w->tkwin, canvasWin, x, y, width, height);
    }
}

void windowDisplay(GcanvasWidget *, GcanvasItem *item, Display *, Drawable drawable, int, int, int, int)
{
    WindowItem *w = asWindow(item);
    if (w->tkwin == nullptr) {
        return;
    }
    /* No drawable: the canvas was unmapped, its windows go with it. */
    if (drawable == None) {
        hideWindow(w);
        return;
    }
    placeWindow(w);
}

/* ---- the geometry manager ---- */

void winItemGeomRequest(ClientData clientData, Tk_Window)
{
    WindowItem *w = static_cast<WindowItem *>(clientData);
    windowBbox(w->canvas, &w->header);
    placeWindow(w);
}

void winItemLostSlave(ClientData clientData, Tk_Window tkwin)
{
    WindowItem *w = static_cast<WindowItem *>(clientData);
    Tk_DeleteEventHandler(tkwin, StructureNotifyMask, winItemStructure, w);
    Tk_Window canvasWin = w->canvas->tkwin;
    if (canvasWin != nullptr && Tk_Parent(tkwin) != canvasWin) {
        Tk_UnmaintainGeometry(tkwin, canvasWin);
    }
    Tk_UnmapWindow(tkwin);
    w->tkwin = nullptr;
}

/* ---- create, configure, coordinates, delete ---- */

int windowConfigure(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int objc, Tcl_Obj *const objv[],
                    int flags)
{
    WindowItem *w = asWindow(item);
    Tk_Window old = w->tkwin;
    int code = gcanvasConfigureRecord(interp, canvas, configSpecs, w, objc, objv, flags);
    if (code == TCL_OK && w->tkwin != old) {
        if (old != nullptr) {
            releaseWindow(w, old);
        }
        if (w->tkwin != nullptr) {
            if (!usableWindow(canvas->tkwin, w->tkwin)) {
                Tcl_ResetResult(interp);
                Tcl_AppendResult(interp, "can't use ", Tk_PathName(w->tkwin), " in a window item of this canvas",
                                 nullptr);
                w->tkwin = nullptr;
                code = TCL_ERROR;
            } else {
                Tk_CreateEventHandler(w->tkwin, StructureNotifyMask, winItemStructure, w);
                Tk_ManageGeometry(w->tkwin, &canvasGeomType, w);
            }
        }
    } else if (code != TCL_OK && w->tkwin != old) {
        /* A later option failed after -window was read: keep the old. */
        w->tkwin = old;
    }
    if (w->tkwin != nullptr && gcanvasItemHidden(canvas, item)) {
        hideWindow(w);
    }
    windowBbox(canvas, item);
    return code;
}

int windowCoords(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int objc, Tcl_Obj *const objv[])
{
    WindowItem *w = asWindow(item);
    if (objc == 0) {
        Tcl_Obj *xy[] = {Tcl_NewDoubleObj(gcanvasPlainZero(w->x)), Tcl_NewDoubleObj(gcanvasPlainZero(w->y))};
        Tcl_SetObjResult(interp, Tcl_NewListObj(2, xy));
        return TCL_OK;
    }
    if (gcanvasReadPointCoords(interp, canvas, objc, objv, &w->x, &w->y) != TCL_OK) {
        return TCL_ERROR;
    }
    windowBbox(canvas, item);
    return TCL_OK;
}

void windowDelete(GcanvasWidget *, GcanvasItem *item, Display *)
{
    WindowItem *w = asWindow(item);
    if (w->tkwin != nullptr) {
        releaseWindow(w, w->tkwin);
        w->tkwin = nullptr;
    }
}

int windowCreate(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int objc, Tcl_Obj *const objv[])
{
    WindowItem *w = asWindow(item);
    int coords = gcanvasPointCoordWords(interp, canvas, item, objc, objv);
    if (coords < 0) {
        return TCL_ERROR;
    }
    /* The header and the rest are zeroed by the canvas. */
    w->tkwin = nullptr;
    w->anchor = TK_ANCHOR_CENTER;
    w->canvas = canvas;
    if (windowCoords(interp, canvas, item, coords, objv) != TCL_OK ||
        windowConfigure(interp, canvas, item, objc - coords, objv + coords, 0) != TCL_OK) {
        windowDelete(canvas, item, canvas->display);
        return TCL_ERROR;
    }
    return TCL_OK;
}

/* ---- point, area ---- */

double windowToPoint(GcanvasWidget *, GcanvasItem *item, double *point)
{
    double dx = point[0] < item->x1 ? item->x1 - point[0] : point[0] >= item->x2 ? point[0] + 1 - item->x2 : 0;
    double dy = point[1] < item->y1 ? item->y1 - point[1] : point[1] >= item->y2 ? point[1] + 1 - item->y2 : 0;
    return std::hypot(dx, dy);
}

int windowToArea(GcanvasWidget *, GcanvasItem *item, double *rect)
{
    if (rect[2] <= item->x1 || rect[0] >= item->x2 || rect[3] <= item->y1 || rect[1] >= item->y2) {
        return -1;
    }
    if (rect[0] <= item->x1 && rect[1] <= item->y1 && rect[2] >= item->x2 && rect[3] >= item->y2) {
        return 1;
    }
    return 0;
}

/* ---- scale, translate ---- */

void windowScale(GcanvasWidget *canvas, GcanvasItem *item, double originX, double originY, double scaleX,
                 double scaleY)
{
    WindowItem *w = asWindow(item);
    w->x = (w->x - originX) * scaleX + originX;
    w->y = (w->y - originY) * scaleY + originY;
    if (w->width > 0) {
        w->width = gcanvasTruncToInt(w->width * scaleX);
    }
    if (w->height > 0) {
        w->height = gcanvasTruncToInt(w->height * scaleY);
    }
    windowBbox(canvas, item);
}

void windowTranslate(GcanvasWidget *canvas, GcanvasItem *item, double dx, double dy)
{
    WindowItem *w = asWindow(item);
    w->x += dx;
    w->y += dy;
    windowBbox(canvas, item);
}

int windowExtent(GcanvasItem *item, double *box)
{
    WindowItem *w = asWindow(item);
    box[0] = box[2] = w->x;
    box[1] = box[3] = w->y;
    return 1;
}

/* ---- PostScript ---- */

/* The window's own PostScript ("PATH postscript -prolog 0"), the
 * interpreter's result kept aside meanwhile; TCL_OK with the text in
 * *out, else TCL_ERROR (the widget has none). */
int widgetPostscript(Tcl_Interp *interp, Tk_Window tkwin, Tcl_Obj **out)
{
    Tcl_Obj *words[] = {Tcl_NewStringObj(Tk_PathName(tkwin), -1), Tcl_NewStringObj("postscript", -1),
                        Tcl_NewStringObj("-prolog", -1), Tcl_NewStringObj("0", -1)};
    for (Tcl_Obj *word : words) {
        Tcl_IncrRefCount(word);
    }
    Tcl_InterpState saved = Tcl_SaveInterpState(interp, TCL_OK);
    int code = Tcl_EvalObjv(interp, 4, words, TCL_EVAL_GLOBAL);
    *out = Tcl_GetObjResult(interp);
    Tcl_IncrRefCount(*out);
    Tcl_RestoreInterpState(interp, saved);
    for (Tcl_Obj *word : words) {
        Tcl_DecrRefCount(word);
    }
    if (code != TCL_OK) {
        Tcl_DecrRefCount(*out);
        *out = nullptr;
    }
    return code;
}

/* The window's pixels as PostScript image bands; nothing (and TCL_OK)
 * when the server cannot give them (an unmapped window). */
int windowPixels(Tcl_Interp *interp, GcanvasWidget *canvas, Tk_Window tkwin, int width, int height)
{
    GcanvasPsInfo *ps = gcanvasPsState(canvas);
    if (ps == nullptr || Tk_WindowId(tkwin) == None) {
        return TCL_OK;
    }
    XImage *image;
    {
        XErrorTrap trap(Tk_Display(tkwin));
        image = XGetImage(Tk_Display(tkwin), Tk_WindowId(tkwin), 0, 0, static_cast<unsigned>(width),
                          static_cast<unsigned>(height), AllPlanes, ZPixmap);
        if (trap.failed() && image != nullptr) {
            XDestroyImage(image);
            image = nullptr;
        }
    }
    if (image == nullptr) {
        return TCL_OK;
    }
    int code = gcanvasPsImage(interp, tkwin, ps, image, 0, 0, width, height);
    XDestroyImage(image);
    return code;
}

int windowToPostscript(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int prepass)
{
    WindowItem *w = asWindow(item);
    Tk_Window tkwin = w->tkwin;
    if (prepass || tkwin == nullptr) {
        return TCL_OK;
    }
    int width = Tk_Width(tkwin), height = Tk_Height(tkwin);
    /* The window's top-left corner is the box's, whatever the anchor and
     * the signs of the scales; PostScript wants the bottom-left. */
    double x = item->x1, y = gcanvasPsY(canvas, item->y1) - height;
    char text[400];
    std::snprintf(text, sizeof text, ", %d x %d)\n%.15g %.15g translate\n", width, height, x, y);
    const char *className = Tk_Class(tkwin) != nullptr ? Tk_Class(tkwin) : "";
    Tcl_AppendResult(interp, "\n%% ", className, " item (", Tk_PathName(tkwin), text, nullptr);

    int id = item->id;
    Tcl_Obj *own = nullptr;
    if (widgetPostscript(interp, tkwin, &own) == TCL_OK) {
        std::snprintf(text, sizeof text,
                      "50 dict begin\nsave\ngsave\n0 %d moveto %d 0 rlineto 0 -%d rlineto -%d 0 rlineto closepath\n"
                      "1.000 1.000 1.000 setrgbcolor AdjustColor\nfill\ngrestore\n",
                      height, width, height, width);
        Tcl_AppendResult(interp, text, Tcl_GetString(own), "\nrestore\nend\n\n\n", nullptr);
        Tcl_DecrRefCount(own);
        return TCL_OK;
    }
    /* The script may have deleted the item, its window or the canvas. */
    if (canvas->tkwin == nullptr || gcanvasItemById(canvas, id) != item || w->tkwin != tkwin) {
        return TCL_OK;
    }
    return windowPixels(interp, canvas, tkwin, width, height);
}

GcanvasItemType makeType()
{
    GcanvasItemType t;
    std::memset(&t, 0, sizeof t);
    t.name = "window";
    t.itemSize = sizeof(WindowItem);
    t.createProc = windowCreate;
    t.configSpecs = configSpecs;
    t.configProc = windowConfigure;
    t.coordProc = windowCoords;
    t.deleteProc = windowDelete;
    t.displayProc = windowDisplay;
    t.alwaysRedraw = GCANVAS_TYPE_USES_OBJS | GCANVAS_TYPE_ALWAYS_REDRAW;
    t.pointProc = windowToPoint;
    t.areaProc = windowToArea;
    t.postscriptProc = windowToPostscript;
    t.scaleProc = windowScale;
    t.translateProc = windowTranslate;
    t.extentProc = windowExtent;
    t.bboxProc = windowBbox;
    return t;
}

}  // namespace

GcanvasItemType gcanvasWindowType = makeType();
