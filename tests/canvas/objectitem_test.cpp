/*
 * The object item of the geo canvas on SHAPE objects made in memory: what
 * it draws (rings with holes and islands under a flipped y axis, lines,
 * symbols, far zooms), its box, hit tests and measures, and its hold on
 * the object when the object changes, loses its command or is replaced.
 */
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>
#include <X11/Xutil.h>
#include "canvas/canvasapi.h"
#include "canvas/canvasint.h"
#include "geo/shaperec.h"
#include "runtime/startup.h"
#include "canvasfixture.h"
#include "support/test_interp.h"
#include "tesk.h"

namespace {

int shapeTestCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char **argv)
{
    int code = objDefCommand(static_cast<RAMOBJ *>(clientData), interp, argc, argv);
    if (code != TCL_CONTINUE) {
        return code;
    }
    Tcl_SetResult(interp, const_cast<char *>("no such subcommand"), TCL_STATIC);
    return TCL_ERROR;
}

const RamObjKind kShapeKind = {
    RAMOBJ_SHAPE, shapeObjCount, nullptr,      shapeObjClass,    shapeObjClone, shapeObjSave,
    shapeObjLoad, shapeObjFree,  shapeTestCmd, shapeObjModified, &shapeOps,
};

/* A kind that is an object but not a shape layer. */
const RamObjKind kOtherKind = {
    RAMOBJ_STATS, shapeObjCount, nullptr,      shapeObjClass, nullptr, nullptr,
    nullptr,      shapeObjFree,  shapeTestCmd, nullptr,       nullptr,
};

/* Rings of one polygon record: outer square 0..60 (clockwise with y up),
 * a hole 15..45 and an island 25..35 in the hole. */
const std::vector<double> kHoled = {0,  0,  0,  60, 60, 60, 60, 0,  0,  0,  15, 15, 45, 15, 45,
                                    45, 15, 45, 15, 15, 25, 25, 25, 35, 35, 35, 35, 25, 25, 25};
const std::vector<int> kHoledParts = {5, 5, 5};

// World x 0..60 is canvas 10..130; world y 0..60 is canvas 130..10.
class ObjectItemTest : public CanvasFixture {
protected:
    ObjectItemTest()
        : CanvasFixture(".oc",
                        "-width 160 -height 160 -highlightthickness 0 -background white -mx 2 -my -2 "
                        "-viewxorigin -5 -viewyorigin 65",
                        true)
    {}

    void TearDown() override
    {
        CanvasFixture::TearDown();
        testEval(interp, "foreach c {poly poly2 lines pts other bent} {catch {rename $c {}}}");
    }

    /* A SHAPE object command of the given shape type with no records. */
    RAMOBJ *makeShape(const char *name, int shapeType, const RamObjKind &kind = kShapeKind)
    {
        const char *argv[] = {"shape.make", name};
        EXPECT_EQ(objCreate(interp, &kind, 2, argv), TCL_OK) << Tcl_GetStringResult(interp);
        Tcl_CmdInfo info;
        EXPECT_TRUE(Tcl_GetCommandInfo(interp, name, &info));
        auto *obj = static_cast<RAMOBJ *>(info.clientData);
        obj->payload = newShapeFile(shapeType, nullptr, nullptr, 0);
        return obj;
    }

    static ShapeFile *set(RAMOBJ *obj) { return static_cast<ShapeFile *>(obj->payload); }

    static void add(RAMOBJ *obj, const std::vector<double> &xy, const std::vector<int> &parts = {})
    {
        ASSERT_NE(appendShapeRecord(set(obj), 0, xy.data(), static_cast<int>(xy.size() / 2),
                                    parts.empty() ? nullptr : parts.data(), static_cast<int>(parts.size()), nullptr,
                                    nullptr, nullptr),
                  nullptr);
    }

    GcanvasItem *item(int id) { return gcanvasItemById(canvas, id); }

