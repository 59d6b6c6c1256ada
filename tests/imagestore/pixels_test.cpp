/*
 * Pixel access: conversions of gets and puts by pixel type, clipping of
 * runs at the image's edges, palette-mapped and pixel-interleaved reads,
 * vectors, line samples and profiles, and pixel values given as text.
 * Stored samples are written and inspected through the row hook directly;
 * expected values are the bytes the tests laid down, hand-worked values,
 * or a direct formula (std::round, halves away from zero, then a clamp).
 */
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>
#include "imagestore/pixels.h"
#include "imagestore/ramimage.h"
#include "imagestore/rowcache.h"
#include "runtime/startup.h"
#include "support/memimage.h"
#include "support/test_interp.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
using V = std::vector<double>;

template <typename T>
V vals(const T *p, int n)
{
    return V(p, p + n);
}

/* Rounding halves away from zero, clamped to lo..hi, NaN 0. */
double expectedPut(double v, double lo, double hi)
{
    if (std::isnan(v)) {
        return 0;
    }
    double r = std::round(v);
    return r < lo ? lo : r > hi ? hi : r;
}

/* Awkward values, quarter steps, random bit patterns (every class of
 * float) and values a few ulps from halves: a run long enough to cross
 * many blocks of the kernels. */
std::vector<float> testFloats()
{
    std::vector<float> values = {-1e10f,   -40000.7f,   -300.5f,       -2.7f, -2.5f, -0.7f,  -0.5f,  -0.3f,
                                 0.0f,     0.49999997f, 0.5f,          2.5f,  15.6f, 127.5f, 300.7f, 32767.5f,
                                 65535.4f, 4194304.5f,  2147483648.0f, 3e9f,  1e10f, kNaN,   kInf,   -kInf};
    for (int i = 0; i < 333; i++) {
        values.push_back(-40.0f + 0.25f * static_cast<float>(i));
    }
    uint32_t state = 12345;
    for (int i = 0; i < 3000; i++) {
        state = state * 1664525u + 1013904223u;
        uint32_t bits = state;
        if (i % 2 == 1) {
            float half = static_cast<float>(static_cast<int>(state % 600) - 300) + 0.5f;
            std::memcpy(&bits, &half, sizeof bits);
            bits += (state >> 20) % 7 - 3;
        }
        float v;
        std::memcpy(&v, &bits, sizeof v);
        values.push_back(v);
    }
    return values;
}

template <typename T>
void expectPutsFromFloat(int pixel, double lo, double hi)
{
    static const std::vector<float> values = testFloats();
    int n = static_cast<int>(values.size());
    MemImage img(IMG_MBSQ, pixel, 1, n, 1);
    ASSERT_EQ(ramImagePutFloat(img, 0, 0, n, 0, values.data()), n);
    const T *stored = img.row<T>(0);
    std::vector<float> back(n);
    ramImageGetFloat(img, 0, 0, n, 0, back.data());
    for (int i = 0; i < n; i++) {
        double want = expectedPut(values[i], lo, hi);
        ASSERT_EQ(static_cast<double>(stored[i]), want) << "pixel type " << pixel << " value " << values[i];
        ASSERT_EQ(back[i], static_cast<float>(want)) << "pixel type " << pixel << " value " << values[i];
    }
}

TEST(PixelPutTest, FloatsRoundHalvesAwayFromZeroAndClampForEveryIntegerType)
{
    expectPutsFromFloat<uint8_t>(PIX_BYTE, 0, 255);
    expectPutsFromFloat<int8_t>(PIX_SBYTE, -128, 127);
    expectPutsFromFloat<int16_t>(PIX_SHORT, -32768, 32767);
    expectPutsFromFloat<uint16_t>(PIX_USHORT, 0, 65535);
    expectPutsFromFloat<int32_t>(PIX_LONG, -2147483648.0, 2147483647.0);
    expectPutsFromFloat<uint32_t>(PIX_ULONG, 0, 4294967295.0);
}

