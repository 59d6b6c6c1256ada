/*
 * Byte reversal and swaps, bit arrays, and the text tests (integers,
 * numbers, case-blind comparison).
 */

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "runtime/util.h"

namespace {

TEST(Bytes, ReversalOfAnyLength)
{
    // Field reversal has no 256-byte limit.
    for (size_t n : {0u, 1u, 2u, 3u, 8u, 255u, 256u, 300u}) {
        std::vector<unsigned char> a(n), b, c;
        for (size_t i = 0; i < n; ++i) {
            a[i] = static_cast<unsigned char>(i + 1);
        }
        b = c = a;
        reverseBytes(a.data(), n);
        reverseBytesN(b.data(), n);
        reverseFieldBytes(c.data(), n);
        for (size_t i = 0; i < n; ++i) {
            ASSERT_EQ(a[i], static_cast<unsigned char>(n - i)) << "n " << n << " at " << i;
        }
        EXPECT_EQ(b, a);
        EXPECT_EQ(c, a);
    }
}

TEST(Bytes, SwapsAndHostOrder)
{
    EXPECT_EQ(swap16(0x12F4), 0xF412);
    EXPECT_EQ(swap32(0x12F456E8u), 0xE856F412u);
    const uint16_t one = 1;
    unsigned char first = 0;
    std::memcpy(&first, &one, 1);
    EXPECT_EQ(hostMsbFirst(), first == 0 ? 1 : 0);
}

TEST(BitOp, EachOperationOnOneBitOnly)
{
    unsigned char bits[4] = {};
    EXPECT_EQ(bitOp(bits, 10, 1), 1); // bit 10 is mask 4 of byte 1
    EXPECT_EQ(bits[0] | bits[2] | bits[3], 0);
    EXPECT_EQ(bits[1], 0x04);
    EXPECT_EQ(bitOp(bits, 10, -1), 1);
    EXPECT_EQ(bitOp(bits, 11, -1), 0);
    EXPECT_EQ(bitOp(bits, 10, 2), 4);
    EXPECT_EQ(bitOp(bits, 9, 2), 0);
    EXPECT_EQ(bitOp(bits, 10, 3), 0);
    EXPECT_EQ(bitOp(bits, 15, 3), 128);
    EXPECT_EQ(bitOp(bits, 10, 0), 1);
    EXPECT_EQ(bits[1], 0);

    bitOp(bits, 31, 1);
    bitOp(bits, 24, 1);
    EXPECT_EQ(bits[3], 0x81);
    EXPECT_EQ(bitOp(bits, 31, 4), 0); // toggling a set bit clears it
    EXPECT_EQ(bits[3], 0x01);
    EXPECT_EQ(bitOp(bits, 31, 4), 1);
    EXPECT_EQ(bits[3], 0x81);

    EXPECT_EQ(bitOp(bits, 24, 5), 1); // unknown operations change nothing
    EXPECT_EQ(bitOp(bits, 25, -2), 1);
    EXPECT_EQ(bits[3], 0x81);
}

TEST(BitOp, NegativeIndexTouchesNothing)
{
    unsigned char bits[3] = {};
    EXPECT_EQ(bitOp(bits + 1, -1, 1), 0);
    EXPECT_EQ(bitOp(bits + 1, -8, 4), 0);
    EXPECT_EQ(bits[0] | bits[1] | bits[2], 0);
}

TEST(Text, IntegerStrings)
{
    for (const char *yes : {"0", "1234567890", "-42", "+42", " 42", "", "-"}) {
        EXPECT_EQ(isIntegerString(yes), 1) << '"' << yes << '"';
    }
    for (const char *no : {"4-2", "42-", "42 ", "4 2", "--4", "  4", "\t4", "4.0", "0x1A", "\xd9\xa3"}) {
        EXPECT_EQ(isIntegerString(no), 0) << '"' << no << '"';
    }
}

TEST(Text, NumberStrings)
{
    for (const char *yes : {"1.5", "-2e3", ".5", " 7", ""}) {
        EXPECT_EQ(isNumberString(yes), 1) << '"' << yes << '"';
    }
    // The decimal point is "." whatever the locale.
    for (const char *no : {"7 ", "1.5x", "1,5", "1e", "abc"}) {
        EXPECT_EQ(isNumberString(no), 0) << '"' << no << '"';
    }
}

TEST(Text, CaseBlindComparison)
{
    EXPECT_EQ(strCaseCmp("abc", "ABC"), 0);
    EXPECT_EQ(strCaseCmp("", ""), 0);
    EXPECT_EQ(strCaseCmp("abc", "abd"), 'C' - 'D');
    EXPECT_EQ(strCaseCmp("abz", "ABA"), 'Z' - 'A');
    EXPECT_EQ(strCaseCmp("ab", "abc"), -'C');
    EXPECT_EQ(strCaseCmp("a_", "A`"), '_' - '`'); // after upper-casing: '_' < '`'
    EXPECT_EQ(strCaseCmp(nullptr, "abc"), -1);
    EXPECT_EQ(strCaseCmp(nullptr, ""), -1);
    EXPECT_GT(strCaseCmp("", nullptr), 0);
    EXPECT_EQ(strCaseCmp(nullptr, nullptr), 0);
}

} // namespace
