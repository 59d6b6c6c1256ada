/*
 * geometry.cpp --
 *
 *	Distances, area tests, measures and bezier smoothing for the canvas
 *	items. The planar tests without scales are Tk's own (its internal
 *	stub table: polygon, oval, butt and miter corners, bezier points).
 */
#include "canvas/geometry.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>
#include "canvas/coords.h"
#include "tkInt.h"

namespace {

constexpr double kHuge = std::numeric_limits<double>::infinity();

inline double scaledHypot(double sx, double sy, double dx, double dy)
{
    return std::sqrt(dx * sx * dx * sx + dy * sy * dy * sy);
}

/* The closest point to p of a sloped edge a-b: the foot of the
 * perpendicular, or the end on the side where it falls past the edge. */
void closestOnSlope(const double *a, const double *b, const double *p, double *c)
{
    double m = (b[1] - a[1]) / (b[0] - a[0]);
    double intercept = a[1] - m * a[0];
    double x = (p[1] + p[0] / m - intercept) / (m + 1 / m);
    const double *left = a[0] < b[0] ? a : b;
    const double *right = a[0] < b[0] ? b : a;
    if (x < left[0]) {
        c[0] = left[0];
        c[1] = left[1];
    } else if (x > right[0]) {
        c[0] = right[0];
        c[1] = right[1];
    } else {
        c[0] = x;
        c[1] = m * x + intercept;
    }
}

/* p's coordinate axis held to the edge's range on that axis; the other
 * coordinate is the edge's own (at). */
void closestOnAxis(const double *a, const double *b, const double *p, int axis, double at, double *c)
{
    c[axis] = std::clamp(p[axis], std::min(a[axis], b[axis]), std::max(a[axis], b[axis]));
    c[1 - axis] = at;
}

}  // namespace

double segmentDistanceScaled(double sx, double sy, const double *p1, const double *p2, const double *p)
{
    double c[2];
    /* Within a thousandth of a unit a segment counts as vertical or
     * horizontal (ring edges only when exactly so). */
    if (std::fabs(p1[0] - p2[0]) < 0.001) {
        closestOnAxis(p1, p2, p, 1, p1[0], c);
    } else if (std::fabs(p1[1] - p2[1]) < 0.001) {
        closestOnAxis(p1, p2, p, 0, p1[1], c);
    } else {
        closestOnSlope(p1, p2, p, c);
    }
    return scaledHypot(sx, sy, p[0] - c[0], p[1] - c[1]);
}

double ringDistanceScaled(double sx, double sy, const double *points, int n, const double *p, double *boundary)
{
    double best = kHuge;
    int crossings = 0;
    for (int i = 0; i < n; i++) {
        const double *prev = points + 2 * (i == 0 ? n - 1 : i - 1);
        const double *cur = points + 2 * i;
        double c[2];
        bool spans = p[0] >= std::min(prev[0], cur[0]) && p[0] < std::max(prev[0], cur[0]);
        if (prev[0] == cur[0]) {
            closestOnAxis(prev, cur, p, 1, cur[0], c); /* vertical: never crosses */
        } else if (prev[1] == cur[1]) {
            closestOnAxis(prev, cur, p, 0, cur[1], c);
            crossings += spans && p[1] < cur[1];
        } else {
            closestOnSlope(prev, cur, p, c);
            double m = (cur[1] - prev[1]) / (cur[0] - prev[0]);
            crossings += spans && m * p[0] + (prev[1] - m * prev[0]) > p[1];
        }
        best = std::min(best, scaledHypot(sx, sy, p[0] - c[0], p[1] - c[1]));
    }
    if (boundary != nullptr) {
        *boundary = best;
    }
    return crossings & 1 ? 0 : best;
}

double ringsDistanceScaled(double sx, double sy, const double *points, int nRings, const int *counts, const double *p,
                           double *boundary)
{
    if (nRings <= 0) {
        if (boundary != nullptr) {
            *boundary = kHuge;
        }
        return kHuge;
    }
    double nearest;
    double d = ringDistanceScaled(sx, sy, points, counts[0], p, &nearest);
    if (d > 0) {
        if (boundary != nullptr) {
            *boundary = nearest;
        }
        return d;
    }
    const double *ring = points + 2 * static_cast<size_t>(counts[0]);
    for (int i = 1; i < nRings; i++) {
        double edge;
        double inHole = ringDistanceScaled(sx, sy, ring, counts[i], p, &edge);
        nearest = std::min(nearest, edge);
        if (inHole == 0) {
            if (boundary != nullptr) {
                *boundary = edge;
            }
            return edge;
        }
        ring += 2 * static_cast<size_t>(counts[i]);
    }
    if (boundary != nullptr) {
        *boundary = nearest;
    }
    return 0;
}

