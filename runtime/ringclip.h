/*
 * ringclip.h --
 *
 *	A closed ring of points in doubles clipped to a box, with exact
 *	(unrounded) crossings. Shared by the canvas, which clips drawable rings
 *	before they become 16-bit points, and the display driver, whose polygon
 *	vertices may lie anywhere in int.
 */
#ifndef TESK_RUNTIME_RINGCLIP_H
#define TESK_RUNTIME_RINGCLIP_H

#include <vector>

/* A point of a ring in doubles. */
struct RingPoint {
    double x, y;
};

/*
 * clipRingToBox --
 *	Replaces ring by its part inside box (x1, y1, x2, y2, edges included):
 *	one Sutherland-Hodgman stage per edge (x1, x2, y1, y2), each crossing
 *	computed from the point before it. Empty when nothing is inside.
 *	scratch is a buffer of the caller's, reused from call to call.
 */
void clipRingToBox(std::vector<RingPoint> &ring, std::vector<RingPoint> &scratch, const double *box);

#endif /* TESK_RUNTIME_RINGCLIP_H */
