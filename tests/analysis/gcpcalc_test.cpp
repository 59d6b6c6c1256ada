/*
 * Control points and their fit (exact fits, minimum points, singular
 * systems, check points, numpy's least squares), GCPOBJ and
 * georectification parameter files, the row and column collapse of the
 * polynomials and the input window of an output block.
 */
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/gcpcalc.h"
#include "analysis/georect.h"
#include "runtime/cnumber.h"
#include "support/stderr_capture.h"
#include "tesk_image.h"

/* Runs a python script with numpy; answers its standard output (regress_test.cpp
 * uses it too). */
std::string runPython(const std::string &file, const std::string &script)
{
    std::ofstream(file) << script;
    const char *python = std::getenv("TESK_PYTHON");
    std::string out, command = std::string(python != nullptr ? python : "/usr/bin/python3") + " " + file;
    FILE *pipe = popen(command.c_str(), "r");
    char buffer[4096];
    for (size_t n; pipe != nullptr && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        out.append(buffer, n);
    }
    EXPECT_TRUE(pipe != nullptr && pclose(pipe) == 0) << "numpy is needed (tools/setup.sh all)";
    return out;
}

namespace {

/* A known affine: X2 = 2 + 3 X1 - Y1, Y2 = 5 + 0.5 X1 + 2 Y1. */
const auto affineX2 = [](double x, double y) { return 2.0 + 3.0 * x - y; };
const auto affineY2 = [](double x, double y) { return 5.0 + 0.5 * x + 2.0 * y; };

std::string readFile(const std::string &name)
{
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
const auto writeFile = [](const std::string &name, const std::string &bytes) {
    std::ofstream(name, std::ios::binary) << bytes;
};
/* The bytes of the values, as a little-endian file holds them. */
template <typename... T>
std::string pack(T... values)
{
    std::string out;
    (out.append(reinterpret_cast<const char *>(&values), sizeof values), ...);
    return out;
}

void add(GcpCalc *calc, int selected, int id, double x1, double y1, double x2, double y2)
{
    char line[200];
    std::snprintf(line, sizeof line, "%d %d %.17g %.17g %.17g %.17g", selected, id, x1, y1, x2, y2);
    ASSERT_GT(gcpAddRecordText(calc, line), 0) << line;
}

/* A scratch folder, standard error taken by errors(), contexts freed. */
class GcpTest : public StderrCapture {
protected:
    void SetUp() override
    {
        StderrCapture::SetUp();
        char name[] = "/tmp/teskgcpXXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        folder = name;
    }
    void TearDown() override
    {
        tesk_failWritesAfter(-1);
        for (GcpCalc *calc : contexts) {
            gcpCalcFree(calc);
        }
        StderrCapture::TearDown();
        EXPECT_EQ(std::system(("rm -rf " + folder).c_str()), 0);
    }
    std::string path(const std::string &name) const { return folder + "/" + name; }
    std::string errors()
    {
        std::string text = StderrCapture::errors();
        testEval(interp, "set ::err {}");
        return text;
    }
    GcpCalc *keep(GcpCalc *calc) { return contexts.push_back(calc), calc; }
    GcpCalc *fresh() { return keep(gcpCalcCreate(nullptr)); }
    /* Three points of the affine in general position, and optionally an
     * unselected one 100 off in X2. */
    GcpCalc *affinePoints(bool checkPoint = false)
    {
        GcpCalc *calc = fresh();
        for (auto p : {std::pair(10, 20), std::pair(40, 25), std::pair(15, 60)}) {
            add(calc, 1, calc->count + 1, p.first, p.second, affineX2(p.first, p.second), affineY2(p.first, p.second));
        }
        if (checkPoint) {
            add(calc, 0, 17, 30, 30, affineX2(30, 30) + 100, affineY2(30, 30));
        }
        return calc;
    }
    std::string folder;
    std::vector<GcpCalc *> contexts;
};

/* The fit ----------------------------------------------------------------------- */

TEST_F(GcpTest, AnExactFitKeepsACheckPointsResidualAndTravelsInCopiesAndGcpObjFiles)
{
    GcpCalc *calc = affinePoints(true);
    double i, j;
    EXPECT_EQ(gcpTransform(calc, 1, 2, &i, &j), 0);  // no fit yet
    ASSERT_EQ(gcpFit(calc, 1), 1) << errors();
    EXPECT_EQ(calc->nTerms, 3);
    for (int k = 0; k < 4; k++) {
        EXPECT_NEAR(calc->records[k].dx, k == 3 ? 100.0 : 0.0, 1e-6);
        EXPECT_NEAR(calc->records[k].dy, 0.0, 1e-6);
    }
    EXPECT_NEAR(calc->msrJ + calc->msrI + calc->msr, 0.0, 1e-9);  // over the selected points
    EXPECT_DOUBLE_EQ(calc->xOffset, 65.0 / 3);                    // their means
    EXPECT_DOUBLE_EQ(calc->yOffset, 105.0 / 3);
    char text[128];
    gcpFormatJCoef(calc, "%.6f", text);  // the constant term is the value at the centre
    EXPECT_EQ(text, cFormat("%.6f 3.000000 -1.000000", affineX2(65.0 / 3, 105.0 / 3)));
    ASSERT_EQ(gcpFormatRecord(calc, 1, text), 1);
    EXPECT_STREQ(text, "2 40.000 25.000 97.000 75.000 0.000 0.000");
    EXPECT_EQ(gcpFormatRecord(calc, 4, text), 0);

    /* The file: count, power, terms, then 48-byte records. Its load is
     * refitted, which gives the cleared residual back. */
    calc->records[3].dx = 0.0f;
    std::string file = path("points.gcp"), want = "GCPOBJ" + pack(4, 1, 3);
    ASSERT_EQ(gcpObjSave(calc, file.c_str()), 1) << errors();
    EXPECT_EQ(calc->modified, 0);
    for (int k = 0; k < 4; k++) {
        const GcpRecord &r = calc->records[k];
        want += pack(r.selected, r.id, r.x1, r.y1, r.x2, r.y2, r.dx, r.dy);
    }
    EXPECT_EQ(readFile(file), want);
    for (GcpCalc *back : {keep(gcpCalcCreate(calc)), keep(gcpObjLoad(file.c_str()))}) {
        ASSERT_NE(back, nullptr) << errors();
        EXPECT_TRUE(back->count == 4 && back->modified == 0 && back->nTerms == 3);
        EXPECT_TRUE(back->records[3].id == 17 && back->records[3].selected == 0);
        ASSERT_EQ(gcpTransform(back, -7.5, 100, &i, &j), 1);
        EXPECT_NEAR(j, affineX2(-7.5, 100), 1e-9);
        EXPECT_NEAR(i, affineY2(-7.5, 100), 1e-9);
    }
    EXPECT_NEAR(contexts.back()->records[3].dx, 100.0, 1e-6);
    EXPECT_EQ(errors(), "");
}

TEST_F(GcpTest, EachPowerNeedsAsManySelectedPointsAsTerms)
{
    const int needed[4] = {4, 3, 6, 10};
    std::mt19937 generator(7);
    std::uniform_real_distribution<double> coordinate(-50, 50);
    for (int power = 0; power <= 3; power++) {
        GcpCalc *calc = fresh();
        for (int k = 0; k < needed[power]; k++) {
            double x = coordinate(generator), y = coordinate(generator);
            add(calc, 1, k + 1, x, y, x * x - y, 0.25 * x * y + 4);
        }
        calc->records[0].selected = 0;
        EXPECT_EQ(gcpFit(calc, power), 0) << "power " << power;
        EXPECT_EQ(errors(), "Not enough GCPs !");
        calc->records[0].selected = 1;
        ASSERT_EQ(gcpFit(calc, power), 1) << "power " << power << ": " << errors();
        EXPECT_EQ(calc->nTerms, needed[power]);
        EXPECT_NEAR(calc->msr, 0.0, 1e-6) << "power " << power;  // as many terms as points: exact
    }
}

TEST_F(GcpTest, ASingularOrUnderdeterminedFitKeepsThePreviousFitWhole)
{
    GcpCalc *calc = affinePoints();
    ASSERT_EQ(gcpFit(calc, 1), 1);
    double i0, j0, i, j;
    ASSERT_EQ(gcpTransform(calc, 3, 4, &i0, &j0), 1);
    const std::vector<double> offsets = {calc->xOffset, calc->yOffset, calc->iOffset, calc->jOffset};
    add(calc, 1, 4, 0, 0, 7, 7);
    for (int k = 0; k < 4; k++) {  // collinear
        calc->records[k].x1 = calc->records[k].y1 = k;
        calc->records[k].dx = 42.0f;
    }
    EXPECT_EQ(gcpFit(calc, 1), 0);
    EXPECT_EQ(errors(), "Singular GCP system.\n");
    calc->records[0].selected = calc->records[1].selected = 0;
    EXPECT_EQ(gcpFit(calc, 1), 0);
    EXPECT_EQ(errors(), "Not enough GCPs !");
    ASSERT_EQ(gcpTransform(calc, 3, 4, &i, &j), 1);
    EXPECT_TRUE(i == i0 && j == j0 && calc->nTerms == 3 && calc->records[0].dx == 42.0f);
    EXPECT_EQ(std::vector<double>({calc->xOffset, calc->yOffset, calc->iOffset, calc->jOffset}), offsets);

    /* Collinear points over +-5000 units stay singular at every power. */
    for (int power : {1, 3}) {
        GcpCalc *line = fresh();
        for (int k = 0; k < 12; k++) {
            add(line, 1, k, k * 937.0 - 5000, 0.37 * (k * 937.0 - 5000) + 12.5, k, k * k);
        }
        EXPECT_EQ(gcpFit(line, power), 0) << power;
        EXPECT_EQ(errors(), "Singular GCP system.\n");
    }
    /* So are points within 1e-9 of a line across 500 units. */
    GcpCalc *thin = fresh();
    for (int k = 0; k < 6; k++) {
        add(thin, 1, k, k * 100.0, 5 + (k % 2 ? 1e-9 : -1e-9), k, 0.1 * (k % 3));
    }
    EXPECT_EQ(gcpFit(thin, 1), 0);
    EXPECT_EQ(errors(), "Singular GCP system.\n");
}

TEST_F(GcpTest, RecordsAreAddedAndDeletedUpToTheCapacity)
{
    GcpCalc *calc = fresh();
    EXPECT_EQ(gcpAddRecordText(calc, "1 7 1.5 2 3 4"), 1);
    EXPECT_EQ(gcpAddRecordText(calc, "1 8 1 2 3"), 0);
    EXPECT_EQ(errors(), "Invalid record:\n1 8 1 2 3");
    EXPECT_EQ(gcpAddRecordText(calc, "0 8 5 6 7 8"), 2);
    EXPECT_EQ(gcpAddRecordText(calc, "1 9 9 10 11 12"), 3);
    EXPECT_EQ(calc->records[1].selected, 0);
    calc->modified = 0;
    calc->current = 2;
    gcpDeleteRecord(calc, 3);  // past the end: nothing
    gcpDeleteRecord(calc, -1);
    EXPECT_EQ(calc->modified, 0);
    gcpDeleteRecord(calc, 0);
    ASSERT_EQ(calc->count, 2);
    EXPECT_TRUE(calc->records[0].id == 8 && calc->records[1].y2 == 12.0);
    EXPECT_TRUE(calc->modified == 1 && calc->current == 1);
    for (int k = calc->count; k < 300; k++) {
        ASSERT_GT(gcpAddRecordText(calc, "1 1 0 0 0 0"), 0);
    }
    EXPECT_EQ(gcpAddRecordText(calc, "1 1 0 0 0 0"), 0);
    EXPECT_EQ(errors(), "GCP number overflow.\n");
}

/*
 * numpy makes 40 noisy points of a random polynomial (each term worth about
 * 100 units, every seventh point unselected) for powers 1 to 3 over 0 to
 * 100 units and power 3 over +-5000, whose terms' variances lie 1e15 apart
 * (fitted on the raw terms, the solver would take that for singular); the
 * fit's coefficients and root mean squares equal
 * numpy.linalg.lstsq's on the same centred monomials to 1e-6 relative.
 */
TEST_F(GcpTest, NoisyFitsEqualNumpysLeastSquares)
{
    std::istringstream peer(runPython(path("peer.py"), R"(
import numpy as np
rng = np.random.default_rng(11)
def terms(p, s, power):
    u, v = p[:, 1] - s[:, 1].mean(), p[:, 2] - s[:, 2].mean()
    return np.column_stack([u**(d - b) * v**b for d in range(power + 1) for b in range(d + 1)])
for power, low, high in ((1, 0, 100), (2, 0, 100), (3, 0, 100), (3, -5000, 5000)):
    p = np.column_stack([np.arange(40) % 7 != 3, rng.uniform(low, high, (40, 2))])
    degree = np.array([d for d in range(power + 1) for b in range(d + 1)])[:, None]
    coef = rng.uniform(-2, 2, (len(degree), 2)) * 100 / ((high - low) / 2)**degree
    p = np.column_stack([p, terms(p, p, power) @ coef + [1000, -500] + rng.normal(0, 0.5, (40, 2))])
    print(power, *map(repr, p.flatten().tolist()))
    s = p[p[:, 0] == 1]
    for y in (s[:, 3], s[:, 4]):
        c = np.linalg.lstsq(terms(s, s, power), y, rcond=None)[0]
        print(*map(repr, c.tolist()), repr(float(np.sqrt(np.mean((y - terms(s, s, power) @ c)**2)))))
)"));
    auto near = [](double a, double b) { return std::fabs(a - b) <= 1e-6 * std::fabs(b) + 1e-12; };
    int power, fits = 0;
    for (double r[5], want; peer >> power; fits++) {
        GcpCalc *calc = fresh();
        for (int k = 0; k < 40 && peer >> r[0] >> r[1] >> r[2] >> r[3] >> r[4]; k++) {
            add(calc, static_cast<int>(r[0]), k + 1, r[1], r[2], r[3], r[4]);
        }
        ASSERT_EQ(gcpFit(calc, power), 1) << power << ": " << errors();
        for (int side = 0; side < 2; side++) {
            const double *coef = side == 0 ? calc->jCoef : calc->iCoef,
                         offset = side == 0 ? calc->jOffset : calc->iOffset;
            for (int k = 0; k < calc->nTerms && peer >> want; k++) {
                EXPECT_PRED2(near, coef[k] + (k == 0 ? offset : 0.0), want) << fits << " " << side << " " << k;
            }
            peer >> want;
            EXPECT_PRED2(near, side == 0 ? calc->msrJ : calc->msrI, want) << fits;
        }
        EXPECT_NEAR(calc->msr, std::sqrt(calc->msrJ * calc->msrJ + calc->msrI * calc->msrI), 1e-12);
    }
    EXPECT_EQ(fits, 4);
}

/* Files ------------------------------------------------------------------------ */

TEST_F(GcpTest, AFailedSaveLeavesTheOldFileWholeAndDamagedGcpObjFilesAreRefused)
{
    GcpCalc *calc = affinePoints();
    std::string file = path("points.gcp"), grh = path("p.grh");
    ASSERT_EQ(gcpObjSave(calc, file.c_str()), 1);
    const std::string good = readFile(file);
    GcpCalc *back = keep(gcpObjLoad(file.c_str()));  // a file without a fit loads without one
    ASSERT_NE(back, nullptr);
    EXPECT_TRUE(back->count == 3 && back->nTerms == 0);
    add(calc, 1, 4, 1, 2, 3, 4);
    tesk_failWritesAfter(100);
    EXPECT_EQ(gcpObjSave(calc, file.c_str()), 0);
    EXPECT_NE(errors().find("No space left on device"), std::string::npos);
    EXPECT_EQ(calc->modified, 1);
    EXPECT_EQ(readFile(file), good);

    tesk_failWritesAfter(-1);
    ASSERT_EQ(gcpFit(calc, 1), 1);
    ASSERT_EQ(gcpSaveGeorect(calc, grh.c_str()), 1);
    const std::string oldGrh = readFile(grh);
    calc->iCoef[1] += 1;
    tesk_failWritesAfter(50);
    EXPECT_EQ(gcpSaveGeorect(calc, grh.c_str()), 0);
    EXPECT_EQ(errors(), grh + " write error.");
    EXPECT_EQ(readFile(grh), oldGrh);
    EXPECT_EQ(std::system(("test $(ls " + folder + " | wc -l) -eq 2").c_str()), 0);  // no replacement file left

    /* Counts 301 and -1, records cut short, a short header, another magic. */
    for (const std::string &damaged :
         {"GCPOBJ" + pack(301) + good.substr(10), "GCPOBJ" + pack(-1) + good.substr(10),
          good.substr(0, good.size() - 1), good.substr(0, 12), std::string("GCPOB"), "GCPOBX" + good.substr(6)}) {
        writeFile(file, damaged);
        GcpCalc *loaded = gcpObjLoad(file.c_str());
        EXPECT_EQ(loaded, nullptr) << damaged.size();
        gcpCalcFree(loaded);
        EXPECT_FALSE(errors().empty());
    }
    EXPECT_EQ(gcpObjLoad(path("absent.gcp").c_str()), nullptr);
    EXPECT_EQ(errors(), path("absent.gcp") + ": No such file or directory\n");
}

TEST_F(GcpTest, APowerOneParameterFileHas96BytesReadsBackAndRefusesDamage)
{
    GcpCalc *calc = affinePoints();
    std::string grh = path("p.grh"), gcp = path("p.gcp");
    EXPECT_EQ(gcpSaveGeorect(calc, grh.c_str()), 0);  // no fit
    ASSERT_EQ(gcpFit(calc, 1), 1);
    ASSERT_EQ(gcpSaveGeorect(calc, grh.c_str()), 1) << errors();
    const double *ic = calc->iCoef, *jc = calc->jCoef;
    const std::string good = readFile(grh);
    EXPECT_EQ(good, "GOERECHD" + pack(calc->xOffset, calc->yOffset, calc->jOffset, calc->iOffset, 3, 1) +
                        pack(ic[0] + calc->iOffset, ic[1], ic[2], jc[0] + calc->jOffset, jc[1], jc[2]));
    Georect record;
    ASSERT_EQ(readGeorect(grh.c_str(), &record), 1) << errors();
    EXPECT_TRUE(record.nTerms == 3 && record.coef[5] == jc[2]);
    double list[4], i, j;  // the record maps (X1, Y1) as the fit does
    collapseRowPolys(&record, list, 60 - record.yOffset);
    evalPolyPair(list, 15 - record.xOffset, 4, &j, &i);
    EXPECT_NEAR(j, affineX2(15, 60), 1e-9);
    EXPECT_NEAR(i, affineY2(15, 60), 1e-9);

    /* Power 11 with its 78 terms, 4 or -3 terms at power 1, short files, a
     * GCPOBJ file. */
    auto patched = [&](int terms, int power, size_t extra) {
        return good.substr(0, 40) + pack(terms, power) + good.substr(48) + std::string(extra, '\0');
    };
    ASSERT_EQ(gcpObjSave(calc, gcp.c_str()), 1);
    const std::string notOne = grh + " is not a georectification parameter file.", readError = grh + " read error.";
    const std::pair<std::string, std::string> cases[] = {
        {patched(78, 11, 16 * 75), notOne}, {patched(4, 1, 16), notOne},     {patched(-3, 1, 0), notOne},
        {good.substr(0, 95), readError},    {good.substr(0, 47), readError}, {readFile(gcp), notOne}};
    for (const auto &c : cases) {
        writeFile(grh, c.first);
        EXPECT_EQ(readGeorect(grh.c_str(), &record), 0);
        EXPECT_EQ(errors(), c.second) << c.first.size();
    }
    EXPECT_EQ(readGeorect(path("absent").c_str(), &record), 0);
    EXPECT_EQ(errors(), path("absent") + " open error.");
}

/* Evaluation ------------------------------------------------------------------- */

TEST_F(GcpTest, RowAndColumnCollapsesEvaluateAsTheMonomials)
{
    std::mt19937 generator(3);
    std::uniform_real_distribution<double> value(-3, 3);
    for (int power : {0, 1, 3}) {
        const int n = gcpTermCount(power), top = power == 0 ? 1 : power;
        std::vector<double> ic(n), jc(n);
        for (int k = 0; k < n; k++) {
            ic[k] = value(generator), jc[k] = value(generator);
        }
        Georect r;
        ASSERT_TRUE(makeGeorect(&r, 1, 2, 0.5, 0.25, n, power, ic.data(), jc.data()));
        EXPECT_FALSE(makeGeorect(&r, 1, 2, 0.5, 0.25, n + 1, power, ic.data(), jc.data()));
        for (double u : {-1.5, 0.0, 2.25}) {
            for (double v : {-2.0, 0.5, 1.75}) {
                /* Directly: u^a v^b, bilinear 1, u, v, uv. */
                double wantI = 0, wantJ = 0, i, j, list[2 * GEORECT_MAX_POWER + 2];
                for (int a = 0; a <= top; a++) {
                    for (int b = 0; b <= top - (power == 0 ? 0 : a); b++) {
                        const int k = power == 0 ? a + 2 * b : termIndex(a, b);
                        wantI += r.coef[k] * std::pow(u, a) * std::pow(v, b);
                        wantJ += r.coef[n + k] * std::pow(u, a) * std::pow(v, b);
                    }
                }
                collapseRowPolys(&r, list, v);
                evalPolyPair(list, u, 2 * top + 2, &j, &i);
                EXPECT_TRUE(std::fabs(i - wantI) < 1e-9 && std::fabs(j - wantJ) < 1e-9) << power << " row";
                collapseColumnPolys(&r, list, u);
                evalPolyPair(list, v, 2 * top + 2, &j, &i);
                EXPECT_TRUE(std::fabs(i - wantI) < 1e-9 && std::fabs(j - wantJ) < 1e-9) << power << " column";
            }
        }
    }
}

TEST_F(GcpTest, TheWindowOfABlockHoldsEveryPositionItsPixelsRead)
{
    /* A rotation by 30 degrees with scale 1.5 about a map frame. */
    const double a = M_PI / 6, c = std::cos(a) * 1.5, s = std::sin(a) * 1.5;
    const double ic[3] = {40, -s, c}, jc[3] = {35, c, s};
    Georect r;
    ASSERT_TRUE(makeGeorect(&r, 500, 800, 0, 0, 3, 1, ic, jc));
    const GeorectFrame frame = {450, 850, 2, 2};
    const PixelBounds output = {0, 0, 99, 99}, input = {0, 0, 79, 79}, far = {1000, 1000, 1010, 1010};
    GeorectArea area;
    PixelBounds b;
    double minJ = 1e9, maxJ = -1e9, minI = 1e9, maxI = -1e9, i, j;
    auto position = [&](int row, int column) {
        const double x = 450 + 2 * column - 500, y = 850 - 2 * row - 800;
        j = jc[0] + jc[1] * x + jc[2] * y, i = ic[0] + ic[1] * x + ic[2] * y;
    };
    for (int row : {0, 13, 57}) {  // one pixel: one to four input pixels around its position
        for (int column : {0, 21, 99}) {
            int64_t count = georectSourceWindow(&r, &area, &b, &frame, &output, &input, row, column, 1, 1, 0);
            position(row, column);
            EXPECT_TRUE(count >= 1 && count <= 4 && b.left <= j && j <= b.right && b.top <= i && i <= b.bottom)
                << row << " " << column << ": " << count;
        }
    }
    /* A block: the bounds are those of its pixels' positions. */
    int64_t count = georectSourceWindow(&r, &area, &b, &frame, &output, &input, 10, 20, 30, 25, 0);
    EXPECT_EQ(std::vector<double>({area.xLeft, area.xRight, area.yTop, area.yBottom}),
              std::vector<double>({490, 538, 830, 772}));
    EXPECT_EQ(count, (int64_t{b.right} - b.left + 1) * (b.bottom - b.top + 1));
    for (int row = 10; row < 40; row++) {
        for (int column = 20; column < 45; column++) {
            position(row, column);
            minJ = std::fmin(minJ, j), maxJ = std::fmax(maxJ, j), minI = std::fmin(minI, i), maxI = std::fmax(maxI, i);
        }
    }
    EXPECT_EQ(std::vector<double>({1.0 * b.left, 1.0 * b.right, 1.0 * b.top, 1.0 * b.bottom}),
              std::vector<double>({std::floor(minJ), std::ceil(maxJ), std::floor(minI), std::ceil(maxI)}));
    /* Clamped to the input, and empty outside it. */
    georectSourceWindow(&r, &area, &b, &frame, &output, &input, 0, 0, 100, 100, 1);
    EXPECT_TRUE(b.left == 0 && b.bottom == 79);
    EXPECT_EQ(georectSourceWindow(&r, &area, &b, &frame, &output, &far, 0, 0, 5, 5, 1), 0);
}

TEST_F(GcpTest, AnUnclampedWindowTooLargeToCountCountsAsTheLargest)
{
    /* Columns from -2^30 to 2^30 and rows over the whole int range: a
     * narrower than tall window of (2^31 + 1) x (2^32 - 1) pixels, more
     * than 2^63. */
    const double ic[3] = {5e9, 0, 1e10}, jc[3] = {-1073741824.0, 2147483648.0, 0};
    Georect r;
    ASSERT_TRUE(makeGeorect(&r, 0, 0, 0, 0, 3, 1, ic, jc));
    const GeorectFrame frame = {0, 0, 1, 1};
    const PixelBounds output = {0, 0, 99, 99}, input = {0, 0, 79, 79};
    GeorectArea area;
    PixelBounds b;
    EXPECT_EQ(georectSourceWindow(&r, &area, &b, &frame, &output, &input, 0, 0, 2, 2, 0), INT64_MAX);
    EXPECT_EQ(std::vector<int>({b.left, b.right, b.top, b.bottom}),
              std::vector<int>({-1073741824, 1073741824, -INT_MAX, INT_MAX}));
}

}  // namespace
