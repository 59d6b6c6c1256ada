/*
 * Shared item options and the outline pen: -tags, -dash and -smooth through
 * Tk's option machinery, dash conversion, the smooth-method registry, the
 * GC values of an outline in each state, and dashed lines as drawn.
 */
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>
#include <X11/Xutil.h>
#include "canvas/geometry.h"
#include "canvas/itemopts.h"
#include "canvas/outline.h"
#include "support/test_interp.h"
#include "tesk.h"

namespace {

/* An outlined item as the item types lay one out. */
struct TestItem {
    GcanvasItem header;
    GcanvasOutline outline;
    const GcanvasSmoothMethod *smooth;
};

Tk_ConfigSpec testSpecs[] = {
    {TK_CONFIG_CUSTOM, "-dash", nullptr, nullptr, nullptr, offsetof(TestItem, outline.dash), TK_CONFIG_NULL_OK,
     &gcanvasDashOption},
    {TK_CONFIG_CUSTOM, "-smooth", nullptr, nullptr, nullptr, offsetof(TestItem, smooth), 0, &gcanvasSmoothOption},
    {TK_CONFIG_CUSTOM, "-tags", nullptr, nullptr, nullptr, 0, TK_CONFIG_NULL_OK, &gcanvasTagsOption},
    {TK_CONFIG_END, nullptr, nullptr, nullptr, nullptr, 0, 0, nullptr},
};

void initItem(GcanvasItem *item)
{
    std::memset(item, 0, sizeof *item);
    item->tags = item->staticTagSpace;
    item->tagSpace = 3;
    item->state = GCANVAS_STATE_INHERIT;
}

class ItemOptions : public ::testing::Test {
protected:
    void SetUp() override
    {
        interp = testTkInterp();
        ASSERT_NE(interp, nullptr);
        tkwin = Tk_MainWindow(interp);
        initItem(&item.header);
        gcanvasCreateOutline(&item.outline);
        item.smooth = nullptr;
    }
    void TearDown() override
    {
        gcanvasDeleteOutline(Tk_Display(tkwin), &item.outline);
        if (item.header.tags != item.header.staticTagSpace) {
            gmemFree(item.header.tags);
        }
    }
    /* Configures one option; answers the code, the message in *message. */
    int set(const char *option, const char *value, std::string *message = nullptr)
    {
        const char *argv[2] = {option, value};
        Tcl_ResetResult(interp);
        int code = Tk_ConfigureWidget(interp, tkwin, testSpecs, 2, argv, reinterpret_cast<char *>(&item), 0);
        if (message != nullptr) {
            *message = Tcl_GetStringResult(interp);
        }
        return code;
    }
    std::string get(const char *option)
    {
        Tk_ConfigureValue(interp, tkwin, testSpecs, reinterpret_cast<char *>(&item), option, 0);
        return Tcl_GetStringResult(interp);
    }
    std::vector<int> dashBytes() const
    {
        const Tk_Dash &d = item.outline.dash;
        int n = d.number < 0 ? -d.number : d.number;
        const char *p = n > GCANVAS_DASH_INLINE ? d.pattern.pt : d.pattern.array;
        std::vector<int> out;
        for (int i = 0; i < n; i++) {
            out.push_back(static_cast<unsigned char>(p[i]));
        }
        return out;
    }

