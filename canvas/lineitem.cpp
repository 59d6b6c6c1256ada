/*
 * lineitem.cpp --
 *
 *	The line item of the geo canvas: a polyline of one or more parts in
 *	world coordinates (one coordinate array, one point count a part),
 *	drawn with one pen, with arrowheads sized in pixels at every part's
 *	ends, cap and join styles, smoothing, dashes and stipples; the part
 *	under the pointer is drawn in -highlightcolor. Edited by vertex
 *	(index, insert, dchars), measured (length, centroid, vertex and
 *	segment angles), made from a geometry description and read back by
 *	assemble. Registers gcanvasLineType.
 */
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>
#include "canvas/canvasint.h"
#include "canvas/coords.h"
#include "canvas/geometry.h"
#include "canvas/itemopts.h"
#include "canvas/outline.h"
#include "canvas/postscript.h"
#include "runtime/cnumber.h"
#include "runtime/configspec.h"
#include "tesk.h"
#include "tkInt.h"

namespace {

/* Values of LineItem.arrow. */
enum { ARROWS_NONE = 0, ARROWS_FIRST = 1, ARROWS_LAST = 2, ARROWS_BOTH = 3 };

/* Doubles of one part's arrowhead polygon: six points, the tip first and
 * again last. */
constexpr int kArrowValues = 12;

struct LineItem {
    GcanvasItem header;
    GcanvasWidget *canvas;
    int numPoints;                               /* points of all parts */
    int numParts;                                /* parts, each of at least one point (0 without points) */
    int *partCounts;                             /* numParts point counts (gmemAlloc), or NULL */
    double *coords;                              /* 2 * numPoints world values (gmemAlloc), or NULL;
                      * with arrowheads on, a part's end holds the
                      * arrowhead's base, its tip the given point */
    GC arrowGC;                                  /* the line's pen at line width 0, or NULL */
    int arrow;                                   /* ARROWS_* */
    float arrowShapeA, arrowShapeB, arrowShapeC; /* pixels: tip to trailing
                                                  * points, tip to neck,
                                                  * half width beyond the line */
    double *firstArrows, *lastArrows;            /* numParts * kArrowValues, or NULL */
    GcanvasOutline outline;                      /* colour -fill, stipple offset -offset */
    /* joinStyle, capStyle, splineSteps and smooth follow the outline record
     * in this order, as geometry descriptions expect of their sources. */
    int joinStyle;                     /* X join style */
    int capStyle;                      /* X cap style */
    int splineSteps;                   /* 1..100 */
    const GcanvasSmoothMethod *smooth; /* NULL: not smoothed */
    int pointerComponent;              /* part found by the last point test, -1: none */
    GcanvasPartHighlight highlight;    /* the part drawn highlighted */
    XColor *highlightColor;            /* -highlightcolor, or NULL */
    GC highlightGC;                    /* NULL without a highlight colour */
};

LineItem *asLine(GcanvasItem *item)
{
    return reinterpret_cast<LineItem *>(item);
}

/* ---- the -arrow and -arrowshape options ---- */

const char *const kArrowNames[] = {"none", "first", "last", "both"};

int arrowParse(ClientData, Tcl_Interp *interp, Tk_Window, const char *value, char *widgRec, int offset)
{
    int *arrow = reinterpret_cast<int *>(widgRec + offset);
    size_t length = value != nullptr ? std::strlen(value) : 0;
    if (length == 0) {
        *arrow = ARROWS_NONE;
        return TCL_OK;
    }
    for (int i = 0; i < 4; i++) {
        if (std::strncmp(value, kArrowNames[i], length) == 0) {
            *arrow = i;
            return TCL_OK;
        }
    }
    Tcl_AppendResult(interp, "bad arrow spec \"", value, "\": must be none, first, last, or both", nullptr);
    *arrow = ARROWS_NONE;
    return TCL_ERROR;
}

const char *arrowPrint(ClientData, Tk_Window, char *widgRec, int offset, Tcl_FreeProc **)
{
    int arrow = *reinterpret_cast<int *>(widgRec + offset);
    return kArrowNames[arrow >= 0 && arrow <= 3 ? arrow : 0];
}

int arrowShapeParse(ClientData, Tcl_Interp *interp, Tk_Window, const char *value, char *widgRec, int offset)
{
    if (offset != static_cast<int>(Tk_Offset(LineItem, arrowShapeA))) {
        Tcl_Panic("ParseArrowShape received bogus offset");
    }
    auto *l = reinterpret_cast<LineItem *>(widgRec);
    int argc = 0;
    const char **argv = nullptr;
    double a, b, c;
    if (Tcl_SplitList(interp, value, &argc, &argv) != TCL_OK || argc != 3 ||
        gcanvasGetCoord(interp, l->canvas, argv[0], &a) != TCL_OK ||
        gcanvasGetCoord(interp, l->canvas, argv[1], &b) != TCL_OK ||
        gcanvasGetCoord(interp, l->canvas, argv[2], &c) != TCL_OK) {
        Tcl_ResetResult(interp);
        Tcl_AppendResult(interp, "bad arrow shape \"", value, "\": must be list with three numbers", nullptr);
        if (argv != nullptr) {
            Tcl_Free(reinterpret_cast<char *>(argv));
        }
        return TCL_ERROR;
    }
    Tcl_Free(reinterpret_cast<char *>(argv));
    l->arrowShapeA = static_cast<float>(a);
    l->arrowShapeB = static_cast<float>(b);
    l->arrowShapeC = static_cast<float>(c);
    return TCL_OK;
}

const char *arrowShapePrint(ClientData, Tk_Window, char *widgRec, int, Tcl_FreeProc **freeProc)
{
    auto *l = reinterpret_cast<LineItem *>(widgRec);
    char *text = static_cast<char *>(ckalloc(120));
    std::snprintf(text, 120, "%.5g %.5g %.5g", l->arrowShapeA, l->arrowShapeB, l->arrowShapeC);
    *freeProc = TCL_DYNAMIC;
    return text;
}

Tk_CustomOption arrowOption = {arrowParse, arrowPrint, nullptr};
Tk_CustomOption arrowShapeOption = {arrowShapeParse, arrowShapePrint, nullptr};

#define LI_OPT(field) Tk_Offset(LineItem, field)

Tk_ConfigSpec configSpecs[] = {
    {TK_CONFIG_CUSTOM, "-activedash", nullptr, nullptr, nullptr, LI_OPT(outline.activeDash), TK_CONFIG_NULL_OK,
     const_cast<Tk_CustomOption *>(&gcanvasDashOption)},
    {TK_CONFIG_COLOR, "-activefill", nullptr, nullptr, nullptr, LI_OPT(outline.activeColor), TK_CONFIG_NULL_OK,
     nullptr},
    {TK_CONFIG_BITMAP, "-activestipple", nullptr, nullptr, nullptr, LI_OPT(outline.activeStipple), TK_CONFIG_NULL_OK,
     nullptr},
    {TK_CONFIG_CUSTOM, "-activewidth", nullptr, nullptr, "0.0", LI_OPT(outline.activeWidth), TK_CONFIG_DONT_SET_DEFAULT,
     &gcanvasPixelOption},
    {TK_CONFIG_CUSTOM, "-arrow", nullptr, nullptr, "none", LI_OPT(arrow), TK_CONFIG_DONT_SET_DEFAULT, &arrowOption},
    {TK_CONFIG_CUSTOM, "-arrowshape", nullptr, nullptr, "8 10 3", LI_OPT(arrowShapeA), TK_CONFIG_DONT_SET_DEFAULT,
     &arrowShapeOption},
    {TK_CONFIG_CAP_STYLE, "-capstyle", nullptr, nullptr, "butt", LI_OPT(capStyle), TK_CONFIG_DONT_SET_DEFAULT, nullptr},
    {TK_CONFIG_COLOR, "-fill", nullptr, nullptr, "black", LI_OPT(outline.color), TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_SYNONYM, "-outline", "fill", nullptr, nullptr, 0, 0, nullptr},
    {TK_CONFIG_COLOR, "-background", "background", "Background", nullptr, LI_OPT(outline.background), TK_CONFIG_NULL_OK,
     nullptr},
    {TK_CONFIG_SYNONYM, "-bg", "background", nullptr, nullptr, 0, 0, nullptr},
    {TK_CONFIG_CUSTOM, "-dash", nullptr, nullptr, nullptr, LI_OPT(outline.dash), TK_CONFIG_NULL_OK,
     const_cast<Tk_CustomOption *>(&gcanvasDashOption)},
    {TK_CONFIG_PIXELS, "-dashoffset", nullptr, nullptr, "0", LI_OPT(outline.offset), TK_CONFIG_DONT_SET_DEFAULT,
     nullptr},
    {TK_CONFIG_CUSTOM, "-disableddash", nullptr, nullptr, nullptr, LI_OPT(outline.disabledDash), TK_CONFIG_NULL_OK,
     const_cast<Tk_CustomOption *>(&gcanvasDashOption)},
    {TK_CONFIG_COLOR, "-disabledfill", nullptr, nullptr, nullptr, LI_OPT(outline.disabledColor), TK_CONFIG_NULL_OK,
     nullptr},
    {TK_CONFIG_BITMAP, "-disabledstipple", nullptr, nullptr, nullptr, LI_OPT(outline.disabledStipple),
     TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_CUSTOM, "-disabledwidth", nullptr, nullptr, "0.0", LI_OPT(outline.disabledWidth),
     TK_CONFIG_DONT_SET_DEFAULT, &gcanvasPixelOption},
    {TK_CONFIG_INT, "-floating", nullptr, nullptr, "0", LI_OPT(header.floating), 0, nullptr},
    {TK_CONFIG_JOIN_STYLE, "-joinstyle", nullptr, nullptr, "round", LI_OPT(joinStyle), TK_CONFIG_DONT_SET_DEFAULT,
     nullptr},
    {TK_CONFIG_COLOR, "-highlightcolor", nullptr, nullptr, "yellow", LI_OPT(highlightColor), TK_CONFIG_NULL_OK,
     nullptr},
    {TK_CONFIG_CUSTOM, "-offset", nullptr, nullptr, "0,0", LI_OPT(outline.tsoffset), TK_CONFIG_DONT_SET_DEFAULT,
     &gcanvasIndexOffsetOption},
    {TK_CONFIG_CUSTOM, "-smooth", nullptr, nullptr, "0", LI_OPT(smooth), TK_CONFIG_DONT_SET_DEFAULT,
     const_cast<Tk_CustomOption *>(&gcanvasSmoothOption)},
    {TK_CONFIG_INT, "-splinesteps", nullptr, nullptr, "12", LI_OPT(splineSteps), TK_CONFIG_DONT_SET_DEFAULT, nullptr},
    {TK_CONFIG_CUSTOM, "-state", nullptr, nullptr, nullptr, LI_OPT(header.state), TK_CONFIG_NULL_OK,
     &gcanvasItemStateOption},
    {TK_CONFIG_BITMAP, "-stipple", nullptr, nullptr, nullptr, LI_OPT(outline.stipple), TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_CUSTOM, "-tags", nullptr, nullptr, nullptr, 0, TK_CONFIG_NULL_OK,
     const_cast<Tk_CustomOption *>(&gcanvasTagsOption)},
    {TK_CONFIG_CUSTOM, "-width", nullptr, nullptr, "1.0", LI_OPT(outline.width), TK_CONFIG_DONT_SET_DEFAULT,
     &gcanvasPixelOption},
    {TK_CONFIG_END, nullptr, nullptr, nullptr, nullptr, 0, 0, nullptr},
};

#undef LI_OPT

/* ---- record state ---- */

void redrawLitPart(GcanvasWidget *canvas, GcanvasItem *item, int p);

void initLine(GcanvasWidget *canvas, LineItem *l)
{
    gcanvasCreateOutline(&l->outline);
    l->canvas = canvas;
    l->numPoints = l->numParts = 0;
    l->partCounts = nullptr;
    l->coords = nullptr;
    l->arrowGC = nullptr;
    l->arrow = ARROWS_NONE;
    l->arrowShapeA = 8.0f;
    l->arrowShapeB = 10.0f;
    l->arrowShapeC = 3.0f;
    l->firstArrows = l->lastArrows = nullptr;
    l->joinStyle = JoinRound;
    l->capStyle = CapButt;
    l->splineSteps = 12;
    l->smooth = nullptr;
    l->pointerComponent = -1;
    gcanvasInitPartHighlight(&l->highlight, canvas, &l->header, redrawLitPart);
    l->highlightColor = nullptr;
    l->highlightGC = nullptr;
}

/* Index of part p's first point. */
int partStart(const LineItem *l, int p)
{
    int start = 0;
    for (int i = 0; i < p; i++) {
        start += l->partCounts[i];
    }
    return start;
}

/* Puts the given end points back where arrowheads moved them and frees
 * the arrowhead arrays. */
void dropArrows(LineItem *l)
{
    int start = 0;
    for (int p = 0; p < l->numParts; p++) {
        int n = l->partCounts[p];
        if (n > 0 && l->firstArrows != nullptr) {
            l->coords[2 * start] = l->firstArrows[kArrowValues * p];
            l->coords[2 * start + 1] = l->firstArrows[kArrowValues * p + 1];
        }
        if (n > 0 && l->lastArrows != nullptr) {
            int last = start + n - 1;
            l->coords[2 * last] = l->lastArrows[kArrowValues * p];
            l->coords[2 * last + 1] = l->lastArrows[kArrowValues * p + 1];
        }
        start += n;
    }
    gmemFree(l->firstArrows);
    gmemFree(l->lastArrows);
    l->firstArrows = l->lastArrows = nullptr;
}

/* Forgets the arrowheads without touching the points (new coordinates). */
void forgetArrows(LineItem *l)
{
    gmemFree(l->firstArrows);
    gmemFree(l->lastArrows);
    l->firstArrows = l->lastArrows = nullptr;
}

/* The arrowhead of one end: tip at polygon point 0, the end point moved
 * back to the arrowhead's base. Sizes are pixels, so world offsets are
 * divided by the scales. */
void makeArrow(const GcanvasWidget *canvas, double *poly, double *end, const double *neighbour, double a, double b,
               double c, double f, double backup)
{
    const double mx = canvas->mx, my = canvas->my;
    const double tx = poly[0], ty = poly[1];
    double dx = (tx - neighbour[0]) * mx, dy = (ty - neighbour[1]) * my;
    double length = std::hypot(dx, dy);
    double cosT = length == 0 ? 0 : dx / length, sinT = length == 0 ? 0 : dy / length;
    double vx = tx - a * cosT / mx, vy = ty - a * sinT / my;
    poly[2] = tx - (b * cosT - c * sinT) / mx;
    poly[3] = ty - (b * sinT + c * cosT) / my;
    poly[8] = poly[2] - 2 * c * sinT / mx;
    poly[9] = poly[3] + 2 * c * cosT / my;
    poly[4] = (1 - f) * vx + f * poly[2];
    poly[5] = (1 - f) * vy + f * poly[3];
    poly[6] = (1 - f) * vx + f * poly[8];
    poly[7] = (1 - f) * vy + f * poly[9];
    poly[10] = tx;
    poly[11] = ty;
    end[0] = tx - backup * cosT / mx;
    end[1] = ty - backup * sinT / my;
}

/* Builds the arrowheads the -arrow option asks for on every part of two
 * or more points, from the given end points (the arrays must be freed,
 * the points given). A one-point part is a dot and has none. Answers
 * false when memory runs out (no arrowheads then). */
bool buildArrows(GcanvasWidget *canvas, LineItem *l)
{
    if (l->numPoints < 2 || l->arrow == ARROWS_NONE) {
        return true;
    }
    double w = gcanvasChosenWidth(canvas, &l->header, l->outline);
    double a = l->arrowShapeA + 0.001, b = l->arrowShapeB + 0.001, c = l->arrowShapeC + w / 2 + 0.001;
    double f = (w / 2) / c;
    double backup = (1 - f) * a * 0.5 + f * b;
    size_t bytes = sizeof(double) * kArrowValues * static_cast<size_t>(l->numParts);
    bool first = l->arrow != ARROWS_LAST, last = l->arrow != ARROWS_FIRST;
    if (first) {
        l->firstArrows = static_cast<double *>(gmemAlloc(bytes));
    }
    if (last) {
        l->lastArrows = static_cast<double *>(gmemAlloc(bytes));
    }
    if ((first && l->firstArrows == nullptr) || (last && l->lastArrows == nullptr)) {
        forgetArrows(l);
        return false;
    }
    int start = 0;
    for (int p = 0; p < l->numParts; p++) {
        int n = l->partCounts[p];
        double *head = l->coords + 2 * start, *tail = l->coords + 2 * (start + n - 1);
        for (int end = 0; end < 2; end++) {
            double *arrows = end == 0 ? l->firstArrows : l->lastArrows;
            if (arrows == nullptr) {
                continue;
            }
            double *poly = arrows + kArrowValues * p;
            double *point = end == 0 ? head : tail;
            for (int k = 0; k < 6; k++) {
                poly[2 * k] = point[0];
                poly[2 * k + 1] = point[1];
            }
            if (n >= 2) {
                makeArrow(canvas, poly, point, end == 0 ? head + 2 : tail - 2, a, b, c, f, backup);
            }
        }
        start += n;
    }
    return true;
}

/* Arrowheads again from the given points (after a change of width,
 * shape, arrow or transform). */
void rebuildArrows(GcanvasWidget *canvas, LineItem *l)
{
    dropArrows(l);
    buildArrows(canvas, l);
}

/* Whether part p has an arrowhead at that end worth drawing. */
const double *arrowOf(const LineItem *l, int p, bool first)
{
    const double *arrows = first ? l->firstArrows : l->lastArrows;
    if (arrows == nullptr || l->partCounts[p] < 2) {
        return nullptr;
    }
    return arrows + kArrowValues * p;
}

/* The points as given: the coordinates with every end an arrowhead moved
 * put back. */
void givenPoints(const LineItem *l, std::vector<double> &out)
{
    out.assign(l->coords, l->coords + 2 * static_cast<size_t>(l->numPoints));
    int start = 0;
    for (int p = 0; p < l->numParts; p++) {
        int n = l->partCounts[p];
        if (const double *a = arrowOf(l, p, true)) {
            out[2 * start] = a[0];
            out[2 * start + 1] = a[1];
        }
        if (const double *a = arrowOf(l, p, false)) {
            out[2 * (start + n - 1)] = a[0];
            out[2 * (start + n - 1) + 1] = a[1];
        }
        start += n;
    }
}

void lineBbox(GcanvasWidget *canvas, GcanvasItem *item)
{
    LineItem *l = asLine(item);
    gcanvasMarkIndexStale(canvas);
    if (l->numPoints == 0 || gcanvasItemState(canvas, item) == GCANVAS_STATE_HIDDEN) {
        item->x1 = item->y1 = item->x2 = item->y2 = -1;
        return;
    }
    double s = (std::fabs(canvas->mx) + std::fabs(canvas->my)) / 2;
    double w = gcanvasChosenWidth(canvas, item, l->outline);
    double box[4];
    pointsBBox(l->coords, l->numPoints, box);
    auto include = [&box](const double *p, int n) {
        for (int i = 0; i < n; i++) {
            box[0] = std::min(box[0], p[2 * i]);
            box[1] = std::min(box[1], p[2 * i + 1]);
            box[2] = std::max(box[2], p[2 * i]);
            box[3] = std::max(box[3], p[2 * i + 1]);
        }
    };
    if (w < 1) {
        w = 1;
    }
    int margin = gcanvasTruncToInt(w + 1.5);
    double ww = w / s;
    for (int p = 0; p < l->numParts; p++) {
        for (bool first : {true, false}) {
            if (const double *a = arrowOf(l, p, first)) {
                include(a, 6);
            }
        }
    }

    /* The stipple origin: a coordinate index, or a side of the box. */
    Tk_TSOffset &ts = l->outline.tsoffset;
    if (ts.flags & TK_OFFSET_INDEX) {
        long index = ts.flags & ~TK_OFFSET_INDEX;
        const double *point;
        if (index <= 0) {
            const double *tip = arrowOf(l, 0, true);
            point = tip != nullptr ? tip : l->coords;
        } else if (index >= 2L * l->numPoints - 1) {
            const double *tip = arrowOf(l, l->numParts - 1, false);
            point = tip != nullptr ? tip : l->coords + 2 * (l->numPoints - 1);
        } else {
            point = l->coords + (index & ~1L);
        }
        ts.xoffset = gcanvasTruncToInt(point[0] + 0.5);
        ts.yoffset = gcanvasTruncToInt(point[1] + 0.5);
    } else {
        if (ts.flags & TK_OFFSET_LEFT) {
            ts.xoffset = gcanvasTruncToInt(std::round(box[0]));
        } else if (ts.flags & TK_OFFSET_CENTER) {
            ts.xoffset = gcanvasTruncToInt(std::round((box[0] + box[2]) / 2));
        } else if (ts.flags & TK_OFFSET_RIGHT) {
            ts.xoffset = gcanvasTruncToInt(std::round(box[2]));
        }
        if (ts.flags & TK_OFFSET_TOP) {
            ts.yoffset = gcanvasTruncToInt(std::round(box[1]));
        } else if (ts.flags & TK_OFFSET_MIDDLE) {
            ts.yoffset = gcanvasTruncToInt(std::round((box[1] + box[3]) / 2));
        } else if (ts.flags & TK_OFFSET_BOTTOM) {
            ts.yoffset = gcanvasTruncToInt(std::round(box[3]));
        }
    }

    if (l->numPoints > 1 && l->joinStyle == JoinMiter) {
        int start = 0;
        for (int p = 0; p < l->numParts; p++) {
            for (int i = start; i + 2 < start + l->partCounts[p]; i++) {
                double m[4];
                if (TkGetMiterPoints(l->coords + 2 * i, l->coords + 2 * i + 2, l->coords + 2 * i + 4, ww, m, m + 2)) {
                    include(m, 2);
                }
            }
            start += l->partCounts[p];
        }
    }
    setItemBBoxFromWorld(canvas, item, box[0], box[1], box[2], box[3]);
    item->xPad = item->yPad = static_cast<float>(margin);
    item->x1 -= margin;
    item->y1 -= margin;
    item->x2 += margin;
    item->y2 += margin;
}

/* ---- coordinates ---- */

Tcl_Obj *coordsObj(const LineItem *l)
{
    std::vector<double> given;
    givenPoints(l, given);
    Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
    for (double v : given) {
        Tcl_ListObjAppendElement(nullptr, list, Tcl_NewDoubleObj(gcanvasPlainZero(v)));
    }
    if (l->numParts >= 2) {
        Tcl_Obj *parts = Tcl_NewListObj(0, nullptr);
        for (int p = 0; p < l->numParts; p++) {
            Tcl_ListObjAppendElement(nullptr, parts, Tcl_NewIntObj(l->partCounts[p]));
        }
        Tcl_ListObjAppendElement(nullptr, list, parts);
    }
    return list;
}

/* A part count as the description list gives it: sign and digits, any
 * other text 0. */
long partCountOf(const char *text)
{
    return std::strtol(text, nullptr, 10);
}

int inconsistent(Tcl_Interp *interp)
{
    Tcl_SetObjResult(interp, Tcl_NewStringObj("Invalid or inconsistent polyline description list", -1));
    return TCL_ERROR;
}

int lineCoords(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int objc, Tcl_Obj *const objv[])
{
    LineItem *l = asLine(item);
    if (objc == 0) {
        Tcl_SetObjResult(interp, coordsObj(l));
        return TCL_OK;
    }
    if (objc == 1 && Tcl_ListObjGetElements(interp, objv[0], &objc, const_cast<Tcl_Obj ***>(&objv)) != TCL_OK) {
        return TCL_ERROR;
    }
    std::vector<int> counts;
    int values = objc;
    if (objc % 2 == 1) {
        values = objc - 1;
        int n = 0;
        Tcl_Obj **elements = nullptr;
        if (Tcl_ListObjGetElements(nullptr, objv[objc - 1], &n, &elements) != TCL_OK) {
            Tcl_SetObjResult(interp, Tcl_NewStringObj("error in parsing polyline description list", -1));
            return TCL_ERROR;
        }
        long sum = 0;
        for (int i = 0; i < n; i++) {
            long c = partCountOf(Tcl_GetString(elements[i]));
            if (c < 1 || c > INT_MAX) {
                return inconsistent(interp);
            }
            sum += c;
            counts.push_back(static_cast<int>(c));
        }
        if (n == 0 || sum != values / 2) {
            return inconsistent(interp);
        }
    } else if (values > 0) {
        counts.push_back(values / 2);
    }
    /* Read every value before anything changes: a bad word keeps the old
     * points and parts. */
    std::vector<double> coords(static_cast<size_t>(values));
    for (int i = values - 1; i >= 0; i--) {
        if (gcanvasGetCoordFromObj(interp, canvas, objv[i], &coords[i]) != TCL_OK) {
            return TCL_ERROR;
        }
    }
    auto *newCoords = static_cast<double *>(gmemAlloc(sizeof(double) * std::max<size_t>(coords.size(), 1)));
    auto *newCounts = static_cast<int *>(gmemAlloc(sizeof(int) * std::max<size_t>(counts.size(), 1)));
    if (newCoords == nullptr || newCounts == nullptr) {
        gmemFree(newCoords);
        gmemFree(newCounts);
        Tcl_SetObjResult(interp, Tcl_NewStringObj("Error in line coordinates: out of memory", -1));
        return TCL_ERROR;
    }
    std::copy(coords.begin(), coords.end(), newCoords);
    std::copy(counts.begin(), counts.end(), newCounts);
    forgetArrows(l);
    gmemFree(l->coords);
    gmemFree(l->partCounts);
    l->coords = newCoords;
    l->partCounts = newCounts;
    l->numPoints = values / 2;
    l->numParts = static_cast<int>(counts.size());
    l->pointerComponent = l->highlight.lit = -1;
    buildArrows(canvas, l);
    lineBbox(canvas, item);
    return TCL_OK;
}

/* ---- options and pens ---- */

int lineConfigureGCs(GcanvasWidget *canvas, LineItem *l)
{
    GcanvasItem *item = &l->header;
    const GcanvasOutline &o = l->outline;
    if (o.activeWidth > o.width || o.activeDash.number != 0 || o.activeColor != nullptr || o.activeStipple != None) {
        item->redrawFlags |= GCANVAS_ITEM_STATE_DEPENDANT;
    } else {
        item->redrawFlags &= ~GCANVAS_ITEM_STATE_DEPENDANT;
    }
    Tk_Window tkwin = canvas->tkwin;
    XGCValues values;
    unsigned long mask = gcanvasConfigOutlineGC(&values, canvas, item, &l->outline);
    GC gc = nullptr, arrowGC = nullptr;
    if (mask != 0) {
        if (l->arrow == ARROWS_NONE) {
            values.cap_style = l->capStyle;
            mask |= GCCapStyle;
        }
        values.join_style = l->joinStyle;
        mask |= GCJoinStyle;
        gc = gcanvasGetGC(tkwin, mask, &values);
        values.line_width = 0;
        arrowGC = gcanvasGetGC(tkwin, mask | GCLineWidth, &values);
    }
    gcanvasFreeGC(canvas->display, l->outline.gc);
    gcanvasFreeGC(canvas->display, l->arrowGC);
    l->outline.gc = gc;
    l->arrowGC = arrowGC;
    l->splineSteps = std::clamp(l->splineSteps, 1, 100);

    double width = o.width;
    if (canvas->currentItem == item && o.activeWidth > width) {
        width = o.activeWidth;
    }
    if (width < 1) {
        width = 1.0;
    }
    GC highlight = nullptr;
    if (l->highlightColor != nullptr) {
        values.foreground = l->highlightColor->pixel;
        values.line_width = gcanvasTruncToInt(width + 0.5);
        highlight = gcanvasGetGC(tkwin, GCForeground | GCLineWidth, &values);
    }
    gcanvasFreeGC(canvas->display, l->highlightGC);
    l->highlightGC = highlight;
    return TCL_OK;
}

int lineConfigure(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int objc, Tcl_Obj *const objv[],
                  int flags)
{
    LineItem *l = asLine(item);
    if (teskConfigureWidget(interp, canvas->tkwin, configSpecs, objc,
                            const_cast<const char **>(reinterpret_cast<const char *const *>(objv)),
                            reinterpret_cast<char *>(l), flags | TK_CONFIG_OBJS | TESK_CONFIG_PARTIAL) != TCL_OK) {
        return TCL_ERROR;
    }
    lineConfigureGCs(canvas, l);
    if (l->numPoints > 0 && gcanvasItemState(canvas, item) != GCANVAS_STATE_HIDDEN) {
        rebuildArrows(canvas, l);
    }
    lineBbox(canvas, item);
    return TCL_OK;
}

void lineDelete(GcanvasWidget *, GcanvasItem *item, Display *display)
{
    LineItem *l = asLine(item);
    gcanvasCancelPartHighlight(&l->highlight);
    gcanvasDeleteOutline(display, &l->outline);
    gmemFree(l->coords);
    gmemFree(l->partCounts);
    l->coords = nullptr;
    l->partCounts = nullptr;
    l->numPoints = l->numParts = 0;
    forgetArrows(l);
    gcanvasFreeGC(display, l->arrowGC);
    gcanvasFreeGC(display, l->highlightGC);
    l->arrowGC = l->highlightGC = nullptr;
    if (l->highlightColor != nullptr) {
        Tk_FreeColor(l->highlightColor);
        l->highlightColor = nullptr;
    }
}

int lineCreate(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int objc, Tcl_Obj *const objv[])
{
    LineItem *l = asLine(item);
    initLine(canvas, l);
    int coords = 0;
    while (coords < objc && !gcanvasIsOptionWord(objv[coords])) {
        coords++;
    }
    if ((coords > 0 && lineCoords(interp, canvas, item, coords, objv) != TCL_OK) ||
        lineConfigure(interp, canvas, item, objc - coords, objv + coords, 0) != TCL_OK) {
        lineDelete(canvas, item, canvas->display);
        return TCL_ERROR;
    }
    return TCL_OK;
}

int lineCreateFromDesc(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, const GcanvasGeometryDesc *desc)
{
    LineItem *l = asLine(item);
    initLine(canvas, l);
    if (teskConfigureWidget(interp, canvas->tkwin, configSpecs, 0, nullptr, reinterpret_cast<char *>(l),
                            TK_CONFIG_OBJS) != TCL_OK) {
        lineDelete(canvas, item, canvas->display);
        return TCL_ERROR;
    }
    if (desc == nullptr) {
        lineBbox(canvas, item);
        return TCL_OK;
    }
    /* Without part counts the description is one part of count points. */
    if (desc->count > 0 && desc->points != nullptr) {
        int parts = desc->partCounts != nullptr ? desc->count : 1;
        long total = 0;
        for (int p = 0; p < parts; p++) {
            int c = desc->partCounts != nullptr ? desc->partCounts[p] : desc->count;
            if (c < 1) {
                lineDelete(canvas, item, canvas->display);
                return inconsistent(interp);
            }
            total += c;
        }
        l->partCounts = static_cast<int *>(gmemAlloc(sizeof(int) * static_cast<size_t>(parts)));
        l->coords = static_cast<double *>(gmemAlloc(sizeof(double) * 2 * static_cast<size_t>(total)));
        if (l->partCounts == nullptr || l->coords == nullptr || total > INT_MAX / 2) {
            lineDelete(canvas, item, canvas->display);
            Tcl_SetObjResult(interp, Tcl_NewStringObj("Error in line description: out of memory", -1));
            return TCL_ERROR;
        }
        for (int p = 0; p < parts; p++) {
            l->partCounts[p] = desc->partCounts != nullptr ? desc->partCounts[p] : desc->count;
        }
        std::copy(desc->points, desc->points + 2 * total, l->coords);
        l->numParts = parts;
        l->numPoints = static_cast<int>(total);
    }
    if (desc->style != nullptr) {
        const auto *style = static_cast<const GcanvasDescStyle *>(desc->style);
        l->outline.width = style->outline.width;
        l->splineSteps = style->splineSteps;
        l->smooth = style->smooth;
        if (l->outline.color != nullptr) {
            Tk_FreeColor(l->outline.color);
        }
        l->outline.color = copyTkColor(interp, canvas->tkwin, style->outline.color);
        l->outline.activeColor = copyTkColor(interp, canvas->tkwin, style->outline.activeColor);
    }
    if (lineConfigureGCs(canvas, l) != TCL_OK) {
        lineDelete(canvas, item, canvas->display);
        return TCL_ERROR;
    }
    if (l->numPoints > 0 && gcanvasItemState(canvas, item) != GCANVAS_STATE_HIDDEN) {
        rebuildArrows(canvas, l);
    }
    lineBbox(canvas, item);
    return TCL_OK;
}

/* ---- drawing ---- */

/* The parts to draw, smoothed where the item smooths: world points
 * (the item's own array when nothing is smoothed, else points) and the
 * counts of each part in counts. */
const double *partsForDrawing(const GcanvasWidget *canvas, const LineItem *l, std::vector<double> &points,
                              std::vector<int> &counts)
{
    counts.assign(l->partCounts, l->partCounts + l->numParts);
    if (l->smooth == nullptr || l->numPoints < 3) {
        return l->coords;
    }
    points.clear();
    const double *in = l->coords;
    for (int p = 0; p < l->numParts; p++) {
        int n = l->partCounts[p];
        /* A part past the smoothing limit is drawn as it is. */
        int made = gcanvasSmoothPart(canvas, l->smooth, in, n, l->splineSteps, points);
        if (made > 0) {
            counts[p] = made;
        } else {
            points.insert(points.end(), in, in + 2 * n);
        }
        in += 2 * n;
    }
    return points.data();
}

void lineDisplay(GcanvasWidget *canvas, GcanvasItem *item, Display *display, Drawable drawable, int, int, int, int)
{
    LineItem *l = asLine(item);
    if (drawable == None || l->numPoints == 0 || l->outline.gc == nullptr) {
        return;
    }
    /* A one-point part's dot is as wide as the line (as PostScript and the
     * hit tests take it). */
    const GcanvasOutline &o = l->outline;
    int lineWidth = std::clamp(gcanvasTruncToInt(gcanvasChosenWidth(canvas, item, o) + 0.5), 0, 32767);
    int dot = std::max(lineWidth, 1);

    /* Buffers kept from item to item: redisplay draws many lines. */
    static thread_local std::vector<double> points;
    static thread_local std::vector<int> counts;
    static thread_local std::vector<XPoint> xpoints;
    const double *world = partsForDrawing(canvas, l, points, counts);
    size_t total = 0;
    for (int c : counts) {
        total += static_cast<size_t>(c);
    }
    xpoints.resize(total + static_cast<size_t>(l->numParts) + 2);
    worldToScreenPartsPacked(canvas, world, xpoints.data(), l->numParts, counts.data());

    if (gcanvasChangeOutlineGC(canvas, item, &l->outline) && l->arrowGC != nullptr) {
        gcanvasSetOffset(canvas, l->arrowGC, &l->outline.tsoffset);
    }
    XPoint *part = xpoints.data();
    for (int p = 0; p < l->numParts; p++) {
        GC lineGC = l->outline.gc, arrowGC = l->arrowGC;
        if (p == l->highlight.lit && l->highlightGC != nullptr) {
            lineGC = arrowGC = l->highlightGC;
        }
        if (l->partCounts[p] < 2) {
            XFillArc(display, drawable, lineGC, part[0].x - dot / 2, part[0].y - dot / 2, dot + 1, dot + 1, 0, 23040);
        } else {
            gcanvasDrawLines(display, drawable, lineGC, lineWidth, part, counts[p]);
        }
        for (bool first : {true, false}) {
            const double *arrow = arrowOf(l, p, first);
            if (arrow != nullptr && arrowGC != nullptr) {
                gcanvasFillPolygon(canvas, arrow, 6, display, drawable, arrowGC, nullptr, 0);
            }
        }
        part += counts[p];
    }
    if (gcanvasResetOutlineGC(canvas, item, &l->outline) && l->arrowGC != nullptr) {
        XSetTSOrigin(display, l->arrowGC, 0, 0);
    }
    /* A huge line's buffers are not kept. */
    if (xpoints.capacity() > (1u << 20)) {
        std::vector<double>().swap(points);
        std::vector<XPoint>().swap(xpoints);
    }
}

/* ---- hit tests ---- */

constexpr double kFar = 1.0e36;

/* A part's points (smoothed where the item smooths) scaled into canvas
 * units about the world origin: distances there are canvas distances. */
void scaledPart(const GcanvasWidget *canvas, const LineItem *l, int p, int start, std::vector<double> &out)
{
    const double *in = l->coords + 2 * static_cast<size_t>(start);
    int n = l->partCounts[p];
    out.clear();
    if (l->smooth == nullptr || gcanvasSmoothPart(canvas, l->smooth, in, n, l->splineSteps, out) == 0) {
        out.assign(in, in + 2 * n);
    }
    double sx = std::fabs(canvas->mx), sy = std::fabs(canvas->my);
    for (size_t i = 0; i < out.size(); i += 2) {
        out[i] *= sx;
        out[i + 1] *= sy;
    }
}

void scaledArrow(const GcanvasWidget *canvas, const double *arrow, double *out)
{
    double sx = std::fabs(canvas->mx), sy = std::fabs(canvas->my);
    for (int k = 0; k < 6; k++) {
        out[2 * k] = arrow[2 * k] * sx;
        out[2 * k + 1] = arrow[2 * k + 1] * sy;
    }
}

/* The width of the hit tests, pixels, at least 1. */
double hitWidth(const GcanvasWidget *canvas, const LineItem *l)
{
    return std::max(gcanvasChosenWidth(canvas, &l->header, l->outline), 1.0);
}

double partDistance(const GcanvasWidget *canvas, const LineItem *l, int p, int start, const double *world,
                    std::vector<double> &scratch)
{
    int n = l->partCounts[p];
    if (n == 0) {
        return kFar;
    }
    double sx = std::fabs(canvas->mx), sy = std::fabs(canvas->my);
    double q[2] = {world[0] * sx, world[1] * sy};
    double w = hitWidth(canvas, l);
    scaledPart(canvas, l, p, start, scratch);
    if (n == 1) {
        return std::max(std::hypot(q[0] - scratch[0], q[1] - scratch[1]) - w / 2, 0.0);
    }
    double best =
        thickPolylineToPoint(scratch.data(), static_cast<int>(scratch.size() / 2), w, l->capStyle, l->joinStyle, q);
    for (bool first : {true, false}) {
        if (const double *arrow = arrowOf(l, p, first)) {
            double a[kArrowValues];
            scaledArrow(canvas, arrow, a);
            best = std::min(best, TkPolygonToPoint(a, 6, q));
        }
    }
    return best <= 0 ? 0 : best;
}

double lineToPoint(GcanvasWidget *canvas, GcanvasItem *item, double *point)
{
    LineItem *l = asLine(item);
    l->pointerComponent = -1;
    if (item->state == GCANVAS_STATE_HIDDEN || l->numParts == 0) {
        return kFar;
    }
    double world[2];
    canvasToWorldPoints(canvas, point, world, 1);
    std::vector<double> scratch;
    double best = kFar;
    int start = l->numPoints;
    for (int p = l->numParts - 1; p >= 0; p--) {
        start -= l->partCounts[p];
        double d = partDistance(canvas, l, p, start, world, scratch);
        best = std::min(best, d);
        if (d < canvas->closeEnough || d <= 0) {
            l->pointerComponent = p;
            break;
        }
    }
    return best;
}

/* One part against the rectangle (scaled units): 1 inside, 0 across, -1
 * outside. */
int partToArea(const GcanvasWidget *canvas, const LineItem *l, int p, int start, double *rect,
               std::vector<double> &scratch)
{
    int n = l->partCounts[p];
    if (n == 0) {
        return -1;
    }
    double w = hitWidth(canvas, l);
    scaledPart(canvas, l, p, start, scratch);
    if (n == 1) {
        double r = (w + 1) / 2;
        double oval[4] = {scratch[0] - r, scratch[1] - r, scratch[0] + r, scratch[1] + r};
        return TkOvalToArea(oval, rect);
    }
    int result =
        TkThickPolyLineToArea(scratch.data(), static_cast<int>(scratch.size() / 2), w, l->capStyle, l->joinStyle, rect);
    for (bool first : {true, false}) {
        const double *arrow = arrowOf(l, p, first);
        if (result != 0 && arrow != nullptr) {
            double a[kArrowValues];
            scaledArrow(canvas, arrow, a);
            if (TkPolygonToArea(a, 6, rect) != result) {
                result = 0;
            }
        }
    }
    return result;
}

/* The parts count as one figure: inside when all are, outside when all
 * are, else overlapping. */
int lineToArea(GcanvasWidget *canvas, GcanvasItem *item, double *area)
{
    LineItem *l = asLine(item);
    if (item->state == GCANVAS_STATE_HIDDEN || l->numParts == 0) {
        return -1;
    }
    double world[4];
    canvasRectToWorld(canvas, area[0], area[1], area[2], area[3], world);
    double sx = std::fabs(canvas->mx), sy = std::fabs(canvas->my);
    double rect[4] = {world[0] * sx, world[1] * sy, world[2] * sx, world[3] * sy};
    std::vector<double> scratch;
    int combined = 2; /* no part yet */
    int start = l->numPoints;
    for (int p = l->numParts - 1; p >= 0; p--) {
        start -= l->partCounts[p];
        int r = partToArea(canvas, l, p, start, rect, scratch);
        if (r == 0 || (combined != 2 && r != combined)) {
            return 0;
        }
        combined = r;
    }
    return combined;
}

/* ---- PostScript ---- */

/* The line as the screen shows it: every part its own subpath (smoothed
 * part by part), stroked once; then the dots of one-point parts and the
 * arrowheads of every part, filled. After a stippled stroke each fill
 * starts again from the item's saved state and sets the colour anew.
 * Nothing in the prepass. */
int lineToPostscript(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int prepass)
{
    LineItem *l = asLine(item);
    const GcanvasOutline &o = l->outline;
    double width = gcanvasChosenWidth(canvas, item, o);
    XColor *colour = gcanvasChosen<XColor *>(canvas, item, o.color, o.activeColor, o.disabledColor, nullptr);
    Pixmap stipple = gcanvasChosen<Pixmap>(canvas, item, o.stipple, o.activeStipple, o.disabledStipple, None);
    if (prepass || colour == nullptr || l->numPoints == 0) {
        return TCL_OK;
    }
    if (l->numPoints == 1) {
        return gcanvasPsDot(interp, canvas, l->coords, width, colour, stipple);
    }
    if (gcanvasPsPartsPath(interp, canvas, l->coords, l->partCounts, l->numParts, l->smooth, l->splineSteps,
                           stipple == None) != TCL_OK) {
        return TCL_ERROR;
    }
    static const char *const caps[] = {"0 setlinecap\n", "1 setlinecap\n", "2 setlinecap\n"};
    static const char *const joins[] = {"0 setlinejoin\n", "1 setlinejoin\n", "2 setlinejoin\n"};
    int cap = l->capStyle == CapRound ? 1 : l->capStyle == CapProjecting ? 2 : 0;
    int join = l->joinStyle == JoinRound ? 1 : l->joinStyle == JoinBevel ? 2 : 0;
    Tcl_AppendResult(interp, caps[cap], joins[join], nullptr);
    if (gcanvasPsOutline(canvas, item, &l->outline) != TCL_OK) {
        return TCL_ERROR;
    }
    const double *in = l->coords;
    for (int p = 0; p < l->numParts; p++) {
        if (l->partCounts[p] == 1) {
            if (stipple != None) {
                Tcl_AppendResult(interp, "grestore gsave\n", nullptr);
            }
            if (gcanvasPsDot(interp, canvas, in, width, colour, stipple) != TCL_OK) {
                return TCL_ERROR;
            }
        }
        in += 2 * l->partCounts[p];
        for (bool first : {true, false}) {
            const double *arrow = arrowOf(l, p, first);
            if (arrow == nullptr) {
                continue;
            }
            if (stipple != None) {
                Tcl_AppendResult(interp, "grestore gsave\n", nullptr);
            }
            if (gcanvasPsPath(interp, canvas, arrow, 6) != TCL_OK ||
                gcanvasPsFill(interp, canvas, colour, stipple) != TCL_OK) {
                return TCL_ERROR;
            }
        }
    }
    return TCL_OK;
}

/* ---- moving ---- */

void lineScale(GcanvasWidget *canvas, GcanvasItem *item, double originX, double originY, double scaleX, double scaleY)
{
    LineItem *l = asLine(item);
    dropArrows(l);
    for (int i = 0; i < l->numPoints; i++) {
        l->coords[2 * i] = (l->coords[2 * i] - originX) * scaleX + originX;
        l->coords[2 * i + 1] = (l->coords[2 * i + 1] - originY) * scaleY + originY;
    }
    buildArrows(canvas, l);
    lineBbox(canvas, item);
}

void lineTranslate(GcanvasWidget *canvas, GcanvasItem *item, double dx, double dy)
{
    LineItem *l = asLine(item);
    translatePoints(l->coords, dx, dy, l->numPoints);
    for (double *arrows : {l->firstArrows, l->lastArrows}) {
        if (arrows != nullptr) {
            translatePoints(arrows, dx, dy, 6 * l->numParts);
        }
    }
    lineBbox(canvas, item);
}

/* The points and the arrowheads (which hold the ends the arrows cut). */
int lineExtent(GcanvasItem *item, double *box)
{
    LineItem *l = asLine(item);
    if (l->coords == nullptr || l->numPoints == 0) {
        return 0;
    }
    pointsBBox(l->coords, l->numPoints, box);
    for (const double *arrows : {l->firstArrows, l->lastArrows}) {
        if (arrows != nullptr) {
            double more[4];
            pointsBBox(arrows, kArrowValues / 2 * l->numParts, more);
            box[0] = std::min(box[0], more[0]);
            box[1] = std::min(box[1], more[1]);
            box[2] = std::max(box[2], more[2]);
            box[3] = std::max(box[3], more[3]);
        }
    }
    return 1;
}

/* ---- editing by vertex ---- */

int badIndex(Tcl_Interp *interp, const char *word)
{
    Tcl_AppendResult(interp, "bad index \"", word, "\"", nullptr);
    return TCL_ERROR;
}

int lineIndex(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, Tcl_Obj *obj, int *indexPtr)
{
    LineItem *l = asLine(item);
    int length;
    const char *word = Tcl_GetStringFromObj(obj, &length);
    if (length > 0 && std::strncmp(word, "end", static_cast<size_t>(length)) == 0) {
        *indexPtr = 2 * l->numPoints;
        return TCL_OK;
    }
    if (word[0] == '@') {
        double x, y;
        if (!gcanvasParseAtPoint(word, &x, &y)) {
            return badIndex(interp, word);
        }
        double best = kFar;
        *indexPtr = 0;
        int start = 0;
        for (int p = 0; p < l->numParts; p++) {
            int n = l->partCounts[p];
            for (int i = start; i < start + n; i++) {
                const double *q = l->coords + 2 * static_cast<size_t>(i);
                if (i == start && arrowOf(l, p, true) != nullptr) {
                    q = arrowOf(l, p, true);
                } else if (i == start + n - 1 && arrowOf(l, p, false) != nullptr) {
                    q = arrowOf(l, p, false);
                }
                double d = std::hypot((q[0] - x) * canvas->mx, (q[1] - y) * canvas->my);
                if (d < best) {
                    best = d;
                    *indexPtr = 2 * i;
                }
            }
            start += n;
        }
        return TCL_OK;
    }
    int index;
    if (Tcl_GetIntFromObj(nullptr, obj, &index) != TCL_OK) {
        return badIndex(interp, word);
    }
    index &= ~1;
    *indexPtr = std::clamp(index, 0, 2 * l->numPoints);
    return TCL_OK;
}

/* Widens box (world units) by the points lo..hi (clamped to the line)
 * and by the arrowheads of the part ends among them. */
void includeRange(const LineItem *l, int lo, int hi, double *box)
{
    lo = std::max(lo, 0);
    hi = std::min(hi, l->numPoints - 1);
    auto include = [box](const double *p, int n) {
        for (int i = 0; i < n; i++) {
            box[0] = std::min(box[0], p[2 * i]);
            box[1] = std::min(box[1], p[2 * i + 1]);
            box[2] = std::max(box[2], p[2 * i]);
            box[3] = std::max(box[3], p[2 * i + 1]);
        }
    };
    if (lo > hi) {
        return;
    }
    include(l->coords + 2 * lo, hi - lo + 1);
    int start = 0;
    for (int p = 0; p < l->numParts; p++) {
        int end = start + l->partCounts[p] - 1;
        const double *first = arrowOf(l, p, true), *last = arrowOf(l, p, false);
        if (first != nullptr && start >= lo && start <= hi) {
            include(first, 6);
        }
        if (last != nullptr && end >= lo && end <= hi) {
            include(last, 6);
        }
        start = end + 1;
    }
}

/* An edit redraws only what it changed: box (world units, the old and
 * new points around the edit with their arrowheads) widened by the line
 * width; the widget's redraw of the whole item is then skipped. */
void redrawEdit(GcanvasWidget *canvas, LineItem *l, const double *box)
{
    if (box[0] > box[2] || box[1] > box[3]) {
        return;
    }
    double c[4];
    worldRectToCanvas(canvas, box[0], box[1], box[2], box[3], c);
    int reach = std::max(gcanvasTruncToInt(gcanvasChosenWidth(canvas, &l->header, l->outline) + 0.5), 1);
    l->header.redrawFlags |= GCANVAS_ITEM_DONT_REDRAW;
    gcanvasEventuallyRedraw(canvas, c[0] - reach, c[1] - reach, c[2] + reach, c[3] + reach, 1);
}

void lineInsert(GcanvasWidget *canvas, GcanvasItem *item, int before, Tcl_Obj *obj)
{
    LineItem *l = asLine(item);
    int objc;
    Tcl_Obj **objv;
    if (Tcl_ListObjGetElements(nullptr, obj, &objc, &objv) != TCL_OK || objc == 0 || objc % 2 != 0) {
        return;
    }
    std::vector<double> values(static_cast<size_t>(objc));
    /* Any word that is not a finite plain number leaves the item as it is. */
    for (int i = 0; i < objc; i++) {
        if (cGetDoubleFromObj(nullptr, objv[i], &values[i]) != TCL_OK || !std::isfinite(values[i])) {
            Tcl_ResetResult(canvas->interp);
            return;
        }
    }
    before = std::clamp(before, 0, 2 * l->numPoints) & ~1;
    size_t newValues = 2 * static_cast<size_t>(l->numPoints) + static_cast<size_t>(objc);
    auto *coords = static_cast<double *>(gmemAlloc(sizeof(double) * newValues));
    if (coords == nullptr) {
        return;
    }
    /* Points the edit touches: the new ones and their neighbours, one a
     * side (two when smoothed). */
    int reach = l->smooth != nullptr ? 2 : 1;
    int at = before / 2, added = objc / 2;
    bool selfRedraw = l->numPoints >= 2 && !gcanvasItemHidden(canvas, item);
    double box[4] = {HUGE_VAL, HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    if (selfRedraw) {
        includeRange(l, at - reach, at - 1 + reach, box);
    }
    if (l->numParts == 0) {
        auto *counts = static_cast<int *>(gmemAlloc(sizeof(int)));
        if (counts == nullptr) {
            gmemFree(coords);
            return;
        }
        counts[0] = 0;
        gmemFree(l->partCounts);
        l->partCounts = counts;
        l->numParts = 1;
    }
    dropArrows(l);
    std::copy(l->coords, l->coords + before, coords);
    std::copy(values.begin(), values.end(), coords + before);
    std::copy(l->coords + before, l->coords + 2 * l->numPoints, coords + before + objc);
    int part = partIndexOfPoint(before / 2, l->partCounts, l->numParts);
    l->partCounts[part] += objc / 2;
    gmemFree(l->coords);
    l->coords = coords;
    l->numPoints += added;
    buildArrows(canvas, l);
    lineBbox(canvas, item);
    if (selfRedraw) {
        includeRange(l, at - reach, at + added - 1 + reach, box);
        redrawEdit(canvas, l, box);
    }
}

void redrawPart(GcanvasWidget *canvas, LineItem *l, int p);

void lineDeleteCoords(GcanvasWidget *canvas, GcanvasItem *item, int first, int last)
{
    LineItem *l = asLine(item);
    first = std::max(first, 0) & ~1;
    last = std::min(last & ~1, 2 * l->numPoints - 2);
    if (first > last) {
        return;
    }
    int reach = l->smooth != nullptr ? 2 : 1;
    double box[4] = {HUGE_VAL, HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    bool selfRedraw = !gcanvasItemHidden(canvas, item);
    if (selfRedraw) {
        includeRange(l, first / 2 - reach, last / 2 + reach, box);
    }
    /* The highlighted part's old area is drawn again without it (the
     * part numbers change), and so is that of a part switched off whose
     * redraw is still owed. */
    for (int part : {l->highlight.lit, l->highlight.unlit}) {
        if (part >= 0 && part < l->numParts) {
            redrawPart(canvas, l, part);
        }
    }
    gcanvasCancelPartHighlight(&l->highlight);
    dropArrows(l);
    /* Each removed point leaves its part; emptied parts go. */
    std::vector<int> removed(static_cast<size_t>(l->numParts), 0);
    int start = 0;
    for (int p = 0; p < l->numParts; p++) {
        int lo = std::max(start, first / 2), hi = std::min(start + l->partCounts[p] - 1, last / 2);
        removed[p] = std::max(hi - lo + 1, 0);
        start += l->partCounts[p];
    }
    int kept = 0;
    for (int p = 0; p < l->numParts; p++) {
        int n = l->partCounts[p] - removed[p];
        if (n > 0) {
            l->partCounts[kept++] = n;
        }
    }
    l->numParts = kept;
    std::copy(l->coords + last + 2, l->coords + 2 * l->numPoints, l->coords + first);
    l->numPoints -= (last - first) / 2 + 1;
    l->pointerComponent = l->highlight.lit = -1;
    buildArrows(canvas, l);
    lineBbox(canvas, item);
    if (selfRedraw) {
        includeRange(l, first / 2 - reach, first / 2 - 1 + reach, box);
        redrawEdit(canvas, l, box);
    }
}

/* ---- what assemble and the component search read ---- */

/* The points as given (with arrowheads on, a copy with the ends put
 * back, valid until the next call). */
double *lineGetCoords(GcanvasItem *item, int *count)
{
    LineItem *l = asLine(item);
    *count = l->numPoints;
    if (l->firstArrows == nullptr && l->lastArrows == nullptr) {
        return l->coords;
    }
    static thread_local std::vector<double> given;
    givenPoints(l, given);
    return given.data();
}

int *lineGetParts(GcanvasItem *item, int *count)
{
    LineItem *l = asLine(item);
    *count = l->numParts;
    return l->partCounts;
}

int lineGetComponent(GcanvasItem *item)
{
    return asLine(item)->pointerComponent;
}

/* Redraws part p's area; a one-part line redraws its whole box. */
void redrawPart(GcanvasWidget *canvas, LineItem *l, int p)
{
    GcanvasItem *item = &l->header;
    if (l->numParts <= 1 || item->floating) {
        gcanvasEventuallyRedraw(canvas, item->x1, item->y1, item->x2, item->y2, 1);
        return;
    }
    double box[4];
    pointsBBox(l->coords + 2 * partStart(l, p), l->partCounts[p], box);
    for (bool first : {true, false}) {
        if (const double *arrow = arrowOf(l, p, first)) {
            double a[4];
            pointsBBox(arrow, 6, a);
            box[0] = std::min(box[0], a[0]);
            box[1] = std::min(box[1], a[1]);
            box[2] = std::max(box[2], a[2]);
            box[3] = std::max(box[3], a[3]);
        }
    }
    double c[4];
    worldRectToCanvas(canvas, box[0], box[1], box[2], box[3], c);
    double reach = item->xPad;
    gcanvasEventuallyRedraw(canvas, c[0] - reach, c[1] - reach, c[2] + reach, c[3] + reach, 1);
}

/* The highlight's redraw of part p; numbers that name no part are let be. */
void redrawLitPart(GcanvasWidget *canvas, GcanvasItem *item, int p)
{
    LineItem *l = asLine(item);
    if (p >= 0 && p < l->numParts) {
        redrawPart(canvas, l, p);
    }
}

void lineHighlightComponent(GcanvasWidget *, GcanvasItem *item, int on)
{
    LineItem *l = asLine(item);
    int p = l->pointerComponent;
    gcanvasSwitchPartHighlight(&l->highlight, on, p >= 0 && p < l->numParts ? p : -1);
}

/* ---- measures (world units, the points as given) ---- */

double lineLength(GcanvasWidget *, GcanvasItem *item)
{
    LineItem *l = asLine(item);
    std::vector<double> given;
    givenPoints(l, given);
    double sum = 0;
    const double *in = given.data();
    for (int p = 0; p < l->numParts; p++) {
        sum += polylineLength(in, l->partCounts[p]);
        in += 2 * l->partCounts[p];
    }
    return sum;
}

double lineCentroid(GcanvasWidget *, GcanvasItem *item, double *x, double *y)
{
    LineItem *l = asLine(item);
    std::vector<double> given;
    givenPoints(l, given);
    *x = *y = 0;
    if (l->numPoints > 0) {
        pointsMean(given.data(), l->numPoints, x, y);
    }
    return 0.0;
}

/* Reads given point index (an end an arrowhead moved reads its tip) for
 * the shared angle routines; the part last found is kept, so a walk along
 * one part looks its part up once. */
struct GivenReader {
    const LineItem *line;
    int part, start; /* part holding the last point read, its first point */
};

void readGiven(const void *source, int index, double *xy)
{
    auto *r = static_cast<GivenReader *>(const_cast<void *>(source));
    const LineItem *l = r->line;
    if (index < r->start) {
        r->part = r->start = 0;
    }
    while (r->part < l->numParts - 1 && index >= r->start + l->partCounts[r->part]) {
        r->start += l->partCounts[r->part++];
    }
    const double *q = l->coords + 2 * static_cast<size_t>(index);
    const double *first = arrowOf(l, r->part, true), *last = arrowOf(l, r->part, false);
    if (index == r->start && first != nullptr) {
        q = first;
    } else if (index == r->start + l->partCounts[r->part] - 1 && last != nullptr) {
        q = last;
    }
    xy[0] = q[0];
    xy[1] = q[1];
}

double lineVertexAngle(GcanvasWidget *, GcanvasItem *item, int vertex)
{
    LineItem *l = asLine(item);
    GivenReader reader = {l, 0, 0};
    return gcanvasVertexAngle(&reader, readGiven, l->partCounts, l->numParts, l->numPoints, vertex);
}

double lineSegmentAngle(GcanvasWidget *, GcanvasItem *item, double position, double *x, double *y)
{
    LineItem *l = asLine(item);
    GivenReader reader = {l, 0, 0};
    return gcanvasSegmentWalk(&reader, readGiven, l->partCounts, l->numParts, position, x, y);
}

GcanvasItemType makeLineType()
{
    GcanvasItemType t;
    std::memset(&t, 0, sizeof t);
    t.name = "line";
    t.itemSize = sizeof(LineItem);
    t.createProc = lineCreate;
    t.configSpecs = configSpecs;
    t.configProc = lineConfigure;
    t.coordProc = lineCoords;
    t.deleteProc = lineDelete;
    t.displayProc = lineDisplay;
    t.alwaysRedraw = GCANVAS_TYPE_USES_OBJS;
    t.pointProc = lineToPoint;
    t.areaProc = lineToArea;
    t.postscriptProc = lineToPostscript;
    t.scaleProc = lineScale;
    t.translateProc = lineTranslate;
    t.extentProc = lineExtent;
    t.indexProc = lineIndex;
    t.insertProc = lineInsert;
    t.dCharsProc = lineDeleteCoords;
    t.bboxProc = lineBbox;
    t.createFromDescProc = lineCreateFromDesc;
    t.getCoordsProc = lineGetCoords;
    t.getPartsProc = lineGetParts;
    t.getComponentProc = lineGetComponent;
    t.highlightComponentProc = lineHighlightComponent;
    t.lengthProc = lineLength;
    t.centroidProc = lineCentroid;
    t.vertexAngleProc = lineVertexAngle;
    t.lineAngleProc = lineSegmentAngle;
    return t;
}

}  // namespace

GcanvasItemType gcanvasLineType = makeLineType();
