/*
 * rimage georef on memory images: blocks halved down to single pixels by a
 * lowered window limit give the whole block's pixels in every resampling
 * routine, and a power-2 file samples where its polynomials point.
 */
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <unistd.h>
#include <vector>
#include "analysis/georect.h"
#include "analysis/tools/georef.h"
#include "analysis/tools/tools.h"
#include "imagestore/pixels.h"
#include "support/memimage.h"

namespace {

using GeorefTest = MemStoreTest;

/* Band 0 row by row; with fill, first set to a pattern (fractions in FLOAT) or to 7s. */
std::vector<float> pixels(RamImage *image, bool fill = false, bool pattern = false)
{
    int rows = image->desc.rows, columns = image->desc.columns;
    std::vector<float> out(static_cast<size_t>(rows) * columns);
    for (int r = 0; r < rows; r++) {
        float *row = out.data() + static_cast<size_t>(r) * columns;
        if (!fill) {
            ramImageGetFloat(image, r, 0, columns, 0, row);
            continue;
        }
        for (int c = 0; c < columns; c++) {
            row[c] = !pattern ? 7.0f
                              : static_cast<float>((r * 37 + c * 11 + (r * c) % 7 * 13) % 256) +
                                    (image->desc.pixel == PIX_FLOAT ? 0.25f * (c % 3) : 0.0f);
        }
        ramImagePutFloat(image, r, 0, columns, 0, row);
    }
    return out;
}

/* A 37 x 45 output of 7s after georef of input with words at the window limit. */
std::vector<float> runInto(RamImage *input, int outPixel, std::vector<std::string> words, long limit)
{
    MemImage output(IMG_MBIL, outPixel, 37, 45, 1);
    pixels(output, true);
    georefSetWindowLimit(limit);
    words.insert(words.begin(), {"-in", input->tag, "-out", output->tag});
    std::vector<const char *> argv;
    for (const std::string &w : words) {
        argv.push_back(w.c_str());
    }
    EXPECT_EQ(rimageGeorefMain("rimage georef", static_cast<int>(argv.size()), argv.data()), 1);
    georefSetWindowLimit(0);
    return pixels(output);
}

TEST_F(GeorefTest, HalvedBlocksGiveTheSamePixelsInEveryRoutine)
{
    struct {
        int inPixel, outPixel;
        const char *method;
    } cases[] = {
        {PIX_BYTE, PIX_BYTE, "NN"},   {PIX_BYTE, PIX_BYTE, "BI"},  {PIX_BYTE, PIX_FLOAT, "BI"},
        {PIX_FLOAT, PIX_FLOAT, "BI"}, {PIX_FLOAT, PIX_BYTE, "NN"},
    };
    for (const auto &k : cases) {
        SCOPED_TRACE(std::string(pixelIdName(k.inPixel)) + " to " + pixelIdName(k.outPixel) + " " + k.method);
        MemImage input(IMG_MBIL, k.inPixel, 41, 33, 1);
        pixels(input, true, true);
        std::vector<std::string> words = {"-p", "@30,1.2,2,-3", "-rs", k.method, "-sr", "2", "-c", "40"};
        std::vector<float> whole = runInto(input, k.outPixel, words, 0);
        long kept = std::count(whole.begin(), whole.end(), 7.0f);  // their source is outside the input
        EXPECT_GT(kept, 40);
        EXPECT_LT(kept, static_cast<long>(whole.size()) / 2);
        for (long limit : {300L, 1L}) {
            EXPECT_EQ(runInto(input, k.outPixel, words, limit), whole) << "limit " << limit;
        }
    }
}

TEST_F(GeorefTest, PowerTwoFileSamplesWhereItsPolynomialsPoint)
{
    // Over u = x - 1, v = y + 2 (output columns x, rows y), in the terms 1, u, v, u^2, u v, v^2:
    const double jCoef[6] = {3.1, 0.9137, 0.0213, 0.00417, 0.0, 0.0};
    const double iCoef[6] = {2.3, 0.0531, 0.8123, 0.0, 0.00097, 0.00291};
    std::string file = ::testing::TempDir() + "georef-" + std::to_string(getpid()) + ".grh";
    ASSERT_EQ(writeGeorect(file.c_str(), 1.0, -2.0, 0.0, 0.0, 6, 2, iCoef, jCoef), 1);
    MemImage input(IMG_MBIL, PIX_BYTE, 41, 33, 1);
    std::vector<float> in = pixels(input, true, true);
    std::vector<float> got = runInto(input, PIX_BYTE, {"-p", file, "-ov", "Y"}, 0);
    for (int y = 0; y < 37; y++) {
        for (int x = 0; x < 45; x++) {
            double u = x - 1.0, v = y + 2.0;
            double j = std::floor(3.1 + 0.9137 * u + 0.0213 * v + 0.00417 * u * u + 0.5);
            double i = std::floor(2.3 + 0.0531 * u + 0.8123 * v + 0.00097 * u * v + 0.00291 * v * v + 0.5);
            float want = j >= 0 && j < 33 && i >= 0 && i < 41 ? in[static_cast<size_t>(i * 33 + j)] : 7.0f;
            ASSERT_EQ(got[static_cast<size_t>(y) * 45 + x], want) << "x " << x << " y " << y;
        }
    }
    EXPECT_EQ(runInto(input, PIX_BYTE, {"-p", file, "-ov", "Y"}, 1), got);  // halves of a curved map agree
    unlink(file.c_str());
}

}  // namespace
