/*
 * render.h --
 *
 *	The pieces of the gimg row pipeline that other display modules and the
 *	tests call: rendering one source row to 8-bit levels through the column
 *	zoom table, the row filter, dithering into colour-cube indices, and the
 *	strip packer that gimgPackView runs (rows packed for the visual through
 *	platform/x11pixels.h).
 */
#ifndef TESK_DISPLAY_RENDER_H
#define TESK_DISPLAY_RENDER_H

#include <cstdint>
#include "display/gimg.h"
#include "platform/x11pixels.h"

/* x limited to 0..255 as a byte, truncated; NaN gives 0. The levels of the
 * row filter and of the histogram tables. */
inline unsigned char gimgLevelByte(double x)
{
    if (!(x > 0.0)) {
        return 0;
    }
    return x >= 255.0 ? 255 : static_cast<unsigned char>(x);
}

/*
 * Renders band of source row row into out[0..width): position i shows
 * source column index[i]; positions first..end-1 map inside the image (as
 * zoomRange gives them), the others get table[0]. Values become 8-bit
 * levels by pixel type (1BIT and 4BITS as stored, BYTE as is, SHORT, LONG,
 * FLOAT and USHORT scaled by low and high) and then pass through table.
 * Rows of ULONG, SBYTE and unknown images are all table[0]. Answers out.
 */
unsigned char *gimgRenderRow(RamImage *image, int row, int band, const int32_t *index, int first, int end, int width,
                             float low, float high, const unsigned char *table, unsigned char *out);
/* gimgRenderRow without a table: the levels themselves, 0 outside. */
unsigned char *gimgRenderRowRaw(RamImage *image, int row, int band, const int32_t *index, int first, int end, int width,
                                float low, float high, unsigned char *out);

/*
 * Filters row[0..width) in place against previous, the unfiltered row
 * above, and leaves the unfiltered row in previous. firstRow: the row is
 * its own row above. base below 0 embosses with strength; otherwise a
 * negative strength smooths and a positive one sharpens in direction
 * (1..4, other values all round), adding base when it is not 0.
 */
void gimgFilterRow(unsigned char *row, unsigned char *previous, int width, double strength, int base, int direction,
                   int firstRow);

/*
 * Adds one channel of a dithered row into out: for each x the level
 * level[in[x]] plus the error term of mode (0..4, from errorRow: the row
 * above, and the carry from the left) is limited to 0..255; out[x] gains
 * index[v] and error[v] becomes the carry and errorRow[x]. odd: the view
 * row's parity (mode 1).
 */
void ditherRowAdd(int width, unsigned char *out, const unsigned char *in, const unsigned char *level,
                  const unsigned char *index, const signed char *error, int *errorRow, int mode, int odd);

/*
 * Renders rows of the view (all, or the rows changed->y .. changed->y +
 * changed->height - 1 of the row table) and puts them in strips through
 * settings->ximage into drawable, whose width is viewWidth; rotated views
 * (settings->opt.rotate) are turned a quarter. Answers 1, or 0 when the
 * buffers cannot be had or the XImage's pixel size is not served.
 */
int gimgPackStrips(GimgMaster *settings, RamImage *image, Drawable drawable, int viewWidth, int destX, int destY,
                   const ZoomTable *columns, const ZoomTable *rows, const XRectangle *changed);

/*
 * Rendered view rows before packing, for writers of what a view shows.
 * gimgRowSourceNew prepares rendering image with the settings' current
 * tables through the column table: indexed (the colour-cube or palette
 * index the tables of allocated colours give, dithered with -dither) or
 * red, green and blue rows as a 24-bit visual shows them. NULL when memory
 * runs out or the table is empty.
 * gimgRowSourceRender renders source row src (outside the image: zeros)
 * as view row viewRow (its parity steers dithering); firstRow starts the
 * filter afresh. rows[0] (indexed) or rows[0..2] receive the rendered
 * rows, columns->count bytes each, valid until the next call. A source
 * row repeated on consecutive view rows is rendered once and its rows
 * reused, as the packers do; with a filter or dithering it must not be
 * rendered again (the filter would take the row as its own row above,
 * and dithering would carry another row's errors), or the output would
 * differ from the view.
 */
struct GimgRowSource;
GimgRowSource *gimgRowSourceNew(GimgMaster *settings, RamImage *image, const ZoomTable *columns, int indexed);
void gimgRowSourceRender(GimgRowSource *source, int src, int viewRow, int firstRow, unsigned char **rows);
void gimgRowSourceFree(GimgRowSource *source);

#endif /* TESK_DISPLAY_RENDER_H */
