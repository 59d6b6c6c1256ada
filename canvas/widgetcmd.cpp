/*
 * widgetcmd.cpp --
 *
 *	The gcanvas widget command: the dispatch over its whole table of
 *	subcommands, and the subcommands that configure the widget, make,
 *	edit, find, tag, restack and delete items, and move the view.
 */
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "canvas/canvasint.h"
#include "canvas/coords.h"
#include "canvas/tagsearch.h"
#include "runtime/configspec.h"
#include "runtime/cnumber.h"
#include "tesk.h"

namespace {

using Items = std::vector<GcanvasItem *>;

/* An edit of every item of items: each item's old and new areas are
 * redrawn and the current item is picked again. Stops at the first edit
 * that fails. */
template <typename Edit>
int editGathered(GcanvasWidget *canvas, const Items &items, Edit edit)
{
    for (GcanvasItem *item : items) {
        gcanvasEventuallyRedrawItem(canvas, item);
        int code = edit(item);
        gcanvasEventuallyRedrawItem(canvas, item);
        canvas->flags |= GCANVAS_REPICK_NEEDED;
        gcanvasMarkIndexStale(canvas);
        if (code != TCL_OK) {
            return code;
        }
    }
    return TCL_OK;
}

/* The same edit of every item a tagOrId names. */
template <typename Edit>
int editItems(Tcl_Interp *, GcanvasWidget *canvas, Tcl_Obj *word, Edit edit)
{
    Items items;
    if (!gcanvasMatchingItems(canvas, word, items)) {
        return TCL_ERROR;
    }
    return editGathered(canvas, items, edit);
}

/* What a move or scale does to every coordinate an item keeps:
 * x becomes (x - originX) * scaleX + originX + dx, y likewise (a move has
 * origin 0, scale 1, which leave x as it is). */
struct CoordMap {
    double originX, originY, scaleX, scaleY, dx, dy;
};

/*
 * surelyFinite --
 *	Whether the map keeps every finite coordinate finite whatever the
 *	items hold. A finite double plus one of magnitude below 2^970 (half
 *	the spacing of doubles at the top of the range) never rounds past the
 *	largest double; so a move by less, or a scale by a factor of at most 1
 *	about an origin nearer than that, needs no item asked. Everyday moves
 *	are such.
 */
bool surelyFinite(const CoordMap &m)
{
    const double reach = std::ldexp(1.0, 970);
    return std::fabs(m.dx) < reach && std::fabs(m.dy) < reach && std::fabs(m.originX) < reach &&
           std::fabs(m.originY) < reach && std::fabs(m.scaleX) <= 1 && std::fabs(m.scaleY) <= 1;
}

/*
 * refuseNonFinite --
 *	Asked of every item before a move or scale changes any: the item's
 *	least and greatest kept coordinates tell whether the map takes one
 *	past a double's range. TCL_ERROR with "no finite answer for item ID"
 *	when it does.
 */
int refuseNonFinite(Tcl_Interp *interp, GcanvasItem *item, const CoordMap &m)
{
    double box[4];
    if (item->type->extentProc == nullptr || !item->type->extentProc(item, box)) {
        return TCL_OK;
    }
    bool finite = true;
    for (int i = 0; i < 4; i++) {
        double origin = i % 2 == 0 ? m.originX : m.originY;
        double scale = i % 2 == 0 ? m.scaleX : m.scaleY;
        double delta = i % 2 == 0 ? m.dx : m.dy;
        finite = finite && std::isfinite((box[i] - origin) * scale + origin + delta);
    }
    if (finite) {
        return TCL_OK;
    }
    char what[TCL_INTEGER_SPACE + 8];
    std::snprintf(what, sizeof what, "item %d", item->id);
    return cNoFiniteAnswer(interp, what);
}

int canvasXY(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[], bool x)
{
    if (objc != 3 && objc != 4) {
        Tcl_WrongNumArgs(interp, 2, objv, x ? "screenx ?gridspacing?" : "screeny ?gridspacing?");
        return TCL_ERROR;
    }
    int screen;
    if (teskGetPixels(interp, canvas->tkwin, Tcl_GetString(objv[2]), &screen) != TCL_OK) {
        return TCL_ERROR;
    }
    double spacing = 0;
    if (objc == 4 && gcanvasGetCoordFromObj(interp, canvas, objv[3], &spacing) != TCL_OK) {
        return TCL_ERROR;
    }
    double world = x ? (screen + canvas->xOrigin + canvas->xOffset) / canvas->mx
                     : (screen + canvas->yOrigin + canvas->yOffset) / canvas->my;
    char text[TCL_DOUBLE_SPACE];
    Tcl_PrintDouble(interp, gcanvasPlainZero(gridAlign(world, spacing)), text);
    Tcl_SetObjResult(interp, Tcl_NewStringObj(text, -1));
    return TCL_OK;
}

int configureCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[])
{
    if (objc == 2) {
        return Tk_ConfigureInfo(interp, canvas->tkwin, gcanvasConfigSpecs, reinterpret_cast<char *>(canvas), nullptr,
                                0);
    }
    if (objc == 3) {
        return Tk_ConfigureInfo(interp, canvas->tkwin, gcanvasConfigSpecs, reinterpret_cast<char *>(canvas),
                                Tcl_GetString(objv[2]), 0);
    }
    return gcanvasConfigure(interp, canvas, objc - 2, objv + 2, TK_CONFIG_ARGV_ONLY);
}

