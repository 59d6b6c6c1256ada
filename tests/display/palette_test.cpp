/*
 * Palettes and colour cells: the dithering level tables, the grey ramps and
 * colour cubes, the allocation of cells with the reduction of a cube that
 * does not fit, and the lookup tables that give each channel its share of
 * the cube index. Level values are worked out by hand from the step
 * 256 / (n - 1); allocation runs against the Tk display's TrueColor
 * colormap, whose pixels follow from the visual's masks.
 */
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>
#include <tk.h>
#include "display/gimg.h"
#include "support/memimage.h"
#include "support/test_interp.h"
#include "tesk_image.h"

namespace {

using Bytes = std::vector<int>;

/* The levels of 8, 7, 6 and 4 steps, by hand: nearest(k * 256 / (n - 1)),
 * the last one limited to 255. */
const Bytes kLevels8 = {0, 37, 73, 110, 146, 183, 219, 255};
const Bytes kLevels7 = {0, 43, 85, 128, 171, 213, 255};
const Bytes kLevels6 = {0, 51, 102, 154, 205, 255};
const Bytes kLevels4 = {0, 85, 171, 255};

Bytes firstLevels(const unsigned char *levels, int n)
{
    return Bytes(levels, levels + n);
}

TEST(LevelTables, EightLevelsQuantiseToTheNearestStep)
{
    signed char error[256];
    unsigned char levels[256] = {};
    unsigned char index[256];
    levelTables(error, levels, 8, index, 32);
    EXPECT_EQ(firstLevels(levels, 8), kLevels8);
    // 18 lies just below half a step (18.29) and stays at 0; 19 goes up to 37.
    EXPECT_EQ(error[18], 18);
    EXPECT_EQ(index[18], 0);
    EXPECT_EQ(error[19], 19 - 37);
    EXPECT_EQ(index[19], 32);
    // Half-way between 37 and 73 is 54.86: 54 belongs to 37, 55 to 73.
    EXPECT_EQ(error[54], 54 - 37);
    EXPECT_EQ(error[55], 55 - 73);
    EXPECT_EQ(index[55], 64);
    EXPECT_EQ(error[255], 0);
    EXPECT_EQ(index[255], 7 * 32);
    EXPECT_EQ(error[0], 0);
    EXPECT_EQ(index[0], 0);
}

TEST(LevelTables, TwoLevelsSplitAtTheMiddle)
{
    signed char error[256];
    unsigned char levels[256] = {};
    unsigned char index[256];
    levelTables(error, levels, 2, index, 1.5);
    EXPECT_EQ(firstLevels(levels, 2), (Bytes{0, 255}));
    EXPECT_EQ(error[127], 127);
    EXPECT_EQ(index[127], 0);
    EXPECT_EQ(error[128], 128 - 255);
    EXPECT_EQ(index[128], 2);  // nearest(1 * 1.5), the half away from zero
}

TEST(LevelTables, TwoHundredFiftySixLevelsAreTheValuesThemselves)
{
    signed char error[256];
    unsigned char levels[256] = {};
    unsigned char index[256];
    levelTables(error, levels, 256, index, 1);
    for (int v = 0; v < 256; v++) {
        ASSERT_EQ(error[v], 0) << v;
        ASSERT_EQ(index[v], v) << v;
        ASSERT_EQ(levels[v], v) << v;
    }
}

TEST(LevelTables, OneLevelSetsOnlyTheFirstErrorEntry)
{
    signed char error[256];
    unsigned char index[256];
    std::memset(error, 9, sizeof error);
    std::memset(index, 9, sizeof index);
    levelTables(error, nullptr, 1, index, 1);
    EXPECT_EQ(error[0], 0);
    EXPECT_EQ(error[1], 9);
    EXPECT_EQ(index[0], 9);
    levelTables(error, nullptr, 0, index, 1);  // no levels at all: the same, no division by zero
    EXPECT_EQ(error[1], 9);
}

/* The entries of a ramp or cube as {r, g, b} triplets. */
std::vector<std::array<int, 3>> cube(int grey, int red, int green, int blue, int *n)
{
    unsigned char rgb[256 * 3];
    *n = buildColorCube(rgb, grey, red, green, blue);
    std::vector<std::array<int, 3>> out;
    for (int i = 0; i < *n; i++) {
        out.push_back({rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]});
    }
    return out;
}

