/*
 * canvasint.h --
 *
 *	The geo canvas's modules and what they offer one another: the widget
 *	(widget.cpp), its command (widgetcmd.cpp), item types and items
 *	(items.cpp), redisplay through the back buffer (redisplay.cpp) and
 *	the scroll origin (scroll.cpp).
 */
#ifndef TESK_CANVAS_CANVASINT_H
#define TESK_CANVAS_CANVASINT_H

#include <vector>
#include "canvas/gcanvas.h"

/* ---- widget ---- */

/* The package's module row: Gcanvas_Init where the interpreter has Tk. */
int gcanvasModuleInit(Tcl_Interp *interp);

int gcanvasConfigure(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[], int flags);
void gcanvasWorldChanged(ClientData clientData);
void gcanvasEventProc(ClientData clientData, XEvent *event);
void gcanvasCmdDeleted(ClientData clientData);
void gcanvasDestroy(char *memPtr);
int gcanvasWidgetCmd(ClientData clientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);
extern Tk_ConfigSpec gcanvasConfigSpecs[];

/* ---- item types and items ---- */

/* The item types built in (rectoval.cpp). */
extern GcanvasItemType gcanvasRectangleType;
extern GcanvasItemType gcanvasOvalType;
/* Lines, polygons and arcs (lineitem.cpp, polygonitem.cpp, arcitem.cpp). */
extern GcanvasItemType gcanvasLineType;
extern GcanvasItemType gcanvasPolygonType;
extern GcanvasItemType gcanvasArcType;
/*
 * Fills and/or outlines one closed polygon of count points (polygonitem.cpp):
 * world coordinates taken through the transform, or canvas coordinates
 * when canvasCoords is non-zero, made drawable points. Filled with fillGC
 * (when given and count > 3), outlined with outlineGC (when given).
 * Used for line arrowheads and arc shapes.
 */
void gcanvasFillPolygon(GcanvasWidget *canvas, const double *points, int count, Display *display, Drawable drawable,
                        GC fillGC, GC outlineGC, int canvasCoords);
/* Text and map labels (textitem.cpp, gtextitem.cpp). */
extern GcanvasItemType gcanvasTextType;
extern GcanvasItemType gcanvasGtextType;
/* The object item (objectitem.cpp). */
extern GcanvasItemType gcanvasObjectType;
/* Labelled point symbols (symbolitem.cpp). */
extern GcanvasItemType gcanvasSymbolType;
/* Widgets placed at world points (windowitem.cpp). */
extern GcanvasItemType gcanvasWindowType;
/* Bitmaps and images (bitmapitem.cpp, imageitem.cpp), hit as their boxes
 * are: the distance from a point (0 inside), and a rectangle's test (-1
 * apart, 1 holding the box, 0 otherwise; touching edges are apart). */
extern GcanvasItemType gcanvasBitmapType;
extern GcanvasItemType gcanvasImageType;
double gcanvasBoxToPoint(const GcanvasItem *item, const double *point);
int gcanvasBoxToArea(const GcanvasItem *item, const double *rect);
/* Groups (groupitem.cpp): the top group holding an item whose header names
 * a group (the item itself for a group in the canvas's list; for any other
 * the group's area is redrawn and its boxes computed anew), and the
 * widget's group subcommand. */
extern GcanvasItemType gcanvasGroupType;
GcanvasItem *gcanvasTopGroup(GcanvasItem *item);
int gcanvasGroupCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[]);

/* Builds the type list once. */
void gcanvasInitTypes();
/* The head of the type list (NULL before gcanvasInitTypes). */
GcanvasItemType *gcanvasFirstType();
/* The type a create word names (unique prefix with the same first
 * character), or NULL with "unknown or ambiguous item type" in interp. */
GcanvasItemType *gcanvasTypeForCreate(Tcl_Interp *interp, const char *word);
GcanvasItemType *gcanvasItemTypeByName(GcanvasWidget *canvas, const char *name);
/* create TYPE ARGS: the new id in interp's result. */
int gcanvasCreateItem(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItemType *type, int objc,
                      Tcl_Obj *const objv[]);
GcanvasItem *gcanvasCreateItemFromDesc(GcanvasWidget *canvas, Tcl_Interp *interp, GcanvasItemType *type,
                                       const GcanvasGeometryDesc *desc, const char *tags);
void gcanvasDeleteItem(GcanvasWidget *canvas, GcanvasItem *item);
/* Frees an item's tag array (when grown) and the record, at once or, while
 * a caller holds it with Tcl_Preserve, when it is released. */
void gcanvasFreeItemRecord(GcanvasItem *item);
/*
 * A script that an item runs in the middle of a canvas operation (a
 * magnify request) may delete any item or the canvas. Between
 * gcanvasHoldDeletedItems(1) and (0) (they nest), the records of items
 * deleted stay readable till the next idle time with no hold in force,
 * their procedures doing nothing, so that the loops over items that
 * called out never meet freed memory.
 */
void gcanvasHoldDeletedItems(int hold);
/* The item with that id, or NULL. */
GcanvasItem *gcanvasItemById(GcanvasWidget *canvas, int id);
/* An item is hidden by its own state or by an inherited hidden canvas. */
bool gcanvasItemHidden(const GcanvasWidget *canvas, const GcanvasItem *item);

/* ---- the item index (itemindex.cpp) ---- */

