/*
 * glw_test.cpp --
 *
 *	glw surfaces seen from GLX: a child window gets the chosen visual and
 *	its own colormap before it exists, and every surface draws through a
 *	direct rendering context (no server-side GL needed); the weighing of
 *	visuals against a surface's asks.
 */
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "gl/glwsurface.h"
#include "support/test_interp.h"

namespace {

Tcl_Interp *glwInterp()
{
    Tcl_Interp *interp = testTkInterp();
    if (Tcl_FindCommand(interp, "glw", nullptr, 0) == nullptr && Glw_Init(interp) != TCL_OK) {
        ADD_FAILURE() << Tcl_GetStringResult(interp);
    }
    return interp;
}

}  // namespace

TEST(GlwSurface, ChildWindowHasTheChosenVisualAndADirectContext)
{
    Tcl_Interp *interp = glwInterp();
    int code = TCL_OK;
    testEval(interp, "glw .gu -width 40 -height 30; pack .gu; update; glw current .gu", &code);
    ASSERT_EQ(code, TCL_OK) << Tcl_GetStringResult(interp);
    GlwWindow *record = glwCurrent();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->kind, 1);
    EXPECT_EQ(Tk_Visual(record->tkwin), record->visual->visual);
    EXPECT_EQ(Tk_Colormap(record->tkwin), record->colormap);
    XWindowAttributes attributes{};
    XGetWindowAttributes(record->display, Tk_WindowId(record->tkwin), &attributes);
    EXPECT_EQ(XVisualIDFromVisual(attributes.visual), record->visual->visualid);
    EXPECT_EQ(attributes.colormap, record->colormap);
    EXPECT_EQ(glXGetCurrentContext(), record->context);
    EXPECT_TRUE(glXIsDirect(record->display, record->context));
    testEval(interp, "destroy .gu", &code);
    EXPECT_EQ(glwCurrent(), nullptr);
    EXPECT_EQ(glXGetCurrentContext(), nullptr);
}

TEST(GlwSurface, AttachedCanvasDrawsThroughADirectContextOnAPixmapOfItsDepth)
{
    Tcl_Interp *interp = glwInterp();
    int code = TCL_OK;
    testEval(interp, "canvas .cu -width 50 -height 20; pack .cu; update; glw .cu -width 50 -height 20; glw current .cu",
             &code);
    ASSERT_EQ(code, TCL_OK) << Tcl_GetStringResult(interp);
    GlwWindow *record = glwCurrent();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->kind, 2);
    EXPECT_NE(record->canvas, nullptr);
    ASSERT_NE(record->pixmap, static_cast<Pixmap>(None));
    Window root = None;
    int x = 0, y = 0;
    unsigned width = 0, height = 0, border = 0, depth = 0;
    XGetGeometry(record->display, record->pixmap, &root, &x, &y, &width, &height, &border, &depth);
    EXPECT_EQ(width, 50u);
    EXPECT_EQ(height, 20u);
    EXPECT_EQ(static_cast<int>(depth), Tk_Depth(record->tkwin));
    EXPECT_EQ(glXGetCurrentDrawable(), record->glxPixmap);
    EXPECT_TRUE(glXIsDirect(record->display, record->context));
    testEval(interp, "glw delete .cu; destroy .cu", &code);
    EXPECT_EQ(glwCurrent(), nullptr);
}

