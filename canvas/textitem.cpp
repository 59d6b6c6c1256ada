/*
 * textitem.cpp --
 *
 *	The text item of the geo canvas, and what the gtext item shares with
 *	it (textitem.h): a block of text anchored at a world point, laid out
 *	in a rotated font at the size the canvas's scales call for, edited,
 *	selected and drawn as Tk's canvas text is.
 */
#include "canvas/textitem.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include "canvas/canvasint.h"
#include "canvas/coords.h"
#include "canvas/itemopts.h"
#include "canvas/outline.h"
#include "canvas/postscript.h"
#include "canvas/textgeom.h"
#include "tesk.h"
#include "tkInt.h"
#include "tkFont.h"

namespace {

GcanvasTextItem *asText(GcanvasItem *item)
{
    return reinterpret_cast<GcanvasTextItem *>(item);
}

/* The canvas point of the item. */
void canvasPoint(const GcanvasWidget *canvas, const GcanvasTextItem *t, double *cx, double *cy)
{
    *cx = t->x * canvas->mx - canvas->xOffset;
    *cy = t->y * canvas->my - canvas->yOffset;
}

void collapse(GcanvasItem *item, double cx, double cy)
{
    item->x1 = item->x2 = cx;
    item->y1 = item->y2 = cy;
    item->xPad = item->yPad = 0;
}

bool sameAttrs(const RotatedFontAttributes &a, const RotatedFontAttributes &b)
{
    return a.family == b.family && a.size == b.size && a.bold == b.bold && a.italic == b.italic &&
           a.underline == b.underline && a.overstrike == b.overstrike && a.pixels == b.pixels;
}

Pixmap chosenStipple(const GcanvasWidget *canvas, const GcanvasTextItem *t)
{
    return gcanvasChosen<Pixmap>(canvas, &t->header, t->stipple, t->activeStipple, t->disabledStipple, None);
}

void freeFontAndLayout(GcanvasTextItem *t)
{
    freeRotatedTextLayout(t->layout);
    t->layout = nullptr;
    freeRotatedFont(t->rotFont);
    t->rotFont = nullptr;
}

/*
 * The attributes tkfont was asked for; a size left to Tk is the size Tk
 * gave it. The last name read is remembered (labels made by the thousand
 * share their font); a named font, whose attributes can change under its
 * name, is read every time.
 */
void fontAttributes(Tcl_Interp *interp, Tk_Font tkfont, RotatedFontAttributes *attrs)
{
    static std::string lastName;
    static RotatedFontAttributes lastAttrs;
    const TkFont *tk = reinterpret_cast<const TkFont *>(tkfont);
    const char *name = Tk_NameOfFont(tkfont);
    if (tk->namedHashPtr == nullptr && lastName == name) {
        *attrs = lastAttrs;
        return;
    }
    rotatedFontAttributes(interp, tkfont, attrs);
    if (attrs->size == 0) {
        attrs->size = tk->fa.size;
    }
    if (tk->namedHashPtr == nullptr) {
        lastName = name;
        lastAttrs = *attrs;
    }
}

/* ---- create, configure, coordinates, delete ---- */

int textConfigure(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int objc, Tcl_Obj *const objv[],
                  int flags)
{
    /* The options before a failing one are set: the count, the layout
     * and the box are remade all the same, so that they follow the text. */
    GcanvasTextItem *t = asText(item);
    int code = gcanvasConfigureRecord(interp, canvas, item->type->configSpecs, t, objc, objv, flags);
    Tcl_Obj *message = Tcl_GetObjResult(interp);
    Tcl_IncrRefCount(message);
    if (t->activeColor != nullptr || t->activeStipple != None) {
        item->redrawFlags |= GCANVAS_ITEM_STATE_DEPENDANT;
    } else {
        item->redrawFlags &= ~GCANVAS_ITEM_STATE_DEPENDANT;
    }
    gcanvasTextUpdate(interp, canvas, t);
    item->type->bboxProc(canvas, item);
    if (code != TCL_OK) {
        Tcl_SetObjResult(interp, message);
    }
    Tcl_DecrRefCount(message);
    return code;
}

int textCoords(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int objc, Tcl_Obj *const objv[])
{
    GcanvasTextItem *t = asText(item);
    if (objc == 0) {
        Tcl_Obj *xy[] = {Tcl_NewDoubleObj(gcanvasPlainZero(t->x)), Tcl_NewDoubleObj(gcanvasPlainZero(t->y))};
        Tcl_SetObjResult(interp, Tcl_NewListObj(2, xy));
        return TCL_OK;
    }
    if (gcanvasReadPointCoords(interp, canvas, objc, objv, &t->x, &t->y) != TCL_OK) {
        return TCL_ERROR;
    }
    item->type->bboxProc(canvas, item);
    return TCL_OK;
}

void textDelete(GcanvasWidget *, GcanvasItem *item, Display *display)
{
    gcanvasTextFree(display, asText(item));
}

int textCreate(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int objc, Tcl_Obj *const objv[])
{
    GcanvasTextItem *t = asText(item);
    int coords = gcanvasPointCoordWords(interp, canvas, item, objc, objv);
    if (coords < 0) {
        return TCL_ERROR;
    }
    /* The header and the rest are zeroed by the canvas. */
    t->textInfo = gcanvasGetTextInfo(canvas);
    t->anchor = TK_ANCHOR_CENTER;
    t->justify = TK_JUSTIFY_LEFT;
    t->stipple = t->activeStipple = t->disabledStipple = None;
    t->fontStale = 1;
    if (textCoords(interp, canvas, item, coords, objv) != TCL_OK ||
        textConfigure(interp, canvas, item, objc - coords, objv + coords, 0) != TCL_OK) {
        textDelete(canvas, item, canvas->display);
        return TCL_ERROR;
    }
    return TCL_OK;
}

/* ---- the text item's box ---- */

void textBbox(GcanvasWidget *canvas, GcanvasItem *item)
{
    GcanvasTextItem *t = asText(item);
    gcanvasMarkIndexStale(canvas);
    double cx, cy;
    canvasPoint(canvas, t, &cx, &cy);
    int w, h;
    if (!gcanvasTextMakeLayout(canvas, t, 0, 0, 0, 0, &w, &h)) {
        collapse(item, cx, cy);
        return;
    }
    if (gcanvasItemHidden(canvas, item) || t->color == nullptr) {
        w = h = 0;
    }
    int dx, dy;
    gcanvasTextAnchorOffset(t->anchor, w, h, &dx, &dy);
    /* In doubles: a point far out (beyond 2^31) keeps its box. */
    double left = std::round(cx) + dx, top = std::round(cy) + dy;
    gcanvasTextSetEdges(t, left, w);
    t->corner[0] = left - cx;
    t->corner[1] = top - cy;
    int m = gcanvasTextMargin(t->textInfo);
    item->x1 = left - m;
    item->x2 = left + w + m;
    item->y1 = top;
    item->y2 = top + h;
    item->xPad = static_cast<float>(m);
    item->yPad = 0;
}

/* ---- display, point, area ---- */

void textDisplay(GcanvasWidget *canvas, GcanvasItem *item, Display *display, Drawable drawable, int, int, int, int)
{
    gcanvasTextDraw(canvas, asText(item), display, drawable, canvas->textInfo.insertWidth / 2);
}

/* The corner of the block in canvas units. */
void cornerOf(const GcanvasWidget *canvas, const GcanvasTextItem *t, double *x, double *y)
{
    canvasPoint(canvas, t, x, y);
    *x += t->corner[0];
    *y += t->corner[1];
}

double textToPoint(GcanvasWidget *canvas, GcanvasItem *item, double *point)
{
    GcanvasTextItem *t = asText(item);
    if (t->layout == nullptr || gcanvasItemHidden(canvas, item) || t->color == nullptr || t->edit.numChars == 0) {
        return 1.0e36;
    }
    double x, y;
    cornerOf(canvas, t, &x, &y);
    return rotatedLayoutDistance(t->layout, roundToInt(point[0] - x), roundToInt(point[1] - y));
}

/* Whether the convex quadrilaterals a and b (4 points each) are apart:
 * some edge's line separates them. */
bool apart(const double *a, const double *b)
{
    for (const double *p : {a, b}) {
        for (int i = 0; i < 4; i++) {
            double ex = p[(2 * i + 2) % 8] - p[2 * i], ey = p[(2 * i + 3) % 8] - p[2 * i + 1];
            double nx = -ey, ny = ex;
            double minA = INFINITY, maxA = -INFINITY, minB = INFINITY, maxB = -INFINITY;
            for (int k = 0; k < 4; k++) {
                double va = a[2 * k] * nx + a[2 * k + 1] * ny, vb = b[2 * k] * nx + b[2 * k + 1] * ny;
                minA = std::min(minA, va), maxA = std::max(maxA, va);
                minB = std::min(minB, vb), maxB = std::max(maxB, vb);
            }
            if (maxA <= minB || maxB <= minA) {
                return true;
            }
        }
    }
    return false;
}

/* The area test on the chunks as drawn, turned with the layout. */
int turnedIntersect(const RotatedTextLayout *layout, double x, double y, double w, double h)
{
    const double rect[8] = {x, y, x + w, y, x + w, y + h, x, y + h};
    int result = 2; /* no chunk yet */
    for (const LayoutChunk &chunk : layout->chunks) {
        if (chunk.numDisplayChars == 0 ||
            (chunk.numBytes > 0 && layout->text[static_cast<size_t>(chunk.start)] == '\n')) {
            continue;
        }
        const double lx[2] = {double(chunk.x), double(chunk.x + chunk.displayWidth)};
        const double ly[2] = {double(chunk.y - layout->font.ascent), double(chunk.y + layout->font.descent)};
        double box[8];
        const int order[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        bool inside = true;
        for (int k = 0; k < 4; k++) {
            layoutToScreenOffset(layout, lx[order[k][0]], ly[order[k][1]], &box[2 * k], &box[2 * k + 1]);
            inside = inside && box[2 * k] >= x && box[2 * k] <= x + w && box[2 * k + 1] >= y && box[2 * k + 1] <= y + h;
        }
        int one = inside ? 1 : apart(rect, box) ? -1 : 0;
        if (one == 0 || (result != 2 && result != one)) {
            return 0;
        }
        result = one;
    }
    return result == 2 ? 0 : result;
}

int textToArea(GcanvasWidget *canvas, GcanvasItem *item, double *rect)
{
    GcanvasTextItem *t = asText(item);
    if (t->layout == nullptr || gcanvasItemHidden(canvas, item)) {
        return -1;
    }
    double x, y;
    cornerOf(canvas, t, &x, &y);
    int rx = roundToInt(rect[0] - x), ry = roundToInt(rect[1] - y);
    int rw = roundToInt(rect[2] - rect[0]), rh = roundToInt(rect[3] - rect[1]);
    if (t->layout->sin == 0 && t->layout->cos == 1) {
        return rotatedLayoutIntersect(t->layout, rx, ry, rw, rh);
    }
    return turnedIntersect(t->layout, rx, ry, rw, rh);
}

/* ---- scale, translate ---- */

void textScale(GcanvasWidget *canvas, GcanvasItem *item, double originX, double originY, double scaleX, double scaleY)
{
    GcanvasTextItem *t = asText(item);
    t->x = (t->x - originX) * scaleX + originX;
    t->y = (t->y - originY) * scaleY + originY;
    item->type->bboxProc(canvas, item);
}

void textTranslate(GcanvasWidget *canvas, GcanvasItem *item, double dx, double dy)
{
    GcanvasTextItem *t = asText(item);
    t->x += dx;
    t->y += dy;
    item->type->bboxProc(canvas, item);
}

int textExtent(GcanvasItem *item, double *box)
{
    GcanvasTextItem *t = asText(item);
    box[0] = box[2] = t->x;
    box[1] = box[3] = t->y;
    return 1;
}

/* ---- editing, selection, index words ---- */

int textIndex(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, Tcl_Obj *word, int *index)
{
    GcanvasTextItem *t = asText(item);
    double px, py;
    int code = gcanvasTextIndex(interp, t->textInfo, item, &t->edit, word, index, &px, &py);
    if (code != GCANVAS_INDEX_AT) {
        return code;
    }
    *index = 0;
    if (t->layout != nullptr) {
        double x, y;
        cornerOf(canvas, t, &x, &y);
        double lx = px + canvas->xOrigin - x, ly = py + canvas->yOrigin - y;
        rotateLayoutPoint(t->layout, &lx, &ly);
        *index = rotatedLayoutPointToChar(t->layout, roundToInt(lx), roundToInt(ly));
    }
    return TCL_OK;
}

void textSetCursor(GcanvasWidget *, GcanvasItem *item, int index)
{
    gcanvasTextSetCursor(&asText(item)->edit, index);
}

int textGetSelection(GcanvasWidget *, GcanvasItem *item, int offset, char *buffer, int maxBytes)
{
    GcanvasTextItem *t = asText(item);
    return gcanvasTextSelection(t->textInfo, &t->edit, offset, buffer, maxBytes);
}

void textInsert(GcanvasWidget *canvas, GcanvasItem *item, int beforeThis, Tcl_Obj *string)
{
    GcanvasTextItem *t = asText(item);
    if (gcanvasTextInsert(t->textInfo, item, &t->edit, beforeThis, string)) {
        item->type->bboxProc(canvas, item);
    }
}

void textDeleteChars(GcanvasWidget *canvas, GcanvasItem *item, int first, int last)
{
    GcanvasTextItem *t = asText(item);
    if (gcanvasTextDelete(t->textInfo, item, &t->edit, first, last)) {
        item->type->bboxProc(canvas, item);
    }
}

/* ---- PostScript ---- */

int textToPostscript(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int prepass)
{
    GcanvasTextItem *t = asText(item);
    return gcanvasTextPostscript(interp, canvas, t, prepass, 0);
}

}  // namespace

/* ---- shared with gtext and the symbol's label ---- */

void gcanvasTextUpdate(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasTextItem *t)
{
    GcanvasItem *item = &t->header;
    if (t->tkfont != nullptr) {
        RotatedFontAttributes attrs;
        fontAttributes(interp, t->tkfont, &attrs);
        if (!sameAttrs(attrs, t->attrs)) {
            t->attrs = attrs;
            t->fontStale = 1;
        }
    }
    gcanvasTextRecount(t->textInfo, item, &t->edit);

    XColor *color = gcanvasTextColor(canvas, t);
    Pixmap stipple = chosenStipple(canvas, t);
    XGCValues values;
    unsigned long mask = 0;
    if (stipple != None) {
        values.stipple = stipple;
        values.fill_style = FillStippled;
        mask = GCStipple | GCFillStyle;
    }
    GC gc = nullptr, selGC = nullptr;
    if (color != nullptr) {
        values.foreground = color->pixel;
        gc = gcanvasGetGC(canvas->tkwin, mask | GCForeground, &values);
        if (t->textInfo->selFgColorPtr != nullptr) {
            values.foreground = t->textInfo->selFgColorPtr->pixel;
        }
        selGC = gcanvasGetGC(canvas->tkwin, mask | GCForeground, &values);
    }
    gcanvasFreeGC(canvas->display, t->gc);
    gcanvasFreeGC(canvas->display, t->selTextGC);
    t->gc = gc;
    t->selTextGC = selGC;
}

void gcanvasTextSetEdges(GcanvasTextItem *t, double left, int width)
{
    /* Held to half the int range either way, so that the width added
     * never overflows. */
    left = std::isnan(left) ? 0 : std::trunc(left);
    t->leftEdge = static_cast<int>(std::clamp(left, double(INT_MIN / 2), double(INT_MAX / 2)));
    t->rightEdge = t->leftEdge + std::clamp(width, 0, INT_MAX / 2);
}

void gcanvasTextFree(Display *display, GcanvasTextItem *t)
{
    Tk_FreeOptions(t->header.type->configSpecs, reinterpret_cast<char *>(t), display, 0);
    t->edit.text = nullptr;
    t->tkfont = nullptr;
    freeFontAndLayout(t);
    gcanvasFreeGC(display, t->gc);
    gcanvasFreeGC(display, t->selTextGC);
    t->gc = t->selTextGC = nullptr;
}

XColor *gcanvasTextColor(const GcanvasWidget *canvas, const GcanvasTextItem *t)
{
    return gcanvasChosen<XColor *>(canvas, &t->header, t->color, t->activeColor, t->disabledColor, nullptr);
}

int gcanvasTextMargin(const GcanvasTextInfo *info)
{
    return std::max((info->insertWidth + 1) / 2, info->selBorderWidth);
}

int gcanvasTextMakeLayout(GcanvasWidget *canvas, GcanvasTextItem *t, double aspectOption, double escapement,
                          double orientation, int mode, int *w, int *h)
{
    GcanvasTextScale scale = gcanvasTextScale(canvas, t->header.scalable, t->attrs.size, aspectOption);
    if (!scale.shown) {
        freeFontAndLayout(t);
        return 0;
    }
    return gcanvasTextLayoutAt(canvas, t, scale, escapement, orientation, mode, w, h);
}

int gcanvasTextLayoutAt(GcanvasWidget *canvas, GcanvasTextItem *t, const GcanvasTextScale &scale, double escapement,
                        double orientation, int mode, int *w, int *h)
{
    if (t->tkfont == nullptr || t->edit.text == nullptr) {
        freeFontAndLayout(t);
        return 0;
    }
    if (t->rotFont == nullptr || t->fontStale || t->fontSize != scale.size || t->fontAspect != scale.aspect ||
        t->fontEscapement != escapement || t->fontOrientation != orientation || t->fontMode != mode) {
        RotatedFontAttributes attrs = t->attrs;
        attrs.size = scale.size;
        if (t->attrs.size != 0) {
            attrs.pixels *= scale.size / t->attrs.size;
        }
        /* The new font first: one both name is kept, not reopened. */
        RotatedFont *font = getRotatedFont(canvas->tkwin, &attrs, scale.aspect, escapement, orientation, mode);
        freeRotatedFont(t->rotFont);
        t->rotFont = font;
        t->fontSize = scale.size;
        t->fontAspect = scale.aspect;
        t->fontEscapement = escapement;
        t->fontOrientation = orientation;
        t->fontMode = mode;
        t->fontStale = 0;
    }
    if (t->rotFont == nullptr) {
        freeFontAndLayout(t);
        return 0;
    }
    updateRotatedTextLayout(&t->layout, layoutFontOf(t->rotFont), t->edit.text, t->edit.numChars, t->width,
                            t->justify, 0, w, h);
    return t->layout != nullptr;
}

namespace {

/* Fills the layout-position box (x, y, w, h), turned with the layout,
 * its corner at drawable (ox, oy), with a raised border as Tk's canvas
 * text does. */
void fillTurnedBox(GcanvasWidget *canvas, const RotatedTextLayout *layout, Drawable drawable, int ox, int oy, int x,
                   int y, int w, int h, Tk_3DBorder border, int borderWidth)
{
    const int lx[4] = {x, x + w, x + w, x}, ly[4] = {y, y, y + h, y + h};
    XPoint points[4];
    for (int k = 0; k < 4; k++) {
        double sx, sy;
        layoutToScreenOffset(layout, lx[k], ly[k], &sx, &sy);
        points[k].x = static_cast<short>(gcanvasTruncToInt(ox + sx));
        points[k].y = static_cast<short>(gcanvasTruncToInt(oy + sy));
    }
    Tk_Fill3DPolygon(canvas->tkwin, drawable, border, points, 4, borderWidth, TK_RELIEF_RAISED);
}

/*
 * A scratch copy of the part of a drawable that an item's box covers:
 * what is drawn into target() at drawable coordinates less (left(), top())
 * goes back to the drawable, cut at the box, when the clip is destroyed.
 * target() is None when the box misses the drawable or no pixmap could be
 * made.
 */
class BoxClip {
public:
    BoxClip(GcanvasWidget *canvas, const GcanvasItem *item, Display *display, Drawable drawable)
        : canvas_(canvas), display_(display), drawable_(drawable)
    {
        Window root;
        int x, y;
        unsigned int dw, dh, border, depth;
        if (!XGetGeometry(display, drawable, &root, &x, &y, &dw, &dh, &border, &depth)) {
            return;
        }
        double x1 = std::max(std::floor(item->x1) - canvas->drawableXOrigin, 0.0);
        double y1 = std::max(std::floor(item->y1) - canvas->drawableYOrigin, 0.0);
        double x2 = std::min(std::ceil(item->x2) - canvas->drawableXOrigin, double(dw));
        double y2 = std::min(std::ceil(item->y2) - canvas->drawableYOrigin, double(dh));
        if (!(x1 < x2 && y1 < y2)) {
            return;
        }
        left_ = static_cast<int>(x1);
        top_ = static_cast<int>(y1);
        width_ = static_cast<unsigned>(x2 - x1);
        height_ = static_cast<unsigned>(y2 - y1);
        scratch_ = Tk_GetPixmap(display, drawable, static_cast<int>(width_), static_cast<int>(height_),
                                static_cast<int>(depth));
        if (scratch_ != None) {
            XCopyArea(display, drawable, scratch_, canvas->pixmapGC, left_, top_, width_, height_, 0, 0);
        }
    }
    ~BoxClip()
    {
        if (scratch_ != None) {
            XCopyArea(display_, scratch_, drawable_, canvas_->pixmapGC, 0, 0, width_, height_, left_, top_);
            Tk_FreePixmap(display_, scratch_);
        }
    }
    BoxClip(const BoxClip &) = delete;
    BoxClip &operator=(const BoxClip &) = delete;

