/*
 * x11draw.h --
 *
 *	Drawing on an X11 drawable through Xlib, for the canvas items: one
 *	DrawContext per redisplay of a drawable, one DrawGC (a pen) per Tk GC
 *	the items draw with (a private X GC copied from it, so that Tk's
 *	shared GCs are never changed), and the primitives the object item
 *	draws with: polylines of any length (in runs that each fit one X
 *	request), filled polygons, several rings filled as one shape with
 *	holes, rectangles and arcs. Line attributes, fills,
 *	stipples, dashes (double dashes paint their gaps in the background
 *	colour) and the function come from the X GC. Also the graphics-mode
 *	flag of a drawable, which rotated text reads.
 */
#ifndef TESK_PLATFORM_X11DRAW_H
#define TESK_PLATFORM_X11DRAW_H

#include <X11/Xlib.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Polylines of line width 2 or more are drawn in runs of at most this many
 * points, each run after the first starting at the last point of the run
 * before. */
enum { DRAW_RUN_POINTS = 1360 };

/* One drawable open for drawing. */
typedef struct DrawContext {
    Display *display;  /* the drawable's display */
    Drawable drawable; /* where the routines draw; None: they draw nothing */
} DrawContext;

/* What one Tk GC draws with in a context. */
typedef struct DrawGC {
    DrawContext *context; /* the context it draws into */
    GC tkGC;              /* the GC it was made from; never changed here */
    GC gc;                /* private copy of tkGC; NULL on the drawable None */
    int lineWidth;        /* tkGC's line width, 0 or more */
    int stippleX;         /* tile and stipple origin last taken from tkGC */
    int stippleY;
    int clipX; /* clip origin last taken from tkGC */
    int clipY;
} DrawGC;

/* A new context on drawable (None allowed: nothing will be drawn). NULL
 * when memory runs out. */
DrawContext *drawContextOpen(Display *display, Drawable drawable);
/* Frees context (NULL allowed). Free its DrawGCs first. */
void drawContextClose(DrawContext *context);

/*
 * A new DrawGC drawing into context with everything of gc (function,
 * colours, line attributes, fill style and rule, stipple or tile, dashes,
 * arc mode, clip) copied into a private GC; the tile and stipple origin
 * and the clip origin are taken from gc again whenever they change. NULL
 * for a NULL context or gc, or when memory runs out.
 */
DrawGC *drawGCCreate(DrawContext *context, GC gc);
/* Frees pen and its private GC (NULL allowed). */
void drawGCFree(DrawGC *pen);

/*
 * Sets the graphics mode of drawable on display: advanced when mode is
 * non-zero, compatible when it is 0. Answers 1 when the drawable was in
 * the advanced mode before, else 0, so that the caller can restore it.
 * Drawables start compatible; the flags are kept per thread. The drawable
 * None answers 0 and keeps nothing.
 */
int drawSetGraphicsMode(Display *display, Drawable drawable, int mode);

/* The polyline through n points (CoordModeOrigin or CoordModePrevious);
 * nothing for n <= 0. Width 2 or more: in runs of DRAW_RUN_POINTS; thinner
 * lines in runs as long as one request may be. */
void drawPolyline(DrawGC *pen, XPoint *points, int n, int mode);
/* The filled polygon through n points, without an outline; shape is
 * ignored (any polygon is drawn correctly). One too long for a request is
 * filled through its region. */
void drawFillPolygon(DrawGC *pen, XPoint *points, int n, int shape, int mode);
/* nRings rings filled as one shape, as fillPolygonsWithHoles; the DrawGC's
 * own clip is put back afterwards. */
void drawFillRings(DrawGC *pen, XPoint *points, int nRings, const int *counts, int shape, int mode);
/* The outline of the box (x, y) to (x + width, y + height), both edges
 * included; nothing for a negative size. */
void drawRectangle(DrawGC *pen, int x, int y, int width, int height);
/* The filled box of width x height pixels at (x, y); nothing for a size
 * of 0 or less. */
void drawFillRectangle(DrawGC *pen, int x, int y, int width, int height);
/*
 * The elliptic arc in the box (x, y, width, height) from angle1 through
 * angle2 (64ths of a degree, counter-clockwise from 3 o'clock; a negative
 * angle2 goes clockwise): the outline when fill is 0, else filled as the
 * GC's arc mode says (a pie slice unless the GC asks for a chord).
 */
void drawArc(DrawGC *pen, int x, int y, int width, int height, int angle1, int angle2, int fill);

#ifdef __cplusplus
}
#endif

#endif /* TESK_PLATFORM_X11DRAW_H */
