/*
 * polygonitem.cpp --
 *
 *	The polygon item of the geo canvas: one or more rings (parts) in world
 *	coordinates, each closed by the item when its last point differs from
 *	its first, filled as one shape by the even-odd rule over all rings
 *	(holes stay empty, islands in holes are filled, whatever the rings'
 *	orientation), with an optional outline, smoothing, a highlighted ring
 *	(the component under the pointer), vertex editing with indices that
 *	wrap around, measures and PostScript. Also gcanvasFillPolygon, the
 *	fill of one small polygon that line arrowheads and arc shapes use.
 */
#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
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

constexpr double kInfinity = std::numeric_limits<double>::infinity();

struct PolygonItem {
    GcanvasItem header;
    int numPoints;        /* points of all rings, closing points included */
    int *partCounts;      /* numParts counts (closing points included), then
                           * numParts closed flags in the same allocation */
    int numParts;         /* rings */
    int pointsAllocated;  /* room in coords, points */
    double *coords;       /* 2 * numPoints world values, ring after ring */
    Tk_TSOffset tsoffset; /* -offset: fill stipple origin */
    XColor *fillColor, *activeFillColor, *disabledFillColor;
    Pixmap fillStipple, activeFillStipple, disabledFillStipple;
    GC fillGC; /* NULL without a fill colour */
    GcanvasOutline outline;
    int joinStyle;                     /* X join style */
    int splineSteps;                   /* 1..100 */
    const GcanvasSmoothMethod *smooth; /* NULL: not smoothed */
    int *closedFlags;                  /* 1: the ring's last point is a closing copy
                                        * the item added; inside partCounts */
    int pointerComponent;              /* ring found by the last point test, -1: none */
    GcanvasPartHighlight highlight;    /* the ring drawn in the highlight colour */
    XColor *highlightColor;            /* -highlightcolor */
    GC highlightGC;                    /* NULL without a highlight colour */
};

PolygonItem *asPolygon(GcanvasItem *item)
{
    return reinterpret_cast<PolygonItem *>(item);
}

#define PG_OPT(field) Tk_Offset(PolygonItem, field)

std::vector<Tk_ConfigSpec> configSpecs = gcanvasFilledShapeSpecs<PolygonItem>({
    {TK_CONFIG_COLOR, "-fill", nullptr, nullptr, "black", PG_OPT(fillColor), TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_INT, "-floating", nullptr, nullptr, "0", PG_OPT(header.floating), 0, nullptr},
    {TK_CONFIG_COLOR, "-highlightcolor", nullptr, nullptr, "yellow", PG_OPT(highlightColor), TK_CONFIG_NULL_OK,
     nullptr},
    {TK_CONFIG_COLOR, "-background", "background", "Background", nullptr, PG_OPT(outline.background), TK_CONFIG_NULL_OK,
     nullptr},
    {TK_CONFIG_SYNONYM, "-bg", "background", nullptr, nullptr, 0, 0, nullptr},
    {TK_CONFIG_JOIN_STYLE, "-joinstyle", nullptr, nullptr, "round", PG_OPT(joinStyle), TK_CONFIG_DONT_SET_DEFAULT,
     nullptr},
    {TK_CONFIG_CUSTOM, "-offset", nullptr, nullptr, "0,0", PG_OPT(tsoffset), TK_CONFIG_DONT_SET_DEFAULT,
     &gcanvasIndexOffsetOption},
    {TK_CONFIG_COLOR, "-outline", nullptr, nullptr, nullptr, PG_OPT(outline.color), TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_CUSTOM, "-outlineoffset", nullptr, nullptr, "0,0", PG_OPT(outline.tsoffset), TK_CONFIG_DONT_SET_DEFAULT,
     &gcanvasIndexOffsetOption},
    {TK_CONFIG_BITMAP, "-outlinestipple", nullptr, nullptr, nullptr, PG_OPT(outline.stipple), TK_CONFIG_NULL_OK,
     nullptr},
    {TK_CONFIG_CUSTOM, "-smooth", nullptr, nullptr, "0", PG_OPT(smooth), TK_CONFIG_DONT_SET_DEFAULT,
     const_cast<Tk_CustomOption *>(&gcanvasSmoothOption)},
    {TK_CONFIG_INT, "-splinesteps", nullptr, nullptr, "12", PG_OPT(splineSteps), TK_CONFIG_DONT_SET_DEFAULT, nullptr},
    {TK_CONFIG_CUSTOM, "-state", nullptr, nullptr, nullptr, PG_OPT(header.state), TK_CONFIG_NULL_OK,
     &gcanvasItemStateOption},
    {TK_CONFIG_BITMAP, "-stipple", nullptr, nullptr, nullptr, PG_OPT(fillStipple), TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_CUSTOM, "-tags", nullptr, nullptr, nullptr, 0, TK_CONFIG_NULL_OK,
     const_cast<Tk_CustomOption *>(&gcanvasTagsOption)},
    {TK_CONFIG_CUSTOM, "-width", nullptr, nullptr, "1.0", PG_OPT(outline.width), TK_CONFIG_DONT_SET_DEFAULT,
     &gcanvasPixelOption},
});

#undef PG_OPT

/* ---- the ring arrays ---- */

/* The rings as the user gave them: the points without the closing copies
 * the item added, ring after ring, and each ring's count. */
struct GivenRings {
    std::vector<double> points;
    std::vector<int> counts;
};

int givenCount(const PolygonItem *p, int ring)
{
    return p->partCounts[ring] - p->closedFlags[ring];
}

/* 2 x the given points of every ring: the index range of the editing
 * words. */
int givenValues(const PolygonItem *p)
{
    int n = 0;
    for (int i = 0; i < p->numParts; i++) {
        n += givenCount(p, i);
    }
    return 2 * n;
}

GivenRings givenRings(const PolygonItem *p)
{
    GivenRings g;
    const double *ring = p->coords;
    for (int i = 0; i < p->numParts; i++) {
        int n = givenCount(p, i);
        g.points.insert(g.points.end(), ring, ring + 2 * static_cast<size_t>(n));
        g.counts.push_back(n);
        ring += 2 * static_cast<size_t>(p->partCounts[i]);
    }
    return g;
}

