/*
 * The line item made from a geometry description, as the split of an
 * object item makes it: its parts and points copied, the source's width,
 * colours, spline steps and smoothing taken, part counts below 1 refused,
 * and what assemble reads back (points and part counts); and the
 * smoothing bound, vertex angle and segment walk lines and polygons share.
 */
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>
#include "canvas/canvasapi.h"
#include "canvas/canvasint.h"
#include "canvas/geometry.h"
#include "canvas/outline.h"
#include "canvasfixture.h"
#include "support/test_interp.h"
#include "tesk.h"

namespace {

class LineItemTest : public CanvasFixture {
protected:
    LineItemTest() : CanvasFixture(".lc", "-width 100 -height 100 -highlightthickness 0 -mx 2 -my -2") {}
};

TEST_F(LineItemTest, DescriptionGivesPartsPointsAndTheSourcesPen)
{
    GcanvasDescStyle style;
    gcanvasCreateOutline(&style.outline);
    style.outline.width = 4;
    style.outline.color = Tk_GetColor(interp, tkwin, "red");
    style.outline.activeColor = Tk_GetColor(interp, tkwin, "blue");
    style.joinStyle = 0;
    style.capStyle = 1;
    style.splineSteps = 7;
    style.smooth = &gcanvasBezierSmoothMethod;
    const std::vector<double> points = {0, 0, 10, 0, 20, 5, 30, 5, 40, 5};
    const std::vector<int> parts = {2, 3};
    GcanvasGeometryDesc desc = {2, points.data(), parts.data(), &style, nullptr, nullptr, nullptr};

    GcanvasItem *item = gcanvasCreateItemFromDesc(canvas, interp, &gcanvasLineType, &desc, "a b");
    ASSERT_NE(item, nullptr) << Tcl_GetStringResult(interp);
    std::string id = std::to_string(item->id);
    EXPECT_EQ(eval(".lc coords " + id), "0.0 0.0 10.0 0.0 20.0 5.0 30.0 5.0 40.0 5.0 {2 3}");
    EXPECT_EQ(eval("list [.lc itemcget " + id + " -width] [.lc itemcget " + id + " -fill] [.lc itemcget " + id +
                   " -activefill] [.lc itemcget " + id + " -splinesteps] [.lc itemcget " + id +
                   " -smooth] [.lc gettags " + id + "]"),
              "4.0 red blue 7 bezier {a b}");

    int count = 0;
    const double *read = gcanvasLineType.getCoordsProc(item, &count);
    ASSERT_EQ(count, 5);
    EXPECT_EQ(std::vector<double>(read, read + 10), points);
    const int *readParts = gcanvasLineType.getPartsProc(item, &count);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(std::vector<int>(readParts, readParts + 2), parts);
    // With arrowheads on, assemble still reads the given end points.
    std::string plainBox = eval(".lc bbox " + id);
    eval(".lc itemconfigure " + id + " -arrow both");
    EXPECT_NE(eval(".lc bbox " + id), plainBox);  // the heads widen the box
    read = gcanvasLineType.getCoordsProc(item, &count);
    ASSERT_EQ(count, 5);
    EXPECT_EQ(std::vector<double>(read, read + 10), points);
    // The line's own references: the source's colours outlive the item.
    eval(".lc delete " + id);
    Tk_FreeColor(style.outline.color);
    Tk_FreeColor(style.outline.activeColor);
}

TEST_F(LineItemTest, DescriptionWithoutStyleOrPointsAndARefusedPartCount)
{
    GcanvasGeometryDesc empty = {0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
    GcanvasItem *item = gcanvasCreateItemFromDesc(canvas, interp, &gcanvasLineType, &empty, nullptr);
    ASSERT_NE(item, nullptr);
    std::string id = std::to_string(item->id);
    EXPECT_EQ(eval("list [.lc coords " + id + "] [.lc itemcget " + id + " -fill] [.lc bbox " + id + "]"),
              "{} black {}");

    const std::vector<double> points = {0, 0, 10, 0, 20, 5};
    const std::vector<int> parts = {3, 0};
    GcanvasGeometryDesc bad = {2, points.data(), parts.data(), nullptr, nullptr, nullptr, nullptr};
    int before = canvas->nextId;
    EXPECT_EQ(gcanvasCreateItemFromDesc(canvas, interp, &gcanvasLineType, &bad, nullptr), nullptr);
    EXPECT_EQ(canvas->nextId, before);

    // A plain description: one part of three points, drawn with the
    // defaults; world (10, 0) lands at canvas (20, 0).
    const std::vector<int> one = {3};
    GcanvasGeometryDesc plain = {1, points.data(), one.data(), nullptr, nullptr, nullptr, nullptr};
    item = gcanvasCreateItemFromDesc(canvas, interp, &gcanvasLineType, &plain, nullptr);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(eval(".lc coords " + std::to_string(item->id)), "0.0 0.0 10.0 0.0 20.0 5.0");
    EXPECT_EQ(eval(".lc find closest 20 0"), std::to_string(item->id));
    // Without part counts: one part of count points.
    GcanvasGeometryDesc uncounted = {3, points.data(), nullptr, nullptr, nullptr, nullptr, nullptr};
    item = gcanvasCreateItemFromDesc(canvas, interp, &gcanvasLineType, &uncounted, nullptr);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(eval(".lc coords " + std::to_string(item->id)), "0.0 0.0 10.0 0.0 20.0 5.0");
}

TEST(LineGeometry, SmoothBoundIsWorkedOutIn64Bits)
{
    const GcanvasSmoothMethod *bezier = &gcanvasBezierSmoothMethod;
    EXPECT_EQ(gcanvasSmoothBound(nullptr, bezier, 10, 12), 121);
    EXPECT_EQ(gcanvasSmoothBound(nullptr, bezier, 40000, 100), -1);  // 4,000,001: one past the limit
    EXPECT_EQ(gcanvasSmoothBound(nullptr, bezier, 39999, 100), 3999901);
    // 30,000,000 points at 100 steps wrap a 32-bit int; the bound refuses.
    EXPECT_EQ(gcanvasSmoothBound(nullptr, bezier, 30000000, 100), -1);
    EXPECT_EQ(gcanvasMakeBezierCurve(nullptr, nullptr, 30000000, 100, nullptr, nullptr), INT_MAX);
    std::vector<double> out = {7, 7};
    const double pts[] = {0, 0, 10, 0, 10, 10};
    EXPECT_EQ(gcanvasSmoothPart(nullptr, bezier, pts, 2, 12, out), 0);  // too few points
    int made = gcanvasSmoothPart(nullptr, bezier, pts, 3, 4, out);
    EXPECT_EQ(made, 1 + 4);  // first point, then one span of 4
    ASSERT_EQ(out.size(), 2 + 2 * static_cast<size_t>(made));
    EXPECT_EQ(out[0], 7);  // appended after what was there
    EXPECT_EQ(out[2], 0);
    EXPECT_EQ(out.back(), 10);
}

TEST(LineGeometry, VertexAngleStaysInItsPart)
{
    // Parts: (0,0)-(10,0); (10,10)-(10,20)-(0,20); a lone point (5,5).
    const double pts[] = {0, 0, 10, 0, 10, 10, 10, 20, 0, 20, 5, 5};
    const int counts[] = {2, 3, 1};
    const double expected[] = {0, 0, 90, -180, -180, 0};  // dy 0 going left: -180
    for (int v = 0; v < 6; v++) {
        EXPECT_EQ(gcanvasVertexAngle(pts, nullptr, counts, 3, 6, v), expected[v]) << v;
        EXPECT_EQ(gcanvasVertexAngle(pts, nullptr, counts, 3, 6, v - 6), expected[v]) << v - 6;
    }
    // No segment anywhere.
    const int dots[] = {1, 1};
    EXPECT_EQ(gcanvasVertexAngle(pts, nullptr, dots, 2, 2, 1), 0);
    EXPECT_EQ(gcanvasVertexAngle(pts, nullptr, dots, 0, 0, 3), 0);
}

TEST(LineGeometry, SegmentWalkTruncatesAndCountsNegativesFromTheStart)
{
    const double pts[] = {0, 0, 10, 0, 10, 10, 10, 20, 0, 20, 5, 5};
    const int counts[] = {2, 3, 1};
    struct Row {
        double position, angle, x, y;
    } rows[] = {
        {0.25, 0, 2.5, 0},  {1.75, -180, 5, 20}, {1.5, 90, 10, 20},    {2.5, 0, 5, 5},    {3.0, 0, 0, 0},
        {-0.25, 0, 2.5, 0}, {-1.25, 0, 5, 5},    {-2.75, -180, 5, 20}, {1.0, 90, 10, 10}, {0.999999, 0, 9.99999, 0},
    };
    for (const Row &r : rows) {
        double x = -1, y = -1;
        EXPECT_EQ(gcanvasSegmentWalk(pts, nullptr, counts, 3, r.position, &x, &y), r.angle) << r.position;
        EXPECT_NEAR(x, r.x, 1e-9) << r.position;
        EXPECT_NEAR(y, r.y, 1e-9) << r.position;
    }
    double x = 1, y = 1;
    EXPECT_EQ(gcanvasSegmentWalk(pts, nullptr, counts, 0, 0.5, &x, &y), 0);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
}

}  // namespace
