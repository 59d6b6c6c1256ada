/*
 * Rotated fonts: the stretch gives the asked average width, unstretched
 * characters are Tk's own font, equal requests share one font that goes
 * with its last user, and stippled text inks only where the stipple is
 * set.
 */
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include "display/canvascapture.h"
#include "display/rotfont.h"
#include "support/test_interp.h"
#include "tk.h"

namespace {

constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";

Tk_Window mainWindow()
{
    Tcl_Interp *interp = testTkInterp();
    EXPECT_TRUE(rotatedFontSetup());
    return Tk_MainWindow(interp);
}

RotatedFontAttributes dejaVu(double size, int bold = 0)
{
    RotatedFontAttributes a{};
    a.family = Tk_GetUid("DejaVu Sans");
    a.size = size;
    a.bold = bold;
    return a;
}

int widthOf(RotatedFont *font, const char *text)
{
    int width = -1;
    measureRotatedChars(font, text, static_cast<int>(std::strlen(text)), -1, 0, &width);
    return width;
}

std::string attributesOf(Tcl_Interp *interp, const char *name)
{
    Tk_Font tkfont = Tk_GetFont(interp, Tk_MainWindow(interp), name);
    if (tkfont == nullptr) {
        return Tcl_GetStringResult(interp);
    }
    RotatedFontAttributes a{};
    Tcl_SetObjResult(interp, Tcl_NewStringObj("kept", -1));
    rotatedFontAttributes(interp, tkfont, &a);
    Tk_FreeFont(tkfont);
    EXPECT_STREQ(Tcl_GetStringResult(interp), "kept") << name;
    char text[200];
    std::snprintf(text, sizeof text, "{%s} %g %d %d %d %d", a.family != nullptr ? a.family : "", a.size, a.bold,
                  a.italic, a.underline, a.overstrike);
    return text;
}

TEST(RotatedFont, AttributesAreTheOnesAskedFor)
{
    Tcl_Interp *interp = testTkInterp();
    testEval(interp, "catch {font delete rotfontTest}; font create rotfontTest -family {DejaVu Serif} -size -9 "
                     "-slant italic; set result ok");
    const struct {
        const char *name, *attrs;
    } rows[] = {
        {"{DejaVu Sans} -12", "{DejaVu Sans} -12 0 0 0 0"},
        {"{DejaVu Sans} 10 bold italic underline overstrike", "{DejaVu Sans} 10 1 1 1 1"},
        {"-family {DejaVu Sans Mono} -size -15 -weight bold", "{DejaVu Sans Mono} -15 1 0 0 0"},
        {"rotfontTest", "{DejaVu Serif} -9 0 1 0 0"},
        {"{No Such Family}", "{No Such Family} 0 0 0 0 0"},
    };
    for (const auto &r : rows) {
        EXPECT_EQ(attributesOf(interp, r.name), r.attrs) << r.name;
    }
    testEval(interp, "font delete rotfontTest");
}

TEST(RotatedFont, StretchMakesTheAverageWidthPixelsTimesAspect)
{
    Tk_Window tkwin = mainWindow();
    RotatedFontAttributes attrs = dejaVu(-12);
    const struct {
        double aspect, orientation;
        int mode;
        double width;
    } rows[] = {
        {1.0, 0, 0, 12}, {0.5, 0, 0, 6}, {-0.5, 0, 0, 6}, {2.0, 0, 0, 24}, {1.0, 30, 1, 12},
    };
    /* Lines as high as Tk's font of the same attributes. */
    const std::string lines = testEval(testTkInterp(), "list [font metrics {{DejaVu Sans} -12} -ascent] "
                                                       "[font metrics {{DejaVu Sans} -12} -descent]");
    for (const auto &r : rows) {
        RotatedFont *font = getRotatedFont(tkwin, &attrs, r.aspect, 0, r.orientation, r.mode);
        ASSERT_NE(font, nullptr);
        double average = widthOf(font, kLetters) / double(sizeof kLetters - 1);
        EXPECT_NEAR(average, r.width, 1.0) << "aspect " << r.aspect << " orientation " << r.orientation;
        int ascent, descent, tab;
        rotatedFontMetrics(font, &ascent, &descent, &tab);
        EXPECT_EQ(std::to_string(ascent) + " " + std::to_string(descent), lines) << "aspect " << r.aspect;
        freeRotatedFont(font);
    }
}

TEST(RotatedFont, UnstretchedCharactersAreTksFont)
{
    Tcl_Interp *interp = testTkInterp();
    Tk_Window tkwin = mainWindow();
    RotatedFontAttributes attrs = dejaVu(-17, 1);
    RotatedFont *font = getRotatedFont(tkwin, &attrs, 0, 40, 0, 0);
    ASSERT_NE(font, nullptr);
    const std::string desc = "{{DejaVu Sans} -17 bold}";
    EXPECT_EQ(std::to_string(widthOf(font, "Label 123")), testEval(interp, "font measure " + desc + " {Label 123}"));
    int ascent, descent, tab;
    rotatedFontMetrics(font, &ascent, &descent, &tab);
    EXPECT_EQ(std::to_string(ascent) + " " + std::to_string(descent),
              testEval(interp, "list [font metrics " + desc + " -ascent] [font metrics " + desc + " -descent]"));
    EXPECT_EQ(std::to_string(tab), testEval(interp, "expr {8 * [font measure " + desc + " 0]}"));
    /* Whole words within a limit, as Tk measures them. */
    int length;
    EXPECT_EQ(measureRotatedChars(font, "ab cd ef", 8, widthOf(font, "ab cd e"), ROTFONT_WHOLE_WORDS, &length), 5);
    freeRotatedFont(font);
}

TEST(RotatedFont, StretchedFontsMeasureWordsAsTkDoes)
{
    Tk_Window tkwin = mainWindow();
    RotatedFontAttributes attrs = dejaVu(-12);
    RotatedFont *font = getRotatedFont(tkwin, &attrs, 0.7, 0, 0, 0);
    ASSERT_NE(font, nullptr);
    const int words = widthOf(font, "ab cd ") + 1;
    const int abc = widthOf(font, "abc");
    const struct {
        const char *text;
        int limit, flags, bytes;
    } rows[] = {
        {"ab cd ef", words, ROTFONT_WHOLE_WORDS, 5},
        {"ab cd ef", words, 0, 6},
        {"abcdef", 1, ROTFONT_AT_LEAST_ONE, 1},
        {"abcdef", 1, 0, 0},
        {"abcdef", abc - 1, ROTFONT_PARTIAL_OK, 3},
        {"abcdef", abc - 1, 0, 2},
        {"ab cd", -1, 0, 5},
    };
    for (const auto &r : rows) {
        int length = -1;
        EXPECT_EQ(measureRotatedChars(font, r.text, static_cast<int>(std::strlen(r.text)), r.limit, r.flags, &length),
                  r.bytes)
            << r.text << " in " << r.limit << " flags " << r.flags;
    }
    int ascent, descent, tab;
    rotatedFontMetrics(font, &ascent, &descent, &tab);
    EXPECT_EQ(tab, 8 * widthOf(font, "0"));
    freeRotatedFont(font);
}

TEST(RotatedFont, EqualRequestsShareOneFontFreedWithItsLastUser)
{
    Tk_Window tkwin = mainWindow();
    RotatedFontAttributes attrs = dejaVu(11);
    const int before = rotatedFontCount();
    RotatedFont *a = getRotatedFont(tkwin, &attrs, 0, 0, 0, 0);
    RotatedFont *b = getRotatedFont(tkwin, &attrs, 0, 30, 0, 0);      /* Tk turns it when drawn */
    RotatedFont *c = getRotatedFont(tkwin, &attrs, 0.5, 30, 0, 0);    /* stretched */
    RotatedFont *d = getRotatedFont(tkwin, &attrs, 0.5, 30.04, 0, 0); /* the same tenth */
    RotatedFont *e = getRotatedFont(tkwin, &attrs, 0.5, 30.05, 0, 0); /* the next tenth */
    RotatedFont *f = getRotatedFont(tkwin, &attrs, 0, 30, 30, 1);     /* characters follow the lines */
    RotatedFont *g = getRotatedFont(tkwin, &attrs, 0, 30, 0, 1);      /* characters upright */
    ASSERT_TRUE(a && b && c && d && e && f && g);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a, f);
    EXPECT_EQ(c, d);
    EXPECT_NE(c, e);
    EXPECT_NE(a, c);
    EXPECT_NE(g, a);
    EXPECT_EQ(rotatedFontCount(), before + 4);
    for (RotatedFont *font : {a, b, c, d, e, f}) {
        freeRotatedFont(font);
    }
    EXPECT_EQ(rotatedFontCount(), before + 1);
    freeRotatedFont(g);
    EXPECT_EQ(rotatedFontCount(), before);
}

