/*
 * The box of all canvas items, checked against Tk's own "bbox all" less
 * the view origin ("canvasx 0"); an empty canvas of either kind answers
 * 0 0 0 0.
 */
#include <gtest/gtest.h>

#include <string>
#include "display/canvascapture.h"
#include "support/test_interp.h"
#include "tesk.h"

namespace {

std::string boxOf(const CanvasInfo &info)
{
    int box[4] = {-7, -7, -7, -7};
    int any = canvasItemsBBox(&info, &box[0], &box[1], &box[2], &box[3]);
    std::string out = std::to_string(any);
    for (int v : box) {
        out += " " + std::to_string(v);
    }
    return out;
}

TEST(CanvasItemsBBox, RelativeToTheViewOriginAndEmptyWithoutItems)
{
    Tcl_Interp *interp = testTkInterp();
    ASSERT_EQ(Gcanvas_Init(interp), TCL_OK);
    testEval(interp, "destroy .k .g; canvas .k -width 60 -height 50 -highlightthickness 2 -borderwidth 1 "
                     "-scrollregion {-100 -100 300 300} -xscrollincrement 1 -yscrollincrement 1; gcanvas .g");
    CanvasInfo tk{}, gc{};
    ASSERT_EQ(getCanvasInfo(interp, ".k", &tk), TCL_OK);
    ASSERT_EQ(getCanvasInfo(interp, ".g", &gc), TCL_OK);
    EXPECT_EQ(boxOf(tk), "0 0 0 0 0");
    EXPECT_EQ(boxOf(gc), "0 0 0 0 0");

    std::string want = testEval(interp, ".k create rectangle 10 20 30 40 -width 3; .k create oval -5 50 8 61; "
                                        ".k xview scroll 17 units; .k yview scroll -9 units; "
                                        "lassign [.k bbox all] a b c d; set x [expr {int([.k canvasx 0])}]; "
                                        "set y [expr {int([.k canvasy 0])}]; "
                                        "list 1 [expr {$a - $x}] [expr {$b - $y}] [expr {$c - $x}] [expr {$d - $y}]");
    EXPECT_EQ(boxOf(tk), want);
    testEval(interp, "destroy .k .g");
}

}  // namespace
