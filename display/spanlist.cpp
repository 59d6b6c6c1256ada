/*
 * spanlist.cpp --
 *
 *	Point lists of 16-bit points: growth by 256 points, copies and chains,
 *	scan conversion of closed polygons (alone, or a chain of them by the
 *	even-odd rule) into spans, and the union, intersection and symmetric
 *	difference of sorted span lists in one merge pass each; the band
 *	statistics of an image over a span list.
 */
#include "display/spanlist.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>
#include "imagestore/stats.h"
#include "tesk.h"
#include "tesk_stdio.h"

namespace {

bool fits16(int v)
{
    return v >= INT16_MIN && v <= INT16_MAX;
}

bool before(const SpanPoint &a, const SpanPoint &b)
{
    return a.y != b.y ? a.y < b.y : a.x < b.x;
}

bool samePoint(const SpanPoint &a, const SpanPoint &b)
{
    return a.x == b.x && a.y == b.y;
}

/* Makes room for `more` points after the count, growing the capacity by
 * SPAN_GROWTH at a time. False (list unchanged) when it cannot. */
bool makeRoom(SpanList *list, int more)
{
    int64_t needed = static_cast<int64_t>(list->count) + more;
    if (needed <= list->capacity) {
        return true;
    }
    int64_t capacity = list->capacity;
    while (capacity < needed) {
        capacity += SPAN_GROWTH;
    }
    if (capacity > INT32_MAX) {
        tesk_fprintf(stderr, "Error in polyAllocPt: fail to allocate memory.\n");
        return false;
    }
    return polyAllocPt(list, static_cast<int>(capacity)) != nullptr;
}

/* Appends a point the caller has made room for. */
void put(SpanList *list, int x, int y)
{
    list->points[list->count].x = static_cast<int16_t>(x);
    list->points[list->count].y = static_cast<int16_t>(y);
    list->count++;
}

/* Appends a point whose coordinates are known to fit (taken from lists). */
bool append(SpanList *list, int x, int y)
{
    if (!makeRoom(list, 1)) {
        return false;
    }
    put(list, x, y);
    return true;
}

/* An empty list with the first block of points, as the scan conversion and
 * the set operations start; NULL when memory runs out. */
SpanList *newSpans()
{
    SpanList *list = polyCreate(SPAN_GROWTH);
    if (list != nullptr) {
        list->count = 0;
    }
    return list;
}

/* Gives back the unused end of the array; a failed shrink keeps it. */
void shrinkToCount(SpanList *list)
{
    if (list->count == list->capacity) {
        return;
    }
    if (list->count == 0) {
        gmemFree(list->points);
        list->points = nullptr;
        list->capacity = 0;
        return;
    }
    auto *points =
        static_cast<SpanPoint *>(gmemRealloc(list->points, static_cast<size_t>(list->count) * sizeof(SpanPoint)));
    if (points != nullptr) {
        list->points = points;
        list->capacity = list->count;
    }
}

/*
 * Adds the row crossings of one closed polygon to out, unsorted. Each edge
 * from p to c adds the crossings of the rows strictly between them; p itself
 * is added when the outline passes straight on through it (the previous
 * edge ran the same way, or was horizontal ahead of a downward edge, or
 * arrives upward ahead of a horizontal one), never at a local top or bottom,
 * so every row gets an even number of crossings. Only rows low .. high are
 * kept; a row's crossings are complete on their own, so the kept rows give
 * the same spans as a whole conversion.
 */
bool addCrossings(const SpanList *polygon, SpanList *out, int low, int high)
{
    int n = polygon->count;
    const SpanPoint *v = polygon->points;
    if (n < 2 || v == nullptr) {
        return true;
    }
    int first = samePoint(v[n - 1], v[0]) ? 1 : 0;
    SpanPoint p = v[n - 1];
    int prevDy = v[n - 2].y - v[n - 1].y;
    double slope = 0.0;
    double b = 0.0;
    for (int i = first; i < n; i++) {
        SpanPoint c = v[i];
        int dy = p.y - c.y;
        if (dy != 0) {
            slope = static_cast<double>(p.x - c.x) / dy;
            b = c.x - slope * c.y;
        }
        bool keepP = p.y >= low && p.y <= high;
        if (dy < 0) {
            if (keepP && prevDy <= 0 && !append(out, p.x, p.y)) {
                return false;
            }
            int from = std::max(p.y + 1, low), to = std::min(c.y - 1, high);
            if (from <= to && !makeRoom(out, to - from + 1)) {
                return false;
            }
            for (int y = from; y <= to; y++) {
                put(out, roundToInt(slope * y + b), y);
            }
        } else {
            if (keepP && prevDy > 0 && !append(out, p.x, p.y)) {
                return false;
            }
            int from = std::min(p.y - 1, high), to = std::max(c.y + 1, low);
            if (from >= to && !makeRoom(out, from - to + 1)) {
                return false;
            }
            for (int y = from; y >= to; y--) {
                put(out, roundToInt(slope * y + b), y);
            }
        }
        prevDy = dy;
        p = c;
    }
    return true;
}

}  // namespace

