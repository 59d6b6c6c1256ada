/*
 * render.cpp --
 *
 *	Row rendering and packing of the gimg image type: source rows picked
 *	through the zoom tables and mapped to 8-bit levels by pixel type, then
 *	through the channel lookup tables (enhance.cpp), the row filter,
 *	dithering into colour-cube indices, packing for the visual's channel
 *	masks or colour cells (platform/x11pixels), and the strips (turned a
 *	quarter for rotated views) that reach the view pixmap through the
 *	master's XImage, or an area of the view drawn straight into a
 *	drawable.
 */
#include "display/render.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>

#include "tesk.h"
#include "tesk_stdio.h"

namespace {

constexpr int kMaxStrip = 256;  // rows of a strip unless -turbo

struct IdentityTable {
    unsigned char v[256];
    constexpr IdentityTable() : v()
    {
        for (int i = 0; i < 256; i++) {
            v[i] = static_cast<unsigned char>(i);
        }
    }
};
constexpr IdentityTable kIdentity;

int clampInt(int v, int lo, int hi)
{
    return v < lo ? lo : v > hi ? hi : v;
}

/* Levels of values scaled by the stretch bounds: below low 0 (NaN too),
 * from high on 255, between truncate((v - low) * 255 / (high - low) + 0.5).
 * Infinite bounds count as the largest floats, so that every level between
 * them is a finite number. */
struct Scale {
    double low, high, a;
    Scale(float lo, float hi)
        : low(std::clamp<double>(lo, -FLT_MAX, FLT_MAX)), high(std::clamp<double>(hi, -FLT_MAX, FLT_MAX)),
          a(high > low ? 255.0 / (high - low) : 0.0)
    {
    }
    unsigned char operator()(double v) const
    {
        if (!(v >= low)) {
            return 0;
        }
        if (v >= high) {
            return 255;
        }
        double level = (v - low) * a + 0.5;
        return level >= 255.0 ? 255 : static_cast<unsigned char>(level);
    }
};

/* out[i] = table[level(index[i])] over first..end-1; a source column
 * equal to the previous one reuses the previous value. */
template <typename Level>
inline void pickColumns(const int32_t *index, int first, int end, const unsigned char *table, unsigned char *out,
                        Level level)
{
    int32_t previous = -1;
    unsigned char value = table[0];
    for (int i = first; i < end; i++) {
        int32_t s = index[i];
        if (s != previous) {
            previous = s;
            value = table[level(s)];
        }
        out[i] = value;
    }
}

/* index[first..end) runs column by column with the source. */
bool contiguous(const int32_t *index, int first, int end)
{
    if (index[end - 1] - index[first] != end - 1 - first) {
        return false;
    }
    for (int i = first + 1; i < end; i++) {
        if (index[i] != index[i - 1] + 1) {
            return false;
        }
    }
    return true;
}

/* Fills out[first..end) from a cached row by pixel type; false for the
 * types that are not rendered. */
bool renderInside(const ImageDesc &desc, const unsigned char *data, const int32_t *index, int first, int end, float low,
                  float high, const unsigned char *table, unsigned char *out)
{
    bool msbf = desc.msbf != 0;
    switch (desc.pixel) {
    case PIX_1BIT:
        pickColumns(index, first, end, table, out, [data, msbf](int32_t s) {
            int bit = s & 7;
            return (data[s >> 3] >> (msbf ? 7 - bit : bit)) & 1;
        });
        return true;
    case PIX_4BITS:
        pickColumns(index, first, end, table, out, [data, msbf](int32_t s) {
            bool high = ((s & 1) == 0) == msbf;
            unsigned char b = data[s >> 1];
            return high ? b >> 4 : b & 15;
        });
        return true;
    case PIX_BYTE:
        if (std::memcmp(table, kIdentity.v, 256) == 0 && contiguous(index, first, end)) {
            std::memcpy(out + first, data + index[first], static_cast<size_t>(end - first));
        } else {
            pickColumns(index, first, end, table, out, [data](int32_t s) { return data[s]; });
        }
        return true;
    case PIX_SHORT: {
        const auto *v = reinterpret_cast<const int16_t *>(data);
        Scale scale(low, high);
        pickColumns(index, first, end, table, out, [v, &scale](int32_t s) { return scale(v[s]); });
        return true;
    }
    case PIX_USHORT: {
        const auto *v = reinterpret_cast<const uint16_t *>(data);
        Scale scale(low, high);
        pickColumns(index, first, end, table, out, [v, &scale](int32_t s) { return scale(v[s]); });
        return true;
    }
    case PIX_LONG: {
        const auto *v = reinterpret_cast<const int32_t *>(data);
        Scale scale(low, high);
        pickColumns(index, first, end, table, out, [v, &scale](int32_t s) { return scale(v[s]); });
        return true;
    }
    case PIX_FLOAT: {
        const auto *v = reinterpret_cast<const float *>(data);
        Scale scale(low, high);
        pickColumns(index, first, end, table, out, [v, &scale](int32_t s) { return scale(v[s]); });
        return true;
    }
    default: return false;
    }
}

/* ---- filter ------------------------------------------------------------ */

/* Runs f(c, l, u, ul) over the row with the unfiltered neighbours, leaving
 * the unfiltered row in previous. */
template <typename F>
inline void filterLoop(unsigned char *row, unsigned char *previous, int width, F f)
{
    int left = row[0];
    int upLeft = previous[0];
    for (int x = 0; x < width; x++) {
        int c = row[x];
        int u = previous[x];
        int l = x > 0 ? left : c;
        int ul = x > 0 ? upLeft : u;
        row[x] = gimgLevelByte(f(c, l, u, ul));
        previous[x] = static_cast<unsigned char>(c);
        left = c;
        upLeft = u;
    }
}

/* ---- dithering --------------------------------------------------------- */

template <int Mode>
inline void ditherLoop(int width, unsigned char *out, const unsigned char *in, const unsigned char *level,
                       const unsigned char *index, const signed char *error, int *errorRow, int odd)
{
    int carry = Mode >= 2 ? errorRow[0] : 0;
    int aboveLeft = errorRow[0];
    for (int x = 0; x < width; x++) {
        int above = errorRow[x];
        int term = 0;
        if constexpr (Mode == 1) {
            term = odd ? above : carry;
        } else if constexpr (Mode == 2) {
            term = (carry + above) / 2;
        } else if constexpr (Mode == 3) {
            term = ((carry + above) * 20 + aboveLeft * 14) / 54;
        } else if constexpr (Mode == 4) {
            int aboveRight = x + 1 < width ? errorRow[x + 1] : above;
            term = ((carry + above) * 20 + (aboveRight + aboveLeft) * 14) / 68;
        }
        int v = clampInt(level[in[x]] + term, 0, 255);
        out[x] = static_cast<unsigned char>(out[x] + index[v]);
        carry = error[v];
        errorRow[x] = carry;
        aboveLeft = above;
    }
}

template <int B>
void turnStrip(const unsigned char *rows, int n, int width, unsigned char *data, int bytesPerLine, bool left)
{
    for (int j = 0; j < n; j++) {
        const unsigned char *row = rows + static_cast<size_t>(j) * width * B;
        size_t column = static_cast<size_t>(left ? j : n - 1 - j) * B;
        for (int i = 0; i < width; i++) {
            int line = left ? width - 1 - i : i;
            std::memcpy(data + static_cast<size_t>(line) * bytesPerLine + column, row + static_cast<size_t>(i) * B, B);
        }
    }
}

void turnStripBytes(int bytes, const unsigned char *rows, int n, int width, unsigned char *data, int bytesPerLine,
                    bool left)
{
    switch (bytes) {
    case 1: turnStrip<1>(rows, n, width, data, bytesPerLine, left); break;
    case 2: turnStrip<2>(rows, n, width, data, bytesPerLine, left); break;
    case 3: turnStrip<3>(rows, n, width, data, bytesPerLine, left); break;
    default: turnStrip<4>(rows, n, width, data, bytesPerLine, left); break;
    }
}

}  // namespace

