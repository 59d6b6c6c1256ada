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

std::vector<unsigned char> ramp(size_t n)
{
    std::vector<unsigned char> v(n);
    for (size_t i = 0; i < n; ++i) {
        v[i] = static_cast<unsigned char>(i + 1);
    }
    return v;
}

TEST(Bytes, ReverseBytesReversesOddEvenAndTinyBuffers)
{
    for (size_t n : {0u, 1u, 2u, 3u, 4u, 7u, 8u}) {
        std::vector<unsigned char> v = ramp(n);
        reverseBytes(v.data(), n);
        for (size_t i = 0; i < n; ++i) {
            EXPECT_EQ(v[i], n - i) << "n " << n << " at " << i;
        }
        std::vector<unsigned char> w = ramp(n);
        reverseBytesN(w.data(), n);
        EXPECT_EQ(w, v);
    }
}

TEST(Bytes, ReverseFieldBytesHandlesFieldsOf256BytesAndMore)
{
    for (size_t n : {4u, 255u, 256u, 300u}) {
        std::vector<unsigned char> v = ramp(n);
        reverseFieldBytes(v.data(), n);
        EXPECT_EQ(v.front(), static_cast<unsigned char>(n)) << n;
        EXPECT_EQ(v.back(), 1) << n;
        EXPECT_EQ(v[n / 2], static_cast<unsigned char>(n - n / 2)) << n;
    }
}

TEST(Bytes, SwapsReverseTheValueBytes)
{
    EXPECT_EQ(swap16(0x1234), 0x3412);
    EXPECT_EQ(swap16(0xFF00), 0x00FF);
    EXPECT_EQ(swap32(0x12345678u), 0x78563412u);
    EXPECT_EQ(swap32(0xFF000080u), 0x800000FFu);
    EXPECT_EQ(swap32(0x00010000u), 0x00000100u);
}

TEST(Bytes, HostByteOrderMatchesMemory)
{
    const uint16_t one = 1;
    unsigned char first = 0;
    std::memcpy(&first, &one, 1);
    EXPECT_EQ(hostMsbFirst(), first == 0 ? 1 : 0);
}

TEST(BitOp, SetTestClearOnOneBitOnly)
{
    unsigned char bits[4] = {};
    EXPECT_EQ(bitOp(bits, 10, 1), 1);
    EXPECT_EQ(bits[0], 0);
    EXPECT_EQ(bits[1], 0x04); // bit 10 is bit 2 of byte 1
    EXPECT_EQ(bits[2], 0);
    EXPECT_EQ(bitOp(bits, 10, -1), 1);
    EXPECT_EQ(bitOp(bits, 11, -1), 0);
    EXPECT_EQ(bitOp(bits, 9, -1), 0);
    EXPECT_EQ(bitOp(bits, 10, 2), 4);
    EXPECT_EQ(bitOp(bits, 11, 2), 0);
    EXPECT_EQ(bitOp(bits, 10, 3), 0);
    EXPECT_EQ(bitOp(bits, 15, 3), 128);
    EXPECT_EQ(bitOp(bits, 10, 0), 1);
    EXPECT_EQ(bits[1], 0);
}

TEST(BitOp, LastBitOfAByteAndHighIndices)
{
    unsigned char bits[4] = {};
    bitOp(bits, 7, 1);
    bitOp(bits, 31, 1);
    bitOp(bits, 24, 1);
    EXPECT_EQ(bits[0], 0x80);
    EXPECT_EQ(bits[3], 0x81);
    EXPECT_EQ(bitOp(bits, 31, 2), 128);
    EXPECT_EQ(bitOp(bits, 24, 2), 1);
}

TEST(BitOp, ToggleReturnsTheNewState)
{
    unsigned char bits[2] = {0xFF, 0x00};
    EXPECT_EQ(bitOp(bits, 3, 4), 0);
    EXPECT_EQ(bits[0], 0xF7);
    EXPECT_EQ(bitOp(bits, 3, 4), 1);
    EXPECT_EQ(bits[0], 0xFF);
    EXPECT_EQ(bitOp(bits, 8, 4), 1);
    EXPECT_EQ(bits[1], 0x01);
}

