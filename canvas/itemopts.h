/*
 * itemopts.h --
 *
 *	Option kinds the canvas's option tables share: screen distances kept
 *	as doubles, stipple offsets (relative forms allowed) and item states;
 *	and the items' own graphics contexts.
 */
#ifndef TESK_CANVAS_ITEMOPTS_H
#define TESK_CANVAS_ITEMOPTS_H

#include <tk.h>

/* A double of canvas pixels read as a screen distance ("2", "1m"). */
extern Tk_CustomOption gcanvasPixelOption;
/* A Tk_TSOffset through Tk's own offset procedures. */
extern Tk_CustomOption gcanvasOffsetOption;
/* An item state: "active", "disabled", "hidden", "normal", or empty for
 * inherit (-1). */
extern Tk_CustomOption gcanvasItemStateOption;

/*
 * The graphics contexts of items come from the canvas's own cache, never
 * from Tk's (which other widgets share): drawing changes their stipple
 * origin and dashes and puts them back. Items with equal values share a
 * GC. NULL when the server refuses one; gcanvasFreeGC takes NULL.
 */
GC gcanvasGetGC(Tk_Window tkwin, unsigned long mask, XGCValues *values);
void gcanvasFreeGC(Display *display, GC gc);

#endif /* TESK_CANVAS_ITEMOPTS_H */
