/*
 * geodobj_test.cpp --
 *
 *	Loading geod objects from option text inside a program run: the set-up
 *	reports name the object, and the run state of the program is as it
 *	was afterwards.
 */
#include <gtest/gtest.h>

#include <string>

#include "geo/geodobj.h"
#include "geo/projlib.h"
#include "support/stderr_capture.h"
#include "support/test_interp.h"

namespace {

class GeodLoad : public StderrCapture {
protected:
    Tcl_Interp *keptInterp = nullptr;
    std::string keptModule;

    void SetUp() override
    {
        StderrCapture::SetUp();
        keptInterp = projInterp;
        keptModule = projModuleName;
        projInterp = testTkInterp();
        projModuleName = "g";
        projRunStart("cs2cs");
        projRunState.fileName = "points.txt";
        projRunState.lineNumber = 7;
    }

    void TearDown() override
    {
        projInterp = keptInterp;
        projModuleName = keptModule;
        StderrCapture::TearDown();
    }

    void expectRunStateKept()
    {
        EXPECT_EQ(projRunState.programName, "cs2cs");
        EXPECT_EQ(projRunState.fileName, "points.txt");
        EXPECT_EQ(projRunState.lineNumber, 7);
    }
};

TEST_F(GeodLoad, RefusedDefinitionIsReportedUnderTheObjectAndTheRunStateStays)
{
    EXPECT_EQ(geodParamsFromText("-geod {ellps=nosuch}", teskConfigure), nullptr);
    EXPECT_EQ(errors(), std::string(projReleaseText()) + "\n<g>: \nellipse setup failure\n");
    expectRunStateKept();
}

TEST_F(GeodLoad, LoadedLineIsSolvedAndTheRunStateStays)
{
    GeodObjParams *p =
        geodParamsFromText("-geod {ellps=WGS84} -inv 1 -lat_1 0 -lon_1 0 -lat_2 0 -lon_2 1", teskConfigure);
    ASSERT_NE(p, nullptr);
    /* one degree of the equator: a x pi / 180 */
    EXPECT_NEAR(p->S, 6378137.0 * 3.141592653589793 / 180, 1e-6);
    EXPECT_NEAR(p->A, 90, 1e-9);
    EXPECT_EQ(errors(), "");
    expectRunStateKept();
    geodParamsFree(p);
}

}  // namespace
