/*
 * x11regions.cpp --
 *
 *	Region operations over libX11's regions (exclusive-or, union, polygon
 *	regions, the kind of a result), the per-thread buffer that makes
 *	relative point lists absolute, and the fill of several rings as one
 *	shape by the even-odd rule: the exclusive-or of every ring's region,
 *	filled through a clip on a GC the drawing owns.
 */
#include "platform/x11regions.h"

#include <algorithm>
#include <climits>
#include <new>
#include <vector>

namespace {

/* Every component of a GC, for XCopyGC. */
constexpr unsigned long kAllGCComponents = (1UL << (GCLastBit + 1)) - 1;

short clampShort(long v)
{
    return static_cast<short>(std::clamp<long>(v, SHRT_MIN, SHRT_MAX));
}

}  // namespace

int regionKind(Region region)
{
    if (region == nullptr) {
        return REGION_ERROR;
    }
    if (XEmptyRegion(region)) {
        return REGION_EMPTY;
    }
    XRectangle box;
    XClipBox(region, &box);
    return XRectInRegion(region, box.x, box.y, box.width, box.height) == RectangleIn ? REGION_SIMPLE : REGION_COMPLEX;
}

int xorRegion(Region a, Region b, Region result)
{
    if (a == nullptr || b == nullptr || result == nullptr) {
        return REGION_ERROR;
    }
    // libX11's XXorRegion answers 0 whatever happens: its answer says nothing.
    XXorRegion(a, b, result);
    return regionKind(result);
}

int unionRegion(Region a, Region b, Region result)
{
    if (a == nullptr || b == nullptr || result == nullptr) {
        return REGION_ERROR;
    }
    XUnionRegion(a, b, result);
    return regionKind(result);
}

Region polygonRegion(const XPoint *points, int count, int winding)
{
    if (points == nullptr || count < 3) {
        return XCreateRegion();
    }
    return XPolygonRegion(const_cast<XPoint *>(points), count, winding ? WindingRule : EvenOddRule);
}

const XPoint *absolutePoints(const XPoint *points, int n, int mode)
{
    if (mode != CoordModePrevious || n <= 0) {
        return points;
    }
    thread_local std::vector<XPoint> buffer;
    if (buffer.size() < static_cast<size_t>(n)) {
        try {
            buffer.resize(n);
        } catch (const std::bad_alloc &) {
            return nullptr;
        }
    }
    long x = points[0].x;
    long y = points[0].y;
    buffer[0] = points[0];
    for (int i = 1; i < n; i++) {
        x = clampShort(x + points[i].x);
        y = clampShort(y + points[i].y);
        buffer[i].x = static_cast<short>(x);
        buffer[i].y = static_cast<short>(y);
    }
    return buffer.data();
}

int fillableRings(const int *counts, int nRings, int *offset, int *count)
{
    int found = 0;
    int at = 0;
    for (int i = 0; i < nRings; i++) {
        int n = std::max(counts[i], 0);
        if (n > 2) {
            if (found == 0) {
                *offset = at;
                *count = n;
            }
            found++;
        }
        at += n;
    }
    return found;
}

Region evenOddRegion(const XPoint *points, int nRings, const int *counts, int mode)
{
    std::vector<Region> parts;
    bool failed = false;
    for (int i = 0, at = 0; i < nRings && !failed; i++) {
        int n = std::max(counts[i], 0);
        if (n > 2) {
            const XPoint *ring = absolutePoints(points + at, n, mode);
            Region part = ring != nullptr ? polygonRegion(ring, n, 0) : nullptr;
            failed = part == nullptr;
            if (part != nullptr) {
                parts.push_back(part);
            }
        }
        at += n;
    }
    // The rings are XORed pairwise, level by level: each ring's rectangles
    // take part in log2(rings) XORs, not in one for every later ring.
    while (!failed && parts.size() > 1) {
        size_t kept = 0;
        for (size_t k = 0; k + 1 < parts.size(); k += 2) {
            XXorRegion(parts[k], parts[k + 1], parts[k]);
            XDestroyRegion(parts[k + 1]);
            parts[kept++] = parts[k];
        }
        if (parts.size() % 2 != 0) {
            parts[kept++] = parts.back();
        }
        parts.resize(kept);
    }
    if (failed) {
        for (Region r : parts) {
            XDestroyRegion(r);
        }
        return nullptr;
    }
    return parts.empty() ? XCreateRegion() : parts[0];
}

void fillThroughRegion(Display *display, Drawable drawable, GC gc, Region region)
{
    XRectangle box;
    XClipBox(region, &box);
    if (box.width == 0 || box.height == 0) {
        return;
    }
    XSetRegion(display, gc, region);
    XSetClipOrigin(display, gc, 0, 0);
    XFillRectangle(display, drawable, gc, box.x, box.y, box.width, box.height);
}

void fillPolygonsWithHoles(Display *display, Drawable drawable, GC gc, XPoint *points, int nRings, const int *counts,
                           int shape, int mode)
{
    if (display == nullptr || drawable == None || gc == nullptr || points == nullptr || counts == nullptr) {
        return;
    }
    int offset = 0;
    int count = 0;
    int rings = fillableRings(counts, nRings, &offset, &count);
    if (rings == 0) {
        return;
    }
    if (rings == 1) {
        XFillPolygon(display, drawable, gc, points + offset, count, Complex, mode);
        return;
    }
    Region region = evenOddRegion(points, nRings, counts, mode);
    if (region == nullptr) {
        return;
    }
    // The clip goes on a copy: gc may be shared through Tk's GC cache.
    GC work = XCreateGC(display, drawable, 0, nullptr);
    if (work != nullptr) {
        XCopyGC(display, gc, kAllGCComponents, work);
        fillThroughRegion(display, drawable, work, region);
        XFreeGC(display, work);
    }
    XDestroyRegion(region);
}
