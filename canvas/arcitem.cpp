/*
 * arcitem.cpp --
 *
 *	The arc item of the geo canvas: a section of the ellipse inscribed in
 *	two world corners, from a start angle through an extent (degrees),
 *	drawn as a pie slice, a chord or an open arc, with a fill and an
 *	outline. The angles are kept as a script gives them, counter-clockwise
 *	from 3 o'clock with world y growing downwards; the signs of the world
 *	transform map them onto the screen so that an arc covers the same
 *	part of its ellipse at every -mx and -my. The end points and the edge
 *	polygons of thick outlines are canvas coordinates, recomputed with the
 *	bounding box. Registered as the type "arc".
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
#include "runtime/cnumber.h"
#include "tesk.h"
#include "tkInt.h"

namespace {

enum ArcStyle { PIESLICE_STYLE = 0, CHORD_STYLE = 1, ARC_STYLE = 2 };

/* Points of the edge polygons in outlinePolygon: the chord's edge, or
 * the pie slice's first radius followed by its second. */
constexpr int kChordPoints = 7;
constexpr int kPiePoints1 = 6;
constexpr int kPiePoints2 = 7;

constexpr double kPi = 3.141592653589793;

struct ArcItem {
    GcanvasItem header;
    GcanvasOutline outline;
    double bbox[4];            /* the oval's world corners, ordered */
    double start;              /* degrees, 0 <= start < 360 */
    double extent;             /* degrees, -360 < extent < 360 */
    double outlinePolygon[26]; /* canvas units: chord 7 points, or pie 6 + 7 */
    int numOutlinePoints;      /* 22 once computed, 0 before */
    Tk_TSOffset tsoffset;      /* -offset: fill stipple origin */
    XColor *fillColor, *activeFillColor, *disabledFillColor;
    Pixmap fillStipple, activeFillStipple, disabledFillStipple;
    int style;         /* ArcStyle */
    GC fillGC;         /* with the arc mode of the style; NULL: no fill */
    double center1[2]; /* canvas units: the arc's first point */
    double center2[2]; /* canvas units: its last point */
};

/* ---- options ---- */

const char *const kStyleNames[] = {"pieslice", "chord", "arc"};

int styleParse(ClientData, Tcl_Interp *interp, Tk_Window, const char *value, char *record, int offset)
{
    int *style = reinterpret_cast<int *>(record + offset);
    size_t length = value != nullptr ? std::strlen(value) : 0;
    if (length == 0) {
        *style = PIESLICE_STYLE;
        return TCL_OK;
    }
    for (int s : {ARC_STYLE, CHORD_STYLE, PIESLICE_STYLE}) {
        if (std::strncmp(value, kStyleNames[s], length) == 0) {
            *style = s;
            return TCL_OK;
        }
    }
    Tcl_AppendResult(interp, "bad -style option \"", value, "\": must be arc, chord, or pieslice", nullptr);
    *style = PIESLICE_STYLE;
    return TCL_ERROR;
}

const char *stylePrint(ClientData, Tk_Window, char *record, int offset, Tcl_FreeProc **)
{
    int style = *reinterpret_cast<int *>(record + offset);
    return kStyleNames[style >= 0 && style <= ARC_STYLE ? style : PIESLICE_STYLE];
}

/* An angle in degrees: any finite number. */
int angleParse(ClientData, Tcl_Interp *interp, Tk_Window, const char *value, char *record, int offset)
{
    double angle;
    if (cGetDouble(interp, value, &angle, cAllowInfinite) != TCL_OK) {
        return TCL_ERROR;
    }
    if (!std::isfinite(angle)) {
        Tcl_AppendResult(interp, "Invalid angle: \"", value, "\" must be finite", nullptr);
        return TCL_ERROR;
    }
    *reinterpret_cast<double *>(record + offset) = angle;
    return TCL_OK;
}

Tk_CustomOption styleOption = {styleParse, stylePrint, nullptr};
Tk_CustomOption angleOption = {angleParse, gcanvasDoublePrint, nullptr};

#define ARC_OPT(field) Tk_Offset(ArcItem, field)

