/*
 * The line walk of ramImageDrawLine: pixels worked out by hand (the longer
 * axis leads, y on a tie; halves round away from zero, so a walk and its
 * reverse differ), clipping at the image's edges and far outside it, the
 * walk against the exact quotient on seeded lines, and images whose pixels
 * are no bytes or whose rows leave the cache.
 */
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>
#include "display/banddraw.h"
#include "imagestore/pixels.h"
#include "imagestore/ramimage.h"
#include "support/memimage.h"

namespace {

using Pixels = std::set<std::pair<int, int>>; /* (x, y) */

/* The pixels of band 0 that hold value. */
Pixels pixelsOf(RamImage *image, int value)
{
    Pixels out;
    std::vector<unsigned char> row(image->desc.columns);
    for (int y = 0; y < image->desc.rows; y++) {
        ramImageGetBytes(image, y, 0, image->desc.columns, 0, row.data());
        for (int x = 0; x < image->desc.columns; x++) {
            if (row[x] == value) {
                out.insert({x, y});
            }
        }
    }
    return out;
}

class LineWalk : public MemStoreTest {};

TEST_F(LineWalk, LongerAxisLeadsAndHalvesRoundAwayFromZero)
{
    MemImage image(IMG_MBSQ, PIX_BYTE, 8, 12, 1);
    EXPECT_EQ(ramImageDrawLine(image, 0, 7, 0, 0, 10, 5), 11);
    EXPECT_EQ(pixelsOf(image, 7),
              (Pixels{{0, 0}, {1, 1}, {2, 1}, {3, 2}, {4, 2}, {5, 3}, {6, 3}, {7, 4}, {8, 4}, {9, 5}, {10, 5}}));
    /* Walked back, y = 5 - i / 2 and -0.5 goes to -1. */
    EXPECT_EQ(ramImageDrawLine(image, 0, 8, 10, 5, 0, 0), 11);
    EXPECT_EQ(pixelsOf(image, 8),
              (Pixels{{10, 5}, {9, 4}, {8, 4}, {7, 3}, {6, 3}, {5, 2}, {4, 2}, {3, 1}, {2, 1}, {1, 0}, {0, 0}}));
    /* Steep: x = 5 + i / 4 rounded over y 7 down to 3. */
    EXPECT_EQ(ramImageDrawLine(image, 0, 2, 5, 7, 6, 3), 5);
    EXPECT_EQ(pixelsOf(image, 2), (Pixels{{5, 7}, {5, 6}, {6, 5}, {6, 4}, {6, 3}}));
    EXPECT_EQ(ramImageDrawLine(image, 0, 1, 0, 0, 3, 3), 4);
}

TEST_F(LineWalk, OnlyPixelsInsideTheImageAreWritten)
{
    MemImage image(IMG_MBSQ, PIX_BYTE, 6, 10, 1);
    EXPECT_EQ(ramImageDrawLine(image, 0, 9, -5, 2, 14, 2), 10);
    EXPECT_EQ(ramImageDrawLine(image, 0, 8, -3, -3, 3, 3), 4);
    EXPECT_EQ(pixelsOf(image, 8), (Pixels{{0, 0}, {1, 1}, {2, 2}, {3, 3}}));
    EXPECT_EQ(ramImageDrawLine(image, 0, 8, -20, 40, 30, 40), 0);
    EXPECT_EQ(ramImageDrawLine(image, 0, 8, 4, 4, 4, 4), 1);
    EXPECT_EQ(ramImageDrawLine(image, 0, 8, 10, 0, 10, 0), 0);
    EXPECT_EQ(ramImageDrawLine(image, 1, 8, 0, 0, 5, 0), 0);  // no second band
    /* Ends far outside: only the steps over the image are walked. */
    EXPECT_EQ(ramImageDrawLine(image, 0, 5, -2000000000, 5, 2000000000, 5), 10);
}

TEST_F(LineWalk, EndsAtTheIntLimitsRoundExactly)
{
    MemImage image(IMG_MBSQ, PIX_BYTE, 6, 10, 1);
    /* y = -2^30 + i (2^31 - 1) / (2^32 - 1) rounded, i = x + 2^31: worked
     * out in exact fractions; i times the rise passes 2^62. */
    EXPECT_EQ(ramImageDrawLine(image, 0, 3, INT32_MIN, -(1 << 30), INT32_MAX, (1 << 30) - 1), 10);
    EXPECT_EQ(pixelsOf(image, 3),
              (Pixels{{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}, {5, 2}, {6, 3}, {7, 3}, {8, 4}, {9, 4}}));
    /* Corner to corner: the diagonal through the image. */
    EXPECT_EQ(ramImageDrawLine(image, 0, 4, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX), 6);
    EXPECT_EQ(pixelsOf(image, 4), (Pixels{{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}}));
}

/* The pixels of the line by the quotient itself: step i of n on the
 * longer axis, i * dMinor / n rounded half away from zero (in 128 bits)
 * on the other, those inside columns x rows. */
Pixels quotientLine(int64_t x0, int64_t y0, int64_t x1, int64_t y1, int columns, int rows)
{
    int64_t dx = x1 - x0, dy = y1 - y0;
    bool xMajor = std::llabs(dx) > std::llabs(dy);
    int64_t n = std::max<int64_t>(std::max(std::llabs(dx), std::llabs(dy)), 1);
    Pixels out;
    for (int64_t k = 0; k < columns + rows; k++) {
        // Only steps whose longer-axis coordinate can be inside.
        int64_t i = xMajor ? (dx > 0 ? k - x0 : x0 - k) : (dy > 0 ? k - y0 : y0 - k);
        if (i < 0 || i > n || (dx == 0 && dy == 0 && k > 0)) {
            continue;
        }
        auto share = [&](int64_t d) {
            __int128 p = static_cast<__int128>(i) * d, m = p < 0 ? -p : p;
            auto q = static_cast<int64_t>((2 * m + n) / (2 * static_cast<__int128>(n)));
            return p < 0 ? -q : q;
        };
        int64_t x = x0 + share(dx), y = y0 + share(dy);
        if (x >= 0 && x < columns && y >= 0 && y < rows) {
            out.insert({static_cast<int>(x), static_cast<int>(y)});
        }
    }
    return out;
}

TEST_F(LineWalk, StepsMatchTheExactQuotientOnSeededLines)
{
    MemImage image(IMG_MBSQ, PIX_BYTE, 40, 60, 1);
    std::mt19937 random(47);
    std::uniform_int_distribution<int> near(-30, 90);
    std::uniform_int_distribution<int> far(INT32_MIN, INT32_MAX);
    const std::vector<unsigned char> zeros(60);
    for (int k = 0; k < 3000; k++) {
        /* Ends near the image, one or both anywhere in int. */
        int x0 = near(random), y0 = near(random), x1 = near(random), y1 = near(random);
        if (k % 3 == 1) {
            x1 = far(random);
        } else if (k % 3 == 2) {
            std::tie(x0, y0, x1, y1) = std::tuple(far(random), far(random), far(random), near(random));
        }
        for (int y = 0; y < 40; y++) {
            ramImagePutBytes(image, y, 0, 60, 0, zeros.data());
        }
        Pixels want = quotientLine(x0, y0, x1, y1, 60, 40);
        int written = ramImageDrawLine(image, 0, 255, x0, y0, x1, y1);
        ASSERT_EQ(pixelsOf(image, 255), want) << x0 << " " << y0 << " " << x1 << " " << y1;
        ASSERT_EQ(written, static_cast<int>(want.size()));
    }
}

TEST_F(LineWalk, FloatPixelsOtherBandsAndRowsThatLeaveTheCacheKeepTheLine)
{
    MemImage floats(IMG_MBSQ, PIX_FLOAT, 10, 10, 1);
    EXPECT_EQ(ramImageDrawLine(floats, 0, 200, 1, 0, 3, 9), 10);
    float at[2] = {};
    ramImageGetFloat(floats, 9, 2, 2, 0, at);
    EXPECT_EQ(at[0], 0.0f);
    EXPECT_EQ(at[1], 200.0f);

    /* The second band of a memory image, the first left alone. */
    MemImage bands(IMG_MBSQ, PIX_BYTE, 4, 4, 2);
    EXPECT_EQ(ramImageDrawLine(bands, 1, 9, 0, 0, 3, 3), 4);
    unsigned char second[4] = {}, first[4] = {};
    ramImageGetBytes(bands, 2, 0, 4, 1, second);
    ramImageGetBytes(bands, 2, 0, 4, 0, first);
    EXPECT_EQ(std::vector<unsigned char>(second, second + 4), (std::vector<unsigned char>{0, 0, 9, 0}));
    EXPECT_EQ(pixelsOf(bands, 9), Pixels{});

    /* A file image holding two rows at a time: rows written back as the
     * walk moves on. */
    char folder[] = "/tmp/teskbanddrawXXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    std::string file = std::string(folder) + "/walk.lan";
    ImageDesc d;
    imgDescInit(&d);
    std::snprintf(d.file, sizeof d.file, "%s", file.c_str());
    std::tie(d.imgid, d.pixel, d.nbands, d.rows, d.columns, d.offset, d.transparent) =
        std::tuple(IMG_E74, PIX_BYTE, 1, 30, 8, 128, -1);
    int error = RAMIMG_OK;
    RamImage *image = ramImageCreate(&d, nullptr, 1, &error);
    ASSERT_NE(image, nullptr) << ramImageErrorText(error);
    ASSERT_EQ(ramImageResizeCache(image, 2), 2);
    EXPECT_EQ(ramImageDrawLine(image, 0, 6, 0, 0, 7, 29), 30);
    EXPECT_EQ(pixelsOf(image, 6), quotientLine(0, 0, 7, 29, 8, 30));
    ramImageRelease(image, nullptr);
    std::remove(file.c_str());
    rmdir(folder);
}

}  // namespace
