/*
 * widget.cpp --
 *
 *	The gcanvas widget: its option table, creation, configuration and the
 *	world transform, Tk event handling, destruction, the package entry
 *	Gcanvas_Init and the cliptest command.
 */
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <X11/Xatom.h>
#include <vector>
#include "canvas/canvasint.h"
#include "canvas/coords.h"
#include "canvas/itemopts.h"
#include "display/rotfont.h"
#include "runtime/cnumber.h"
#include "runtime/configspec.h"
#include "runtime/startup.h"
#include "tesk.h"
#include "tkInt.h"
#include "tesk_stdio.h"

namespace {

/* -state: "normal" or "disabled" (any prefix), empty for inherit. */
int stateParse(ClientData, Tcl_Interp *interp, Tk_Window, const char *value, char *record, int offset)
{
    int *state = reinterpret_cast<int *>(record + offset);
    size_t length = value != nullptr ? std::strlen(value) : 0;
    if (length == 0) {
        *state = GCANVAS_STATE_INHERIT;
        return TCL_OK;
    }
    if (std::strncmp(value, "normal", length) == 0) {
        *state = GCANVAS_STATE_NORMAL;
        return TCL_OK;
    }
    if (std::strncmp(value, "disabled", length) == 0) {
        *state = GCANVAS_STATE_DISABLED;
        return TCL_OK;
    }
    Tcl_AppendResult(interp, "bad state value \"", value, "\": must be normal or disabled", nullptr);
    *state = GCANVAS_STATE_NORMAL;
    return TCL_ERROR;
}

const char *statePrint(ClientData, Tk_Window, char *record, int offset, Tcl_FreeProc **)
{
    switch (*reinterpret_cast<int *>(record + offset)) {
    case GCANVAS_STATE_NORMAL: return "normal";
    case GCANVAS_STATE_DISABLED: return "disabled";
    case GCANVAS_STATE_ACTIVE: return "active";
    case GCANVAS_STATE_HIDDEN: return "hidden";
    default: return "";
    }
}

Tk_CustomOption stateOption = {stateParse, statePrint, nullptr};

}  // namespace

#define GC_OPT(field) Tk_Offset(GcanvasWidget, field)

