/*
 * coords.h --
 *
 *	The one place where the canvas converts between world, canvas and
 *	drawable coordinates, and rounds: canvas-handle operations every item
 *	type calls, point-array operations, the clipping of rings to a drawing
 *	box, the ShapeKind code table and signed ring areas.
 *
 *	Boxes are four doubles x1, y1, x2, y2; a normalised box has x1 <= x2
 *	and y1 <= y2, and every conversion that yields a box normalises it.
 *	Drawable points are XPoints (16-bit x and y).
 */
#ifndef TESK_CANVAS_COORDS_H
#define TESK_CANVAS_COORDS_H

#include <vector>
#include "canvas/gcanvas.h"
#include "runtime/ringclip.h"
#include "runtime/shapeapi.h"

/* ---- canvas handle ---- */

Tk_Window gcanvasTkwin(const GcanvasWidget *canvas);
/* c - origin rounded half away from zero, held to 16 bits. */
short gcanvasDrawableCoord(int origin, double c);
/* v truncated towards zero and held to the int range; NaN gives 0. */
int gcanvasTruncToInt(double v);
/* v with a negative zero made positive, so that printing it never shows
 * "-0.0" or "-0.000000". */
double gcanvasPlainZero(double v);
/*
 * A screen distance in canvas units: a plain number is taken as it is
 * (exactly, as scripts give coordinates); a number with a unit suffix (m, c,
 * i, p) is read by Tk in millimetres through the canvas's window and
 * multiplied by the canvas's pixels per millimetre. A value that is not
 * finite is refused with "Invalid coordinate: "WORD" must be finite".
 * TCL_ERROR leaves the message in the canvas's interpreter and *out
 * unchanged.
 */
int gcanvasGetCoord(Tcl_Interp *interp, GcanvasWidget *canvas, const char *string, double *out);
int gcanvasGetCoordFromObj(Tcl_Interp *interp, GcanvasWidget *canvas, Tcl_Obj *obj, double *out);
/* Whether a create word starts the options ("-" and a lower-case letter).
 * A number Tcl holds without a text is never one, nor is a list of other
 * than one element held without a text (a coordinate list a script made):
 * their text is not made. */
bool gcanvasIsOptionWord(Tcl_Obj *obj);
/* Shared by the index words of the line, polygon and text items: reads
 * "@x,y" (two finite doubles, world units) into x and y; false (x, y
 * untouched) for any other text, "@inf,5" too. */
bool gcanvasParseAtPoint(const char *word, double *x, double *y);
/*
 * The same rule for any window (pixelsPerMM from its screen) with the
 * error naming what was read ("Invalid WHAT: ..."); interp may be NULL.
 */
int gcanvasParseDistance(Tcl_Interp *interp, Tk_Window tkwin, const char *string, const char *what, double *out);
/* Tile and stipple origin at minus the drawable origin. */
void gcanvasSetStippleOrigin(GcanvasWidget *canvas, GC gc);
/* The same plus an -offset record (may be NULL); a relative offset is set
 * through Tk against the canvas window, less the scroll origin. */
void gcanvasSetOffset(GcanvasWidget *canvas, GC gc, const Tk_TSOffset *offset);
GcanvasTextInfo *gcanvasGetTextInfo(GcanvasWidget *canvas);
/* A stipple origin anchored to a world box (left/centre/right,
 * top/middle/bottom of box x1, y1, x2, y2); index forms are left alone. */
void gcanvasAnchorOffset(Tk_TSOffset *offset, const double *box);
/* Sets the fill stipple origin of gc from offset (may be NULL), a centre
 * or middle anchor shifted back by half the stipple's size; undo with
 * XSetTSOrigin(display, gc, 0, 0). */
void gcanvasSetFillStippleOffset(GcanvasWidget *canvas, GC gc, Pixmap stipple, const Tk_TSOffset *offset);

/* ---- world and canvas coordinates ---- */

/* n points (x, y pairs); in and out may be the same array. */
void worldToCanvasPoints(const GcanvasWidget *canvas, const double *in, double *out, int n);
void canvasToWorldPoints(const GcanvasWidget *canvas, const double *in, double *out, int n);
/* A box of two points; in and out may be the same. */
void worldBBoxToCanvas(const GcanvasWidget *canvas, const double *in, double *out);
void canvasBBoxToWorld(const GcanvasWidget *canvas, const double *in, double *out);
void worldRectToCanvas(const GcanvasWidget *canvas, double x1, double y1, double x2, double y2, double *out);
void canvasRectToWorld(const GcanvasWidget *canvas, double x1, double y1, double x2, double y2, double *out);
/* The item's box (canvas units) from a world box. */
void setItemBBoxFromWorld(GcanvasWidget *canvas, GcanvasItem *item, double x1, double y1, double x2, double y2);
/* The item's box in world units. */
void gcanvasItemWorldBBox(const GcanvasWidget *canvas, const GcanvasItem *item, double *out);
/* The item's four box values put through the world-to-canvas formula. */
void itemBBoxWorldToCanvas(const GcanvasWidget *canvas, const GcanvasItem *item, double *x1, double *y1, double *x2,
                           double *y2);

