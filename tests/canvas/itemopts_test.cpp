/*
 * The canvas items' GC cache: equal values share one GC until its last
 * user frees it; different values, depths or masks do not share.
 */
#include <gtest/gtest.h>

#include "canvas/itemopts.h"
#include "support/test_interp.h"

namespace {

TEST(ItemGC, EqualPensShareOneGCUntilTheLastUserFreesIt)
{
    Tcl_Interp *interp = testTkInterp();
    ASSERT_NE(interp, nullptr);
    Tk_Window tkwin = Tk_MainWindow(interp);
    Display *display = Tk_Display(tkwin);
    XGCValues values{};
    values.foreground = 1;
    values.line_width = 2;
    GC a = gcanvasGetGC(tkwin, GCForeground | GCLineWidth, &values);
    GC b = gcanvasGetGC(tkwin, GCForeground | GCLineWidth, &values);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, b);
    // A value outside the mask does not matter; one inside does.
    values.background = 7;
    EXPECT_EQ(gcanvasGetGC(tkwin, GCForeground | GCLineWidth, &values), a);
    values.line_width = 3;
    GC c = gcanvasGetGC(tkwin, GCForeground | GCLineWidth, &values);
    EXPECT_NE(c, a);
    GC d = gcanvasGetGC(tkwin, GCForeground, &values);
    EXPECT_NE(d, a);

    // Three users of a: it survives two frees and draws.
    gcanvasFreeGC(display, a);
    gcanvasFreeGC(display, b);
    Pixmap pixmap = Tk_GetPixmap(display, Tk_WindowId(tkwin), 4, 4, Tk_Depth(tkwin));
    XFillRectangle(display, pixmap, a, 0, 0, 4, 4);
    XSync(display, False);
    gcanvasFreeGC(display, a);
    // A fresh request after the last free makes a new GC again.
    values.line_width = 2;
    GC e = gcanvasGetGC(tkwin, GCForeground | GCLineWidth, &values);
    ASSERT_NE(e, nullptr);
    XFillRectangle(display, pixmap, e, 0, 0, 4, 4);
    XSync(display, False);
    for (GC gc : {c, d, e}) {
        gcanvasFreeGC(display, gc);
    }
    gcanvasFreeGC(display, nullptr);
    Tk_FreePixmap(display, pixmap);
}

}  // namespace
