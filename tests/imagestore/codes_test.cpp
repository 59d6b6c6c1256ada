/*
 * The code name tables and the georeference comment of GIF and JPEG files.
 */
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <set>
#include <string>
#include "imagestore/codes.h"
#include "runtime/cnumber.h"

namespace {

TEST(CodesTest, ImageTypesAreFoundByExactNameAndMemoryTypesAre21To30)
{
    EXPECT_EQ(imgIdCount(), 31);
    EXPECT_EQ(imgIdCode("UNKNOWN"), 0);
    EXPECT_EQ(imgIdCode("BSQ"), 1);
    EXPECT_EQ(imgIdCode("GIF89a"), 11);
    EXPECT_EQ(imgIdCode("MRGB1"), 30);
    EXPECT_EQ(imgIdCode("gif89a"), -1);  // case counts
    EXPECT_EQ(imgIdCode("BSQ "), -1);
    EXPECT_EQ(imgIdCode(nullptr), -1);
    EXPECT_STREQ(imgIdName(13), "JPEG");
    EXPECT_STREQ(imgIdName(31), "UNKNOWN");
    EXPECT_STREQ(imgIdName(-1), "UNKNOWN");
    EXPECT_EQ(isMemoryImgId(20), 0);
    EXPECT_EQ(isMemoryImgId(21), 1);
    EXPECT_EQ(isMemoryImgId(30), 1);
    EXPECT_EQ(isMemoryImgId(31), 0);
}

TEST(CodesTest, PixelTypesHaveTheirSampleWidthsAndUnknownIsNoName)
{
    const int bits[] = {0, 1, 4, 8, 16, 32, 32, 16, 32, 8};
    ASSERT_EQ(pixelIdCount(), 10);
    for (int code = 0; code < 10; code++) {
        EXPECT_EQ(pixelIdBits(code), bits[code]) << pixelIdName(code);
    }
    EXPECT_EQ(pixelIdBits(-1), 0);
    EXPECT_EQ(pixelIdBits(10), 0);
    EXPECT_STREQ(pixelIdName(0), "UNKNOWN");
    EXPECT_EQ(pixelIdCode("UNKNOWN"), -1);
    EXPECT_EQ(pixelIdCode("1BIT"), 1);
    EXPECT_EQ(pixelIdCode("USHORT"), 7);
    EXPECT_EQ(pixelIdCode("SBYTE"), 9);
    EXPECT_EQ(pixelIdCode(nullptr), -1);
    EXPECT_STREQ(pixelIdName(10), "UNKNOWN");
}

TEST(CodesTest, OldImageFunctionCodesHaveNamesButAreNeverFound)
{
    EXPECT_EQ(imgTypeCount(), 7);
    EXPECT_EQ(imgTypeCode("GENERAL"), 0);
    EXPECT_EQ(imgTypeCode("SLOPE"), 4);
    EXPECT_EQ(imgTypeCode("CLASSIFICATION"), 6);
    EXPECT_EQ(imgTypeCode(nullptr), -1);
    EXPECT_STREQ(imgTypeName(3), "ELEVATION");
    EXPECT_STREQ(imgTypeName(100), "ELEVATION");
    EXPECT_STREQ(imgTypeName(101), "GENERAL");
    EXPECT_STREQ(imgTypeName(102), "SLOPE");
    for (int code : {7, 99, 103, -1}) {
        EXPECT_STREQ(imgTypeName(code), "UNKNOWN") << code;
    }
}

TEST(CodesTest, MapIdTableHoldsUtmZonesAndProjectionsInOrder)
{
    ASSERT_EQ(mapIdCount(), 184);
    EXPECT_STREQ(mapIdName(0), "UNKNOWN");
    EXPECT_STREQ(mapIdName(3), "UTM1");
    EXPECT_STREQ(mapIdName(35), "UTM33");
    EXPECT_STREQ(mapIdName(62), "UTM60");
    EXPECT_STREQ(mapIdName(63), "POLAR");
    EXPECT_STREQ(mapIdName(64), "AEA");
    EXPECT_STREQ(mapIdName(183), "WINTRI");
    EXPECT_STREQ(mapIdName(184), "UNKNOWN");
    EXPECT_STREQ(mapIdName(-1), "UNKNOWN");
    // Positions counted by hand in the list of projection names.
    EXPECT_EQ(mapIdCode("LATLONG"), 111);
    EXPECT_EQ(mapIdCode("LONGLAT"), 112);
    EXPECT_EQ(mapIdCode("LCC"), 113);
    EXPECT_EQ(mapIdCode("MERC"), 123);
    EXPECT_EQ(mapIdCode("UPS"), 165);
    EXPECT_EQ(mapIdCode("GRID"), 1);
    EXPECT_EQ(mapIdCode("UNKNOWN"), -1);
    EXPECT_EQ(mapIdCode("merc"), -1);
    EXPECT_EQ(mapIdCode(nullptr), -1);

    std::set<std::string> names;
    for (int code = 1; code < 184; code++) {
        names.insert(mapIdName(code));
        EXPECT_EQ(mapIdCode(mapIdName(code)), code) << mapIdName(code);
    }
    EXPECT_EQ(names.size(), 183u);  // no name twice
}

TEST(CodesTest, PcsNamesCarryTheirNumberFrom20000To65535)
{
    EXPECT_EQ(mapIdCode("PCS20000"), 20000);
    EXPECT_EQ(mapIdCode("PCS32633"), 32633);
    EXPECT_EQ(mapIdCode("PCS65535"), 65535);
    EXPECT_EQ(mapIdCode("PCS19999"), -1);
    EXPECT_EQ(mapIdCode("PCS65536"), -1);
    EXPECT_EQ(mapIdCode("PCS4294987296"), -1);  // 2^32 + 20000 must not wrap into range
    EXPECT_EQ(mapIdCode("PCS"), -1);
    EXPECT_EQ(mapIdCode("PCS-20000"), -1);
    EXPECT_EQ(mapIdCode("PCS 20000"), -1);
    EXPECT_EQ(mapIdCode("PCS20000x"), -1);
    EXPECT_STREQ(mapIdName(20000), "PCS20000");
    EXPECT_STREQ(mapIdName(65535), "PCS65535");
    EXPECT_STREQ(mapIdName(19999), "UNKNOWN");
    EXPECT_STREQ(mapIdName(65536), "UNKNOWN");
}

/* A descriptor whose georeference fields hold marks that no test text sets. */
ImageDesc markedDesc()
{
    ImageDesc desc;
    std::memset(&desc, 0x5a, sizeof desc);
    desc.mapid = 7;
    desc.x0 = 1.25;
    desc.y0 = 2.5;
    desc.dx = 3.75;
    desc.dy = -4.5;
    return desc;
}

ImageDesc geoDesc(int mapid, double x0, double y0, double dx, double dy)
{
    ImageDesc desc = markedDesc();
    desc.mapid = mapid;
    desc.x0 = x0;
    desc.y0 = y0;
    desc.dx = dx;
    desc.dy = dy;
    return desc;
}

std::string comment(const ImageDesc &desc)
{
    char text[256];
    int n = formatGeoComment(&desc, text, sizeof text);
    EXPECT_EQ(n, static_cast<int>(std::strlen(text)) + 1);
    return text;
}

/* "%.32g" as the C library prints it in the C locale. */
std::string printed(double value)
{
    return cFormat("%.32g", value);
}

TEST(CodesTest, CommentOfAGridImageShowsWholeNumbersWithoutFraction)
{
    ImageDesc desc = geoDesc(1, 500000, 4000000, 30, -30);
    char text[256];
    EXPECT_EQ(formatGeoComment(&desc, text, sizeof text), 49);  // 48 characters and the zero
    EXPECT_STREQ(text, "tesk proj:GRID x0:500000 y0:4000000 dx:30 dy:-30");

    ImageDesc back = markedDesc();
    ASSERT_EQ(parseGeoComment(&back, text), 1);
    EXPECT_EQ(back.mapid, 1);
    EXPECT_EQ(back.x0, 500000.0);
    EXPECT_EQ(back.y0, 4000000.0);
    EXPECT_EQ(back.dx, 30.0);
    EXPECT_EQ(back.dy, -30.0);
}

TEST(CodesTest, CommentNumbersHave32SignificantDigitsAsTheCLibraryPrintsThem)
{
    // Exact values of the doubles: 0.1000000000000000055511151231257827...,
    // 0.0000100000000000000008180305391403130954..., 100000000000000005366162204393472.
    EXPECT_EQ(comment(geoDesc(2, 0.1, -0.5, 1e-5, 1e32)),
              "tesk proj:UTM x0:0.10000000000000000555111512312578 y0:-0.5"
              " dx:1.0000000000000000818030539140313e-05 dy:1.0000000000000000536616220439347e+32");
    const double values[] = {0.1,
                             -1e-300,
                             1e308,
                             123456789.123456789,
                             DBL_MAX,
                             DBL_MIN,
                             4.9406564584124654e-324,
                             -0.0,
                             1.0 / 3.0,
                             2.5e31,
                             1e31,
                             0.0001,
                             0.00012345678901234567,
                             std::numeric_limits<double>::infinity()};
    for (double value : values) {
        std::string text = comment(geoDesc(0, value, 0, 0, 0));
        EXPECT_EQ(text, "tesk proj:UNKNOWN x0:" + printed(value) + " y0:0 dx:0 dy:0");
    }
}

TEST(CodesTest, CommentReadsBackEveryDoubleExactly)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double values[] = {
        0.1,        -1e-300,       1e308, 123456789.123456789, DBL_MAX, -DBL_MIN, 4.9406564584124654e-324, 1.0 / 3.0,
        -2.0 / 7.0, 6.02214076e23, inf};
    for (double value : values) {
        ImageDesc desc = geoDesc(32633, value, -value, value / 3, -inf);
        char text[256];
        ASSERT_GT(formatGeoComment(&desc, text, sizeof text), 0);
        ImageDesc back = markedDesc();
        ASSERT_EQ(parseGeoComment(&back, text), 1) << text;
        EXPECT_EQ(back.mapid, 32633) << text;
        EXPECT_EQ(back.x0, desc.x0) << text;
        EXPECT_EQ(back.y0, desc.y0) << text;
        EXPECT_EQ(back.dx, desc.dx) << text;
        EXPECT_EQ(back.dy, -inf) << text;
    }
    ImageDesc desc = geoDesc(1, -0.0, std::nan(""), 0, 0);
    char text[256];
    formatGeoComment(&desc, text, sizeof text);
    ImageDesc back = markedDesc();
    ASSERT_EQ(parseGeoComment(&back, text), 1) << text;
    EXPECT_TRUE(back.x0 == 0.0 && std::signbit(back.x0)) << text;
    EXPECT_TRUE(std::isnan(back.y0)) << text;
}

