/*
 * symbolitem.cpp --
 *
 *	The symbol item of the geo canvas: a set of world points, each drawn
 *	as a marker of a fixed pixel size (oval, rectangle, diamond,
 *	crosshair or handle) with an optional centre marker and the same
 *	label beside it. The label is the text item's record (textitem.h):
 *	laid out, edited, selected and drawn as that item's text is, once for
 *	every point. Its points become POINT records through assemble and
 *	are made from them through disassemble; the point under the pointer
 *	is its component, drawn in -highlightcolor.
 */
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include "canvas/canvasint.h"
#include "canvas/coords.h"
#include "canvas/geometry.h"
#include "canvas/itemopts.h"
#include "canvas/outline.h"
#include "canvas/postscript.h"
#include "canvas/textitem.h"
#include "tesk.h"

namespace {

enum { SYM_OVAL, SYM_RECTANGLE, SYM_DIAMOND, SYM_CROSSHAIR, SYM_HANDLE };
enum { MARK_POINT, MARK_CROSS };

/* Marker sizes past this would not fit the 16-bit drawing requests. */
constexpr int kMaxMarkerSize = 16383;
/* Pixels between a marker's side and its label. */
constexpr double kLabelGap = 2.0;

struct SymbolItem {
    /* The header, then the label: its text, font, colours, stipples,
     * -anchor (the marker's side it sits on), -textwidth (width), layout
     * and GCs. x and y are the point being drawn or written. */
    GcanvasTextItem label;
    double *coords; /* 2 * numPoints world values (gmemAlloc); NULL when none */
    int numPoints;
    /* The label's box as offsets from a point's canvas position. */
    double labelX1, labelX2, labelY1, labelY2;
    int cursorMargin;       /* pixels the insertion cursor and selection reach past the label */
    int symboltype;         /* SYM_* */
    int markertype;         /* MARK_* */
    int xparam, yparam;     /* marker width and height, pixels, 0..kMaxMarkerSize */
    int handleDx, handleDy; /* end of the handle line from the point, pixels */
    XColor *symbolColor;    /* -symbolcolor: the marker's fill; NULL: none */
    GC symbolGC;
    XColor *markerColor; /* -markercolor: the centre marker; NULL: none */
    GC markerGC;
    GcanvasOutline outline;         /* the marker's pen */
    GcanvasPartHighlight highlight; /* the point drawn in highlightColor */
    int nearest;                    /* point nearest the last point query, -1: none */
    XColor *highlightColor;         /* -highlightcolor; NULL: none */
    GC highlightGC;
};

SymbolItem *asSymbol(GcanvasItem *item)
{
    return reinterpret_cast<SymbolItem *>(item);
}

#define SY_OPT(field) Tk_Offset(SymbolItem, field)

Tk_CustomOption *const kDash = const_cast<Tk_CustomOption *>(&gcanvasDashOption);

Tk_ConfigSpec configSpecs[] = {
    {TK_CONFIG_CUSTOM, "-activedash", nullptr, nullptr, nullptr, SY_OPT(outline.activeDash), TK_CONFIG_NULL_OK, kDash},
    {TK_CONFIG_COLOR, "-activeoutline", nullptr, nullptr, nullptr, SY_OPT(outline.activeColor), TK_CONFIG_NULL_OK,
     nullptr},
    {TK_CONFIG_BITMAP, "-activeoutlinestipple", nullptr, nullptr, nullptr, SY_OPT(outline.activeStipple),
     TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_CUSTOM, "-activewidth", nullptr, nullptr, "0.0", SY_OPT(outline.activeWidth),
     TK_CONFIG_DONT_SET_DEFAULT, &gcanvasPixelOption},
    {TK_CONFIG_CUSTOM, "-dash", nullptr, nullptr, nullptr, SY_OPT(outline.dash), TK_CONFIG_NULL_OK, kDash},
    {TK_CONFIG_PIXELS, "-dashoffset", nullptr, nullptr, "0", SY_OPT(outline.offset), TK_CONFIG_DONT_SET_DEFAULT,
     nullptr},
    {TK_CONFIG_CUSTOM, "-disableddash", nullptr, nullptr, nullptr, SY_OPT(outline.disabledDash), TK_CONFIG_NULL_OK,
     kDash},
    {TK_CONFIG_COLOR, "-disabledoutline", nullptr, nullptr, nullptr, SY_OPT(outline.disabledColor),
     TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_BITMAP, "-disabledoutlinestipple", nullptr, nullptr, nullptr, SY_OPT(outline.disabledStipple),
     TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_CUSTOM, "-disabledwidth", nullptr, nullptr, "0.0", SY_OPT(outline.disabledWidth),
     TK_CONFIG_DONT_SET_DEFAULT, &gcanvasPixelOption},
    {TK_CONFIG_COLOR, "-background", "background", "Background", nullptr, SY_OPT(outline.background),
     TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_SYNONYM, "-bg", "background", nullptr, nullptr, 0, 0, nullptr},
    {TK_CONFIG_COLOR, "-outline", nullptr, nullptr, "red", SY_OPT(outline.color), TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_CUSTOM, "-outlineoffset", nullptr, nullptr, "0,0", SY_OPT(outline.tsoffset),
     TK_CONFIG_DONT_SET_DEFAULT, &gcanvasOffsetOption},
    {TK_CONFIG_BITMAP, "-outlinestipple", nullptr, nullptr, nullptr, SY_OPT(outline.stipple), TK_CONFIG_NULL_OK,
     nullptr},
    {TK_CONFIG_CUSTOM, "-width", nullptr, nullptr, "1.0", SY_OPT(outline.width), TK_CONFIG_DONT_SET_DEFAULT,
     &gcanvasPixelOption},
    {TK_CONFIG_CUSTOM, "-symboltype", nullptr, nullptr, "oval", SY_OPT(symboltype), TK_CONFIG_DONT_SET_DEFAULT,
     &gcanvasSymbolTypeOption},
    {TK_CONFIG_COLOR, "-symbolcolor", nullptr, nullptr, "", SY_OPT(symbolColor), TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_CUSTOM, "-markertype", nullptr, nullptr, "point", SY_OPT(markertype), TK_CONFIG_DONT_SET_DEFAULT,
     &gcanvasMarkerTypeOption},
    {TK_CONFIG_COLOR, "-markercolor", nullptr, nullptr, "red", SY_OPT(markerColor), TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_COLOR, "-activefill", nullptr, nullptr, nullptr, SY_OPT(label.activeColor), TK_CONFIG_NULL_OK,
     nullptr},
    {TK_CONFIG_BITMAP, "-activestipple", nullptr, nullptr, nullptr, SY_OPT(label.activeStipple), TK_CONFIG_NULL_OK,
     nullptr},
    {TK_CONFIG_ANCHOR, "-anchor", nullptr, nullptr, "center", SY_OPT(label.anchor), TK_CONFIG_DONT_SET_DEFAULT,
     nullptr},
    {TK_CONFIG_COLOR, "-disabledfill", nullptr, nullptr, nullptr, SY_OPT(label.disabledColor), TK_CONFIG_NULL_OK,
     nullptr},
    {TK_CONFIG_BITMAP, "-disabledstipple", nullptr, nullptr, nullptr, SY_OPT(label.disabledStipple),
     TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_COLOR, "-fill", nullptr, nullptr, "black", SY_OPT(label.color), TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_INT, "-floating", nullptr, nullptr, "0", SY_OPT(label.header.floating), 0, nullptr},
    {TK_CONFIG_FONT, "-font", nullptr, nullptr, "{MS Sans Serif} 8", SY_OPT(label.tkfont), 0, nullptr},
    {TK_CONFIG_COLOR, "-highlightcolor", nullptr, nullptr, "yellow", SY_OPT(highlightColor), TK_CONFIG_NULL_OK,
     nullptr},
    {TK_CONFIG_JUSTIFY, "-justify", nullptr, nullptr, "left", SY_OPT(label.justify), TK_CONFIG_DONT_SET_DEFAULT,
     nullptr},
    {TK_CONFIG_CUSTOM, "-offset", nullptr, nullptr, "0,0", SY_OPT(label.tsoffset), TK_CONFIG_DONT_SET_DEFAULT,
     &gcanvasOffsetOption},
    {TK_CONFIG_INT, "-scalable", nullptr, nullptr, "0", SY_OPT(label.header.scalable), 0, nullptr},
    {TK_CONFIG_CUSTOM, "-state", nullptr, nullptr, nullptr, SY_OPT(label.header.state), TK_CONFIG_NULL_OK,
     &gcanvasItemStateOption},
    {TK_CONFIG_BITMAP, "-stipple", nullptr, nullptr, nullptr, SY_OPT(label.stipple), TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_CUSTOM, "-tags", nullptr, nullptr, nullptr, 0, TK_CONFIG_NULL_OK,
     const_cast<Tk_CustomOption *>(&gcanvasTagsOption)},
    {TK_CONFIG_STRING, "-text", nullptr, nullptr, "", SY_OPT(label.edit.text), 0, nullptr},
    {TK_CONFIG_PIXELS, "-textwidth", nullptr, nullptr, "0", SY_OPT(label.width), TK_CONFIG_DONT_SET_DEFAULT, nullptr},
    {TK_CONFIG_PIXELS, "-xparam", nullptr, nullptr, "10", SY_OPT(xparam), TK_CONFIG_DONT_SET_DEFAULT, nullptr},
    {TK_CONFIG_PIXELS, "-yparam", nullptr, nullptr, "10", SY_OPT(yparam), TK_CONFIG_DONT_SET_DEFAULT, nullptr},
    {TK_CONFIG_END, nullptr, nullptr, nullptr, nullptr, 0, 0, nullptr},
};

#undef SY_OPT

/* The canvas position of point i. */
void canvasPointOf(const GcanvasWidget *canvas, const SymbolItem *s, int i, double *cx, double *cy)
{
    *cx = s->coords[2 * i] * canvas->mx - canvas->xOffset;
    *cy = s->coords[2 * i + 1] * canvas->my - canvas->yOffset;
}

/* Points the label at point i: its corner at the point's label box. */
void placeLabel(SymbolItem *s, int i)
{
    GcanvasTextItem *t = &s->label;
    t->x = s->coords[2 * i];
    t->y = s->coords[2 * i + 1];
    t->corner[0] = s->labelX1;
    t->corner[1] = s->labelY1;
    t->leftEdge = 0;
    t->rightEdge = gcanvasTruncToInt(s->labelX2 - s->labelX1);
}

bool labelShown(const GcanvasWidget *canvas, SymbolItem *s)
{
    const GcanvasTextItem *t = &s->label;
    return t->layout != nullptr && t->color != nullptr && t->edit.numChars > 0 &&
           !gcanvasItemHidden(canvas, &t->header);
}

/* How far the marker, with its pen, reaches from a point. */
void markerReach(const GcanvasWidget *canvas, SymbolItem *s, double *rx, double *ry)
{
    double pen = s->outline.gc != nullptr ? gcanvasChosenWidth(canvas, &s->label.header, s->outline) / 2 : 0;
    *rx = s->xparam * 0.5 + pen + 1;
    *ry = s->yparam * 0.5 + pen + 1;
}

/* ---- the box and the label's place ---- */

/* Makes the label's layout at the size the canvas's scales call for:
 * a size outside -textsizemin..-textsizemax is held to it, so that a
 * label never vanishes. Answers 0 when there is no label. */
int makeLabelLayout(GcanvasWidget *canvas, SymbolItem *s, int *w, int *h)
{
    GcanvasTextItem *t = &s->label;
    GcanvasTextScale scale = gcanvasTextScale(canvas, t->header.scalable, t->attrs.size, 0);
    scale.size = std::clamp(scale.size, canvas->textsizemin, std::max(canvas->textsizemin, canvas->textsizemax));
    *w = *h = 0;
    return gcanvasTextLayoutAt(canvas, t, scale, 0, 0, 0, w, h);
}

/* A stipple offset given by a side of the marker: left/centre/right and
 * top/middle/bottom set the offset from half the marker's size. */
void anchorOutlineOffset(Tk_TSOffset *offset, double hx, double hy)
{
    int flags = offset->flags;
    if ((flags & TK_OFFSET_INDEX) != 0) {
        return;
    }
    if ((flags & TK_OFFSET_LEFT) != 0) {
        offset->xoffset = -roundToInt(hx);
    } else if ((flags & TK_OFFSET_CENTER) != 0) {
        offset->xoffset = 0;
    } else if ((flags & TK_OFFSET_RIGHT) != 0) {
        offset->xoffset = roundToInt(hx);
    }
    if ((flags & TK_OFFSET_TOP) != 0) {
        offset->yoffset = -roundToInt(hy);
    } else if ((flags & TK_OFFSET_MIDDLE) != 0) {
        offset->yoffset = 0;
    } else if ((flags & TK_OFFSET_BOTTOM) != 0) {
        offset->yoffset = roundToInt(hy);
    }
}

/*
 * The label beside each marker on the side -anchor names (2 pixels off
 * the marker), the handle's end on that side, and the item's box: the
 * points' box in canvas units widened by the markers with their pen and
 * by the label's box with its cursor margin. No points: an empty box.
 */
void symbolBbox(GcanvasWidget *canvas, GcanvasItem *item)
{
    SymbolItem *s = asSymbol(item);
    GcanvasTextItem *t = &s->label;
    gcanvasMarkIndexStale(canvas);
    double hx = s->xparam * 0.5, hy = s->yparam * 0.5;
    int w, h;
    bool labelled = makeLabelLayout(canvas, s, &w, &h) != 0;
    if (gcanvasItemHidden(canvas, item) || t->color == nullptr) {
        w = h = 0;
    }
    anchorOutlineOffset(&s->outline.tsoffset, hx, hy);

    double tx, ty;
    switch (t->anchor) {
    case TK_ANCHOR_N:
    case TK_ANCHOR_NE:
    case TK_ANCHOR_NW:
        ty = -(h + hy + kLabelGap);
        s->handleDy = -static_cast<int>(hy);
        break;
    case TK_ANCHOR_SE:
    case TK_ANCHOR_S:
    case TK_ANCHOR_SW:
        ty = hy + kLabelGap;
        s->handleDy = static_cast<int>(hy);
        break;
    default:
        ty = -h * 0.5;
        s->handleDy = 0;
        break;
    }
    switch (t->anchor) {
    case TK_ANCHOR_NE:
    case TK_ANCHOR_E:
    case TK_ANCHOR_SE:
        tx = hx + kLabelGap;
        s->handleDx = static_cast<int>(hx);
        break;
    case TK_ANCHOR_SW:
    case TK_ANCHOR_W:
    case TK_ANCHOR_NW:
        tx = -(w + hx + kLabelGap);
        s->handleDx = -static_cast<int>(hx);
        break;
    default:
        tx = -(w / 2);
        s->handleDx = 0;
        break;
    }
    int m = 0;
    if (!labelled) {
        tx = ty = 0;
        w = h = 0;
    } else {
        m = gcanvasTextMargin(t->textInfo);
    }
    s->labelX1 = tx;
    s->labelX2 = tx + w;
    s->labelY1 = ty;
    s->labelY2 = ty + h;
    s->cursorMargin = m;

    if (s->numPoints == 0) {
        item->x1 = item->y1 = item->x2 = item->y2 = -1;
        item->xPad = item->yPad = 0;
        return;
    }
    double box[4], c[4];
    pointsBBox(s->coords, s->numPoints, box);
    worldRectToCanvas(canvas, box[0], box[1], box[2], box[3], c);
    double pen = gcanvasChosenWidth(canvas, item, s->outline);
    double mx = 1.0 + pen + m, my = 1.0 + pen;
    double rx, ry;
    markerReach(canvas, s, &rx, &ry);
    item->x1 = std::min(c[0] + tx - mx, c[0] - rx);
    item->y1 = std::min(c[1] + ty - my, c[1] - ry);
    item->x2 = std::max(c[2] + tx + w + mx, c[2] + rx);
    item->y2 = std::max(c[3] + ty + h + my, c[3] + ry);
    item->xPad = static_cast<float>(mx);
    item->yPad = static_cast<float>(my);
}

/* ---- coordinates ---- */

/* The redraw of point p's marker (the highlight's); numbers that name
 * no point are let be. */
void redrawLitPoint(GcanvasWidget *canvas, GcanvasItem *item, int p)
{
    SymbolItem *s = asSymbol(item);
    if (p < 0 || p >= s->numPoints) {
        return;
    }
    double cx, cy, rx, ry;
    canvasPointOf(canvas, s, p, &cx, &cy);
    markerReach(canvas, s, &rx, &ry);
    gcanvasEventuallyRedraw(canvas, cx - rx, cy - ry, cx + rx, cy + ry, 1);
}

/* Takes a new point array (ownership passes); the highlight and the
 * nearest point are forgotten. */
void setPoints(GcanvasWidget *canvas, SymbolItem *s, double *coords, int numPoints)
{
    gmemFree(s->coords);
    s->coords = coords;
    s->numPoints = numPoints;
    gcanvasCancelPartHighlight(&s->highlight);
    s->highlight.lit = -1;
    s->nearest = -1;
    symbolBbox(canvas, &s->label.header);
}

/*
 * No words: the flat list of the points. Else the words, or the elements
 * of a single list word, are an even number of coordinates that replace
 * the points; an odd count, a bad number or no memory leaves them.
 */
int symbolCoords(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int objc, Tcl_Obj *const objv[])
{
    SymbolItem *s = asSymbol(item);
    if (objc == 0) {
        Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
        for (int i = 0; i < 2 * s->numPoints; i++) {
            Tcl_ListObjAppendElement(nullptr, list, Tcl_NewDoubleObj(gcanvasPlainZero(s->coords[i])));
        }
        Tcl_SetObjResult(interp, list);
        return TCL_OK;
    }
    int count = objc;
    Tcl_Obj *const *words = objv;
    Tcl_Obj **elements = nullptr;
    if (objc == 1) {
        if (Tcl_ListObjGetElements(interp, objv[0], &count, &elements) != TCL_OK) {
            return TCL_ERROR;
        }
        words = elements;
    }
    if (count % 2 != 0) {
        Tcl_SetObjResult(interp,
                         Tcl_ObjPrintf("wrong # coordinates: expected even number of coordates, got %d", count));
        return TCL_ERROR;
    }
    std::vector<double> values(static_cast<size_t>(count));
    for (int i = 0; i < count; i++) {
        if (gcanvasGetCoordFromObj(interp, canvas, words[i], &values[static_cast<size_t>(i)]) != TCL_OK) {
            return TCL_ERROR;
        }
    }
    double *coords = nullptr;
    if (count > 0) {
        coords = static_cast<double *>(gmemAlloc(sizeof(double) * static_cast<size_t>(count)));
        if (coords == nullptr) {
            Tcl_SetObjResult(interp, Tcl_NewStringObj("Error in symbol coordinates: out of memory", -1));
            return TCL_ERROR;
        }
        std::copy(values.begin(), values.end(), coords);
    }
    setPoints(canvas, s, coords, count / 2);
    return TCL_OK;
}

/* ---- create, configure, delete ---- */

/* A GC of one colour (and the values extraMask names), or none. */
GC colourGC(GcanvasWidget *canvas, GC old, XColor *colour, XGCValues *values, unsigned long extraMask)
{
    GC gc = nullptr;
    if (colour != nullptr) {
        values->foreground = colour->pixel;
        gc = gcanvasGetGC(canvas->tkwin, GCForeground | extraMask, values);
    }
    gcanvasFreeGC(canvas->display, old);
    return gc;
}

/* The pens after the options changed: the label's GCs, the marker's
 * outline (projecting caps), fill, centre and highlight GCs. */
void makePens(Tcl_Interp *interp, GcanvasWidget *canvas, SymbolItem *s)
{
    GcanvasItem *item = &s->label.header;
    const GcanvasOutline &o = s->outline;
    bool stateDependant = o.activeWidth > o.width || o.activeDash.number != 0 || o.activeColor != nullptr ||
                          o.activeStipple != None || s->label.activeColor != nullptr ||
                          s->label.activeStipple != None;
    if (stateDependant) {
        item->redrawFlags |= GCANVAS_ITEM_STATE_DEPENDANT;
    } else {
        item->redrawFlags &= ~GCANVAS_ITEM_STATE_DEPENDANT;
    }
    gcanvasTextUpdate(interp, canvas, &s->label);

    XGCValues values;
    unsigned long mask = gcanvasConfigOutlineGC(&values, canvas, item, &s->outline);
    GC gc = nullptr;
    if (mask != 0 && s->outline.width != 0 && s->outline.color != nullptr) {
        values.cap_style = CapProjecting;
        gc = gcanvasGetGC(canvas->tkwin, mask | GCCapStyle, &values);
    }
    gcanvasFreeGC(canvas->display, s->outline.gc);
    s->outline.gc = gc;

    s->symbolGC = colourGC(canvas, s->symbolGC, s->symbolColor, &values, 0);
    s->markerGC = colourGC(canvas, s->markerGC, s->markerColor, &values, 0);
    values.line_width = gcanvasTruncToInt(std::max(gcanvasChosenWidth(canvas, item, s->outline), 1.0) + 0.5);
    s->highlightGC = colourGC(canvas, s->highlightGC, s->highlightColor, &values, GCLineWidth);
}

/* Options, then the pens and the box; these are remade even when an
 * option fails, so that the record always agrees with its options. */
int symbolConfigure(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int objc, Tcl_Obj *const objv[],
                    int flags)
{
    SymbolItem *s = asSymbol(item);
    int code = gcanvasConfigureRecord(interp, canvas, configSpecs, s, objc, objv, flags);
    s->xparam = std::clamp(s->xparam, 0, kMaxMarkerSize);
    s->yparam = std::clamp(s->yparam, 0, kMaxMarkerSize);
    makePens(interp, canvas, s);
    symbolBbox(canvas, item);
    return code;
}

void symbolDelete(GcanvasWidget *, GcanvasItem *item, Display *display)
{
    SymbolItem *s = asSymbol(item);
    gcanvasCancelPartHighlight(&s->highlight);
    gcanvasDeleteOutline(display, &s->outline);
    gmemFree(s->coords);
    s->coords = nullptr;
    s->numPoints = 0;
    for (GC *gc : {&s->symbolGC, &s->markerGC, &s->highlightGC}) {
        gcanvasFreeGC(display, *gc);
        *gc = nullptr;
    }
    /* The label's and the rest of the table's options. */
    gcanvasTextFree(display, &s->label);
}

/* The record's starting values (the header and the rest are zeroed). */
void initSymbol(GcanvasWidget *canvas, SymbolItem *s)
{
    GcanvasTextItem *t = &s->label;
    t->textInfo = gcanvasGetTextInfo(canvas);
    t->anchor = TK_ANCHOR_CENTER;
    t->justify = TK_JUSTIFY_LEFT;
    t->fontStale = 1;
    gcanvasCreateOutline(&s->outline);
    s->xparam = s->yparam = 10;
    s->nearest = -1;
    gcanvasInitPartHighlight(&s->highlight, canvas, &t->header, redrawLitPoint);
}

/* create symbol ?x y ...? ?option value ...?: the words before the first
 * option are the points. */
int symbolCreate(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int objc, Tcl_Obj *const objv[])
{
    initSymbol(canvas, asSymbol(item));
    int coords = 0;
    while (coords < objc && !gcanvasIsOptionWord(objv[coords])) {
        coords++;
    }
    if ((coords > 0 && symbolCoords(interp, canvas, item, coords, objv) != TCL_OK) ||
        symbolConfigure(interp, canvas, item, objc - coords, objv + coords, 0) != TCL_OK) {
        symbolDelete(canvas, item, canvas->display);
        return TCL_ERROR;
    }
    return TCL_OK;
}

/* Replaces a colour field by a new reference to colour (none for NULL). */
void takeColour(Tcl_Interp *interp, GcanvasWidget *canvas, XColor **field, XColor *colour)
{
    if (*field != nullptr) {
        Tk_FreeColor(*field);
    }
    *field = copyTkColor(interp, canvas->tkwin, colour);
}

/*
 * An item from a record's description: the defaults, then its points
 * (every part's, one after another) and, with a style, the outline width
 * and colours, and the fill colour as -symbolcolor (and as -markercolor
 * when that has none).
 */
int symbolCreateFromDesc(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, const GcanvasGeometryDesc *desc)
{
    SymbolItem *s = asSymbol(item);
    initSymbol(canvas, s);
    if (symbolConfigure(interp, canvas, item, 0, nullptr, 0) != TCL_OK) {
        symbolDelete(canvas, item, canvas->display);
        return TCL_ERROR;
    }
    if (desc == nullptr) {
        return TCL_OK;
    }
    long total = desc->points != nullptr && desc->count > 0 ? desc->count : 0;
    if (total > 0 && desc->partCounts != nullptr) {
        total = 0;
        for (int p = 0; p < desc->count; p++) {
            total += std::max(desc->partCounts[p], 0);
        }
    }
    if (total > 0) {
        auto *coords = static_cast<double *>(gmemAlloc(sizeof(double) * 2 * static_cast<size_t>(total)));
        if (coords == nullptr || total > INT_MAX / 2) {
            gmemFree(coords);
            symbolDelete(canvas, item, canvas->display);
            Tcl_SetObjResult(interp, Tcl_NewStringObj("Error in symbol description: out of memory", -1));
            return TCL_ERROR;
        }
        std::copy(desc->points, desc->points + 2 * total, coords);
        setPoints(canvas, s, coords, static_cast<int>(total));
    }
    if (desc->style != nullptr) {
        const auto *style = static_cast<const GcanvasDescStyle *>(desc->style);
        s->outline.width = style->outline.width;
        if (style->outline.color != nullptr) {
            takeColour(interp, canvas, &s->outline.color, style->outline.color);
        }
        if (style->outline.activeColor != nullptr) {
            takeColour(interp, canvas, &s->outline.activeColor, style->outline.activeColor);
        }
        if (desc->fillColor != nullptr) {
            takeColour(interp, canvas, &s->symbolColor, desc->fillColor);
            if (s->markerColor == nullptr) {
                takeColour(interp, canvas, &s->markerColor, desc->fillColor);
            }
        }
        if (symbolConfigure(interp, canvas, item, 0, nullptr, TK_CONFIG_ARGV_ONLY) != TCL_OK) {
            symbolDelete(canvas, item, canvas->display);
            return TCL_ERROR;
        }
    }
    return TCL_OK;
}

/* ---- display ---- */

/* Draws the marker of the point at drawable (x, y). */
void drawMarker(Display *display, Drawable drawable, SymbolItem *s, int x, int y, bool lit)
{
    GC fill = lit && s->highlightGC != nullptr ? s->highlightGC : s->symbolGC;
    GC line = s->outline.gc;
    int w = s->xparam, h = s->yparam;
    int left = x - w / 2, top = y - h / 2;
    switch (s->symboltype) {
    case SYM_OVAL:
        if (fill != nullptr) {
            XFillArc(display, drawable, fill, left, top, static_cast<unsigned>(w), static_cast<unsigned>(h), 0,
                     360 * 64);
        }
        if (line != nullptr) {
            XDrawArc(display, drawable, line, left, top, static_cast<unsigned>(w), static_cast<unsigned>(h), 0,
                     360 * 64);
        }
        break;
    case SYM_RECTANGLE:
        if (fill != nullptr) {
            XFillRectangle(display, drawable, fill, left, top, static_cast<unsigned>(w), static_cast<unsigned>(h));
        }
        if (line != nullptr) {
            XDrawRectangle(display, drawable, line, left, top, static_cast<unsigned>(w), static_cast<unsigned>(h));
        }
        break;
    case SYM_DIAMOND:
    case SYM_CROSSHAIR: {
        auto pt = [](int px, int py) { return XPoint{static_cast<short>(px), static_cast<short>(py)}; };
        XPoint diamond[] = {pt(x, top), pt(left, y), pt(x, top + h), pt(left + w, y), pt(x, top)};
        XPoint cross[] = {pt(x + 1, top),     pt(x + 1, y - 1),     pt(x + w / 2, y - 1), pt(x + w / 2, y + 1),
                          pt(x + 1, y + 1),   pt(x + 1, top + h),   pt(x - 1, top + h),   pt(x - 1, y + 1),
                          pt(left, y + 1),    pt(left, y - 1),      pt(x - 1, y - 1),     pt(x - 1, top),
                          pt(x + 1, top)};
        bool isDiamond = s->symboltype == SYM_DIAMOND;
        XPoint *shape = isDiamond ? diamond : cross;
        int n = isDiamond ? 5 : 13;
        if (fill != nullptr) {
            XFillPolygon(display, drawable, fill, shape, n, isDiamond ? Convex : Nonconvex, CoordModeOrigin);
        }
        if (line != nullptr) {
            XDrawLines(display, drawable, line, shape, n, CoordModeOrigin);
        }
        break;
    }
    default: /* a handle: a line towards the label */
        if (line != nullptr) {
            XDrawLine(display, drawable, lit && s->highlightGC != nullptr ? s->highlightGC : line, x, y,
                      x + s->handleDx, y + s->handleDy);
        }
        break;
    }
    if (s->markerGC == nullptr) {
        return;
    }
    if (s->markertype == MARK_POINT) {
        XDrawRectangle(display, drawable, s->markerGC, x, y, 1, 1);
    } else {
        XDrawLine(display, drawable, s->markerGC, left + 1, y, left + w - 1, y);
        XDrawLine(display, drawable, s->markerGC, x, top + 1, x, top + h - 1);
    }
}

/* Every point whose marker or label meets the area (x, y, width,
 * height; canvas units): its label, then its marker. */
void symbolDisplay(GcanvasWidget *canvas, GcanvasItem *item, Display *display, Drawable drawable, int x, int y,
                   int width, int height)
{
    SymbolItem *s = asSymbol(item);
    if (drawable == None || s->numPoints == 0) {
        return;
    }
    double rx, ry;
    markerReach(canvas, s, &rx, &ry);
    int m = s->cursorMargin;
    const double reach[4] = {std::min(-rx, s->labelX1 - m), std::min(-ry, s->labelY1),
                             std::max(rx, s->labelX2 + m), std::max(ry, s->labelY2)};
    bool label = s->label.gc != nullptr && s->label.layout != nullptr;
    if (s->outline.gc != nullptr) {
        gcanvasChangeOutlineGC(canvas, item, &s->outline);
    }
    for (int i = 0; i < s->numPoints; i++) {
        double cx, cy;
        canvasPointOf(canvas, s, i, &cx, &cy);
        if (cx + reach[0] > x + width || cx + reach[2] < x || cy + reach[1] > y + height || cy + reach[3] < y) {
            continue;
        }
        if (label) {
            placeLabel(s, i);
            gcanvasTextDraw(canvas, &s->label, display, drawable, canvas->textInfo.insertWidth / 2);
        }
        drawMarker(display, drawable, s, gcanvasDrawableCoord(canvas->drawableXOrigin, cx),
                   gcanvasDrawableCoord(canvas->drawableYOrigin, cy), i == s->highlight.lit);
    }
    if (s->outline.gc != nullptr) {
        gcanvasResetOutlineGC(canvas, item, &s->outline);
    }
}

/* ---- point and area ---- */

/*
 * The least distance from point to a marker (an oval of the marker's
 * size, filled when it has a fill), a handle line (when drawn) or a
 * label; the points are tried from the topmost, and the search stops
 * below the close-enough distance. The point found becomes nearest.
 */
double symbolToPoint(GcanvasWidget *canvas, GcanvasItem *item, double *point)
{
    SymbolItem *s = asSymbol(item);
    s->nearest = -1;
    double hx = s->xparam * 0.5, hy = s->yparam * 0.5;
    bool labelled = labelShown(canvas, s);
    bool handle = s->symboltype == SYM_HANDLE && s->outline.gc != nullptr;
    double pen = gcanvasChosenWidth(canvas, item, s->outline);
    double best = HUGE_VAL;
    for (int i = s->numPoints - 1; i >= 0; i--) {
        double cx, cy;
        canvasPointOf(canvas, s, i, &cx, &cy);
        const double box[4] = {cx - hx, cy - hy, cx + hx, cy + hy};
        double d = ovalToPointScaled(1, 1, box, 0, s->symbolGC != nullptr, point);
        if (handle) {
            const double line[4] = {cx, cy, cx + s->handleDx, cy + s->handleDy};
            d = std::min(d, thickPolylineToPoint(line, 2, pen, CapProjecting, JoinMiter, point));
        }
        if (labelled) {
            d = std::min(d, double(rotatedLayoutDistance(s->label.layout, roundToInt(point[0] - (cx + s->labelX1)),
                                                         roundToInt(point[1] - (cy + s->labelY1)))));
        }
        if (d < best) {
            best = d;
            s->nearest = i;
            if (best < canvas->closeEnough) {
                break;
            }
        }
    }
    return best;
}

/* 1 when the whole item lies in rect, -1 when no marker or label touches
 * it, else 0. */
int symbolToArea(GcanvasWidget *canvas, GcanvasItem *item, double *rect)
{
    SymbolItem *s = asSymbol(item);
    if (s->numPoints == 0) {
        return -1;
    }
    const double whole[4] = {item->x1, item->y1, item->x2, item->y2};
    int result = rectToRect(whole, rect);
    if (result != 0 || s->numPoints == 1) {
        return result;
    }
    double hx = s->xparam * 0.5, hy = s->yparam * 0.5;
    bool labelled = labelShown(canvas, s);
    int rw = roundToInt(rect[2] - rect[0]), rh = roundToInt(rect[3] - rect[1]);
    for (int i = 0; i < s->numPoints; i++) {
        double cx, cy;
        canvasPointOf(canvas, s, i, &cx, &cy);
        const double box[4] = {cx - hx, cy - hy, cx + hx, cy + hy};
        if (rectToRect(box, rect) != -1) {
            return 0;
        }
        if (labelled && rotatedLayoutIntersect(s->label.layout, roundToInt(rect[0] - (cx + s->labelX1)),
                                               roundToInt(rect[1] - (cy + s->labelY1)), rw, rh) != -1) {
            return 0;
        }
    }
    return -1;
}

/* ---- scale, translate ---- */

void symbolScale(GcanvasWidget *canvas, GcanvasItem *item, double originX, double originY, double scaleX,
                 double scaleY)
{
    SymbolItem *s = asSymbol(item);
    for (int i = 0; i < s->numPoints; i++) {
        s->coords[2 * i] = (s->coords[2 * i] - originX) * scaleX + originX;
        s->coords[2 * i + 1] = (s->coords[2 * i + 1] - originY) * scaleY + originY;
    }
    symbolBbox(canvas, item);
}

void symbolTranslate(GcanvasWidget *canvas, GcanvasItem *item, double dx, double dy)
{
    SymbolItem *s = asSymbol(item);
    translatePoints(s->coords, dx, dy, s->numPoints);
    symbolBbox(canvas, item);
}

int symbolExtent(GcanvasItem *item, double *box)
{
    SymbolItem *s = asSymbol(item);
    if (s->coords == nullptr || s->numPoints == 0) {
        return 0;
    }
    pointsBBox(s->coords, s->numPoints, box);
    return 1;
}

/* ---- the label's editing, selection and index words ---- */

/* "@x,y" (window position plus the scroll origin) is read against the
 * label of the point nearest the last point query, or of the first. */
int symbolIndex(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, Tcl_Obj *word, int *index)
{
    SymbolItem *s = asSymbol(item);
    GcanvasTextItem *t = &s->label;
    double px, py;
    int code = gcanvasTextIndex(interp, t->textInfo, item, &t->edit, word, index, &px, &py);
    if (code != GCANVAS_INDEX_AT) {
        return code;
    }
    *index = 0;
    if (t->layout != nullptr && s->numPoints > 0) {
        int p = s->nearest >= 0 && s->nearest < s->numPoints ? s->nearest : 0;
        double cx, cy;
        canvasPointOf(canvas, s, p, &cx, &cy);
        *index = rotatedLayoutPointToChar(t->layout, roundToInt(px + canvas->xOrigin - (cx + s->labelX1)),
                                          roundToInt(py + canvas->yOrigin - (cy + s->labelY1)));
    }
    return TCL_OK;
}

void symbolSetCursor(GcanvasWidget *, GcanvasItem *item, int index)
{
    gcanvasTextSetCursor(&asSymbol(item)->label.edit, index);
}

int symbolGetSelection(GcanvasWidget *, GcanvasItem *item, int offset, char *buffer, int maxBytes)
{
    GcanvasTextItem *t = &asSymbol(item)->label;
    return gcanvasTextSelection(t->textInfo, &t->edit, offset, buffer, maxBytes);
}

void symbolInsert(GcanvasWidget *canvas, GcanvasItem *item, int beforeThis, Tcl_Obj *string)
{
    GcanvasTextItem *t = &asSymbol(item)->label;
    if (gcanvasTextInsert(t->textInfo, item, &t->edit, beforeThis, string)) {
        symbolBbox(canvas, item);
    }
}

void symbolDeleteChars(GcanvasWidget *canvas, GcanvasItem *item, int first, int last)
{
    GcanvasTextItem *t = &asSymbol(item)->label;
    if (gcanvasTextDelete(t->textInfo, item, &t->edit, first, last)) {
        symbolBbox(canvas, item);
    }
}

/* ---- PostScript ---- */

/* Appends the path of point (cx, cy)'s marker shape, canvas units. */
void markerPath(std::string &ps, GcanvasWidget *canvas, const SymbolItem *s, double cx, double cy)
{
    double w = s->xparam, h = s->yparam, left = cx - w / 2, top = cy - h / 2;
    std::vector<double> points;
    switch (s->symboltype) {
    case SYM_OVAL: {
        char text[200];
        std::snprintf(text, sizeof text,
                      "matrix currentmatrix\n%.15g %.15g translate %.15g %.15g scale 1 0 moveto 0 0 1 0 360 arc\n"
                      "setmatrix\n",
                      cx, gcanvasPsY(canvas, cy), w / 2, h / 2);
        ps += text;
        return;
    }
    case SYM_RECTANGLE:
        points = {left, top, left + w, top, left + w, top + h, left, top + h, left, top};
        break;
    case SYM_DIAMOND: points = {cx, top, left, cy, cx, top + h, left + w, cy, cx, top}; break;
    case SYM_CROSSHAIR:
        points = {cx + 1,     top,    cx + 1,     cy - 1,     cx + w / 2, cy - 1, cx + w / 2, cy + 1, cx + 1,
                  cy + 1,     cx + 1, top + h,    cx - 1,     top + h,    cx - 1, cy + 1,     left,   cy + 1,
                  left,       cy - 1, cx - 1,     cy - 1,     cx - 1,     top,    cx + 1,     top};
        break;
    default: points = {cx, cy, cx + s->handleDx, cy + s->handleDy}; break;
    }
    for (size_t i = 0; i < points.size(); i += 2) {
        char text[80];
        std::snprintf(text, sizeof text, "%.15g %.15g %s\n", points[i], gcanvasPsY(canvas, points[i + 1]),
                      i == 0 ? "moveto" : "lineto");
        ps += text;
    }
    if (s->symboltype != SYM_HANDLE) {
        ps += "closepath\n";
    }
}

/* The marker of the point at (cx, cy): its fill, outline and centre
 * marker, in its own graphics state. */
int markerPostscript(Tcl_Interp *interp, GcanvasWidget *canvas, SymbolItem *s, double cx, double cy)
{
    GcanvasItem *item = &s->label.header;
    std::string path;
    markerPath(path, canvas, s, cx, cy);
    if (s->symbolColor != nullptr && s->symboltype != SYM_HANDLE) {
        Tcl_AppendResult(interp, "gsave\n", path.c_str(), nullptr);
        if (gcanvasPsColor(interp, canvas, s->symbolColor) != TCL_OK) {
            return TCL_ERROR;
        }
        Tcl_AppendResult(interp, "fill\ngrestore\n", nullptr);
    }
    if (s->outline.gc != nullptr) {
        Tcl_AppendResult(interp, "gsave\n", path.c_str(), "0 setlinejoin 2 setlinecap\n", nullptr);
        if (gcanvasPsOutline(canvas, item, &s->outline) != TCL_OK) {
            return TCL_ERROR;
        }
        Tcl_AppendResult(interp, "grestore\n", nullptr);
    }
    if (s->markerColor == nullptr) {
        return TCL_OK;
    }
    char text[300];
    double y = gcanvasPsY(canvas, cy), w = s->xparam, h = s->yparam;
    if (s->markertype == MARK_POINT) {
        std::snprintf(text, sizeof text, "gsave\n%.15g %.15g moveto 2 0 rlineto 0 -2 rlineto -2 0 rlineto closepath\n",
                      cx, y);
    } else {
        std::snprintf(text, sizeof text,
                      "gsave\n1 setlinewidth [] 0 setdash\n%.15g %.15g moveto %.15g 0 rlineto\n"
                      "%.15g %.15g moveto 0 %.15g rlineto\n",
                      cx - w / 2 + 1, y, w - 2, cx, y + h / 2 - 1, 2 - h);
    }
    Tcl_AppendResult(interp, text, nullptr);
    if (gcanvasPsColor(interp, canvas, s->markerColor) != TCL_OK) {
        return TCL_ERROR;
    }
    Tcl_AppendResult(interp, s->markertype == MARK_POINT ? "fill\ngrestore\n" : "stroke\ngrestore\n", nullptr);
    return TCL_OK;
}

/* Every point's label, set at its top-left corner as drawn, and its
 * marker. */
int symbolToPostscript(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int prepass)
{
    SymbolItem *s = asSymbol(item);
    GcanvasTextItem *t = &s->label;
    if (s->numPoints == 0 || gcanvasItemHidden(canvas, item)) {
        return TCL_OK;
    }
    bool label = labelShown(canvas, s);
    if (prepass) {
        return label ? gcanvasTextPostscript(interp, canvas, t, 1, 0) : TCL_OK;
    }
    Tk_Anchor anchor = t->anchor;
    int code = TCL_OK;
    for (int i = 0; i < s->numPoints && code == TCL_OK; i++) {
        double cx, cy;
        canvasPointOf(canvas, s, i, &cx, &cy);
        if (label) {
            /* The text item writes its text at its world point by its
             * anchor: the world point of the label's bottom-left corner,
             * sw. The page sets lines by the box of the font's glyphs,
             * which meets the screen's line box at the bottom (the
             * descenders) and not at the top (the ascent above the
             * capitals): anchored at the top, a label would print
             * several pixels below where it is drawn. */
            t->anchor = TK_ANCHOR_SW;
            t->x = (cx + s->labelX1 + canvas->xOffset) / canvas->mx;
            t->y = (cy + s->labelY2 + canvas->yOffset) / canvas->my;
            Tcl_AppendResult(interp, "gsave\n", nullptr);
            code = gcanvasTextPostscript(interp, canvas, t, 0, 0);
            Tcl_AppendResult(interp, "grestore\n", nullptr);
            t->anchor = anchor;
        }
        if (code == TCL_OK) {
            code = markerPostscript(interp, canvas, s, cx, cy);
        }
    }
    return code;
}

/* ---- what assemble and the component search read ---- */

double *symbolGetCoords(GcanvasItem *item, int *count)
{
    SymbolItem *s = asSymbol(item);
    *count = s->numPoints;
    return s->coords;
}

/* No part array: every point is one. */
int *symbolGetParts(GcanvasItem *item, int *count)
{
    *count = asSymbol(item)->numPoints;
    return nullptr;
}

int symbolGetComponent(GcanvasItem *item)
{
    return asSymbol(item)->nearest;
}

void symbolHighlight(GcanvasWidget *, GcanvasItem *item, int on)
{
    SymbolItem *s = asSymbol(item);
    int p = s->nearest;
    gcanvasSwitchPartHighlight(&s->highlight, on, p >= 0 && p < s->numPoints ? p : -1);
}

GcanvasItemType makeSymbolType()
{
    GcanvasItemType t;
    std::memset(&t, 0, sizeof t);
    t.name = "symbol";
    t.itemSize = sizeof(SymbolItem);
    t.createProc = symbolCreate;
    t.configSpecs = configSpecs;
    t.configProc = symbolConfigure;
    t.coordProc = symbolCoords;
    t.deleteProc = symbolDelete;
    t.displayProc = symbolDisplay;
    t.alwaysRedraw = GCANVAS_TYPE_USES_OBJS;
    t.pointProc = symbolToPoint;
    t.areaProc = symbolToArea;
    t.postscriptProc = symbolToPostscript;
    t.scaleProc = symbolScale;
    t.translateProc = symbolTranslate;
    t.extentProc = symbolExtent;
    t.indexProc = symbolIndex;
    t.icursorProc = symbolSetCursor;
    t.selectionProc = symbolGetSelection;
    t.insertProc = symbolInsert;
    t.dCharsProc = symbolDeleteChars;
    t.bboxProc = symbolBbox;
    t.createFromDescProc = symbolCreateFromDesc;
    t.getCoordsProc = symbolGetCoords;
    t.getPartsProc = symbolGetParts;
    t.getComponentProc = symbolGetComponent;
    t.highlightComponentProc = symbolHighlight;
    return t;
}

}  // namespace

GcanvasItemType gcanvasSymbolType = makeSymbolType();
