/*
 * itemopts.cpp --
 *
 *	Shared option kinds of the canvas's option tables.
 */
#include "canvas/itemopts.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <unordered_map>
#include "canvas/coords.h"
#include "canvas/gcanvas.h"
#include "runtime/configspec.h"
#include "tkInt.h"

namespace {

int pixelParse(ClientData, Tcl_Interp *interp, Tk_Window tkwin, const char *value, char *record, int offset)
{
    return gcanvasParseDistance(interp, tkwin, value, "distance", reinterpret_cast<double *>(record + offset));
}

int offsetParse(ClientData clientData, Tcl_Interp *interp, Tk_Window tkwin, const char *value, char *record, int offset)
{
    return TkOffsetParseProc(clientData, interp, tkwin, value, record, offset);
}

const char *offsetPrint(ClientData clientData, Tk_Window tkwin, char *record, int offset, Tcl_FreeProc **freeProc)
{
    return TkOffsetPrintProc(clientData, tkwin, record, offset, freeProc);
}

struct StateName {
    const char *name;
    int state;
};

const StateName kStates[] = {{"active", GCANVAS_STATE_ACTIVE},
                             {"disabled", GCANVAS_STATE_DISABLED},
                             {"hidden", GCANVAS_STATE_HIDDEN},
                             {"normal", GCANVAS_STATE_NORMAL}};

int stateParse(ClientData, Tcl_Interp *interp, Tk_Window, const char *value, char *record, int offset)
{
    int *state = reinterpret_cast<int *>(record + offset);
    size_t length = value != nullptr ? std::strlen(value) : 0;
    if (length == 0) {
        *state = GCANVAS_STATE_INHERIT;
        return TCL_OK;
    }
    for (const StateName &s : kStates) {
        if (std::strncmp(value, s.name, length) == 0) {
            *state = s.state;
            return TCL_OK;
        }
    }
    Tcl_AppendResult(interp, "bad state value \"", value, "\": must be active, disabled, hidden, or normal", nullptr);
    return TCL_ERROR;
}

const char *statePrint(ClientData, Tk_Window, char *record, int offset, Tcl_FreeProc **)
{
    int state = *reinterpret_cast<int *>(record + offset);
    for (const StateName &s : kStates) {
        if (s.state == state) {
            return s.name;
        }
    }
    return "";
}

/* ---- the symbol and marker type names ---- */

struct NamedChoice {
    const char *option;       /* "-symboltype" */
    const char *const *names; /* NULL-terminated */
    const char *expected;     /* the names as the error lists them */
};

const char *const kSymbolNames[] = {"oval", "rectangle", "diamond", "crosshair", "handle", nullptr};
const char *const kMarkerNames[] = {"point", "cross", nullptr};
const NamedChoice kSymbolChoice = {"-symboltype", kSymbolNames, "oval, rectangle, diamond, crosshair, handle"};
const NamedChoice kMarkerChoice = {"-markertype", kMarkerNames, "point or cross"};

/* A leading part of one of the names (the first letter picks the name);
 * empty is the first name. A bad value is reported and the field falls
 * back to the first name. */
int choiceParse(ClientData clientData, Tcl_Interp *interp, Tk_Window, const char *value, char *record, int offset)
{
    const auto *choice = static_cast<const NamedChoice *>(clientData);
    int *field = reinterpret_cast<int *>(record + offset);
    if (value == nullptr || value[0] == '\0') {
        *field = 0;
        return TCL_OK;
    }
    size_t length = std::strlen(value);
    for (int i = 0; choice->names[i] != nullptr; i++) {
        if (value[0] == choice->names[i][0] && std::strncmp(value, choice->names[i], length) == 0) {
            *field = i;
            return TCL_OK;
        }
    }
    *field = 0;
    Tcl_AppendResult(interp, "invalid ", choice->option, " option \"", value, "\": must be ", choice->expected,
                     nullptr);
    return TCL_ERROR;
}

const char *choicePrint(ClientData clientData, Tk_Window, char *record, int offset, Tcl_FreeProc **freeProc)
{
    const auto *choice = static_cast<const NamedChoice *>(clientData);
    int value = *reinterpret_cast<int *>(record + offset);
    *freeProc = nullptr;
    for (int i = 0; choice->names[i] != nullptr; i++) {
        if (i == value) {
            return choice->names[i];
        }
    }
    return "unknown";
}

}  // namespace

const char *gcanvasDoublePrint(ClientData, Tk_Window, char *record, int offset, Tcl_FreeProc **freeProc)
{
    char *text = static_cast<char *>(ckalloc(TCL_DOUBLE_SPACE));
    Tcl_PrintDouble(nullptr, gcanvasPlainZero(*reinterpret_cast<double *>(record + offset)), text);
    *freeProc = TCL_DYNAMIC;
    return text;
}

