/*
 * projlib_test.cpp --
 *
 *	The projection layer: set-up with the classic defaults, init and datum
 *	expansion, the classic fields, forward and inverse projection, the
 *	step-by-step datum transformation (geocentric shifts, grid shifts over
 *	synthetic CTable2 grids and Debian's NTv2 grids), search paths from the
 *	console's env array, the lists and the parameter report. Expected
 *	figures come from PROJ's own programs (proj, cs2cs, cct of PROJ 9.1.1),
 *	from PROJ's CRS objects, or from formulas in the tests.
 */
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <memory>
#include <csignal>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <proj.h>

#include "geo/projlib.h"
#include "support/gridfile.h"
#include "support/stderr_capture.h"
#include "support/test_interp.h"

namespace {

constexpr double kDeg = M_PI / 180;
constexpr double kSec = M_PI / 180 / 3600;

struct HandleFree {
    void operator()(ProjHandle *h) const { projFree(h); }
};
using Proj = std::unique_ptr<ProjHandle, HandleFree>;

std::vector<std::string> words(const std::string &definition)
{
    std::istringstream in(definition);
    std::vector<std::string> out;
    for (std::string w; in >> w;) {
        out.push_back(w);
    }
    return out;
}

Proj init(const std::string &definition)
{
    std::vector<std::string> w = words(definition);
    std::vector<const char *> argv;
    for (const std::string &s : w) {
        argv.push_back(s.c_str());
    }
    return Proj(projInit(static_cast<int>(argv.size()), argv.data()));
}

std::vector<std::string> params(const ProjHandle *h, bool usedOnly = false)
{
    std::vector<std::string> out;
    for (const ProjParam *p = projParamFirst(h); p != nullptr; p = projParamNext(p)) {
        if (!usedOnly || projParamUsed(p)) {
            out.push_back(projParamText(p));
        }
    }
    return out;
}

bool hasParam(const ProjHandle *h, const std::string &text, bool used)
{
    for (const ProjParam *p = projParamFirst(h); p != nullptr; p = projParamNext(p)) {
        if (projParamText(p) == text && projParamUsed(p) == (used ? 1 : 0)) {
            return true;
        }
    }
    return false;
}

/* A fresh folder under the test's temporary folder. */
std::string makeFolder()
{
    std::string pattern = ::testing::TempDir() + "teskprojXXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const char *dir = mkdtemp(buffer.data());
    return dir != nullptr ? dir : "";
}

/* The output lines of a program of PROJ's, empty when it cannot run. */
std::vector<std::string> programLines(const std::string &command)
{
    std::vector<std::string> lines;
    std::FILE *p = popen((command + " 2>/dev/null").c_str(), "r");
    if (p == nullptr) {
        return lines;
    }
    char line[4096];
    while (std::fgets(line, sizeof line, p) != nullptr) {
        std::string s = line;
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) {
            s.pop_back();
        }
        lines.push_back(s);
    }
    pclose(p);
    return lines;
}

bool havePrograms()
{
    return !programLines("command -v cs2cs proj").empty();
}

}  // namespace

/* ---- set-up, defaults and the classic fields ---- */

TEST(ProjInit, UtmWithoutEllipsoidTakesWgs84AndProjectsAsProjDoes)
{
    Proj p = init("proj=utm zone=10");
    ASSERT_TRUE(p) << projErrorText();
    /* proj -f %.6f +proj=utm +zone=10 +ellps=WGS84 <<< "-121 37" */
    double x, y;
    projFwd(p.get(), -121 * kDeg, 37 * kDeg, &x, &y);
    EXPECT_NEAR(x, 677962.189777, 1e-6);
    EXPECT_NEAR(y, 4096742.059342, 1e-6);
    EXPECT_EQ(params(p.get()), (std::vector<std::string>{"proj=utm", "zone=10", "ellps=WGS84"}));
    EXPECT_EQ(projGetA(p.get()), 6378137.0);
    double f = 1 / 298.257223563;
    EXPECT_NEAR(projGetE(p.get()), std::sqrt(f * (2 - f)), 1e-15);
    EXPECT_NEAR(projGetLam0(p.get()), -123 * kDeg, 1e-15);
    EXPECT_EQ(projGetPhi0(p.get()), 0);
    EXPECT_EQ(projGetX0(p.get()), 500000);
    EXPECT_EQ(projGetY0(p.get()), 0);
    EXPECT_EQ(projGetK0(p.get()), 0.9996);
    EXPECT_STREQ(projDatumTypeName(p.get()), "UNKNOWN");
    double lam, phi;
    projInv(p.get(), x, y, &lam, &phi);
    EXPECT_NEAR(lam / kDeg, -121, 1e-9);
    EXPECT_NEAR(phi / kDeg, 37, 1e-9);
}

TEST(ProjInit, NoDefsLeavesTheDefinitionAsGiven)
{
    Proj p = init("+proj=utm +zone=10 +no_defs +ellps=GRS80");
    ASSERT_TRUE(p) << projErrorText();
    EXPECT_EQ(params(p.get()), (std::vector<std::string>{"proj=utm", "zone=10", "no_defs", "ellps=GRS80"}));
    /* proj -f %.6f +proj=utm +zone=10 +ellps=GRS80 <<< "-121 37" */
    double x, y;
    projFwd(p.get(), -121 * kDeg, 37 * kDeg, &x, &y);
    EXPECT_NEAR(y, 4096742.059233, 1e-6);
    /* Without an ellipsoid there is no earth, as in the classic library. */
    EXPECT_FALSE(init("proj=utm zone=10 no_defs"));
    EXPECT_STRNE(projErrorText(), "");
}

TEST(ProjInit, ProjectionDefaultsFillOnlyMissingKeys)
{
    /* PROJ alone refuses lcc and aea without standard parallels. */
    Proj lcc = init("proj=lcc lon_0=-96");
    ASSERT_TRUE(lcc) << projErrorText();
    EXPECT_EQ(params(lcc.get()),
              (std::vector<std::string>{"proj=lcc", "lon_0=-96", "ellps=WGS84", "lat_1=33", "lat_2=45"}));
    Proj aea = init("proj=aea lat_1=20");
    ASSERT_TRUE(aea) << projErrorText();
    EXPECT_EQ(params(aea.get()), (std::vector<std::string>{"proj=aea", "lat_1=20", "ellps=WGS84", "lat_2=45.5"}));
    Proj lagrng = init("proj=lagrng ellps=clrk66");
    ASSERT_TRUE(lagrng) << projErrorText();
    EXPECT_EQ(params(lagrng.get()), (std::vector<std::string>{"proj=lagrng", "ellps=clrk66", "W=2"}));
    for (const char *shape : {"a=6378137", "R=6370997", "rf=298.25", "f=0.003", "b=6356000", "es=0.0067", "e=0.08"}) {
        Proj p = init(std::string("proj=merc a=6378137 ") + shape);
        ASSERT_TRUE(p) << shape << ": " << projErrorText();
        EXPECT_FALSE(hasParam(p.get(), "ellps=WGS84", true)) << shape;
    }
    /* proj -f %.6f +proj=lcc +lat_1=33 +lat_2=45 +lon_0=-96 +ellps=WGS84 <<< "-100 40" */
    double x, y;
    projFwd(lcc.get(), -100 * kDeg, 40 * kDeg, &x, &y);
    EXPECT_NEAR(x, -339643.778478, 1e-5);
    EXPECT_NEAR(y, 4741532.178619, 1e-5);
    Proj none = init("proj=lcc no_defs ellps=WGS84");
    EXPECT_FALSE(none);
}

TEST(ProjInit, EllipsoidFieldsAgreeWithProjCrsObjects)
{
    PJ_CONTEXT *ctx = proj_context_create();
    const char *definitions[] = {
        "proj=merc ellps=clrk66",
        "proj=merc a=6378137 rf=298.257223563",
        "proj=merc R=6370997",
        "proj=merc a=6378137 b=6356752.314245",
        "proj=merc ellps=bessel a=6377000",
        "proj=merc a=6378000 no_defs",
        "proj=longlat datum=OSGB36",
    };
    for (const char *definition : definitions) {
        Proj p = init(definition);
        ASSERT_TRUE(p) << definition << ": " << projErrorText();
        std::string text;
        for (const std::string &w : params(p.get())) {
            if (w.rfind("datum=", 0) != 0 && w.rfind("towgs84=", 0) != 0) {
                text += "+" + w + " ";
            }
        }
        text += "+type=crs";
        PJ *crs = proj_create(ctx, text.c_str());
        ASSERT_NE(crs, nullptr) << text;
        PJ *ell = proj_get_ellipsoid(ctx, crs);
        ASSERT_NE(ell, nullptr) << text;
        double a = 0, b = 0, invf = 0;
        int computed = 0;
        proj_ellipsoid_get_parameters(ctx, ell, &a, &b, &computed, &invf);
        EXPECT_NEAR(projGetA(p.get()), a, 1e-6) << definition;
        EXPECT_NEAR(projGetE(p.get()), std::sqrt(1 - (b * b) / (a * a)), 1e-9) << definition;
        proj_destroy(ell);
        proj_destroy(crs);
    }
    proj_context_destroy(ctx);
}

