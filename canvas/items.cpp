/*
 * items.cpp --
 *
 *	The item types of the geo canvas in their fixed order, the lookup of
 *	a type, and the creation, linking and deletion of items.
 */
#include <cstdint>
#include <cstring>
#include <vector>
#include "canvas/canvasint.h"
#include "canvas/outline.h"
#include "tesk.h"

namespace {

/* The types in list order. */
GcanvasItemType *const kTypes[] = {
    &gcanvasRectangleType, &gcanvasTextType, &gcanvasLineType,  &gcanvasPolygonType, &gcanvasImageType,
    &gcanvasOvalType,      &gcanvasBitmapType, &gcanvasArcType, &gcanvasGtextType,   &gcanvasGroupType,
    &gcanvasSymbolType,    &gcanvasWindowType, &gcanvasObjectType,
};

GcanvasItemType *typeList = nullptr;
bool typesBuilt = false;

/* The uids of the tag search, made with the type list. */
const char *const kSearchUids[] = {"all", "current", "&&", "||", "^", "(", ")", "!(", "!!", "!"};

void initHeader(GcanvasWidget *canvas, GcanvasItem *item, GcanvasItemType *type)
{
    std::memset(item, 0, static_cast<size_t>(type->itemSize));
    item->id = canvas->nextId;
    item->tags = item->staticTagSpace;
    item->tagSpace = 3;
    item->numTags = 0;
    item->type = type;
    item->state = GCANVAS_STATE_INHERIT;
}

/* Links a new item at the top, enters its id and schedules its drawing. */
void linkItem(GcanvasWidget *canvas, GcanvasItem *item)
{
    int isNew;
    Tcl_HashEntry *entry =
        Tcl_CreateHashEntry(&canvas->idTable, reinterpret_cast<char *>(static_cast<intptr_t>(item->id)), &isNew);
    Tcl_SetHashValue(entry, item);
    item->next = nullptr;
    item->prev = canvas->lastItem;
    canvas->hotPrevItem = canvas->lastItem;
    canvas->hotItem = item;
    if (canvas->lastItem == nullptr) {
        canvas->firstItem = item;
    } else {
        canvas->lastItem->next = item;
    }
    canvas->lastItem = item;
    item->redrawFlags |= GCANVAS_ITEM_REDRAW_REGISTERED;
    gcanvasEventuallyRedrawItem(canvas, item);
    canvas->flags |= GCANVAS_REPICK_NEEDED;
    gcanvasMarkIndexStale(canvas);
}

}  // namespace

void gcanvasInitTypes()
{
    if (typesBuilt) {
        return;
    }
    typesBuilt = true;
    GcanvasItemType **tail = &typeList;
    for (GcanvasItemType *type : kTypes) {
        *tail = type;
        type->nextPtr = nullptr;
        tail = &type->nextPtr;
    }
    for (const char *uid : kSearchUids) {
        Tk_GetUid(uid);
    }
}

GcanvasItemType *gcanvasFirstType()
{
    return typeList;
}

GcanvasItemType *gcanvasTypeForCreate(Tcl_Interp *interp, const char *word)
{
    size_t length = std::strlen(word);
    GcanvasItemType *match = nullptr;
    int matches = 0;
    for (GcanvasItemType *type : kTypes) {
        if (word[0] == type->name[0] && std::strncmp(word, type->name, length) == 0) {
            match = type;
            matches++;
        }
    }
    if (matches != 1) {
        Tcl_AppendResult(interp, "unknown or ambiguous item type \"", word, "\"", nullptr);
        return nullptr;
    }
    return match;
}

GcanvasItemType *gcanvasItemTypeByName(GcanvasWidget *, const char *name)
{
    for (GcanvasItemType *type = typeList; type != nullptr; type = type->nextPtr) {
        if (std::strcmp(type->name, name) == 0) {
            return type;
        }
    }
    return nullptr;
}