/* The four bounding-box forms: world (bbox), world without the items'
 * margins (dbbox), canvas (mbbox) and window (sbbox) coordinates. An item
 * whose box in canvas units is past a double's range (world coordinates
 * near it under a zoom) leaves the union no finite answer. */
enum BoxSpace { BOX_WORLD, BOX_WORLD_INNER, BOX_CANVAS, BOX_WINDOW };

/* v as "%f" prints it, where a value that prints as zero has no sign. */
std::string fixedText(double v)
{
    char text[400]; /* room for the widest double in "%f" */
    std::snprintf(text, sizeof text, "%f", v);
    if (text[0] == '-' && std::strspn(text + 1, "0.") == std::strlen(text + 1)) {
        return text + 1;
    }
    return text;
}

int boxUnion(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[], BoxSpace space)
{
    if (objc < 3) {
        Tcl_WrongNumArgs(interp, 2, objv, "tagOrId ?tagOrId ...?");
        return TCL_ERROR;
    }
    bool any = false;
    double box[4] = {0, 0, 0, 0};
    for (int i = 2; i < objc; i++) {
        Items items;
        if (!gcanvasMatchingItems(canvas, objv[i], items)) {
            return TCL_ERROR;
        }
        for (GcanvasItem *item : items) {
            double b[4] = {item->x1, item->y1, item->x2, item->y2};
            if (!cAllFinite(b, 4)) {
                return cNoFiniteAnswer(interp);
            }
            if (item->x1 >= item->x2 || item->y1 >= item->y2) {
                continue;
            }
            if (space == BOX_WORLD_INNER) {
                b[0] += item->xPad, b[1] += item->yPad, b[2] -= item->xPad, b[3] -= item->yPad;
            }
            if (!any) {
                std::copy(b, b + 4, box);
                any = true;
            } else {
                box[0] = std::min(box[0], b[0]);
                box[1] = std::min(box[1], b[1]);
                box[2] = std::max(box[2], b[2]);
                box[3] = std::max(box[3], b[3]);
            }
        }
    }
    if (!any) {
        return TCL_OK;
    }
    double out[4];
    if (space == BOX_WORLD || space == BOX_WORLD_INNER) {
        canvasBBoxToWorld(canvas, box, out);
    } else {
        int dx = space == BOX_WINDOW ? canvas->xOrigin : 0;
        int dy = space == BOX_WINDOW ? canvas->yOrigin : 0;
        out[0] = box[0] - dx, out[1] = box[1] - dy, out[2] = box[2] - dx, out[3] = box[3] - dy;
    }
    if (!cAllFinite(out, 4)) {
        return cNoFiniteAnswer(interp);
    }
    std::string text = fixedText(out[0]);
    for (int i = 1; i < 4; i++) {
        text += ' ';
        text += fixedText(out[i]);
    }
    Tcl_SetObjResult(interp, Tcl_NewStringObj(text.c_str(), -1));
    return TCL_OK;
}

