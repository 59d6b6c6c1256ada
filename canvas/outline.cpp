/*
 * outline.cpp --
 *
 *	Option values shared by the geo canvas's item types and the pen of
 *	outlined items: the -tags, -dash and -smooth custom option procedures
 *	(and the shared Tk_CustomOption records that item option tables point
 *	to), dash parsing and conversion, the smooth-method registry kept with
 *	the interpreter under "g_smoothMethod" beside the built-in "bezier"
 *	method, and the outline record's GC operations.
 */
#include "canvas/outline.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "canvas/coords.h"
#include "canvas/geometry.h"
#include "canvas/itemopts.h"
#include "canvas/postscript.h"
#include "tesk.h"
#include "tesk_stdio.h"

namespace {

/* Prints the internal failure and leaves the same text in interp. */
int outOfMemory(Tcl_Interp *interp, const char *where)
{
    tesk_fprintf(stderr, "Error in %s: out of memory\n", where);
    if (interp != nullptr) {
        Tcl_ResetResult(interp);
        Tcl_AppendResult(interp, "Error in ", where, ": out of memory", static_cast<char *>(nullptr));
    }
    return TCL_ERROR;
}

/* Free procedure of the texts the print procedures allocate. */
void freeText(char *text)
{
    gmemFree(text);
}

/* v truncated towards zero and held to lo..hi; NaN gives lo. */
int truncateClamped(double v, int lo, int hi)
{
    if (!(v > lo)) {
        return lo;
    }
    if (v >= hi) {
        return hi;
    }
    return static_cast<int>(v);
}

/* One dash length: a byte of 1..255. */
char dashByte(int length)
{
    return static_cast<char>(std::clamp(length, 1, 255));
}

}  // namespace

/* ---- tags ---- */

int gcanvasTagsParse(ClientData, Tcl_Interp *interp, Tk_Window, const char *value, char *widgRec, int)
{
    auto *item = reinterpret_cast<GcanvasItem *>(widgRec);
    int argc;
    const char **argv;
    if (Tcl_SplitList(interp, value != nullptr ? value : "", &argc, &argv) != TCL_OK) {
        return TCL_ERROR;
    }
    if (argc > item->tagSpace) {
        auto *grown = static_cast<Tk_Uid *>(gmemAlloc(sizeof(Tk_Uid) * static_cast<size_t>(argc)));
        if (grown == nullptr) {
            Tcl_Free(reinterpret_cast<char *>(argv));
            return outOfMemory(interp, "gcanvasTagsParse");
        }
        for (int i = 0; i < item->numTags; i++) {
            grown[i] = item->tags[i];
        }
        if (item->tags != item->staticTagSpace) {
            gmemFree(item->tags);
        }
        item->tags = grown;
        item->tagSpace = argc;
    }
    item->numTags = argc;
    for (int i = 0; i < argc; i++) {
        item->tags[i] = Tk_GetUid(argv[i]);
    }
    Tcl_Free(reinterpret_cast<char *>(argv));
    return TCL_OK;
}

const char *gcanvasTagsPrint(ClientData, Tk_Window, char *widgRec, int, Tcl_FreeProc **freeProcPtr)
{
    auto *item = reinterpret_cast<GcanvasItem *>(widgRec);
    *freeProcPtr = nullptr;
    if (item->numTags == 0) {
        return "";
    }
    if (item->numTags == 1) {
        return item->tags[0];
    }
    *freeProcPtr = TCL_DYNAMIC;
    return Tcl_Merge(item->numTags, item->tags);
}

const Tk_CustomOption gcanvasTagsOption = {gcanvasTagsParse, gcanvasTagsPrint, nullptr};

/* ---- dash patterns ---- */

