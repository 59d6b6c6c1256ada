/*
 * Redisplay of the geo canvas seen from inside: which areas are rendered
 * into the back buffer when the view scrolls, when a floating or a plain
 * item moves, and hit tests of rectangles and ovals at several zooms.
 */
#include <gtest/gtest.h>

#include <vector>
#include <X11/Xutil.h>
#include "canvas/canvasapi.h"
#include "canvas/canvasint.h"
#include "canvasfixture.h"
#include "support/test_interp.h"
#include "tesk.h"

namespace {

class CanvasRedisplay : public CanvasFixture {
protected:
    CanvasRedisplay() : CanvasFixture(".rd", "-width 200 -height 100 -highlightthickness 0 -background white", true) {}

    /* Runs a script, lets the canvas redisplay, and answers the log's
     * counts since the script began. */
    GcanvasRedrawLog after(const std::string &script)
    {
        testEval(interp, "update");
        GcanvasRedrawLog before = *gcanvasRedrawLog();
        int code;
        std::string result = testEval(interp, script + "; update", &code);
        EXPECT_EQ(code, TCL_OK) << result;
        GcanvasRedrawLog now = *gcanvasRedrawLog();
        now.displays -= before.displays;
        now.renders -= before.renders;
        now.rebuilds -= before.rebuilds;
        return now;
    }

