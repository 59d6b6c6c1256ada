/*
 * canvaslink.h --
 *
 *	The gcanvas as the layers beside the canvas reach it: a table of the
 *	canvas API's procedures (see canvas/canvasapi.h for what each one
 *	promises), declared here so that the raster side (canvas captures,
 *	printing, metafiles) can call them without including the canvas
 *	folder. The package, which sees every layer, fills the table.
 */
#ifndef TESK_DISPLAY_CANVASLINK_H
#define TESK_DISPLAY_CANVASLINK_H

#include <tk.h>

struct GcanvasWidget;

struct CanvasLink {
    /* The gcanvas of a window path, or NULL (not a gcanvas). */
    GcanvasWidget *(*fromPath)(Tcl_Interp *interp, const char *path);
    /* The GC that clears pixmaps to the canvas background, or NULL. */
    GC (*backgroundGC)(const GcanvasWidget *canvas);
    /* Canvas coordinates of the window's top-left pixel. */
    void (*viewOrigin)(const GcanvasWidget *canvas, int *x, int *y);
    /* Draws the visible items overlapping the canvas region (x, y, width,
     * height) into drawable, whose top-left pixel shows canvas point
     * (x + dx, y + dy); answers the number of items drawn. */
    int (*drawRegion)(GcanvasWidget *canvas, Drawable drawable, int x, int y, int width, int height, int dx, int dy);
    /* The box of all items relative to the view origin, rounded outward;
     * 0 (outputs untouched) when no item has a box. */
    int (*itemsBBox)(const GcanvasWidget *canvas, int *x0, int *y0, int *x1, int *y1);
};

/* Filled in package/modules.cpp; a build without the canvas layer leaves
 * every entry NULL (no window is then a gcanvas). */
extern const CanvasLink teskCanvasLink;

#endif /* TESK_DISPLAY_CANVASLINK_H */