    /* The canvas's items drawn over white into a 160 x 160 pixmap, canvas
     * point (0, 0) at its top-left. */
    XImage *render()
    {
        Pixmap pixmap = Tk_GetPixmap(display, Tk_WindowId(tkwin), 160, 160, Tk_Depth(tkwin));
        XFillRectangle(display, pixmap, gcanvasBackgroundGC(canvas), 0, 0, 160, 160);
        gcanvasDrawRegion(canvas, pixmap, 0, 0, 160, 160, 0, 0);
        XImage *image = XGetImage(display, pixmap, 0, 0, 160, 160, AllPlanes, ZPixmap);
        Tk_FreePixmap(display, pixmap);
        return image;
    }

    unsigned long colour(const char *name)
    {
        XColor *c = Tk_GetColor(interp, tkwin, name);
        unsigned long pixel = c->pixel;
        Tk_FreeColor(c);
        return pixel;
    }

    /* Canvas units of a world point. */
    std::vector<double> at(double x, double y) const
    {
        return {x * canvas->mx - canvas->xOffset, y * canvas->my - canvas->yOffset};
    }
};

TEST_F(ObjectItemTest, HoleStaysEmptyAndIslandIsFilledUnderAFlippedYAxis)
{
    RAMOBJ *poly = makeShape("poly", SHP_POLYGON);
    add(poly, kHoled, kHoledParts);
    add(poly, {70, 0, 70, 10, 78, 10, 78, 0, 70, 0});
    shapeUnselect(set(poly), 1);
    eval(".oc create object 0 0 -object poly -fill black -outline {}");
    XImage *image = render();
    ASSERT_NE(image, nullptr);
    unsigned long black = colour("black"), white = colour("white");
    // Canvas (x, y) of world (x, y): (2x + 10, 130 - 2y).
    EXPECT_EQ(XGetPixel(image, 20, 120), black);   // world (5, 5): between outer ring and hole
    EXPECT_EQ(XGetPixel(image, 50, 90), white);    // world (20, 20): in the hole
    EXPECT_EQ(XGetPixel(image, 70, 70), black);    // world (30, 30): on the island
    EXPECT_EQ(XGetPixel(image, 120, 20), black);   // world (55, 55)
    EXPECT_EQ(XGetPixel(image, 5, 70), white);     // left of the outer ring
    EXPECT_EQ(XGetPixel(image, 158, 120), white);  // world (74, 5): the unselected record
    XDestroyImage(image);

    // Selected, the second record shows; moved, the whole object follows.
    shapeSelect(set(poly), 1);
    objUpdate(poly);
    eval(".oc move 1 -5 0");
    image = render();
    EXPECT_EQ(XGetPixel(image, 148, 120), black);  // world (69, 5): the second record, moved
    EXPECT_EQ(XGetPixel(image, 24, 90), black);    // world (7, 20): left of the moved hole
    EXPECT_EQ(XGetPixel(image, 40, 90), white);    // world (15, 20): in the moved hole
    EXPECT_EQ(XGetPixel(image, 60, 70), black);    // world (25, 30): on the moved island
    XDestroyImage(image);
}

TEST_F(ObjectItemTest, RingsOfThreePointsFillAsTrianglesAloneAndAsHoles)
{
    // Records as a shape file may hold them: rings of three points, not
    // closed. A lone triangle, and a box with a triangular hole.
    RAMOBJ *poly = makeShape("poly", SHP_POLYGON);
    add(poly, {0, 0, 10, 0, 0, 20});
    add(poly, {20, 0, 20, 30, 50, 30, 50, 0, 20, 0, 25, 5, 40, 5, 25, 25}, {5, 3});
    eval(".oc create object 0 0 -object poly -fill black -outline {}");
    XImage *image = render();
    ASSERT_NE(image, nullptr);
    // In canvas units the triangle is (10, 130), (30, 130), (10, 90), the
    // box 50..110 by 70..130 and the hole (60, 120), (90, 120), (60, 80).
    // By X's pixel rule pixel (x, y) is filled when the point (x, y) is
    // inside, or on an edge with the inside to its right (below, for a
    // horizontal edge).
    auto inside = [](int x, int y) {
        bool triangle = x >= 10 && y < 130 && 2 * x - y < -70;
        bool box = x >= 50 && x < 110 && y >= 70 && y < 130;
        bool hole = x >= 60 && y < 120 && 4 * x - 3 * y < 0;
        return triangle || (box && !hole);
    };
    unsigned long black = colour("black");
    std::string want, got;
    for (int y = 60; y < 140; y++) {
        for (int x = 0; x < 120; x++) {
            want += inside(x, y) ? '#' : '.';
            got += XGetPixel(image, x, y) == black ? '#' : '.';
        }
        want += '\n';
        got += '\n';
    }
    XDestroyImage(image);
    EXPECT_EQ(got, want);
}