using Rgb = std::array<int, 3>;

TEST(BuildColorCube, TwentyEightGreysRunFromBlackToWhite)
{
    int n = 0;
    auto entries = cube(28, 0, 0, 0, &n);
    ASSERT_EQ(n, 28);
    EXPECT_EQ(entries[0], (Rgb{0, 0, 0}));
    EXPECT_EQ(entries[1], (Rgb{9, 9, 9}));         // 256 / 27 = 9.48
    EXPECT_EQ(entries[14], (Rgb{133, 133, 133}));  // 14 * 9.48 = 132.7
    EXPECT_EQ(entries[27], (Rgb{255, 255, 255}));
    for (int i = 1; i < n; i++) {
        EXPECT_GT(entries[i][0], entries[i - 1][0]);
    }
}

TEST(BuildColorCube, EightEightFourFillsTwoHundredFiftySixEntriesRedSlowest)
{
    int n = 0;
    auto entries = cube(0, 8, 8, 4, &n);
    ASSERT_EQ(n, 256);
    EXPECT_EQ(entries[0], (Rgb{0, 0, 0}));
    EXPECT_EQ(entries[1], (Rgb{0, 0, 85}));
    EXPECT_EQ(entries[3], (Rgb{0, 0, 255}));
    EXPECT_EQ(entries[4], (Rgb{0, 37, 0}));
    EXPECT_EQ(entries[32], (Rgb{37, 0, 0}));
    EXPECT_EQ(entries[3 * 32 + 5 * 4 + 2], (Rgb{kLevels8[3], kLevels8[5], kLevels4[2]}));
    EXPECT_EQ(entries[255], (Rgb{255, 255, 255}));
}

TEST(BuildColorCube, AChannelOfOneLevelStaysDark)
{
    int n = 0;
    auto entries = cube(0, 1, 2, 1, &n);
    ASSERT_EQ(n, 2);
    EXPECT_EQ(entries[0], (Rgb{0, 0, 0}));
    EXPECT_EQ(entries[1], (Rgb{0, 255, 0}));
}

TEST(BuildColorCube, OtherCombinationsGiveNothing)
{
    unsigned char rgb[256 * 3];
    EXPECT_EQ(buildColorCube(rgb, 0, 8, 8, 8), 0);  // 512 entries
    EXPECT_EQ(buildColorCube(rgb, 257, 0, 0, 0), 0);
    EXPECT_EQ(buildColorCube(rgb, 28, 8, 8, 4), 0);  // grey and colour at once
    EXPECT_EQ(buildColorCube(rgb, 0, 8, 0, 4), 0);
    EXPECT_EQ(buildColorCube(rgb, 0, 0, 0, 0), 0);
    EXPECT_EQ(buildColorCube(rgb, -1, 0, 0, 0), 0);
    EXPECT_EQ(buildColorCube(rgb, 256, 0, 0, 0), 256);
}

/* ---- allocation: the Tk display's TrueColor colormap ---- */

class Allocation : public ::testing::Test {
protected:
    void SetUp() override
    {
        Tcl_Interp *interp = testTkInterp();
        ASSERT_NE(interp, nullptr);
        Tk_Window main = Tk_MainWindow(interp);
        ASSERT_NE(main, nullptr);
        display = Tk_Display(main);
        visual = Tk_Visual(main);
        colormap = Tk_Colormap(main);
        if (visual->c_class != TrueColor || visual->red_mask != 0xff0000 || visual->green_mask != 0xff00 ||
            visual->blue_mask != 0xff) {
            GTEST_SKIP() << "needs a 24-bit TrueColor screen";
        }
        master = std::make_unique<GimgMaster>();
        std::memset(master.get(), 0, sizeof(GimgMaster));
        master->display = display;
        master->colormap = colormap;
        master->visual = visual;
        master->depth = 8;  // taken for an 8-bit screen: cells are allocated
    }

    void TearDown() override
    {
        if (master != nullptr) {
            gimgFreeColors(master.get());
        }
    }

    void setCounts(int grey, int red, int green, int blue)
    {
        master->colours.palette[0] = grey;
        master->colours.palette[1] = red;
        master->colours.palette[2] = green;
        master->colours.palette[3] = blue;
    }

