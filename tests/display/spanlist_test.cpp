/*
 * Point lists and spans: growth by 256 points, refusal of coordinates that
 * do not fit in 16 bits, scan conversion of rectangles, triangles and rings
 * with holes (even-odd), the set operations on span lists, the union of a
 * chain of shapes and the statistics of an image over spans. Expected
 * spans are worked out by hand from the shapes.
 */
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>
#include "display/spanlist.h"
#include "imagestore/stats.h"
#include "support/memimage.h"
#include "runtime/startup.h"
#include "support/stderr_capture.h"
#include "support/test_interp.h"

namespace {

using Points = std::vector<std::pair<int, int>>;

/* A span as the tests write it: columns x1 to x2 - 1 of row y. */
struct Span {
    int x1, x2, y;
    bool operator==(const Span &o) const { return x1 == o.x1 && x2 == o.x2 && y == o.y; }
};

std::ostream &operator<<(std::ostream &out, const Span &s)
{
    return out << "[" << s.x1 << "," << s.x2 << ")@" << s.y;
}

using Spans = std::vector<Span>;

/* A list of the points, as polygons and hand-made span lists are given. */
SpanList *makeList(const Points &points)
{
    SpanList *list = polyCreate(0);
    for (auto [x, y] : points) {
        EXPECT_EQ(polyAddPt(list, x, y), SPAN_ADDED);
    }
    return list;
}

SpanList *makeSpans(const Spans &spans)
{
    SpanList *list = polyCreate(0);
    for (const Span &s : spans) {
        EXPECT_EQ(spanAddPair(list, s.x1, s.x2, s.y), SPAN_ADDED);
    }
    return list;
}

Points pointsOf(const SpanList *list)
{
    Points out;
    for (int i = 0; i < list->count; i++) {
        out.emplace_back(list->points[i].x, list->points[i].y);
    }
    return out;
}

/* The spans of a list; every pair must lie on one row. */
Spans spansOf(const SpanList *list)
{
    Spans out;
    EXPECT_EQ(list->count % 2, 0);
    for (int i = 0; i + 1 < list->count; i += 2) {
        const SpanPoint &a = list->points[i];
        const SpanPoint &b = list->points[i + 1];
        EXPECT_EQ(a.y, b.y) << "pair " << i / 2 << " spans two rows";
        out.push_back({a.x, b.x, a.y});
    }
    return out;
}

/* Frees a list (and its chain) at the end of a test. */
struct Owned {
    SpanList *list;
    explicit Owned(SpanList *l) : list(l) {}
    ~Owned() { polyFreeList(list); }
    Owned(const Owned &) = delete;
    Owned &operator=(const Owned &) = delete;
    SpanList *operator->() const { return list; }
    SpanList *get() const { return list; }
};

/* Rows first..last, each spanning [x1, x2). */
Spans rows(int first, int last, int x1, int x2)
{
    Spans out;
    for (int y = first; y <= last; y++) {
        out.push_back({x1, x2, y});
    }
    return out;
}

/* ---- The record and its growth ---------------------------------------- */

TEST(PointList, CreateGivesZeroedPointsAndInitEmptiesARecord)
{
    SpanList record;
    record.count = 7;
    polyInit(&record);
    EXPECT_EQ(record.capacity, 0);
    EXPECT_EQ(record.count, 0);
    EXPECT_EQ(record.points, nullptr);
    EXPECT_EQ(record.next, nullptr);

    Owned three(polyCreate(3));
    ASSERT_NE(three.get(), nullptr);
    EXPECT_EQ(three->capacity, 3);
    EXPECT_EQ(three->count, 3);
    EXPECT_EQ(pointsOf(three.get()), (Points{{0, 0}, {0, 0}, {0, 0}}));

    Owned none(polyCreate(0));
    ASSERT_NE(none.get(), nullptr);
    EXPECT_EQ(none->count, 0);
    EXPECT_EQ(none->points, nullptr);
    EXPECT_EQ(polyCreate(-1), nullptr);
}

TEST(PointList, ResizingKeepsPointsZeroesNewOnesAndLimitsTheCount)
{
    Owned list(makeList({{1, 2}, {3, 4}}));
    ASSERT_NE(polyAllocPt(list.get(), 4), nullptr);
    EXPECT_EQ(list->capacity, 4);
    EXPECT_EQ(list->count, 2);
    list->count = 4;
    EXPECT_EQ(pointsOf(list.get()), (Points{{1, 2}, {3, 4}, {0, 0}, {0, 0}}));

    ASSERT_NE(polyAllocPt(list.get(), 1), nullptr);
    EXPECT_EQ(list->capacity, 1);
    EXPECT_EQ(pointsOf(list.get()), (Points{{1, 2}}));

    EXPECT_EQ(polyAllocPt(list.get(), 0), nullptr);
    EXPECT_EQ(list->capacity, 0);
    EXPECT_EQ(list->count, 0);
    EXPECT_EQ(list->points, nullptr);
}

/* Records what the list functions print to standard error. */
using PointListConsole = StderrCapture;

TEST_F(PointListConsole, AFailedResizeIsReportedAndKeepsThePoints)
{
    Owned list(makeList({{1, 2}, {3, 4}}));
    SpanPoint *before = list->points;
    EXPECT_EQ(polyAllocPt(list.get(), INT_MAX), nullptr);  // 8 GiB: refused
    EXPECT_EQ(errors(), "Error in polyAllocPt: fail to allocate memory.\n");
    EXPECT_EQ(list->points, before);
    EXPECT_EQ(list->capacity, SPAN_GROWTH);
    EXPECT_EQ(pointsOf(list.get()), (Points{{1, 2}, {3, 4}}));
}

TEST_F(PointListConsole, AListThatCannotGrowRefusesThePointAndKeepsTheRest)
{
    // A list already at the largest capacity: one more block would pass
    // 32 bits of points.
    SpanList full;
    polyInit(&full);
    full.capacity = INT_MAX;
    full.count = INT_MAX;
    EXPECT_EQ(polyAddPt(&full, 1, 1), SPAN_NOMEM);
    EXPECT_EQ(spanAddPair(&full, 1, 2, 1), SPAN_NOMEM);
    EXPECT_EQ(full.count, INT_MAX);
    EXPECT_EQ(full.capacity, INT_MAX);
    EXPECT_EQ(errors(), "Error in polyAllocPt: fail to allocate memory.\n"
                        "Error in polyAllocPt: fail to allocate memory.\n");
}

TEST(PointList, AddingGrowsBy256PointsAndKeepsEveryPoint)
{
    Owned list(polyCreate(0));
    Points expected;
    for (int i = 0; i < 600; i++) {
        int x = i - 300;
        int y = 3 * i;
        ASSERT_EQ(polyAddPt(list.get(), x, y), SPAN_ADDED);
        expected.emplace_back(x, y);
        int blocks = i / 256 + 1;
        ASSERT_EQ(list->capacity, blocks * 256) << "after point " << i;
    }
    EXPECT_EQ(list->count, 600);
    EXPECT_EQ(pointsOf(list.get()), expected);
}

TEST(PointList, CoordinatesOutside16BitsAreRefusedNotWrapped)
{
    Owned list(polyCreate(0));
    EXPECT_EQ(polyAddPt(list.get(), 32767, -32768), SPAN_ADDED);
    EXPECT_EQ(polyAddPt(list.get(), 32768, 0), SPAN_RANGE);
    EXPECT_EQ(polyAddPt(list.get(), 0, -32769), SPAN_RANGE);
    EXPECT_EQ(polyAddPt(list.get(), -70000, 70000), SPAN_RANGE);
    EXPECT_EQ(spanAddPair(list.get(), 0, 65536, 1), SPAN_RANGE);
    EXPECT_EQ(spanAddPair(list.get(), 0, 1, 40000), SPAN_RANGE);
    EXPECT_EQ(spanAddMerged(list.get(), -40000, 1, 1), SPAN_RANGE);
    EXPECT_EQ(spanTogglePoint(list.get(), 32767, 32768), SPAN_RANGE);
    EXPECT_EQ(pointsOf(list.get()), (Points{{32767, -32768}}));
}

TEST(PointList, CopiesAreIndependentAndChainsAreFreedWhole)
{
    SpanList *a = makeList({{1, 1}, {2, 2}});
    SpanList *b = makeList({{5, 5}});
    a->next = b;
    SpanList *copy = polyCopy(a);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->next, nullptr);
    EXPECT_EQ(copy->count, 2);
    EXPECT_NE(copy->points, a->points);
    copy->points[0].x = 9;
    EXPECT_EQ(pointsOf(a), (Points{{1, 1}, {2, 2}}));
    EXPECT_EQ(polyCopy(nullptr), nullptr);
    polyFreeList(copy);
    polyFreeList(a);  // takes b with it
    polyFreeList(nullptr);
}

