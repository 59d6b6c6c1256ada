/*
 * Dense linear algebra: inversion with the determinant, packed symmetric
 * inversion, the dominant eigenpair with deflation, 3 x 3 products and
 * rotations. Expected values are known closed forms or worked by hand.
 */
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <vector>
#include "runtime/numeric.h"
#include "runtime/startup.h"
#include "support/stderr_capture.h"
#include "support/test_interp.h"

namespace {

const double kPi = std::acos(-1.0);

/* Records what the routines print to standard error through the console. */
using NumericConsole = StderrCapture;

/* The packed lower triangle of the symmetric n x n matrix full. */
std::vector<double> packOf(const std::vector<double> &full, int n)
{
    std::vector<double> packed;
    for (int i = 0; i < n; i++) {
        for (int j = 0; j <= i; j++) {
            packed.push_back(full[i * n + j]);
        }
    }
    return packed;
}

std::vector<double> hilbert4()
{
    std::vector<double> h(16);
    for (int i = 0; i < 4; i++) {
        for (int j = 0; j < 4; j++) {
            h[i * 4 + j] = 1.0 / (i + j + 1);
        }
    }
    return h;
}

const std::vector<double> kHilbert4Inverse = {
    16,   -120,  240,   -140,   //
    -120, 1200,  -2700, 1680,   //
    240,  -2700, 6480,  -4200,  //
    -140, 1680,  -4200, 2800,
};

void expectRelNear(const std::vector<double> &got, const std::vector<double> &want, double rel)
{
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); i++) {
        EXPECT_NEAR(got[i], want[i], rel * std::max(1.0, std::fabs(want[i]))) << "element " << i;
    }
}

/* ---------------------------------------------------------------------- */

using InvertMatrixTest = NumericConsole;

TEST_F(InvertMatrixTest, HilbertInverseHasItsIntegerEntries)
{
    std::vector<double> h = hilbert4();
    double det = invertMatrix(h.data(), 4);
    EXPECT_NEAR(det, 1.0 / 6048000.0, 1e-10 / 6048000.0);
    expectRelNear(h, kHilbert4Inverse, 1e-8);
    EXPECT_EQ(errors(), "");
}

TEST_F(InvertMatrixTest, SmallExactCases)
{
    std::vector<double> identity = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    EXPECT_EQ(invertMatrix(identity.data(), 3), 1.0);
    EXPECT_EQ(identity, (std::vector<double>{1, 0, 0, 0, 1, 0, 0, 0, 1}));

    std::vector<double> diag = {2, 0, 0, 4};
    EXPECT_EQ(invertMatrix(diag.data(), 2), 8.0);
    EXPECT_EQ(diag, (std::vector<double>{0.5, 0, 0, 0.25}));
}

TEST_F(InvertMatrixTest, RotationInverseIsItsTranspose)
{
    const double c = std::sqrt(3.0) / 2, s = 0.5;  // 30 degrees
    std::vector<double> r = {c, -s, s, c};
    EXPECT_NEAR(invertMatrix(r.data(), 2), 1.0, 1e-14);
    expectRelNear(r, {c, s, -s, c}, 1e-14);
}

TEST_F(InvertMatrixTest, UnsymmetricMatrixTimesInverseIsIdentity)
{
    // det by cofactors along the first row: 1 (70 - 20) - 2 (21 - 0) = 8.
    const std::vector<double> a = {1, 2, 0, 3, 10, 4, 0, 5, 7};
    std::vector<double> inv = a;
    EXPECT_NEAR(invertMatrix(inv.data(), 3), 8.0, 1e-12);
    for (int i = 0; i < 3; i++) {
        for (int j = 0; j < 3; j++) {
            double sum = 0;
            for (int k = 0; k < 3; k++) {
                sum += a[i * 3 + k] * inv[k * 3 + j];
            }
            EXPECT_NEAR(sum, i == j ? 1.0 : 0.0, 1e-12) << i << "," << j;
        }
    }
}