    Tcl_Interp *interp = nullptr;
    Tk_Window tkwin = nullptr;
    TestItem item;
};

TEST_F(ItemOptions, DashValuesParseStoreAndPrintBack)
{
    ASSERT_EQ(set("-dash", "6 4"), TCL_OK);
    EXPECT_EQ(item.outline.dash.number, 2);
    EXPECT_EQ(dashBytes(), (std::vector<int>{6, 4}));
    EXPECT_EQ(get("-dash"), "6 4");

    // Longer than the record's own space: an allocated array.
    ASSERT_EQ(set("-dash", "1 2 3 4 255"), TCL_OK);
    EXPECT_EQ(dashBytes(), (std::vector<int>{1, 2, 3, 4, 255}));
    EXPECT_EQ(get("-dash"), "1 2 3 4 255");

    // Character patterns are kept as typed, short or long.
    ASSERT_EQ(set("-dash", "-."), TCL_OK);
    EXPECT_EQ(item.outline.dash.number, -2);
    EXPECT_EQ(get("-dash"), "-.");
    ASSERT_EQ(set("-dash", "_ _ ,-."), TCL_OK);
    EXPECT_EQ(item.outline.dash.number, -7);
    EXPECT_EQ(get("-dash"), "_ _ ,-.");

    // Empty is solid, after an allocated pattern too.
    ASSERT_EQ(set("-dash", ""), TCL_OK);
    EXPECT_EQ(item.outline.dash.number, 0);
    EXPECT_EQ(get("-dash"), "");
}

TEST_F(ItemOptions, BadDashValuesFailAndLeaveTheLineSolid)
{
    std::string message;
    ASSERT_EQ(set("-dash", "1 2 3 4 5 6"), TCL_OK);
    EXPECT_EQ(set("-dash", "6 0", &message), TCL_ERROR);
    EXPECT_EQ(message, "expected integer in the range 1..255 but got \"0\"");
    EXPECT_EQ(item.outline.dash.number, 0);
    EXPECT_EQ(set("-dash", "256", &message), TCL_ERROR);
    EXPECT_EQ(message, "expected integer in the range 1..255 but got \"256\"");

    const std::string bad = ": must be a list of integers or a format like \"-..\"";
    EXPECT_EQ(set("-dash", "x", &message), TCL_ERROR);
    EXPECT_EQ(message, "bad dash list \"x\"" + bad);
    EXPECT_EQ(set("-dash", "-x", &message), TCL_ERROR);
    EXPECT_EQ(message, "bad dash list \"-x\"" + bad);
    EXPECT_EQ(set("-dash", "{6 4", &message), TCL_ERROR);
    EXPECT_EQ(message, "bad dash list \"{6 4\"" + bad);

    ASSERT_EQ(set("-dash", "--------"), TCL_OK);
    EXPECT_EQ(set("-dash", "1 2 3 4 5 x", &message), TCL_ERROR);
    EXPECT_EQ(item.outline.dash.number, 0);
    EXPECT_EQ(get("-dash"), "");
}

TEST(DashConvert, CharacterPatternsScaleWithTheLineWidth)
{
    char out[16];
    ASSERT_EQ(dashConvert(out, "-.", -1, 1), 4);
    EXPECT_EQ(std::vector<int>(out, out + 4), (std::vector<int>{6, 4, 2, 4}));
    ASSERT_EQ(dashConvert(out, "-.", -1, 2), 4);
    EXPECT_EQ(std::vector<int>(out, out + 4), (std::vector<int>{12, 8, 4, 8}));
    // A blank lengthens the gap before it by the width plus one.
    ASSERT_EQ(dashConvert(out, "- .", -1, 1), 4);
    EXPECT_EQ(std::vector<int>(out, out + 4), (std::vector<int>{6, 6, 2, 4}));
    ASSERT_EQ(dashConvert(out, ",_", -1, 0.2), 4);  // the width is at least 1
    EXPECT_EQ(std::vector<int>(out, out + 4), (std::vector<int>{4, 4, 8, 4}));
    // A count limits the characters read; none written without output.
    EXPECT_EQ(dashConvert(out, "-.", 1, 1), 2);
    EXPECT_EQ(dashConvert(nullptr, "-. _", -1, 1), 6);
    EXPECT_EQ(dashConvert(out, " -", -1, 1), 0);
    EXPECT_EQ(dashConvert(out, "-x", -1, 1), -1);
}

TEST(DashConvert, WideLinesHoldLengthsToOneByte)
{
    // 8 x 40 = 320 does not fit a dash byte; a length of 0 would be an X
    // protocol error, so lengths stop at 255.
    char out[4];
    ASSERT_EQ(dashConvert(out, "_ ", -1, 40), 2);
    EXPECT_EQ(static_cast<unsigned char>(out[0]), 255);
    EXPECT_EQ(static_cast<unsigned char>(out[1]), 201);  // 160 + 41
    ASSERT_EQ(dashConvert(out, ",   ", -1, 40), 2);
    EXPECT_EQ(static_cast<unsigned char>(out[1]), 255);  // 160 + 3 x 41
    ASSERT_EQ(dashConvert(out, ".", -1, 64), 2);
    EXPECT_EQ(static_cast<unsigned char>(out[0]), 128);
    EXPECT_EQ(static_cast<unsigned char>(out[1]), 255);
}

TEST_F(ItemOptions, SmoothTakesBooleansAndPrefixesOfBezier)
{
    for (const char *on : {"1", "true", "bez", "b", "bezier"}) {
        item.smooth = nullptr;
        ASSERT_EQ(set("-smooth", on), TCL_OK) << on;
        EXPECT_EQ(item.smooth, &gcanvasBezierSmoothMethod) << on;
        EXPECT_EQ(get("-smooth"), "bezier");
    }
    ASSERT_EQ(set("-smooth", "0"), TCL_OK);
    EXPECT_EQ(item.smooth, nullptr);
    EXPECT_EQ(get("-smooth"), "0");
    ASSERT_EQ(set("-smooth", "bez"), TCL_OK);
    ASSERT_EQ(set("-smooth", ""), TCL_OK);
    EXPECT_EQ(item.smooth, nullptr);

    std::string message;
    EXPECT_EQ(set("-smooth", "spline", &message), TCL_ERROR);
    EXPECT_EQ(message, "expected boolean value but got \"spline\"");
    EXPECT_EQ(gcanvasBezierSmoothMethod.coordProc, gcanvasMakeBezierCurve);
}

int fakeCoords(const GcanvasWidget *, const double *, int, int, XPoint *, double *)
{
    return 1;
}

int otherCoords(const GcanvasWidget *, const double *, int, int, XPoint *, double *)
{
    return 2;
}

TEST(SmoothRegistry, RegisteredMethodsMatchByPrefixAndLiveWithTheInterpreter)
{
    Tcl_Interp *interp = Tcl_CreateInterp();
    char nameBuffer[16] = "spline";
    GcanvasSmoothMethod spline = {nameBuffer, fakeCoords, nullptr};
    GcanvasSmoothMethod splash = {"splash", fakeCoords, nullptr};
    GcanvasSmoothMethod bogus = {"bezier2", fakeCoords, nullptr};
    ASSERT_EQ(gcanvasCreateSmoothMethod(interp, &spline), TCL_OK);
    ASSERT_EQ(gcanvasCreateSmoothMethod(interp, &splash), TCL_OK);
    ASSERT_EQ(gcanvasCreateSmoothMethod(interp, &bogus), TCL_OK);
    std::strcpy(nameBuffer, "gone");  // the registry keeps its own copy of the name

    const GcanvasSmoothMethod *slot = nullptr;
    char *rec = reinterpret_cast<char *>(&slot);
    ASSERT_EQ(gcanvasSmoothParse(nullptr, interp, nullptr, "spli", rec, 0), TCL_OK);
    ASSERT_NE(slot, nullptr);
    EXPECT_STREQ(slot->name, "spline");
    const GcanvasSmoothMethod *held = slot;

    Tcl_ResetResult(interp);
    EXPECT_EQ(gcanvasSmoothParse(nullptr, interp, nullptr, "spl", rec, 0), TCL_ERROR);
    EXPECT_STREQ(Tcl_GetStringResult(interp), "ambigeous smooth method \"spl\"");
    EXPECT_EQ(slot, held);

    // A registered name comes before the built-in one; a boolean before both.
    ASSERT_EQ(gcanvasSmoothParse(nullptr, interp, nullptr, "bez", rec, 0), TCL_OK);
    EXPECT_STREQ(slot->name, "bezier2");
    ASSERT_EQ(gcanvasSmoothParse(nullptr, interp, nullptr, "yes", rec, 0), TCL_OK);
    EXPECT_EQ(slot, &gcanvasBezierSmoothMethod);

    // Registering a name again replaces its procedures; an item that holds
    // the method keeps a valid record.
    GcanvasSmoothMethod again = {"spline", otherCoords, nullptr};
    ASSERT_EQ(gcanvasCreateSmoothMethod(interp, &again), TCL_OK);
    EXPECT_STREQ(held->name, "spline");
    EXPECT_EQ(held->coordProc, otherCoords);
    ASSERT_EQ(gcanvasSmoothParse(nullptr, interp, nullptr, "spline", rec, 0), TCL_OK);
    EXPECT_EQ(slot, held);
    Tcl_FreeProc *freeProc = nullptr;
    EXPECT_STREQ(gcanvasSmoothPrint(nullptr, nullptr, rec, 0, &freeProc), "spline");

    GcanvasSmoothMethod unnamed = {nullptr, fakeCoords, nullptr};
    EXPECT_EQ(gcanvasCreateSmoothMethod(interp, &unnamed), TCL_ERROR);
    Tcl_DeleteInterp(interp);
}

TEST_F(ItemOptions, TagsGrowTheirSpaceAndPrintBackPlainly)
{
    ASSERT_EQ(set("-tags", "a b"), TCL_OK);
    EXPECT_EQ(item.header.tags, item.header.staticTagSpace);
    EXPECT_EQ(item.header.numTags, 2);
    EXPECT_EQ(get("-tags"), "a b");

    ASSERT_EQ(set("-tags", "road {main road} x y"), TCL_OK);
    EXPECT_NE(item.header.tags, item.header.staticTagSpace);
    EXPECT_EQ(item.header.tagSpace, 4);
    EXPECT_EQ(item.header.numTags, 4);
    EXPECT_EQ(item.header.tags[1], Tk_GetUid("main road"));
    EXPECT_EQ(get("-tags"), "road {main road} x y");

    // Growing an allocated array again, then shrinking into it.
    ASSERT_EQ(set("-tags", "1 2 3 4 5 6"), TCL_OK);
    EXPECT_EQ(item.header.tagSpace, 6);
    ASSERT_EQ(set("-tags", "{main road}"), TCL_OK);
    EXPECT_EQ(item.header.tagSpace, 6);
    EXPECT_EQ(item.header.numTags, 1);
    EXPECT_EQ(get("-tags"), "main road");
    ASSERT_EQ(set("-tags", ""), TCL_OK);
    EXPECT_EQ(get("-tags"), "");

    ASSERT_EQ(set("-tags", "keep"), TCL_OK);
    std::string message;
    EXPECT_EQ(set("-tags", "a {b", &message), TCL_ERROR);
    EXPECT_EQ(message, "unmatched open brace in list");
    EXPECT_EQ(item.header.numTags, 1);
    EXPECT_EQ(item.header.tags[0], Tk_GetUid("keep"));
}

/* An outlined item on a canvas of the test interpreter's main window. */
class OutlinePen : public ::testing::Test {
protected:
    void SetUp() override
    {
        interp = testTkInterp();
        ASSERT_NE(interp, nullptr);
        std::memset(&canvas, 0, sizeof canvas);
        canvas.tkwin = Tk_MainWindow(interp);
        canvas.display = Tk_Display(canvas.tkwin);
        canvas.interp = interp;
        canvas.mx = canvas.my = 1;
        canvas.canvasState = GCANVAS_STATE_NORMAL;
        initItem(&item);
        gcanvasCreateOutline(&outline);
    }
    void TearDown() override
    {
        gcanvasDeleteOutline(canvas.display, &outline);
        if (pixmap != None) {
            XFreePixmap(canvas.display, pixmap);
        }
    }
    XColor *colour(const char *name) { return Tk_GetColor(interp, canvas.tkwin, name); }
    void dash(Tk_Dash *d, const char *value) { ASSERT_EQ(gcanvasGetDash(interp, value, d), TCL_OK); }
    /* The outline's GC as an item's configure procedure makes it. */
    void makeGC()
    {
        XGCValues values;
        unsigned long mask = gcanvasConfigOutlineGC(&values, &canvas, &item, &outline);
        ASSERT_NE(mask, 0u);
        if (outline.gc != None) {
            gcanvasFreeGC(canvas.display, outline.gc);
        }
        outline.gc = gcanvasGetGC(canvas.tkwin, mask, &values);
    }
    /* Draws the horizontal line y = 5 from x = 0 to 59 on white, as a display
     * procedure does; answers the pixels of row 5. */
    std::vector<unsigned long> drawRow()
    {
        const int w = 60, h = 12;
        if (pixmap == None) {
            pixmap = XCreatePixmap(canvas.display, RootWindow(canvas.display, Tk_ScreenNumber(canvas.tkwin)), w, h,
                                   Tk_Depth(canvas.tkwin));
        }
        GC fill = XCreateGC(canvas.display, pixmap, 0, nullptr);
        XSetForeground(canvas.display, fill, WhitePixelOfScreen(Tk_Screen(canvas.tkwin)));
        XFillRectangle(canvas.display, pixmap, fill, 0, 0, w, h);
        XFreeGC(canvas.display, fill);
        gcanvasChangeOutlineGC(&canvas, &item, &outline);
        XDrawLine(canvas.display, pixmap, outline.gc, 0, 5, w - 1, 5);
        gcanvasResetOutlineGC(&canvas, &item, &outline);
        XImage *image = XGetImage(canvas.display, pixmap, 0, 0, w, h, AllPlanes, ZPixmap);
        std::vector<unsigned long> row;
        for (int x = 0; x < w; x++) {
            row.push_back(XGetPixel(image, x, 5));
        }
        XDestroyImage(image);
        return row;
    }
    /* Run lengths of a row: pairs of pixel value and count, the last run
     * dropped (cut by the end of the line). */
    static std::vector<std::pair<unsigned long, int>> runs(const std::vector<unsigned long> &row)
    {
        std::vector<std::pair<unsigned long, int>> out;
        for (unsigned long p : row) {
            if (!out.empty() && out.back().first == p) {
                out.back().second++;
            } else {
                out.emplace_back(p, 1);
            }
        }
        out.pop_back();
        return out;
    }
    unsigned long white() const { return WhitePixelOfScreen(Tk_Screen(canvas.tkwin)); }

