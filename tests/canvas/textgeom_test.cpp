/*
 * Text geometry: the size and aspect of scalable text at the canvas's
 * scales, the turn of gtext lines, and where an anchored block lies.
 */
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include "canvas/textgeom.h"

namespace {

GcanvasWidget canvasAt(double mx, double my)
{
    GcanvasWidget c{};
    c.mx = mx;
    c.my = my;
    c.textsizeratio = 1;
    c.textsizemin = 4;
    c.textsizemax = 400;
    return c;
}

TEST(TextGeometry, ScalableSizesFollowTheWorldWithinTheLimits)
{
    const struct {
        double mx, my;
        int scalable;
        double size, aspectOption;
        int shown, drawn;
        double aspect;
    } rows[] = {
        {2, 2, 1, 8, 0, 1, 16, 0},    {2, 0.25, 1, 8, 0, 0, 2, 3.2}, {2, 2, 1, 300, 0, 1, 400, 0},
        {1, 1, 1, -12, 0, 0, -12, 0}, {1, 1, 0, -12, 0, 0, -12, 0},  {2, 1, 1, 10, 0, 1, 10, 0.8},
        {2, 1, 0, 10, 0, 1, 10, 0},   {2, 1, 1, 10, 0.5, 1, 10, 1},  {2, 1, 0, 10, 0.5, 1, 10, 0.5},
        {-2, -2, 1, 8, 0, 1, 16, 0},  {3, 3, 1, 2.5, 0, 1, 8, 0},
    };
    for (const auto &r : rows) {
        GcanvasWidget canvas = canvasAt(r.mx, r.my);
        GcanvasTextScale t = gcanvasTextScale(&canvas, r.scalable, r.size, r.aspectOption);
        EXPECT_EQ(t.shown, r.shown) << r.mx << " " << r.my << " size " << r.size;
        EXPECT_EQ(t.size, r.drawn) << r.mx << " " << r.my << " size " << r.size;
        EXPECT_DOUBLE_EQ(t.aspect, r.aspect) << r.mx << " " << r.my << " aspect " << r.aspectOption;
    }
}

TEST(TextGeometry, EscapementTurnsCounterClockwiseOnAnUpwardWorld)
{
    const struct {
        double my, escapement, degrees, c, s;
    } rows[] = {
        {-1, 90, 90, 0, 1},    {1, 90, 270, 0, -1},     {-1, 180, 180, -1, 0},   {0, 450, 90, 0, 1},
        {-1, 30.04, 30, 0, 0}, {-1, 30.05, 30.1, 0, 0}, {1, 30.05, 329.9, 0, 0},
    };
    for (const auto &r : rows) {
        GcanvasWidget canvas = canvasAt(1, r.my);
        double c = 9, s = 9;
        EXPECT_DOUBLE_EQ(gcanvasTextTurn(&canvas, r.escapement, &c, &s), r.degrees) << r.escapement;
        if (r.c != 0 || r.s != 0) {
            EXPECT_EQ(c, r.c) << r.escapement;
            EXPECT_EQ(s, r.s) << r.escapement;
        }
    }
    GcanvasWidget canvas = canvasAt(1, -1);
    double c, s;
    double huge = gcanvasTextTurn(&canvas, 1e300, &c, &s);
    EXPECT_TRUE(huge >= 0 && huge < 360);
}

std::string cornersOf(Tk_Anchor anchor, int w, int h, double c, double s)
{
    double p[8];
    gcanvasTurnedBlock(anchor, w, h, c, s, p);
    std::string out;
    for (double v : p) {
        out += (out.empty() ? "" : " ") + std::to_string(static_cast<int>(std::lround(v)));
    }
    return out;
}

TEST(TextGeometry, AnchoredBlocksUnturnedAndTurned)
{
    const struct {
        Tk_Anchor anchor;
        int dx, dy;
    } offsets[] = {
        {TK_ANCHOR_CENTER, -5, -3}, {TK_ANCHOR_SE, -11, -7}, {TK_ANCHOR_NW, 0, 0},
        {TK_ANCHOR_N, -5, 0},       {TK_ANCHOR_W, 0, -3},    {TK_ANCHOR_E, -11, -3},
    };
    for (const auto &o : offsets) {
        int dx, dy;
        gcanvasTextAnchorOffset(o.anchor, 11, 7, &dx, &dy);
        EXPECT_EQ(dx, o.dx) << o.anchor;
        EXPECT_EQ(dy, o.dy) << o.anchor;
    }
    /* A quarter turn about the centre: h wide, w tall, the first line's
     * start at the bottom left. */
    EXPECT_EQ(cornersOf(TK_ANCHOR_CENTER, 10, 4, 0, 1), "-2 5 -2 -5 2 -5 2 5");
    EXPECT_EQ(cornersOf(TK_ANCHOR_NW, 10, 4, 1, 0), "0 0 10 0 10 4 0 4");
    EXPECT_EQ(cornersOf(TK_ANCHOR_SE, 10, 4, -1, 0), "10 4 0 4 0 0 10 0");
}

}  // namespace
