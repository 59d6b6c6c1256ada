/*
 * zoom.h --
 *
 *	Zoom tables: the map from each view column (or row) of a gimg to the
 *	source column (or row) it shows, with the conversions between view
 *	and source coordinates that go with it. A gimg master keeps two, one
 *	for columns and one for rows.
 */
#ifndef TESK_DISPLAY_ZOOM_H
#define TESK_DISPLAY_ZOOM_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct ZoomTable {
    int32_t *index;   /* source index of each view cell, -1 for none; count entries
                        * (gmemAlloc'd), NULL while nothing is built */
    int32_t count;    /* view cells (the view's width or height), 0 when empty */
    int32_t start;    /* source index of the first view cell */
    int32_t reversed; /* 1: the view runs against the source (a flip), else 0 */
    double zoom;      /* view cells per source cell; a negative factor inverts
                        * the sense of reversed */
} ZoomTable;

/* A new, empty table (gmemAlloc'd, free with zoomDelete); NULL when memory
 * runs out. */
ZoomTable *zoomNew(void);

/* Puts a fresh record into the empty state: every field 0. Frees nothing. */
void zoomClear(ZoomTable *table);

/* Frees the table's array and leaves the record empty (as zoomClear). */
void zoomFree(ZoomTable *table);

/* zoomFree, then frees the record itself. NULL is ignored. */
void zoomDelete(ZoomTable *table);

/*
 * Fills table for a view of count cells whose first cell shows source index
 * start, at zoom view cells per source cell; reversed runs the view against
 * the source. Nothing is rebuilt when the four values are those the table
 * was built with. Answers 1 when the table holds this mapping; 0 when
 * nothing was built: count below 1, a zoom factor of 0 or not finite (the
 * table is left as it was), or no memory (the table is left empty and one
 * "Error in" line is printed).
 */
int zoomBuild(ZoomTable *table, int count, int start, int reversed, double zoom);

/*
 * A new table (free with zoomDelete) of count entries copied from table's
 * entries start, start + 1, ...; entries outside table read -1. It keeps
 * table's reversed flag and factor, and its start is its first entry.
 * NULL for a NULL table, a count below 1 or no memory.
 */
ZoomTable *zoomSub(const ZoomTable *table, int start, int count);

/*
 * The view cells [*first, *last) whose entries are source indices 0 to
 * value - 1 (value being the source's size): for a table running with the
 * source, first is the first cell with an entry of 0 or more and last the
 * next cell from there whose entry is value or more; against the source,
 * first is the first cell whose entry is below value and last the next
 * whose entry is negative. Both stop at count.
 */
void zoomRange(const ZoomTable *table, int value, int *first, int *last);

/* The view coordinate of source coordinate x (not rounded). */
double zoomToView(const ZoomTable *table, double x);

/* The source coordinate of view coordinate x (not rounded), the inverse of
 * zoomToView. A table never built (factor 0) answers its start. */
double zoomToSource(const ZoomTable *table, double x);

#ifdef __cplusplus
}
#endif

#endif /* TESK_DISPLAY_ZOOM_H */
