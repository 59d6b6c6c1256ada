/*
 * picture.h --
 *
 *	Pictures between X drawables and RAM images: an area of a window or
 *	pixmap copied into a new pixmap or read into a memory image through
 *	XGetImage, the window-manager frame of a top-level, and a memory image
 *	made from a device-independent bitmap held in a buffer. Serves rimage's
 *	window, canvas and clipboard forms and gimg capture.
 */
#ifndef TESK_DISPLAY_PICTURE_H
#define TESK_DISPLAY_PICTURE_H

#include <cstddef>
#include <functional>
#include <tk.h>
#include "tesk_image.h"

/*
 * pixmapFromDrawable --
 *	A new pixmap of tkwin's depth holding the width x height area of
 *	source at (x, y) (source must have tkwin's depth and screen). None when
 *	the size is not positive or X refuses. Free with Tk_FreePixmap.
 */
Pixmap pixmapFromDrawable(Tk_Window tkwin, Drawable source, int x, int y, int width, int height);

/*
 * readArea --
 *	Reads the width x height area of source at (x, y) with XGetImage a
 *	strip of rows at a time and hands each row, from the top, to sink: on
 *	visuals of 8 bits or less the pixel values in out[0] (palette, when not
 *	NULL, gets colormap's colours (None: tkwin's) and palette->nindices
 *	their count, before the first row); deeper, the blue, green and red
 *	bytes in out[0..2]. Stops when sink answers false. False when X refused
 *	a strip or sink stopped.
 */
bool readArea(Tk_Window tkwin, Drawable source, Colormap colormap, int x, int y, int width, int height,
              ImageDesc *palette, const std::function<bool(int, unsigned char *const *)> &sink);

/*
 * ramImageFromDrawable --
 *	Reads the width x height area of source at (x, y) with XGetImage into a
 *	memory image tagged tag (MBSQ, BYTE): on visuals of 8 bits or less one
 *	band and the palette of colormap (None: tkwin's); deeper, three bands
 *	in the order blue, green, red. An existing memory image of that tag is
 *	rewritten in place, its size changed as needed, and its clients told; a
 *	file image or a locked one under the tag is refused. Answers the image
 *	holding one use for the caller (give it back with ramImageRelease), or
 *	NULL with a message in interp's result (interp may be NULL).
 */
RamImage *ramImageFromDrawable(Tcl_Interp *interp, Tk_Window tkwin, Drawable source, Colormap colormap, int x, int y,
                               int width, int height, const char *tag);

/*
 * drawableToTag --
 *	ramImageFromDrawable for a script: a tag that was new gets one script
 *	open and gives up the caller's use (the image then lives like one
 *	opened by rimage open); a tag that existed drops the extra use. TCL_OK
 *	with the tag as interp's result, or TCL_ERROR with the text failure as
 *	the result and the reason in errorInfo.
 */
int drawableToTag(Tcl_Interp *interp, Tk_Window tkwin, Drawable source, Colormap colormap, int x, int y, int width,
                  int height, const char *tag, const char *failure);

/*
 * drawableToPhoto --
 *	Reads the width x height area of source at (x, y) like
 *	ramImageFromDrawable and puts it into photo (sized to the area) as
 *	red, green and blue; colormap None means tkwin's. Answers 1, or 0
 *	when X or Tk refused.
 */
int drawableToPhoto(Tcl_Interp *interp, Tk_Window tkwin, Drawable source, Colormap colormap, int x, int y, int width,
                    int height, Tk_PhotoHandle photo);

/*
 * getToplevelFrameRect --
 *	The root-window rectangle of the top-level of tkwin with its
 *	window-manager frame (the child of the root that holds it, found with
 *	XQueryTree), clipped to the screen. Answers 1, or 0 (nothing written)
 *	when the window is not mapped or the rectangle is empty.
 */
int getToplevelFrameRect(Tk_Window tkwin, int *x, int *y, int *width, int *height);

/*
 * ramImageFromDIB --
 *	Makes a memory image tagged tag from the packed device-independent
 *	bitmap in buffer (size bytes: information header, colour table,
 *	rows; no file header; uncompressed) of 1, 4, 8, 24 or 32 bits, stored
 *	bottom-up (positive height) or top-down: 1, 4 and 8 bits give one
 *	band of 1BIT, 4BITS or BYTE pixels with the colour table as palette;
 *	24 bits three BYTE bands in the order blue, green, red; 32 bits four
 *	bands, the first three so filled and the fourth left 0. A header,
 *	colour table or rows that the buffer does not hold are
 *	refused. Answers the image holding one use for the caller, or NULL with
 *	a message in interp's result (interp may be NULL).
 */
RamImage *ramImageFromDIB(Tcl_Interp *interp, const unsigned char *buffer, std::size_t size, const char *tag);

#endif /* TESK_DISPLAY_PICTURE_H */