TEST(ProjInit, AShapeGivenOverridesTheNamedEllipsoidsShape)
{
    /* PROJ's CRS objects keep the named shape here; its projections, like the classic library, take the
     * shape given: proj -f %.6f +proj=merc +ellps=intl +es=0.0065 <<< "10 50". */
    Proj p = init("proj=merc ellps=intl es=0.0065");
    ASSERT_TRUE(p) << projErrorText();
    EXPECT_EQ(projGetA(p.get()), 6378388.0);
    EXPECT_NEAR(projGetE(p.get()), std::sqrt(0.0065), 1e-15);
    double x, y;
    projFwd(p.get(), 10 * kDeg, 50 * kDeg, &x, &y);
    EXPECT_NEAR(x, 1113238.715697, 1e-6);
    EXPECT_NEAR(y, 6414729.212272, 1e-6);
    Proj f = init("proj=merc ellps=airy f=0.0033");
    EXPECT_NEAR(projGetE(f.get()), std::sqrt(0.0033 * (2 - 0.0033)), 1e-15);
}

TEST(ProjInit, SphereOfEqualAreaProjectsAsTheSphereOfThatRadius)
{
    Proj area = init("proj=merc ellps=WGS84 R_A");
    ASSERT_TRUE(area) << projErrorText();
    EXPECT_EQ(projGetE(area.get()), 0);
    EXPECT_LT(projGetA(area.get()), 6378137.0);
    Proj sphere = init("proj=merc R=" + std::to_string(projGetA(area.get())));
    double x1, y1, x2, y2;
    projFwd(area.get(), 10 * kDeg, 50 * kDeg, &x1, &y1);
    projFwd(sphere.get(), 10 * kDeg, 50 * kDeg, &x2, &y2);
    EXPECT_NEAR(x1, x2, 1e-3);
    EXPECT_NEAR(y1, y2, 1e-3);
}

TEST(ProjInit, UnitsAndFalseOriginAreReadFromTheDefinition)
{
    Proj feet = init("proj=utm zone=10 south units=us-ft");
    ASSERT_TRUE(feet) << projErrorText();
    EXPECT_NEAR(projGetToMeter(feet.get()), 1200.0 / 3937.0, 1e-15);
    EXPECT_NEAR(projGetFrMeter(feet.get()), 3937.0 / 1200.0, 1e-12);
    EXPECT_EQ(projGetY0(feet.get()), 10000000);
    /* proj -f %.6f +proj=utm +zone=10 +ellps=WGS84 +units=us-ft <<< "-121 37" (north) */
    Proj north = init("proj=utm zone=10 units=us-ft");
    double x, y;
    projFwd(north.get(), -121 * kDeg, 37 * kDeg, &x, &y);
    EXPECT_NEAR(x, 2224280.950959, 1e-5);
    EXPECT_NEAR(y, 13440727.906358, 1e-5);

    Proj tm = init("proj=tmerc lat_0=49 lon_0=-2 k=0.9996012717 x_0=400000 y_0=-100000 ellps=airy to_meter=0.3048");
    ASSERT_TRUE(tm) << projErrorText();
    EXPECT_NEAR(projGetLam0(tm.get()), -2 * kDeg, 1e-15);
    EXPECT_NEAR(projGetPhi0(tm.get()), 49 * kDeg, 1e-15);
    EXPECT_EQ(projGetK0(tm.get()), 0.9996012717);
    EXPECT_EQ(projGetX0(tm.get()), 400000);
    EXPECT_EQ(projGetY0(tm.get()), -100000);
    EXPECT_EQ(projGetToMeter(tm.get()), 0.3048);
    Proj dms = init("proj=lcc lat_1=41d40 lat_2=40 lat_0=39d20 lon_0=-122");
    ASSERT_TRUE(dms);
    EXPECT_NEAR(projGetPhi0(dms.get()), (39 + 20.0 / 60) * kDeg, 1e-15);
    Proj ups = init("proj=ups south");
    ASSERT_TRUE(ups);
    EXPECT_EQ(projGetK0(ups.get()), 0.994);
    EXPECT_NEAR(projGetPhi0(ups.get()), -M_PI / 2, 1e-15);
    /* Without a zone, UTM takes the zone of lon_0: for 0, zone 30, as proj
     * +proj=utm +ellps=WGS84 maps "-3 0" to x 500000. */
    Proj zoneless = init("proj=utm");
    ASSERT_TRUE(zoneless);
    EXPECT_NEAR(projGetLam0(zoneless.get()), -3 * kDeg, 1e-15);
}

TEST(ProjInit, DatumExpandsAfterTheDefaultsAndSetsTheDatumType)
{
    Proj nad27 = init("proj=utm zone=10 datum=NAD27");
    ASSERT_TRUE(nad27) << projErrorText();
    EXPECT_EQ(params(nad27.get()), (std::vector<std::string>{"proj=utm", "zone=10", "datum=NAD27", "ellps=clrk66",
                                                             "nadgrids=@conus,@alaska,@ntv2_0.gsb,@ntv1_can.dat"}));
    EXPECT_EQ(params(nad27.get(), true), params(nad27.get()));
    EXPECT_STREQ(projDatumTypeName(nad27.get()), "GRIDSHIFT");
    EXPECT_EQ(projGetA(nad27.get()), 6378206.4);
    double a = 6378206.4, b = 6356583.8;
    EXPECT_NEAR(projGetE(nad27.get()), std::sqrt(1 - b * b / (a * a)), 1e-15);

    Proj nad83 = init("proj=utm zone=10 datum=NAD83");
    EXPECT_STREQ(projDatumTypeName(nad83.get()), "WGS84");
    Proj ggrs = init("proj=latlong datum=GGRS87");
    EXPECT_STREQ(projDatumTypeName(ggrs.get()), "3PARAM");
    Proj zero = init("proj=latlong ellps=clrk66 towgs84=0,0,0");
    EXPECT_STREQ(projDatumTypeName(zero.get()), "3PARAM");
    Proj osgb = init("proj=latlong datum=OSGB36");
    EXPECT_STREQ(projDatumTypeName(osgb.get()), "7PARAM");
    int n = 0;
    const double *d = projDatumParams(osgb.get(), &n);
    EXPECT_EQ(n, 7);
    EXPECT_EQ(d[0], 446.448);
    EXPECT_NEAR(d[3], 0.1502 * kSec, 1e-18);
    EXPECT_NEAR(d[5], 0.8421 * kSec, 1e-18);
    EXPECT_NEAR(d[6], 1 - 20.4894e-6, 1e-15);
    /* A given ellipsoid wins over the datum's. */
    Proj mixed = init("proj=latlong ellps=intl datum=WGS84");
    EXPECT_EQ(projGetA(mixed.get()), 6378388.0);
    EXPECT_FALSE(hasParam(mixed.get(), "ellps=WGS84", true));
    EXPECT_TRUE(hasParam(mixed.get(), "ellps=WGS84", false));
}

