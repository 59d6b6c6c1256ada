/*
 * gimg row rendering and packing: source rows to 8-bit levels for every
 * pixel type through zoomed columns, the stretch and contrast tables, the
 * gamma curves, the row filter, dithering, the enhancement tables, and
 * whole views packed into pixmaps (zoom, quarter turns, strips, changed
 * rows, 16- and 8-bit layouts) read back from the server.
 */
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>
#include "display/render.h"
#include "imagestore/pixels.h"
#include "imagestore/ramimage.h"
#include "support/memimage.h"
#include "support/test_interp.h"

namespace {

using Bytes = std::vector<unsigned char>;

/* Releases the images a test made. */
class Render : public MemStoreTest {
protected:
    /* A band-interleaved memory image. */
    static RamImage *makeImage(int rows, int columns, int nbands, int pixel, int msbf = 0)
    {
        return makeMemImage(IMG_MBIL, pixel, rows, columns, nbands, msbf);
    }

    /* Writes stored bytes of a row as they are. */
    static void storeRaw(RamImage *image, int row, int band, const Bytes &bytes)
    {
        memImageStore(image, row, band, bytes);
    }

    static void putFloats(RamImage *image, int row, int band, const std::vector<float> &values)
    {
        ASSERT_NE(ramImagePutFloat(image, row, 0, static_cast<int>(values.size()), band, values.data()), 0);
    }

