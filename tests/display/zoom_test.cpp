/*
 * Zoom tables: the source index of every view cell for factors above and
 * below 1, flips and negative factors, rebuilding only on a change, refused
 * factors, sub-tables, visible ranges and the coordinate conversions.
 */
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>
#include "display/zoom.h"
#include "runtime/startup.h"
#include "support/stderr_capture.h"
#include "support/test_interp.h"

namespace {

std::vector<int32_t> entries(const ZoomTable &table)
{
    return std::vector<int32_t>(table.index, table.index + table.count);
}

/* A table record that frees itself. */
struct Table : ZoomTable {
    Table() { zoomClear(this); }
    ~Table() { zoomFree(this); }
};

using V = std::vector<int32_t>;

TEST(ZoomBuild, HalfZoomStepsTwoSourceCellsPerViewCell)
{
    Table t;
    ASSERT_EQ(zoomBuild(&t, 4, 10, 0, 0.5), 1);
    EXPECT_EQ(entries(t), (V{10, 12, 14, 16}));
    ASSERT_EQ(zoomBuild(&t, 4, 10, 1, 0.5), 1);
    EXPECT_EQ(entries(t), (V{16, 14, 12, 10}));
}

TEST(ZoomBuild, FactorsAboveOneRepeatEachSourceCell)
{
    Table t;
    ASSERT_EQ(zoomBuild(&t, 5, 3, 0, 2.0), 1);
    EXPECT_EQ(entries(t), (V{3, 3, 4, 4, 5}));
    ASSERT_EQ(zoomBuild(&t, 5, 3, 1, 2.0), 1);
    EXPECT_EQ(entries(t), (V{5, 4, 4, 3, 3}));
    ASSERT_EQ(zoomBuild(&t, 7, 0, 0, 3.0), 1);
    EXPECT_EQ(entries(t), (V{0, 0, 0, 1, 1, 1, 2}));
}

TEST(ZoomBuild, ANegativeFactorRunsTheViewTheOtherWay)
{
    Table t;
    ASSERT_EQ(zoomBuild(&t, 5, 3, 0, -2.0), 1);
    EXPECT_EQ(entries(t), (V{5, 4, 4, 3, 3}));
    ASSERT_EQ(zoomBuild(&t, 5, 3, 1, -2.0), 1);
    EXPECT_EQ(entries(t), (V{3, 3, 4, 4, 5}));
}

TEST(ZoomBuild, ANegativeStartKeepsEveryRunTheSameLength)
{
    // A view panned left of the image: cells before the image read negative
    // indices, and source cell 0 still gets two view cells.
    Table t;
    ASSERT_EQ(zoomBuild(&t, 6, -2, 0, 2.0), 1);
    EXPECT_EQ(entries(t), (V{-2, -2, -1, -1, 0, 0}));
}

TEST(ZoomBuild, IndicesBeyondThirtyTwoBitsAreClamped)
{
    Table t;
    ASSERT_EQ(zoomBuild(&t, 3, 5, 0, 1e-300), 1);
    EXPECT_EQ(entries(t), (V{5, INT32_MAX, INT32_MAX}));
    ASSERT_EQ(zoomBuild(&t, 3, -5, 0, -1e-300), 1);
    EXPECT_EQ(entries(t), (V{INT32_MAX, INT32_MAX, -5}));
}

TEST(ZoomBuild, SameParametersKeepTheTableAndAnyChangeRebuildsIt)
{
    Table t;
    ASSERT_EQ(zoomBuild(&t, 4, 10, 1, 0.5), 1);
    t.index[0] = 99;  // marks the array: a rebuild overwrites it
    ASSERT_EQ(zoomBuild(&t, 4, 10, 1, 0.5), 1);
    EXPECT_EQ(t.index[0], 99);
    ASSERT_EQ(zoomBuild(&t, 4, 10, 7, 0.5), 1);  // any non-zero flag is the same flag
    EXPECT_EQ(t.index[0], 99);
    ASSERT_EQ(zoomBuild(&t, 4, 10, 0, 0.5), 1);
    EXPECT_EQ(entries(t), (V{10, 12, 14, 16}));
    t.index[0] = 99;

    ASSERT_EQ(zoomBuild(&t, 4, 11, 0, 0.5), 1);
    EXPECT_EQ(entries(t), (V{11, 13, 15, 17}));
    t.index[0] = 99;
    ASSERT_EQ(zoomBuild(&t, 4, 11, 0, 1.0), 1);
    EXPECT_EQ(entries(t), (V{11, 12, 13, 14}));
    ASSERT_EQ(zoomBuild(&t, 2, 11, 0, 1.0), 1);
    EXPECT_EQ(entries(t), (V{11, 12}));
    ASSERT_EQ(zoomBuild(&t, 6, 11, 0, 1.0), 1);
    EXPECT_EQ(entries(t), (V{11, 12, 13, 14, 15, 16}));
}

TEST(ZoomBuild, EmptyViewsAndUnusableFactorsBuildNothing)
{
    Table t;
    EXPECT_EQ(zoomBuild(&t, 0, 0, 0, 1.0), 0);
    EXPECT_EQ(t.index, nullptr);
    EXPECT_EQ(t.count, 0);

    ASSERT_EQ(zoomBuild(&t, 3, 1, 0, 1.0), 1);
    for (double zoom :
         {0.0, -0.0, std::nan(""), std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()}) {
        EXPECT_EQ(zoomBuild(&t, 3, 7, 0, zoom), 0) << zoom;
        EXPECT_EQ(entries(t), (V{1, 2, 3})) << zoom;
        EXPECT_EQ(t.zoom, 1.0);
    }
    EXPECT_EQ(zoomBuild(&t, -4, 7, 0, 1.0), 0);
    EXPECT_EQ(entries(t), (V{1, 2, 3}));
}

/* Records what zoomBuild prints to standard error. */
using ZoomConsole = StderrCapture;

TEST_F(ZoomConsole, AViewTooLargeToIndexIsReportedAndLeavesTheTableEmpty)
{
    Table t;
    ASSERT_EQ(zoomBuild(&t, 3, 1, 0, 1.0), 1);
    EXPECT_EQ(zoomBuild(&t, INT32_MAX, 0, 0, 1.0), 0);  // 8 GiB of entries
    EXPECT_EQ(errors(), "Error in zoomBuild: fail to allocate memory.\n");
    EXPECT_EQ(t.index, nullptr);
    EXPECT_EQ(t.count, 0);
    // Nothing stale is taken for the old table: the same values build again.
    ASSERT_EQ(zoomBuild(&t, 3, 1, 0, 1.0), 1);
    EXPECT_EQ(entries(t), (V{1, 2, 3}));
}

TEST(ZoomTableRecord, NewTablesAreEmptyAndDeleteTakesBuiltOnes)
{
    ZoomTable *t = zoomNew();
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->index, nullptr);
    EXPECT_EQ(t->count, 0);
    EXPECT_EQ(t->zoom, 0.0);
    ASSERT_EQ(zoomBuild(t, 8, 0, 0, 1.0), 1);
    zoomFree(t);
    EXPECT_EQ(t->index, nullptr);
    EXPECT_EQ(t->count, 0);
    ASSERT_EQ(zoomBuild(t, 8, 0, 0, 1.0), 1);
    zoomDelete(t);
    zoomDelete(nullptr);
}