/* ---- rendering ----------------------------------------------------------- */

unsigned char *gimgRenderRow(RamImage *image, int row, int band, const int32_t *index, int first, int end, int width,
                             float low, float high, const unsigned char *table, unsigned char *out)
{
    if (width < 1) {
        return out;
    }
    first = clampInt(first, 0, width);
    end = clampInt(end, first, width);
    const unsigned char *data = nullptr;
    if (image != nullptr && row >= 0 && row < image->desc.rows && band >= 0 && first < end) {
        data = image->loadRow(image, row, band % image->desc.nbands, 1);
    }
    if (data == nullptr || !renderInside(image->desc, data, index, first, end, low, high, table, out)) {
        std::memset(out, table[0], static_cast<size_t>(width));
        return out;
    }
    std::memset(out, table[0], static_cast<size_t>(first));
    std::memset(out + end, table[0], static_cast<size_t>(width - end));
    return out;
}

unsigned char *gimgRenderRowRaw(RamImage *image, int row, int band, const int32_t *index, int first, int end, int width,
                                float low, float high, unsigned char *out)
{
    return gimgRenderRow(image, row, band, index, first, end, width, low, high, kIdentity.v, out);
}

void gimgFilterRow(unsigned char *row, unsigned char *previous, int width, double strength, int base, int direction,
                   int firstRow)
{
    if (width < 1) {
        return;
    }
    if (firstRow) {
        std::memcpy(previous, row, static_cast<size_t>(width));
    }
    double s = strength;
    if (base < 0) {
        filterLoop(row, previous, width,
                   [s](int c, int l, int u, int ul) { return std::trunc((3 * c - l - ul - u) * s + 0.5) + 192.0; });
    } else if (s < 0.0) {
        /* The centre keeps the weight w (1 as the strength nears 0); the
         * left, upper and upper-left neighbours share the rest. */
        double w = s < -708.39 ? 0.25 : 0.75 * std::exp(s) + 0.25;
        double k = (1.0 - w) / 3.0;
        filterLoop(row, previous, width,
                   [w, k](int c, int l, int u, int ul) { return std::trunc(c * w + (l + ul + u) * k + 0.5); });
    } else {
        double s3 = s * 3.0;
        auto sharpen = [s3, base](double d, int c) { return std::trunc(d * s3 + 0.5) + (base != 0 ? base : c); };
        switch (direction) {
        case 1: filterLoop(row, previous, width, [&](int c, int l, int, int) { return sharpen(l - c, c); }); break;
        case 2: filterLoop(row, previous, width, [&](int c, int l, int u, int) { return sharpen(l - u, c); }); break;
        case 3: filterLoop(row, previous, width, [&](int c, int, int u, int) { return sharpen(c - u, c); }); break;
        case 4: filterLoop(row, previous, width, [&](int c, int, int, int ul) { return sharpen(c - ul, c); }); break;
        default:
            filterLoop(row, previous, width,
                       [&](int c, int l, int u, int ul) { return sharpen(3 * c - l - ul - u, c); });
            break;
        }
    }
}