TEST_F(InvertMatrixTest, ZeroMainElementIsReported)
{
    std::vector<double> singular = {1, 2, 2, 4};
    EXPECT_EQ(invertMatrix(singular.data(), 2), 0.0);
    EXPECT_EQ(errors(), "Error in dgb - zero value of a main element: 2\n");

    // Invertible, but only diagonal pivots are tried.
    testEval(interp, "set ::err {}");
    std::vector<double> swap = {0, 1, 1, 0};
    EXPECT_EQ(invertMatrix(swap.data(), 2), 0.0);
    EXPECT_EQ(errors(), "Error in dgb - zero value of a main element: 2\n");
}

TEST_F(InvertMatrixTest, OrderBelowOneIsRefused)
{
    double a[1] = {5};
    EXPECT_EQ(invertMatrix(a, 0), 0.0);
    EXPECT_EQ(invertMatrix(a, -3), 0.0);
    EXPECT_EQ(a[0], 5.0);
    EXPECT_EQ(invertSymPacked(a, 0), 0.0);
    EXPECT_EQ(a[0], 5.0);
    double ev[1] = {7};
    EXPECT_EQ(calcEV(a, ev, 0, 1e-6f, 10), 0.0);
    EXPECT_EQ(a[0], 5.0);
    EXPECT_EQ(ev[0], 7.0);
}

/* ---------------------------------------------------------------------- */

using InvertSymPackedTest = NumericConsole;

TEST_F(InvertSymPackedTest, HilbertGivesPackedInverse)
{
    std::vector<double> packed = packOf(hilbert4(), 4);
    ASSERT_EQ(packed.size(), 10u);
    EXPECT_NEAR(invertSymPacked(packed.data(), 4), 1.0 / 6048000.0, 1e-10 / 6048000.0);
    expectRelNear(packed, packOf(kHilbert4Inverse, 4), 1e-8);
}

TEST_F(InvertSymPackedTest, NonPositiveDeterminantLeavesInputUntouched)
{
    // ((1, 2), (2, 1)): determinant 1 - 4.
    std::vector<double> indefinite = {1, 2, 1};
    EXPECT_EQ(invertSymPacked(indefinite.data(), 2), -3.0);
    EXPECT_EQ(indefinite, (std::vector<double>{1, 2, 1}));

    // ((4, 2, 0), (2, 1, 0), (0, 0, 0)) is singular.
    std::vector<double> singular = {4, 2, 1, 0, 0, 0};
    EXPECT_EQ(invertSymPacked(singular.data(), 3), 0.0);
    EXPECT_EQ(singular, (std::vector<double>{4, 2, 1, 0, 0, 0}));
    EXPECT_EQ(errors(), "Error in dgb - zero value of a main element: 3\n");
}

/* ---------------------------------------------------------------------- */

using EigenTest = NumericConsole;

TEST_F(EigenTest, DiagonalMatrixGivesLargestAndDeflates)
{
    std::vector<double> packed = {3, 0, 1};
    double ev[2];
    EXPECT_NEAR(calcEV(packed.data(), ev, 2, 1e-12f, 100), 3.0, 1e-12);
    EXPECT_NEAR(ev[0], 1.0, 1e-12);
    EXPECT_NEAR(ev[1], 0.0, 1e-11);
    EXPECT_NEAR(packed[0], 0.0, 1e-11);
    EXPECT_NEAR(packed[1], 0.0, 1e-11);
    EXPECT_EQ(packed[2], 1.0);
}