std::vector<Tk_ConfigSpec> configSpecs = gcanvasFilledShapeSpecs<ArcItem>({
    {TK_CONFIG_CUSTOM, "-extent", nullptr, nullptr, "90", ARC_OPT(extent), TK_CONFIG_DONT_SET_DEFAULT, &angleOption},
    {TK_CONFIG_COLOR, "-fill", nullptr, nullptr, nullptr, ARC_OPT(fillColor), TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_CUSTOM, "-offset", nullptr, nullptr, "0,0", ARC_OPT(tsoffset), TK_CONFIG_DONT_SET_DEFAULT,
     &gcanvasOffsetOption},
    {TK_CONFIG_COLOR, "-outline", nullptr, nullptr, "black", ARC_OPT(outline.color), TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_COLOR, "-background", "background", "Background", nullptr, ARC_OPT(outline.background),
     TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_SYNONYM, "-bg", "background", nullptr, nullptr, 0, 0, nullptr},
    {TK_CONFIG_CUSTOM, "-outlineoffset", nullptr, nullptr, "0,0", ARC_OPT(outline.tsoffset), TK_CONFIG_DONT_SET_DEFAULT,
     &gcanvasOffsetOption},
    {TK_CONFIG_BITMAP, "-outlinestipple", nullptr, nullptr, nullptr, ARC_OPT(outline.stipple), TK_CONFIG_NULL_OK,
     nullptr},
    {TK_CONFIG_CUSTOM, "-start", nullptr, nullptr, "0", ARC_OPT(start), TK_CONFIG_DONT_SET_DEFAULT, &angleOption},
    {TK_CONFIG_CUSTOM, "-state", nullptr, nullptr, nullptr, ARC_OPT(header.state), TK_CONFIG_NULL_OK,
     &gcanvasItemStateOption},
    {TK_CONFIG_BITMAP, "-stipple", nullptr, nullptr, nullptr, ARC_OPT(fillStipple), TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_CUSTOM, "-style", nullptr, nullptr, nullptr, ARC_OPT(style), TK_CONFIG_DONT_SET_DEFAULT, &styleOption},
    {TK_CONFIG_CUSTOM, "-tags", nullptr, nullptr, nullptr, 0, TK_CONFIG_NULL_OK,
     const_cast<Tk_CustomOption *>(&gcanvasTagsOption)},
    {TK_CONFIG_CUSTOM, "-width", nullptr, nullptr, "1.0", ARC_OPT(outline.width), TK_CONFIG_DONT_SET_DEFAULT,
     &gcanvasPixelOption},
});

#undef ARC_OPT

/* ---- state-dependent choices ---- */

/* The width of the bounding box, the display and the hit tests: at least
 * 1, the active width when current and wider, the disabled width when
 * disabled and set. */
double chosenWidth(const GcanvasWidget *canvas, const ArcItem *a)
{
    double width = std::max(a->outline.width, 1.0);
    if (canvas->currentItem == &a->header) {
        if (a->outline.activeWidth > width) {
            width = a->outline.activeWidth;
        }
    } else if (gcanvasItemState(canvas, &a->header) == GCANVAS_STATE_DISABLED && a->outline.disabledWidth > 0) {
        width = a->outline.disabledWidth;
    }
    return width;
}

/* The number of dash lengths the outline draws with now; 0: solid. */
int chosenDashNumber(const GcanvasWidget *canvas, const ArcItem *a)
{
    const GcanvasOutline &o = a->outline;
    if (canvas->currentItem == &a->header) {
        if (o.activeDash.number != 0) {
            return o.activeDash.number;
        }
    } else if (gcanvasItemState(canvas, &a->header) == GCANVAS_STATE_DISABLED && o.disabledDash.number != 0) {
        return o.disabledDash.number;
    }
    return o.dash.number;
}

/* An angle less whole turns, keeping its sign: -400 gives -40. */
double lessTurns(double angle)
{
    return std::fmod(angle, 360.0);
}

/* An angle brought into 0 <= angle < 360. */
double intoTurn(double angle)
{
    angle = lessTurns(angle);
    return angle < 0 ? angle + 360 : angle;
}

/*
 * The angles the screen shows for the stored ones: a flipped axis mirrors
 * the arc (start and extent change sign, measured from the other side
 * for x), both flipped turn it half round. Start in 0 .. 360, extent
 * with its sign.
 */
void arcScreenAngles(const GcanvasWidget *canvas, const ArcItem *a, double *start, double *extent)
{
    double s = a->start, e = a->extent;
    if (canvas->my < 0 && canvas->mx < 0) {
        s += 180;
    } else if (canvas->my < 0) {
        s = -s;
        e = -e;
    } else if (canvas->mx < 0) {
        s = 180 - s;
        e = -e;
    }
    *start = gcanvasPlainZero(intoTurn(s));
    *extent = gcanvasPlainZero(lessTurns(e));
}

/* The oval in canvas units, ordered. */
void canvasOval(const GcanvasWidget *canvas, const ArcItem *a, double *oval)
{
    worldBBoxToCanvas(canvas, a->bbox, oval);
}

/* Whether the screen direction (degrees) lies inside the arc's range. */
bool directionInRange(double direction, double s, double e)
{
    double t = direction - s;
    if (t < 0) {
        t += 360;
    }
    return t < e || e < t - 360;
}