TEST(PixelPutTest, HandWorkedValuesAndFloatPixels)
{
    MemImage b(IMG_MBSQ, PIX_BYTE, 1, 3, 1);
    const float bytes[] = {300.7f, -0.7f, 2.5f};
    ramImagePutFloat(b, 0, 0, 3, 0, bytes);
    EXPECT_EQ(vals(b.row<uint8_t>(0), 3), (V{255, 0, 3}));

    MemImage s(IMG_MBSQ, PIX_SHORT, 1, 3, 1);
    const float shorts[] = {-2.7f, -2.5f, 2.5f};
    ramImagePutFloat(s, 0, 0, 3, 0, shorts);
    EXPECT_EQ(vals(s.row<int16_t>(0), 3), (V{-3, -3, 3}));

    MemImage f(IMG_MBSQ, PIX_FLOAT, 1, 4, 1);  // stored as given, NaN included
    const float floats[] = {kNaN, kInf, -2.7f, 1e30f};
    ramImagePutFloat(f, 0, 0, 4, 0, floats);
    EXPECT_TRUE(std::isnan(f.row<float>(0)[0]));
    EXPECT_EQ(vals(f.row<float>(0) + 1, 3), (V{kInf, -2.7f, 1e30f}));
}

TEST(PixelPutTest, PackedPixelsFollowMsbfInPutsAndGets)
{
    for (int msbf : {0, 1}) {
        MemImage bits(IMG_MBSQ, PIX_1BIT, 1, 16, 1, msbf);
        // Pixels 3..12; above 0 sets, 0, negatives and NaN clear: 3, 5, 8, 9, 12 set.
        const float on[] = {1, 0, 0.3f, -1, kNaN, 1, 1, 0, 0, 5};
        ASSERT_EQ(ramImagePutFloat(bits, 0, 3, 10, 0, on), 10);
        const uint8_t *raw = bits.row<uint8_t>(0);
        EXPECT_EQ(vals(raw, 2), msbf ? (V{0x10 | 0x04, 0x80 | 0x40 | 0x08}) : (V{0x08 | 0x20, 0x01 | 0x02 | 0x10}));
        float got[16];
        ramImageGetFloat(bits, 0, 0, 16, 0, got);
        EXPECT_EQ(vals(got, 16), (V{0, 0, 0, 1, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0, 0})) << msbf;

        bits.setRow<uint8_t>(0, 0, {0x01});  // pixel 0 without msbf, pixel 7 with it
        unsigned char b[8];
        ramImageGetBytes(bits, 0, 0, 8, 0, b);
        EXPECT_EQ(vals(b, 8), msbf ? (V{0, 0, 0, 0, 0, 0, 0, 1}) : (V{1, 0, 0, 0, 0, 0, 0, 0}));

        MemImage nib(IMG_MBSQ, PIX_4BITS, 1, 5, 1, msbf);
        const float values[] = {15.6f, 7.5f, -3, kNaN, 2.4f};  // 15, 8, 0, 0, 2
        ASSERT_EQ(ramImagePutFloat(nib, 0, 0, 5, 0, values), 5);
        const uint8_t *n = nib.row<uint8_t>(0);
        EXPECT_EQ(vals(n, 2), msbf ? (V{0xF8, 0}) : (V{0x8F, 0}));
        EXPECT_EQ(n[2] & (msbf ? 0xF0 : 0x0F), msbf ? 0x20 : 0x02);
        ramImageGetBytes(nib, 0, 1, 4, 0, b);  // from an odd column
        EXPECT_EQ(vals(b, 4), (V{8, 0, 0, 2}));
    }
}

