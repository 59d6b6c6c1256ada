/*
 * itemopts.h --
 *
 *	Option kinds the canvas's option tables share: screen distances kept
 *	as doubles, stipple offsets (relative forms allowed) and item states;
 *	and the items' own graphics contexts.
 */
#ifndef TESK_CANVAS_ITEMOPTS_H
#define TESK_CANVAS_ITEMOPTS_H

#include <cstring>
#include <initializer_list>
#include <vector>

#include <tk.h>

#include "canvas/gcanvas.h"
#include "canvas/outline.h"

/* The print procedure of custom options kept as a double: the value as
 * Tcl prints it, -0 as 0. */
const char *gcanvasDoublePrint(ClientData, Tk_Window, char *record, int offset, Tcl_FreeProc **freeProc);
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

/* -symboltype and -markertype: an int naming one of "oval", "rectangle",
 * "diamond", "crosshair", "handle" (0..4), or of "point", "cross" (0..1).
 * A leading part of a name (its first letter picks it) is read; empty is
 * the first name; a bad value is reported and the field falls back to the
 * first name. Printed as the name, or "unknown". */
extern Tk_CustomOption gcanvasSymbolTypeOption;
extern Tk_CustomOption gcanvasMarkerTypeOption;

/*
 * The graphics contexts of items come from the canvas's own cache, never
 * from Tk's (which other widgets share): drawing changes their stipple
 * origin and dashes and puts them back. Items with equal values share a
 * GC. NULL when the server refuses one; gcanvasFreeGC takes NULL.
 */
GC gcanvasGetGC(Tk_Window tkwin, unsigned long mask, XGCValues *values);
void gcanvasFreeGC(Display *display, GC gc);

/* Tk_ConfigureWidget over an item record from the words of a script. */
int gcanvasConfigureRecord(Tcl_Interp *interp, GcanvasWidget *canvas, Tk_ConfigSpec *specs, void *record, int objc,
                           Tcl_Obj *const objv[], int flags);

/*
 * The highlighted part of a many-part item (a line's parts, a polygon's
 * rings). The canvas switches the highlight off and on again at every
 * motion within the item: "off" only remembers the part (an idle check
 * redraws it when no "on" follows), and "on" redraws only when the part
 * changed.
 */
struct GcanvasPartHighlight {
    GcanvasWidget *canvas; /* the owner, for the idle check */
    GcanvasItem *item;
    /* Redraws the area of a part; ignores numbers that name no part. */
    void (*redraw)(GcanvasWidget *canvas, GcanvasItem *item, int part);
    int lit;          /* part drawn highlighted, -1: none */
    int unlit;        /* part switched off, its redraw still owed, -1: none */
    int checkPending; /* an idle check of unlit is scheduled */
};

void gcanvasInitPartHighlight(GcanvasPartHighlight *h, GcanvasWidget *canvas, GcanvasItem *item,
                              void (*redraw)(GcanvasWidget *, GcanvasItem *, int));
/* Highlight off, or on for pointerPart (-1: none). */
void gcanvasSwitchPartHighlight(GcanvasPartHighlight *h, int on, int pointerPart);
/* Cancels the idle check and forgets the owed redraw (the item goes). */
void gcanvasCancelPartHighlight(GcanvasPartHighlight *h);

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
 * The rest of this file serves the records of filled, outlined items
 * (rectangles, ovals, arcs, polygons): each has a GcanvasItem header, an
 * outline, a fill stipple origin tsoffset, the fill colours fillColor,
 * activeFillColor and disabledFillColor, the fill stipples fillStipple,
 * activeFillStipple and disabledFillStipple, and fillGC.
 */

/* The fill colour and the fill stipple for the item's present state. */
template <typename Record>
XColor *gcanvasChosenFillColor(const GcanvasWidget *canvas, const Record *r)
{
    return gcanvasChosen<XColor *>(canvas, &r->header, r->fillColor, r->activeFillColor, r->disabledFillColor, nullptr);
}

template <typename Record>
Pixmap gcanvasChosenFillStipple(const GcanvasWidget *canvas, const Record *r)
{
    return gcanvasChosen<Pixmap>(canvas, &r->header, r->fillStipple, r->activeFillStipple, r->disabledFillStipple,
                                 None);
}

/* Marks the item for redraw on entering and leaving when any of its
 * active options would change what it shows. */
template <typename Record>
void gcanvasMarkFilledStateDependant(Record *r)
{
    const GcanvasOutline &o = r->outline;
    bool stateDependant = o.activeWidth > o.width || o.activeDash.number != 0 || o.activeColor != nullptr ||
                          o.activeStipple != None || r->activeFillColor != nullptr || r->activeFillStipple != None;
    if (stateDependant) {
        r->header.redrawFlags |= GCANVAS_ITEM_STATE_DEPENDANT;
    } else {
        r->header.redrawFlags &= ~GCANVAS_ITEM_STATE_DEPENDANT;
    }
}

/*
 * Replaces fillGC by one for the present fill colour and stipple; none
 * without a colour or when wanted is false. The fields of values that
 * extraMask names (set by the caller) go into the GC too.
 */
template <typename Record>
void gcanvasSetFillGC(GcanvasWidget *canvas, Record *r, XGCValues *values, unsigned long extraMask = 0,
                      bool wanted = true)
{
    XColor *colour = gcanvasChosenFillColor(canvas, r);
    Pixmap stipple = gcanvasChosenFillStipple(canvas, r);
    GC fill = nullptr;
    if (wanted && colour != nullptr) {
        values->foreground = colour->pixel;
        unsigned long mask = GCForeground | extraMask;
        if (stipple != None) {
            values->stipple = stipple;
            values->fill_style = FillStippled;
            mask |= GCStipple | GCFillStyle;
        }
        fill = gcanvasGetGC(canvas->tkwin, mask, values);
    }
    gcanvasFreeGC(canvas->display, r->fillGC);
    r->fillGC = fill;
}

