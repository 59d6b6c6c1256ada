/*
 * canvascapture.cpp --
 *
 *	Off-screen rendering of Tk canvases (through Tk's own canvas record,
 *	tkCanvas.h) and of gcanvases (through the canvas link): see
 *	canvascapture.h.
 */
#include "display/canvascapture.h"

#include <X11/Xlib.h>
#include <X11/Xproto.h>

#include <algorithm>
#include <cstring>
#include <string>
#include "display/canvaslink.h"
#include "display/xtrap.h"
#include "runtime/startup.h"
#include "tkInt.h"
#include "tkCanvas.h"

namespace {

/* The X protocol's limit for a pixmap's width and height. */
constexpr int kMaxPixmapSide = 32767;

/* Extra pixels on the right and bottom of a new pixmap, as Tk's canvas
 * redisplay keeps around the area it draws. */
constexpr int kPixmapMargin = 30;

/*
 * The command procedure of Tk's canvas widgets, learnt once from a canvas
 * made for the purpose and destroyed at once (Tk keeps the procedure
 * private). Lets a window that merely calls its class "Canvas" be told
 * from a real canvas. NULL when no canvas could be made.
 */
Tcl_ObjCmdProc *tkCanvasWidgetProc(Tcl_Interp *interp)
{
    static Tcl_ObjCmdProc *proc = nullptr;
    if (proc != nullptr) {
        return proc;
    }
    Tk_Window main = teskMainWindowOf(interp);
    if (main == nullptr) {
        return nullptr;
    }
    Tcl_InterpState saved = Tcl_SaveInterpState(interp, TCL_OK);
    std::string path =
        std::string(Tk_PathName(main)) + (std::strcmp(Tk_PathName(main), ".") == 0 ? "" : ".") + "teskCanvasProbe";
    Tcl_Obj *words[2] = {Tcl_NewStringObj("canvas", -1), Tcl_NewStringObj(path.c_str(), -1)};
    for (Tcl_Obj *word : words) {
        Tcl_IncrRefCount(word);
    }
    if (Tk_NameToWindow(interp, path.c_str(), main) == nullptr &&
        Tcl_EvalObjv(interp, 2, words, TCL_EVAL_GLOBAL) == TCL_OK) {
        Tcl_CmdInfo info;
        if (Tcl_GetCommandInfo(interp, path.c_str(), &info) && info.isNativeObjectProc) {
            proc = info.objProc;
        }
        if (Tk_Window probe = Tk_NameToWindow(interp, path.c_str(), main)) {
            Tk_DestroyWindow(probe);
        }
    }
    for (Tcl_Obj *word : words) {
        Tcl_DecrRefCount(word);
    }
    Tcl_RestoreInterpState(interp, saved);
    return proc;
}

/* A region corner kept far enough inside int's range that sums with item
 * coordinates and margins cannot overflow. */
int64_t clampToInt(int64_t value)
{
    return std::clamp<int64_t>(value, INT32_MIN / 2, INT32_MAX / 2);
}

/* Tk's redisplay skips an item hidden by its own state or, when its state
 * is unset, by the canvas's. */
bool tkItemHidden(const TkCanvas *canvas, const Tk_Item *item)
{
    return item->state == TK_STATE_HIDDEN || (item->state == TK_STATE_NULL && canvas->canvas_state == TK_STATE_HIDDEN);
}

/* A cleared pixmap of the canvas window's depth, or None with the message
 * in the result. */
Pixmap newCanvasPixmap(Tcl_Interp *interp, const CanvasInfo *info, GC background, int width, int height)
{
    Tk_Window tkwin = info->tkwin;
    Display *display = Tk_Display(tkwin);
    Pixmap pixmap = None;
    int pixWidth = 0, pixHeight = 0;
    if (width >= 1 && height >= 1 && width <= kMaxPixmapSide - kPixmapMargin &&
        height <= kMaxPixmapSide - kPixmapMargin) {
        pixWidth = width + kPixmapMargin;
        pixHeight = height + kPixmapMargin;
        Tk_MakeWindowExist(tkwin);
        /* A pixmap the server has no memory for is refused with BadAlloc,
         * which would otherwise end the process: wait for the answer. */
        XErrorTrap trap(display, X_CreatePixmap);
        pixmap = Tk_GetPixmap(display, Tk_WindowId(tkwin), pixWidth, pixHeight, Tk_Depth(tkwin));
        if (trap.failed()) {
            pixmap = None;
        }
    }
    if (pixmap == None) {
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("Error in create pixmap: width %d height %d\n", width, height));
        return None;
    }
    if (background == nullptr) {
        Tk_FreePixmap(display, pixmap);
        Tcl_SetObjResult(interp, Tcl_NewStringObj("No pixmapGC", -1));
        return None;
    }
    XFillRectangle(display, pixmap, background, 0, 0, static_cast<unsigned>(pixWidth),
                   static_cast<unsigned>(pixHeight));
    return pixmap;
}

/* Draws the visible items of a Tk canvas that overlap the canvas region
 * (x, y)-(right, bottom) into pixmap, whose top-left pixel shows (x, y). */
void drawTkCanvasRegion(TkCanvas *canvas, Pixmap pixmap, int x, int y, int right, int bottom)
{
    int savedX = canvas->drawableXOrigin, savedY = canvas->drawableYOrigin;
    canvas->drawableXOrigin = x;
    canvas->drawableYOrigin = y;
    for (Tk_Item *item = canvas->firstItemPtr; item != nullptr; item = item->nextPtr) {
        if (item->x1 < right && x < item->x2 && item->y1 < bottom && y < item->y2 && !tkItemHidden(canvas, item)) {
            item->typePtr->displayProc(reinterpret_cast<Tk_Canvas>(canvas), item, canvas->display, pixmap, x, y,
                                       right - x, bottom - y);
        }
    }
    canvas->drawableXOrigin = savedX;
    canvas->drawableYOrigin = savedY;
}

}  // namespace

