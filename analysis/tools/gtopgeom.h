/*
 * gtopgeom.h --
 *
 *	The view geometry of "rimage gtop" (gtop.cpp) as plain functions: the
 *	view rotation, the ring of distances and directions that a ground
 *	rectangle covers around a view point with the rule that turns a point
 *	into its direction, the central projection onto the picture plane,
 *	segment clipping and the picture line of a ray.
 */
#ifndef TESK_ANALYSIS_TOOLS_GTOPGEOM_H
#define TESK_ANALYSIS_TOOLS_GTOPGEOM_H

/* Where the view point lies against the rectangle: column (left, inside,
 * right) times 3 plus row (above, middle, below). */
enum GtopRegion {
    GTOP_LEFT_ABOVE, GTOP_LEFT_MIDDLE, GTOP_LEFT_BELOW,
    GTOP_INSIDE_ABOVE, GTOP_INSIDE_MIDDLE, GTOP_INSIDE_BELOW,
    GTOP_RIGHT_ABOVE, GTOP_RIGHT_MIDDLE, GTOP_RIGHT_BELOW
};

/* The ring a ground rectangle covers as seen from a view point. */
struct GtopRing {
    double rhoMin = 0.0;   // smallest distance from the view point, ground pixels
    double rhoMax = 0.0;   // largest distance
    double theta0 = 0.0;   // first direction, radians
    double theta1 = 0.0;   // last direction, at least theta0
    int region = GTOP_INSIDE_MIDDLE;  // GtopRegion: picks the direction rule
};

/*
 * gtopViewMatrix --
 *	The rotation of a view along (vx, vy, vz) (vz the height drop): kappa
 *	about z from the horizontal direction, omega about x from the drop; R =
 *	identity turned about z through kappa, then about x through omega.
 *	Answers the length of the vector; omega and kappa go out when asked.
 */
double gtopViewMatrix(double R[9], double vx, double vy, double vz, double *omega = nullptr, double *kappa = nullptr);

/* The rectangle (0, 0) .. (x1, y1) seen from (xc, yc), rows growing down. */
GtopRing gtopScanRange(double x1, double y1, double xc, double yc);

/* The direction of the point (dx, dy) at distance r from the view point by
 * the rule of region, continuous across the rectangle of its ring. */
double gtopPolarAngle(int region, double dx, double dy, double r);

/*
 * gtopProject --
 *	The picture position (u, v) of the ground point (X, Y) (relative to the
 *	view point) at height Z: where its line of sight from the view point at
 *	height zc meets the picture plane through the target (TX, TY, tz),
 *	spanned by the first two columns of M (the transposed view rotation).
 *	False, leaving u and v alone, when the system is singular or the
 *	position is not finite.
 */
bool gtopProject(const double M[9], double zc, double X, double Y, double Z, double TX, double TY, double tz,
                 float *u, float *v);

/* Clips the segment (x1, y1)-(x2, y2) to the rectangle, boundary by
 * boundary (y low, y high, x low, x high). False when nothing of it lies
 * inside (the ends then undefined). */
bool gtopClipSegment(double *x1, double *y1, double *x2, double *y2, double ymin, double ymax, double xmin,
                     double xmax);

/* The picture line of a ray in the ray's vertical plane: its point F
 * nearest the view point at signed distance A along the ray and height B,
 * and the angle alpha (0..pi) between the ray and the line's upward
 * direction. Planes parallel: A 0, B tz, alpha 0. */
struct GtopRayLine {
    double A = 0.0;
    double B = 0.0;
    double alpha = 0.0;
};

/* The picture line of the ray from the view point (xc, yc, zc) toward the
 * ground point (fx, fy), for the picture plane through the target (tx, ty,
 * tz) facing the view point. */
GtopRayLine gtopRayGeometry(double xc, double yc, double zc, double tx, double ty, double tz, double fx, double fy);

/* The picture parameter where the line of sight to a profile point at
 * horizontal distance D and depth H below the view height meets the
 * picture line; not finite when they are parallel. */
double gtopLineParameter(const GtopRayLine &line, double zc, double D, double H);

#endif /* TESK_ANALYSIS_TOOLS_GTOPGEOM_H */