    Tcl_Interp *interp = nullptr;
    GcanvasWidget canvas;
    GcanvasItem item;
    GcanvasOutline outline;
    Pixmap pixmap = None;
};

TEST_F(OutlinePen, GCValuesFollowWidthColourStippleAndDash)
{
    XGCValues v;
    EXPECT_EQ(gcanvasConfigOutlineGC(&v, &canvas, &item, &outline), 0u);  // no colour
    outline.color = colour("black");
    outline.width = 0.2;
    outline.activeWidth = -3;
    ASSERT_EQ(gcanvasConfigOutlineGC(&v, &canvas, &item, &outline),
              static_cast<unsigned long>(GCForeground | GCLineWidth));
    EXPECT_EQ(v.line_width, 1);  // raised to 1
    EXPECT_EQ(v.foreground, outline.color->pixel);
    EXPECT_EQ(outline.activeWidth, 0);

    outline.width = 2.5;
    outline.stipple = Tk_GetBitmap(interp, canvas.tkwin, "gray50");
    dash(&outline.dash, "7");
    unsigned long mask = gcanvasConfigOutlineGC(&v, &canvas, &item, &outline);
    EXPECT_EQ(mask, static_cast<unsigned long>(GCForeground | GCLineWidth | GCStipple | GCFillStyle | GCLineStyle |
                                               GCDashList | GCDashOffset));
    EXPECT_EQ(v.line_width, 3);
    EXPECT_EQ(v.stipple, outline.stipple);
    EXPECT_EQ(v.fill_style, FillStippled);
    EXPECT_EQ(v.line_style, LineOnOffDash);
    EXPECT_EQ(v.dashes, 7);

    // The gaps of a dashed outline with a background are drawn in it.
    outline.background = colour("red");
    outline.offset = 3;
    dash(&outline.dash, "6 4 2");
    mask = gcanvasConfigOutlineGC(&v, &canvas, &item, &outline);
    EXPECT_TRUE(mask & GCBackground);
    EXPECT_EQ(v.background, outline.background->pixel);
    EXPECT_EQ(v.line_style, LineDoubleDash);
    EXPECT_EQ(v.dash_offset, 3);
    EXPECT_EQ(v.dashes, 4);
    // An equal pair is drawn from the GC values alone: they hold its length.
    dash(&outline.dash, "5 5");
    gcanvasConfigOutlineGC(&v, &canvas, &item, &outline);
    EXPECT_EQ(v.dashes, 5);
    dash(&outline.dash, "_.");
    gcanvasConfigOutlineGC(&v, &canvas, &item, &outline);
    EXPECT_EQ(v.dashes, 10);  // 4 x 2.5
    outline.width = 100;
    gcanvasConfigOutlineGC(&v, &canvas, &item, &outline);
    EXPECT_EQ(static_cast<unsigned char>(v.dashes), 255);

    item.state = GCANVAS_STATE_HIDDEN;
    EXPECT_EQ(gcanvasConfigOutlineGC(&v, &canvas, &item, &outline), 0u);
}

TEST_F(OutlinePen, ActiveAndDisabledValuesReplaceTheNormalOnes)
{
    XGCValues v;
    outline.color = colour("black");
    outline.activeColor = colour("blue");
    outline.disabledColor = colour("gray");
    outline.width = 4;
    outline.activeWidth = 3;  // not larger: the width stays
    outline.disabledWidth = 2;
    dash(&outline.activeDash, "2");

    canvas.currentItem = &item;
    gcanvasConfigOutlineGC(&v, &canvas, &item, &outline);
    EXPECT_EQ(v.line_width, 4);
    EXPECT_EQ(v.foreground, outline.activeColor->pixel);
    EXPECT_EQ(v.dashes, 2);
    outline.activeWidth = 6;
    gcanvasConfigOutlineGC(&v, &canvas, &item, &outline);
    EXPECT_EQ(v.line_width, 6);

    // Disabled through the canvas's state while the item's is unset.
    canvas.currentItem = nullptr;
    canvas.canvasState = GCANVAS_STATE_DISABLED;
    unsigned long mask = gcanvasConfigOutlineGC(&v, &canvas, &item, &outline);
    EXPECT_EQ(v.line_width, 2);
    EXPECT_EQ(v.foreground, outline.disabledColor->pixel);
    EXPECT_FALSE(mask & GCDashList);
    item.state = GCANVAS_STATE_NORMAL;
    gcanvasConfigOutlineGC(&v, &canvas, &item, &outline);
    EXPECT_EQ(v.foreground, outline.color->pixel);
}

TEST_F(OutlinePen, DashedLinesDrawTheirListsAndCharacterPatterns)
{
    outline.color = colour("black");
    unsigned long black = outline.color->pixel;
    using Runs = std::vector<std::pair<unsigned long, int>>;

    dash(&outline.dash, "6 4");
    makeGC();
    EXPECT_EQ(runs(drawRow()), (Runs{{black, 6},
                                     {white(), 4},
                                     {black, 6},
                                     {white(), 4},
                                     {black, 6},
                                     {white(), 4},
                                     {black, 6},
                                     {white(), 4},
                                     {black, 6},
                                     {white(), 4},
                                     {black, 6}}));
    // After drawing the GC holds the first length alone.
    XDrawLine(canvas.display, pixmap, outline.gc, 0, 7, 59, 7);
    XImage *image = XGetImage(canvas.display, pixmap, 0, 7, 20, 1, AllPlanes, ZPixmap);
    std::vector<unsigned long> after;
    for (int x = 0; x < 20; x++) {
        after.push_back(XGetPixel(image, x, 0));
    }
    XDestroyImage(image);
    EXPECT_EQ(runs(after), (Runs{{black, 6}, {white(), 6}, {black, 6}}));

    dash(&outline.dash, "5 5");
    makeGC();
    Runs fives = runs(drawRow());
    ASSERT_GE(fives.size(), 4u);
    EXPECT_EQ(Runs(fives.begin(), fives.begin() + 4), (Runs{{black, 5}, {white(), 5}, {black, 5}, {white(), 5}}));

    dash(&outline.dash, "-.");
    makeGC();
    Runs chars = runs(drawRow());
    ASSERT_GE(chars.size(), 4u);
    EXPECT_EQ(Runs(chars.begin(), chars.begin() + 4), (Runs{{black, 6}, {white(), 4}, {black, 2}, {white(), 4}}));
}

TEST_F(OutlinePen, ABackgroundFillsTheGapsOfADashedLine)
{
    outline.color = colour("black");
    outline.background = colour("red");
    unsigned long black = outline.color->pixel, red = outline.background->pixel;
    using Runs = std::vector<std::pair<unsigned long, int>>;
    dash(&outline.dash, "6 4");
    makeGC();
    Runs got = runs(drawRow());
    ASSERT_GE(got.size(), 4u);
    EXPECT_EQ(Runs(got.begin(), got.begin() + 4), (Runs{{black, 6}, {red, 4}, {black, 6}, {red, 4}}));
    for (auto &run : got) {
        EXPECT_NE(run.first, white());
    }
}

TEST_F(OutlinePen, StippleOriginFollowsTheOffsetAndIsPutBack)
{
    outline.color = colour("black");
    outline.stipple = Tk_GetBitmap(interp, canvas.tkwin, "gray50");
    int sw = 0, sh = 0;
    Tk_SizeOfBitmap(canvas.display, outline.stipple, &sw, &sh);
    ASSERT_GT(sw, 1);
    makeGC();
    canvas.drawableXOrigin = 100;
    canvas.drawableYOrigin = 50;
    outline.tsoffset.flags = TK_OFFSET_CENTER | TK_OFFSET_MIDDLE;
    outline.tsoffset.xoffset = 3;
    outline.tsoffset.yoffset = 4;

    ASSERT_EQ(gcanvasChangeOutlineGC(&canvas, &item, &outline), 1);
    XGCValues v;
    XGetGCValues(canvas.display, outline.gc, GCTileStipXOrigin | GCTileStipYOrigin, &v);
    EXPECT_EQ(v.ts_x_origin, -100 + 3 - sw / 2);
    EXPECT_EQ(v.ts_y_origin, -50 + 4 - sh / 2);
    EXPECT_EQ(outline.tsoffset.xoffset, 3);  // restored in the record
    EXPECT_EQ(outline.tsoffset.yoffset, 4);

    // An index offset is used as it stands.
    outline.tsoffset.flags = TK_OFFSET_INDEX | TK_OFFSET_CENTER;
    gcanvasChangeOutlineGC(&canvas, &item, &outline);
    XGetGCValues(canvas.display, outline.gc, GCTileStipXOrigin | GCTileStipYOrigin, &v);
    EXPECT_EQ(v.ts_x_origin, -97);

    ASSERT_EQ(gcanvasResetOutlineGC(&canvas, &item, &outline), 1);
    XGetGCValues(canvas.display, outline.gc, GCTileStipXOrigin | GCTileStipYOrigin, &v);
    EXPECT_EQ(v.ts_x_origin, 0);
    EXPECT_EQ(v.ts_y_origin, 0);

    // Without a colour nothing is drawn and the GC is left alone.
    XColor *kept = outline.color;
    outline.color = nullptr;
    EXPECT_EQ(gcanvasChangeOutlineGC(&canvas, &item, &outline), 0);
    EXPECT_EQ(gcanvasResetOutlineGC(&canvas, &item, &outline), 0);
    outline.color = kept;
}

}  // namespace
