/*
 * The calc subcommands that need a console to type into or Tk's bitmaps to
 * read back: the stdio self-test and the bitmap built from a photo.
 */
#include <gtest/gtest.h>

#include <string>
#include <tk.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include "runtime/calc.h"
#include "runtime/console.h"
#include "runtime/startup.h"
#include "support/test_interp.h"

namespace {

/* The shared interpreter as the console, recording output and typing the
 * lines of ::lines; calc registered in it. */
class CalcConsoleTest : public ::testing::Test {
protected:
    Tcl_Interp *interp = testInterp();
    Tcl_Interp *previous = nullptr;

    void SetUp() override
    {
        ASSERT_EQ(calcInit(interp), TCL_OK);
        previous = setConsoleInterp(interp);
        testEval(interp, R"(
            set ::out {}
            set ::lines {}
            proc tkConsoleOutput {stream text} {append ::out "$stream:$text"}
            proc tkConsoleInput {args} {
                set ::consoleCmdLine [lindex $::lines 0]
                set ::lines [lrange $::lines 1 end]
            }
        )");
        setTkConsoleFlag(true);
    }

    void TearDown() override
    {
        setTkConsoleFlag(false);
        setConsoleInterp(previous);
    }
};

TEST_F(CalcConsoleTest, SelfTestEchoesWhatScanfAndFscanfRead)
{
    testEval(interp, "set ::lines [list \"1.5 first\\n\" \"-2.25 second\\n\"]");
    int code = TCL_ERROR;
    testEval(interp, "calc test", &code);
    EXPECT_EQ(code, TCL_OK);
    EXPECT_EQ(testEval(interp, "set ::out"), "stdout:stdin: 0 stdout: 1 stderr: 2\n"
                                             "stdout:int: 12345 string: stdio test\n"
                                             "stdout:Enter a number and a string: stdout:1.500000 first\n"
                                             "stdout:Enter a number and a string: stdout:-2.250000 second\n");
}

TEST_F(CalcConsoleTest, SelfTestWithoutInputEchoesZeroAndNothing)
{
    int code = TCL_ERROR;
    testEval(interp, "calc test", &code);
    EXPECT_EQ(code, TCL_OK);
    std::string out = testEval(interp, "set ::out");
    EXPECT_NE(out.find("Enter a number and a string: stdout:0.000000 \n"), std::string::npos) << out;
}

TEST_F(CalcConsoleTest, BitmapNeedsTk)
{
    int code = TCL_OK;
    EXPECT_EQ(testEval(interp, "calc bitmap somePhoto", &code), "calc bitmap needs Tk");
    EXPECT_EQ(code, TCL_ERROR);
}

/* One bit per pixel where the alpha is non-zero: pixels x < 7 are put, so
 * opaque, except (1, 1), made transparent; the rest were never put. */
TEST(CalcBitmap, BitsFollowThePhotosAlpha)
{
    Tcl_Interp *tk = testTkInterp();
    ASSERT_NE(tk, nullptr);
    ASSERT_EQ(calcInit(tk), TCL_OK);
    int code = TCL_ERROR;
    std::string result = testEval(tk, R"(
        image create photo calcBits -width 10 -height 3
        calcBits put black -to 0 0 7 3
        calcBits transparency set 1 1 1
        calc bitmap calcBits
    )",
                                  &code);
    ASSERT_EQ(code, TCL_OK) << result;

    Tk_Window main = Tk_MainWindow(tk);
    ASSERT_NE(main, nullptr);
    Pixmap bitmap = Tk_GetBitmap(tk, main, "test");
    ASSERT_NE(bitmap, None) << Tcl_GetStringResult(tk);
    int width = 0, height = 0;
    Tk_SizeOfBitmap(Tk_Display(main), bitmap, &width, &height);
    EXPECT_EQ(width, 10);
    EXPECT_EQ(height, 3);
    XImage *image = XGetImage(Tk_Display(main), bitmap, 0, 0, 10, 3, 1, XYPixmap);
    ASSERT_NE(image, nullptr);
    std::string got, expected;
    for (int y = 0; y < 3; y++) {
        for (int x = 0; x < 10; x++) {
            got += XGetPixel(image, x, y) ? '1' : '0';
            expected += x < 7 && !(x == 1 && y == 1) ? '1' : '0';
        }
        got += '/';
        expected += '/';
    }
    EXPECT_EQ(got, expected);
    XDestroyImage(image);
    Tk_FreeBitmap(Tk_Display(main), bitmap);
    testEval(tk, "image delete calcBits");
}

}  // namespace