void freeArrays(PolygonItem *p)
{
    gmemFree(p->coords);
    gmemFree(p->partCounts);
    p->coords = nullptr;
    p->partCounts = p->closedFlags = nullptr;
    p->numPoints = p->numParts = p->pointsAllocated = 0;
}

/*
 * Replaces the item's arrays by the given rings, each closed with a copy
 * of its first point when its last point differs from it (closed flag 1).
 * Empty rings are dropped. Answers false (the item unchanged) when memory
 * runs out.
 */
bool storeRings(PolygonItem *p, const GivenRings &g)
{
    int rings = 0;
    size_t given = 0;
    for (int c : g.counts) {
        rings += c > 0;
        given += static_cast<size_t>(std::max(c, 0));
    }
    if (rings == 0) {
        freeArrays(p);
        return true;
    }
    size_t room = given + static_cast<size_t>(rings);
    if (room > static_cast<size_t>(INT_MAX / 2)) {
        return false;
    }
    auto *coords = static_cast<double *>(gmemAlloc(2 * room * sizeof(double)));
    auto *counts = static_cast<int *>(gmemAlloc(2 * static_cast<size_t>(rings) * sizeof(int)));
    if (coords == nullptr || counts == nullptr) {
        gmemFree(coords);
        gmemFree(counts);
        return false;
    }
    int *flags = counts + rings;
    const double *in = g.points.data();
    double *out = coords;
    int k = 0, total = 0;
    for (int c : g.counts) {
        if (c <= 0) {
            continue;
        }
        std::copy(in, in + 2 * c, out);
        bool open = in[0] != in[2 * c - 2] || in[1] != in[2 * c - 1];
        out += 2 * c;
        if (open) {
            out[0] = in[0];
            out[1] = in[1];
            out += 2;
        }
        counts[k] = c + open;
        flags[k] = open;
        total += c + open;
        in += 2 * c;
        k++;
    }
    freeArrays(p);
    p->coords = coords;
    p->partCounts = counts;
    p->closedFlags = flags;
    p->numParts = rings;
    p->numPoints = total;
    p->pointsAllocated = static_cast<int>(room);
    if (p->pointerComponent >= rings) {
        p->pointerComponent = -1;
    }
    if (p->highlight.lit >= rings) {
        p->highlight.lit = -1;
    }
    return true;
}

/* ---- scratch buffers of the drawing and hit tests (Tk's one thread) ---- */

struct Scratch {
    std::vector<double> canvasPoints; /* rings in canvas units, smoothed */
    std::vector<int> counts;          /* points of each ring there */
    std::vector<double> work;         /* one ring before smoothing */
    std::vector<XPoint> xpoints;      /* drawable rings */
    std::vector<int> xcounts;         /* points of each drawable ring (0: clipped away) */
    std::vector<DrawablePoint> clipA, clipB;
};

Scratch &scratchBuffers()
{
    static Scratch s;
    return s;
}

/* Elements a scratch buffer keeps between uses; a larger one (a huge or
 * much smoothed polygon) is given back after the use. */
constexpr size_t kScratchKeep = 1 << 16;

template <typename T>
void trimBuffer(std::vector<T> &v)
{
    if (v.capacity() > kScratchKeep) {
        std::vector<T>().swap(v);
    }
}

/* The scratch buffers for the span of one call. */
class ScratchUse {
public:
    ScratchUse() : s_(scratchBuffers()) { depth()++; }
    ~ScratchUse()
    {
        if (--depth() > 0) {
            return;
        }
        trimBuffer(s_.canvasPoints);
        trimBuffer(s_.counts);
        trimBuffer(s_.work);
        trimBuffer(s_.xpoints);
        trimBuffer(s_.xcounts);
        trimBuffer(s_.clipA);
        trimBuffer(s_.clipB);
    }
    ScratchUse(const ScratchUse &) = delete;
    ScratchUse &operator=(const ScratchUse &) = delete;
    Scratch &get() { return s_; }

private:
    static int &depth()
    {
        static int d = 0;
        return d;
    }
    Scratch &s_;
};

/* The rings of the item in canvas units into s.canvasPoints and s.counts,
 * each smoothed when the item smooths. */
void canvasRings(const GcanvasWidget *canvas, const PolygonItem *p, Scratch &s)
{
    s.canvasPoints.clear();
    s.counts.clear();
    const double *ring = p->coords;
    int steps = std::clamp(p->splineSteps, 1, 100);
    for (int i = 0; i < p->numParts; i++) {
        int c = p->partCounts[i];
        size_t at = s.canvasPoints.size();
        int made = 0;
        if (p->smooth != nullptr && p->smooth->coordProc != nullptr) {
            s.work.resize(2 * static_cast<size_t>(c));
            worldToCanvasPoints(canvas, ring, s.work.data(), c);
            made = gcanvasSmoothPart(canvas, p->smooth, s.work.data(), c, steps, s.canvasPoints);
        }
        if (made > 0) {
            s.counts.push_back(made);
        } else {
            s.canvasPoints.resize(at + 2 * static_cast<size_t>(c));
            worldToCanvasPoints(canvas, ring, s.canvasPoints.data() + at, c);
            s.counts.push_back(c);
        }
        ring += 2 * static_cast<size_t>(c);
    }
}

/* The canvas rings of s as drawable rings (s.xpoints, s.xcounts, one count
 * per ring), each clipped to box (drawable units) when it reaches past it
 * and kept closed. */
void drawableRings(const GcanvasWidget *canvas, Scratch &s, const double *box)
{
    gcanvasDrawableRings(canvas, s.canvasPoints.data(), s.counts.data(), static_cast<int>(s.counts.size()), box,
                         s.xpoints, s.xcounts, s.clipA, s.clipB);
}

/* ---- configuration ---- */