extern "C" void polyInit(SpanList *list)
{
    list->capacity = 0;
    list->count = 0;
    list->points = nullptr;
    list->next = nullptr;
}

extern "C" SpanPoint *polyAllocPt(SpanList *list, int n)
{
    if (n <= 0) {
        gmemFree(list->points);
        list->points = nullptr;
        list->capacity = 0;
        list->count = 0;
        return nullptr;
    }
    /* n is an int: n * 4 cannot overflow size_t; gmemRealloc refuses 4 GiB. */
    auto *points = static_cast<SpanPoint *>(gmemRealloc(list->points, static_cast<size_t>(n) * sizeof(SpanPoint)));
    if (points == nullptr) {
        tesk_fprintf(stderr, "Error in polyAllocPt: fail to allocate memory.\n");
        return nullptr;
    }
    if (n > list->capacity) {
        std::memset(points + list->capacity, 0, static_cast<size_t>(n - list->capacity) * sizeof(SpanPoint));
    }
    list->points = points;
    list->capacity = n;
    list->count = std::min(list->count, n);
    return points;
}

extern "C" int polyAddPt(SpanList *list, int x, int y)
{
    if (!fits16(x) || !fits16(y)) {
        return SPAN_RANGE;
    }
    return append(list, x, y) ? SPAN_ADDED : SPAN_NOMEM;
}

extern "C" SpanList *polyCreate(int n)
{
    if (n < 0) {
        return nullptr;
    }
    auto *list = static_cast<SpanList *>(gmemAlloc(sizeof(SpanList)));
    if (list == nullptr) {
        return nullptr;
    }
    polyInit(list);
    if (n > 0) {
        if (polyAllocPt(list, n) == nullptr) {
            gmemFree(list);
            return nullptr;
        }
        list->count = n;
    }
    return list;
}

extern "C" SpanList *polyCopy(const SpanList *list)
{
    if (list == nullptr) {
        return nullptr;
    }
    SpanList *copy = polyCreate(list->count);
    if (copy != nullptr && list->count > 0) {
        std::memcpy(copy->points, list->points, static_cast<size_t>(list->count) * sizeof(SpanPoint));
    }
    return copy;
}

extern "C" void polyFreeList(SpanList *list)
{
    while (list != nullptr) {
        SpanList *next = list->next;
        gmemFree(list->points);
        gmemFree(list);
        list = next;
    }
}

extern "C" SpanList *polyToSpans(const SpanList *polygon)
{
    return polyToSpansInRows(polygon, INT16_MIN, INT16_MAX);
}

extern "C" SpanList *polyToSpansInRows(const SpanList *polygon, int low, int high)
{
    SpanList *out = newSpans();
    if (out == nullptr) {
        return nullptr;
    }
    if (polygon != nullptr && !addCrossings(polygon, out, low, high)) {
        polyFreeList(out);
        return nullptr;
    }
    spanSort(out);
    return out;
}

extern "C" SpanList *polyChainSpans(const SpanList *chain)
{
    SpanList *out = newSpans();
    if (out == nullptr) {
        return nullptr;
    }
    for (const SpanList *polygon = chain; polygon != nullptr; polygon = polygon->next) {
        if (!addCrossings(polygon, out, INT16_MIN, INT16_MAX)) {
            polyFreeList(out);
            return nullptr;
        }
    }
    spanSort(out);
    spanDropEmpty(out);
    return out;
}

extern "C" int spanAddPair(SpanList *list, int x1, int x2, int y)
{
    if (!fits16(x1) || !fits16(x2) || !fits16(y)) {
        return SPAN_RANGE;
    }
    if (!makeRoom(list, 2)) {
        return SPAN_NOMEM;
    }
    put(list, std::min(x1, x2), y);
    put(list, std::max(x1, x2), y);
    return SPAN_ADDED;
}

