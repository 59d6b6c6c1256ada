/*
 * The line walk of ramImageDrawLine: pixels worked out by hand (the longer
 * axis leads, y on a tie; halves round away from zero, so a walk and its
 * reverse differ), and clipping at the image's edges and far outside it.
 */
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <utility>
#include <vector>
#include "display/banddraw.h"
#include "imagestore/pixels.h"
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

}  // namespace
