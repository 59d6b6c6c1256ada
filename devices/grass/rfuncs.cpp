/*
 * rfuncs.cpp --
 *
 *	The exported R_ functions of the raster display driver: colours, the
 *	current point, lines, boxes, points, polygons and rasters drawn into
 *	band 0 of the open virtual display's image, the location queries asked
 *	of the application's vdisp.get.* procedures, and the pad and panel
 *	stubs. With no display open they answer 0 and touch nothing.
 */
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <vector>
#include "devices/grass/grass.h"
#include "display/banddraw.h"
#include "display/spanlist.h"
#include "imagestore/ramimage.h"
#include "runtime/ringclip.h"
#include "tesk.h"
#include "tesk_display.h"
#include "tesk_stdio.h"

namespace {

unsigned char lowByte(int value)
{
    return static_cast<unsigned char>(value & 0xFF);
}

/* A point or a size computed in 64 bits, clamped to int: relative moves
 * and steps never wrap. */
int clampInt(int64_t v)
{
    return static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX));
}

bool fits16(int v)
{
    return v >= INT16_MIN && v <= INT16_MAX;
}

void lineTo(GrassDriverState *s, int x, int y)
{
    ramImageDrawLine(s->image, 0, lowByte(s->color), s->curX, s->curY, x, y);
    s->curX = x;
    s->curY = y;
}

void dot(GrassDriverState *s, int x, int y)
{
    unsigned char value = lowByte(s->color);
    ramImagePutBytes(s->image, y, x, 1, 0, &value);
}

/* Absolute points of a point list: relative ones start at the current
 * point; each point is clamped to int. */
std::vector<int> absolute(const int *d, int n, int start)
{
    std::vector<int> out(static_cast<size_t>(n));
    int at = start;
    for (int i = 0; i < n; i++) {
        at = clampInt(int64_t{at} + d[i]);
        out[static_cast<size_t>(i)] = at;
    }
    return out;
}

int polyline(const int *x, const int *y, int n)
{
    GrassDriverState *s = grassState();
    if (s == nullptr || n <= 0) {
        return 0;
    }
    s->curX = x[0];
    s->curY = y[0];
    for (int i = 1; i < n; i++) {
        lineTo(s, x[i], y[i]);
    }
    return 0;
}

int polydots(const int *x, const int *y, int n)
{
    GrassDriverState *s = grassState();
    if (s == nullptr || n <= 0) {
        return 0;
    }
    for (int i = 0; i < n; i++) {
        dot(s, x[i], y[i]);
    }
    s->curX = x[n - 1];
    s->curY = y[n - 1];
    return 0;
}

/* The ring as 16-bit points. When every corner fits in 16 bits they are
 * taken as they are; otherwise the ring is clipped in doubles to the 16-bit
 * box (which holds every image), so that no corner wraps: the corners
 * inside stay exact and only the crossings with the box are rounded. */
std::vector<SpanPoint> ringIn16Bits(const int *x, const int *y, int n)
{
    std::vector<SpanPoint> out;
    bool fits = true;
    for (int i = 0; i < n && fits; i++) {
        fits = fits16(x[i]) && fits16(y[i]);
    }
    if (fits) {
        for (int i = 0; i < n; i++) {
            out.push_back({static_cast<int16_t>(x[i]), static_cast<int16_t>(y[i])});
        }
        return out;
    }
    const double box[4] = {INT16_MIN, INT16_MIN, INT16_MAX, INT16_MAX};
    std::vector<RingPoint> ring(static_cast<size_t>(n)), scratch;
    for (int i = 0; i < n; i++) {
        ring[static_cast<size_t>(i)] = {static_cast<double>(x[i]), static_cast<double>(y[i])};
    }
    clipRingToBox(ring, scratch, box);
    for (const RingPoint &p : ring) {
        out.push_back({static_cast<int16_t>(roundToInt(p.x)), static_cast<int16_t>(roundToInt(p.y))});
    }
    return out;
}

int polygon(const int *x, const int *y, int n)
{
    GrassDriverState *s = grassState();
    if (s == nullptr || n <= 0) {
        return 0;
    }
    std::vector<SpanPoint> ring = ringIn16Bits(x, y, n);
    SpanList *list = ring.empty() ? nullptr : polyCreate(static_cast<int>(ring.size()));
    if (list != nullptr) {
        std::copy(ring.begin(), ring.end(), list->points);
        ramImageFillPolygon(s->image, 0, lowByte(s->color), list);
        polyFreeList(list);
    }
    s->curX = x[n - 1];
    s->curY = y[n - 1];
    return 0;
}

