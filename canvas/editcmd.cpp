/*
 * editcmd.cpp --
 *
 *	The editing words of the gcanvas command: focus, icursor, index,
 *	insert, dchars and select. Each hands index words to the item type's
 *	index procedure and works only on types that have the procedures the
 *	word needs.
 */
#include <vector>
#include <X11/Xatom.h>
#include "canvas/canvasint.h"
#include "canvas/tagsearch.h"

namespace {

using Items = std::vector<GcanvasItem *>;

int itemIndex(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, Tcl_Obj *word, int *index)
{
    return item->type->indexProc(interp, canvas, item, word, index);
}

/* insert and dchars: the old area and the new one are redrawn unless the
 * item's procedure has seen to its redrawing itself. */
template <typename Edit>
void editText(GcanvasWidget *canvas, GcanvasItem *item, Edit edit)
{
    double x1 = item->x1, y1 = item->y1, x2 = item->x2, y2 = item->y2;
    item->redrawFlags &= ~GCANVAS_ITEM_DONT_REDRAW;
    edit();
    if (!(item->redrawFlags & GCANVAS_ITEM_DONT_REDRAW)) {
        gcanvasEventuallyRedraw(canvas, x1, y1, x2, y2, 1);
        gcanvasEventuallyRedrawItem(canvas, item);
    }
    item->redrawFlags &= ~GCANVAS_ITEM_DONT_REDRAW;
}

}  // namespace

int gcanvasFocusCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[])
{
    if (objc > 3) {
        Tcl_WrongNumArgs(interp, 2, objv, "?tagOrId?");
        return TCL_ERROR;
    }
    GcanvasTextInfo &text = canvas->textInfo;
    if (objc == 2) {
        if (text.focusItemPtr != nullptr) {
            Tcl_SetObjResult(interp, Tcl_NewIntObj(text.focusItemPtr->id));
        }
        return TCL_OK;
    }
    if (text.focusItemPtr != nullptr && text.gotFocus) {
        gcanvasEventuallyRedrawItem(canvas, text.focusItemPtr);
    }
    if (Tcl_GetString(objv[2])[0] == '\0') {
        text.focusItemPtr = nullptr;
        return TCL_OK;
    }
    Items items;
    if (!gcanvasMatchingItems(canvas, objv[2], items)) {
        return TCL_ERROR;
    }
    for (GcanvasItem *item : items) {
        if (item->type->icursorProc != nullptr) {
            text.focusItemPtr = item;
            if (text.gotFocus) {
                gcanvasEventuallyRedrawItem(canvas, item);
            }
            break;
        }
    }
    return TCL_OK;
}

int gcanvasIcursorCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[])
{
    if (objc != 4) {
        Tcl_WrongNumArgs(interp, 2, objv, "tagOrId index");
        return TCL_ERROR;
    }
    Items items;
    if (!gcanvasMatchingItems(canvas, objv[2], items)) {
        return TCL_ERROR;
    }
    for (GcanvasItem *item : items) {
        if (item->type->indexProc == nullptr || item->type->icursorProc == nullptr) {
            break;
        }
        int index;
        if (itemIndex(interp, canvas, item, objv[3], &index) != TCL_OK) {
            return TCL_ERROR;
        }
        item->type->icursorProc(canvas, item, index);
        if (item == canvas->textInfo.focusItemPtr && canvas->textInfo.cursorOn) {
            gcanvasEventuallyRedrawItem(canvas, item);
        }
    }
    return TCL_OK;
}

int gcanvasIndexCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[])
{
    if (objc != 4) {
        Tcl_WrongNumArgs(interp, 2, objv, "tagOrId string");
        return TCL_ERROR;
    }
    Items items;
    if (!gcanvasMatchingItems(canvas, objv[2], items)) {
        return TCL_ERROR;
    }
    for (GcanvasItem *item : items) {
        if (item->type->indexProc != nullptr) {
            int index;
            if (itemIndex(interp, canvas, item, objv[3], &index) != TCL_OK) {
                return TCL_ERROR;
            }
            Tcl_SetObjResult(interp, Tcl_NewIntObj(index));
            return TCL_OK;
        }
    }
    Tcl_AppendResult(interp, "can't find an indexable item \"", Tcl_GetString(objv[2]), "\"", nullptr);
    return TCL_ERROR;
}

int gcanvasInsertCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[])
{
    if (objc != 5) {
        Tcl_WrongNumArgs(interp, 2, objv, "tagOrId beforeThis string");
        return TCL_ERROR;
    }
    Items items;
    if (!gcanvasMatchingItems(canvas, objv[2], items)) {
        return TCL_ERROR;
    }
    for (GcanvasItem *item : items) {
        if (item->type->indexProc == nullptr || item->type->insertProc == nullptr) {
            continue;
        }
        int before;
        if (itemIndex(interp, canvas, item, objv[3], &before) != TCL_OK) {
            return TCL_ERROR;
        }
        editText(canvas, item, [&] { item->type->insertProc(canvas, item, before, objv[4]); });
    }
    return TCL_OK;
}

int gcanvasDCharsCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[])
{
    if (objc != 4 && objc != 5) {
        Tcl_WrongNumArgs(interp, 2, objv, "tagOrId first ?last?");
        return TCL_ERROR;
    }
    Items items;
    if (!gcanvasMatchingItems(canvas, objv[2], items)) {
        return TCL_ERROR;
    }
    for (GcanvasItem *item : items) {
        if (item->type->indexProc == nullptr || item->type->dCharsProc == nullptr) {
            continue;
        }
        int first, last;
        if (itemIndex(interp, canvas, item, objv[3], &first) != TCL_OK) {
            return TCL_ERROR;
        }
        last = first;
        if (objc == 5 && itemIndex(interp, canvas, item, objv[4], &last) != TCL_OK) {
            return TCL_ERROR;
        }
        editText(canvas, item, [&] { item->type->dCharsProc(canvas, item, first, last); });
    }
    return TCL_OK;
}

void gcanvasLostSelection(ClientData clientData)
{
    auto *canvas = static_cast<GcanvasWidget *>(clientData);
    if (canvas->textInfo.selItemPtr != nullptr) {
        gcanvasEventuallyRedrawItem(canvas, canvas->textInfo.selItemPtr);
    }
    canvas->textInfo.selItemPtr = nullptr;
}

int gcanvasFetchSelection(ClientData clientData, int offset, char *buffer, int maxBytes)
{
    auto *canvas = static_cast<GcanvasWidget *>(clientData);
    GcanvasItem *item = canvas->textInfo.selItemPtr;
    if (item == nullptr || item->type->selectionProc == nullptr) {
        return -1;
    }
    return item->type->selectionProc(canvas, item, offset, buffer, maxBytes);
}

void gcanvasSelectTo(GcanvasWidget *canvas, GcanvasItem *item, int index)
{
    GcanvasTextInfo &text = canvas->textInfo;
    int oldFirst = text.selectFirst, oldLast = text.selectLast;
    GcanvasItem *oldItem = text.selItemPtr;
    if (text.selItemPtr == nullptr) {
        Tk_OwnSelection(canvas->tkwin, XA_PRIMARY, gcanvasLostSelection, canvas);
    } else if (text.selItemPtr != item) {
        gcanvasEventuallyRedrawItem(canvas, text.selItemPtr);
    }
    text.selItemPtr = item;
    if (text.anchorItemPtr != item) {
        text.anchorItemPtr = item;
        text.selectAnchor = index;
    }
    if (text.selectAnchor <= index) {
        text.selectFirst = text.selectAnchor;
        text.selectLast = index;
    } else {
        text.selectFirst = index;
        text.selectLast = text.selectAnchor - 1;
    }
    if (text.selectFirst != oldFirst || text.selectLast != oldLast || item != oldItem) {
        gcanvasEventuallyRedrawItem(canvas, item);
    }
}

/*
 * select adjust|clear|from|item|to: the forms that name an item need one
 * whose type has index and selection procedures.
 */
int gcanvasSelectCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[])
{
    static const char *const options[] = {"adjust", "clear", "from", "item", "to", nullptr};
    enum { SELECT_ADJUST, SELECT_CLEAR, SELECT_FROM, SELECT_ITEM, SELECT_TO };
    if (objc < 3) {
        Tcl_WrongNumArgs(interp, 2, objv, "option ?tagOrId? ?arg?");
        return TCL_ERROR;
    }
    GcanvasTextInfo &text = canvas->textInfo;
    GcanvasItem *item = nullptr;
    if (objc >= 4) {
        Items items;
        if (!gcanvasMatchingItems(canvas, objv[3], items)) {
            return TCL_ERROR;
        }
        for (GcanvasItem *candidate : items) {
            if (candidate->type->indexProc != nullptr && candidate->type->selectionProc != nullptr) {
                item = candidate;
                break;
            }
        }
        if (item == nullptr) {
            Tcl_AppendResult(interp, "can't find an indexable and selectable item \"", Tcl_GetString(objv[3]), "\"",
                             nullptr);
            return TCL_ERROR;
        }
    }
    int index = 0;
    if (objc == 5 && itemIndex(interp, canvas, item, objv[4], &index) != TCL_OK) {
        return TCL_ERROR;
    }
    int option;
    if (Tcl_GetIndexFromObj(interp, objv[2], options, "select option", 0, &option) != TCL_OK) {
        return TCL_ERROR;
    }
    switch (option) {
    case SELECT_CLEAR:
    case SELECT_ITEM:
        if (objc != 3) {
            Tcl_WrongNumArgs(interp, 3, objv, nullptr);
            return TCL_ERROR;
        }
        if (option == SELECT_CLEAR) {
            if (text.selItemPtr != nullptr) {
                gcanvasEventuallyRedrawItem(canvas, text.selItemPtr);
                text.selItemPtr = nullptr;
            }
        } else if (text.selItemPtr != nullptr) {
            Tcl_SetObjResult(interp, Tcl_NewIntObj(text.selItemPtr->id));
        }
        return TCL_OK;
    case SELECT_FROM:
        if (objc != 5) {
            Tcl_WrongNumArgs(interp, 3, objv, "tagOrId index");
            return TCL_ERROR;
        }
        text.anchorItemPtr = item;
        text.selectAnchor = index;
        return TCL_OK;
    default: /* adjust, to */
        if (objc != 5) {
            Tcl_WrongNumArgs(interp, option == SELECT_TO ? 2 : 3, objv, "tagOrId index");
            return TCL_ERROR;
        }
        if (option == SELECT_ADJUST && text.selItemPtr == item) {
            /* The end nearer the index moves. */
            text.selectAnchor =
                index < (text.selectFirst + text.selectLast) / 2 ? text.selectLast + 1 : text.selectFirst;
        }
        gcanvasSelectTo(canvas, item, index);
        return TCL_OK;
    }
}
