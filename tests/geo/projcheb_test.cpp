/*
 * projcheb_test.cpp --
 *
 *	The Chebyshev fit behind proj -T and the layer's degree-minute-second
 *	text: a polynomial is fitted exactly and its power series holds the
 *	polynomial's own coefficients; a smooth function is reproduced within
 *	the fit's residual; small coefficients are cut; a failing node fails
 *	the fit. Degree-minute-second texts are worked out by hand.
 */
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "geo/projcheb.h"
#include "geo/projlib.h"

namespace {

/* x = 3 + 2u - u^2 v + 0.5 v^3, y = u v over [1, 3] x [-2, 1]. */
void polynomial(double u, double v, double *x, double *y)
{
    *x = 3 + 2 * u - u * u * v + 0.5 * v * v * v;
    *y = u * v;
}

/* The value of one series of a fit at u, v, summed directly from the
 * series' definition in projcheb.h. */
double chebEvaluate(const ChebSeries &series, const ChebRows &rows, double u, double v)
{
    std::size_t nu = rows.rows.size(), nv = 0;
    for (const auto &row : rows.rows) {
        nv = std::max(nv, row.size());
    }
    std::vector<double> bu(nu), bv(nv);
    if (series.power) {
        for (std::size_t i = 0; i < nu; i++) {
            bu[i] = i == 0 ? 1.0 : bu[i - 1] * u;
        }
        for (std::size_t j = 0; j < nv; j++) {
            bv[j] = j == 0 ? 1.0 : bv[j - 1] * v;
        }
    } else {
        double s = (2 * u - series.ua - series.ub) / (series.ub - series.ua);
        double t = (2 * v - series.va - series.vb) / (series.vb - series.va);
        for (std::size_t i = 0; i < nu; i++) {
            bu[i] = i == 0 ? 1.0 : i == 1 ? s : 2 * s * bu[i - 1] - bu[i - 2];
        }
        for (std::size_t j = 0; j < nv; j++) {
            bv[j] = j == 0 ? 1.0 : j == 1 ? t : 2 * t * bv[j - 1] - bv[j - 2];
        }
        if (nu > 0) {
            bu[0] = 0.5;
        }
        if (nv > 0) {
            bv[0] = 0.5;
        }
    }
    double sum = 0;
    for (std::size_t i = 0; i < nu; i++) {
        for (std::size_t j = 0; j < rows.rows[i].size(); j++) {
            sum += rows.rows[i][j] * bu[i] * bv[j];
        }
    }
    return sum;
}

double coefficient(const ChebRows &rows, std::size_t i, std::size_t j)
{
    return i < rows.rows.size() && j < rows.rows[i].size() ? rows.rows[i][j] : 0.0;
}

TEST(ProjChebTest, PolynomialsComeBackAsTheirOwnPowerSeries)
{
    ChebSeries s;
    ASSERT_TRUE(chebFit(polynomial, 1, 3, -2, 1, 1e-9, 6, 6, true, &s));
    EXPECT_NEAR(coefficient(s.u, 0, 0), 3, 1e-9);
    EXPECT_NEAR(coefficient(s.u, 1, 0), 2, 1e-9);
    EXPECT_NEAR(coefficient(s.u, 2, 1), -1, 1e-9);
    EXPECT_NEAR(coefficient(s.u, 0, 3), 0.5, 1e-9);
    EXPECT_NEAR(coefficient(s.u, 1, 1), 0, 1e-9);
    EXPECT_NEAR(coefficient(s.v, 1, 1), 1, 1e-9);
    EXPECT_NEAR(coefficient(s.v, 0, 0), 0, 1e-9);
    EXPECT_LE(s.u.rows.size(), 3u); /* u degree at most 2 */
}

TEST(ProjChebTest, ChebyshevSeriesReproduceTheFunctionWithinTheResidual)
{
    auto f = [](double u, double v, double *x, double *y) {
        *x = std::sin(u) * std::exp(v);
        *y = std::cos(u + v);
    };
    ChebSeries s;
    ASSERT_TRUE(chebFit(f, -1, 0.5, 0, 1, 1e-6, 12, 12, false, &s));
    EXPECT_FALSE(s.power);
    for (double u = -1; u <= 0.5; u += 0.1) {
        for (double v = 0; v <= 1; v += 0.125) {
            double x, y;
            f(u, v, &x, &y);
            EXPECT_NEAR(chebEvaluate(s, s.u, u, v), x, std::fabs(s.residU) + 1e-9);
            EXPECT_NEAR(chebEvaluate(s, s.v, u, v), y, std::fabs(s.residV) + 1e-9);
        }
    }
}

TEST(ProjChebTest, CoefficientsBelowTheCutAreDroppedAndSummed)
{
    ChebSeries fine, coarse;
    auto f = [](double u, double v, double *x, double *y) {
        *x = std::exp(u + v);
        *y = 1;
    };
    ASSERT_TRUE(chebFit(f, 0, 1, 0, 1, 1e-12, 10, 10, false, &fine));
    ASSERT_TRUE(chebFit(f, 0, 1, 0, 1, 1e-2, 10, 10, false, &coarse));
    EXPECT_LT(coarse.u.rows.size(), fine.u.rows.size());
    EXPECT_GT(coarse.residU, 0);
    EXPECT_LT(coarse.residU, 1e-2);
    /* a constant is one coefficient: 2 x 1 halved twice reads 1 */
    ASSERT_EQ(coarse.v.rows.size(), 1u);
    ASSERT_EQ(coarse.v.rows[0].size(), 1u);
    EXPECT_NEAR(coarse.v.rows[0][0], 4, 1e-12);
}

TEST(ProjChebTest, AFailingNodeFailsTheFit)
{
    ChebSeries s;
    auto f = [](double u, double v, double *x, double *y) {
        *x = u > 0.9 ? HUGE_VAL : u;
        *y = v;
    };
    EXPECT_FALSE(chebFit(f, 0, 1, 0, 1, 1e-3, 5, 5, false, &s));
}

TEST(ProjDmsTest, PrecisionAndFixedWidths)
{
    char b[64];
    double sec = M_PI / 180 / 3600;
    double r = -(123 * 3600 + 8 * 60 + 47.505) * sec;
    projResetRtodms();
    EXPECT_STREQ(projRtodms(b, r, 'E', 'W'), "123d8'47.505\"W");
    EXPECT_STREQ(projRtodms(b, r, 0, 0), "-123d8'47.505\"");
    EXPECT_STREQ(projRtodms(b, 36 * 3600 * sec, 'N', 'S'), "36dN");
    EXPECT_STREQ(projRtodms(b, (36 * 3600 + 60) * sec, 'N', 'S'), "36d1'N");
    EXPECT_STREQ(projRtodms(b, (5 * 3600 + 0.5) * sec, 'N', 'S'), "5d0'0.5\"N");
    EXPECT_STREQ(projRtodms(b, 0, 'E', 'W'), "0dE");
    projSetRtodms(2, 1);
    EXPECT_STREQ(projRtodms(b, r, 'E', 'W'), "123d08'47.51\"W");
    EXPECT_STREQ(projRtodms(b, 36 * 3600 * sec, 'N', 'S'), "36d00'00.00\"N");
    projSetRtodms(0, 1);
    EXPECT_STREQ(projRtodms(b, r, 'E', 'W'), "123d08'48\"W");
    projSetRtodms(9, 0); /* out of range: unchanged */
    EXPECT_STREQ(projRtodms(b, r, 'E', 'W'), "123d08'48\"W");
    projSetRtodms(1, 0);
    EXPECT_STREQ(projRtodms(b, r, 'E', 'W'), "123d8'47.5\"W");
    projResetRtodms();
    EXPECT_STREQ(projRtodms(b, HUGE_VAL, 'E', 'W'), "*");
    EXPECT_STREQ(projRtodms(b, std::nan(""), 0, 0), "*");
    /* finite, but infinite once in thousandths of seconds (1e302 degrees) */
    EXPECT_STREQ(projRtodms(b, 1e302 * M_PI / 180, 'N', 'S'), "*");
    EXPECT_STREQ(projRtodms(b, -1e302 * M_PI / 180, 0, 0), "*");
    projSetRtodms(0, 1); /* whole seconds: 1e306 degrees overflow */
    EXPECT_STREQ(projRtodms(b, 1e306 * M_PI / 180, 'E', 'W'), "*");
    projResetRtodms();
}

}  // namespace