template <BoxSpace Space>
int boxCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[])
{
    return boxUnion(interp, canvas, objc, objv, Space);
}

int redrawCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[])
{
    if (objc != 6) {
        Tcl_WrongNumArgs(interp, 2, objv, "x0 y0 x1 y1");
        return TCL_ERROR;
    }
    double v[4];
    for (int i = 0; i < 4; i++) {
        if (cGetDoubleFromObj(interp, objv[2 + i], &v[i]) != TCL_OK) {
            return TCL_ERROR;
        }
    }
    gcanvasEventuallyRedraw(canvas, v[0], v[1], v[2], v[3], 1);
    return TCL_OK;
}

int coordsCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[])
{
    if (objc < 3) {
        Tcl_WrongNumArgs(interp, 2, objv, "tagOrId ?x y x y ...?");
        return TCL_ERROR;
    }
    bool ok;
    GcanvasItem *item = gcanvasFirstMatch(canvas, objv[2], &ok);
    if (!ok) {
        return TCL_ERROR;
    }
    if (item == nullptr) {
        return TCL_OK;
    }
    if (objc > 3) {
        gcanvasEventuallyRedrawItem(canvas, item);
    }
    int code = item->type->coordProc(interp, canvas, item, objc - 3, objv + 3);
    if (objc > 3) {
        gcanvasEventuallyRedrawItem(canvas, item);
    }
    return code;
}

int createCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[])
{
    if (objc < 3) {
        Tcl_WrongNumArgs(interp, 2, objv, "type ?arg arg ...?");
        return TCL_ERROR;
    }
    GcanvasItemType *type = gcanvasTypeForCreate(interp, Tcl_GetString(objv[2]));
    if (type == nullptr) {
        return TCL_ERROR;
    }
    return gcanvasCreateItem(interp, canvas, type, objc - 3, objv + 3);
}

int deleteCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[])
{
    for (int i = 2; i < objc; i++) {
        Items items;
        if (!gcanvasMatchingItems(canvas, objv[i], items)) {
            return TCL_ERROR;
        }
        for (GcanvasItem *item : items) {
            gcanvasDeleteItem(canvas, item);
        }
    }
    return TCL_OK;
}

int itemcgetCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[])
{
    if (objc != 4) {
        Tcl_WrongNumArgs(interp, 2, objv, "tagOrId option");
        return TCL_ERROR;
    }
    bool ok;
    GcanvasItem *item = gcanvasFirstMatch(canvas, objv[2], &ok);
    if (!ok) {
        return TCL_ERROR;
    }
    if (item == nullptr) {
        return TCL_OK;
    }
    return Tk_ConfigureValue(interp, canvas->tkwin, item->type->configSpecs, reinterpret_cast<char *>(item),
                             Tcl_GetString(objv[3]), 0);
}

int itemconfigureCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[])
{
    if (objc < 3) {
        Tcl_WrongNumArgs(interp, 2, objv, "tagOrId ?option value ...?");
        return TCL_ERROR;
    }
    if (objc <= 4) {
        bool ok;
        GcanvasItem *item = gcanvasFirstMatch(canvas, objv[2], &ok);
        if (!ok || item == nullptr) {
            return ok ? TCL_OK : TCL_ERROR;
        }
        return Tk_ConfigureInfo(interp, canvas->tkwin, item->type->configSpecs, reinterpret_cast<char *>(item),
                                objc == 4 ? Tcl_GetString(objv[3]) : nullptr, 0);
    }
    return editItems(interp, canvas, objv[2], [&](GcanvasItem *item) {
        return item->type->configProc(interp, canvas, item, objc - 3, objv + 3, TK_CONFIG_ARGV_ONLY);
    });
}

int moveCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[])
{
    if (objc != 5) {
        Tcl_WrongNumArgs(interp, 2, objv, "tagOrId xAmount yAmount");
        return TCL_ERROR;
    }
    double dx, dy;
    if (gcanvasGetCoordFromObj(interp, canvas, objv[3], &dx) != TCL_OK ||
        gcanvasGetCoordFromObj(interp, canvas, objv[4], &dy) != TCL_OK) {
        return TCL_ERROR;
    }
    /* A move never relinks items: each is moved as the search meets it,
     * in one walk over the list, after a first walk has found that every
     * item keeps finite coordinates (when the move could take one past). */
    GcanvasTagSearch *search = nullptr;
    if (gcanvasTagSearchScan(canvas, objv[2], &search) != TCL_OK) {
        gcanvasTagSearchDestroy(search);
        return TCL_ERROR;
    }
    const CoordMap map = {0, 0, 1, 1, dx, dy};
    for (GcanvasItem *item = surelyFinite(map) ? nullptr : gcanvasTagSearchFirst(search); item != nullptr;
         item = gcanvasTagSearchNext(search)) {
        if (refuseNonFinite(interp, item, map) != TCL_OK) {
            gcanvasTagSearchDestroy(search);
            return TCL_ERROR;
        }
    }
    for (GcanvasItem *item = gcanvasTagSearchFirst(search); item != nullptr; item = gcanvasTagSearchNext(search)) {
        gcanvasEventuallyRedrawItem(canvas, item);
        item->type->translateProc(canvas, item, dx, dy);
        gcanvasEventuallyRedrawItem(canvas, item);
        canvas->flags |= GCANVAS_REPICK_NEEDED;
        gcanvasMarkIndexStale(canvas);
    }
    gcanvasTagSearchDestroy(search);
    return TCL_OK;
}

int scaleCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[])
{
    if (objc != 7) {
        Tcl_WrongNumArgs(interp, 2, objv, "tagOrId xOrigin yOrigin xScale yScale");
        return TCL_ERROR;
    }
    double x0, y0, sx, sy;
    if (gcanvasGetCoordFromObj(interp, canvas, objv[3], &x0) != TCL_OK ||
        gcanvasGetCoordFromObj(interp, canvas, objv[4], &y0) != TCL_OK ||
        cGetDoubleFromObj(interp, objv[5], &sx, cAllowInfinite) != TCL_OK ||
        cGetDoubleFromObj(interp, objv[6], &sy, cAllowInfinite) != TCL_OK) {
        return TCL_ERROR;
    }
    if (sx == 0.0 || sy == 0.0) {
        Tcl_SetResult(interp, const_cast<char *>("scale factor cannot be zero"), TCL_STATIC);
        return TCL_ERROR;
    }
    if (!std::isfinite(sx) || !std::isfinite(sy)) {
        Tcl_AppendResult(interp, "Invalid scale factor: \"", Tcl_GetString(objv[std::isfinite(sx) ? 6 : 5]),
                         "\" must be finite", nullptr);
        return TCL_ERROR;
    }
    /* The items are asked as they are gathered, while each one's record
     * is at hand. */
    GcanvasTagSearch *search = nullptr;
    if (gcanvasTagSearchScan(canvas, objv[2], &search) != TCL_OK) {
        gcanvasTagSearchDestroy(search);
        return TCL_ERROR;
    }
    const CoordMap map = {x0, y0, sx, sy, 0, 0};
    const bool ask = !surelyFinite(map);
    Items items;
    for (GcanvasItem *item = gcanvasTagSearchFirst(search); item != nullptr; item = gcanvasTagSearchNext(search)) {
        if (ask && refuseNonFinite(interp, item, map) != TCL_OK) {
            gcanvasTagSearchDestroy(search);
            return TCL_ERROR;
        }
        items.push_back(item);
    }
    gcanvasTagSearchDestroy(search);
    return editGathered(canvas, items, [&](GcanvasItem *item) {
        item->type->scaleProc(canvas, item, x0, y0, sx, sy);
        return TCL_OK;
    });
}

int typeCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[])
{
    if (objc != 3) {
        Tcl_WrongNumArgs(interp, 2, objv, "tag");
        return TCL_ERROR;
    }
    bool ok;
    GcanvasItem *item = gcanvasFirstMatch(canvas, objv[2], &ok);
    if (!ok) {
        return TCL_ERROR;
    }
    if (item != nullptr) {
        Tcl_SetObjResult(interp, Tcl_NewStringObj(item->type->name, -1));
    }
    return TCL_OK;
}

/* xview and yview: report the fractions or move the view. */
int viewCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[], bool x)
{
    Tk_Window tkwin = canvas->tkwin;
    int size = x ? Tk_Width(tkwin) : Tk_Height(tkwin);
    int origin = x ? canvas->xOrigin : canvas->yOrigin;
    double s1 = x ? canvas->scrollX1 : canvas->scrollY1;
    double s2 = x ? canvas->scrollX2 : canvas->scrollY2;
    int increment = x ? canvas->xScrollIncrement : canvas->yScrollIncrement;
    if (objc == 2) {
        char text[TCL_DOUBLE_SPACE * 2 + 2];
        scrollFractions(origin + canvas->inset, origin + size - canvas->inset, s1, s2, text);
        Tcl_SetObjResult(interp, Tcl_NewStringObj(text, -1));
        return TCL_OK;
    }
    double fraction;
    int count;
    int next = origin;
    switch (Tk_GetScrollInfoObj(interp, objc, objv, &fraction, &count)) {
    case TK_SCROLL_MOVETO: next = roundToInt((s2 - s1) * fraction + s1 - canvas->inset); break;
    case TK_SCROLL_PAGES: next = gcanvasTruncToInt(origin + count * 0.9 * (size - 2 * canvas->inset)); break;
    case TK_SCROLL_UNITS:
        next = increment > 0 ? gcanvasTruncToInt(origin + static_cast<double>(count) * increment)
                             : gcanvasTruncToInt(origin + count * 0.1 * (size - 2 * canvas->inset));
        break;
    default: return TCL_ERROR;
    }
    if (x) {
        gcanvasSetOrigin(canvas, next, canvas->yOrigin);
    } else {
        gcanvasSetOrigin(canvas, canvas->xOrigin, next);
    }
    return TCL_OK;
}

int scanCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[])
{
    static const char *const options[] = {"mark", "dragto", nullptr};
    if (objc < 3) {
        Tcl_WrongNumArgs(interp, 2, objv, "mark|dragto x y ?dragGain?");
        return TCL_ERROR;
    }
    int index;
    if (Tcl_GetIndexFromObj(interp, objv[2], options, "scan option", 0, &index) != TCL_OK) {
        return TCL_ERROR;
    }
    if ((index == 0 && objc != 5) || (index == 1 && objc != 5 && objc != 6)) {
        Tcl_WrongNumArgs(interp, 3, objv, index == 0 ? "x y" : "x y ?gain?");
        return TCL_ERROR;
    }
    double x, y, gain = 10.0;
    if (cGetDoubleFromObj(interp, objv[3], &x) != TCL_OK || cGetDoubleFromObj(interp, objv[4], &y) != TCL_OK ||
        (objc == 6 && cGetDoubleFromObj(interp, objv[5], &gain) != TCL_OK)) {
        return TCL_ERROR;
    }
    if (index == 0) {
        canvas->scanX = gcanvasTruncToInt(x);
        canvas->scanY = gcanvasTruncToInt(y);
        canvas->scanXOrigin = canvas->xOrigin;
        canvas->scanYOrigin = canvas->yOrigin;
    } else {
        gcanvasSetOrigin(canvas, gcanvasTruncToInt(canvas->scanXOrigin - gain * (x - canvas->scanX)),
                         gcanvasTruncToInt(canvas->scanYOrigin - gain * (y - canvas->scanY)));
    }
    return TCL_OK;
}

int cgetCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[])
{
    if (objc != 3) {
        Tcl_WrongNumArgs(interp, 2, objv, "option");
        return TCL_ERROR;
    }
    return Tk_ConfigureValue(interp, canvas->tkwin, gcanvasConfigSpecs, reinterpret_cast<char *>(canvas),
                             Tcl_GetString(objv[2]), 0);
}

/* area and length: the sum of one measure over the items that have it;
 * empty when none has; "no finite answer" when the sum is past a double's
 * range. */
template <bool Area>
int measureCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[])
{
    if (objc < 3) {
        Tcl_WrongNumArgs(interp, 2, objv, "tagOrId ?tagOrId ...?");
        return TCL_ERROR;
    }
    double sum = 0;
    bool any = false;
    for (int i = 2; i < objc; i++) {
        Items items;
        if (!gcanvasMatchingItems(canvas, objv[i], items)) {
            return TCL_ERROR;
        }
        for (GcanvasItem *item : items) {
            GcanvasMeasureProc *measure = Area ? item->type->areaMeasureProc : item->type->lengthProc;
            if (measure != nullptr) {
                sum += measure(canvas, item);
                any = true;
            }
        }
    }
    if (any) {
        if (!std::isfinite(sum)) {
            return cNoFiniteAnswer(interp);
        }
        if (Area && canvas->my > 0) {
            sum = -sum;
        }
        char text[TCL_DOUBLE_SPACE];
        Tcl_PrintDouble(interp, gcanvasPlainZero(sum), text);
        Tcl_SetObjResult(interp, Tcl_NewStringObj(text, -1));
    }
    return TCL_OK;
}

/* The centroid of the items weighted by what each one's centroid weighs
 * (its area); with no weight at all, the mean of the items' centroids;
 * "no finite answer" when a number of it is past a double's range. */
int centroidCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[])
{
    if (objc < 3) {
        Tcl_WrongNumArgs(interp, 2, objv, "tagOrId ?tagOrId ...?");
        return TCL_ERROR;
    }
    double sx = 0, sy = 0, weight = 0, mx = 0, my = 0;
    int count = 0;
    for (int i = 2; i < objc; i++) {
        Items items;
        if (!gcanvasMatchingItems(canvas, objv[i], items)) {
            return TCL_ERROR;
        }
        for (GcanvasItem *item : items) {
            if (item->type->centroidProc == nullptr) {
                continue;
            }
            double x, y;
            double w = item->type->centroidProc(canvas, item, &x, &y);
            sx += w * x;
            sy += w * y;
            weight += w;
            mx += x;
            my += y;
            count++;
        }
    }
    if (count == 0) {
        return TCL_OK;
    }
    double values[3] = {weight != 0 ? sx / weight : mx / count, weight != 0 ? sy / weight : my / count,
                        canvas->my > 0 ? -weight : weight};
    if (!cAllFinite(values, 3)) {
        return cNoFiniteAnswer(interp);
    }
    Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
    for (double v : values) {
        char text[TCL_DOUBLE_SPACE];
        Tcl_PrintDouble(interp, gcanvasPlainZero(v), text);
        Tcl_ListObjAppendElement(nullptr, list, Tcl_NewStringObj(text, -1));
    }
    Tcl_SetObjResult(interp, list);
    return TCL_OK;
}

int countCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[])
{
    if (objc < 3) {
        Tcl_WrongNumArgs(interp, 2, objv, "all or type id ...");
        return TCL_ERROR;
    }
    if (objc == 3) {
        Tcl_SetObjResult(interp, Tcl_NewIntObj(canvas->idTable.numEntries));
        return TCL_OK;
    }
    int kind = shapeKindByName(Tcl_GetString(objv[2]));
    if (kind < 0) {
        gcanvasShapeKindError(interp);
        return TCL_ERROR;
    }
    if (kind != SHAPE_LINE && kind != SHAPE_POLYGON && kind != SHAPE_POINT) {
        Tcl_SetResult(interp, const_cast<char *>("Not implemented yet."), TCL_STATIC);
        return TCL_OK;
    }
    int n = 0;
    for (int i = 3; i < objc; i++) {
        Items items;
        if (!gcanvasMatchingItems(canvas, objv[i], items)) {
            return TCL_ERROR;
        }
        for (GcanvasItem *item : items) {
            n += itemShapeKind(item) == kind;
        }
        Tcl_SetObjResult(interp, Tcl_NewIntObj(n));
    }
    return TCL_OK;
}

int addtagCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[])
{
    if (objc < 4) {
        Tcl_WrongNumArgs(interp, 2, objv, "tag searchCommand ?arg arg ...?");
        return TCL_ERROR;
    }
    GcanvasTagSearch *search = nullptr;
    int code = gcanvasFindItems(interp, canvas, objc, objv, objv[2], 3, &search);
    gcanvasTagSearchDestroy(search);
    return code;
}

int findCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[])
{
    if (objc < 3) {
        Tcl_WrongNumArgs(interp, 2, objv, "searchCommand ?arg arg ...?");
        return TCL_ERROR;
    }
    GcanvasTagSearch *search = nullptr;
    int code = gcanvasFindItems(interp, canvas, objc, objv, nullptr, 2, &search);
    gcanvasTagSearchDestroy(search);
    return code;
}

int dtagCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[])
{
    if (objc != 3 && objc != 4) {
        Tcl_WrongNumArgs(interp, 2, objv, "tagOrId ?tagToDelete?");
        return TCL_ERROR;
    }
    Tk_Uid tag = Tk_GetUid(Tcl_GetString(objv[objc - 1]));
    Items items;
    if (!gcanvasMatchingItems(canvas, objv[2], items)) {
        return TCL_ERROR;
    }
    gcanvasMarkIndexStale(canvas);
    for (GcanvasItem *item : items) {
        for (int i = item->numTags - 1; i >= 0; i--) {
            if (item->tags[i] == tag) {
                item->tags[i] = item->tags[--item->numTags];
            }
        }
    }
    return TCL_OK;
}

int gettagsCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[])
{
    if (objc != 3) {
        Tcl_WrongNumArgs(interp, 2, objv, "tagOrId");
        return TCL_ERROR;
    }
    bool ok;
    GcanvasItem *item = gcanvasFirstMatch(canvas, objv[2], &ok);
    if (!ok) {
        return TCL_ERROR;
    }
    if (item != nullptr) {
        Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
        for (int i = 0; i < item->numTags; i++) {
            Tcl_ListObjAppendElement(nullptr, list, Tcl_NewStringObj(item->tags[i], -1));
        }
        Tcl_SetObjResult(interp, list);
    }
    return TCL_OK;
}

/* raise and lower: move the matches to the top or bottom, or next to the
 * last (raise) or first (lower) match of a second tagOrId. */
template <bool Raise>
int restackCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[])
{
    if (objc != 3 && objc != 4) {
        Tcl_WrongNumArgs(interp, 2, objv, Raise ? "tagOrId ?aboveThis?" : "tagOrId ?belowThis?");
        return TCL_ERROR;
    }
    GcanvasItem *prevPtr = Raise ? canvas->lastItem : nullptr;
    if (objc == 4) {
        Items items;
        if (!gcanvasMatchingItems(canvas, objv[3], items)) {
            return TCL_ERROR;
        }
        if (items.empty()) {
            Tcl_AppendResult(interp, Raise ? "tagOrId \"" : "tag \"", Tcl_GetString(objv[3]),
                             "\" doesn't match any items", nullptr);
            return TCL_ERROR;
        }
        prevPtr = Raise ? items.back() : items.front()->prev;
    }
    GcanvasTagSearch *search = nullptr;
    int code = gcanvasRelinkItems(canvas, objv[2], prevPtr, &search);
    gcanvasTagSearchDestroy(search);
    return code;
}

