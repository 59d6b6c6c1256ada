/*
 * disassemble.cpp --
 *
 *	Object items split into plain items: every record of the SHAPE object
 *	an object item shows, selected or not, becomes a polygon, line or
 *	symbol item of its own with the object item's outline and fills,
 *	tagged NAME.RECORD and "disassembled" (the object type's
 *	disassembleProc); and the widget's disassemble subcommand, which
 *	answers the ids of the items made.
 */
#include <iterator>
#include <string>
#include <unordered_set>
#include <vector>
#include "canvas/canvasint.h"
#include "canvas/objectint.h"
#include "canvas/outline.h"
#include "canvas/tagsearch.h"
#include "runtime/shapeapi.h"

namespace objectitem {

namespace {

/* The item type each record kind becomes, in the canvas's type list. */
struct KindType {
    int kind;
    const char *name;
};
constexpr KindType kKindTypes[] = {{SHAPE_POINT, "symbol"}, {SHAPE_LINE, "line"}, {SHAPE_POLYGON, "polygon"}};

/* Fills the geometry of desc from a record's points and part counts:
 * the points as one list for a point record, else by parts. False when
 * the part counts do not account for the points exactly, which no item
 * could be made from safely. */
bool describe(int kind, const double *points, int nPoints, const int *parts, int nParts, GcanvasGeometryDesc &desc)
{
    desc.points = points;
    desc.partCounts = nullptr;
    desc.count = points != nullptr && nPoints > 0 ? nPoints : 0;
    if (kind == SHAPE_POINT || desc.count == 0) {
        return true;
    }
    if (parts == nullptr || nParts <= 0) {
        return false;
    }
    long long total = 0;
    for (int k = 0; k < nParts; k++) {
        if (parts[k] < 1) {
            return false;
        }
        total += parts[k];
    }
    desc.partCounts = parts;
    desc.count = nParts;
    return total == nPoints;
}

/* The tag list of record id of the object name: NAME.ID and
 * "disassembled", quoted as a list whatever the name holds. */
std::string recordTags(const char *name, int id)
{
    Tcl_Obj *words[] = {Tcl_ObjPrintf("%s.%d", name, id), Tcl_NewStringObj("disassembled", -1)};
    Tcl_Obj *list = Tcl_NewListObj(2, words);
    Tcl_IncrRefCount(list);
    std::string text = Tcl_GetString(list);
    Tcl_DecrRefCount(list);
    return text;
}

}  // namespace

/*
 * objectDisassemble --
 *	Makes one item for each point, line or polygon record of the item's
 *	object, last in the display list, at the records' own coordinates
 *	(the item's translation is not added). An item without an object
 *	makes nothing. A record that no item could be made of is left out
 *	and the rest made; then TCL_ERROR with "Error in disassemble: records
 *	N ... of NAME were refused" in interp. The object item is unchanged.
 */
int objectDisassemble(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item)
{
    ObjectItem *o = asObject(item);
    RAMOBJ *obj = o->object;
    if (obj == nullptr) {
        return TCL_OK;
    }
    GcanvasDescStyle style{o->outline, o->joinStyle, o->capStyle, o->splineSteps, o->smooth};
    GcanvasGeometryDesc desc{};
    desc.style = &style;
    desc.fillColor = o->fillColor;
    desc.activeFillColor = o->activeFillColor;
    desc.disabledFillColor = o->disabledFillColor;
    const char *name = o->objectName != nullptr ? o->objectName : "";
    constexpr size_t kinds = std::size(kKindTypes);
    GcanvasItemType *types[kinds];
    for (size_t k = 0; k < kinds; k++) {
        types[k] = gcanvasItemTypeByName(canvas, kKindTypes[k].name);
    }
    const ShapeOps *ops = opsOf(obj);
    std::string refused;
    int count = obj->count(obj);
    for (int i = 0; i < count; i++) {
        int kind = 0, nParts = 0, nPoints = 0;
        const int *parts = ops->parts(obj, i, &kind, &nParts);
        size_t k = 0;
        while (k < kinds && kKindTypes[k].kind != kind) {
            k++;
        }
        if (k == kinds) {
            continue; /* a kind no item shows */
        }
        const double *points = ops->points(obj, i, &nPoints);
        int id = ops->recordId(obj, i);
        GcanvasItemType *type = types[k];
        if (type == nullptr || !describe(kind, points, nPoints, parts, nParts, desc) ||
            gcanvasCreateItemFromDesc(canvas, interp, type, &desc, recordTags(name, id).c_str()) == nullptr) {
            refused += " " + std::to_string(id);
        }
    }
    /* What a refusing type said is summed up by the list of records. */
    Tcl_ResetResult(interp);
    if (!refused.empty()) {
        Tcl_AppendResult(interp, "Error in disassemble: records", refused.c_str(), " of ", name, " were refused",
                         nullptr);
        return TCL_ERROR;
    }
    return TCL_OK;
}

}  // namespace objectitem

/*
 * gcanvasDisassembleCmd --
 *	WIDGET disassemble ?tagOrId ...?: splits every item that any argument
 *	matches (once each) and whose type splits; the result is the list of
 *	the new items' ids. A search error splits nothing. When a split
 *	refused records, the others are still made and the first such error
 *	is the result.
 */
int gcanvasDisassembleCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[])
{
    std::vector<GcanvasItem *> matches, targets;
    for (int i = 2; i < objc; i++) {
        if (!gcanvasMatchingItems(canvas, objv[i], matches)) {
            return TCL_ERROR;
        }
    }
    std::unordered_set<GcanvasItem *> seen;
    for (GcanvasItem *item : matches) {
        if (item->type->disassembleProc != nullptr && seen.insert(item).second) {
            targets.push_back(item);
        }
    }
    Tcl_Obj *ids = Tcl_NewListObj(0, nullptr);
    Tcl_Obj *error = nullptr;
    for (GcanvasItem *item : targets) {
        /* The items made take the ids from here on, one each. */
        int first = canvas->nextId;
        int code = item->type->disassembleProc(interp, canvas, item);
        for (int id = first; id < canvas->nextId; id++) {
            Tcl_ListObjAppendElement(nullptr, ids, Tcl_NewIntObj(id));
        }
        if (code != TCL_OK && error == nullptr) {
            error = Tcl_GetObjResult(interp);
            Tcl_IncrRefCount(error);
        }
    }
    if (error != nullptr) {
        Tcl_DecrRefCount(ids);
        Tcl_SetObjResult(interp, error);
        Tcl_DecrRefCount(error);
        return TCL_ERROR;
    }
    Tcl_SetObjResult(interp, ids);
    return TCL_OK;
}
