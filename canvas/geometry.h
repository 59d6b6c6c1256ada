/*
 * geometry.h --
 *
 *	The geometric questions items answer for the widget: how far a point
 *	is from them (in canvas units, world offsets scaled by sx and sy), how
 *	they lie against a rectangle, and their measures (area, length,
 *	centroid, angles); and the bezier smoothing of lines and polygons.
 *
 *	Points are (x, y) pairs of doubles; rectangles x1, y1, x2, y2 with
 *	x1 <= x2 and y1 <= y2; area tests answer 1 inside, 0 overlapping, -1
 *	outside. Cap and join styles are X's codes.
 */
#ifndef TESK_CANVAS_GEOMETRY_H
#define TESK_CANVAS_GEOMETRY_H

#include <vector>

#include "canvas/gcanvas.h"
#include "canvas/outline.h"
#include "runtime/planar.h"

/* Distance from p to the segment p1-p2. */
double segmentDistanceScaled(double sx, double sy, const double *p1, const double *p2, const double *p);
/* 0 when p is inside the closed ring, else the distance to its boundary;
 * *boundary (when given) receives the boundary distance either way. */
double ringDistanceScaled(double sx, double sy, const double *points, int n, const double *p, double *boundary);
/* The same for a polygon with holes: ring 0 outer, the others holes. */
double ringsDistanceScaled(double sx, double sy, const double *points, int nRings, const int *counts, const double *p,
                           double *boundary);
/* Distance from p to the oval in box (world units) with an outline of
 * width pixels, filled or not. */
double ovalToPointScaled(double sx, double sy, const double *box, double width, int filled, const double *p);
/* Distance from p to the polyline (n >= 2) drawn width wide with the given
 * cap and join styles; 0 inside. */
double thickPolylineToPoint(const double *points, int n, double width, int capStyle, int joinStyle, const double *p);
/* 1: a within b; -1: apart (touching edges overlap); 0 otherwise. */
int rectToRect(const double *a, const double *b);

/* Widen the item's box to hold a point (the canvas's item index goes
 * stale). */
void itemBBoxIncludePoint(GcanvasWidget *canvas, GcanvasItem *item, const double *point);
void itemBBoxIncludeXY(GcanvasWidget *canvas, GcanvasItem *item, double x, double y);
void itemBBoxIncludePoints(GcanvasWidget *canvas, GcanvasItem *item, const double *points, int n);

/* steps points of the bezier span of four control points (eight values,
 * canvas units) as drawable points; the first control point is not
 * written. */
void bezierScreenPoints(const GcanvasWidget *canvas, const double *control, int steps, XPoint *out);
/*
 * The smoothed curve of n points (canvas units), steps points a span, into
 * drawable points and/or doubles (either may be NULL); answers the count
 * written, or with points NULL the bound 1 + n * steps.
 */
int gcanvasMakeBezierCurve(const GcanvasWidget *canvas, const double *points, int n, int steps, XPoint *xpoints,
                           double *dpoints);

/* ---- Shared by the line and polygon items: gcanvasSmoothBound,
 * gcanvasSmoothPart (smoothing with a 64-bit bound), gcanvasVertexAngle
 * (vangle) and gcanvasSegmentWalk (langle) over multi-part point sets. ---- */

/* Above this many smoothed points a part is drawn unsmoothed (as the
 * object item does). */
constexpr long long kGcanvasSmoothLimit = 4000000;

/* The points method makes of n points at steps a span, worked out in 64
 * bits (the built-in bezier: 1 + n * steps); -1 when above
 * kGcanvasSmoothLimit or when the method's own bound overflows. */
long long gcanvasSmoothBound(const GcanvasWidget *canvas, const GcanvasSmoothMethod *method, int n, int steps);

/* Appends the smoothed n points (canvas units in, doubles out) to out and
 * answers the count made; answers 0 with out unchanged when n < 3 or the
 * bound is -1: the caller then uses the points as they are. */
int gcanvasSmoothPart(const GcanvasWidget *canvas, const GcanvasSmoothMethod *method, const double *points, int n,
                      int steps, std::vector<double> &out);

/* Reads point index (0 .. total - 1) of a point set into xy; a NULL
 * reader means source is a plain array of (x, y) doubles. */
typedef void GcanvasPointReader(const void *source, int index, double *xy);

/*
 * The vertex angle (degrees) of a point set of numParts parts: vertex
 * modulo the numPoints points (negative ones too) picks a point; the
 * direction of the segment from it to the next point of its part, at a
 * part's last point that part's last segment. 0 when the part has one
 * point (so an item with no segment answers 0).
 */
double gcanvasVertexAngle(const void *source, GcanvasPointReader *reader, const int *partCounts, int numParts,
                          int numPoints, int vertex);

/*
 * The point at a segment position: the integer part trunc(position),
 * modulo numParts (negative ones too), picks the part; the fraction,
 * taken without its sign (a negative position counts from the start as
 * well), times the part's length is walked from its first point. The
 * point reached goes to x, y (plain zeros); the answer is its segment's
 * direction, 0 for a one-point part (x, y its point) or no parts (0, 0).
 */
double gcanvasSegmentWalk(const void *source, GcanvasPointReader *reader, const int *partCounts, int numParts,
                          double position, double *x, double *y);

/* ---- Shared by the polygon and object items: rings (canvas units,
 * counts[i] points each, one after another) filled by the even-odd
 * rule. ---- */

/* Where p lies against the rings: how many rings (of three or more
 * points) hold it, the smallest of them by area (-1: none), the ring with
 * the nearest edge (-1: no ring) and that edge's distance. */
struct GcanvasRingsHit {
    int inside;
    int innermost;
    int nearest;
    double edge;
};
GcanvasRingsHit gcanvasRingsHit(const double *points, const int *counts, int nRings, const double *p);

/* How a ring's edges (an open polyline of n points; one point stands
 * alone) lie against rect: 1 within, 0 crossing, -1 outside. */
int gcanvasEdgesToArea(double *ring, int n, double *rect);
/*
 * How the rings lie against rect: 0 when an edge (with the outline of
 * width pixels, at least 1, when outline is set) crosses rect or rect
 * lies in the filled area (within an odd number of rings, when filled);
 * 1 when every ring lies within rect; else -1.
 */
int gcanvasRingsToArea(double *points, const int *counts, int nRings, bool outline, double width, int joinStyle,
                       bool filled, double *rect);

#endif /* TESK_CANVAS_GEOMETRY_H */