/* ---- Scan conversion ----------------------------------------------------- */

TEST(PolygonSpans, ARectangleCoversItsTopRowButNotItsBottomRow)
{
    // Open and closed rings, both orientations: rows 0 to 9, columns 0 to 9.
    Spans expected = rows(0, 9, 0, 10);
    for (const Points &ring :
         {Points{{0, 0}, {10, 0}, {10, 10}, {0, 10}}, Points{{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}},
          Points{{0, 10}, {10, 10}, {10, 0}, {0, 0}}, Points{{10, 10}, {10, 0}, {0, 0}, {0, 10}, {10, 10}}}) {
        Owned polygon(makeList(ring));
        Owned spans(polyToSpans(polygon.get()));
        ASSERT_NE(spans.get(), nullptr);
        EXPECT_EQ(spansOf(spans.get()), expected) << "ring of " << ring.size() << " points";
        EXPECT_EQ(spans->capacity, 256);
    }
}

TEST(PolygonSpans, ARectangleAboveRowZeroScansItsNegativeRows)
{
    // The rectangle flipped by a negative y scale.
    Owned polygon(makeList({{0, 0}, {10, 0}, {10, -10}, {0, -10}}));
    Owned spans(polyToSpans(polygon.get()));
    ASSERT_NE(spans.get(), nullptr);
    EXPECT_EQ(spansOf(spans.get()), rows(-10, -1, 0, 10));
}