/* ---- derived geometry ---- */

/*
 * The arc's end points and, for chords and pie slices, the polygons of
 * their straight edges at the outline's width, in canvas units: the
 * chord's edge (7 points), or the two radii (6 and 7 points, the second
 * meeting the first in a butt joint at the centre). Each edge ends at the
 * point half a width outside the ellipse, along its normal.
 */
void arcComputeOutline(const GcanvasWidget *canvas, ArcItem *a)
{
    a->numOutlinePoints = 22;
    double *out = a->outlinePolygon;
    double oval[4], s, e;
    canvasOval(canvas, a, oval);
    arcScreenAngles(canvas, a, &s, &e);
    double boxWidth = oval[2] - oval[0], boxHeight = oval[3] - oval[1];
    double angle1 = -s * kPi / 180, angle2 = angle1 - e * kPi / 180;
    double sin1 = std::sin(angle1), cos1 = std::cos(angle1);
    double sin2 = std::sin(angle2), cos2 = std::cos(angle2);
    double vertex[2] = {(oval[0] + oval[2]) / 2, (oval[1] + oval[3]) / 2};
    a->center1[0] = vertex[0] + cos1 * boxWidth / 2;
    a->center1[1] = vertex[1] + sin1 * boxHeight / 2;
    a->center2[0] = vertex[0] + cos2 * boxWidth / 2;
    a->center2[1] = vertex[1] + sin2 * boxHeight / 2;

    double width = a->outline.width;
    if (canvas->currentItem == &a->header) {
        if (a->outline.activeWidth > width) {
            width = a->outline.activeWidth;
        }
    } else if (gcanvasItemState(canvas, &a->header) == GCANVAS_STATE_DISABLED && a->outline.disabledWidth > width) {
        width = a->outline.disabledWidth;
    }
    double half = width / 2;
    auto normal = [&](double sn, double cs) {
        double x = boxWidth * sn, y = boxHeight * cs;
        return x == 0 && y == 0 ? 0.0 : std::atan2(x, y);
    };
    double n1 = normal(sin1, cos1), n2 = normal(sin2, cos2);
    double corner1[2] = {a->center1[0] + std::cos(n1) * half, a->center1[1] + std::sin(n1) * half};
    double corner2[2] = {a->center2[0] + std::cos(n2) * half, a->center2[1] + std::sin(n2) * half};

    if (a->style == CHORD_STYLE) {
        out[0] = out[12] = corner1[0];
        out[1] = out[13] = corner1[1];
        TkGetButtPoints(a->center2, a->center1, width, 0, out + 10, out + 2);
        out[4] = a->center2[0] + out[2] - a->center1[0];
        out[5] = a->center2[1] + out[3] - a->center1[1];
        out[6] = corner2[0];
        out[7] = corner2[1];
        out[8] = a->center2[0] + out[10] - a->center1[0];
        out[9] = a->center2[1] + out[11] - a->center1[1];
    } else if (a->style == PIESLICE_STYLE) {
        /* The first radius: from the centre's butt points out to center1,
         * then the corner. */
        TkGetButtPoints(a->center1, vertex, width, 0, out, out + 2);
        out[4] = a->center1[0] + out[2] - vertex[0];
        out[5] = a->center1[1] + out[3] - vertex[1];
        out[6] = corner1[0];
        out[7] = corner1[1];
        out[8] = a->center1[0] + out[0] - vertex[0];
        out[9] = a->center1[1] + out[1] - vertex[1];
        out[10] = out[0];
        out[11] = out[1];
        /* The second radius, with a jog through one of the first one's
         * butt points at the centre so that the two meet without a gap. */
        TkGetButtPoints(a->center2, vertex, width, 0, out + 12, out + 16);
        if (e > 180 || (e < 0 && e > -180)) {
            out[14] = out[0];
            out[15] = out[1];
        } else {
            out[14] = out[2];
            out[15] = out[3];
        }
        out[18] = a->center2[0] + out[16] - vertex[0];
        out[19] = a->center2[1] + out[17] - vertex[1];
        out[20] = corner2[0];
        out[21] = corner2[1];
        out[22] = a->center2[0] + out[12] - vertex[0];
        out[23] = a->center2[1] + out[13] - vertex[1];
        out[24] = out[12];
        out[25] = out[13];
    }
}