double ovalToPointScaled(double sx, double sy, const double *box, double width, int filled, const double *p)
{
    sx = std::fabs(sx);
    sy = std::fabs(sy);
    double dx = p[0] - (box[0] + box[2]) / 2;
    double dy = p[1] - (box[1] + box[3]) / 2;
    double toCenter = scaledHypot(sx, sy, dx, dy);
    double rx = (width / sx + box[2] - box[0]) / 2;
    double ry = (width / sy + box[3] - box[1]) / 2;
    double scaled = std::hypot(dx / rx, dy / ry);
    if (scaled > 1) {
        return toCenter / scaled * (scaled - 1);
    }
    if (filled) {
        return 0;
    }
    double d = scaled > 1e-10 ? toCenter / scaled * (1 - scaled) - width
                              : (std::min((box[2] - box[0]) * sx, (box[3] - box[1]) * sy) - width) / 2;
    return d < 0 ? 0 : d;
}

double thickPolylineToPoint(const double *points, int n, double width, int capStyle, int joinStyle, const double *p)
{
    double radius = width / 2;
    double best = kHuge;
    bool fallBack = false; /* a miter join replaced by a bevel */
    /* poly: start corners 0..3, end corners 4..7, closing point 8..9,
     * and 10..11 closing the bevel wedge */
    double poly[12];
    for (int i = 0; i + 1 < n; i++) {
        double *a = const_cast<double *>(points + 2 * i);
        double *b = a + 2;
        if ((capStyle == CapRound && i == 0) || (joinStyle == JoinRound && i > 0)) {
            /* The disc a round cap or join adds: radius about the point. */
            double disc[4] = {a[0] - radius, a[1] - radius, a[0] + radius, a[1] + radius};
            best = std::min(best, TkOvalToPoint(disc, 0, 1, const_cast<double *>(p)));
        }
        if (i == 0) {
            TkGetButtPoints(b, a, width, capStyle == CapProjecting, poly, poly + 2);
        } else if (joinStyle == JoinMiter && !fallBack) {
            poly[0] = poly[6];
            poly[1] = poly[7];
            poly[2] = poly[4];
            poly[3] = poly[5];
        } else {
            TkGetButtPoints(b, a, width, 0, poly, poly + 2);
            if (joinStyle == JoinBevel || fallBack) {
                /* The wedge between the previous end and this start: its
                 * ring closed back to its first point (an open one lets
                 * points outside count as inside). */
                poly[8] = poly[0];
                poly[9] = poly[1];
                poly[10] = poly[2];
                poly[11] = poly[3];
                best = std::min(best, TkPolygonToPoint(poly + 2, 5, const_cast<double *>(p)));
                fallBack = false;
            }
        }
        if (i + 2 == n) {
            TkGetButtPoints(a, b, width, capStyle == CapProjecting, poly + 4, poly + 6);
        } else if (joinStyle == JoinMiter) {
            if (TkGetMiterPoints(a, b, b + 2, width, poly + 4, poly + 6) == 0) {
                fallBack = true;
                TkGetButtPoints(a, b, width, 0, poly + 4, poly + 6);
            }
        } else {
            TkGetButtPoints(a, b, width, 0, poly + 4, poly + 6);
        }
        poly[8] = poly[0];
        poly[9] = poly[1];
        best = std::min(best, TkPolygonToPoint(poly, 5, const_cast<double *>(p)));
        if (best <= 0) {
            return 0;
        }
    }
    if (capStyle == CapRound && n >= 1) {
        const double *last = points + 2 * (n - 1);
        double disc[4] = {last[0] - radius, last[1] - radius, last[0] + radius, last[1] + radius};
        best = std::min(best, TkOvalToPoint(disc, 0, 1, const_cast<double *>(p)));
    }
    return best <= 0 ? 0 : best;
}

int rectToRect(const double *a, const double *b)
{
    if (a[2] < b[0] || a[0] > b[2] || a[3] < b[1] || a[1] > b[3]) {
        return -1;
    }
    if (a[0] >= b[0] && a[2] <= b[2] && a[1] >= b[1] && a[3] <= b[3]) {
        return 1;
    }
    return 0;
}

