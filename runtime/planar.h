/*
 * planar.h --
 *
 *	Plane measures of a run of n points (x, y pairs of doubles), shared by
 *	the canvas items and the shape records.
 */
#ifndef TESK_RUNTIME_PLANAR_H
#define TESK_RUNTIME_PLANAR_H

/* Measures; rings are closed implicitly. Centroids of rings without area
 * and of lines without length fall back to the mean of the points and to
 * the last point. */
double polygonArea(const double *points, int n);
double polygonAreaCentroid(const double *points, int n, double *cx, double *cy);
double polylineLength(const double *points, int n);
double polylineCentroid(const double *points, int n, double *cx, double *cy);
double pointsMean(const double *points, int n, double *cx, double *cy);
/* Degrees from +x towards +y: (0, 180] for dy > 0, [-180, 0] otherwise. */
double vectorAngle(double dx, double dy);

#endif /* TESK_RUNTIME_PLANAR_H */