void arcBbox(GcanvasWidget *canvas, GcanvasItem *item)
{
    auto *a = reinterpret_cast<ArcItem *>(item);
    gcanvasMarkIndexStale(canvas);
    if (gcanvasItemState(canvas, item) == GCANVAS_STATE_HIDDEN) {
        item->x1 = item->y1 = item->x2 = item->y2 = -1;
        return;
    }
    double width = chosenWidth(canvas, a);
    double *b = a->bbox;
    if (b[1] > b[3]) {
        std::swap(b[1], b[3]);
    }
    if (b[0] > b[2]) {
        std::swap(b[0], b[2]);
    }
    arcComputeOutline(canvas, a);
    double oval[4], s, e;
    canvasOval(canvas, a, oval);
    arcScreenAngles(canvas, a, &s, &e);
    double cx = (oval[0] + oval[2]) / 2, cy = (oval[1] + oval[3]) / 2;

    item->x1 = item->x2 = roundToInt(a->center1[0]);
    item->y1 = item->y2 = roundToInt(a->center1[1]);
    itemBBoxIncludePoint(canvas, item, a->center2);
    if (a->style == PIESLICE_STYLE) {
        itemBBoxIncludeXY(canvas, item, cx, cy);
    }
    const double extremes[4][3] = {{0, oval[2], cy}, {90, cx, oval[1]}, {180, oval[0], cy}, {270, cx, oval[3]}};
    for (const auto &x : extremes) {
        if (directionInRange(x[0], s, e)) {
            itemBBoxIncludeXY(canvas, item, x[1], x[2]);
        }
    }
    double margin = a->outline.gc != nullptr ? roundToInt(width + 1.5) : 1;
    item->x1 -= margin;
    item->y1 -= margin;
    item->x2 += margin;
    item->y2 += margin;
}

/* ---- creation and options ---- */

int arcCoords(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int objc, Tcl_Obj *const objv[])
{
    auto *a = reinterpret_cast<ArcItem *>(item);
    if (objc == 0) {
        Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
        for (double v : a->bbox) {
            Tcl_ListObjAppendElement(nullptr, list, Tcl_NewDoubleObj(gcanvasPlainZero(v)));
        }
        Tcl_SetObjResult(interp, list);
        return TCL_OK;
    }
    char text[80];
    if (objc == 1) {
        if (Tcl_ListObjGetElements(interp, objv[0], &objc, const_cast<Tcl_Obj ***>(&objv)) != TCL_OK) {
            return TCL_ERROR;
        }
        if (objc != 4) {
            std::snprintf(text, sizeof text, "wrong # coordinates: expected 4, got %d", objc);
            Tcl_SetObjResult(interp, Tcl_NewStringObj(text, -1));
            return TCL_ERROR;
        }
    } else if (objc != 4) {
        std::snprintf(text, sizeof text, "wrong # coordinates: expected 0 or 4, got %d", objc);
        Tcl_SetObjResult(interp, Tcl_NewStringObj(text, -1));
        return TCL_ERROR;
    }
    /* All four or none: a bad word leaves the arc where it was. */
    double corners[4];
    for (int i = 0; i < 4; i++) {
        if (gcanvasGetCoordFromObj(interp, canvas, objv[i], &corners[i]) != TCL_OK) {
            return TCL_ERROR;
        }
    }
    std::copy(corners, corners + 4, a->bbox);
    arcBbox(canvas, item);
    return TCL_OK;
}

int arcConfigure(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int objc, Tcl_Obj *const objv[],
                 int flags)
{
    auto *a = reinterpret_cast<ArcItem *>(item);
    if (gcanvasConfigureRecord(interp, canvas, configSpecs.data(), a, objc, objv, flags) != TCL_OK) {
        return TCL_ERROR;
    }
    gcanvasMarkFilledStateDependant(a);
    gcanvasAnchorOffset(&a->outline.tsoffset, a->bbox);

    a->start = intoTurn(a->start);
    a->extent = lessTurns(a->extent);

    XGCValues values;
    unsigned long mask = gcanvasConfigOutlineGC(&values, canvas, item, &a->outline);
    GC gc = nullptr;
    if (mask != 0) {
        values.cap_style = CapButt;
        mask |= GCCapStyle;
        gc = gcanvasGetGC(canvas->tkwin, mask, &values);
    }
    gcanvasFreeGC(canvas->display, a->outline.gc);
    a->outline.gc = gc;

    if (gcanvasItemState(canvas, item) != GCANVAS_STATE_HIDDEN) {
        /* An open arc has no fill; the others fill with their arc mode. */
        values.arc_mode = a->style == CHORD_STYLE ? ArcChord : ArcPieSlice;
        gcanvasSetFillGC(canvas, a, &values, GCArcMode, a->style != ARC_STYLE);
        gcanvasAnchorOffset(&a->tsoffset, a->bbox);
    }
    arcBbox(canvas, item);
    return TCL_OK;
}

void arcDelete(GcanvasWidget *, GcanvasItem *item, Display *display)
{
    gcanvasFreeFilledShape(display, reinterpret_cast<ArcItem *>(item));
}

