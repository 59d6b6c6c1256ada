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

#include "canvas/gcanvas.h"
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

#endif /* TESK_CANVAS_GEOMETRY_H */