TEST(RotatedFont, TurnsAreTenthsOfADegreeExactAtQuarterTurns)
{
    const struct {
        double degrees;
        int tenths;
        double c, s;
    } rows[] = {
        {90, 900, 0, 1},
        {450, 900, 0, 1},
        {-90, 2700, 0, -1},
        {180, 1800, -1, 0},
        {-45.04, 3150, 0.7071, -0.7071},
        {30.04, 300, 0.8660, 0.5},
        {30.05, 301, 0.8652, 0.5015},
        {1e300, -1, 0, 0},
        {HUGE_VAL, 0, 1, 0},
        {NAN, 0, 1, 0},
    };
    for (const auto &r : rows) {
        double c = 9, s = 9;
        int tenths = rotatedTurn(r.degrees, &c, &s);
        if (r.tenths < 0) { /* a huge angle reduced first: some turn */
            EXPECT_TRUE(tenths >= 0 && tenths < 3600) << r.degrees;
            EXPECT_NEAR(c * c + s * s, 1, 1e-12);
            continue;
        }
        EXPECT_EQ(tenths, r.tenths) << r.degrees;
        if (r.c == 0 || r.s == 0) {
            EXPECT_EQ(c, r.c) << r.degrees;
            EXPECT_EQ(s, r.s) << r.degrees;
        } else {
            EXPECT_NEAR(c, r.c, 1e-4) << r.degrees;
            EXPECT_NEAR(s, r.s, 1e-4) << r.degrees;
        }
    }
}