void itemBBoxIncludePoint(GcanvasWidget *canvas, GcanvasItem *item, const double *point)
{
    gcanvasMarkIndexStale(canvas);
    if (point[0] < item->x1) {
        item->x1 = point[0];
    }
    if (point[0] > item->x2) {
        item->x2 = point[0];
    }
    if (point[1] < item->y1) {
        item->y1 = point[1];
    }
    if (point[1] > item->y2) {
        item->y2 = point[1];
    }
}

void itemBBoxIncludeXY(GcanvasWidget *canvas, GcanvasItem *item, double x, double y)
{
    gcanvasMarkIndexStale(canvas);
    if (x < item->x1) {
        item->x1 = x;
    } else if (x > item->x2) {
        item->x2 = x;
    }
    if (y < item->y1) {
        item->y1 = y;
    }
    if (y > item->y2) {
        item->y2 = y;
    }
}

void itemBBoxIncludePoints(GcanvasWidget *canvas, GcanvasItem *item, const double *points, int n)
{
    for (int i = 0; i < n; i++) {
        itemBBoxIncludeXY(canvas, item, points[2 * i], points[2 * i + 1]);
    }
}

/* ---- bezier smoothing ---- */

void bezierScreenPoints(const GcanvasWidget *canvas, const double *control, int steps, XPoint *out)
{
    for (int i = 1; i <= steps; i++) {
        double t = static_cast<double>(i) / steps;
        double u = 1 - t;
        double t2 = t * t, t3 = t2 * t, u2 = u * u, u3 = u2 * u;
        double x = 3 * (control[2] * t * u2 + control[4] * t2 * u) + control[0] * u3 + control[6] * t3;
        double y = 3 * (control[3] * t * u2 + control[5] * t2 * u) + control[1] * u3 + control[7] * t3;
        out[i - 1].x = gcanvasDrawableCoord(canvas->drawableXOrigin, x);
        out[i - 1].y = gcanvasDrawableCoord(canvas->drawableYOrigin, y);
    }
}

namespace {

/* Writes one span (or its end alone) to whichever outputs are given;
 * answers the points written. */
int emitSpan(const GcanvasWidget *canvas, double *control, int steps, bool endOnly, XPoint *xpoints, double *dpoints,
             int at)
{
    if (endOnly) {
        if (xpoints != nullptr) {
            xpoints[at].x = gcanvasDrawableCoord(canvas->drawableXOrigin, control[6]);
            xpoints[at].y = gcanvasDrawableCoord(canvas->drawableYOrigin, control[7]);
        }
        if (dpoints != nullptr) {
            dpoints[2 * at] = control[6];
            dpoints[2 * at + 1] = control[7];
        }
        return 1;
    }
    if (xpoints != nullptr) {
        bezierScreenPoints(canvas, control, steps, xpoints + at);
    }
    if (dpoints != nullptr) {
        TkBezierPoints(control, steps, dpoints + 2 * at);
    }
    return steps;
}

}  // namespace