TEST(CodesTest, CommentIsNotWrittenIntoTooSmallABuffer)
{
    ImageDesc desc = geoDesc(1, 500000, 4000000, 30, -30);  // 48 characters
    char text[64];
    std::memset(text, '#', sizeof text);
    EXPECT_EQ(formatGeoComment(&desc, text, 48), 0);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(text[1], '#');
    EXPECT_EQ(text[48], '#');
    EXPECT_EQ(formatGeoComment(&desc, text, 0), 0);
    EXPECT_EQ(formatGeoComment(&desc, text, 49), 49);
    EXPECT_EQ(text[49], '#');
}

TEST(CodesTest, CommentWhiteSpaceIsFreeAndTrailingTextIgnored)
{
    ImageDesc desc = markedDesc();
    EXPECT_EQ(parseGeoComment(&desc, "teskproj:UTM33x0:1y0:2dx:3dy:4"), 0);  // word eats the rest
    EXPECT_EQ(parseGeoComment(&desc, "teskproj:UTM33 x0:1y0:2dx:3dy:4"), 1);
    EXPECT_EQ(desc.mapid, 35);
    EXPECT_EQ(desc.x0, 1.0);
    EXPECT_EQ(desc.dy, 4.0);
    EXPECT_EQ(parseGeoComment(&desc, "tesk \t proj:\n PCS20000\r\nx0: +1.5 y0:\f-2e3\vdx:.25 dy:-7. and more"), 1);
    EXPECT_EQ(desc.mapid, 20000);
    EXPECT_EQ(desc.x0, 1.5);
    EXPECT_EQ(desc.y0, -2000.0);
    EXPECT_EQ(desc.dx, 0.25);
    EXPECT_EQ(desc.dy, -7.0);
    EXPECT_EQ(parseGeoComment(&desc, "tesk proj:GRID x0:1 y0:2 dx:3 dy:4junk"), 1);
    EXPECT_EQ(desc.dy, 4.0);
}