/* canvasx/canvasy and xview/yview: one procedure for either axis. */
template <bool X>
int canvasAxisCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[])
{
    return canvasXY(interp, canvas, objc, objv, X);
}

template <bool X>
int viewAxisCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[])
{
    return viewCmd(interp, canvas, objc, objv, X);
}

using SubcommandProc = int (*)(Tcl_Interp *, GcanvasWidget *, int, Tcl_Obj *const[]);

/* The subcommands in their fixed order; a row without a procedure is
 * not built into this library yet. */
struct Subcommand {
    const char *name;
    SubcommandProc proc;
};

const Subcommand kSubcommands[] = {
    {"addtag", addtagCmd},
    {"area", measureCmd<true>},
    {"assemble", gcanvasAssembleCmd},
    {"bbox", boxCmd<BOX_WORLD>},
    {"bind", gcanvasBindCmd},
    {"canvasx", canvasAxisCmd<true>},
    {"canvasy", canvasAxisCmd<false>},
    {"centroid", centroidCmd},
    {"cget", cgetCmd},
    {"configure", configureCmd},
    {"coords", coordsCmd},
    {"count", countCmd},
    {"create", createCmd},
    {"dbbox", boxCmd<BOX_WORLD_INNER>},
    {"dchars", gcanvasDCharsCmd},
    {"delete", deleteCmd},
    {"disassemble", gcanvasDisassembleCmd},
    {"dtag", dtagCmd},
    {"find", findCmd},
    {"focus", gcanvasFocusCmd},
    {"gettags", gettagsCmd},
    {"group", gcanvasGroupCmd},
    {"icursor", gcanvasIcursorCmd},
    {"index", gcanvasIndexCmd},
    {"insert", gcanvasInsertCmd},
    {"itemcget", itemcgetCmd},
    {"itemconfigure", itemconfigureCmd},
    {"langle", gcanvasLangleCmd},
    {"length", measureCmd<false>},
    {"lower", restackCmd<false>},
    {"mbbox", boxCmd<BOX_CANVAS>},
    {"move", moveCmd},
    {"postscript", gcanvasPostscriptCmd},
    {"raise", restackCmd<true>},
    {"redraw", redrawCmd},
    {"sbbox", boxCmd<BOX_WINDOW>},
    {"scale", scaleCmd},
    {"scan", scanCmd},
    {"select", gcanvasSelectCmd},
    {"type", typeCmd},
    {"vangle", gcanvasVangleCmd},
    {"xview", viewAxisCmd<true>},
    {"yview", viewAxisCmd<false>},
    {nullptr, nullptr},
};

}  // namespace

void gcanvasShapeKindError(Tcl_Interp *interp)
{
    Tcl_AppendResult(interp, "Invalid object type. Should be", nullptr);
    for (int n = 0; shapeKindNameAt(n) != nullptr; n++) {
        Tcl_AppendResult(interp, " ", shapeKindNameAt(n), nullptr);
    }
}

int gcanvasWidgetCmd(ClientData clientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    auto *canvas = static_cast<GcanvasWidget *>(clientData);
    if (objc < 2) {
        Tcl_WrongNumArgs(interp, 1, objv, "option ?arg arg ...?");
        return TCL_ERROR;
    }
    int index;
    if (Tcl_GetIndexFromObjStruct(interp, objv[1], kSubcommands, sizeof(Subcommand), "option", 0, &index) != TCL_OK) {
        return TCL_ERROR;
    }
    const Subcommand &sub = kSubcommands[index];
    Tcl_Preserve(canvas);
    int code = sub.proc(interp, canvas, objc, objv);
    Tcl_Release(canvas);
    return code;
}