namespace {

bool dashAllocated(const Tk_Dash *dash)
{
    return std::abs(dash->number) > GCANVAS_DASH_INLINE;
}

const char *dashBytes(const Tk_Dash *dash)
{
    return dashAllocated(dash) ? dash->pattern.pt : dash->pattern.array;
}

/* A pattern the GC values could not express: XSetDashes before drawing. */
bool dashNeedsSetDashes(const Tk_Dash *dash)
{
    if (dash->number < 0) {
        return true;
    }
    const char *bytes = dashBytes(dash);
    return dash->number > 2 || (dash->number == 2 && bytes[0] != bytes[1]);
}

/* Room for n pattern bytes in *dash (which is solid): the record's own
 * space or a new array. NULL when memory runs out. */
char *dashStorage(Tk_Dash *dash, size_t n)
{
    std::memset(dash->pattern.array, 0, sizeof dash->pattern.array);
    if (n > static_cast<size_t>(GCANVAS_DASH_INLINE)) {
        dash->pattern.pt = static_cast<char *>(gmemAlloc(n));
        return dash->pattern.pt;
    }
    return dash->pattern.array;
}

int badDashList(Tcl_Interp *interp, const char *value)
{
    if (interp != nullptr) {
        Tcl_AppendResult(interp, "bad dash list \"", value, "\": must be a list of integers or a format like \"-..\"",
                         static_cast<char *>(nullptr));
    }
    return TCL_ERROR;
}

}  // namespace

void gcanvasFreeDash(Tk_Dash *dash)
{
    if (dashAllocated(dash)) {
        gmemFree(dash->pattern.pt);
    }
    dash->number = 0;
    std::memset(dash->pattern.array, 0, sizeof dash->pattern.array);
}

int dashConvert(char *out, const char *pattern, int count, double width)
{
    int w = truncateClamped(width + 0.5, 1, 255);
    int result = 0;
    for (int i = 0; (count < 0 || i < count) && pattern[i] != '\0'; i++) {
        int dash;
        switch (pattern[i]) {
        case ' ':
            if (result == 0) {
                return 0;
            }
            if (out != nullptr) {
                int gap = static_cast<unsigned char>(out[result - 1]) + w + 1;
                out[result - 1] = dashByte(gap);
            }
            continue;
        case '.': dash = 2 * w; break;
        case ',': dash = 4 * w; break;
        case '-': dash = 6 * w; break;
        case '_': dash = 8 * w; break;
        default: return -1;
        }
        if (out != nullptr) {
            out[result] = dashByte(dash);
            out[result + 1] = dashByte(4 * w);
        }
        result += 2;
    }
    return result;
}

int gcanvasGetDash(Tcl_Interp *interp, const char *value, Tk_Dash *dash)
{
    gcanvasFreeDash(dash);
    if (value == nullptr || *value == '\0') {
        return TCL_OK;
    }
    switch (*value) {
    case '.':
    case ',':
    case '-':
    case '_': {
        if (dashConvert(nullptr, value, -1, 0.0) <= 0) {
            return badDashList(interp, value);
        }
        size_t length = std::strlen(value);
        if (length > 0x7fffffff) {
            return badDashList(interp, value);
        }
        char *store = dashStorage(dash, length);
        if (store == nullptr) {
            return outOfMemory(interp, "gcanvasGetDash");
        }
        std::memcpy(store, value, length);
        dash->number = -static_cast<int>(length);
        return TCL_OK;
    }
    default: break;
    }

    int argc;
    const char **argv;
    if (Tcl_SplitList(interp, value, &argc, &argv) != TCL_OK) {
        Tcl_ResetResult(interp);
        return badDashList(interp, value);
    }
    char *store = dashStorage(dash, static_cast<size_t>(argc));
    if (store == nullptr) {
        Tcl_Free(reinterpret_cast<char *>(argv));
        return outOfMemory(interp, "gcanvasGetDash");
    }
    dash->number = argc;
    for (int i = 0; i < argc; i++) {
        int length;
        if (Tcl_GetInt(nullptr, argv[i], &length) != TCL_OK) {
            /* Not a number at all: the value is no dash list. */
            gcanvasFreeDash(dash);
            Tcl_Free(reinterpret_cast<char *>(argv));
            Tcl_ResetResult(interp);
            return badDashList(interp, value);
        }
        if (length < 1 || length > 255) {
            if (interp != nullptr) {
                Tcl_ResetResult(interp);
                Tcl_AppendResult(interp, "expected integer in the range 1..255 but got \"", argv[i], "\"",
                                 static_cast<char *>(nullptr));
            }
            gcanvasFreeDash(dash);
            Tcl_Free(reinterpret_cast<char *>(argv));
            return TCL_ERROR;
        }
        store[i] = static_cast<char>(length);
    }
    Tcl_Free(reinterpret_cast<char *>(argv));
    return TCL_OK;
}

