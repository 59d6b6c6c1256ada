/*
 * Numbers read and printed in the C locale: what strtod reads and where it
 * stops, whole-text numbers, formatting, and the scope that switches the
 * thread's locale and gives the previous one back.
 */

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <locale.h>
#include <string>

#include "runtime/cnumber.h"

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
