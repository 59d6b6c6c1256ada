/*
 * stderr_capture.h --
 *
 *	A GoogleTest fixture that routes the package's standard error through
 *	the console of the test interpreter and keeps what arrives, so that
 *	tests can check the messages a routine prints.
 */
#ifndef TESK_TESTS_STDERR_CAPTURE_H
#define TESK_TESTS_STDERR_CAPTURE_H

#include <gtest/gtest.h>

#include <string>
#include "runtime/startup.h"
#include "support/test_interp.h"

class StderrCapture : public ::testing::Test {
protected:
    Tcl_Interp *interp = testInterp();
    Tcl_Interp *previous = nullptr;

    void SetUp() override
    {
        previous = setConsoleInterp(interp);
        testEval(interp, R"(
            set ::err {}
            proc tkConsoleOutput {stream text} {
                if {$stream eq "stderr"} {append ::err $text}
            }
        )");
        setTkConsoleFlag(true);
    }

    void TearDown() override
    {
        setTkConsoleFlag(false);
        setConsoleInterp(previous);
    }

    /* What has arrived on standard error. */
    std::string errors() { return testEval(interp, "set ::err"); }
};

#endif /* TESK_TESTS_STDERR_CAPTURE_H */
