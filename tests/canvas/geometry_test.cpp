/*
 * Canvas geometry: scaled distances to segments, rings (with holes) and
 * ovals, thick polylines with their caps and joins, rectangle tests, box
 * widening, measures and centroids, angles and bezier smoothing.
 */
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>
#include "canvas/geometry.h"
#include "support/test_interp.h"

namespace {

using D = std::vector<double>;

/* Tests reaching Tk's own planar routines need its stub tables. */
class TkGeometry : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(testTkInterp(), nullptr); }
};

TEST(Distance, SegmentsNearlyVerticalOrHorizontalAndScaled)
{
    double a[2] = {0, 0}, b[2] = {0.0005, 10}, p[2] = {3, 5};
    EXPECT_DOUBLE_EQ(segmentDistanceScaled(1, 1, a, b, p), 3);
    double v[2] = {0, 10}, q[2] = {3, 0};
    EXPECT_DOUBLE_EQ(segmentDistanceScaled(2, 1, a, v, q), 6);
    // Past an end: the distance to that end.
    double h[2] = {10, 0}, r[2] = {13, 4};
    EXPECT_DOUBLE_EQ(segmentDistanceScaled(1, 1, a, h, r), 5);
    // Sloped: the perpendicular foot, or the nearer end.
    double s[2] = {10, 10}, m[2] = {0, 10}, far[2] = {12, 14};
    EXPECT_NEAR(segmentDistanceScaled(1, 1, a, s, m), std::sqrt(50), 1e-12);
    EXPECT_NEAR(segmentDistanceScaled(1, 1, a, s, far), std::sqrt(20), 1e-12);
}

TEST(Distance, RingsInsideOutsideAndWithHoles)
{
    D square{0, 0, 10, 0, 10, 10, 0, 10};
    double inside[2] = {5, 5}, outside[2] = {15, 5}, boundary = -1;
    EXPECT_EQ(ringDistanceScaled(1, 1, square.data(), 4, inside, &boundary), 0);
    EXPECT_EQ(boundary, 5);
    EXPECT_EQ(ringDistanceScaled(1, 1, square.data(), 4, outside, nullptr), 5);
    EXPECT_EQ(ringDistanceScaled(2, 1, square.data(), 4, outside, nullptr), 10);
    // A triangle: sloped edges count crossings too.
    D tri{0, 0, 10, 0, 0, 10};
    double in[2] = {2, 2}, out[2] = {8, 8};
    EXPECT_EQ(ringDistanceScaled(1, 1, tri.data(), 3, in, nullptr), 0);
    EXPECT_NEAR(ringDistanceScaled(1, 1, tri.data(), 3, out, nullptr), 6 / std::sqrt(2), 1e-12);

    // Outer 0..10 with a hole 4..6.
    D rings{0, 0, 10, 0, 10, 10, 0, 10, 4, 4, 6, 4, 6, 6, 4, 6};
    int counts[2] = {4, 4};
    double between[2] = {2, 5}, inHole[2] = {5, 4.5};
    EXPECT_EQ(ringsDistanceScaled(1, 1, rings.data(), 2, counts, between, &boundary), 0);
    EXPECT_EQ(boundary, 2);
    EXPECT_NEAR(ringsDistanceScaled(1, 1, rings.data(), 2, counts, inHole, &boundary), 0.5, 1e-12);
    EXPECT_EQ(ringsDistanceScaled(1, 1, rings.data(), 2, counts, outside, nullptr), 5);
}

TEST(Distance, OvalsFilledOrOutlinedUnderScales)
{
    double box[4] = {0, 0, 10, 10};
    double centre[2] = {5, 5}, right[2] = {20, 5}, nearRim[2] = {9, 5};
    EXPECT_EQ(ovalToPointScaled(1, 1, box, 0, 1, centre), 0);
    EXPECT_NEAR(ovalToPointScaled(1, 1, box, 0, 1, right), 10, 1e-12);
    EXPECT_NEAR(ovalToPointScaled(-2, 2, box, 0, 1, right), 20, 1e-12);
    // Outlined: inside the ring the distance to the outline, the centre
    // half the smaller diameter less the width.
    EXPECT_NEAR(ovalToPointScaled(1, 1, box, 0, 0, nearRim), 1, 1e-12);
    EXPECT_NEAR(ovalToPointScaled(1, 1, box, 2, 0, centre), 4, 1e-12);
    EXPECT_EQ(ovalToPointScaled(1, 1, box, 2, 0, nearRim), 0);
}