TEST(CodesTest, CommentWithAnUnknownProjectionGivesMapIdMinusOne)
{
    ImageDesc desc = markedDesc();
    EXPECT_EQ(parseGeoComment(&desc, "tesk proj:NOSUCH x0:1 y0:2 dx:3 dy:4"), 1);
    EXPECT_EQ(desc.mapid, -1);
    desc = markedDesc();
    EXPECT_EQ(parseGeoComment(&desc, "tesk proj:UNKNOWN x0:1 y0:2 dx:3 dy:4"), 1);
    EXPECT_EQ(desc.mapid, -1);
}

TEST(CodesTest, NumbersOutOfRangeReadAsTheCLibraryReadsThem)
{
    ImageDesc desc = markedDesc();
    ASSERT_EQ(parseGeoComment(&desc, "tesk proj:GRID x0:1e400 y0:-1e400 dx:1e-400 dy:-1e-400"), 1);
    EXPECT_EQ(desc.x0, std::numeric_limits<double>::infinity());
    EXPECT_EQ(desc.y0, -std::numeric_limits<double>::infinity());
    EXPECT_TRUE(desc.dx == 0.0 && !std::signbit(desc.dx));
    EXPECT_TRUE(desc.dy == 0.0 && std::signbit(desc.dy));
}

