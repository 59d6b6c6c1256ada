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
/* The object item (objectitem.cpp). */
extern GcanvasItemType gcanvasObjectType;

/* Builds the type list once. */
void gcanvasInitTypes();
/* The head of the type list (NULL before gcanvasInitTypes). */
GcanvasItemType *gcanvasFirstType();
/* The type a create word names (unique prefix with the same first
 * character), or NULL with "unknown or ambiguous item type" in interp, or,
 * for a type not built into this library, "WIDGET create TYPE is not
 * available in this build". */
GcanvasItemType *gcanvasTypeForCreate(Tcl_Interp *interp, const char *widget, const char *word);
GcanvasItemType *gcanvasItemTypeByName(GcanvasWidget *canvas, const char *name);
/* create TYPE ARGS: the new id in interp's result. */
int gcanvasCreateItem(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItemType *type, int objc,
                      Tcl_Obj *const objv[]);
GcanvasItem *gcanvasCreateItemFromDesc(GcanvasWidget *canvas, Tcl_Interp *interp, GcanvasItemType *type,
                                       const GcanvasGeometryDesc *desc, const char *tags);
void gcanvasDeleteItem(GcanvasWidget *canvas, GcanvasItem *item);
/* Frees an item's tag array (when grown) and the record. */
void gcanvasFreeItemRecord(GcanvasItem *item);
/* The item with that id, or NULL. */
GcanvasItem *gcanvasItemById(GcanvasWidget *canvas, int id);
/* An item is hidden by its own state or by an inherited hidden canvas. */
bool gcanvasItemHidden(const GcanvasWidget *canvas, const GcanvasItem *item);

/* ---- redisplay ---- */

void gcanvasEventuallyRedraw(GcanvasWidget *canvas, double x1, double y1, double x2, double y2, int full);
void gcanvasEventuallyRedrawItem(GcanvasWidget *canvas, GcanvasItem *item);
void gcanvasDisplay(ClientData clientData);
void gcanvasUpdateBackBuffer(GcanvasWidget *canvas);
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

/* ---- hooks of the interaction machinery (current item, focus) ---- */

void gcanvasPickCurrentItem(GcanvasWidget *canvas, XEvent *event);
void gcanvasFocusProc(GcanvasWidget *canvas, int gotFocus);

/* ---- the interaction and output words (bind.cpp, editcmd.cpp,
 * postscript.cpp): objv[0] the widget, objv[1] the word ---- */

int gcanvasBindCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[]);
int gcanvasFocusCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[]);
int gcanvasIcursorCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[]);
int gcanvasIndexCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[]);
int gcanvasInsertCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[]);
int gcanvasDCharsCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[]);
int gcanvasSelectCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[]);
int gcanvasPostscriptCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[]);

#endif /* TESK_CANVAS_CANVASINT_H */
