/*
 * The canvas's PostScript calls seen from an item's side: colours, fonts,
 * bitmaps, paths through the world transform, captured pixels in each
 * colour level with their width limits, and the bezier curve.
 */
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <X11/Xutil.h>
#include "canvas/canvasint.h"
#include "canvas/outline.h"
#include "canvas/postscript.h"
#include "canvasfixture.h"
#include "support/test_interp.h"
#include "tesk.h"

namespace {

class CanvasPostscript : public CanvasFixture {
protected:
    GcanvasPsInfo ps;

    CanvasPostscript() : CanvasFixture(".ps", "-width 200 -height 100 -highlightthickness 0") {}

    void SetUp() override
    {
        CanvasFixture::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        std::memset(&ps, 0, sizeof ps);
        ps.x2 = 200;
        ps.y2 = 100;
        ps.colorLevel = 2;
        Tcl_InitHashTable(&ps.fontTable, TCL_STRING_KEYS);
        canvas->psInfo = &ps;
        Tcl_ResetResult(interp);
    }

    void TearDown() override
    {
        if (canvas != nullptr) {
            canvas->psInfo = nullptr;
        }
        Tcl_DeleteHashTable(&ps.fontTable);
        CanvasFixture::TearDown();
    }

    std::string result() const { return Tcl_GetStringResult(interp); }

    /* gcanvasPsImage at a colour level of a pixmap of the canvas's depth,
     * width x height, whose top row is red and the rest white: the code,
     * the text in *text. */
    int image(int level, int width, int height, std::string *text)
    {
        Display *display = Tk_Display(tkwin);
        Pixmap pixmap = XCreatePixmap(display, Tk_WindowId(tkwin), width, height, Tk_Depth(tkwin));
        GC gc = XCreateGC(display, pixmap, 0, nullptr);
        const char *names[2] = {"#ffffff", "#ff0000"};
        for (int i = 0; i < 2; i++) {
            XColor *colour = Tk_GetColor(interp, tkwin, names[i]);
            XSetForeground(display, gc, colour->pixel);
            XFillRectangle(display, pixmap, gc, 0, 0, width, i == 0 ? height : 1);
            Tk_FreeColor(colour);
        }
        XFreeGC(display, gc);
        XImage *ximage = XGetImage(display, pixmap, 0, 0, width, height, AllPlanes, ZPixmap);
        XFreePixmap(display, pixmap);
        EXPECT_NE(ximage, nullptr);
        int code = writeImage(level, ximage, width, height, text);
        XDestroyImage(ximage);
        return code;
    }

    int writeImage(int level, XImage *ximage, int width, int height, std::string *text)
    {
        ps.colorLevel = level;
        Tcl_ResetResult(interp);
        int code = gcanvasPsImage(interp, tkwin, &ps, ximage, 0, 0, width, height);
        *text = result();
        return code;
    }
};

size_t count(const std::string &text, const std::string &word)
{
    size_t n = 0;
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        n++;
    }
    return n;
}

TEST_F(CanvasPostscript, ColoursAreTheHighBytesOfRgb)
{
    XColor *orange = Tk_GetColor(interp, tkwin, "#ff8000");
    ASSERT_NE(orange, nullptr);
    EXPECT_EQ(gcanvasPsColor(interp, canvas, orange), TCL_OK);
    EXPECT_EQ(result(), "1.000 0.502 0.000 setrgbcolor AdjustColor\n");

    // The server gives colours with both bytes alike: a colour of our own
    // (a Tk colour no one else holds) has them differ. The high bytes 0x12,
    // 0xab and 0x00 over 255.
    XColor *own = Tk_GetColor(interp, tkwin, "#123456");
    ASSERT_NE(own, nullptr);
    own->red = 0x12ff;
    own->green = 0xab01;
    own->blue = 0x00fe;
    Tcl_ResetResult(interp);
    gcanvasPsColor(interp, canvas, own);
    EXPECT_EQ(result(), "0.071 0.671 0.000 setrgbcolor AdjustColor\n");
    Tk_FreeColor(own);

    // The prepass writes nothing.
    ps.prepass = 1;
    Tcl_ResetResult(interp);
    gcanvasPsColor(interp, canvas, orange);
    EXPECT_EQ(result(), "");
    Tk_FreeColor(orange);
}

