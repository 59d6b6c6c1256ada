/*
 * Band statistics and histograms: accumulation by pixel type, the
 * per-image statistics kept by the store, palette-weighted band statistics
 * and statistics under a mask. Expected values come from direct loops over
 * the pixels the tests wrote.
 */
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>
#include "imagestore/ramimage.h"
#include "imagestore/rowcache.h"
#include "imagestore/stats.h"
#include "support/memimage.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

/* Statistics of a list of values as computed by hand (population deviation). */
struct Expected {
    double count = 0, sum = 0, min = kInf, max = -kInf, mean = 0, std = 0;
    explicit Expected(const std::vector<double> &values)
    {
        for (double v : values) {
            count += 1;
            sum += v;
            min = std::min(min, v);
            max = std::max(max, v);
        }
        if (count > 0) {
            mean = sum / count;
            for (double v : values) {
                std += (v - mean) * (v - mean);
            }
            std = std::sqrt(std / count);
        }
    }
};

void expectStat(const BandStat &stat, const std::vector<double> &values, const char *what)
{
    Expected e(values);
    EXPECT_EQ(stat.count, e.count) << what;
    EXPECT_NEAR(stat.sum, e.sum, 1e-9 * (1 + std::fabs(e.sum))) << what;
    EXPECT_EQ(stat.min, e.min) << what;
    EXPECT_EQ(stat.max, e.max) << what;
    EXPECT_NEAR(stat.mean, e.mean, 1e-9 * (1 + std::fabs(e.mean))) << what;
    EXPECT_NEAR(stat.std, e.std, 1e-6) << what;
}

template <typename T>
std::vector<uint8_t> bytesOf(const std::vector<T> &values)
{
    std::vector<uint8_t> bytes(values.size() * sizeof(T));
    std::memcpy(bytes.data(), values.data(), bytes.size());
    return bytes;
}

/* A fresh record accumulated from one run and finished (bins dropped). */
BandStat runStats(int pixel, const std::vector<uint8_t> &row, int n, int step, int msbf = 0)
{
    BandStat *stat = createHist(1, binsForPixel(pixel));
    histAccumulate(stat, pixel, n, step, row.data(), msbf);
    statFinish(stat);
    BandStat copy = *stat;
    copy.bins = nullptr;
    freeHist(stat, 1);
    return copy;
}

TEST(BandStatTest, EveryPixelTypeReadsItsOwnRange)
{
    struct Case {
        int pixel;
        std::vector<uint8_t> row;
        std::vector<double> values;
    } cases[] = {
        {PIX_BYTE, {0, 255, 128}, {0, 255, 128}},
        {PIX_SBYTE, bytesOf<int8_t>({-128, 127, -1}), {-128, 127, -1}},
        {PIX_SHORT, bytesOf<int16_t>({10, 5, 3}), {10, 5, 3}},
        {PIX_SHORT, bytesOf<int16_t>({-4, -32768, -2}), {-4, -32768, -2}},
        {PIX_USHORT, bytesOf<uint16_t>({65535, 0, 40000}), {65535, 0, 40000}},
        {PIX_LONG, bytesOf<int32_t>({INT32_MIN, INT32_MAX, -7}), {INT32_MIN, INT32_MAX, -7}},
        {PIX_ULONG, bytesOf<uint32_t>({4000000000u, 1u, 0u}), {4000000000.0, 1, 0}},
        {PIX_FLOAT, bytesOf<float>({-1.5f, 2.25f, 1e6f}), {-1.5, 2.25, 1e6}},
    };
    for (const Case &c : cases) {
        BandStat s = runStats(c.pixel, c.row, 3, 1);
        expectStat(s, c.values, fmt("pixel %d", c.pixel));
        double sumsq = 0;
        for (double v : c.values) {
            sumsq += v * v;
        }
        EXPECT_DOUBLE_EQ(s.sumsq, sumsq) << c.pixel;
    }
    // Nothing from an unknown type or an empty run; an empty record finishes to 0.
    BandStat s = runStats(PIX_UNKNOWN, {1, 2, 3}, 3, 1);
    EXPECT_EQ(s.count, 0);
    EXPECT_EQ(s.min, kInf);
    s = runStats(PIX_BYTE, {1, 2, 3}, 0, 1);
    EXPECT_EQ(s.count, 0);
    EXPECT_EQ(s.mean, 0);
    EXPECT_EQ(s.std, 0);
    // Column step 2 over five samples takes three.
    s = runStats(PIX_BYTE, {1, 2, 3, 4, 5}, 5, 2);
    EXPECT_EQ(s.count, 3);
    EXPECT_EQ(s.sum, 1 + 3 + 5);
}