    std::vector<int> lastArea() const
    {
        const int *a = gcanvasRedrawLog()->lastArea;
        return {a[0], a[1], a[2], a[3]};
    }
};

TEST_F(CanvasRedisplay, ScrollingRendersOnlyTheUncoveredStrip)
{
    after(".rd create rectangle 10 10 300 90 -fill red");
    // A unit is a tenth of the view: three units move it 60 pixels right.
    GcanvasRedrawLog log = after(".rd xview scroll 3 units");
    EXPECT_EQ(log.rebuilds, 1);
    EXPECT_EQ(log.renders, 1);
    EXPECT_EQ(lastArea(), (std::vector<int>{200, 0, 260, 100}));
    // Back again: the strip on the left.
    log = after(".rd xview scroll -3 units");
    EXPECT_EQ(log.renders, 1);
    EXPECT_EQ(lastArea(), (std::vector<int>{0, 0, 60, 100}));
}

TEST_F(CanvasRedisplay, FloatingItemsRecompositeWithoutRendering)
{
    after(".rd create rectangle 10 10 50 50 -fill blue -floating 1; .rd create rectangle 60 10 90 50");
    GcanvasRedrawLog log = after(".rd move 1 5 0");
    EXPECT_EQ(log.displays, 1);
    EXPECT_EQ(log.renders, 0);
    EXPECT_EQ(log.rebuilds, 0);
    // A plain item re-renders, into the buffer where it is; with a
    // floating one changed too, the plain change still renders.
    log = after(".rd move 2 5 0; .rd move 1 5 0");
    EXPECT_EQ(log.displays, 1);
    EXPECT_GE(log.renders, 1);
    EXPECT_EQ(log.rebuilds, 0);
    // An exposure alone copies the buffer and renders nothing.
    log = after("event generate .rd <Expose> -x 0 -y 0 -width 50 -height 50");
    EXPECT_EQ(log.renders, 0);
}

TEST_F(CanvasRedisplay, AChangeOverTheWholeViewRendersTheBufferInPlace)
{
    // A red item wider than the view under a blue one: moving both puts
    // the whole view in the pending area.
    after(".rd create rectangle -50 -50 300 200 -fill #ff0000 -outline {}; "
          ".rd create rectangle 20 20 40 40 -fill #0000ff -outline {}");
    GcanvasRedrawLog log = after(".rd move all 30 0");
    EXPECT_EQ(log.displays, 1);
    EXPECT_EQ(log.renders, 1);
    EXPECT_EQ(log.rebuilds, 0);
    EXPECT_EQ(lastArea(), (std::vector<int>{0, 0, 200, 100}));
    // The window shows the new place straight from the buffer.
    Display *display = Tk_Display(Tk_MainWindow(interp));
    Tk_Window tkwin = Tk_NameToWindow(interp, ".rd", Tk_MainWindow(interp));
    XImage *image = XGetImage(display, Tk_WindowId(tkwin), 0, 0, 200, 100, AllPlanes, ZPixmap);
    ASSERT_NE(image, nullptr);
    unsigned long red = XGetPixel(image, 5, 5);
    EXPECT_NE(XGetPixel(image, 60, 30), red);  // the blue item, moved
    EXPECT_EQ(XGetPixel(image, 25, 30), red);  // where it was
    XDestroyImage(image);
}

TEST_F(CanvasRedisplay, DrawingBitmapsQueuesNoExposureEvents)
{
    after("");
    testEval(interp, "for {set i 0} {$i < 40} {incr i} {.rd create bitmap [expr {$i * 5}] 50 -bitmap questhead}; "
                     "update idletasks");
    XSync(display, False);
    int noExposes = 0;
    XEvent event;
    while (XCheckTypedEvent(display, NoExpose, &event)) {
        noExposes++;
    }
    EXPECT_EQ(noExposes, 0);
}

TEST_F(CanvasRedisplay, HitTestsAreInCanvasPixelsAtEveryZoom)
{
    for (double zoom : {0.5, 1.0, 4.0}) {
        testEval(interp, ".rd delete all; .rd configure -mx " + std::to_string(zoom) + " -my " + std::to_string(-zoom) +
                             "; .rd create rectangle 0 0 10 10 -width 2; .rd create oval 0 0 10 10 -width 2");
        GcanvasItem *rect = canvas->lastItem->prev;
        GcanvasItem *oval = canvas->lastItem;
        ASSERT_NE(rect, nullptr);
        // 5 pixels right of the right edge: 4 from the outline's outer side.
        double right[2] = {10 * zoom - canvas->xOffset + 5, 5 * -zoom - canvas->yOffset};
        EXPECT_NEAR(rect->type->pointProc(canvas, rect, right), 4, 1e-9) << zoom;
        EXPECT_NEAR(oval->type->pointProc(canvas, oval, right), 4, 1e-9) << zoom;
        // In the middle of the hollow rectangle: the distance to the
        // outline's inner side.
        double middle[2] = {5 * zoom - canvas->xOffset, 5 * -zoom - canvas->yOffset};
        EXPECT_NEAR(rect->type->pointProc(canvas, rect, middle), 5 * zoom - 1, 1e-9) << zoom;
        // Areas: around the item, across it, and inside its hole.
        double around[4] = {-20 * zoom, -20 * zoom, 20 * zoom, 20 * zoom};
        around[0] -= canvas->xOffset, around[2] -= canvas->xOffset;
        around[1] -= canvas->yOffset, around[3] -= canvas->yOffset;
        double hole[4] = {4 * zoom, -6 * zoom, 6 * zoom, -4 * zoom};
        EXPECT_EQ(rect->type->areaProc(canvas, rect, around), 1) << zoom;
        EXPECT_EQ(rect->type->areaProc(canvas, rect, hole), -1) << zoom;
    }
}

TEST_F(CanvasRedisplay, TheRasterSideDrawsRegionsThroughTheCanvasAPI)
{
    EXPECT_EQ(gcanvasFromPath(interp, ".rd"), canvas);
    EXPECT_EQ(gcanvasFromPath(interp, "."), nullptr);
    EXPECT_EQ(gcanvasFromPath(interp, ".nosuch"), nullptr);
    int box[4] = {7, 7, 7, 7};
    EXPECT_EQ(gcanvasItemsBBox(canvas, &box[0], &box[1], &box[2], &box[3]), 0);
    EXPECT_EQ(box[0], 7);

    testEval(interp, ".rd create rectangle 10 10 30.2 20 -fill #ff0000 -outline {}; "
                     ".rd create rectangle 100 50 120 60 -fill #0000ff -outline {}; update");
    ASSERT_EQ(gcanvasItemsBBox(canvas, &box[0], &box[1], &box[2], &box[3]), 1);
    EXPECT_EQ((std::vector<int>{box[0], box[1], box[2], box[3]}), (std::vector<int>{9, 9, 121, 61}));

    // The region 0 0 40 40 holds only the red item; drawn with an offset.
    Display *display = Tk_Display(Tk_MainWindow(interp));
    Tk_Window tkwin = Tk_NameToWindow(interp, ".rd", Tk_MainWindow(interp));
    Pixmap pixmap = Tk_GetPixmap(display, Tk_WindowId(tkwin), 40, 40, Tk_Depth(tkwin));
    XFillRectangle(display, pixmap, gcanvasBackgroundGC(canvas), 0, 0, 40, 40);
    int savedX = canvas->drawableXOrigin;
    EXPECT_EQ(gcanvasDrawRegion(canvas, pixmap, 0, 0, 40, 40, 5, 0), 1);
    EXPECT_EQ(canvas->drawableXOrigin, savedX);
    XImage *image = XGetImage(display, pixmap, 0, 0, 40, 40, AllPlanes, ZPixmap);
    ASSERT_NE(image, nullptr);
    unsigned long white = XGetPixel(image, 39, 39);
    EXPECT_NE(XGetPixel(image, 10, 15), white);  // canvas (15, 15): red
    EXPECT_EQ(XGetPixel(image, 27, 15), white);  // canvas (32, 15): past it
    XDestroyImage(image);
    Tk_FreePixmap(display, pixmap);
}

}  // namespace
