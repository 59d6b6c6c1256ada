/*
 * tooloptions_test.cpp --
 *
 *	Option tables, band lists and number lists of the image tools: the
 *	matching rules, the band-list syntax, and that no text, however long or
 *	odd, stores past the caller's arrays.
 */
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <utility>
#include <vector>

#include "tesk.h"

namespace {

using Pairs = std::vector<std::pair<int, int>>;
constexpr int kGuard = 16;
constexpr int kSentinel = 0x5a5a5a5a;

/* Band arrays of the documented size, each with a guard zone behind it. */
struct Bands {
    std::vector<int> in = std::vector<int>(TESK_MAX_BAND_PAIRS + kGuard, kSentinel);
    std::vector<int> out = in;
    int count = 0;

    Pairs parse(int inBands, int outBands, const char *text)
    {
        count = parseBandParams(inBands, outBands, in.data(), out.data(), text);
        return pairs();
    }
    Pairs token(int maximum, const char *text)
    {
        count = parseBandPairs(in.data(), out.data(), maximum, text);
        return pairs();
    }
    Pairs pairs() const
    {
        Pairs p;
        for (int i = 0; i < count; i++) {
            p.emplace_back(in[i], out[i]);
        }
        return p;
    }
    bool guardIntact(int capacity = TESK_MAX_BAND_PAIRS) const
    {
        for (int i = capacity; i < capacity + kGuard; i++) {
            if (in[i] != kSentinel || out[i] != kSentinel) {
                return false;
            }
        }
        return true;
    }
};

TEST(ToolOptions, MatchingRules)
{
    ToolOption table[] = {{"-in", nullptr}, {"-in", nullptr}, {"-out", nullptr}, {nullptr, nullptr}};
    const char *twice[] = {"-in", "a", "-in", "b", "-out", "c"};
    EXPECT_EQ(parseToolOptions(table, 6, twice), 0);
    EXPECT_EQ(table[0].value, twice[1]);
    EXPECT_EQ(table[1].value, twice[3]);
    EXPECT_EQ(table[2].value, twice[5]);

    const char *thrice[] = {"-in", "a", "-in", "b", "-in", "x"};
    EXPECT_EQ(parseToolOptions(table, 6, thrice), 1);
    const char *unknown[] = {"-in", "a", "-x", "b"};
    EXPECT_EQ(parseToolOptions(table, 4, unknown), 1);
    const char *alone[] = {"-in"};
    EXPECT_EQ(parseToolOptions(table, 1, alone), 1);
    EXPECT_EQ(table[0].value, nullptr); /* values from the last call are cleared */
    const char *inexact[] = {"-i", "a", "-IN", "b", "-output", "c"};
    EXPECT_EQ(parseToolOptions(table, 6, inexact), 3);
    const char *optionValue[] = {"-out", "-in"};
    EXPECT_EQ(parseToolOptions(table, 2, optionValue), 0);
    EXPECT_STREQ(table[2].value, "-in");
}

TEST(BandParams, Syntax)
{
    Bands b;
    EXPECT_EQ(b.parse(3, 5, nullptr), (Pairs{{0, 0}, {1, 1}, {2, 2}}));
    EXPECT_EQ(b.parse(-4, 5, nullptr), Pairs{});
    EXPECT_EQ(b.parse(5, 5, "1,3,5"), (Pairs{{0, 0}, {2, 2}, {4, 4}}));
    EXPECT_EQ(b.parse(3, 3, "1-3:3-1"), (Pairs{{0, 2}, {1, 1}, {2, 0}}));
    EXPECT_EQ(b.parse(5, 2, "4:1 5:2"), (Pairs{{3, 0}, {4, 1}}));
    EXPECT_EQ(b.parse(3, 3, "2-2"), (Pairs{{1, 1}}));
    EXPECT_EQ(b.parse(6, 6, "3-2;6 ,\t5"), (Pairs{{2, 2}, {1, 1}, {5, 5}, {4, 4}}));
}

TEST(BandParams, OutOfRangeAndMalformedGiveZero)
{
    for (const char *text : {"0", "1,4", "4:1", "1:4", "2147483647", "99999999999999999999", "", " ,; "}) {
        Bands b;
        EXPECT_EQ(b.parse(3, 3, text), Pairs{}) << text;
    }
    for (const char *text :
         {"1:2-3", "-", ":", "1:", ":1", "1-", "-1", "1--2", "1-2-3", "1:2:3", "x", "1x", "2,1:2-3", "1,,-,3"}) {
        Bands b;
        EXPECT_EQ(b.parse(10, 10, text), Pairs{}) << text;
    }
}

TEST(BandParams, NeverStoresMoreThanTheMaximum)
{
    Bands b;
    ASSERT_EQ(b.parse(INT_MAX, INT_MAX, "1-99999999999").size(), size_t(TESK_MAX_BAND_PAIRS));
    EXPECT_EQ(b.in[TESK_MAX_BAND_PAIRS - 1], TESK_MAX_BAND_PAIRS - 1);
    EXPECT_TRUE(b.guardIntact());

    /* The second token gets the room that is left; later tokens are not read. */
    ASSERT_EQ(b.parse(10000, 10000, "1-8000 10000-9000 garbage").size(), size_t(TESK_MAX_BAND_PAIRS));
    EXPECT_EQ(b.in[8000], 9999);
    EXPECT_EQ(b.in[TESK_MAX_BAND_PAIRS - 1], 9999 - 191);
    EXPECT_TRUE(b.guardIntact());

    std::string many;
    for (int i = 0; i < TESK_MAX_BAND_PAIRS + 500; i++) {
        many += "1:2,";
    }
    EXPECT_EQ(b.parse(2, 2, many.c_str()).size(), size_t(TESK_MAX_BAND_PAIRS));
    EXPECT_TRUE(b.guardIntact());
}

TEST(BandParams, ACallersCapacityBoundsEveryPath)
{
    /* Arrays sized by a module's band count: nothing is stored past them,
       whether the text is one range, many tokens or absent. */
    for (const char *text : {"1-200", "1,2,3,4,5,6,7", static_cast<const char *>(nullptr)}) {
        Bands b;
        b.count = parseBandParamsMax(INT_MAX, INT_MAX, b.in.data(), b.out.data(), 4, text);
        EXPECT_LE(b.count, 4) << (text ? text : "NULL");
        EXPECT_TRUE(b.guardIntact(4)) << (text ? text : "NULL");
    }
}

TEST(BandPairs, OneTokenWithinTheGivenRoom)
{
    Bands b;
    EXPECT_EQ(b.token(3, "1-10:20-11"), (Pairs{{0, 19}, {1, 18}, {2, 17}}));
    EXPECT_EQ(b.token(3, "0"), (Pairs{{-1, -1}})); /* no range check here */
    EXPECT_EQ(b.token(2, "99999999999999999999-1"), (Pairs{{INT_MAX - 1, INT_MAX - 1}, {INT_MAX - 2, INT_MAX - 2}}));
    EXPECT_TRUE(b.guardIntact(3));

    Bands c;
    EXPECT_EQ(c.token(0, "1"), Pairs{});
    EXPECT_EQ(c.token(5, "1-3:1-2"), Pairs{});
    EXPECT_EQ(c.token(5, nullptr), Pairs{});
    EXPECT_TRUE(c.guardIntact(0));
}

/* parseNumberList into maximum slots; the guard zone behind must stay. */
std::pair<int, std::vector<int>> numberList(const char *text, int maximum)
{
    std::vector<int> buffer(maximum + kGuard, kSentinel);
    int count = parseNumberList(text, buffer.data(), maximum);
    for (int i = maximum; i < maximum + kGuard; i++) {
        EXPECT_EQ(buffer[i], kSentinel) << "written past the maximum for " << text;
    }
    return {count, std::vector<int>(buffer.begin(), buffer.begin() + (count > 0 ? count : 0))};
}

TEST(NumberList, NumbersRangesAndErrors)
{
    EXPECT_EQ(numberList("1,4-6,9", 10).second, (std::vector<int>{1, 4, 5, 6, 9}));
    EXPECT_EQ(numberList("5-3,7-7", 10).second, (std::vector<int>{5, 4, 3, 7}));
    EXPECT_EQ(numberList("", 4).first, 0);
    EXPECT_EQ(numberList("1,2,,3", 4).first, 2); /* an empty element ends the list */
    for (const char *text : {"1x", "1 2", "1-3-5", "1-", "1-,2", "3;4", "2147483648", "1-99999999999"}) {
        EXPECT_EQ(numberList(text, 100).first, -1) << text;
    }
}

TEST(NumberList, Overflow)
{
    EXPECT_EQ(numberList("1,2,3", 3).first, 3);
    EXPECT_EQ(numberList("1,2,3,4", 3).first, -1);
    EXPECT_EQ(numberList("1-3", 4).first, 3);
    EXPECT_EQ(numberList("1-3", 3).first, -1); /* a range may not reach the last slot */
    EXPECT_EQ(numberList("1-2000000000", 10).first, -1);
    EXPECT_EQ(numberList("2147483647-0", 10).first, -1);
    EXPECT_EQ(numberList("1", 0).first, -1);
}

}  // namespace