int gcanvasMakeBezierCurve(const GcanvasWidget *canvas, const double *points, int n, int steps, XPoint *xpoints,
                           double *dpoints)
{
    if (points == nullptr) {
        long long bound = 1 + static_cast<long long>(n) * steps;
        return bound > INT_MAX ? INT_MAX : static_cast<int>(bound);
    }
    if (n <= 0) {
        return 0;
    }
    double control[8];
    int count = 0;
    bool closed = n > 1 && points[0] == points[2 * n - 2] && points[1] == points[2 * n - 1];
    if (closed && n > 2) {
        const double *last = points + 2 * (n - 2);
        const double *first = points;
        const double *second = points + 2;
        control[0] = 0.5 * last[0] + 0.5 * first[0];
        control[1] = 0.5 * last[1] + 0.5 * first[1];
        control[2] = 0.167 * last[0] + 0.833 * first[0];
        control[3] = 0.167 * last[1] + 0.833 * first[1];
        control[4] = 0.833 * first[0] + 0.167 * second[0];
        control[5] = 0.833 * first[1] + 0.167 * second[1];
        control[6] = 0.5 * first[0] + 0.5 * second[0];
        control[7] = 0.5 * first[1] + 0.5 * second[1];
        if (xpoints != nullptr) {
            xpoints[0].x = gcanvasDrawableCoord(canvas->drawableXOrigin, control[0]);
            xpoints[0].y = gcanvasDrawableCoord(canvas->drawableYOrigin, control[1]);
        }
        if (dpoints != nullptr) {
            dpoints[0] = control[0];
            dpoints[1] = control[1];
        }
        count = 1;
        count += emitSpan(canvas, control, steps, false, xpoints, dpoints, count);
    } else {
        closed = false;
        if (xpoints != nullptr) {
            xpoints[0].x = gcanvasDrawableCoord(canvas->drawableXOrigin, points[0]);
            xpoints[0].y = gcanvasDrawableCoord(canvas->drawableYOrigin, points[1]);
        }
        if (dpoints != nullptr) {
            dpoints[0] = points[0];
            dpoints[1] = points[1];
        }
        count = 1;
    }
    for (int i = 2; i < n; i++) {
        const double *a = points + 2 * (i - 2);
        const double *v = a + 2;
        const double *b = a + 4;
        if (i == 2 && !closed) {
            control[0] = a[0];
            control[1] = a[1];
            control[2] = 0.333 * a[0] + 0.667 * v[0];
            control[3] = 0.333 * a[1] + 0.667 * v[1];
        } else {
            control[0] = 0.5 * a[0] + 0.5 * v[0];
            control[1] = 0.5 * a[1] + 0.5 * v[1];
            control[2] = 0.167 * a[0] + 0.833 * v[0];
            control[3] = 0.167 * a[1] + 0.833 * v[1];
        }
        if (i == n - 1 && !closed) {
            control[4] = 0.667 * v[0] + 0.333 * b[0];
            control[5] = 0.667 * v[1] + 0.333 * b[1];
            control[6] = b[0];
            control[7] = b[1];
        } else {
            control[4] = 0.833 * v[0] + 0.167 * b[0];
            control[5] = 0.833 * v[1] + 0.167 * b[1];
            control[6] = 0.5 * v[0] + 0.5 * b[0];
            control[7] = 0.5 * v[1] + 0.5 * b[1];
        }
        bool degenerate = (a[0] == v[0] && a[1] == v[1]) || (v[0] == b[0] && v[1] == b[1]);
        count += emitSpan(canvas, control, steps, degenerate, xpoints, dpoints, count);
    }
    return count;
}

/* ---- Shared by the line and polygon items: smoothing bound, vertex
 * angle, segment walk. ---- */

long long gcanvasSmoothBound(const GcanvasWidget *canvas, const GcanvasSmoothMethod *method, int n, int steps)
{
    long long bound;
    if (method->coordProc == gcanvasMakeBezierCurve) {
        bound = 1 + static_cast<long long>(std::max(n, 0)) * std::max(steps, 0);
    } else {
        bound = method->coordProc(canvas, nullptr, n, steps, nullptr, nullptr);
    }
    return bound < 0 || bound > kGcanvasSmoothLimit ? -1 : bound;
}

int gcanvasSmoothPart(const GcanvasWidget *canvas, const GcanvasSmoothMethod *method, const double *points, int n,
                      int steps, std::vector<double> &out)
{
    if (n < 3) {
        return 0;
    }
    long long bound = gcanvasSmoothBound(canvas, method, n, steps);
    if (bound < 0) {
        return 0;
    }
    size_t at = out.size();
    out.resize(at + 2 * static_cast<size_t>(std::max<long long>(bound, n)));
    int made = method->coordProc(canvas, points, n, steps, nullptr, out.data() + at);
    made = std::clamp(made, 0, static_cast<int>(std::max<long long>(bound, n)));
    out.resize(at + 2 * static_cast<size_t>(made));
    return made;
}

namespace {

void readPoint(const void *source, GcanvasPointReader *reader, int index, double *xy)
{
    if (reader != nullptr) {
        reader(source, index, xy);
    } else {
        const double *p = static_cast<const double *>(source) + 2 * static_cast<size_t>(index);
        xy[0] = p[0];
        xy[1] = p[1];
    }
}

double directionOf(const double *a, const double *b)
{
    return gcanvasPlainZero(vectorAngle(b[0] - a[0], b[1] - a[1]));
}

}  // namespace

double gcanvasVertexAngle(const void *source, GcanvasPointReader *reader, const int *partCounts, int numParts,
                          int numPoints, int vertex)
{
    if (numPoints < 1 || numParts < 1) {
        return 0.0;
    }
    int i = vertex % numPoints;
    if (i < 0) {
        i += numPoints;
    }
    int start = 0, p = 0;
    while (p < numParts - 1 && i >= start + partCounts[p]) {
        start += partCounts[p++];
    }
    int n = partCounts[p];
    if (n < 2) {
        return 0.0;
    }
    if (i == start + n - 1) {
        i--;
    }
    double a[2], b[2];
    readPoint(source, reader, i, a);
    readPoint(source, reader, i + 1, b);
    return directionOf(a, b);
}