    static void putBytes(RamImage *image, int row, int band, const Bytes &values)
    {
        ASSERT_NE(ramImagePutBytes(image, row, 0, static_cast<int>(values.size()), band, values.data()), 0);
    }
};

Bytes identity()
{
    Bytes t(256);
    for (int i = 0; i < 256; i++) {
        t[i] = static_cast<unsigned char>(i);
    }
    return t;
}

Bytes render(RamImage *image, int row, const std::vector<int32_t> &index, int first, int end, float low, float high,
             const Bytes &table)
{
    Bytes out(index.size(), 0xEE);
    gimgRenderRow(image, row, 0, index.data(), first, end, static_cast<int>(index.size()), low, high, table.data(),
                  out.data());
    return out;
}

/* ---- rendering by pixel type ------------------------------------------- */

TEST_F(Render, ByteRowsFollowTheColumnTableAndOutsidePositionsTakeEntryZero)
{
    RamImage *image = makeImage(1, 4, 1, PIX_BYTE);
    putBytes(image, 0, 0, {10, 20, 30, 40});
    Bytes inverse(256);
    for (int i = 0; i < 256; i++) {
        inverse[i] = static_cast<unsigned char>(255 - i);
    }
    EXPECT_EQ(render(image, 0, {-1, 1, 1, 2, 2, 4}, 1, 5, 0, 255, identity()), (Bytes{0, 20, 20, 30, 30, 0}));
    EXPECT_EQ(render(image, 0, {-1, 1, 1, 2, 2, 4}, 1, 5, 0, 255, inverse), (Bytes{255, 235, 235, 225, 225, 255}));
    // One to one from column 1, and against the source.
    EXPECT_EQ(render(image, 0, {1, 2, 3}, 0, 3, 0, 255, identity()), (Bytes{20, 30, 40}));
    EXPECT_EQ(render(image, 0, {3, 2, 1, 0}, 0, 4, 0, 255, identity()), (Bytes{40, 30, 20, 10}));
    EXPECT_EQ(render(image, 0, {0, 1, 2, 3}, 0, 4, 0, 255, inverse), (Bytes{245, 235, 225, 215}));
}

TEST_F(Render, ZoomedColumnsRepeatEachSourceColumn)
{
    RamImage *image = makeImage(1, 2, 1, PIX_BYTE);
    putBytes(image, 0, 0, {7, 9});
    ZoomTable t;
    zoomClear(&t);
    ASSERT_EQ(zoomBuild(&t, 10, 0, 0, 4.0), 1);
    int first = 0, end = 0;
    zoomRange(&t, 2, &first, &end);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(end, 8);
    std::vector<int32_t> index(t.index, t.index + t.count);
    EXPECT_EQ(render(image, 0, index, first, end, 0, 255, identity()), (Bytes{7, 7, 7, 7, 9, 9, 9, 9, 0, 0}));
    zoomFree(&t);
}

TEST_F(Render, OneBitRowsReadBitsInTheImagesBitOrder)
{
    Bytes table(256, 0);
    table[0] = 7;
    table[1] = 200;
    RamImage *msb = makeImage(1, 8, 1, PIX_1BIT, 1);
    storeRaw(msb, 0, 0, {0xB0});  // 1011 0000
    std::vector<int32_t> all{0, 1, 2, 3, 4, 5, 6, 7};
    EXPECT_EQ(render(msb, 0, all, 0, 8, 0, 255, table), (Bytes{200, 7, 200, 200, 7, 7, 7, 7}));
    RamImage *lsb = makeImage(1, 8, 1, PIX_1BIT, 0);
    storeRaw(lsb, 0, 0, {0xB0});
    EXPECT_EQ(render(lsb, 0, all, 0, 8, 0, 255, table), (Bytes{7, 7, 7, 7, 200, 200, 7, 200}));
}

TEST_F(Render, FourBitRowsReadNibblesInTheImagesOrder)
{
    Bytes table(256, 0);
    for (int i = 0; i < 16; i++) {
        table[i] = static_cast<unsigned char>(i * 16);
    }
    RamImage *msb = makeImage(1, 4, 1, PIX_4BITS, 1);
    storeRaw(msb, 0, 0, {0x5A, 0xC3});
    EXPECT_EQ(render(msb, 0, {0, 1, 2, 3}, 0, 4, 0, 255, table), (Bytes{0x50, 0xA0, 0xC0, 0x30}));
    RamImage *lsb = makeImage(1, 4, 1, PIX_4BITS, 0);
    storeRaw(lsb, 0, 0, {0x5A, 0xC3});
    EXPECT_EQ(render(lsb, 0, {3, 2, 1, 0}, 0, 4, 0, 255, table), (Bytes{0xC0, 0x30, 0x50, 0xA0}));
}

TEST_F(Render, ShortValuesAreScaledByTheBounds)
{
    RamImage *image = makeImage(1, 6, 1, PIX_SHORT);
    putFloats(image, 0, 0, {-100, 0, 10, 60, 99, 200});
    // 10 * 2.55 + 0.5 = 26; 60: 153.5; 99: 252.95.
    EXPECT_EQ(render(image, 0, {0, 1, 2, 3, 4, 5}, 0, 6, 0, 100, identity()), (Bytes{0, 0, 26, 153, 252, 255}));
}

TEST_F(Render, ShortWithEqualBoundsMapsBelowToEntryZeroAndTheRestTo255)
{
    RamImage *image = makeImage(1, 5, 1, PIX_SHORT);
    putFloats(image, 0, 0, {-100, 0, 49, 50, 200});
    Bytes table(256, 0);
    table[0] = 11;
    table[255] = 99;
    EXPECT_EQ(render(image, 0, {0, 1, 2, 3, 4}, 0, 5, 50, 50, table), (Bytes{11, 11, 11, 99, 99}));
}

TEST_F(Render, UnsignedLongAndFloatValuesAreScaled)
{
    RamImage *ushort = makeImage(1, 3, 1, PIX_USHORT);
    putFloats(ushort, 0, 0, {0, 32768, 65535});
    // 32768 * 255 / 65535 + 0.5 = 128.0019.
    EXPECT_EQ(render(ushort, 0, {0, 1, 2}, 0, 3, 0, 65535, identity()), (Bytes{0, 128, 255}));

    RamImage *along = makeImage(1, 3, 1, PIX_LONG);
    putFloats(along, 0, 0, {-5, 1200000, 1999999});
    // 1.2e6 / 2e6 * 255 + 0.5 = 153.5; 1999999: 254.99987 + 0.5.
    EXPECT_EQ(render(along, 0, {0, 1, 2}, 0, 3, 0, 2000000, identity()), (Bytes{0, 153, 255}));

    RamImage *afloat = makeImage(1, 5, 1, PIX_FLOAT);
    float inf = std::numeric_limits<float>::infinity();
    putFloats(afloat, 0, 0, {std::nanf(""), 0.25f, inf, -inf, 0.999f});
    // 0.25 * 255 + 0.5 = 64.25; 0.999 * 255 + 0.5 = 255.245 but below high.
    EXPECT_EQ(render(afloat, 0, {0, 1, 2, 3, 4}, 0, 5, 0, 1, identity()), (Bytes{0, 64, 255, 0, 255}));
}

TEST_F(Render, UnrenderedTypesGiveEntryZeroEverywhere)
{
    Bytes table(256, 42);
    table[0] = 3;
    RamImage *ulong = makeImage(1, 3, 1, PIX_ULONG);
    putFloats(ulong, 0, 0, {1, 2, 3});
    EXPECT_EQ(render(ulong, 0, {0, 1, 2}, 0, 3, 0, 255, table), (Bytes{3, 3, 3}));
    RamImage *sbyte = makeImage(1, 3, 1, PIX_SBYTE);
    putFloats(sbyte, 0, 0, {-1, 2, 3});
    EXPECT_EQ(render(sbyte, 0, {0, 1, 2}, 0, 3, 0, 255, table), (Bytes{3, 3, 3}));
    Bytes raw(3, 0xEE);
    std::vector<int32_t> index{0, 1, 2};
    gimgRenderRowRaw(sbyte, 0, 0, index.data(), 0, 3, 3, 0, 255, raw.data());
    EXPECT_EQ(raw, (Bytes{0, 0, 0}));
}

/* ---- tables ----------------------------------------------------------- */

TEST(GammaCurve, ModesGivePowerSCurveOrIdentity)
{
    EXPECT_EQ(gammaCurve(0.0, 2.0, 0), 0.0);
    EXPECT_EQ(gammaCurve(-1.0, 2.0, 0), 0.0);
    EXPECT_NEAR(gammaCurve(0.25, 2.0, 0), 0.0625, 1e-9);
    EXPECT_NEAR(gammaCurve(0.25, 2.0, 1), 0.125, 1e-9);  // 0.5 * 0.5^2
    EXPECT_NEAR(gammaCurve(0.75, 2.0, 1), 0.875, 1e-9);  // 1 - 0.5 * 0.5^2
    EXPECT_NEAR(gammaCurve(0.5, 3.0, 1), 0.5, 1e-9);
    EXPECT_EQ(gammaCurve(1.2, 2.0, 1), 1.0);
    EXPECT_EQ(gammaCurve(0.0, 2.0, 1), 0.0);
    EXPECT_EQ(gammaCurve(0.3, 2.0, 7), 0.3);
}

TEST(StretchLut, FullOutputRangeIsTheIdentityAndReversedBoundsInvert)
{
    int lo = -1, hi = -1;
    gimgContrastBounds(1.0, 0.5, &lo, &hi);
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 255);
    Bytes table(256);
    buildStretchLut(table.data(), 256, lo, hi, 0, 255, nullptr, 1.0, 0);
    EXPECT_EQ(table, identity());

    gimgContrastBounds(-1.0, 0.5, &lo, &hi);
    EXPECT_EQ(lo, 255);
    EXPECT_EQ(hi, 0);
    buildStretchLut(table.data(), 256, lo, hi, 0, 255, nullptr, 1.0, 0);
    for (int i = 0; i < 256; i++) {
        ASSERT_EQ(table[i], 255 - i) << i;  // 255 - 254.001 i / 255, truncated
    }
}