namespace {

/* Redraws the part switched off when no "on" followed the "off". */
void unlitCheck(ClientData clientData)
{
    auto *h = static_cast<GcanvasPartHighlight *>(clientData);
    h->checkPending = 0;
    if (h->unlit >= 0) {
        int part = h->unlit;
        h->unlit = -1;
        h->redraw(h->canvas, h->item, part);
    }
}

}  // namespace

void gcanvasInitPartHighlight(GcanvasPartHighlight *h, GcanvasWidget *canvas, GcanvasItem *item,
                              void (*redraw)(GcanvasWidget *, GcanvasItem *, int))
{
    h->canvas = canvas;
    h->item = item;
    h->redraw = redraw;
    h->lit = h->unlit = -1;
    h->checkPending = 0;
}

void gcanvasSwitchPartHighlight(GcanvasPartHighlight *h, int on, int pointerPart)
{
    if (!on) {
        if (h->lit >= 0) {
            if (h->unlit >= 0 && h->unlit != h->lit) {
                h->redraw(h->canvas, h->item, h->unlit);
            }
            h->unlit = h->lit;
            h->lit = -1;
            if (!h->checkPending) {
                h->checkPending = 1;
                Tcl_DoWhenIdle(unlitCheck, h);
            }
        }
        return;
    }
    int before = h->unlit >= 0 ? h->unlit : h->lit;
    h->unlit = -1;
    if (pointerPart >= 0 && pointerPart == before) {
        h->lit = before;
        return;
    }
    h->lit = -1;
    if (before >= 0) {
        h->redraw(h->canvas, h->item, before);
    }
    if (pointerPart >= 0) {
        h->redraw(h->canvas, h->item, pointerPart);
        h->lit = pointerPart;
    }
}

void gcanvasCancelPartHighlight(GcanvasPartHighlight *h)
{
    if (h->checkPending) {
        Tcl_CancelIdleCall(unlitCheck, h);
        h->checkPending = 0;
    }
    h->unlit = -1;
}

Tk_CustomOption gcanvasPixelOption = {pixelParse, gcanvasDoublePrint, nullptr};
Tk_CustomOption gcanvasOffsetOption = {offsetParse, offsetPrint, reinterpret_cast<ClientData>(TK_OFFSET_RELATIVE)};
/* Shared by the line and polygon items: -offset with the index form. */
Tk_CustomOption gcanvasIndexOffsetOption = {offsetParse, offsetPrint,
                                            reinterpret_cast<ClientData>(TK_OFFSET_RELATIVE | TK_OFFSET_INDEX)};
Tk_CustomOption gcanvasItemStateOption = {stateParse, statePrint, nullptr};
Tk_CustomOption gcanvasSymbolTypeOption = {choiceParse, choicePrint, const_cast<NamedChoice *>(&kSymbolChoice)};
Tk_CustomOption gcanvasMarkerTypeOption = {choiceParse, choicePrint, const_cast<NamedChoice *>(&kMarkerChoice)};

namespace {

/* The canvas items' own GC cache: items with equal pens share one GC, as
 * Tk's cache would let them, but no other widget ever sees these GCs.
 * Items that change a GC while drawing (dashes, stipple origins) put it
 * back before they return. */
struct CachedGC {
    GC gc;
    int uses;
};

/* Display, screen, depth, mask, then the values the mask names in bit
 * order; the rest zero. A fixed array: looking a pen up allocates nothing. */
constexpr size_t kGCFields = 23;
using GCKey = std::array<unsigned long, 4 + kGCFields>;

/* FNV-1a over the key's words. */
struct GCKeyHash {
    size_t operator()(const GCKey &key) const
    {
        uint64_t h = 14695981039346656037ull;
        for (unsigned long v : key) {
            h = (h ^ v) * 1099511628211ull;
        }
        return static_cast<size_t>(h ^ (h >> 29));
    }
};

std::unordered_map<GCKey, CachedGC, GCKeyHash> gcCache;
std::unordered_map<GC, GCKey> gcKeys;

/* The key of a GC: display, screen, depth, mask, then every value the mask
 * names, in bit order. */
GCKey keyOf(Tk_Window tkwin, unsigned long mask, const XGCValues *v)
{
    GCKey key{};
    key[0] = reinterpret_cast<unsigned long>(Tk_Display(tkwin));
    key[1] = static_cast<unsigned long>(Tk_ScreenNumber(tkwin));
    key[2] = static_cast<unsigned long>(Tk_Depth(tkwin));
    key[3] = mask;
    const unsigned long fields[] = {
        static_cast<unsigned long>(v->function),
        v->plane_mask,
        v->foreground,
        v->background,
        static_cast<unsigned long>(v->line_width),
        static_cast<unsigned long>(v->line_style),
        static_cast<unsigned long>(v->cap_style),
        static_cast<unsigned long>(v->join_style),
        static_cast<unsigned long>(v->fill_style),
        static_cast<unsigned long>(v->fill_rule),
        v->tile,
        v->stipple,
        static_cast<unsigned long>(v->ts_x_origin),
        static_cast<unsigned long>(v->ts_y_origin),
        v->font,
        static_cast<unsigned long>(v->subwindow_mode),
        static_cast<unsigned long>(v->graphics_exposures),
        static_cast<unsigned long>(v->clip_x_origin),
        static_cast<unsigned long>(v->clip_y_origin),
        v->clip_mask,
        static_cast<unsigned long>(v->dash_offset),
        static_cast<unsigned long>(static_cast<unsigned char>(v->dashes)),
        static_cast<unsigned long>(v->arc_mode),
    };
    static_assert(sizeof fields / sizeof fields[0] == kGCFields, "one key slot per GC field");
    size_t n = 4;
    for (unsigned bit = 0; bit < kGCFields; bit++) {
        if (mask & (1ul << bit)) {
            key[n++] = fields[bit];
        }
    }
    return key;
}

}  // namespace