void ditherRowAdd(int width, unsigned char *out, const unsigned char *in, const unsigned char *level,
                  const unsigned char *index, const signed char *error, int *errorRow, int mode, int odd)
{
    if (width < 1) {
        return;
    }
    switch (mode <= 0 ? 0 : mode >= 4 ? 4 : mode) {
    case 0: ditherLoop<0>(width, out, in, level, index, error, errorRow, odd); break;
    case 1: ditherLoop<1>(width, out, in, level, index, error, errorRow, odd); break;
    case 2: ditherLoop<2>(width, out, in, level, index, error, errorRow, odd); break;
    case 3: ditherLoop<3>(width, out, in, level, index, error, errorRow, odd); break;
    default: ditherLoop<4>(width, out, in, level, index, error, errorRow, odd); break;
    }
}

/* ---- strips -------------------------------------------------------------- */

namespace {

/* The buffers of one packing pass, carved from one block. */
struct PackBuffers {
    unsigned char *strip;       /* the XImage data */
    unsigned char *turn;        /* rows of a rotated strip before turning */
    unsigned char *packed;      /* the current view row, packed */
    unsigned char *chan[3];     /* channel rows */
    unsigned char *previous[3]; /* unfiltered rows above, for the filter */
    unsigned char *raw;         /* the layer band's indices; the index row */
    int *errorRow[3];           /* dithering errors of the row above */
};

/* Bytes of one XImage line of width pixels. */
int64_t lineBytes(int bitsPerPixel, int width)
{
    return (static_cast<int64_t>(bitsPerPixel) * width + 31) / 32 * 4;
}

/* One view row of source row src packed into buf.packed. */
struct RowPacker {
    GimgMaster *m;
    RamImage *image;
    const PixelFormat *format;
    const int32_t *index;
    int first, end, width;
    bool dither, filter, grey;
    int layerBand;
    /* the palette the layer's indices take (gimgRenderPalette) */
    const uint8_t (*palette)[3];
    int order[3], nOrder; /* channels to render, by ascending band */
    int sameAs[3];        /* an earlier channel rendering the same row, or -1 */
    PackBuffers buf;

