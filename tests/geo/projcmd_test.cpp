/*
 * projcmd_test.cpp --
 *
 *	The run frame of the projection family: arming, the exit trap with its
 *	exit codes and errorCode, other exceptions, the refusal of nested runs,
 *	projInterp after its interpreter is gone, and the error reporter emess
 *	with the run state.
 */
#include <gtest/gtest.h>

#include <cerrno>
#include <stdexcept>
#include <string>

#include "geo/projcmd.h"
#include "geo/projlib.h"
#include "support/stderr_capture.h"
#include "support/test_interp.h"

namespace {

/* The -errorcode of the interpreter's error state. */
std::string errorCode(Tcl_Interp *interp)
{
    Tcl_Obj *options = Tcl_GetReturnOptions(interp, TCL_ERROR);
    Tcl_IncrRefCount(options);
    Tcl_Obj *key = Tcl_NewStringObj("-errorcode", -1);
    Tcl_IncrRefCount(key);
    Tcl_Obj *value = nullptr;
    Tcl_DictObjGet(nullptr, options, key, &value);
    std::string text = value != nullptr ? Tcl_GetString(value) : "";
    Tcl_DecrRefCount(key);
    Tcl_DecrRefCount(options);
    return text;
}

std::string result(Tcl_Interp *interp)
{
    return Tcl_GetStringResult(interp);
}

}  // namespace

TEST(ProjRun, ANormalBodyArmsTheFrameAndKeepsItsResult)
{
    Tcl_Interp *interp = testInterp();
    int code = projRun(interp, "p1", [&] {
        EXPECT_EQ(projInterp, interp);
        EXPECT_EQ(projModuleName, "p1");
        EXPECT_EQ(projExitCode, 0);
        Tcl_SetResult(interp, const_cast<char *>("done"), TCL_STATIC);
        return TCL_OK;
    });
    EXPECT_EQ(code, TCL_OK);
    EXPECT_EQ(result(interp), "done");
    EXPECT_EQ(projExitCode, 0);
    EXPECT_EQ(projModuleName, "p1");
    /* A body's own error is its own. */
    Tcl_ResetResult(interp);
    EXPECT_EQ(projRun(interp, "p2", [&] { return TCL_ERROR; }), TCL_ERROR);
    EXPECT_EQ(projExitCode, 0);
    EXPECT_EQ(projModuleName, "p2");
}

TEST(ProjRun, AnExitEndsTheRunWithItsCode)
{
    Tcl_Interp *interp = testInterp();
    bool after = false;
    Tcl_ResetResult(interp);
    int code = projRun(interp, "proj", [&] {
        Tcl_AppendResult(interp, "partial", nullptr);
        projToolExit(3);
        after = true;
        return TCL_OK;
    });
    EXPECT_EQ(code, TCL_ERROR);
    EXPECT_FALSE(after);
    EXPECT_EQ(result(interp), "partial");
    EXPECT_EQ(projExitCode, 3);
    EXPECT_EQ(errorCode(interp), "PROJEXIT 3");

    /* A normal completion arrives as 1, but errorCode tells it from an error reported with 1. */
    Tcl_ResetResult(interp);
    EXPECT_EQ(projRun(interp, "proj",
                      [&] {
                          projToolExit(0);
                          return TCL_OK;
                      }),
              TCL_ERROR);
    EXPECT_EQ(projExitCode, 1);
    EXPECT_EQ(errorCode(interp), "PROJEXIT 0");
    Tcl_ResetResult(interp);
    EXPECT_EQ(projRun(interp, "proj",
                      [&] {
                          projToolExit(1);
                          return TCL_OK;
                      }),
              TCL_ERROR);
    EXPECT_EQ(projExitCode, 1);
    EXPECT_EQ(errorCode(interp), "PROJEXIT 1");

    /* The next arming starts again from 0. */
    EXPECT_EQ(projRun(interp, "geod", [&] { return TCL_OK; }), TCL_OK);
    EXPECT_EQ(projExitCode, 0);
}