TEST(PolygonSpans, ATriangleWithAFlatTopRoundsItsSlopedEdges)
{
    // Edges x = y / 2 and x = 6 - y / 2; halves round away from zero.
    Spans expected{{0, 6, 0}, {1, 6, 1}, {1, 5, 2}, {2, 5, 3}, {2, 4, 4}, {3, 4, 5}};
    for (const Points &ring : {Points{{0, 0}, {6, 0}, {3, 6}}, Points{{3, 6}, {6, 0}, {0, 0}}}) {
        Owned polygon(makeList(ring));
        Owned spans(polyToSpans(polygon.get()));
        ASSERT_NE(spans.get(), nullptr);
        EXPECT_EQ(spansOf(spans.get()), expected);
    }
}

TEST(PolygonSpans, ATriangleLeftOfColumnZeroRoundsHalvesAwayFromZero)
{
    // Apex (0, 0), base row 6 from -3 to 3: edges x = -y / 2 and x = y / 2.
    Owned polygon(makeList({{0, 0}, {3, 6}, {-3, 6}}));
    Owned spans(polyToSpans(polygon.get()));
    ASSERT_NE(spans.get(), nullptr);
    EXPECT_EQ(spansOf(spans.get()), (Spans{{-1, 1, 1}, {-1, 1, 2}, {-2, 2, 3}, {-2, 2, 4}, {-3, 3, 5}}));
}

