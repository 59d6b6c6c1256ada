/*
 * glw_test.cpp --
 *
 *	glw surfaces seen from GLX: a child window gets the chosen visual and
 *	its own colormap before it exists, and every surface draws through a
 *	direct rendering context (no server-side GL needed).
 */
#include <gtest/gtest.h>

#include "gl/ogl.h"
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