/* The starting values of a record's outline, stipple origin, fill
 * colours, fill stipples and fillGC: none set. */
template <typename Record>
void gcanvasInitFilledShape(Record *r)
{
    gcanvasCreateOutline(&r->outline);
    std::memset(&r->tsoffset, 0, sizeof r->tsoffset);
    r->fillColor = r->activeFillColor = r->disabledFillColor = nullptr;
    r->fillStipple = r->activeFillStipple = r->disabledFillStipple = None;
    r->fillGC = nullptr;
}

/*
 * The option table of a filled, outlined item: the rows of the active and
 * disabled variants and of the dashes (-activedash to -disabledwidth, in
 * this order), then the given rows, then the end.
 */
template <typename Record>
std::vector<Tk_ConfigSpec> gcanvasFilledShapeSpecs(std::initializer_list<Tk_ConfigSpec> rest)
{
    Tk_CustomOption *dash = const_cast<Tk_CustomOption *>(&gcanvasDashOption);
    std::vector<Tk_ConfigSpec> specs = {
        {TK_CONFIG_CUSTOM, "-activedash", nullptr, nullptr, nullptr, Tk_Offset(Record, outline.activeDash),
         TK_CONFIG_NULL_OK, dash},
        {TK_CONFIG_COLOR, "-activefill", nullptr, nullptr, nullptr, Tk_Offset(Record, activeFillColor),
         TK_CONFIG_NULL_OK, nullptr},
        {TK_CONFIG_COLOR, "-activeoutline", nullptr, nullptr, nullptr, Tk_Offset(Record, outline.activeColor),
         TK_CONFIG_NULL_OK, nullptr},
        {TK_CONFIG_BITMAP, "-activeoutlinestipple", nullptr, nullptr, nullptr, Tk_Offset(Record, outline.activeStipple),
         TK_CONFIG_NULL_OK, nullptr},
        {TK_CONFIG_BITMAP, "-activestipple", nullptr, nullptr, nullptr, Tk_Offset(Record, activeFillStipple),
         TK_CONFIG_NULL_OK, nullptr},
        {TK_CONFIG_CUSTOM, "-activewidth", nullptr, nullptr, "0.0", Tk_Offset(Record, outline.activeWidth),
         TK_CONFIG_DONT_SET_DEFAULT, &gcanvasPixelOption},
        {TK_CONFIG_CUSTOM, "-dash", nullptr, nullptr, nullptr, Tk_Offset(Record, outline.dash), TK_CONFIG_NULL_OK,
         dash},
        {TK_CONFIG_PIXELS, "-dashoffset", nullptr, nullptr, "0", Tk_Offset(Record, outline.offset),
         TK_CONFIG_DONT_SET_DEFAULT, nullptr},
        {TK_CONFIG_CUSTOM, "-disableddash", nullptr, nullptr, nullptr, Tk_Offset(Record, outline.disabledDash),
         TK_CONFIG_NULL_OK, dash},
        {TK_CONFIG_COLOR, "-disabledfill", nullptr, nullptr, nullptr, Tk_Offset(Record, disabledFillColor),
         TK_CONFIG_NULL_OK, nullptr},
        {TK_CONFIG_COLOR, "-disabledoutline", nullptr, nullptr, nullptr, Tk_Offset(Record, outline.disabledColor),
         TK_CONFIG_NULL_OK, nullptr},
        {TK_CONFIG_BITMAP, "-disabledoutlinestipple", nullptr, nullptr, nullptr,
         Tk_Offset(Record, outline.disabledStipple), TK_CONFIG_NULL_OK, nullptr},
        {TK_CONFIG_BITMAP, "-disabledstipple", nullptr, nullptr, nullptr, Tk_Offset(Record, disabledFillStipple),
         TK_CONFIG_NULL_OK, nullptr},
        {TK_CONFIG_CUSTOM, "-disabledwidth", nullptr, nullptr, "0.0", Tk_Offset(Record, outline.disabledWidth),
         TK_CONFIG_DONT_SET_DEFAULT, &gcanvasPixelOption},
    };
    specs.insert(specs.end(), rest);
    specs.push_back({TK_CONFIG_END, nullptr, nullptr, nullptr, nullptr, 0, 0, nullptr});
    return specs;
}

/*
 * The number of leading words of "create" that are the coordinates of an
 * item given by two corners: 4, or 1 when they come as one list. -1 with
 * the usage message in the interpreter when the words are too few.
 */
int gcanvasCornerCoordWords(Tcl_Interp *interp, const GcanvasWidget *canvas, const GcanvasItem *item, int objc,
                            Tcl_Obj *const objv[]);

/*
 * The same for an item given by one point: 2, or 1 when the point comes
 * as one list (the only word, or one followed by an option word); -1 with
 * "wrong # args: should be "PATH create TYPE x y ?options?"" when the
 * words are too few.
 */
int gcanvasPointCoordWords(Tcl_Interp *interp, const GcanvasWidget *canvas, const GcanvasItem *item, int objc,
                           Tcl_Obj *const objv[]);
/*
 * Reads the point of a one-point item from its coordinate words: a list
 * of 2 (else "wrong # coordinates: expected 2, got N") or two words (any
 * other count: "wrong # coordinates: expected 0 or 2, got N"). *x, *y are
 * left alone on failure.
 */
int gcanvasReadPointCoords(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[], double *x,
                           double *y);

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
