/*
 * geodesic_test.cpp --
 *
 *	The ellipsoid of definition words (projEllSet) and the set-up of a
 *	geodesic state from words: units, the line and its step count, the
 *	difference between the program's S (metres) and an object's (the
 *	definition's units), and a failure ending a program run. Expected
 *	values are PROJ's geod program on the same definitions, or the
 *	ellipsoids' defining numbers.
 */
#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <string>
#include <vector>

#include "geo/geodesic.h"
#include "geo/projcmd.h"
#include "geo/projlib.h"
#include "support/stderr_capture.h"
#include "support/test_interp.h"

namespace {

constexpr double kDeg = 3.141592653589793 / 180;

int ell(std::initializer_list<const char *> words, double *a, double *es)
{
    std::vector<const char *> w(words);
    return projEllSet(static_cast<int>(w.size()), w.data(), a, es);
}

/* geodStateSet on words in object mode (code 0, S in the definition's
 * units) by default. */
int set(GeodState *s, std::initializer_list<const char *> words, int scaleS = 1)
{
    std::vector<const char *> w(words);
    *s = GeodState{};
    return geodStateSet(static_cast<int>(w.size()), w.data(), s, 0, scaleS);
}

}  // namespace

/* The set-up's reports go to the console's standard error, kept here. */
using GeodStateSet = StderrCapture;

TEST(ProjEllSet, EllipsoidsSpheresAndOverrides)
{
    double a = 0, es = 0;
    ASSERT_EQ(ell({"ellps=clrk66"}, &a, &es), 0);
    EXPECT_DOUBLE_EQ(a, 6378206.4);
    EXPECT_NEAR(es, 1 - (6356583.8 * 6356583.8) / (6378206.4 * 6378206.4), 1e-15);
    ASSERT_EQ(ell({"+R=6370000", "+ellps=WGS84"}, &a, &es), 0);
    EXPECT_EQ(a, 6370000);
    EXPECT_EQ(es, 0);
    /* Words of the definition overrule the named ellipsoid. */
    ASSERT_EQ(ell({"ellps=WGS84", "a=6400000", "rf=300"}, &a, &es), 0);
    EXPECT_EQ(a, 6400000);
    EXPECT_NEAR(es, (2 - 1 / 300.0) / 300.0, 1e-15);
    /* ... read as PROJ reads a definition: ";" parts words, "#" ends them */
    ASSERT_EQ(ell({"ellps=WGS84;a=6400000 rf=\"300\"", "# a=1"}, &a, &es), 0);
    EXPECT_EQ(a, 6400000);
    EXPECT_NEAR(es, (2 - 1 / 300.0) / 300.0, 1e-15);
    ASSERT_EQ(ell({"ellps=WGS84", "R_a"}, &a, &es), 0);
    EXPECT_NEAR(a, (6378137 + 6356752.314245179) / 2, 1e-6);
    EXPECT_EQ(es, 0);
}

TEST(ProjEllSet, RefusedEllipsoidsLeaveTheOutputs)
{
    for (auto words : {std::initializer_list<const char *>{"ellps=nosuch"},
                       {"a=6378137", "rf=0"},
                       {"a=6378137", "es=1"},
                       {"a=6378137", "b=7000000"},
                       {"R=0"},
                       {"R=abc"},
                       {"lat_1=4"},
                       {}}) {
        double a = -1, es = -1;
        EXPECT_EQ(ell(words, &a, &es), 1);
        EXPECT_EQ(a, -1);
        EXPECT_EQ(es, -1);
        EXPECT_STRNE(projErrorText(), "");
    }
}

/* geod -I +ellps=clrk66 -f %.12f -F %.6f on 42d15'N 71d07'W 45d31'N 123d41'W:
 * -66.530594787662 75.653634155570 4164192.708099 */
TEST_F(GeodStateSet, TwoPointsSolveTheLineAndCountItsSteps)
{
    GeodState s;
    ASSERT_EQ(set(&s, {"ellps=clrk66", "lat_1=42d15N", "lon_1=71d07W", "lat_2=45d31N", "lon_2=123d41W", "n_S=4"}), 1);
    EXPECT_EQ(s.inverse, 1);
    EXPECT_EQ(s.nS, 4);
    EXPECT_EQ(s.nAlpha, 0);
    EXPECT_NEAR(s.alpha12 / kDeg, -66.530594787662, 1e-9);
    EXPECT_NEAR(s.alpha21 / kDeg, 75.653634155570, 1e-9);
    EXPECT_NEAR(s.dist, 4164192.708099, 1e-6);
    EXPECT_NEAR(s.f, 1 - 6356583.8 / 6378206.4, 1e-15);
    EXPECT_EQ(s.ellipse, 1);
}

TEST_F(GeodStateSet, SIsMetresForTheProgramAndTheUnitForObjects)
{
    GeodState program, object;
    ASSERT_EQ(set(&program, {"ellps=clrk66", "units=km", "lat_1=0", "lon_1=0", "A=90", "S=1000", "del_S=250"}, 0), 1);
    ASSERT_EQ(set(&object, {"ellps=clrk66", "units=km", "lat_1=0", "lon_1=0", "A=90", "S=1000", "del_S=250"}, 1), 1);
    EXPECT_DOUBLE_EQ(program.dist, 1.0);
    EXPECT_DOUBLE_EQ(object.dist, 1000.0);
    EXPECT_EQ(program.nS, 4);
    EXPECT_EQ(object.nS, 4);
    EXPECT_DOUBLE_EQ(program.toMeter, 1000.0);
    /* Along the equator 1000 m is 1000 / a radians. */
    EXPECT_NEAR(program.lam2, 1000 / 6378206.4, 1e-15);
    EXPECT_NEAR(object.lam2, 1000000 / 6378206.4, 1e-12);
}

TEST_F(GeodStateSet, AProgramFailureEndsTheRunWithCode1)
{
    const char *words[] = {"ellps=WGS84", "lat_1=0", "lon_1=0", "lat_2=1", "lon_2=1", "n_S=0"};
    GeodState s{};
    int code = projRun(testInterp(), "geod", [&] {
        projRunStart("geod");
        geodStateSet(6, words, &s, 1, 0);
        return TCL_OK;
    });
    EXPECT_EQ(code, TCL_ERROR);
    EXPECT_EQ(projExitCode, 1);
    EXPECT_NE(errors().find("no interval divisor selected"), std::string::npos);
}
