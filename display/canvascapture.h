/*
 * canvascapture.h --
 *
 *	A Tk canvas or a gcanvas rendered off screen: which kind of canvas a
 *	window path names, a region of its items drawn into a pixmap the way
 *	its own redisplay draws them, and the box of all its items. Serves
 *	rimage canvas, printing and metafile export.
 */
#ifndef TESK_DISPLAY_CANVASCAPTURE_H
#define TESK_DISPLAY_CANVASCAPTURE_H

#include <cstdint>
#include <tk.h>

enum { CANVAS_KIND_TK = 1, CANVAS_KIND_GCANVAS = 2 };

/* A canvas widget as getCanvasInfo found it; valid while the widget lives. */
struct CanvasInfo {
    int32_t kind;      /* CANVAS_KIND_TK (class "Canvas") or CANVAS_KIND_GCANVAS (class "Gcanvas") */
    int32_t width;     /* the widget window's current width, pixels */
    int32_t height;    /* the widget window's current height, pixels */
    ClientData widget; /* the widget record (client data of its Tcl command) */
    Tk_Window tkwin;   /* the widget's window */
};

/*
 * getCanvasInfo --
 *	Fills info for the canvas widget at path. Answers TCL_OK, or TCL_ERROR
 *	with "Not a canvas widget" (no such window, or its class is neither
 *	"Canvas" nor "Gcanvas") or "Error in getting canvas info.\n" (its
 *	command is missing or is not the canvas's own) in the result.
 */
int getCanvasInfo(Tcl_Interp *interp, const char *path, CanvasInfo *info);

/*
 * canvasToPixmap --
 *	Draws the items of the canvas that overlap the region (x, y, width,
 *	height) strictly, in display order, skipping hidden ones. With
 *	coordType 0 the region is in window coordinates (the view origin is
 *	added), with any other value in canvas coordinates. The region's
 *	corner lands on the pixmap's top-left pixel (a gcanvas's top-left
 *	pixel shows canvas point (x + dx, y + dy); dx, dy are not used for a
 *	Tk canvas).
 *	Pixmap None: a new pixmap of (width + 30) x (height + 30) pixels of the
 *	canvas window's depth is made and cleared to the canvas background
 *	first. A given pixmap is drawn into as it is.
 *	Answers the pixmap (a new one belongs to the caller: Tk_FreePixmap),
 *	or None with "Error in create pixmap: width %d height %d\n" or "No
 *	pixmapGC" in the result.
 */
Pixmap canvasToPixmap(Tcl_Interp *interp, Pixmap pixmap, int dx, int dy, const CanvasInfo *info, int x, int y,
                      int width, int height, int coordType);

/*
 * canvasItemsBBox --
 *	The box of all items with a non-empty box, relative to the view origin
 *	(x0, y0 inclusive, x1, y1 exclusive). Answers 1, or 0 with all four 0
 *	when the canvas has no such item.
 */
int canvasItemsBBox(const CanvasInfo *info, int *x0, int *y0, int *x1, int *y1);

#endif /* TESK_DISPLAY_CANVASCAPTURE_H */
