/*
 * Drawing on X11 (platform/x11regions, platform/x11draw): regions and their
 * kinds, rings filled as one shape by the even-odd rule (holes, islands in
 * holes, any orientation, relative points, short rings), and the pens'
 * primitives: long wide polylines in runs, pies and chords, rectangles,
 * dashes, stipple origins, the graphics-mode flag and contexts on no
 * drawable. Shapes are drawn into pixmaps and read back; expected pictures
 * come from the pixel rule of X (a pixel is inside when its centre is)
 * written out directly. Colours are allocated in the Tk window's colormap,
 * so that the tests run on 24-, 16- and 8-bit screens alike.
 */
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>
#include <tk.h>
#include "platform/x11draw.h"
#include "platform/x11regions.h"
#include "support/test_interp.h"

namespace {

/* Axis-aligned rectangle ring from (x0, y0) to (x1, y1), wound one way or
 * the other (in drawable coordinates, y down). */
std::vector<XPoint> box(short x0, short y0, short x1, short y1, bool clockwise)
{
    std::vector<XPoint> ring = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
    if (!clockwise) {
        std::swap(ring[1], ring[3]);
    }
    return ring;
}

/* Rings one after another, as the fill routines take them. */
struct Rings {
    std::vector<XPoint> points;
    std::vector<int> counts;

    void add(const std::vector<XPoint> &ring)
    {
        points.insert(points.end(), ring.begin(), ring.end());
        counts.push_back(static_cast<int>(ring.size()));
    }
};

int countErrors(ClientData data, XErrorEvent *)
{
    ++*static_cast<int *>(data);
    return 0;
}

class Drawing : public ::testing::Test {
protected:
    void SetUp() override
    {
        Tcl_Interp *interp = testTkInterp();
        ASSERT_NE(interp, nullptr);
        window = Tk_MainWindow(interp);
        ASSERT_NE(window, nullptr);
        display = Tk_Display(window);
        root = RootWindowOfScreen(Tk_Screen(window));
        white = allocate(65535, 65535, 65535);
        red = allocate(65535, 0, 0);
        blue = allocate(0, 0, 65535);
        ASSERT_NE(red, white);
        ASSERT_NE(blue, white);
        ASSERT_NE(blue, red);
    }

    void TearDown() override
    {
        for (GC gc : tkGCs) {
            Tk_FreeGC(display, gc);
        }
        for (GC gc : ownGCs) {
            XFreeGC(display, gc);
        }
        for (Pixmap p : pixmaps) {
            XFreePixmap(display, p);
        }
        if (!cells.empty()) {
            XFreeColors(display, Tk_Colormap(window), cells.data(), static_cast<int>(cells.size()), 0);
        }
        XSync(display, False);
    }

    unsigned long allocate(unsigned short r, unsigned short g, unsigned short b)
    {
        XColor c{};
        c.red = r;
        c.green = g;
        c.blue = b;
        c.flags = DoRed | DoGreen | DoBlue;
        EXPECT_TRUE(XAllocColor(display, Tk_Colormap(window), &c));
        cells.push_back(c.pixel);
        return c.pixel;
    }

    /* A pixmap of the window's depth, all white. */
    Pixmap canvas(int width, int height)
    {
        Pixmap p = XCreatePixmap(display, root, width, height, Tk_Depth(window));
        pixmaps.push_back(p);
        clear(p, width, height);
        return p;
    }

    void clear(Pixmap p, int width, int height)
    {
        XGCValues v;
        v.foreground = white;
        GC gc = XCreateGC(display, p, GCForeground, &v);
        XFillRectangle(display, p, gc, 0, 0, width, height);
        XFreeGC(display, gc);
    }

    /* A shared GC from Tk's cache: red on blue unless values say more. */
    GC tkGC(unsigned long mask = 0, XGCValues values = {})
    {
        values.foreground = red;
        values.background = blue;
        GC gc = Tk_GetGC(window, mask | GCForeground | GCBackground, &values);
        tkGCs.push_back(gc);
        return gc;
    }

