/*
 * gtop.h --
 *
 *	What the unit tests may ask of "rimage gtop" (gtop.cpp) beside its
 *	entry in tools.h.
 */
#ifndef TESK_ANALYSIS_TOOLS_GTOP_H
#define TESK_ANALYSIS_TOOLS_GTOP_H

/* The rays of the last perspective drawing over a DEM: how many were
 * drawn, and the largest factor by which the angular step changed from
 * one ray to the next (up or down). */
struct GtopRayStats {
    long rays = 0;
    double largestStepChange = 1.0;
};
GtopRayStats gtopLastRayStats();

#endif /* TESK_ANALYSIS_TOOLS_GTOP_H */