Tk_ConfigSpec gcanvasConfigSpecs[] = {
    {TK_CONFIG_BORDER, "-background", "background", "Background", "#d9d9d9", GC_OPT(bgBorder), TK_CONFIG_COLOR_ONLY,
     nullptr},
    {TK_CONFIG_BORDER, "-background", "background", "Background", "White", GC_OPT(bgBorder), TK_CONFIG_MONO_ONLY,
     nullptr},
    {TK_CONFIG_SYNONYM, "-bd", "borderWidth", nullptr, nullptr, 0, 0, nullptr},
    {TK_CONFIG_SYNONYM, "-bg", "background", nullptr, nullptr, 0, 0, nullptr},
    {TK_CONFIG_PIXELS, "-borderwidth", "borderWidth", "BorderWidth", "0", GC_OPT(borderWidth), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-closeenough", "closeEnough", "CloseEnough", "1", GC_OPT(closeEnough), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-mx", "mx", "Mx", "1.0", GC_OPT(mx), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-my", "my", "My", "1.0", GC_OPT(my), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-viewxorigin", "viewxorigin", "Viewxorigin", "0.0", GC_OPT(viewxorigin), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-viewyorigin", "viewyorigin", "Viewyorigin", "0.0", GC_OPT(viewyorigin), 0, nullptr},
    {TK_CONFIG_BOOLEAN, "-confine", "confine", "Confine", "1", GC_OPT(confine), 0, nullptr},
    {TK_CONFIG_ACTIVE_CURSOR, "-cursor", "cursor", "Cursor", "", GC_OPT(cursor), TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_PIXELS, "-height", "height", "Height", "7c", GC_OPT(height), 0, nullptr},
    {TK_CONFIG_COLOR, "-highlightbackground", "highlightBackground", "HighlightBackground", "#d9d9d9",
     GC_OPT(highlightBgColor), 0, nullptr},
    {TK_CONFIG_COLOR, "-highlightcolor", "highlightColor", "HighlightColor", "#000000", GC_OPT(highlightColor), 0,
     nullptr},
    {TK_CONFIG_PIXELS, "-highlightthickness", "highlightThickness", "HighlightThickness", "2", GC_OPT(highlightWidth),
     0, nullptr},
    {TK_CONFIG_BORDER, "-insertbackground", "insertBackground", "Foreground", "#000000", GC_OPT(textInfo.insertBorder),
     0, nullptr},
    {TK_CONFIG_PIXELS, "-insertborderwidth", "insertBorderWidth", "BorderWidth", "0",
     GC_OPT(textInfo.insertBorderWidth), 0, nullptr},
    {TK_CONFIG_INT, "-insertofftime", "insertOffTime", "OffTime", "300", GC_OPT(insertOffTime), 0, nullptr},
    {TK_CONFIG_INT, "-insertontime", "insertOnTime", "OnTime", "600", GC_OPT(insertOnTime), 0, nullptr},
    {TK_CONFIG_PIXELS, "-insertwidth", "insertWidth", "InsertWidth", "2", GC_OPT(textInfo.insertWidth), 0, nullptr},
    {TK_CONFIG_CUSTOM, "-offset", "offset", "Offset", "0,0", GC_OPT(tsoffset), TK_CONFIG_DONT_SET_DEFAULT,
     &gcanvasOffsetOption},
    {TK_CONFIG_RELIEF, "-relief", "relief", "Relief", "flat", GC_OPT(relief), 0, nullptr},
    {TK_CONFIG_STRING, "-scrollregion", "scrollRegion", "ScrollRegion", "", GC_OPT(scrollRegion), TK_CONFIG_NULL_OK,
     nullptr},
    {TK_CONFIG_BORDER, "-selectbackground", "selectBackground", "Foreground", "#c3c3c3", GC_OPT(textInfo.selBorder),
     TK_CONFIG_COLOR_ONLY, nullptr},
    {TK_CONFIG_BORDER, "-selectbackground", "selectBackground", "Foreground", "Black", GC_OPT(textInfo.selBorder),
     TK_CONFIG_MONO_ONLY, nullptr},
    {TK_CONFIG_PIXELS, "-selectborderwidth", "selectBorderWidth", "BorderWidth", "1", GC_OPT(textInfo.selBorderWidth),
     TK_CONFIG_COLOR_ONLY, nullptr},
    {TK_CONFIG_PIXELS, "-selectborderwidth", "selectBorderWidth", "BorderWidth", "0", GC_OPT(textInfo.selBorderWidth),
     TK_CONFIG_MONO_ONLY, nullptr},
    {TK_CONFIG_COLOR, "-selectforeground", "selectForeground", "Background", "#000000", GC_OPT(textInfo.selFgColorPtr),
     TK_CONFIG_COLOR_ONLY, nullptr},
    {TK_CONFIG_COLOR, "-selectforeground", "selectForeground", "Background", "White", GC_OPT(textInfo.selFgColorPtr),
     TK_CONFIG_MONO_ONLY, nullptr},
    {TK_CONFIG_INT, "-graphicsmode", "graphicsMode", "Graphicsmode", "0", GC_OPT(graphicsMode), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-textsizeratio", "textSizeratio", "TextSizeratio", "1.0", GC_OPT(textsizeratio), 0, nullptr},
    {TK_CONFIG_INT, "-textsizemin", "textsizemin", "Textsizemin", "4", GC_OPT(textsizemin), 0, nullptr},
    {TK_CONFIG_INT, "-textsizemax", "textSizemax", "Textsizemax", "400", GC_OPT(textsizemax), 0, nullptr},
    {TK_CONFIG_CUSTOM, "-state", "state", "State", "normal", GC_OPT(canvasState), TK_CONFIG_DONT_SET_DEFAULT,
     &stateOption},
    {TK_CONFIG_STRING, "-takefocus", "takeFocus", "TakeFocus", nullptr, GC_OPT(takeFocus), TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_INT, "-updatecomponent", "updatecomponent", "UpdateComponent", nullptr, GC_OPT(updatecomponent), 0,
     nullptr},
    {TK_CONFIG_PIXELS, "-width", "width", "Width", "10c", GC_OPT(width), 0, nullptr},
    {TK_CONFIG_STRING, "-xscrollcommand", "xScrollCommand", "ScrollCommand", "", GC_OPT(xScrollCommand),
     TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_PIXELS, "-xscrollincrement", "xScrollIncrement", "ScrollIncrement", "0", GC_OPT(xScrollIncrement), 0,
     nullptr},
    {TK_CONFIG_STRING, "-yscrollcommand", "yScrollCommand", "ScrollCommand", "", GC_OPT(yScrollCommand),
     TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_PIXELS, "-yscrollincrement", "yScrollIncrement", "ScrollIncrement", "0", GC_OPT(yScrollIncrement), 0,
     nullptr},
    {TK_CONFIG_END, nullptr, nullptr, nullptr, nullptr, 0, 0, nullptr},
};

#undef GC_OPT

namespace {

/* Drops the scroll region with "bad scrollRegion" in interp. */
int badScrollRegion(Tcl_Interp *interp, GcanvasWidget *canvas)
{
    Tcl_ResetResult(interp);
    Tcl_AppendResult(interp, "bad scrollRegion \"", canvas->scrollRegion, "\"", nullptr);
    ckfree(canvas->scrollRegion);
    canvas->scrollRegion = nullptr;
    return TCL_ERROR;
}

/* Reads the scroll region (world units) into canvas units; TCL_ERROR
 * clears it. Numbers that are not finite make a bad region. */
int readScrollRegion(Tcl_Interp *interp, GcanvasWidget *canvas)
{
    canvas->scrollX1 = canvas->scrollY1 = canvas->scrollX2 = canvas->scrollY2 = 0;
    if (canvas->scrollRegion == nullptr) {
        return TCL_OK;
    }
    double v[4];
    const char *tail = nullptr;
    /* Four plain finite numbers, or else four screen distances; a number
     * that is not finite is no region. */
    if (cScanNumbers(canvas->scrollRegion, v, 4, ' ', &tail) != 4 || tail[std::strspn(tail, " \t\n\v\f\r")] != '\0') {
        int count;
        const char **words;
        if (Tcl_SplitList(interp, canvas->scrollRegion, &count, &words) != TCL_OK) {
            count = -1;
            words = nullptr;
        }
        if (count != 4) {
            if (words != nullptr) {
                ckfree(words);
            }
            return badScrollRegion(interp, canvas);
        }
        for (int i = 0; i < 4; i++) {
            int pixels;
            double number;
            if (cWholeNumber(words[i], &number, cAllowNonFinite) && !std::isfinite(number)) {
                ckfree(words);
                return badScrollRegion(interp, canvas);
            }
            if (teskGetPixels(interp, canvas->tkwin, words[i], &pixels) != TCL_OK) {
                ckfree(words);
                return TCL_ERROR;
            }
            v[i] = pixels;
        }
        ckfree(words);
    }
    double box[4];
    worldRectToCanvas(canvas, v[0], v[1], v[2], v[3], box);
    canvas->scrollX1 = box[0];
    canvas->scrollY1 = box[1];
    canvas->scrollX2 = box[2];
    canvas->scrollY2 = box[3];
    return TCL_OK;
}

/* The stipple origin from the -offset flags and the window size. */
void resolveOffset(GcanvasWidget *canvas)
{
    Tk_TSOffset &o = canvas->tsoffset;
    int width = Tk_Width(canvas->tkwin), height = Tk_Height(canvas->tkwin);
    if (o.flags & TK_OFFSET_LEFT) {
        o.xoffset = 0;
    } else if (o.flags & TK_OFFSET_CENTER) {
        o.xoffset = width / 2;
    } else if (o.flags & TK_OFFSET_RIGHT) {
        o.xoffset = width;
    }
    if (o.flags & TK_OFFSET_TOP) {
        o.yoffset = 0;
    } else if (o.flags & TK_OFFSET_MIDDLE) {
        o.yoffset = height / 2;
    } else if (o.flags & TK_OFFSET_BOTTOM) {
        o.yoffset = height;
    }
}

}  // namespace

namespace {

int applyConfigure(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[], int flags,
                   bool *regionDropped);

}  // namespace

int gcanvasConfigure(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[], int flags)
{
    const char *const *words = reinterpret_cast<const char *const *>(objv);
    SavedOptions before(interp, canvas->tkwin, gcanvasConfigSpecs, objc, words, reinterpret_cast<char *>(canvas),
                        flags | TK_CONFIG_OBJS);
    bool regionDropped = false;
    if (applyConfigure(interp, canvas, objc, objv, flags, &regionDropped) == TCL_OK) {
        return TCL_OK;
    }
    before.restore();
    if (regionDropped && canvas->scrollRegion != nullptr) {
        /* A scroll region that does not read leaves none at all. */
        ckfree(canvas->scrollRegion);
        canvas->scrollRegion = nullptr;
    }
    if (flags & TK_CONFIG_ARGV_ONLY) {
        /* What was made of the refused values is made again of the former
         * ones, which were taken before. */
        Tcl_InterpState state = Tcl_SaveInterpState(interp, TCL_ERROR);
        applyConfigure(interp, canvas, 0, nullptr, TK_CONFIG_ARGV_ONLY, &regionDropped);
        Tcl_RestoreInterpState(interp, state);
    }
    return TCL_ERROR;
}

namespace {

/* gcanvasConfigure's work, which may stop half-way; *regionDropped is set
 * when the scroll region did not read. */
int applyConfigure(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[], int flags,
                   bool *regionDropped)
{
    Tk_3DBorder oldBorder = canvas->bgBorder;
    double oldMx = canvas->mx, oldMy = canvas->my, oldX = canvas->xOffset, oldY = canvas->yOffset;
    double oldViewX = canvas->viewxorigin, oldViewY = canvas->viewyorigin;
    double oldRatio = canvas->textsizeratio;
    int oldMin = canvas->textsizemin, oldMax = canvas->textsizemax;
    int oldState = canvas->canvasState;
    int oldMode = canvas->graphicsMode; /* gtext fonts are made for it */

    gcanvasMarkIndexStale(canvas); /* the state or the transform may change */
    if (teskConfigureWidget(interp, canvas->tkwin, gcanvasConfigSpecs, objc,
                            const_cast<const char **>(reinterpret_cast<const char *const *>(objv)),
                            reinterpret_cast<char *>(canvas), flags | TK_CONFIG_OBJS | TESK_CONFIG_OWN_FINITE) != TCL_OK) {
        return TCL_ERROR;
    }
    if (canvas->mx == 0.0) {
        canvas->mx = 1.0;
    }
    if (canvas->my == 0.0) {
        canvas->my = 1.0;
    }
    /* The transform stays finite: a refused value leaves the old one. */
    const char *refusal = nullptr;
    if (!std::isfinite(canvas->mx) || !std::isfinite(canvas->my)) {
        refusal = "Invalid zoom: -mx and -my must be finite and not 0";
    } else if (!std::isfinite(canvas->mx * canvas->viewxorigin) || !std::isfinite(canvas->my * canvas->viewyorigin)) {
        refusal = "Invalid view origin: -viewxorigin and -viewyorigin must be finite";
    }
    if (refusal != nullptr) {
        canvas->mx = oldMx;
        canvas->my = oldMy;
        canvas->viewxorigin = oldViewX;
        canvas->viewyorigin = oldViewY;
        Tcl_SetResult(interp, const_cast<char *>(refusal), TCL_STATIC);
        return TCL_ERROR;
    }
    canvas->xOffset = canvas->mx * canvas->viewxorigin;
    canvas->yOffset = canvas->my * canvas->viewyorigin;

    Tk_SetBackgroundFromBorder(canvas->tkwin, canvas->bgBorder);
    if (canvas->highlightWidth < 0) {
        canvas->highlightWidth = 0;
    }
    canvas->inset = canvas->borderWidth + canvas->highlightWidth;

    XGCValues values;
    values.function = GXcopy;
    values.graphics_exposures = False;
    values.foreground = Tk_3DBorderColor(canvas->bgBorder)->pixel;
    GC gc = Tk_GetGC(canvas->tkwin, GCFunction | GCGraphicsExposures | GCForeground, &values);
    if (canvas->pixmapGC != nullptr) {
        Tk_FreeGC(canvas->display, canvas->pixmapGC);
    }
    canvas->pixmapGC = gc;

    Tk_GeometryRequest(canvas->tkwin, canvas->width + 2 * canvas->inset, canvas->height + 2 * canvas->inset);
    if (canvas->textInfo.gotFocus) {
        gcanvasFocusProc(canvas, 1);
    }
    if (readScrollRegion(interp, canvas) != TCL_OK) {
        *regionDropped = true;
        return TCL_ERROR;
    }
    resolveOffset(canvas);
    gcanvasSetOrigin(canvas, canvas->xOrigin, canvas->yOrigin);
    canvas->flags |= GCANVAS_UPDATE_SCROLLBARS | GCANVAS_REDRAW_BORDERS;

    if (canvas->mx == oldMx && canvas->my == oldMy && canvas->xOffset == oldX && canvas->yOffset == oldY &&
        canvas->textsizeratio == oldRatio && canvas->textsizemin == oldMin && canvas->textsizemax == oldMax &&
        canvas->graphicsMode == oldMode) {
        if (canvas->canvasState != oldState) {
            /* The items that show the canvas's state make their colours
             * (GCs) for it anew, as Tk's canvas has them do. */
            for (GcanvasItem *item = canvas->firstItem; item != nullptr; item = item->next) {
                if (item->state == GCANVAS_STATE_INHERIT &&
                    item->type->configProc(interp, canvas, item, 0, nullptr, TK_CONFIG_ARGV_ONLY) != TCL_OK) {
                    Tcl_ResetResult(interp);
                }
            }
            canvas->flags |= GCANVAS_REPICK_NEEDED;
        }
        gcanvasRedrawView(canvas, oldBorder != canvas->bgBorder || canvas->canvasState != oldState);
    } else {
        if (canvas->backBuffer != None) {
            Tk_FreePixmap(canvas->display, canvas->backBuffer);
            canvas->backBuffer = None;
        }
        gcanvasWorldChanged(canvas);
    }
    return TCL_OK;
}

}  // namespace

void gcanvasWorldChanged(ClientData clientData)
{
    auto *canvas = static_cast<GcanvasWidget *>(clientData);
    for (GcanvasItem *item = canvas->firstItem; item != nullptr; item = item->next) {
        if (item->type->configProc(canvas->interp, canvas, item, 0, nullptr, TK_CONFIG_ARGV_ONLY) != TCL_OK) {
            Tcl_ResetResult(canvas->interp);
        }
    }
    canvas->flags |= GCANVAS_REPICK_NEEDED;
    gcanvasRedrawView(canvas, 1);
}

void gcanvasEventProc(ClientData clientData, XEvent *event)
{
    auto *canvas = static_cast<GcanvasWidget *>(clientData);
    Tk_Window tkwin = canvas->tkwin;
    switch (event->type) {
    case Expose: {
        int x = event->xexpose.x, y = event->xexpose.y;
        int w = event->xexpose.width, h = event->xexpose.height;
        gcanvasEventuallyRedraw(canvas, x + canvas->xOrigin, y + canvas->yOrigin, x + w + canvas->xOrigin,
                                y + h + canvas->yOrigin, 0);
        if (x < canvas->inset || y < canvas->inset || x + w > Tk_Width(tkwin) - canvas->inset ||
            y + h > Tk_Height(tkwin) - canvas->inset) {
            canvas->flags |= GCANVAS_REDRAW_BORDERS;
        }
        break;
    }
    case ConfigureNotify:
        canvas->flags |= GCANVAS_UPDATE_SCROLLBARS;
        gcanvasSetOrigin(canvas, canvas->xOrigin, canvas->yOrigin);
        gcanvasRedrawView(canvas, 1);
        canvas->flags |= GCANVAS_REDRAW_BORDERS;
        break;
    case FocusIn:
    case FocusOut:
        if (event->xfocus.detail != NotifyInferior) {
            gcanvasFocusProc(canvas, event->type == FocusIn);
        }
        break;
    case UnmapNotify:
        for (GcanvasItem *item = canvas->firstItem; item != nullptr; item = item->next) {
            if (item->type->alwaysRedraw & GCANVAS_TYPE_ALWAYS_REDRAW) {
                item->type->displayProc(canvas, item, canvas->display, None, 0, 0, 0, 0);
            }
        }
        break;
    case DestroyNotify:
        if (canvas->tkwin != nullptr) {
            canvas->tkwin = nullptr;
            Tcl_DeleteCommandFromToken(canvas->interp, canvas->widgetCmd);
        }
        if (canvas->flags & GCANVAS_REDRAW_PENDING) {
            Tcl_CancelIdleCall(gcanvasDisplay, canvas);
        }
        Tcl_EventuallyFree(canvas, gcanvasDestroy);
        break;
    default: break;
    }
}

void gcanvasCmdDeleted(ClientData clientData)
{
    auto *canvas = static_cast<GcanvasWidget *>(clientData);
    Tk_Window tkwin = canvas->tkwin;
    if (tkwin != nullptr) {
        canvas->tkwin = nullptr;
        Tk_DestroyWindow(tkwin);
    }
}

void gcanvasDestroy(char *memPtr)
{
    auto *canvas = reinterpret_cast<GcanvasWidget *>(memPtr);
    while (canvas->firstItem != nullptr) {
        GcanvasItem *item = canvas->firstItem;
        canvas->firstItem = item->next;
        if (item->type->deleteProc != nullptr) {
            item->type->deleteProc(canvas, item, canvas->display);
        }
        gcanvasFreeItemRecord(item);
    }
    canvas->lastItem = nullptr;
    Tcl_DeleteHashTable(&canvas->idTable);
    Tcl_DeleteHashTable(&canvas->nameTable);
    if (canvas->pixmapGC != nullptr) {
        Tk_FreeGC(canvas->display, canvas->pixmapGC);
    }
    if (canvas->insertBlinkHandler != nullptr) {
        Tcl_DeleteTimerHandler(canvas->insertBlinkHandler);
    }
    if (canvas->bindingTable != nullptr) {
        Tk_DeleteBindingTable(canvas->bindingTable);
    }
    gcanvasFreeBindTagExprs(canvas);
    gcanvasFreeItemIndex(canvas);
    Tk_FreeOptions(gcanvasConfigSpecs, reinterpret_cast<char *>(canvas), canvas->display, 0);
    if (canvas->backBuffer != None) {
        Tk_FreePixmap(canvas->display, canvas->backBuffer);
    }
    gmemFree(canvas);
}

namespace {

Tk_ClassProcs gcanvasClass = {sizeof(Tk_ClassProcs), gcanvasWorldChanged, nullptr, nullptr};

int gcanvasCmd(ClientData clientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    gcanvasInitTypes();
    if (objc < 2) {
        Tcl_WrongNumArgs(interp, 1, objv, "pathName ?options?");
        return TCL_ERROR;
    }
    Tk_Window mainWindow = static_cast<Tk_Window>(clientData);
    Tk_Window tkwin = Tk_CreateWindowFromPath(interp, mainWindow, Tcl_GetString(objv[1]), nullptr);
    if (tkwin == nullptr) {
        return TCL_ERROR;
    }
    auto *canvas = static_cast<GcanvasWidget *>(gmemAlloc(sizeof(GcanvasWidget)));
    if (canvas == nullptr) {
        Tk_DestroyWindow(tkwin);
        Tcl_SetResult(interp, const_cast<char *>("Error in gcanvas: out of memory"), TCL_STATIC);
        return TCL_ERROR;
    }
    std::memset(canvas, 0, sizeof *canvas);
    canvas->tkwin = tkwin;
    canvas->display = Tk_Display(tkwin);
    canvas->interp = interp;
    canvas->nextId = 1;
    canvas->widgetCmd = Tcl_CreateObjCommand(interp, Tk_PathName(tkwin), gcanvasWidgetCmd, canvas, gcanvasCmdDeleted);
    canvas->textInfo.selectFirst = -1;
    canvas->textInfo.selectLast = -1;
    canvas->textInfo.selectAnchor = 0;
    canvas->closeEnough = 0.1;
    canvas->pickEvent.type = LeaveNotify;
    canvas->backBuffer = None;
    Screen *screen = Tk_Screen(tkwin);
    canvas->pixelsPerMM = static_cast<double>(WidthOfScreen(screen)) / WidthMMOfScreen(screen);
    canvas->canvasState = GCANVAS_STATE_NORMAL;
    canvas->mx = canvas->my = 1.0;
    Tcl_InitHashTable(&canvas->idTable, TCL_ONE_WORD_KEYS);
    Tcl_InitHashTable(&canvas->nameTable, TCL_STRING_KEYS);

    Tk_SetClass(tkwin, "Gcanvas");
    Tk_SetClassProcs(tkwin, &gcanvasClass, canvas);
    Tk_CreateEventHandler(tkwin, ExposureMask | StructureNotifyMask | FocusChangeMask, gcanvasEventProc, canvas);
    Tk_CreateEventHandler(tkwin,
                          KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask | EnterWindowMask |
                              LeaveWindowMask | PointerMotionMask | VirtualEventMask,
                          gcanvasBindProc, canvas);
    Tk_CreateSelHandler(tkwin, XA_PRIMARY, XA_STRING, gcanvasFetchSelection, canvas, XA_STRING);
    if (gcanvasConfigure(interp, canvas, objc - 2, objv + 2, 0) != TCL_OK) {
        Tk_DestroyWindow(canvas->tkwin);
        return TCL_ERROR;
    }
    Tcl_SetObjResult(interp, Tcl_NewStringObj(Tk_PathName(canvas->tkwin), -1));
    return TCL_OK;
}

/* atoi's reading of a vertex word, held to 16 bits. */
short vertexWord(const char *word)
{
    long v = std::strtol(word, nullptr, 10);
    return static_cast<short>(v < -32768 ? -32768 : v > 32767 ? 32767 : v);
}

int clipTestCmd(ClientData, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 3) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " {left top right bottom} {x0 y0 x1 y1 ...}", nullptr);
        return TCL_ERROR;
    }
    int left, top, right, bottom;
    if (std::sscanf(argv[1], "%d %d %d %d", &left, &top, &right, &bottom) < 4) {
        Tcl_SetResult(interp, const_cast<char *>("Error in parsing clip box"), TCL_STATIC);
        return TCL_ERROR;
    }
    int count;
    const char **words;
    if (Tcl_SplitList(interp, argv[2], &count, &words) != TCL_OK) {
        Tcl_ResetResult(interp);
        Tcl_SetResult(interp, const_cast<char *>("Error in parsing vertices"), TCL_STATIC);
        return TCL_ERROR;
    }
    if (count % 2 != 0) {
        ckfree(words);
        Tcl_SetResult(interp, const_cast<char *>("Invalid vertex specification"), TCL_STATIC);
        return TCL_ERROR;
    }
    std::vector<XPoint> points(static_cast<size_t>(count));
    for (int i = 0; i < count / 2; i++) {
        points[i].x = vertexWord(words[2 * i]);
        points[i].y = vertexWord(words[2 * i + 1]);
    }
    ckfree(words);
    int n = clipPolygonToBox(points, count / 2, left, top, right, bottom);
    Tcl_Obj *result = Tcl_NewListObj(0, nullptr);
    for (int i = 0; i < n; i++) {
        Tcl_ListObjAppendElement(nullptr, result, Tcl_NewIntObj(points[i].x));
        Tcl_ListObjAppendElement(nullptr, result, Tcl_NewIntObj(points[i].y));
    }
    Tcl_SetObjResult(interp, result);
    return TCL_OK;
}

}  // namespace