int arcCreate(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int objc, Tcl_Obj *const objv[])
{
    auto *a = reinterpret_cast<ArcItem *>(item);
    int coords = gcanvasCornerCoordWords(interp, canvas, item, objc, objv);
    if (coords < 0) {
        return TCL_ERROR;
    }
    gcanvasInitFilledShape(a);
    a->start = 0;
    a->extent = 90;
    a->numOutlinePoints = 0;
    a->style = PIESLICE_STYLE;
    if (arcCoords(interp, canvas, item, coords, objv) != TCL_OK ||
        arcConfigure(interp, canvas, item, objc - coords, objv + coords, 0) != TCL_OK) {
        arcDelete(canvas, item, canvas->display);
        return TCL_ERROR;
    }
    return TCL_OK;
}

/* ---- display ---- */

void arcDisplay(GcanvasWidget *canvas, GcanvasItem *item, Display *display, Drawable drawable, int, int, int, int)
{
    auto *a = reinterpret_cast<ArcItem *>(item);
    if (drawable == None) {
        return;
    }
    double width = chosenWidth(canvas, a);
    int dashNumber = chosenDashNumber(canvas, a);
    Pixmap stipple = gcanvasChosenFillStipple(canvas, a);

    double oval[4];
    canvasOval(canvas, a, oval);
    int x1 = gcanvasDrawableCoord(canvas->drawableXOrigin, oval[0]);
    int y1 = gcanvasDrawableCoord(canvas->drawableYOrigin, oval[1]);
    int x2 = gcanvasDrawableCoord(canvas->drawableXOrigin, oval[2]);
    int y2 = gcanvasDrawableCoord(canvas->drawableYOrigin, oval[3]);
    if (x1 > x2) {
        std::swap(x1, x2);
    }
    if (y1 > y2) {
        std::swap(y1, y2);
    }
    x2 = std::max(x2, x1 + 1);
    y2 = std::max(y2, y1 + 1);
    double s, e;
    arcScreenAngles(canvas, a, &s, &e);
    int start64 = roundToInt(64 * s), extent64 = roundToInt(64 * e);

    unsigned w = static_cast<unsigned>(x2 - x1), h = static_cast<unsigned>(y2 - y1);
    if (a->fillGC != nullptr && extent64 != 0) {
        if (stipple != None) {
            gcanvasSetFillStippleOffset(canvas, a->fillGC, stipple, &a->tsoffset);
        }
        /* The fill GC carries the style's arc mode. */
        XFillArc(display, drawable, a->fillGC, x1, y1, w, h, start64, extent64);
        if (stipple != None) {
            XSetTSOrigin(display, a->fillGC, 0, 0);
        }
    }
    if (a->outline.gc != nullptr) {
        GC gc = a->outline.gc;
        gcanvasChangeOutlineGC(canvas, item, &a->outline);
        if (extent64 != 0) {
            XDrawArc(display, drawable, gc, x1, y1, w, h, start64, extent64);
        }
        /* Thin or dashed edges are lines; polygons would show their
         * corners. */
        if (width < 1.5 || dashNumber != 0) {
            auto segment = [&](const double *p1, const double *p2) {
                XDrawLine(display, drawable, gc, gcanvasDrawableCoord(canvas->drawableXOrigin, p1[0]),
                          gcanvasDrawableCoord(canvas->drawableYOrigin, p1[1]),
                          gcanvasDrawableCoord(canvas->drawableXOrigin, p2[0]),
                          gcanvasDrawableCoord(canvas->drawableYOrigin, p2[1]));
            };
            if (a->style == CHORD_STYLE) {
                segment(a->center1, a->center2);
            } else if (a->style == PIESLICE_STYLE) {
                double centre[2] = {(oval[0] + oval[2]) / 2, (oval[1] + oval[3]) / 2};
                segment(centre, a->center1);
                segment(centre, a->center2);
            }
        } else if (a->style == CHORD_STYLE) {
            gcanvasFillPolygon(canvas, a->outlinePolygon, kChordPoints, display, drawable, gc, nullptr, 1);
        } else if (a->style == PIESLICE_STYLE) {
            gcanvasFillPolygon(canvas, a->outlinePolygon, kPiePoints1, display, drawable, gc, nullptr, 1);
            gcanvasFillPolygon(canvas, a->outlinePolygon + 2 * kPiePoints1, kPiePoints2, display, drawable, gc, nullptr,
                               1);
        }
        gcanvasResetOutlineGC(canvas, item, &a->outline);
    }
}

/* ---- hit tests (canvas units) ---- */

double distance(const double *p, const double *q)
{
    return std::hypot(p[0] - q[0], p[1] - q[1]);
}

