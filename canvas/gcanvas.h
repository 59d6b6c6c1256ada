/*
 * gcanvas.h --
 *
 *	The records of the geo canvas: the widget (GcanvasWidget) with its
 *	world transform, the header every item begins with (GcanvasItem), the
 *	item-type record of 40 slots (GcanvasItemType) and the geometry
 *	description an item can be made from (GcanvasGeometryDesc).
 *
 *	Coordinate spaces: scripts and items keep world coordinates (doubles);
 *	the transform gives canvas coordinates, cx = x * mx - xOffset and
 *	cy = y * my - yOffset, in which bounding boxes, the redraw area, the
 *	scroll region and the back buffer live; window coordinates are canvas
 *	coordinates less the scroll origin; drawable coordinates (16 bits) are
 *	canvas coordinates less the origin of the drawable being drawn.
 */
#ifndef TESK_CANVAS_GCANVAS_H
#define TESK_CANVAS_GCANVAS_H

#include <tk.h>

struct GcanvasItem;
struct GcanvasItemType;
struct GcanvasTagExpr;
struct GcanvasItemIndex;

/* Item states: the item field and the canvas's -state. */
enum {
    GCANVAS_STATE_INHERIT = -1,
    GCANVAS_STATE_ACTIVE = 0,
    GCANVAS_STATE_DISABLED = 1,
    GCANVAS_STATE_NORMAL = 2,
    GCANVAS_STATE_HIDDEN = 3,
};

/* Bits of GcanvasWidget.flags. */
enum {
    GCANVAS_REDRAW_PENDING = 0x1,
    GCANVAS_REDRAW_BORDERS = 0x2,
    GCANVAS_REPICK_NEEDED = 0x4,
    GCANVAS_UPDATE_SCROLLBARS = 0x20,
    GCANVAS_LEFT_GRABBED_ITEM = 0x40,
    GCANVAS_REPICK_IN_PROGRESS = 0x100,
    GCANVAS_BBOX_NOT_EMPTY = 0x200,
    GCANVAS_INDEX_STALE = 0x400, /* the item index is rebuilt before its next use */
};

/* Bits of GcanvasItem.redrawFlags. */
enum {
    GCANVAS_ITEM_STATE_DEPENDANT = 0x1,
    GCANVAS_ITEM_DONT_REDRAW = 0x2,
    GCANVAS_ITEM_REDRAW_REGISTERED = 0x8,
};

/* Bits of GcanvasItemType.alwaysRedraw. */
enum {
    GCANVAS_TYPE_ALWAYS_REDRAW = 0x1,
    GCANVAS_TYPE_USES_OBJS = 0x80,
};

/* Selection, insertion cursor and focus (the current-item machinery keeps
 * them up to date). */
struct GcanvasTextInfo {
    Tk_3DBorder selBorder;       /* -selectbackground */
    int selBorderWidth;          /* -selectborderwidth */
    XColor *selFgColorPtr;       /* -selectforeground */
    GcanvasItem *selItemPtr;     /* item holding the selection, or NULL */
    int selectFirst, selectLast; /* selected indexes; -1 when none */
    GcanvasItem *anchorItemPtr;
    int selectAnchor;
    Tk_3DBorder insertBorder;  /* -insertbackground */
    int insertWidth;           /* -insertwidth */
    int insertBorderWidth;     /* -insertborderwidth */
    GcanvasItem *focusItemPtr; /* item with the keyboard focus, or NULL */
    int gotFocus;              /* the window has the focus */
    int cursorOn;              /* the insertion cursor is shown */
};