TEST_F(ObjectItemTest, OutlinedRingsLinesAndSymbols)
{
    RAMOBJ *lines = makeShape("lines", SHP_POLYLINE);
    add(lines, {0, 10, 60, 10, 60, 50});
    RAMOBJ *pts = makeShape("pts", SHP_MULTIPOINT);
    add(pts, {10, 40, 30, 40});
    eval(".oc create object 0 0 -object lines -outline #0000ff -width 3");
    eval(".oc create object 0 0 -object pts -fill #00ff00 -outline {} -symboltype rectangle -markercolor #ff0000");
    XImage *image = render();
    unsigned long blue = colour("#0000ff"), green = colour("#00ff00"), red = colour("#ff0000");
    // The line at world y 10 is canvas row 110, three pixels wide.
    EXPECT_EQ(XGetPixel(image, 60, 110), blue);
    EXPECT_EQ(XGetPixel(image, 60, 109), blue);
    EXPECT_EQ(XGetPixel(image, 60, 114), colour("white"));
    EXPECT_EQ(XGetPixel(image, 130, 60), blue);  // the second segment: world (60, 35)
    // Symbols 10 pixels square at canvas (30, 50) and (70, 50), a red
    // marker pixel in the middle of each.
    EXPECT_EQ(XGetPixel(image, 30, 50), red);
    EXPECT_EQ(XGetPixel(image, 70, 50), red);
    EXPECT_EQ(XGetPixel(image, 27, 47), green);
    EXPECT_EQ(XGetPixel(image, 73, 54), green);
    EXPECT_EQ(XGetPixel(image, 50, 50), colour("white"));
    XDestroyImage(image);
}

TEST_F(ObjectItemTest, FarZoomsClipInsteadOfBendingEdges)
{
    // A triangle whose long edge x + 2y = 120 passes 10000 times magnified
    // through the view; its corners lie far past 16-bit coordinates, where
    // clamping them would turn the edge to 45 degrees.
    testEval(interp, ".oc configure -mx 10000 -my -10000 -viewxorigin 59.995 -viewyorigin 30.005");
    RAMOBJ *poly = makeShape("poly", SHP_POLYGON);
    add(poly, {0, 0, 0, 60, 120, 0, 0, 0});
    eval(".oc create object 0 0 -object poly -fill black -outline {}");
    XImage *image = render();
    ASSERT_NE(image, nullptr);
    // Canvas (c, r) shows world (59.995 + c / 10000, 30.005 - r / 10000):
    // inside when c < 2r - 50.
    int checked = 0;
    for (int c = 5; c < 160; c += 15) {
        for (int r = 5; r < 160; r += 15) {
            double edge = 2.0 * r - 50;
            if (std::fabs(c - edge) > 2) {
                EXPECT_EQ(XGetPixel(image, c, r), c < edge ? colour("black") : colour("white")) << c << " " << r;
                checked++;
            }
        }
    }
    EXPECT_GT(checked, 90);
    XDestroyImage(image);
    // The hit tests agree.
    double inside[2] = {100, 80}, outside[2] = {100, 60};
    EXPECT_EQ(item(1)->type->pointProc(canvas, item(1), inside), 0);
    EXPECT_GT(item(1)->type->pointProc(canvas, item(1), outside), 0);
}