/* Sets up the rotated-font layer that text items draw through; a
 * failure leaves the canvas without text and is told once. */
static void rotatedFontInit()
{
    if (!rotatedFontSetup()) {
        tesk_fprintf(stderr, "Error in rotatedFontInit: fontconfig cannot be initialised\n");
    }
}

int gcanvasModuleInit(Tcl_Interp *interp)
{
    /* An interpreter without Tk has no canvas to offer. */
    return teskHasTk(interp) ? Gcanvas_Init(interp) : TCL_OK;
}

extern "C" TESK_API int Gcanvas_Init(Tcl_Interp *interp)
{
    if (teskInitStubs(interp, true) != TCL_OK) {
        return TCL_ERROR;
    }
    if (!teskHasTk(interp)) {
        Tcl_SetResult(interp, const_cast<char *>("Error in Gcanvas_Init: Tk is not loaded"), TCL_STATIC);
        return TCL_ERROR;
    }
    Tcl_CreateCommand(interp, "cliptest", clipTestCmd, nullptr, nullptr);
    if (Tcl_CreateObjCommand(interp, "gcanvas", gcanvasCmd, Tk_MainWindow(interp), nullptr) == nullptr) {
        return TCL_ERROR;
    }
    rotatedFontInit();
    return TCL_OK;
}