int gcanvasDashParse(ClientData, Tcl_Interp *interp, Tk_Window, const char *value, char *widgRec, int offset)
{
    return gcanvasGetDash(interp, value, reinterpret_cast<Tk_Dash *>(widgRec + offset));
}

const char *gcanvasDashPrint(ClientData, Tk_Window, char *widgRec, int offset, Tcl_FreeProc **freeProcPtr)
{
    const auto *dash = reinterpret_cast<const Tk_Dash *>(widgRec + offset);
    *freeProcPtr = nullptr;
    int n = dash->number;
    if (n == 0) {
        return "";
    }
    const char *bytes = dashBytes(dash);
    /* Characters as typed, or up to three digits and a blank a length. */
    size_t room = n < 0 ? static_cast<size_t>(-static_cast<long>(n)) + 1 : 4 * static_cast<size_t>(n) + 1;
    auto *text = static_cast<char *>(gmemAlloc(room));
    if (text == nullptr) {
        outOfMemory(nullptr, "gcanvasDashPrint");
        return "";
    }
    if (n < 0) {
        std::memcpy(text, bytes, room - 1);
        text[room - 1] = '\0';
    } else {
        char *p = text;
        for (int i = 0; i < n; i++) {
            p += std::snprintf(p, room - static_cast<size_t>(p - text), i == 0 ? "%d" : " %d",
                               static_cast<unsigned char>(bytes[i]));
        }
    }
    *freeProcPtr = freeText;
    return text;
}

const Tk_CustomOption gcanvasDashOption = {gcanvasDashParse, gcanvasDashPrint, nullptr};

/* ---- smooth methods ---- */

const GcanvasSmoothMethod gcanvasBezierSmoothMethod = {"bezier", gcanvasMakeBezierCurve, gcanvasMakeBezierPostscript};

void gcanvasMakeBezierPostscript(Tcl_Interp *interp, GcanvasWidget *canvas, const double *points, int n, int)
{
    if (n < 2) {
        return;
    }
    auto x = [&](int i) { return points[2 * i]; };
    auto y = [&](int i) { return points[2 * i + 1]; };
    char line[256];
    double start[2];
    bool closed = x(0) == x(n - 1) && y(0) == y(n - 1);
    if (closed && n > 2) {
        /* From the midpoint of the last side to that of the first. */
        double x0 = 0.5 * x(n - 2) + 0.5 * x(0), y0 = 0.5 * y(n - 2) + 0.5 * y(0);
        double x1 = 0.167 * x(n - 2) + 0.833 * x(0), y1 = 0.167 * y(n - 2) + 0.833 * y(0);
        double x2 = 0.833 * x(0) + 0.167 * x(1), y2 = 0.833 * y(0) + 0.167 * y(1);
        double x3 = 0.5 * x(0) + 0.5 * x(1), y3 = 0.5 * y(0) + 0.5 * y(1);
        std::snprintf(line, sizeof line, "%.15g %.15g moveto\n%.15g %.15g %.15g %.15g %.15g %.15g curveto\n", x0,
                      gcanvasPsY(canvas, y0), x1, gcanvasPsY(canvas, y1), x2, gcanvasPsY(canvas, y2), x3,
                      gcanvasPsY(canvas, y3));
        start[0] = x3;
        start[1] = y3;
    } else {
        closed = false;
        std::snprintf(line, sizeof line, "%.15g %.15g moveto\n", x(0), gcanvasPsY(canvas, y(0)));
        start[0] = x(0);
        start[1] = y(0);
    }
    Tcl_AppendResult(interp, line, static_cast<char *>(nullptr));
    for (int v = 1; v <= n - 2; v++) {
        double c1x = 0.333 * start[0] + 0.667 * x(v), c1y = 0.333 * start[1] + 0.667 * y(v);
        double endX, endY;
        if (v == n - 2 && !closed) {
            endX = x(v + 1);
            endY = y(v + 1);
        } else {
            endX = 0.5 * x(v) + 0.5 * x(v + 1);
            endY = 0.5 * y(v) + 0.5 * y(v + 1);
        }
        double c2x = 0.333 * endX + 0.667 * x(v), c2y = 0.333 * endY + 0.667 * y(v);
        std::snprintf(line, sizeof line, "%.15g %.15g %.15g %.15g %.15g %.15g curveto\n", c1x, gcanvasPsY(canvas, c1y),
                      c2x, gcanvasPsY(canvas, c2y), endX, gcanvasPsY(canvas, endY));
        Tcl_AppendResult(interp, line, static_cast<char *>(nullptr));
        start[0] = endX;
        start[1] = endY;
    }
}