void polygonConfigureGCs(GcanvasWidget *canvas, PolygonItem *p)
{
    GcanvasItem *item = &p->header;
    gcanvasMarkFilledStateDependant(p);
    p->splineSteps = std::clamp(p->splineSteps, 1, 100);
    if (gcanvasItemState(canvas, item) == GCANVAS_STATE_HIDDEN) {
        return;
    }
    Tk_Window tkwin = canvas->tkwin;
    XGCValues values;
    unsigned long mask = gcanvasConfigOutlineGC(&values, canvas, item, &p->outline);
    GC gc = nullptr;
    if (mask != 0) {
        values.cap_style = CapRound;
        values.join_style = p->joinStyle;
        mask |= GCCapStyle | GCJoinStyle;
        gc = gcanvasGetGC(tkwin, mask, &values);
    }
    gcanvasFreeGC(canvas->display, p->outline.gc);
    p->outline.gc = gc;

    gcanvasSetFillGC(canvas, p, &values);

    GC highlight = nullptr;
    if (p->highlightColor != nullptr) {
        double width = p->outline.width;
        if (canvas->currentItem == item && p->outline.activeWidth > width) {
            width = p->outline.activeWidth;
        }
        width = std::max(width, 1.0);
        values.foreground = p->highlightColor->pixel;
        values.line_width = gcanvasTruncToInt(width + 0.5);
        highlight = gcanvasGetGC(tkwin, GCForeground | GCLineWidth, &values);
    }
    gcanvasFreeGC(canvas->display, p->highlightGC);
    p->highlightGC = highlight;
}

/* A stipple offset in index form becomes the world point it names (of the
 * first ring); the anchor forms take the world box's sides or middle. */
void placeOffset(const PolygonItem *p, Tk_TSOffset *offset, const double *box)
{
    if (offset->flags & TK_OFFSET_INDEX) {
        int n2 = 2 * givenCount(p, 0);
        if (n2 <= 0) {
            return;
        }
        int index = offset->flags == INT_MAX ? n2 : offset->flags & ~TK_OFFSET_INDEX;
        index %= n2;
        if (index < 0) {
            index += n2;
        }
        index &= ~1;
        offset->xoffset = roundToInt(p->coords[index]);
        offset->yoffset = roundToInt(p->coords[index + 1]);
        return;
    }
    if (offset->flags & TK_OFFSET_LEFT) {
        offset->xoffset = gcanvasTruncToInt(box[0]);
    } else if (offset->flags & TK_OFFSET_CENTER) {
        offset->xoffset = roundToInt((box[0] + box[2]) / 2);
    } else if (offset->flags & TK_OFFSET_RIGHT) {
        offset->xoffset = gcanvasTruncToInt(box[2]);
    }
    if (offset->flags & TK_OFFSET_TOP) {
        offset->yoffset = gcanvasTruncToInt(box[1]);
    } else if (offset->flags & TK_OFFSET_MIDDLE) {
        offset->yoffset = roundToInt((box[1] + box[3]) / 2);
    } else if (offset->flags & TK_OFFSET_BOTTOM) {
        offset->yoffset = gcanvasTruncToInt(box[3]);
    }
}

/* The canvas box: the points (miter corners included), widened by half
 * the outline and a pixel of rounding. */
void polygonBbox(GcanvasWidget *canvas, GcanvasItem *item)
{
    PolygonItem *p = asPolygon(item);
    gcanvasMarkIndexStale(canvas);
    if (p->coords == nullptr || p->numPoints == 0 || gcanvasItemState(canvas, item) == GCANVAS_STATE_HIDDEN) {
        item->x1 = item->y1 = item->x2 = item->y2 = -1;
        return;
    }
    double width = gcanvasChosenWidth(canvas, item, p->outline);
    double box[4];
    pointsBBox(p->coords, p->numPoints, box);
    placeOffset(p, &p->tsoffset, box);
    setItemBBoxFromWorld(canvas, item, box[0], box[1], box[2], box[3]);
    double margin = 1;
    if (p->outline.gc != nullptr) {
        placeOffset(p, &p->outline.tsoffset, box);
        margin += width / 2;
        if (p->joinStyle == JoinMiter && width > 1) {
            ScratchUse use;
            Scratch &s = use.get();
            canvasRings(canvas, p, s);
            const double *ring = s.canvasPoints.data();
            for (int c : s.counts) {
                /* Every corner of the closed ring, the closing one too. */
                for (int k = 0; c >= 4 && k + 1 < c; k++) {
                    const double *a = ring + 2 * (k == 0 ? c - 2 : k - 1);
                    const double *b = ring + 2 * k;
                    const double *d = ring + 2 * (k + 1);
                    double m[4];
                    if (TkGetMiterPoints(const_cast<double *>(a), const_cast<double *>(b), const_cast<double *>(d),
                                         width, m, m + 2)) {
                        itemBBoxIncludePoint(canvas, item, m);
                        itemBBoxIncludePoint(canvas, item, m + 2);
                    }
                }
                ring += 2 * static_cast<size_t>(c);
            }
        }
    }
    item->xPad = item->yPad = static_cast<float>(margin);
    item->x1 -= margin;
    item->y1 -= margin;
    item->x2 += margin;
    item->y2 += margin;
}

int polygonConfigure(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int objc, Tcl_Obj *const objv[],
                     int flags)
{
    PolygonItem *p = asPolygon(item);
    if (gcanvasConfigureRecord(interp, canvas, configSpecs.data(), p, objc, objv, flags) != TCL_OK) {
        return TCL_ERROR;
    }
    polygonConfigureGCs(canvas, p);
    polygonBbox(canvas, item);
    return TCL_OK;
}

/* ---- coordinates ---- */