TEST(PolygonSpans, AStaircaseCountsEveryStepOnce)
{
    // Two flat steps on the right: rows 0-1 end at 4, rows 2-3 at 8.
    Owned polygon(makeList({{0, 0}, {4, 0}, {4, 2}, {8, 2}, {8, 4}, {0, 4}}));
    Owned spans(polyToSpans(polygon.get()));
    ASSERT_NE(spans.get(), nullptr);
    EXPECT_EQ(spansOf(spans.get()), (Spans{{0, 4, 0}, {0, 4, 1}, {0, 8, 2}, {0, 8, 3}}));
}

TEST(PolygonSpans, ATallPolygonGrowsItsSpansPast256Points)
{
    Owned polygon(makeList({{0, 0}, {5, 0}, {5, 300}, {0, 300}}));
    Owned spans(polyToSpans(polygon.get()));
    ASSERT_NE(spans.get(), nullptr);
    EXPECT_EQ(spans->count, 600);
    EXPECT_EQ(spans->capacity, 768);
    EXPECT_EQ(spansOf(spans.get()), rows(0, 299, 0, 5));
}

TEST(PolygonSpans, DegeneratePolygonsGiveNoSpans)
{
    for (const Points &ring : {Points{}, Points{{4, 4}}, Points{{4, 4}, {4, 4}}, Points{{0, 3}, {9, 3}}}) {
        Owned polygon(makeList(ring));
        Owned spans(polyToSpans(polygon.get()));
        ASSERT_NE(spans.get(), nullptr);
        EXPECT_EQ(spans->count, 0) << ring.size() << " points";
    }
    Owned spans(polyToSpans(nullptr));
    ASSERT_NE(spans.get(), nullptr);
    EXPECT_EQ(spans->count, 0);
}

