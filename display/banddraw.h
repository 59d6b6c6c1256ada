/*
 * banddraw.h --
 *
 *	Lines and filled polygons drawn with one value into one band of a RAM
 *	image, clipped to the image. Serves rimage draw and the display-driver
 *	emulation of the GIS bridge.
 */
#ifndef TESK_DISPLAY_BANDDRAW_H
#define TESK_DISPLAY_BANDDRAW_H

#include "display/spanlist.h"
#include "tesk_image.h"

/*
 * ramImageDrawLine --
 *	Writes value into band (0-based) along the line from (x0, y0) to
 *	(x1, y1), ends included: the axis with the larger difference (y on a
 *	tie) steps by 1, the other by its share, each point rounded half away
 *	from zero. Answers the number of pixels written (those inside the
 *	image).
 */
int ramImageDrawLine(RamImage *image, int band, int value, int x0, int y0, int x1, int y1);

/*
 * ramImageDrawPolyline --
 *	Draws the segments between consecutive points of points (its chain is
 *	not followed) with ramImageDrawLine. Answers the number of segments.
 */
int ramImageDrawPolyline(RamImage *image, int band, int value, const SpanList *points);

/*
 * ramImageFillPolygon --
 *	Fills the closed polygon points (polyToSpans: rows y0 .. y1 - 1 of an
 *	edge, columns x1 .. x2 - 1 of a span) with value in band (0-based),
 *	clipped to the image. Answers the number of span points (two per span),
 *	or -1 when memory runs out.
 */
int ramImageFillPolygon(RamImage *image, int band, int value, const SpanList *points);

#endif /* TESK_DISPLAY_BANDDRAW_H */
