/*
 * shapemeasure.h --
 *
 *	Plane measures of a run of points (one part of a record): signed ring
 *	area and its centroid, line length and its centroid, the mean point,
 *	and the direction of a segment. Points are X, Y pairs.
 */
#ifndef TESK_GEO_SHAPEMEASURE_H
#define TESK_GEO_SHAPEMEASURE_H

#include "runtime/planar.h"

/* Positive for rings running clockwise with Y growing upward (outer
 * rings), negative for holes. */
inline double shapeRingArea(const double *xy, int n)
{
    return polygonArea(xy, n);
}
/* Centroid of a ring; answers its signed area, the centroid's weight. A
 * ring without area has its mean point, weighing nothing. */
inline double shapeRingAreaCentroid(const double *xy, int n, double *cx, double *cy)
{
    return polygonAreaCentroid(xy, n, cx, cy);
}
inline double shapeLineLength(const double *xy, int n)
{
    return polylineLength(xy, n);
}
/* Centroid of a line; answers its length. A line without length has the
 * part's last point as centroid. */
inline double shapeLineCentroid(const double *xy, int n, double *cx, double *cy)
{
    return polylineCentroid(xy, n, cx, cy);
}
/* Mean of the points; answers their number. */
inline double shapePointsAverage(const double *xy, int n, double *cx, double *cy)
{
    return pointsMean(xy, n, cx, cy);
}
/* Degrees counter-clockwise from +X, in [-180, 180); 0 for no length. */
inline double shapeSegmentAngle(double x0, double y0, double x1, double y1)
{
    return vectorAngle(x1 - x0, y1 - y0);
}

#endif /* TESK_GEO_SHAPEMEASURE_H */
