/*
 * banddraw.cpp --
 *
 *	Lines and filled polygons in one band of a RAM image: see banddraw.h.
 */
#include "display/banddraw.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>
#include "imagestore/pixels.h"

namespace {

/* The steps i of a walk a0 + i * s (s = +-1, 0 <= i <= n) whose coordinate
 * lies in 0 .. size - 1, as [*first, *last]; false when there is none. */
bool stepsInside(int64_t a0, int s, int64_t n, int64_t size, int64_t *first, int64_t *last)
{
    int64_t lo = s > 0 ? -a0 : a0 - (size - 1);
    int64_t hi = s > 0 ? size - 1 - a0 : a0;
    *first = std::max<int64_t>(lo, 0);
    *last = std::min<int64_t>(hi, n);
    return *first <= *last;
}

}  // namespace

int ramImageDrawLine(RamImage *image, int band, int value, int x0, int y0, int x1, int y1)
{
    const int64_t columns = image->desc.columns, rows = image->desc.rows;
    if (band < 0 || band >= image->desc.nbands) {
        return 0;
    }
    const auto byte = static_cast<unsigned char>(value);
    int64_t dx = int64_t{x1} - x0, dy = int64_t{y1} - y0;
    if (dx == 0 && dy == 0) {
        if (x0 < 0 || x0 >= columns || y0 < 0 || y0 >= rows) {
            return 0;
        }
        return ramImagePutBytes(image, y0, x0, 1, band, &byte) > 0 ? 1 : 0;
    }
    /* The major axis moves by exactly 1 a step, so the walk has n + 1
     * points and both coordinates reach their ends at step n. Only the
     * steps whose major coordinate is inside the image are walked. */
    bool xMajor = std::llabs(dx) > std::llabs(dy);
    int64_t n = xMajor ? std::llabs(dx) : std::llabs(dy);
    int64_t major0 = xMajor ? x0 : y0, minor0 = xMajor ? y0 : x0, dMinor = xMajor ? dy : dx;
    int s = (xMajor ? dx : dy) > 0 ? 1 : -1;
    int64_t first = 0, last = -1;
    if (!stepsInside(major0, s, n, xMajor ? columns : rows, &first, &last)) {
        return 0;
    }
    /* The minor coordinate of step i is minor0 + sign(dMinor) * q, where
     * q = floor((2 i |dMinor| + n) / 2n) is i |dMinor| / n rounded half
     * away from zero, with remainder r: q = 0 and r = n at step 0, and
     * one exact division (2 i |dMinor| may pass 2^64) for a walk that
     * starts later. Each step adds 2 |dMinor| <= 2n to r and carries at
     * most once into q. */
    const int64_t minorSize = xMajor ? rows : columns, dm = std::llabs(dMinor), twoN = 2 * n;
    const int sm = dMinor < 0 ? -1 : 1;
    int64_t q = 0, r = n;
    if (first > 0) {
        __int128 start = 2 * static_cast<__int128>(first) * dm + n;
        q = static_cast<int64_t>(start / twoN);
        r = static_cast<int64_t>(start % twoN);
    }
    /* The pixels go to the store a batch at a time. */
    constexpr int kBatch = 256;
    int xs[kBatch], ys[kBatch], batched = 0, written = 0;
    int *majors = xMajor ? xs : ys, *minors = xMajor ? ys : xs;
    for (int64_t i = first; i <= last; i++) {
        int64_t minor = minor0 + sm * q;
        if (minor >= 0 && minor < minorSize) {
            majors[batched] = static_cast<int>(major0 + s * i);
            minors[batched] = static_cast<int>(minor);
            if (++batched == kBatch) {
                written += ramImagePutBytePoints(image, band, byte, xs, ys, batched);
                batched = 0;
            }
        }
        r += 2 * dm;
        if (r >= twoN) {
            r -= twoN;
            q++;
        }
    }
    return written + ramImagePutBytePoints(image, band, byte, xs, ys, batched);
}

int ramImageDrawPolyline(RamImage *image, int band, int value, const SpanList *points)
{
    int segments = 0;
    for (int i = 1; points != nullptr && i < points->count; i++) {
        const SpanPoint &a = points->points[i - 1], &b = points->points[i];
        ramImageDrawLine(image, band, value, a.x, a.y, b.x, b.y);
        segments++;
    }
    return segments;
}

int ramImageFillPolygon(RamImage *image, int band, int value, const SpanList *points)
{
    SpanList *spans = polyToSpansInRows(points, 0, image->desc.rows - 1);
    if (spans == nullptr) {
        return -1;
    }
    const int columns = image->desc.columns, rows = image->desc.rows;
    std::vector<unsigned char> run(static_cast<size_t>(std::max(columns, 0)), static_cast<unsigned char>(value));
    if (band >= 0 && band < image->desc.nbands) {
        for (int i = 0; i + 1 < spans->count; i += 2) {
            int y = spans->points[i].y;
            int from = std::max<int>(spans->points[i].x, 0), to = std::min<int>(spans->points[i + 1].x, columns);
            if (y >= 0 && y < rows && from < to) {
                ramImagePutBytes(image, y, from, to - from, band, run.data());
            }
        }
    }
    int count = spans->count;
    polyFreeList(spans);
    return count;
}