namespace {

constexpr const char *kSmoothKey = "g_smoothMethod";

/* A registered method; the list, newest first, is the interpreter's
 * associated data. The name is kept in the same block. */
struct SmoothEntry {
    GcanvasSmoothMethod method;
    SmoothEntry *next;
};

void smoothMethodCleanup(ClientData clientData, Tcl_Interp *)
{
    auto *entry = static_cast<SmoothEntry *>(clientData);
    while (entry != nullptr) {
        SmoothEntry *next = entry->next;
        gmemFree(entry);
        entry = next;
    }
}

SmoothEntry *registeredMethods(Tcl_Interp *interp)
{
    return static_cast<SmoothEntry *>(Tcl_GetAssocData(interp, kSmoothKey, nullptr));
}

}  // namespace

int gcanvasCreateSmoothMethod(Tcl_Interp *interp, const GcanvasSmoothMethod *method)
{
    if (method == nullptr || method->name == nullptr) {
        return TCL_ERROR;
    }
    SmoothEntry *head = registeredMethods(interp);
    for (SmoothEntry *e = head; e != nullptr; e = e->next) {
        if (std::strcmp(e->method.name, method->name) == 0) {
            e->method.coordProc = method->coordProc;
            e->method.postscriptProc = method->postscriptProc;
            return TCL_OK;
        }
    }
    size_t nameLength = std::strlen(method->name) + 1;
    auto *entry = static_cast<SmoothEntry *>(gmemAlloc(sizeof(SmoothEntry) + nameLength));
    if (entry == nullptr) {
        return outOfMemory(interp, "gcanvasCreateSmoothMethod");
    }
    char *name = reinterpret_cast<char *>(entry + 1);
    std::memcpy(name, method->name, nameLength);
    entry->method = *method;
    entry->method.name = name;
    entry->next = head;
    Tcl_SetAssocData(interp, kSmoothKey, smoothMethodCleanup, entry);
    return TCL_OK;
}

int gcanvasSmoothParse(ClientData, Tcl_Interp *interp, Tk_Window, const char *value, char *widgRec, int offset)
{
    auto **slot = reinterpret_cast<const GcanvasSmoothMethod **>(widgRec + offset);
    if (value == nullptr || *value == '\0') {
        *slot = nullptr;
        return TCL_OK;
    }
    int on;
    if (Tcl_GetBoolean(nullptr, value, &on) == TCL_OK) {
        *slot = on ? &gcanvasBezierSmoothMethod : nullptr;
        return TCL_OK;
    }
    size_t length = std::strlen(value);
    const GcanvasSmoothMethod *found = nullptr;
    for (SmoothEntry *e = registeredMethods(interp); e != nullptr; e = e->next) {
        if (std::strncmp(value, e->method.name, length) == 0) {
            if (found != nullptr) {
                Tcl_AppendResult(interp, "ambigeous smooth method \"", value, "\"", static_cast<char *>(nullptr));
                return TCL_ERROR;
            }
            found = &e->method;
        }
    }
    if (found == nullptr && std::strncmp(value, gcanvasBezierSmoothMethod.name, length) == 0) {
        found = &gcanvasBezierSmoothMethod;
    }
    if (found == nullptr) {
        /* Leaves the boolean parser's message. */
        Tcl_GetBoolean(interp, value, &on);
        return TCL_ERROR;
    }
    *slot = found;
    return TCL_OK;
}

const char *gcanvasSmoothPrint(ClientData, Tk_Window, char *widgRec, int offset, Tcl_FreeProc **freeProcPtr)
{
    const auto *method = *reinterpret_cast<const GcanvasSmoothMethod *const *>(widgRec + offset);
    *freeProcPtr = nullptr;
    return method != nullptr ? method->name : "0";
}

const Tk_CustomOption gcanvasSmoothOption = {gcanvasSmoothParse, gcanvasSmoothPrint, nullptr};

/* ---- outline record ---- */

void gcanvasCreateOutline(GcanvasOutline *outline)
{
    std::memset(outline, 0, sizeof *outline);
    outline->gc = None;
    outline->width = 1.0;
    outline->stipple = None;
    outline->activeStipple = None;
    outline->disabledStipple = None;
}