TEST(RotatedFont, TurnedTextBoxHoldsEveryCorner)
{
    const struct {
        double c, s;
        int w, h;
        int x, y, bw, bh;
    } rows[] = {
        {1, 0, 10, 4, 0, 0, 11, 5},   {0, 1, 10, 4, 0, -10, 5, 11},     {-1, 0, 10, 4, -10, -4, 11, 5},
        {0, -1, 10, 4, -4, 0, 5, 11}, {0.6, 0.8, 10, 5, 0, -8, 11, 12},
    };
    for (const auto &r : rows) {
        int x, y, w, h;
        rotatedTextBox(r.c, r.s, r.w, r.h, &x, &y, &w, &h);
        EXPECT_EQ(std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(w) + " " + std::to_string(h),
                  std::to_string(r.x) + " " + std::to_string(r.y) + " " + std::to_string(r.bw) + " " +
                      std::to_string(r.bh))
            << "cos " << r.c << " sin " << r.s;
    }
}

/* Ink of text drawn black on white, stippled with vertical stripes one
 * column wide from stipple origin ox: counts of ink pixels on stripe
 * columns and off them, and the ink's box. */
struct Ink {
    int on = 0, off = 0;
    int x1 = 1 << 20, y1 = 1 << 20, x2 = -1, y2 = -1;
};

Ink drawStriped(Tk_Window tkwin, RotatedFont *font, const char *text, double c, double s, bool stippled, int ox)
{
    Display *display = Tk_Display(tkwin);
    const int screen = Tk_ScreenNumber(tkwin);
    const int size = 160;
    Pixmap pixmap = XCreatePixmap(display, RootWindow(display, screen), size, size, DefaultDepth(display, screen));
    static const char stripes[] = {0x01};
    Pixmap stipple = XCreateBitmapFromData(display, pixmap, stripes, 2, 1);
    GC gc = XCreateGC(display, pixmap, 0, nullptr);
    XSetForeground(display, gc, WhitePixel(display, screen));
    XFillRectangle(display, pixmap, gc, 0, 0, size, size);
    XSetForeground(display, gc, BlackPixel(display, screen));
    if (stippled) {
        XSetStipple(display, gc, stipple);
        XSetFillStyle(display, gc, FillStippled);
        XSetTSOrigin(display, gc, ox, 0);
    }
    drawStippledChars(display, pixmap, gc, font, text, static_cast<int>(std::strlen(text)), 60, 90, c, s);
    XImage *image = XGetImage(display, pixmap, 0, 0, size, size, AllPlanes, ZPixmap);
    Ink ink;
    const unsigned long white = WhitePixel(display, screen);
    for (int y = 0; y < size; y++) {
        for (int x = 0; x < size; x++) {
            if (XGetPixel(image, x, y) == white) {
                continue;
            }
            ((x - ox) % 2 == 0 ? ink.on : ink.off)++;
            ink.x1 = std::min(ink.x1, x);
            ink.y1 = std::min(ink.y1, y);
            ink.x2 = std::max(ink.x2, x);
            ink.y2 = std::max(ink.y2, y);
        }
    }
    XDestroyImage(image);
    XFreeGC(display, gc);
    XFreePixmap(display, stipple);
    XFreePixmap(display, pixmap);
    return ink;
}