/* Writes pixel(i) for i < num on nrows rows from the current point; a pixel
 * of 0 is skipped, or written as 1 with withzeros. */
template <class Pixel>
int raster(int num, int nrows, int withzeros, Pixel pixel)
{
    GrassDriverState *s = grassState();
    if (s == nullptr || num <= 0) {
        return 0;
    }
    std::vector<unsigned char> row(static_cast<size_t>(num));
    std::vector<bool> skip(static_cast<size_t>(num));
    for (int i = 0; i < num; i++) {
        unsigned char v = pixel(i);
        skip[static_cast<size_t>(i)] = v == 0 && !withzeros;
        row[static_cast<size_t>(i)] = v == 0 ? 1 : v;
    }
    /* Only the rows and values that land on the image are walked, in 64
     * bits: a huge row count or a point far away stops at the image. */
    const int64_t rows = s->image->desc.rows, columns = s->image->desc.columns;
    const int64_t firstRow = std::max<int64_t>(0, -int64_t{s->curY});
    const int64_t endRow = std::min<int64_t>(nrows, rows - s->curY);
    const int64_t first = std::clamp<int64_t>(-int64_t{s->curX}, 0, num);
    const int64_t last = std::clamp<int64_t>(columns - s->curX, 0, num);
    for (int64_t r = firstRow; r < endRow; r++) {
        for (int64_t i = first; i < last;) {
            if (skip[static_cast<size_t>(i)]) {
                i++;
                continue;
            }
            int64_t end = i;
            while (end < last && !skip[static_cast<size_t>(end)]) {
                end++;
            }
            ramImagePutBytes(s->image, static_cast<int>(s->curY + r), static_cast<int>(s->curX + i),
                             static_cast<int>(end - i), 0, &row[static_cast<size_t>(i)]);
            i = end;
        }
    }
    return 0;
}

/* Asks procedure (with the display's path, 1 and the numbers) and reads up
 * to five numbers of its answer into to. */
int askLocation(const char *procedure, std::initializer_list<int> numbers, int *to, int count)
{
    GrassDriverState *s = grassState();
    if (s == nullptr) {
        return 0;
    }
    std::vector<Tcl_Obj *> words = {Tcl_NewStringObj(procedure, -1), Tcl_NewStringObj(s->name, -1),
                                    Tcl_NewIntObj(1)};
    for (int n : numbers) {
        words.push_back(Tcl_NewIntObj(n));
    }
    int code = grassEvalWords(static_cast<int>(words.size()), words.data());
    Tcl_Interp *interp = grassInterp();
    if (code != TCL_OK || interp == nullptr) {
        return code;
    }
    int v[5];
    int got = std::sscanf(Tcl_GetStringResult(interp), "%d %d %d %d %d", &v[0], &v[1], &v[2], &v[3], &v[4]);
    for (int i = 0; i < got && i < count; i++) {
        to[i] = v[i];
    }
    return got < 0 ? 0 : std::min(got, count);
}

int location(const char *procedure, int x0, int y0, int *x, int *y, int *button)
{
    int v[5] = {*button, 0, 0, *x, *y};
    int got = askLocation(procedure, {x0, y0, *x, *y}, v, 5);
    *button = v[0];
    *x = v[3];
    *y = v[4];
    return got;
}

int trace(const char *text)
{
    tesk_fprintf(stderr, "%s", text);
    return 0;
}

}  // namespace