    Drawable target() const { return scratch_; }
    int left() const { return left_; }
    int top() const { return top_; }

private:
    GcanvasWidget *canvas_;
    Display *display_;
    Drawable drawable_;
    Pixmap scratch_ = None;
    int left_ = 0, top_ = 0;
    unsigned width_ = 0, height_ = 0;
};

}  // namespace

void gcanvasTextDraw(GcanvasWidget *canvas, GcanvasTextItem *t, Display *display, Drawable drawable, int cursorLeft)
{
    GcanvasItem *item = &t->header;
    const RotatedTextLayout *layout = t->layout;
    if (drawable == None || item->x1 == item->x2 || item->y1 == item->y2 || t->gc == nullptr || layout == nullptr) {
        return;
    }
    double cx, cy;
    cornerOf(canvas, t, &cx, &cy);
    int ox = gcanvasDrawableCoord(canvas->drawableXOrigin, cx);
    int oy = gcanvasDrawableCoord(canvas->drawableYOrigin, cy);
    GcanvasTextInfo *info = t->textInfo;

    int selFirst = -1, selLast = -1;
    if (info->selItemPtr == item) {
        selFirst = info->selectFirst;
        selLast = std::min(info->selectLast, t->edit.numChars - 1);
        int xFirst, yFirst, wFirst, hFirst, xLast, yLast, wLast, hLast;
        if (selFirst >= 0 && selFirst <= selLast &&
            rotatedLayoutCharBbox(layout, selFirst, &xFirst, &yFirst, &wFirst, &hFirst) &&
            rotatedLayoutCharBbox(layout, selLast, &xLast, &yLast, &wLast, &hLast)) {
            /* The background with its raised edge, kept inside the item's
             * box as Tk's canvas, which redraws only that box, shows it. */
            BoxClip clip(canvas, item, display, drawable);
            if (clip.target() != None) {
                int x = xFirst, height = std::max(hFirst, 1);
                for (int y = yFirst; y <= yLast; y += height) {
                    int width = y == yLast ? xLast + wLast - x : t->rightEdge - t->leftEdge - x;
                    fillTurnedBox(canvas, layout, clip.target(), ox - clip.left(), oy - clip.top(),
                                  x - info->selBorderWidth, y, width + 2 * info->selBorderWidth, height,
                                  info->selBorder, info->selBorderWidth);
                    x = 0;
                }
            }
        } else {
            selFirst = -1;
        }
    }
    if (info->focusItemPtr == item && info->gotFocus) {
        int x, y, w, height;
        if (rotatedLayoutCharBbox(layout, t->edit.insertPos, &x, &y, &w, &height)) {
            if (info->cursorOn) {
                fillTurnedBox(canvas, layout, drawable, ox, oy, x - cursorLeft, y, info->insertWidth, height,
                              info->insertBorder, info->insertBorderWidth);
            }
        }
    }
    Pixmap stipple = chosenStipple(canvas, t);
    if (stipple != None) {
        gcanvasSetOffset(canvas, t->gc, &t->tsoffset);
        if (t->selTextGC != nullptr) {
            gcanvasSetOffset(canvas, t->selTextGC, &t->tsoffset);
        }
    }
    if (selFirst >= 0 && t->selTextGC != nullptr && t->selTextGC != t->gc) {
        drawRotatedTextLayout(display, drawable, t->gc, layout, ox, oy, 0, selFirst);
        drawRotatedTextLayout(display, drawable, t->selTextGC, layout, ox, oy, selFirst, selLast + 1);
        drawRotatedTextLayout(display, drawable, t->gc, layout, ox, oy, selLast + 1, -1);
    } else {
        drawRotatedTextLayout(display, drawable, t->gc, layout, ox, oy, 0, -1);
    }
    if (stipple != None) {
        XSetTSOrigin(display, t->gc, 0, 0);
        if (t->selTextGC != nullptr) {
            XSetTSOrigin(display, t->selTextGC, 0, 0);
        }
    }
}

namespace {

/* The prolog's DrawText offsets of an anchor: its x fraction times -0.5
 * (0 west, 1 centre, 2 east) and y fraction times 0.5 (0 north, 1
 * middle, 2 south). */
void psAnchor(Tk_Anchor anchor, double *xOffset, double *yOffset)
{
    int fx = 1, fy = 1;
    switch (anchor) {
    case TK_ANCHOR_NW: fx = 0, fy = 0; break;
    case TK_ANCHOR_N: fy = 0; break;
    case TK_ANCHOR_NE: fx = 2, fy = 0; break;
    case TK_ANCHOR_W: fx = 0; break;
    case TK_ANCHOR_E: fx = 2; break;
    case TK_ANCHOR_SW: fx = 0, fy = 2; break;
    case TK_ANCHOR_S: fy = 2; break;
    case TK_ANCHOR_SE: fx = 2, fy = 2; break;
    default: break;
    }
    *xOffset = fx * -0.5;
    *yOffset = fy * 0.5;
}

}  // namespace

int gcanvasTextPostscript(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasTextItem *t, int prepass,
                          double turnDegrees)
{
    XColor *color = gcanvasTextColor(canvas, t);
    Pixmap stipple = chosenStipple(canvas, t);
    if (gcanvasItemHidden(canvas, &t->header) || color == nullptr || t->edit.numChars == 0 || t->layout == nullptr ||
        t->attrs.size == 0) {
        return TCL_OK;
    }
    if (gcanvasPsFont(interp, canvas, t->tkfont) != TCL_OK) {
        return TCL_ERROR;
    }
    char buffer[300];
    /* The font as drawn: its configured size scaled to the drawn one. */
    double scale = t->fontSize / t->attrs.size;
    if (scale != 1) {
        std::snprintf(buffer, sizeof buffer, "currentfont %.15g scalefont setfont\n", scale);
        Tcl_AppendResult(interp, buffer, nullptr);
    }
    if (prepass) {
        return TCL_OK;
    }
    if (gcanvasPsColor(interp, canvas, color) != TCL_OK) {
        return TCL_ERROR;
    }
    if (stipple != None) {
        Tcl_AppendResult(interp, "/StippleText {\n    ", nullptr);
        if (gcanvasPsStipple(interp, canvas, stipple) != TCL_OK) {
            return TCL_ERROR;
        }
        Tcl_AppendResult(interp, "} bind def\n", nullptr);
    }
    double cx, cy;
    canvasPoint(canvas, t, &cx, &cy);
    if (t->fontAspect != 0) {
        /* Stretched: each run of characters where the screen draws it,
         * along the turned line from the block's corner, and stretched to
         * its drawn width (the page's font is measured on the page), so
         * that wrapped lines and tab stops print as drawn. */
        double left = t->corner[0], top = t->corner[1];
        rotateLayoutPoint(t->layout, &left, &top);
        std::snprintf(buffer, sizeof buffer, "gsave\n%.15g %.15g translate %.15g rotate\n", cx, gcanvasPsY(canvas, cy),
                      turnDegrees);
        Tcl_AppendResult(interp, buffer, nullptr);
        rotatedChunksToPostscript(interp, t->layout, left, -top, stipple != None);
        Tcl_AppendResult(interp, "grestore\n", nullptr);
        return TCL_OK;
    }
    bool turned = turnDegrees != 0;
    if (turned) {
        std::snprintf(buffer, sizeof buffer, "gsave\n%.15g %.15g translate %.15g rotate\n0 0 [\n", cx,
                      gcanvasPsY(canvas, cy), turnDegrees);
    } else {
        std::snprintf(buffer, sizeof buffer, "%.15g %.15g [\n", cx, gcanvasPsY(canvas, cy));
    }
    Tcl_AppendResult(interp, buffer, nullptr);
    rotatedLayoutToPostscript(interp, t->layout);
    double xOffset, yOffset;
    psAnchor(t->anchor, &xOffset, &yOffset);
    const char *justify = t->justify == TK_JUSTIFY_RIGHT ? "1" : t->justify == TK_JUSTIFY_CENTER ? "0.5" : "0";
    std::snprintf(buffer, sizeof buffer, "] %d %g %g %s %s DrawText\n%s", t->layout->font.ascent + t->layout->font.descent,
                  xOffset, yOffset, justify, stipple != None ? "true" : "false", turned ? "grestore\n" : "");
    Tcl_AppendResult(interp, buffer, nullptr);
    return TCL_OK;
}

std::vector<Tk_ConfigSpec> gcanvasTextSpecs(std::initializer_list<Tk_ConfigSpec> extra)
{
#define TX_OPT(field) Tk_Offset(GcanvasTextItem, field)
    std::vector<Tk_ConfigSpec> specs = {
        {TK_CONFIG_COLOR, "-activefill", nullptr, nullptr, nullptr, TX_OPT(activeColor), TK_CONFIG_NULL_OK, nullptr},
        {TK_CONFIG_BITMAP, "-activestipple", nullptr, nullptr, nullptr, TX_OPT(activeStipple), TK_CONFIG_NULL_OK,
         nullptr},
        {TK_CONFIG_ANCHOR, "-anchor", nullptr, nullptr, "center", TX_OPT(anchor), TK_CONFIG_DONT_SET_DEFAULT, nullptr},
        {TK_CONFIG_COLOR, "-disabledfill", nullptr, nullptr, nullptr, TX_OPT(disabledColor), TK_CONFIG_NULL_OK,
         nullptr},
        {TK_CONFIG_BITMAP, "-disabledstipple", nullptr, nullptr, nullptr, TX_OPT(disabledStipple), TK_CONFIG_NULL_OK,
         nullptr},
        {TK_CONFIG_COLOR, "-fill", nullptr, nullptr, "black", TX_OPT(color), TK_CONFIG_NULL_OK, nullptr},
        {TK_CONFIG_INT, "-floating", nullptr, nullptr, "0", TX_OPT(header.floating), 0, nullptr},
        {TK_CONFIG_FONT, "-font", nullptr, nullptr, "{MS Sans Serif} 8", TX_OPT(tkfont), 0, nullptr},
        {TK_CONFIG_JUSTIFY, "-justify", nullptr, nullptr, "left", TX_OPT(justify), TK_CONFIG_DONT_SET_DEFAULT,
         nullptr},
        {TK_CONFIG_CUSTOM, "-offset", nullptr, nullptr, "0,0", TX_OPT(tsoffset), TK_CONFIG_DONT_SET_DEFAULT,
         &gcanvasOffsetOption},
        {TK_CONFIG_INT, "-scalable", nullptr, nullptr, "0", TX_OPT(header.scalable), 0, nullptr},
        {TK_CONFIG_CUSTOM, "-state", nullptr, nullptr, nullptr, TX_OPT(header.state), TK_CONFIG_NULL_OK,
         &gcanvasItemStateOption},
        {TK_CONFIG_BITMAP, "-stipple", nullptr, nullptr, nullptr, TX_OPT(stipple), TK_CONFIG_NULL_OK, nullptr},
        {TK_CONFIG_CUSTOM, "-tags", nullptr, nullptr, nullptr, 0, TK_CONFIG_NULL_OK,
         const_cast<Tk_CustomOption *>(&gcanvasTagsOption)},
        {TK_CONFIG_STRING, "-text", nullptr, nullptr, "", TX_OPT(edit.text), 0, nullptr},
        {TK_CONFIG_PIXELS, "-width", nullptr, nullptr, "0", TX_OPT(width), TK_CONFIG_DONT_SET_DEFAULT, nullptr},
    };
#undef TX_OPT
    specs.insert(specs.end(), extra);
    specs.push_back({TK_CONFIG_END, nullptr, nullptr, nullptr, nullptr, 0, 0, nullptr});
    return specs;
}

void gcanvasFillTextType(GcanvasItemType *t, Tk_ConfigSpec *specs)
{
    t->itemSize = sizeof(GcanvasTextItem);
    t->createProc = textCreate;
    t->configSpecs = specs;
    t->configProc = textConfigure;
    t->coordProc = textCoords;
    t->deleteProc = textDelete;
    t->displayProc = textDisplay;
    t->alwaysRedraw = GCANVAS_TYPE_USES_OBJS;
    t->pointProc = textToPoint;
    t->areaProc = textToArea;
    t->postscriptProc = textToPostscript;
    t->scaleProc = textScale;
    t->translateProc = textTranslate;
    t->extentProc = textExtent;
    t->indexProc = textIndex;
    t->icursorProc = textSetCursor;
    t->selectionProc = textGetSelection;
    t->insertProc = textInsert;
    t->dCharsProc = textDeleteChars;
}

namespace {

std::vector<Tk_ConfigSpec> textSpecs = gcanvasTextSpecs({});

GcanvasItemType makeTextType()
{
    GcanvasItemType t;
    std::memset(&t, 0, sizeof t);
    t.name = "text";
    gcanvasFillTextType(&t, textSpecs.data());
    t.bboxProc = textBbox;
    return t;
}

}  // namespace

GcanvasItemType gcanvasTextType = makeTextType();