int setCoords(Tcl_Interp *interp, GcanvasWidget *canvas, PolygonItem *p, int objc, Tcl_Obj *const objv[])
{
    if (objc == 1 && Tcl_ListObjGetElements(interp, objv[0], &objc, const_cast<Tcl_Obj ***>(&objv)) != TCL_OK) {
        return TCL_ERROR;
    }
    GivenRings g;
    int values = objc;
    if (objc % 2 == 1) {
        values = objc - 1;
        int n;
        Tcl_Obj **elements;
        if (Tcl_ListObjGetElements(nullptr, objv[objc - 1], &n, &elements) != TCL_OK) {
            Tcl_SetObjResult(interp, Tcl_NewStringObj("error in parsing polygon description list", -1));
            return TCL_ERROR;
        }
        long long sum = 0;
        for (int i = 0; i < n; i++) {
            long c = std::strtol(Tcl_GetString(elements[i]), nullptr, 10);
            c = std::clamp(c, static_cast<long>(INT_MIN), static_cast<long>(INT_MAX));
            g.counts.push_back(static_cast<int>(c));
            sum += c;
        }
        if (sum != values / 2) {
            Tcl_SetObjResult(interp, Tcl_NewStringObj("Invalid or inconsistent polygon description list", -1));
            return TCL_ERROR;
        }
    } else if (objc > 0) {
        g.counts.push_back(objc / 2);
    }
    for (int c : g.counts) {
        if (c < 3) {
            Tcl_SetObjResult(interp, Tcl_NewStringObj("A polygon or hole must have at least three vertices.", -1));
            return TCL_ERROR;
        }
    }
    g.points.resize(static_cast<size_t>(values));
    for (int i = 0; i < values; i++) {
        if (gcanvasGetCoordFromObj(interp, canvas, objv[i], &g.points[static_cast<size_t>(i)]) != TCL_OK) {
            return TCL_ERROR;
        }
    }
    if (!storeRings(p, g)) {
        Tcl_SetObjResult(interp, Tcl_NewStringObj("Error in polygon coords: out of memory", -1));
        return TCL_ERROR;
    }
    return TCL_OK;
}

int polygonCoords(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int objc, Tcl_Obj *const objv[])
{
    PolygonItem *p = asPolygon(item);
    if (objc == 0) {
        Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
        GivenRings g = givenRings(p);
        for (double v : g.points) {
            Tcl_ListObjAppendElement(nullptr, list, Tcl_NewDoubleObj(gcanvasPlainZero(v)));
        }
        if (g.counts.size() >= 2) {
            Tcl_Obj *counts = Tcl_NewListObj(0, nullptr);
            for (int c : g.counts) {
                Tcl_ListObjAppendElement(nullptr, counts, Tcl_NewIntObj(c));
            }
            Tcl_ListObjAppendElement(nullptr, list, counts);
        }
        Tcl_SetObjResult(interp, list);
        return TCL_OK;
    }
    if (setCoords(interp, canvas, p, objc, objv) != TCL_OK) {
        return TCL_ERROR;
    }
    polygonBbox(canvas, item);
    return TCL_OK;
}

void polygonDelete(GcanvasWidget *, GcanvasItem *item, Display *display)
{
    PolygonItem *p = asPolygon(item);
    gcanvasCancelPartHighlight(&p->highlight);
    freeArrays(p);
    gcanvasFreeFilledShape(display, p);
    if (p->highlightColor != nullptr) {
        Tk_FreeColor(p->highlightColor);
        p->highlightColor = nullptr;
    }
    gcanvasFreeGC(display, p->highlightGC);
    p->highlightGC = nullptr;
}

void redrawRing(GcanvasWidget *canvas, GcanvasItem *item, int i);

/* The values the record starts from before coordinates and options. */
void initRecord(GcanvasWidget *canvas, PolygonItem *p)
{
    gcanvasInitFilledShape(p);
    p->numPoints = p->numParts = p->pointsAllocated = 0;
    p->partCounts = p->closedFlags = nullptr;
    p->coords = nullptr;
    p->joinStyle = JoinRound;
    p->splineSteps = 12;
    p->smooth = nullptr;
    p->pointerComponent = -1;
    gcanvasInitPartHighlight(&p->highlight, canvas, &p->header, redrawRing);
    p->highlightColor = nullptr;
    p->highlightGC = nullptr;
}

int polygonCreate(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int objc, Tcl_Obj *const objv[])
{
    PolygonItem *p = asPolygon(item);
    initRecord(canvas, p);
    int words = 0;
    while (words < objc && !gcanvasIsOptionWord(objv[words])) {
        words++;
    }
    if ((words > 0 && setCoords(interp, canvas, p, words, objv) != TCL_OK) ||
        polygonConfigure(interp, canvas, item, objc - words, objv + words, 0) != TCL_OK) {
        polygonDelete(canvas, item, canvas->display);
        return TCL_ERROR;
    }
    return TCL_OK;
}

/* ---- display ---- */