TEST(ProjInit, Towgs84ClausesThatProjRefusesAreRefused)
{
    /* PROJ's cs2cs refuses each of these ("Non numerical value in towgs84
     * clause", "Invalid number of elements in TOWGS84Parameters"). */
    struct Case {
        const char *clause;
        const char *why;
    } refused[] = {
        {"1,2,x", "non numerical value"},
        {"x", "non numerical value"},
        {",1,2,3", "non numerical value"},
        {"1,2,3,", "non numerical value"},
        {"", "non numerical value"},
        {"1,2,nan", "non numerical value"},
        {"1,2,inf", "non numerical value"},
        {"1,2,0x10", "non numerical value"},
        {"1,2,3e", "non numerical value"},
        {"1,,3", "non numerical value"},
        {"1,2,1e400", "non numerical value"},
        {"1,2,3,4,5,6,7,x", "non numerical value"},
        {"1,2", "invalid number of elements"},
        {"1,2,3,4", "invalid number of elements"},
        {"1,2,3,4,5,6", "invalid number of elements"},
        {"1,2,3,4,5,6,7,8", "invalid number of elements"},
    };
    for (const Case &c : refused) {
        std::vector<const char *> argv = {"proj=latlong", "ellps=bessel"};
        std::string word = std::string("towgs84=") + c.clause;
        argv.push_back(word.c_str());
        Proj p(projInit(static_cast<int>(argv.size()), argv.data()));
        EXPECT_FALSE(p) << word;
        EXPECT_EQ(std::string(projErrorText()), std::string(c.why) + " in towgs84 clause: " + c.clause) << word;
        EXPECT_NE(projErrno(), 0) << word;
    }
    /* Blanks beside commas go, as PROJ reads the clause. */
    const char *gap[] = {"proj=latlong", "ellps=bessel", "towgs84=1, ,3"};
    EXPECT_EQ(projInit(3, gap), nullptr);
    EXPECT_STREQ(projErrorText(), "non numerical value in towgs84 clause: 1,,3");
    /* Numbers as PROJ reads them; three give 3PARAM, seven 7PARAM. */
    const char *blank[] = {"proj=latlong", "ellps=bessel", "towgs84=1 ,-2.5, +3e2 "};
    Proj three(projInit(3, blank));
    ASSERT_TRUE(three) << projErrorText();
    EXPECT_STREQ(projDatumTypeName(three.get()), "3PARAM");
    int n = 0;
    const double *d = projDatumParams(three.get(), &n);
    EXPECT_EQ(d[0], 1);
    EXPECT_EQ(d[1], -2.5);
    EXPECT_EQ(d[2], 300);
    Proj seven = init("proj=utm zone=32 ellps=bessel towgs84=.5,0,0,0,0,1,0");
    ASSERT_TRUE(seven) << projErrorText();
    EXPECT_STREQ(projDatumTypeName(seven.get()), "7PARAM");
    EXPECT_NEAR(projDatumParams(seven.get(), &n)[5], kSec, 1e-18);
    /* Only the clause in force is read: the first one, and none beside a
     * grid list, as PROJ does. */
    EXPECT_TRUE(init("proj=latlong ellps=bessel towgs84=1,2,3 towgs84=1,x")) << projErrorText();
    EXPECT_FALSE(init("proj=latlong ellps=bessel towgs84=1,x towgs84=1,2,3"));
    Proj grid = init("proj=latlong ellps=bessel nadgrids=@null towgs84=1,x");
    ASSERT_TRUE(grid) << projErrorText();
    EXPECT_STREQ(projDatumTypeName(grid.get()), "GRIDSHIFT");
}

TEST(ProjInit, InitEntriesComeAfterTheWordsGiven)
{
    Proj p = init("init=epsg:26910");
    ASSERT_TRUE(p) << projErrorText();
    EXPECT_EQ(params(p.get()), (std::vector<std::string>{"init=epsg:26910", "proj=utm", "zone=10", "datum=NAD83",
                                                         "units=m", "no_defs", "ellps=GRS80", "towgs84=0,0,0"}));
    EXPECT_STREQ(projDatumTypeName(p.get()), "WGS84");
    /* proj -f %.6f +proj=utm +zone=10 +ellps=GRS80 <<< "-121 37" */
    double x, y;
    projFwd(p.get(), -121 * kDeg, 37 * kDeg, &x, &y);
    EXPECT_NEAR(x, 677962.189778, 1e-6);
    EXPECT_NEAR(y, 4096742.059233, 1e-6);
    /* The first entry of a key wins, so a word given overrides the init file. */
    Proj eleven = init("init=epsg:26910 zone=11");
    ASSERT_TRUE(eleven);
    EXPECT_NEAR(projGetLam0(eleven.get()), -117 * kDeg, 1e-15);
    EXPECT_TRUE(hasParam(eleven.get(), "zone=10", false));
    Proj state = init("init=nad27:401");
    ASSERT_TRUE(state) << projErrorText();
    EXPECT_STREQ(projDatumTypeName(state.get()), "GRIDSHIFT");
    EXPECT_NEAR(projGetLam0(state.get()), -122 * kDeg, 1e-15);
}

TEST(ProjInit, RefusedDefinitionsGiveNullAndAReason)
{
    for (const char *definition :
         {"proj=nosuch", "zone=10 ellps=WGS84", "proj=utm datum=nosuch", "init=epsg:99999", "proj=utm zone=99",
          "proj=latlong pm=nowhere", "proj=merc ellps=nosuch", "init=epsg:26910\"x"}) {
        Proj p = init(definition);
        EXPECT_FALSE(p) << definition;
        EXPECT_STRNE(projErrorText(), "") << definition;
        EXPECT_NE(projErrno(), 0) << definition;
    }
    EXPECT_EQ(projInit(0, nullptr), nullptr);
    EXPECT_EQ(projInit(-3, nullptr), nullptr);
    const char *withNull[] = {"proj=utm", nullptr, "zone=10"};
    Proj p(projInit(3, withNull));
    ASSERT_TRUE(p);
    EXPECT_STREQ(projErrorText(), "");
}

TEST(ProjInit, MalformedWordsNeverCrash)
{
    const char *definitions[] = {
        "proj=utm zone=10 title=a\"b",
        "proj=utm +",
        "proj=utm =",
        "proj=utm zone=",
        "proj=utm ellps=",
        "proj=merc a=-1",
        "proj=merc R=0",
        "proj=merc a=1 b=0",
        "proj=merc a=1 rf=0",
        "proj=lcc lat_1=abc",
        "proj=utm units=nosuch",
        "proj=utm to_meter=0",
        "proj=utm to_meter=1/0",
        "proj=latlong towgs84=",
        "proj=latlong towgs84=a,b,c",
        "proj=latlong nadgrids=",
        "proj=latlong nadgrids=,,@,",
        "init=",
        "init=epsg:",
        "init=nosuchfile:1",
        "proj=latlong pm=",
        "proj=merc R_lat_a=100",
        "proj=latlong towgs84=1,2,3,4,5,6,7,8,9",
        "proj=",
        "+",
        "-r",
    };
    Proj wgs84 = init("proj=latlong datum=WGS84");
    for (const char *definition : definitions) {
        Proj p = init(definition);
        if (!p) {
            EXPECT_STRNE(projErrorText(), "") << definition;
            continue;
        }
        double x = 0, y = 0, z = 0;
        if (projTransform(p.get(), wgs84.get(), 0.1, 0.2, 0, &x, &y, &z) != 0) {
            EXPECT_STRNE(projErrorText(), "") << definition;
        }
        projFwd(p.get(), 0.1, 0.2, &x, &y);
        projInv(p.get(), 1000, 1000, &x, &y);
    }
}

TEST(ProjInit, EntriesKeepTheWordsAsGivenWithTheirUsedFlags)
{
    Proj p = init("+proj=utm -r +zone=10 foo=bar zone=11 title=x");
    ASSERT_TRUE(p) << projErrorText();
    EXPECT_EQ(params(p.get()),
              (std::vector<std::string>{"proj=utm", "-r", "zone=10", "foo=bar", "zone=11", "title=x", "ellps=WGS84"}));
    EXPECT_EQ(params(p.get(), true), (std::vector<std::string>{"proj=utm", "zone=10", "ellps=WGS84"}));
    EXPECT_EQ(projParamNext(nullptr), nullptr);
    EXPECT_EQ(projParamText(nullptr), nullptr);
    EXPECT_EQ(projParamFirst(nullptr), nullptr);
}

/* Definition text is read as PROJ reads it: the entries of one word of
 * text are the pieces PROJ itself keeps from the same text (PROJ is the
 * peer: its own definition of the operation it made). */
TEST(ProjInit, DefinitionTextIsReadAsProjReadsIt)
{
    PJ_CONTEXT *ctx = proj_context_create();
    const char *texts[] = {
        "proj=utm;zone=11 ellps=intl",
        "proj=utm zone=12\tellps=intl",
        "proj=utm\nzone=13\r\nellps=intl",
        "proj=utm zone=14 + ellps=\"intl\"",
        "+proj=utm ++zone=15 +;ellps=intl",
        "proj=utm zone = 16 ellps= intl",
        "proj=utm zone=17 ellps=intl towgs84=1, 2 ,3",
        "proj=utm zone=18 ellps=intl # zone=19",
        "proj=utm zone=\"20\";;ellps=intl;",
        "proj=merc ellps=intl lat_ts=1e+01",
    };
    for (const char *text : texts) {
        PJ *peer = proj_create(ctx, text);
        ASSERT_NE(peer, nullptr) << text;
        std::vector<std::string> expected = words(proj_pj_info(peer).definition);
        proj_destroy(peer);
        Proj p(projInit(1, &text));
        ASSERT_TRUE(p) << text << ": " << projErrorText();
        EXPECT_EQ(params(p.get()), expected) << text;
    }
    proj_context_destroy(ctx);
    /* The words of a list are joined first, as PROJ joins them. */
    const char *split[] = {"proj=utm", "zone=", "21", "ellps", "=intl"};
    Proj joined(projInit(5, split));
    ASSERT_TRUE(joined) << projErrorText();
    EXPECT_EQ(params(joined.get()), (std::vector<std::string>{"proj=utm", "zone=21", "ellps=intl"}));
}

