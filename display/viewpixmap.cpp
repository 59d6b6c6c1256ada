/*
 * viewpixmap.cpp --
 *
 *	View pixmaps of a gimg: the off-screen pictures of its view (the full
 *	view, the clip mask and the mask plane), made on first use for the
 *	screen of a window, kept while their size, depth and origin stay, and
 *	freed when those change. An external view pixmap owns nothing: its
 *	drawing goes straight to an instance's window.
 */
#include "display/gimg.h"
#include "display/xtrap.h"

#include <X11/Xlib.h>
#include <X11/Xproto.h>

#include <cstdint>

namespace {

/* The X protocol's limit for a pixmap's width and height. */
constexpr int kMaxPixmapSide = 32767;

/* The most server memory one view pixmap may take, in bytes. A larger view
 * is drawn area by area into the drawable that shows it instead. */
constexpr int64_t kMaxPixmapBytes = int64_t{256} << 20;

/* Bytes of a pixmap of this size and depth, at the bits per pixel the
 * server stores that depth with (1, 8, 16 or 32). */
int64_t pixmapBytes(int width, int height, int depth)
{
    int bits = depth == 1 ? 1 : depth <= 8 ? 8 : depth <= 16 ? 16 : 32;
    return (static_cast<int64_t>(width) * bits + 7) / 8 * height;
}

/* True when the window's screen can hold pixmaps of this depth. */
bool depthSupported(Display *display, Tk_Window window, int depth)
{
    if (depth == 1 || depth == Tk_Depth(window)) {
        return true;
    }
    int count = 0;
    int *depths = XListDepths(display, Tk_ScreenNumber(window), &count);
    bool found = false;
    for (int i = 0; i < count; i++) {
        found = found || depths[i] == depth;
    }
    if (depths != nullptr) {
        XFree(depths);
    }
    return found;
}

/* Gives the owned pixmap back to the server and clears the record's picture. */
void releasePixmap(ViewPixmap *vp)
{
    if (vp->pixmap != None && !vp->external) {
        Tk_FreePixmap(vp->display, vp->pixmap);
    }
    vp->pixmap = None;
    vp->valid = 0;
}

}  // namespace

/*
 * vpInit --
 *	Puts a fresh record into the empty state for display: no window, no
 *	pixmap, every size 0, owned (not external). Frees nothing.
 */
void vpInit(ViewPixmap *vp, Display *display)
{
    *vp = ViewPixmap{};
    vp->display = display;
    vp->pixmap = None;
}

/*
 * vpSetup --
 *	Describes the picture the record is to hold: the window whose screen it
 *	is made for, its size and depth, where the packers put the first
 *	column and row (destX, destY) and the view coordinates of its top-left
 *	corner. The destination is stored and the picture marked not valid.
 *	When window, size, depth or origin differ from those stored, the
 *	pixmap is freed and 1 answered (the next vpPixmap makes a new one);
 *	else the pixmap is kept and 0 answered.
 */
int vpSetup(ViewPixmap *vp, Tk_Window window, int width, int height, int depth, int destX, int destY, int originX,
            int originY)
{
    vp->destX = destX;
    vp->destY = destY;
    vp->valid = 0;
    bool changed = window != vp->window || width != vp->width || height != vp->height || depth != vp->depth ||
                   originX != vp->originX || originY != vp->originY;
    if (changed) {
        releasePixmap(vp);
        vp->window = window;
        vp->width = width;
        vp->height = height;
        vp->depth = depth;
        vp->originX = originX;
        vp->originY = originY;
    }
    return changed ? 1 : 0;
}

/*
 * vpPixmap --
 *	The record's pixmap, made on first use on the screen of its window
 *	(the window is made to exist first) and then marked valid. Answers
 *	None, making nothing, for an external record, no window, a width or
 *	height below 1 or above the protocol's limit, a pixmap of more than
 *	256 MiB, a depth the screen does not have, or a server that refuses
 *	the pixmap (the refusal is caught, never fatal).
 */
Pixmap vpPixmap(ViewPixmap *vp)
{
    if (vp->external) {
        return None;
    }
    if (vp->pixmap != None) {
        vp->valid = 1;
        return vp->pixmap;
    }
    if (vp->window == nullptr || vp->width < 1 || vp->height < 1 || vp->width > kMaxPixmapSide ||
        vp->height > kMaxPixmapSide || vp->depth < 1 ||
        pixmapBytes(vp->width, vp->height, vp->depth) > kMaxPixmapBytes) {
        return None;
    }
    if (vp->display == nullptr) {
        vp->display = Tk_Display(vp->window);
    }
    if (Tk_WindowId(vp->window) == None) {
        Tk_MakeWindowExist(vp->window);
    }
    if (!depthSupported(vp->display, vp->window, vp->depth)) {
        return None;
    }
    /* A pixmap the server has no memory for is refused with BadAlloc, which
     * would otherwise end the process: wait for the answer. */
    Pixmap pixmap;
    bool failed;
    {
        XErrorTrap trap(vp->display, X_CreatePixmap);
        pixmap = Tk_GetPixmap(vp->display, Tk_WindowId(vp->window), vp->width, vp->height, vp->depth);
        failed = trap.failed();
    }
    if (failed || pixmap == None) {
        return None;
    }
    vp->pixmap = pixmap;
    vp->valid = 1;
    return pixmap;
}

/*
 * vpFree --
 *	Frees the record's pixmap when it owns one; the record keeps its
 *	window, size and depth, so the next vpPixmap makes the pixmap again.
 */
void vpFree(ViewPixmap *vp)
{
    releasePixmap(vp);
}

/*
 * vpSetExternal --
 *	Marks the record external (drawing goes straight to an instance's
 *	window; vpPixmap answers None and nothing is freed) or owned. A pixmap
 *	the record owned is freed first when it becomes external.
 */
void vpSetExternal(ViewPixmap *vp, int external)
{
    if (external && !vp->external) {
        releasePixmap(vp);
    }
    if (!external && vp->external) {
        vp->pixmap = None;
        vp->valid = 0;
    }
    vp->external = external ? 1 : 0;
}