TEST(BandStatTest, VarianceBelowZeroByRoundingGivesZeroDeviation)
{
    BandStat s{};
    for (int i = 0; i < 3; i++) {  // three values 0.1: the variance rounds below zero
        s.count += 1;
        s.sum += 0.1;
        s.sumsq += 0.1 * 0.1;
    }
    ASSERT_LT(s.sumsq / s.count - (s.sum / s.count) * (s.sum / s.count), 0.0);
    statFinish(&s);
    EXPECT_EQ(s.std, 0.0);
}

/* Pixels of a packed run, read off the sums of its first 1, 2, ... samples. */
std::vector<int> packedPixels(int pixel, const std::vector<uint8_t> &row, int n, int msbf)
{
    std::vector<int> pixels;
    double before = 0;
    for (int k = 1; k <= n; k++) {
        double sum = runStats(pixel, row, k, 1, msbf).sum;
        pixels.push_back(static_cast<int>(sum - before));
        before = sum;
    }
    return pixels;
}

TEST(BandStatTest, PackedPixelsFollowTheBitAndNibbleOrderOfMsbf)
{
    EXPECT_EQ(packedPixels(PIX_1BIT, {0x05}, 8, 0), (std::vector<int>{1, 0, 1, 0, 0, 0, 0, 0}));
    EXPECT_EQ(packedPixels(PIX_1BIT, {0x05}, 8, 1), (std::vector<int>{0, 0, 0, 0, 0, 1, 0, 1}));
    EXPECT_EQ(packedPixels(PIX_4BITS, {0x3A, 0x5C}, 4, 0), (std::vector<int>{10, 3, 12, 5}));
    EXPECT_EQ(packedPixels(PIX_4BITS, {0x3A, 0x5C}, 4, 1), (std::vector<int>{3, 10, 5, 12}));
}

/* Band-sequential memory images, released at the end of each test. */
class ImageStatsTest : public MemStoreTest {
protected:
    /* A byte pixel value that differs by row, column and band. */
    static int pixelAt(int r, int c, int b) { return (r * 37 + c * 11 + b * 90) % 256; }

    static void fill(RamImage *img)
    {
        for (int b = 0; b < img->desc.nbands; b++) {
            for (int r = 0; r < img->desc.rows; r++) {
                std::vector<uint8_t> row(img->desc.columns);
                for (int c = 0; c < img->desc.columns; c++) {
                    row[c] = static_cast<uint8_t>(pixelAt(r, c, b));
                }
                memImageStore(img, r, b, row);
            }
        }
    }
};

TEST_F(ImageStatsTest, ByteImageStatisticsAndHistogramsOfEveryBandAtEverySampling)
{
    RamImage *img = makeMemImage(IMG_MBSQ, PIX_BYTE, 9, 13, 3);
    ASSERT_NE(img, nullptr);
    fill(img);
    for (auto step : {std::pair{1, 1}, std::pair{2, 3}, std::pair{13, 9}}) {
        BandStat *stats = ramImageHist(img, 2, step.first, step.second);
        ASSERT_NE(stats, nullptr);
        EXPECT_EQ(stats, img->stats);
        for (int b = 0; b < 3; b++) {
            std::vector<double> values;
            std::vector<uint32_t> bins(256);
            for (int r = 0; r < 9; r += step.second) {
                for (int c = 0; c < 13; c += step.first) {
                    values.push_back(pixelAt(r, c, b));
                    bins[pixelAt(r, c, b)]++;
                }
            }
            expectStat(stats[b], values, fmt("band %d steps %d %d", b, step.first, step.second));
            EXPECT_TRUE(stats[b].done);
            ASSERT_EQ(stats[b].nBins, 256);
            EXPECT_EQ(std::vector<uint32_t>(stats[b].bins, stats[b].bins + 256), bins);
        }
    }
}