TEST(StretchLut, ContrastAndBrightnessBounds)
{
    int lo, hi;
    gimgContrastBounds(1.0, 1.0, &lo, &hi);
    EXPECT_EQ(lo, 255);
    EXPECT_EQ(hi, 255);
    gimgContrastBounds(0.0, 0.5, &lo, &hi);
    EXPECT_EQ(lo, 127);
    EXPECT_EQ(hi, 128);
    gimgContrastBounds(0.5, 0.5, &lo, &hi);  // nearest(63.75)
    EXPECT_EQ(lo, 64);
    EXPECT_EQ(hi, 191);
    gimgContrastBounds(1.0, 0.75, &lo, &hi);  // both raised by 128
    EXPECT_EQ(lo, 128);
    EXPECT_EQ(hi, 255);
    gimgContrastBounds(5.0, 0.5, &lo, &hi);  // limited to 1
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 255);
}

TEST(StretchLut, InputBoundsGammaAndSourceTable)
{
    Bytes table(256);
    buildStretchLut(table.data(), 256, 0, 255, 50, 150, nullptr, 1.0, 0);
    EXPECT_EQ(table[0], 0);
    EXPECT_EQ(table[50], 0);
    EXPECT_EQ(table[100], 127);  // 255.999 / 2
    EXPECT_EQ(table[150], 255);
    EXPECT_EQ(table[200], 255);

    buildStretchLut(table.data(), 256, 0, 255, 0, 255, nullptr, 2.0, 0);
    EXPECT_EQ(table[128], 64);  // (128/255)^2 * 255.999 = 64.50
    EXPECT_EQ(table[255], 255);

    Bytes source(256);
    for (int i = 0; i < 256; i++) {
        source[i] = static_cast<unsigned char>(255 - i);
    }
    buildStretchLut(table.data(), 256, 0, 255, 0, 255, source.data(), 1.0, 0);
    EXPECT_EQ(table[0], 255);
    EXPECT_EQ(table[200], 55);

    buildStretchLut(table.data(), 256, 20, 200, 100, 100, nullptr, 1.0, 0);
    EXPECT_EQ(table, Bytes(256, 20));  // an empty input range gives the low output
    buildStretchLut(table.data(), 256, 20, 200, 0, std::nan(""), nullptr, 1.0, 0);
    EXPECT_EQ(table, Bytes(256, 20));
}

/* ---- filter ----------------------------------------------------------- */

Bytes filtered(Bytes row, Bytes previous, double strength, int base, int direction, int firstRow = 0,
               Bytes *after = nullptr)
{
    gimgFilterRow(row.data(), previous.data(), static_cast<int>(row.size()), strength, base, direction, firstRow);
    if (after != nullptr) {
        *after = previous;
    }
    return row;
}

TEST(FilterRow, EmbossAddsTheDifferenceToMidGrey)
{
    Bytes after;
    EXPECT_EQ(filtered({10, 20, 30}, {10, 10, 10}, 1.0, -1, 0, 0, &after), (Bytes{192, 222, 242}));
    EXPECT_EQ(after, (Bytes{10, 20, 30}));  // the unfiltered row stays for the next
    EXPECT_EQ(filtered({10, 20, 30}, {10, 10, 10}, 10.0, -1, 0), (Bytes{192, 255, 255}));
}

TEST(FilterRow, SharpeningByDirection)
{
    // All round: (3c - l - ul - u) * 3 + c.
    EXPECT_EQ(filtered({10, 20, 30}, {10, 10, 10}, 1.0, 0, 0), (Bytes{10, 110, 180}));
    // Left minus centre with strength 1.5: -10 * 1.5 + 0.5 truncates to -14.
    EXPECT_EQ(filtered({10, 20, 30}, {10, 10, 10}, 0.5, 0, 1), (Bytes{10, 6, 16}));
    // Centre minus above on a base level of 100.
    EXPECT_EQ(filtered({10, 20, 30}, {10, 10, 10}, 1.0, 100, 3), (Bytes{100, 130, 160}));
    // Centre minus above-left, added to the centre.
    EXPECT_EQ(filtered({10, 20, 30}, {10, 10, 10}, 1.0, 0, 4), (Bytes{10, 50, 90}));
    // The first row is its own row above.
    EXPECT_EQ(filtered({10, 20, 30}, {99, 99, 99}, 1.0, 0, 3, 1), (Bytes{10, 20, 30}));
}

TEST(FilterRow, SmoothingKeepsTheCentreAsTheStrengthNearsZero)
{
    EXPECT_EQ(filtered({10, 20, 30}, {10, 10, 10}, -1e-9, 0, 0), (Bytes{10, 20, 30}));
    // Strongest: a quarter each of the centre, left, above and above-left.
    EXPECT_EQ(filtered({10, 20, 30}, {10, 10, 10}, -1000.0, 0, 0), (Bytes{10, 13, 18}));
}

/* ---- dithering -------------------------------------------------------- */

struct Dither {
    Bytes index = Bytes(256);
    std::vector<signed char> error = std::vector<signed char>(256);
    Bytes level = identity();
    Dither()
    {
        for (int v = 0; v < 256; v++) {
            index[v] = static_cast<unsigned char>(v / 64);
            error[v] = static_cast<signed char>(v % 64);
        }
    }
    Bytes run(Bytes out, const Bytes &in, std::vector<int> &errors, int mode, int odd)
    {
        ditherRowAdd(static_cast<int>(in.size()), out.data(), in.data(), level.data(), index.data(), error.data(),
                     errors.data(), mode, odd);
        return out;
    }
};

