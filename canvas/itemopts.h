/*
 * itemopts.h --
 *
 *	Option kinds the canvas's option tables share: screen distances kept
 *	as doubles, stipple offsets (relative forms allowed) and item states;
 *	and the items' own graphics contexts.
 */
#ifndef TESK_CANVAS_ITEMOPTS_H
#define TESK_CANVAS_ITEMOPTS_H

#include <tk.h>

#include "canvas/gcanvas.h"
#include "canvas/outline.h"

/* A double of canvas pixels read as a screen distance ("2", "1m"). */
extern Tk_CustomOption gcanvasPixelOption;
/* A Tk_TSOffset through Tk's own offset procedures. */
extern Tk_CustomOption gcanvasOffsetOption;
/* Shared by the line and polygon items: the same, the index form ("end",
 * a coordinate index) allowed too. */
extern Tk_CustomOption gcanvasIndexOffsetOption;
/* An item state: "active", "disabled", "hidden", "normal", or empty for
 * inherit (-1). */
extern Tk_CustomOption gcanvasItemStateOption;

/*
 * The graphics contexts of items come from the canvas's own cache, never
 * from Tk's (which other widgets share): drawing changes their stipple
 * origin and dashes and puts them back. Items with equal values share a
 * GC. NULL when the server refuses one; gcanvasFreeGC takes NULL.
 */
GC gcanvasGetGC(Tk_Window tkwin, unsigned long mask, XGCValues *values);
void gcanvasFreeGC(Display *display, GC gc);

/* The state an item shows: its own, or the canvas's when it inherits. */
inline int gcanvasItemState(const GcanvasWidget *canvas, const GcanvasItem *item)
{
    return item->state == GCANVAS_STATE_INHERIT ? canvas->canvasState : item->state;
}

/* The variant of an option for the item's present state: the active one
 * under the pointer, the disabled one when disabled (each when set, that
 * is not none), else the plain one. */
template <typename T>
T gcanvasChosen(const GcanvasWidget *canvas, const GcanvasItem *item, T plain, T active, T disabled, T none)
{
    if (canvas->currentItem == item && active != none) {
        return active;
    }
    if (gcanvasItemState(canvas, item) == GCANVAS_STATE_DISABLED && disabled != none) {
        return disabled;
    }
    return plain;
}

/* The outline width (pixels) for the item's present state: the active one
 * when wider, the disabled one when above 0. */
inline double gcanvasChosenWidth(const GcanvasWidget *canvas, const GcanvasItem *item, const GcanvasOutline &line)
{
    if (canvas->currentItem == item && line.activeWidth > line.width) {
        return line.activeWidth;
    }
    if (gcanvasItemState(canvas, item) == GCANVAS_STATE_DISABLED && line.disabledWidth > 0) {
        return line.disabledWidth;
    }
    return line.width;
}

/*
 * Frees what a filled, outlined item record holds: its outline, the fill
 * colours (fillColor, activeFillColor, disabledFillColor), the fill
 * stipples (fillStipple, activeFillStipple, disabledFillStipple) and
 * fillGC, leaving each field none.
 */
template <typename Record>
void gcanvasFreeFilledShape(Display *display, Record *r)
{
    gcanvasDeleteOutline(display, &r->outline);
    for (XColor **c : {&r->fillColor, &r->activeFillColor, &r->disabledFillColor}) {
        if (*c != nullptr) {
            Tk_FreeColor(*c);
            *c = nullptr;
        }
    }
    for (Pixmap *p : {&r->fillStipple, &r->activeFillStipple, &r->disabledFillStipple}) {
        if (*p != None) {
            Tk_FreeBitmap(display, *p);
            *p = None;
        }
    }
    gcanvasFreeGC(display, r->fillGC);
    r->fillGC = nullptr;
}

#endif /* TESK_CANVAS_ITEMOPTS_H */
