/*
 * x11draw.cpp --
 *
 *	Drawing contexts and pens over Xlib: private X GCs copied from Tk's
 *	and kept in step with the stipple and clip origins the canvas sets on
 *	them, the object item's primitives as Xlib requests (XDrawLines,
 *	XFillPolygon, XFillArc, ...; lists longer than one request go in runs
 *	or through a region), and the per-drawable graphics-mode flag.
 */
#include "platform/x11draw.h"

#include <algorithm>
#include <set>
#include <utility>
#include "platform/x11regions.h"
#include "tesk.h"

namespace {

constexpr unsigned long kAllGCComponents = (1UL << (GCLastBit + 1)) - 1;
constexpr unsigned long kClipComponents = GCClipMask | GCClipXOrigin | GCClipYOrigin;

/* The drawables in the advanced graphics mode. */
thread_local std::set<std::pair<Display *, Drawable>> advancedDrawables;

/* True when pen can draw: it has a private GC on a drawable. */
bool ready(const DrawGC *pen)
{
    return pen != nullptr && pen->gc != nullptr && pen->context->drawable != None;
}

/* Takes the tile and stipple origin and the clip origin from the Tk GC
 * when they differ from what the private GC holds (the canvas sets them
 * on its GCs per item). Reads Xlib's copy of the GC: no round trip. */
void followOrigins(DrawGC *pen)
{
    Display *display = pen->context->display;
    XGCValues values;
    if (!XGetGCValues(display, pen->tkGC, GCTileStipXOrigin | GCTileStipYOrigin | GCClipXOrigin | GCClipYOrigin,
                      &values)) {
        return;
    }
    if (values.ts_x_origin != pen->stippleX || values.ts_y_origin != pen->stippleY) {
        pen->stippleX = values.ts_x_origin;
        pen->stippleY = values.ts_y_origin;
        XSetTSOrigin(display, pen->gc, pen->stippleX, pen->stippleY);
    }
    if (values.clip_x_origin != pen->clipX || values.clip_y_origin != pen->clipY) {
        pen->clipX = values.clip_x_origin;
        pen->clipY = values.clip_y_origin;
        XSetClipOrigin(display, pen->gc, pen->clipX, pen->clipY);
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
void fillLongPolygon(DrawGC *pen, const XPoint *points, int n, int mode)
{
    int counts[1] = {n};
    Region region = evenOddRegion(points, 1, counts, mode);
    if (region != nullptr) {
        fillThroughRegion(pen->context->display, pen->context->drawable, pen->gc, region);
        XCopyGC(pen->context->display, pen->tkGC, kClipComponents, pen->gc);
        XDestroyRegion(region);
    }
}

/* Ready to draw, with the origins brought up to date. */
bool begin(DrawGC *pen)
{
    if (!ready(pen)) {
        return false;
    }
    followOrigins(pen);
    return true;
}

}  // namespace

DrawContext *drawContextOpen(Display *display, Drawable drawable)
{
    auto *context = static_cast<DrawContext *>(gmemAlloc(sizeof(DrawContext)));
    if (context != nullptr) {
        context->display = display;
        context->drawable = display != nullptr ? drawable : None;
    }
    return context;
}

void drawContextClose(DrawContext *context)
{
    gmemFree(context);
}

DrawGC *drawGCCreate(DrawContext *context, GC gc)
{
    if (context == nullptr || gc == nullptr) {
        return nullptr;
    }
    auto *pen = static_cast<DrawGC *>(gmemAlloc(sizeof(DrawGC)));
    if (pen == nullptr) {
        return nullptr;
    }
    pen->context = context;
    pen->tkGC = gc;
    pen->gc = nullptr;
    pen->lineWidth = 0;
    pen->stippleX = pen->stippleY = 0;
    pen->clipX = pen->clipY = 0;
    if (context->drawable == None) {
        return pen;
    }
    Display *display = context->display;
    XGCValues values;
    if (XGetGCValues(display, gc, GCLineWidth | GCTileStipXOrigin | GCTileStipYOrigin | GCClipXOrigin | GCClipYOrigin,
                     &values)) {
        pen->lineWidth = std::max(values.line_width, 0);
        pen->stippleX = values.ts_x_origin;
        pen->stippleY = values.ts_y_origin;
        pen->clipX = values.clip_x_origin;
        pen->clipY = values.clip_y_origin;
    }
    pen->gc = XCreateGC(display, context->drawable, 0, nullptr);
    if (pen->gc != nullptr) {
        XCopyGC(display, gc, kAllGCComponents, pen->gc);
    }
    return pen;
}

void drawGCFree(DrawGC *pen)
{
    if (pen == nullptr) {
        return;
    }
    if (pen->gc != nullptr) {
        XFreeGC(pen->context->display, pen->gc);
    }
    gmemFree(pen);
}

int drawSetGraphicsMode(Display *display, Drawable drawable, int mode)
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

void drawPolyline(DrawGC *pen, XPoint *points, int n, int mode)
{
    if (points == nullptr || n <= 0 || !begin(pen)) {
        return;
    }
    Display *display = pen->context->display;
    Drawable drawable = pen->context->drawable;
    // Wide lines go in runs of DRAW_RUN_POINTS, thin ones in runs as long as
    // a request may be.
    int run = pen->lineWidth < 2 ? requestPoints(display) : DRAW_RUN_POINTS;
    if (n <= run) {
        XDrawLines(display, drawable, pen->gc, points, n, mode);
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
        XDrawLines(display, drawable, pen->gc, const_cast<XPoint *>(line + start), count, CoordModeOrigin);
        if (start + count >= n) {
            break;
        }
    }
}

void drawFillPolygon(DrawGC *pen, XPoint *points, int n, int shape, int mode)
{
    if (points == nullptr || n < 3 || !begin(pen)) {
        return;
    }
    if (n > requestPoints(pen->context->display)) {
        fillLongPolygon(pen, points, n, mode);
        return;
    }
    XFillPolygon(pen->context->display, pen->context->drawable, pen->gc, points, n, Complex, mode);
}

void drawFillRings(DrawGC *pen, XPoint *points, int nRings, const int *counts, int shape, int mode)
{
    if (points == nullptr || counts == nullptr || !begin(pen)) {
        return;
    }
    Display *display = pen->context->display;
    Drawable drawable = pen->context->drawable;
    int offset = 0;
    int count = 0;
    int rings = fillableRings(counts, nRings, &offset, &count);
    if (rings == 1) {
        if (count > requestPoints(display)) {
            fillLongPolygon(pen, points + offset, count, mode);
        } else {
            XFillPolygon(display, drawable, pen->gc, points + offset, count, Complex, mode);
        }
    }
    if (rings < 2) {
        return;
    }
    Region region = evenOddRegion(points, nRings, counts, mode);
    if (region == nullptr) {
        return;
    }
    fillThroughRegion(display, drawable, pen->gc, region);
    // Back to the Tk GC's clip; its origin is the one begin() took.
    XCopyGC(display, pen->tkGC, kClipComponents, pen->gc);
    XDestroyRegion(region);
}

void drawRectangle(DrawGC *pen, int x, int y, int width, int height)
{
    if (width < 0 || height < 0 || !begin(pen)) {
        return;
    }
    XDrawRectangle(pen->context->display, pen->context->drawable, pen->gc, x, y, width, height);
}

void drawFillRectangle(DrawGC *pen, int x, int y, int width, int height)
{
    if (width <= 0 || height <= 0 || !begin(pen)) {
        return;
    }
    XFillRectangle(pen->context->display, pen->context->drawable, pen->gc, x, y, width, height);
}

void drawArc(DrawGC *pen, int x, int y, int width, int height, int angle1, int angle2, int fill)
{
    if (width < 0 || height < 0 || !begin(pen)) {
        return;
    }
    if (fill) {
        XFillArc(pen->context->display, pen->context->drawable, pen->gc, x, y, width, height, angle1, angle2);
    } else {
        XDrawArc(pen->context->display, pen->context->drawable, pen->gc, x, y, width, height, angle1, angle2);
    }
}