TEST(RotatedFont, StippledTextInksOnlyWhereTheStippleIsSet)
{
    Tk_Window tkwin = mainWindow();
    RotatedFontAttributes attrs = dejaVu(-20, 1);
    const struct {
        double aspect, c, s;
        int ox;
    } rows[] = {
        {0, 1, 0, 0},
        {0, 0, 1, 1},
        {1.0, 1, 0, 1},
        {0.8, 0.6, 0.8, 0},
    };
    for (const auto &r : rows) {
        RotatedFont *font = getRotatedFont(tkwin, &attrs, r.aspect, 0, 0, 0);
        ASSERT_NE(font, nullptr);
        Ink plain = drawStriped(tkwin, font, "WMWM", r.c, r.s, false, r.ox);
        Ink striped = drawStriped(tkwin, font, "WMWM", r.c, r.s, true, r.ox);
        EXPECT_GT(plain.off, 50) << "aspect " << r.aspect << " sin " << r.s;
        EXPECT_EQ(striped.off, 0) << "aspect " << r.aspect << " sin " << r.s;
        EXPECT_GT(striped.on, plain.on / 3) << "aspect " << r.aspect << " sin " << r.s;
        /* The stippled ink lies where the plain text's does. */
        EXPECT_GE(striped.x1, plain.x1 - 1);
        EXPECT_LE(striped.x2, plain.x2 + 1);
        EXPECT_GE(striped.y1, plain.y1 - 1);
        EXPECT_LE(striped.y2, plain.y2 + 1);
        freeRotatedFont(font);
    }
}

TEST(RotatedFont, StippledTextFarWiderThanAPixmapMayBeDrawsItsVisiblePart)
{
    Tk_Window tkwin = mainWindow();
    RotatedFontAttributes attrs = dejaVu(-20, 1);
    const std::string text(4000, 'W'); /* some 80,000 pixels */
    for (double aspect : {0.0, 1.0}) {
        RotatedFont *font = getRotatedFont(tkwin, &attrs, aspect, 0, 0, 0);
        ASSERT_NE(font, nullptr);
        Ink ink = drawStriped(tkwin, font, text.c_str(), 1, 0, true, 0);
        EXPECT_GT(ink.on, 200) << "aspect " << aspect;
        EXPECT_EQ(ink.off, 0) << "aspect " << aspect;
        freeRotatedFont(font);
    }
}

TEST(RotatedFont, TextAtAQuarterTurnRunsUpFromItsStart)
{
    Tk_Window tkwin = mainWindow();
    RotatedFontAttributes attrs = dejaVu(-20);
    for (double aspect : {0.0, 1.0}) {
        RotatedFont *font = getRotatedFont(tkwin, &attrs, aspect, 90, 0, 0);
        ASSERT_NE(font, nullptr);
        Ink ink = drawStriped(tkwin, font, "WM", 0, 1, false, 0);
        const int w = widthOf(font, "WM");
        int ascent, descent, tab;
        rotatedFontMetrics(font, &ascent, &descent, &tab);
        /* Baseline start (60, 90): the text runs up to y = 90 - w, its
         * tops to the left (x = 60 - ascent). */
        EXPECT_NEAR(ink.y2, 90, 2) << "aspect " << aspect;
        EXPECT_NEAR(ink.y1, 90 - w, 3) << "aspect " << aspect;
        EXPECT_GE(ink.x1, 60 - ascent - 1) << "aspect " << aspect;
        EXPECT_LE(ink.x2, 60 + descent) << "aspect " << aspect;
        freeRotatedFont(font);
    }
}