TEST(PixelPutTest, BytesAndShortsClampToTheTypesMaximum)
{
    const unsigned char bytes[] = {0, 5, 20, 200, 255};
    const unsigned short shorts[] = {0, 5, 300, 40000, 65535};
    struct Case {
        int pixel;
        V fromBytes, fromShorts;
    } cases[] = {
        {PIX_1BIT, {0, 1, 1, 1, 1}, {0, 1, 1, 1, 1}},
        {PIX_4BITS, {0, 5, 15, 15, 15}, {0, 5, 15, 15, 15}},
        {PIX_BYTE, {0, 5, 20, 200, 255}, {0, 5, 255, 255, 255}},
        {PIX_SBYTE, {0, 5, 20, 127, 127}, {0, 5, 127, 127, 127}},
        {PIX_SHORT, {0, 5, 20, 200, 255}, {0, 5, 300, 32767, 32767}},
        {PIX_USHORT, {0, 5, 20, 200, 255}, {0, 5, 300, 40000, 65535}},
        {PIX_LONG, {0, 5, 20, 200, 255}, {0, 5, 300, 40000, 65535}},
        {PIX_ULONG, {0, 5, 20, 200, 255}, {0, 5, 300, 40000, 65535}},
        {PIX_FLOAT, {0, 5, 20, 200, 255}, {0, 5, 300, 40000, 65535}},
    };
    for (const Case &c : cases) {
        MemImage img(IMG_MBSQ, c.pixel, 2, 5, 1);
        EXPECT_EQ(ramImagePutBytes(img, 0, 0, 5, 0, bytes), 5);
        EXPECT_EQ(ramImagePutUShort(img, 1, 0, 5, 0, shorts), 5);
        float got[5];
        ramImageGetFloat(img, 0, 0, 5, 0, got);
        EXPECT_EQ(vals(got, 5), c.fromBytes) << "pixel " << c.pixel;
        ramImageGetFloat(img, 1, 0, 5, 0, got);
        EXPECT_EQ(vals(got, 5), c.fromShorts) << "pixel " << c.pixel;
    }
}

TEST(PixelGetTest, StoredSamplesConvertToFloatsAndLowBytes)
{
    MemImage sb(IMG_MBSQ, PIX_SBYTE, 1, 3, 1);
    sb.setRow<int8_t>(0, 0, {-128, -1, 5});
    MemImage sh(IMG_MBSQ, PIX_SHORT, 1, 3, 1);
    sh.setRow<int16_t>(0, 0, {-32768, -2, 300});
    MemImage us(IMG_MBSQ, PIX_USHORT, 1, 3, 1);
    us.setRow<uint16_t>(0, 0, {65535, 258, 7});
    MemImage lo(IMG_MBSQ, PIX_LONG, 1, 3, 1);
    lo.setRow<int32_t>(0, 0, {INT32_MIN, 0x10101, -7});
    MemImage ul(IMG_MBSQ, PIX_ULONG, 1, 3, 1);
    ul.setRow<uint32_t>(0, 0, {4294967295u, 513, 16777216});
    MemImage fl(IMG_MBSQ, PIX_FLOAT, 1, 3, 1);
    fl.setRow<float>(0, 0, {2.9f, -1.5f, 300.7f});
    MemImage odd(IMG_MBSQ, PIX_FLOAT, 1, 3, 1);
    odd.setRow<float>(0, 0, {kNaN, kInf, 3e9f});
    struct Case {
        RamImage *img;
        V floats, bytes;
    } cases[] = {
        {sb, {-128, -1, 5}, {0x80, 0xFF, 5}},
        {sh, {-32768, -2, 300}, {0x00, 0xFE, 44}},
        {us, {65535, 258, 7}, {255, 2, 7}},
        {lo, {-2147483648.0, 65793, -7}, {0, 1, 0xF9}},
        {ul, {4294967296.0, 513, 16777216}, {255, 1, 0}},
        {fl, {2.9f, -1.5f, 300.7f}, {2, 0xFF, 44}},  // low byte of trunc: 2, -1, 300
        {odd, {kNaN, kInf, 3e9f}, {0, 0xFF, 0xFF}},  // beyond int32: INT32_MAX's low byte
    };
    for (const Case &c : cases) {
        float f[3];
        unsigned char b[3];
        EXPECT_EQ(ramImageGetFloat(c.img, 0, 0, 3, 0, f), 3);
        EXPECT_EQ(ramImageGetBytes(c.img, 0, 0, 3, 0, b), 3);
        if (c.img != odd) {
            EXPECT_EQ(vals(f, 3), c.floats) << "pixel " << c.img->desc.pixel;
        }
        EXPECT_EQ(vals(b, 3), c.bytes) << "pixel " << c.img->desc.pixel;
    }
}

