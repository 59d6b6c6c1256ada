/*
 * Canvas coordinates: the world transform both ways with normalised boxes,
 * drawable coordinates held to 16 bits, world points to drawable points
 * with repeats and straight middle points dropped, multi-part layouts,
 * point arrays, signed areas, the ShapeKind table, ring clipping (16-bit
 * and in doubles) and "@x,y" index words, whatever LC_NUMERIC says.
 */
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <vector>
#include "canvas/coords.h"
#include "support/commalocale.h"

namespace {

/* A canvas record holding only a world transform. */
GcanvasWidget transform(double mx, double my, double viewx = 0, double viewy = 0)
{
    GcanvasWidget c;
    std::memset(&c, 0, sizeof c);
    c.mx = mx;
    c.my = my;
    c.viewxorigin = viewx;
    c.viewyorigin = viewy;
    c.xOffset = mx * viewx;
    c.yOffset = my * viewy;
    return c;
}

using Points = std::vector<XPoint>;

std::vector<int> flat(const XPoint *p, int n)
{
    std::vector<int> out;
    for (int i = 0; i < n; i++) {
        out.push_back(p[i].x);
        out.push_back(p[i].y);
    }
    return out;
}

std::vector<int> screen(const GcanvasWidget &c, const std::vector<double> &world)
{
    int n = static_cast<int>(world.size() / 2);
    Points out(std::max(n, 2));
    int kept = worldToScreenPoints(&c, world.data(), n, out.data());
    return flat(out.data(), kept);
}

Points ring(const std::vector<int> &xy)
{
    Points p;
    for (size_t i = 0; i + 1 < xy.size(); i += 2) {
        p.push_back(XPoint{static_cast<short>(xy[i]), static_cast<short>(xy[i + 1])});
    }
    return p;
}

using I = std::vector<int>;
using D = std::vector<double>;

TEST(CanvasTransform, WorldAndCanvasPointsRoundTripUnderFlippedScales)
{
    for (const GcanvasWidget &c : {transform(1, 1), transform(2, -2, 10, 20), transform(0.25, 4, -3.5, 7)}) {
        D world{0, 0, 10.5, -3.25, 1e6, -1e-3};
        D canvas(world.size()), back(world.size());
        worldToCanvasPoints(&c, world.data(), canvas.data(), 3);
        canvasToWorldPoints(&c, canvas.data(), back.data(), 3);
        for (size_t i = 0; i < world.size(); i++) {
            EXPECT_NEAR(back[i], world[i], 1e-9 * (1 + std::abs(world[i])));
        }
    }
    // The view origin lands on canvas (0, 0); in place works too.
    GcanvasWidget c = transform(2, -2, 10, 20);
    D p{10, 20, 11, 21};
    worldToCanvasPoints(&c, p.data(), p.data(), 2);
    EXPECT_EQ(p, (D{0, 0, 2, -2}));
}

TEST(CanvasTransform, BoxesComeOutNormalised)
{
    GcanvasWidget c = transform(2, -2, 10, 20);
    double box[4];
    worldRectToCanvas(&c, 0, 0, 100, 50, box);
    EXPECT_EQ(D(box, box + 4), (D{-20, -60, 180, 40}));
    canvasRectToWorld(&c, box[0], box[1], box[2], box[3], box);
    EXPECT_EQ(D(box, box + 4), (D{0, 0, 100, 50}));

    GcanvasItem item;
    std::memset(&item, 0, sizeof item);
    setItemBBoxFromWorld(&c, &item, 0, 0, 100, 50);
    EXPECT_EQ((D{item.x1, item.y1, item.x2, item.y2}), (D{-20, -60, 180, 40}));
    gcanvasItemWorldBBox(&c, &item, box);
    EXPECT_EQ(D(box, box + 4), (D{0, 0, 100, 50}));
    double x1, y1, x2, y2;
    itemBBoxWorldToCanvas(&c, &item, &x1, &y1, &x2, &y2);
    EXPECT_EQ((D{x1, y1, x2, y2}), (D{-60, -40, 340, 160}));
}

TEST(DrawableCoord, RoundsHalvesAwayFromZeroAndHoldsTo16Bits)
{
    EXPECT_EQ(gcanvasDrawableCoord(0, 40000), 32767);
    EXPECT_EQ(gcanvasDrawableCoord(0, -40000), -32768);
    EXPECT_EQ(gcanvasDrawableCoord(0, 32766.6), 32767);
    EXPECT_EQ(gcanvasDrawableCoord(100, 102.5), 3);
    EXPECT_EQ(gcanvasDrawableCoord(100, 97.5), -3);
    EXPECT_EQ(gcanvasDrawableCoord(-10, 0.49), 10);
    EXPECT_EQ(gcanvasDrawableCoord(5, 5), 0);
}

TEST(ScreenPoints, RepeatsCollapseAndStraightRunsLoseTheirMiddles)
{
    GcanvasWidget c = transform(1, 1);
    EXPECT_EQ(screen(c, {3, 4}), (I{3, 4, 3, 4}));
    EXPECT_EQ(screen(c, {3, 4, 3, 4, 3.2, 4.1}), (I{3, 4, 3, 4}));
    EXPECT_EQ(screen(c, {0, 0, 10, 0, 20, 0}), (I{0, 0, 20, 0}));
    EXPECT_EQ(screen(c, {0, 0, 10, 0, 5, 0}), (I{0, 0, 10, 0, 5, 0}));
    EXPECT_EQ(screen(c, {0, 0, 0, 10, 0, 5}), (I{0, 0, 0, 10, 0, 5}));
    EXPECT_EQ(screen(c, {0, 0, 10, 10, 20, 20, 30, 40}), (I{0, 0, 20, 20, 30, 40}));
    // Several dropped in a row, then a turn; the ends always stay.
    EXPECT_EQ(screen(c, {0, 0, 1, 0, 2, 0, 3, 0, 3, 5, 3, 9}), (I{0, 0, 3, 0, 3, 9}));

    // Through the transform and the drawable origin.
    GcanvasWidget t = transform(2, -2, 10, 20);
    t.drawableXOrigin = -5;
    t.drawableYOrigin = 5;
    EXPECT_EQ(screen(t, {10, 20, 12.25, 17}), (I{5, -5, 10, 1}));
}

TEST(ScreenPoints, PartsSpreadForClippingOrPacked)
{
    GcanvasWidget c = transform(1, 1);
    D world{0, 0, 5, 0, 10, 0, /* part 2 */ 7, 7, /* part 3 */ 1, 1, 2, 3, 1, 5};
    int counts[3] = {3, 1, 3};
    Points out(4 * 7);
    EXPECT_EQ(worldToScreenParts(&c, world.data(), out.data(), 3, counts), 7);
    EXPECT_EQ((I{counts[0], counts[1], counts[2]}), (I{2, 2, 3}));
    EXPECT_EQ(flat(out.data(), 2), (I{0, 0, 10, 0}));
    EXPECT_EQ(flat(out.data() + 4, 2), (I{7, 7, 7, 7}));
    EXPECT_EQ(flat(out.data() + 8, 3), (I{1, 1, 2, 3, 1, 5}));

    int packedCounts[3] = {3, 1, 3};
    Points packed(7 + 3);
    EXPECT_EQ(worldToScreenPartsPacked(&c, world.data(), packed.data(), 3, packedCounts), 7);
    EXPECT_EQ(flat(packed.data(), 7), (I{0, 0, 10, 0, 7, 7, 7, 7, 1, 1, 2, 3, 1, 5}));
}

TEST(PointArrays, BoxesMovesMirrorsAndParts)
{
    D p{3, -1, -2, 4, 5, 0};
    double box[4];
    pointsBBox(p.data(), 3, box);
    EXPECT_EQ(D(box, box + 4), (D{-2, -1, 5, 4}));

    D moved(6);
    translatePointsTo(p.data(), moved.data(), 1, -1, 3);
    EXPECT_EQ(moved, (D{4, -2, -1, 3, 6, -1}));
    translatePoints(moved.data(), -1, 1, 3);
    EXPECT_EQ(moved, p);

    D m{0, 0, 2, 1, 4, 5};
    mirrorPointsX(m.data(), 3);
    EXPECT_EQ(m, (D{4, 0, 2, 1, 0, 5}));
    mirrorPointsY(m.data(), 3);
    EXPECT_EQ(m, (D{4, 4, 2, 3, 0, -1}));

    int counts[2] = {3, 4};
    EXPECT_EQ(partIndexOfPoint(2, counts, 2), 0);
    EXPECT_EQ(partIndexOfPoint(3, counts, 2), 1);
    EXPECT_EQ(partIndexOfPoint(7, counts, 2), 1);
    EXPECT_EQ(partIndexOfPoint(-1, counts, 2), 0);
    EXPECT_EQ(partIndexOfPoint(0, counts, 0), -1);
}

TEST(PointArrays, SignedAreasFollowTheRingsDirection)
{
    D square{0, 0, 0, 1, 1, 1, 1, 0};
    EXPECT_EQ(polygonSignedArea(square.data(), 4), 1);
    D reversed{1, 0, 1, 1, 0, 1, 0, 0};
    EXPECT_EQ(polygonSignedArea(reversed.data(), 4), -1);
    EXPECT_EQ(polygonSignedArea(square.data(), 0), 0);

    Points s = ring({0, 0, 0, 10, 10, 10, 10, 0});
    EXPECT_EQ(polygonArea2Short(s.data(), 4), 200);
    // Large coordinates do not overflow.
    Points big = ring({-32768, -32768, -32768, 32767, 32767, 32767, 32767, -32768});
    EXPECT_EQ(polygonArea2Short(big.data(), 4), 2LL * 65535 * 65535);
    EXPECT_EQ(polygonArea2Short(s.data(), 0), 0);
}

TEST(ShapeKinds, TheTableByNameCodeAndRow)
{
    EXPECT_EQ(shapeKindByName("POLYGONZ"), 0x2400);
    EXPECT_EQ(shapeKindByName("polygonz"), -1);
    EXPECT_STREQ(shapeKindName(0x4400), "MULTIPOINTZ");
    EXPECT_EQ(shapeKindName(0x4800), nullptr);
    EXPECT_STREQ(shapeKindNameAt(0), "POINT");
    EXPECT_STREQ(shapeKindNameAt(12), "MULTIPOINTZ");
    EXPECT_EQ(shapeKindNameAt(13), nullptr);
    EXPECT_EQ(shapeKindNameAt(-1), nullptr);

    GcanvasItemType type;
    std::memset(&type, 0, sizeof type);
    GcanvasItem item;
    std::memset(&item, 0, sizeof item);
    item.type = &type;
    const std::pair<const char *, int> kinds[] = {
        {"line", 0x200},   {"polygon", 0x400}, {"symbol", 0x100}, {"gtext", 0x100}, {"text", 0x100}, {"image", 0x100},
        {"bitmap", 0x100}, {"rectangle", -1},  {"oval", -1},      {"group", -1},    {"object", -1}};
    for (const auto &kind : kinds) {
        type.name = kind.first;
        EXPECT_EQ(itemShapeKind(&item), kind.second) << kind.first;
    }
}

TEST(Clipping, RingsInsideOutsideAndAcrossTheBox)
{
    // Inside: unchanged.
    Points in = ring({2, 2, 8, 2, 8, 8, 2, 8});
    EXPECT_EQ(clipPolygonToBox(in, 4, 0, 0, 10, 10), 4);
    EXPECT_EQ(flat(in.data(), 4), (I{2, 2, 8, 2, 8, 8, 2, 8}));
    // Wholly to one side: nothing.
    Points out = ring({20, 0, 30, 0, 30, 10});
    EXPECT_EQ(clipPolygonToBox(out, 3, 0, 0, 10, 10), 0);
    // A vertex on xmin stays.
    Points edge = ring({0, 5, 5, 2, 5, 8});
    EXPECT_EQ(clipPolygonToBox(edge, 3, 0, 0, 10, 10), 3);
    EXPECT_EQ(flat(edge.data(), 3), (I{0, 5, 5, 2, 5, 8}));
    // A square larger than the box becomes the box.
    Points big = ring({-5, -5, 15, -5, 15, 15, -5, 15});
    int n = clipPolygonToBox(big, 4, 0, 0, 10, 10);
    std::vector<int> corners = flat(big.data(), n);
    EXPECT_EQ(n, 4);
    EXPECT_EQ(corners, (I{0, 10, 0, 0, 10, 0, 10, 10}));
    // A triangle clipped to seven points: more than twice its own count,
    // so the buffer grows.
    Points tri = ring({-10, -10, 2, 6, 16, 14});
    n = clipPolygonToBox(tri, 3, 0, 0, 10, 10);
    EXPECT_EQ(flat(tri.data(), n), (I{10, 10, 10, 8, 1, 0, 0, 0, 0, 3, 2, 6, 8, 10}));
    EXPECT_EQ(clipPolygonToBox(tri, 0, 0, 0, 10, 10), 0);
}

TEST(Clipping, RingListsArePackedFromTheStart)
{
    // Ring 0 at 0 (count 4), ring 1 at 8 (count 3), ring 2 at 14 (count 4).
    Points p(22);
    Points r0 = ring({-5, -5, 15, -5, 15, 15, -5, 15});
    Points r1 = ring({20, 0, 30, 0, 30, 10});
    Points r2 = ring({2, 2, 8, 2, 8, 8, 2, 8});
    std::copy(r0.begin(), r0.end(), p.begin());
    std::copy(r1.begin(), r1.end(), p.begin() + 8);
    std::copy(r2.begin(), r2.end(), p.begin() + 14);
    int counts[3] = {4, 3, 4};
    EXPECT_EQ(clipPolygonsToBox(p, 3, counts, 0, 0, 10, 10), 8);
    EXPECT_EQ((I{counts[0], counts[1], counts[2]}), (I{4, 0, 4}));
    EXPECT_EQ(flat(p.data(), 8), (I{0, 10, 0, 0, 10, 0, 10, 10, 2, 2, 8, 2, 8, 8, 2, 8}));
}

/* The points of a ring in doubles, flattened. */
D flatDoubles(const std::vector<DrawablePoint> &ring)
{
    D out;
    for (const DrawablePoint &p : ring) {
        out.push_back(p.x);
        out.push_back(p.y);
    }
    return out;
}

TEST(Clipping, RingsInDoublesReachPastSixteenBitsAndKeepExactCrossings)
{
    std::vector<DrawablePoint> scratch;
    const double box[4] = {0, 0, 10, 10};
    // A square a billion units out on every side becomes the box, corners
    // in the order the 16-bit clipper gives them.
    std::vector<DrawablePoint> big = {{-1e9, -1e9}, {1e9, -1e9}, {1e9, 1e9}, {-1e9, 1e9}};
    clipRingToBox(big, scratch, box);
    EXPECT_EQ(flatDoubles(big), (D{0, 10, 0, 0, 10, 0, 10, 10}));

    // The edge (1, 1) -> (-2, 0) crosses x = 0 at y = 1 - 1/3: kept as it
    // is, where the 16-bit clipper rounds it to 1.
    const double wide[4] = {0, -5, 10, 5};
    std::vector<DrawablePoint> tri = {{-2, 0}, {1, 0}, {1, 1}};
    clipRingToBox(tri, scratch, wide);
    ASSERT_EQ(tri.size(), 4u);
    EXPECT_EQ(tri[0].x, 0);
    EXPECT_DOUBLE_EQ(tri[0].y, 2.0 / 3.0);
    EXPECT_EQ((D{tri[1].x, tri[1].y, tri[2].x, tri[2].y, tri[3].x, tri[3].y}), (D{0, 0, 1, 0, 1, 1}));
    Points rounded = ring({-2, 0, 1, 0, 1, 1});
    EXPECT_EQ(flat(rounded.data(), clipPolygonToBox(rounded, 3, 0, -5, 10, 5)), (I{0, 1, 0, 0, 1, 0, 1, 1}));

    // Wholly outside, or empty: nothing is left.
    std::vector<DrawablePoint> away = {{20, 0}, {30, 0}, {30, 10}};
    clipRingToBox(away, scratch, box);
    EXPECT_TRUE(away.empty());
    clipRingToBox(away, scratch, box);
    EXPECT_TRUE(away.empty());
}

TEST(AtPoints, TwoNumbersWithAPointUnderAnyDecimalLocale)
{
    struct {
        const char *word;
        bool read;
        double x, y;
    } cases[] = {
        {"@1.5,-2.25", true, 1.5, -2.25}, {"@3,4e1", true, 3, 40}, {"@1,5,2", false, 0, 0},
        {"@1.5", false, 0, 0},           {"1.5,2", false, 0, 0},  {"@1.5,2.5 ", false, 0, 0},
    };
    for (bool underComma : {false, true}) {
        std::optional<CommaLocale> comma;
        if (underComma && !comma.emplace().active()) {
            continue;  // the machine can have no comma-decimal locale
        }
        for (const auto &c : cases) {
            double x = -7, y = -7;
            EXPECT_EQ(gcanvasParseAtPoint(c.word, &x, &y), c.read) << c.word << (underComma ? " (comma locale)" : "");
            EXPECT_EQ(x, c.read ? c.x : -7) << c.word;
            EXPECT_EQ(y, c.read ? c.y : -7) << c.word;
        }
    }
}

}  // namespace