TEST_F(ObjectItemTest, BoxFollowsRecordsTranslationAndObject)
{
    RAMOBJ *poly = makeShape("poly", SHP_POLYGON);
    add(poly, kHoled, kHoledParts);
    eval(".oc create object 10 20 -object poly -width 2");
    GcanvasItem *it = item(1);
    // World box 10..70 x 20..80; canvas x 2x + 10, y 130 - 2y; width 2.
    EXPECT_DOUBLE_EQ(it->x1, 30 - 2);
    EXPECT_DOUBLE_EQ(it->x2, 150 + 2);
    EXPECT_DOUBLE_EQ(it->y1, -30 - 2);
    EXPECT_DOUBLE_EQ(it->y2, 90 + 2);
    EXPECT_EQ(eval(".oc coords 1"), "10.0 20.0");

    // Point objects widen by half a symbol.
    RAMOBJ *pts = makeShape("pts", SHP_POINT);
    add(pts, {5, 5});
    eval(".oc create object 0 0 -object pts -outline {} -symbolxsize 8 -symbolysize 6");
    EXPECT_NEAR(item(2)->x1, 20 - 5, 1e-9);
    EXPECT_NEAR(item(2)->y2, 120 + 4, 1e-9);

    // No object, an empty one, an empty -object: -1 -1 -1 -1.
    eval(".oc create object 0 0");
    RAMOBJ *poly2 = makeShape("poly2", SHP_POLYGON);
    eval(".oc create object 0 0 -object poly2");
    for (int id : {3, 4}) {
        EXPECT_EQ(item(id)->x1, -1);
        EXPECT_EQ(item(id)->y2, -1);
    }
    EXPECT_EQ(poly2->useCount, 1);
    eval(".oc itemconfigure 4 -object {}");
    EXPECT_EQ(poly2->useCount, 0);
    EXPECT_EQ(eval(".oc itemcget 4 -object"), "");
    eval(".oc itemconfigure 1 -state hidden");
    EXPECT_EQ(it->x1, -1);
}

TEST_F(ObjectItemTest, AChangedObjectRedrawsOldAndNewAreas)
{
    RAMOBJ *poly = makeShape("poly", SHP_POLYGON);
    add(poly, {0, 0, 0, 10, 10, 10, 10, 0, 0, 0});
    poly->update = 0;  // no event handling inside objUpdate: the redraw waits for idle time
    eval(".oc create object 0 0 -object poly -fill black; update");
    GcanvasItem *it = item(1);
    double before = it->x2;
    double moved[10] = {40, 0, 40, 10, 50, 10, 50, 0, 40, 0};
    shapeSetPoints(shapeRecordAt(set(poly), 0), moved, 0, 5);
    objUpdate(poly);
    EXPECT_NE(canvas->flags & GCANVAS_REDRAW_PENDING, 0);
    EXPECT_GT(it->x2, before + 70);
    long renders = gcanvasRedrawLog()->renders;
    eval("update");
    EXPECT_GT(gcanvasRedrawLog()->renders, renders);
    // The area rendered reaches from the old place to the new one.
    const int *area = gcanvasRedrawLog()->lastArea;
    EXPECT_LE(area[0], 10);
    EXPECT_GE(area[2], 110);
}