TEST(PixelRunTest, RunsAreClippedToTheImage)
{
    MemImage img(IMG_MBIL, PIX_SHORT, 2, 5, 2);
    img.setRow<int16_t>(1, 1, {10, 11, 12, 13, 14});
    float got[10];
    EXPECT_EQ(ramImageGetFloat(img, 1, -3, 10, 1, got), 10);
    EXPECT_EQ(vals(got, 10), (V{0, 0, 0, 10, 11, 12, 13, 14, 0, 0}));

    unsigned char bytes[4] = {9, 9, 9, 9};
    EXPECT_EQ(ramImageGetBytes(img, 2, 0, 4, 0, bytes), 4);  // row outside
    EXPECT_EQ(vals(bytes, 4), (V{0, 0, 0, 0}));
    bytes[0] = 9;
    EXPECT_EQ(ramImageGetBytes(img, 0, 0, 4, 2, bytes), 0);  // band outside: refused, untouched
    EXPECT_EQ(ramImageGetBytes(img, 0, 0, 4, -1, bytes), 0);
    EXPECT_EQ(bytes[0], 9);

    unsigned char strided[9];
    std::memset(strided, 7, sizeof strided);
    EXPECT_EQ(ramImageGetBytesStrided(img, 1, 3, 3, 1, strided, 3), 3);
    EXPECT_EQ(vals(strided, 9), (V{13, 7, 7, 14, 7, 7, 0, 7, 7}));

    const float put[] = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(ramImagePutFloat(img, 1, -2, 6, 1, put), 4);
    EXPECT_EQ(ramImagePutFloat(img, 1, 3, 6, 1, put), 2);
    EXPECT_EQ(ramImagePutFloat(img, -1, 0, 6, 1, put), 0);
    EXPECT_EQ(ramImagePutFloat(img, 1, 0, 6, 2, put), 0);
    EXPECT_EQ(vals(img.row<int16_t>(1, 1), 5), (V{3, 4, 5, 1, 2}));
    EXPECT_EQ(vals(img.row<int16_t>(1, 0), 5), (V{0, 0, 0, 0, 0}));
}

TEST(PixelRunTest, APutMarksItsRowSoThatItSurvivesEviction)
{
    // MRGB24 keeps few slots; rows written must reach the frame on eviction.
    MemImage img(IMG_MRGB24, PIX_BYTE, 8, 4, 3);
    const unsigned char green[] = {1, 2, 3, 4};
    ASSERT_EQ(ramImagePutBytes(img, 0, 0, 4, 1, green), 4);
    unsigned char scratch[4];
    for (int r = 1; r < 8; r++) {
        for (int b = 0; b < 3; b++) {
            ramImageGetBytes(img, r, 0, 4, b, scratch);
        }
    }
    EXPECT_EQ(ramImageFrame(img)[3 * 2 + 1], 3);  // pixel 2's green byte in the frame
    ramImageGetBytes(img, 0, 0, 4, 1, scratch);
    EXPECT_EQ(vals(scratch, 4), (V{1, 2, 3, 4}));
}

/* A one-band BYTE image with a three-entry palette and indices 0 1 2 1. */
class PaletteTest : public ::testing::Test {
protected:
    MemImage img{IMG_MBSQ, PIX_BYTE, 1, 4, 1};
    void SetUp() override
    {
        img->desc.nindices = 3;
        const uint8_t pal[3][3] = {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}};
        std::memcpy(img->desc.palette, pal, sizeof pal);
        img.setRow<uint8_t>(0, 0, {0, 1, 2, 1});
    }
};

TEST_F(PaletteTest, BandsPickComponentsAndNegativeBandsTheIndex)
{
    unsigned char b[6];
    float f[5];
    EXPECT_EQ(ramImageGetBytesPal(img, 0, 0, 5, 1, b), 5);
    EXPECT_EQ(vals(b, 5), (V{20, 50, 80, 50, 0}));
    EXPECT_EQ(ramImageGetFloatPal(img, 0, -1, 5, 2, f), 5);
    EXPECT_EQ(vals(f, 5), (V{0, 30, 60, 90, 60}));
    ramImageGetBytesPal(img, 0, 0, 4, -1, b);
    EXPECT_EQ(vals(b, 4), (V{0, 1, 2, 1}));
    EXPECT_EQ(ramImageGetBytesPal(img, 0, 0, 4, 3, b), 0);

    // Interleaved without a list: red, green, blue of columns 1 and 3.
    EXPECT_EQ(ramImageGetBytesBIP(img, 0, 1, 3, 2, 3, nullptr, b), 2);
    EXPECT_EQ(vals(b, 6), (V{40, 50, 60, 40, 50, 60}));

    img->desc.nindices = 0;  // without a palette: the plain get
    ramImageGetBytesPal(img, 0, 0, 4, 0, b);
    EXPECT_EQ(vals(b, 4), (V{0, 1, 2, 1}));
    EXPECT_EQ(ramImageGetBytesPal(img, 0, 0, 4, -1, b), 0);
    EXPECT_EQ(ramImageGetBytesPal(img, 0, 0, 4, 1, b), 0);
}