extern "C" int spanAddMerged(SpanList *list, int x1, int x2, int y)
{
    if (!fits16(x1) || !fits16(x2) || !fits16(y)) {
        return SPAN_RANGE;
    }
    int lo = std::min(x1, x2);
    int hi = std::max(x1, x2);
    if (list->count >= 2) {
        SpanPoint &end = list->points[list->count - 1];
        if (end.y == y && list->points[list->count - 2].y == y && lo <= end.x) {
            end.x = static_cast<int16_t>(std::max<int>(end.x, hi));
            return SPAN_ADDED;
        }
    }
    return spanAddPair(list, lo, hi, y);
}

extern "C" int spanTogglePoint(SpanList *list, int x, int y)
{
    if (!fits16(x) || !fits16(y)) {
        return SPAN_RANGE;
    }
    if (list->count > 0 && list->points[list->count - 1].x == x && list->points[list->count - 1].y == y) {
        list->count--;
        return SPAN_ADDED;
    }
    return append(list, x, y) ? SPAN_ADDED : SPAN_NOMEM;
}

extern "C" void spanSort(SpanList *list)
{
    if (list->count > 1) {
        std::sort(list->points, list->points + list->count, before);
    }
}

/* A trailing unpaired point is no span and is kept as it is. */
extern "C" void spanDropEmpty(SpanList *list)
{
    int kept = 0;
    int i = 0;
    for (; i + 1 < list->count; i += 2) {
        if (!samePoint(list->points[i], list->points[i + 1])) {
            list->points[kept++] = list->points[i];
            list->points[kept++] = list->points[i + 1];
        }
    }
    if (i < list->count) {
        list->points[kept++] = list->points[i];
    }
    list->count = kept;
}

namespace {

/* Spans of a list; span k is points 2k and 2k + 1. */
int spanCount(const SpanList *list)
{
    return list != nullptr && list->points != nullptr ? list->count / 2 : 0;
}

const SpanPoint &spanStart(const SpanList *list, int k)
{
    return list->points[2 * k];
}

const SpanPoint &spanEnd(const SpanList *list, int k)
{
    return list->points[2 * k + 1];
}

/* Shrinks a finished result, or frees it when building it failed. */
SpanList *finish(SpanList *out, bool ok)
{
    if (!ok) {
        polyFreeList(out);
        return nullptr;
    }
    shrinkToCount(out);
    return out;
}

}  // namespace

/* Spans of both lists in order of their starts, each widening the last
 * output span it reaches or touches, else appended. */
extern "C" SpanList *spanUnion(const SpanList *a, const SpanList *b)
{
    SpanList *out = newSpans();
    if (out == nullptr) {
        return nullptr;
    }
    int na = spanCount(a);
    int nb = spanCount(b);
    int i = 0;
    int j = 0;
    bool ok = true;
    while (ok && (i < na || j < nb)) {
        bool fromA = j >= nb || (i < na && !before(spanStart(b, j), spanStart(a, i)));
        const SpanList *list = fromA ? a : b;
        int k = fromA ? i++ : j++;
        ok = spanAddMerged(out, spanStart(list, k).x, spanEnd(list, k).x, spanStart(list, k).y) == SPAN_ADDED;
    }
    return finish(out, ok);
}

/* For spans on one row, the overlap when it is not empty; the span that
 * ends first gives way to the next of its list. */
extern "C" SpanList *spanIntersect(const SpanList *a, const SpanList *b)
{
    SpanList *out = newSpans();
    if (out == nullptr) {
        return nullptr;
    }
    int na = spanCount(a);
    int nb = spanCount(b);
    int i = 0;
    int j = 0;
    bool ok = true;
    while (ok && i < na && j < nb) {
        const SpanPoint &sa = spanStart(a, i);
        const SpanPoint &sb = spanStart(b, j);
        if (sa.y != sb.y) {
            (sa.y < sb.y ? i : j)++;
            continue;
        }
        int ea = spanEnd(a, i).x;
        int eb = spanEnd(b, j).x;
        int lo = std::max(sa.x, sb.x);
        int hi = std::min(ea, eb);
        if (lo < hi) {
            ok = spanAddPair(out, lo, hi, sa.y) == SPAN_ADDED;
        }
        (ea <= eb ? i : j)++;
    }
    return finish(out, ok);
}

