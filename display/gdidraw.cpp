/*
 * gdidraw.cpp --
 *
 *	The canvas's drawing accelerator over Xlib: contexts, private copies
 *	of Tk GCs kept in step with the origins the canvas sets on them, the
 *	drawing primitives of the object item, and the per-drawable graphics
 *	mode flag.
 */
#include "display/gdidraw.h"

#include <algorithm>
#include <set>
#include <utility>
#include "display/regions.h"
#include "tesk.h"

namespace {

constexpr unsigned long kAllGCComponents = (1UL << (GCLastBit + 1)) - 1;
constexpr unsigned long kClipComponents = GCClipMask | GCClipXOrigin | GCClipYOrigin;

/* The drawables in the advanced graphics mode. */
thread_local std::set<std::pair<Display *, Drawable>> advancedDrawables;

/* True when gdi can draw: it has a private GC on a drawable. */
bool ready(const GdiGC *gdi)
{
    return gdi != nullptr && gdi->gc != nullptr && gdi->context->drawable != None;
}

/* Takes the tile and stipple origin and the clip origin from the Tk GC
 * when they differ from what the private GC holds (the canvas sets them
 * on its GCs per item). Reads Xlib's copy of the GC: no round trip. */
void followOrigins(GdiGC *gdi)
{
    Display *display = gdi->context->display;
    XGCValues values;
    if (!XGetGCValues(display, gdi->tkGC, GCTileStipXOrigin | GCTileStipYOrigin | GCClipXOrigin | GCClipYOrigin,
                      &values)) {
        return;
    }
    if (values.ts_x_origin != gdi->stippleX || values.ts_y_origin != gdi->stippleY) {
        gdi->stippleX = values.ts_x_origin;
        gdi->stippleY = values.ts_y_origin;
        XSetTSOrigin(display, gdi->gc, gdi->stippleX, gdi->stippleY);
    }
    if (values.clip_x_origin != gdi->clipX || values.clip_y_origin != gdi->clipY) {
        gdi->clipX = values.clip_x_origin;
        gdi->clipY = values.clip_y_origin;
        XSetClipOrigin(display, gdi->gc, gdi->clipX, gdi->clipY);
    }
}

/* The most points one request of a point list may carry on display (a
 * request beyond the server's length is refused and ends the client). */
int requestPoints(Display *display)
{
    long words = XExtendedMaxRequestSize(display);
    if (words <= 0) {
        words = XMaxRequestSize(display);
    }
    return static_cast<int>(std::clamp<long>(words - 8, 1024, 1L << 20));
}

/* Fills a polygon too long for one request through its region. */
void fillLongPolygon(GdiGC *gdi, const XPoint *points, int n, int mode)
{
    int counts[1] = {n};
    Region region = evenOddRegion(points, 1, counts, mode);
    if (region != nullptr) {
        fillThroughRegion(gdi->context->display, gdi->context->drawable, gdi->gc, region);
        XCopyGC(gdi->context->display, gdi->tkGC, kClipComponents, gdi->gc);
        XDestroyRegion(region);
    }
}

/* Ready to draw, with the origins brought up to date. */
bool begin(GdiGC *gdi)
{
    if (!ready(gdi)) {
        return false;
    }
    followOrigins(gdi);
    return true;
}

}  // namespace

GdiContext *gdiDrawContext(Display *display, Drawable drawable)
{
    auto *context = static_cast<GdiContext *>(gmemAlloc(sizeof(GdiContext)));
    if (context != nullptr) {
        context->display = display;
        context->drawable = display != nullptr ? drawable : None;
    }
    return context;
}

void gdiReleaseContext(GdiContext *context)
{
    gmemFree(context);
}

GdiGC *gdiCreateGC(GdiContext *context, GC gc)
{
    if (context == nullptr || gc == nullptr) {
        return nullptr;
    }
    auto *gdi = static_cast<GdiGC *>(gmemAlloc(sizeof(GdiGC)));
    if (gdi == nullptr) {
        return nullptr;
    }
    gdi->context = context;
    gdi->tkGC = gc;
    gdi->gc = nullptr;
    gdi->lineWidth = 0;
    gdi->stippleX = gdi->stippleY = 0;
    gdi->clipX = gdi->clipY = 0;
    if (context->drawable == None) {
        return gdi;
    }
    Display *display = context->display;
    XGCValues values;
    if (XGetGCValues(display, gc, GCLineWidth | GCTileStipXOrigin | GCTileStipYOrigin | GCClipXOrigin | GCClipYOrigin,
                     &values)) {
        gdi->lineWidth = std::max(values.line_width, 0);
        gdi->stippleX = values.ts_x_origin;
        gdi->stippleY = values.ts_y_origin;
        gdi->clipX = values.clip_x_origin;
        gdi->clipY = values.clip_y_origin;
    }
    gdi->gc = XCreateGC(display, context->drawable, 0, nullptr);
    if (gdi->gc != nullptr) {
        XCopyGC(display, gc, kAllGCComponents, gdi->gc);
    }
    return gdi;
}

