/*
 * shapemeasure.h --
 *
 *	Plane measures of a run of points (one part of a record): signed ring
 *	area and its centroid, line length and its centroid, the mean point,
 *	and the direction of a segment. Points are X, Y pairs.
 */
#ifndef TESK_GEO_SHAPEMEASURE_H
#define TESK_GEO_SHAPEMEASURE_H

/* Positive for rings running clockwise with Y growing upward (outer
 * rings), negative for holes. */
double shapeRingArea(const double *xy, int n);
/* Centroid of a ring; answers its signed area, the centroid's weight. */
double shapeRingAreaCentroid(const double *xy, int n, double *cx, double *cy);
double shapeLineLength(const double *xy, int n);
/* Centroid of a line; answers its length. A line without length has the
 * part's last point as centroid. */
double shapeLineCentroid(const double *xy, int n, double *cx, double *cy);
/* Mean of the points; answers their number. */
double shapePointsAverage(const double *xy, int n, double *cx, double *cy);
/* Degrees counter-clockwise from +X, in [-180, 180); 0 for no length. */
double shapeSegmentAngle(double x0, double y0, double x1, double y1);

#endif /* TESK_GEO_SHAPEMEASURE_H */
