/*
 * Byte reversal and swaps, header fields in both byte orders, positioned
 * reads and writes, bit arrays, and the text tests (integers, numbers,
 * case-blind comparison).
 */

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "runtime/util.h"
#include "tesk_image.h"

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

TEST(Bytes, FieldsReadAndWriteInEitherOrderAtAnyAlignment)
{
    using B = std::vector<unsigned char>;
    // One byte of slack in front: every field sits at an odd address.
    unsigned char buf[9] = {};
    unsigned char *p = buf + 1;
    const B le8 = {0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x81};
    std::memcpy(p, le8.data(), 8);
    EXPECT_EQ(getU16(p), 0x0708u);
    EXPECT_EQ(getU16(p, true), 0x0807u);
    EXPECT_EQ(getU32(p), 0x05060708u);
    EXPECT_EQ(getU32(p, true), 0x08070605u);
    EXPECT_EQ(getU64(p), 0x8102030405060708ull);
    EXPECT_EQ(getU64(p, true), 0x0807060504030281ull);
    EXPECT_EQ(getI16(p + 6), static_cast<int16_t>(0x8102));  // sign from the high byte
    EXPECT_EQ(getI32(p + 4, true), 0x04030281);
    EXPECT_EQ(getI64(p), static_cast<int64_t>(0x8102030405060708ull));

    putU16(p, 0xA1B2);
    EXPECT_EQ(B(p, p + 2), (B{0xB2, 0xA1}));
    putU16(p, 0xA1B2, true);
    EXPECT_EQ(B(p, p + 2), (B{0xA1, 0xB2}));
    putI32(p, -2);
    EXPECT_EQ(B(p, p + 4), (B{0xFE, 0xFF, 0xFF, 0xFF}));
    putU32(p, 0x01020304u, true);
    EXPECT_EQ(B(p, p + 4), (B{1, 2, 3, 4}));
    putU64(p, 0x0102030405060708ull, true);
    EXPECT_EQ(B(p, p + 8), (B{1, 2, 3, 4, 5, 6, 7, 8}));
    putI64(p, -1);
    EXPECT_EQ(B(p, p + 8), B(8, 0xFF));

    // IEEE bits: 1.5 is 3FF8 0000 0000 0000, and 0.75f is 3F40 0000.
    putF64(p, 1.5, true);
    EXPECT_EQ(B(p, p + 8), (B{0x3F, 0xF8, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(getF64(p, true), 1.5);
    putF64(p, 1.5);
    EXPECT_EQ(B(p, p + 8), (B{0, 0, 0, 0, 0, 0, 0xF8, 0x3F}));
    EXPECT_EQ(getF64(p), 1.5);
    putF32(p, 0.75);
    EXPECT_EQ(B(p, p + 4), (B{0, 0, 0x40, 0x3F}));
    EXPECT_EQ(getF32(p), 0.75f);
    putF32(p, -0.75, true);
    EXPECT_EQ(B(p, p + 4), (B{0xBF, 0x40, 0, 0}));
    EXPECT_EQ(getF32(p, true), -0.75f);
    // Beyond the float range: infinities; NaN stays NaN.
    putF32(p, 1e300);
    EXPECT_EQ(getF32(p), INFINITY);
    putF32(p, -1e300, true);
    EXPECT_EQ(getF32(p, true), -INFINITY);
    putF32(p, NAN);
    EXPECT_TRUE(std::isnan(getF32(p)));
    EXPECT_EQ(buf[0], 0);  // nothing written in front of the field
}

TEST(Bytes, PositionedReadsAndWritesLeaveTheFilePositionAlone)
{
    char name[] = "/tmp/tesk_bytes_XXXXXX";
    int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    unlink(name);
    const std::string text = "0123456789";
    ASSERT_TRUE(writeAt(fd, text.data(), text.size(), 0));
    ASSERT_TRUE(writeAt(fd, "AB", 2, 4));
    ASSERT_TRUE(writeAt(fd, "Z", 1, 12));  // past the end: a hole of zeros before it
    EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 0);

    char got[16] = {};
    EXPECT_EQ(readAt(fd, got, 6, 2), 6u);
    EXPECT_EQ(std::string(got, 6), "23AB67");
    EXPECT_TRUE(readAllAt(fd, got, 3, 10));
    EXPECT_EQ(std::string(got, 3), std::string("\0\0Z", 3));
    // Short at the end of the file: the count read, and not all of it.
    EXPECT_EQ(readAt(fd, got, 8, 9), 4u);
    EXPECT_FALSE(readAllAt(fd, got, 8, 9));
    EXPECT_EQ(readAt(fd, got, 4, 100), 0u);
    EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 0);
    close(fd);

    // A descriptor not open for writing: false with the reason in errno.
    int readOnly = open("/dev/null", O_RDONLY);
    ASSERT_GE(readOnly, 0);
    errno = 0;
    EXPECT_FALSE(writeAt(readOnly, "x", 1, 0));
    EXPECT_EQ(errno, EBADF);
    close(readOnly);
    EXPECT_EQ(readAt(-1, got, 1, 0), 0u);
}

TEST(Bytes, WritesFailOnceTheTestLimitIsSpent)
{
    char name[] = "/tmp/tesk_bytes_XXXXXX";
    int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    unlink(name);
    tesk_failWritesAfter(5);
    EXPECT_TRUE(writeAt(fd, "abc", 3, 0));
    errno = 0;
    EXPECT_FALSE(writeAt(fd, "defg", 4, 3));  // two bytes left: "de" lands, then the failure
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_FALSE(writeAt(fd, "x", 1, 5));
    tesk_failWritesAfter(-1);
    EXPECT_TRUE(writeAt(fd, "f", 1, 5));
    char got[8] = {};
    EXPECT_EQ(readAt(fd, got, 8, 0), 6u);
    EXPECT_EQ(std::string(got, 6), "abcdef");
    close(fd);
}

TEST(BitOp, EachOperationOnOneBitOnly)
{
    unsigned char bits[4] = {};
    EXPECT_EQ(bitOp(bits, 10, 1), 1);  // bit 10 is mask 4 of byte 1
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
    EXPECT_EQ(bitOp(bits, 31, 4), 0);  // toggling a set bit clears it
    EXPECT_EQ(bits[3], 0x01);
    EXPECT_EQ(bitOp(bits, 31, 4), 1);
    EXPECT_EQ(bits[3], 0x81);

    EXPECT_EQ(bitOp(bits, 24, 5), 1);  // unknown operations change nothing
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
    EXPECT_EQ(strCaseCmp("a_", "A`"), '_' - '`');  // after upper-casing: '_' < '`'
    EXPECT_EQ(strCaseCmp(nullptr, "abc"), -1);
    EXPECT_EQ(strCaseCmp(nullptr, ""), -1);
    EXPECT_GT(strCaseCmp("", nullptr), 0);
    EXPECT_EQ(strCaseCmp(nullptr, nullptr), 0);
}

}  // namespace
