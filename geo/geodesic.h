/*
 * geodesic.h --
 *
 *	Geodesics on an ellipsoid over a state record, shared by the geod
 *	program and geod objects: the ellipsoid and units of a definition,
 *	start and end points, azimuths and length. The arithmetic is that of
 *	PROJ's geodesic routines (geod_init, geod_inverse, geod_lineinit and
 *	geod_position); angles in the state are radians.
 */
#ifndef TESK_GEO_GEODESIC_H
#define TESK_GEO_GEODESIC_H

struct GeodState {
    double a;                    /* semi-major axis, metres */
    double lam1, phi1, alpha12;  /* start point, forward azimuth */
    double lam2, phi2, alpha21;  /* end point, back azimuth */
    double dist;                 /* length in the definition's units */
    double onef, f, f2, f4, f64; /* 1 - flattening, flattening, f/2, f/4, f*f/64 */
    int ellipse;                 /* the eccentricity is not 0 */
    int inverse;                 /* 1: both points given; 0: start, azimuth, length */
    /* The classic prepared line: kept for the record's layout; the
     * routines below leave them alone (PROJ's line set-up stands in). */
    double th1, costh1, sinth1, sina12, cosa12, M, N, c1, c2, D, P, s1;
    int merid, signS;
    double toMeter, frMeter; /* unit factors, 1.0 without units */
    double delAlpha;         /* azimuth step of an arc */
    int nAlpha, nS;          /* azimuth steps; distance steps */
};

/*
 * Sets state up from definition words (ellps=, a=, rf=, units=, lat_1 ...).
 * Each failure is reported through emess with code (0 for objects, which
 * prints and returns; 1 for the program, which ends the run) and answers
 * 0; success answers 1. scaleS: S is in the definition's units (objects)
 * rather than metres (the program).
 */
int geodStateSet(int argc, const char *const *argv, GeodState *state, int code, int scaleS);
/* Splits text as a Tcl list (projInterp) and runs geodStateSet with code 0;
 * 0 when the text is not a list. */
int geodStateInit(GeodState *state, const char *text);
/* Prepares the line: alpha12 normalised to [-pi, pi]. */
void geodStatePrepare(GeodState *state);
/* lam2, phi2 and alpha21 from the prepared line and dist x toMeter. */
void geodStateForward(GeodState *state);
/* alpha12, alpha21 and dist (x frMeter) between the two points. */
void geodStateInverse(GeodState *state);
/* Degrees in and out; the length is returned; azimuths through the
 * pointers (either may be NULL). */
double geodInverse(GeodState *state, double lon1, double lat1, double lon2, double lat2, double *azimuth12,
                   double *azimuth21);
/* Degrees in and out; the back azimuth is returned. */
double geodForward(GeodState *state, double lon1, double lat1, double azimuth, double length, double *lon2,
                   double *lat2);

#endif /* TESK_GEO_GEODESIC_H */
