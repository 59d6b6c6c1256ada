/*
 * redisplay.cpp --
 *
 *	Redisplay of the geo canvas. Items are rendered into a back buffer
 *	that covers the view plus an 8-pixel margin; each redisplay copies the
 *	view part into a temporary pixmap, draws the floating items over it
 *	and copies the result into the window. Requests gather a pending area
 *	(canvas units) and a full-render flag; the buffer is re-rendered only
 *	where needed: the pending area, or the strips a scroll uncovered.
 */
#include <algorithm>
#include <cmath>
#include <cstdint>
#include "canvas/canvasint.h"
#include "tesk.h"
#include "tkInt.h"

namespace {

constexpr int kMargin = 8;

GcanvasRedrawLog redrawLog;

void updateBackBuffer(GcanvasWidget *canvas, bool floating);

/* The view in canvas coordinates. */
struct View {
    int x1, y1, x2, y2;
    int width() const { return x2 - x1; }
    int height() const { return y2 - y1; }
};

View viewOf(const GcanvasWidget *canvas)
{
    return {canvas->xOrigin + canvas->inset, canvas->yOrigin + canvas->inset,
            canvas->xOrigin + Tk_Width(canvas->tkwin) - canvas->inset,
            canvas->yOrigin + Tk_Height(canvas->tkwin) - canvas->inset};
}

/* A pixmap of the window's depth; None for an empty size. */
Pixmap makePixmap(GcanvasWidget *canvas, int width, int height)
{
    if (width <= 0 || height <= 0) {
        return None;
    }
    return Tk_GetPixmap(canvas->display, Tk_WindowId(canvas->tkwin), width, height, Tk_Depth(canvas->tkwin));
}

/* Grows the pending area (or starts it) with whole-pixel bounds. */
void addPending(GcanvasWidget *canvas, int a, int b, int c, int d)
{
    if (canvas->flags & GCANVAS_BBOX_NOT_EMPTY) {
        if (a <= canvas->redrawX1) {
            canvas->redrawX1 = a;
        }
        if (b <= canvas->redrawY1) {
            canvas->redrawY1 = b;
        }
        if (c >= canvas->redrawX2) {
            canvas->redrawX2 = c;
        }
        if (d >= canvas->redrawY2) {
            canvas->redrawY2 = d;
        }
    } else {
        canvas->redrawX1 = a;
        canvas->redrawY1 = b;
        canvas->redrawX2 = c;
        canvas->redrawY2 = d;
        canvas->flags |= GCANVAS_BBOX_NOT_EMPTY;
    }
}

/* floor(v - 0.5) and ceil(v + 0.5) held to ints; NaN, which no bound
 * holds, reaches as far as it can either way. */
int lowPixel(double v)
{
    double f = v - 0.5;
    if (!(f >= -2147483648.0)) {
        return INT32_MIN;
    }
    if (f >= 2147483647.0) {
        return INT32_MAX;
    }
    /* floor by truncation: one step down for negative fractions. */
    auto i = static_cast<int64_t>(f);
    return static_cast<int>(i - (f < static_cast<double>(i)));
}

int highPixel(double v)
{
    double f = v + 0.5;
    if (!(f <= 2147483647.0)) {
        return INT32_MAX;
    }
    if (f <= -2147483648.0) {
        return INT32_MIN;
    }
    /* ceil by truncation: one step up for positive fractions. */
    auto i = static_cast<int64_t>(f);
    return static_cast<int>(i + (f > static_cast<double>(i)));
}

/* Renders the canvas area x1 y1 x2 y2 (canvas units) into drawable, whose
 * pixel (mx, my) shows canvas point (x1, y1): the background, then every
 * plain item that meets the area (or, for always-redraw types, any part of
 * the pending area). Items may draw past the area into the drawable's
 * margins. */
void renderInto(GcanvasWidget *canvas, Drawable drawable, int mx, int my, int x1, int y1, int x2, int y2)
{
    Display *display = canvas->display;
    canvas->drawableXOrigin = x1 - mx;
    canvas->drawableYOrigin = y1 - my;
    int w = x2 - x1, h = y2 - y1;
    redrawLog.renders++;
    redrawLog.lastArea[0] = x1;
    redrawLog.lastArea[1] = y1;
    redrawLog.lastArea[2] = x2;
    redrawLog.lastArea[3] = y2;
    XFillRectangle(display, drawable, canvas->pixmapGC, mx, my, static_cast<unsigned>(w), static_cast<unsigned>(h));
    for (GcanvasItem *item = canvas->firstItem; item != nullptr; item = item->next) {
        if (item->floating || gcanvasItemHidden(canvas, item)) {
            continue;
        }
        bool meets = item->x1 < x2 && item->y1 < y2 && item->x2 >= x1 && item->y2 >= y1;
        if (!meets && (item->type->alwaysRedraw & GCANVAS_TYPE_ALWAYS_REDRAW) != 0) {
            meets = item->x1 < canvas->redrawX2 && item->y1 < canvas->redrawY2 && item->x2 >= canvas->redrawX1 &&
                    item->y2 >= canvas->redrawY1;
        }
        if (meets) {
            item->type->displayProc(canvas, item, display, drawable, x1, y1, w, h);
        }
    }
}

}  // namespace

