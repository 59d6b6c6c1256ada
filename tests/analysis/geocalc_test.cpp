/*
 * The control point calculator's loop fed through its line-reader seam: the
 * commands change the context as typed, and the end of input stops the loop
 * wherever it comes, leaving a half-answered update undone.
 */
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>
#include "analysis/gcpcalc.h"
#include "analysis/tools/geocalc.h"

namespace {

std::vector<std::string> typed;  // lines still to give
size_t nextLine = 0;

bool fakeReader(std::string &line)
{
    if (nextLine >= typed.size()) {
        return false;
    }
    line = typed[nextLine++];
    return true;
}

/* Runs the loop on calc over lines, then the end of input. */
void type(GcpCalc *calc, std::vector<std::string> lines)
{
    typed = std::move(lines);
    nextLine = 0;
    GeocalcLineReader *previous = geocalcSetLineReader(fakeReader);
    geocalcLoop(calc);
    geocalcSetLineReader(previous);
}

struct CalcHolder {
    GcpCalc *calc = gcpCalcCreate(nullptr);
    ~CalcHolder() { gcpCalcFree(calc); }
};

TEST(GeocalcLoop, AddedPointsAreSelectedAndTheEndOfInputStopsTheLoop)
{
    CalcHolder h;
    ASSERT_NE(h.calc, nullptr);
    type(h.calc, {"ADD", "4", "1 2", "3 4", "x", "5", "6 7", "8 9", "-1", "", "update record 1", "9", "1 1"});
    EXPECT_EQ(nextLine, 13u);
    EXPECT_EQ(h.calc->running, 0);
    ASSERT_EQ(h.calc->count, 2);
    const GcpRecord &first = h.calc->records[0];
    EXPECT_EQ(first.selected, 1);
    EXPECT_EQ(first.id, 4);  // the update ended unanswered: nothing stored
    EXPECT_EQ(first.x1, 1.0);
    EXPECT_EQ(first.y2, 4.0);
    EXPECT_EQ(h.calc->records[1].selected, 1);
    EXPECT_EQ(h.calc->records[1].x2, 8.0);
}

TEST(GeocalcLoop, CalculateProjectsUnselectedPointsOntoTheFit)
{
    CalcHolder h;
    ASSERT_NE(h.calc, nullptr);
    /* X2 = 10 + 2 X1, Y2 = 20 + 3 Y1; the fourth point is 100 off in X2. */
    for (const char *line : {"1 1 0 0 10 20", "1 2 10 0 30 20", "1 3 0 10 10 50", "1 4 5 5 120 35"}) {
        ASSERT_GT(gcpAddRecordText(h.calc, line), 0);
    }
    type(h.calc, {"select id < 3.5", "calculate", "1", "quit", "list"});
    EXPECT_EQ(nextLine, 4u);  // quit ends the loop before the end of input
    EXPECT_EQ(h.calc->nTerms, 3);
    EXPECT_NEAR(h.calc->msr, 0.0, 1e-9);
    const GcpRecord &off = h.calc->records[3];
    EXPECT_EQ(off.selected, 0);
    EXPECT_NEAR(off.x2, 20.0, 1e-9);
    EXPECT_NEAR(off.y2, 35.0, 1e-9);
    EXPECT_EQ(off.dx, 0.0f);
    EXPECT_EQ(off.dy, 0.0f);
}

}  // namespace
