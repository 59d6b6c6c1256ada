/*
 * View pixmaps: made on first use at the size and depth set up, kept while
 * nothing changes, freed and made anew when something does; never made for
 * an empty size, a depth the screen lacks or an external record, and an
 * external record frees nothing. Sizes are checked with the server.
 */
#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <array>
#include <tk.h>
#include "display/gimg.h"
#include "support/test_interp.h"

namespace {

class ViewPixmaps : public ::testing::Test {
protected:
    void SetUp() override
    {
        Tcl_Interp *interp = testTkInterp();
        ASSERT_NE(interp, nullptr);
        window = Tk_MainWindow(interp);
        ASSERT_NE(window, nullptr);
        display = Tk_Display(window);
        depth = Tk_Depth(window);
        vpInit(&vp, display);
    }

    void TearDown() override { vpFree(&vp); }

    /* The pixmap's width, height and depth as the server has them. */
    std::array<int, 3> geometry(Pixmap pixmap)
    {
        Window root;
        int x, y;
        unsigned width = 0, height = 0, border, d = 0;
        XGetGeometry(display, pixmap, &root, &x, &y, &width, &height, &border, &d);
        return {static_cast<int>(width), static_cast<int>(height), static_cast<int>(d)};
    }

    Tk_Window window = nullptr;
    Display *display = nullptr;
    int depth = 0;
    ViewPixmap vp;
};

TEST_F(ViewPixmaps, AFreshRecordHasNothing)
{
    EXPECT_EQ(vp.display, display);
    EXPECT_EQ(vp.window, nullptr);
    EXPECT_EQ(vp.pixmap, static_cast<Pixmap>(None));
    EXPECT_EQ(vp.width, 0);
    EXPECT_EQ(vp.valid, 0);
    EXPECT_EQ(vp.external, 0);
    EXPECT_EQ(vpPixmap(&vp), static_cast<Pixmap>(None));  // no window, no size
}

TEST_F(ViewPixmaps, ThePixmapIsMadeOnFirstUseAtTheSizeSetUp)
{
    EXPECT_EQ(vpSetup(&vp, window, 30, 20, depth, 0, 0, 5, 6), 1);
    EXPECT_EQ(vp.pixmap, static_cast<Pixmap>(None));
    Pixmap p = vpPixmap(&vp);
    ASSERT_NE(p, static_cast<Pixmap>(None));
    EXPECT_EQ(geometry(p), (std::array<int, 3>{30, 20, depth}));
    EXPECT_EQ(vp.valid, 1);
    EXPECT_EQ(vpPixmap(&vp), p);
    EXPECT_EQ(vp.originX, 5);
    EXPECT_EQ(vp.originY, 6);
}

TEST_F(ViewPixmaps, TheSameSetUpKeepsThePixmapButMarksItNotValid)
{
    vpSetup(&vp, window, 30, 20, depth, 0, 0, 0, 0);
    Pixmap p = vpPixmap(&vp);
    ASSERT_NE(p, static_cast<Pixmap>(None));
    EXPECT_EQ(vpSetup(&vp, window, 30, 20, depth, 3, 4, 0, 0), 0);
    EXPECT_EQ(vp.pixmap, p);
    EXPECT_EQ(vp.valid, 0);
    EXPECT_EQ(vp.destX, 3);
    EXPECT_EQ(vp.destY, 4);
    EXPECT_EQ(vpPixmap(&vp), p);
    EXPECT_EQ(vp.valid, 1);
}

TEST_F(ViewPixmaps, AnyChangeOfSizeDepthOrOriginMakesANewPixmap)
{
    vpSetup(&vp, window, 30, 20, depth, 0, 0, 0, 0);
    ASSERT_NE(vpPixmap(&vp), static_cast<Pixmap>(None));
    EXPECT_EQ(vpSetup(&vp, window, 31, 20, depth, 0, 0, 0, 0), 1);
    EXPECT_EQ(vp.pixmap, static_cast<Pixmap>(None));
    EXPECT_EQ(geometry(vpPixmap(&vp)), (std::array<int, 3>{31, 20, depth}));
    EXPECT_EQ(vpSetup(&vp, window, 31, 20, 1, 0, 0, 0, 0), 1);
    EXPECT_EQ(geometry(vpPixmap(&vp)), (std::array<int, 3>{31, 20, 1}));
    EXPECT_EQ(vpSetup(&vp, window, 31, 20, 1, 0, 0, 0, 1), 1);
    EXPECT_EQ(vp.pixmap, static_cast<Pixmap>(None));
}

TEST_F(ViewPixmaps, AnEmptyOrOversizedPictureMakesNoPixmap)
{
    vpSetup(&vp, window, 0, 20, depth, 0, 0, 0, 0);
    EXPECT_EQ(vpPixmap(&vp), static_cast<Pixmap>(None));
    vpSetup(&vp, window, 20, 0, depth, 0, 0, 0, 0);
    EXPECT_EQ(vpPixmap(&vp), static_cast<Pixmap>(None));
    vpSetup(&vp, window, -5, 20, depth, 0, 0, 0, 0);
    EXPECT_EQ(vpPixmap(&vp), static_cast<Pixmap>(None));
    vpSetup(&vp, window, 40000, 2, depth, 0, 0, 0, 0);
    EXPECT_EQ(vpPixmap(&vp), static_cast<Pixmap>(None));
    EXPECT_EQ(vp.valid, 0);
}

TEST_F(ViewPixmaps, APictureOfMoreThan256MiBIsNotAskedOfTheServer)
{
    // 32700 x 32700 at 8 bits and more is 1 GiB or more; 16400 x 16400 one
    // bit deep is 32 MiB.
    vpSetup(&vp, window, 32700, 32700, depth, 0, 0, 0, 0);
    EXPECT_EQ(vpPixmap(&vp), static_cast<Pixmap>(None));
    EXPECT_EQ(vp.valid, 0);
    vpSetup(&vp, window, 16400, 16400, 1, 0, 0, 0, 0);
    Pixmap p = vpPixmap(&vp);
    ASSERT_NE(p, static_cast<Pixmap>(None));
    EXPECT_EQ(geometry(p), (std::array<int, 3>{16400, 16400, 1}));
}

TEST_F(ViewPixmaps, ADepthTheScreenLacksMakesNoPixmap)
{
    vpSetup(&vp, window, 8, 8, 7, 0, 0, 0, 0);
    EXPECT_EQ(vpPixmap(&vp), static_cast<Pixmap>(None));
    vpSetup(&vp, window, 8, 8, 0, 0, 0, 0, 0);
    EXPECT_EQ(vpPixmap(&vp), static_cast<Pixmap>(None));
}

TEST_F(ViewPixmaps, FreeingForgetsThePixmapAndTheNextUseMakesItAgain)
{
    vpSetup(&vp, window, 10, 10, depth, 0, 0, 0, 0);
    ASSERT_NE(vpPixmap(&vp), static_cast<Pixmap>(None));
    vpFree(&vp);
    EXPECT_EQ(vp.pixmap, static_cast<Pixmap>(None));
    EXPECT_EQ(vp.valid, 0);
    EXPECT_EQ(vp.width, 10);
    Pixmap again = vpPixmap(&vp);
    ASSERT_NE(again, static_cast<Pixmap>(None));
    EXPECT_EQ(geometry(again), (std::array<int, 3>{10, 10, depth}));
    vpFree(&vp);
    vpFree(&vp);  // twice is harmless
}

TEST_F(ViewPixmaps, AnExternalRecordMakesAndFreesNothing)
{
    vpSetup(&vp, window, 10, 10, depth, 0, 0, 0, 0);
    ASSERT_NE(vpPixmap(&vp), static_cast<Pixmap>(None));
    vpSetExternal(&vp, 1);
    EXPECT_EQ(vp.external, 1);
    EXPECT_EQ(vp.pixmap, static_cast<Pixmap>(None));  // the owned one went first
    EXPECT_EQ(vpPixmap(&vp), static_cast<Pixmap>(None));
    // Drawing goes to a window that the record does not own: freeing the
    // record leaves it alone (freeing a window as a pixmap would be an X
    // error that ends the process).
    Tk_MakeWindowExist(window);
    vp.pixmap = Tk_WindowId(window);
    vpFree(&vp);
    EXPECT_EQ(vp.pixmap, static_cast<Pixmap>(None));
    XSync(display, False);
    EXPECT_EQ(geometry(Tk_WindowId(window))[2], depth);
    vpSetExternal(&vp, 0);
    EXPECT_EQ(vp.external, 0);
    EXPECT_NE(vpPixmap(&vp), static_cast<Pixmap>(None));
}

}  // namespace