TEST(PixelBIPTest, BandsAreGatheredEveryStepthColumnAndPutBack)
{
    MemImage img(IMG_MBIL, PIX_BYTE, 2, 7, 3);
    for (int b = 0; b < 3; b++) {
        img.setRow<uint8_t>(0, b,
                            {uint8_t(10 * b), uint8_t(10 * b + 1), uint8_t(10 * b + 2), uint8_t(10 * b + 3),
                             uint8_t(10 * b + 4), uint8_t(10 * b + 5), uint8_t(10 * b + 6)});
    }
    unsigned char out[8];
    const int bands[] = {2, 0};
    EXPECT_EQ(ramImageGetBytesBIP(img, 0, 1, 6, 2, 2, bands, out), 3);
    EXPECT_EQ(vals(out, 6), (V{21, 1, 23, 3, 25, 5}));
    // Without a list bands wrap at the band count; columns outside read 0.
    float f[8];
    EXPECT_EQ(ramImageGetFloatBIP(img, 0, -2, 4, 2, 4, nullptr, f), 2);
    EXPECT_EQ(vals(f, 8), (V{0, 0, 0, 0, 0, 10, 20, 0}));
    const int bad[] = {1, 5};
    EXPECT_EQ(ramImageGetBytesBIP(img, 0, 6, 1, 1, 2, bad, out), 1);
    EXPECT_EQ(vals(out, 2), (V{16, 0}));
    EXPECT_EQ(ramImageGetBytesBIP(img, 0, 0, 3, 0, 1, nullptr, out), 0);  // step below 1

    const float data[] = {1, 2, 3, 4, 5, 6};                  // two pixels of three values
    EXPECT_EQ(putFloatBIPData(img, 1, 3, 1, 6, 2, data), 2);  // bands 1..3 at columns 6, 7: one pixel, band 3 skipped
    const int to[] = {2, 7, 0};
    EXPECT_EQ(writeFloatBIPData(img, 1, 0, 2, 3, to, data), 4);
    ramImageGetFloatBIP(img, 1, 0, 7, 6, 3, nullptr, f);  // columns 0 and 6
    EXPECT_EQ(vals(f, 6), (V{3, 0, 1, 0, 1, 2}));
    EXPECT_EQ(ramImageGetValue(img, 1, 1, 0), 6.0f);
    EXPECT_EQ(ramImageGetValue(img, 1, 1, 2), 4.0f);
}

TEST(PixelVectorTest, SinglePixelsAndVectors)
{
    MemImage img(IMG_MBSQ, PIX_USHORT, 2, 2, 3);
    const float values[] = {7, 8, 9};
    const int bands[] = {2, 0, 3};
    EXPECT_EQ(ramImagePutVector(img, 1, 0, 3, bands, values), 2);
    EXPECT_EQ(ramImagePutVector(img, 0, 1, 3, nullptr, values), 3);
    EXPECT_EQ(ramImagePutVector(img, 2, 0, 3, nullptr, values), 0);  // column outside
    EXPECT_EQ(ramImageGetValue(img, 1, 0, 2), 7.0f);
    EXPECT_EQ(ramImageGetValue(img, 5, 0, 0), 0.0f);
    EXPECT_EQ(ramImageGetValue(img, 1, 0, 3), 0.0f);
    float out[4];
    const int ask[] = {0, 9, 2, 1};
    EXPECT_EQ(ramImageGetVector(img, 1, 0, 4, ask, out), 4);
    EXPECT_EQ(vals(out, 4), (V{8, 0, 7, 0}));
    EXPECT_EQ(ramImageGetPixelBands(img, 1, 0, out), 3);
    EXPECT_EQ(vals(out, 3), (V{7, 8, 9}));
}