GC gcanvasGetGC(Tk_Window tkwin, unsigned long mask, XGCValues *values)
{
    GCKey key = keyOf(tkwin, mask, values);
    auto found = gcCache.find(key);
    if (found != gcCache.end()) {
        found->second.uses++;
        return found->second.gc;
    }
    Tk_MakeWindowExist(tkwin);
    GC gc = XCreateGC(Tk_Display(tkwin), Tk_WindowId(tkwin), mask, values);
    if (gc != nullptr) {
        gcCache.emplace(key, CachedGC{gc, 1});
        gcKeys.emplace(gc, std::move(key));
    }
    return gc;
}

void gcanvasFreeGC(Display *display, GC gc)
{
    if (gc == nullptr) {
        return;
    }
    auto key = gcKeys.find(gc);
    if (key == gcKeys.end()) {
        return;
    }
    auto entry = gcCache.find(key->second);
    if (--entry->second.uses == 0) {
        XFreeGC(display, gc);
        gcCache.erase(entry);
        gcKeys.erase(key);
    }
}

int gcanvasCornerCoordWords(Tcl_Interp *interp, const GcanvasWidget *canvas, const GcanvasItem *item, int objc,
                            Tcl_Obj *const objv[])
{
    int coords = 4;
    if (objc == 1 || (objc > 1 && gcanvasIsOptionWord(objv[1]))) {
        coords = 1;
    }
    if (objc < coords) {
        Tcl_AppendResult(interp, "wrong # args: should be \"", Tk_PathName(canvas->tkwin), " create ", item->type->name,
                         " x1 y1 x2 y2 ?options?\"", nullptr);
        return -1;
    }
    return coords;
}

int gcanvasPointCoordWords(Tcl_Interp *interp, const GcanvasWidget *canvas, const GcanvasItem *item, int objc,
                           Tcl_Obj *const objv[])
{
    int coords = 2;
    if (objc == 1 || (objc > 1 && gcanvasIsOptionWord(objv[1]))) {
        coords = 1;
    }
    if (objc < coords) {
        Tcl_AppendResult(interp, "wrong # args: should be \"", Tk_PathName(canvas->tkwin), " create ", item->type->name,
                         " x y ?options?\"", nullptr);
        return -1;
    }
    return coords;
}

int gcanvasReadPointCoords(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[], double *x,
                           double *y)
{
    char text[80];
    if (objc == 1) {
        if (Tcl_ListObjGetElements(interp, objv[0], &objc, const_cast<Tcl_Obj ***>(&objv)) != TCL_OK) {
            return TCL_ERROR;
        }
        if (objc != 2) {
            std::snprintf(text, sizeof text, "wrong # coordinates: expected 2, got %d", objc);
            Tcl_SetObjResult(interp, Tcl_NewStringObj(text, -1));
            return TCL_ERROR;
        }
    } else if (objc != 2) {
        std::snprintf(text, sizeof text, "wrong # coordinates: expected 0 or 2, got %d", objc);
        Tcl_SetObjResult(interp, Tcl_NewStringObj(text, -1));
        return TCL_ERROR;
    }
    double px, py;
    if (gcanvasGetCoordFromObj(interp, canvas, objv[0], &px) != TCL_OK ||
        gcanvasGetCoordFromObj(interp, canvas, objv[1], &py) != TCL_OK) {
        return TCL_ERROR;
    }
    *x = px;
    *y = py;
    return TCL_OK;
}

int gcanvasConfigureRecord(Tcl_Interp *interp, GcanvasWidget *canvas, Tk_ConfigSpec *specs, void *record, int objc,
                           Tcl_Obj *const objv[], int flags)
{
    return teskConfigureWidget(interp, canvas->tkwin, specs, objc,
                               const_cast<const char **>(reinterpret_cast<const char *const *>(objv)),
                               static_cast<char *>(record), flags | TK_CONFIG_OBJS | TESK_CONFIG_PARTIAL);
}
