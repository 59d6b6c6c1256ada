/*
 * Shapes of the mask word (ovals worked out by hand, or by point count and
 * mirror symmetry) and regions of interest (pixels against rectangles).
 */
#include <gtest/gtest.h>

#include <array>
#include <set>
#include <string>
#include <utility>
#include <vector>
#include "display/gimg.h"
#include "support/test_interp.h"

namespace {

using Points = std::vector<std::pair<int, int>>;
using Pixels = std::set<std::pair<int, int>>;

/* Frees a shape or span list at the end of a test. */
struct Chain {
    SpanList *list;
    ~Chain() { polyFreeList(list); }
};

SpanList *shapes(const std::vector<const char *> &words)
{
    return parseShapeList(testInterp(), static_cast<int>(words.size()), const_cast<const char **>(words.data()));
}

Points pointsOf(const SpanList *list)
{
    Points out;
    for (int i = 0; i < list->count; i++) {
        out.emplace_back(list->points[i].x, list->points[i].y);
    }
    return out;
}

/* The pixels a span list covers: columns x1 to x2 - 1 of each pair's row. */
Pixels pixelsOf(const SpanList *spans)
{
    Pixels out;
    for (int i = 0; i + 1 < spans->count; i += 2) {
        EXPECT_EQ(spans->points[i].y, spans->points[i + 1].y);
        for (int x = spans->points[i].x; x < spans->points[i + 1].x; x++) {
            out.insert({x, spans->points[i].y});
        }
    }
    return out;
}

/* The pixels of boxes {x0, y0, x1, y1} together: columns x0 to x1 - 1 of
 * rows y0 to y1 - 1 of each. */
Pixels boxes(std::initializer_list<std::array<int, 4>> list)
{
    Pixels out;
    for (const auto &b : list) {
        for (int y = b[1]; y < b[3]; y++) {
            for (int x = b[0]; x < b[2]; x++) {
                out.insert({x, y});
            }
        }
    }
    return out;
}

/* The region of interest of words (given as the starting list). */
SpanList *roi(const SpanList *given, const std::vector<const char *> &words, int *error, std::string *message)
{
    Tcl_Interp *interp = testInterp();
    Tcl_ResetResult(interp);
    SpanList *out =
        parseRoi(interp, given, static_cast<int>(words.size()), const_cast<const char **>(words.data()), error);
    *message = Tcl_GetStringResult(interp);
    return out;
}

TEST(MaskShapes, OvalsAreWorkedOutAlongTheirLongerSideAndSmallOnesAreRectangles)
{
    /* X0 = Y0 = 0, X1 = Y1 = 4, a = b = 2, centre (2, 2): nx = ny = 8, so
     * one point per row; at rows 1 and 3 the half chord is 2 sqrt(0.75). */
    Chain oval{shapes({"ov", "0 0 5 5"})};
    ASSERT_NE(oval.list, nullptr);
    EXPECT_EQ(pointsOf(oval.list), (Points{{2, 0}, {0, 1}, {0, 2}, {0, 3}, {2, 4}, {4, 3}, {4, 2}, {4, 1}}));
    /* Corners given backwards, fewer than three pixels apart both ways. */
    Chain small{shapes({"ov", "3.4 2 1 1"})};
    ASSERT_NE(small.list, nullptr);
    EXPECT_EQ(pointsOf(small.list), (Points{{1, 1}, {1, 2}, {3, 2}, {3, 1}}));

    /* X1 = 100, Y1 = 40: nx = 200 > ny = 80, centre (50, 20); the top half
     * runs over columns 0..99, the bottom half back from 100 to 1. */
    Chain wide{shapes({"ov", "0 0 101 41"})};
    ASSERT_NE(wide.list, nullptr);
    Points p = pointsOf(wide.list);
    ASSERT_EQ(p.size(), 200u);
    EXPECT_EQ(p[0], std::make_pair(0, 20));
    EXPECT_EQ(p[50], std::make_pair(50, 0));
    EXPECT_EQ(p[100], std::make_pair(100, 20));
    EXPECT_EQ(p[150], std::make_pair(50, 40));
    for (int x = 1; x < 100; x++) {
        EXPECT_EQ(p[x].first, x);
        EXPECT_EQ(p[200 - x].first, x);
        EXPECT_EQ(p[x].second, p[100 - x].second) << "column " << x << " mirrors column " << 100 - x;
        EXPECT_EQ(p[x].second + p[200 - x].second, 40) << "column " << x << " mirrors about row 20";
    }
}

TEST(RegionOfInterest, CombineWordsGivenSpansAndErrors)
{
    int error = -1;
    std::string message;
    Chain given{roi(nullptr, {"rc", "0 0 4 2"}, &error, &message)};
    ASSERT_NE(given.list, nullptr) << message;
    struct Case {
        bool fromGiven;
        std::vector<const char *> words;
        Pixels want;
    };
    const std::vector<Case> cases = {
        {false, {"rc", "0 0 10 10", "or", "rc", "5 0 15 10"}, boxes({{0, 0, 10, 10}, {5, 0, 15, 10}})},
        {false, {"rc", "0 0 10 10", "and", "rc", "5 0 15 10"}, boxes({{5, 0, 10, 10}})},
        {false, {"rc", "0 0 10 10", "xor", "rc", "5 0 15 10"}, boxes({{0, 0, 5, 10}, {10, 0, 15, 10}})},
        /* A combine word holds for the shapes after it; set starts again. */
        {false, {"rc", "0 0 2 1", "or", "rc", "4 0 6 1", "rc", "8 0 9 1"},
         boxes({{0, 0, 2, 1}, {4, 0, 6, 1}, {8, 0, 9, 1}})},
        {false, {"rc", "0 0 10 10", "set", "rc", "1 1 3 2"}, boxes({{1, 1, 3, 2}})},
        /* Given spans start the region; current keeps them. */
        {true, {"current"}, boxes({{0, 0, 4, 2}})},
        {true, {"or", "rc", "2 0 6 1"}, boxes({{0, 0, 4, 2}, {2, 0, 6, 1}})},
    };
    for (const Case &c : cases) {
        Chain out{roi(c.fromGiven ? given.list : nullptr, c.words, &error, &message)};
        ASSERT_NE(out.list, nullptr) << message;
        EXPECT_EQ(error, 0);
        EXPECT_EQ(pixelsOf(out.list), c.want) << c.words.size() << " words";
    }

    const std::vector<std::pair<std::vector<const char *>, std::string>> errors = {
        {{"current", "rc", "0 0 1 1"}, "Syntax error.\n"},
        {{"rc", "0 0 1 1", "or"}, "error in parsing obj.\n"},
        {{"rc", "0 0 1 1", "xor", "tri", "0 0 1 1"}, "Unknown obj type: tri"},
    };
    for (const auto &[words, text] : errors) {
        Chain out{roi(given.list, words, &error, &message)};
        EXPECT_EQ(out.list, nullptr);
        EXPECT_EQ(error, 1);
        EXPECT_EQ(message, text);
    }
}

}  // namespace
