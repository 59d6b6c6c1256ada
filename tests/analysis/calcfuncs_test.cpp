/*
 * The function modules of rimage calc: each module's set-up on band and
 * parameter texts, and its kernel on one row, driven the way the tool's
 * frame drives them (input rows in the order of the module's input bands).
 * Expected values come from the formulas written out in double precision
 * here, or from hand-worked numbers.
 */
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <string>
#include <vector>
#include "analysis/tools/calcfuncs.h"

namespace {

using Row = std::vector<float>;

/* One module run over a single image row: set-up, then the kernel. */
struct ModuleRun {
    CalcContext ctx;
    int setupResult = 0;
    std::vector<Row> out;  // one row per result, in the order of ctx.outBands
};

/*
 * run --
 *	Sets up the module name on images of bands.size() input bands and
 *	outImageBands output bands (rows x the row length), then applies the
 *	kernel to image row `row`, whose values band by band are bands.
 */
ModuleRun run(const char *name, const std::vector<Row> &bands, const char *b, const char *par, const char *ob,
              int outImageBands = 1, int row = 0, int rows = 1)
{
    ModuleRun r;
    r.ctx.module = calcFindModule(name);
    r.ctx.rows = rows;
    r.ctx.columns = static_cast<int>(bands[0].size());
    r.ctx.inImageBands = static_cast<int>(bands.size());
    r.ctx.outImageBands = outImageBands;
    r.setupResult = calcModules[r.ctx.module].setup(&r.ctx, b, par, ob);
    if (r.setupResult != 1) {
        return r;
    }
    std::vector<Row> in;
    for (int band : r.ctx.inBands) {
        in.push_back(bands[band]);
    }
    r.out.assign(r.ctx.outBands.size(), Row(bands[0].size(), -12345.0f));
    Row scratch(bands[0].size());
    std::vector<const float *> inRows;
    std::vector<float *> outRows;
    for (Row &v : in) {
        inRows.push_back(v.data());
    }
    for (Row &v : r.out) {
        outRows.push_back(v.data());
    }
    CalcRow cr = {inRows.data(), outRows.data(), scratch.data(), r.ctx.columns, row};
    calcModules[r.ctx.module].kernel(&r.ctx, &cr);
    return r;
}

/* Single-pixel bands from values. */
std::vector<Row> pixel(std::initializer_list<float> values)
{
    std::vector<Row> bands;
    for (float v : values) {
        bands.push_back(Row{v});
    }
    return bands;
}

float only(const ModuleRun &r)
{
    return r.out.at(0).at(0);
}

TEST(CalcModules, NamesMatchIgnoringCase)
{
    EXPECT_EQ(calcFindModule("RATIO"), CALC_RATIO);
    EXPECT_EQ(calcFindModule("NoRm"), CALC_NORM);
    EXPECT_EQ(calcFindModule("ratios"), CALC_MODULES);
    EXPECT_EQ(calcFindModule(""), CALC_MODULES);
}

TEST(CalcModules, DratioFormulaAndZeroDenominator)
{
    ModuleRun r = run("dratio", pixel({10, 4, 8, 5}), nullptr, "2,1", nullptr);
    ASSERT_EQ(r.setupResult, 1);
    EXPECT_FLOAT_EQ(only(r), (10.0 - 4.0) / (8.0 - 5.0) * 2.0 + 1.0);
    // 10 - 4 over a zero difference: 6 / 1e-30.
    r = run("dratio", pixel({10, 4, 6, 6}), nullptr, nullptr, nullptr);
    EXPECT_FLOAT_EQ(only(r), 6e30f);
    // Bands picked by -b, in the order given.
    r = run("dratio", pixel({5, 8, 10, 4}), "3,4,2,1", nullptr, nullptr);
    EXPECT_FLOAT_EQ(only(r), (10.0 - 4.0) / (8.0 - 5.0));
}

TEST(CalcModules, DratioRejectsBadBandsAndParameters)
{
    EXPECT_EQ(run("dratio", pixel({1, 2, 3, 4}), "1,2", nullptr, nullptr).setupResult, 0);
    EXPECT_EQ(run("dratio", pixel({1, 2, 3, 4}), "1,2,3,5", nullptr, nullptr).setupResult, 0);
    EXPECT_EQ(run("dratio", pixel({1, 2, 3}), nullptr, nullptr, nullptr).setupResult, 0);  // default needs four
    EXPECT_EQ(run("dratio", pixel({1, 2, 3, 4}), nullptr, "1", nullptr).setupResult, 0);
    EXPECT_EQ(run("dratio", pixel({1, 2, 3, 4}), nullptr, nullptr, "2").setupResult, 0);  // one output band
    EXPECT_EQ(run("dratio", pixel({1, 2, 3, 4}), nullptr, nullptr, "2", 2).setupResult, 1);
}

TEST(CalcModules, RatioParameters)
{
    ModuleRun r = run("ratio", pixel({9, 3}), nullptr, "2,5", nullptr);
    EXPECT_FLOAT_EQ(only(r), 9.0 / 3.0 * 2.0 + 5.0);
    r = run("ratio", pixel({9, 3}), nullptr, "2,5,1,-1", nullptr);
    EXPECT_FLOAT_EQ(only(r), (9.0 - 1.0) / (3.0 + 1.0) * 2.0 + 5.0);
    // x1 - p3 = 0 divides by 1e-30.
    r = run("ratio", pixel({9, 3}), nullptr, "1,0,0,3", nullptr);
    EXPECT_FLOAT_EQ(only(r), 9e30f);
    EXPECT_EQ(run("ratio", pixel({9, 3}), nullptr, "1,0,3", nullptr).setupResult, 0);
    EXPECT_EQ(run("ratio", pixel({9, 3}), nullptr, "1,zero", nullptr).setupResult, 0);
}

TEST(CalcModules, NratioDefaultsAndZeroSum)
{
    EXPECT_FLOAT_EQ(only(run("nratio", pixel({30, 10}), nullptr, nullptr, nullptr)), 0.5f);
    EXPECT_FLOAT_EQ(only(run("nratio", pixel({0, 0}), nullptr, nullptr, nullptr)), 0.0f);
    // Parameters given in part keep the remaining defaults (p2 1, p3 1, p4 0).
    ModuleRun r = run("nratio", pixel({30, 10}), nullptr, "10,2", nullptr);
    double a = 30 - 10, b = 10 - 2;
    EXPECT_FLOAT_EQ(only(r), (a - b) / (a + b));
    r = run("nratio", pixel({30, 10}), nullptr, "10,2,0.5,100,3", nullptr);
    b = (10 - 2) * 0.5;
    EXPECT_FLOAT_EQ(only(r), (a - b) / (a + b) * 100 + 3);
    EXPECT_EQ(run("nratio", pixel({30, 10}), nullptr, "1,2,3,4,5,6", nullptr).setupResult, 0);
    EXPECT_EQ(run("nratio", pixel({30}), nullptr, nullptr, nullptr).setupResult, 0);
}

TEST(CalcModules, NratioOverARowOfBlocksAndTail)
{
    // 70 columns: two whole blocks of the kernel and a tail.
    Row nir(70), red(70);
    for (int c = 0; c < 70; c++) {
        nir[c] = static_cast<float>(c * 3 % 17);
        red[c] = static_cast<float>(c * 5 % 13);
    }
    ModuleRun r = run("nratio", {nir, red}, nullptr, nullptr, nullptr);
    for (int c = 0; c < 70; c++) {
        double sum = double(nir[c]) + red[c];
        double want = sum == 0 ? 0.0 : (double(nir[c]) - red[c]) / sum;
        EXPECT_NEAR(r.out[0][c], want, 1e-6) << "column " << c;
    }
}

TEST(CalcModules, StretchPairsPerBand)
{
    std::vector<Row> bands = {{12, 20}, {3, 4}, {5, 6}};
    ModuleRun r = run("stretch", bands, nullptr, "2,10", nullptr, 3);
    ASSERT_EQ(r.setupResult, 1);
    EXPECT_EQ(r.out[0], (Row{4, 20}));
    EXPECT_EQ(r.out[1], bands[1]);
    EXPECT_EQ(r.out[2], bands[2]);
    EXPECT_EQ(r.ctx.outBands, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(run("stretch", bands, nullptr, "2,10,1", nullptr, 3).setupResult, 0);
    EXPECT_EQ(run("stretch", bands, "1,2", nullptr, "1", 3).setupResult, 0);          // -ob count differs
    EXPECT_EQ(run("stretch", bands, "1,2", nullptr, "1,4", 3).setupResult, 0);        // beyond the output
    EXPECT_EQ(run("stretch", bands, "1,2,3,1", nullptr, nullptr, 3).setupResult, 0);  // more than the image has
    r = run("stretch", bands, "3", "0.5,1", "2", 3);
    EXPECT_EQ(r.ctx.outBands, (std::vector<int>{1}));
    EXPECT_EQ(r.out[0], (Row{2, 2.5}));
}

/* The de-vignetting factor of (row, column) written out from the geometry:
 * the cosine-law growth sqrt(1 + (rho / f)^2) - 1 of the off-axis distance. */
double devFactor(double coefficient, double row, double column, double centreRow, double centreColumn, double pitchX,
                 double pitchY, double focal)
{
    double dy = (row - centreRow) * pitchY, dx = (centreColumn - column) * pitchX;
    double g = std::sqrt(1.0 + (dx * dx + dy * dy) / (focal * focal)) - 1.0;
    return std::exp(coefficient * g);
}

TEST(CalcModules, DevKeepsTheCentreAndDarkLevel)
{
    // 4 columns, 3 rows: the default centre is column 2, row 1.5.
    std::vector<Row> bands = {{100, 100, 100, 100}, {40, 40, 40, 40}};
    ModuleRun r = run("dev", bands, nullptr, "3,20,50,4,0.5,0.5,2,1", nullptr, 2, 1, 3);
    ASSERT_EQ(r.setupResult, 1);
    EXPECT_FLOAT_EQ(r.ctx.params[0], 6.0f);  // the coefficient is twice -par's first value
    EXPECT_FLOAT_EQ(r.out[0][2], 100.0f);
    EXPECT_FLOAT_EQ(r.out[1][2], 40.0f);
    for (int c = 0; c < 4; c++) {
        double f = devFactor(6, 1, c, 1, 2, 0.5, 0.5, 4);
        EXPECT_NEAR(r.out[0][c], f * (100 - 20) + 20, 1e-3) << "column " << c;
        // Every band shares the coefficient.
        EXPECT_NEAR(r.out[1][c], f * (40 - 20) + 20, 1e-3) << "column " << c;
    }
    // Defaults: coefficient 4, dark level 1.5, focal 8, pitch 0.0068, centre (rows/2, columns/2).
    r = run("dev", {Row{10, 10, 10, 10}}, nullptr, nullptr, nullptr, 1, 0, 3);
    for (int c = 0; c < 4; c++) {
        double f = devFactor(4, 0, c, 1.5, 2, 0.0068, 0.0068, 8);
        EXPECT_NEAR(r.out[0][c], f * (10 - 1.5) + 1.5, 1e-5);
    }
    EXPECT_EQ(run("dev", bands, nullptr, "1,2,3,4,5,6,7,8,9", nullptr, 2).setupResult, 0);
    EXPECT_EQ(run("dev", bands, nullptr, "1,2,3,0", nullptr, 2).setupResult, 0);  // focal distance 0
}

TEST(CalcModules, LinearWeightsAndConstant)
{
    std::vector<Row> bands = pixel({1, 2, 3, 6});
    EXPECT_FLOAT_EQ(only(run("linear", bands, nullptr, nullptr, nullptr)), 3.0f);
    EXPECT_FLOAT_EQ(only(run("linear", bands, nullptr, "1,2,3,4,5", nullptr)), 5 + 1 + 4 + 9 + 24);
    EXPECT_FLOAT_EQ(only(run("linear", bands, "4,1", "0.5,-1,2", nullptr)), 2 + 3 - 1);
    EXPECT_EQ(run("linear", bands, nullptr, "1,1,1,1", nullptr).setupResult, 0);
    EXPECT_EQ(run("linear", bands, nullptr, nullptr, "1,2").setupResult, 0);
    EXPECT_EQ(run("linear", bands, nullptr, nullptr, "0").setupResult, 0);
    EXPECT_EQ(run("linear", bands, nullptr, nullptr, "3").ctx.outBands, (std::vector<int>{2}));
}

TEST(CalcModules, AvgCeiling)
{
    EXPECT_FLOAT_EQ(only(run("avg", pixel({10, 255, 20}), nullptr, "255", nullptr)), 255.0f);
    EXPECT_FLOAT_EQ(only(run("avg", pixel({10, 20, 30}), nullptr, "255", nullptr)), 20.0f);
    EXPECT_FLOAT_EQ(only(run("avg", pixel({1e30f, 3e30f}), nullptr, nullptr, nullptr)), 2e30f);
    EXPECT_FLOAT_EQ(only(run("avg", pixel({FLT_MAX, 1}), nullptr, nullptr, nullptr)), FLT_MAX);
    // A row mixing pixels that reach the ceiling with pixels that do not.
    Row a(40), b(40);
    for (int c = 0; c < 40; c++) {
        a[c] = static_cast<float>(c * 7);
        b[c] = static_cast<float>(c);
    }
    ModuleRun r = run("avg", {a, b}, nullptr, "100", nullptr);
    for (int c = 0; c < 40; c++) {
        float want = (a[c] >= 100 || b[c] >= 100) ? 100.0f : (a[c] + b[c]) / 2;
        EXPECT_FLOAT_EQ(r.out[0][c], want) << "column " << c;
    }
    EXPECT_EQ(run("avg", pixel({1, 2}), nullptr, "1,2", nullptr).setupResult, 0);
}

TEST(CalcModules, NormDividesByTheMeanOfTheParBands)
{
    std::vector<Row> bands = pixel({2, 6, 8});
    ModuleRun r = run("norm", bands, nullptr, nullptr, nullptr, 3);
    ASSERT_EQ(r.setupResult, 1);
    double mean = (2.0 + 6 + 8) / 3;
    EXPECT_FLOAT_EQ(r.out[0][0], 2 / mean);
    EXPECT_FLOAT_EQ(r.out[2][0], 8 / mean);
    r = run("norm", bands, nullptr, "2-1", nullptr, 3);
    EXPECT_FLOAT_EQ(r.out[1][0], 6.0f / 4.0f);
    // With -b choosing fewer bands, the divisor defaults to the chosen ones
    // and a position beyond them is refused.
    r = run("norm", bands, "3,1", nullptr, "1,2", 3);
    EXPECT_FLOAT_EQ(r.out[0][0], 8.0f / 5.0f);
    EXPECT_EQ(run("norm", bands, "3,1", "3", "1,2", 3).setupResult, 0);
    EXPECT_EQ(run("norm", bands, nullptr, nullptr, nullptr, 4).setupResult, 0);  // 3 in, 4 out
    EXPECT_EQ(run("norm", bands, nullptr, "x", nullptr, 3).setupResult, 0);
    EXPECT_EQ(run("norm", bands, "1,4", nullptr, "1,2", 3).setupResult, 0);
}

TEST(CalcLists, IntegersAndNumbers)
{
    std::vector<int> longs;
    EXPECT_EQ(calcPassLongs("3, 1,,2", longs, 10), 3);
    EXPECT_EQ(longs, (std::vector<int>{3, 1, 2}));
    EXPECT_EQ(calcPassLongs("1,2x", longs, 10), 2);
    EXPECT_EQ(longs, (std::vector<int>{1, 0}));
    EXPECT_EQ(calcPassLongs("1,2,3,4", longs, 2), 4);  // all counted, two stored
    EXPECT_EQ(longs.size(), 2u);
    EXPECT_EQ(calcPassLongs(nullptr, longs, 2), 0);

    std::vector<float> floats;
    EXPECT_EQ(calcPassFloats("1.5,-2e3, +4", floats, 10), 3);
    EXPECT_EQ(floats, (std::vector<float>{1.5f, -2000.0f, 4.0f}));
    EXPECT_EQ(calcPassFloats("1,abc", floats, 10), -1);
    EXPECT_EQ(calcPassFloats("1,2.5.1", floats, 10), -1);
}

}  // namespace