TEST_F(CanvasPostscript, FontsComeFromTheFontMapOrTkAndAreNoted)
{
    Tk_Font font = Tk_GetFont(interp, tkwin, "Helvetica 12");
    ASSERT_NE(font, nullptr);
    // Without a map, Tk's PostScript name of the font as it is found.
    Tcl_DString tkName;
    Tcl_DStringInit(&tkName);
    int points = Tk_PostscriptFontName(font, &tkName);
    std::string found = Tcl_DStringValue(&tkName);
    Tcl_DStringFree(&tkName);
    EXPECT_EQ(gcanvasPsFont(interp, canvas, font), TCL_OK);
    EXPECT_EQ(result(), "/" + found + " findfont " + std::to_string(points) + " scalefont ISOEncode setfont\n");

    // The run's copy of the font map: {Helvetica 12} -> entry.
    ps.fontMap = Tcl_NewDictObj();
    Tcl_IncrRefCount(ps.fontMap);
    auto mapTo = [&](const char *entry) {
        Tcl_DictObjPut(nullptr, ps.fontMap, Tcl_NewStringObj("Helvetica 12", -1), Tcl_NewStringObj(entry, -1));
        Tcl_ResetResult(interp);
        return gcanvasPsFont(interp, canvas, font);
    };
    EXPECT_EQ(mapTo("Courier-Bold 13.9"), TCL_OK);
    EXPECT_EQ(result(), "/Courier-Bold findfont 13 scalefont ISOEncode setfont\n");
    // Symbol keeps its own encoding.
    mapTo("Symbol 10");
    EXPECT_EQ(result(), "/Symbol findfont 10 scalefont setfont\n");
    for (const char *bad : {"Courier", "Courier 0", "Courier 12x", "a b c"}) {
        EXPECT_EQ(mapTo(bad), TCL_ERROR) << bad;
        EXPECT_EQ(result().rfind("bad font map entry for \"Helvetica 12\": \"", 0), 0u) << result();
    }
    Tcl_DecrRefCount(ps.fontMap);
    ps.fontMap = nullptr;

    // Every name used is in the table, the prepass's too.
    for (const char *name : {found.c_str(), "Courier-Bold", "Symbol"}) {
        EXPECT_NE(Tcl_FindHashEntry(&ps.fontTable, name), nullptr) << name;
    }
    Tk_FreeFont(font);
}

TEST_F(CanvasPostscript, BitmapsAreHexBottomRowFirstWithPartialBytes)
{
    // 10 x 2: top row dots 0 and 9, bottom row dots 1, 8 and 9 (X bitmap
    // data, least significant bit leftmost).
    const char bits[] = {0x01, 0x02, 0x02, 0x03};
    Display *display = Tk_Display(tkwin);
    Pixmap bitmap = XCreateBitmapFromData(display, Tk_WindowId(tkwin), bits, 10, 2);
    EXPECT_EQ(gcanvasPsBitmap(interp, canvas, bitmap, 0, 0, 10, 2), TCL_OK);
    EXPECT_EQ(result(), "<40c08040>");
    XFreePixmap(display, bitmap);
}

TEST_F(CanvasPostscript, PathsGoThroughTheWorldTransformAndTheFlippedY)
{
    const double points[] = {1, 2, 3.5, -4};
    EXPECT_EQ(gcanvasPsPath(interp, canvas, points, 2), TCL_OK);
    EXPECT_EQ(result(), "1 98 moveto\n3.5 104 lineto\n");
    testEval(interp, ".ps configure -mx 2 -my -1");
    Tcl_ResetResult(interp);
    // cx = 2x - xOffset, cy = -y - yOffset; offsets of an unscrolled canvas
    // are 0: (2, -2) and (7, 4), y2 - cy: 102 and 96.
    gcanvasPsPath(interp, canvas, points, 2);
    EXPECT_EQ(result(), "2 102 moveto\n7 96 lineto\n");
    EXPECT_DOUBLE_EQ(gcanvasPsY(canvas, 30), 70);
}

