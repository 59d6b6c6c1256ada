/*
 * assemble.cpp --
 *
 *	Items back into shape objects (assemble: the points and part counts of
 *	line, polygon and point items appended as records of a SHAPE object,
 *	polygon rings turned the way shapefiles order outer rings and holes),
 *	and the vertex and segment angles of items (vangle, langle), which ask
 *	the first matching item's type through its angle slots.
 */
#include <algorithm>
#include <vector>
#include "canvas/canvasint.h"
#include "canvas/coords.h"
#include "canvas/geometry.h"
#include "canvas/tagsearch.h"
#include "runtime/cnumber.h"
#include "runtime/shapeapi.h"
#include "tesk.h"

namespace {

void appendDouble(Tcl_Interp *interp, Tcl_Obj *list, double v)
{
    char text[TCL_DOUBLE_SPACE];
    Tcl_PrintDouble(interp, gcanvasPlainZero(v), text);
    Tcl_ListObjAppendElement(nullptr, list, Tcl_NewStringObj(text, -1));
}

/* One ring of a polygon's points: where it starts, its points, its box. */
struct Ring {
    size_t start; /* index of its first x */
    int count;
    double box[4];
};

/* True when ring a lies within ring b: a's box is within b's and the
 * first of a's points that is off b's edges lies inside b. */
bool ringWithin(const std::vector<double> &xy, const Ring &a, const Ring &b)
{
    if (a.box[0] < b.box[0] || a.box[1] < b.box[1] || a.box[2] > b.box[2] || a.box[3] > b.box[3]) {
        return false;
    }
    for (int k = 0; k < a.count; k++) {
        GcanvasRingsHit hit = gcanvasRingsHit(&xy[b.start], &b.count, 1, &xy[a.start + 2 * k]);
        if (hit.edge > 0) {
            return hit.inside > 0;
        }
    }
    return false;
}

/*
 * The points of a polygon's rings in the order shapefiles keep: a ring
 * within an even number of the others (an outer ring or an island) runs
 * clockwise, one within an odd number (a hole) counter-clockwise, with y
 * growing upwards. A ring turned keeps its first point. Rings of fewer
 * than three points stay as they are and hold no other ring.
 */
std::vector<double> shapefileRings(const double *points, int nPoints, const int *parts, int nParts)
{
    std::vector<double> xy(points, points + 2 * static_cast<size_t>(std::max(nPoints, 0)));
    std::vector<Ring> rings;
    int start = 0;
    for (int k = 0; k < (parts != nullptr ? nParts : 1) && start < nPoints; k++) {
        int c = std::min(parts != nullptr ? parts[k] : nPoints, nPoints - start);
        if (c >= 3) {
            Ring r{2 * static_cast<size_t>(start), c, {}};
            pointsBBox(&xy[r.start], c, r.box);
            rings.push_back(r);
        }
        start += std::max(c, 0);
    }
    for (const Ring &r : rings) {
        int depth = 0;
        for (const Ring &other : rings) {
            depth += &other != &r && ringWithin(xy, r, other);
        }
        double area = polygonSignedArea(&xy[r.start], r.count);
        if (area != 0 && (area > 0) != (depth % 2 == 0)) {
            /* Reverse the points after the first (and before a closing
             * repeat of it). */
            double *first = &xy[r.start];
            double *last = first + 2 * (r.count - 1);
            int end = first[0] == last[0] && first[1] == last[1] ? r.count - 1 : r.count;
            for (int a = 1, b = end - 1; a < b; a++, b--) {
                std::swap(first[2 * a], first[2 * b]);
                std::swap(first[2 * a + 1], first[2 * b + 1]);
            }
        }
    }
    return xy;
}

/* Appends the records of the items that objv[first..objc) name and whose
 * kind is kind; *added counts them. TCL_ERROR on a search error or a
 * record the object refused (records added before it stay). */
int addItemRecords(Tcl_Interp *interp, GcanvasWidget *canvas, RAMOBJ *obj, int kind, int objc, Tcl_Obj *const objv[],
                   int first, int *added)
{
    const auto *ops = static_cast<const ShapeOps *>(obj->extension);
    for (int i = first; i < objc; i++) {
        std::vector<GcanvasItem *> items;
        if (!gcanvasMatchingItems(canvas, objv[i], items)) {
            return TCL_ERROR;
        }
        for (GcanvasItem *item : items) {
            const GcanvasItemType *type = item->type;
            if (itemShapeKind(item) != kind || type->getCoordsProc == nullptr || type->getPartsProc == nullptr) {
                continue;
            }
            int nPoints = 0, nParts = 0;
            const double *points = type->getCoordsProc(item, &nPoints);
            const int *parts = type->getPartsProc(item, &nParts);
            std::vector<double> turned;
            if (kind == SHAPE_POLYGON) {
                turned = shapefileRings(points, nPoints, parts, nParts);
                points = turned.data();
            }
            /* A POINT record holds one point: a point item gives one
             * record per point. */
            int records = kind == SHAPE_POINT ? nPoints : 1;
            for (int r = 0; r < records; r++) {
                const ShapeRecord *record =
                    kind == SHAPE_POINT
                        ? ops->addRecord(obj, -1, points + 2 * r, 1, nullptr, 0, nullptr, nullptr, nullptr)
                        : ops->addRecord(obj, -1, points, nPoints, parts, nParts, nullptr, nullptr, nullptr);
                if (record == nullptr) {
                    Tcl_SetObjResult(
                        interp, Tcl_ObjPrintf("Error in assemble: the record of item %d was refused", item->id));
                    return TCL_ERROR;
                }
                (*added)++;
            }
        }
    }
    return TCL_OK;
}

}  // namespace