    static unsigned long pixelOf(int r, int g, int b)
    {
        return static_cast<unsigned long>(r) << 16 | static_cast<unsigned long>(g) << 8 | b;
    }

    Display *display = nullptr;
    Visual *visual = nullptr;
    Colormap colormap = None;
    std::unique_ptr<GimgMaster> master;
};

TEST_F(Allocation, ADeepScreenAllocatesNothing)
{
    master->depth = 24;
    setCounts(0, 8, 8, 4);
    truePalette(master.get());
    EXPECT_EQ(master->colours.nCells, 0);
    EXPECT_EQ(master->colours.cells, nullptr);
}

TEST_F(Allocation, EightEightEightIsReducedOneStepAtATimeToSixSixSeven)
{
    // 7/8/8 (448), 7/7/8 (392), 7/7/7 (343), 6/7/7 (294), 6/6/7 (252).
    setCounts(0, 8, 8, 8);
    truePalette(master.get());
    EXPECT_EQ((std::array<int, 4>{master->colours.palette[0], master->colours.palette[1], master->colours.palette[2],
                                  master->colours.palette[3]}),
              (std::array<int, 4>{0, 6, 6, 7}));
    ASSERT_EQ(master->colours.nCells, 252);
    ASSERT_NE(master->colours.cells, nullptr);
    EXPECT_EQ(master->colours.cells[0], pixelOf(0, 0, 0));
    EXPECT_EQ(master->colours.cells[1], pixelOf(0, 0, kLevels7[1]));
    EXPECT_EQ(master->colours.cells[7], pixelOf(0, kLevels6[1], 0));
    EXPECT_EQ(master->colours.cells[42], pixelOf(kLevels6[1], 0, 0));
    EXPECT_EQ(master->colours.cells[2 * 42 + 3 * 7 + 4], pixelOf(kLevels6[2], kLevels6[3], kLevels7[4]));
    EXPECT_EQ(master->colours.cells[251], pixelOf(255, 255, 255));
    for (int i = 0; i < 252; i++) {
        ASSERT_EQ(master->colours.allocError[i][0], 0);
        ASSERT_EQ(master->colours.allocError[i][1], 0);
        ASSERT_EQ(master->colours.allocError[i][2], 0);
    }
}

TEST_F(Allocation, TheDefaultGreyIsARampOfTwentyEight)
{
    setCounts(-1, 0, 0, 0);
    truePalette(master.get());
    ASSERT_EQ(master->colours.nCells, 28);
    EXPECT_EQ(master->colours.palette[0], -1);  // nothing reduced, the option as it was
    EXPECT_EQ(master->colours.cells[1], pixelOf(9, 9, 9));
    EXPECT_EQ(master->colours.cells[27], pixelOf(255, 255, 255));
}

TEST_F(Allocation, ALargeGreyCountIsHalved)
{
    setCounts(300, 0, 0, 0);
    truePalette(master.get());
    EXPECT_EQ(master->colours.palette[0], 150);
    EXPECT_EQ(master->colours.nCells, 150);
}

TEST_F(Allocation, CountsThatMakeNothingEndWithNoCells)
{
    setCounts(0, 0, 0, 0);
    truePalette(master.get());
    EXPECT_EQ(master->colours.nCells, 0);
    EXPECT_EQ(master->colours.cells, nullptr);
}

TEST_F(Allocation, GreyAndColourTogetherAreReducedUntilOneRemains)
{
    // Neither a ramp nor a cube: the largest count falls until grey reaches
    // 0 below the colour counts of 1 (a cube of one black entry).
    setCounts(3, 2, 2, 2);
    truePalette(master.get());
    EXPECT_EQ((std::array<int, 4>{master->colours.palette[0], master->colours.palette[1], master->colours.palette[2],
                                  master->colours.palette[3]}),
              (std::array<int, 4>{0, 1, 1, 1}));
    EXPECT_EQ(master->colours.nCells, 1);
}

TEST_F(Allocation, FreeingGivesTheCellsBackAndForgetsThem)
{
    setCounts(0, 2, 2, 2);
    truePalette(master.get());
    ASSERT_EQ(master->colours.nCells, 8);
    gimgFreeColors(master.get());
    EXPECT_EQ(master->colours.nCells, 0);
    EXPECT_EQ(master->colours.cells, nullptr);
    gimgFreeColors(master.get());  // twice is harmless
    EXPECT_EQ(master->colours.nCells, 0);
}

