/*
 * x11pixels.cpp --
 *
 *	Pixels of XImages: channel places from the visual's masks, rows read
 *	as pixel values in the XImage's byte order, and rows packed into pixels
 *	through per-channel tables (or by shifts, on vectors, when every
 *	channel is a whole byte of a pixel in the host's order).
 */
#include "platform/x11pixels.h"

#include <X11/Xutil.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

constexpr bool kHostMsbFirst = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__;

/* Pixel x of a row of Bytes-byte pixels in the byte order Msb. */
template <int Bytes, bool Msb>
inline unsigned long getPixel(const unsigned char *line, int x)
{
    const unsigned char *p = line + static_cast<std::ptrdiff_t>(x) * Bytes;
    unsigned long v = 0;
    for (int k = 0; k < Bytes; k++) {
        v = (v << 8) | p[Msb ? k : Bytes - 1 - k];
    }
    return v;
}

template <int Bytes, bool Msb>
void getRow(const unsigned char *line, int x, int width, unsigned long *out)
{
    for (int i = 0; i < width; i++) {
        out[i] = getPixel<Bytes, Msb>(line, x + i);
    }
}

template <int Bytes, bool Msb>
inline void putPixel(unsigned char *p, uint32_t v)
{
    for (int k = 0; k < Bytes; k++) {
        p[k] = static_cast<unsigned char>(v >> (8 * (Msb ? Bytes - 1 - k : k)));
    }
}

template <int Bytes, bool Msb>
void trueRow(const PixelFormat *f, const unsigned char *r, const unsigned char *g, const unsigned char *b, int width,
             unsigned char *out)
{
    for (int i = 0; i < width; i++) {
        putPixel<Bytes, Msb>(out + static_cast<size_t>(i) * Bytes, f->red[r[i]] | f->green[g[i]] | f->blue[b[i]]);
    }
}

/* 4-byte pixels whose channels are whole bytes, in the host's byte order:
 * shifts instead of table lookups, so that the loop runs on vectors. */
__attribute__((target_clones("avx2", "default"))) void directRow(const unsigned char *r, const unsigned char *g,
                                                                 const unsigned char *b, int rs, int gs, int bs,
                                                                 int width, unsigned char *out)
{
    for (int i = 0; i < width; i++) {
        uint32_t v =
            static_cast<uint32_t>(r[i]) << rs | static_cast<uint32_t>(g[i]) << gs | static_cast<uint32_t>(b[i]) << bs;
        std::memcpy(out + static_cast<size_t>(i) * 4, &v, 4);
    }
}

/* The shift of an 8-bit mask on a byte boundary, or -1. */
int byteShift(unsigned long mask)
{
    for (int shift = 0; shift < 32; shift += 8) {
        if (mask == 0xFFul << shift) {
            return shift;
        }
    }
    return -1;
}

template <int Bytes, bool Msb>
void indexRow(const PixelFormat *f, const unsigned char *index, int width, unsigned char *out)
{
    for (int i = 0; i < width; i++) {
        putPixel<Bytes, Msb>(out + static_cast<size_t>(i) * Bytes, f->red[index[i]]);
    }
}

/* The value v (0..255) of a channel with mask mask, in place: its high
 * bits for a channel of 8 bits or less, scaled to a wider one. */
uint32_t channelBits(unsigned long mask, int v)
{
    if (mask == 0) {
        return 0;
    }
    PixelChannel channel = pixelChannelOf(mask);
    int width = std::min(channel.bits, 32 - channel.shift);
    uint64_t bits = width <= 8 ? static_cast<uint64_t>(v) >> (8 - width)
                               : static_cast<uint64_t>(v) * ((uint64_t{1} << width) - 1) / 255;
    return static_cast<uint32_t>(bits << channel.shift);
}

}  // namespace

PixelChannel pixelChannelOf(unsigned long mask)
{
    PixelChannel channel = {0, 0};
    if (mask == 0) {
        return channel;
    }
    while (((mask >> channel.shift) & 1UL) == 0) {
        channel.shift++;
    }
    constexpr int kBits = static_cast<int>(sizeof(unsigned long)) * 8;
    while (channel.shift + channel.bits < kBits && ((mask >> (channel.shift + channel.bits)) & 1UL) != 0) {
        channel.bits++;
    }
    return channel;
}