struct GcanvasWidget {
    Tk_Window tkwin; /* NULL once the window is destroyed */
    Display *display;
    Tcl_Interp *interp;
    double xOffset, yOffset; /* mx * viewxorigin, my * viewyorigin */
    double mx, my;           /* canvas units per world unit; never 0 */
    double textsizeratio;
    int textsizemin, textsizemax;
    GcanvasItem *firstItem, *lastItem; /* display order, lowest first */
    int nextId;                        /* from 1, never reused */
    int width, height;                 /* requested interior size */
    Tk_BindingTable bindingTable;
    GcanvasItem *currentItem, *newCurrentItem;
    double closeEnough; /* canvas units */
    XEvent pickEvent;
    int modifierState;
    Tcl_Command widgetCmd;
    int borderWidth;
    Tk_3DBorder bgBorder;
    int relief;
    int highlightWidth; /* >= 0 */
    XColor *highlightBgColor, *highlightColor;
    int inset;                                  /* borderWidth + highlightWidth */
    GC pixmapGC;                                /* copies and background fills */
    int redrawX1, redrawY1, redrawX2, redrawY2; /* pending area, canvas units */
    int confine;
    int updatecomponent;
    int fullRedraw;                     /* the pending redraw re-renders the buffer */
    int backX1, backY1, backX2, backY2; /* area the back buffer holds */
    Pixmap backBuffer;                  /* None when there is none */
    GcanvasTextInfo textInfo;
    int insertOnTime, insertOffTime;
    Tcl_TimerToken insertBlinkHandler;
    int xOrigin, yOrigin;                 /* scroll origin */
    int drawableXOrigin, drawableYOrigin; /* top-left of the drawable being drawn */
    double viewxorigin, viewyorigin;
    char *xScrollCommand, *yScrollCommand;
    double scrollX1, scrollY1, scrollX2, scrollY2; /* canvas units; all 0: none */
    char *scrollRegion;                            /* -scrollregion as given, world units */
    int xScrollIncrement, yScrollIncrement;
    int graphicsMode;
    int scanX, scanXOrigin, scanY, scanYOrigin;
    GcanvasItem *hotItem, *hotPrevItem;
    Tk_Cursor cursor;
    char *takeFocus;
    double pixelsPerMM;
    int flags;
    void *psInfo;            /* PostScript state while it runs */
    Tcl_HashTable idTable;   /* id -> item */
    Tcl_HashTable nameTable; /* group name -> item */
    int canvasState;         /* GCANVAS_STATE_NORMAL or _DISABLED */
    Tk_TSOffset tsoffset;    /* -offset: stipple and tile origin */
    GcanvasTagExpr *bindTagExprs;
    GcanvasItemIndex *itemIndex; /* the searches' arrays (itemindex.cpp), or NULL */
};

/* Every change of an item's box, state, tags (other than "current") or
 * place in the display order, and of the canvas's state or transform,
 * goes through here: the item index is rebuilt before its next use. */
inline void gcanvasMarkIndexStale(GcanvasWidget *canvas)
{
    canvas->flags |= GCANVAS_INDEX_STALE;
}

struct GcanvasItem {
    int id;
    GcanvasItem *next;
    Tk_Uid staticTagSpace[3];
    Tk_Uid *tags; /* staticTagSpace until it grows */
    int tagSpace;
    int numTags;
    GcanvasItemType *type;
    double x1, y1, x2, y2; /* bounding box, canvas units */
    float xPad, yPad;      /* margin the box includes on each side */
    /* What every walk over the items reads lies within the first 128
     * bytes, so that a walk touches as few cache lines per item as it can. */
    int state; /* GCANVAS_STATE_* */
    int redrawFlags;
    GcanvasItem *group; /* owning group item, or NULL */
    int floating;       /* canvas coordinates, drawn over the view */
    int scalable;
    GcanvasItem *prev;
};

/* The geometry and style of one vector record, for createFromDescProc. */
struct GcanvasGeometryDesc {
    int count;            /* parts */
    const double *points; /* world (x, y) pairs, all parts */
    const int *partCounts;
    const void *style; /* a GcanvasDescStyle (outline.h): the source's outline record */
    XColor *fillColor, *activeFillColor, *disabledFillColor;
};

typedef int GcanvasCreateProc(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int objc,
                              Tcl_Obj *const objv[]);
typedef int GcanvasConfigureProc(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int objc,
                                 Tcl_Obj *const objv[], int flags);
typedef int GcanvasCoordProc(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int objc,
                             Tcl_Obj *const objv[]);
typedef void GcanvasDeleteProc(GcanvasWidget *canvas, GcanvasItem *item, Display *display);
typedef void GcanvasDisplayProc(GcanvasWidget *canvas, GcanvasItem *item, Display *display, Drawable drawable, int x,
                                int y, int width, int height);
typedef double GcanvasPointProc(GcanvasWidget *canvas, GcanvasItem *item, double *point);
typedef int GcanvasAreaProc(GcanvasWidget *canvas, GcanvasItem *item, double *rect);
typedef int GcanvasPostscriptProc(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int prepass);
typedef void GcanvasScaleProc(GcanvasWidget *canvas, GcanvasItem *item, double originX, double originY, double scaleX,
                              double scaleY);
typedef void GcanvasTranslateProc(GcanvasWidget *canvas, GcanvasItem *item, double deltaX, double deltaY);
/* The least and greatest x and y (world units) among the coordinates the
 * item keeps and its scale and translate procedures change, into box as
 * x1, y1, x2, y2; 0 when it keeps none (box untouched). Those procedures
 * map each coordinate c to (c - origin) * scale + origin or c + delta,
 * which never decrease or never increase with c, so a move or scale keeps
 * every coordinate finite exactly when it keeps these four finite. */