TEST(ChainSpans, AHoleStaysEmptyAndAnIslandInsideItIsFilled)
{
    Points outer{{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    Points holeSame{{3, 3}, {7, 3}, {7, 7}, {3, 7}};
    Points holeReversed{{3, 3}, {3, 7}, {7, 7}, {7, 3}, {3, 3}};
    Points island{{4, 4}, {6, 4}, {6, 6}, {4, 6}};

    for (const Points &hole : {holeSame, holeReversed}) {
        SpanList *chain = makeList(outer);
        chain->next = makeList(hole);
        Owned owned(chain);
        Owned spans(polyChainSpans(chain));
        ASSERT_NE(spans.get(), nullptr);
        Spans expected = rows(0, 2, 0, 10);
        for (int y = 3; y <= 6; y++) {
            expected.push_back({0, 3, y});
            expected.push_back({7, 10, y});
        }
        for (const Span &s : rows(7, 9, 0, 10)) {
            expected.push_back(s);
        }
        EXPECT_EQ(spansOf(spans.get()), expected);

        chain->next->next = makeList(island);
        Owned withIsland(polyChainSpans(chain));
        ASSERT_NE(withIsland.get(), nullptr);
        Spans expectedIsland = rows(0, 2, 0, 10);
        for (int y = 3; y <= 6; y++) {
            bool onIsland = y == 4 || y == 5;
            expectedIsland.push_back({0, 3, y});
            if (onIsland) {
                expectedIsland.push_back({4, 6, y});
            }
            expectedIsland.push_back({7, 10, y});
        }
        for (const Span &s : rows(7, 9, 0, 10)) {
            expectedIsland.push_back(s);
        }
        EXPECT_EQ(spansOf(withIsland.get()), expectedIsland);
    }
}

TEST(ChainSpans, TwoIdenticalPolygonsCancelAndDisjointOnesAddUp)
{
    Points square{{0, 0}, {4, 0}, {4, 2}, {0, 2}};
    SpanList *twice = makeList(square);
    twice->next = makeList(square);
    Owned ownedTwice(twice);
    Owned none(polyChainSpans(twice));
    ASSERT_NE(none.get(), nullptr);
    EXPECT_EQ(none->count, 0);

    SpanList *apart = makeList(square);
    apart->next = makeList({{6, 1}, {8, 1}, {8, 3}, {6, 3}});
    Owned ownedApart(apart);
    Owned both(polyChainSpans(apart));
    ASSERT_NE(both.get(), nullptr);
    EXPECT_EQ(spansOf(both.get()), (Spans{{0, 4, 0}, {0, 4, 1}, {6, 8, 1}, {6, 8, 2}}));
}

/* ---- Set operations ---------------------------------------------------- */

class SpanSets : public ::testing::Test {
protected:
    // a: row 0 [0,4) [6,10), row 1 [2,5); b: row 0 [3,7), row 2 [0,1)
    Owned a{makeSpans({{0, 4, 0}, {6, 10, 0}, {2, 5, 1}})};
    Owned b{makeSpans({{3, 7, 0}, {0, 1, 2}})};

    static void expectShrunk(const SpanList *list)
    {
        EXPECT_EQ(list->capacity, list->count);
        EXPECT_EQ(list->next, nullptr);
    }
};

TEST_F(SpanSets, UnionJoinsOverlappingAndTouchingSpans)
{
    Owned u(spanUnion(a.get(), b.get()));
    ASSERT_NE(u.get(), nullptr);
    EXPECT_EQ(spansOf(u.get()), (Spans{{0, 10, 0}, {2, 5, 1}, {0, 1, 2}}));
    expectShrunk(u.get());

    Owned left(makeSpans({{0, 5, 3}}));
    Owned right(makeSpans({{5, 8, 3}}));
    Owned touching(spanUnion(right.get(), left.get()));
    ASSERT_NE(touching.get(), nullptr);
    EXPECT_EQ(spansOf(touching.get()), (Spans{{0, 8, 3}}));
}

TEST_F(SpanSets, IntersectionKeepsOnlyTheOverlaps)
{
    Owned both(spanIntersect(a.get(), b.get()));
    ASSERT_NE(both.get(), nullptr);
    EXPECT_EQ(spansOf(both.get()), (Spans{{3, 4, 0}, {6, 7, 0}}));
    expectShrunk(both.get());

    Owned left(makeSpans({{0, 5, 3}}));
    Owned right(makeSpans({{5, 8, 3}}));
    Owned touching(spanIntersect(left.get(), right.get()));
    ASSERT_NE(touching.get(), nullptr);
    EXPECT_EQ(touching->count, 0);
}

TEST_F(SpanSets, SymmetricDifferenceKeepsWhatOnlyOneListCovers)
{
    Owned x(spanXor(a.get(), b.get()));
    ASSERT_NE(x.get(), nullptr);
    EXPECT_EQ(spansOf(x.get()), (Spans{{0, 3, 0}, {4, 6, 0}, {7, 10, 0}, {2, 5, 1}, {0, 1, 2}}));
    expectShrunk(x.get());

    Owned left(makeSpans({{0, 5, 3}}));
    Owned right(makeSpans({{5, 8, 3}}));
    Owned touching(spanXor(left.get(), right.get()));
    ASSERT_NE(touching.get(), nullptr);
    EXPECT_EQ(spansOf(touching.get()), (Spans{{0, 8, 3}}));

    Owned inner(makeSpans({{2, 4, 1}}));
    Owned cut(spanXor(a.get(), inner.get()));
    ASSERT_NE(cut.get(), nullptr);
    EXPECT_EQ(spansOf(cut.get()), (Spans{{0, 4, 0}, {6, 10, 0}, {4, 5, 1}}));
}

TEST_F(SpanSets, AListWithItselfOrWithNothing)
{
    Owned self(spanXor(a.get(), a.get()));
    ASSERT_NE(self.get(), nullptr);
    EXPECT_EQ(self->count, 0);
    EXPECT_EQ(self->points, nullptr);

    Spans aSpans = spansOf(a.get());
    Owned same(spanUnion(a.get(), a.get()));
    Owned common(spanIntersect(a.get(), a.get()));
    Owned withNothing(spanUnion(a.get(), nullptr));
    Owned xorNothing(spanXor(nullptr, a.get()));
    Owned andNothing(spanIntersect(a.get(), nullptr));
    ASSERT_TRUE(same.get() && common.get() && withNothing.get() && xorNothing.get() && andNothing.get());
    EXPECT_EQ(spansOf(same.get()), aSpans);
    EXPECT_EQ(spansOf(common.get()), aSpans);
    EXPECT_EQ(spansOf(withNothing.get()), aSpans);
    EXPECT_EQ(spansOf(xorNothing.get()), aSpans);
    EXPECT_EQ(andNothing->count, 0);
}

TEST_F(SpanSets, OperationsOnScannedPolygonsMatchTheShapes)
{
    // Squares [0,6)x[0,6) and [3,9)x[3,9): union, overlap and difference by rows.
    Owned p(polyToSpans(Owned(makeList({{0, 0}, {6, 0}, {6, 6}, {0, 6}})).get()));
    Owned q(polyToSpans(Owned(makeList({{3, 3}, {9, 3}, {9, 9}, {3, 9}})).get()));
    ASSERT_TRUE(p.get() && q.get());

    Owned u(spanUnion(p.get(), q.get()));
    Owned i(spanIntersect(p.get(), q.get()));
    Owned x(spanXor(p.get(), q.get()));
    ASSERT_TRUE(u.get() && i.get() && x.get());

    Spans eu = rows(0, 2, 0, 6);
    Spans ex = rows(0, 2, 0, 6);
    for (int y = 3; y <= 5; y++) {
        eu.push_back({0, 9, y});
        ex.push_back({0, 3, y});
        ex.push_back({6, 9, y});
    }
    for (const Span &s : rows(6, 8, 3, 9)) {
        eu.push_back(s);
        ex.push_back(s);
    }
    EXPECT_EQ(spansOf(u.get()), eu);
    EXPECT_EQ(spansOf(i.get()), rows(3, 5, 3, 6));
    EXPECT_EQ(spansOf(x.get()), ex);
}

/* ---- Shapes united, statistics over spans ------------------------------- */

TEST_F(SpanSets, AChainOfShapesIsUnitedWithARegionInTheGivenRowsOnly)
{
    // [0,4)x[0,4) and [2,6)x[2,6) in rows 1..4, added to a span of row 9.
    Owned chain(makeList({{0, 0}, {4, 0}, {4, 4}, {0, 4}}));
    chain->next = makeList({{2, 2}, {6, 2}, {6, 6}, {2, 6}});
    Owned region(makeSpans({{7, 8, 9}}));
    Owned u(shapeChainUnion(region.get(), chain.get(), 1, 4));
    ASSERT_NE(u.get(), nullptr);
    Spans want = {{0, 4, 1}, {0, 6, 2}, {0, 6, 3}, {2, 6, 4}, {7, 8, 9}};
    EXPECT_EQ(spansOf(u.get()), want);
    EXPECT_EQ(spansOf(region.get()), Spans({{7, 8, 9}}));
}

TEST_F(SpanSets, ManyShapesUniteWhateverTheirOrderInTheChain)
{
    // Six one-row rectangles and no region: seven lists united in pairs
    // (the last one waits a round). [0,2) and [2,4) of row 0 touch but are
    // first united with other lists; [3,5) of row 1 lies inside [1,7).
    const int boxes[][3] = {{0, 2, 0}, {2, 4, 0}, {6, 8, 0}, {1, 7, 1}, {3, 5, 1}, {10, 12, 0}};
    Owned chain(nullptr);
    SpanList *last = nullptr;
    for (const auto &b : boxes) {
        SpanList *box = makeList({{b[0], b[2]}, {b[1], b[2]}, {b[1], b[2] + 1}, {b[0], b[2] + 1}});
        if (last == nullptr) {
            chain.list = box;
        } else {
            last->next = box;
        }
        last = box;
    }
    Owned u(shapeChainUnion(nullptr, chain.get(), INT16_MIN, INT16_MAX));
    ASSERT_NE(u.get(), nullptr);
    Spans want = {{0, 4, 0}, {6, 8, 0}, {10, 12, 0}, {1, 7, 1}};
    EXPECT_EQ(spansOf(u.get()), want);
}

using RegionStats = MemStoreTest;

TEST_F(RegionStats, SpansCountOnlyTheirPixelsInsideTheImage)
{
    // 6 x 4 BYTE, value 10 * row + column: spans give 10, 11 (row 1) and
    // 24, 25 (row 2); the rest lie left, right, above or below.
    RamImage *img = makeMemImage(IMG_MBSQ, PIX_BYTE, 4, 6, 1);
    ASSERT_NE(img, nullptr);
    for (int r = 0; r < 4; r++) {
        std::vector<unsigned char> row;
        for (int c = 0; c < 6; c++) {
            row.push_back(static_cast<unsigned char>(10 * r + c));
        }
        memImageStore(img, r, 0, row);
    }
    Owned outside(makeSpans({{-1, 5, -1}, {-5, 0, 3}, {6, 8, 3}, {0, 6, 4}}));
    Owned spans(makeSpans({{-3, 2, 1}, {4, 9, 2}, {-5, 0, 3}, {6, 8, 3}, {0, 6, 4}}));
    BandStat *own = ramImageHist(img, 0, 1, 1);
    BandStat *stats = ramImageHistWithROI(img, spans.get(), 0);
    ASSERT_NE(stats, nullptr);
    EXPECT_EQ(stats[0].count, 4);
    EXPECT_EQ(stats[0].sum, 70);
    EXPECT_EQ(stats[0].min, 10);
    EXPECT_EQ(stats[0].max, 25);
    EXPECT_DOUBLE_EQ(stats[0].mean, 17.5);
    EXPECT_EQ(stats[0].nBins, 256);
    EXPECT_EQ(stats[0].bins[25], 1u);
    EXPECT_EQ(stats[0].bins[12], 0u);
    EXPECT_TRUE(stats[0].done);
    EXPECT_EQ(img->stats, own);
    freeHist(stats, 1);

    EXPECT_EQ(ramImageHistWithROI(img, outside.get(), 0), nullptr);
    EXPECT_EQ(ramImageHistWithROI(img, nullptr, 0), nullptr);
    BandStat *kept = ramImageHistWithROI(img, spans.get(), 1);
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(img->stats, kept);
    EXPECT_EQ(ramImageHistWithROI(img, outside.get(), 1), nullptr);
    EXPECT_EQ(img->stats, nullptr);
}

TEST_F(RegionStats, WideImagesAreReadAsValues)
{
    RamImage *img = makeMemImage(IMG_MBSQ, PIX_FLOAT, 1, 3, 2);
    ASSERT_NE(img, nullptr);
    const float band0[3] = {-1.5f, 2.5f, 1000.25f};
    const float band1[3] = {7.0f, 8.0f, 9.0f};
    memImageStore(img, 0, 0, band0, sizeof band0);
    memImageStore(img, 0, 1, band1, sizeof band1);
    Owned spans(makeSpans({{1, 3, 0}}));
    BandStat *stats = ramImageHistWithROI(img, spans.get(), 0);
    ASSERT_NE(stats, nullptr);
    EXPECT_EQ(stats[0].nBins, 0);
    EXPECT_EQ(stats[0].count, 2);
    EXPECT_DOUBLE_EQ(stats[0].mean, (2.5 + 1000.25) / 2);
    EXPECT_EQ(stats[0].min, 2.5);
    EXPECT_EQ(stats[1].sum, 17);
    freeHist(stats, 2);
}

}  // namespace
