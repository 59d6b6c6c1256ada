/*
 * Numbers read and printed in the C locale: what strtod reads and where it
 * stops, whole-text numbers, numbers scanned as scanf scans them, the same
 * under a comma-decimal LC_NUMERIC, formatting, and the scope that switches
 * the thread's locale and gives the previous one back.
 */

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <locale.h>
#include <string>

#include "runtime/cnumber.h"
#include "support/commalocale.h"
#include "support/test_interp.h"

namespace {

TEST(CNumber, StrtodStopsAfterTheNumberAndReadsNothingFromNoNumber)
{
    struct Case {
        const char *text;
        double value;
        int used;  // characters read
    } cases[] = {
        {"1.5", 1.5, 3}, {"  -2.25e2x", -225, 9}, {"1,5", 1, 1}, {".5.", 0.5, 2}, {"0x10 ", 16, 4},
        {"1e", 1, 1},    {"+7\t", 7, 2},          {"abc", 0, 0}, {"", 0, 0},      {" ", 0, 0},
    };
    for (const Case &c : cases) {
        char *end = nullptr;
        EXPECT_EQ(cStrtod(c.text, &end), c.value) << '"' << c.text << '"';
        EXPECT_EQ(end - c.text, c.used) << '"' << c.text << '"';
        EXPECT_EQ(cStrtod(c.text), c.value) << '"' << c.text << '"';
    }
    EXPECT_EQ(cStrtod("-inf"), -INFINITY);
    EXPECT_TRUE(std::isnan(cStrtod("nan")));
    errno = 0;
    EXPECT_EQ(cStrtod("1e999"), INFINITY);
    EXPECT_EQ(errno, ERANGE);
}

TEST(CNumber, WholeNumbersAllowLeadingBlanksOnly)
{
    double v = -1;
    EXPECT_TRUE(cWholeNumber(" 12.5", &v));
    EXPECT_EQ(v, 12.5);
    EXPECT_TRUE(cWholeNumber("-3e-1", nullptr));
    for (const char *no : {"", "12 ", "1,5", "1.5.", "x1", " "}) {
        v = -1;
        EXPECT_FALSE(cWholeNumber(no, &v)) << '"' << no << '"';
        EXPECT_EQ(v, -1) << "left alone for \"" << no << '"';
    }
    EXPECT_FALSE(cWholeNumber(nullptr, &v));
}

TEST(CNumber, ReadersOfAUsersNumberRefuseWhatIsNotFiniteUnlessAsked)
{
    double v = -1;
    for (const char *word : {"inf", "-Inf", "nan", "1e400", "infinity"}) {
        EXPECT_FALSE(cWholeNumber(word, &v)) << word;
    }
    EXPECT_EQ(v, -1);
    EXPECT_TRUE(cWholeNumber("inf", &v, cAllowInfinite));
    EXPECT_TRUE(std::isinf(v));
    EXPECT_FALSE(cWholeNumber("nan", &v, cAllowInfinite));
    EXPECT_TRUE(cWholeNumber("nan", &v, cAllowNaN));
    EXPECT_TRUE(std::isnan(v));

    Tcl_Interp *interp = testInterp();
    v = -1;
    EXPECT_EQ(cGetDouble(interp, " 2.5 ", &v), TCL_OK);
    EXPECT_EQ(v, 2.5);
    EXPECT_EQ(cGetDouble(interp, "-inf", &v), TCL_ERROR);
    EXPECT_STREQ(Tcl_GetStringResult(interp), "expected floating-point number but got \"-inf\"");
    EXPECT_EQ(cGetDouble(interp, "1e400", &v), TCL_ERROR);
    EXPECT_EQ(cGetDouble(interp, "x", &v), TCL_ERROR);
    EXPECT_STREQ(Tcl_GetStringResult(interp), "expected floating-point number but got \"x\"");
    EXPECT_EQ(v, 2.5) << "left alone";
    EXPECT_EQ(cGetDouble(nullptr, "nan", &v, cAllowNaN), TCL_OK);
    EXPECT_TRUE(std::isnan(v));
    EXPECT_EQ(cGetDouble(nullptr, "inf", &v, cAllowNonFinite), TCL_OK);
    EXPECT_TRUE(std::isinf(v));

    /* tool numbers: atof's reading, but finite as a float */
    v = -1;
    EXPECT_TRUE(cToolNumber("3.5abc", &v));
    EXPECT_EQ(v, 3.5);
    EXPECT_TRUE(cToolNumber("abc", &v));
    EXPECT_EQ(v, 0);
    for (const char *word : {"inf", "nan", "1e39", "-1e39"}) {
        v = -1;
        EXPECT_FALSE(cToolNumber(word, &v)) << word;
        EXPECT_EQ(v, -1) << word;
    }
}

TEST(CNumber, ScanReadsWhatScanfReadsAndStopsWhereItStops)
{
    struct Case {
        const char *text;
        char separator;
        const char *format;  // what scanf is given for the same reading
        int used;            // characters read, counted by hand
    } cases[] = {
        {"1.5 -2 3e2 4", ' ', "%lf %lf %lf %lf", 12},
        {"  .5\t\n7", ' ', "%lf %lf %lf %lf", 7},
        {"1e 2", ' ', "%lf %lf %lf %lf", 4},  // scanf takes the "e" with the 1
        {"0x1p3 9", ' ', "%lf %lf %lf %lf", 7},
        {"1,5", ' ', "%lf %lf %lf %lf", 1},
        {"x1", ' ', "%lf %lf %lf %lf", 0},
        {"", ' ', "%lf %lf %lf %lf", 0},
        {"1, 2,3 ,4", ',', "%lf,%lf,%lf,%lf", 6},  // blanks before a separator end the list
        {"0.5\\0.25", '\\', "%lf\\%lf\\%lf\\%lf", 8},
        {"0.5 \\0.25", '\\', "%lf\\%lf\\%lf\\%lf", 3},
    };
    for (const Case &c : cases) {
        double want[4] = {-1, -1, -1, -1}, got[4] = {-1, -1, -1, -1};
        int wanted = std::sscanf(c.text, c.format, &want[0], &want[1], &want[2], &want[3]);
        const char *end = nullptr;
        EXPECT_EQ(cScanNumbers(c.text, got, 4, c.separator, &end), wanted < 0 ? 0 : wanted) << '"' << c.text << '"';
        for (int k = 0; k < 4; k++) {
            EXPECT_TRUE(got[k] == want[k] || (std::isnan(got[k]) && std::isnan(want[k]))) << '"' << c.text << "\" " << k;
        }
        EXPECT_EQ(end - c.text, c.used) << '"' << c.text << '"';
    }
    /* A float is rounded once, from the text: just above the midpoint of 1
     * and the next float is the next float (through a double it is 1). */
    const char *aboveMidpoint = "1.00000005960464477539062500000000001";
    float f = 0;
    EXPECT_EQ(cScanNumbers(aboveMidpoint, &f, 1), 1);
    EXPECT_EQ(f, 1.0f + 0x1p-23f);
    EXPECT_EQ(cStrtof(aboveMidpoint), 1.0f + 0x1p-23f);
}

TEST(CNumber, ScanEndsAtANumberThatIsNotFinite)
{
    struct Case {
        const char *text;
        int count;  // numbers read, all finite
        int used;   // characters read
    } cases[] = {
        {"0x1p3 inf -nan 9", 1, 5},
        {"1e999 2", 0, 0},
        {"1 2 -1e400", 2, 3},
        {"4,nan", 1, 1},
        {"3.5e38 3.5e38", 2, 13},  // finite as doubles; as floats, past the range
    };
    for (const Case &c : cases) {
        double d[4] = {-1, -1, -1, -1};
        const char *end = nullptr;
        EXPECT_EQ(cScanNumbers(c.text, d, 4, c.text[1] == ',' ? ',' : ' ', &end), c.count) << '"' << c.text << '"';
        EXPECT_EQ(end - c.text, c.used) << '"' << c.text << '"';
        for (int k = c.count; k < 4; k++) {
            EXPECT_EQ(d[k], -1) << '"' << c.text << "\" " << k;
        }
    }
    float f[2] = {-1, -1};
    EXPECT_EQ(cScanNumbers("3.5e38 1", f, 2), 0);
    EXPECT_EQ(f[0], -1);
}

TEST(CNumber, ReadNumberTellsARefusedNumberFromNone)
{
    struct Case {
        const char *text;
        int allow;
        bool read;
        int used;  // characters past text at *end
    } cases[] = {
        {" 0x10,", cFiniteOnly, true, 5},   {".5e1", cFiniteOnly, true, 4},       {"inf 2", cFiniteOnly, false, 3},
        {"-nan", cFiniteOnly, false, 4},    {"1e999", cFiniteOnly, false, 5},     {"x", cFiniteOnly, false, 0},
        {"", cFiniteOnly, false, 0},        {"inf", cAllowInfinite, true, 3},     {"nan", cAllowInfinite, false, 3},
        {"nan", cAllowNaN, true, 3},        {"-1e999", cAllowNonFinite, true, 6},
    };
    for (const Case &c : cases) {
        double v = -7;
        const char *end = nullptr;
        EXPECT_EQ(cReadNumber(c.text, &v, &end, c.allow), c.read) << '"' << c.text << '"';
        EXPECT_EQ(end - c.text, c.used) << '"' << c.text << '"';
        if (!c.read) {
            EXPECT_EQ(v, -7) << '"' << c.text << '"';
        }
    }
    double v = 0;
    EXPECT_TRUE(cReadNumber(" 0x10", &v));
    EXPECT_EQ(v, 16);
}

TEST(CNumber, NumbersReadTheSameUnderACommaDecimalLocale)
{
    CommaLocale comma;
    if (!comma.active()) {
        GTEST_SKIP() << "no comma-decimal locale on this machine, and localedef made none";
    }
    ASSERT_EQ(std::strtod("1.5", nullptr), 1.0);  // the locale reads "1.5" as 1 itself
    double d[2] = {0, 0};
    float f[2] = {0, 0};
    EXPECT_EQ(cScanNumbers("1.5 -2.25", d, 2), 2);
    EXPECT_EQ(cScanNumbers("0.5,0.25", f, 2, ','), 2);
    EXPECT_EQ(d[0], 1.5);
    EXPECT_EQ(d[1], -2.25);
    EXPECT_EQ(f[0], 0.5f);
    EXPECT_EQ(f[1], 0.25f);
    EXPECT_EQ(cStrtod("2.5"), 2.5);
    EXPECT_EQ(cStrtof("2.5"), 2.5f);
    EXPECT_EQ(cScanNumbers("1,5", d, 1), 1);
    EXPECT_EQ(d[0], 1.0);
    FILE *stream = tmpfile();
    ASSERT_NE(stream, nullptr);
    std::fputs("3.25 x", stream);
    std::rewind(stream);
    double v = 0;
    EXPECT_TRUE(cScanNumber(stream, &v));
    EXPECT_EQ(v, 3.25);
    EXPECT_FALSE(cScanNumber(stream, &v));
    std::fclose(stream);
}

TEST(CNumber, FormatPrintsWithAPointAndAnyLength)
{
    EXPECT_EQ(cFormat("%g|%.3f|%d", 0.5, -1.25, 42), "0.5|-1.250|42");
    EXPECT_EQ(cFormat("%.32g", 0.1),
              "0.10000000000000000555111512312578");  // 32 digits of 0.1000000000000000055511151231257827...
    std::string wide = cFormat("%2000d", 7);
    EXPECT_EQ(wide.size(), 2000u);
    EXPECT_EQ(wide.back(), '7');
}

TEST(CNumber, ScopeSwitchesTheThreadAndRestoresItsLocale)
{
    locale_t own = newlocale(LC_ALL_MASK, "C.UTF-8", static_cast<locale_t>(0));
    ASSERT_NE(own, static_cast<locale_t>(0));
    locale_t before = uselocale(own);
    {
        CLocaleScope inC;
        EXPECT_NE(uselocale(static_cast<locale_t>(0)), own);
        EXPECT_STREQ(localeconv()->decimal_point, ".");
        {
            CLocaleScope nested;
            EXPECT_NE(uselocale(static_cast<locale_t>(0)), own);
        }
        EXPECT_NE(uselocale(static_cast<locale_t>(0)), own);
    }
    EXPECT_EQ(uselocale(static_cast<locale_t>(0)), own);
    uselocale(before);
    freelocale(own);
}

}  // namespace