    int bandOf(int k) const { return layerBand >= 0 ? layerBand : m->colours.bandIndex[k] % image->desc.nbands; }

    void renderChannel(int k, int src, bool raw)
    {
        if (sameAs[k] >= 0) {
            std::memcpy(buf.chan[k], buf.chan[sameAs[k]], static_cast<size_t>(width));
            return;
        }
        gimgRenderRow(image, src, bandOf(k), index, first, end, width, static_cast<float>(m->colours.workLow[k]),
                      static_cast<float>(m->colours.workHigh[k]), raw ? kIdentity.v : m->colours.channelTable[k],
                      buf.chan[k]);
    }

    void filterChannel(int k, bool firstRow)
    {
        gimgFilterRow(buf.chan[k], buf.previous[k], width, m->filterStrength, m->filterBase, m->opt.filterDir,
                      firstRow);
    }

    /* Channels to render: those with a band (on indexed output only the
     * slots below the band count), in ascending band order; channels that
     * would render the same row copy the first of them. */
    void chooseChannels(bool indexed)
    {
        nOrder = 0;
        int channels = indexed ? clampInt(m->colours.bandsInUse, 0, 3) : 3;
        for (int k = 0; k < channels; k++) {
            if (m->colours.bandIndex[k] >= 0) {
                order[nOrder++] = k;
            }
        }
        GimgMaster *settings = m;
        std::stable_sort(order, order + nOrder, [settings](int a, int b) {
            return settings->colours.bandIndex[a] < settings->colours.bandIndex[b];
        });
        for (int j = 0; j < 3; j++) {
            sameAs[j] = -1;
        }
        bool rawRows = indexed && (filter || dither);
        for (int j = 1; j < nOrder; j++) {
            int k = order[j];
            for (int i = 0; i < j && sameAs[k] < 0; i++) {
                int e = order[i];
                if (m->colours.bandIndex[e] == m->colours.bandIndex[k] &&
                    m->colours.workLow[e] == m->colours.workLow[k] &&
                    m->colours.workHigh[e] == m->colours.workHigh[k] &&
                    (rawRows || std::memcmp(m->colours.channelTable[e], m->colours.channelTable[k], 256) == 0)) {
                    sameAs[k] = e;
                }
            }
        }
    }

    /* Sets everything but the buffers for rendering image with settings
     * through the column table: indexed output (colour-cube indices) or
     * red, green and blue rows. */
    void setUp(GimgMaster *settings, RamImage *shown, const ZoomTable *columns, bool indexed)
    {
        m = settings;
        image = shown;
        index = columns->index;
        width = columns->count;
        first = end = 0;
        if (image != nullptr) {
            zoomRange(columns, image->desc.columns, &first, &end);
        }
        dither = indexed && settings->colours.ditherMode != 0;
        filter = std::isfinite(settings->filterStrength) && settings->filterStrength != 0.0;
        grey = !indexed && (settings->channelMask & 1) != 0 && settings->colours.bandsInUse > 0;
        layerBand = image != nullptr && settings->layer > 0 ? (settings->layer - 1) % image->desc.nbands : -1;
        palette = gimgRenderPalette(settings, image)->palette;
        chooseChannels(indexed);
    }