TEST_F(ImageStatsTest, ModeZeroReusesFinishedBandsAndModeTwoRecomputes)
{
    RamImage *img = makeMemImage(IMG_MBSQ, PIX_BYTE, 2, 2, 2);
    ASSERT_NE(img, nullptr);
    memImageStore(img, 0, 0, {1, 2});
    memImageStore(img, 1, 0, {3, 4});
    memImageStore(img, 0, 1, {5, 5});
    memImageStore(img, 1, 1, {6, 6});
    BandStat *stats = ramImageHist(img, 0, 1, 1);
    ASSERT_NE(stats, nullptr);

    // Both bands change; a tool resets band 1 only.
    memImageStore(img, 0, 0, {100, 100});
    memImageStore(img, 0, 1, {8, 8});
    statReset(&stats[1]);
    EXPECT_EQ(ramImageHist(img, 0, 1, 1), stats);
    expectStat(stats[0], {1, 2, 3, 4}, "band 0 reused");
    expectStat(stats[1], {8, 8, 6, 6}, "band 1 again");

    // A band left not done after a partial pass does not count twice.
    stats[1].done = 0;
    stats = ramImageHist(img, 1, 1, 1);
    expectStat(stats[1], {8, 8, 6, 6}, "band 1 not done");
    EXPECT_EQ(stats[1].bins[8], 2u);

    stats = ramImageHist(img, 2, 1, 1);
    expectStat(stats[0], {100, 100, 3, 4}, "band 0 recomputed");
    EXPECT_EQ(stats[0].bins[1], 0u);
}

TEST_F(ImageStatsTest, PackedImagesFollowTheirDescriptorsBitOrder)
{
    // Two rows of 13 pixels: bytes written, pixel values by the row layout.
    const std::vector<uint8_t> bitRows[2] = {{0x5B, 0x13}, {0xC4, 0x1E}};
    const std::vector<uint8_t> nibbleRows[2] = {{0x1F, 0x3E, 0x5D, 0x7C, 0x9B, 0xBA, 0xD9},
                                                {0x02, 0x46, 0x8A, 0xCE, 0x13, 0x57, 0x9B}};
    for (int msbf = 0; msbf <= 1; msbf++) {
        RamImage *bits = makeMemImage(IMG_MBSQ, PIX_1BIT, 2, 13, 1, msbf);
        RamImage *nibbles = makeMemImage(IMG_MBSQ, PIX_4BITS, 2, 13, 1, msbf);
        ASSERT_NE(bits, nullptr);
        ASSERT_NE(nibbles, nullptr);
        for (int r = 0; r < 2; r++) {
            memImageStore(bits, r, 0, bitRows[r]);
            memImageStore(nibbles, r, 0, nibbleRows[r]);
        }
        for (int step = 1; step <= 3; step++) {
            std::vector<double> bitValues, nibbleValues;
            for (int r = 0; r < 2; r++) {
                for (int x = 0; x < 13; x += step) {
                    bitValues.push_back((bitRows[r][x / 8] >> (msbf ? 7 - x % 8 : x % 8)) & 1);
                    uint8_t byte = nibbleRows[r][x / 2];
                    nibbleValues.push_back((x % 2 == 0) == (msbf != 0) ? byte >> 4 : byte & 15);
                }
            }
            BandStat *bs = ramImageHist(bits, 2, step, 1);
            BandStat *ns = ramImageHist(nibbles, 2, step, 1);
            ASSERT_NE(bs, nullptr);
            ASSERT_NE(ns, nullptr);
            expectStat(bs[0], bitValues, fmt("1BIT msbf %d step %d", msbf, step));
            expectStat(ns[0], nibbleValues, fmt("4BITS msbf %d step %d", msbf, step));
            ASSERT_EQ(bs[0].nBins, 2);
            EXPECT_EQ(bs[0].bins[1], static_cast<uint32_t>(Expected(bitValues).sum));
            ASSERT_EQ(ns[0].nBins, 16);
            EXPECT_EQ(ns[0].bins[static_cast<int>(nibbleValues[0])],
                      std::count(nibbleValues.begin(), nibbleValues.end(), nibbleValues[0]));
        }
    }
}