TEST_F(ObjectItemTest, HoldOnTheObjectThroughCommandLossAndReplacement)
{
    RAMOBJ *poly = makeShape("poly", SHP_POLYGON);
    add(poly, kHoled, kHoledParts);
    RAMOBJ *poly2 = makeShape("poly2", SHP_POLYGON);
    add(poly2, {0, 0, 0, 5, 5, 5, 5, 0, 0, 0});
    eval(".oc create object 0 0 -object poly -fill red");
    EXPECT_EQ(poly->useCount, 1);
    ASSERT_NE(poly->listeners, nullptr);

    // Names that are no shape layer keep the previous object.
    makeShape("other", SHP_POLYGON, kOtherKind);
    for (const char *name : {"nosuch", "set", "other"}) {
        EXPECT_EQ(eval(std::string(".oc itemconfigure 1 -object ") + name, TCL_ERROR), "Invalid object!");
        EXPECT_EQ(eval(".oc itemcget 1 -object"), "poly");
    }
    // A failing option after -object keeps name and object together.
    eval(".oc itemconfigure 1 -object poly2 -fill nocolour", TCL_ERROR);
    EXPECT_EQ(eval(".oc itemcget 1 -object"), "poly");
    EXPECT_EQ(poly2->useCount, 0);
    // Another object: the first is let go.
    eval(".oc itemconfigure 1 -object poly2");
    EXPECT_EQ(poly->useCount, 0);
    EXPECT_EQ(poly->listeners, nullptr);
    EXPECT_EQ(poly2->useCount, 1);
    eval(".oc itemconfigure 1 -object poly");

    // The command goes while the item shows the object: the item keeps
    // drawing and testing it, and frees it when deleted.
    eval("rename poly {}");
    XImage *image = render();
    EXPECT_EQ(XGetPixel(image, 20, 120), colour("red"));
    XDestroyImage(image);
    double p[2] = {20, 120};
    EXPECT_EQ(item(1)->type->pointProc(canvas, item(1), p), 0);
    eval(".oc delete 1");  // the last use: freed here (the leak check sees it)

    // Item first, command after.
    eval(".oc create object 0 0 -object poly2; .oc delete 2");
    EXPECT_EQ(poly2->useCount, 0);
    eval("rename poly2 {}");

    // An object older than the layer's version is refused with a word on
    // standard error.
    RAMOBJ *pts = makeShape("pts", SHP_POINT);
    pts->version = RAMOBJ_VERSION - 1;
    Tcl_Interp *console = setConsoleInterp(interp);
    testEval(interp, "set ::err {}; proc tkConsoleOutput {stream text} {append ::err $text}");
    setTkConsoleFlag(true);
    EXPECT_EQ(eval(".oc create object 0 0 -object pts", TCL_ERROR), "Invalid object!");
    setTkConsoleFlag(false);
    setConsoleInterp(console);
    EXPECT_EQ(testEval(interp, "set ::err"), "RAMOBJ version 0x100 or higher is required\n");
    EXPECT_EQ(pts->useCount, 0);
    EXPECT_EQ(pts->listeners, nullptr);

    // A canvas destroyed with its items lets go of their objects.
    RAMOBJ *lines = makeShape("lines", SHP_POLYLINE);
    eval(".oc create object 0 0 -object lines");
    EXPECT_EQ(lines->useCount, 1);
    eval("destroy .oc");
    EXPECT_EQ(lines->useCount, 0);
}

TEST_F(ObjectItemTest, PointTestsFollowTheEvenOddRule)
{
    RAMOBJ *poly = makeShape("poly", SHP_POLYGON);
    add(poly, kHoled, kHoledParts);
    eval(".oc create object 0 0 -object poly -fill black -outline {}");
    GcanvasItem *it = item(1);
    auto distance = [&](double x, double y) {
        std::vector<double> p = at(x, y);
        return it->type->pointProc(canvas, it, p.data());
    };
    EXPECT_EQ(distance(5, 5), 0);
    EXPECT_EQ(distance(30, 30), 0);  // island
    // In the hole at world (18, 40): 3 world units (6 pixels) from its
    // left edge, the nearest.
    EXPECT_NEAR(distance(18, 40), 6, 1e-9);
    EXPECT_NEAR(distance(-10, 30), 20, 1e-9);  // left of the outer ring
    EXPECT_EQ(it->type->getComponentProc(it), 0);
    // An outline widens the rings by half its width.
    eval(".oc itemconfigure 1 -outline black -width 4");
    EXPECT_NEAR(distance(18, 40), 4, 1e-9);
    EXPECT_NEAR(distance(65, 30), 8, 1e-9);

    // Unselected records are not hit.
    shapeUnselect(set(poly), 0);
    EXPECT_EQ(distance(5, 5), std::numeric_limits<double>::infinity());
    EXPECT_EQ(it->type->getComponentProc(it), -1);

    // Of two records, the one nearer; the translation applies.
    shapeSelect(set(poly), 0);
    add(poly, {100, 0, 100, 10, 110, 10, 110, 0, 100, 0});
    eval(".oc itemconfigure 1 -outline {}; .oc coords 1 -50 0");
    EXPECT_NEAR(distance(62, 5), 2 * 2, 1e-9);  // record 1 now at x 50..60
    EXPECT_EQ(it->type->getComponentProc(it), 1);
    EXPECT_NEAR(distance(-55, 5), 10, 1e-9);
    EXPECT_EQ(it->type->getComponentProc(it), 0);
}

