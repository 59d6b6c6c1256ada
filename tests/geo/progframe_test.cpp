/*
 * progframe_test.cpp --
 *
 *	The shared frame of the in-process projection programs: numbers
 *	written into an output line (the quick fixed path and printf's), and
 *	input lines read from files.
 */
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "geo/progframe.h"

namespace {

std::string number(const char *format, double value)
{
    ProgOut out;
    out.putNumber(format, value);
    return out.text;
}

/* Expected digits worked out from the exact binary value of each double
 * (decimal arithmetic, ties to even). */
TEST(ProgOutNumber, FixedFormatsRoundTheExactBinaryValue)
{
    EXPECT_EQ(number("%.2f", 0.125), "0.12");  // a tie: to even
    EXPECT_EQ(number("%.2f", 0.375), "0.38");
    EXPECT_EQ(number("%.0f", 2.5), "2");
    EXPECT_EQ(number("%.0f", 3.5), "4");
    EXPECT_EQ(number("%.9f", 123.4567890125), "123.456789012");  // just below the tie
    EXPECT_EQ(number("%.20f", 0.1), "0.10000000000000000555");
    EXPECT_EQ(number("%.10f", -179.99999999995), "-180.0000000000");
    EXPECT_EQ(number("%.3f", -0.0004), "-0.000");
    EXPECT_EQ(number("%.3f", -0.0), "-0.000");
    EXPECT_EQ(number("%.1f", 1e22), "10000000000000000000000.0");
}

TEST(ProgOutNumber, BareFormsOfTheFixedConversion)
{
    EXPECT_EQ(number("%f", 1.0 / 3), "0.333333");
    EXPECT_EQ(number("%lf", 1.0 / 3), "0.333333");
    EXPECT_EQ(number("%.4lf", 2.0 / 3), "0.6667");
    EXPECT_EQ(number("%.4F", 2.0 / 3), "0.6667");
    EXPECT_EQ(number("%.f", 7.5), "8");  // no digits: precision 0
}

TEST(ProgOutNumber, OtherFormatsKeepTheirFlagsWidthsAndText)
{
    EXPECT_EQ(number("%10.3f", 2.0), "     2.000");
    EXPECT_EQ(number("%+.2f", 2.0), "+2.00");
    EXPECT_EQ(number("%-8.1f|", 2.0), "2.0     |");
    EXPECT_EQ(number("x=%.2f", 2.0), "x=2.00");
    EXPECT_EQ(number("%.2f m", 2.0), "2.00 m");
    EXPECT_EQ(number("%.3e", 1234.5), "1.234e+03");
    EXPECT_EQ(number("%.12g", 0.1), "0.1");
}

TEST(ProgOutNumber, NoNumbersAndLongNumbersAsPrintfWritesThem)
{
    EXPECT_EQ(number("%.2f", HUGE_VAL), "inf");
    EXPECT_EQ(number("%.2f", -HUGE_VAL), "-inf");
    EXPECT_EQ(number("%.2F", HUGE_VAL), "INF");
    EXPECT_EQ(number("%.2f", std::nan("")), "nan");
    /* 301 digits and the fraction: longer than the line's number buffer */
    std::string big = number("%.2f", 1e300);
    EXPECT_EQ(big.size(), 304u);
    EXPECT_EQ(big.substr(0, 40), "1000000000000000052504760255204420248704");
    EXPECT_EQ(big.substr(big.size() - 15), "459400540160.00");
}

TEST(ProgOutNumber, NumbersFollowWhatTheLineHolds)
{
    ProgOut out;
    out.put("a\t");
    out.putNumber("%.1f", 0.25);
    out.put('\t');
    out.putNumber("%5.1f", 0.25);
    EXPECT_EQ(out.text, "a\t0.2\t  0.2");
}

/* A file with the given bytes, read from the start. */
FILE *fileWith(const std::string &bytes)
{
    FILE *file = std::tmpfile();
    if (file != nullptr) {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::rewind(file);
    }
    return file;
}

std::vector<std::string> linesOf(const std::string &bytes)
{
    FILE *file = fileWith(bytes);
    EXPECT_NE(file, nullptr);
    std::vector<std::string> lines;
    if (file == nullptr) {
        return lines;
    }
    ProgInput input{file, false};
    char line[kProgLineMax + 3];
    while (progReadLine(input, line)) {
        lines.emplace_back(line);
    }
    std::fclose(file);
    return lines;
}

TEST(ProgReadLine, LinesKeepTheirNewlineAndTheLastGetsOne)
{
    EXPECT_EQ(linesOf("1 2\n\n3 4"), (std::vector<std::string>{"1 2\n", "\n", "3 4\n"}));
    EXPECT_EQ(linesOf(""), std::vector<std::string>{});
    EXPECT_EQ(linesOf("x\n"), std::vector<std::string>{"x\n"});
}

TEST(ProgReadLine, LongLinesAreCutAndTheirRestDropped)
{
    std::string exact(kProgLineMax, 'a');
    std::string longer(kProgLineMax + 5, 'b');
    std::vector<std::string> lines = linesOf(exact + "\n" + longer + "\nnext\n" + longer);
    ASSERT_EQ(lines.size(), 4u);
    /* a line of exactly the limit: its newline goes with it, no empty line follows */
    EXPECT_EQ(lines[0], exact + "\n");
    EXPECT_EQ(lines[1], std::string(kProgLineMax, 'b') + "\n");
    EXPECT_EQ(lines[2], "next\n");
    EXPECT_EQ(lines[3], std::string(kProgLineMax, 'b') + "\n");
}

TEST(ProgReadLine, ANulByteEndsTheTextButNotTheLine)
{
    std::vector<std::string> lines = linesOf(std::string("1 2\0junk\n3 4\n", 13));
    EXPECT_EQ(lines, (std::vector<std::string>{"1 2\n", "3 4\n"}));
}

}  // namespace