double arcToPoint(GcanvasWidget *canvas, GcanvasItem *item, double *point)
{
    auto *a = reinterpret_cast<ArcItem *>(item);
    double width = chosenWidth(canvas, a);
    double oval[4], s, e;
    canvasOval(canvas, a, oval);
    arcScreenAngles(canvas, a, &s, &e);
    double vertex[2] = {(oval[0] + oval[2]) / 2, (oval[1] + oval[3]) / 2};

    /* The point's angle on the ellipse (screen angles run counter-clockwise
     * while y grows downwards). */
    double t1 = oval[3] - oval[1], t2 = oval[2] - oval[0];
    if (t1 != 0) {
        t1 = (point[1] - vertex[1]) / t1;
    }
    if (t2 != 0) {
        t2 = (point[0] - vertex[0]) / t2;
    }
    double pointAngle = t1 == 0 && t2 == 0 ? 0 : -std::atan2(t1, t2) * 180 / kPi;
    double diff = intoTurn(pointAngle - s);
    bool inRange = diff <= e || (e < 0 && diff - 360 >= e);

    if (a->style == ARC_STYLE) {
        if (inRange) {
            return ovalToPointScaled(1, 1, oval, width, 0, point);
        }
        return std::min(distance(point, a->center1), distance(point, a->center2));
    }
    int filled = a->fillGC != nullptr || a->outline.gc == nullptr;
    if (a->outline.gc == nullptr) {
        width = 0;
    }
    double *edges = a->outlinePolygon;
    if (a->style == PIESLICE_STYLE) {
        double dist;
        if (width > 1) {
            dist = std::min(TkPolygonToPoint(edges, kPiePoints1, point),
                            TkPolygonToPoint(edges + 2 * kPiePoints1, kPiePoints2, point));
        } else {
            dist = std::min(segmentDistanceScaled(1, 1, vertex, a->center1, point),
                            segmentDistanceScaled(1, 1, vertex, a->center2, point));
        }
        if (inRange) {
            dist = std::min(dist, ovalToPointScaled(1, 1, oval, width, filled, point));
        }
        return dist;
    }
    /* A chord: the triangle between the centre and the two end points is
     * left out of a small arc and belongs to a large one. */
    double dist = width > 1 ? TkPolygonToPoint(edges, kChordPoints, point)
                            : segmentDistanceScaled(1, 1, a->center1, a->center2, point);
    double triangle[8] = {vertex[0],     vertex[1],     a->center1[0], a->center1[1],
                          a->center2[0], a->center2[1], vertex[0],     vertex[1]};
    double triangleDist = TkPolygonToPoint(triangle, 4, point);
    bool large = e < -180 || e > 180;
    if (inRange) {
        if (large || triangleDist > 0) {
            dist = std::min(dist, ovalToPointScaled(1, 1, oval, width, filled, point));
        }
    } else if (large && filled && triangleDist < dist) {
        dist = triangleDist;
    }
    return dist;
}

/* Whether the point (x, y), relative to the oval's centre, lies in the
 * arc's range of screen angles. */
bool arcAngleInRange(double x, double y, double start, double extent)
{
    if (x == 0 && y == 0) {
        return true;
    }
    double t = -std::atan2(y, x) * 57.29577951308232 - start;
    while (t > 360) {
        t -= 360;
    }
    while (t < 0) {
        t += 360;
    }
    return extent >= 0 ? t <= extent : t - 360 >= extent;
}

/* Whether the horizontal segment x1..x2 at y crosses the arc of the
 * ellipse of radii rx, ry about the origin. */
bool arcHorizLineToArc(double x1, double x2, double y, double rx, double ry, double start, double extent)
{
    double ty = y / ry;
    double rest = 1 - ty * ty;
    if (rest < 0) {
        return false;
    }
    double tx = std::sqrt(rest);
    double x = tx * rx;
    return (x >= x1 && x <= x2 && arcAngleInRange(tx, ty, start, extent)) ||
           (-x >= x1 && -x <= x2 && arcAngleInRange(-tx, ty, start, extent));
}

/* The same for the vertical segment y1..y2 at x. */
bool arcVertLineToArc(double x, double y1, double y2, double rx, double ry, double start, double extent)
{
    double tx = x / rx;
    double rest = 1 - tx * tx;
    if (rest < 0) {
        return false;
    }
    double ty = std::sqrt(rest);
    double y = ty * ry;
    return (y >= y1 && y <= y2 && arcAngleInRange(tx, ty, start, extent)) ||
           (-y >= y1 && -y <= y2 && arcAngleInRange(tx, -ty, start, extent));
}

/* Whether any side of the area (relative to the centre) crosses the arc
 * on the ellipse of radii rx, ry. */