/*
 * gcanvasAssembleCmd --
 *	WIDGET assemble object type id ...: appends one record per matching
 *	line, polygon or point item of that kind to the SHAPE object, making
 *	the object an empty shapefile of the kind first when it holds none.
 *	The result is the number of records added; kinds other than POINT,
 *	LINE and POLYGON answer "Not implemented yet.". Listeners of the
 *	object are told when it changed.
 */
int gcanvasAssembleCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[])
{
    if (objc < 5) {
        Tcl_WrongNumArgs(interp, 2, objv, "object type id ...");
        return TCL_ERROR;
    }
    RAMOBJ *obj = nullptr;
    if (openObject(interp, RAMOBJ_SHAPE, Tcl_GetString(objv[2]), &obj) != 0) {
        return TCL_ERROR;
    }
    int code = TCL_OK;
    bool changed = false;
    int added = 0;
    const auto *ops = static_cast<const ShapeOps *>(obj->extension);
    int kind = shapeKindByName(Tcl_GetString(objv[3]));
    if (kind < 0) {
        gcanvasShapeKindError(interp);
        code = TCL_ERROR;
    } else if (ops == nullptr || obj->subtype == nullptr) {
        Tcl_AppendResult(interp, "Invalid object: ", Tcl_GetString(objv[2]), nullptr);
        code = TCL_ERROR;
    } else if (obj->payload == nullptr && ops->initialize(obj, kind, nullptr, nullptr, 0) == nullptr) {
        Tcl_SetResult(interp, const_cast<char *>("Error in assemble: the shapefile could not be made"), TCL_STATIC);
        code = TCL_ERROR;
    } else if (obj->subtype(obj) != kind) {
        Tcl_SetResult(interp, const_cast<char *>("The object is different from the specified type"), TCL_STATIC);
        code = TCL_ERROR;
    } else if (kind != SHAPE_LINE && kind != SHAPE_POLYGON && kind != SHAPE_POINT) {
        Tcl_SetResult(interp, const_cast<char *>("Not implemented yet."), TCL_STATIC);
    } else {
        code = addItemRecords(interp, canvas, obj, kind, objc, objv, 4, &added);
        changed = added > 0;
        if (code == TCL_OK) {
            Tcl_SetObjResult(interp, Tcl_NewIntObj(added));
        }
    }
    if (changed) {
        objUpdate(obj);
    }
    closeObject(obj);
    return code;
}

/*
 * gcanvasVangleCmd --
 *	WIDGET vangle tagOrId vertexindex ?vertexindex...?: the angle at each
 *	vertex of the first matching item, when its type measures them; empty
 *	otherwise.
 */
int gcanvasVangleCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[])
{
    if (objc < 4) {
        Tcl_WrongNumArgs(interp, 2, objv, "tagOrId vertexindex ?vertexindex...?");
        return TCL_ERROR;
    }
    bool ok;
    GcanvasItem *item = gcanvasFirstMatch(canvas, objv[2], &ok);
    if (!ok) {
        return TCL_ERROR;
    }
    if (item == nullptr || item->type->vertexAngleProc == nullptr) {
        return TCL_OK;
    }
    Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
    for (int i = 3; i < objc; i++) {
        int vertex;
        if (Tcl_GetIntFromObj(interp, objv[i], &vertex) != TCL_OK) {
            Tcl_DecrRefCount(list);
            return TCL_ERROR;
        }
        appendDouble(interp, list, item->type->vertexAngleProc(canvas, item, vertex));
    }
    Tcl_SetObjResult(interp, list);
    return TCL_OK;
}

/*
 * gcanvasLangleCmd --
 *	WIDGET langle tagOrId pIndex ?pIndex...?: for each fractional segment
 *	index, the angle of that segment and the point at that index (three
 *	elements), from the first matching item when its type measures them;
 *	empty otherwise.
 */
int gcanvasLangleCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[])
{
    if (objc < 4) {
        Tcl_WrongNumArgs(interp, 2, objv, "tagOrId pIndex ?pIndex...?");
        return TCL_ERROR;
    }
    bool ok;
    GcanvasItem *item = gcanvasFirstMatch(canvas, objv[2], &ok);
    if (!ok) {
        return TCL_ERROR;
    }
    if (item == nullptr || item->type->lineAngleProc == nullptr) {
        return TCL_OK;
    }
    Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
    for (int i = 3; i < objc; i++) {
        double index;
        if (cGetDoubleFromObj(interp, objv[i], &index) != TCL_OK) {
            Tcl_DecrRefCount(list);
            return TCL_ERROR;
        }
        double x = 0, y = 0;
        double angle = item->type->lineAngleProc(canvas, item, index, &x, &y);
        appendDouble(interp, list, angle);
        appendDouble(interp, list, x);
        appendDouble(interp, list, y);
    }
    Tcl_SetObjResult(interp, list);
    return TCL_OK;
}