/* A 5 x 5 FLOAT ramp: pixel (column c, row r) holds 10 r + c in band 0 and
 * 100 more in band 1. */
class RampTest : public ::testing::Test {
protected:
    MemImage img{IMG_MBSQ, PIX_FLOAT, 5, 5, 2};
    void SetUp() override
    {
        for (int r = 0; r < 5; r++) {
            for (int b = 0; b < 2; b++) {
                float v = 100.0f * b + 10.0f * r;
                img.setRow<float>(r, b, {v, v + 1, v + 2, v + 3, v + 4});
            }
        }
    }
};

TEST_F(RampTest, LineSamplesTakeTheNearestPixelOrInterpolate)
{
    float out[6];
    // Angle 0 runs right: x = 0.4 + 1 + i.
    EXPECT_EQ(ramImageSampleLine(img, 0.4, 2, 0, 0, 1, 1, out, 6, 1), 6);
    EXPECT_EQ(vals(out, 6), (V{21, 22, 23, 24, 0, 0}));
    // A quarter turn runs up: y = 4, 2.5, 1, -0.5 (halves away from zero).
    ramImageSampleLine(img, 2, 4, 0, M_PI / 2, 1.5, 0, out, 4, 1);
    EXPECT_EQ(vals(out, 4), (V{42, 32, 12, 0}));

    // Bilinear is exact on the ramp inside; a missing neighbour counts 0.
    ramImageSampleLine(img, 1.25, 2.5, 0, 0, 3.25, 0, out, 2, 2);
    EXPECT_NEAR(out[0], 26.25f, 1e-4);
    EXPECT_NEAR(out[1], 0.25f * 24 + 0.25f * 34, 1e-4);  // (4.5, 2.5): column 5 counts 0
    ramImageSampleLine(img, -0.5, 1, 0, 0, 1, 0, out, 1, 2);
    EXPECT_EQ(out[0], 0.0f);

    out[0] = 5;
    EXPECT_EQ(ramImageSampleLine(img, 1, 1, 0, 0, 1, 0, out, 1, 3), 0);
    EXPECT_EQ(out[0], 5.0f);
}

TEST_F(RampTest, ProfilesSampleEveryListedBandAtEqualSteps)
{
    float out[10];
    const int bands[] = {1, 0};
    EXPECT_EQ(ramImageGetProfile(img, 0, 0, 4, 4, 2, bands, out, 5, 1), 5);
    EXPECT_EQ(vals(out, 10), (V{100, 0, 111, 11, 122, 22, 133, 33, 144, 44}));
    ramImageGetProfile(img, 0, 1, 4, 1, 1, nullptr, out, 3, 1);
    EXPECT_EQ(vals(out, 3), (V{10, 12, 14}));
    ramImageGetProfile(img, 3, 3, 0, 0, 1, nullptr, out, 1, 1);
    EXPECT_EQ(out[0], 33.0f);

    // Mode 2 repeats the edge: x 4.5 reads column 4, x -0.5 column 0.
    ramImageGetProfile(img, 4.5, 0.5, -0.5, 0.5, 1, nullptr, out, 3, 2);
    EXPECT_NEAR(out[0], 9.0f, 1e-4);  // between 4 and 14
    EXPECT_NEAR(out[1], 7.0f, 1e-4);  // (2, 0.5)
    EXPECT_NEAR(out[2], 5.0f, 1e-4);  // between 0 and 10
    ramImageGetProfile(img, -3, 0, -3, 0, 1, nullptr, out, 1, 2);
    EXPECT_EQ(out[0], 0.0f);
}