TEST(DitherRow, ModesCarryTheErrorFromTheLeftAndFromAbove)
{
    Dither d;
    std::vector<int> errors{0, 0, 0};
    EXPECT_EQ(d.run({0, 0, 0}, {10, 100, 200}, errors, 0, 0), (Bytes{0, 1, 3}));
    EXPECT_EQ(errors, (std::vector<int>{10, 36, 8}));
    EXPECT_EQ(d.run({1, 1, 255}, {10, 100, 200}, errors, 0, 0), (Bytes{1, 2, 2}));  // adds, modulo 256

    errors = {0, 0, 0};
    EXPECT_EQ(d.run({0, 0, 0}, {10, 100, 200}, errors, 1, 0), (Bytes{0, 1, 3}));  // 10, 110, 246
    EXPECT_EQ(errors, (std::vector<int>{10, 46, 54}));
    errors = {5, 30, 63};
    EXPECT_EQ(d.run({0, 0, 0}, {10, 100, 200}, errors, 1, 1), (Bytes{0, 2, 3}));  // 15, 130, 255
    EXPECT_EQ(errors, (std::vector<int>{15, 2, 63}));

    errors = {20, 40, 0};
    EXPECT_EQ(d.run({0, 0, 0}, {10, 100, 200}, errors, 2, 0), (Bytes{0, 2, 3}));  // 30, 135, 203
    EXPECT_EQ(errors, (std::vector<int>{30, 7, 11}));

    errors = {20, 40, 0};
    EXPECT_EQ(d.run({0, 0, 0}, {10, 100, 200}, errors, 3, 0), (Bytes{0, 2, 3}));
    // x0: (40 * 20 + 20 * 14) / 54 = 20 -> 30; x1: (70 * 20 + 20 * 14) / 54 = 31 -> 131;
    // x2: (3 * 20 + 40 * 14) / 54 = 11 -> 211.
    EXPECT_EQ(errors, (std::vector<int>{30, 3, 19}));

    errors = {20, 40, 0};
    EXPECT_EQ(d.run({0, 0, 0}, {10, 100, 200}, errors, 4, 0), (Bytes{0, 1, 3}));  // 34, 125, 226
    EXPECT_EQ(errors, (std::vector<int>{34, 61, 34}));
}

/* ---- enhancement ------------------------------------------------------ */

/* A master with the options the tables read, grey on one band. */
std::unique_ptr<GimgMaster> tableMaster(RamImage *image)
{
    auto m = std::make_unique<GimgMaster>();
    std::memset(m.get(), 0, sizeof(GimgMaster));
    m->image = image;
    m->desc = image->desc;  // the gimg's own palette, as a display update copies it
    m->channelMask = 1;
    m->outLow = 0;
    m->outHigh = 255;
    m->opt.comb[0] = 1;
    m->opt.comb[1] = 1;
    m->colours.palette[0] = -1;
    m->opt.gamma = 1.0;
    m->opt.range = 1;
    for (int k = 0; k < 3; k++) {
        m->colours.low[k] = 0;
        m->colours.high[k] = 255;
    }
    return m;
}

Bytes channel(const GimgMaster &m, int k)
{
    return Bytes(m.colours.channelTable[k], m.colours.channelTable[k] + 256);
}

TEST_F(Render, EnhanceNoneOnOneGreyBandGivesIdentityTables)
{
    RamImage *image = makeImage(1, 4, 1, PIX_BYTE);
    auto m = tableMaster(image);
    gimgEnhance(m.get(), 1, 2.5f);
    for (int k = 0; k < 3; k++) {
        EXPECT_EQ(channel(*m, k), identity());
        EXPECT_EQ(m->colours.bandIndex[k], 0);
    }
    EXPECT_EQ(m->colours.bandsInUse, 0);
    EXPECT_EQ(Bytes(m->colours.combTable[0], m->colours.combTable[0] + 256), identity());
    EXPECT_EQ(Bytes(m->colours.combTable[1], m->colours.combTable[1] + 256), Bytes(256, 0));
}

TEST_F(Render, LinearStretchByMeanAndDeviation)
{
    RamImage *image = makeImage(1, 4, 1, PIX_BYTE);
    putBytes(image, 0, 0, {0, 0, 255, 255});
    auto m = tableMaster(image);
    gimgEnhance(m.get(), 2, 0.5f);  // mean 127.5, deviation 127.5: 63.75 .. 191.25
    EXPECT_DOUBLE_EQ(m->colours.low[0], 63.75);
    EXPECT_DOUBLE_EQ(m->colours.high[0], 191.25);
    Bytes t = channel(*m, 0);
    EXPECT_EQ(t[63], 0);
    EXPECT_EQ(t[64], 0);     // 0.25 / 127.5 * 255.999 = 0.50
    EXPECT_EQ(t[127], 126);  // 63.25 / 127.5 * 255.999 = 126.996
    EXPECT_EQ(t[128], 129);  // 64.25 / 127.5 * 255.999 = 129.004
    EXPECT_EQ(t[190], 253);
    EXPECT_EQ(t[191], 255);
    EXPECT_EQ(t[255], 255);
    EXPECT_EQ(channel(*m, 2), t);
}

TEST_F(Render, DetailRangeCutsTheTailsOfTheHistogram)
{
    RamImage *image = makeImage(1, 200, 1, PIX_BYTE);
    Bytes values(200, 100);
    values[0] = 0;
    values[1] = 3;
    values[2] = 250;
    values[3] = 250;
    putBytes(image, 0, 0, values);
    auto m = tableMaster(image);
    m->opt.range = 2;
    // Shares 0.005 at 0 and 3, 0.01 at 250; threshold 0.0075: bins 0..3 from
    // below (4), bins 255..250 from above (6): bounds 4 and 249.
    gimgEnhance(m.get(), 2, 1.5f);
    EXPECT_DOUBLE_EQ(m->colours.low[0], 4.0);
    EXPECT_DOUBLE_EQ(m->colours.high[0], 249.0);
    Bytes t = channel(*m, 0);
    EXPECT_EQ(t[4], 0);
    EXPECT_EQ(t[249], 255);
    EXPECT_EQ(t[100], 100);  // (100 - 4) / 245 * 255.999 = 100.31
}