TEST(GlwSurface, AskedAccumulationBitsAreGivenAndSumTwoPictures)
{
    Tcl_Interp *interp = glwInterp();
    int code = TCL_OK;
    const std::string accum = testEval(interp,
                                       "glw .ac -width 20 -height 20 -dbuffer 0 -accum 16; pack .ac; update;"
                                       "glw current .ac; glClearColor 0.8 0.4 0 1; glClear GL_COLOR_BUFFER_BIT;"
                                       "glAccum GL_LOAD 1; glClearColor 0 0 0.6 1; glClear GL_COLOR_BUFFER_BIT;"
                                       "glAccum GL_ACCUM 1; .ac cget -accum",
                                       &code);
    ASSERT_EQ(code, TCL_OK) << Tcl_GetStringResult(interp);
    EXPECT_GT(std::atoi(accum.c_str()), 0);
    /* The binding's glAccum has no GL_RETURN: the sum is brought back here. */
    glAccum(GL_RETURN, 1.0f);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    unsigned char rgb[3] = {};
    glReadPixels(5, 5, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    /* Red and green of the first picture, blue of the second (whole
     * weights: Mesa sums in linear light). */
    const int sum[3] = {204, 102, 153};
    for (int i = 0; i < 3; i++) {
        EXPECT_NEAR(rgb[i], sum[i], 2) << "channel " << i;
    }
    testEval(interp, "destroy .ac", &code);
}

TEST(GlwVisualScore, EachRuleOutweighsTheLaterOnesWhateverTheListOrder)
{
    GlwWindow record{};
    record.kind = 1;
    record.dbuffer = 1;
    record.depth = 24;
    record.stencil = 8;
    const GlwVisualOffer plain{1, 24, 8, 0, 0, 0, GLX_NONE_EXT, TrueColor, false};
    GlwVisualOffer fewerBits = plain;
    fewerBits.depth = 16;
    fewerBits.stencil = 0;
    GlwVisualOffer multisampled = plain;
    multisampled.sampleBuffers = 1;
    GlwVisualOffer slow = plain;
    slow.caveat = GLX_SLOW_VISUAL_EXT;
    GlwVisualOffer single = plain;
    single.doubleBuffer = 0;
    const GlwVisualOffer bare{1, 0, 0, 0, 0, 1, GLX_SLOW_VISUAL_EXT, PseudoColor, false};
    EXPECT_EQ(glwVisualScore(&record, plain), 0);
    /* 8 depth and 8 stencil bits missing, four times each. */
    EXPECT_EQ(glwVisualScore(&record, fewerBits), 2 * 64);
    /* The slow caveat only parts offers equally close to the asks. */
    EXPECT_GT(glwVisualScore(&record, slow), glwVisualScore(&record, plain));
    EXPECT_LT(glwVisualScore(&record, slow), glwVisualScore(&record, fewerBits));
    EXPECT_GT(glwVisualScore(&record, multisampled), glwVisualScore(&record, fewerBits));
    EXPECT_GT(glwVisualScore(&record, single), glwVisualScore(&record, bare));
    record.dbuffer = 0;
    EXPECT_LT(glwVisualScore(&record, single), glwVisualScore(&record, plain));
}

TEST(GlwVisualScore, AsksAtTheEndsOfTheIntRangeDoNotOverflow)
{
    GlwWindow record{};
    record.kind = 1;
    record.depth = INT_MIN;
    record.stencil = INT_MAX;
    record.alpha = INT_MIN;
    record.accum = INT_MAX;
    const GlwVisualOffer none{0, 0, 0, 0, 0, 0, GLX_NONE_EXT, TrueColor, false};
    const GlwVisualOffer some{0, 24, 8, 8, 64, 0, GLX_NONE_EXT, TrueColor, false};
    const int64_t low = -static_cast<int64_t>(INT_MIN), high = INT_MAX;
    EXPECT_EQ(glwVisualScore(&record, none), 2 * (low + 4 * high + low + 4 * high));
    EXPECT_EQ(glwVisualScore(&record, some), 2 * ((low + 24) + 4 * (high - 8) + (low + 8) + 4 * (high - 64)));
    /* Still below the weight of the last rule. */
    GlwVisualOffer multisampled = none;
    multisampled.sampleBuffers = 1;
    EXPECT_LT(glwVisualScore(&record, none) - glwVisualScore(&record, some),
              glwVisualScore(&record, multisampled) - glwVisualScore(&record, none));
}

/* Mesa under Xvfb offers accumulation bits (16 a channel) on slow visuals
 * only. */
TEST(GlwVisualScore, AskedAccumulationBitsOutweighTheSlowCaveat)
{
    GlwWindow record{};
    record.kind = 1;
    record.depth = 24;
    record.accum = 16;
    const GlwVisualOffer fast{0, 24, 0, 0, 0, 0, GLX_NONE_EXT, TrueColor, false};
    GlwVisualOffer accumulating = fast;
    accumulating.accum = 64;
    accumulating.caveat = GLX_SLOW_VISUAL_EXT;
    EXPECT_LT(glwVisualScore(&record, accumulating), glwVisualScore(&record, fast));
    record.accum = 0;
    EXPECT_LT(glwVisualScore(&record, fast), glwVisualScore(&record, accumulating));
}