TEST(ProjRun, OtherExceptionsBecomeTclErrors)
{
    Tcl_Interp *interp = testInterp();
    int code = projRun(interp, "cs2cs", [&]() -> int { throw std::runtime_error("out of luck"); });
    EXPECT_EQ(code, TCL_ERROR);
    EXPECT_EQ(result(interp), "Error in cs2cs: out of luck");
    code = projRun(interp, "cs2cs", [&]() -> int { throw 42; });
    EXPECT_EQ(code, TCL_ERROR);
    EXPECT_EQ(result(interp), "Error in cs2cs: unexpected exception");
    /* The frame is free again. */
    EXPECT_EQ(projRun(interp, "cs2cs", [&] { return TCL_OK; }), TCL_OK);
}

TEST(ProjRun, RunsDoNotNest)
{
    Tcl_Interp *interp = testInterp();
    int inner = -1;
    std::string innerResult;
    int code = projRun(interp, "proj", [&] {
        inner = projRun(interp, "p1", [&] { return TCL_OK; });
        innerResult = result(interp);
        EXPECT_EQ(projModuleName, "proj");
        projToolExit(4);
        return TCL_OK;
    });
    EXPECT_EQ(inner, TCL_ERROR);
    EXPECT_EQ(innerResult, "cannot run p1 while proj is running: projection runs do not nest");
    EXPECT_EQ(code, TCL_ERROR);
    EXPECT_EQ(projExitCode, 4);
    EXPECT_EQ(projRun(interp, "p1", [&] { return TCL_OK; }), TCL_OK);
}

TEST(ProjRun, ProjInterpIsForgottenWithItsInterpreter)
{
    Tcl_Interp *child = Tcl_CreateInterp();
    ASSERT_EQ(projCmdInit(child), 0);
    EXPECT_EQ(projRun(child, "proj", [&] { return TCL_OK; }), TCL_OK);
    EXPECT_EQ(projInterp, child);
    Tcl_DeleteInterp(child);
    EXPECT_EQ(projInterp, nullptr);
}

/* ---- emess ---- */

class Emess : public StderrCapture {
protected:
    std::string head() { return std::string(projReleaseText()) + "\n<proj>: "; }
};

TEST_F(Emess, ReportsNameProgramAndMessage)
{
    projRunStart("/usr/local/bin/proj");
    EXPECT_EQ(projRunState.programName, "proj");
    emess(-1, "lon-lat input conversion failure%s", "");
    EXPECT_EQ(errors(), head() + "\nlon-lat input conversion failure\n");
}

TEST_F(Emess, NamesTheFileAndLineBeingRead)
{
    projRunStart("proj");
    projRunState.fileName = "points.txt";
    emess(-1, "failed");
    projRunState.lineNumber = 7;
    emess(-1, "failed");
    projRunState.fileName.clear();
    EXPECT_EQ(errors(), head() + "while processing file: points.txt\nfailed\n" + head() +
                            "while processing file: points.txt, line 7\nfailed\n");
}

TEST_F(Emess, SystemErrorsCarryErrno)
{
    projRunStart("proj");
    errno = ENOENT;
    emess(-2, "%s", "no/such/file%d");
    EXPECT_EQ(errors(), head() + "\nSys errno: 2: <system mess. texts unavail.>\nno/such/file%d\n");
}

TEST_F(Emess, APositiveCodeEndsTheRun)
{
    projRunStart("invproj");
    EXPECT_EQ(projRunState.programName, "invproj");
    int code = projRun(interp, "proj", [&] {
        emess(3, "projection initialization failure\ncause: %s", "nothing");
        return TCL_OK;
    });
    EXPECT_EQ(code, TCL_ERROR);
    EXPECT_EQ(projExitCode, 3);
    EXPECT_EQ(errors(), std::string(projReleaseText()) +
                            "\n<invproj>: \nprojection initialization failure\ncause: nothing\n"
                            "program abnormally terminated\n");
}

TEST_F(Emess, WithoutAFormatOnlyTheLocationIsWritten)
{
    projRunStart("proj");
    emess(-1, nullptr);
    EXPECT_EQ(errors(), "\n\n");
    projRunStart(nullptr);
    EXPECT_EQ(projRunState.programName, "");
}