void gcanvasDeleteOutline(Display *display, GcanvasOutline *outline)
{
    gcanvasFreeGC(display, outline->gc);
    gcanvasFreeDash(&outline->dash);
    gcanvasFreeDash(&outline->activeDash);
    gcanvasFreeDash(&outline->disabledDash);
    for (XColor *colour : {outline->color, outline->background, outline->activeColor, outline->disabledColor}) {
        if (colour != nullptr) {
            Tk_FreeColor(colour);
        }
    }
    for (Pixmap bitmap : {outline->stipple, outline->activeStipple, outline->disabledStipple}) {
        if (bitmap != None) {
            Tk_FreeBitmap(display, bitmap);
        }
    }
    gcanvasCreateOutline(outline);
}

namespace {

/* The pen an outline draws with in the item's present state. */
struct Pen {
    double width;
    const Tk_Dash *dash;
    XColor *color;
    Pixmap stipple;
};

/* Which pen a caller wants. New GCs (AboveZero) and the changes around
 * drawing (AboveWidth) draw at least one pixel wide and take any active
 * or disabled dash; they differ in which disabled widths apply: any
 * above 0, or only one larger than the pen's. PostScript takes the width
 * as it is (not raised to 1), any disabled width above 0, and an active
 * or disabled dash only when it is a list of lengths. */
enum class PenRule { AboveZero, AboveWidth, PostScript };

Pen choosePen(const GcanvasWidget *canvas, const GcanvasItem *item, const GcanvasOutline *outline, PenRule rule)
{
    double width = rule == PenRule::PostScript ? outline->width : std::max(outline->width, 1.0);
    Pen pen = {width, &outline->dash, outline->color, outline->stipple};
    int state = item->state == GCANVAS_STATE_INHERIT ? canvas->canvasState : item->state;
    auto dashApplies = [rule](const Tk_Dash &dash) {
        return rule == PenRule::PostScript ? dash.number > 0 : dash.number != 0;
    };
    if (canvas->currentItem == item) {
        if (outline->activeWidth > pen.width) {
            pen.width = outline->activeWidth;
        }
        if (dashApplies(outline->activeDash)) {
            pen.dash = &outline->activeDash;
        }
        if (outline->activeColor != nullptr) {
            pen.color = outline->activeColor;
        }
        if (outline->activeStipple != None) {
            pen.stipple = outline->activeStipple;
        }
    } else if (state == GCANVAS_STATE_DISABLED) {
        if (rule == PenRule::AboveWidth ? outline->disabledWidth > pen.width : outline->disabledWidth > 0) {
            pen.width = outline->disabledWidth;
        }
        if (dashApplies(outline->disabledDash)) {
            pen.dash = &outline->disabledDash;
        }
        if (outline->disabledColor != nullptr) {
            pen.color = outline->disabledColor;
        }
        if (outline->disabledStipple != None) {
            pen.stipple = outline->disabledStipple;
        }
    }
    return pen;
}

}  // namespace

unsigned long gcanvasConfigOutlineGC(XGCValues *gcValues, GcanvasWidget *canvas, GcanvasItem *item,
                                     GcanvasOutline *outline)
{
    outline->width = std::max(outline->width, 0.0);
    outline->activeWidth = std::max(outline->activeWidth, 0.0);
    outline->disabledWidth = std::max(outline->disabledWidth, 0.0);
    if (item->state == GCANVAS_STATE_HIDDEN) {
        return 0;
    }
    Pen pen = choosePen(canvas, item, outline, PenRule::AboveZero);
    if (pen.color == nullptr) {
        return 0;
    }
    gcValues->line_width = truncateClamped(pen.width + 0.5, 0, 32767);
    gcValues->foreground = pen.color->pixel;
    unsigned long mask = GCForeground | GCLineWidth;
    if (pen.stipple != None) {
        gcValues->stipple = pen.stipple;
        gcValues->fill_style = FillStippled;
        mask |= GCStipple | GCFillStyle;
    }
    const Tk_Dash *dash = pen.dash;
    if (dash->number != 0) {
        if (outline->background != nullptr) {
            gcValues->background = outline->background->pixel;
            gcValues->line_style = LineDoubleDash;
            mask |= GCBackground;
        } else {
            gcValues->line_style = LineOnOffDash;
        }
        gcValues->dash_offset = outline->offset;
        if (dash->number > 2) {
            gcValues->dashes = 4; /* the list is set before drawing */
        } else if (dash->number > 0) {
            /* One length, or two of which an equal pair is drawn as set
             * here; an unequal pair is set before drawing. */
            gcValues->dashes = dashBytes(dash)[0];
        } else {
            gcValues->dashes = dashByte(truncateClamped(4 * pen.width, 1, 255));
        }
        mask |= GCLineStyle | GCDashList | GCDashOffset;
    }
    return mask;
}