TEST_F(Allocation, NearestColoursGiveOnePixelPerColour)
{
    const unsigned char rgb[] = {255, 0, 0, 0, 128, 255, 10, 20, 30};
    unsigned long *pixels = allocNearestColors(display, colormap, rgb, 3);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(pixels[0], pixelOf(255, 0, 0));
    EXPECT_EQ(pixels[1], pixelOf(0, 128, 255));
    EXPECT_EQ(pixels[2], pixelOf(10, 20, 30));
    XFreeColors(display, colormap, pixels, 3, 0);
    gmemFree(pixels);
    EXPECT_EQ(allocNearestColors(display, colormap, rgb, 0), nullptr);
}

/* A memory image of 2 by 2 bytes with the bands given, released at the end. */
struct TestImage {
    explicit TestImage(int bands, int nindices = 0)
    {
        ImageDesc desc = memImageDesc("", IMG_MBSQ, PIX_BYTE, 2, 2, bands);
        desc.mapid = 1;
        desc.dx = desc.dy = 1;
        desc.nindices = nindices;
        image = createMemImage(&desc);
    }
    ~TestImage() { releaseMemImage(image); }
    RamImage *image = nullptr;
};

/* Table settings of a byte image stretched over its whole range. */
class StretchTables : public Allocation {
protected:
    void use(TestImage &img)
    {
        ASSERT_NE(img.image, nullptr);
        master->image = img.image;
        master->desc = img.image->desc;  // the gimg's own palette, as a display update copies it
        master->outLow = 0;
        master->outHigh = 255;
        master->opt.gamma = 1;
        master->opt.gmid = 0;
        master->opt.dg = 1;
        for (int k = 0; k < 3; k++) {
            master->colours.workLow[k] = master->colours.low[k] = 0;
            master->colours.workHigh[k] = master->colours.high[k] = 255;
        }
    }
    void setComb(int count, int a, int b, int c)
    {
        master->opt.comb[0] = count;
        master->opt.comb[1] = a;
        master->opt.comb[2] = b;
        master->opt.comb[3] = c;
    }
    int entry(int slot, int v) const { return master->colours.channelTable[slot][v]; }
    int error(int slot, int v) const { return static_cast<signed char>(master->colours.errorTable[slot][v]); }
    int index(int slot, int v) const { return master->colours.indexTable[slot][v]; }
    void TearDown() override
    {
        if (master != nullptr) {
            master->image = nullptr;
        }
        Allocation::TearDown();
    }
};

constexpr int kNone = 1;  // the enhancement function "NONE"

TEST_F(StretchTables, ACubeGivesEachChannelItsShareOfTheIndex)
{
    TestImage img(3);
    use(img);
    setCounts(0, 8, 8, 4);
    setComb(3, 1, 2, 3);
    gimgStretchPalette(master.get(), kNone, 2);
    ASSERT_EQ(master->colours.bandsInUse, 3);
    EXPECT_EQ(
        (std::array<int, 3>{master->colours.bandIndex[0], master->colours.bandIndex[1], master->colours.bandIndex[2]}),
        (std::array<int, 3>{0, 1, 2}));
    // Red: levels 0..255 (span 255), stride 32, largest share 224.
    EXPECT_EQ(entry(0, 15), 0);
    EXPECT_EQ(entry(0, 16), 32);
    EXPECT_EQ(entry(0, 47), 32);
    EXPECT_EQ(entry(0, 48), 64);
    EXPECT_EQ(entry(0, 255), 224);
    // Green: levels 0..31 (span 8 * 4 - 1), stride 4, at most 28.
    // 100 -> trunc(31.999 * 100 / 255) = 12 -> 12; 110 -> 13 -> 12; 115 -> 14 -> 16.
    EXPECT_EQ(entry(1, 100), 12);
    EXPECT_EQ(entry(1, 110), 12);
    EXPECT_EQ(entry(1, 115), 16);
    EXPECT_EQ(entry(1, 255), 28);
    // Blue: levels 0..3, stride 1. 63 -> 0.99, 64 -> 1.004.
    EXPECT_EQ(entry(2, 63), 0);
    EXPECT_EQ(entry(2, 64), 1);
    EXPECT_EQ(entry(2, 200), 3);
    EXPECT_EQ(master->colours.low[1], 0);
    EXPECT_EQ(master->colours.high[1], 255);
}