TEST(ZoomSub, CopiesEntriesAndPadsOutsideTheTableWithMinusOne)
{
    Table t;
    ASSERT_EQ(zoomBuild(&t, 4, 10, 0, 0.5), 1);

    ZoomTable *left = zoomSub(&t, -1, 3);
    ASSERT_NE(left, nullptr);
    EXPECT_EQ(entries(*left), (V{-1, 10, 12}));
    EXPECT_EQ(left->start, -1);
    EXPECT_EQ(left->zoom, 0.5);
    EXPECT_EQ(left->reversed, 0);
    zoomDelete(left);

    ZoomTable *right = zoomSub(&t, 2, 4);
    ASSERT_NE(right, nullptr);
    EXPECT_EQ(entries(*right), (V{14, 16, -1, -1}));
    EXPECT_EQ(right->start, 14);
    zoomDelete(right);

    ZoomTable *far = zoomSub(&t, INT32_MAX, 2);  // start + k must not wrap
    ASSERT_NE(far, nullptr);
    EXPECT_EQ(entries(*far), (V{-1, -1}));
    zoomDelete(far);

    EXPECT_EQ(zoomSub(&t, 0, 0), nullptr);
    EXPECT_EQ(zoomSub(nullptr, 0, 2), nullptr);

    ASSERT_EQ(zoomBuild(&t, 4, 10, 1, 0.5), 1);
    ZoomTable *flipped = zoomSub(&t, 1, 2);
    ASSERT_NE(flipped, nullptr);
    EXPECT_EQ(entries(*flipped), (V{14, 12}));
    EXPECT_EQ(flipped->reversed, 1);
    EXPECT_EQ(flipped->start, 14);
    zoomDelete(flipped);
}