int gcanvasCreateItem(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItemType *type, int objc, Tcl_Obj *const objv[])
{
    auto *item = static_cast<GcanvasItem *>(gmemAlloc(static_cast<size_t>(type->itemSize)));
    if (item == nullptr) {
        Tcl_SetResult(interp, const_cast<char *>("Error in create: out of memory"), TCL_STATIC);
        return TCL_ERROR;
    }
    initHeader(canvas, item, type);
    if (type->createProc(interp, canvas, item, objc, objv) != TCL_OK) {
        gcanvasFreeItemRecord(item);
        return TCL_ERROR;
    }
    linkItem(canvas, item);
    Tcl_SetObjResult(interp, Tcl_NewIntObj(item->id));
    canvas->nextId++;
    return TCL_OK;
}

GcanvasItem *gcanvasCreateItemFromDesc(GcanvasWidget *canvas, Tcl_Interp *interp, GcanvasItemType *type,
                                       const GcanvasGeometryDesc *desc, const char *tags)
{
    if (type->createFromDescProc == nullptr) {
        return nullptr;
    }
    auto *item = static_cast<GcanvasItem *>(gmemAlloc(static_cast<size_t>(type->itemSize)));
    if (item == nullptr) {
        return nullptr;
    }
    initHeader(canvas, item, type);
    if (type->createFromDescProc(interp, canvas, item, desc) != TCL_OK) {
        gcanvasFreeItemRecord(item);
        return nullptr;
    }
    if (tags != nullptr &&
        gcanvasTagsParse(nullptr, interp, canvas->tkwin, tags, reinterpret_cast<char *>(item), 0) != TCL_OK) {
        if (type->deleteProc != nullptr) {
            type->deleteProc(canvas, item, canvas->display);
        }
        gcanvasFreeItemRecord(item);
        return nullptr;
    }
    linkItem(canvas, item);
    canvas->nextId++;
    return item;
}

namespace {

void freeItemRecord(char *block)
{
    auto *item = reinterpret_cast<GcanvasItem *>(block);
    if (item->tags != item->staticTagSpace) {
        gmemFree(item->tags);
    }
    gmemFree(item);
}

/* ---- records held while items run scripts ---- */

int holdDepth = 0;                      /* nested holds in force */
std::vector<GcanvasItem *> heldRecords; /* deleted meanwhile, preserved */
bool releasePosted = false;             /* releaseHeld is scheduled */

/* What a held record does when a loop meets it again: nothing. */
int deletedConfigure(Tcl_Interp *, GcanvasWidget *, GcanvasItem *, int, Tcl_Obj *const *, int)
{
    return TCL_OK;
}
int deletedCoords(Tcl_Interp *, GcanvasWidget *, GcanvasItem *, int, Tcl_Obj *const *)
{
    return TCL_OK;
}
void deletedDisplay(GcanvasWidget *, GcanvasItem *, Display *, Drawable, int, int, int, int) {}
double deletedToPoint(GcanvasWidget *, GcanvasItem *, double *)
{
    return 1.0e36;
}
int deletedToArea(GcanvasWidget *, GcanvasItem *, double *)
{
    return -1;
}
void deletedScale(GcanvasWidget *, GcanvasItem *, double, double, double, double) {}
void deletedTranslate(GcanvasWidget *, GcanvasItem *, double, double) {}
void deletedBbox(GcanvasWidget *, GcanvasItem *) {}

GcanvasItemType makeDeletedType()
{
    GcanvasItemType t;
    std::memset(&t, 0, sizeof t);
    t.name = "deleted";
    t.configProc = deletedConfigure;
    t.coordProc = deletedCoords;
    t.displayProc = deletedDisplay;
    t.pointProc = deletedToPoint;
    t.areaProc = deletedToArea;
    t.scaleProc = deletedScale;
    t.translateProc = deletedTranslate;
    t.bboxProc = deletedBbox;
    return t;
}

GcanvasItemType deletedType = makeDeletedType();

/* At idle time, with no hold in force, the held records are let go (a
 * hold still in force posts this again when it ends). */
void releaseHeld(ClientData)
{
    releasePosted = false;
    if (holdDepth > 0) {
        return;
    }
    std::vector<GcanvasItem *> held;
    held.swap(heldRecords);
    for (GcanvasItem *item : held) {
        Tcl_Release(item);
    }
}

void postRelease()
{
    if (!releasePosted && !heldRecords.empty()) {
        releasePosted = true;
        Tcl_DoWhenIdle(releaseHeld, nullptr);
    }
}

}  // namespace

