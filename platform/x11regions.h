/*
 * x11regions.h --
 *
 *	Regions and filled shapes of several rings on X11, for the display
 *	modules and the geo canvas: exclusive-or and union of regions and
 *	regions made from 16-bit polygons (thin over libX11's regions), and
 *	the fill of several rings as one shape with holes by the even-odd rule
 *	over all rings (an X clip region on a private GC).
 */
#ifndef TESK_PLATFORM_X11REGIONS_H
#define TESK_PLATFORM_X11REGIONS_H

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#ifdef __cplusplus
extern "C" {
#endif

/* What a region operation answers: the shape of its result. */
enum RegionKind {
    REGION_ERROR = 0,  /* no result (a region was NULL) */
    REGION_EMPTY = 1,  /* the result covers no pixel */
    REGION_SIMPLE = 2, /* the result is one rectangle */
    REGION_COMPLEX = 3 /* the result is more than one rectangle */
};

/* result = a XOR b; result may be a or b. Answers a RegionKind. */
int xorRegion(Region a, Region b, Region result);
/* result = a OR b; result may be a or b. Answers a RegionKind. */
int unionRegion(Region a, Region b, Region result);
/* The RegionKind of region (REGION_ERROR for NULL). */
int regionKind(Region region);

/*
 * A new region (free with XDestroyRegion) covering the polygon of count
 * absolute points: by the winding rule when winding is non-zero, else by
 * the even-odd rule. Fewer than 3 points give an empty region. NULL when
 * memory runs out.
 */
Region polygonRegion(const XPoint *points, int count, int winding);

/*
 * Fills nRings rings as one shape with gc's fill (foreground, stipple or
 * tile, function): the rings lie one after another in points, counts[i]
 * points each; a pixel is filled when it lies inside an odd number of
 * rings, so holes stay empty and islands inside holes are filled, whatever
 * the rings' orientation. Rings of 2 or fewer points are skipped. mode is
 * CoordModeOrigin or CoordModePrevious (the first point of each ring is
 * absolute). shape is ignored. When one ring is left it is filled with
 * XFillPolygon on gc itself; several rings are filled through a private
 * copy of gc clipped to their shape, so a clip mask of gc does not apply
 * to them. gc is never changed. Draws nothing for the drawable None.
 */
void fillPolygonsWithHoles(Display *display, Drawable drawable, GC gc, XPoint *points, int nRings, const int *counts,
                           int shape, int mode);

#ifdef __cplusplus
}
#endif

/* ---- shared with the drawing primitives of x11draw ---- */

/*
 * The n points made absolute: points itself for CoordModeOrigin; for
 * CoordModePrevious a per-thread buffer (reused by the next call, grown
 * and never shrunk) where each point is added to the one before, held to
 * 16 bits. NULL when the buffer cannot grow.
 */
const XPoint *absolutePoints(const XPoint *points, int n, int mode);

/*
 * The rings of more than 2 points among nRings (counts below 0 count as
 * 0): answers how many there are; when there is exactly one, *offset and
 * *count give its place in the point array.
 */
int fillableRings(const int *counts, int nRings, int *offset, int *count);

/*
 * A new region (free with XDestroyRegion): the exclusive-or of the
 * even-odd regions of every ring of more than 2 points. mode as for
 * fillPolygonsWithHoles. NULL when memory runs out.
 */
Region evenOddRegion(const XPoint *points, int nRings, const int *counts, int mode);

/*
 * Fills region with gc, which the caller owns: its clip becomes the region
 * at clip origin (0, 0) and stays so; the caller puts gc's clip back.
 */
void fillThroughRegion(Display *display, Drawable drawable, GC gc, Region region);

#endif /* TESK_PLATFORM_X11REGIONS_H */