TEST(BitOp, UnknownOperationChangesNothing)
{
    unsigned char bits[2] = {0x5A, 0xA5};
    EXPECT_EQ(bitOp(bits, 1, 5), 1);
    EXPECT_EQ(bitOp(bits, 1, -2), 1);
    EXPECT_EQ(bits[0], 0x5A);
    EXPECT_EQ(bits[1], 0xA5);
}

TEST(BitOp, NegativeIndexTouchesNothing)
{
    unsigned char bits[3] = {0, 0, 0};
    EXPECT_EQ(bitOp(bits + 1, -1, 1), 0);
    EXPECT_EQ(bitOp(bits + 1, -8, 4), 0);
    EXPECT_EQ(bits[0], 0);
    EXPECT_EQ(bits[1], 0);
}

TEST(Text, IntegerStrings)
{
    EXPECT_EQ(isIntegerString("0"), 1);
    EXPECT_EQ(isIntegerString("1234567890"), 1);
    EXPECT_EQ(isIntegerString("-42"), 1);
    EXPECT_EQ(isIntegerString("+42"), 1);
    EXPECT_EQ(isIntegerString(" 42"), 1);
    // The empty text and a lone sign are accepted as they always were.
    EXPECT_EQ(isIntegerString(""), 1);
    EXPECT_EQ(isIntegerString("-"), 1);

    EXPECT_EQ(isIntegerString("4-2"), 0);
    EXPECT_EQ(isIntegerString("42-"), 0);
    EXPECT_EQ(isIntegerString("42 "), 0);
    EXPECT_EQ(isIntegerString("4 2"), 0);
    EXPECT_EQ(isIntegerString("--4"), 0);
    EXPECT_EQ(isIntegerString("  4"), 0);
    EXPECT_EQ(isIntegerString("\t4"), 0);
    EXPECT_EQ(isIntegerString("4.0"), 0);
    EXPECT_EQ(isIntegerString("0x1A"), 0);
    EXPECT_EQ(isIntegerString("\xd9\xa3"), 0); // a non-ASCII digit
}

TEST(Text, NumberStrings)
{
    EXPECT_EQ(isNumberString("1.5"), 1);
    EXPECT_EQ(isNumberString("-2e3"), 1);
    EXPECT_EQ(isNumberString(".5"), 1);
    EXPECT_EQ(isNumberString(" 7"), 1); // strtod skips leading blanks
    EXPECT_EQ(isNumberString(""), 1);

    EXPECT_EQ(isNumberString("7 "), 0);
    EXPECT_EQ(isNumberString("1.5x"), 0);
    EXPECT_EQ(isNumberString("1,5"), 0); // the decimal point is always "."
    EXPECT_EQ(isNumberString("1e"), 0);
    EXPECT_EQ(isNumberString("abc"), 0);
}

TEST(Text, CaseBlindComparison)
{
    EXPECT_EQ(strCaseCmp("abc", "ABC"), 0);
    EXPECT_EQ(strCaseCmp("Tiff", "tIFF"), 0);
    EXPECT_EQ(strCaseCmp("", ""), 0);
    EXPECT_EQ(strCaseCmp("abc", "abd"), 'C' - 'D');
    EXPECT_EQ(strCaseCmp("abz", "ABA"), 'Z' - 'A');
    EXPECT_EQ(strCaseCmp("ab", "abc"), -'C');
    EXPECT_EQ(strCaseCmp("abc", "AB"), 'C');
    EXPECT_EQ(strCaseCmp("a_", "A`"), '_' - '`');
}

TEST(Text, MissingTextsSortFirst)
{
    EXPECT_EQ(strCaseCmp(nullptr, "abc"), -1);
    EXPECT_EQ(strCaseCmp(nullptr, ""), -1);
    EXPECT_GT(strCaseCmp("", nullptr), 0);
    EXPECT_EQ(strCaseCmp(nullptr, nullptr), 0);
}

} // namespace