/* A value PROJ's readers may take in different ways (a quote, a ";" or a
 * control character left in it) never reaches PROJ; one with a blank
 * reaches it quoted, as PROJ reads it, and PROJ knows no such ellipsoid;
 * a grid list given alone is one word or no list. */
TEST(ProjInit, ValuesThatPROJCouldReadOtherwiseAreRefused)
{
    for (const char *text :
         {"proj=utm zone=10 ellps=\"in tl\"", "proj=utm zone=10 ellps=\"in;tl\"", "proj=utm zone=10 ellps=in\"tl\"",
          "proj=utm zone=10 ellps=\"intl", "proj=utm zone=1\x01"}) {
        Proj p(projInit(1, &text));
        EXPECT_FALSE(p) << text;
        EXPECT_NE(projErrno(), 0) << text;
    }
    for (const char *list : {"a;b", "a\tb", "a\nb", "\"a\"", "a #b", "a,\"b\"", "a, b"}) {
        EXPECT_EQ(nadTableOpen(list), nullptr) << list;
        EXPECT_EQ(std::string(projErrorText()), std::string("invalid grid list: ") + list);
    }
}

/* A value in double quotes holds blanks, a doubled quote stands for one,
 * and blanks beside "=" and "," go inside quotes too: the title PROJ
 * reads from the same text (its description) is the entry's value, the
 * words after it are read, and the projection is the one without it. */