GcanvasRedrawLog *gcanvasRedrawLog()
{
    return &redrawLog;
}

extern "C" TESK_API void gcanvasRedrawCounts(long *displays, long *renders, long *rebuilds, int lastArea[4])
{
    *displays = redrawLog.displays;
    *renders = redrawLog.renders;
    *rebuilds = redrawLog.rebuilds;
    for (int i = 0; i < 4; i++) {
        lastArea[i] = redrawLog.lastArea[i];
    }
}

void gcanvasScheduleRedisplay(GcanvasWidget *canvas)
{
    if ((canvas->flags & GCANVAS_REDRAW_PENDING) == 0) {
        Tcl_DoWhenIdle(gcanvasDisplay, canvas);
        canvas->flags |= GCANVAS_REDRAW_PENDING;
    }
}

void gcanvasEventuallyRedraw(GcanvasWidget *canvas, double x1, double y1, double x2, double y2, int full)
{
    Tk_Window tkwin = canvas->tkwin;
    if (tkwin == nullptr || x1 > x2 || y1 > y2 || x2 < canvas->xOrigin || y2 < canvas->yOrigin ||
        x1 >= canvas->xOrigin + Tk_Width(tkwin) || y1 >= canvas->yOrigin + Tk_Height(tkwin)) {
        return;
    }
    addPending(canvas, lowPixel(x1), lowPixel(y1), highPixel(x2), highPixel(y2));
    canvas->fullRedraw |= full;
    gcanvasScheduleRedisplay(canvas);
}

void gcanvasEventuallyRedrawItem(GcanvasWidget *canvas, GcanvasItem *item)
{
    if (canvas->tkwin != nullptr && item->group != nullptr) {
        /* An item inside a group is drawn with its top group: that
         * group is drawn again. */
        item = gcanvasTopGroup(item);
    }
    Tk_Window tkwin = canvas->tkwin;
    if (tkwin == nullptr) {
        return;
    }
    int x1 = lowPixel(item->x1), y1 = lowPixel(item->y1);
    int x2 = highPixel(item->x2), y2 = highPixel(item->y2);
    if (!item->floating) {
        canvas->fullRedraw = 1;
    }
    bool visible = x1 < x2 && y1 < y2 && x2 >= canvas->xOrigin && y2 >= canvas->yOrigin &&
                   x1 < canvas->xOrigin + Tk_Width(tkwin) && y1 < canvas->yOrigin + Tk_Height(tkwin);
    if (!visible && (item->type->alwaysRedraw & GCANVAS_TYPE_ALWAYS_REDRAW) == 0) {
        return;
    }
    if ((item->redrawFlags & GCANVAS_ITEM_REDRAW_REGISTERED) == 0) {
        addPending(canvas, x1, y1, x2, y2);
        item->redrawFlags |= GCANVAS_ITEM_REDRAW_REGISTERED;
    }
    gcanvasScheduleRedisplay(canvas);
}

void gcanvasRedrawView(GcanvasWidget *canvas, int full)
{
    if (canvas->tkwin == nullptr) {
        return;
    }
    gcanvasEventuallyRedraw(canvas, canvas->xOrigin, canvas->yOrigin, canvas->xOrigin + Tk_Width(canvas->tkwin),
                            canvas->yOrigin + Tk_Height(canvas->tkwin), full);
}

