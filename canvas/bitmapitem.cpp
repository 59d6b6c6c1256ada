/*
 * bitmapitem.cpp --
 *
 *	The bitmap item of the geo canvas: a two-colour Tk bitmap anchored at
 *	a world point. The point and the anchor offset go through the world
 *	transform; the bitmap keeps its pixel size. Registered as the
 *	"bitmap" row of the type list. Also the box hit tests that the image
 *	item shares (canvasint.h).
 */
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include "canvas/canvasint.h"
#include "canvas/coords.h"
#include "canvas/itemopts.h"
#include "canvas/outline.h"
#include "canvas/postscript.h"
#include "canvas/textgeom.h"

namespace {

struct BitmapItem {
    GcanvasItem header;
    double x, y; /* the point, world units */
    Tk_Anchor anchor;
    Pixmap bitmap, activeBitmap, disabledBitmap; /* None: none */
    XColor *fgColor, *activeFgColor, *disabledFgColor;
    XColor *bgColor, *activeBgColor, *disabledBgColor; /* NULL: transparent */
    GC gc;                                             /* NULL until one is made */
    Pixmap gcMask; /* the clip mask gc was made with: None when it draws a background */
};

BitmapItem *asBitmap(GcanvasItem *item)
{
    return reinterpret_cast<BitmapItem *>(item);
}

Pixmap chosenBitmap(const GcanvasWidget *canvas, const BitmapItem *b)
{
    return gcanvasChosen<Pixmap>(canvas, &b->header, b->bitmap, b->activeBitmap, b->disabledBitmap, None);
}

XColor *chosenFg(const GcanvasWidget *canvas, const BitmapItem *b)
{
    return gcanvasChosen<XColor *>(canvas, &b->header, b->fgColor, b->activeFgColor, b->disabledFgColor, nullptr);
}

XColor *chosenBg(const GcanvasWidget *canvas, const BitmapItem *b)
{
    return gcanvasChosen<XColor *>(canvas, &b->header, b->bgColor, b->activeBgColor, b->disabledBgColor, nullptr);
}

/*
 * The box: the world point cut toward zero, less the anchor offset in
 * world units (so that it scales with the world), through the transform;
 * a negative scale puts the bitmap on the other side of that point. A
 * hidden item, or one without a bitmap, has the transformed point.
 */
void bitmapBbox(GcanvasWidget *canvas, GcanvasItem *item)
{
    BitmapItem *b = asBitmap(item);
    gcanvasMarkIndexStale(canvas);
    double X = std::trunc(b->x), Y = std::trunc(b->y);
    Pixmap bitmap = chosenBitmap(canvas, b);
    int w = 0, h = 0;
    if (bitmap != None && !gcanvasItemHidden(canvas, item)) {
        Tk_SizeOfBitmap(canvas->display, bitmap, &w, &h);
        int dx, dy;
        gcanvasTextAnchorOffset(b->anchor, w, h, &dx, &dy);
        X += dx;
        Y += dy;
    }
    double cx = std::trunc(X * canvas->mx - canvas->xOffset), cy = std::trunc(Y * canvas->my - canvas->yOffset);
    if (canvas->mx < 0) {
        cx -= w;
    }
    if (canvas->my < 0) {
        cy -= h;
    }
    item->x1 = cx;
    item->y1 = cy;
    item->x2 = cx + w;
    item->y2 = cy + h;
    item->xPad = item->yPad = 0;
}

int bitmapConfigure(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int objc, Tcl_Obj *const objv[],
                    int flags)
{
    BitmapItem *b = asBitmap(item);
    if (gcanvasConfigureRecord(interp, canvas, item->type->configSpecs, b, objc, objv, flags) != TCL_OK) {
        return TCL_ERROR;
    }
    if (b->activeFgColor != nullptr || b->activeBgColor != nullptr || b->activeBitmap != None) {
        item->redrawFlags |= GCANVAS_ITEM_STATE_DEPENDANT;
    } else {
        item->redrawFlags &= ~GCANVAS_ITEM_STATE_DEPENDANT;
    }
    /* Hidden or disabled, the item keeps the GC it had (none when it
     * never had one); Display draws nothing without one. */
    int state = gcanvasItemState(canvas, item);
    Pixmap bitmap = chosenBitmap(canvas, b);
    XColor *fg = chosenFg(canvas, b);
    if (state != GCANVAS_STATE_HIDDEN && state != GCANVAS_STATE_DISABLED && bitmap != None && fg != nullptr) {
        /* Copies into the canvas's pixmaps never need exposure events:
         * without this, each copy would queue a NoExpose event. */
        XGCValues values;
        values.foreground = fg->pixel;
        values.graphics_exposures = False;
        unsigned long mask = GCForeground | GCGraphicsExposures;
        b->gcMask = None;
        if (XColor *bg = chosenBg(canvas, b)) {
            values.background = bg->pixel;
            mask |= GCBackground;
        } else {
            b->gcMask = bitmap;
            values.clip_mask = bitmap;
            mask |= GCClipMask;
        }
        GC gc = gcanvasGetGC(canvas->tkwin, mask, &values);
        gcanvasFreeGC(canvas->display, b->gc);
        b->gc = gc;
    }
    bitmapBbox(canvas, item);
    return TCL_OK;
}

int bitmapCoords(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int objc, Tcl_Obj *const objv[])
{
    BitmapItem *b = asBitmap(item);
    if (objc == 0) {
        Tcl_Obj *xy[] = {Tcl_NewDoubleObj(gcanvasPlainZero(b->x)), Tcl_NewDoubleObj(gcanvasPlainZero(b->y))};
        Tcl_SetObjResult(interp, Tcl_NewListObj(2, xy));
        return TCL_OK;
    }
    if (gcanvasReadPointCoords(interp, canvas, objc, objv, &b->x, &b->y) != TCL_OK) {
        return TCL_ERROR;
    }
    bitmapBbox(canvas, item);
    return TCL_OK;
}

void bitmapDelete(GcanvasWidget *, GcanvasItem *item, Display *display)
{
    BitmapItem *b = asBitmap(item);
    Tk_FreeOptions(item->type->configSpecs, reinterpret_cast<char *>(b), display, 0);
    gcanvasFreeGC(display, b->gc);
    b->gc = nullptr;
}

int bitmapCreate(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int objc, Tcl_Obj *const objv[])
{
    BitmapItem *b = asBitmap(item);
    int coords = gcanvasPointCoordWords(interp, canvas, item, objc, objv);
    if (coords < 0) {
        return TCL_ERROR;
    }
    /* The record is zeroed by the canvas: no bitmaps, colours or GC. */
    b->anchor = TK_ANCHOR_CENTER;
    b->bitmap = b->activeBitmap = b->disabledBitmap = None;
    if (bitmapCoords(interp, canvas, item, coords, objv) != TCL_OK ||
        bitmapConfigure(interp, canvas, item, objc - coords, objv + coords, 0) != TCL_OK) {
        bitmapDelete(canvas, item, canvas->display);
        return TCL_ERROR;
    }
    return TCL_OK;
}

/* Copies the part of the box inside the area (x, y, width, height) being
 * redrawn, the bitmap's clip mask laid at the box's corner. A GC without
 * a background draws the bitmap in use through that bitmap's own shape,
 * whichever bitmap it was made with (the GC kept while disabled). */
void bitmapDisplay(GcanvasWidget *canvas, GcanvasItem *item, Display *display, Drawable drawable, int x, int y,
                   int width, int height)
{
    BitmapItem *b = asBitmap(item);
    Pixmap bitmap = chosenBitmap(canvas, b);
    if (bitmap == None || b->gc == nullptr || drawable == None) {
        return;
    }
    double left = std::max<double>(item->x1, x), top = std::max<double>(item->y1, y);
    double right = std::min<double>(item->x2, x + width), bottom = std::min<double>(item->y2, y + height);
    if (right <= left || bottom <= top) {
        return;
    }
    /* The GC may be shared with other items: what is changed is put back. */
    bool otherMask = b->gcMask != None && b->gcMask != bitmap;
    if (otherMask) {
        XSetClipMask(display, b->gc, bitmap);
    }
    XSetClipOrigin(display, b->gc, gcanvasDrawableCoord(canvas->drawableXOrigin, item->x1),
                   gcanvasDrawableCoord(canvas->drawableYOrigin, item->y1));
    XCopyPlane(display, bitmap, drawable, b->gc, static_cast<int>(left - item->x1), static_cast<int>(top - item->y1),
               static_cast<unsigned>(right - left), static_cast<unsigned>(bottom - top),
               gcanvasDrawableCoord(canvas->drawableXOrigin, left), gcanvasDrawableCoord(canvas->drawableYOrigin, top),
               1);
    XSetClipOrigin(display, b->gc, 0, 0);
    if (otherMask) {
        XSetClipMask(display, b->gc, b->gcMask);
    }
}

void bitmapScale(GcanvasWidget *canvas, GcanvasItem *item, double originX, double originY, double scaleX, double scaleY)
{
    BitmapItem *b = asBitmap(item);
    b->x = (b->x - originX) * scaleX + originX;
    b->y = (b->y - originY) * scaleY + originY;
    bitmapBbox(canvas, item);
}

void bitmapTranslate(GcanvasWidget *canvas, GcanvasItem *item, double dx, double dy)
{
    BitmapItem *b = asBitmap(item);
    b->x += dx;
    b->y += dy;
    bitmapBbox(canvas, item);
}

int bitmapExtent(GcanvasItem *item, double *box)
{
    BitmapItem *b = asBitmap(item);
    box[0] = box[2] = b->x;
    box[1] = box[3] = b->y;
    return 1;
}

double bitmapToPoint(GcanvasWidget *, GcanvasItem *item, double *point)
{
    return gcanvasBoxToPoint(item, point);
}

int bitmapToArea(GcanvasWidget *, GcanvasItem *item, double *rect)
{
    return gcanvasBoxToArea(item, rect);
}

/* The background as a filled rectangle, then the bitmap as image masks in
 * bands of rows, placed from the box: its bottom-left corner in
 * PostScript. */
int bitmapToPostscript(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int prepass)
{
    BitmapItem *b = asBitmap(item);
    Pixmap bitmap = chosenBitmap(canvas, b);
    if (bitmap == None) {
        return TCL_OK;
    }
    int w, h;
    Tk_SizeOfBitmap(canvas->display, bitmap, &w, &h);
    if (prepass || w <= 0 || h <= 0) {
        return TCL_OK;
    }
    if (w > 60000) {
        Tcl_ResetResult(interp);
        Tcl_AppendResult(interp, "can't generate Postscript", " for bitmaps more than 60000 pixels wide", nullptr);
        return TCL_ERROR;
    }
    double x = item->x1, bottom = gcanvasPsY(canvas, item->y2), top = gcanvasPsY(canvas, item->y1);
    char buffer[200];
    if (XColor *bg = chosenBg(canvas, b)) {
        std::snprintf(buffer, sizeof buffer, "%.15g %.15g moveto %d 0 rlineto 0 %d rlineto %d %s\n", x, bottom, w, h,
                      -w, "0 rlineto closepath");
        Tcl_AppendResult(interp, buffer, nullptr);
        if (gcanvasPsColor(interp, canvas, bg) != TCL_OK) {
            return TCL_ERROR;
        }
        Tcl_AppendResult(interp, "fill\n", nullptr);
    }
    if (gcanvasPsColor(interp, canvas, chosenFg(canvas, b)) != TCL_OK) {
        return TCL_ERROR;
    }
    std::snprintf(buffer, sizeof buffer, "%.15g %.15g translate\n", x, top);
    Tcl_AppendResult(interp, buffer, nullptr);
    int rowsAtOnce = std::max(1, 60000 / w);
    for (int row = 0; row < h; row += rowsAtOnce) {
        int rows = std::min(rowsAtOnce, h - row);
        std::snprintf(buffer, sizeof buffer, "0 -%.15g translate\n%d %d true matrix {\n", double(rows), w, rows);
        Tcl_AppendResult(interp, buffer, nullptr);
        if (gcanvasPsBitmap(interp, canvas, bitmap, 0, row, w, rows) != TCL_OK) {
            return TCL_ERROR;
        }
        Tcl_AppendResult(interp, "\n} imagemask\n", nullptr);
    }
    return TCL_OK;
}

#define BM_OPT(field) Tk_Offset(BitmapItem, field)
Tk_ConfigSpec bitmapSpecs[] = {
    {TK_CONFIG_COLOR, "-activebackground", nullptr, nullptr, nullptr, BM_OPT(activeBgColor), TK_CONFIG_NULL_OK,
     nullptr},
    {TK_CONFIG_BITMAP, "-activebitmap", nullptr, nullptr, nullptr, BM_OPT(activeBitmap), TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_COLOR, "-activeforeground", nullptr, nullptr, nullptr, BM_OPT(activeFgColor), TK_CONFIG_NULL_OK,
     nullptr},
    {TK_CONFIG_ANCHOR, "-anchor", nullptr, nullptr, "center", BM_OPT(anchor), TK_CONFIG_DONT_SET_DEFAULT, nullptr},
    {TK_CONFIG_COLOR, "-background", nullptr, nullptr, nullptr, BM_OPT(bgColor), TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_BITMAP, "-bitmap", nullptr, nullptr, nullptr, BM_OPT(bitmap), TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_COLOR, "-disabledbackground", nullptr, nullptr, nullptr, BM_OPT(disabledBgColor), TK_CONFIG_NULL_OK,
     nullptr},
    {TK_CONFIG_BITMAP, "-disabledbitmap", nullptr, nullptr, nullptr, BM_OPT(disabledBitmap), TK_CONFIG_NULL_OK,
     nullptr},
    {TK_CONFIG_COLOR, "-disabledforeground", nullptr, nullptr, nullptr, BM_OPT(disabledFgColor), TK_CONFIG_NULL_OK,
     nullptr},
    {TK_CONFIG_COLOR, "-foreground", nullptr, nullptr, "black", BM_OPT(fgColor), 0, nullptr},
    {TK_CONFIG_CUSTOM, "-state", nullptr, nullptr, nullptr, BM_OPT(header.state), TK_CONFIG_NULL_OK,
     &gcanvasItemStateOption},
    {TK_CONFIG_CUSTOM, "-tags", nullptr, nullptr, nullptr, 0, TK_CONFIG_NULL_OK,
     const_cast<Tk_CustomOption *>(&gcanvasTagsOption)},
    {TK_CONFIG_END, nullptr, nullptr, nullptr, nullptr, 0, 0, nullptr},
};
#undef BM_OPT

GcanvasItemType makeBitmapType()
{
    GcanvasItemType t;
    std::memset(&t, 0, sizeof t);
    t.name = "bitmap";
    t.itemSize = sizeof(BitmapItem);
    t.createProc = bitmapCreate;
    t.configSpecs = bitmapSpecs;
    t.configProc = bitmapConfigure;
    t.coordProc = bitmapCoords;
    t.deleteProc = bitmapDelete;
    t.displayProc = bitmapDisplay;
    t.alwaysRedraw = GCANVAS_TYPE_USES_OBJS;
    t.pointProc = bitmapToPoint;
    t.areaProc = bitmapToArea;
    t.postscriptProc = bitmapToPostscript;
    t.scaleProc = bitmapScale;
    t.translateProc = bitmapTranslate;
    t.extentProc = bitmapExtent;
    t.bboxProc = bitmapBbox;
    return t;
}

}  // namespace

double gcanvasBoxToPoint(const GcanvasItem *item, const double *point)
{
    double dx = point[0] < item->x1 ? item->x1 - point[0] : point[0] > item->x2 ? point[0] - item->x2 : 0;
    double dy = point[1] < item->y1 ? item->y1 - point[1] : point[1] > item->y2 ? point[1] - item->y2 : 0;
    return std::hypot(dx, dy);
}

int gcanvasBoxToArea(const GcanvasItem *item, const double *rect)
{
    double x1 = std::min(rect[0], rect[2]), x2 = std::max(rect[0], rect[2]);
    double y1 = std::min(rect[1], rect[3]), y2 = std::max(rect[1], rect[3]);
    if (x2 <= item->x1 || x1 >= item->x2 || y2 <= item->y1 || y1 >= item->y2) {
        return -1;
    }
    if (x1 <= item->x1 && y1 <= item->y1 && x2 >= item->x2 && y2 >= item->y2) {
        return 1;
    }
    return 0;
}

GcanvasItemType gcanvasBitmapType = makeBitmapType();