TEST_F(TkGeometry, ThickPolylinesCapsAndJoins)
{
    D line{0, 0, 10, 0};
    double above[2] = {5, 3}, onIt[2] = {5, 0.5}, beyond[2] = {13, 0};
    EXPECT_NEAR(thickPolylineToPoint(line.data(), 2, 2, CapButt, JoinMiter, above), 2, 1e-9);
    EXPECT_EQ(thickPolylineToPoint(line.data(), 2, 2, CapButt, JoinMiter, onIt), 0);
    EXPECT_NEAR(thickPolylineToPoint(line.data(), 2, 2, CapButt, JoinMiter, beyond), 3, 1e-9);
    EXPECT_NEAR(thickPolylineToPoint(line.data(), 2, 2, CapProjecting, JoinMiter, beyond), 2, 1e-9);
    // A round cap reaches half the width past the end, no further.
    double capped[2] = {11.5, 0};
    EXPECT_NEAR(thickPolylineToPoint(line.data(), 2, 2, CapRound, JoinMiter, beyond), 2, 1e-9);
    EXPECT_NEAR(thickPolylineToPoint(line.data(), 2, 2, CapRound, JoinMiter, capped), 0.5, 1e-9);

    // A right-angle corner: the miter fills the outer corner, a bevel cuts
    // it, a round join rounds it.
    D corner{0, 0, 10, 0, 10, 10};
    double outer[2] = {10.9, -0.9};
    EXPECT_EQ(thickPolylineToPoint(corner.data(), 3, 2, CapButt, JoinMiter, outer), 0);
    EXPECT_NEAR(thickPolylineToPoint(corner.data(), 3, 2, CapButt, JoinBevel, outer), 0.4 * std::sqrt(2), 1e-9);
    double inWedge[2] = {10.4, -0.4};
    EXPECT_EQ(thickPolylineToPoint(corner.data(), 3, 2, CapButt, JoinBevel, inWedge), 0);
    EXPECT_GT(thickPolylineToPoint(corner.data(), 3, 2, CapButt, JoinRound, outer), 0);
    // Nearly straight: the miter falls back to a bevel and still covers the line.
    D straight{0, 0, 10, 0, 20, 0.5};
    double mid[2] = {10, 0.5};
    EXPECT_EQ(thickPolylineToPoint(straight.data(), 3, 2, CapButt, JoinMiter, mid), 0);
}

TEST(Rectangles, TouchingOverlapsInsideAndApart)
{
    double a[4] = {0, 0, 5, 5}, b[4] = {5, 5, 10, 10}, small[4] = {1, 1, 2, 2}, big[4] = {0, 0, 10, 10};
    double away[4] = {11, 0, 12, 1};
    EXPECT_EQ(rectToRect(a, b), 0);
    EXPECT_EQ(rectToRect(small, big), 1);
    EXPECT_EQ(rectToRect(big, small), 0);
    EXPECT_EQ(rectToRect(away, big), -1);

    GcanvasItem item;
    std::memset(&item, 0, sizeof item);
    GcanvasWidget canvas;
    std::memset(&canvas, 0, sizeof canvas);
    item.x1 = item.x2 = 5;
    item.y1 = item.y2 = 5;
    double p[2] = {1, 9};
    itemBBoxIncludePoint(&canvas, &item, p);
    EXPECT_EQ((D{item.x1, item.y1, item.x2, item.y2}), (D{1, 5, 5, 9}));
    EXPECT_TRUE(canvas.flags & GCANVAS_INDEX_STALE);
    D more{7, 3, 0, 10};
    itemBBoxIncludePoints(&canvas, &item, more.data(), 2);
    EXPECT_EQ((D{item.x1, item.y1, item.x2, item.y2}), (D{0, 3, 7, 10}));
}