TEST_F(ObjectItemTest, LineAndSymbolHits)
{
    RAMOBJ *lines = makeShape("lines", SHP_POLYLINE);
    add(lines, {0, 10, 60, 10, 0, 30, 60, 30}, {2, 2});
    eval(".oc create object 0 0 -object lines -width 5");
    GcanvasItem *it = item(1);
    auto distance = [&](GcanvasItem *i, double x, double y) {
        std::vector<double> p = at(x, y);
        return i->type->pointProc(canvas, i, p.data());
    };
    EXPECT_EQ(distance(it, 30, 11), 0);  // 2 pixels off the line: inside its 5
    EXPECT_NEAR(distance(it, 30, 15), 10 - 2.5, 1e-9);
    EXPECT_NEAR(distance(it, 30, 26), 8 - 2.5, 1e-9);  // the second part
    // Past the end: round ends.
    EXPECT_NEAR(distance(it, 63, 10), 6 - 2.5, 1e-9);

    // Smoothed, the line leaves its corner: the curve of (0, 10) (30, 40)
    // (60, 10) is at y 25 half way.
    RAMOBJ *bent = makeShape("bent", SHP_POLYLINE);
    add(bent, {0, 10, 30, 40, 60, 10});
    eval(".oc create object 0 0 -object bent -width 1 -smooth bezier -outline black");
    EXPECT_NEAR(distance(item(2), 30, 40), 30 - 0.5, 1.0);
    EXPECT_EQ(distance(item(2), 30, 25), 0);
    XImage *image = render();
    EXPECT_EQ(XGetPixel(image, 70, 80), colour("black"));  // world (30, 25)
    EXPECT_EQ(XGetPixel(image, 70, 50), colour("white"));  // world (30, 40)
    XDestroyImage(image);
    eval(".oc delete 2");

    RAMOBJ *pts = makeShape("pts", SHP_MULTIPOINT);
    add(pts, {10, 40, 30, 40});
    eval(".oc create object 0 0 -object pts -outline {} -symbolxsize 10 -symbolysize 10");
    GcanvasItem *sym = item(3);
    EXPECT_EQ(distance(sym, 31, 41), 0);  // 2 pixels from the centre, inside the oval
    EXPECT_NEAR(distance(sym, 30, 50), 20 - 5, 1e-9);
    eval(".oc itemconfigure 3 -symboltype rectangle");
    EXPECT_EQ(distance(sym, 32, 42), 0);  // the corner of the square, not of the oval
}