TEST_F(ImageStatsTest, BandStatsOfAPlainImageTakeTheBandModuloTheBandCount)
{
    RamImage *img = makeMemImage(IMG_MBSQ, PIX_BYTE, 4, 5, 2);
    ASSERT_NE(img, nullptr);
    fill(img);
    for (int band : {1, 2, 3, -1}) {
        int b = (band < 0 ? 0 : band) % 2;
        std::vector<double> values;
        for (int r = 0; r < 4; r++) {
            for (int c = 0; c < 5; c++) {
                values.push_back(pixelAt(r, c, b));
            }
        }
        Expected e(values);
        double std = -1, mean = -1, min = -1, max = -1;
        ASSERT_EQ(ramImageBandStats(img, band, &std, &mean, &min, &max), 1);
        EXPECT_NEAR(mean, e.mean, 1e-9) << band;
        EXPECT_NEAR(std, e.std, 1e-9) << band;
        EXPECT_EQ(min, e.min) << band;
        EXPECT_EQ(max, e.max) << band;
    }
    EXPECT_EQ(ramImageBandStats(img, 1, nullptr, nullptr, nullptr, nullptr), 1);
}

TEST_F(ImageStatsTest, PaletteImagesWeighTheirColoursByTheIndexHistogram)
{
    RamImage *img = makeMemImage(IMG_MBSQ, PIX_BYTE, 2, 4, 1);
    ASSERT_NE(img, nullptr);
    img->desc.nindices = 3;
    const uint8_t colours[3][3] = {{10, 20, 30}, {40, 0, 5}, {200, 100, 50}};
    std::memcpy(img->desc.palette, colours, sizeof colours);
    const std::vector<uint8_t> rows[2] = {{0, 1, 1, 2}, {2, 2, 0, 1}};
    memImageStore(img, 0, 0, rows[0]);
    memImageStore(img, 1, 0, rows[1]);
    for (int band : {0, 1, 2, 4}) {
        int c = band % 3;
        std::vector<double> values, entries;
        for (const auto &row : rows) {
            for (uint8_t index : row) {
                values.push_back(colours[index][c]);
            }
        }
        for (int i = 0; i < 256; i++) {  // bounds over every entry, used or not
            entries.push_back(img->desc.palette[i][c]);
        }
        double std, mean, min, max;
        ASSERT_EQ(ramImageBandStats(img, band, &std, &mean, &min, &max), 1);
        EXPECT_NEAR(mean, Expected(values).mean, 1e-9) << band;
        EXPECT_NEAR(std, Expected(values).std, 1e-9) << band;
        EXPECT_EQ(min, Expected(entries).min) << band;
        EXPECT_EQ(max, Expected(entries).max) << band;
    }
    // A negative band asks for the indices themselves.
    double mean;
    ASSERT_EQ(ramImageBandStats(img, -1, nullptr, &mean, nullptr, nullptr), 1);
    EXPECT_EQ(mean, (0 + 1 + 1 + 2 + 2 + 2 + 0 + 1) / 8.0);

    // A grey palette spans 0 to 255 whatever the pixels.
    img->desc.nindices = 256;
    for (int i = 0; i < 3; i++) {
        img->desc.palette[i][0] = img->desc.palette[i][1] = img->desc.palette[i][2] = static_cast<uint8_t>(i);
    }
    memImageStore(img, 0, 0, {7, 7, 7, 7});
    memImageStore(img, 1, 0, {7, 7, 7, 7});
    double std, min, max;
    ASSERT_NE(ramImageHist(img, 2, 1, 1), nullptr);
    ASSERT_EQ(ramImageBandStats(img, 0, &std, &mean, &min, &max), 1);
    EXPECT_EQ(mean, 7);
    EXPECT_EQ(std, 0);
    EXPECT_EQ(min, 0);
    EXPECT_EQ(max, 255);
}

/* A mask smaller than the image: pixels beyond it count as zero. */
constexpr int kRows = 6, kColumns = 7, kMaskRows = 5, kMaskColumns = 6;

