/*
 * bind.cpp --
 *
 *	The current item and what follows the pointer: picking the item under
 *	it (tagged "current") with Leave and Enter crossings and the implicit
 *	grab while a button is down, the component highlight, the dispatch of
 *	X events to the bindings of items, tags and tag expressions, the bind
 *	word, and keyboard focus with the highlight ring.
 */
#include <cstring>
#include <new>
#include <vector>
#include "canvas/canvasint.h"
#include "canvas/itemopts.h"
#include "canvas/tagsearch.h"

namespace {

constexpr int kButtonsDown = Button1Mask | Button2Mask | Button3Mask | Button4Mask | Button5Mask;

/* The events a canvas binding may ask for: key, button, motion, crossing
 * and virtual events. */
constexpr unsigned long kBindableEvents = ButtonMotionMask | Button1MotionMask | Button2MotionMask | Button3MotionMask |
                                          Button4MotionMask | Button5MotionMask | ButtonPressMask | ButtonReleaseMask |
                                          EnterWindowMask | LeaveWindowMask | KeyPressMask | KeyReleaseMask |
                                          PointerMotionMask | VirtualEventMask;

int buttonMask(unsigned int button)
{
    switch (button) {
    case Button1: return Button1Mask;
    case Button2: return Button2Mask;
    case Button3: return Button3Mask;
    case Button4: return Button4Mask;
    case Button5: return Button5Mask;
    default: return 0;
    }
}

/* Disabled and hidden items, by their own state or the canvas's, never
 * become current. */
bool pickable(const GcanvasWidget *canvas, const GcanvasItem *item)
{
    int state = gcanvasItemState(canvas, item);
    return state != GCANVAS_STATE_HIDDEN && state != GCANVAS_STATE_DISABLED;
}

void highlight(GcanvasWidget *canvas, GcanvasItem *item, int on)
{
    if (item != nullptr && item->type->highlightComponentProc != nullptr) {
        item->type->highlightComponentProc(canvas, item, on);
    }
}

/* Re-runs an item's configuration for its new state (its colours and
 * widths depend on being current); a failure leaves the item as it was. */
void reconfigure(GcanvasWidget *canvas, GcanvasItem *item)
{
    if (item->type->configProc(canvas->interp, canvas, item, 0, nullptr, TK_CONFIG_ARGV_ONLY) != TCL_OK) {
        Tcl_ResetResult(canvas->interp);
    }
}

/* Sends a copy of the pick event as a crossing of the given type. */
void sendCrossing(GcanvasWidget *canvas, int type)
{
    XEvent event = canvas->pickEvent;
    event.type = type;
    event.xcrossing.detail = NotifyAncestor;
    gcanvasDoEvent(canvas, &event);
}

/* Removes the "current" tag (the last tag moves into its slot). */
void dropCurrentTag(GcanvasItem *item)
{
    Tk_Uid current = Tk_GetUid("current");
    for (int i = item->numTags - 1; i >= 0; i--) {
        if (item->tags[i] == current) {
            item->tags[i] = item->tags[--item->numTags];
            break;
        }
    }
}

/* Saves the event the current item is picked from: motion and button
 * release become an Enter crossing at the same place. */
void savePickEvent(GcanvasWidget *canvas, const XEvent *event)
{
    if (event->type != MotionNotify && event->type != ButtonRelease) {
        canvas->pickEvent = *event;
        return;
    }
    /* Motion and button events share these fields' layout. */
    const XMotionEvent &m = event->xmotion;
    XCrossingEvent &c = canvas->pickEvent.xcrossing;
    std::memset(&canvas->pickEvent, 0, sizeof canvas->pickEvent);
    c.type = EnterNotify;
    c.serial = m.serial;
    c.send_event = m.send_event;
    c.display = m.display;
    c.window = m.window;
    c.root = m.root;
    c.subwindow = None;
    c.time = m.time;
    c.x = m.x;
    c.y = m.y;
    c.x_root = m.x_root;
    c.y_root = m.y_root;
    c.mode = NotifyNormal;
    c.detail = NotifyNonlinear;
    c.same_screen = m.same_screen;
    c.focus = False;
    c.state = m.state;
}

}  // namespace