TEST_F(Render, HistogramEqualisationAndSpread)
{
    RamImage *image = makeImage(1, 4, 1, PIX_BYTE);
    putBytes(image, 0, 0, {10, 20, 20, 30});
    auto m = tableMaster(image);
    gimgEnhance(m.get(), 4, 10.0f);  // bounds clipped to 10 .. 30
    EXPECT_DOUBLE_EQ(m->colours.low[0], 10.0);
    EXPECT_DOUBLE_EQ(m->colours.high[0], 30.0);
    Bytes t = channel(*m, 0);
    // Shares 0.25 (10..19), 0.75 (20..29), 1 (30 on); c0 = 0.25:
    // (0.75 - 0.25) / 0.75 * 255 = 170.
    EXPECT_EQ(t[0], 0);
    EXPECT_EQ(t[19], 0);
    EXPECT_EQ(t[20], 170);
    EXPECT_EQ(t[29], 170);
    EXPECT_EQ(t[30], 255);
    EXPECT_EQ(t[255], 255);

    gimgEnhance(m.get(), 3, 10.0f);
    t = channel(*m, 0);
    // Levels 64, 191, 255 rise three times: 1, 2, 3 of 3.0001, times 255.
    EXPECT_EQ(t[9], 0);
    EXPECT_EQ(t[10], 85);
    EXPECT_EQ(t[19], 85);
    EXPECT_EQ(t[20], 170);
    EXPECT_EQ(t[30], 255);
}

TEST_F(Render, WideTypesStretchTheRenderBoundsAndKeepAFullTable)
{
    RamImage *image = makeImage(1, 2, 1, PIX_SHORT);
    putFloats(image, 0, 0, {-100, 100});
    auto m = tableMaster(image);
    m->colours.low[0] = 50;
    m->colours.high[0] = 50;
    gimgEnhance(m.get(), 1, 1.0f);
    EXPECT_EQ(m->colours.workLow[0], 50.0);  // kept for the renderer
    EXPECT_EQ(m->colours.workHigh[0], 50.0);
    EXPECT_EQ(channel(*m, 0), identity());
    gimgEnhance(m.get(), 2, 1.0f);  // mean 0, deviation 100
    EXPECT_EQ(m->colours.low[0], -100.0);
    EXPECT_EQ(m->colours.high[0], 100.0);
    EXPECT_EQ(channel(*m, 0), identity());
}

TEST_F(Render, DistinctBandsShareOneByteInTheCombinationTables)
{
    RamImage *image = makeImage(1, 2, 3, PIX_BYTE);
    auto m = tableMaster(image);
    m->channelMask = 0;
    m->opt.comb[0] = 2;
    m->opt.comb[1] = 1;
    m->opt.comb[2] = 2;
    gimgEnhance(m.get(), 1, 1.0f);
    EXPECT_EQ(m->colours.bandIndex[0], 0);
    EXPECT_EQ(m->colours.bandIndex[1], 1);
    EXPECT_EQ(m->colours.bandIndex[2], -1);
    EXPECT_EQ(m->colours.bandsInUse, 2);
    EXPECT_EQ(m->colours.combTable[0][255], 240);
    EXPECT_EQ(m->colours.combTable[0][17], 16);
    EXPECT_EQ(m->colours.combTable[1][255], 15);
    EXPECT_EQ(m->colours.combTable[2][255], 0);

    m->opt.comb[0] = 3;
    m->opt.comb[3] = 3;
    gimgEnhance(m.get(), 1, 1.0f);
    EXPECT_EQ(m->colours.combTable[0][255], 224);
    EXPECT_EQ(m->colours.combTable[1][255], 28);
    EXPECT_EQ(m->colours.combTable[2][255], 3);
    // 100 = 0110 0100: its top three bits 011 in each share, top two 01 in the last.
    EXPECT_EQ(m->colours.combTable[0][100], 96);
    EXPECT_EQ(m->colours.combTable[1][100], 12);
    EXPECT_EQ(m->colours.combTable[2][100], 1);

    m->colours.palette[1] = 1;  // one red level: the red channel is not used
    gimgEnhance(m.get(), 1, 1.0f);
    EXPECT_EQ(m->colours.bandIndex[0], -1);
    EXPECT_EQ(m->colours.bandsInUse, 2);
    EXPECT_EQ(m->colours.combTable[1][255], 240);
}