TEST_F(ObjectItemTest, AreaTestsOfRingsSymbolsAndLines)
{
    RAMOBJ *poly = makeShape("poly", SHP_POLYGON);
    add(poly, kHoled, kHoledParts);
    eval(".oc create object 0 0 -object poly -fill black -outline {}");
    GcanvasItem *it = item(1);
    auto area = [&](double x1, double y1, double x2, double y2) {
        std::vector<double> a = at(x1, y1), b = at(x2, y2);
        double r[4] = {std::min(a[0], b[0]), std::min(a[1], b[1]), std::max(a[0], b[0]), std::max(a[1], b[1])};
        return it->type->areaProc(canvas, it, r);
    };
    EXPECT_EQ(area(-5, -5, 65, 65), 1);   // around it all
    EXPECT_EQ(area(16, 16, 20, 20), -1);  // in the hole
    EXPECT_EQ(area(27, 27, 33, 33), 0);   // on the island
    EXPECT_EQ(area(2, 2, 10, 10), 0);     // in the filled part
    EXPECT_EQ(area(-5, 20, 5, 30), 0);    // across the outer edge
    EXPECT_EQ(area(70, 70, 80, 80), -1);
    EXPECT_EQ(area(20, 20, 40, 40), 0);  // around the island, inside the hole
    // Without a fill only the rings' lines count.
    eval(".oc itemconfigure 1 -fill {} -outline black");
    EXPECT_EQ(area(2, 2, 10, 10), -1);
    EXPECT_EQ(area(-5, -5, 65, 65), 1);

    RAMOBJ *pts = makeShape("pts", SHP_MULTIPOINT);
    add(pts, {10, 40, 30, 40});
    eval(".oc create object 0 0 -object pts -outline {}");
    GcanvasItem *sym = item(2);
    auto symArea = [&](double x1, double y1, double x2, double y2) {
        std::vector<double> a = at(x1, y1), b = at(x2, y2);
        double r[4] = {std::min(a[0], b[0]), std::min(a[1], b[1]), std::max(a[0], b[0]), std::max(a[1], b[1])};
        return sym->type->areaProc(canvas, sym, r);
    };
    EXPECT_EQ(symArea(0, 30, 40, 50), 1);
    EXPECT_EQ(symArea(0, 30, 20, 50), 0);  // one symbol of the record in, one out
    EXPECT_EQ(symArea(15, 0, 25, 20), -1);
}

TEST_F(ObjectItemTest, MeasuresOfSelectedRecordsAtTheTranslatedPlace)
{
    RAMOBJ *poly = makeShape("poly", SHP_POLYGON);
    add(poly, kHoled, kHoledParts);
    add(poly, {100, 0, 100, 10, 110, 10, 110, 0, 100, 0});
    shapeUnselect(set(poly), 1);
    eval(".oc create object 7 -3 -object poly");
    GcanvasItem *it = item(1);
    // 60 * 60 - 30 * 30 + 10 * 10, rings 240 + 120 + 40 long.
    EXPECT_NEAR(it->type->areaMeasureProc(canvas, it), 2800, 1e-9);
    EXPECT_NEAR(it->type->lengthProc(canvas, it), 400, 1e-9);
    double x, y;
    EXPECT_NEAR(it->type->centroidProc(canvas, it, &x, &y), 2800, 1e-9);
    EXPECT_NEAR(x, 30 + 7, 1e-9);
    EXPECT_NEAR(y, 30 - 3, 1e-9);
    EXPECT_EQ(eval(".oc area 1"), "2800.0");

    RAMOBJ *lines = makeShape("lines", SHP_POLYLINE);
    add(lines, {0, 0, 3, 4, 3, 10});
    eval(".oc create object 0 0 -object lines");
    EXPECT_NEAR(item(2)->type->lengthProc(canvas, item(2)), 11, 1e-9);
    EXPECT_EQ(item(2)->type->areaMeasureProc(canvas, item(2)), 0);

    RAMOBJ *pts = makeShape("pts", SHP_MULTIPOINT);
    add(pts, {0, 0, 4, 0, 2, 6});
    eval(".oc create object 1 1 -object pts");
    EXPECT_EQ(item(3)->type->centroidProc(canvas, item(3), &x, &y), 3);
    EXPECT_NEAR(x, 3, 1e-9);
    EXPECT_NEAR(y, 3, 1e-9);
    EXPECT_EQ(item(3)->type->lengthProc(canvas, item(3)), 0);

    // Without an object every measure is 0.
    eval(".oc create object 0 0");
    EXPECT_EQ(item(4)->type->areaMeasureProc(canvas, item(4)), 0);
}