    /* Source row src rendered into the red, green and blue rows. */
    void renderTrue(int src, bool firstRow)
    {
        for (int j = 0; j < nOrder; j++) {
            renderChannel(order[j], src, false);
        }
        if (grey) {
            unsigned char *mean = buf.chan[0];
            int divisor = m->colours.bandsInUse;
            for (int x = 0; x < width; x++) {
                int sum = 0;
                for (int j = 0; j < nOrder; j++) {
                    sum += buf.chan[order[j]][x];
                }
                mean[x] = static_cast<unsigned char>(sum / divisor);
            }
            if (filter) {
                filterChannel(0, firstRow);
            }
            std::memcpy(buf.chan[1], mean, static_cast<size_t>(width));
            std::memcpy(buf.chan[2], mean, static_cast<size_t>(width));
        } else if (filter) {
            for (int j = 0; j < nOrder; j++) {
                filterChannel(order[j], firstRow);
            }
        }
    }

    void packTrue(int src, bool firstRow)
    {
        renderTrue(src, firstRow);
        packTrueRow(format, buf.chan[0], buf.chan[1], buf.chan[2], width, buf.packed);
    }

    /* Source row src rendered into the row of colour indices, buf.raw. */
    void renderIndexed(int src, bool firstRow, int viewRow)
    {
        unsigned char *out = buf.raw;
        bool raw = filter || dither;
        if (filter && layerBand >= 0) {
            /* The layer's indices once; each channel takes its palette component. */
            unsigned char *indices = buf.packed;
            gimgRenderRowRaw(image, src, layerBand, index, first, end, width, 0.0f, 255.0f, indices);
            for (int j = 0; j < nOrder; j++) {
                int k = order[j];
                int c = m->colours.bandIndex[k] % 3;
                for (int x = 0; x < width; x++) {
                    buf.chan[k][x] = palette[indices[x]][c];
                }
            }
        } else {
            for (int j = 0; j < nOrder; j++) {
                renderChannel(order[j], src, raw);
            }
        }
        std::memset(out, 0, static_cast<size_t>(width));
        for (int j = 0; j < nOrder; j++) {
            int k = order[j];
            if (filter) {
                filterChannel(k, firstRow);
            }
            if (dither) {
                ditherRowAdd(width, out, buf.chan[k], m->colours.channelTable[k], m->colours.indexTable[k],
                             reinterpret_cast<const signed char *>(m->colours.errorTable[k]), buf.errorRow[k],
                             m->colours.ditherMode, viewRow & 1);
            } else if (filter) {
                const unsigned char *table = m->colours.channelTable[k];
                for (int x = 0; x < width; x++) {
                    out[x] = static_cast<unsigned char>(out[x] + table[buf.chan[k][x]]);
                }
            } else {
                for (int x = 0; x < width; x++) {
                    out[x] = static_cast<unsigned char>(out[x] + buf.chan[k][x]);
                }
            }
        }
    }

    void packIndexed(int src, bool firstRow, int viewRow)
    {
        renderIndexed(src, firstRow, viewRow);
        packIndexRow(format, buf.raw, width, buf.packed);
    }
};

}  // namespace