TEST_F(StretchTables, APaletteImageMapsItsIndicesStraightToCubeIndices)
{
    TestImage img(1, 3);
    ASSERT_NE(img.image, nullptr);
    const unsigned char colours[3][3] = {{255, 0, 0}, {0, 255, 0}, {255, 255, 255}};
    std::memcpy(img.image->desc.palette, colours, sizeof colours);
    use(img);
    setCounts(0, 8, 8, 4);
    setComb(3, 1, 2, 3);
    master->layer = 1;
    gimgStretchPalette(master.get(), kNone, 2);
    ASSERT_EQ(master->colours.bandsInUse, 1);
    EXPECT_EQ(master->colours.bandIndex[0], 0);
    EXPECT_EQ(entry(0, 0), 7 * 32);  // red: the cube's top red
    EXPECT_EQ(entry(0, 1), 7 * 4);   // green
    EXPECT_EQ(entry(0, 2), 255);     // white: the last entry
    EXPECT_EQ(entry(0, 3), 0);
}

TEST_F(StretchTables, DitheringACubeFillsLevelErrorAndIndexTables)
{
    TestImage img(3);
    use(img);
    setCounts(0, 2, 2, 2);
    setComb(3, 1, 2, 3);
    master->colours.ditherMode = 1;
    gimgStretchPalette(master.get(), kNone, 2);
    ASSERT_EQ(master->colours.bandsInUse, 3);
    EXPECT_EQ(entry(0, 200), 200);  // the level itself, stretched over 0..255
    EXPECT_EQ(index(0, 200), 4);    // the upper level times the stride
    EXPECT_EQ(index(1, 200), 2);
    EXPECT_EQ(index(2, 200), 1);
    EXPECT_EQ(index(2, 100), 0);
    EXPECT_EQ(error(0, 100), 100);
    EXPECT_EQ(error(0, 200), 200 - 255);
}

TEST_F(StretchTables, TwoBandsOnAGreyRampAddUpToTheirMeanAndNoFurther)
{
    TestImage img(2);
    use(img);
    setCounts(28, 0, 0, 0);
    setComb(2, 1, 2, 0);
    gimgStretchPalette(master.get(), kNone, 2);
    ASSERT_EQ(master->colours.bandsInUse, 2);
    EXPECT_EQ((std::array<int, 2>{master->colours.bandIndex[0], master->colours.bandIndex[1]}),
              (std::array<int, 2>{0, 1}));
    // Each band alone: levels 0..27; 128 -> trunc(27.999 * 128 / 255) = 14.
    EXPECT_EQ(entry(0, 128) + entry(1, 128), 14);
    EXPECT_EQ(entry(0, 128), 7);
    // 255 -> 27 each; halves of 27 round up to 14 each, one too many for
    // the last cell (27): the second share gives one back.
    EXPECT_EQ(entry(0, 255), 14);
    EXPECT_EQ(entry(1, 255), 13);
    EXPECT_EQ(entry(0, 0) + entry(1, 0), 0);
    for (int v = 0; v < 256; v++) {
        ASSERT_LE(entry(0, v) + entry(1, v), 27) << v;
    }
}

TEST_F(StretchTables, OneBandOnAGreyRampDitheredWeighsTheErrors)
{
    TestImage img(2);
    use(img);
    setCounts(28, 0, 0, 0);
    setComb(1, 2, 0, 0);
    master->colours.ditherMode = 1;
    master->opt.dg = 0.5;
    gimgStretchPalette(master.get(), kNone, 2);
    ASSERT_EQ(master->colours.bandsInUse, 1);
    EXPECT_EQ(master->colours.bandIndex[0], 1);
    EXPECT_EQ(entry(0, 100), 100);
    // 28 levels, step 9.48: 4 -> 0 (error 4), 5 -> 9 (-4), 14 -> 9 (5), 15 -> 19 (-4).
    EXPECT_EQ(error(0, 4), 2);
    EXPECT_EQ(error(0, 5), -2);
    EXPECT_EQ(error(0, 14), 3);  // 2.5, the half away from zero
    EXPECT_EQ(error(0, 15), -2);
    EXPECT_EQ(index(0, 4), 0);
    EXPECT_EQ(index(0, 5), 1);
    EXPECT_EQ(index(0, 255), 27);
}