void gcanvasDisplay(ClientData clientData)
{
    auto *canvas = static_cast<GcanvasWidget *>(clientData);
    Tk_Window tkwin = canvas->tkwin;
    if (tkwin == nullptr) {
        return;
    }
    redrawLog.displays++;
    if (Tk_IsMapped(tkwin)) {
        while (canvas->flags & GCANVAS_REPICK_NEEDED) {
            Tcl_Preserve(canvas);
            canvas->flags &= ~GCANVAS_REPICK_NEEDED;
            gcanvasPickCurrentItem(canvas, &canvas->pickEvent);
            tkwin = canvas->tkwin;
            Tcl_Release(canvas);
            if (tkwin == nullptr) {
                return;
            }
        }
        /* One walk over the items: the new areas of the items that asked
         * for a redraw, and whether any floating item is to be drawn. */
        bool floating = false;
        for (GcanvasItem *item = canvas->firstItem; item != nullptr; item = item->next) {
            if (item->redrawFlags & GCANVAS_ITEM_REDRAW_REGISTERED) {
                item->redrawFlags &= ~GCANVAS_ITEM_REDRAW_REGISTERED;
                gcanvasEventuallyRedrawItem(canvas, item);
                item->redrawFlags &= ~GCANVAS_ITEM_REDRAW_REGISTERED;
            }
            floating = floating || (item->floating && !gcanvasItemHidden(canvas, item));
        }
        if (canvas->redrawX1 < canvas->redrawX2 && canvas->redrawY1 < canvas->redrawY2) {
            updateBackBuffer(canvas, floating);
        }
        if (canvas->flags & GCANVAS_REDRAW_BORDERS) {
            canvas->flags &= ~GCANVAS_REDRAW_BORDERS;
            int hw = canvas->highlightWidth;
            if (canvas->borderWidth > 0) {
                Tk_Draw3DRectangle(tkwin, Tk_WindowId(tkwin), canvas->bgBorder, hw, hw, Tk_Width(tkwin) - 2 * hw,
                                   Tk_Height(tkwin) - 2 * hw, canvas->borderWidth, canvas->relief);
            }
            if (hw != 0) {
                GC bg = Tk_GCForColor(canvas->highlightBgColor, Tk_WindowId(tkwin));
                if (canvas->textInfo.gotFocus) {
                    GC fg = Tk_GCForColor(canvas->highlightColor, Tk_WindowId(tkwin));
                    TkpDrawHighlightBorder(tkwin, fg, bg, hw, Tk_WindowId(tkwin));
                } else {
                    TkpDrawHighlightBorder(tkwin, bg, bg, hw, Tk_WindowId(tkwin));
                }
            }
        }
    }
    canvas->flags &= ~(GCANVAS_REDRAW_PENDING | GCANVAS_BBOX_NOT_EMPTY);
    canvas->redrawX1 = canvas->redrawY1 = canvas->redrawX2 = canvas->redrawY2 = 0;
    if (canvas->flags & GCANVAS_UPDATE_SCROLLBARS) {
        gcanvasUpdateScrollbars(canvas);
    }
}