int maskAt(int r, int c)
{
    return r >= kMaskRows || c >= kMaskColumns || (r * 5 + c * 3) % 4 == 0 ? 0 : r + c;
}

class MaskedStatsTest : public ImageStatsTest {
protected:
    RamImage *mask = nullptr;

    void SetUp() override
    {
        mask = makeMemImage(IMG_MBSQ, PIX_BYTE, kMaskRows, kMaskColumns, 1);
        ASSERT_NE(mask, nullptr);
        for (int r = 0; r < kMaskRows; r++) {
            std::vector<uint8_t> row(kMaskColumns);
            for (int c = 0; c < kMaskColumns; c++) {
                row[c] = static_cast<uint8_t>(maskAt(r, c));
            }
            memImageStore(mask, r, 0, row);
        }
    }

    template <typename F>
    static std::vector<double> masked(int columnStep, int rowStep, F value)
    {
        std::vector<double> values;
        for (int r = 0; r < kRows; r += rowStep) {
            for (int c = 0; c < kColumns; c += columnStep) {
                if (maskAt(r, c) != 0) {
                    values.push_back(value(r, c));
                }
            }
        }
        return values;
    }
};

TEST_F(MaskedStatsTest, ByteImagesKeepTheirBinsAndKeepDecidesWhoOwnsTheResult)
{
    RamImage *img = makeMemImage(IMG_MBSQ, PIX_BYTE, kRows, kColumns, 2);
    ASSERT_NE(img, nullptr);
    fill(img);
    BandStat *own = ramImageHist(img, 0, 1, 1);
    double ownSum = own[1].sum;
    for (auto step : {std::pair{1, 1}, std::pair{2, 1}, std::pair{3, 2}}) {
        BandStat *stats = ramImageHistWithMask(img, mask, step.first, step.second, 0);
        ASSERT_NE(stats, nullptr);
        for (int b = 0; b < 2; b++) {
            auto values = masked(step.first, step.second, [b](int r, int c) { return pixelAt(r, c, b); });
            expectStat(stats[b], values, fmt("band %d steps %d %d", b, step.first, step.second));
            EXPECT_TRUE(stats[b].done);
            EXPECT_EQ(stats[b].bins[static_cast<int>(values[0])], std::count(values.begin(), values.end(), values[0]));
        }
        freeHist(stats, 2);
    }
    EXPECT_EQ(img->stats, own);
    EXPECT_EQ(own[1].sum, ownSum);

    BandStat *kept = ramImageHistWithMask(img, mask, 1, 1, 1);
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(img->stats, kept);
    EXPECT_EQ(ramImageHist(img, 0, 1, 1), kept);
    expectStat(kept[0], masked(1, 1, [](int r, int c) { return pixelAt(r, c, 0); }), "kept");
}

TEST_F(MaskedStatsTest, WideImagesAreReadAsValuesNotBytes)
{
    RamImage *img = makeMemImage(IMG_MBSQ, PIX_SHORT, kRows, kColumns, 1);
    ASSERT_NE(img, nullptr);
    auto value = [](int r, int c) { return (r - 3) * 1000 + c * 7; };
    for (int r = 0; r < kRows; r++) {
        std::vector<int16_t> row(kColumns);
        for (int c = 0; c < kColumns; c++) {
            row[c] = static_cast<int16_t>(value(r, c));
        }
        memImageStore(img, r, 0, bytesOf(row));
    }
    BandStat *stats = ramImageHistWithMask(img, mask, 1, 1, 0);
    ASSERT_NE(stats, nullptr);
    expectStat(stats[0], masked(1, 1, value), "short");
    freeHist(stats, 1);

    // No sampled pixel under the mask: empty, finished records.
    ASSERT_TRUE(masked(4, 4, value).empty());
    stats = ramImageHistWithMask(img, mask, 4, 4, 0);
    ASSERT_NE(stats, nullptr);
    EXPECT_EQ(stats[0].count, 0);
    EXPECT_EQ(stats[0].mean, 0);
    EXPECT_EQ(stats[0].std, 0);
    EXPECT_TRUE(stats[0].done);
    freeHist(stats, 1);
}

}  // namespace