/* Bits of GcanvasItemIndex.flags. */
enum {
    GCANVAS_ROW_HIDDEN = 0x1,    /* hidden by its own state or the canvas's */
    GCANVAS_ROW_DISABLED = 0x2,  /* disabled by its own state or the canvas's */
    GCANVAS_ROW_MANY_TAGS = 0x4, /* more than 3 tags besides "current": read the item's own */
};

/* What the searches read of every item, in display order (lowest first),
 * in contiguous arrays; row i describes items[i]. */
struct GcanvasItemIndex {
    size_t count;                     /* rows: the items of the canvas */
    std::vector<double> boxes;        /* x1 y1 x2 y2 for each row, canvas units */
    std::vector<int> ids;             /* the items' ids */
    std::vector<GcanvasItem *> items; /* the items */
    std::vector<unsigned char> flags; /* GCANVAS_ROW_* */
    std::vector<Tk_Uid> tags;         /* 3 for each row: its first tags other than
                                       * "current", NULL where it has fewer */
};

/* The canvas's index, rebuilt first when GCANVAS_INDEX_STALE is set or it
 * was never built. Valid until the next change that marks it stale. */
const GcanvasItemIndex *gcanvasItemIndex(GcanvasWidget *canvas);
/* Frees the index (destruction). */
void gcanvasFreeItemIndex(GcanvasWidget *canvas);

/* ---- redisplay ---- */

/* Makes sure an idle redisplay is coming (once, however often asked). */
void gcanvasScheduleRedisplay(GcanvasWidget *canvas);
void gcanvasEventuallyRedraw(GcanvasWidget *canvas, double x1, double y1, double x2, double y2, int full);
void gcanvasEventuallyRedrawItem(GcanvasWidget *canvas, GcanvasItem *item);
void gcanvasDisplay(ClientData clientData);
void gcanvasRenderArea(GcanvasWidget *canvas, int mx, int my, int x1, int y1, int x2, int y2);
/* Redraws the whole visible area. */
void gcanvasRedrawView(GcanvasWidget *canvas, int full);
/* Counters of what redisplay did, for tests. */
struct GcanvasRedrawLog {
    long displays;   /* idle redisplays run */
    long renders;    /* areas rendered into the back buffer */
    long rebuilds;   /* back buffers made */
    int lastArea[4]; /* the last area rendered: x1 y1 x2 y2 */
};
GcanvasRedrawLog *gcanvasRedrawLog();

/* ---- scrolling ---- */

double gridAlign(double coord, double spacing);
void scrollFractions(int screen1, int screen2, double object1, double object2, char *out);
void gcanvasUpdateScrollbars(GcanvasWidget *canvas);
void gcanvasSetOrigin(GcanvasWidget *canvas, int xOrigin, int yOrigin);

/* ---- the current item, bindings and focus (bind.cpp) ---- */

/* Picks the item under the pointer of the event (or of the saved pick
 * event): sends Leave to the old current item and Enter to the new one,
 * moves the "current" tag, switches component highlights; while a button
 * is down the current item keeps it. */
void gcanvasPickCurrentItem(GcanvasWidget *canvas, XEvent *event);
/* The topmost item, neither hidden nor disabled, whose point procedure
 * puts point (canvas units) within closeEnough; NULL when none. */
GcanvasItem *gcanvasFindClosest(GcanvasWidget *canvas, const double *point);
/* Runs the bindings of the event's item: the current item, or the focus
 * item for key events. */
void gcanvasDoEvent(GcanvasWidget *canvas, XEvent *event);
/* The Tk event handler of key, button, crossing, motion and virtual
 * events. */
void gcanvasBindProc(ClientData clientData, XEvent *event);
/* Frees the tag expressions kept for bindings (destruction). */
void gcanvasFreeBindTagExprs(GcanvasWidget *canvas);
/* Focus gained (1) or lost (0): redraws the focus item and the ring. */
void gcanvasFocusProc(GcanvasWidget *canvas, int gotFocus);

/* ---- the interaction and output words (bind.cpp, editcmd.cpp,
 * postscript.cpp): objv[0] the widget, objv[1] the word ---- */

int gcanvasBindCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[]);
int gcanvasFocusCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[]);
int gcanvasIcursorCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[]);
int gcanvasIndexCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[]);
int gcanvasInsertCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[]);
int gcanvasDCharsCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[]);
/* Extends the selection from the anchor to index of item, taking
 * PRIMARY when the canvas does not hold it (Tk's canvas rule). */
void gcanvasSelectTo(GcanvasWidget *canvas, GcanvasItem *item, int index);
/* PRIMARY's handler (STRING; Tk adds UTF8_STRING) and its loss. */
int gcanvasFetchSelection(ClientData clientData, int offset, char *buffer, int maxBytes);
void gcanvasLostSelection(ClientData clientData);
int gcanvasSelectCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[]);
/* assemble, vangle, langle (assemble.cpp) */
int gcanvasAssembleCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[]);
int gcanvasVangleCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[]);
int gcanvasLangleCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[]);
/* disassemble (disassemble.cpp) */
int gcanvasDisassembleCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[]);
/* Appends "Invalid object type. Should be" and the shape kind names to the
 * result (widgetcmd.cpp). */
void gcanvasShapeKindError(Tcl_Interp *interp);
int gcanvasPostscriptCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[]);

#endif /* TESK_CANVAS_CANVASINT_H */
