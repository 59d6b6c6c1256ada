/*
 * canvasfixture.h --
 *
 *	The set-up the canvas's unit tests share: the test interpreter with
 *	Tk and the Gcanvas package, and one gcanvas window, made afresh for
 *	each test and destroyed after it.
 */
#ifndef TESK_TESTS_CANVAS_CANVASFIXTURE_H
#define TESK_TESTS_CANVAS_CANVASFIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include "canvas/canvasapi.h"
#include "canvas/canvasint.h"
#include "support/test_interp.h"
#include "tesk.h"

class CanvasFixture : public ::testing::Test {
protected:
    /* The canvas is the window path, made with the given gcanvas options
     * and packed; shown: the main window is deiconified before the first
     * update. */
    CanvasFixture(const char *path, const char *options, bool shown = false)
        : path_(path), options_(options), shown_(shown)
    {}

    Tcl_Interp *interp = nullptr;
    GcanvasWidget *canvas = nullptr;
    Tk_Window tkwin = nullptr;
    Display *display = nullptr;

    void SetUp() override
    {
        interp = testTkInterp();
        ASSERT_NE(interp, nullptr);
        int code;
        testEval(interp, "if {[info commands gcanvas] eq {}} {load {} Gcanvas}", &code);
        if (code != TCL_OK) {
            ASSERT_EQ(Gcanvas_Init(interp), TCL_OK) << Tcl_GetStringResult(interp);
        }
        std::string script = "destroy " + path_ + "; gcanvas " + path_ + " " + options_ + "; pack " + path_ + "; " +
                             (shown_ ? "wm deiconify .; " : "") + "update; set x ok";
        std::string made = testEval(interp, script, &code);
        ASSERT_EQ(code, TCL_OK) << made;
        canvas = gcanvasFromPath(interp, path_.c_str());
        ASSERT_NE(canvas, nullptr);
        tkwin = Tk_NameToWindow(interp, path_.c_str(), Tk_MainWindow(interp));
        display = Tk_Display(tkwin);
    }

    void TearDown() override { testEval(interp, "destroy " + path_ + "; update"); }

    /* Runs a script, expecting the given code; answers its result. */
    std::string eval(const std::string &script, int expected = TCL_OK)
    {
        int code;
        std::string result = testEval(interp, script, &code);
        EXPECT_EQ(code, expected) << script << ": " << result;
        return result;
    }

private:
    std::string path_, options_;
    bool shown_;
};

#endif /* TESK_TESTS_CANVAS_CANVASFIXTURE_H */