void gcanvasHoldDeletedItems(int hold)
{
    holdDepth += hold ? 1 : -1;
    if (holdDepth == 0) {
        postRelease();
    }
}

void gcanvasFreeItemRecord(GcanvasItem *item)
{
    if (holdDepth > 0) {
        item->type = &deletedType;
        Tcl_Preserve(item);
        heldRecords.push_back(item);
        postRelease();
    }
    Tcl_EventuallyFree(item, freeItemRecord);
}

void gcanvasDeleteItem(GcanvasWidget *canvas, GcanvasItem *item)
{
    gcanvasMarkIndexStale(canvas);
    gcanvasEventuallyRedrawItem(canvas, item);
    if (canvas->bindingTable != nullptr) {
        Tk_DeleteAllBindings(canvas->bindingTable, item);
    }
    if (item->type->deleteProc != nullptr) {
        item->type->deleteProc(canvas, item, canvas->display);
    }
    Tcl_HashEntry *entry =
        Tcl_FindHashEntry(&canvas->idTable, reinterpret_cast<char *>(static_cast<intptr_t>(item->id)));
    if (entry != nullptr) {
        Tcl_DeleteHashEntry(entry);
    }
    if (item->next != nullptr) {
        item->next->prev = item->prev;
    }
    if (item->prev != nullptr) {
        item->prev->next = item->next;
    }
    if (canvas->firstItem == item) {
        canvas->firstItem = item->next;
        if (canvas->firstItem == nullptr) {
            canvas->lastItem = nullptr;
        }
    }
    if (canvas->lastItem == item) {
        canvas->lastItem = item->prev;
    }
    if (canvas->currentItem == item) {
        canvas->currentItem = nullptr;
        canvas->flags |= GCANVAS_REPICK_NEEDED;
    }
    if (canvas->newCurrentItem == item) {
        canvas->newCurrentItem = nullptr;
        canvas->flags |= GCANVAS_REPICK_NEEDED;
    }
    if (canvas->textInfo.focusItemPtr == item) {
        canvas->textInfo.focusItemPtr = nullptr;
    }
    if (canvas->textInfo.selItemPtr == item) {
        canvas->textInfo.selItemPtr = nullptr;
    }
    if (canvas->textInfo.anchorItemPtr == item) {
        canvas->textInfo.anchorItemPtr = nullptr;
    }
    if (canvas->hotItem == item || canvas->hotPrevItem == item) {
        canvas->hotItem = nullptr;
    }
    gcanvasFreeItemRecord(item);
}

GcanvasItem *gcanvasItemById(GcanvasWidget *canvas, int id)
{
    Tcl_HashEntry *entry = Tcl_FindHashEntry(&canvas->idTable, reinterpret_cast<char *>(static_cast<intptr_t>(id)));
    return entry != nullptr ? static_cast<GcanvasItem *>(Tcl_GetHashValue(entry)) : nullptr;
}

bool gcanvasItemHidden(const GcanvasWidget *canvas, const GcanvasItem *item)
{
    return item->state == GCANVAS_STATE_HIDDEN ||
           (item->state == GCANVAS_STATE_INHERIT && canvas->canvasState == GCANVAS_STATE_HIDDEN);
}