void ximageRowPixels(XImage *image, int x, int y, int width, unsigned long *out)
{
    const auto *line = reinterpret_cast<const unsigned char *>(image->data) +
                       static_cast<std::ptrdiff_t>(y) * image->bytes_per_line;
    const bool msb = image->byte_order == MSBFirst;
    const int bpp = image->format == ZPixmap ? image->bits_per_pixel : 0;
    switch (bpp * 2 + (msb ? 1 : 0)) {
    case 16:
    case 17: getRow<1, false>(line, x, width, out); return;
    case 32: getRow<2, false>(line, x, width, out); return;
    case 33: getRow<2, true>(line, x, width, out); return;
    case 48: getRow<3, false>(line, x, width, out); return;
    case 49: getRow<3, true>(line, x, width, out); return;
    case 64: getRow<4, false>(line, x, width, out); return;
    case 65: getRow<4, true>(line, x, width, out); return;
    default:
        for (int i = 0; i < width; i++) {
            out[i] = XGetPixel(image, x + i, y);
        }
    }
}

int pixelFormatInit(PixelFormat *format, const Visual *visual, const XImage *ximage, const unsigned long *cells,
                    int nCells)
{
    int bpp = ximage->bits_per_pixel;
    if (bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) {
        return 0;
    }
    format->bytes = bpp / 8;
    format->msbFirst = ximage->byte_order == MSBFirst;
    int visualClass = visual != nullptr ? visual->c_class : PseudoColor;
    format->indexed = visualClass == PseudoColor || visualClass == GrayScale || visualClass == StaticColor ||
                      visualClass == StaticGray;
    for (int v = 0; v < 256; v++) {
        if (format->indexed) {
            unsigned long pixel = cells != nullptr && nCells > 0 ? cells[std::min(v, nCells - 1)] : v;
            format->red[v] = static_cast<uint32_t>(pixel);
            format->green[v] = 0;
            format->blue[v] = 0;
        } else {
            format->red[v] = channelBits(visual->red_mask, v);
            format->green[v] = channelBits(visual->green_mask, v);
            format->blue[v] = channelBits(visual->blue_mask, v);
        }
    }
    format->direct = 0;
    if (!format->indexed && format->bytes == 4 && format->msbFirst == (kHostMsbFirst ? 1 : 0)) {
        format->shift[0] = byteShift(visual->red_mask);
        format->shift[1] = byteShift(visual->green_mask);
        format->shift[2] = byteShift(visual->blue_mask);
        format->direct = format->shift[0] >= 0 && format->shift[1] >= 0 && format->shift[2] >= 0;
    }
    return 1;
}

void packTrueRow(const PixelFormat *format, const unsigned char *red, const unsigned char *green,
                 const unsigned char *blue, int width, unsigned char *out)
{
    if (format->direct) {
        directRow(red, green, blue, format->shift[0], format->shift[1], format->shift[2], width, out);
        return;
    }
    switch (format->bytes * 2 + (format->msbFirst ? 1 : 0)) {
    case 2:
    case 3: trueRow<1, false>(format, red, green, blue, width, out); break;
    case 4: trueRow<2, false>(format, red, green, blue, width, out); break;
    case 5: trueRow<2, true>(format, red, green, blue, width, out); break;
    case 6: trueRow<3, false>(format, red, green, blue, width, out); break;
    case 7: trueRow<3, true>(format, red, green, blue, width, out); break;
    case 8: trueRow<4, false>(format, red, green, blue, width, out); break;
    default: trueRow<4, true>(format, red, green, blue, width, out); break;
    }
}

void packIndexRow(const PixelFormat *format, const unsigned char *index, int width, unsigned char *out)
{
    switch (format->bytes * 2 + (format->msbFirst ? 1 : 0)) {
    case 2:
    case 3: indexRow<1, false>(format, index, width, out); break;
    case 4: indexRow<2, false>(format, index, width, out); break;
    case 5: indexRow<2, true>(format, index, width, out); break;
    case 6: indexRow<3, false>(format, index, width, out); break;
    case 7: indexRow<3, true>(format, index, width, out); break;
    case 8: indexRow<4, false>(format, index, width, out); break;
    default: indexRow<4, true>(format, index, width, out); break;
    }
}