bool sidesCrossArc(const double *r, double rx, double ry, double s, double e)
{
    return arcHorizLineToArc(r[0], r[2], r[1], rx, ry, s, e) || arcHorizLineToArc(r[0], r[2], r[3], rx, ry, s, e) ||
           arcVertLineToArc(r[0], r[1], r[3], rx, ry, s, e) || arcVertLineToArc(r[2], r[1], r[3], rx, ry, s, e);
}

int arcToArea(GcanvasWidget *canvas, GcanvasItem *item, double *area)
{
    auto *a = reinterpret_cast<ArcItem *>(item);
    double width = chosenWidth(canvas, a);
    int filled = a->fillGC != nullptr || a->outline.gc == nullptr;
    if (a->outline.gc == nullptr) {
        width = 0;
    }
    double oval[4], s, e;
    canvasOval(canvas, a, oval);
    arcScreenAngles(canvas, a, &s, &e);
    double centre[2] = {(oval[0] + oval[2]) / 2, (oval[1] + oval[3]) / 2};
    double r[4] = {area[0] - centre[0], area[1] - centre[1], area[2] - centre[0], area[3] - centre[1]};
    double rx = oval[2] - centre[0] + width / 2, ry = oval[3] - centre[1] + width / 2;

    /* The extreme points: both ends, the centre of a pie slice below a
     * half turn, and the 3, 12, 9 and 6 o'clock points inside the range. */
    double points[14];
    int n = 0;
    double angle = -s * kPi / 180;
    points[n++] = rx * std::cos(angle);
    points[n++] = ry * std::sin(angle);
    angle -= e * kPi / 180;
    points[n++] = rx * std::cos(angle);
    points[n++] = ry * std::sin(angle);
    if (a->style == PIESLICE_STYLE && e < 180) {
        points[n++] = 0;
        points[n++] = 0;
    }
    const double extremes[4][3] = {{0, rx, 0}, {90, 0, -ry}, {180, -rx, 0}, {270, 0, ry}};
    for (const auto &x : extremes) {
        if (directionInRange(x[0], s, e)) {
            points[n++] = x[1];
            points[n++] = x[2];
        }
    }
    auto inside = [&](const double *p) { return p[0] > r[0] && p[0] < r[2] && p[1] > r[1] && p[1] < r[3]; };
    bool first = inside(points);
    for (int i = 2; i < n; i += 2) {
        if (inside(points + i) != first) {
            return 0;
        }
    }
    if (first) {
        return 1;
    }

    /* Every extreme point is outside: the straight edges, then the sides
     * of the area against the curve, may still meet the area. */
    double *edges = a->outlinePolygon;
    if (a->style == PIESLICE_STYLE) {
        if (width >= 1) {
            if (TkPolygonToArea(edges, kPiePoints1, area) != -1 ||
                TkPolygonToArea(edges + 2 * kPiePoints1, kPiePoints2, area) != -1) {
                return 0;
            }
        } else if (TkLineToArea(centre, a->center1, area) != -1 || TkLineToArea(centre, a->center2, area) != -1) {
            return 0;
        }
    } else if (a->style == CHORD_STYLE) {
        if (width >= 1) {
            if (TkPolygonToArea(edges, kChordPoints, area) != -1) {
                return 0;
            }
        } else if (TkLineToArea(a->center1, a->center2, area) != -1) {
            return 0;
        }
    }
    if (sidesCrossArc(r, rx, ry, s, e)) {
        return 0;
    }
    if (width > 1 && !filled && sidesCrossArc(r, rx - width, ry - width, s, e)) {
        return 0;
    }
    /* Clear of the outline: either wholly inside the arc or outside it. */
    return arcToPoint(canvas, item, area) == 0 ? 0 : -1;
}

/* ---- scale, translate ---- */

void arcScale(GcanvasWidget *canvas, GcanvasItem *item, double originX, double originY, double scaleX, double scaleY)
{
    auto *a = reinterpret_cast<ArcItem *>(item);
    for (int i = 0; i < 4; i += 2) {
        a->bbox[i] = (a->bbox[i] - originX) * scaleX + originX;
        a->bbox[i + 1] = (a->bbox[i + 1] - originY) * scaleY + originY;
    }
    arcBbox(canvas, item);
}

void arcTranslate(GcanvasWidget *canvas, GcanvasItem *item, double dx, double dy)
{
    auto *a = reinterpret_cast<ArcItem *>(item);
    a->bbox[0] += dx;
    a->bbox[2] += dx;
    a->bbox[1] += dy;
    a->bbox[3] += dy;
    arcBbox(canvas, item);
}