void gdiFreeGC(GdiGC *gdi)
{
    if (gdi == nullptr) {
        return;
    }
    if (gdi->gc != nullptr) {
        XFreeGC(gdi->context->display, gdi->gc);
    }
    gmemFree(gdi);
}

int gdiSetGraphicsMode(Display *display, Drawable drawable, int mode)
{
    if (drawable == None) {
        return 0;
    }
    auto key = std::make_pair(display, drawable);
    int before = advancedDrawables.count(key) != 0;
    if (mode != 0) {
        advancedDrawables.insert(key);
    } else {
        advancedDrawables.erase(key);
    }
    return before;
}

void gdiPolyline(GdiGC *gdi, XPoint *points, int n, int mode)
{
    if (points == nullptr || n <= 0 || !begin(gdi)) {
        return;
    }
    Display *display = gdi->context->display;
    Drawable drawable = gdi->context->drawable;
    // Wide lines go in runs of GDI_RUN_POINTS, thin ones in runs as long as
    // a request may be.
    int run = gdi->lineWidth < 2 ? requestPoints(display) : GDI_RUN_POINTS;
    if (n <= run) {
        XDrawLines(display, drawable, gdi->gc, points, n, mode);
        return;
    }
    // Runs share their end points, so they form one unbroken line; they are
    // drawn from absolute points, each run being a request of its own.
    const XPoint *line = absolutePoints(points, n, mode);
    if (line == nullptr) {
        return;
    }
    for (int start = 0;; start += run - 1) {
        int count = std::min<int>(run, n - start);
        XDrawLines(display, drawable, gdi->gc, const_cast<XPoint *>(line + start), count, CoordModeOrigin);
        if (start + count >= n) {
            break;
        }
    }
}

void gdiPolygon(GdiGC *gdi, XPoint *points, int n, int shape, int mode)
{
    if (points == nullptr || n < 3 || !begin(gdi)) {
        return;
    }
    if (n > requestPoints(gdi->context->display)) {
        fillLongPolygon(gdi, points, n, mode);
        return;
    }
    XFillPolygon(gdi->context->display, gdi->context->drawable, gdi->gc, points, n, Complex, mode);
}

void gdiPolyPolygon(GdiGC *gdi, XPoint *points, int nRings, const int *counts, int shape, int mode)
{
    if (points == nullptr || counts == nullptr || !begin(gdi)) {
        return;
    }
    Display *display = gdi->context->display;
    Drawable drawable = gdi->context->drawable;
    int offset = 0;
    int count = 0;
    int rings = fillableRings(counts, nRings, &offset, &count);
    if (rings == 1) {
        if (count > requestPoints(display)) {
            fillLongPolygon(gdi, points + offset, count, mode);
        } else {
            XFillPolygon(display, drawable, gdi->gc, points + offset, count, Complex, mode);
        }
    }
    if (rings < 2) {
        return;
    }
    Region region = evenOddRegion(points, nRings, counts, mode);
    if (region == nullptr) {
        return;
    }
    fillThroughRegion(display, drawable, gdi->gc, region);
    // Back to the Tk GC's clip; its origin is the one begin() took.
    XCopyGC(display, gdi->tkGC, kClipComponents, gdi->gc);
    XDestroyRegion(region);
}

void gdiRectangle(GdiGC *gdi, int x, int y, int width, int height)
{
    if (width < 0 || height < 0 || !begin(gdi)) {
        return;
    }
    XDrawRectangle(gdi->context->display, gdi->context->drawable, gdi->gc, x, y, width, height);
}

void gdiFillRectangle(GdiGC *gdi, int x, int y, int width, int height)
{
    if (width <= 0 || height <= 0 || !begin(gdi)) {
        return;
    }
    XFillRectangle(gdi->context->display, gdi->context->drawable, gdi->gc, x, y, width, height);
}

void gdiArc(GdiGC *gdi, int x, int y, int width, int height, int angle1, int angle2, int fill)
{
    if (width < 0 || height < 0 || !begin(gdi)) {
        return;
    }
    if (fill) {
        XFillArc(gdi->context->display, gdi->context->drawable, gdi->gc, x, y, width, height, angle1, angle2);
    } else {
        XDrawArc(gdi->context->display, gdi->context->drawable, gdi->gc, x, y, width, height, angle1, angle2);
    }
}