TEST(RotatedFont, CharactersTurnByTheOrientationInTheAdvancedMode)
{
    Tk_Window tkwin = mainWindow();
    RotatedFontAttributes attrs = dejaVu(-30);
    const struct {
        double aspect, escapement, orientation;
        int mode;
        bool lying; /* the tall "l" lies on its side */
    } rows[] = {
        {0, 0, 0, 1, false},  {0, 0, 90, 1, true},  {0, 0, 90, 0, false}, {1, 0, 90, 1, true},
        {0, 90, 0, 1, false}, {0, 90, 90, 1, true}, {0, 90, 90, 0, true}, {0, 90, 0, 0, true},
    };
    for (const auto &r : rows) {
        RotatedFont *font = getRotatedFont(tkwin, &attrs, r.aspect, r.escapement, r.orientation, r.mode);
        ASSERT_NE(font, nullptr);
        double c, s;
        rotatedTurn(r.escapement, &c, &s);
        Ink ink = drawStriped(tkwin, font, "l", c, s, false, 0);
        ASSERT_GT(ink.x2, 0);
        EXPECT_EQ(ink.x2 - ink.x1 > ink.y2 - ink.y1, r.lying) << "aspect " << r.aspect << " escapement " << r.escapement
                                                              << " orientation " << r.orientation << " mode " << r.mode;
        freeRotatedFont(font);
    }
}

/* The pixels of a 160 x 160 pixmap, as text. */
std::string pixelsOf(Display *display, Pixmap pixmap)
{
    XImage *image = XGetImage(display, pixmap, 0, 0, 160, 160, AllPlanes, ZPixmap);
    std::string out;
    for (int y = 0; y < 160; y++) {
        for (int x = 0; x < 160; x++) {
            out += std::to_string(XGetPixel(image, x, y)) + (x == 159 ? "\n" : " ");
        }
    }
    XDestroyImage(image);
    return out;
}

TEST(RotatedFont, UnstretchedTextHasTkCanvasTextsPixelsAtEveryQuarterTurn)
{
    Tcl_Interp *interp = testTkInterp();
    Tk_Window tkwin = mainWindow();
    Display *display = Tk_Display(tkwin);
    const int screen = Tk_ScreenNumber(tkwin);
    RotatedFontAttributes attrs = dejaVu(12);
    RotatedFont *font = getRotatedFont(tkwin, &attrs, 0, 0, 0, 0);
    ASSERT_NE(font, nullptr);
    int ascent, descent, tab;
    rotatedFontMetrics(font, &ascent, &descent, &tab);
    for (double angle : {0.0, 90.0, 180.0, 270.0}) {
        testEval(interp, "destroy .k; canvas .k -width 160 -height 160 -bg white -highlightthickness 0 "
                         "-borderwidth 0; .k create text 80 80 -anchor nw -text Hello -fill black "
                         "-font {{DejaVu Sans} 12} -angle " +
                             std::to_string(angle));
        CanvasInfo info{};
        ASSERT_EQ(getCanvasInfo(interp, ".k", &info), TCL_OK);
        Pixmap tk = canvasToPixmap(interp, None, 0, 0, &info, 0, 0, 160, 160, 1);
        ASSERT_NE(tk, static_cast<Pixmap>(None));

        Pixmap ours = XCreatePixmap(display, RootWindow(display, screen), 160, 160, DefaultDepth(display, screen));
        GC gc = XCreateGC(display, ours, 0, nullptr);
        XSetForeground(display, gc, WhitePixel(display, screen));
        XFillRectangle(display, ours, gc, 0, 0, 160, 160);
        XSetForeground(display, gc, BlackPixel(display, screen));
        double c, s;
        rotatedTurn(angle, &c, &s);
        /* The baseline starts ascent below the corner, along the turn. */
        drawStippledChars(display, ours, gc, font, "Hello", 5, 80 + static_cast<int>(ascent * s),
                          80 + static_cast<int>(ascent * c), c, s);
        EXPECT_EQ(pixelsOf(display, ours), pixelsOf(display, tk)) << "angle " << angle;
        XFreeGC(display, gc);
        XFreePixmap(display, ours);
        Tk_FreePixmap(display, tk);
    }
    testEval(interp, "destroy .k");
    freeRotatedFont(font);
}

}  // namespace