void polygonDisplay(GcanvasWidget *canvas, GcanvasItem *item, Display *display, Drawable drawable, int x, int y,
                    int width, int height)
{
    PolygonItem *p = asPolygon(item);
    if (drawable == None || (p->fillGC == nullptr && p->outline.gc == nullptr) || p->numPoints == 0 ||
        p->coords == nullptr || (p->numPoints < 3 && p->outline.gc == nullptr)) {
        return;
    }
    Pixmap stipple = gcanvasChosenFillStipple(canvas, p);
    bool stippled = p->fillGC != nullptr && stipple != None;
    if (stippled) {
        gcanvasSetFillStippleOffset(canvas, p->fillGC, stipple, &p->tsoffset);
    }
    GC line = p->outline.gc;
    if (line != nullptr) {
        gcanvasChangeOutlineGC(canvas, item, &p->outline);
    }
    double w = gcanvasChosenWidth(canvas, item, p->outline);
    if (p->numPoints < 3) {
        double c[2];
        worldToCanvasPoints(canvas, p->coords, c, 1);
        int d = std::max(gcanvasTruncToInt(w + 0.5), 1);
        int cx = gcanvasDrawableCoord(canvas->drawableXOrigin, c[0]);
        int cy = gcanvasDrawableCoord(canvas->drawableYOrigin, c[1]);
        XFillArc(display, drawable, line, cx - d / 2, cy - d / 2, static_cast<unsigned>(d + 1),
                 static_cast<unsigned>(d + 1), 0, 23040);
    } else {
        ScratchUse use;
        Scratch &s = use.get();
        canvasRings(canvas, p, s);
        /* Fills are clipped to the area drawn (with room for the outline);
         * outlines only at the 16-bit reach, so that their dashes do not
         * depend on the area. */
        double margin = std::ceil(w) + 8;
        const double fillBox[4] = {x - canvas->drawableXOrigin - margin, y - canvas->drawableYOrigin - margin,
                                   x + width - canvas->drawableXOrigin + margin,
                                   y + height - canvas->drawableYOrigin + margin};
        const double reach[4] = {-GCANVAS_SAFE_REACH, -GCANVAS_SAFE_REACH, GCANVAS_SAFE_REACH, GCANVAS_SAFE_REACH};
        int lit = p->highlightGC != nullptr ? p->highlight.lit : -1;
        if (p->fillGC != nullptr || (lit >= 0 && lit < p->numParts)) {
            drawableRings(canvas, s, fillBox);
            int nRings = static_cast<int>(s.xcounts.size());
            if (p->fillGC != nullptr) {
                gcanvasFillRings(display, drawable, p->fillGC, s.xpoints.data(), nRings, s.xcounts.data());
            }
            if (lit >= 0 && lit < nRings) {
                int offset = 0;
                for (int i = 0; i < lit; i++) {
                    offset += s.xcounts[static_cast<size_t>(i)];
                }
                gcanvasFillRings(display, drawable, p->highlightGC, s.xpoints.data() + offset, 1,
                                 &s.xcounts[static_cast<size_t>(lit)]);
            }
        }
        if (line != nullptr) {
            drawableRings(canvas, s, reach);
            const XPoint *q = s.xpoints.data();
            int d = std::max(gcanvasTruncToInt(w + 0.5), 1);
            int lineWidth = std::clamp(gcanvasTruncToInt(w + 0.5), 0, 32767);
            for (int c : s.xcounts) {
                if (c >= 2) {
                    gcanvasDrawLines(display, drawable, line, lineWidth, const_cast<XPoint *>(q), c);
                } else if (c == 1) {
                    XFillArc(display, drawable, line, q->x - d / 2, q->y - d / 2, static_cast<unsigned>(d + 1),
                             static_cast<unsigned>(d + 1), 0, 23040);
                }
                q += c;
            }
        }
    }
    if (line != nullptr) {
        gcanvasResetOutlineGC(canvas, item, &p->outline);
    }
    if (stippled) {
        XSetTSOrigin(display, p->fillGC, 0, 0);
    }
}

/* ---- hit tests (canvas units) ---- */

/*
 * Distance from the point to the item: 0 in the filled area (a point
 * inside an odd number of rings, when there is a fill) or on the outline;
 * elsewhere the distance to the nearest ring edge, less the outline. The
 * ring under the point becomes the pointer component: the smallest ring
 * holding the point, else the nearest one.
 */
double polygonToPoint(GcanvasWidget *canvas, GcanvasItem *item, double *point)
{
    PolygonItem *p = asPolygon(item);
    p->pointerComponent = -1;
    if (p->numPoints == 0 || p->coords == nullptr || gcanvasItemState(canvas, item) == GCANVAS_STATE_HIDDEN) {
        return kInfinity;
    }
    ScratchUse use;
    Scratch &s = use.get();
    canvasRings(canvas, p, s);
    GcanvasRingsHit hit =
        gcanvasRingsHit(s.canvasPoints.data(), s.counts.data(), static_cast<int>(s.counts.size()), point);
    double distance;
    if (p->fillGC != nullptr && (hit.inside & 1)) {
        distance = 0;
    } else if (p->outline.gc == nullptr) {
        distance = hit.edge;
    } else {
        double w = gcanvasChosenWidth(canvas, item, p->outline);
        if (w <= 1) {
            distance = std::max(hit.edge - w / 2, 0.0);
        } else {
            distance = kInfinity;
            const double *ring = s.canvasPoints.data();
            for (int c : s.counts) {
                double d = c >= 2 ? thickPolylineToPoint(ring, c, w, CapRound, p->joinStyle, point)
                                  : std::max(std::hypot(ring[0] - point[0], ring[1] - point[1]) - w / 2, 0.0);
                distance = std::min(distance, d);
                ring += 2 * static_cast<size_t>(c);
            }
        }
    }
    int component = hit.inside > 0 ? hit.innermost : hit.nearest;
    p->pointerComponent = distance <= canvas->closeEnough ? component : -1;
    return distance;
}

/*
 * How the item lies against rect (canvas units): 1 when all of it lies
 * inside; 0 when an edge (with the outline) crosses rect or rect lies in
 * the filled area; -1 when rect lies outside or wholly in unfilled parts
 * (a hole, or an unfilled ring) clear of the outline.
 */
int polygonToArea(GcanvasWidget *canvas, GcanvasItem *item, double *rect)
{
    PolygonItem *p = asPolygon(item);
    if (p->numPoints == 0 || p->coords == nullptr || gcanvasItemState(canvas, item) == GCANVAS_STATE_HIDDEN) {
        return -1;
    }
    ScratchUse use;
    Scratch &s = use.get();
    canvasRings(canvas, p, s);
    return gcanvasRingsToArea(s.canvasPoints.data(), s.counts.data(), static_cast<int>(s.counts.size()),
                              p->outline.gc != nullptr, gcanvasChosenWidth(canvas, item, p->outline), p->joinStyle,
                              p->fillGC != nullptr, rect);
}

/* ---- moves ---- */

void polygonScale(GcanvasWidget *canvas, GcanvasItem *item, double originX, double originY, double scaleX,
                  double scaleY)
{
    PolygonItem *p = asPolygon(item);
    for (int i = 0; i < p->numPoints; i++) {
        double *c = p->coords + 2 * i;
        c[0] = (c[0] - originX) * scaleX + originX;
        c[1] = (c[1] - originY) * scaleY + originY;
    }
    polygonBbox(canvas, item);
}

void polygonTranslate(GcanvasWidget *canvas, GcanvasItem *item, double dx, double dy)
{
    PolygonItem *p = asPolygon(item);
    if (p->coords != nullptr) {
        translatePoints(p->coords, dx, dy, p->numPoints);
    }
    polygonBbox(canvas, item);
}