TEST_F(StretchTables, TruePaletteModeMapsEachIndexToItself)
{
    TestImage img(1, 3);
    use(img);
    setComb(1, 1, 0, 0);
    master->colours.truePaletteMode = 1;
    master->layer = 1;
    std::memset(master->colours.channelTable, 99, sizeof master->colours.channelTable);
    gimgStretchPalette(master.get(), kNone, 2);
    ASSERT_EQ(master->colours.bandsInUse, 1);
    EXPECT_EQ(master->colours.bandIndex[0], 0);
    EXPECT_EQ(entry(0, 0), 0);
    EXPECT_EQ(entry(0, 2), 2);
    EXPECT_EQ(entry(0, 3), 0);
    EXPECT_EQ(entry(0, 255), 0);
}

TEST_F(StretchTables, TruePaletteModeAllocatesTheImagesOwnColours)
{
    TestImage img(1, 2);
    ASSERT_NE(img.image, nullptr);
    const unsigned char colours[2][3] = {{1, 2, 3}, {200, 150, 100}};
    std::memcpy(img.image->desc.palette, colours, sizeof colours);
    use(img);
    setCounts(0, 8, 8, 4);
    master->colours.truePaletteMode = 1;
    truePalette(master.get());
    ASSERT_EQ(master->colours.nCells, 2);
    EXPECT_EQ(master->colours.cells[0], pixelOf(1, 2, 3));
    EXPECT_EQ(master->colours.cells[1], pixelOf(200, 150, 100));
    EXPECT_EQ(master->colours.truePaletteMode, 1);
}

TEST_F(StretchTables, TruePaletteModeWithoutAPaletteFallsBackToTheCube)
{
    TestImage img(1, 0);
    use(img);
    setCounts(0, 8, 8, 4);
    master->colours.truePaletteMode = 1;
    truePalette(master.get());
    EXPECT_EQ(master->colours.nCells, 256);
    EXPECT_EQ(master->colours.truePaletteMode, 0);
}

TEST_F(StretchTables, TheGimgsOwnPaletteIsAllocatedWhereItDiffersFromTheImages)
{
    TestImage img(1, 2);
    ASSERT_NE(img.image, nullptr);
    const unsigned char colours[2][3] = {{1, 2, 3}, {200, 150, 100}};
    std::memcpy(img.image->desc.palette, colours, sizeof colours);
    use(img);
    setCounts(0, 8, 8, 4);
    master->opt.layer = 1;
    gimgDerivePalette(master.get(), 1);
    const unsigned char edited[3] = {10, 20, 30};
    std::memcpy(master->desc.palette[1], edited, 3);
    master->colours.paletteEdited = 1;
    EXPECT_EQ(gimgPaletteModeStale(master.get()), 1);  // none applied yet
    gimgApplyPaletteMode(master.get());
    EXPECT_EQ(master->colours.truePaletteMode, 1);
    ASSERT_EQ(master->colours.nCells, 2);
    EXPECT_EQ(master->colours.cells[0], pixelOf(1, 2, 3));
    EXPECT_EQ(master->colours.cells[1], pixelOf(10, 20, 30));
    EXPECT_EQ(gimgPaletteModeStale(master.get()), 0);
    EXPECT_EQ(gimgImagePaletteChanged(master.get()), 0);
    img.image->desc.palette[0][0] = 9;
    EXPECT_EQ(gimgImagePaletteChanged(master.get()), 1);

    // Taken from the image again: its entries, no edit, the cells are stale.
    gimgDerivePalette(master.get(), 1);
    EXPECT_EQ(master->desc.nindices, 2);
    EXPECT_EQ(master->desc.palette[1][0], 200);
    EXPECT_EQ(master->colours.paletteEdited, 0);
    EXPECT_EQ(gimgPaletteModeStale(master.get()), 1);

    // -layer 0: no palette, no true-palette mode, the cube.
    master->opt.layer = 0;
    gimgDerivePalette(master.get(), 0);
    EXPECT_EQ(master->desc.nindices, 0);
    gimgApplyPaletteMode(master.get());
    EXPECT_EQ(master->colours.truePaletteMode, 0);
    EXPECT_EQ(master->colours.nCells, 256);
}

