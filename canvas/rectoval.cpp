/*
 * rectoval.cpp --
 *
 *	The rectangle and oval items of the geo canvas: two corners in world
 *	coordinates, an optional fill and an optional outline. One record, one
 *	option table and one set of procedures serve both types; the point
 *	and area tests and the measures differ.
 */
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>
#include "canvas/canvasint.h"
#include "canvas/coords.h"
#include "canvas/geometry.h"
#include "canvas/itemopts.h"
#include "canvas/outline.h"
#include "canvas/postscript.h"
#include "tkInt.h"

namespace {

struct RectOvalItem {
    GcanvasItem header;
    GcanvasOutline outline;
    double bbox[4];       /* world corners, ordered */
    Tk_TSOffset tsoffset; /* -offset: fill stipple origin */
    XColor *fillColor, *activeFillColor, *disabledFillColor;
    Pixmap fillStipple, activeFillStipple, disabledFillStipple;
    GC fillGC;
};

#define RO_OPT(field) Tk_Offset(RectOvalItem, field)

std::vector<Tk_ConfigSpec> configSpecs = gcanvasFilledShapeSpecs<RectOvalItem>({
    {TK_CONFIG_COLOR, "-fill", nullptr, nullptr, nullptr, RO_OPT(fillColor), TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_INT, "-floating", nullptr, nullptr, "0", RO_OPT(header.floating), 0, nullptr},
    {TK_CONFIG_COLOR, "-background", "background", "Background", nullptr, RO_OPT(outline.background), TK_CONFIG_NULL_OK,
     nullptr},
    {TK_CONFIG_SYNONYM, "-bg", "background", nullptr, nullptr, 0, 0, nullptr},
    {TK_CONFIG_CUSTOM, "-offset", nullptr, nullptr, "0,0", RO_OPT(tsoffset), TK_CONFIG_DONT_SET_DEFAULT,
     &gcanvasOffsetOption},
    {TK_CONFIG_COLOR, "-outline", nullptr, nullptr, "black", RO_OPT(outline.color), TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_CUSTOM, "-outlineoffset", nullptr, nullptr, "0,0", RO_OPT(outline.tsoffset), TK_CONFIG_DONT_SET_DEFAULT,
     &gcanvasOffsetOption},
    {TK_CONFIG_BITMAP, "-outlinestipple", nullptr, nullptr, nullptr, RO_OPT(outline.stipple), TK_CONFIG_NULL_OK,
     nullptr},
    {TK_CONFIG_CUSTOM, "-state", nullptr, nullptr, nullptr, RO_OPT(header.state), TK_CONFIG_NULL_OK,
     &gcanvasItemStateOption},
    {TK_CONFIG_BITMAP, "-stipple", nullptr, nullptr, nullptr, RO_OPT(fillStipple), TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_CUSTOM, "-tags", nullptr, nullptr, nullptr, 0, TK_CONFIG_NULL_OK,
     const_cast<Tk_CustomOption *>(&gcanvasTagsOption)},
    {TK_CONFIG_CUSTOM, "-width", nullptr, nullptr, "1.0", RO_OPT(outline.width), TK_CONFIG_DONT_SET_DEFAULT,
     &gcanvasPixelOption},
});

#undef RO_OPT

void orderCorners(double *b)
{
    if (b[1] > b[3]) {
        std::swap(b[1], b[3]);
    }
    if (b[0] > b[2]) {
        std::swap(b[0], b[2]);
    }
}

void rectOvalBbox(GcanvasWidget *canvas, GcanvasItem *item)
{
    auto *r = reinterpret_cast<RectOvalItem *>(item);
    gcanvasMarkIndexStale(canvas);
    if (gcanvasItemState(canvas, item) == GCANVAS_STATE_HIDDEN) {
        item->x1 = item->y1 = item->x2 = item->y2 = -1;
        return;
    }
    double width = gcanvasChosenWidth(canvas, &r->header, r->outline);
    orderCorners(r->bbox);
    float margin = r->outline.gc != nullptr ? static_cast<float>((width + 1) * 0.5) : 1.0f;
    item->xPad = item->yPad = margin;
    double c[4];
    worldRectToCanvas(canvas, r->bbox[0], r->bbox[1], r->bbox[2], r->bbox[3], c);
    item->x1 = c[0] - margin;
    item->y1 = c[1] - margin;
    item->x2 = std::max(c[2], c[0] + 1) + margin;
    item->y2 = std::max(c[3], c[1] + 1) + margin;
}

int rectOvalCoords(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int objc, Tcl_Obj *const objv[])
{
    auto *r = reinterpret_cast<RectOvalItem *>(item);
    if (objc == 0) {
        Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
        for (double v : r->bbox) {
            Tcl_ListObjAppendElement(nullptr, list, Tcl_NewDoubleObj(gcanvasPlainZero(v)));
        }
        Tcl_SetObjResult(interp, list);
        return TCL_OK;
    }
    if (objc == 1) {
        if (Tcl_ListObjGetElements(interp, objv[0], &objc, const_cast<Tcl_Obj ***>(&objv)) != TCL_OK) {
            return TCL_ERROR;
        }
    }
    if (objc != 4) {
        char text[80];
        std::snprintf(text, sizeof text, "wrong # coordinates: expected 0 or 4, got %d", objc);
        Tcl_SetObjResult(interp, Tcl_NewStringObj(text, -1));
        return TCL_ERROR;
    }
    for (int i = 0; i < 4; i++) {
        if (gcanvasGetCoordFromObj(interp, canvas, objv[i], &r->bbox[i]) != TCL_OK) {
            return TCL_ERROR;
        }
    }
    rectOvalBbox(canvas, item);
    return TCL_OK;
}

int rectOvalConfigure(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int objc, Tcl_Obj *const objv[],
                      int flags)
{
    auto *r = reinterpret_cast<RectOvalItem *>(item);
    if (gcanvasConfigureRecord(interp, canvas, configSpecs.data(), r, objc, objv, flags) != TCL_OK) {
        return TCL_ERROR;
    }
    gcanvasMarkFilledStateDependant(r);
    gcanvasAnchorOffset(&r->outline.tsoffset, r->bbox);

    XGCValues values;
    unsigned long mask = gcanvasConfigOutlineGC(&values, canvas, item, &r->outline);
    GC gc = nullptr;
    if (mask != 0 && r->outline.width != 0 && r->outline.color != nullptr) {
        values.cap_style = CapProjecting;
        mask |= GCCapStyle;
        gc = gcanvasGetGC(canvas->tkwin, mask, &values);
    }
    gcanvasFreeGC(canvas->display, r->outline.gc);
    r->outline.gc = gc;

    if (gcanvasItemState(canvas, item) != GCANVAS_STATE_HIDDEN) {
        gcanvasSetFillGC(canvas, r, &values);
        gcanvasAnchorOffset(&r->tsoffset, r->bbox);
    }
    rectOvalBbox(canvas, item);
    return TCL_OK;
}

void rectOvalDelete(GcanvasWidget *, GcanvasItem *item, Display *display)
{
    gcanvasFreeFilledShape(display, reinterpret_cast<RectOvalItem *>(item));
}

int rectOvalCreate(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int objc, Tcl_Obj *const objv[])
{
    auto *r = reinterpret_cast<RectOvalItem *>(item);
    int coords = gcanvasCornerCoordWords(interp, canvas, item, objc, objv);
    if (coords < 0) {
        return TCL_ERROR;
    }
    gcanvasInitFilledShape(r);
    if (rectOvalCoords(interp, canvas, item, coords, objv) != TCL_OK ||
        rectOvalConfigure(interp, canvas, item, objc - coords, objv + coords, 0) != TCL_OK) {
        rectOvalDelete(canvas, item, canvas->display);
        return TCL_ERROR;
    }
    return TCL_OK;
}

void rectOvalDisplay(GcanvasWidget *canvas, GcanvasItem *item, Display *display, Drawable drawable, int, int, int, int)
{
    auto *r = reinterpret_cast<RectOvalItem *>(item);
    if (drawable == None) {
        return;
    }
    double c[4];
    worldToCanvasPoints(canvas, r->bbox, c, 2);
    int x1 = gcanvasDrawableCoord(canvas->drawableXOrigin, c[0]);
    int y1 = gcanvasDrawableCoord(canvas->drawableYOrigin, c[1]);
    int x2 = gcanvasDrawableCoord(canvas->drawableXOrigin, c[2]);
    int y2 = gcanvasDrawableCoord(canvas->drawableYOrigin, c[3]);
    if (x1 > x2) {
        std::swap(x1, x2);
    } else if (x1 == x2) {
        x2 = x1 + 1;
    }
    if (y1 > y2) {
        std::swap(y1, y2);
    } else if (y1 == y2) {
        y2 = y1 + 1;
    }
    auto w = static_cast<unsigned>(x2 - x1), h = static_cast<unsigned>(y2 - y1);
    bool oval = item->type == &gcanvasOvalType;
    if (r->fillGC != nullptr) {
        Pixmap stipple = gcanvasChosenFillStipple(canvas, r);
        if (stipple != None) {
            gcanvasSetFillStippleOffset(canvas, r->fillGC, stipple, &r->tsoffset);
        }
        if (oval) {
            XFillArc(display, drawable, r->fillGC, x1, y1, w, h, 0, 360 * 64);
        } else {
            XFillRectangle(display, drawable, r->fillGC, x1, y1, w, h);
        }
        if (stipple != None) {
            XSetTSOrigin(display, r->fillGC, 0, 0);
        }
    }
    if (r->outline.gc != nullptr) {
        gcanvasChangeOutlineGC(canvas, item, &r->outline);
        if (oval) {
            XDrawArc(display, drawable, r->outline.gc, x1, y1, w, h, 0, 360 * 64);
        } else {
            XDrawRectangle(display, drawable, r->outline.gc, x1, y1, w, h);
        }
        gcanvasResetOutlineGC(canvas, item, &r->outline);
    }
}

/* Distances are judged in canvas pixels at every zoom: the outline's
 * width (pixels) widens the corners by half a width in each axis's world
 * units, and distances inside a hollow rectangle are scaled like those
 * outside it. */
double rectToPoint(GcanvasWidget *canvas, GcanvasItem *item, double *point)
{
    auto *r = reinterpret_cast<RectOvalItem *>(item);
    double width = gcanvasChosenWidth(canvas, &r->header, r->outline);
    double sx = std::fabs(canvas->mx), sy = std::fabs(canvas->my);
    double x1 = r->bbox[0], y1 = r->bbox[1], x2 = r->bbox[2], y2 = r->bbox[3];
    if (r->outline.gc != nullptr) {
        double incX = width / 2 / sx, incY = width / 2 / sy;
        x1 -= incX, y1 -= incY, x2 += incX, y2 += incY;
    }
    double p[2];
    canvasToWorldPoints(canvas, point, p, 1);
    if (p[0] < x1 || p[0] >= x2 || p[1] < y1 || p[1] >= y2) {
        double dx = p[0] < x1 ? x1 - p[0] : p[0] > x2 ? p[0] - x2 : 0;
        double dy = p[1] < y1 ? y1 - p[1] : p[1] > y2 ? p[1] - y2 : 0;
        return std::hypot(sx * dx, sy * dy);
    }
    if (r->fillGC != nullptr || r->outline.gc == nullptr) {
        return 0;
    }
    double d =
        std::min(std::min((p[0] - x1) * sx, (x2 - p[0]) * sx), std::min((p[1] - y1) * sy, (y2 - p[1]) * sy)) - width;
    return d < 0 ? 0 : d;
}

double ovalToPoint(GcanvasWidget *canvas, GcanvasItem *item, double *point)
{
    auto *r = reinterpret_cast<RectOvalItem *>(item);
    double width = gcanvasChosenWidth(canvas, &r->header, r->outline);
    int filled = r->fillGC != nullptr;
    if (r->outline.gc == nullptr) {
        width = 0;
        filled = 1;
    }
    double p[2];
    canvasToWorldPoints(canvas, point, p, 1);
    return ovalToPointScaled(std::fabs(canvas->mx), std::fabs(canvas->my), r->bbox, width, filled, p);
}

/* The area in world units, ordered, and the half width in world units. */
void worldArea(GcanvasWidget *canvas, const RectOvalItem *r, const double *area, double *a, double *hw)
{
    canvasRectToWorld(canvas, area[0], area[1], area[2], area[3], a);
    *hw = r->outline.gc != nullptr
              ? gcanvasChosenWidth(canvas, &r->header, r->outline) / (std::fabs(canvas->mx) + std::fabs(canvas->my))
              : 0;
}

int rectToArea(GcanvasWidget *canvas, GcanvasItem *item, double *area)
{
    auto *r = reinterpret_cast<RectOvalItem *>(item);
    double a[4], hw;
    worldArea(canvas, r, area, a, &hw);
    const double *b = r->bbox;
    if (a[2] <= b[0] - hw || a[0] >= b[2] + hw || a[3] <= b[1] - hw || a[1] >= b[3] + hw) {
        return -1;
    }
    if (r->fillGC == nullptr && r->outline.gc != nullptr && a[0] >= b[0] + hw && a[1] >= b[1] + hw &&
        a[2] <= b[2] - hw && a[3] <= b[3] - hw) {
        return -1;
    }
    if (a[0] <= b[0] - hw && a[1] <= b[1] - hw && a[2] >= b[2] + hw && a[3] >= b[3] + hw) {
        return 1;
    }
    return 0;
}

int ovalToArea(GcanvasWidget *canvas, GcanvasItem *item, double *area)
{
    auto *r = reinterpret_cast<RectOvalItem *>(item);
    double a[4], hw;
    worldArea(canvas, r, area, a, &hw);
    const double *b = r->bbox;
    double oval[4] = {b[0] - hw, b[1] - hw, b[2] + hw, b[3] + hw};
    int result = TkOvalToArea(oval, a);
    if (result == 0 && r->outline.gc != nullptr && r->fillGC == nullptr) {
        double cx = (b[0] + b[2]) / 2, cy = (b[1] + b[3]) / 2;
        double sa = (b[2] - b[0]) / 2, sb = (b[3] - b[1]) / 2;
        const double corners[4][2] = {{a[0], a[1]}, {a[2], a[1]}, {a[0], a[3]}, {a[2], a[3]}};
        bool inHole = sa > 0 && sb > 0;
        for (const auto &corner : corners) {
            double u = (corner[0] - cx) / sa, v = (corner[1] - cy) / sb;
            inHole = inHole && u * u + v * v < 1;
        }
        if (inHole) {
            return -1;
        }
    }
    return result;
}

void rectOvalScale(GcanvasWidget *canvas, GcanvasItem *item, double originX, double originY, double scaleX,
                   double scaleY)
{
    auto *r = reinterpret_cast<RectOvalItem *>(item);
    for (int i = 0; i < 4; i += 2) {
        r->bbox[i] = (r->bbox[i] - originX) * scaleX + originX;
        r->bbox[i + 1] = (r->bbox[i + 1] - originY) * scaleY + originY;
    }
    rectOvalBbox(canvas, item);
}

void rectOvalTranslate(GcanvasWidget *canvas, GcanvasItem *item, double dx, double dy)
{
    auto *r = reinterpret_cast<RectOvalItem *>(item);
    r->bbox[0] += dx;
    r->bbox[2] += dx;
    r->bbox[1] += dy;
    r->bbox[3] += dy;
    rectOvalBbox(canvas, item);
}

int rectOvalExtent(GcanvasItem *item, double *box)
{
    auto *r = reinterpret_cast<RectOvalItem *>(item);
    pointsBBox(r->bbox, 2, box);
    return 1;
}

/* The item in PostScript, in canvas units: the fill (colour or stipple),
 * then the outline's stroke; the prepass gives the same text. */
int rectOvalToPostscript(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int)
{
    auto *r = reinterpret_cast<RectOvalItem *>(item);
    double c[4];
    worldRectToCanvas(canvas, r->bbox[0], r->bbox[1], r->bbox[2], r->bbox[3], c);
    double y1 = gcanvasPsY(canvas, c[1]), y2 = gcanvasPsY(canvas, c[3]);
    char path[400];
    if (item->type == &gcanvasOvalType) {
        std::snprintf(path, sizeof path,
                      "matrix currentmatrix\n%.15g %.15g translate %.15g %.15g scale 1 0 moveto 0 0 1 0 360 arc\n"
                      "setmatrix\n",
                      (c[0] + c[2]) / 2, (y1 + y2) / 2, (c[2] - c[0]) / 2, (y1 - y2) / 2);
    } else {
        std::snprintf(path, sizeof path,
                      "%.15g %.15g moveto %.15g 0 rlineto 0 %.15g rlineto %.15g 0 rlineto closepath\n", c[0], y1,
                      c[2] - c[0], y2 - y1, c[0] - c[2]);
    }
    XColor *outline = gcanvasChosen<XColor *>(canvas, item, r->outline.color, r->outline.activeColor,
                                              r->outline.disabledColor, nullptr);
    XColor *fill = gcanvasChosenFillColor(canvas, r);
    Pixmap stipple = gcanvasChosenFillStipple(canvas, r);
    if (fill != nullptr) {
        Tcl_AppendResult(interp, path, nullptr);
        if (gcanvasPsColor(interp, canvas, fill) != TCL_OK) {
            return TCL_ERROR;
        }
        if (stipple != None) {
            Tcl_AppendResult(interp, "clip ", nullptr);
            if (gcanvasPsStipple(interp, canvas, stipple) != TCL_OK) {
                return TCL_ERROR;
            }
            if (outline != nullptr) {
                Tcl_AppendResult(interp, "grestore gsave\n", nullptr);
            }
        } else {
            Tcl_AppendResult(interp, "fill\n", nullptr);
        }
    }
    if (outline != nullptr) {
        Tcl_AppendResult(interp, path, "0 setlinejoin 2 setlinecap\n", nullptr);
        if (gcanvasPsOutline(canvas, item, &r->outline) != TCL_OK) {
            return TCL_ERROR;
        }
    }
    return TCL_OK;
}

/* ---- measures (world units; the outline plays no part) ---- */

constexpr double kPi = 3.141592653589793;

double widthOf(const GcanvasItem *item)
{
    const double *b = reinterpret_cast<const RectOvalItem *>(item)->bbox;
    return b[2] - b[0];
}

double heightOf(const GcanvasItem *item)
{
    const double *b = reinterpret_cast<const RectOvalItem *>(item)->bbox;
    return b[3] - b[1];
}

double rectAreaMeasure(GcanvasWidget *, GcanvasItem *item)
{
    return widthOf(item) * heightOf(item);
}

double rectLength(GcanvasWidget *, GcanvasItem *item)
{
    return (widthOf(item) + heightOf(item)) * 2;
}

double rectCentroid(GcanvasWidget *canvas, GcanvasItem *item, double *x, double *y)
{
    const double *b = reinterpret_cast<const RectOvalItem *>(item)->bbox;
    *x = (b[0] + b[2]) * 0.5;
    *y = (b[1] + b[3]) * 0.5;
    return rectAreaMeasure(canvas, item);
}

double ovalAreaMeasure(GcanvasWidget *, GcanvasItem *item)
{
    return widthOf(item) * heightOf(item) * 0.25 * kPi;
}

double ovalLength(GcanvasWidget *, GcanvasItem *item)
{
    double a = widthOf(item) / 2, b = heightOf(item) / 2;
    return kPi * std::sqrt(2 * (a * a + b * b));
}

double ovalCentroid(GcanvasWidget *canvas, GcanvasItem *item, double *x, double *y)
{
    rectCentroid(canvas, item, x, y);
    return ovalAreaMeasure(canvas, item);
}

GcanvasItemType makeType(const char *name, bool oval)
{
    GcanvasItemType t;
    std::memset(&t, 0, sizeof t);
    t.name = name;
    t.itemSize = sizeof(RectOvalItem);
    t.createProc = rectOvalCreate;
    t.configSpecs = configSpecs.data();
    t.configProc = rectOvalConfigure;
    t.coordProc = rectOvalCoords;
    t.deleteProc = rectOvalDelete;
    t.displayProc = rectOvalDisplay;
    t.alwaysRedraw = GCANVAS_TYPE_USES_OBJS;
    t.pointProc = oval ? ovalToPoint : rectToPoint;
    t.areaProc = oval ? ovalToArea : rectToArea;
    t.postscriptProc = rectOvalToPostscript;
    t.scaleProc = rectOvalScale;
    t.translateProc = rectOvalTranslate;
    t.extentProc = rectOvalExtent;
    t.bboxProc = rectOvalBbox;
    t.areaMeasureProc = oval ? ovalAreaMeasure : rectAreaMeasure;
    t.lengthProc = oval ? ovalLength : rectLength;
    t.centroidProc = oval ? ovalCentroid : rectCentroid;
    return t;
}

}  // namespace

GcanvasItemType gcanvasRectangleType = makeType("rectangle", false);
GcanvasItemType gcanvasOvalType = makeType("oval", true);
