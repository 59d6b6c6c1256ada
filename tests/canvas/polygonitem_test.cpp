/*
 * The polygon item's entries that scripts do not reach directly: creation
 * from a geometry description (the rings of a split object record, with
 * its style), gcanvasFillPolygon, the small-polygon fill of arrowheads
 * and arc shapes, in world and canvas coordinates, and the even-odd ring
 * tests it shares with the object item.
 */
#include <gtest/gtest.h>

#include <string>
#include <vector>
#include <X11/Xutil.h>
#include "canvas/canvasapi.h"
#include "canvas/canvasint.h"
#include "canvas/geometry.h"
#include "canvas/outline.h"
#include "canvasfixture.h"
#include "support/test_interp.h"
#include "tesk.h"

namespace {

// World (x, y) is canvas (2x + 10, 130 - 2y).
class PolygonItemTest : public CanvasFixture {
protected:
    PolygonItemTest()
        : CanvasFixture(".pc",
                        "-width 160 -height 160 -highlightthickness 0 -background white -mx 2 -my -2 "
                        "-viewxorigin -5 -viewyorigin 65",
                        true)
    {}

    unsigned long windowPixel(int x, int y)
    {
        XImage *image = XGetImage(Tk_Display(tkwin), Tk_WindowId(tkwin), x, y, 1, 1, AllPlanes, ZPixmap);
        unsigned long pixel = image != nullptr ? XGetPixel(image, 0, 0) : ~0ul;
        if (image != nullptr) {
            XDestroyImage(image);
        }
        return pixel;
    }
};

TEST_F(PolygonItemTest, DescriptionRingsAreTakenAsClosedWithTheSourceStyle)
{
    // A square 0..10 and a hole 2..4, each closed by a repeated first point
    // as shape records are.
    const std::vector<double> points = {0, 0, 0, 10, 10, 10, 10, 0, 0, 0, 2, 2, 4, 2, 4, 4, 2, 4, 2, 2};
    const std::vector<int> parts = {5, 5};
    GcanvasDescStyle style{};
    gcanvasCreateOutline(&style.outline);
    style.outline.width = 3;
    style.outline.color = Tk_GetColor(interp, tkwin, "#0000ff");
    style.joinStyle = JoinMiter;
    style.splineSteps = 7;
    XColor *fill = Tk_GetColor(interp, tkwin, "#ff0000");
    ASSERT_NE(style.outline.color, nullptr);
    ASSERT_NE(fill, nullptr);
    GcanvasGeometryDesc desc{2, points.data(), parts.data(), &style, fill, nullptr, nullptr};
    GcanvasItem *item =
        gcanvasCreateItemFromDesc(canvas, interp, gcanvasItemTypeByName(canvas, "polygon"), &desc, "rec.3 split");
    // The description's colours are the item's own references now.
    Tk_FreeColor(style.outline.color);
    Tk_FreeColor(fill);
    ASSERT_NE(item, nullptr);
    std::string id = std::to_string(item->id);
    // The closing points count as added: coords leaves them out.
    EXPECT_EQ(eval(".pc coords " + id), "0.0 0.0 0.0 10.0 10.0 10.0 10.0 0.0 2.0 2.0 4.0 2.0 4.0 4.0 2.0 4.0 {4 4}");
    EXPECT_EQ(eval(".pc itemcget " + id + " -outline"), "#0000ff");
    EXPECT_EQ(eval(".pc itemcget " + id + " -fill"), "#ff0000");
    EXPECT_EQ(eval(".pc itemcget " + id + " -width"), "3.0");
    EXPECT_EQ(eval(".pc itemcget " + id + " -splinesteps"), "7");
    EXPECT_EQ(eval(".pc gettags " + id), "rec.3 split");
    // Outer 100 less the hole of the opposite orientation, at -my < 0 as
    // the signed sum.
    EXPECT_EQ(eval(".pc area " + id), "96.0");
    int n = 0, rings = 0;
    item->type->getCoordsProc(item, &n);
    item->type->getPartsProc(item, &rings);
    EXPECT_EQ(n, 10);
    EXPECT_EQ(rings, 2);
    // Drawn red with the hole showing the background: world (1, 5) is
    // canvas (12, 120), world (3, 3) canvas (16, 124).
    eval("update");
    XColor *red = Tk_GetColor(interp, tkwin, "#ff0000");
    XColor *white = Tk_GetColor(interp, tkwin, "white");
    EXPECT_EQ(windowPixel(12, 120), red->pixel);
    EXPECT_EQ(windowPixel(16, 124), white->pixel);
    Tk_FreeColor(red);
    Tk_FreeColor(white);
}

TEST_F(PolygonItemTest, NoDescriptionGivesAnEmptyItemWithTheDefaults)
{
    GcanvasItem *item =
        gcanvasCreateItemFromDesc(canvas, interp, gcanvasItemTypeByName(canvas, "polygon"), nullptr, nullptr);
    ASSERT_NE(item, nullptr);
    std::string id = std::to_string(item->id);
    EXPECT_EQ(eval(".pc coords " + id), "");
    EXPECT_EQ(eval(".pc itemcget " + id + " -fill"), "black");
    EXPECT_EQ(eval(".pc bbox " + id), "");
}

/* Fills the polygon into a white pixmap of 40 x 40 and answers whether the
 * given pixels came out black, one character each. */
std::string fillInto(GcanvasWidget *canvas, Tk_Window tkwin, const std::vector<double> &points, int canvasCoords,
                     const std::vector<XPoint> &probes)
{
    Display *display = Tk_Display(tkwin);
    Pixmap pixmap = Tk_GetPixmap(display, Tk_WindowId(tkwin), 40, 40, Tk_Depth(tkwin));
    XGCValues values;
    values.foreground = WhitePixelOfScreen(Tk_Screen(tkwin));
    GC white = XCreateGC(display, pixmap, GCForeground, &values);
    values.foreground = BlackPixelOfScreen(Tk_Screen(tkwin));
    GC black = XCreateGC(display, pixmap, GCForeground, &values);
    XFillRectangle(display, pixmap, white, 0, 0, 40, 40);
    int ox = canvas->drawableXOrigin, oy = canvas->drawableYOrigin;
    canvas->drawableXOrigin = canvas->drawableYOrigin = 0;
    gcanvasFillPolygon(canvas, points.data(), static_cast<int>(points.size() / 2), display, pixmap, black, nullptr,
                       canvasCoords);
    canvas->drawableXOrigin = ox;
    canvas->drawableYOrigin = oy;
    XImage *image = XGetImage(display, pixmap, 0, 0, 40, 40, AllPlanes, ZPixmap);
    std::string out;
    for (const XPoint &p : probes) {
        out += XGetPixel(image, p.x, p.y) == values.foreground ? 'b' : 'w';
    }
    XDestroyImage(image);
    XFreeGC(display, white);
    XFreeGC(display, black);
    Tk_FreePixmap(display, pixmap);
    return out;
}

TEST_F(PolygonItemTest, FillPolygonTakesWorldOrCanvasPoints)
{
    const std::vector<XPoint> probes = {{15, 15}, {5, 5}, {28, 28}, {35, 15}};
    // Canvas points: the square 10..30.
    EXPECT_EQ(fillInto(canvas, tkwin, {10, 10, 30, 10, 30, 30, 10, 30, 10, 10}, 1, probes), "bwbw");
    // World points through the transform: world x 0..5 is canvas 10..20,
    // world y 5..0 canvas 120..130, so world y 55..60 is canvas 10..20.
    EXPECT_EQ(fillInto(canvas, tkwin, {0, 55, 5, 55, 5, 60, 0, 60, 0, 55}, 0, probes), "bwww");
    // Three points or fewer are not filled.
    EXPECT_EQ(fillInto(canvas, tkwin, {10, 10, 30, 10, 10, 30}, 1, probes), "wwww");
}

/* The square 0..10 with the hole 2..4, both closed (distances by hand). */
TEST(PolygonRings, HitCountsRingsAndFindsTheInnermostAndNearest)
{
    const double rings[] = {0, 0, 10, 0, 10, 10, 0, 10, 0, 0, 2, 2, 2, 4, 4, 4, 4, 2, 2, 2};
    const int counts[] = {5, 5};
    struct Row {
        double p[2];
        int inside, innermost, nearest;
        double edge;
    } rows[] = {
        {{3, 3}, 2, 1, 1, 1.0},    // in the hole: 1 from its edge
        {{1, 5}, 1, 0, 0, 1.0},    // in the fill: 1 from x = 0, 1.41 from the hole
        {{12, 5}, 0, -1, 0, 2.0},  // outside
        {{5, 4}, 1, 0, 1, 1.0},    // on the hole's side a unit away
    };
    for (const Row &r : rows) {
        GcanvasRingsHit hit = gcanvasRingsHit(rings, counts, 2, r.p);
        EXPECT_EQ(hit.inside, r.inside) << r.p[0] << "," << r.p[1];
        EXPECT_EQ(hit.innermost, r.innermost) << r.p[0] << "," << r.p[1];
        EXPECT_EQ(hit.nearest, r.nearest) << r.p[0] << "," << r.p[1];
        EXPECT_DOUBLE_EQ(hit.edge, r.edge) << r.p[0] << "," << r.p[1];
    }
}

TEST(PolygonRings, AreaFollowsTheEvenOddRule)
{
    double rings[] = {0, 0, 10, 0, 10, 10, 0, 10, 0, 0, 2, 2, 2, 4, 4, 4, 4, 2, 2, 2};
    const int counts[] = {5, 5};
    struct Row {
        double rect[4];
        bool filled;
        int expected;
    } rows[] = {
        {{2.5, 2.5, 3.5, 3.5}, true, -1},   // inside the hole: two rings hold it
        {{0.5, 0.5, 1.5, 1.5}, true, 0},    // in the fill
        {{0.5, 0.5, 1.5, 1.5}, false, -1},  // the same spot unfilled
        {{1, 1, 3, 3}, true, 0},            // across the hole's edge
        {{-1, -1, 11, 11}, true, 1},        // everything within
        {{1, 1, 5, 5}, false, 0},           // the hole within, the outer ring not
        {{12, 12, 14, 14}, true, -1},       // apart
    };
    for (Row &r : rows) {
        EXPECT_EQ(gcanvasRingsToArea(rings, counts, 2, false, 1, JoinMiter, r.filled, r.rect), r.expected)
            << r.rect[0] << "," << r.rect[1] << " filled " << r.filled;
    }
    // An outline 4 wide reaches 2 past x = 10: a rect at 11.5 touches it.
    double near[4] = {11.5, 4, 12.5, 5};
    EXPECT_EQ(gcanvasRingsToArea(rings, counts, 2, false, 4, JoinMiter, true, near), -1);
    EXPECT_EQ(gcanvasRingsToArea(rings, counts, 2, true, 4, JoinMiter, true, near), 0);
}

}  // namespace