namespace {

/* Brings the back buffer up to date and shows the view: straight from the
 * buffer, or, when floating items are drawn over it, through a pixmap of
 * the view. */
void updateBackBuffer(GcanvasWidget *canvas, bool floating)
{
    Tk_Window tkwin = canvas->tkwin;
    Display *display = canvas->display;
    View v = viewOf(canvas);
    int w = v.width(), h = v.height();
    if (w <= 0 || h <= 0) {
        canvas->fullRedraw = 0;
        return;
    }
    bool sameSize =
        canvas->backBuffer != None && canvas->backX2 - canvas->backX1 == w && canvas->backY2 - canvas->backY1 == h;
    bool wholeView =
        canvas->redrawX1 <= v.x1 && canvas->redrawY1 <= v.y1 && canvas->redrawX2 >= v.x2 && canvas->redrawY2 >= v.y2;
    if (canvas->fullRedraw && wholeView && sameSize) {
        /* Every pixel of the view is rendered anew: in place, with nothing
         * worth keeping from the old contents. */
        canvas->backX1 = v.x1;
        canvas->backY1 = v.y1;
        canvas->backX2 = v.x2;
        canvas->backY2 = v.y2;
        renderInto(canvas, canvas->backBuffer, kMargin, kMargin, v.x1, v.y1, v.x2, v.y2);
    } else if (canvas->fullRedraw && sameSize && canvas->backX1 == v.x1 && canvas->backY1 == v.y1) {
        /* The view stays where the buffer is: only the pending area is
         * rendered anew, into the buffer as it is. */
        gcanvasRenderArea(canvas, kMargin, kMargin, v.x1, v.y1, v.x2, v.y2);
    } else if (canvas->backBuffer == None || canvas->fullRedraw || v.x1 < canvas->backX1 || v.x2 > canvas->backX2 ||
               v.y1 < canvas->backY1 || v.y2 > canvas->backY2) {
        Pixmap fresh = makePixmap(canvas, w + 2 * kMargin, h + 2 * kMargin);
        if (fresh == None) {
            return; /* no memory on the server: nothing drawn this time */
        }
        redrawLog.rebuilds++;
        Pixmap old = canvas->backBuffer;
        int o1 = canvas->backX1, p1 = canvas->backY1, o2 = canvas->backX2, p2 = canvas->backY2;
        canvas->backBuffer = fresh;
        canvas->backX1 = v.x1;
        canvas->backY1 = v.y1;
        canvas->backX2 = v.x2;
        canvas->backY2 = v.y2;
        if (old == None && wholeView) {
            renderInto(canvas, fresh, kMargin, kMargin, v.x1, v.y1, v.x2, v.y2);
        } else if (old == None) {
            gcanvasRenderArea(canvas, kMargin, kMargin, v.x1, v.y1, v.x2, v.y2);
        } else {
            int ox1 = std::max(v.x1, o1), oy1 = std::max(v.y1, p1);
            int ox2 = std::min(v.x2, o2), oy2 = std::min(v.y2, p2);
            if (ox1 >= ox2 || oy1 >= oy2) {
                Tk_FreePixmap(display, old);
                gcanvasRenderArea(canvas, kMargin, kMargin, v.x1, v.y1, v.x2, v.y2);
            } else {
                XCopyArea(display, old, fresh, canvas->pixmapGC, ox1 - o1 + kMargin, oy1 - p1 + kMargin,
                          static_cast<unsigned>(ox2 - ox1), static_cast<unsigned>(oy2 - oy1), ox1 - v.x1 + kMargin,
                          oy1 - v.y1 + kMargin);
                Tk_FreePixmap(display, old);
                if (canvas->fullRedraw) {
                    gcanvasRenderArea(canvas, kMargin, kMargin, ox1, oy1, ox2, oy2);
                }
                if (oy1 > v.y1) {
                    gcanvasRenderArea(canvas, kMargin, kMargin, v.x1, v.y1, v.x2, oy1);
                }
                if (oy2 < v.y2) {
                    gcanvasRenderArea(canvas, kMargin, kMargin, v.x1, oy2, v.x2, v.y2);
                }
                if (v.x1 < ox1) {
                    gcanvasRenderArea(canvas, kMargin, kMargin, v.x1, oy1, ox1, oy2);
                }
                if (v.x2 > ox2) {
                    gcanvasRenderArea(canvas, kMargin, kMargin, ox2, oy1, v.x2, oy2);
                }
            }
        }
    }

    int bx = v.x1 - canvas->backX1 + kMargin, by = v.y1 - canvas->backY1 + kMargin;
    if (!floating) {
        XCopyArea(display, canvas->backBuffer, Tk_WindowId(tkwin), canvas->pixmapGC, bx, by, static_cast<unsigned>(w),
                  static_cast<unsigned>(h), canvas->inset, canvas->inset);
        canvas->fullRedraw = 0;
        return;
    }
    Pixmap view = makePixmap(canvas, w, h);
    if (view == None) {
        return;
    }
    XCopyArea(display, canvas->backBuffer, view, canvas->pixmapGC, bx, by, static_cast<unsigned>(w),
              static_cast<unsigned>(h), 0, 0);
    canvas->drawableXOrigin = v.x1;
    canvas->drawableYOrigin = v.y1;
    for (GcanvasItem *item = canvas->firstItem; item != nullptr; item = item->next) {
        if (item->floating && !gcanvasItemHidden(canvas, item)) {
            item->type->displayProc(canvas, item, display, view, v.x1, v.y1, w, h);
        }
    }
    XCopyArea(display, view, Tk_WindowId(tkwin), canvas->pixmapGC, 0, 0, static_cast<unsigned>(w),
              static_cast<unsigned>(h), canvas->inset, canvas->inset);
    Tk_FreePixmap(display, view);
    canvas->fullRedraw = 0;
}

}  // namespace

void gcanvasRenderArea(GcanvasWidget *canvas, int mx, int my, int x1, int y1, int x2, int y2)
{
    x1 = std::max(x1, canvas->redrawX1);
    y1 = std::max(y1, canvas->redrawY1);
    x2 = std::min(x2, canvas->redrawX2);
    y2 = std::min(y2, canvas->redrawY2);
    if (x1 >= x2 || y1 >= y2) {
        return;
    }
    Display *display = canvas->display;
    int w = x2 - x1, h = y2 - y1;
    Pixmap area = makePixmap(canvas, w + 2 * mx, h + 2 * my);
    if (area == None) {
        return;
    }
    renderInto(canvas, area, mx, my, x1, y1, x2, y2);
    XCopyArea(display, area, canvas->backBuffer, canvas->pixmapGC, mx, my, static_cast<unsigned>(w),
              static_cast<unsigned>(h), x1 - canvas->backX1 + mx, y1 - canvas->backY1 + my);
    Tk_FreePixmap(display, area);
}
