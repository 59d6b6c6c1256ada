/*
 * zoom.cpp --
 *
 *	Zoom tables of the gimg view: building the per-cell source indices for
 *	a start, a direction and a factor, sub-tables for partial renders, the
 *	visible range of a source, and the view/source coordinate conversions.
 */
#include "display/zoom.h"

#include <cmath>
#include <cstdint>
#include "tesk.h"
#include "tesk_stdio.h"

namespace {

/* The direction entries run in: true when they decrease along the view. */
bool runsAgainst(const ZoomTable *table)
{
    return (table->reversed != 0) != (table->zoom < 0);
}

/* start + offset as a source index, clamped to 32 bits. */
int32_t sourceIndex(int32_t start, double offset)
{
    double v = static_cast<double>(start) + std::trunc(offset);
    if (v >= 2147483647.0) {
        return INT32_MAX;
    }
    if (v <= -2147483648.0) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(v);
}

}  // namespace

extern "C" ZoomTable *zoomNew(void)
{
    auto *table = static_cast<ZoomTable *>(gmemAlloc(sizeof(ZoomTable)));
    if (table != nullptr) {
        zoomClear(table);
    }
    return table;
}

extern "C" void zoomClear(ZoomTable *table)
{
    table->index = nullptr;
    table->count = 0;
    table->start = 0;
    table->reversed = 0;
    table->zoom = 0.0;
}

extern "C" void zoomFree(ZoomTable *table)
{
    gmemFree(table->index);
    zoomClear(table);
}

extern "C" void zoomDelete(ZoomTable *table)
{
    if (table != nullptr) {
        zoomFree(table);
        gmemFree(table);
    }
}

/*
 * zoomBuild --
 *	Entry i (from 0) is start + i / zoom, the quotient truncated toward
 *	zero, so every run of cells has the same length whatever start's sign.
 *	With a factor of 0 or more it goes to cell i (count - 1 - i when
 *	reversed); with a negative factor the entry is start - i / zoom and goes
 *	to cell count - 1 - i (i when reversed).
 */
extern "C" int zoomBuild(ZoomTable *table, int count, int start, int reversed, double zoom)
{
    if (count < 1 || zoom == 0.0 || !std::isfinite(zoom)) {
        return 0;
    }
    int32_t flag = reversed != 0 ? 1 : 0;
    if (table->index != nullptr && table->count == count && table->start == start && table->reversed == flag &&
        table->zoom == zoom) {
        return 1;
    }
    if (table->index == nullptr || table->count != count) {
        gmemFree(table->index);
        table->index = nullptr;
        table->count = 0;
        /* count is an int, so count * 4 stays far below the 4 GiB limit of
         * 64-bit size_t arithmetic; gmemAlloc refuses what it cannot serve. */
        table->index = static_cast<int32_t *>(gmemAlloc(static_cast<size_t>(count) * sizeof(int32_t)));
        if (table->index == nullptr) {
            zoomClear(table);
            tesk_fprintf(stderr, "Error in zoomBuild: fail to allocate memory.\n");
            return 0;
        }
    }
    table->count = count;
    table->start = start;
    table->reversed = flag;
    table->zoom = zoom;
    bool forward = zoom >= 0;
    bool toEnd = forward == (flag != 0);  // cell count - 1 - i
    for (int i = 0; i < count; i++) {
        double offset = static_cast<double>(i) / zoom;
        int32_t value = sourceIndex(start, forward ? offset : -offset);
        table->index[toEnd ? count - 1 - i : i] = value;
    }
    return 1;
}

extern "C" ZoomTable *zoomSub(const ZoomTable *table, int start, int count)
{
    if (table == nullptr || count < 1) {
        return nullptr;
    }
    ZoomTable *sub = zoomNew();
    if (sub == nullptr) {
        return nullptr;
    }
    sub->index = static_cast<int32_t *>(gmemAlloc(static_cast<size_t>(count) * sizeof(int32_t)));
    if (sub->index == nullptr) {
        gmemFree(sub);
        return nullptr;
    }
    for (int k = 0; k < count; k++) {
        int64_t at = static_cast<int64_t>(start) + k;
        sub->index[k] = at >= 0 && at < table->count && table->index != nullptr ? table->index[at] : -1;
    }
    sub->count = count;
    sub->start = sub->index[0];
    sub->reversed = table->reversed;
    sub->zoom = table->zoom;
    return sub;
}

extern "C" void zoomRange(const ZoomTable *table, int value, int *first, int *last)
{
    int n = table->index != nullptr ? table->count : 0;
    const int32_t *entry = table->index;
    int i = 0;
    if (!runsAgainst(table)) {
        while (i < n && entry[i] < 0) {
            i++;
        }
        *first = i;
        while (i < n && entry[i] < value) {
            i++;
        }
    } else {
        while (i < n && entry[i] >= value) {
            i++;
        }
        *first = i;
        while (i < n && entry[i] >= 0) {
            i++;
        }
    }
    *last = i;
}

extern "C" double zoomToView(const ZoomTable *table, double x)
{
    double start = table->start;
    double end = static_cast<double>(table->count) - 1;
    if (table->zoom >= 0) {
        return table->reversed ? (start - x) * table->zoom + end : (x - start) * table->zoom;
    }
    return table->reversed ? (start - x) * table->zoom : (x - start) * table->zoom + end;
}

extern "C" double zoomToSource(const ZoomTable *table, double x)
{
    double start = table->start;
    double end = static_cast<double>(table->count) - 1;
    double zoom = table->zoom;
    if (zoom == 0.0) {
        return start;
    }
    if (zoom > 0) {
        return table->reversed ? (end - x) / zoom + start : x / zoom + start;
    }
    return table->reversed ? start - x / zoom : start - (end - x) / zoom;
}
