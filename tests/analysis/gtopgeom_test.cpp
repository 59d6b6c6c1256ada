/* The view geometry of rimage gtop: the ring of a rectangle against brute
 * force over its pixels, clipping per boundary, the projection against a
 * ray meeting a plane, and the picture line of a ray. */
#include <gtest/gtest.h>

#include <cmath>
#include <vector>
#include "analysis/tools/gtopgeom.h"

namespace {

struct RegionCase {
    double xc, yc;
    int region;
};

/* The rectangle 0..20 x 0..12 seen from a point of each region; whole
 * coordinates, so that the extremes fall on pixels. */
const RegionCase kRegions[] = {
    {-5, -4, GTOP_LEFT_ABOVE},   {-5, 5, GTOP_LEFT_MIDDLE},    {0, 19, GTOP_LEFT_BELOW},
    {8, 0, GTOP_INSIDE_ABOVE},   {8, 5, GTOP_INSIDE_MIDDLE},   {14, 19, GTOP_INSIDE_BELOW},
    {27, -4, GTOP_RIGHT_ABOVE},  {20, 3, GTOP_RIGHT_MIDDLE},   {27, 19, GTOP_RIGHT_BELOW},
};

TEST(GtopScanRange, EachRegionCoversItsPixelsWithContinuousDirections)
{
    const int x1 = 20, y1 = 12;
    for (const RegionCase &c : kRegions) {
        SCOPED_TRACE(c.region);
        GtopRing ring = gtopScanRange(x1, y1, c.xc, c.yc);
        EXPECT_EQ(ring.region, c.region);
        double rMin = 1e300, rMax = 0.0, aMin = 1e300, aMax = -1e300;
        std::vector<double> angle((x1 + 1) * (y1 + 1));
        for (int y = 0; y <= y1; y++) {
            for (int x = 0; x <= x1; x++) {
                double dx = x - c.xc, dy = y - c.yc, r = std::hypot(dx, dy);
                double a = gtopPolarAngle(ring.region, dx, dy, r);
                angle[y * (x1 + 1) + x] = a;
                rMin = std::min(rMin, r), rMax = std::max(rMax, r);
                if (r > 0.0) {
                    aMin = std::min(aMin, a), aMax = std::max(aMax, a);
                }
            }
        }
        EXPECT_NEAR(ring.rhoMin, rMin, 1e-9);
        EXPECT_NEAR(ring.rhoMax, rMax, 1e-9);
        if (c.region == GTOP_INSIDE_MIDDLE) {
            EXPECT_EQ(ring.theta0, 0.0);
            EXPECT_EQ(ring.theta1, 2.0 * M_PI);
            EXPECT_GE(aMin, 0.0);
            EXPECT_LT(aMax, 2.0 * M_PI);
            continue;
        }
        EXPECT_NEAR(ring.theta0, aMin, 1e-9);
        EXPECT_NEAR(ring.theta1, aMax, 1e-9);
        // Neighbouring pixels are close in direction: no wrap inside (the
        // view point itself aside).
        for (int y = 0; y <= y1; y++) {
            for (int x = 0; x < x1; x++) {
                if (y == c.yc && (x == c.xc || x + 1 == c.xc)) {
                    continue;
                }
                EXPECT_LT(std::fabs(angle[y * (x1 + 1) + x + 1] - angle[y * (x1 + 1) + x]), 0.8) << x << "," << y;
            }
        }
    }
}

TEST(GtopScanRange, TheViewPointItselfTakesTheFirstValueOfItsRule)
{
    EXPECT_EQ(gtopPolarAngle(GTOP_INSIDE_MIDDLE, 0, 0, 0), 0.0);
    EXPECT_EQ(gtopPolarAngle(GTOP_RIGHT_ABOVE, 0, 0, 0), M_PI / 2);
    EXPECT_EQ(gtopPolarAngle(GTOP_RIGHT_BELOW, 0, 0, 0), M_PI);
}

struct ClipCase {
    double x1, y1, x2, y2;
    bool visible;
    double cx1, cy1, cx2, cy2;
};

TEST(GtopClipSegment, EachBoundaryMovesTheEndBeyondIt)
{
    // The rectangle y 0..10, x 0..20.
    const ClipCase cases[] = {
        {5, -10, 5, 10, true, 5, 0, 5, 10},      // y low
        {0, 5, 10, 15, true, 0, 5, 5, 10},       // y high, the second end
        {-10, 0, 10, 10, true, 0, 5, 10, 10},    // x low
        {10, 0, 30, 5, true, 10, 0, 20, 2.5},    // x high
        {-5, -5, 25, 15, true, 2.5, 0, 17.5, 10},  // two boundaries
        {1, -1, 9, -2, false, 0, 0, 0, 0},       // both above y low
        {21, 1, 30, 9, false, 0, 0, 0, 0},       // both beyond x high
    };
    for (const ClipCase &c : cases) {
        double x1 = c.x1, y1 = c.y1, x2 = c.x2, y2 = c.y2;
        bool visible = gtopClipSegment(&x1, &y1, &x2, &y2, 0, 10, 0, 20);
        EXPECT_EQ(visible, c.visible) << c.x1 << "," << c.y1;
        if (c.visible) {
            EXPECT_DOUBLE_EQ(x1, c.cx1);
            EXPECT_DOUBLE_EQ(y1, c.cy1);
            EXPECT_DOUBLE_EQ(x2, c.cx2);
            EXPECT_DOUBLE_EQ(y2, c.cy2);
        }
    }
}

TEST(GtopViewMatrix, TheThirdRowPointsBackAlongTheView)
{
    double R[9];
    double omega = 1, kappa = 1;
    EXPECT_DOUBLE_EQ(gtopViewMatrix(R, 0, 0, 4096, &omega, &kappa), 4096);
    EXPECT_EQ(omega, 0.0);
    EXPECT_EQ(kappa, 0.0);
    for (int i = 0; i < 9; i++) {
        EXPECT_EQ(R[i], i % 4 == 0 ? 1.0 : 0.0);
    }
    const double views[][3] = {{30, -40, 100}, {-30, 40, 100}, {5, 0, 10}, {-7, 9, 2}};
    for (const auto &v : views) {
        double r = gtopViewMatrix(R, v[0], v[1], v[2]);
        EXPECT_NEAR(R[6], -v[0] / r, 1e-12);
        EXPECT_NEAR(R[7], -v[1] / r, 1e-12);
        EXPECT_NEAR(R[8], v[2] / r, 1e-12);
        for (int i = 0; i < 3; i++) {
            for (int j = 0; j < 3; j++) {
                double dot = R[3 * i] * R[3 * j] + R[3 * i + 1] * R[3 * j + 1] + R[3 * i + 2] * R[3 * j + 2];
                EXPECT_NEAR(dot, i == j ? 1.0 : 0.0, 1e-12);
            }
        }
    }
}

TEST(GtopViewMatrix, AViewDueEastOrWestIsTheLimitOfViewsFromTheSouth)
{
    // The picture must not turn over where the horizontal view crosses
    // the x axis: every element of R is continuous as vy rises to 0.
    const double views[][2] = {{30, 100}, {-30, 100}, {5, 2}, {-7, 40}};
    for (const auto &v : views) {
        double R[9], nearby[9];
        gtopViewMatrix(R, v[0], 0.0, v[1]);
        gtopViewMatrix(nearby, v[0], -1e-9, v[1]);
        for (int i = 0; i < 9; i++) {
            EXPECT_NEAR(R[i], nearby[i], 1e-6) << v[0] << " element " << i;
        }
    }
}

/* The line of sight from (0, 0, zc) through (X, Y, Z) meets the plane
 * T + u a + v b, found as a ray meeting a plane (not the projection's
 * system). */
void rayMeetsPlane(const double a[3], const double b[3], double zc, double X, double Y, double Z, const double T[3],
                   double *u, double *v)
{
    const double n[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
    const double d[3] = {X, Y, Z - zc};
    const double s = (n[0] * T[0] + n[1] * T[1] + n[2] * (T[2] - zc)) / (n[0] * d[0] + n[1] * d[1] + n[2] * d[2]);
    const double p[3] = {s * d[0] - T[0], s * d[1] - T[1], zc + s * d[2] - T[2]};
    // a and b orthonormal: the coordinates are the dot products.
    *u = p[0] * a[0] + p[1] * a[1] + p[2] * a[2];
    *v = p[0] * b[0] + p[1] * b[1] + p[2] * b[2];
}

TEST(GtopProject, MeetsThePicturePlaneOnTheLineOfSight)
{
    double R[9];
    const double T[3] = {12, -30, 5};
    const double zc = 200;
    gtopViewMatrix(R, T[0], T[1], zc - T[2]);
    double M[9] = {R[0], R[3], R[6], R[1], R[4], R[7], R[2], R[5], R[8]};
    const double points[][3] = {{0, 0, 0}, {40, -70, 0}, {-25, 13, 9}, {3, -80, 30}};
    for (const auto &p : points) {
        float u = 0, v = 0;
        ASSERT_TRUE(gtopProject(M, zc, p[0], p[1], p[2], T[0], T[1], T[2], &u, &v));
        double eu, ev;
        rayMeetsPlane(R, R + 3, zc, p[0], p[1], p[2], T, &eu, &ev);
        EXPECT_NEAR(u, eu, 1e-4 * (1 + std::fabs(eu)));
        EXPECT_NEAR(v, ev, 1e-4 * (1 + std::fabs(ev)));
    }
    // A point at the view height straight above the view point: no line.
    float u = 7, v = 7;
    EXPECT_FALSE(gtopProject(M, zc, 0, 0, zc, T[0], T[1], T[2], &u, &v));
    EXPECT_EQ(u, 7.0f);
    double nan = std::nan("");
    EXPECT_FALSE(gtopProject(M, zc, nan, 0, 0, T[0], T[1], T[2], &u, &v));
}

TEST(GtopRayGeometry, PlanesParallelGiveTheTargetHeight)
{
    // Looking straight down the picture plane is level: the line of every
    // ray runs level at the target's height, its nearest point below the
    // view point.
    GtopRayLine line = gtopRayGeometry(10, 10, 100, 10, 10, 3, 40, 50);
    EXPECT_EQ(line.A, 0.0);
    EXPECT_EQ(line.B, 3.0);
    EXPECT_EQ(line.alpha, 0.0);
}

TEST(GtopRayGeometry, TheParameterLiesOnThePlaneAndTheLineOfSight)
{
    const double xc = 5, yc = 60, zc = 80, tx = 30, ty = 10, tz = 4;
    const double ends[][2] = {{60, -20}, {-10, -30}, {5, 0}, {40, 80}};
    for (const auto &end : ends) {
        GtopRayLine line = gtopRayGeometry(xc, yc, zc, tx, ty, tz, end[0], end[1]);
        double len = std::hypot(end[0] - xc, end[1] - yc);
        double ux = (end[0] - xc) / len, uy = (end[1] - yc) / len;
        for (double D : {10.0, 25.0, 47.5}) {
            for (double h : {0.0, 12.0}) {
                double t = gtopLineParameter(line, zc, D, zc - h);
                double s = line.A + t * std::cos(line.alpha), z = line.B + t * std::sin(line.alpha);
                // On the picture plane through the target facing the view.
                double px = xc + s * ux, py = yc + s * uy;
                EXPECT_NEAR((px - tx) * (xc - tx) + (py - ty) * (yc - ty) + (z - tz) * (zc - tz), 0.0, 1e-7);
                // On the line of sight from the view to the point (D, h).
                EXPECT_NEAR(s * (h - zc) - (z - zc) * D, 0.0, 1e-7);
            }
        }
    }
}

}  // namespace