TEST_F(ObjectItemTest, RecordsWithBadCountsOrValuesAreReadSafely)
{
    RAMOBJ *poly = makeShape("poly", SHP_POLYGON);
    // Part counts adding up past the points (each one allowed alone).
    add(poly, {0, 0, 0, 10, 10, 10, 0, 0}, {4, 4, 4});
    double nan = std::nan("");
    add(poly, {20, 20, nan, 30, 30, 30, 20, 20});
    RAMOBJ *lines = makeShape("lines", SHP_POLYLINE);
    add(lines, {0, 0, 10, 10, 20, 0}, {3, 3});
    eval(".oc create object 0 0 -object poly -fill black; .oc create object 0 0 -object lines");
    XImage *image = render();
    EXPECT_EQ(XGetPixel(image, 16, 120), colour("black"));  // world (3, 5) in the triangle
    XDestroyImage(image);
    for (int id : {1, 2}) {
        std::vector<double> p = at(5, 5);
        double r[4] = {0, 0, 160, 160};
        item(id)->type->pointProc(canvas, item(id), p.data());
        item(id)->type->areaProc(canvas, item(id), r);
        item(id)->type->lengthProc(canvas, item(id));
    }
    EXPECT_NEAR(item(2)->type->lengthProc(canvas, item(2)), 2 * std::sqrt(200.0), 1e-9);
}

TEST_F(ObjectItemTest, CoordinatesCreationAndOptions)
{
    RAMOBJ *poly = makeShape("poly", SHP_POLYGON);
    add(poly, kHoled, kHoledParts);
    EXPECT_EQ(eval(".oc create object", TCL_ERROR), "wrong # args: should be \".oc create object x y ?options?\"");
    eval(".oc create object {1 2} -object poly");
    EXPECT_EQ(eval(".oc coords 1"), "1.0 2.0");
    EXPECT_EQ(eval(".oc coords 1 {1 2 3}", TCL_ERROR), "wrong # coordinates: expected 2, got 3");
    EXPECT_EQ(eval(".oc coords 1 1 2 3", TCL_ERROR), "wrong # coordinates: expected 0 or 2, got 3");
    EXPECT_EQ(eval(".oc coords 1 1 x", TCL_ERROR), "bad screen distance \"x\"");
    // The coords word splits the item (into item 2) and leaves it as it was.
    EXPECT_EQ(eval(".oc coords 1 disassemble"), "...");
    EXPECT_EQ(eval(".oc type 2"), "polygon");
    EXPECT_EQ(eval(".oc coords 1"), "1.0 2.0");
    eval(".oc scale 1 0 0 2 3");
    EXPECT_EQ(eval(".oc coords 1"), "2.0 6.0");
    int n = 0;
    EXPECT_EQ(shapeRecordPoints(shapeRecordAt(set(poly), 0), &n)[3], 60.0);  // the records stay
    // Failed creations use no id and hold nothing.
    eval(".oc create object 0 0 -object nosuch", TCL_ERROR);
    eval(".oc create object 0 0 -object poly -symboltype star", TCL_ERROR);
    EXPECT_EQ(poly->useCount, 1);
    EXPECT_EQ(eval(".oc create object 0 0"), "3");

    EXPECT_EQ(eval(".oc itemcget 1 -symboltype") + " " + eval(".oc itemcget 1 -markertype") + " " +
                  eval(".oc itemcget 1 -anchor") + " " + eval(".oc itemcget 1 -joinstyle") + " " +
                  eval(".oc itemcget 1 -splinesteps") + " " + eval(".oc itemcget 1 -outline") + " " +
                  eval(".oc itemcget 1 -markercolor") + " " + eval(".oc itemcget 1 -highlightcolor"),
              "oval point center round 12 black red yellow");
    EXPECT_EQ(eval(".oc itemconfigure 1 -symboltype star", TCL_ERROR),
              "invalid -symboltype option \"star\": must be oval, rectangle, diamond, crosshair, handle");
    EXPECT_EQ(eval(".oc itemconfigure 1 -markertype x", TCL_ERROR),
              "invalid -markertype option \"x\": must be point or cross");
    eval(".oc itemconfigure 1 -symboltype dia -markertype c -splinesteps 500 -smooth bezier");
    EXPECT_EQ(eval(".oc itemcget 1 -symboltype") + " " + eval(".oc itemcget 1 -markertype") + " " +
                  eval(".oc itemcget 1 -splinesteps") + " " + eval(".oc itemcget 1 -smooth"),
              "diamond cross 100 bezier");
    EXPECT_EQ(eval("llength [.oc itemconfigure 1]"), "37");
    EXPECT_EQ(eval(".oc type 1"), "object");
}

}  // namespace
