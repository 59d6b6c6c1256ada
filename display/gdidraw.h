/*
 * gdidraw.h --
 *
 *	The canvas's drawing accelerator: one GdiContext per redisplay of a
 *	drawable, one GdiGC per Tk GC the items draw with (a private copy, so
 *	that Tk's shared GCs are never changed), and the primitives the object
 *	item draws with: polylines (wide ones in pieces), filled polygons,
 *	several rings filled as one shape with holes, rectangles and arcs.
 *	Pens, fills, stipples, dashes (double dashes paint their gaps in the
 *	background colour) and the function come from the X GC. Also the
 *	graphics-mode flag of a drawable, which rotated text reads.
 */
#ifndef TESK_DISPLAY_GDIDRAW_H
#define TESK_DISPLAY_GDIDRAW_H

#include <X11/Xlib.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Polylines of line width 2 or more are drawn in runs of at most this many
 * points, each run after the first starting at the last point of the run
 * before. */
enum { GDI_RUN_POINTS = 1360 };

/* One drawable open for drawing. */
typedef struct GdiContext {
    Display *display;   /* the drawable's display */
    Drawable drawable;  /* where the routines draw; None: they draw nothing */
} GdiContext;

/* What one Tk GC draws with in a context. */
typedef struct GdiGC {
    GdiContext *context; /* the context it draws into */
    GC tkGC;             /* the GC it was made from; never changed here */
    GC gc;               /* private copy of tkGC; NULL on the drawable None */
    int lineWidth;       /* tkGC's line width, 0 or more */
    int stippleX;        /* tile and stipple origin last taken from tkGC */
    int stippleY;
    int clipX;           /* clip origin last taken from tkGC */
    int clipY;
} GdiGC;

/* A new context on drawable (None allowed: nothing will be drawn). NULL
 * when memory runs out. */
GdiContext *gdiDrawContext(Display *display, Drawable drawable);
/* Frees context (NULL allowed). Free its GdiGCs first. */
void gdiReleaseContext(GdiContext *context);

/*
 * A new GdiGC drawing into context with everything of gc (function,
 * colours, line attributes, fill style and rule, stipple or tile, dashes,
 * arc mode, clip) copied into a private GC; the tile and stipple origin
 * and the clip origin are taken from gc again whenever they change. NULL
 * for a NULL context or gc, or when memory runs out.
 */
GdiGC *gdiCreateGC(GdiContext *context, GC gc);
/* Frees gdi and its private GC (NULL allowed). */
void gdiFreeGC(GdiGC *gdi);

/*
 * Sets the graphics mode of drawable on display: advanced when mode is
 * non-zero, compatible when it is 0. Answers 1 when the drawable was in
 * the advanced mode before, else 0, so that the caller can restore it.
 * Drawables start compatible; the flags are kept per thread. The drawable
 * None answers 0 and keeps nothing.
 */
int gdiSetGraphicsMode(Display *display, Drawable drawable, int mode);

/* The polyline through n points (CoordModeOrigin or CoordModePrevious);
 * nothing for n <= 0. Width 2 or more: in runs of GDI_RUN_POINTS; thinner
 * lines in runs as long as one request may be. */
void gdiPolyline(GdiGC *gdi, XPoint *points, int n, int mode);
/* The filled polygon through n points, without an outline; shape is
 * ignored (any polygon is drawn correctly). One too long for a request is
 * filled through its region. */
void gdiPolygon(GdiGC *gdi, XPoint *points, int n, int shape, int mode);
/* nRings rings filled as one shape, as fillPolygonsWithHoles; the GdiGC's
 * own clip is put back afterwards. */
void gdiPolyPolygon(GdiGC *gdi, XPoint *points, int nRings, const int *counts, int shape, int mode);
/* The outline of the box (x, y) to (x + width, y + height), both edges
 * included; nothing for a negative size. */
void gdiRectangle(GdiGC *gdi, int x, int y, int width, int height);
/* The filled box of width x height pixels at (x, y); nothing for a size
 * of 0 or less. */
void gdiFillRectangle(GdiGC *gdi, int x, int y, int width, int height);
/*
 * The elliptic arc in the box (x, y, width, height) from angle1 through
 * angle2 (64ths of a degree, counter-clockwise from 3 o'clock; a negative
 * angle2 goes clockwise): the outline when fill is 0, else filled as the
 * GC's arc mode says (a pie slice unless the GC asks for a chord).
 */
void gdiArc(GdiGC *gdi, int x, int y, int width, int height, int angle1, int angle2, int fill);

#ifdef __cplusplus
}
#endif

#endif /* TESK_DISPLAY_GDIDRAW_H */