TEST(CodesTest, IncompleteOrForeignCommentsLeaveTheDescriptorAlone)
{
    std::string longWord(96, 'A');
    std::string hugeWord(5000, 'B');
    const char *texts[] = {
        "",
        "tesk",
        "tess proj:GRID x0:1 y0:2 dx:3 dy:4",
        "TESK proj:GRID x0:1 y0:2 dx:3 dy:4",
        " tesk proj:GRID x0:1 y0:2 dx:3 dy:4",  // the pattern starts with a letter
        "tesk proj: x0:1 y0:2 dx:3 dy:4",       // x0:1 is the word, then y0 is no x0
        "tesk proj:GRID x0:1 y0:2 dx:3",
        "tesk proj:GRID x0:1 y0:2 dx:3 dy:",
        "tesk proj:GRID x0:1 y0:2 dx:3 dy:x",
        "tesk proj:GRID x0:1 y0:2 dy:3 dx:4",
        "tesk proj:GRID x0:--1 y0:2 dx:3 dy:4",
        "tesk proj:GRID x0:+-1 y0:2 dx:3 dy:4",
        "tesk proj:GRID x0:. y0:2 dx:3 dy:4",
        "tesk proj:GRID X0:1 y0:2 dx:3 dy:4",
    };
    for (const char *text : texts) {
        ImageDesc desc = markedDesc();
        ImageDesc before = desc;
        EXPECT_EQ(parseGeoComment(&desc, text), 0) << text;
        EXPECT_EQ(std::memcmp(&desc, &before, sizeof desc), 0) << text;
    }
    for (const std::string &word : {longWord, hugeWord}) {
        std::string text = "tesk proj:" + word + " x0:1 y0:2 dx:3 dy:4";
        ImageDesc desc = markedDesc();
        ImageDesc before = desc;
        EXPECT_EQ(parseGeoComment(&desc, text.c_str()), 0) << word.size();
        EXPECT_EQ(std::memcmp(&desc, &before, sizeof desc), 0) << word.size();
    }
    ImageDesc desc = markedDesc();
    std::string text = "tesk proj:" + std::string(95, 'A') + " x0:1 y0:2 dx:3 dy:4";
    EXPECT_EQ(parseGeoComment(&desc, text.c_str()), 1);  // 95 characters still fit
    EXPECT_EQ(desc.mapid, -1);
    EXPECT_EQ(parseGeoComment(nullptr, "tesk proj:GRID x0:1 y0:2 dx:3 dy:4"), 0);
    EXPECT_EQ(parseGeoComment(&desc, nullptr), 0);
}

}  // namespace
