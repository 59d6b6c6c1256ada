/*
 * mrgb.cpp --
 *
 *	The memory image types: their rows of the image-type table (MBSQ, MBIL
 *	and MBIP, whose rows all live in the cache, and the MRGB types over a
 *	frame store of screen-format lines) and the codec that unpacks a band
 *	of an MRGB32, 24, 565 or 555 frame line into bytes and packs it back.
 */
#include "imagestore/formats/formats.h"

#include "runtime/bytes.h"

namespace {

/* A type whose pixels are fixed by the type itself (the MRGB frames). */
template <int Bands, int Pixel, int Indices>
const char *fixedPixels(ImageDesc *d)
{
    d->nbands = Bands;
    d->pixel = Pixel;
    d->nindices = Indices;
    return nullptr;
}

/* Frames of N bytes per pixel, band k at byte k. */
template <int N>
void unpackBytes(const unsigned char *line, int band, int columns, unsigned char *out)
{
    for (int x = 0; x < columns; x++) {
        out[x] = line[N * x + band];
    }
}

template <int N>
void packBytes(unsigned char *line, int band, int columns, const unsigned char *in)
{
    for (int x = 0; x < columns; x++) {
        line[N * x + band] = in[x];
    }
}

/* Frames of 16-bit pixels, red, green and blue fields of 5, 6, 5 bits. */
void unpack565(const unsigned char *line, int band, int columns, unsigned char *out)
{
    for (int x = 0; x < columns; x++) {
        unsigned w = getU16(line + 2 * x);
        out[x] = static_cast<unsigned char>(band == 0   ? (w & 0xF800) >> 8
                                            : band == 1 ? (w & 0x07E0) >> 3
                                                        : (w & 31) << 3);
    }
}

void pack565(unsigned char *line, int band, int columns, const unsigned char *in)
{
    for (int x = 0; x < columns; x++) {
        unsigned w = getU16(line + 2 * x);
        unsigned v = in[x];
        w = band == 0   ? (w % 2048) | ((v & 248) << 8)
            : band == 1 ? (w & 0xF81F) | ((v & 252) << 3)
                        : (w & 0xFFE0) | (v >> 3);
        putU16(line + 2 * x, w);
    }
}

/* Frames of 16-bit pixels, red, green and blue fields of 5 bits each. */
void unpack555(const unsigned char *line, int band, int columns, unsigned char *out)
{
    for (int x = 0; x < columns; x++) {
        unsigned w = getU16(line + 2 * x);
        out[x] = static_cast<unsigned char>(band == 0   ? (w & 0x7C00) >> 7
                                            : band == 1 ? (w & 0x03E0) >> 2
                                                        : (w & 31) << 3);
    }
}

void pack555(unsigned char *line, int band, int columns, const unsigned char *in)
{
    for (int x = 0; x < columns; x++) {
        unsigned w = getU16(line + 2 * x);
        unsigned v = in[x];
        w = band == 0   ? (w % 1024) | ((v & 248) << 7)
            : band == 1 ? (w & 0xFC1F) | ((v & 248) << 2)
                        : (w & 0xFFE0) | (v >> 3);
        putU16(line + 2 * x, w);
    }
}

/* The MRGB rows: what configuring a descriptor fixes (rules) and the
 * layout an image opened over a frame takes (frame) are two tables. */
constexpr ImageType frameRow(int32_t imgid, const char *name, Layout layout, int32_t cacheRows, ImageRulesProc *rules,
                             FrameLayout frame, FrameUnpackProc *unpack = nullptr, FramePackProc *pack = nullptr)
{
    ImageType row{.imgid = imgid,
                  .name = name,
                  .format = "memory",
                  .layout = layout,
                  .line = LineRule::Words,
                  .cacheRows = cacheRows,
                  .rules = rules,
                  .swapsSamples = false,
                  .frame = frame,
                  .frameUnpack = unpack,
                  .framePack = pack};
    return row;
}

}  // namespace

/* The memory types: no file, every row in the cache (MBSQ rows addressed
 * directly), the MRGB types over a frame store of screen-format lines. */
constexpr ImageType memoryTypes[10] = {
    {.imgid = IMG_MBSQ,
     .name = "MBSQ",
     .format = "memory",
     .rules = imageRulesBitPalette,
     .swapsSamples = false,
     .rowsInPlace = true,
     .keepsPlacement = true},
    {.imgid = IMG_MBIL,
     .name = "MBIL",
     .format = "memory",
     .rules = imageRulesBitPalette,
     .swapsSamples = false,
     .keepsPlacement = true},
    {.imgid = IMG_MBIP,
     .name = "MBIP",
     .format = "memory",
     .line = LineRule::Words,
     .rules = imageRulesBitPalette,
     .swapsSamples = false,
     .bandsInBlock = true,
     .keepsPlacement = true},
    frameRow(IMG_MRGB32, "MRGB32", Layout::Frame, 3, fixedPixels<4, PIX_BYTE, 0>, {4, PIX_BYTE, 0, 32}, unpackBytes<4>,
             packBytes<4>),
    frameRow(IMG_MRGB24, "MRGB24", Layout::Frame, 3, fixedPixels<3, PIX_BYTE, 0>, {3, PIX_BYTE, 0, 24}, unpackBytes<3>,
             packBytes<3>),
    frameRow(IMG_MRGB565, "MRGB565", Layout::Frame, 3, fixedPixels<1, PIX_USHORT, 0>, {3, PIX_BYTE, 0, 16}, unpack565,
             pack565),
    frameRow(IMG_MRGB555, "MRGB555", Layout::Frame, 3, fixedPixels<1, PIX_SHORT, 0>, {3, PIX_BYTE, 0, 16}, unpack555,
             pack555),
    frameRow(IMG_MRGB8, "MRGB8", Layout::FrameLine, 1, fixedPixels<1, PIX_BYTE, 256>, {1, PIX_BYTE, 256, 8}),
    frameRow(IMG_MRGB4, "MRGB4", Layout::FrameLine, 1, fixedPixels<1, PIX_4BITS, 16>, {1, PIX_4BITS, 4, 4}),
    frameRow(IMG_MRGB1, "MRGB1", Layout::FrameLine, 1, fixedPixels<1, PIX_1BIT, 2>, {1, PIX_1BIT, 2, 1}),
};
