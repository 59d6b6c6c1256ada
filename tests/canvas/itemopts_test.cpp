/*
 * The canvas items' GC cache: equal values share one GC until its last
 * user frees it; different values, depths or masks do not share. And
 * the helpers of filled, outlined items: the corner items' coordinate
 * words at create, the fill GC for the item's state, and the marking of
 * items whose look depends on the pointer.
 */
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>
#include "canvas/itemopts.h"
#include "canvasfixture.h"
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

/* The fields a filled, outlined item record has. */
struct FilledRecord {
    GcanvasItem header;
    GcanvasOutline outline;
    Tk_TSOffset tsoffset;
    XColor *fillColor, *activeFillColor, *disabledFillColor;
    Pixmap fillStipple, activeFillStipple, disabledFillStipple;
    GC fillGC;
};

class FilledShape : public CanvasFixture {
protected:
    FilledShape() : CanvasFixture(".fs", "-width 50 -height 50 -highlightthickness 0") {}

    FilledRecord r;

    void SetUp() override
    {
        CanvasFixture::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        std::memset(&r, 0, sizeof r);
        r.header.type = &gcanvasRectangleType;
        r.header.state = GCANVAS_STATE_INHERIT;
        gcanvasInitFilledShape(&r);
    }

    void TearDown() override
    {
        if (canvas != nullptr) {
            canvas->currentItem = nullptr;
            gcanvasFreeFilledShape(display, &r);
        }
        CanvasFixture::TearDown();
    }

    XColor *colour(const char *name) { return Tk_GetColor(interp, tkwin, Tk_GetUid(name)); }

    /* The words, as create passes them, and the count of coordinate
     * words taken from them (-1: refused). */
    int coordWords(const std::vector<const char *> &words)
    {
        std::vector<Tcl_Obj *> objv;
        for (const char *w : words) {
            objv.push_back(Tcl_NewStringObj(w, -1));
            Tcl_IncrRefCount(objv.back());
        }
        Tcl_ResetResult(interp);
        int n = gcanvasCornerCoordWords(interp, canvas, &r.header, static_cast<int>(objv.size()), objv.data());
        for (Tcl_Obj *o : objv) {
            Tcl_DecrRefCount(o);
        }
        return n;
    }

    XGCValues fillValues(unsigned long mask)
    {
        XGCValues v{};
        EXPECT_TRUE(XGetGCValues(display, r.fillGC, mask, &v));
        return v;
    }
};

TEST_F(FilledShape, CornerItemsTakeFourWordsOrOneList)
{
    EXPECT_EQ(coordWords({"1", "2", "3", "4"}), 4);
    EXPECT_EQ(coordWords({"1", "2", "3", "4", "-fill", "red"}), 4);
    EXPECT_EQ(coordWords({"1 2 3 4"}), 1);
    EXPECT_EQ(coordWords({"1 2 3 4", "-fill", "red"}), 1);
    const std::string usage = "wrong # args: should be \".fs create rectangle x1 y1 x2 y2 ?options?\"";
    EXPECT_EQ(coordWords({"1", "2", "3"}), -1);
    EXPECT_EQ(Tcl_GetStringResult(interp), usage);
    EXPECT_EQ(coordWords({}), -1);
    EXPECT_EQ(Tcl_GetStringResult(interp), usage);
    r.header.type = &gcanvasArcType;
    EXPECT_EQ(coordWords({"1", "2"}), -1);
    EXPECT_EQ(std::string(Tcl_GetStringResult(interp)),
              "wrong # args: should be \".fs create arc x1 y1 x2 y2 ?options?\"");
}

TEST_F(FilledShape, FillGCFollowsTheStateAndTakesTheExtraFields)
{
    XGCValues values{};
    // No colour: no fill GC.
    gcanvasSetFillGC(canvas, &r, &values);
    EXPECT_EQ(r.fillGC, nullptr);

    r.fillColor = colour("#ff0000");
    r.activeFillColor = colour("#00ff00");
    r.disabledFillColor = colour("#0000ff");
    ASSERT_NE(r.disabledFillColor, nullptr);
    gcanvasSetFillGC(canvas, &r, &values);
    ASSERT_NE(r.fillGC, nullptr);
    XGCValues v = fillValues(GCForeground | GCFillStyle);
    EXPECT_EQ(v.foreground, r.fillColor->pixel);
    EXPECT_EQ(v.fill_style, FillSolid);

    // Under the pointer the active colour; disabled, the disabled one.
    canvas->currentItem = &r.header;
    gcanvasSetFillGC(canvas, &r, &values);
    EXPECT_EQ(fillValues(GCForeground).foreground, r.activeFillColor->pixel);
    canvas->currentItem = nullptr;
    r.header.state = GCANVAS_STATE_DISABLED;
    gcanvasSetFillGC(canvas, &r, &values);
    EXPECT_EQ(fillValues(GCForeground).foreground, r.disabledFillColor->pixel);
    r.header.state = GCANVAS_STATE_INHERIT;

    // A stipple makes the fill stippled; the extra fields come along.
    r.fillStipple = Tk_GetBitmap(interp, tkwin, Tk_GetUid("gray50"));
    ASSERT_NE(r.fillStipple, None);
    values.arc_mode = ArcChord;
    gcanvasSetFillGC(canvas, &r, &values, GCArcMode);
    v = fillValues(GCForeground | GCFillStyle | GCArcMode);
    EXPECT_EQ(v.foreground, r.fillColor->pixel);
    EXPECT_EQ(v.fill_style, FillStippled);
    EXPECT_EQ(v.arc_mode, ArcChord);

    // Not wanted (an open arc): the old GC goes, none comes.
    gcanvasSetFillGC(canvas, &r, &values, GCArcMode, false);
    EXPECT_EQ(r.fillGC, nullptr);
}

TEST_F(FilledShape, ActiveOptionsMakeTheItemStateDependant)
{
    gcanvasMarkFilledStateDependant(&r);
    EXPECT_EQ(r.header.redrawFlags & GCANVAS_ITEM_STATE_DEPENDANT, 0);
    r.activeFillStipple = Tk_GetBitmap(interp, tkwin, Tk_GetUid("gray25"));
    gcanvasMarkFilledStateDependant(&r);
    EXPECT_NE(r.header.redrawFlags & GCANVAS_ITEM_STATE_DEPENDANT, 0);
    Tk_FreeBitmap(display, r.activeFillStipple);
    r.activeFillStipple = None;
    r.outline.activeWidth = 3;
    r.outline.width = 1;
    gcanvasMarkFilledStateDependant(&r);
    EXPECT_NE(r.header.redrawFlags & GCANVAS_ITEM_STATE_DEPENDANT, 0);
    r.outline.activeWidth = 1;
    gcanvasMarkFilledStateDependant(&r);
    EXPECT_EQ(r.header.redrawFlags & GCANVAS_ITEM_STATE_DEPENDANT, 0);
}

}  // namespace