int getCanvasInfo(Tcl_Interp *interp, const char *path, CanvasInfo *info)
{
    Tk_Window main = teskMainWindowOf(interp);
    Tk_Window tkwin = main != nullptr && path != nullptr ? Tk_NameToWindow(interp, path, main) : nullptr;
    Tcl_ResetResult(interp);
    const char *className = tkwin != nullptr ? Tk_Class(tkwin) : nullptr;
    int kind = className == nullptr                     ? 0
               : std::strcmp(className, "Canvas") == 0  ? CANVAS_KIND_TK
               : std::strcmp(className, "Gcanvas") == 0 ? CANVAS_KIND_GCANVAS
                                                        : 0;
    if (kind == 0) {
        Tcl_SetResult(interp, const_cast<char *>("Not a canvas widget"), TCL_STATIC);
        return TCL_ERROR;
    }
    ClientData widget = nullptr;
    if (kind == CANVAS_KIND_TK) {
        Tcl_CmdInfo cmd;
        Tcl_ObjCmdProc *canvasProc = tkCanvasWidgetProc(interp);
        if (canvasProc != nullptr && Tcl_GetCommandInfo(interp, path, &cmd) && cmd.objProc == canvasProc &&
            static_cast<TkCanvas *>(cmd.objClientData)->tkwin == tkwin) {
            widget = cmd.objClientData;
        }
    } else if (teskCanvasLink.fromPath != nullptr) {
        widget = teskCanvasLink.fromPath(interp, path);
    }
    if (widget == nullptr) {
        Tcl_SetResult(interp, const_cast<char *>("Error in getting canvas info.\n"), TCL_STATIC);
        return TCL_ERROR;
    }
    info->kind = kind;
    info->width = Tk_Width(tkwin);
    info->height = Tk_Height(tkwin);
    info->widget = widget;
    info->tkwin = tkwin;
    return TCL_OK;
}

Pixmap canvasToPixmap(Tcl_Interp *interp, Pixmap pixmap, int dx, int dy, const CanvasInfo *info, int x, int y,
                      int width, int height, int coordType)
{
    auto *tkCanvas = info->kind == CANVAS_KIND_TK ? static_cast<TkCanvas *>(info->widget) : nullptr;
    auto *gcanvas = info->kind == CANVAS_KIND_GCANVAS ? static_cast<GcanvasWidget *>(info->widget) : nullptr;
    if (tkCanvas == nullptr && (gcanvas == nullptr || teskCanvasLink.drawRegion == nullptr)) {
        Tcl_SetResult(interp, const_cast<char *>("Not a canvas widget"), TCL_STATIC);
        return None;
    }
    if (pixmap == None) {
        GC background = tkCanvas != nullptr ? tkCanvas->pixmapGC : teskCanvasLink.backgroundGC(gcanvas);
        pixmap = newCanvasPixmap(interp, info, background, width, height);
        if (pixmap == None) {
            return None;
        }
    }
    int64_t left = x, top = y;
    if (coordType == 0) {
        int xOrigin = 0, yOrigin = 0;
        if (tkCanvas != nullptr) {
            xOrigin = tkCanvas->xOrigin;
            yOrigin = tkCanvas->yOrigin;
        } else {
            teskCanvasLink.viewOrigin(gcanvas, &xOrigin, &yOrigin);
        }
        left += xOrigin;
        top += yOrigin;
    }
    /* Corners far outside int's range show nothing: they are clamped. */
    int64_t right = clampToInt(left + std::max(width, 0)), bottom = clampToInt(top + std::max(height, 0));
    left = clampToInt(left);
    top = clampToInt(top);
    if (tkCanvas != nullptr) {
        drawTkCanvasRegion(tkCanvas, pixmap, static_cast<int>(left), static_cast<int>(top), static_cast<int>(right),
                           static_cast<int>(bottom));
    } else {
        teskCanvasLink.drawRegion(gcanvas, pixmap, static_cast<int>(left), static_cast<int>(top),
                                  static_cast<int>(right - left), static_cast<int>(bottom - top), dx, dy);
    }
    return pixmap;
}

int canvasItemsBBox(const CanvasInfo *info, int *x0, int *y0, int *x1, int *y1)
{
    *x0 = *y0 = *x1 = *y1 = 0;
    if (info->kind == CANVAS_KIND_GCANVAS) {
        auto *gcanvas = static_cast<const GcanvasWidget *>(info->widget);
        return teskCanvasLink.itemsBBox != nullptr && teskCanvasLink.itemsBBox(gcanvas, x0, y0, x1, y1) ? 1 : 0;
    }
    auto *canvas = static_cast<const TkCanvas *>(info->widget);
    bool any = false;
    int box[4] = {0, 0, 0, 0};
    for (const Tk_Item *item = canvas->firstItemPtr; item != nullptr; item = item->nextPtr) {
        if (item->x1 >= item->x2 || item->y1 >= item->y2) {
            continue;
        }
        if (!any) {
            box[0] = item->x1, box[1] = item->y1, box[2] = item->x2, box[3] = item->y2;
            any = true;
        } else {
            box[0] = std::min(box[0], item->x1);
            box[1] = std::min(box[1], item->y1);
            box[2] = std::max(box[2], item->x2);
            box[3] = std::max(box[3], item->y2);
        }
    }
    if (!any) {
        return 0;
    }
    *x0 = box[0] - canvas->xOrigin;
    *y0 = box[1] - canvas->yOrigin;
    *x1 = box[2] - canvas->xOrigin;
    *y1 = box[3] - canvas->yOrigin;
    return 1;
}