TEST(ProjInit, QuotedValuesHoldBlanksAsProjReadsThem)
{
    Proj plain = init("proj=utm zone=25 south ellps=GRS80");
    ASSERT_TRUE(plain) << projErrorText();
    double px, py;
    projFwd(plain.get(), -35 * kDeg, -10 * kDeg, &px, &py);
    PJ_CONTEXT *ctx = proj_context_create();
    for (const char *title :
         {"\"My map\"", "\"My \"\"q\"\" map\"", "\"a = b , c\"", "\"  two  blanks  \"", "\"\"\"a b\"\"\""}) {
        std::string text = std::string("proj=utm zone=25 south title=") + title + " ellps=GRS80";
        PJ *peer = proj_create(ctx, text.c_str());
        ASSERT_NE(peer, nullptr) << text;
        std::string expected = std::string("title=") + proj_pj_info(peer).description;
        proj_destroy(peer);
        const char *one = text.c_str();
        /* as one word, and as the words a list of it splits into (which
         * lose a double blank) */
        std::vector<Proj> made;
        made.push_back(Proj(projInit(1, &one)));
        if (std::strstr(title, "  ") == nullptr) {
            made.push_back(init(text));
        }
        for (const Proj &p : made) {
            ASSERT_TRUE(p) << text << ": " << projErrorText();
            EXPECT_EQ(params(p.get()),
                      (std::vector<std::string>{"proj=utm", "zone=25", "south", expected, "ellps=GRS80"}))
                << text;
            double x, y;
            projFwd(p.get(), -35 * kDeg, -10 * kDeg, &x, &y);
            EXPECT_EQ(x, px) << text;
            EXPECT_EQ(y, py) << text;
        }
    }
    proj_context_destroy(ctx);
    /* An init file and its entry named in quotes. */
    std::string folder = makeFolder();
    std::string defs = folder + "/my defs";
    std::FILE *f = std::fopen(defs.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("<25s> proj=utm zone=25 south ellps=GRS80 <>\n", f);
    std::fclose(f);
    std::string text = "init=\"" + defs + ":25s\"";
    const char *one = text.c_str();
    Proj fromInit(projInit(1, &one));
    ASSERT_TRUE(fromInit) << projErrorText();
    double x, y;
    projFwd(fromInit.get(), -35 * kDeg, -10 * kDeg, &x, &y);
    EXPECT_NEAR(x, px, 1e-6);
    EXPECT_NEAR(y, py, 1e-6);
    EXPECT_TRUE(hasParam(fromInit.get(), "init=" + defs + ":25s", true));
    std::filesystem::remove_all(folder);
}

/* A quote that PROJ's programs do not read as a value's (one left open,
 * one inside a value or a key, a quoted value with more after it) is
 * refused with the piece that holds it; so it is for an ellipsoid. */
TEST(ProjInit, QuotesThatOpenNoWholeValueAreRefusedWithTheirPiece)
{
    const char *cases[][2] = {
        {"proj=utm zone=25 title=\"My map", "unterminated quote: title=\"My map"},
        {"proj=utm title=\"My map zone=25 ", "unterminated quote: title=\"My map zone=25"},
        {"proj=utm zone=25 title=\"My map\"\"", "unterminated quote: title=\"My map\"\""},
        {"proj=utm zone=25 title=a\"b c\"", "misplaced quote: title=a\"b c\""},
        {"proj=utm zone=25 title=\"a\"b ellps=intl", "misplaced quote: title=\"a\"b"},
        {"proj=utm zone=25 \"title=a b\"", "misplaced quote: \"title=a b\""},
    };
    for (const auto &c : cases) {
        Proj p(projInit(1, &c[0]));
        EXPECT_FALSE(p) << c[0];
        EXPECT_EQ(std::string(projErrorText()), c[1]) << c[0];
        EXPECT_NE(projErrno(), 0) << c[0];
    }
    double a = 0, es = 0;
    const char *ellipsoid[] = {"ellps=intl", "title=\"x"};
    EXPECT_NE(projEllSet(2, ellipsoid, &a, &es), 0);
    EXPECT_EQ(std::string(projErrorText()), "ellipse setup failure: unterminated quote: title=\"x");
    /* values PROJ would write out bare and read back otherwise */
    for (const char *text : {"proj=utm zone=25 title=\"a;b c\"", "proj=utm zone=25 title=\"a\tb c\"",
                             "proj=utm zone=25 title=\"a\"\"b\""}) {
        Proj p(projInit(1, &text));
        EXPECT_FALSE(p) << text;
        EXPECT_EQ(std::string(projErrorText()).rfind("invalid definition: ", 0), 0u) << text << ": " << projErrorText();
    }
}

namespace {

volatile sig_atomic_t interrupted = 0;

void interrupt(int)
{
    interrupted = 1;
    alarm(1);
}

}  // namespace

/* Every file key with its value in quotes, a blank in the name, is held to
 * regular files: a FIFO is refused at once, as a missing file is (a
 * call that waits on the FIFO is interrupted after 5 seconds, which
 * fails the test). */
TEST(ProjInit, QuotedFileValuesWithBlanksAreStillHeldToRegularFiles)
{
    std::string folder = makeFolder();
    std::string fifo = folder + "/my pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::string entries = folder + "/my entries";
    std::FILE *f = std::fopen(entries.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fprintf(f, "<1> proj=tinshift file=\"%s\" <>\n", fifo.c_str());
    std::fclose(f);
    const std::string forms[] = {
        "proj=tinshift file=\"NAME\"",
        "proj=hgridshift grids=\"NAME\"",
        "proj=hgridshift grids=\"@x,@NAME\"",
        "proj=vgridshift grids=\"NAME\"",
        "proj=xyzgridshift grids=\"NAME\"",
        "proj=deformation xy_grids=\"NAME\" z_grids=x t_epoch=2000",
        "proj=deformation xy_grids=x z_grids=\"NAME\" t_epoch=2000",
        "proj=defmodel model=\"NAME\"",
        "proj=utm zone=10 init=\"NAME:1\"",
        "proj=utm zone=10 init=\"" + entries + ":1\"",
        "proj=tinshift file = \"NAME\"",
    };
    struct sigaction action = {}, kept = {};
    action.sa_handler = interrupt;
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(sigaction(SIGALRM, &action, &kept), 0);
    interrupted = 0;
    alarm(5);
    for (const std::string &form : forms) {
        for (const std::string &name : {folder + "/my none", fifo}) {
            std::string text = form;
            if (std::size_t at = text.find("NAME"); at != std::string::npos) {
                text.replace(at, 4, name);
            }
            const char *one = text.c_str();
            Proj p(projInit(1, &one));
            /* PROJ leaves out a missing optional grid */
            if (name == fifo || form.find('@') == std::string::npos) {
                EXPECT_FALSE(p) << text;
            }
            EXPECT_EQ(interrupted, 0) << text;
        }
    }
    /* and a grid list of a datum, when the grid opens */
    Proj wgs84 = init("proj=latlong datum=WGS84");
    std::string text = "proj=latlong ellps=bessel nadgrids=\"" + fifo + "\"";
    const char *one = text.c_str();
    Proj src(projInit(1, &one));
    ASSERT_TRUE(src) << projErrorText();
    double x = 0, y = 0, z = 0;
    EXPECT_NE(projTransform(src.get(), wgs84.get(), 0.1, 0.2, 0, &x, &y, &z), 0);
    alarm(0);
    EXPECT_EQ(interrupted, 0);
    sigaction(SIGALRM, &kept, nullptr);
    std::filesystem::remove_all(folder);
}

/* ---- projecting ---- */

TEST(ProjProject, PointsOutsideTheDomainGiveHugeValues)
{
    Proj p = init("proj=utm zone=10");
    double x = 1, y = 1;
    projFwd(p.get(), 0, 95 * kDeg, &x, &y);
    EXPECT_EQ(x, HUGE_VAL);
    EXPECT_EQ(y, HUGE_VAL);
    EXPECT_STRNE(projErrorText(), "");
    projFwd(p.get(), -121 * kDeg, 37 * kDeg, &x, &y);
    EXPECT_STREQ(projErrorText(), "");
    projFwd(nullptr, 0, 0, &x, &y);
    EXPECT_EQ(x, HUGE_VAL);
}

TEST(ProjProject, ProjectionsWithoutInverseSaySo)
{
    Proj boggs = init("proj=boggs");
    ASSERT_TRUE(boggs) << projErrorText();
    EXPECT_EQ(projHasInverse(boggs.get()), 0);
    double lam = 0, phi = 0;
    projInv(boggs.get(), 1000, 1000, &lam, &phi);
    EXPECT_EQ(lam, HUGE_VAL);
    EXPECT_EQ(phi, HUGE_VAL);
    EXPECT_NE(projErrno(), 0);
    EXPECT_EQ(projHasInverse(init("proj=merc").get()), 1);
    EXPECT_EQ(projHasInverse(nullptr), 0);
}

TEST(ProjProject, LatLongAliasesAreLatLong)
{
    for (const char *name : {"latlong", "longlat", "latlon", "lonlat"}) {
        Proj p = init(std::string("proj=") + name);
        ASSERT_TRUE(p) << name;
        EXPECT_EQ(projIsLatLong(p.get()), 1) << name;
    }
    EXPECT_EQ(projIsLatLong(init("proj=utm zone=1").get()), 0);
    EXPECT_EQ(projIsLatLong(init("proj=geocent").get()), 0);
    EXPECT_EQ(projIsLatLong(nullptr), 0);
}

/* ---- datum transformation ---- */

TEST(ProjTransform, ThreeParameterShiftAsCs2csWithTheHeightAsCct)
{
    Proj src = init("proj=latlong ellps=clrk66 towgs84=-8,160,176");
    Proj dst = init("proj=latlong datum=WGS84");
    double x, y, z;
    ASSERT_EQ(projTransform(src.get(), dst.get(), -121 * kDeg, 37 * kDeg, 0, &x, &y, &z), 0) << projErrorText();
    /* cs2cs -f %.10f ... +to +proj=latlong +datum=WGS84 <<< "-121 37 0"; the height from a cct pipeline
     * cart clrk66 | helmert x=-8 y=160 z=176 | inv cart WGS84. */
    EXPECT_NEAR(x / kDeg, -121.0010028301, 1e-9);
    EXPECT_NEAR(y / kDeg, 36.9999291078, 1e-9);
    EXPECT_NEAR(z, -16.9021389922, 1e-6);
    /* Back again. */
    double bx, by, bz;
    ASSERT_EQ(projTransform(dst.get(), src.get(), x, y, z, &bx, &by, &bz), 0);
    EXPECT_NEAR(bx / kDeg, -121, 1e-11);
    EXPECT_NEAR(by / kDeg, 37, 1e-11);
    EXPECT_NEAR(bz, 0, 1e-5);
}

TEST(ProjTransform, SevenParameterShiftAsCct)
{
    Proj src = init("proj=latlong datum=OSGB36");
    Proj dst = init("proj=latlong datum=WGS84");
    double x, y, z;
    ASSERT_EQ(projTransform(src.get(), dst.get(), -1.5 * kDeg, 52.5 * kDeg, 100, &x, &y, &z), 0);
    /* cct: cart airy | helmert (position vector) | inv cart WGS84 <<< "-1.5 52.5 100" */
    EXPECT_NEAR(x / kDeg, -1.5014880030, 1e-9);
    EXPECT_NEAR(y / kDeg, 52.5003738020, 1e-9);
    EXPECT_NEAR(z, 148.8574476894, 1e-6);
}

TEST(ProjTransform, ProjectedSystemsOnBothSidesAsCs2cs)
{
    Proj src = init("proj=tmerc lat_0=49 lon_0=-2 k=0.9996012717 x_0=400000 y_0=-100000 datum=OSGB36");
    Proj dst = init("proj=utm zone=30 datum=WGS84");
    double x, y;
    ASSERT_EQ(projTransform(src.get(), dst.get(), 400000, 300000, 0, &x, &y, nullptr), 0) << projErrorText();
    /* cct: inv tmerc | cart airy | helmert (position vector) | inv cart WGS84 | utm zone=30 with the
     * height carried through, as the classic transformation does (cs2cs of PROJ 9 keeps 2-D systems flat
     * and lands 3 mm away). */
    EXPECT_NEAR(x, 567634.3845617090, 1e-6);
    EXPECT_NEAR(y, 5827997.9911916098, 1e-6);
}

TEST(ProjTransform, UnknownOrEqualDatumsAreNotShifted)
{
    Proj clarke = init("proj=latlong ellps=clrk66");
    Proj wgs84 = init("proj=latlong datum=WGS84");
    double x, y, z;
    ASSERT_EQ(projTransform(clarke.get(), wgs84.get(), 0.5, 0.7, 10, &x, &y, &z), 0);
    EXPECT_EQ(x, 0.5);
    EXPECT_EQ(y, 0.7);
    EXPECT_EQ(z, 10);
    /* Grids are not even opened for the same list on both sides. */
    Proj a = init("proj=latlong ellps=clrk66 nadgrids=missing-a.gsb");
    Proj b = init("proj=utm zone=10 ellps=clrk66 nadgrids=missing-a.gsb");
    EXPECT_EQ(projTransform(a.get(), b.get(), -121 * kDeg, 37 * kDeg, 0, &x, &y, nullptr), 0) << projErrorText();
    /* NAD83 on GRS80 and WGS84 are the same datum (es within 5e-11). */
    Proj nad83 = init("proj=latlong datum=NAD83");
    ASSERT_EQ(projTransform(nad83.get(), wgs84.get(), 0.5, 0.7, 0, &x, &y, &z), 0);
    EXPECT_EQ(x, 0.5);
    EXPECT_EQ(y, 0.7);
}

TEST(ProjTransform, GeocentricSystemsTakeMetres)
{
    Proj geo = init("proj=latlong datum=WGS84");
    Proj xyz = init("proj=geocent datum=WGS84");
    ASSERT_TRUE(xyz) << projErrorText();
    double lam = -121 * kDeg, phi = 37 * kDeg, h = 0;
    double X, Y, Z;
    ASSERT_EQ(projTransform(geo.get(), xyz.get(), lam, phi, h, &X, &Y, &Z), 0);
    double a = 6378137, f = 1 / 298.257223563, es = f * (2 - f);
    double n = a / std::sqrt(1 - es * std::sin(phi) * std::sin(phi));
    EXPECT_NEAR(X, n * std::cos(phi) * std::cos(lam), 1e-6);
    EXPECT_NEAR(Y, n * std::cos(phi) * std::sin(lam), 1e-6);
    EXPECT_NEAR(Z, n * (1 - es) * std::sin(phi), 1e-6);
    double bl, bp, bh;
    ASSERT_EQ(projTransform(xyz.get(), geo.get(), X, Y, Z, &bl, &bp, &bh), 0);
    EXPECT_NEAR(bl, lam, 1e-12);
    EXPECT_NEAR(bp, phi, 1e-12);
}

TEST(ProjTransform, PrimeMeridiansMoveLongitudesAsCs2cs)
{
    Proj paris = init("proj=latlong datum=WGS84 pm=paris");
    Proj greenwich = init("proj=latlong datum=WGS84");
    double x, y;
    ASSERT_EQ(projTransform(paris.get(), greenwich.get(), 2 * kDeg, 49 * kDeg, 0, &x, &y, nullptr), 0);
    /* cs2cs -f %.10f +proj=latlong +datum=WGS84 +pm=paris +to ... <<< "2 49 0" */
    EXPECT_NEAR(x / kDeg, 4.3372291667, 1e-10);
    EXPECT_NEAR(y / kDeg, 49, 1e-12);
    /* The projection itself ignores the prime meridian, as the classic pj_fwd. */
    Proj utm = init("proj=utm zone=31 pm=paris");
    Proj plain = init("proj=utm zone=31");
    double x1, y1, x2, y2;
    projFwd(utm.get(), 2 * kDeg, 49 * kDeg, &x1, &y1);
    projFwd(plain.get(), 2 * kDeg, 49 * kDeg, &x2, &y2);
    EXPECT_EQ(x1, x2);
    EXPECT_EQ(y1, y2);
}

TEST(ProjTransform, FailuresLeaveTheOutputsAlone)
{
    Proj src = init("proj=latlong ellps=clrk66 towgs84=1,2,3");
    Proj dst = init("proj=utm zone=10 datum=WGS84");
    double x = 7, y = 8, z = 9;
    EXPECT_NE(projTransform(src.get(), dst.get(), HUGE_VAL, 0, 0, &x, &y, &z), 0);
    EXPECT_NE(projTransform(src.get(), dst.get(), 0, 100 * kDeg, 0, &x, &y, &z), 0);
    EXPECT_NE(projTransform(src.get(), dst.get(), NAN, 0, 0, &x, &y, &z), 0);
    EXPECT_NE(projTransform(nullptr, dst.get(), 0, 0, 0, &x, &y, &z), 0);
    Proj boggs = init("proj=boggs datum=WGS84");
    EXPECT_NE(projTransform(boggs.get(), dst.get(), 0, 0, 0, &x, &y, &z), 0);
    EXPECT_EQ(x, 7);
    EXPECT_EQ(y, 8);
    EXPECT_EQ(z, 9);
    EXPECT_STRNE(projErrorText(), "");
}

/* ---- grid shifts ---- */

class ProjGrids : public StderrCapture {
protected:
    std::string folder = makeFolder();

    std::string grid(const std::string &name, const ShiftGrid &g)
    {
        std::string path = folder + "/" + name;
        std::string error;
        EXPECT_TRUE(writeCtable2(path, g, &error)) << error;
        return path;
    }

    void TearDown() override
    {
        testEval(interp, "array unset env PROJ_DATA; array unset env PROJ_LIB");
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
        StderrCapture::TearDown();
    }
};

TEST_F(ProjGrids, ConstantGridShiftsForwardToTheTargetDatumAndBack)
{
    /* 2" east and 3" north everywhere in 10..12 E, 50..52 N. */
    std::string path = grid("const.ct2", constantShiftGrid(10, 50, 0.5, 0.5, 5, 5, 2, 3));
    Proj src = init("proj=latlong ellps=bessel nadgrids=" + path);
    Proj dst = init("proj=latlong datum=WGS84");
    double x, y, z;
    ASSERT_EQ(projTransform(src.get(), dst.get(), 11 * kDeg, 51 * kDeg, 5, &x, &y, &z), 0) << projErrorText();
    EXPECT_NEAR(x, 11 * kDeg + 2 * kSec, 1e-12);
    EXPECT_NEAR(y, 51 * kDeg + 3 * kSec, 1e-12);
    EXPECT_EQ(z, 5);
    ASSERT_EQ(projTransform(dst.get(), src.get(), x, y, 5, &x, &y, &z), 0);
    EXPECT_NEAR(x, 11 * kDeg, 1e-12);
    EXPECT_NEAR(y, 51 * kDeg, 1e-12);
    /* Outside the grid. */
    EXPECT_NE(projTransform(src.get(), dst.get(), 20 * kDeg, 51 * kDeg, 0, &x, &y, &z), 0);
}

/* A grid whose name holds a blank, named in quotes, shifts as the same
 * grid under a plain name; the latitude/longitude system of its
 * projection keeps the name whole. */
TEST_F(ProjGrids, AQuotedGridNameWithABlankShiftsAsAPlainOne)
{
    std::string path = grid("my const.ct2", constantShiftGrid(10, 50, 0.5, 0.5, 5, 5, 2, 3));
    std::string text = "proj=utm zone=32 ellps=bessel nadgrids=\"" + path + "\"";
    const char *one = text.c_str();
    Proj src(projInit(1, &one));
    ASSERT_TRUE(src) << projErrorText();
    EXPECT_TRUE(hasParam(src.get(), "nadgrids=" + path, true));
    Proj geographic(projLatLongFrom(src.get()));
    ASSERT_TRUE(geographic) << projErrorText();
    EXPECT_TRUE(hasParam(geographic.get(), "nadgrids=" + path, true));
    Proj dst = init("proj=latlong datum=WGS84");
    double x, y, z;
    ASSERT_EQ(projTransform(geographic.get(), dst.get(), 11 * kDeg, 51 * kDeg, 0, &x, &y, &z), 0) << projErrorText();
    EXPECT_NEAR(x, 11 * kDeg + 2 * kSec, 1e-12);
    EXPECT_NEAR(y, 51 * kDeg + 3 * kSec, 1e-12);
}

TEST_F(ProjGrids, NodesAreInterpolatedBilinearly)
{
    /* The shift grows by 1" per column eastwards and 2" per row northwards. */
    ShiftGrid g = constantShiftGrid(0, 0, 1, 1, 4, 4, 0, 0);
    for (int row = 0; row < 4; row++) {
        for (int col = 0; col < 4; col++) {
            g.lonShift[static_cast<std::size_t>(row * 4 + col)] = col;
            g.latShift[static_cast<std::size_t>(row * 4 + col)] = 2 * row;
        }
    }
    NadTable *t = nadTableOpen(grid("ramp.ct2", g).c_str());
    ASSERT_NE(t, nullptr) << projErrorText();
    double lam, phi;
    nadShiftFwd(t, 1.25 * kDeg, 2.5 * kDeg, &lam, &phi);
    EXPECT_NEAR(lam, 1.25 * kDeg + 1.25 * kSec, 1e-12);
    EXPECT_NEAR(phi, 2.5 * kDeg + 5 * kSec, 1e-12);
    double back, backPhi;
    nadShiftInv(t, lam, phi, &back, &backPhi);
    EXPECT_NEAR(back, 1.25 * kDeg, 1e-11);
    EXPECT_NEAR(backPhi, 2.5 * kDeg, 1e-11);
    nadShiftFwd(t, 10 * kDeg, 2 * kDeg, &lam, &phi);
    EXPECT_EQ(lam, HUGE_VAL);
    EXPECT_EQ(phi, HUGE_VAL);
    nadTableFree(t);
    nadTableFree(nullptr);
    EXPECT_EQ(nadTableOpen((folder + "/none.ct2").c_str()), nullptr);
    EXPECT_STRNE(projErrorText(), "");
    EXPECT_EQ(nadTableOpen(nullptr), nullptr);
}

TEST_F(ProjGrids, GridsThatCannotBeLoadedAreErrors)
{
    std::string path = grid("here.ct2", constantShiftGrid(10, 50, 1, 1, 3, 3, 2, 3));
    Proj dst = init("proj=latlong datum=WGS84");
    double x = 1, y = 2, z = 3;
    Proj required = init("proj=latlong ellps=bessel nadgrids=" + folder + "/absent.ct2");
    ASSERT_TRUE(required) << projErrorText();
    EXPECT_NE(projTransform(required.get(), dst.get(), 11 * kDeg, 51 * kDeg, 0, &x, &y, &z), 0);
    EXPECT_NE(std::string(projErrorText()).find("absent.ct2"), std::string::npos) << projErrorText();
    Proj optional = init("proj=latlong ellps=bessel nadgrids=@absent1.ct2,@absent2.ct2");
    EXPECT_NE(projTransform(optional.get(), dst.get(), 11 * kDeg, 51 * kDeg, 0, &x, &y, &z), 0);
    Proj nad27 = init("proj=latlong datum=NAD27");
    if (nad27 && projTransform(nad27.get(), dst.get(), -100 * kDeg, 40 * kDeg, 0, &x, &y, &z) == 0) {
        GTEST_SKIP() << "this machine has NAD27 grids";
    }
    EXPECT_EQ(x, 1);
    EXPECT_EQ(y, 2);
    EXPECT_EQ(z, 3);
    /* One optional grid found is enough; @null shifts by nothing anywhere. */
    Proj some = init("proj=latlong ellps=bessel nadgrids=@absent1.ct2," + path);
    EXPECT_EQ(projTransform(some.get(), dst.get(), 11 * kDeg, 51 * kDeg, 0, &x, &y, &z), 0) << projErrorText();
    EXPECT_NEAR(x, 11 * kDeg + 2 * kSec, 1e-12);
    Proj null = init("proj=latlong ellps=bessel nadgrids=@absent1.ct2,@null");
    ASSERT_EQ(projTransform(null.get(), dst.get(), -100 * kDeg, -40 * kDeg, 0, &x, &y, &z), 0) << projErrorText();
    EXPECT_NEAR(x, -100 * kDeg, 1e-14);
    EXPECT_NEAR(y, -40 * kDeg, 1e-14);
    /* A word with a blank is two pieces to PROJ: "b" alone is a semi-minor
     * axis without a value, which PROJ refuses; a grid list with a blank
     * is no list. */
    std::vector<std::string> odd = {"proj=latlong", "ellps=bessel", "nadgrids=a b"};
    const char *argv[] = {odd[0].c_str(), odd[1].c_str(), odd[2].c_str()};
    EXPECT_EQ(projInit(3, argv), nullptr);
    EXPECT_EQ(nadTableOpen("a b"), nullptr);
    EXPECT_EQ(std::string(projErrorText()), "invalid grid list: a b");
}

TEST_F(ProjGrids, GridsAreFoundThroughProjDataAndProjLib)
{
    grid("found.ct2", constantShiftGrid(10, 50, 1, 1, 3, 3, 2, 3));
    std::FILE *db = std::fopen((folder + "/proj.db").c_str(), "w");
    ASSERT_NE(db, nullptr);
    std::fputs("not a database", db);
    std::fclose(db);
    Proj dst = init("proj=latlong datum=WGS84");
    double x, y;
    {
        Proj src = init("proj=latlong ellps=bessel nadgrids=found.ct2");
        EXPECT_NE(projTransform(src.get(), dst.get(), 11 * kDeg, 51 * kDeg, 0, &x, &y, nullptr), 0);
    }
    for (const char *variable : {"PROJ_DATA", "PROJ_LIB"}) {
        testEval(interp, std::string("set env(") + variable + ") {/nonexistent:" + folder + "}");
        Proj src = init("proj=latlong ellps=bessel nadgrids=found.ct2");
        ASSERT_EQ(projTransform(src.get(), dst.get(), 11 * kDeg, 51 * kDeg, 0, &x, &y, nullptr), 0)
            << variable << ": " << projErrorText();
        EXPECT_NEAR(y, 51 * kDeg + 3 * kSec, 1e-12);
        /* PROJ's own folder stays searched and its proj.db in use: init files and EPSG codes still work. */
        EXPECT_TRUE(init("init=epsg:26910")) << variable;
        EXPECT_TRUE(init("init=nad27:401")) << variable;
        testEval(interp, std::string("unset env(") + variable + ")");
    }
}

TEST_F(ProjGrids, DebianNtv2GridsShiftAsCs2cs)
{
    Proj ntf = init("proj=latlong ellps=clrk80ign nadgrids=ntf_r93.gsb");
    Proj wgs84 = init("proj=latlong datum=WGS84");
    double x, y;
    int rc = projTransform(ntf.get(), wgs84.get(), 2.5 * kDeg, 48.5 * kDeg, 0, &x, &y, nullptr);
    if (rc != 0) {
        ASSERT_FALSE(peersRequired()) << "missing peer: ntf_r93.gsb of proj-data: " << projErrorText();
        GTEST_SKIP() << "no ntf_r93.gsb: " << projErrorText();
    }
    /* cs2cs -f %.10f +proj=latlong +ellps=clrk80ign +nadgrids=ntf_r93.gsb +to +proj=latlong +datum=WGS84 */
    EXPECT_NEAR(x / kDeg, 2.4993035180, 1e-9);
    EXPECT_NEAR(y / kDeg, 48.4999345383, 1e-9);
    ASSERT_EQ(projTransform(wgs84.get(), ntf.get(), 2.5 * kDeg, 48.5 * kDeg, 0, &x, &y, nullptr), 0);
    EXPECT_NEAR(x / kDeg, 2.5006964578, 1e-9);
    EXPECT_NEAR(y / kDeg, 48.5000654648, 1e-9);
    /* datum=potsdam names @BETA2007.gsb, which Debian ships. */
    Proj potsdam = init("proj=latlong datum=potsdam");
    ASSERT_EQ(projTransform(potsdam.get(), wgs84.get(), 10 * kDeg, 50 * kDeg, 0, &x, &y, nullptr), 0);
    EXPECT_NEAR(x / kDeg, 9.9988114556, 1e-9);
    EXPECT_NEAR(y / kDeg, 49.9988573028, 1e-9);
}

namespace {
std::string finderFolder;
int finderCalls = 0;
const char *testFinder(const char *name)
{
    static std::string path;
    finderCalls++;
    if (std::string(name) != "viafinder.ct2") {
        return nullptr;
    }
    path = finderFolder + "/found-by-finder.ct2";
    return path.c_str();
}
}  // namespace

TEST_F(ProjGrids, AFinderNamesFilesBeforeTheSearchPaths)
{
    grid("found-by-finder.ct2", constantShiftGrid(10, 50, 1, 1, 3, 3, 2, 3));
    finderFolder = folder;
    finderCalls = 0;
    pj_set_finder(testFinder);
    Proj src = init("proj=latlong ellps=bessel nadgrids=viafinder.ct2");
    Proj dst = init("proj=latlong datum=WGS84");
    double x, y;
    int rc = projTransform(src.get(), dst.get(), 11 * kDeg, 51 * kDeg, 0, &x, &y, nullptr);
    pj_set_finder(nullptr);
    EXPECT_EQ(rc, 0) << projErrorText();
    EXPECT_GT(finderCalls, 0);
    Proj again = init("proj=latlong ellps=bessel nadgrids=viafinder.ct2");
    EXPECT_NE(projTransform(again.get(), dst.get(), 11 * kDeg, 51 * kDeg, 0, &x, &y, nullptr), 0);
    /* Proj.db is still found while a finder answers NULL for it. */
    pj_set_finder(testFinder);
    EXPECT_TRUE(init("init=epsg:26910"));
    pj_set_finder(nullptr);
}

/* ---- logging ---- */

TEST_F(ProjGrids, ProjDebugRoutesProjsLogToTheConsole)
{
    EXPECT_FALSE(init("proj=nosuch"));
    EXPECT_EQ(errors(), "");
    testEval(interp, "set env(PROJ_DEBUG) 1");
    EXPECT_FALSE(init("proj=nosuch"));
    testEval(interp, "unset env(PROJ_DEBUG)");
    EXPECT_NE(errors().find("Unknown projection"), std::string::npos) << errors();
    testEval(interp, "set ::err {}");
    EXPECT_FALSE(init("proj=nosuch"));
    EXPECT_EQ(errors(), "");
}

/* ---- lists ---- */

TEST(ProjLists, WalksVisitTheTerminatorOnceAndLookupsAreExact)
{
    int n = projListCount();
    ASSERT_GT(n, 100);
    int visited = 0;
    for (const ProjListEntry *e = projListFirst(); e != nullptr; e = projListNext(e)) {
        visited++;
    }
    EXPECT_EQ(visited, n + 1);
    EXPECT_EQ(projListId(projListEntry(n)), nullptr);
    EXPECT_EQ(projListDescr(projListEntry(n)), nullptr);
    EXPECT_EQ(projListEntry(-1), nullptr);
    EXPECT_EQ(projListEntry(n + 1), nullptr);
    EXPECT_EQ(projListIndex("nosuch"), -1);
    EXPECT_EQ(projListIndex("UTM"), -1);
    EXPECT_EQ(projListIndex(nullptr), -1);
    EXPECT_STREQ(projListId(projListEntry(projListIndex("utm"))), "utm");
    EXPECT_STREQ(projListDescr(projListEntry(projListIndex("utm"))),
                 "Universal Transverse Mercator (UTM)\n\tCyl, Ell\n\tzone= south approx");
    EXPECT_EQ(projListId(nullptr), nullptr);
    EXPECT_EQ(projListNext(nullptr), nullptr);

    EXPECT_EQ(ellpsListIndex("nosuch"), -1);
    EXPECT_EQ(ellpsListEntry(-1), nullptr);
    const EllpsListEntry *clarke = ellpsListEntry(ellpsListIndex("clrk66"));
    EXPECT_STREQ(ellpsListId(clarke), "clrk66");
    EXPECT_STREQ(ellpsListMajor(clarke), "a=6378206.4");
    EXPECT_STREQ(ellpsListEll(clarke), "b=6356583.8");
    EXPECT_STREQ(ellpsListName(clarke), "Clarke 1866");
    EXPECT_EQ(ellpsListId(ellpsListEntry(ellpsListCount())), nullptr);

    const UnitsListEntry *feet = unitsListEntry(unitsListIndex("us-ft"));
    EXPECT_STREQ(unitsListId(feet), "us-ft");
    EXPECT_STREQ(unitsListToMeter(feet), "0.304800609601219");
    EXPECT_STREQ(unitsListName(feet), "U.S. Surveyor's Foot");
    EXPECT_EQ(unitsListIndex("furlong"), -1);

    EXPECT_EQ(datumListCount(), 10);
    const DatumListEntry *nad27 = datumListEntry(datumListIndex("NAD27"));
    EXPECT_STREQ(datumListEllipse(nad27), "clrk66");
    EXPECT_STREQ(datumListDefn(nad27), "nadgrids=@conus,@alaska,@ntv2_0.gsb,@ntv1_can.dat");
    EXPECT_STREQ(datumListComments(nad27), "North_American_Datum_1927");
    EXPECT_EQ(datumListEntry(-1), nullptr);
    EXPECT_EQ(datumListIndex("nad27"), -1);
}

TEST(ProjLists, ListsMatchProjsProgram)
{
    if (!havePrograms()) {
        ASSERT_FALSE(peersRequired()) << "missing peer: PROJ's programs cs2cs and proj";
        GTEST_SKIP() << "PROJ's programs are not installed";
    }
    /* The program leaves out latlong, longlat and geocent. */
    std::vector<std::string> lines = programLines("proj -l");
    std::vector<std::string> ids;
    for (const ProjListEntry *e = projListFirst(); projListId(e) != nullptr; e = projListNext(e)) {
        std::string id = projListId(e);
        if (id != "latlong" && id != "longlat" && id != "geocent") {
            ids.push_back(id);
        }
    }
    ASSERT_EQ(lines.size(), ids.size());
    for (std::size_t i = 0; i < lines.size(); i++) {
        std::string id = lines[i].substr(0, lines[i].find(" : "));
        id.erase(0, id.find_first_not_of(' '));
        EXPECT_EQ(ids[i], id);
    }
    lines = programLines("proj -le");
    ASSERT_EQ(static_cast<int>(lines.size()), ellpsListCount());
    for (std::size_t i = 0; i < lines.size(); i++) {
        std::istringstream in(lines[i]);
        std::string id, major, ell;
        in >> id >> major >> ell;
        const EllpsListEntry *e = ellpsListEntry(static_cast<int>(i));
        EXPECT_EQ(id, ellpsListId(e));
        EXPECT_EQ(major, ellpsListMajor(e));
        EXPECT_EQ(ell, ellpsListEll(e));
    }
    /* The program lists the units of PROJ's database in another order. */
    lines = programLines("proj -lu");
    ASSERT_EQ(static_cast<int>(lines.size()), unitsListCount());
    std::set<std::string> programUnits, layerUnits;
    for (std::size_t i = 0; i < lines.size(); i++) {
        std::istringstream in(lines[i]);
        std::string id;
        in >> id;
        programUnits.insert(id);
        layerUnits.insert(unitsListId(unitsListEntry(static_cast<int>(i))));
    }
    EXPECT_EQ(programUnits, layerUnits);
}

TEST(ProjLists, DatumsExpandAsProjExpandsThem)
{
    PJ_CONTEXT *ctx = proj_context_create();
    for (const DatumListEntry *d = datumListFirst(); datumListId(d) != nullptr; d = datumListNext(d)) {
        std::string text = std::string("+proj=longlat +datum=") + datumListId(d);
        PJ *pj = proj_create(ctx, text.c_str());
        ASSERT_NE(pj, nullptr) << text;
        std::string expected = std::string("proj=longlat datum=") + datumListId(d) + " ellps=" + datumListEllipse(d) +
                               " " + datumListDefn(d);
        EXPECT_EQ(proj_pj_info(pj).definition, expected);
        proj_destroy(pj);
    }
    proj_context_destroy(ctx);
}

/* ---- the parameter report ---- */

TEST(ProjParamsReport, ElevenElementsWithSixDecimals)
{
    Tcl_Interp *interp = testInterp();
    Proj nad27 = init("proj=utm zone=10 datum=NAD27");
    Tcl_ResetResult(interp);
    projParams(interp, nad27.get());
    EXPECT_EQ(std::string(Tcl_GetStringResult(interp)),
              "{a 6378206.400000} {e 0.082272} {lam0 -2.146755} {phi0 0.000000} {x0 500000.000000} "
              "{y0 0.000000} {k0 0.999600} {to_meter 1.000000} {fr_meter 1.000000} {datum_type GRIDSHIFT} "
              "{datum_params 0.000000 0.000000 0.000000 0.000000 0.000000 0.000000 0.000000}");
    Tcl_ResetResult(interp);
    Proj osgb = init("proj=latlong datum=OSGB36");
    projParams(interp, osgb.get());
    Tcl_Obj *list = Tcl_GetObjResult(interp);
    int n = 0;
    Tcl_ListObjLength(nullptr, list, &n);
    ASSERT_EQ(n, 11);
    Tcl_Obj *last = nullptr;
    Tcl_ListObjIndex(nullptr, list, 10, &last);
    EXPECT_STREQ(Tcl_GetString(last),
                 "datum_params 446.448000 -125.157000 542.060000 0.000001 0.000001 0.000004 0.999980");
    Tcl_ResetResult(interp);
    projParams(interp, nullptr);
    EXPECT_STREQ(Tcl_GetStringResult(interp), "");
}

/* Angle texts read as the library's own reader reads them: the same
 * radians to the bit and the same end, for plain decimal degrees of every
 * length and sign and for the forms around them (exponents, too many
 * digits, minutes and seconds, hemisphere letters, lone signs and points,
 * other white space). */
TEST(ProjDmstor, ReadsAsTheLibraryReader)
{
    /* the forms around the plain one, blank-separated where that is safe */
    std::istringstream words("0 -0 -0.0 +0 0. .5 -.5 5. +5 -180.000000 360 400.5 999999999999999 -123456789012345 "
                             "1234567890123456 0.00000000000001 0.000000000000001 1.00000000000000 45.0000000000001 "
                             "12.3e4 12d 12d30' 12.5N 12.5S - + . x 1,5 --1 +-1 1..2");
    std::vector<std::string> texts{std::istream_iterator<std::string>(words), std::istream_iterator<std::string>()};
    for (const char *t : {"", " ", " 7", "\t-7.25\n", "12.345678 1", "179.999999\n", "1\r", "1\v", "\n1", "12 .5"}) {
        texts.emplace_back(t);
    }
    char text[40];
    for (int i = 0; i < 4000; i++) {
        /* digits after the point 0 .. 16, both signs, degrees 0 .. 999 */
        double degrees = (i * 7919 % 999983) / 1000.0 * (i % 2 != 0 ? -1 : 1);
        std::snprintf(text, sizeof text, i % 3 == 0 ? "%.*f" : (i % 3 == 1 ? " %.*f\n" : "%.*f\t9"), i % 17, degrees);
        texts.emplace_back(text);
    }
    for (const std::string &t : texts) {
        char *theirs = nullptr, *ours = nullptr;
        double expected = proj_dmstor(t.c_str(), &theirs);
        double got = projDmstor(t.c_str(), &ours);
        EXPECT_EQ(std::memcmp(&expected, &got, sizeof got), 0) << '"' << t << "\": " << expected << " " << got;
        EXPECT_EQ(ours - t.c_str(), theirs - t.c_str()) << '"' << t << '"';
    }
    EXPECT_EQ(projDmstor("1.5 2", nullptr), proj_dmstor("1.5 2", nullptr));
}
