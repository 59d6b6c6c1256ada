/*
 * The polygon fill the canvas's items draw with (platform/x11draw's
 * drawFillRings for rings, drawFillPolygon for symbols) takes rings of three
 * points as triangles, as XFillPolygon does: a lone triangle and a box
 * with a triangular hole are filled pixel for pixel, open or closed. The
 * expected pictures come from X's pixel rule written out as inequalities:
 * pixel (x, y) is filled when the point (x, y) is inside, or on an edge
 * with the inside immediately to its right (immediately below for a
 * horizontal edge).
 */
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <functional>
#include <string>
#include <vector>
#include <tk.h>
#include "platform/x11draw.h"
#include "support/test_interp.h"

namespace {

constexpr int kSide = 48;

/* The triangle (4, 4), (24, 4), (4, 44): its sloped edge is 2x + y = 52
 * with the inside to its left. */
bool inLoneTriangle(int x, int y)
{
    return x >= 4 && y >= 4 && 2 * x + y < 52;
}

/* The box 2..46 less the triangle (10, 10), (30, 10), (10, 40), whose
 * sloped edge is 3x + 2y = 110. */
bool inHoledBox(int x, int y)
{
    bool box = x >= 2 && x < 46 && y >= 2 && y < 46;
    bool hole = x >= 10 && y >= 10 && 3 * x + 2 * y < 110;
    return box && !hole;
}

class PolygonFill : public ::testing::Test {
protected:
    void SetUp() override
    {
        Tcl_Interp *interp = testTkInterp();
        ASSERT_NE(interp, nullptr);
        window = Tk_MainWindow(interp);
        ASSERT_NE(window, nullptr);
        Tk_MakeWindowExist(window);  // its X window is the pixmaps' drawable
        display = Tk_Display(window);
        XColor *w = Tk_GetColor(interp, window, "white");
        XColor *r = Tk_GetColor(interp, window, "red");
        ASSERT_NE(w, nullptr);
        ASSERT_NE(r, nullptr);
        colours = {w, r};
        white = w->pixel;
        red = r->pixel;
        XGCValues values;
        values.foreground = red;
        gc = Tk_GetGC(window, GCForeground, &values);
    }

    void TearDown() override
    {
        Tk_FreeGC(display, gc);
        for (Pixmap p : pixmaps) {
            Tk_FreePixmap(display, p);
        }
        for (XColor *c : colours) {
            Tk_FreeColor(c);
        }
        XSync(display, False);
    }

    /* What fill draws through a pen into a white picture, read
     * back: '#' red, '.' white, '?' anything else. */
    std::string drawn(const std::function<void(DrawGC *)> &fill)
    {
        Pixmap p = Tk_GetPixmap(display, Tk_WindowId(window), kSide, kSide, Tk_Depth(window));
        pixmaps.push_back(p);
        XGCValues values;
        values.foreground = white;
        GC clear = XCreateGC(display, p, GCForeground, &values);
        XFillRectangle(display, p, clear, 0, 0, kSide, kSide);
        XFreeGC(display, clear);
        DrawContext *context = drawContextOpen(display, p);
        DrawGC *pen = context != nullptr ? drawGCCreate(context, gc) : nullptr;
        if (pen == nullptr) {
            ADD_FAILURE() << "no drawing context";
            drawContextClose(context);
            return {};
        }
        fill(pen);
        drawGCFree(pen);
        drawContextClose(context);
        XImage *image = XGetImage(display, p, 0, 0, kSide, kSide, AllPlanes, ZPixmap);
        if (image == nullptr) {
            ADD_FAILURE() << "XGetImage failed";
            return {};
        }
        std::string out;
        for (int y = 0; y < kSide; y++) {
            for (int x = 0; x < kSide; x++) {
                unsigned long v = XGetPixel(image, x, y);
                out += v == red ? '#' : v == white ? '.' : '?';
            }
            out += '\n';
        }
        XDestroyImage(image);
        return out;
    }

    static std::string expected(const std::function<bool(int, int)> &inside)
    {
        std::string out;
        for (int y = 0; y < kSide; y++) {
            for (int x = 0; x < kSide; x++) {
                out += inside(x, y) ? '#' : '.';
            }
            out += '\n';
        }
        return out;
    }

    Tk_Window window = nullptr;
    Display *display = nullptr;
    GC gc = nullptr;
    unsigned long white = 0, red = 0;
    std::vector<XColor *> colours;
    std::vector<Pixmap> pixmaps;
};

TEST_F(PolygonFill, ALoneTriangleOfThreePointsIsFilled)
{
    const std::string want = expected(inLoneTriangle);
    for (bool closed : {false, true}) {
        SCOPED_TRACE(closed ? "closed ring" : "open ring");
        std::vector<XPoint> ring = {{4, 4}, {24, 4}, {4, 44}};
        if (closed) {
            ring.push_back(ring[0]);
        }
        int counts[] = {static_cast<int>(ring.size())};
        EXPECT_EQ(drawn([&](DrawGC *pen) { drawFillRings(pen, ring.data(), 1, counts, Complex, CoordModeOrigin); }),
                  want);
        EXPECT_EQ(drawn([&](DrawGC *pen) { drawFillPolygon(pen, ring.data(), counts[0], Complex, CoordModeOrigin); }),
                  want);
    }
}

TEST_F(PolygonFill, ATriangularHoleOfThreePointsStaysEmpty)
{
    const std::string want = expected(inHoledBox);
    for (bool closed : {false, true}) {
        SCOPED_TRACE(closed ? "closed rings" : "open rings");
        std::vector<XPoint> box = {{2, 2}, {46, 2}, {46, 46}, {2, 46}};
        std::vector<XPoint> hole = {{10, 10}, {30, 10}, {10, 40}};
        if (closed) {
            box.push_back(box[0]);
            hole.push_back(hole[0]);
        }
        std::vector<XPoint> points = box;
        points.insert(points.end(), hole.begin(), hole.end());
        int counts[] = {static_cast<int>(box.size()), static_cast<int>(hole.size())};
        EXPECT_EQ(drawn([&](DrawGC *pen) { drawFillRings(pen, points.data(), 2, counts, Complex, CoordModeOrigin); }),
                  want);
        // The hole first: the even-odd rule does not care about order.
        std::vector<XPoint> reversed = hole;
        reversed.insert(reversed.end(), box.begin(), box.end());
        int reversedCounts[] = {counts[1], counts[0]};
        EXPECT_EQ(drawn([&](DrawGC *pen) {
                      drawFillRings(pen, reversed.data(), 2, reversedCounts, Complex, CoordModeOrigin);
                  }),
                  want);
    }
}

}  // namespace
