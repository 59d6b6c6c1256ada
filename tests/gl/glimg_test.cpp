/*
 * The glw image type's procedures called as Tk would: delete meeting
 * instances Tk did not free (Tk 8.6 frees its own first, so no script gets
 * there), and a pixmap refused at configure.
 */
#include <gtest/gtest.h>

#include "gl/glwsurface.h"
#include "support/stderr_capture.h"

namespace {

/* The record and type of image name, made by script in the Tk interpreter. */
GlwWindow *makeImage(Tcl_Interp *tk, const char *script, const char *name, const Tk_ImageType **type)
{
    if (Tcl_FindCommand(tk, "glw", nullptr, 0) == nullptr && Glw_Init(tk) != TCL_OK) {
        ADD_FAILURE() << Tcl_GetStringResult(tk);
    }
    EXPECT_EQ(testEval(tk, script), name);
    return static_cast<GlwWindow *>(Tk_GetImageMasterData(tk, name, type));
}

using GlwImage = StderrCapture;

}  // namespace

TEST_F(GlwImage, DeleteMeetingInstancesWarnsDestroysTheSurfaceAndDetachesThem)
{
    Tcl_Interp *tk = testTkInterp();
    const Tk_ImageType *type = nullptr;
    GlwWindow *record = makeImage(tk, "image create glw giu -width 8 -height 6", "giu", &type);
    ASSERT_NE(record, nullptr);
    /* Two uses Tk does not know of, the later one freed: it is unlinked. */
    Tk_Window mainWindow = Tk_MainWindow(tk);
    Display *display = Tk_Display(mainWindow);
    ClientData first = type->getProc(mainWindow, record);
    type->freeProc(type->getProc(mainWindow, record), display);
    EXPECT_EQ(static_cast<void *>(record->instances), first);

    EXPECT_EQ(testEval(tk, "image delete giu; list [glw exists giu] [info commands giu] [lsearch [image names] giu]"),
              "0 {} -1");
    EXPECT_EQ(errors(), "tried to delete glimg image when clients still exist");
    /* The detached instance shows nothing and frees without its surface. */
    Pixmap target = Tk_GetPixmap(display, Tk_WindowId(mainWindow), 8, 6, Tk_Depth(mainWindow));
    type->displayProc(first, display, target, 0, 0, 8, 6, 0, 0);
    type->freeProc(first, display);
    Tk_FreePixmap(display, target);
}

/* A window not yet made has no drawable to take the screen from: its
 * refused pixmap stands in for a size the server has no room for. */
TEST_F(GlwImage, PixmapRefusedAtConfigureFailsWithTheMessageAndKeepsTheOldSize)
{
    Tcl_Interp *tk = testTkInterp();
    const Tk_ImageType *type = nullptr;
    GlwWindow *record = makeImage(tk, "frame .unmade; image create glw gir -width 8 -height 6", "gir", &type);
    ASSERT_NE(record, nullptr);
    Tk_Window own = record->tkwin;
    Tk_Window unmade = Tk_NameToWindow(tk, ".unmade", own);
    ASSERT_TRUE(unmade != nullptr && Tk_WindowId(unmade) == None);
    const Pixmap pixmap = record->pixmap;
    record->tkwin = unmade;
    int code = TCL_OK;
    const std::string message = testEval(tk, "gir configure -width 40", &code);
    record->tkwin = own;
    EXPECT_EQ(code, TCL_ERROR);
    EXPECT_EQ(message.rfind("Error in Tk_GetPixmap: ", 0), 0u) << message;
    EXPECT_EQ(errors(), message + "\n");
    EXPECT_EQ(record->pixmap, pixmap);
    EXPECT_EQ(testEval(tk, "list [image width gir] [gir cget -width] [gir configure -width 12] [image width gir]"
                           " [image delete gir] [destroy .unmade]"),
              "8 8 {} 12 {} {}");
}
