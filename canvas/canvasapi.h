/*
 * canvasapi.h --
 *
 *	What the raster side (rimage's canvas capture, printing, metafiles)
 *	may ask of a gcanvas without reading its records: the widget behind a
 *	window path, its size, background GC and view origin, the rendering
 *	of a region of its items into a drawable, and the box of all items.
 */
#ifndef TESK_CANVAS_CANVASAPI_H
#define TESK_CANVAS_CANVASAPI_H

#include <tk.h>

struct GcanvasWidget;

/* The gcanvas of a window path, or NULL (the window is not a gcanvas). */
GcanvasWidget *gcanvasFromPath(Tcl_Interp *interp, const char *path);
/* The background GC that clears pixmaps of the canvas (may be NULL). */
GC gcanvasBackgroundGC(const GcanvasWidget *canvas);
/* Canvas coordinates of the window's top-left pixel. */
void gcanvasViewOrigin(const GcanvasWidget *canvas, int *x, int *y);
/*
 * Draws every item whose box overlaps the canvas region (x, y, width,
 * height) strictly, in display order, into drawable, whose top-left
 * pixel shows canvas point (x + dx, y + dy). The canvas's drawable origin
 * is restored afterwards. Answers the number of items drawn.
 */
int gcanvasDrawRegion(GcanvasWidget *canvas, Drawable drawable, int x, int y, int width, int height, int dx, int dy);
/*
 * The box of all items relative to the view origin, rounded outward;
 * 0 (and the outputs untouched) when the canvas has no item with a box.
 */
int gcanvasItemsBBox(const GcanvasWidget *canvas, int *x0, int *y0, int *x1, int *y1);

#endif /* TESK_CANVAS_CANVASAPI_H */