TEST(PixelProfileTest, PutProfileWalksHalfPixelsAndWritesEachPixelOnce)
{
    MemImage img(IMG_MBSQ, PIX_FLOAT, 5, 5, 2);
    const float samples[] = {10, 20, 30};
    // x = 0, 0.5 ... 4 with index x / 2; columns 0..4 are first reached at
    // x = 0, 0.5, 1.5, 2.5, 3.5 and written there only.
    EXPECT_EQ(ramImagePutProfile(img, 0, 0, 4, 0, 1, nullptr, samples, 3, 1), 3);
    EXPECT_EQ(vals(img.row<float>(0), 5), (V{10, 10, 10, 20, 20}));
    const int bands[] = {1};
    ramImagePutProfile(img, 0, 1, 4, 1, 1, bands, samples, 3, 2);
    EXPECT_EQ(vals(img.row<float>(1, 1), 5), (V{10, 12.5, 17.5, 22.5, 27.5}));

    // Far longer than the image: index = x + 64; x = -0.5 rounds to column -1.
    std::vector<float> ramp(129);
    for (int i = 0; i <= 128; i++) {
        ramp[i] = static_cast<float>(i);
    }
    ramImagePutProfile(img, -64, 2, 64, 2, 1, nullptr, ramp.data(), 129, 1);
    EXPECT_EQ(vals(img.row<float>(2), 5), (V{64, 64, 65, 66, 67}));
    const float ends[] = {0, 100};
    EXPECT_EQ(ramImagePutProfile(img, -1e12, 3, 1e12, 3, 1, nullptr, ends, 2, 2), 2);
    for (int c = 0; c < 5; c++) {
        EXPECT_NEAR(img.row<float>(3)[c], 50.0f, 1e-3) << c;
    }

    const float one[] = {7, 8};
    ramImagePutProfile(img, 2, 4, 2, 4, 2, nullptr, one, 1, 1);  // length 0: sample 0 at the start
    EXPECT_EQ(vals(img.row<float>(4), 5), (V{0, 0, 7, 0, 0}));
    EXPECT_EQ(ramImageGetValue(img, 2, 4, 1), 8.0f);
    EXPECT_EQ(ramImagePutProfile(img, 0, 0, NAN, 0, 1, nullptr, one, 1, 1), 0);
}

/* Routes the console's standard error into ::err of the test interpreter. */
class TextTest : public ::testing::Test {
protected:
    Tcl_Interp *interp = testInterp();
    Tcl_Interp *previous = nullptr;
    void SetUp() override
    {
        previous = setConsoleInterp(interp);
        testEval(interp, "set ::err {}; proc tkConsoleOutput {stream text} {append ::err $text}");
        setTkConsoleFlag(true);
    }
    void TearDown() override
    {
        setTkConsoleFlag(false);
        setConsoleInterp(previous);
    }
    std::string err() { return testEval(interp, "set ::err"); }
};

TEST_F(TextTest, RangesRunBackwardsAndTheLastValueFillsTheRest)
{
    MemImage img(IMG_MBSQ, PIX_SHORT, 2, 3, 1);
    EXPECT_EQ(parseASCIIData(img, "BSQH 1 1 2 0 0 1\n 1 2 3"), 1);
    EXPECT_EQ(vals(img.row<int16_t>(0), 3), (V{3, 2, 1}));
    EXPECT_EQ(vals(img.row<int16_t>(1), 3), (V{3, 3, 3}));
    EXPECT_EQ(parseASCIIData(img, "BSQV 1 1 0 0 0 1 -2.7"), 1);  // rounded, then repeated
    EXPECT_EQ(img.row<int16_t>(0)[0], -3);
    EXPECT_EQ(img.row<int16_t>(1)[0], -3);

    MemImage pal(IMG_MBSQ, PIX_BYTE, 1, 3, 1);
    pal->desc.nindices = 4;  // values clamped to the indices
    ASSERT_EQ(parseASCIIData(pal, "BSQH 1 1 0 2 0 0 9 -2 2.4"), 1);
    EXPECT_EQ(vals(pal.row<uint8_t>(0), 3), (V{3, 0, 2}));
    EXPECT_EQ(err(), "");
}

