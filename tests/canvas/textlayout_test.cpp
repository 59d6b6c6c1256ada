/*
 * Rotated text layouts over a fake font whose characters are all the same
 * width: line breaking, tabs, justification, hit tests, character boxes,
 * drawing positions at a turn, PostScript strings, and rebuilding only
 * when an input changes.
 */
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>
#include "canvas/textlayout.h"
#include "display/rotfont.h"
#include "support/test_interp.h"

namespace {

/* Every character `advance` pixels wide. */
struct FakeFont {
    int advance;
    std::vector<std::string> drawn; /* "text@x,y" of each draw */
};

/* Tk's measuring rule over equal advances. */
int fakeMeasure(void *font, const char *text, int numBytes, int maxLength, int flags, int *length)
{
    const int advance = static_cast<FakeFont *>(font)->advance;
    int curX = 0, curByte = 0, termX = 0, termByte = 0;
    bool sawNonSpace = false;
    while (curByte < numBytes) {
        Tcl_UniChar ch = 0;
        int len = Tcl_UtfToUniChar(text + curByte, &ch);
        if (ch < 128 && std::isspace(static_cast<int>(ch))) {
            if (sawNonSpace) {
                termByte = curByte;
                termX = curX;
                sawNonSpace = false;
            }
        } else {
            sawNonSpace = true;
        }
        int newX = curX + advance;
        if (maxLength >= 0 && newX > maxLength) {
            if ((flags & TK_PARTIAL_OK) || ((flags & TK_AT_LEAST_ONE) && curByte == 0)) {
                curX = newX;
                curByte += len;
            } else if ((flags & TK_WHOLE_WORDS) && termX != 0) {
                curX = termX;
                curByte = termByte;
            }
            break;
        }
        curX = newX;
        curByte += len;
    }
    *length = curX;
    return curByte;
}

void fakeDraw(Display *, Drawable, GC, void *font, const char *text, int numBytes, int x, int y, double, double)
{
    static_cast<FakeFont *>(font)->drawn.push_back(std::string(text, static_cast<size_t>(numBytes)) + "@" +
                                                   std::to_string(x) + "," + std::to_string(y));
}

/* Ascent 8, descent 2: lines 10 pixels apart. */
LayoutFont fake(FakeFont *font, int tabWidth = 40)
{
    return LayoutFont{font, fakeMeasure, fakeDraw, 8, 2, tabWidth};
}

std::string chunksOf(const RotatedTextLayout *layout)
{
    std::string out;
    for (const LayoutChunk &c : layout->chunks) {
        out += (out.empty() ? "{" : " {") + std::to_string(c.start) + " " + std::to_string(c.numBytes) + " " +
               std::to_string(c.numChars) + " " + std::to_string(c.numDisplayChars) + " " + std::to_string(c.x) + " " +
               std::to_string(c.y) + " " + std::to_string(c.totalWidth) + " " + std::to_string(c.displayWidth) + "}";
    }
    return out + " w" + std::to_string(layout->width) + " h" + std::to_string(layout->height);
}

TEST(TextLayout, LinesBreakAsTksLayoutBreaksThem)
{
    FakeFont font{10, {}};
    const struct {
        const char *text;
        int wrap, justify, tab;
        const char *chunks;
    } rows[] = {
        {"", 0, TK_JUSTIFY_LEFT, 40, "{0 0 0 -1 0 8 0 0} w0 h10"},
        {"ab", 0, TK_JUSTIFY_LEFT, 40, "{0 2 2 2 0 8 20 20} w20 h10"},
        {"ab\n", 0, TK_JUSTIFY_LEFT, 40, "{0 2 2 2 0 8 20 20} {2 1 1 -1 20 8 0 0} {3 0 0 -1 0 18 0 0} w20 h20"},
        /* Wrapped after a whole word, its space kept on the line. */
        {"abc def", 45, TK_JUSTIFY_LEFT, 40, "{0 4 4 3 0 8 40 30} {4 3 3 3 0 18 30 30} w30 h20"},
        /* A word longer than a line is cut; at least one character a line. */
        {"abcdef", 25, TK_JUSTIFY_LEFT, 40, "{0 2 2 2 0 8 20 20} {2 2 2 2 0 18 20 20} {4 2 2 2 0 28 20 20} w20 h30"},
        {"ab", 5, TK_JUSTIFY_LEFT, 40, "{0 1 1 1 0 8 10 10} {1 1 1 1 0 18 10 10} w10 h20"},
        /* Tabs end at the next stop: from 0 the first, from a stop the next. */
        {"\tx", 0, TK_JUSTIFY_LEFT, 40, "{0 1 1 -1 0 8 40 40} {1 1 1 1 40 8 10 10} w50 h10"},
        {"abcd\tx", 0, TK_JUSTIFY_LEFT, 40, "{0 4 4 4 0 8 40 40} {4 1 1 -1 40 8 40 40} {5 1 1 1 80 8 10 10} w90 h10"},
        /* Spaces that end a line after a tab: as Tk, the chunk's total
         * width is theirs plus the line's x after the chunk. */
        {"a\tb c", 65, TK_JUSTIFY_LEFT, 40,
         "{0 1 1 1 0 8 10 10} {1 1 1 -1 10 8 30 30} {2 2 2 1 40 8 60 10} {4 1 1 1 0 18 10 10} w50 h20"},
        /* Spaces after a tab that ends a wrapped line, or after a tab
         * that fills it, are a chunk of their own that draws nothing:
         * every character lies on a line. */
        {"ab\t  xyz", 30, TK_JUSTIFY_LEFT, 40,
         "{0 2 2 2 0 8 20 20} {2 1 1 -1 20 8 20 20} {3 2 2 0 40 8 20 0} {5 3 3 3 0 18 30 30} w40 h20"},
        {"a\t  bcdef", 40, TK_JUSTIFY_LEFT, 40,
         "{0 1 1 1 0 8 10 10} {1 1 1 -1 10 8 30 30} {2 2 2 0 40 8 20 0} {4 4 4 4 0 18 40 40} {8 1 1 1 0 28 10 10} "
         "w40 h30"},
        /* A tab width of 0 is taken as 1 pixel. */
        {"a\tb", 0, TK_JUSTIFY_LEFT, 0, "{0 1 1 1 0 8 10 10} {1 1 1 -1 10 8 1 1} {2 1 1 1 11 8 10 10} w21 h10"},
        {"a\nabc", 0, TK_JUSTIFY_CENTER, 40, "{0 1 1 1 10 8 10 10} {1 1 1 -1 20 8 0 0} {2 3 3 3 0 18 30 30} w30 h20"},
        {"a\nabc", 0, TK_JUSTIFY_RIGHT, 40, "{0 1 1 1 20 8 10 10} {1 1 1 -1 30 8 0 0} {2 3 3 3 0 18 30 30} w30 h20"},
        /* Characters, not bytes: "é" is two bytes. */
        {"\xc3\xa9t\xc3\xa9", 0, TK_JUSTIFY_LEFT, 40, "{0 5 3 3 0 8 30 30} w30 h10"},
    };
    for (const auto &r : rows) {
        int w = -1, h = -1;
        RotatedTextLayout *layout =
            computeRotatedTextLayout(fake(&font, r.tab), r.text, -1, r.wrap, r.justify, 0, &w, &h);
        ASSERT_NE(layout, nullptr);
        EXPECT_EQ(chunksOf(layout), r.chunks) << r.text;
        EXPECT_EQ(w, layout->width);
        EXPECT_EQ(h, layout->height);
        freeRotatedTextLayout(layout);
    }
    int w = -1, h = -1;
    EXPECT_EQ(computeRotatedTextLayout(fake(&font), nullptr, -1, 0, 0, 0, &w, &h), nullptr);
    EXPECT_EQ(w + h, 0);
}

TEST(TextLayout, PointsCharactersBoxesAndAreasOnTheUnturnedLayout)
{
    FakeFont font{10, {}};
    RotatedTextLayout *layout =
        computeRotatedTextLayout(fake(&font), "ab\ncd", -1, 0, TK_JUSTIFY_LEFT, 0, nullptr, nullptr);
    ASSERT_NE(layout, nullptr);
    const struct {
        int x, y, index;
    } points[] = {{-5, -1, 0}, {15, 5, 1}, {25, 5, 2}, {5, 15, 3}, {100, 15, 5}, {5, 100, 5}};
    for (const auto &p : points) {
        EXPECT_EQ(rotatedLayoutPointToChar(layout, p.x, p.y), p.index) << p.x << "," << p.y;
    }
    const struct {
        int index;
        const char *box;
    } boxes[] = {{1, "10 0 10 10"}, {2, "20 0 0 10"}, {5, "20 10 0 10"}, {6, "none"}, {-1, "none"}};
    for (const auto &b : boxes) {
        int x, y, w, h;
        std::string box =
            rotatedLayoutCharBbox(layout, b.index, &x, &y, &w, &h)
                ? std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(w) + " " + std::to_string(h)
                : "none";
        EXPECT_EQ(box, b.box) << b.index;
    }
    const struct {
        int x, y, w, h, result;
    } areas[] = {{-1, -1, 30, 30, 1}, {50, 50, 10, 10, -1}, {5, 5, 10, 10, 0}};
    for (const auto &a : areas) {
        EXPECT_EQ(rotatedLayoutIntersect(layout, a.x, a.y, a.w, a.h), a.result) << a.x << "," << a.y;
    }
    freeRotatedTextLayout(layout);
}

TEST(TextLayout, DistancesFollowTheTurn)
{
    FakeFont font{10, {}};
    RotatedTextLayout *layout =
        computeRotatedTextLayout(fake(&font), "ab", -1, 0, TK_JUSTIFY_LEFT, 0, nullptr, nullptr);
    double c, s;
    const struct {
        double degrees;
        int x, y, distance;
    } rows[] = {
        {0, 5, 5, 0},
        {0, 25, 5, 6},
        {0, 5, -3, 3},
        /* A quarter turn: the first character lies above the corner. */
        {90, 0, -5, 0},
        {90, 0, 5, 5},
        {90, 5, -15, 0},
        {180, -15, -5, 0},
    };
    for (const auto &r : rows) {
        rotatedTurn(r.degrees, &c, &s);
        setTextLayoutRotation(layout, s, c);
        EXPECT_EQ(rotatedLayoutDistance(layout, r.x, r.y), r.distance) << r.degrees << ": " << r.x << "," << r.y;
    }
    freeRotatedTextLayout(layout);
}

TEST(TextLayout, ChunksAtQuarterTurnsLandOnTheirPixels)
{
    /* 3-pixel characters put a chunk at x = 4 after a tab: turned by
     * cos 90 = 6e-17 it would be cut to 3. */
    FakeFont font{3, {}};
    RotatedTextLayout *layout =
        computeRotatedTextLayout(fake(&font, 4), "a\tbc\nd", -1, 0, TK_JUSTIFY_LEFT, 0, nullptr, nullptr);
    const struct {
        double degrees;
        int first, last;
        const char *drawn;
    } rows[] = {
        {0, 0, -1, "a@100,58 bc@104,58 d@100,68"},
        {90, 0, -1, "a@108,50 bc@108,46 d@118,50"},
        {180, 0, -1, "a@100,42 bc@96,42 d@100,32"},
        {270, 0, -1, "a@92,50 bc@92,54 d@82,50"},
        /* From the third character on: "c" starts after "b" along the line. */
        {90, 3, -1, "c@108,43 d@118,50"},
        {0, 2, 4, "bc@104,58"},
    };
    for (const auto &r : rows) {
        double c, s;
        rotatedTurn(r.degrees, &c, &s);
        setTextLayoutRotation(layout, s, c);
        font.drawn.clear();
        drawRotatedTextLayout(nullptr, 0, nullptr, layout, 100, 50, r.first, r.last);
        std::string drawn;
        for (const std::string &d : font.drawn) {
            drawn += (drawn.empty() ? "" : " ") + d;
        }
        EXPECT_EQ(drawn, r.drawn) << r.degrees << " from " << r.first;
    }
    freeRotatedTextLayout(layout);
}

TEST(TextLayout, RebuiltOnlyWhenAnInputChangesAndKeepsItsOwnText)
{
    FakeFont font{10, {}}, other{10, {}};
    std::string text = "abc def";
    RotatedTextLayout *layout = nullptr;
    ASSERT_EQ(updateRotatedTextLayout(&layout, fake(&font), text.c_str(), -1, 45, 0, 0, nullptr, nullptr), 1);
    setTextLayoutRotation(layout, 1, 0);
    RotatedTextLayout *first = layout;
    EXPECT_EQ(updateRotatedTextLayout(&layout, fake(&font), text.c_str(), -1, 45, 0, 0, nullptr, nullptr), 0);
    EXPECT_EQ(layout, first);
    EXPECT_EQ(layout->sin, 1); /* the turn stays with the layout kept */
    const struct {
        const char *what;
        LayoutFont font;
        const char *text;
        int numChars, wrap, justify, flags;
    } changes[] = {
        {"text", fake(&font), "abc deg", -1, 45, 0, 0},
        {"length", fake(&font), "abc deg", 3, 45, 0, 0},
        {"font", fake(&other), "abc deg", 3, 45, 0, 0},
        {"tab width", fake(&other, 8), "abc deg", 3, 45, 0, 0},
        {"wrap", fake(&other, 8), "abc deg", 3, 0, 0, 0},
        {"justify", fake(&other, 8), "abc deg", 3, 0, TK_JUSTIFY_CENTER, 0},
        {"flags", fake(&other, 8), "abc deg", 3, 0, TK_JUSTIFY_CENTER, TK_IGNORE_TABS},
    };
    for (const auto &c : changes) {
        EXPECT_EQ(
            updateRotatedTextLayout(&layout, c.font, c.text, c.numChars, c.wrap, c.justify, c.flags, nullptr, nullptr),
            1)
            << c.what;
    }
    /* The item's text may change or go: the layout draws its own copy. */
    updateRotatedTextLayout(&layout, fake(&font), text.c_str(), -1, 0, 0, 0, nullptr, nullptr);
    text.assign(200, 'x');
    text.shrink_to_fit();
    font.drawn.clear();
    drawRotatedTextLayout(nullptr, 0, nullptr, layout, 0, 0, 0, -1);
    ASSERT_EQ(font.drawn.size(), 1u);
    EXPECT_EQ(font.drawn[0], "abc def@0,8");
    updateRotatedTextLayout(&layout, LayoutFont{}, "x", -1, 0, 0, 0, nullptr, nullptr);
    EXPECT_EQ(layout, nullptr);
}

TEST(TextLayout, PostscriptLinesEscapeParenthesesAndHighCharacters)
{
    FakeFont font{10, {}};
    RotatedTextLayout *layout =
        computeRotatedTextLayout(fake(&font), "a(b\\\tc\n\xc3\xa9)", -1, 0, TK_JUSTIFY_LEFT, 0, nullptr, nullptr);
    Tcl_Interp *interp = testInterp();
    Tcl_ResetResult(interp);
    rotatedLayoutToPostscript(interp, layout);
    EXPECT_STREQ(Tcl_GetStringResult(interp), "(a\\050b\\134\\tc)\n(\\351\\051)\n");
    freeRotatedTextLayout(layout);

    /* Long lines reach the result whole. */
    std::string longText(300, 'x');
    layout = computeRotatedTextLayout(fake(&font), longText.c_str(), -1, 0, TK_JUSTIFY_LEFT, 0, nullptr, nullptr);
    Tcl_ResetResult(interp);
    rotatedLayoutToPostscript(interp, layout);
    EXPECT_EQ(Tcl_GetStringResult(interp), "(" + longText + ")\n");
    freeRotatedTextLayout(layout);
}

/* A Tk canvas text item at the origin and our layout of the same text
 * in the same font: the same size, and the same character under every
 * point. */
TEST(TextLayout, RealFontLayoutsMatchTkCanvasText)
{
    Tcl_Interp *interp = testTkInterp();
    ASSERT_TRUE(rotatedFontSetup());
    Tk_Window tkwin = Tk_MainWindow(interp);
    RotatedFontAttributes attrs{};
    attrs.family = Tk_GetUid("DejaVu Sans");
    attrs.size = 12;
    RotatedFont *font = getRotatedFont(tkwin, &attrs, 0, 0, 0, 0);
    ASSERT_NE(font, nullptr);
    testEval(interp, "destroy .k; canvas .k -insertwidth 0 -selectborderwidth 0");
    const struct {
        const char *text;
        int wrap, justify;
        const char *tkJustify;
    } rows[] = {
        {"Hello\nWorld", 0, TK_JUSTIFY_LEFT, "left"},
        {"Hello world, this is a rather long line", 60, TK_JUSTIFY_LEFT, "left"},
        {"Supercalifragilistic", 40, TK_JUSTIFY_LEFT, "left"},
        {"a\tb\tcd\n\tx", 0, TK_JUSTIFY_LEFT, "left"},
        {"tab\tat\tthe\tstops", 50, TK_JUSTIFY_LEFT, "left"},
        {"ab\tcd ef gh ij kl mn\nxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx", 90, TK_JUSTIFY_LEFT, "left"},
        {"trailing\n", 0, TK_JUSTIFY_LEFT, "left"},
        {"centered\nlines of text\nx", 0, TK_JUSTIFY_CENTER, "center"},
        {"right  and\nspaces   at the end   ", 70, TK_JUSTIFY_RIGHT, "right"},
    };
    for (const auto &r : rows) {
        Tcl_Obj *words[] = {Tcl_NewStringObj(".k", -1),
                            Tcl_NewStringObj("create", -1),
                            Tcl_NewStringObj("text", -1),
                            Tcl_NewIntObj(0),
                            Tcl_NewIntObj(0),
                            Tcl_NewStringObj("-anchor", -1),
                            Tcl_NewStringObj("nw", -1),
                            Tcl_NewStringObj("-font", -1),
                            Tcl_NewStringObj("{DejaVu Sans} 12", -1),
                            Tcl_NewStringObj("-width", -1),
                            Tcl_NewIntObj(r.wrap),
                            Tcl_NewStringObj("-justify", -1),
                            Tcl_NewStringObj(r.tkJustify, -1),
                            Tcl_NewStringObj("-text", -1),
                            Tcl_NewStringObj(r.text, -1)};
        Tcl_Obj *cmd = Tcl_NewListObj(15, words);
        Tcl_IncrRefCount(cmd);
        ASSERT_EQ(Tcl_EvalObjEx(interp, cmd, TCL_EVAL_GLOBAL), TCL_OK) << Tcl_GetStringResult(interp);
        Tcl_DecrRefCount(cmd);
        const std::string id = Tcl_GetStringResult(interp);
        int w, h;
        RotatedTextLayout *layout =
            computeRotatedTextLayout(layoutFontOf(font), r.text, -1, r.wrap, r.justify, 0, &w, &h);
        ASSERT_NE(layout, nullptr);
        EXPECT_EQ("0 0 " + std::to_string(w) + " " + std::to_string(h), testEval(interp, ".k bbox " + id)) << r.text;
        std::string ours, tks;
        for (int y = -3; y < h + 6; y += 4) {
            for (int x = -3; x < w + 6; x += 3) {
                ours += std::to_string(rotatedLayoutPointToChar(layout, x, y)) + " ";
                tks += testEval(interp, ".k index " + id + " @" + std::to_string(x) + "," + std::to_string(y)) + " ";
            }
        }
        EXPECT_EQ(ours, tks) << r.text;
        freeRotatedTextLayout(layout);
        testEval(interp, ".k delete all");
    }
    testEval(interp, "destroy .k");
    freeRotatedFont(font);
}

}  // namespace
