/*
 * The regression and template routines: the sweep solvers on systems
 * solved by hand, regressions against exact lines and numpy.polyfit,
 * lookup tables, byte statistics and both template searches finding a
 * patch cut from the image.
 */
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "analysis/gcpcalc.h"
#include "analysis/regress.h"

/* gcpcalc_test.cpp: runs a python script with numpy, answers its output. */
std::string runPython(const std::string &file, const std::string &script);

namespace {

/* A degree-p fit of the pairs, the documented way; false when singular. */
bool regression(const std::vector<double> &x, const std::vector<double> &y, int degree, std::vector<double> *coef)
{
    const int n = degree + 1;
    std::vector<double> matrix(n * n), sums(n + 1), sample(n + 1);
    for (size_t k = 0; k < x.size(); k++) {
        accumulatePolySample(x[k], y[k], degree, matrix.data(), sums.data(), sample.data());
    }
    EXPECT_EQ(sums[0], static_cast<double>(x.size()));
    normalizeCovariance(n, sums[0], matrix.data(), sums.data() + 1);
    if (!resolve(matrix.data(), degree, n)) {
        return false;
    }
    coef->assign(n, 0.0);
    extractRegressionCoefficients(coef->data(), matrix.data(), sums.data(), n);
    return true;
}

/* The largest difference between got and want. */
double worst(const std::vector<double> &got, const std::vector<double> &want)
{
    double d = got.size() == want.size() ? 0.0 : INFINITY;
    for (size_t k = 0; k < got.size() && k < want.size(); k++) {
        d = std::fmax(d, std::fabs(got[k] - want[k]));
    }
    return d;
}

TEST(Regress, TheSweepSolversSolveWithCompletePivotingAndRefuseSingularSystems)
{
    /* 2a + b = 5, a + 3b = 10 (a = 1, b = 3), and with a zero on the
     * diagonal 0a + 2b = 4, 3a + b = 5 (a = 1, b = 2): the trailing row and
     * column hold the solution; sweepSolve leaves the inverse before them.
     * Rows that differ by 1e-13 of their size are singular. */
    for (bool signedSweep : {true, false}) {
        auto solve = [&](double *m, int k, int w) { return signedSweep ? sweepSolve(m, k, w) : resolve(m, k, w); };
        double m1[9] = {2, 1, 5, 1, 3, 10, 5, 10, 0}, m2[9] = {0, 2, 4, 3, 1, 5, 4, 5, 0};
        double s[9] = {1, 1, 1, 1, 1 + 1e-13, 2, 1, 2, 0}, zero[4] = {0, 0, 0, 0};
        ASSERT_TRUE(solve(m1, 2, 3) && solve(m2, 2, 3));
        EXPECT_LT(worst({m1[2], m1[5], m1[6], m1[7], m2[2], m2[5], m2[6], m2[7]}, {1, 3, 1, 3, 1, 2, 1, 2}), 1e-12);
        EXPECT_LT(signedSweep ? worst({m1[0], m1[1], m1[4]}, {0.6, -0.2, 0.4}) : 0.0, 1e-12);
        EXPECT_FALSE(solve(s, 2, 3));
        EXPECT_FALSE(solve(zero, 1, 2));
    }
    double m[9] = {2, 1, 5, 1, 3, 10, 5, 10, 0};  // a caller's work area
    std::vector<double> work(resolveWorkBytes(2, 3) / sizeof(double) + 1);
    ASSERT_TRUE(resolve(m, 2, 3, work.data()));
    EXPECT_NEAR(m[7], 3, 1e-12);
}

TEST(Regress, ALineIsFoundExactlyPerBandAndGivesItsLookupTables)
{
    std::vector<double> x, y, coef;
    for (int k = 0; k < 20; k++) {
        x.push_back(k * 7 % 23);
        y.push_back(2 * x.back() + 3);
    }
    ASSERT_TRUE(regression(x, y, 1, &coef));
    EXPECT_LT(worst(coef, {3, 2}), 1e-9);
    EXPECT_FALSE(regression(std::vector<double>(5, 4.0), y, 1, &coef));  // one x value gives no slope

    /* Per band, pixel-interleaved: band 0 y = 2x + 3, band 1 y = 100 - x. */
    std::vector<unsigned char> a, b, tables(512);
    for (int k = 0; k < 40; k++) {
        a.insert(a.end(), {static_cast<unsigned char>(k * 3), static_cast<unsigned char>(k)});
        b.insert(b.end(), {static_cast<unsigned char>(k * 6 + 3), static_cast<unsigned char>(100 - k)});
    }
    std::vector<double> matrices(2 * 4, 0.0), sums(2 * 3, 0.0), sample(3), bandCoef(4), diag(4);
    accumulateBandRegression(a.data(), b.data(), 40, 2, 1, sample.data(), matrices.data(), sums.data());
    bandNormalizeCovariance(1, 2, matrices.data(), sums.data());
    EXPECT_EQ(bandDiagonals(1, 2, matrices.data(), 0, diag.data()), 4);
    EXPECT_NEAR(diag[0], 9 * (40 * 40 - 1) / 12.0, 1e-9);  // variance of 3k, k = 0 .. 39
    ASSERT_TRUE(bandResolve(1, 2, matrices.data()));
    bandRegressionCoefficients(1, 2, bandCoef.data(), matrices.data(), sums.data());
    EXPECT_LT(worst(bandCoef, {3, 2, 100, -1}), 1e-9);
    bandPolyLuts(bandCoef.data(), 1, tables.data(), 2);
    EXPECT_EQ(std::vector<int>({tables[10], tables[256 + 10], tables[256 + 255]}), std::vector<int>({23, 90, 0}));

    /* Tables round half up and clamp; NaN gives 0. */
    const double high = 300, low = -5, half[2] = {0.5, 0.5}, nan = NAN;
    unsigned char t[4][256];
    polyByteLut(&high, 0, t[0]);
    polyByteLut(&low, 0, t[1]);
    polyByteLut(half, 1, t[2]);
    polyByteLut(&nan, 0, t[3]);
    EXPECT_EQ(std::vector<int>({t[0][0], t[0][255], t[1][0], t[1][200], t[2][0], t[2][3], t[2][4], t[2][255], t[3][7]}),
              std::vector<int>({255, 255, 0, 0, 1, 2, 3, 128, 0}));
}

TEST(Regress, ADegreeTwoRegressionEqualsNumpysPolyfit)
{
    std::mt19937 generator(5);
    std::uniform_real_distribution<double> value(0, 255);
    std::normal_distribution<double> noise(0, 3);
    std::vector<double> x, y, coef;
    std::ostringstream script;
    script.precision(17);
    script << "import numpy as np\np = np.array([";
    for (int k = 0; k < 200; k++) {
        x.push_back(std::floor(value(generator)));
        y.push_back(12 - 0.3 * x.back() + 0.004 * x.back() * x.back() + noise(generator));
        script << "[" << x.back() << "," << y.back() << "],";
    }
    script << "])\nprint(*[repr(float(c)) for c in np.polyfit(p[:, 0], p[:, 1], 2)[::-1]])\n";
    const std::string file = "/tmp/teskreg" + std::to_string(getpid()) + ".py";
    std::istringstream peer(runPython(file, script.str()));
    std::remove(file.c_str());
    ASSERT_TRUE(regression(x, y, 2, &coef));
    for (int k = 0; k < 3; k++) {
        double want = NAN;
        peer >> want;
        EXPECT_NEAR(coef[k], want, 1e-6 * std::fabs(want)) << "coefficient " << k;
    }
}

TEST(Regress, ByteStatisticsWindowsAndBivariateSamples)
{
    const unsigned char a[6] = {1, 2, 3, 4, 5, 9}, flat[6] = {7, 7, 7, 7, 7, 7}, b[6] = {2, 4, 6, 8, 10, 18};
    const unsigned char c[6] = {9, 5, 4, 3, 2, 1};
    EXPECT_DOUBLE_EQ(byteCorrelation2(a, a, 6), 1.0);
    EXPECT_DOUBLE_EQ(byteCorrelation2(a, b, 6), 1.0);
    EXPECT_EQ(byteCorrelation2(flat, flat, 6) + byteCorrelation2(a, flat, 6), 0.0);
    /* Pearson's r of a and c squared, worked out: sums 24, 24; squares 136;
     * products 62; n·sab - sa·sb = 372 - 576 = -204, variances 816 - 576. */
    EXPECT_NEAR(byteCorrelation2(a, c, 6), 204.0 * 204 / (240.0 * 240), 1e-15);
    EXPECT_EQ(byteDotProduct(a, b, 6), 2 * (1 + 4 + 9 + 16 + 25 + 81));
    double mean, variance, sum = 0, squares = 0;
    byteMeanVariance(a, 6, &mean, &variance);
    EXPECT_LT(worst({mean, variance}, {4, 136.0 / 6 - 16}), 1e-12);
    byteSumsAdd(a, 6, &sum, &squares);
    byteSumsSub(a, 2, &sum, &squares);
    EXPECT_EQ(std::vector<double>({sum, squares}), std::vector<double>({21, 131}));

    /* Rows past the image and columns outside it read as 0. */
    const unsigned char image[2][3] = {{1, 2, 3}, {4, 5, 6}};
    unsigned char out[9];
    copyWindow(&image[0][0], 2, 3, out, 1, 1, 3, 3);
    EXPECT_EQ(std::vector<unsigned char>(out, out + 9), std::vector<unsigned char>({5, 6, 0, 0, 0, 0, 0, 0, 0}));
    out[0] = 99;
    copyWindow(&image[0][0], 2, 3, out, 1, 0, 0, 2);  // nothing
    EXPECT_EQ(out[0], 99);
    zeroBytes(out, 9);
    EXPECT_EQ(std::vector<unsigned char>(out, out + 9), std::vector<unsigned char>(9, 0));

    double xp[4], yp[4], products[10], terms[4], matrix[16] = {}, sums[5] = {}, sample[5], diagonal[4];
    EXPECT_EQ(bivariateProducts(2, 3, 2, products, xp, yp), 6);
    EXPECT_EQ(std::vector<double>(products, products + 6), std::vector<double>({1, 3, 9, 2, 6, 4}));
    bilinearTerms(2, 3, terms);
    EXPECT_EQ(std::vector<double>(terms, terms + 4), std::vector<double>({1, 2, 3, 6}));
    accumulateBivariateSample(2, 3, 7, 8, 1, matrix, sums, sample, xp, yp);
    EXPECT_EQ(std::vector<double>(sample, sample + 5), std::vector<double>({1, 3, 2, 7, 8}));
    EXPECT_TRUE(matrix[1 * 4 + 2] == 2 * 7 && matrix[2 * 4 + 1] == 2 * 7);  // entries 3, 2, 7, 8
    EXPECT_EQ(copyDiagonal(matrix, 1, 4, diagonal), 3);
    EXPECT_EQ(diagonal[2], 64);
}

TEST(Regress, BothTemplateSearchesFindAPatchCutFromTheImage)
{
    const int rows = 40, columns = 50, tRows = 7, tColumns = 9, r0 = 17, c0 = 23;
    std::mt19937 generator(9);
    std::vector<unsigned char> image(rows * columns), templ(tRows * tColumns), zero(tRows * tColumns, 0);
    for (unsigned char &v : image) {
        v = static_cast<unsigned char>(generator() & 255);
    }
    for (int k = 0; k < tRows * tColumns; k++) {
        templ[k] = image[(r0 + k / tColumns) * columns + c0 + k % tColumns];
    }
    TemplateMatch slow, fast;
    ASSERT_TRUE(templateMatch(&slow, image.data(), rows, columns, templ.data(), tRows, tColumns));
    ASSERT_TRUE(templateMatchFast(&fast, image.data(), rows, columns, templ.data(), tRows, tColumns));
    EXPECT_TRUE(slow.row == r0 && slow.column == c0 && fast.row == r0 && fast.column == c0);
    EXPECT_TRUE(std::fabs(slow.correlation - 1) < 1e-6 && std::fabs(fast.correlation - 1) < 1e-6);

    /* The inverted patch correlates as well, but only the slow search counts
     * a negative covariance. */
    for (unsigned char &v : templ) {
        v = static_cast<unsigned char>(255 - v);
    }
    ASSERT_TRUE(templateMatch(&slow, image.data(), rows, columns, templ.data(), tRows, tColumns));
    ASSERT_TRUE(templateMatchFast(&fast, image.data(), rows, columns, templ.data(), tRows, tColumns));
    EXPECT_TRUE(slow.row == r0 && slow.column == c0);
    EXPECT_TRUE(fast.row != r0 || fast.column != c0);
    EXPECT_LT(fast.correlation, 0.5f);

    /* A template larger than the image, and a zero template, score 0 at (0, 0). */
    ASSERT_TRUE(templateMatch(&slow, image.data(), 5, 5, templ.data(), tRows, tColumns));
    EXPECT_EQ(slow.correlation, 0.0f);
    ASSERT_TRUE(templateMatchFast(&fast, image.data(), rows, columns, zero.data(), tRows, tColumns));
    EXPECT_TRUE(fast.correlation == 0.0f && fast.row == 0 && fast.column == 0);
}

}  // namespace