    /* The pixmap read back: '.' white, '#' red, 'o' blue, '?' anything
     * else; rows end with a newline. */
    std::string picture(Pixmap p, int width, int height)
    {
        XImage *image = XGetImage(display, p, 0, 0, width, height, AllPlanes, ZPixmap);
        if (image == nullptr) {
            ADD_FAILURE() << "XGetImage failed";
            return {};
        }
        std::string out;
        for (int y = 0; y < height; y++) {
            for (int x = 0; x < width; x++) {
                unsigned long v = XGetPixel(image, x, y);
                out += v == white ? '.' : v == red ? '#' : v == blue ? 'o' : '?';
            }
            out += '\n';
        }
        XDestroyImage(image);
        return out;
    }

    /* The picture that inside(x, y) describes ('#' inside, '.' outside). */
    static std::string expected(int width, int height, const std::function<bool(int, int)> &inside)
    {
        std::string out;
        for (int y = 0; y < height; y++) {
            for (int x = 0; x < width; x++) {
                out += inside(x, y) ? '#' : '.';
            }
            out += '\n';
        }
        return out;
    }

    static char at(const std::string &picture, int width, int x, int y) { return picture[y * (width + 1) + x]; }

    Tk_Window window = nullptr;
    Display *display = nullptr;
    Window root = None;
    unsigned long white = 0, red = 0, blue = 0;
    std::vector<unsigned long> cells;
    std::vector<GC> tkGCs;
    std::vector<GC> ownGCs;
    std::vector<Pixmap> pixmaps;
};

/* The square 4..44 with the hole 14..34 and the island 19..29 in it, in a
 * 48 x 48 picture: symmetric about y = 24, so a mirrored copy looks the
 * same. A pixel is filled when its centre is in an odd number of boxes. */
constexpr int kSide = 48;

bool inBox(int x, int y, int lo, int hi)
{
    return x >= lo && x < hi && y >= lo && y < hi;
}

bool inNestedShape(int x, int y)
{
    return inBox(x, y, 4, 44) ^ inBox(x, y, 14, 34) ^ inBox(x, y, 19, 29);
}

Rings nestedShape(bool outer, bool hole, bool island)
{
    Rings rings;
    rings.add(box(4, 4, 44, 44, outer));
    rings.add(box(14, 14, 34, 34, hole));
    rings.add(box(19, 19, 29, 29, island));
    return rings;
}

/* ---- regions ---- */

TEST_F(Drawing, RegionOperationsAnswerTheKindOfTheirResult)
{
    XRectangle left = {0, 0, 10, 10};
    XRectangle right = {10, 0, 10, 10};
    XRectangle lower = {5, 5, 10, 10};
    Region a = XCreateRegion();
    Region b = XCreateRegion();
    Region c = XCreateRegion();
    Region result = XCreateRegion();
    XUnionRectWithRegion(&left, a, a);
    XUnionRectWithRegion(&right, b, b);
    XUnionRectWithRegion(&lower, c, c);

    EXPECT_EQ(unionRegion(a, b, result), REGION_SIMPLE);  // two halves of one rectangle
    EXPECT_TRUE(XPointInRegion(result, 19, 9));
    EXPECT_EQ(unionRegion(a, c, result), REGION_COMPLEX);
    EXPECT_EQ(xorRegion(a, a, result), REGION_EMPTY);
    EXPECT_EQ(xorRegion(a, c, result), REGION_COMPLEX);
    EXPECT_FALSE(XPointInRegion(result, 7, 7));  // in both: left out
    EXPECT_TRUE(XPointInRegion(result, 2, 2));
    EXPECT_TRUE(XPointInRegion(result, 12, 12));
    // The result may be one of the operands.
    EXPECT_EQ(xorRegion(a, c, a), REGION_COMPLEX);
    EXPECT_FALSE(XPointInRegion(a, 7, 7));
    EXPECT_EQ(xorRegion(nullptr, c, result), REGION_ERROR);
    EXPECT_EQ(unionRegion(a, c, nullptr), REGION_ERROR);
    EXPECT_EQ(regionKind(nullptr), REGION_ERROR);
    for (Region r : {a, b, c, result}) {
        XDestroyRegion(r);
    }
}

TEST_F(Drawing, PolygonRegionsFollowTheWindingFlag)
{
    // A five-pointed star: its middle is wound twice.
    std::vector<XPoint> star = {{50, 0}, {79, 90}, {4, 34}, {96, 34}, {21, 90}};
    Region evenOdd = polygonRegion(star.data(), 5, 0);
    Region winding = polygonRegion(star.data(), 5, 1);
    EXPECT_FALSE(XPointInRegion(evenOdd, 50, 50));
    EXPECT_TRUE(XPointInRegion(winding, 50, 50));
    EXPECT_TRUE(XPointInRegion(evenOdd, 50, 15));  // a tip
    EXPECT_TRUE(XPointInRegion(winding, 50, 15));
    XDestroyRegion(evenOdd);
    XDestroyRegion(winding);

    Region line = polygonRegion(star.data(), 2, 0);
    ASSERT_NE(line, nullptr);
    EXPECT_TRUE(XEmptyRegion(line));
    XDestroyRegion(line);
}

/* ---- rings filled as one shape ---- */

TEST_F(Drawing, RingsFillByTheEvenOddRuleWhateverTheirOrientation)
{
    const std::string want = expected(kSide, kSide, inNestedShape);
    GC gc = tkGC();
    struct Case {
        const char *name;
        bool outer, hole, island;
    } cases[] = {
        {"alternating", true, false, true},
        {"alternating, reversed", false, true, false},
        {"all clockwise", true, true, true},
        {"all counter-clockwise", false, false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Pixmap p = canvas(kSide, kSide);
        Rings rings = nestedShape(c.outer, c.hole, c.island);
        fillPolygonsWithHoles(display, p, gc, rings.points.data(), 3, rings.counts.data(), Complex, CoordModeOrigin);
        EXPECT_EQ(picture(p, kSide, kSide), want);
    }

    // A negative y scale mirrors the rings and reverses every orientation.
    SCOPED_TRACE("mirrored in y");
    Pixmap p = canvas(kSide, kSide);
    Rings rings = nestedShape(true, false, true);
    for (XPoint &point : rings.points) {
        point.y = static_cast<short>(kSide - point.y);
    }
    fillPolygonsWithHoles(display, p, gc, rings.points.data(), 3, rings.counts.data(), Complex, CoordModeOrigin);
    EXPECT_EQ(picture(p, kSide, kSide), want);
}

TEST_F(Drawing, RingsInRelativePointsAndShortRingsAreHandled)
{
    GC gc = tkGC();
    // A two-point ring before and a one-point ring between: skipped, but
    // their points are stepped over.
    Rings rings;
    rings.add({{40, 40}, {45, 45}});
    rings.add({{4, 4}, {40, 0}, {0, 40}, {-40, 0}});
    rings.add({{47, 47}});
    rings.add({{14, 14}, {0, 20}, {20, 0}, {0, -20}});
    Pixmap p = canvas(kSide, kSide);
    fillPolygonsWithHoles(display, p, gc, rings.points.data(), 4, rings.counts.data(), Complex, CoordModePrevious);
    EXPECT_EQ(picture(p, kSide, kSide),
              expected(kSide, kSide, [](int x, int y) { return inBox(x, y, 4, 44) ^ inBox(x, y, 14, 34); }));

    // Only short rings, a drawable of None, or no rings: nothing drawn.
    Pixmap q = canvas(kSide, kSide);
    int shortCounts[] = {2, 1};
    fillPolygonsWithHoles(display, q, gc, rings.points.data(), 2, shortCounts, Complex, CoordModeOrigin);
    fillPolygonsWithHoles(display, None, gc, rings.points.data(), 4, rings.counts.data(), Complex, CoordModePrevious);
    fillPolygonsWithHoles(display, q, gc, rings.points.data(), 0, rings.counts.data(), Complex, CoordModeOrigin);
    EXPECT_EQ(picture(q, kSide, kSide), expected(kSide, kSide, [](int, int) { return false; }));
}

TEST_F(Drawing, SeparateRingsAndASingleRingAreFilledWhole)
{
    GC gc = tkGC();
    Rings rings;
    rings.add(box(2, 2, 12, 12, true));
    rings.add(box(20, 20, 30, 30, true));
    Pixmap p = canvas(32, 32);
    fillPolygonsWithHoles(display, p, gc, rings.points.data(), 2, rings.counts.data(), Complex, CoordModeOrigin);
    EXPECT_EQ(picture(p, 32, 32),
              expected(32, 32, [](int x, int y) { return inBox(x, y, 2, 12) || inBox(x, y, 20, 30); }));

    Pixmap q = canvas(32, 32);
    fillPolygonsWithHoles(display, q, gc, rings.points.data() + 4, 1, rings.counts.data(), Complex, CoordModeOrigin);
    EXPECT_EQ(picture(q, 32, 32), expected(32, 32, [](int x, int y) { return inBox(x, y, 20, 30); }));
}

TEST_F(Drawing, TheHoleClipDoesNotOutliveTheFill)
{
    // The shared GC must come back unclipped: filling the whole picture
    // with it afterwards covers the holes too.
    GC gc = tkGC();
    Rings rings = nestedShape(true, false, true);
    Pixmap p = canvas(kSide, kSide);
    fillPolygonsWithHoles(display, p, gc, rings.points.data(), 3, rings.counts.data(), Complex, CoordModeOrigin);
    XFillRectangle(display, p, gc, 0, 0, kSide, kSide);
    EXPECT_EQ(picture(p, kSide, kSide), expected(kSide, kSide, [](int, int) { return true; }));

    // The same through a pen: its own GC and the Tk GC.
    Pixmap q = canvas(kSide, kSide);
    DrawContext *context = drawContextOpen(display, q);
    ASSERT_NE(context, nullptr);
    DrawGC *pen = drawGCCreate(context, gc);
    ASSERT_NE(pen, nullptr);
    drawFillRings(pen, rings.points.data(), 3, rings.counts.data(), Complex, CoordModeOrigin);
    EXPECT_EQ(picture(q, kSide, kSide), expected(kSide, kSide, inNestedShape));
    drawFillRectangle(pen, 0, 0, 20, kSide);
    EXPECT_EQ(picture(q, kSide, kSide),
              expected(kSide, kSide, [](int x, int y) { return x < 20 || inNestedShape(x, y); }));
    XFillRectangle(display, q, gc, 0, 0, kSide, kSide);
    EXPECT_EQ(picture(q, kSide, kSide), expected(kSide, kSide, [](int, int) { return true; }));
    drawGCFree(pen);
    drawContextClose(context);
}

/* ---- pens and their primitives ---- */

class Pens : public Drawing {
protected:
    void open(Drawable drawable, GC gc)
    {
        context = drawContextOpen(display, drawable);
        ASSERT_NE(context, nullptr);
        pen = drawGCCreate(context, gc);
        ASSERT_NE(pen, nullptr);
    }

    void close()
    {
        drawGCFree(pen);
        drawContextClose(context);
        pen = nullptr;
        context = nullptr;
    }

    void TearDown() override
    {
        close();
        Drawing::TearDown();
    }

    DrawContext *context = nullptr;
    DrawGC *pen = nullptr;
};

TEST_F(Pens, WidePolylinesLongerThanOneRunHaveNoGap)
{
    const int n = 3000;  // runs 0-1359, 1359-2718, 2718-2999
    const int width = n + 2;
    XGCValues v;
    v.line_width = 3;
    GC gc = tkGC(GCLineWidth, v);
    std::string want(width, '.');
    want.replace(1, n - 1, n - 1, '#');  // butt ends: columns 1 to n - 1

    std::vector<XPoint> absolute(n), relative(n);
    for (int i = 0; i < n; i++) {
        absolute[i] = {static_cast<short>(i + 1), 5};
        relative[i] = i == 0 ? absolute[0] : XPoint{1, 0};
    }
    for (int mode : {CoordModeOrigin, CoordModePrevious}) {
        SCOPED_TRACE(mode == CoordModeOrigin ? "absolute" : "relative");
        Pixmap p = canvas(width, 10);
        open(p, gc);
        drawPolyline(pen, (mode == CoordModeOrigin ? absolute : relative).data(), n, mode);
        EXPECT_EQ(picture(p, width, 10).substr(5 * (width + 1), width), want);
        close();
    }
}

TEST_F(Pens, ArcsTurnCounterClockwiseAndFillAsPieOrChord)
{
    // Box 0..40: the centre is (20, 20); y grows downwards.
    GC pie = tkGC();
    struct Case {
        const char *name;
        int start, extent;
        bool upperRight, lowerRight, upperLeft;
    } cases[] = {
        {"0 through 90 degrees", 0, 90 * 64, true, false, false},
        {"0 through -90 degrees", 0, -90 * 64, false, true, false},
        {"90 through 90 degrees", 90 * 64, 90 * 64, false, false, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Pixmap p = canvas(41, 41);
        open(p, pie);
        drawArc(pen, 0, 0, 40, 40, c.start, c.extent, 1);
        std::string got = picture(p, 41, 41);
        EXPECT_EQ(at(got, 41, 30, 10), c.upperRight ? '#' : '.');
        EXPECT_EQ(at(got, 41, 30, 30), c.lowerRight ? '#' : '.');
        EXPECT_EQ(at(got, 41, 10, 10), c.upperLeft ? '#' : '.');
        EXPECT_EQ(at(got, 41, 10, 30), '.');
        close();
    }

    // A chord leaves out the triangle at the centre; the outline leaves
    // the inside empty and stays in its half.
    XGCValues v;
    v.arc_mode = ArcChord;
    GC chord = tkGC(GCArcMode, v);
    Pixmap p = canvas(41, 41);
    open(p, chord);
    drawArc(pen, 0, 0, 40, 40, 0, 90 * 64, 1);
    std::string got = picture(p, 41, 41);
    EXPECT_EQ(at(got, 41, 23, 15), '.');
    EXPECT_EQ(at(got, 41, 34, 8), '#');
    close();

    Pixmap q = canvas(41, 41);
    open(q, pie);
    drawArc(pen, 0, 0, 40, 40, 0, 90 * 64, 0);
    got = picture(q, 41, 41);
    EXPECT_EQ(at(got, 41, 30, 10), '.');
    EXPECT_EQ(got.substr(21 * 42), expected(41, 20, [](int, int) { return false; }));  // the lower half
    EXPECT_NE(got.substr(0, 20 * 42).find('#'), std::string::npos);
}

TEST_F(Pens, RectanglesCoverTheirEdgesAndFillsTheirInside)
{
    Pixmap p = canvas(30, 20);
    open(p, tkGC());
    drawRectangle(pen, 5, 5, 20, 10);
    EXPECT_EQ(picture(p, 30, 20), expected(30, 20, [](int x, int y) {
                  bool onX = x == 5 || x == 25, onY = y == 5 || y == 15;
                  return (onX && y >= 5 && y <= 15) || (onY && x >= 5 && x <= 25);
              }));
    clear(p, 30, 20);
    drawFillRectangle(pen, 5, 5, 20, 10);
    drawFillRectangle(pen, 0, 0, 0, 5);  // empty
    drawRectangle(pen, 0, 0, -1, 5);
    EXPECT_EQ(picture(p, 30, 20), expected(30, 20, [](int x, int y) { return x >= 5 && x < 25 && y >= 5 && y < 15; }));
    close();

    // The GC's function applies: GXnoop leaves the drawable as it was.
    XGCValues v;
    v.function = GXnoop;
    clear(p, 30, 20);
    open(p, tkGC(GCFunction, v));
    drawRectangle(pen, 5, 5, 20, 10);
    drawFillRectangle(pen, 5, 5, 20, 10);
    EXPECT_EQ(picture(p, 30, 20), expected(30, 20, [](int, int) { return false; }));
}

TEST_F(Pens, DoubleDashesPaintTheirGapsInTheBackground)
{
    // Dashes of 4 on, 4 off from the first point (2, 5): on at 2..5 and
    // 10..13, off at 6..9 and 14..17.
    struct Case {
        int style, width;
        char gap;
    } cases[] = {{LineOnOffDash, 0, '.'}, {LineDoubleDash, 0, 'o'}, {LineDoubleDash, 4, 'o'}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "style " << c.style << " width " << c.width);
        XGCValues v;
        v.line_style = c.style;
        v.line_width = c.width;
        v.dashes = 4;
        Pixmap p = canvas(30, 12);
        open(p, tkGC(GCLineStyle | GCLineWidth | GCDashList, v));
        XPoint line[] = {{2, 5}, {26, 5}};
        drawPolyline(pen, line, 2, CoordModeOrigin);
        std::string got = picture(p, 30, 12);
        for (int x : {3, 4, 11, 12}) {
            EXPECT_EQ(at(got, 30, x, 5), '#') << x;
        }
        for (int x : {7, 8, 15, 16}) {
            EXPECT_EQ(at(got, 30, x, 5), c.gap) << x;
        }
        close();
    }
}

TEST_F(Pens, StippleOriginsSetOnTheTkGCAfterwardsAreFollowed)
{
    // A stipple of every other column: columns with the origin's parity
    // are painted.
    static const char bits[] = {0x01};
    Pixmap stipple = XCreateBitmapFromData(display, root, bits, 2, 1);
    pixmaps.push_back(stipple);
    XGCValues v;
    v.foreground = red;
    v.fill_style = FillStippled;
    v.stipple = stipple;
    GC gc = XCreateGC(display, root, GCForeground | GCFillStyle | GCStipple, &v);
    ownGCs.push_back(gc);
    Pixmap p = canvas(8, 1);
    open(p, gc);
    drawFillRectangle(pen, 0, 0, 8, 1);
    EXPECT_EQ(picture(p, 8, 1), "#.#.#.#.\n");
    XSetTSOrigin(display, gc, 1, 0);
    clear(p, 8, 1);
    drawFillRectangle(pen, 0, 0, 8, 1);
    EXPECT_EQ(picture(p, 8, 1), ".#.#.#.#\n");
}

TEST_F(Pens, TheGraphicsModeAnswersWhatItWasBefore)
{
    Pixmap p = canvas(4, 4);
    Pixmap q = canvas(4, 4);
    EXPECT_EQ(drawSetGraphicsMode(display, p, 1), 0);
    EXPECT_EQ(drawSetGraphicsMode(display, p, 1), 1);
    EXPECT_EQ(drawSetGraphicsMode(display, q, 0), 0);  // each drawable its own
    EXPECT_EQ(drawSetGraphicsMode(display, p, 0), 1);
    EXPECT_EQ(drawSetGraphicsMode(display, p, 0), 0);
    drawSetGraphicsMode(display, None, 1);
    EXPECT_EQ(drawSetGraphicsMode(display, None, 1), 0);
}

TEST_F(Pens, ThinLinesAndFillsLongerThanARequestAreDrawnWhole)
{
    // More points than the server takes in one request: a thin zigzag over
    // every column, and a polygon whose bottom edge is as long.
    const int side = 64;
    long words = XExtendedMaxRequestSize(display);
    const int n = static_cast<int>(std::max(words, XMaxRequestSize(display))) + 1000;
    std::vector<XPoint> zigzag(n), polygon;
    for (int i = 0; i < n; i++) {
        zigzag[i] = {static_cast<short>(static_cast<long long>(i) * (side - 1) / (n - 1)),
                     static_cast<short>(i % 2 == 0 ? 2 : 3)};
    }
    polygon.push_back({0, 8});
    for (int i = 0; i < n; i++) {
        polygon.push_back({static_cast<short>(static_cast<long long>(i) * side / (n - 1)), side});
    }
    polygon.push_back({side, 8});
    int errors = 0;
    Tk_ErrorHandler handler = Tk_CreateErrorHandler(display, -1, -1, -1, countErrors, &errors);
    Pixmap p = canvas(side, side);
    open(p, tkGC());
    drawPolyline(pen, zigzag.data(), n, CoordModeOrigin);
    drawFillPolygon(pen, polygon.data(), static_cast<int>(polygon.size()), Complex, CoordModeOrigin);
    XSync(display, False);
    Tk_DeleteErrorHandler(handler);
    EXPECT_EQ(errors, 0);
    std::string drawn = picture(p, side, side);
    EXPECT_EQ(drawn.substr(2 * (side + 1), side), std::string(side, '#'));
    EXPECT_EQ(drawn.substr(30 * (side + 1), side), std::string(side, '#'));
}

TEST_F(Pens, AContextOnNoDrawableDrawsNothing)
{
    EXPECT_EQ(drawGCCreate(nullptr, tkGC()), nullptr);
    drawGCFree(nullptr);
    drawContextClose(nullptr);

    int errors = 0;
    Tk_ErrorHandler handler = Tk_CreateErrorHandler(display, -1, -1, -1, countErrors, &errors);
    open(None, tkGC());
    EXPECT_EQ(drawGCCreate(context, nullptr), nullptr);
    Rings rings = nestedShape(true, false, true);
    drawPolyline(pen, rings.points.data(), 4, CoordModeOrigin);
    drawFillPolygon(pen, rings.points.data(), 4, Complex, CoordModeOrigin);
    drawFillRings(pen, rings.points.data(), 3, rings.counts.data(), Complex, CoordModeOrigin);
    drawRectangle(pen, 0, 0, 5, 5);
    drawFillRectangle(pen, 0, 0, 5, 5);
    drawArc(pen, 0, 0, 5, 5, 0, 90 * 64, 1);
    XSync(display, False);
    Tk_DeleteErrorHandler(handler);
    EXPECT_EQ(errors, 0);
}

}  // namespace