int gcanvasChangeOutlineGC(GcanvasWidget *canvas, GcanvasItem *item, GcanvasOutline *outline)
{
    Pen pen = choosePen(canvas, item, outline, PenRule::AboveWidth);
    if (pen.color == nullptr || outline->gc == None) {
        return 0;
    }
    const Tk_Dash *dash = pen.dash;
    if (dash->number < 0) {
        int n = -dash->number;
        std::vector<char> lengths(2 * static_cast<size_t>(n));
        int count = dashConvert(lengths.data(), dashBytes(dash), n, pen.width);
        if (count > 0) {
            XSetDashes(canvas->display, outline->gc, outline->offset, lengths.data(), count);
        }
    } else if (dashNeedsSetDashes(dash)) {
        XSetDashes(canvas->display, outline->gc, outline->offset, dashBytes(dash), dash->number);
    }
    if (pen.stipple == None) {
        return 0;
    }
    Tk_TSOffset *tsoffset = &outline->tsoffset;
    int dx = 0, dy = 0;
    int flags = tsoffset->flags;
    if ((flags & TK_OFFSET_INDEX) == 0 && (flags & (TK_OFFSET_CENTER | TK_OFFSET_MIDDLE)) != 0) {
        int w = 0, h = 0;
        Tk_SizeOfBitmap(canvas->display, pen.stipple, &w, &h);
        dx = (flags & TK_OFFSET_CENTER) != 0 ? w / 2 : 0;
        dy = (flags & TK_OFFSET_MIDDLE) != 0 ? h / 2 : 0;
    }
    tsoffset->xoffset -= dx;
    tsoffset->yoffset -= dy;
    gcanvasSetOffset(canvas, outline->gc, tsoffset);
    tsoffset->xoffset += dx;
    tsoffset->yoffset += dy;
    return 1;
}

int gcanvasResetOutlineGC(GcanvasWidget *canvas, GcanvasItem *item, GcanvasOutline *outline)
{
    Pen pen = choosePen(canvas, item, outline, PenRule::AboveWidth);
    if (pen.color == nullptr || outline->gc == None) {
        return 0;
    }
    const Tk_Dash *dash = pen.dash;
    if (dashNeedsSetDashes(dash)) {
        char length;
        if (dash->number < 0) {
            length = dashByte(truncateClamped(4 * pen.width + 0.5, 1, 255));
        } else if (dash->number <= 2) {
            length = dashBytes(dash)[0];
        } else {
            length = 4;
        }
        XSetDashes(canvas->display, outline->gc, outline->offset, &length, 1);
    }
    if (pen.stipple == None) {
        return 0;
    }
    XSetTSOrigin(canvas->display, outline->gc, 0, 0);
    return 1;
}