GcanvasItem *gcanvasFindClosest(GcanvasWidget *canvas, const double *point)
{
    double halo = canvas->closeEnough;
    double x1 = point[0] - halo, y1 = point[1] - halo, x2 = point[0] + halo, y2 = point[1] + halo;
    for (GcanvasItem *item = canvas->lastItem; item != nullptr; item = item->prev) {
        if (!pickable(canvas, item) || item->x1 > x2 || item->x2 < x1 || item->y1 > y2 || item->y2 < y1) {
            continue;
        }
        if (item->type->pointProc(canvas, item, const_cast<double *>(point)) <= halo) {
            return item;
        }
    }
    return nullptr;
}

void gcanvasPickCurrentItem(GcanvasWidget *canvas, XEvent *event)
{
    if (canvas->tkwin == nullptr) {
        return; /* a binding destroyed the canvas */
    }
    int buttonDown = canvas->modifierState & kButtonsDown;
    if (!buttonDown) {
        canvas->flags &= ~GCANVAS_LEFT_GRABBED_ITEM;
    }
    if (event != &canvas->pickEvent) {
        savePickEvent(canvas, event);
    }
    /* A Leave binding that makes the canvas pick again finds it busy. */
    if (canvas->flags & GCANVAS_REPICK_IN_PROGRESS) {
        return;
    }
    double point[2] = {static_cast<double>(canvas->pickEvent.xcrossing.x + canvas->xOrigin),
                       static_cast<double>(canvas->pickEvent.xcrossing.y + canvas->yOrigin)};
    canvas->newCurrentItem = canvas->pickEvent.type == LeaveNotify ? nullptr : gcanvasFindClosest(canvas, point);

    if (canvas->newCurrentItem == canvas->currentItem && !(canvas->flags & GCANVAS_LEFT_GRABBED_ITEM)) {
        /* Within the same item the highlighted component follows. */
        if (canvas->updatecomponent && canvas->currentItem != nullptr) {
            highlight(canvas, canvas->currentItem, 0);
            highlight(canvas, canvas->currentItem, 1);
        }
        return;
    }

    if (canvas->newCurrentItem != canvas->currentItem && canvas->currentItem != nullptr &&
        !(canvas->flags & GCANVAS_LEFT_GRABBED_ITEM)) {
        GcanvasItem *item = canvas->currentItem;
        canvas->flags |= GCANVAS_REPICK_IN_PROGRESS;
        sendCrossing(canvas, LeaveNotify);
        canvas->flags &= ~GCANVAS_REPICK_IN_PROGRESS;
        if (canvas->tkwin == nullptr) {
            return; /* the binding destroyed the canvas */
        }
        /* The binding may have deleted the item (current is then none). */
        if (item == canvas->currentItem && !buttonDown) {
            dropCurrentTag(item);
        }
    }
    if (canvas->newCurrentItem != canvas->currentItem && buttonDown) {
        canvas->flags |= GCANVAS_LEFT_GRABBED_ITEM;
        return;
    }

    GcanvasItem *previous = canvas->currentItem;
    canvas->flags &= ~GCANVAS_LEFT_GRABBED_ITEM;
    highlight(canvas, previous, 0);
    canvas->currentItem = canvas->newCurrentItem;
    if (previous != nullptr && previous != canvas->currentItem &&
        (previous->redrawFlags & GCANVAS_ITEM_STATE_DEPENDANT)) {
        gcanvasEventuallyRedrawItem(canvas, previous);
        reconfigure(canvas, previous);
    }
    GcanvasItem *current = canvas->currentItem;
    if (current == nullptr) {
        return;
    }
    if (canvas->updatecomponent) {
        highlight(canvas, current, 1);
    }
    gcanvasDoItem(nullptr, canvas, current, Tk_GetUid("current"));
    if ((current->redrawFlags & GCANVAS_ITEM_STATE_DEPENDANT) && current != previous) {
        reconfigure(canvas, current);
        gcanvasEventuallyRedrawItem(canvas, current);
    }
    sendCrossing(canvas, EnterNotify);
}