int gimgPackStrips(GimgMaster *settings, RamImage *image, Drawable drawable, int viewWidth, int destX, int destY,
                   const ZoomTable *columns, const ZoomTable *rows, const XRectangle *changed)
{
    XImage *ximage = settings->ximage;
    if (ximage == nullptr || columns == nullptr || rows == nullptr || columns->index == nullptr ||
        rows->index == nullptr) {
        return 0;
    }
    PixelFormat format;
    if (!pixelFormatInit(&format, settings->visual, ximage, settings->colours.cells, settings->colours.nCells)) {
        tesk_fprintf(stderr, "Error in gimgPackView - %d bits per pixel are not served.\n", ximage->bits_per_pixel);
        return 0;
    }
    int width = columns->count;
    int height = rows->count;
    if (width < 1 || height < 1) {
        return 1;
    }
    int y0 = 0, y1 = height;
    if (changed != nullptr) {
        y0 = static_cast<int>(std::clamp<int64_t>(changed->y, 0, height));
        y1 = static_cast<int>(std::clamp<int64_t>(static_cast<int64_t>(changed->y) + changed->height, y0, height));
    }
    if (y0 >= y1) {
        return 1;
    }
    bool rotated = settings->opt.rotate != 0;
    bool left = settings->opt.rotate < 0;
    int strip = settings->opt.turbo ? height : std::min(height, kMaxStrip);
    int bytes = format.bytes;

    /* One block: strip, turned rows, packed row, channel, filter, index and error rows. */
    int64_t bytesPerLine = lineBytes(ximage->bits_per_pixel, rotated ? strip : width);
    int64_t stripSize = bytesPerLine * (rotated ? width : strip);
    int64_t rowSize = static_cast<int64_t>(width) * bytes;
    int64_t turnSize = rotated ? rowSize * strip : 0;
    int64_t errorSize = static_cast<int64_t>(width) * static_cast<int64_t>(sizeof(int));
    int64_t total = stripSize + turnSize + rowSize + 7LL * width + 3 * errorSize + 64;
    if (bytesPerLine > INT32_MAX || total >= (int64_t{1} << 32)) {
        return 0;
    }
    auto *block = static_cast<unsigned char *>(gmemAlloc(static_cast<size_t>(total)));
    if (block == nullptr) {
        return 0;
    }
    std::memset(block + stripSize + turnSize, 0, static_cast<size_t>(total - stripSize - turnSize));
    RowPacker p{};
    unsigned char *at = block;
    p.buf.strip = at;
    at += stripSize;
    p.buf.turn = at;
    at += turnSize;
    p.buf.packed = at;
    at += rowSize;
    for (int k = 0; k < 3; k++) {
        p.buf.chan[k] = at;
        at += width;
        p.buf.previous[k] = at;
        at += width;
    }
    p.buf.raw = at;
    at += width;
    at += (sizeof(int) - reinterpret_cast<uintptr_t>(at) % sizeof(int)) % sizeof(int);
    for (int k = 0; k < 3; k++) {
        p.buf.errorRow[k] = reinterpret_cast<int *>(at);
        at += errorSize;
    }

    p.format = &format;
    p.setUp(settings, image, columns, format.indexed != 0);

    char *savedData = ximage->data;
    int savedWidth = ximage->width, savedHeight = ximage->height, savedLine = ximage->bytes_per_line;
    ximage->data = reinterpret_cast<char *>(p.buf.strip);
    ximage->width = rotated ? strip : width;
    ximage->height = rotated ? width : strip;
    ximage->bytes_per_line = static_cast<int>(bytesPerLine);

    Display *display = settings->display;
    GC gc = settings->copyGC;
    int stripFirst = y0;
    int previousSource = 0;
    for (int y = y0; y < y1; y++) {
        int src = rows->index[y];
        if (image == nullptr || src < 0 || src >= image->desc.rows) {
            src = -1;
        }
        if (y == y0 || src != previousSource) {
            if (src < 0) {
                std::memset(p.buf.packed, 0, static_cast<size_t>(rowSize));
            } else if (format.indexed) {
                p.packIndexed(src, y == y0, y);
            } else {
                p.packTrue(src, y == y0);
            }
            previousSource = src;
        }
        int j = y - stripFirst;
        unsigned char *dst = rotated ? p.buf.turn + j * rowSize : p.buf.strip + j * bytesPerLine;
        std::memcpy(dst, p.buf.packed, static_cast<size_t>(rowSize));
        if (j + 1 < strip && y + 1 < y1) {
            continue;
        }
        int n = j + 1;
        if (!rotated) {
            XPutImage(display, drawable, gc, ximage, 0, 0, destX, destY + stripFirst, width, n);
        } else {
            turnStripBytes(bytes, p.buf.turn, n, width, p.buf.strip, static_cast<int>(bytesPerLine), left);
            int x = left ? destX + stripFirst : viewWidth + destX - y - 1;
            XPutImage(display, drawable, gc, ximage, 0, 0, x, destY, n, width);
        }
        stripFirst = y + 1;
    }

    ximage->data = savedData;
    ximage->width = savedWidth;
    ximage->height = savedHeight;
    ximage->bytes_per_line = savedLine;
    gmemFree(block);
    return 1;
}