typedef int GcanvasExtentProc(GcanvasItem *item, double *box);
typedef int GcanvasIndexProc(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, Tcl_Obj *index,
                             int *indexPtr);
typedef void GcanvasIcursorProc(GcanvasWidget *canvas, GcanvasItem *item, int index);
typedef int GcanvasSelectionProc(GcanvasWidget *canvas, GcanvasItem *item, int offset, char *buffer, int maxBytes);
typedef void GcanvasInsertProc(GcanvasWidget *canvas, GcanvasItem *item, int beforeThis, Tcl_Obj *string);
typedef void GcanvasDCharsProc(GcanvasWidget *canvas, GcanvasItem *item, int first, int last);
typedef void GcanvasBBoxProc(GcanvasWidget *canvas, GcanvasItem *item);
typedef int GcanvasItemCmdProc(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int objc,
                               Tcl_Obj *const objv[]);
typedef int GcanvasCreateFromDescProc(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item,
                                      const GcanvasGeometryDesc *desc);
/* Splits an item into plain items; a Tcl code, with the error in interp. */
typedef int GcanvasDisassembleProc(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item);
typedef double *GcanvasGetCoordsProc(GcanvasItem *item, int *count);
typedef int *GcanvasGetPartsProc(GcanvasItem *item, int *count);
typedef int GcanvasGetComponentProc(GcanvasItem *item);
typedef void GcanvasHighlightComponentProc(GcanvasWidget *canvas, GcanvasItem *item, int on);
typedef double GcanvasMeasureProc(GcanvasWidget *canvas, GcanvasItem *item);
typedef double GcanvasCentroidProc(GcanvasWidget *canvas, GcanvasItem *item, double *x, double *y);
typedef double GcanvasVertexAngleProc(GcanvasWidget *canvas, GcanvasItem *item, int vertex);
typedef double GcanvasLineAngleProc(GcanvasWidget *canvas, GcanvasItem *item, double index, double *x, double *y);

/* An item type: one static record per type, its 40 slots in order. */
struct GcanvasItemType {
    const char *name;                                        /* 0 */
    int itemSize;                                            /* 1 */
    GcanvasCreateProc *createProc;                           /* 2 */
    Tk_ConfigSpec *configSpecs;                              /* 3 */
    GcanvasConfigureProc *configProc;                        /* 4 */
    GcanvasCoordProc *coordProc;                             /* 5 */
    GcanvasDeleteProc *deleteProc;                           /* 6 */
    GcanvasDisplayProc *displayProc;                         /* 7 */
    int alwaysRedraw;                                        /* 8 */
    GcanvasPointProc *pointProc;                             /* 9 */
    GcanvasAreaProc *areaProc;                               /* 10 */
    GcanvasPostscriptProc *postscriptProc;                   /* 11 */
    GcanvasScaleProc *scaleProc;                             /* 12 */
    GcanvasTranslateProc *translateProc;                     /* 13 */
    GcanvasIndexProc *indexProc;                             /* 14 */
    GcanvasIcursorProc *icursorProc;                         /* 15 */
    GcanvasSelectionProc *selectionProc;                     /* 16 */
    GcanvasInsertProc *insertProc;                           /* 17 */
    GcanvasDCharsProc *dCharsProc;                           /* 18 */
    GcanvasBBoxProc *bboxProc;                               /* 19 */
    GcanvasItemCmdProc *itemCmdProc;                         /* 20 */
    GcanvasItemCmdProc *namedCmdProc;                        /* 21 */
    GcanvasItemType *nextPtr;                                /* 22 */
    GcanvasCreateFromDescProc *createFromDescProc;           /* 23 */
    GcanvasDisassembleProc *disassembleProc;                 /* 24 */
    GcanvasGetCoordsProc *getCoordsProc;                     /* 25 */
    GcanvasGetPartsProc *getPartsProc;                       /* 26 */
    GcanvasExtentProc *extentProc;                           /* 27 */
    void *reserved28;                                        /* 28 */
    GcanvasGetComponentProc *getComponentProc;               /* 29 */
    GcanvasHighlightComponentProc *highlightComponentProc;   /* 30 */
    GcanvasMeasureProc *areaMeasureProc;                     /* 31 */
    GcanvasMeasureProc *lengthProc;                          /* 32 */
    GcanvasCentroidProc *centroidProc;                       /* 33 */
    GcanvasVertexAngleProc *vertexAngleProc;                 /* 34 */
    GcanvasLineAngleProc *lineAngleProc;                     /* 35 */
    void *reserved36, *reserved37, *reserved38, *reserved39; /* 36..39 */
};

#endif /* TESK_CANVAS_GCANVAS_H */
