/*
 * spanlist.h --
 *
 *	Point lists with 16-bit coordinates, used two ways: as polygons (one
 *	list of vertices; a chain of lists is a polygon with holes, or several
 *	polygons) and as span lists (points in pairs on one row, (x1, y) and
 *	(x2, y) with x1 <= x2, sorted by y then x, covering columns x1 to
 *	x2 - 1). Regions of interest and mask polygons of gimg images, and the
 *	analysis commands, hold their shapes this way.
 */
#ifndef TESK_DISPLAY_SPANLIST_H
#define TESK_DISPLAY_SPANLIST_H

#include <stdint.h>
#include "tesk_image.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Lists grow by this many points at a time. */
enum { SPAN_GROWTH = 256 };

typedef struct SpanPoint {
    int16_t x; /* column */
    int16_t y; /* row */
} SpanPoint;

typedef struct SpanList {
    int32_t capacity;      /* points the array holds, 0 or more */
    int32_t count;         /* points in use, 0..capacity */
    SpanPoint *points;     /* gmemAlloc'd array, NULL while capacity is 0 */
    struct SpanList *next; /* next list of the chain, NULL at its end */
} SpanList;

/* Answers of the functions that add points. */
enum {
    SPAN_RANGE = -1, /* a coordinate does not fit in 16 bits: nothing added */
    SPAN_NOMEM = 0,  /* the list could not grow: nothing added */
    SPAN_ADDED = 1
};

/* Every field 0 (a record not yet holding an array). */
void polyInit(SpanList *list);

/*
 * Resizes the array to n points (n below 0 counts as 0): new points are
 * zeroed, the capacity becomes n and the count is limited to n. Answers the
 * array (NULL for n = 0, the array being freed). When memory runs out,
 * prints "Error in polyAllocPt: fail to allocate memory.\n" and answers
 * NULL with the list unchanged.
 */
SpanPoint *polyAllocPt(SpanList *list, int n);

/* Appends (x, y), growing the array by SPAN_GROWTH points when it is full.
 * Answers SPAN_ADDED, SPAN_RANGE or SPAN_NOMEM. */
int polyAddPt(SpanList *list, int x, int y);

/* A new list (gmemAlloc'd) of n zeroed points, capacity and count n (set
 * the count to 0 to fill it); NULL for n below 0 or no memory. */
SpanList *polyCreate(int n);

/* A new list with list's points (not its chain); NULL for a NULL list or
 * no memory. */
SpanList *polyCopy(const SpanList *list);

/* Frees list and every list chained after it. NULL is ignored. */
void polyFreeList(SpanList *list);

/*
 * The spans of one closed polygon (its vertices; the closing vertex may be
 * repeated or not): a new list, free with polyFreeList. Rows y0 to y1 - 1
 * of an edge from row y0 to row y1 are crossed, so a rectangle from (0, 0)
 * to (10, 10) covers rows 0 to 9 and columns 0 to 9. NULL when memory runs
 * out.
 */
SpanList *polyToSpans(const SpanList *polygon);

/* As polyToSpans, but only the spans of rows low .. high: a fill clipped
 * to an image scan-converts no more rows than the image has. */
SpanList *polyToSpansInRows(const SpanList *polygon, int low, int high);

/* The spans of every polygon of the chain together, by the even-odd rule
 * (a hole inside a ring stays empty, an island inside a hole is filled);
 * spans that cover no column are left out. NULL when memory runs out. */
SpanList *polyChainSpans(const SpanList *chain);

/* Appends the span (x1, y)-(x2, y), ends taken in order. Answers as
 * polyAddPt; on failure nothing is added. */
int spanAddPair(SpanList *list, int x1, int x2, int y);

/* As spanAddPair, but a span on the last span's row that starts no later
 * than the last span's end widens that span instead (to the later end). */
int spanAddMerged(SpanList *list, int x1, int x2, int y);

/* Removes the last point when it is (x, y), else appends (x, y). Answers
 * as polyAddPt (SPAN_ADDED for a removal too). */
int spanTogglePoint(SpanList *list, int x, int y);

/* Sorts the points by y, then x. */
void spanSort(SpanList *list);

/* Removes the spans whose two points are equal. */
void spanDropEmpty(SpanList *list);

/* New span lists (arrays shrunk to their counts) from two sorted span lists,
 * a NULL list counting as empty: the columns in either, in both, in exactly
 * one. NULL when memory runs out. */
SpanList *spanUnion(const SpanList *a, const SpanList *b);
SpanList *spanIntersect(const SpanList *a, const SpanList *b);
SpanList *spanXor(const SpanList *a, const SpanList *b);

/* region (NULL: empty) united with the spans of each polygon of the chain
 * in turn, scan-converted in rows low .. high only: a new sorted span list,
 * NULL when memory runs out. */
SpanList *shapeChainUnion(const SpanList *region, const SpanList *chain, int low, int high);

/*
 * The statistics of every band over the columns the sorted spans cover
 * inside the image, one finished record a band with the bins of the pixel
 * type. With keep set the image's statistics are released first and the
 * result takes their place; otherwise free it with freeHist. NULL when no
 * pixel of the spans lies in the image, or when memory runs out (printed).
 */
BandStat *ramImageHistWithROI(RamImage *image, const SpanList *spans, int keep);

#ifdef __cplusplus
}
#endif

#endif /* TESK_DISPLAY_SPANLIST_H */