/* A RowPacker with buffers of its own and no pixel format. */
struct GimgRowSource {
    RowPacker p;
    bool indexed;
    unsigned char *block; /* packed, raw, and the channel and previous rows */
    int *errors;          /* three error rows */
};

GimgRowSource *gimgRowSourceNew(GimgMaster *settings, RamImage *image, const ZoomTable *columns, int indexed)
{
    if (columns == nullptr || columns->index == nullptr || columns->count < 1) {
        return nullptr;
    }
    size_t width = static_cast<size_t>(columns->count);
    auto *source = static_cast<GimgRowSource *>(gmemAlloc(sizeof(GimgRowSource)));
    if (source == nullptr) {
        return nullptr;
    }
    source->block = static_cast<unsigned char *>(gmemAlloc(8 * width));
    source->errors = static_cast<int *>(gmemAlloc(3 * width * sizeof(int)));
    if (source->block == nullptr || source->errors == nullptr) {
        gimgRowSourceFree(source);
        return nullptr;
    }
    std::memset(source->block, 0, 8 * width);
    std::memset(source->errors, 0, 3 * width * sizeof(int));
    RowPacker &p = source->p;
    p = RowPacker{};
    p.buf.packed = source->block;
    p.buf.raw = source->block + width;
    for (int k = 0; k < 3; k++) {
        p.buf.chan[k] = source->block + (2 + 2 * k) * width;
        p.buf.previous[k] = source->block + (3 + 2 * k) * width;
        p.buf.errorRow[k] = source->errors + k * width;
    }
    source->indexed = indexed != 0;
    p.setUp(settings, image, columns, source->indexed);
    return source;
}

void gimgRowSourceRender(GimgRowSource *source, int src, int viewRow, int firstRow, unsigned char **rows)
{
    RowPacker &p = source->p;
    size_t width = static_cast<size_t>(p.width);
    if (p.image == nullptr || src < 0 || src >= p.image->desc.rows) {
        std::memset(p.buf.raw, 0, width);
        for (int k = 0; k < 3; k++) {
            std::memset(p.buf.chan[k], 0, width);
        }
    } else if (source->indexed) {
        p.renderIndexed(src, firstRow != 0, viewRow);
    } else {
        p.renderTrue(src, firstRow != 0);
    }
    if (source->indexed) {
        rows[0] = p.buf.raw;
        return;
    }
    for (int k = 0; k < 3; k++) {
        rows[k] = p.buf.chan[k];
    }
}

void gimgRowSourceFree(GimgRowSource *source)
{
    if (source != nullptr) {
        gmemFree(source->block);
        gmemFree(source->errors);
        gmemFree(source);
    }
}

Pixmap gimgPackView(GimgMaster *settings, RamImage *image, ViewPixmap *view, ZoomTable *columns, ZoomTable *rows,
                    const XRectangle *changed)
{
    Drawable target = None;
    if (view->external) {
        if (view->window != nullptr) {
            target = Tk_WindowId(view->window);
        }
    } else {
        target = vpPixmap(view);
    }
    if (target == None) {
        return None;
    }
    if (!gimgPackStrips(settings, image, target, view->width, view->destX, view->destY, columns, rows, changed)) {
        return None;
    }
    settings->viewReady = 1;
    return target;
}

namespace {

struct ZoomTableDeleter {
    void operator()(ZoomTable *table) const { zoomDelete(table); }
};
using ZoomTableHolder = std::unique_ptr<ZoomTable, ZoomTableDeleter>;

}  // namespace