TEST_F(EigenTest, TridiagonalEigenvaluesComeInDecreasingMagnitude)
{
    // ((2, 1, 0), (1, 2, 1), (0, 1, 2)): eigenvalues 2 + sqrt 2, 2, 2 - sqrt 2
    // with eigenvectors (1, sqrt 2, 1) / 2, (1, 0, -1) / sqrt 2, (1, -sqrt 2, 1) / 2.
    const double r2 = std::sqrt(2.0);
    std::vector<double> packed = {2, 1, 2, 0, 1, 2};
    const double values[3] = {2 + r2, 2, 2 - r2};
    const double vectors[3][3] = {{0.5, r2 / 2, 0.5}, {1 / r2, 0, -1 / r2}, {0.5, -r2 / 2, 0.5}};
    for (int k = 0; k < 3; k++) {
        double ev[3];
        EXPECT_NEAR(calcEV(packed.data(), ev, 3, 1e-12f, 1000), values[k], 1e-8) << "call " << k;
        double dot = 0, length = 0;
        for (int i = 0; i < 3; i++) {
            dot += ev[i] * vectors[k][i];
            length += ev[i] * ev[i];
        }
        EXPECT_NEAR(length, 1.0, 1e-12);
        EXPECT_NEAR(std::fabs(dot), 1.0, 1e-8) << "call " << k;
    }
    // The three deflations took the whole matrix away.
    expectRelNear(packed, {0, 0, 0, 0, 0, 0}, 1e-7);
}

TEST_F(EigenTest, NegativeEigenvalueKeepsItsSign)
{
    // ((1, 2), (2, 1)): 3 with (1, 1) / sqrt 2, then -1 with (1, -1) / sqrt 2.
    std::vector<double> packed = {1, 2, 1};
    double ev[2];
    EXPECT_NEAR(calcEV(packed.data(), ev, 2, 1e-12f, 1000), 3.0, 1e-9);
    EXPECT_NEAR(ev[0], std::sqrt(0.5), 1e-9);
    EXPECT_NEAR(ev[1], std::sqrt(0.5), 1e-9);
    EXPECT_NEAR(calcEV(packed.data(), ev, 2, 1e-12f, 1000), -1.0, 1e-9);
    EXPECT_NEAR(std::fabs(ev[0]), std::sqrt(0.5), 1e-9);
    EXPECT_NEAR(ev[0], -ev[1], 1e-9);
}

TEST_F(EigenTest, IterationLimitAnswersTheLastEstimate)
{
    // One step answers A v's largest component for the start vector, away
    // from the eigenvalue 2 + sqrt 2 that more steps reach; the vector is
    // still made unit length.
    std::vector<double> packed = {2, 1, 2, 0, 1, 2};
    double ev[3];
    double once = calcEV(packed.data(), ev, 3, 1e-12f, 1);
    EXPECT_GT(std::fabs(once - (2 + std::sqrt(2.0))), 1e-3);
    EXPECT_NEAR(ev[0] * ev[0] + ev[1] * ev[1] + ev[2] * ev[2], 1.0, 1e-12);
    std::vector<double> again = {2, 1, 2, 0, 1, 2};
    EXPECT_NEAR(calcEV(again.data(), ev, 3, 1e-12f, 1000), 2 + std::sqrt(2.0), 1e-9);
}

TEST_F(EigenTest, EigenvectorsOffTheFirstAxisAreFound)
{
    // diag(1, 5): 5 first. Blocks ((5, 4), (4, 5)) and (6): 9, 6, 1, where a
    // start on the first axis would answer 1 and then nothing but zeros.
    std::vector<double> diagonal = {1, 0, 5};
    double ev[3];
    EXPECT_NEAR(calcEV(diagonal.data(), ev, 2, 1e-12f, 1000), 5.0, 1e-9);
    EXPECT_NEAR(std::fabs(ev[1]), 1.0, 1e-9);
    EXPECT_NEAR(calcEV(diagonal.data(), ev, 2, 1e-12f, 1000), 1.0, 1e-9);

    std::vector<double> blocks = {5, 4, 5, 0, 0, 6};
    for (double value : {9.0, 6.0, 1.0}) {
        EXPECT_NEAR(calcEV(blocks.data(), ev, 3, 1e-12f, 1000), value, 1e-8);
    }
}