TEST(ZoomRange, FindsTheViewCellsShowingTheSource)
{
    Table t;
    int first = -1;
    int last = -1;
    zoomRange(&t, 5, &first, &last);  // nothing built
    EXPECT_EQ(first, 0);
    EXPECT_EQ(last, 0);

    ASSERT_EQ(zoomBuild(&t, 10, -2, 0, 2.0), 1);  // -2 -2 -1 -1 0 0 1 1 2 2
    zoomRange(&t, 2, &first, &last);
    EXPECT_EQ(first, 4);
    EXPECT_EQ(last, 8);
    zoomRange(&t, 5, &first, &last);  // the source reaches past the view
    EXPECT_EQ(first, 4);
    EXPECT_EQ(last, 10);

    ASSERT_EQ(zoomBuild(&t, 10, -2, 1, 2.0), 1);  // 2 2 1 1 0 0 -1 -1 -2 -2
    zoomRange(&t, 2, &first, &last);
    EXPECT_EQ(first, 2);
    EXPECT_EQ(last, 6);

    // A negative factor runs the entries the same way as the flip did.
    ASSERT_EQ(zoomBuild(&t, 10, -2, 0, -2.0), 1);
    ASSERT_EQ(entries(t), (V{2, 2, 1, 1, 0, 0, -1, -1, -2, -2}));
    zoomRange(&t, 2, &first, &last);
    EXPECT_EQ(first, 2);
    EXPECT_EQ(last, 6);

    ASSERT_EQ(zoomBuild(&t, 3, 10, 0, 1.0), 1);  // wholly right of a 5-cell source
    zoomRange(&t, 5, &first, &last);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(last, 0);
}

TEST(ZoomConversions, ViewAndSourceCoordinatesForEveryDirection)
{
    Table t;
    ASSERT_EQ(zoomBuild(&t, 5, 3, 0, 2.0), 1);
    EXPECT_DOUBLE_EQ(zoomToView(&t, 3), 0.0);
    EXPECT_DOUBLE_EQ(zoomToView(&t, 5), 4.0);
    EXPECT_DOUBLE_EQ(zoomToView(&t, 4.25), 2.5);
    EXPECT_DOUBLE_EQ(zoomToSource(&t, 1), 3.5);
    EXPECT_DOUBLE_EQ(zoomToSource(&t, 4), 5.0);

    ASSERT_EQ(zoomBuild(&t, 5, 3, 1, 2.0), 1);
    EXPECT_DOUBLE_EQ(zoomToView(&t, 3), 4.0);
    EXPECT_DOUBLE_EQ(zoomToView(&t, 5), 0.0);
    EXPECT_DOUBLE_EQ(zoomToSource(&t, 0), 5.0);
    EXPECT_DOUBLE_EQ(zoomToSource(&t, 3), 3.5);

    ASSERT_EQ(zoomBuild(&t, 5, 3, 0, -2.0), 1);
    EXPECT_DOUBLE_EQ(zoomToView(&t, 3), 4.0);
    EXPECT_DOUBLE_EQ(zoomToView(&t, 5), 0.0);
    EXPECT_DOUBLE_EQ(zoomToSource(&t, 0), 5.0);
    EXPECT_DOUBLE_EQ(zoomToSource(&t, 4), 3.0);

    ASSERT_EQ(zoomBuild(&t, 5, 3, 1, -2.0), 1);
    EXPECT_DOUBLE_EQ(zoomToView(&t, 5), 4.0);
    EXPECT_DOUBLE_EQ(zoomToView(&t, 3), 0.0);
    EXPECT_DOUBLE_EQ(zoomToSource(&t, 4), 5.0);
    EXPECT_DOUBLE_EQ(zoomToSource(&t, 1), 3.5);

    ASSERT_EQ(zoomBuild(&t, 4, 10, 0, 0.5), 1);
    EXPECT_DOUBLE_EQ(zoomToView(&t, 13), 1.5);
    EXPECT_DOUBLE_EQ(zoomToSource(&t, 3), 16.0);
}

TEST(ZoomConversions, ATableNeverBuiltAnswersItsStartWithoutDividingByZero)
{
    Table t;
    t.start = 7;
    EXPECT_EQ(zoomToSource(&t, 3), 7.0);
    EXPECT_EQ(zoomToView(&t, 3), 0.0);
}

}  // namespace
