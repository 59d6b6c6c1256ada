/*
 * The symbol item made from a geometry description, as the split of an
 * object item makes it from POINT records: every part's points copied,
 * the source's width and outline colours taken and its fill colour used
 * for the marker's fill; and what assemble reads back.
 */
#include <gtest/gtest.h>

#include <string>
#include <vector>
#include "canvas/canvasint.h"
#include "canvas/outline.h"
#include "canvasfixture.h"

namespace {

class SymbolItemTest : public CanvasFixture {
protected:
    SymbolItemTest() : CanvasFixture(".sc", "-width 100 -height 100 -highlightthickness 0") {}
};

TEST_F(SymbolItemTest, DescriptionGivesEveryPartsPointsAndTheSourcesPen)
{
    GcanvasDescStyle style;
    gcanvasCreateOutline(&style.outline);
    style.outline.width = 3;
    style.outline.color = Tk_GetColor(interp, tkwin, "blue");
    XColor *fill = Tk_GetColor(interp, tkwin, "green");
    const std::vector<double> points = {1, 2, 3, 4, 5, 6};
    const std::vector<int> parts = {1, 2};
    GcanvasGeometryDesc desc = {2, points.data(), parts.data(), &style, fill, nullptr, nullptr};

    GcanvasItem *item = gcanvasCreateItemFromDesc(canvas, interp, &gcanvasSymbolType, &desc, "s.1 disassembled");
    ASSERT_NE(item, nullptr) << Tcl_GetStringResult(interp);
    std::string id = std::to_string(item->id);
    EXPECT_EQ(eval("list [.sc coords " + id + "] [.sc itemcget " + id + " -width] [.sc itemcget " + id +
                   " -outline] [.sc itemcget " + id + " -symbolcolor] [.sc itemcget " + id + " -markercolor] [.sc gettags " +
                   id + "]"),
              "{1.0 2.0 3.0 4.0 5.0 6.0} 3.0 blue green red {s.1 disassembled}");
    int count = 0;
    const double *read = gcanvasSymbolType.getCoordsProc(item, &count);
    ASSERT_EQ(count, 3);
    EXPECT_EQ(std::vector<double>(read, read + 6), points);
    EXPECT_EQ(gcanvasSymbolType.getPartsProc(item, &count), nullptr);
    EXPECT_EQ(count, 3);

    // Without a style or part counts: count points and the defaults.
    GcanvasGeometryDesc plain = {2, points.data(), nullptr, nullptr, nullptr, nullptr, nullptr};
    item = gcanvasCreateItemFromDesc(canvas, interp, &gcanvasSymbolType, &plain, nullptr);
    ASSERT_NE(item, nullptr);
    id = std::to_string(item->id);
    EXPECT_EQ(eval("list [.sc coords " + id + "] [.sc itemcget " + id + " -outline] [.sc itemcget " + id +
                   " -symbolcolor]"),
              "{1.0 2.0 3.0 4.0} red {}");
    // The item's own references: the source's colours outlive it.
    eval(".sc delete all");
    Tk_FreeColor(style.outline.color);
    Tk_FreeColor(fill);
}

}  // namespace