/* ---- world to drawable points ---- */

/*
 * n >= 1 world points to drawable points with repeats and straight middle
 * points dropped; answers the count kept, at least 2 (a single point is
 * doubled). out has room for max(n, 2) points.
 */
int worldToScreenPoints(const GcanvasWidget *canvas, const double *points, int n, XPoint *out);
/*
 * A multi-part world array (parts one after another, counts[i] points
 * each) to drawable points; counts[i] becomes the kept count of part i and
 * the total is answered. Spread: part i starts 2 * (points kept before it)
 * into out, room for each part to double when clipped; out holds
 * 4 * (sum of counts) points. Packed: each part follows the last, out
 * holds the sum of counts plus one point a part.
 */
int worldToScreenParts(const GcanvasWidget *canvas, const double *points, XPoint *out, int nParts, int *counts);
int worldToScreenPartsPacked(const GcanvasWidget *canvas, const double *points, XPoint *out, int nParts, int *counts);

/* ---- point arrays ---- */

void pointsBBox(const double *points, int n, double *box);
void translatePoints(double *points, double dx, double dy, int n);
void translatePointsTo(const double *in, double *out, double dx, double dy, int n);
void mirrorPointsX(double *points, int n);
void mirrorPointsY(double *points, int n);
/* The part holding point n: 0 for n < 0, -1 without parts, the last part
 * at or past the total. */
int partIndexOfPoint(int n, const int *counts, int nParts);
/* Positive for a clockwise ring with y growing upwards. */
double polygonSignedArea(const double *points, int n);
/* Twice the signed area of a drawable ring, in integers. */
long long polygonArea2Short(const XPoint *points, int n);
void swapDouble(double *a, double *b);
void swapInt(int *a, int *b);
void swapShort(short *a, short *b);
/* A new reference to the same colour, or NULL for NULL. */
XColor *copyTkColor(Tcl_Interp *interp, Tk_Window tkwin, XColor *colour);
/* A copy allocated in colormap (free with XFreeColors and gmemFree), or
 * NULL when there is no colour or the server refuses it. */
XColor *copyXColor(Display *display, Colormap colormap, const XColor *colour);

/* ---- ShapeKind ---- */

int itemShapeKind(const GcanvasItem *item); /* -1 for types without one */

/* ---- clipping ---- */

/*
 * Clips the closed ring points[0..n) to the box (Sutherland-Hodgman, a
 * point on an edge inside) and answers the new count; points grows when
 * the clipped ring needs more room.
 */
int clipPolygonToBox(std::vector<XPoint> &points, int n, int xmin, int ymin, int xmax, int ymax);
/*
 * Clips every ring of a list laid out as worldToScreenParts lays it out
 * (ring i at 2 * the earlier rings' counts), packs the clipped rings from
 * the start, replaces each count by the clipped count and answers the
 * total.
 */
int clipPolygonsToBox(std::vector<XPoint> &points, int nRings, int *counts, int xmin, int ymin, int xmax, int ymax);

/* A drawable point in doubles: where a point lands before it is rounded
 * to 16 bits. Rings of them that may reach far past the 16-bit range are
 * clipped by clipRingToBox (runtime/ringclip.h). */
using DrawablePoint = RingPoint;

/* Drawable coordinates beyond this reach are clipped in doubles before
 * they become 16-bit points. */
constexpr double GCANVAS_SAFE_REACH = 16000;

/* Appends the drawable point (x, y), rounded and held to 16 bits, unless
 * it repeats the last point of the ring or part begun at out[start]. */
void gcanvasAppendDrawablePoint(std::vector<XPoint> &out, size_t start, double x, double y);
/*
 * nRings rings of canvas points (counts[i] points each, one after
 * another) as closed drawable rings into out, with their counts (0 for a
 * ring clipped away) into outCounts; both are replaced. A ring of three
 * or more points reaching past box (drawable units) is clipped to it;
 * repeated points are dropped. clipA and clipB are the caller's scratch.
 * Answers whether any ring was clipped.
 */
bool gcanvasDrawableRings(const GcanvasWidget *canvas, const double *points, const int *counts, int nRings,
                          const double *box, std::vector<XPoint> &out, std::vector<int> &outCounts,
                          std::vector<DrawablePoint> &clipA, std::vector<DrawablePoint> &clipB);

/* ---- drawing of long point lists ---- */

/*
 * The polyline through n drawable points with gc (lineWidth its line
 * width): one plain X request when it fits one, else in runs through the
 * drawing layer (a point list too long for a request would end the
 * client).
 */
void gcanvasDrawLines(Display *display, Drawable drawable, GC gc, int lineWidth, XPoint *points, int n);
/* nRings drawable rings (counts[i] points each, one after another) filled
 * as one shape by the even-odd rule, with the same request limit. */
void gcanvasFillRings(Display *display, Drawable drawable, GC gc, XPoint *points, int nRings, const int *counts);

#endif /* TESK_CANVAS_COORDS_H */