extern "C" {

int R_color_table_fixed(void)
{
    return 0;
}

int R_color_table_float(void)
{
    return -1;
}

int R_reset_color(int red, int green, int blue, int index)
{
    GrassDriverState *s = grassState();
    if (s == nullptr) {
        return 0;
    }
    if (index >= 0 && index <= 255) {
        unsigned char *entry = s->image->desc.palette[index];
        entry[0] = lowByte(red);
        entry[1] = lowByte(green);
        entry[2] = lowByte(blue);
    }
    if (index > s->colorCount) {
        s->colorCount = index;
    }
    return 1;
}

int R_reset_colors(int min, int max, const unsigned char *red, const unsigned char *green, const unsigned char *blue)
{
    if (grassState() == nullptr) {
        return 0;
    }
    for (long long i = min; i <= max; i++) {
        R_reset_color(red[i - min], green[i - min], blue[i - min], static_cast<int>(i));
    }
    return 1;
}

int R_color(int color)
{
    GrassDriverState *s = grassState();
    if (s == nullptr) {
        return 0;
    }
    int previous = s->color;
    s->color = color;
    return previous;
}

int R_standard_color(int color)
{
    return R_color(color);
}

int R_RGB_color(int r, int g, int b)
{
    GrassDriverState *s = grassState();
    if (s == nullptr) {
        return 0;
    }
    s->color = s->rgb[lowByte(r)][0] + s->rgb[lowByte(g)][1] + s->rgb[lowByte(b)][2];
    return 0;
}

int R_get_num_colors(void)
{
    GrassDriverState *s = grassState();
    return s != nullptr ? s->colorCount : 0;
}

int R_color_offset(int offset)
{
    GrassDriverState *s = grassState();
    if (s == nullptr) {
        return 0;
    }
    int previous = s->colorOffset;
    s->colorOffset = offset;
    return previous;
}

int R_set_RGB_color(const unsigned char *red, const unsigned char *green, const unsigned char *blue)
{
    GrassDriverState *s = grassState();
    if (s == nullptr) {
        return 0;
    }
    for (int i = 0; i < 256; i++) {
        s->rgb[i][0] = red[i];
        s->rgb[i][1] = green[i];
        s->rgb[i][2] = blue[i];
    }
    return 0;
}

int R_screen_top(void)
{
    return 0;
}

int R_screen_left(void)
{
    return 0;
}

int R_screen_bot(void)
{
    GrassDriverState *s = grassState();
    return s != nullptr ? s->image->desc.rows - 1 : 0;
}

int R_screen_rite(void)
{
    GrassDriverState *s = grassState();
    return s != nullptr ? s->image->desc.columns - 1 : 0;
}

int R_move_abs(int x, int y)
{
    GrassDriverState *s = grassState();
    if (s != nullptr) {
        s->curX = x;
        s->curY = y;
    }
    return 0;
}

int R_move_rel(int dx, int dy)
{
    GrassDriverState *s = grassState();
    return s != nullptr ? R_move_abs(clampInt(int64_t{s->curX} + dx), clampInt(int64_t{s->curY} + dy)) : 0;
}

int R_curx(void)
{
    GrassDriverState *s = grassState();
    return s != nullptr ? s->curX : 0;
}

int R_cury(void)
{
    GrassDriverState *s = grassState();
    return s != nullptr ? s->curY : 0;
}

int R_set_window(int top, int bottom, int left, int right)
{
    GrassDriverState *s = grassState();
    if (s != nullptr) {
        s->clipTop = top;
        s->clipBottom = bottom;
        s->clipLeft = left;
        s->clipRight = right;
    }
    return 0;
}

int R_cont_abs(int x, int y)
{
    GrassDriverState *s = grassState();
    if (s != nullptr) {
        lineTo(s, x, y);
    }
    return 0;
}

int R_cont_rel(int dx, int dy)
{
    GrassDriverState *s = grassState();
    return s != nullptr ? R_cont_abs(clampInt(int64_t{s->curX} + dx), clampInt(int64_t{s->curY} + dy)) : 0;
}

int R_box_abs(int x1, int y1, int x2, int y2)
{
    GrassDriverState *s = grassState();
    if (s == nullptr) {
        return 0;
    }
    s->curX = x2;
    s->curY = y2;
    lineTo(s, x2, y1);
    lineTo(s, x1, y1);
    lineTo(s, x1, y2);
    lineTo(s, x2, y2);
    return 0;
}

int R_box_rel(int dx, int dy)
{
    GrassDriverState *s = grassState();
    return s != nullptr ? R_box_abs(s->curX, s->curY, clampInt(int64_t{s->curX} + dx), clampInt(int64_t{s->curY} + dy))
                        : 0;
}

int R_erase(void)
{
    GrassDriverState *s = grassState();
    if (s == nullptr) {
        return 0;
    }
    const ImageDesc &d = s->image->desc;
    std::vector<unsigned char> zeros(static_cast<size_t>(d.columns));
    for (int band = 0; band < d.nbands; band++) {
        for (int row = 0; row < d.rows; row++) {
            ramImagePutBytes(s->image, row, 0, d.columns, band, zeros.data());
        }
    }
    return 0;
}

int R_flush(void)
{
    return 0;
}

int R_stabilize(void)
{
    GrassDriverState *s = grassState();
    if (s != nullptr) {
        ramImageNotifyClients(s->image, 0, RAMIMG_CONFIG);
    }
    return 0;
}

int R_polydots_abs(const int *x, const int *y, int n)
{
    return polydots(x, y, n);
}

int R_polydots_rel(const int *dx, const int *dy, int n)
{
    GrassDriverState *s = grassState();
    if (s == nullptr || n <= 0) {
        return 0;
    }
    return polydots(absolute(dx, n, s->curX).data(), absolute(dy, n, s->curY).data(), n);
}

int R_polyline_abs(const int *x, const int *y, int n)
{
    return polyline(x, y, n);
}

int R_polyline_rel(const int *dx, const int *dy, int n)
{
    GrassDriverState *s = grassState();
    if (s == nullptr || n <= 0) {
        return 0;
    }
    return polyline(absolute(dx, n, s->curX).data(), absolute(dy, n, s->curY).data(), n);
}

int R_polygon_abs(const int *x, const int *y, int n)
{
    return polygon(x, y, n);
}

int R_polygon_rel(const int *dx, const int *dy, int n)
{
    GrassDriverState *s = grassState();
    if (s == nullptr || n <= 0) {
        return 0;
    }
    return polygon(absolute(dx, n, s->curX).data(), absolute(dy, n, s->curY).data(), n);
}

int R_raster(int num, int nrows, int withzeros, const int *values)
{
    return raster(num, nrows, withzeros, [values](int i) { return lowByte(values[i]); });
}

int R_RGB_raster(int num, int nrows, const unsigned char *red, const unsigned char *green, const unsigned char *blue,
                 int withzeros)
{
    GrassDriverState *s = grassState();
    if (s == nullptr) {
        return 0;
    }
    return raster(num, nrows, withzeros, [s, red, green, blue](int i) {
        return lowByte(s->rgb[red[i]][0] + s->rgb[green[i]][1] + s->rgb[blue[i]][2]);
    });
}

int R_get_location_with_pointer(int *x, int *y, int *button)
{
    int v[3] = {*button, *x, *y};
    int got = askLocation("vdisp.get.point", {*x, *y}, v, 3);
    *button = v[0];
    *x = v[1];
    *y = v[2];
    return got;
}

int R_get_location_with_line(int x0, int y0, int *x, int *y, int *button)
{
    return location("vdisp.get.line", x0, y0, x, y, button);
}

int R_get_location_with_box(int x0, int y0, int *x, int *y, int *button)
{
    return location("vdisp.get.box", x0, y0, x, y, button);
}

int R_panel_save(const char *name, int top, int bottom, int left, int right)
{
    tesk_fprintf(stderr, "R_panel_save: %s %d %d %d %d\n", name, top, bottom, left, right);
    return 0;
}

int R_panel_delete(const char *name)
{
    tesk_fprintf(stderr, "R_panel_delete: %s\n", name);
    return 0;
}

int R_panel_restore(const char *name)
{
    tesk_fprintf(stderr, "R_panel_resotr: %s\n", name);
    return 0;
}

int R_pad_append_item(const char *, const char *, int)
{
    return trace("R_pad_append_item...\n");
}

int R_pad_create(const char *)
{
    return trace("R_pad_create...\n");
}

int R_pad_current(char *)
{
    return trace("R_pad_current...\n");
}

int R_pad_delete(void)
{
    return trace("P_pad_delete...\n");
}

int R_pad_delete_item(const char *)
{
    return trace("P_pad_delete_item...\n");
}

int R_pad_freelist(char **, int)
{
    return trace("R_pad_freelist...\n");
}

int R_pad_get_item(const char *, char ***, int *)
{
    return trace("R_pad_get_item...\n");
}

int R_pad_invent(char *)
{
    return trace("R_pad_invent...\n");
}

int R_pad_list(char ***, int *)
{
    return trace("R_pad_list...\n");
}

int R_pad_select(const char *)
{
    return trace("R_pad_select...\n");
}

int R_pad_set_item(const char *, const char *)
{
    return trace("R_pad_set_item...\n");
}

int R_pad_perror(const char *message, int code)
{
    static const char *const texts[] = {"",          "out of memory", "pad not found",  "no current pad",
                                        "item not found", "DUPLICATE name", "ILLEGAL request"};
    const char *text = code >= 0 && code <= 6 ? texts[code] : "unknown error";
    if (message == nullptr) {
        message = "";
    }
    tesk_fprintf(stderr, "%s%s%s\n", message, message[0] != '\0' ? " : " : "", text);
    return 0;
}

}  // extern "C"