TEST_F(Render, PaletteImagesMapIndicesToTheirComponents)
{
    RamImage *image = makeImage(1, 3, 1, PIX_BYTE);
    image->desc.nindices = 3;
    const unsigned char colours[3][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    std::memcpy(image->desc.palette, colours, sizeof colours);
    auto m = tableMaster(image);
    m->channelMask = 0;
    m->opt.comb[0] = 3;
    m->opt.comb[1] = 1;
    m->opt.comb[2] = 2;
    m->opt.comb[3] = 3;
    gimgEnhance(m.get(), 1, 1.0f);
    EXPECT_EQ(m->colours.channelTable[0][0], 255);
    EXPECT_EQ(m->colours.channelTable[0][1], 0);
    EXPECT_EQ(m->colours.channelTable[1][1], 255);
    EXPECT_EQ(m->colours.channelTable[2][2], 255);
    EXPECT_EQ(m->colours.channelTable[2][0], 0);
}

/* ---- whole views ------------------------------------------------------ */

/* A pixmap of a depth, the master that packs into it, and readback. */
struct View {
    Display *display = nullptr;
    Pixmap pixmap = None;
    GC gc = nullptr;
    Visual visual{};
    std::unique_ptr<GimgMaster> m;
    ZoomTable columns{}, rows{};
    int width = 0, height = 0;

    /* fake: a visual of the test's for depths other than the screen's. */
    bool open(int depth, const Visual *fake, int w, int h)
    {
        Tcl_Interp *interp = testTkInterp();  // fills Tk's stub table first
        Tk_Window main = Tk_MainWindow(interp);
        display = Tk_Display(main);
        int n = 0;
        XPixmapFormatValues *formats = XListPixmapFormats(display, &n);
        bool found = false;
        for (int i = 0; i < n; i++) {
            found = found || formats[i].depth == depth;
        }
        XFree(formats);
        if (!found) {
            return false;
        }
        if (fake != nullptr) {
            visual = *fake;
        } else {
            visual = *Tk_Visual(main);
            if (Tk_Depth(main) != depth) {
                return false;
            }
        }
        width = w;
        height = h;
        pixmap = XCreatePixmap(display, RootWindow(display, Tk_ScreenNumber(main)), w, h, depth);
        gc = XCreateGC(display, pixmap, 0, nullptr);
        XSetForeground(display, gc, 0x123456 & ((1ul << depth) - 1));
        XFillRectangle(display, pixmap, gc, 0, 0, w, h);
        m = std::make_unique<GimgMaster>();
        std::memset(m.get(), 0, sizeof(GimgMaster));
        m->display = display;
        m->visual = &visual;
        m->depth = depth;
        m->copyGC = gc;
        m->ximage = XCreateImage(display, &visual, depth, ZPixmap, 0, nullptr, 1, 1, 32, 0);
        for (int k = 0; k < 3; k++) {
            for (int i = 0; i < 256; i++) {
                m->colours.channelTable[k][i] = static_cast<unsigned char>(i);
            }
            m->colours.workLow[k] = 0;
            m->colours.workHigh[k] = 255;
            m->colours.bandIndex[k] = 0;
        }
        zoomClear(&columns);
        zoomClear(&rows);
        return m->ximage != nullptr;
    }

    ~View()
    {
        if (m && m->ximage != nullptr) {
            XDestroyImage(m->ximage);
        }
        if (gc != nullptr) {
            XFreeGC(display, gc);
        }
        if (pixmap != None) {
            XFreePixmap(display, pixmap);
        }
        zoomFree(&columns);
        zoomFree(&rows);
    }

    void zoom(int count, int start, double mx, int rowCount, int rowStart, double my)
    {
        zoomBuild(&columns, count, start, 0, mx);
        zoomBuild(&rows, rowCount, rowStart, 0, my);
    }

    bool pack(RamImage *image, const XRectangle *changed = nullptr)
    {
        return gimgPackStrips(m.get(), image, pixmap, width, 0, 0, &columns, &rows, changed) == 1;
    }

    std::vector<std::vector<unsigned long>> read()
    {
        XImage *got = XGetImage(display, pixmap, 0, 0, width, height, AllPlanes, ZPixmap);
        std::vector<std::vector<unsigned long>> pixels(height, std::vector<unsigned long>(width));
        for (int y = 0; y < height; y++) {
            for (int x = 0; x < width; x++) {
                pixels[y][x] = XGetPixel(got, x, y);
            }
        }
        XDestroyImage(got);
        return pixels;
    }
};

using Pixels = std::vector<std::vector<unsigned long>>;

bool standardTrueColour(const Visual &v)
{
    return v.c_class == TrueColor && v.red_mask == 0xFF0000 && v.green_mask == 0xFF00 && v.blue_mask == 0xFF;
}

unsigned long grey(unsigned long v)
{
    return v << 16 | v << 8 | v;
}

TEST_F(Render, ViewZoomedByTwoRepeatsColumnsAndRows)
{
    View view;
    if (!view.open(24, nullptr, 4, 6) || !standardTrueColour(view.visual)) {
        GTEST_SKIP() << "needs a 24-bit TrueColor screen";
    }
    RamImage *image = makeImage(3, 2, 1, PIX_BYTE);
    putBytes(image, 0, 0, {10, 20});
    putBytes(image, 1, 0, {30, 40});
    putBytes(image, 2, 0, {50, 60});
    view.zoom(4, 0, 2.0, 6, 0, 2.0);
    ASSERT_TRUE(view.pack(image));
    Pixels p = view.read();
    for (int y = 0; y < 6; y++) {
        for (int x = 0; x < 4; x++) {
            EXPECT_EQ(p[y][x], grey(10 + 20 * (y / 2) + 10 * (x / 2))) << x << "," << y;
        }
    }
}

TEST_F(Render, ViewRowsOutsideTheImageAreBlackAndColourBandsCombine)
{
    View view;
    if (!view.open(24, nullptr, 2, 3) || !standardTrueColour(view.visual)) {
        GTEST_SKIP() << "needs a 24-bit TrueColor screen";
    }
    RamImage *image = makeImage(2, 2, 3, PIX_BYTE);
    putBytes(image, 0, 0, {0x11, 0x12});
    putBytes(image, 0, 1, {0x21, 0x22});
    putBytes(image, 0, 2, {0x31, 0x32});
    putBytes(image, 1, 0, {1, 2});
    putBytes(image, 1, 1, {3, 4});
    putBytes(image, 1, 2, {5, 6});
    view.m->colours.bandIndex[1] = 1;
    view.m->colours.bandIndex[2] = 2;
    view.m->colours.bandsInUse = 3;
    view.zoom(2, 0, 1.0, 3, -1, 1.0);  // the first view row shows row -1
    ASSERT_TRUE(view.pack(image));
    Pixels p = view.read();
    EXPECT_EQ(p[0][0], 0ul);
    EXPECT_EQ(p[1][0], 0x112131ul);
    EXPECT_EQ(p[1][1], 0x122232ul);
    EXPECT_EQ(p[2][1], 0x020406ul);

    // Grey: the mean of the three bands.
    view.m->channelMask = 1;
    ASSERT_TRUE(view.pack(image));
    p = view.read();
    EXPECT_EQ(p[1][0], grey((0x11 + 0x21 + 0x31) / 3));
    EXPECT_EQ(p[2][1], grey(4));
}

TEST_F(Render, FilteredViewsEmbossEachChannelRow)
{
    View view;
    if (!view.open(24, nullptr, 3, 1) || !standardTrueColour(view.visual)) {
        GTEST_SKIP() << "needs a 24-bit TrueColor screen";
    }
    RamImage *image = makeImage(1, 3, 1, PIX_BYTE);
    putBytes(image, 0, 0, {10, 20, 30});
    view.m->filterStrength = 1.0;
    view.m->filterBase = -1;
    view.zoom(3, 0, 1.0, 1, 0, 1.0);
    ASSERT_TRUE(view.pack(image));
    // The first row is its own row above: 0, 60 - 40, 90 - 70, plus 192.
    EXPECT_EQ(view.read(), (Pixels{{grey(192), grey(212), grey(212)}}));
}

TEST_F(Render, RotatedViewsTurnAQuarter)
{
    View view;
    // Unrotated the view is 2 columns by 3 rows; turned, 3 wide and 2 high.
    if (!view.open(24, nullptr, 3, 2) || !standardTrueColour(view.visual)) {
        GTEST_SKIP() << "needs a 24-bit TrueColor screen";
    }
    RamImage *image = makeImage(3, 2, 1, PIX_BYTE);
    putBytes(image, 0, 0, {1, 2});
    putBytes(image, 1, 0, {3, 4});
    putBytes(image, 2, 0, {5, 6});
    view.zoom(2, 0, 1.0, 3, 0, 1.0);
    view.m->opt.rotate = 1;  // clockwise: the first row becomes the right column
    ASSERT_TRUE(view.pack(image));
    EXPECT_EQ(view.read(), (Pixels{{grey(5), grey(3), grey(1)}, {grey(6), grey(4), grey(2)}}));
    view.m->opt.rotate = -1;  // counter-clockwise: the first row becomes the left column, bottom up
    ASSERT_TRUE(view.pack(image));
    EXPECT_EQ(view.read(), (Pixels{{grey(2), grey(4), grey(6)}, {grey(1), grey(3), grey(5)}}));
}

TEST_F(Render, TallViewsGoInStripsAndChangedRowsAlone)
{
    View view;
    if (!view.open(24, nullptr, 1, 300) || !standardTrueColour(view.visual)) {
        GTEST_SKIP() << "needs a 24-bit TrueColor screen";
    }
    RamImage *image = makeImage(300, 1, 1, PIX_BYTE);
    for (int r = 0; r < 300; r++) {
        putBytes(image, r, 0, {static_cast<unsigned char>(r % 251)});
    }
    view.zoom(1, 0, 1.0, 300, 0, 1.0);
    XRectangle changed{0, 10, 1, 10};
    ASSERT_TRUE(view.pack(image, &changed));
    Pixels p = view.read();
    EXPECT_EQ(p[9][0], 0x123456ul);
    EXPECT_EQ(p[10][0], grey(10));
    EXPECT_EQ(p[19][0], grey(19));
    EXPECT_EQ(p[20][0], 0x123456ul);
    ASSERT_TRUE(view.pack(image));
    p = view.read();
    for (int y : {0, 255, 256, 257, 299}) {
        EXPECT_EQ(p[y][0], grey(y % 251)) << y;
    }
    // Rotated, the strips run across.
    View turned;
    ASSERT_TRUE(turned.open(24, nullptr, 300, 1));
    turned.zoom(1, 0, 1.0, 300, 0, 1.0);
    turned.m->opt.rotate = -1;
    ASSERT_TRUE(turned.pack(image));
    p = turned.read();
    for (int x : {0, 255, 256, 299}) {
        EXPECT_EQ(p[0][x], grey(x % 251)) << x;
    }
}

TEST_F(Render, SixteenBitPixmapsTakeFiveSixFivePixels)
{
    Visual fake{};
    fake.c_class = TrueColor;
    fake.red_mask = 0xF800;
    fake.green_mask = 0x07E0;
    fake.blue_mask = 0x001F;
    View view;
    if (!view.open(16, &fake, 2, 1)) {
        GTEST_SKIP() << "no 16-bit pixmaps on this screen";
    }
    RamImage *image = makeImage(1, 2, 3, PIX_BYTE);
    putBytes(image, 0, 0, {255, 0x12});
    putBytes(image, 0, 1, {0, 0x34});
    putBytes(image, 0, 2, {0, 0x56});
    view.m->colours.bandIndex[1] = 1;
    view.m->colours.bandIndex[2] = 2;
    view.zoom(2, 0, 1.0, 1, 0, 1.0);
    ASSERT_TRUE(view.pack(image));
    EXPECT_EQ(view.read(), (Pixels{{0xF800, 0x11AA}}));
}

TEST_F(Render, EightBitPixmapsTakeTheCellOfTheSummedIndex)
{
    Visual fake{};
    fake.c_class = PseudoColor;
    View view;
    if (!view.open(8, &fake, 4, 1)) {
        GTEST_SKIP() << "no 8-bit pixmaps on this screen";
    }
    RamImage *image = makeImage(1, 4, 2, PIX_BYTE);
    putBytes(image, 0, 0, {0, 200, 0, 200});
    putBytes(image, 0, 1, {0, 0, 200, 200});
    unsigned long cells[4] = {5, 6, 7, 8};
    view.m->colours.cells = cells;
    view.m->colours.nCells = 4;
    view.m->colours.bandsInUse = 2;
    view.m->colours.bandIndex[1] = 1;
    for (int i = 0; i < 256; i++) {
        view.m->colours.channelTable[0][i] = static_cast<unsigned char>(i / 128 * 2);
        view.m->colours.channelTable[1][i] = static_cast<unsigned char>(i / 128);
    }
    view.zoom(4, 0, 1.0, 1, 0, 1.0);
    ASSERT_TRUE(view.pack(image));
    EXPECT_EQ(view.read(), (Pixels{{5, 7, 6, 8}}));
}

TEST_F(Render, DitheredEightBitRowsCarryTheErrorDown)
{
    Visual fake{};
    fake.c_class = PseudoColor;
    View view;
    if (!view.open(8, &fake, 4, 2)) {
        GTEST_SKIP() << "no 8-bit pixmaps on this screen";
    }
    RamImage *image = makeImage(2, 4, 1, PIX_BYTE);
    putBytes(image, 0, 0, {100, 100, 100, 100});
    putBytes(image, 1, 0, {100, 100, 100, 100});
    unsigned long cells[2] = {10, 20};
    view.m->colours.cells = cells;
    view.m->colours.nCells = 2;
    view.m->colours.bandsInUse = 1;
    view.m->colours.ditherMode = 1;
    for (int v = 0; v < 256; v++) {
        view.m->colours.indexTable[0][v] = v >= 128 ? 1 : 0;
        view.m->colours.errorTable[0][v] = static_cast<unsigned char>(static_cast<signed char>(v >= 128 ? v - 255 : v));
    }
    view.zoom(4, 0, 1.0, 2, 0, 1.0);
    ASSERT_TRUE(view.pack(image));
    // Row 0 carries from the left: 100, 200, 45, 145; row 1 takes the errors
    // above (100, -55, 45, -110): 200, 45, 145, 0.
    EXPECT_EQ(view.read(), (Pixels{{10, 20, 10, 20}, {20, 10, 20, 10}}));
}

TEST_F(Render, AreasDrawnStraightIntoADrawableMatchTheFullViewTurnedOrNot)
{
    View view;  // the full view; 9 x 9 holds it at every turn
    View drawn;
    if (!view.open(24, nullptr, 9, 9) || !standardTrueColour(view.visual) || !drawn.open(24, nullptr, 9, 9)) {
        GTEST_SKIP() << "needs a 24-bit TrueColor screen";
    }
    RamImage *image = makeImage(3, 4, 1, PIX_BYTE);
    putBytes(image, 0, 0, {10, 20, 30, 40});
    putBytes(image, 1, 0, {50, 60, 70, 80});
    putBytes(image, 2, 0, {90, 100, 110, 120});
    GimgMaster *m = view.m.get();
    zoomBuild(&m->zoomX, 8, 0, 0, 2.0);  // the four columns doubled
    zoomBuild(&m->zoomY, 9, 0, 0, 3.0);  // the three rows tripled
    const unsigned long untouched = 0x123456;
    for (int rotate : {0, 1, -1}) {
        m->opt.rotate = rotate;
        int viewW = rotate != 0 ? 9 : 8, viewH = rotate != 0 ? 8 : 9;
        ASSERT_EQ(gimgPackStrips(m, image, view.pixmap, viewW, 0, 0, &m->zoomX, &m->zoomY, nullptr), 1);
        Pixels full = view.read();
        struct Area {
            int x, y, w, h, drawableX, drawableY;
        };
        const Area areas[] = {
            {2, 3, 5, 4, 1, 2},            // inside the view and the drawable
            {0, 0, viewW, viewH, -3, -2},  // starting left of and above the drawable
            {5, 6, 10, 10, 4, 5},          // running past the view's end
            {1, 1, 3, 3, 9, 0},            // wholly right of the drawable
        };
        for (const Area &a : areas) {
            XFillRectangle(drawn.display, drawn.pixmap, drawn.gc, 0, 0, 9, 9);
            ASSERT_EQ(gimgDrawArea(m, image, drawn.pixmap, a.x, a.y, a.w, a.h, a.drawableX, a.drawableY), 1);
            Pixels p = drawn.read();
            for (int y = 0; y < 9; y++) {
                for (int x = 0; x < 9; x++) {
                    int vx = a.x + x - a.drawableX, vy = a.y + y - a.drawableY;
                    bool inside = x >= a.drawableX && x < a.drawableX + a.w && y >= a.drawableY &&
                                  y < a.drawableY + a.h && vx < viewW && vy < viewH;
                    EXPECT_EQ(p[y][x], inside ? full[vy][vx] : untouched)
                        << "turn " << rotate << " area " << a.x << "," << a.y << " at " << x << "," << y;
                }
            }
        }
    }
    zoomFree(&m->zoomX);
    zoomFree(&m->zoomY);
}

TEST_F(Render, UnservedPixelSizesAreRefused)
{
    View view;
    if (!view.open(24, nullptr, 2, 2)) {
        GTEST_SKIP() << "needs a 24-bit screen";
    }
    RamImage *image = makeImage(2, 2, 1, PIX_BYTE);
    view.zoom(2, 0, 1.0, 2, 0, 1.0);
    int saved = view.m->ximage->bits_per_pixel;
    view.m->ximage->bits_per_pixel = 4;
    EXPECT_FALSE(view.pack(image));
    view.m->ximage->bits_per_pixel = saved;
}

}  // namespace
