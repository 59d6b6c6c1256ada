/*
 * objectdraw.cpp --
 *
 *	Drawing of the object item: the records of the layer's kind that
 *	meet the area redrawn, as symbols with markers, polylines, or rings
 *	filled as one shape by the even-odd rule with their outlines, through
 *	the X11 drawing pens (platform/x11draw). Points reaching past the
 *	16-bit range are clipped in doubles first: rings by the canvas's ring
 *	clipper (coords.h), polylines segment by segment. The highlighted
 *	record is filled (symbols, rings) or drawn (polylines) in the
 *	highlight colour.
 */
#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>
#include "canvas/coords.h"
#include "canvas/itemopts.h"
#include "canvas/objectint.h"
#include "canvas/outline.h"
#include "platform/x11draw.h"
#include "runtime/shapeapi.h"
#include "runtime/startup.h"
#include "tesk.h"
#include "tesk_stdio.h"

namespace objectitem {

namespace {

constexpr double kSafeReach = GCANVAS_SAFE_REACH;
/* A box no ring reaches past: nothing is clipped. */
const double kNoClip[4] = {-HUGE_VAL, -HUGE_VAL, HUGE_VAL, HUGE_VAL};

void appendPoint(std::vector<XPoint> &out, size_t start, double x, double y)
{
    gcanvasAppendDrawablePoint(out, start, x, y);
}

/* Liang-Barsky: the part of p0-p1 inside box as parameters t0 <= t1;
 * false when none of it is. */
bool clipSegment(const double *p0, const double *p1, const double *box, double *t0, double *t1)
{
    double dx = p1[0] - p0[0], dy = p1[1] - p0[1];
    double lo = 0, hi = 1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {p0[0] - box[0], box[2] - p0[0], p0[1] - box[1], box[3] - p0[1]};
    for (int k = 0; k < 4; k++) {
        if (p[k] == 0) {
            if (q[k] < 0) {
                return false;
            }
        } else {
            double r = q[k] / p[k];
            if (p[k] < 0) {
                lo = std::max(lo, r);
            } else {
                hi = std::min(hi, r);
            }
        }
    }
    if (lo > hi) {
        return false;
    }
    *t0 = lo;
    *t1 = hi;
    return true;
}

/* The record's box in drawable coordinates. */
void drawableBox(const GcanvasWidget *canvas, const Record &rec, double *out)
{
    canvasBox(canvas, rec, out);
    out[0] -= canvas->drawableXOrigin;
    out[2] -= canvas->drawableXOrigin;
    out[1] -= canvas->drawableYOrigin;
    out[3] -= canvas->drawableYOrigin;
}

bool boxWithin(const double *inner, const double *outer)
{
    return inner[0] >= outer[0] && inner[1] >= outer[1] && inner[2] <= outer[2] && inner[3] <= outer[3];
}

/* What one display call works with. */
struct DrawFrame {
    GcanvasWidget *canvas;
    ObjectItem *o;
    Display *display;
    Drawable drawable;
    double cull[4];       /* world box: lines and polygons */
    double cullPoints[4]; /* world box: point records */
    double clip[4];       /* drawable box of the area drawn, with a margin */
};

/* The parts of a record as drawable polylines into s.xpoints, with
 * s.counts their counts. Smoothed parts, and parts reaching past the
 * 16-bit range, are clipped there (a part may become several). */
void linePoints(const DrawFrame &f, Scratch &s)
{
    GcanvasWidget *canvas = f.canvas;
    Record &rec = s.rec;
    s.xpoints.clear();
    s.counts.clear();
    bool smooth = f.o->smooth != nullptr && f.o->smooth->coordProc != nullptr && rec.nPoints >= 3;
    double box[4];
    drawableBox(canvas, rec, box);
    const double reach[4] = {-kSafeReach, -kSafeReach, kSafeReach, kSafeReach};
    if (!smooth && boxWithin(box, reach)) {
        size_t total = 0;
        for (int c : rec.counts) {
            total += static_cast<size_t>(std::max(c, 2));
        }
        s.xpoints.resize(total);
        s.counts = rec.counts;
        int n = worldToScreenPartsPacked(canvas, rec.points, s.xpoints.data(), static_cast<int>(s.counts.size()),
                                         s.counts.data());
        s.xpoints.resize(static_cast<size_t>(n));
        return;
    }
    /* Lines are cut only where they pass the 16-bit reach, so that a dash
     * pattern runs the same whichever area is redrawn. */
    const double *clipBox = boxWithin(box, reach) ? reach : f.clip;
    canvasParts(canvas, f.o, rec, false, 3, s.canvasPoints, s.counts, s.work);
    std::vector<int> parts;
    parts.swap(s.counts);
    s.counts.clear();
    const double *p = s.canvasPoints.data();
    const double ox = canvas->drawableXOrigin, oy = canvas->drawableYOrigin;
    for (int c : parts) {
        size_t start = s.xpoints.size();
        bool open = false; /* a run is being built */
        /* A part of one point is a segment from it to itself. */
        int segments = std::max(c - 1, 1);
        for (int k = 0; k < segments; k++) {
            const double *q = p + 2 * std::min(k + 1, c - 1);
            double a[2] = {p[2 * k] - ox, p[2 * k + 1] - oy};
            double b[2] = {q[0] - ox, q[1] - oy};
            double t0, t1;
            if (!clipSegment(a, b, clipBox, &t0, &t1)) {
                open = false;
                continue;
            }
            if (!open || t0 > 0) {
                if (s.xpoints.size() > start) {
                    s.counts.push_back(static_cast<int>(s.xpoints.size() - start));
                    start = s.xpoints.size();
                }
                appendPoint(s.xpoints, start, a[0] + t0 * (b[0] - a[0]), a[1] + t0 * (b[1] - a[1]));
            }
            appendPoint(s.xpoints, start, a[0] + t1 * (b[0] - a[0]), a[1] + t1 * (b[1] - a[1]));
            open = t1 >= 1;
        }
        if (s.xpoints.size() > start) {
            if (s.xpoints.size() - start == 1) {
                s.xpoints.push_back(s.xpoints.back());
            }
            s.counts.push_back(static_cast<int>(s.xpoints.size() - start));
        }
        p += 2 * static_cast<size_t>(c);
    }
}

/* The rings of a polygon record as drawable points into s.xpoints (each
 * closed), with s.counts their counts; clipped to clipBox (drawable
 * coordinates) by the canvas's ring clipper when the record reaches past
 * it. Answers whether it did. */
bool polygonPoints(const DrawFrame &f, Scratch &s, const double *clipBox)
{
    GcanvasWidget *canvas = f.canvas;
    Record &rec = s.rec;
    s.xpoints.clear();
    s.counts.clear();
    double box[4];
    drawableBox(canvas, rec, box);
    bool clip = !boxWithin(box, clipBox);
    canvasParts(canvas, f.o, rec, true, 4, s.canvasPoints, s.counts, s.work);
    std::vector<int> rings;
    rings.swap(s.counts);
    gcanvasDrawableRings(canvas, s.canvasPoints.data(), rings.data(), static_cast<int>(rings.size()),
                         clip ? clipBox : kNoClip, s.xpoints, s.counts, s.clipA, s.clipB);
    return clip;
}

/* Draws one part as a polyline; a part that has shrunk to one position
 * (a feature smaller than a pixel) is a dot of the line's width d. */
void drawPart(DrawGC *line, XPoint *p, int c, int d)
{
    for (int k = 1; k < c; k++) {
        if (p[k].x != p[0].x || p[k].y != p[0].y) {
            drawPolyline(line, p, c, CoordModeOrigin);
            return;
        }
    }
    if (c >= 1) {
        drawArc(line, p[0].x - d / 2, p[0].y - d / 2, d + 1, d + 1, 0, 23040, 1);
    }
}

/* The GC's line width as the outline GC was made with it. */
int outlineLineWidth(const GcanvasWidget *canvas, const ObjectItem *o)
{
    return std::clamp(gcanvasTruncToInt(gcanvasChosenWidth(canvas, &o->header, o->outline) + 0.5), 0, 32767);
}

/* Sets the fill stipple's origin from -offset; answers whether it did. */
bool setFillStippleOrigin(const DrawFrame &f)
{
    ObjectItem *o = f.o;
    Pixmap stipple = chosenFillStipple(f.canvas, o);
    if (o->fillGC == nullptr || stipple == None) {
        return false;
    }
    gcanvasSetFillStippleOffset(f.canvas, o->fillGC, stipple, &o->tsoffset);
    return true;
}

/* The DrawGCs of one drawer, freed with their context. */
class DrawPens {
public:
    DrawPens(Display *display, Drawable drawable) : context_(drawContextOpen(display, drawable)) {}
    ~DrawPens()
    {
        for (DrawGC *gc : pens_) {
            drawGCFree(gc);
        }
        drawContextClose(context_);
    }
    DrawPens(const DrawPens &) = delete;
    DrawPens &operator=(const DrawPens &) = delete;
    bool ok() const { return context_ != nullptr; }
    /* A pen drawing with gc, or NULL for no gc. */
    DrawGC *pen(GC gc)
    {
        if (gc == nullptr || context_ == nullptr) {
            return nullptr;
        }
        DrawGC *made = drawGCCreate(context_, gc);
        if (made != nullptr) {
            pens_.push_back(made);
        }
        return made;
    }

private:
    DrawContext *context_;
    std::vector<DrawGC *> pens_;
};

int drawPoints(const DrawFrame &f, Scratch &s)
{
    ObjectItem *o = f.o;
    GcanvasWidget *canvas = f.canvas;
    RAMOBJ *obj = o->object;
    if (o->fillGC == nullptr && o->outline.gc == nullptr && o->markerGC == nullptr) {
        return 0;
    }
    bool stippled = setFillStippleOrigin(f);
    if (o->outline.gc != nullptr) {
        gcanvasChangeOutlineGC(canvas, &o->header, &o->outline);
    }
    int drawn = 0;
    {
        DrawPens pens(f.display, f.drawable);
        DrawGC *plainFill = pens.pen(o->fillGC);
        DrawGC *line = pens.pen(o->outline.gc);
        DrawGC *marker = pens.pen(o->markerGC);
        DrawGC *highlight = pens.pen(o->highlightGC);
        int sx = std::max(o->symbolXSize, 0), sy = std::max(o->symbolYSize, 0);
        int hx = sx / 2, hy = sy / 2;
        int count = obj->count(obj);
        for (int i = 0; pens.ok() && i < count; i++) {
            if (!selected(obj, i) || !readRecord(obj, i, s.rec) || s.rec.kind != SHAPE_POINT ||
                !boxesMeet(s.rec.box, f.cullPoints)) {
                continue;
            }
            drawn++;
            DrawGC *fill = i == o->highlighted && highlight != nullptr ? highlight : plainFill;
            for (int k = 0; k < s.rec.nPoints; k++) {
                const double *wp = s.rec.points + 2 * k;
                if (wp[0] < f.cullPoints[0] || wp[0] > f.cullPoints[2] || wp[1] < f.cullPoints[1] ||
                    wp[1] > f.cullPoints[3]) {
                    continue;
                }
                double c[2];
                worldToCanvasPoints(canvas, wp, c, 1);
                int cx = gcanvasDrawableCoord(canvas->drawableXOrigin, c[0]);
                int cy = gcanvasDrawableCoord(canvas->drawableYOrigin, c[1]);
                int left = cx - hx, top = cy - hy;
                auto toX = [](int v) { return static_cast<short>(std::clamp(v, -32768, 32767)); };
                switch (o->symbolType) {
                case SYMBOL_OVAL:
                    if (fill != nullptr) {
                        drawArc(fill, left, top, sx, sy, 0, 23040, 1);
                    }
                    if (line != nullptr) {
                        drawArc(line, left, top, sx, sy, 0, 23040, 0);
                    }
                    break;
                case SYMBOL_RECTANGLE:
                    if (fill != nullptr) {
                        drawFillRectangle(fill, left, top, sx, sy);
                    }
                    if (line != nullptr) {
                        drawRectangle(line, left, top, sx, sy);
                    }
                    break;
                case SYMBOL_DIAMOND:
                case SYMBOL_CROSSHAIR: {
                    XPoint diamond[5] = {{toX(cx), toX(top)},
                                         {toX(left), toX(cy)},
                                         {toX(cx), toX(top + sy)},
                                         {toX(left + sx), toX(cy)},
                                         {toX(cx), toX(top)}};
                    XPoint cross[13] = {
                        {toX(cx + 1), toX(top)},      {toX(cx + 1), toX(cy - 1)}, {toX(cx + hx), toX(cy - 1)},
                        {toX(cx + hx), toX(cy + 1)},  {toX(cx + 1), toX(cy + 1)}, {toX(cx + 1), toX(top + sy)},
                        {toX(cx - 1), toX(top + sy)}, {toX(cx - 1), toX(cy + 1)}, {toX(left), toX(cy + 1)},
                        {toX(left), toX(cy - 1)},     {toX(cx - 1), toX(cy - 1)}, {toX(cx - 1), toX(top)},
                        {toX(cx + 1), toX(top)}};
                    XPoint *shape = o->symbolType == SYMBOL_DIAMOND ? diamond : cross;
                    int n = o->symbolType == SYMBOL_DIAMOND ? 5 : 13;
                    if (fill != nullptr) {
                        drawFillPolygon(fill, shape, n, Complex, CoordModeOrigin);
                    }
                    if (line != nullptr) {
                        drawPolyline(line, shape, n, CoordModeOrigin);
                    }
                    break;
                }
                default: break;
                }
                if (marker != nullptr) {
                    if (o->markerType == MARKER_CROSS) {
                        XPoint h[2] = {{toX(left + 1), toX(cy)}, {toX(left + sx - 1), toX(cy)}};
                        XPoint v[2] = {{toX(cx), toX(top + 1)}, {toX(cx), toX(top + sy - 1)}};
                        drawPolyline(marker, h, 2, CoordModeOrigin);
                        drawPolyline(marker, v, 2, CoordModeOrigin);
                    } else {
                        drawFillRectangle(marker, cx, cy, 1, 1);
                    }
                }
            }
        }
    }
    if (o->outline.gc != nullptr) {
        gcanvasResetOutlineGC(canvas, &o->header, &o->outline);
    }
    if (stippled) {
        XSetTSOrigin(f.display, o->fillGC, 0, 0);
    }
    return drawn;
}

int drawLines(const DrawFrame &f, Scratch &s)
{
    ObjectItem *o = f.o;
    RAMOBJ *obj = o->object;
    if (o->outline.gc == nullptr) {
        return 0;
    }
    gcanvasChangeOutlineGC(f.canvas, &o->header, &o->outline);
    int drawn = 0;
    {
        DrawPens pens(f.display, f.drawable);
        DrawGC *plainLine = pens.pen(o->outline.gc);
        DrawGC *highlight = pens.pen(o->highlightGC);
        int d = outlineLineWidth(f.canvas, o);
        int count = obj->count(obj);
        for (int i = 0; plainLine != nullptr && i < count; i++) {
            if (!candidate(obj, i, f.cull) || !readRecord(obj, i, s.rec) || s.rec.kind != SHAPE_LINE ||
                !boxesMeet(s.rec.box, f.cull)) {
                continue;
            }
            drawn++;
            DrawGC *line = i == o->highlighted && highlight != nullptr ? highlight : plainLine;
            linePoints(f, s);
            XPoint *p = s.xpoints.data();
            for (int c : s.counts) {
                drawPart(line, p, c, d);
                p += c;
            }
        }
    }
    gcanvasResetOutlineGC(f.canvas, &o->header, &o->outline);
    return drawn;
}

int drawPolygons(const DrawFrame &f, Scratch &s)
{
    ObjectItem *o = f.o;
    GcanvasWidget *canvas = f.canvas;
    RAMOBJ *obj = o->object;
    if (o->fillGC == nullptr && o->outline.gc == nullptr) {
        return 0;
    }
    bool stippled = setFillStippleOrigin(f);
    if (o->outline.gc != nullptr) {
        gcanvasChangeOutlineGC(canvas, &o->header, &o->outline);
    }
    int drawn = 0;
    {
        DrawPens pens(f.display, f.drawable);
        DrawGC *plainFill = pens.pen(o->fillGC);
        DrawGC *line = pens.pen(o->outline.gc);
        DrawGC *highlight = pens.pen(o->highlightGC);
        int d = outlineLineWidth(canvas, o);
        int count = obj->count(obj);
        for (int i = 0; pens.ok() && i < count; i++) {
            if (!candidate(obj, i, f.cull) || !readRecord(obj, i, s.rec) || s.rec.kind != SHAPE_POLYGON ||
                !boxesMeet(s.rec.box, f.cull)) {
                continue;
            }
            if (s.rec.counts[0] <= 2 && line == nullptr) {
                continue;
            }
            drawn++;
            DrawGC *fill = i == o->highlighted && highlight != nullptr ? highlight : plainFill;
            int total = 0;
            for (int c : s.rec.counts) {
                total += c;
            }
            if (total < 3) {
                /* Too few points for an area: a dot of the outline's width. */
                double c[2];
                worldToCanvasPoints(canvas, s.rec.points, c, 1);
                int cx = gcanvasDrawableCoord(canvas->drawableXOrigin, c[0]);
                int cy = gcanvasDrawableCoord(canvas->drawableYOrigin, c[1]);
                drawArc(line, cx - d / 2, cy - d / 2, d + 1, d + 1, 0, 23040, 1);
                continue;
            }
            /* Fills are clipped to the area being drawn (the even-odd
             * regions stay small); outlines only at the 16-bit reach, so
             * that their dashes do not depend on the area. */
            static const double reach[4] = {-kSafeReach, -kSafeReach, kSafeReach, kSafeReach};
            bool clipped = polygonPoints(f, s, fill != nullptr ? f.clip : reach);
            if (fill != nullptr) {
                drawFillRings(fill, s.xpoints.data(), static_cast<int>(s.counts.size()), s.counts.data(), Complex,
                              CoordModeOrigin);
                if (line != nullptr && clipped) {
                    polygonPoints(f, s, reach);
                }
            }
            if (line != nullptr) {
                XPoint *p = s.xpoints.data();
                for (int c : s.counts) {
                    drawPart(line, p, c, d);
                    p += c;
                }
            }
        }
    }
    if (o->outline.gc != nullptr) {
        gcanvasResetOutlineGC(canvas, &o->header, &o->outline);
    }
    if (stippled) {
        XSetTSOrigin(f.display, o->fillGC, 0, 0);
    }
    return drawn;
}

}  // namespace

void objectDisplay(GcanvasWidget *canvas, GcanvasItem *item, Display *display, Drawable drawable, int x, int y,
                   int width, int height)
{
    ObjectItem *o = asObject(item);
    RAMOBJ *obj = o->object;
    if (obj == nullptr || drawable == None || obj->count(obj) <= 0) {
        return;
    }
    auto started = std::chrono::steady_clock::now();
    TranslatedFrame frame(canvas, o->x, o->y);
    DrawFrame f;
    f.canvas = canvas;
    f.o = o;
    f.display = display;
    f.drawable = drawable;
    double w = o->outline.gc != nullptr ? gcanvasChosenWidth(canvas, &o->header, o->outline) : 0;
    canvasRectToWorld(canvas, x - w - 1, y - w - 1, x + width + w + 1, y + height + w + 1, f.cull);
    double hx = o->symbolXSize / 2.0 + w + 1, hy = o->symbolYSize / 2.0 + w + 1;
    canvasRectToWorld(canvas, x - hx, y - hy, x + width + hx, y + height + hy, f.cullPoints);
    /* Clipped edges land this far outside the area, with their outline. */
    double margin = std::ceil(w) + 8;
    f.clip[0] = x - canvas->drawableXOrigin - margin;
    f.clip[1] = y - canvas->drawableYOrigin - margin;
    f.clip[2] = x + width - canvas->drawableXOrigin + margin;
    f.clip[3] = y + height - canvas->drawableYOrigin + margin;

    Scratch s;
    int drawn = 0;
    switch (obj->subtype(obj)) {
    case SHAPE_POINT: drawn = drawPoints(f, s); break;
    case SHAPE_LINE: drawn = drawLines(f, s); break;
    case SHAPE_POLYGON: drawn = drawPolygons(f, s); break;
    default: break;
    }
    if (getDebugFlag()) {
        std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
        tesk_fprintf(stderr, "drawn %d items in %f s\n", drawn, elapsed.count());
    }
}

}  // namespace objectitem