/* The points of both lists merged in order, a point equal to the last one
 * kept cancelling it: per row, the columns covered an odd number of times. */
extern "C" SpanList *spanXor(const SpanList *a, const SpanList *b)
{
    SpanList *out = newSpans();
    if (out == nullptr) {
        return nullptr;
    }
    int na = 2 * spanCount(a);
    int nb = 2 * spanCount(b);
    int i = 0;
    int j = 0;
    bool ok = true;
    while (ok && (i < na || j < nb)) {
        bool fromA = j >= nb || (i < na && !before(b->points[j], a->points[i]));
        const SpanPoint &pt = fromA ? a->points[i++] : b->points[j++];
        ok = spanTogglePoint(out, pt.x, pt.y) == SPAN_ADDED;
    }
    return finish(out, ok);
}

/* The region and the spans of each shape are united in pairs, then the
 * results in pairs again, so that no span is copied more than log2 of the
 * number of shapes times. */
extern "C" SpanList *shapeChainUnion(const SpanList *region, const SpanList *chain, int low, int high)
{
    std::vector<SpanList *> parts;
    auto release = [&parts]() {
        for (SpanList *part : parts) {
            polyFreeList(part);
        }
        return static_cast<SpanList *>(nullptr);
    };
    parts.push_back(region != nullptr ? polyCopy(region) : polyCreate(0));
    if (parts.back() == nullptr) {
        return release();
    }
    for (const SpanList *shape = chain; shape != nullptr; shape = shape->next) {
        parts.push_back(polyToSpansInRows(shape, low, high));
        if (parts.back() == nullptr) {
            return release();
        }
    }
    while (parts.size() > 1) {
        size_t kept = 0;
        for (size_t i = 0; i < parts.size(); i += 2) {
            if (i + 1 == parts.size()) {
                parts[kept++] = parts[i];
                continue;
            }
            SpanList *both = spanUnion(parts[i], parts[i + 1]);
            polyFreeList(parts[i]);
            polyFreeList(parts[i + 1]);
            parts[i] = parts[i + 1] = nullptr;
            parts[kept++] = both;
            if (both == nullptr) {
                /* Free what is left of this round and the ones united so far. */
                for (size_t j = i + 2; j < parts.size(); j++) {
                    polyFreeList(parts[j]);
                }
                parts.resize(kept);
                return release();
            }
        }
        parts.resize(kept);
    }
    return parts[0];
}

/* Each span clipped to the image adds its pixels of every band. */
extern "C" BandStat *ramImageHistWithROI(RamImage *image, const SpanList *spans, int keep)
{
    if (image == nullptr || image->desc.nbands < 1) {
        return nullptr;
    }
    const ImageDesc &desc = image->desc;
    if (keep) {
        freeHist(image->stats, desc.nbands);
        image->stats = nullptr;
    }
    BandStat *stats = createHist(desc.nbands, binsForPixel(desc.pixel));
    if (stats == nullptr) {
        tesk_fprintf(stderr, "Error in createHist.\n");
        return nullptr;
    }
    bool asBytes = binsForPixel(desc.pixel) > 0;
    void *buffer = gmemAlloc((asBytes ? 1 : sizeof(float)) * static_cast<size_t>(std::max(desc.columns, 1)));
    if (buffer == nullptr) {
        tesk_fprintf(stderr, asBytes ? "Error in ramImageHistWithROI - malloc...\n"
                                     : "Error in ramImageHistWithMask - malloc...\n");
        freeHist(stats, desc.nbands);
        return nullptr;
    }
    bool counted = false;
    int points = 2 * spanCount(spans);
    for (int i = 0; i < points; i += 2) {
        int y = spans->points[i].y;
        int x1 = std::max<int>(spans->points[i].x, 0);
        int x2 = std::min<int>(spans->points[i + 1].x, desc.columns);
        if (y >= 0 && y < desc.rows && x1 < x2) {
            ramImageAccumulateRun(image, stats, y, x1, x2 - x1, 1, buffer);
            counted = true;
        }
    }
    gmemFree(buffer);
    for (int b = 0; b < desc.nbands; b++) {
        statFinish(&stats[b]);
        stats[b].done = 1;
    }
    if (!counted) {
        freeHist(stats, desc.nbands);
        return nullptr;
    }
    if (keep) {
        image->stats = stats;
    }
    return stats;
}