void gcanvasDoEvent(GcanvasWidget *canvas, XEvent *event)
{
    if (canvas->bindingTable == nullptr || canvas->tkwin == nullptr) {
        return;
    }
    GcanvasItem *item = canvas->currentItem;
    if (event->type == KeyPress || event->type == KeyRelease) {
        item = canvas->textInfo.focusItemPtr;
    }
    if (item == nullptr) {
        return;
    }
    /* "all", the item's tags, the item, then every bound expression that
     * matches the item. */
    std::vector<ClientData> objects;
    objects.reserve(static_cast<size_t>(item->numTags) + 4);
    objects.push_back(const_cast<char *>(Tk_GetUid("all")));
    for (int i = 0; i < item->numTags; i++) {
        objects.push_back(const_cast<char *>(item->tags[i]));
    }
    objects.push_back(item);
    for (GcanvasTagExpr *expr = canvas->bindTagExprs; expr != nullptr; expr = expr->next) {
        if (gcanvasTagExprMatches(expr, item)) {
            objects.push_back(const_cast<char *>(expr->uid));
        }
    }
    Tk_BindEvent(canvas->bindingTable, event, canvas->tkwin, static_cast<int>(objects.size()), objects.data());
}

void gcanvasBindProc(ClientData clientData, XEvent *event)
{
    auto *canvas = static_cast<GcanvasWidget *>(clientData);
    Tcl_Preserve(canvas);
    switch (event->type) {
    case ButtonPress:
    case ButtonRelease: {
        int mask = buttonMask(event->xbutton.button);
        canvas->modifierState = static_cast<int>(event->xbutton.state);
        if (event->type == ButtonPress) {
            gcanvasPickCurrentItem(canvas, event);
            canvas->modifierState ^= mask;
            gcanvasDoEvent(canvas, event);
        } else {
            /* The release goes to the grabbing item before the pick
             * with the button up. */
            gcanvasDoEvent(canvas, event);
            event->xbutton.state ^= static_cast<unsigned int>(mask);
            canvas->modifierState = static_cast<int>(event->xbutton.state);
            gcanvasPickCurrentItem(canvas, event);
            event->xbutton.state ^= static_cast<unsigned int>(mask);
        }
        break;
    }
    case EnterNotify:
    case LeaveNotify:
        canvas->modifierState = static_cast<int>(event->xcrossing.state);
        gcanvasPickCurrentItem(canvas, event);
        break;
    case MotionNotify:
        canvas->modifierState = static_cast<int>(event->xmotion.state);
        gcanvasPickCurrentItem(canvas, event);
        gcanvasDoEvent(canvas, event);
        break;
    default: gcanvasDoEvent(canvas, event); break;
    }
    Tcl_Release(canvas);
}

void gcanvasFreeBindTagExprs(GcanvasWidget *canvas)
{
    while (canvas->bindTagExprs != nullptr) {
        GcanvasTagExpr *expr = canvas->bindTagExprs;
        canvas->bindTagExprs = expr->next;
        delete expr;
    }
}

namespace {

/* Keeps a bound tag expression for the dispatch, once for each text. */
bool rememberExpression(GcanvasWidget *canvas, const GcanvasTagExpr &compiled)
{
    GcanvasTagExpr **last = &canvas->bindTagExprs;
    for (; *last != nullptr; last = &(*last)->next) {
        if ((*last)->uid == compiled.uid) {
            return true;
        }
    }
    auto *expr = new (std::nothrow) GcanvasTagExpr{nullptr, compiled.uid, compiled.uids, 0};
    if (expr == nullptr) {
        return false;
    }
    *last = expr;
    return true;
}

}  // namespace

int gcanvasBindCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[])
{
    if (objc < 3 || objc > 5) {
        Tcl_WrongNumArgs(interp, 2, objv, "tagOrId ?sequence? ?command?");
        return TCL_ERROR;
    }
    GcanvasTagSearch *search = nullptr;
    if (gcanvasTagSearchScan(canvas, objv[2], &search) != TCL_OK) {
        gcanvasTagSearchDestroy(search);
        return TCL_ERROR;
    }
    ClientData object;
    if (search->type == 1) {
        object = gcanvasItemById(canvas, search->id);
        if (object == nullptr) {
            gcanvasTagSearchDestroy(search);
            Tcl_AppendResult(interp, "item \"", Tcl_GetString(objv[2]), "\" doesn't exist", nullptr);
            return TCL_ERROR;
        }
    } else {
        object = const_cast<char *>(search->expr.uid != nullptr ? search->expr.uid : Tk_GetUid(""));
    }
    if (canvas->bindingTable == nullptr) {
        canvas->bindingTable = Tk_CreateBindingTable(interp);
    }
    int code = TCL_OK;
    if (objc == 5) {
        const char *sequence = Tcl_GetString(objv[3]);
        const char *script = Tcl_GetString(objv[4]);
        if (script[0] == '\0') {
            code = Tk_DeleteBinding(interp, canvas->bindingTable, object, sequence);
        } else {
            int append = script[0] == '+';
            unsigned long mask =
                Tk_CreateBinding(interp, canvas->bindingTable, object, sequence, script + append, append);
            if (mask == 0) {
                code = TCL_ERROR;
            } else if (mask & ~kBindableEvents) {
                Tk_DeleteBinding(interp, canvas->bindingTable, object, sequence);
                Tcl_ResetResult(interp);
                Tcl_AppendResult(interp, "requested illegal events; ",
                                 "only key, button, motion, enter, leave, and virtual ", "events may be used", nullptr);
                code = TCL_ERROR;
            } else if (search->type == 4 && !rememberExpression(canvas, search->expr)) {
                /* Only a binding that exists keeps its expression. */
                Tk_DeleteBinding(interp, canvas->bindingTable, object, sequence);
                Tcl_SetResult(interp, const_cast<char *>("Error in bind: out of memory"), TCL_STATIC);
                code = TCL_ERROR;
            }
        }
    } else if (objc == 4) {
        const char *command = Tk_GetBinding(interp, canvas->bindingTable, object, Tcl_GetString(objv[3]));
        if (command != nullptr) {
            Tcl_SetObjResult(interp, Tcl_NewStringObj(command, -1));
        } else if (Tcl_GetString(Tcl_GetObjResult(interp))[0] != '\0') {
            code = TCL_ERROR; /* a bad sequence */
        }
    } else {
        Tk_GetAllBindings(interp, canvas->bindingTable, object);
    }
    gcanvasTagSearchDestroy(search);
    return code;
}

namespace {

/* Turns the insertion cursor on and off while the window has the focus. */
void blinkProc(ClientData clientData)
{
    auto *canvas = static_cast<GcanvasWidget *>(clientData);
    GcanvasTextInfo &text = canvas->textInfo;
    if (!text.gotFocus || canvas->insertOffTime == 0) {
        canvas->insertBlinkHandler = nullptr;
        return;
    }
    text.cursorOn = !text.cursorOn;
    canvas->insertBlinkHandler = Tcl_CreateTimerHandler(text.cursorOn ? canvas->insertOnTime : canvas->insertOffTime,
                                                        blinkProc, canvas);
    if (text.focusItemPtr != nullptr) {
        gcanvasEventuallyRedrawItem(canvas, text.focusItemPtr);
    }
}

}  // namespace

void gcanvasFocusProc(GcanvasWidget *canvas, int gotFocus)
{
    GcanvasTextInfo &text = canvas->textInfo;
    Tcl_DeleteTimerHandler(canvas->insertBlinkHandler);
    canvas->insertBlinkHandler = nullptr;
    text.gotFocus = gotFocus;
    text.cursorOn = gotFocus;
    if (gotFocus && canvas->insertOffTime != 0) {
        canvas->insertBlinkHandler = Tcl_CreateTimerHandler(canvas->insertOnTime, blinkProc, canvas);
    }
    if (text.focusItemPtr != nullptr) {
        gcanvasEventuallyRedrawItem(canvas, text.focusItemPtr);
    }
    if (canvas->highlightWidth > 0) {
        canvas->flags |= GCANVAS_REDRAW_BORDERS;
        if (canvas->tkwin != nullptr) {
            gcanvasScheduleRedisplay(canvas);
        }
    }
}