int gimgDrawArea(GimgMaster *settings, RamImage *image, Drawable drawable, int imageX, int imageY, int width,
                 int height, int drawableX, int drawableY)
{
    Display *display = settings->display;
    bool rotated = settings->opt.rotate != 0;
    int viewW, viewH;
    gimgViewSize(settings, &viewW, &viewH);
    Window root;
    int at, unused;
    unsigned drawableW = 0, drawableH = 0, border, depth;
    if (!XGetGeometry(display, drawable, &root, &at, &unused, &drawableW, &drawableH, &border, &depth)) {
        return 0;
    }
    /* The part of the area inside the view and the drawable, in view cells
     * (a copy's view shows its first cell at its origin); cell (0, 0) sits
     * at (dx, dy) of the drawable. */
    int originX, originY;
    gimgViewOrigin(settings, &originX, &originY);
    int64_t cellX = static_cast<int64_t>(imageX) - originX, cellY = static_cast<int64_t>(imageY) - originY;
    int64_t dx = drawableX - cellX, dy = drawableY - cellY;
    int64_t x0 = std::max<int64_t>({cellX, -dx, 0});
    int64_t y0 = std::max<int64_t>({cellY, -dy, 0});
    int64_t x1 = std::min<int64_t>({cellX + width, drawableW - dx, viewW});
    int64_t y1 = std::min<int64_t>({cellY + height, drawableH - dy, viewH});
    if (x0 >= x1 || y0 >= y1) {
        return 1;
    }
    /* Grown by a pixel on each side inside the view, so that the filter
     * sees the neighbours of the area's edge; drawing is clipped to it. */
    int ax = static_cast<int>(std::max<int64_t>(x0 - 1, 0));
    int ay = static_cast<int>(std::max<int64_t>(y0 - 1, 0));
    int aw = static_cast<int>(std::min<int64_t>(x1 + 1, viewW)) - ax;
    int ah = static_cast<int>(std::min<int64_t>(y1 + 1, viewH)) - ay;
    ZoomTableHolder columns, rows;
    if (!rotated) {
        columns.reset(zoomSub(&settings->zoomX, ax, aw));
        rows.reset(zoomSub(&settings->zoomY, ay, ah));
    } else if (settings->opt.rotate > 0) {
        /* Turned right: view rows are source columns, view columns source
         * rows from the last. */
        columns.reset(zoomSub(&settings->zoomX, ay, ah));
        rows.reset(zoomSub(&settings->zoomY, viewW - ax - aw, aw));
    } else {
        /* Turned left: view columns are source rows, view rows source
         * columns from the last. */
        columns.reset(zoomSub(&settings->zoomX, viewH - ay - ah, ah));
        rows.reset(zoomSub(&settings->zoomY, ax, aw));
    }
    if (columns == nullptr || rows == nullptr) {
        return 0;
    }
    /* Drawing is clipped to the part, through the masks of just that part
     * when masking is on: the same picture as a copy from the view pixmap. */
    int px = static_cast<int>(x0 + dx), py = static_cast<int>(y0 + dy);
    int pw = static_cast<int>(x1 - x0), ph = static_cast<int>(y1 - y0);
    GC gc = settings->copyGC;
    ViewPixmap clipArea, planeArea;
    vpInit(&clipArea, display);
    vpInit(&planeArea, display);
    Pixmap clip = None;
    if (settings->maskOp > 0) {
        clip = gimgMaskArea(settings, static_cast<int>(x0), static_cast<int>(y0), pw, ph, &clipArea, &planeArea);
    }
    if (clip != None) {
        gimgMaskBegin(settings, drawable, clip, planeArea.valid ? planeArea.pixmap : None, px, py, px, py, pw, ph);
    } else {
        XRectangle part = {static_cast<short>(px), static_cast<short>(py), static_cast<unsigned short>(pw),
                           static_cast<unsigned short>(ph)};
        XSetClipRectangles(display, gc, 0, 0, &part, 1, YXBanded);
    }
    int done = gimgPackStrips(settings, image, drawable, aw, static_cast<int>(ax + dx), static_cast<int>(ay + dy),
                              columns.get(), rows.get(), nullptr);
    if (done && settings->stippleBitmap != None) {
        /* The -stipple pattern, laid from the view's first cell as on the
         * view pixmap. */
        gimgStippleArea(settings, drawable, px, py, pw, ph, dx, dy);
    }
    gimgMaskEnd(settings);
    vpFree(&clipArea);
    vpFree(&planeArea);
    return done;
}