int arcExtent(GcanvasItem *item, double *box)
{
    auto *a = reinterpret_cast<ArcItem *>(item);
    pointsBBox(a->bbox, 2, box);
    return 1;
}

/* ---- PostScript ---- */

/*
 * The arc in PostScript, in canvas units: the filled slice or chord, the
 * curve's stroke, then the edges of a chord or pie slice as filled
 * polygons. PostScript's arc runs counter-clockwise, so a negative extent
 * is written from its end to its start.
 */
int arcToPostscript(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int prepass)
{
    auto *a = reinterpret_cast<ArcItem *>(item);
    if (prepass) {
        return TCL_OK;
    }
    double oval[4], s, e;
    canvasOval(canvas, a, oval);
    arcScreenAngles(canvas, a, &s, &e);
    double y1 = gcanvasPsY(canvas, oval[1]), y2 = gcanvasPsY(canvas, oval[3]);
    double angle1 = std::min(s, s + e), angle2 = std::max(s, s + e);
    char matrix[200], text[120];
    std::snprintf(matrix, sizeof matrix, "matrix currentmatrix\n%.15g %.15g translate %.15g %.15g scale\n",
                  (oval[0] + oval[2]) / 2, (y1 + y2) / 2, (oval[2] - oval[0]) / 2, (y1 - y2) / 2);

    XColor *outline = gcanvasChosen<XColor *>(canvas, item, a->outline.color, a->outline.activeColor,
                                              a->outline.disabledColor, nullptr);
    Pixmap outlineStipple = gcanvasChosen<Pixmap>(canvas, item, a->outline.stipple, a->outline.activeStipple,
                                                  a->outline.disabledStipple, None);
    XColor *fill = gcanvasChosenFillColor(canvas, a);
    Pixmap fillStipple = gcanvasChosenFillStipple(canvas, a);

    if (fill != nullptr && a->style != ARC_STYLE) {
        std::snprintf(text, sizeof text,
                      a->style == CHORD_STYLE ? "0 0 1 %.15g %.15g arc closepath\nsetmatrix\n"
                                              : "0 0 moveto 0 0 1 %.15g %.15g arc closepath\nsetmatrix\n",
                      angle1, angle2);
        Tcl_AppendResult(interp, matrix, text, nullptr);
        if (gcanvasPsColor(interp, canvas, fill) != TCL_OK) {
            return TCL_ERROR;
        }
        if (fillStipple != None) {
            Tcl_AppendResult(interp, "clip ", nullptr);
            if (gcanvasPsStipple(interp, canvas, fillStipple) != TCL_OK) {
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
        std::snprintf(text, sizeof text, "0 0 1 %.15g %.15g arc\nsetmatrix\n0 setlinecap\n", angle1, angle2);
        Tcl_AppendResult(interp, matrix, text, nullptr);
        if (gcanvasPsOutline(canvas, item, &a->outline) != TCL_OK) {
            return TCL_ERROR;
        }
        if (a->style != ARC_STYLE) {
            Tcl_AppendResult(interp, "grestore gsave\n", nullptr);
            if (a->style == CHORD_STYLE) {
                gcanvasPsCanvasPath(interp, canvas, a->outlinePolygon, kChordPoints);
            } else {
                gcanvasPsCanvasPath(interp, canvas, a->outlinePolygon, kPiePoints1);
                if (gcanvasPsFill(interp, canvas, outline, outlineStipple) != TCL_OK) {
                    return TCL_ERROR;
                }
                Tcl_AppendResult(interp, "grestore gsave\n", nullptr);
                gcanvasPsCanvasPath(interp, canvas, a->outlinePolygon + 2 * kPiePoints1, kPiePoints2);
            }
            if (gcanvasPsFill(interp, canvas, outline, outlineStipple) != TCL_OK) {
                return TCL_ERROR;
            }
        }
    }
    return TCL_OK;
}

GcanvasItemType makeType()
{
    GcanvasItemType t;
    std::memset(&t, 0, sizeof t);
    t.name = "arc";
    t.itemSize = sizeof(ArcItem);
    t.createProc = arcCreate;
    t.configSpecs = configSpecs.data();
    t.configProc = arcConfigure;
    t.coordProc = arcCoords;
    t.deleteProc = arcDelete;
    t.displayProc = arcDisplay;
    t.alwaysRedraw = GCANVAS_TYPE_USES_OBJS;
    t.pointProc = arcToPoint;
    t.areaProc = arcToArea;
    t.postscriptProc = arcToPostscript;
    t.scaleProc = arcScale;
    t.translateProc = arcTranslate;
    t.extentProc = arcExtent;
    t.bboxProc = arcBbox;
    return t;
}

}  // namespace

GcanvasItemType gcanvasArcType = makeType();