int polygonExtent(GcanvasItem *item, double *box)
{
    PolygonItem *p = asPolygon(item);
    if (p->coords == nullptr || p->numPoints == 0) {
        return 0;
    }
    pointsBBox(p->coords, p->numPoints, box);
    return 1;
}

/* ---- editing: indices count coordinate values of the given points ---- */

int polygonIndex(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, Tcl_Obj *word, int *indexPtr)
{
    PolygonItem *p = asPolygon(item);
    int total = givenValues(p);
    int length;
    const char *s = Tcl_GetStringFromObj(word, &length);
    double x, y;
    int i;
    if (s[0] == 'e' && std::strncmp(s, "end", static_cast<size_t>(length)) == 0) {
        *indexPtr = total;
    } else if (gcanvasParseAtPoint(s, &x, &y)) {
        double best = kInfinity;
        *indexPtr = 0;
        const double *ring = p->coords;
        int k = 0;
        for (int r = 0; r < p->numParts; r++) {
            int n = givenCount(p, r);
            for (int j = 0; j < n; j++, k++) {
                double d = std::hypot((ring[2 * j] - x) * canvas->mx, (ring[2 * j + 1] - y) * canvas->my);
                if (d < best) {
                    best = d;
                    *indexPtr = 2 * k;
                }
            }
            ring += 2 * static_cast<size_t>(p->partCounts[r]);
        }
    } else if (Tcl_GetIntFromObj(nullptr, word, &i) == TCL_OK) {
        i &= ~1;
        if (total == 0) {
            *indexPtr = 0;
        } else if (i > 0) {
            *indexPtr = (i - 2) % total + 2;
        } else {
            *indexPtr = -(static_cast<int>(-static_cast<long long>(i) % total));
        }
    } else {
        Tcl_AppendResult(interp, "bad index \"", s, "\"", nullptr);
        return TCL_ERROR;
    }
    return TCL_OK;
}

/* index wrapped into 0 .. total (total itself kept: the end). */
int wrapIndex(int index, int total)
{
    if (index >= 0 && index <= total) {
        return index;
    }
    long long i = index % total;
    return static_cast<int>(i < 0 ? i + total : i);
}

void polygonInsert(GcanvasWidget *canvas, GcanvasItem *item, int before, Tcl_Obj *list)
{
    PolygonItem *p = asPolygon(item);
    int objc;
    Tcl_Obj **objv;
    if (Tcl_ListObjGetElements(nullptr, list, &objc, &objv) != TCL_OK || objc == 0 || objc % 2 != 0) {
        return;
    }
    std::vector<double> values(static_cast<size_t>(objc));
    for (int i = 0; i < objc; i++) {
        if (cGetDoubleFromObj(nullptr, objv[i], &values[static_cast<size_t>(i)]) != TCL_OK ||
            !std::isfinite(values[static_cast<size_t>(i)])) {
            return;
        }
    }
    int total = givenValues(p);
    GivenRings g = givenRings(p);
    if (total == 0) {
        g.points = values;
        g.counts.assign(1, objc / 2);
    } else {
        int point = wrapIndex(before, total) / 2;
        /* The ring whose given points hold the point before which the
         * new ones go; past the last point, the last ring's end. */
        size_t ring = 0;
        int start = 0;
        while (ring + 1 < g.counts.size() && point >= start + g.counts[ring]) {
            start += g.counts[ring];
            ring++;
        }
        g.points.insert(g.points.begin() + 2 * point, values.begin(), values.end());
        g.counts[ring] += objc / 2;
    }
    if (storeRings(p, g)) {
        polygonBbox(canvas, item);
    }
}

void polygonDeleteCoords(GcanvasWidget *canvas, GcanvasItem *item, int first, int last)
{
    PolygonItem *p = asPolygon(item);
    int total = givenValues(p);
    if (total == 0) {
        return;
    }
    auto wrap = [total](int v) {
        long long i = v % total;
        return static_cast<int>(i < 0 ? i + total : i) & ~1;
    };
    int f = wrap(first) / 2, l = wrap(last) / 2, n = total / 2;
    std::vector<char> gone(static_cast<size_t>(n), 0);
    if (f <= l) {
        std::fill(gone.begin() + f, gone.begin() + l + 1, 1);
    } else {
        std::fill(gone.begin() + f, gone.end(), 1);
        std::fill(gone.begin(), gone.begin() + l + 1, 1);
    }
    GivenRings g = givenRings(p), kept;
    int k = 0;
    for (int c : g.counts) {
        int left = 0;
        for (int j = 0; j < c; j++, k++) {
            if (!gone[static_cast<size_t>(k)]) {
                kept.points.push_back(g.points[2 * static_cast<size_t>(k)]);
                kept.points.push_back(g.points[2 * static_cast<size_t>(k) + 1]);
                left++;
            }
        }
        kept.counts.push_back(left);
    }
    if (storeRings(p, kept)) {
        polygonBbox(canvas, item);
    }
}

/* ---- PostScript ---- */

/* The path of every ring, each beginning with its own moveto. */
int ringPaths(Tcl_Interp *interp, GcanvasWidget *canvas, PolygonItem *p)
{
    return gcanvasPsPartsPath(interp, canvas, p->coords, p->partCounts, p->numParts, p->smooth,
                              std::clamp(p->splineSteps, 1, 100), true);
}