TEST_F(StretchTables, ALayerWithoutAPaletteGetsAGreyRampAllocatedOnlyOnceEdited)
{
    TestImage img(1, 0);
    use(img);
    setCounts(0, 8, 8, 4);
    master->opt.layer = 1;
    gimgDerivePalette(master.get(), 0);
    ASSERT_EQ(master->desc.nindices, 256);
    EXPECT_EQ((std::array<int, 3>{master->desc.palette[7][0], master->desc.palette[7][1], master->desc.palette[7][2]}),
              (std::array<int, 3>{7, 7, 7}));
    gimgApplyPaletteMode(master.get());
    EXPECT_EQ(master->colours.truePaletteMode, 0);  // the ramp is stretched through the cube
    master->colours.paletteEdited = 1;
    EXPECT_EQ(gimgPaletteModeStale(master.get()), 1);
    gimgApplyPaletteMode(master.get());
    EXPECT_EQ(master->colours.truePaletteMode, 1);
    EXPECT_EQ(master->colours.nCells, 256);
    EXPECT_EQ(master->colours.cells[7], pixelOf(7, 7, 7));
}

/* ---- a full colormap: an 8-bit PseudoColor screen only ---- */

TEST(FullColormap, EveryColourStillGetsTheNearestCell)
{
    Tcl_Interp *interp = testTkInterp();
    ASSERT_NE(interp, nullptr);
    Tk_Window main = Tk_MainWindow(interp);
    Display *display = Tk_Display(main);
    int screen = Tk_ScreenNumber(main);
    Visual *visual = DefaultVisual(display, screen);
    if (visual->c_class != PseudoColor || DisplayCells(display, screen) != 256) {
        // The depth-8 run asked for such a screen: there the test must run.
        const char *depth = std::getenv("TESK_XDEPTH");
        ASSERT_FALSE(depth != nullptr && std::string(depth) == "8") << "the 8-bit screen is not PseudoColor";
        GTEST_SKIP() << "needs an 8-bit PseudoColor screen";
    }
    // A private colormap filled with the 256 greys i * 257 (read-only).
    Colormap colormap = XCreateColormap(display, RootWindow(display, screen), visual, AllocNone);
    std::vector<unsigned long> greys(256);
    for (int i = 0; i < 256; i++) {
        XColor c{};
        c.red = c.green = c.blue = static_cast<unsigned short>(i * 257);
        c.flags = DoRed | DoGreen | DoBlue;
        ASSERT_TRUE(XAllocColor(display, colormap, &c)) << i;
        greys[i] = c.pixel;
    }
    // Dark red (25600, 0, 0) is nearest to grey 33 (8481): squared distances
    // 17119^2 + 2 * 8481^2 = 436915523 against 437032332 for grey 34.
    // White is there as it is.
    const unsigned char rgb[] = {100, 0, 0, 255, 255, 255};
    unsigned long *pixels = allocNearestColors(display, colormap, rgb, 2);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(pixels[0], greys[33]);
    EXPECT_EQ(pixels[1], greys[255]);
    XFreeColors(display, colormap, pixels, 2, 0);
    gmemFree(pixels);
    // The cube's error table: requested less obtained, as bytes.
    unsigned char error[256][3];
    pixels = allocColorCube(display, colormap, &error[0][0], 0, 2, 1, 1);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(pixels[0], greys[0]);
    // Pure red (65280, 0, 0): grey 85 (21845) is 43435^2 + 2 * 21845^2 =
    // 2841007275 away, grey 84 (21588) 2841074352.
    EXPECT_EQ(pixels[1], greys[85]);
    EXPECT_EQ((std::array<int, 3>{error[0][0], error[0][1], error[0][2]}), (std::array<int, 3>{0, 0, 0}));
    // 255 - 85 = 170; 0 - 85 = -85, the byte 171.
    EXPECT_EQ((std::array<int, 3>{error[1][0], error[1][1], error[1][2]}), (std::array<int, 3>{170, 171, 171}));
    XFreeColors(display, colormap, pixels, 2, 0);
    gmemFree(pixels);
    XFreeColors(display, colormap, greys.data(), 256, 0);
    XFreeColormap(display, colormap);
}

}  // namespace