TEST_F(EigenTest, ZeroMatrixGivesZeroWithoutDividing)
{
    std::vector<double> packed(6, 0.0);
    double ev[3] = {9, 9, 9};
    double value = calcEV(packed.data(), ev, 3, 1e-6f, 100);
    EXPECT_EQ(value, 0.0);
    EXPECT_NEAR(ev[0] * ev[0] + ev[1] * ev[1] + ev[2] * ev[2], 1.0, 1e-12);
    EXPECT_EQ(packed, std::vector<double>(6, 0.0));
}

TEST_F(EigenTest, WorkVectorThatCannotBeHadGivesNaN)
{
    // INT_MAX doubles exceed what the package's allocator hands out; nothing
    // of the (small) arguments may be touched.
    double packed[3] = {1, 2, 3};
    double ev[3] = {4, 5, 6};
    EXPECT_TRUE(std::isnan(calcEV(packed, ev, INT_MAX, 1e-6f, 10)));
    EXPECT_EQ(errors(), "Error of malloc in calcEV.\n");
    EXPECT_EQ(packed[2], 3.0);
    EXPECT_EQ(ev[0], 4.0);
}

/* ---------------------------------------------------------------------- */

TEST(NumericProductTest, MatMul3AndMatVec3)
{
    const double a[9] = {1, 2, 3, 4, 5, 6, 7, 8, 10};
    const double b[9] = {2, 0, 1, 1, 3, 0, 0, 1, 4};
    double ab[9];
    matMul3(a, b, ab);
    EXPECT_EQ(std::vector<double>(ab, ab + 9), (std::vector<double>{4, 9, 13, 13, 21, 28, 22, 34, 47}));

    const double v[3] = {1, -1, 2};
    double av[3];
    matVec3(a, v, av);
    EXPECT_EQ(std::vector<double>(av, av + 3), (std::vector<double>{5, 11, 19}));
}

/* ---------------------------------------------------------------------- */

void expectMatrix(const double *got, std::initializer_list<double> want)
{
    int i = 0;
    for (double w : want) {
        EXPECT_NEAR(got[i], w, 1e-13) << "element " << i;
        i++;
    }
}

TEST(RotateMatrixTest, IdentityTransposeAndInvalidOp)
{
    double m[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    rotateMatrix3(m, 1, 0.3);
    expectMatrix(m, {1, 4, 7, 2, 5, 8, 3, 6, 9});
    rotateMatrix3(m, 0, 0.3);
    expectMatrix(m, {1, 0, 0, 0, 1, 0, 0, 0, 1});
    for (int op : {5, -1}) {
        double z[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
        rotateMatrix3(z, op, 0.3);
        expectMatrix(z, {0, 0, 0, 0, 0, 0, 0, 0, 0});
    }
}

TEST(RotateMatrixTest, QuarterTurnsOfTheIdentity)
{
    double z[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    rotateMatrix3(z, 2, kPi / 2);
    expectMatrix(z, {0, 1, 0, -1, 0, 0, 0, 0, 1});

    double y[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    rotateMatrix3(y, 3, kPi / 2);
    expectMatrix(y, {0, 0, -1, 0, 1, 0, 1, 0, 0});

    double x[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    rotateMatrix3(x, 4, kPi / 2);
    expectMatrix(x, {1, 0, 0, 0, 0, 1, 0, -1, 0});
}

TEST(RotateMatrixTest, RotationAppliesAfterTheMatrix)
{
    // R m about Z mixes rows 0 and 1 of m; m R would mix its columns.
    const double c = std::sqrt(3.0) / 2, s = 0.5;  // 30 degrees
    double m[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    rotateMatrix3(m, 2, kPi / 6);
    expectMatrix(m, {c * 1 + s * 4, c * 2 + s * 5, c * 3 + s * 6,     //
                     -s * 1 + c * 4, -s * 2 + c * 5, -s * 3 + c * 6,  //
                     7, 8, 9});
}

}  // namespace