int polygonToPostscript(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int prepass)
{
    PolygonItem *p = asPolygon(item);
    if (prepass || p->coords == nullptr || p->numPoints < 2) {
        return TCL_OK;
    }
    double width = gcanvasChosenWidth(canvas, item, p->outline);
    XColor *outline = gcanvasChosen<XColor *>(canvas, item, p->outline.color, p->outline.activeColor,
                                              p->outline.disabledColor, nullptr);
    XColor *fill = gcanvasChosenFillColor(canvas, p);
    Pixmap stipple = gcanvasChosenFillStipple(canvas, p);
    Pixmap outlineStipple = gcanvasChosen<Pixmap>(canvas, item, p->outline.stipple, p->outline.activeStipple,
                                                  p->outline.disabledStipple, None);
    if (p->numPoints == 2) {
        if (outline == nullptr) {
            return TCL_OK;
        }
        return gcanvasPsDot(interp, canvas, p->coords, width, outline, outlineStipple);
    }
    if (fill != nullptr && p->numPoints >= 4) {
        if (ringPaths(interp, canvas, p) != TCL_OK || gcanvasPsColor(interp, canvas, fill) != TCL_OK) {
            return TCL_ERROR;
        }
        if (stipple != None) {
            Tcl_AppendResult(interp, "eoclip ", nullptr);
            if (gcanvasPsStipple(interp, canvas, stipple) != TCL_OK) {
                return TCL_ERROR;
            }
            if (outline != nullptr) {
                Tcl_AppendResult(interp, "grestore gsave\n", nullptr);
            }
        } else {
            Tcl_AppendResult(interp, "eofill\n", nullptr);
        }
    }
    if (outline != nullptr) {
        if (ringPaths(interp, canvas, p) != TCL_OK) {
            return TCL_ERROR;
        }
        const char *join = p->joinStyle == JoinRound ? "1" : p->joinStyle == JoinBevel ? "2" : "0";
        Tcl_AppendResult(interp, join, " setlinejoin 1 setlinecap\n", nullptr);
        if (gcanvasPsOutline(canvas, item, &p->outline) != TCL_OK) {
            return TCL_ERROR;
        }
    }
    return TCL_OK;
}

/* ---- description, coordinates for assemble, components ---- */

int polygonCreateFromDesc(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, const GcanvasGeometryDesc *desc)
{
    PolygonItem *p = asPolygon(item);
    initRecord(canvas, p);
    if (teskConfigureWidget(interp, canvas->tkwin, configSpecs.data(), 0, nullptr, reinterpret_cast<char *>(p),
                           TK_CONFIG_OBJS) != TCL_OK) {
        polygonDelete(canvas, item, canvas->display);
        return TCL_ERROR;
    }
    if (desc != nullptr && desc->count > 0 && desc->points != nullptr) {
        int rings = desc->partCounts != nullptr ? desc->count : 1;
        long long total = 0;
        for (int i = 0; i < rings; i++) {
            int c = desc->partCounts != nullptr ? desc->partCounts[i] : desc->count;
            if (c <= 0) {
                total = -1;
                break;
            }
            total += c;
        }
        if (total <= 0 || total > INT_MAX / 2) {
            Tcl_SetObjResult(interp, Tcl_NewStringObj("Invalid or inconsistent polygon description list", -1));
            polygonDelete(canvas, item, canvas->display);
            return TCL_ERROR;
        }
        auto *coords = static_cast<double *>(gmemAlloc(2 * static_cast<size_t>(total) * sizeof(double)));
        auto *counts = static_cast<int *>(gmemAlloc(2 * static_cast<size_t>(rings) * sizeof(int)));
        if (coords == nullptr || counts == nullptr) {
            gmemFree(coords);
            gmemFree(counts);
            Tcl_SetObjResult(interp, Tcl_NewStringObj("Error in polygon description: out of memory", -1));
            polygonDelete(canvas, item, canvas->display);
            return TCL_ERROR;
        }
        std::copy(desc->points, desc->points + 2 * total, coords);
        for (int i = 0; i < rings; i++) {
            counts[i] = desc->partCounts != nullptr ? desc->partCounts[i] : desc->count;
            counts[rings + i] = 1; /* the record's rings are closed */
        }
        p->coords = coords;
        p->partCounts = counts;
        p->closedFlags = counts + rings;
        p->numParts = rings;
        p->numPoints = p->pointsAllocated = static_cast<int>(total);
    }
    if (desc != nullptr && desc->style != nullptr) {
        const auto *style = static_cast<const GcanvasDescStyle *>(desc->style);
        Tk_Window tkwin = canvas->tkwin;
        p->outline.width = style->outline.width;
        p->splineSteps = style->splineSteps;
        p->smooth = style->smooth;
        /* The source's colours as they are: a colour it has none of
         * (no fill, say) is none here too, not this type's default. */
        auto take = [&](XColor **field, XColor *from) {
            if (*field != nullptr) {
                Tk_FreeColor(*field);
            }
            *field = copyTkColor(interp, tkwin, from);
        };
        take(&p->outline.color, style->outline.color);
        take(&p->outline.activeColor, style->outline.activeColor);
        take(&p->fillColor, desc->fillColor);
        take(&p->activeFillColor, desc->activeFillColor);
        take(&p->disabledFillColor, desc->disabledFillColor);
        polygonConfigureGCs(canvas, p);
    }
    polygonBbox(canvas, item);
    return TCL_OK;
}

double *polygonGetCoords(GcanvasItem *item, int *count)
{
    PolygonItem *p = asPolygon(item);
    *count = p->numPoints;
    return p->coords;
}

int *polygonGetParts(GcanvasItem *item, int *count)
{
    PolygonItem *p = asPolygon(item);
    *count = p->numParts;
    return p->partCounts;
}

int polygonGetComponent(GcanvasItem *item)
{
    return asPolygon(item)->pointerComponent;
}

/* Redraws the canvas box of ring i with the outline's reach. */
void redrawRing(GcanvasWidget *canvas, GcanvasItem *item, int i)
{
    PolygonItem *p = asPolygon(item);
    if (i < 0 || i >= p->numParts) {
        return;
    }
    if (p->numParts == 1) {
        gcanvasEventuallyRedraw(canvas, p->header.x1, p->header.y1, p->header.x2, p->header.y2, 1);
        return;
    }
    const double *ring = p->coords;
    for (int k = 0; k < i; k++) {
        ring += 2 * static_cast<size_t>(p->partCounts[k]);
    }
    double box[4], c[4];
    pointsBBox(ring, p->partCounts[i], box);
    worldRectToCanvas(canvas, box[0], box[1], box[2], box[3], c);
    double reach = gcanvasChosenWidth(canvas, &p->header, p->outline) + 2;
    gcanvasEventuallyRedraw(canvas, c[0] - reach, c[1] - reach, c[2] + reach, c[3] + reach, 1);
}