int gcanvasPsOutline(GcanvasWidget *canvas, GcanvasItem *item, GcanvasOutline *outline)
{
    Tcl_Interp *interp = canvas->interp;
    Pen pen = choosePen(canvas, item, outline, PenRule::PostScript);
    double width = pen.width;
    const Tk_Dash *dash = pen.dash;
    XColor *colour = pen.color;
    Pixmap stipple = pen.stipple;

    char text[64];
    std::snprintf(text, sizeof text, "%.15g setlinewidth\n", width);
    std::string ps = text;
    std::vector<char> converted;
    const char *lengths = nullptr;
    int count = 0;
    if (dash->number > 0) {
        lengths = dashBytes(dash);
        count = dash->number;
    } else if (dash->number < 0) {
        converted.resize(2 * static_cast<size_t>(-dash->number));
        count = dashConvert(converted.data(), dashBytes(dash), -dash->number, width);
        lengths = converted.data();
    }
    if (count > 0) {
        /* An odd list once more, so that dashes and gaps alternate. */
        for (int round = 0; round < (count % 2 == 1 ? 2 : 1); round++) {
            for (int i = 0; i < count; i++) {
                std::snprintf(text, sizeof text, round == 0 && i == 0 ? "[%d" : " %d",
                              static_cast<unsigned char>(lengths[i]));
                ps += text;
            }
        }
        std::snprintf(text, sizeof text, "] %d setdash\n", outline->offset);
        ps += text;
    } else {
        ps += "[] 0 setdash\n";
    }
    Tcl_AppendResult(interp, ps.c_str(), static_cast<char *>(nullptr));
    if (gcanvasPsColor(interp, canvas, colour) != TCL_OK) {
        return TCL_ERROR;
    }
    if (stipple != None) {
        Tcl_AppendResult(interp, "StrokeClip ", static_cast<char *>(nullptr));
        return gcanvasPsStipple(interp, canvas, stipple);
    }
    Tcl_AppendResult(interp, "stroke\n", static_cast<char *>(nullptr));
    return TCL_OK;
}

/* ---- PostScript shared by the line, polygon and arc items ---- */

namespace {

/* Whether nothing is to be written: no run, or its prepass. */
bool psPrepass(const GcanvasWidget *canvas)
{
    const auto *ps = static_cast<const GcanvasPsInfo *>(canvas->psInfo);
    return ps == nullptr || ps->prepass;
}

}  // namespace

int gcanvasPsFill(Tcl_Interp *interp, GcanvasWidget *canvas, XColor *colour, Pixmap stipple)
{
    if (psPrepass(canvas)) {
        return TCL_OK;
    }
    if (gcanvasPsColor(interp, canvas, colour) != TCL_OK) {
        return TCL_ERROR;
    }
    if (stipple != None) {
        Tcl_AppendResult(interp, "clip ", nullptr);
        return gcanvasPsStipple(interp, canvas, stipple);
    }
    Tcl_AppendResult(interp, "fill\n", nullptr);
    return TCL_OK;
}

int gcanvasPsDot(Tcl_Interp *interp, GcanvasWidget *canvas, const double *point, double width, XColor *colour,
                 Pixmap stipple)
{
    if (psPrepass(canvas)) {
        return TCL_OK;
    }
    double c[2];
    worldToCanvasPoints(canvas, point, c, 1);
    char text[300];
    std::snprintf(text, sizeof text,
                  "matrix currentmatrix\n%.15g %.15g translate %.15g %.15g scale 1 0 moveto 0 0 1 0 360 arc\n"
                  "setmatrix\n",
                  c[0], gcanvasPsY(canvas, c[1]), width / 2, width / 2);
    Tcl_AppendResult(interp, text, nullptr);
    return gcanvasPsFill(interp, canvas, colour, stipple);
}

int gcanvasPsPartsPath(Tcl_Interp *interp, GcanvasWidget *canvas, const double *points, const int *counts, int numParts,
                       const GcanvasSmoothMethod *smooth, int steps, bool methodPs)
{
    if (psPrepass(canvas)) {
        return TCL_OK;
    }
    const double *in = points;
    std::vector<double> smoothed, canvasPoints;
    for (int p = 0; p < numParts; p++) {
        int n = counts[p];
        bool smoothable = smooth != nullptr && n >= 3 && gcanvasSmoothBound(canvas, smooth, n, steps) >= 0;
        if (smoothable && methodPs && smooth->postscriptProc != nullptr) {
            canvasPoints.resize(2 * static_cast<size_t>(n));
            worldToCanvasPoints(canvas, in, canvasPoints.data(), n);
            smooth->postscriptProc(interp, canvas, canvasPoints.data(), n, steps);
        } else if (smoothable) {
            smoothed.clear();
            int made = gcanvasSmoothPart(canvas, smooth, in, n, steps, smoothed);
            if (made > 0 ? gcanvasPsPath(interp, canvas, smoothed.data(), made) != TCL_OK
                         : gcanvasPsPath(interp, canvas, in, n) != TCL_OK) {
                return TCL_ERROR;
            }
        } else if (n >= 2 && gcanvasPsPath(interp, canvas, in, n) != TCL_OK) {
            return TCL_ERROR;
        }
        in += 2 * static_cast<size_t>(n);
    }
    return TCL_OK;
}
