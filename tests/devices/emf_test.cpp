/*
 * emf_test.cpp --
 *
 *	The raster metafile writer against the record layout worked out by
 *	hand, its frame in 64 bits, and the reader's refusals.
 */
#include <gtest/gtest.h>
#include <cstring>
#include "devices/print/emf.h"

namespace {

uint32_t u32At(const std::vector<unsigned char> &b, std::size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

EmfPicture twoByTwo()
{
    EmfPicture p;
    p.width = 2;
    p.height = 2;
    p.rgb = {255, 0, 0, 0, 255, 0, /* red, green */ 0, 0, 255, 10, 20, 30 /* blue, grey */};
    return p;
}

const EmfDevice kScreen = {1280, 1024, 338, 270};

TEST(Emf, RecordsOfATwoByTwoPicture)
{
    std::vector<unsigned char> b = emfBuild(twoByTwo(), kScreen);
    /* header 108, stretch 80 + 40 + two rows of 8 bytes, end 20 */
    ASSERT_EQ(b.size(), 108u + 136u + 20u);
    struct Field {
        std::size_t at;
        uint32_t value;
    } const fields[] = {
        {0, 1},         {4, 108},         {16, 1},          {20, 1},          {24, 0},   {28, 0},
        {32, 2 * 33800 / 1280},           {36, 2 * 27000 / 1024},             {40, 0x464D4520},
        {44, 0x10000},  {48, 264},        {52, 3},          {56, 1},          {72, 1280}, {80, 338},
        {100, 338000},  {108, 81},        {112, 136},       {148, 2},         {152, 2},  {156, 80},
        {164, 120},     {168, 16},        {172, 0},         {176, 0x00CC0020}, {188, 40}, {192, 2},
        {196, 2},       {244, 14},        {248, 20},        {260, 20},
    };
    for (const Field &f : fields) {
        EXPECT_EQ(u32At(b, f.at), f.value) << "at " << f.at;
    }
    EXPECT_EQ(b[202], 24); /* biBitCount */
    /* bottom-up BGR rows: blue, grey first, then red, green */
    const unsigned char bits[] = {255, 0, 0, 30, 20, 10, 0, 0, 0, 0, 255, 0, 255, 0, 0, 0};
    EXPECT_EQ(std::memcmp(b.data() + 228, bits, sizeof bits), 0);
}

TEST(Emf, ParsingGivesThePictureBack)
{
    std::vector<unsigned char> b = emfBuild(twoByTwo(), kScreen);
    EmfPicture back;
    ASSERT_TRUE(emfParse(b.data(), b.size(), &back));
    EXPECT_EQ(back.width, 2);
    EXPECT_EQ(back.height, 2);
    EXPECT_EQ(back.rgb, twoByTwo().rgb);
}

TEST(Emf, ParsingRefusesOtherRecordsAndCutFiles)
{
    std::vector<unsigned char> good = emfBuild(twoByTwo(), kScreen);
    std::vector<unsigned char> otherRecord = good;
    otherRecord[108] = 76; /* EMR_BITBLT */
    std::vector<unsigned char> cut(good.begin(), good.end() - 4);
    std::vector<unsigned char> wrongSize = good;
    wrongSize[48] = 0;
    std::vector<unsigned char> deepBitmap = good;
    deepBitmap[202] = 32;
    for (const auto *bytes : {&otherRecord, &cut, &wrongSize, &deepBitmap}) {
        EmfPicture p;
        EXPECT_FALSE(emfParse(bytes->data(), bytes->size(), &p));
    }
}

TEST(Emf, FrameOfWidePicturesIsWorkedIn64Bits)
{
    /* 70000 x 338 x 100 is past 2^31 */
    EXPECT_EQ(emfFrameExtent(70000, 338, 1280), 1848437);
    EXPECT_EQ(emfFrameExtent(100, 338, 0), 0);
}

TEST(Emf, PicturesOfNoPixelsMakeNoFile)
{
    EmfPicture empty;
    EXPECT_TRUE(emfBuild(empty, kScreen).empty());
}

}  // namespace
