/*
 * glimg_test.cpp --
 *
 *	The glw image type's procedures as Tk calls them: instances listed
 *	head first and unlinked when freed, and the delete procedure meeting
 *	instances Tk did not free (Tk 8.6 frees its own first, so no script
 *	reaches this): the warning, the surface gone, the instance detached
 *	and freeable afterwards.
 */
#include <gtest/gtest.h>

#include <cstring>

#include "gl/glwsurface.h"
#include "support/stderr_capture.h"

namespace {

Tcl_Interp *glwInterp()
{
    Tcl_Interp *interp = testTkInterp();
    if (Tcl_FindCommand(interp, "glw", nullptr, 0) == nullptr && Glw_Init(interp) != TCL_OK) {
        ADD_FAILURE() << Tcl_GetStringResult(interp);
    }
    return interp;
}

using GlwImage = StderrCapture;

}  // namespace

TEST_F(GlwImage, DeleteMeetingInstancesWarnsDestroysTheSurfaceAndDetachesThem)
{
    Tcl_Interp *tk = glwInterp();
    int code = TCL_OK;
    testEval(tk, "image create glw giu -width 8 -height 6", &code);
    ASSERT_EQ(code, TCL_OK) << Tcl_GetStringResult(tk);
    const Tk_ImageType *type = nullptr;
    auto *record = static_cast<GlwWindow *>(Tk_GetImageMasterData(tk, "giu", &type));
    ASSERT_NE(record, nullptr);
    ASSERT_NE(type, nullptr);
    EXPECT_STREQ(type->name, "glw");
    EXPECT_EQ(record->kind, 3);
    EXPECT_NE(record->pixmap, None);

    /* Two uses Tk does not know of: the later one heads the list. */
    Tk_Window mainWindow = Tk_MainWindow(tk);
    Display *display = Tk_Display(mainWindow);
    ClientData first = type->getProc(mainWindow, record);
    ClientData second = type->getProc(mainWindow, record);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(static_cast<void *>(record->instances), second);
    type->freeProc(second, display);
    EXPECT_EQ(static_cast<void *>(record->instances), first);

    testEval(tk, "image delete giu", &code);
    EXPECT_EQ(code, TCL_OK);
    EXPECT_EQ(errors(), "tried to delete glimg image when clients still exist");
    EXPECT_EQ(testEval(tk, "list [glw exists giu] [info commands giu] [lsearch [image names] giu]"), "0 {} -1");
    /* The detached instance shows nothing and frees without its surface. */
    Pixmap target = Tk_GetPixmap(display, Tk_WindowId(mainWindow), 8, 6, Tk_Depth(mainWindow));
    type->displayProc(first, display, target, 0, 0, 8, 6, 0, 0);
    type->freeProc(first, display);
    Tk_FreePixmap(display, target);
}

/* A pixmap the server refuses during configure: one asked for on a window
 * not yet made (no drawable to take the screen from) stands in for a size
 * the server has no room for. */
TEST_F(GlwImage, PixmapRefusedAtConfigureFailsWithTheMessageAndKeepsTheOldSize)
{
    Tcl_Interp *tk = glwInterp();
    int code = TCL_OK;
    testEval(tk, "image create glw gir -width 8 -height 6; frame .unmade", &code);
    ASSERT_EQ(code, TCL_OK) << Tcl_GetStringResult(tk);
    const Tk_ImageType *type = nullptr;
    auto *record = static_cast<GlwWindow *>(Tk_GetImageMasterData(tk, "gir", &type));
    ASSERT_NE(record, nullptr);
    Tk_Window own = record->tkwin;
    const Pixmap pixmap = record->pixmap;
    record->tkwin = Tk_NameToWindow(tk, ".unmade", own);
    ASSERT_NE(record->tkwin, nullptr);
    ASSERT_EQ(Tk_WindowId(record->tkwin), static_cast<Window>(None));
    const std::string message = testEval(tk, "gir configure -width 40", &code);
    record->tkwin = own;
    EXPECT_EQ(code, TCL_ERROR);
    EXPECT_EQ(message.rfind("Error in Tk_GetPixmap: ", 0), 0u) << message;
    EXPECT_EQ(errors(), message + "\n");
    EXPECT_EQ(testEval(tk, "list [image width gir] [gir cget -width]"), "8 8");
    EXPECT_EQ(record->pixmap, pixmap);
    testEval(tk, "gir configure -width 12", &code);
    EXPECT_EQ(code, TCL_OK);
    EXPECT_EQ(testEval(tk, "list [image width gir] [image delete gir] [destroy .unmade]"), "12 {} {}");
}