double gcanvasSegmentWalk(const void *source, GcanvasPointReader *reader, const int *partCounts, int numParts,
                          double position, double *x, double *y)
{
    *x = *y = 0;
    if (numParts < 1 || !std::isfinite(position)) {
        return 0.0;
    }
    double whole = std::trunc(position);
    double fraction = std::fabs(position - whole);
    double k = std::fmod(whole, static_cast<double>(numParts));
    int p = static_cast<int>(k < 0 ? k + numParts : k);
    int start = 0;
    for (int i = 0; i < p; i++) {
        start += partCounts[i];
    }
    int n = partCounts[p];
    double a[2], b[2];
    readPoint(source, reader, start, a);
    *x = gcanvasPlainZero(a[0]);
    *y = gcanvasPlainZero(a[1]);
    if (n < 2) {
        return 0.0;
    }
    double total = 0;
    for (int i = 0; i + 1 < n; i++) {
        readPoint(source, reader, start + i, a);
        readPoint(source, reader, start + i + 1, b);
        total += std::hypot(b[0] - a[0], b[1] - a[1]);
    }
    double left = fraction * total;
    for (int i = 0; i + 1 < n; i++) {
        readPoint(source, reader, start + i, a);
        readPoint(source, reader, start + i + 1, b);
        double length = std::hypot(b[0] - a[0], b[1] - a[1]);
        if (left <= length || i + 2 == n) {
            double t = length > 0 ? std::min(left / length, 1.0) : 0.0;
            *x = gcanvasPlainZero(a[0] + t * (b[0] - a[0]));
            *y = gcanvasPlainZero(a[1] + t * (b[1] - a[1]));
            return directionOf(a, b);
        }
        left -= length;
    }
    return 0.0;
}

/* ---- even-odd rings ---- */

GcanvasRingsHit gcanvasRingsHit(const double *points, const int *counts, int nRings, const double *p)
{
    GcanvasRingsHit hit{0, -1, -1, std::numeric_limits<double>::infinity()};
    double innerArea = std::numeric_limits<double>::infinity();
    const double *ring = points;
    for (int i = 0; i < nRings; i++) {
        int c = counts[i];
        double boundary = std::numeric_limits<double>::infinity();
        if (c >= 3) {
            if (ringDistanceScaled(1, 1, ring, c, p, &boundary) == 0) {
                hit.inside++;
                double a = std::fabs(polygonArea(ring, c));
                if (a < innerArea) {
                    innerArea = a;
                    hit.innermost = i;
                }
            }
        } else if (c == 2) {
            boundary = segmentDistanceScaled(1, 1, ring, ring + 2, p);
        } else if (c == 1) {
            boundary = std::hypot(ring[0] - p[0], ring[1] - p[1]);
        }
        if (boundary < hit.edge) {
            hit.edge = boundary;
            hit.nearest = i;
        }
        ring += 2 * static_cast<size_t>(std::max(c, 0));
    }
    return hit;
}

int gcanvasEdgesToArea(double *ring, int n, double *rect)
{
    if (n == 1) {
        return ring[0] >= rect[0] && ring[0] <= rect[2] && ring[1] >= rect[1] && ring[1] <= rect[3] ? 1 : -1;
    }
    int state = TkLineToArea(ring, ring + 2, rect);
    for (int k = 1; state != 0 && k + 1 < n; k++) {
        if (TkLineToArea(ring + 2 * k, ring + 2 * k + 2, rect) != state) {
            return 0;
        }
    }
    return state;
}

int gcanvasRingsToArea(double *points, const int *counts, int nRings, bool outline, double width, int joinStyle,
                       bool filled, double *rect)
{
    double w = std::max(width, 1.0);
    int in = 0, out = 0, containing = 0;
    double *ring = points;
    for (int i = 0; i < nRings; i++) {
        int c = counts[i];
        if (c <= 0) {
            continue;
        }
        int edges = outline && c >= 2 ? TkThickPolyLineToArea(ring, c, w, CapRound, joinStyle, rect)
                                      : gcanvasEdgesToArea(ring, c, rect);
        if (edges == 0) {
            return 0;
        }
        if (edges > 0) {
            in++;
        } else if (filled && c >= 4 && TkPolygonToArea(ring, c, rect) == 0) {
            containing++;
        } else {
            out++;
        }
        ring += 2 * static_cast<size_t>(c);
    }
    if (in > 0) {
        return out == 0 && containing == 0 ? 1 : 0;
    }
    return containing & 1 ? 0 : -1;
}
