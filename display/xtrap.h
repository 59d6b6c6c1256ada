/*
 * xtrap.h --
 *
 *	X errors caught around requests (so that a refusal fails one call
 *	instead of ending the process), and the colormap reads and frees that
 *	run under such a catch. Serves the captures, the clipboard, the view
 *	pixmaps, the palette commands and the GLX calls of glw surfaces.
 */
#ifndef TESK_DISPLAY_XTRAP_H
#define TESK_DISPLAY_XTRAP_H

#include <X11/Xlib.h>
#include <tk.h>

/*
 * queryColormapEntries --
 *	Reads entries 0 .. n-1 of colormap into colours (pixel and flags are
 *	set here). Answers 1, or 0 when n is below 1 or the server refused
 *	(a colormap with fewer entries); colours are then undefined.
 */
int queryColormapEntries(Display *display, Colormap colormap, XColor *colours, int n);

/*
 * queryColorsTrapped --
 *	Reads the colours of colours[0 .. n-1], whose pixel fields the caller
 *	set (flags are set here). Answers 1, or 0 when the server refused the
 *	request (a pixel outside the colormap).
 */
int queryColorsTrapped(Display *display, Colormap colormap, XColor *colours, int n);

/*
 * freeCells --
 *	Gives n cells back to colormap; the server's refusal of a cell that is
 *	not ours to free (a static colormap's, a shared black or white) is
 *	ignored, as Tk does for its own colours.
 */
void freeCells(Display *display, Colormap colormap, unsigned long *pixels, int n);

#ifdef __cplusplus

/* Catches the X errors of the display while it lives (of one request code,
 * or of every request for -1) and keeps the code of the first; failed()
 * and code() sync first so that the errors of requests already sent are
 * seen. */
class XErrorTrap {
public:
    explicit XErrorTrap(Display *display, int request = -1);
    ~XErrorTrap();
    bool failed();
    /* The X error code of the first error caught, 0 for none. */
    int code();
    XErrorTrap(const XErrorTrap &) = delete;
    XErrorTrap &operator=(const XErrorTrap &) = delete;

private:
    static int note(ClientData data, XErrorEvent *event);
    Display *display_;
    Tk_ErrorHandler handler_;
    int code_ = 0;
};

#endif

#endif /* TESK_DISPLAY_XTRAP_H */