TEST_F(TextTest, EachOrderWordNestsItsAxes)
{
    MemImage img(IMG_MBIL, PIX_BYTE, 2, 3, 2);
    // BIPV: column, row, band, outermost first.
    ASSERT_EQ(parseASCIIData(img, "BIPV 1 2 0 1 0 1 1 2 3 4 5 6 7 8"), 1);
    float v[4];
    const int both[] = {0, 1};
    ramImageGetVector(img, 0, 1, 2, both, v);
    ramImageGetVector(img, 1, 0, 2, both, v + 2);
    EXPECT_EQ(vals(v, 4), (V{3, 4, 5, 6}));
    // BIL: startBand 1, 2 bands, x 1, y 1, width 2, height 1; row, band, column.
    ASSERT_EQ(parseASCIIData(img, "BIL 1 2 1 1 2 1 11 12 21 22"), 1);
    unsigned char b[3];
    ramImageGetBytes(img, 1, 0, 3, 1, b);
    EXPECT_EQ(vals(b, 3), (V{4, 21, 22}));
    // BIP: row, column, band; the values stop at a word that is no number.
    ASSERT_EQ(parseASCIIData(img, "BIP 1 2 0 0 2 1 31 41 32 x 99"), 1);
    ramImageGetBytes(img, 0, 0, 3, 1, b);
    EXPECT_EQ(vals(b, 3), (V{41, 32, 0}));
}

TEST_F(TextTest, AValueThatIsNotFiniteRefusesTheWholeText)
{
    MemImage img(IMG_MBSQ, PIX_FLOAT, 1, 3, 1);
    ASSERT_EQ(parseASCIIData(img, "BSQH 1 1 0 2 0 0 1 2 3"), 1);
    for (const char *text : {"BSQH 1 1 0 2 0 0 7 inf 9", "BSQH 1 1 0 2 0 0 nan", "BSQH 1 1 0 2 0 0 7 8 -Infinity",
                             "BSQ 1 1 0 0 3 1 7 1e39 9", "BSQ 1 1 0 0 3 1 -1e999"}) {
        testEval(interp, "set ::err {}");
        EXPECT_EQ(parseASCIIData(img, text), 0) << text;
        EXPECT_EQ(err(), "Error in parsing value\n") << text;
    }
    EXPECT_EQ(vals(img.row<float>(0), 3), (V{1, 2, 3}));  // nothing written
    ASSERT_EQ(parseASCIIData(img, "BSQH 1 1 0 2 0 0 0x10 .5 infx"), 1);  // a word that is no number ends the values
    EXPECT_EQ(vals(img.row<float>(0), 3), (V{16, 0.5, 0.5}));
}

TEST_F(TextTest, BadHeadersAreRefusedWithTheirMessage)
{
    MemImage img(IMG_MBSQ, PIX_BYTE, 2, 3, 1);
    struct Case {
        const char *text, *message;
    } cases[] = {
        {"FOO 1 1 0 0 1 1 5", "imgid must be BSQ or BIL or BIP\n"},
        {"BSQX 1 1 0 0 0 0 5", "imgid must be BSQH or BILH or BIPH or BSQV or BILV or BIPV\n"},
        {"", "imgid must be BSQH or BILH or BIPH or BSQV or BILV or BIPV\n"},
        {"BSQ 0 1 0 0 1 1 5", "Error in parsing startBand\n"},
        {"BSQ 1 2 0 0 1 1 5", "Error in parsing nbands\n"},
        {"BSQ 1 1 3 0 1 1 5", "Error in parsing x\n"},
        {"BSQ 1 1 0 a 1 1 5", "Error in parsing y\n"},
        {"BSQ 1 1 1 0 3 1 5", "Error in parsing width\n"},
        {"BSQ 1 1 0 1 1 2 5", "Error in parsing height\n"},
        {"BSQH 2 1 0 0 0 0 5", "Error in parsing b0\n"},
        {"BSQH 1 2 0 0 0 0 5", "Error in parsing b1\n"},
        {"BSQH 1 1 -1 0 0 0 5", "Error in parsing x0\n"},
        {"BSQH 1 1 0 3 0 0 5", "Error in parsing x1\n"},
        {"BSQH 1 1 0 0 2 0 5", "Error in parsing y0\n"},
        {"BSQH 1 1 0 0 0", "Error in parsing y1\n"},
    };
    for (const Case &c : cases) {
        testEval(interp, "set ::err {}");
        EXPECT_EQ(parseASCIIData(img, c.text), 0) << c.text;
        EXPECT_EQ(err(), c.message) << c.text;
    }
    EXPECT_EQ(img.row<uint8_t>(0)[0], 0);  // nothing written
}

}  // namespace