TEST_F(CanvasPostscript, ImagesByColourLevelWithTheirWidthLimits)
{
    std::string text;
    // Bottom row (white) first; red is 0.30 gray: 76.5 rounds to 77 (4D)
    // and is black in monochrome.
    ASSERT_EQ(image(2, 3, 2, &text), TCL_OK) << text;
    EXPECT_EQ(text, "3 2 8 matrix {\n<FFFFFFFFFFFFFFFFFFFF0000FF0000FF0000>\n} false 3 colorimage\n0 2 translate\n");
    ASSERT_EQ(image(1, 3, 2, &text), TCL_OK) << text;
    EXPECT_EQ(text, "3 2 8 matrix {\n<FFFFFF4D4D4D>\n} image\n0 2 translate\n");
    ASSERT_EQ(image(0, 3, 2, &text), TCL_OK) << text;
    EXPECT_EQ(text, "3 2 1 matrix {\n<E000>\n} image\n0 2 translate\n");
    // Eleven colour pixels exceed 60 digits: a line break after the 11th.
    ASSERT_EQ(image(2, 12, 1, &text), TCL_OK);
    EXPECT_EQ(text.find('\n', 16), std::string("12 1 8 matrix {\n<").size() + 66);

    // Rows over 60000 bytes are refused by colour level.
    EXPECT_EQ(image(2, 20001, 1, &text), TCL_ERROR);
    EXPECT_EQ(text, "Can't generate Postscript for images more than 20000 pixels wide");
    // Wider than a pixmap may be: an image of the client's own.
    Display *display = Tk_Display(tkwin);
    int depth = Tk_Depth(tkwin);
    XImage *wide = XCreateImage(display, Tk_Visual(tkwin), depth, ZPixmap, 0, nullptr, 60001, 1, 32, 0);
    ASSERT_NE(wide, nullptr);
    wide->data = static_cast<char *>(calloc(1, static_cast<size_t>(wide->bytes_per_line)));
    EXPECT_EQ(writeImage(1, wide, 60001, 1, &text), TCL_ERROR);
    EXPECT_EQ(text, "Can't generate Postscript for images more than 60000 pixels wide");
    EXPECT_EQ(writeImage(0, wide, 60001, 1, &text), TCL_OK);
    XDestroyImage(wide);
    // The same width fits in gray and in monochrome.
    EXPECT_EQ(image(1, 20001, 1, &text), TCL_OK);
    EXPECT_EQ(image(0, 20001, 1, &text), TCL_OK);
    // 20000 in colour is a full 60000-byte row: one row a band.
    ASSERT_EQ(image(2, 20000, 3, &text), TCL_OK);
    EXPECT_EQ(count(text, "20000 1 8 matrix"), 3u);
    EXPECT_EQ(count(text, "0 1 translate"), 3u);
    // Nothing in the prepass.
    ps.prepass = 1;
    EXPECT_EQ(image(2, 3, 2, &text), TCL_OK);
    EXPECT_EQ(text, "");
}

TEST_F(CanvasPostscript, ImagesBeyondTheRowOrPixmapLimitsAreRefusedBeforeCapture)
{
    // {level, width, height, message or "" for accepted}
    const struct {
        int level, width, height;
        const char *message;
    } cases[] = {
        {2, 20000, 32767, ""},
        {2, 20001, 1, "Can't generate Postscript for images more than 20000 pixels wide"},
        {0, 32768, 1, "Can't generate Postscript for images more than 32767 pixels wide"},
        {1, 1, 32768, "Can't generate Postscript for images more than 32767 pixels high"},
    };
    for (const auto &c : cases) {
        ps.colorLevel = c.level;
        Tcl_ResetResult(interp);
        int code = gcanvasPsImageCheck(interp, &ps, c.width, c.height);
        EXPECT_EQ(code, c.message[0] != 0 ? TCL_ERROR : TCL_OK) << c.width << " x " << c.height;
        EXPECT_EQ(result(), c.message);
    }
}

TEST_F(CanvasPostscript, BezierCurvesAsCurveto)
{
    // From the first point, control points two thirds of the way towards
    // the vertex, ending at the last point.
    const double open[] = {0, 0, 10, 0, 10, 10};
    gcanvasMakeBezierPostscript(interp, canvas, open, 3, 0);
    EXPECT_EQ(result(), "0 100 moveto\n6.67 100 10 96.67 10 90 curveto\n");
}

TEST_F(CanvasPostscript, ASafeInterpreterWritesNoFileAndTheStateIsRestored)
{
    Tcl_Interp *safe = Tcl_CreateInterp();
    ASSERT_EQ(Tcl_MakeSafe(safe), TCL_OK);
    Tcl_Obj *words[4] = {Tcl_NewStringObj(".ps", -1), Tcl_NewStringObj("postscript", -1), Tcl_NewStringObj("-file", -1),
                         Tcl_NewStringObj("never.eps", -1)};
    for (Tcl_Obj *word : words) {
        Tcl_IncrRefCount(word);
    }
    EXPECT_EQ(gcanvasPostscriptCmd(safe, canvas, 4, words), TCL_ERROR);
    EXPECT_STREQ(Tcl_GetStringResult(safe), "can't specify -file in a safe interpreter");
    EXPECT_EQ(canvas->psInfo, &ps);
    // Without -file the page is written.
    EXPECT_EQ(gcanvasPostscriptCmd(safe, canvas, 2, words), TCL_OK);
    EXPECT_EQ(std::string(Tcl_GetStringResult(safe)).rfind("%!PS-Adobe-3.0 EPSF-3.0\n", 0), 0u);
    EXPECT_EQ(canvas->psInfo, &ps);
    for (Tcl_Obj *word : words) {
        Tcl_DecrRefCount(word);
    }
    Tcl_DeleteInterp(safe);
}

}  // namespace
