/*
 * surface.h --
 *
 *	Memory of the ddw widget's surfaces: an XImage of the window's visual
 *	and depth whose rows the widget writes directly. Where the display
 *	offers MIT-SHM and attaches our segment, the rows live in shared memory
 *	that the X server reads in place; otherwise (no extension, a remote
 *	display, no segment) in ordinary memory sent with each put.
 */
#ifndef TESK_DEVICES_DDW_SURFACE_H
#define TESK_DEVICES_DDW_SURFACE_H

#include <X11/Xlib.h>

struct SurfaceSegment;

/* An image and, when its rows are shared with the server, their segment. */
struct SurfaceImage {
    XImage *image = nullptr;            /* ZPixmap rows; NULL when none */
    SurfaceSegment *segment = nullptr;  /* NULL: plain memory */
};

/*
 * surfaceImageCreate --
 *	A zeroed image of width x height (1..32767 each, under 2 GiB of rows),
 *	in shared memory when the display allows it, else in plain memory.
 *	False, with *out left empty, when neither can be had.
 */
bool surfaceImageCreate(Display *display, Visual *visual, int depth, int width, int height, SurfaceImage *out);

/* Sends rows first .. first + count - 1 of the image to the same rows of
 * drawable; returns when the server has read them, so that the rows may be
 * written again. */
void surfaceImagePut(Display *display, Drawable drawable, GC gc, const SurfaceImage &surface, int first, int count);

/* Frees the image and its segment; *surface becomes empty. */
void surfaceImageFree(Display *display, SurfaceImage *surface);

#endif /* TESK_DEVICES_DDW_SURFACE_H */