void polygonHighlightComponent(GcanvasWidget *, GcanvasItem *item, int on)
{
    PolygonItem *p = asPolygon(item);
    gcanvasSwitchPartHighlight(&p->highlight, on, p->pointerComponent);
}

/* ---- measures (world units) ---- */

double polygonAreaMeasure(GcanvasWidget *, GcanvasItem *item)
{
    PolygonItem *p = asPolygon(item);
    double sum = 0;
    const double *ring = p->coords;
    for (int i = 0; i < p->numParts; i++) {
        sum += polygonArea(ring, p->partCounts[i]);
        ring += 2 * static_cast<size_t>(p->partCounts[i]);
    }
    return sum;
}

double polygonPerimeter(GcanvasWidget *, GcanvasItem *item)
{
    PolygonItem *p = asPolygon(item);
    double sum = 0;
    const double *ring = p->coords;
    for (int i = 0; i < p->numParts; i++) {
        sum += polylineLength(ring, p->partCounts[i]);
        ring += 2 * static_cast<size_t>(p->partCounts[i]);
    }
    return sum;
}

/* The area-weighted mean of the ring centroids (a ring's own with one
 * ring; the mean of the given points when the areas cancel); answers the
 * summed signed area. */
double polygonCentroid(GcanvasWidget *, GcanvasItem *item, double *x, double *y)
{
    PolygonItem *p = asPolygon(item);
    *x = *y = 0;
    if (p->numParts == 0) {
        return 0;
    }
    double sx = 0, sy = 0, sum = 0;
    const double *ring = p->coords;
    for (int i = 0; i < p->numParts; i++) {
        double cx, cy;
        double a = polygonAreaCentroid(ring, p->partCounts[i], &cx, &cy);
        sx += cx * a;
        sy += cy * a;
        sum += a;
        ring += 2 * static_cast<size_t>(p->partCounts[i]);
    }
    if (sum == 0) {
        /* The given points only: a closing copy would count its point
         * twice. */
        GivenRings g = givenRings(p);
        pointsMean(g.points.data(), static_cast<int>(g.points.size() / 2), x, y);
        return 0;
    }
    *x = sx / sum;
    *y = sy / sum;
    return sum;
}

/* The direction of the segment from point index (modulo the point
 * count, closing points included) to the next of its ring; a ring's last
 * point takes its last segment. 0 without a segment. */
double polygonVertexAngle(GcanvasWidget *, GcanvasItem *item, int index)
{
    PolygonItem *p = asPolygon(item);
    if (p->numPoints == 0) {
        return 0;
    }
    return gcanvasVertexAngle(p->coords, nullptr, p->partCounts, p->numParts, p->numPoints, index);
}

/* Ring trunc(position) (modulo the rings), walked the fraction of the
 * position (without its sign) of its length: the point reached in x, y
 * and the direction of its segment. */
double polygonSegmentAngle(GcanvasWidget *, GcanvasItem *item, double position, double *x, double *y)
{
    PolygonItem *p = asPolygon(item);
    *x = *y = 0;
    if (p->numParts == 0 || !std::isfinite(position)) {
        return 0;
    }
    return gcanvasSegmentWalk(p->coords, nullptr, p->partCounts, p->numParts, position, x, y);
}

GcanvasItemType makeType()
{
    GcanvasItemType t;
    std::memset(&t, 0, sizeof t);
    t.name = "polygon";
    t.itemSize = sizeof(PolygonItem);
    t.createProc = polygonCreate;
    t.configSpecs = configSpecs.data();
    t.configProc = polygonConfigure;
    t.coordProc = polygonCoords;
    t.deleteProc = polygonDelete;
    t.displayProc = polygonDisplay;
    t.alwaysRedraw = GCANVAS_TYPE_USES_OBJS;
    t.pointProc = polygonToPoint;
    t.areaProc = polygonToArea;
    t.postscriptProc = polygonToPostscript;
    t.scaleProc = polygonScale;
    t.translateProc = polygonTranslate;
    t.extentProc = polygonExtent;
    t.indexProc = polygonIndex;
    t.insertProc = polygonInsert;
    t.dCharsProc = polygonDeleteCoords;
    t.bboxProc = polygonBbox;
    t.createFromDescProc = polygonCreateFromDesc;
    t.getCoordsProc = polygonGetCoords;
    t.getPartsProc = polygonGetParts;
    t.getComponentProc = polygonGetComponent;
    t.highlightComponentProc = polygonHighlightComponent;
    t.areaMeasureProc = polygonAreaMeasure;
    t.lengthProc = polygonPerimeter;
    t.centroidProc = polygonCentroid;
    t.vertexAngleProc = polygonVertexAngle;
    t.lineAngleProc = polygonSegmentAngle;
    return t;
}

}  // namespace

GcanvasItemType gcanvasPolygonType = makeType();

void gcanvasFillPolygon(GcanvasWidget *canvas, const double *points, int count, Display *display, Drawable drawable,
                        GC fillGC, GC outlineGC, int canvasCoords)
{
    if (points == nullptr || count <= 0 || drawable == None) {
        return;
    }
    XPoint onStack[200];
    std::vector<XPoint> onHeap;
    XPoint *xp = onStack;
    if (count > 200) {
        onHeap.resize(static_cast<size_t>(count));
        xp = onHeap.data();
    }
    for (int i = 0; i < count; i++) {
        double c[2] = {points[2 * i], points[2 * i + 1]};
        if (!canvasCoords) {
            worldToCanvasPoints(canvas, c, c, 1);
        }
        xp[i].x = gcanvasDrawableCoord(canvas->drawableXOrigin, c[0]);
        xp[i].y = gcanvasDrawableCoord(canvas->drawableYOrigin, c[1]);
    }
    if (fillGC != nullptr && count > 3) {
        XFillPolygon(display, drawable, fillGC, xp, count, Complex, CoordModeOrigin);
    }
    if (outlineGC != nullptr) {
        XDrawLines(display, drawable, outlineGC, xp, count, CoordModeOrigin);
    }
}
