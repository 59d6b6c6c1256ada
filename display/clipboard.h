/*
 * clipboard.h --
 *
 *	Pictures on the X CLIPBOARD selection. The package owns at most one
 *	picture at a time (a pixmap of its own) and serves it as TARGETS,
 *	PIXMAP (the pixmap's XID) and image/png, or a block of bytes (a
 *	metafile) under types of its own, until another client takes the
 *	selection; reading takes PIXMAP from any owner, else image/png through
 *	Tk's photo PNG format. Serves rimage clipboard and canvas and gimg
 *	capture.
 */
#ifndef TESK_DISPLAY_CLIPBOARD_H
#define TESK_DISPLAY_CLIPBOARD_H

#include <cstddef>
#include <tk.h>

/*
 * putDrawableOnClipboard --
 *	Copies the width x height area of source at (x, y) (of tkwin's depth)
 *	into a pixmap the package owns, takes CLIPBOARD for tkwin's display and
 *	serves the picture until the selection is lost. With source None, gives
 *	the selection up (and frees the picture). Answers 1, or 0 when the area
 *	is empty or X refuses.
 */
int putDrawableOnClipboard(Tk_Window tkwin, Drawable source, int x, int y, int width, int height);

/*
 * putBytesOnClipboard --
 *	Takes CLIPBOARD for tkwin's display with a copy of the n bytes, served
 *	as 8-bit data under each of the NULL-ended targets (such as
 *	"image/emf"), in place of any picture put before, until the selection
 *	is lost. Answers 1, or 0 for no bytes.
 */
int putBytesOnClipboard(Tk_Window tkwin, const unsigned char *bytes, std::size_t n, const char *const *targets);

/*
 * getClipboardBitmapSize --
 *	Answers 1 and the picture's size when CLIPBOARD holds a picture
 *	(PIXMAP from any owner, else image/png); 0 otherwise (nothing written).
 */
int getClipboardBitmapSize(Tk_Window tkwin, int *width, int *height);

/*
 * pixmapFromClipboard --
 *	A new pixmap of tkwin's depth holding the picture on CLIPBOARD, with its
 *	size in *width and *height; None when there is no picture. Free with
 *	Tk_FreePixmap.
 */
Pixmap pixmapFromClipboard(Tk_Window tkwin, int *width, int *height);

/*
 * createClipboardColormap --
 *	The colormap that clipboard pictures are read with: the screen's
 *	default colormap on visuals of 8 bits or less, else tkwin's. Owned by
 *	Tk or X: do not free it.
 */
Colormap createClipboardColormap(Tk_Window tkwin);

#endif /* TESK_DISPLAY_CLIPBOARD_H */