TEST(Measures, AreasLengthsCentroidsAndAngles)
{
    D square{0, 0, 0, 1, 1, 1, 1, 0};
    double cx, cy;
    EXPECT_EQ(polygonArea(square.data(), 4), 1);
    EXPECT_EQ(polygonAreaCentroid(square.data(), 4, &cx, &cy), 1);
    EXPECT_DOUBLE_EQ(cx, 0.5);
    EXPECT_DOUBLE_EQ(cy, 0.5);
    D l{0, 0, 0, 4, 3, 4, 0, 0};
    EXPECT_DOUBLE_EQ(polygonAreaCentroid(l.data(), 4, &cx, &cy), 6);
    EXPECT_DOUBLE_EQ(cx, 1);
    EXPECT_DOUBLE_EQ(cy, 8.0 / 3);
    // No area: the mean of the points.
    D flat{0, 0, 2, 0, 4, 0};
    EXPECT_EQ(polygonAreaCentroid(flat.data(), 3, &cx, &cy), 0);
    EXPECT_EQ(cx, 2);
    EXPECT_EQ(cy, 0);

    D path{0, 0, 10, 0, 10, 10};
    EXPECT_EQ(polylineLength(path.data(), 3), 20);
    EXPECT_EQ(polylineCentroid(path.data(), 3, &cx, &cy), 20);
    EXPECT_DOUBLE_EQ(cx, 7.5);
    EXPECT_DOUBLE_EQ(cy, 2.5);
    D still{3, 4, 3, 4};
    EXPECT_EQ(polylineCentroid(still.data(), 2, &cx, &cy), 0);
    EXPECT_EQ(cx, 3);
    EXPECT_EQ(cy, 4);
    EXPECT_EQ(pointsMean(path.data(), 3, &cx, &cy), 3);
    EXPECT_DOUBLE_EQ(cx, 20.0 / 3);

    EXPECT_DOUBLE_EQ(vectorAngle(1, 0), 0);
    EXPECT_DOUBLE_EQ(vectorAngle(0, 1), 90);
    EXPECT_DOUBLE_EQ(vectorAngle(-1, 0), -180);
    EXPECT_DOUBLE_EQ(vectorAngle(0, -1), -90);
    EXPECT_DOUBLE_EQ(vectorAngle(0, 0), 0);
    EXPECT_DOUBLE_EQ(vectorAngle(-1, 1), 135);
}

TEST_F(TkGeometry, BezierCurveCountsAndSpans)
{
    GcanvasWidget canvas;
    std::memset(&canvas, 0, sizeof canvas);
    EXPECT_EQ(gcanvasMakeBezierCurve(&canvas, nullptr, 4, 12, nullptr, nullptr), 49);

    // Open, three points: the first point and one span ending at the last.
    D open{0, 0, 10, 10, 20, 0};
    std::vector<XPoint> xs(49);
    D ds(2 * 49);
    int n = gcanvasMakeBezierCurve(&canvas, open.data(), 3, 12, xs.data(), ds.data());
    EXPECT_EQ(n, 13);
    EXPECT_EQ(xs[0].x, 0);
    EXPECT_EQ(xs[12].x, 20);
    EXPECT_EQ(xs[12].y, 0);
    EXPECT_NEAR(ds[24], 20, 1e-12);
    for (int i = 0; i < n; i++) {
        EXPECT_EQ(xs[i].x, static_cast<short>(std::lround(ds[2 * i])));
        EXPECT_LE(ds[2 * i + 1], 10);
    }

    // Closed (first == last): starts and ends at the midpoint of the last
    // span and the first, 1 + steps a vertex.
    D closed{0, 0, 10, 0, 10, 10, 0, 0};
    n = gcanvasMakeBezierCurve(&canvas, closed.data(), 4, 4, nullptr, ds.data());
    EXPECT_EQ(n, 1 + 4 + 4 + 4);
    EXPECT_DOUBLE_EQ(ds[0], 5);
    EXPECT_DOUBLE_EQ(ds[1], 5);
    EXPECT_NEAR(ds[2 * (n - 1)], 5, 1e-12);
    EXPECT_NEAR(ds[2 * (n - 1) + 1], 5, 1e-12);

    // A repeated point gives one point for the span.
    D repeat{0, 0, 10, 10, 10, 10, 20, 0};
    EXPECT_EQ(gcanvasMakeBezierCurve(&canvas, repeat.data(), 4, 12, xs.data(), nullptr), 1 + 1 + 1);

    // Spans through the drawable origin.
    canvas.drawableXOrigin = 100;
    double control[8] = {100, 0, 100, 0, 110, 0, 110, 0};
    XPoint out[2];
    bezierScreenPoints(&canvas, control, 2, out);
    EXPECT_EQ(out[0].x, 5);
    EXPECT_EQ(out[1].x, 10);
}

}  // namespace
