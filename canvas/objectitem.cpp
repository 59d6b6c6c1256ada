/*
 * objectitem.cpp --
 *
 *	The object item of the geo canvas: a whole SHAPE data object drawn
 *	with one set of styling options, its selected records as symbols,
 *	polylines or polygons with holes (filled by the even-odd rule over
 *	all rings). The item copies no geometry: it holds a use of the object
 *	with a change listener, reads the records through the object's
 *	ShapeOps at every redraw, hit test and measure, and redraws itself
 *	when the object tells it of a change. Its own coordinates are a
 *	translation added to every record. Registered as the type "object".
 *
 *	Record data is not trusted: part counts are held to the record's
 *	points and records with non-finite boxes are skipped.
 */
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>
#include "canvas/canvasint.h"
#include "canvas/coords.h"
#include "canvas/geometry.h"
#include "canvas/itemopts.h"
#include "canvas/outline.h"
#include "platform/x11draw.h"
#include "geo/shapeapi.h"
#include "runtime/startup.h"
#include "tesk.h"
#include "tesk_stdio.h"
#include "tkInt.h"

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

/* Drawable coordinates beyond this reach are clipped in doubles before
 * they become 16-bit points. */
constexpr double kSafeReach = 16000;
/* Most points a smoothed part may become. */
constexpr int64_t kSmoothLimit = 4000000;

enum SymbolType { SYMBOL_OVAL, SYMBOL_RECTANGLE, SYMBOL_DIAMOND, SYMBOL_CROSSHAIR, SYMBOL_HANDLE };
enum MarkerType { MARKER_POINT, MARKER_CROSS };

struct ObjectItem {
    GcanvasItem header;
    double x, y;                    /* world translation of every record */
    Tk_Anchor anchor;               /* -anchor: kept, not used */
    Tk_TSOffset tsoffset;           /* -offset: fill stipple origin */
    XColor *fillColor, *activeFillColor, *disabledFillColor;
    Pixmap fillStipple, activeFillStipple, disabledFillStipple;
    GC fillGC;                      /* fills and symbol bodies; NULL without a fill colour */
    GcanvasOutline outline;
    /* joinStyle, capStyle, splineSteps and smooth follow the outline
     * record in this order: code handed the outline record reads them. */
    int joinStyle;                  /* X join style */
    int capStyle;                   /* X cap style of the hit tests; round, as drawn */
    int splineSteps;                /* 1..100 */
    const GcanvasSmoothMethod *smooth;  /* NULL: not smoothed */
    char *objectName;               /* -object (Tcl-allocated) or NULL */
    RAMOBJ *object;                 /* held with one use and a listener, or NULL */
    int picked;                     /* record found by the last point test, -1: none */
    GcanvasWidget *canvas;
    int symbolXSize, symbolYSize;   /* pixels */
    int symbolType;                 /* SymbolType */
    int markerType;                 /* MarkerType */
    GC markerGC;                    /* NULL without a marker colour */
    XColor *markerColor;
    XColor *highlightColor;         /* -highlightcolor */
    /* The union of the record boxes in world units, read once for each
     * state of the object (moves, zooms and options do not read it again). */
    bool extentKnown;               /* false: to be read from the records */
    bool extentAny;                 /* some record has a box */
    double extent[4];
};

/* ---- symbol and marker type options ---- */

struct NamedChoice {
    const char *option;             /* "-symboltype" */
    const char *const *names;       /* NULL-terminated */
    const char *expected;           /* the names as the error lists them */
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

Tk_CustomOption symbolTypeOption = {choiceParse, choicePrint,
                                    const_cast<NamedChoice *>(&kSymbolChoice)};
Tk_CustomOption markerTypeOption = {choiceParse, choicePrint,
                                    const_cast<NamedChoice *>(&kMarkerChoice)};

#define OI_OPT(field) Tk_Offset(ObjectItem, field)

Tk_ConfigSpec configSpecs[] = {
    {TK_CONFIG_CUSTOM, "-activedash", nullptr, nullptr, nullptr, OI_OPT(outline.activeDash), TK_CONFIG_NULL_OK,
     const_cast<Tk_CustomOption *>(&gcanvasDashOption)},
    {TK_CONFIG_COLOR, "-activefill", nullptr, nullptr, nullptr, OI_OPT(activeFillColor), TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_COLOR, "-activeoutline", nullptr, nullptr, nullptr, OI_OPT(outline.activeColor), TK_CONFIG_NULL_OK,
     nullptr},
    {TK_CONFIG_BITMAP, "-activeoutlinestipple", nullptr, nullptr, nullptr, OI_OPT(outline.activeStipple),
     TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_BITMAP, "-activestipple", nullptr, nullptr, nullptr, OI_OPT(activeFillStipple), TK_CONFIG_NULL_OK,
     nullptr},
    {TK_CONFIG_CUSTOM, "-activewidth", nullptr, nullptr, "0.0", OI_OPT(outline.activeWidth),
     TK_CONFIG_DONT_SET_DEFAULT, &gcanvasPixelOption},
    {TK_CONFIG_CUSTOM, "-dash", nullptr, nullptr, nullptr, OI_OPT(outline.dash), TK_CONFIG_NULL_OK,
     const_cast<Tk_CustomOption *>(&gcanvasDashOption)},
    {TK_CONFIG_PIXELS, "-dashoffset", nullptr, nullptr, "0", OI_OPT(outline.offset), TK_CONFIG_DONT_SET_DEFAULT,
     nullptr},
    {TK_CONFIG_CUSTOM, "-disableddash", nullptr, nullptr, nullptr, OI_OPT(outline.disabledDash), TK_CONFIG_NULL_OK,
     const_cast<Tk_CustomOption *>(&gcanvasDashOption)},
    {TK_CONFIG_COLOR, "-disabledfill", nullptr, nullptr, nullptr, OI_OPT(disabledFillColor), TK_CONFIG_NULL_OK,
     nullptr},
    {TK_CONFIG_COLOR, "-disabledoutline", nullptr, nullptr, nullptr, OI_OPT(outline.disabledColor),
     TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_BITMAP, "-disabledoutlinestipple", nullptr, nullptr, nullptr, OI_OPT(outline.disabledStipple),
     TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_BITMAP, "-disabledstipple", nullptr, nullptr, nullptr, OI_OPT(disabledFillStipple),
     TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_CUSTOM, "-disabledwidth", nullptr, nullptr, "0.0", OI_OPT(outline.disabledWidth),
     TK_CONFIG_DONT_SET_DEFAULT, &gcanvasPixelOption},
    {TK_CONFIG_COLOR, "-fill", nullptr, nullptr, nullptr, OI_OPT(fillColor), TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_INT, "-floating", nullptr, nullptr, "0", OI_OPT(header.floating), 0, nullptr},
    {TK_CONFIG_COLOR, "-background", "background", "Background", nullptr, OI_OPT(outline.background),
     TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_SYNONYM, "-bg", "background", nullptr, nullptr, 0, 0, nullptr},
    {TK_CONFIG_JOIN_STYLE, "-joinstyle", nullptr, nullptr, "round", OI_OPT(joinStyle), TK_CONFIG_DONT_SET_DEFAULT,
     nullptr},
    {TK_CONFIG_CUSTOM, "-offset", nullptr, nullptr, "0,0", OI_OPT(tsoffset), TK_CONFIG_DONT_SET_DEFAULT,
     &gcanvasOffsetOption},
    {TK_CONFIG_COLOR, "-outline", nullptr, nullptr, "black", OI_OPT(outline.color), TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_CUSTOM, "-outlineoffset", nullptr, nullptr, "0,0", OI_OPT(outline.tsoffset),
     TK_CONFIG_DONT_SET_DEFAULT, &gcanvasOffsetOption},
    {TK_CONFIG_BITMAP, "-outlinestipple", nullptr, nullptr, nullptr, OI_OPT(outline.stipple), TK_CONFIG_NULL_OK,
     nullptr},
    {TK_CONFIG_CUSTOM, "-smooth", nullptr, nullptr, "0", OI_OPT(smooth), TK_CONFIG_DONT_SET_DEFAULT,
     const_cast<Tk_CustomOption *>(&gcanvasSmoothOption)},
    {TK_CONFIG_INT, "-splinesteps", nullptr, nullptr, "12", OI_OPT(splineSteps), TK_CONFIG_DONT_SET_DEFAULT,
     nullptr},
    {TK_CONFIG_CUSTOM, "-state", nullptr, nullptr, nullptr, OI_OPT(header.state), TK_CONFIG_NULL_OK,
     &gcanvasItemStateOption},
    {TK_CONFIG_BITMAP, "-stipple", nullptr, nullptr, nullptr, OI_OPT(fillStipple), TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_CUSTOM, "-tags", nullptr, nullptr, nullptr, 0, TK_CONFIG_NULL_OK,
     const_cast<Tk_CustomOption *>(&gcanvasTagsOption)},
    {TK_CONFIG_CUSTOM, "-width", nullptr, nullptr, "1.0", OI_OPT(outline.width), TK_CONFIG_DONT_SET_DEFAULT,
     &gcanvasPixelOption},
    {TK_CONFIG_STRING, "-object", nullptr, nullptr, nullptr, OI_OPT(objectName), TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_ANCHOR, "-anchor", nullptr, nullptr, "center", OI_OPT(anchor), TK_CONFIG_DONT_SET_DEFAULT, nullptr},
    {TK_CONFIG_PIXELS, "-symbolxsize", nullptr, nullptr, "10", OI_OPT(symbolXSize), TK_CONFIG_DONT_SET_DEFAULT,
     nullptr},
    {TK_CONFIG_PIXELS, "-symbolysize", nullptr, nullptr, "10", OI_OPT(symbolYSize), TK_CONFIG_DONT_SET_DEFAULT,
     nullptr},
    {TK_CONFIG_CUSTOM, "-symboltype", nullptr, nullptr, "oval", OI_OPT(symbolType), TK_CONFIG_DONT_SET_DEFAULT,
     &symbolTypeOption},
    {TK_CONFIG_CUSTOM, "-markertype", nullptr, nullptr, "point", OI_OPT(markerType), TK_CONFIG_DONT_SET_DEFAULT,
     &markerTypeOption},
    {TK_CONFIG_COLOR, "-markercolor", nullptr, nullptr, "red", OI_OPT(markerColor), TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_COLOR, "-highlightcolor", nullptr, nullptr, "yellow", OI_OPT(highlightColor), TK_CONFIG_NULL_OK,
     nullptr},
    {TK_CONFIG_END, nullptr, nullptr, nullptr, nullptr, 0, 0, nullptr},
};

#undef OI_OPT

/* ---- state ---- */

ObjectItem *asObject(GcanvasItem *item)
{
    return reinterpret_cast<ObjectItem *>(item);
}




Pixmap chosenFillStipple(const GcanvasWidget *canvas, const ObjectItem *o)
{
    return gcanvasChosen<Pixmap>(canvas, &o->header, o->fillStipple, o->activeFillStipple, o->disabledFillStipple,
                                 None);
}

/* ---- records ---- */

const ShapeOps *opsOf(RAMOBJ *obj)
{
    return static_cast<const ShapeOps *>(obj->extension);
}

bool finiteBox(const double *box)
{
    return std::isfinite(box[0]) && std::isfinite(box[1]) && std::isfinite(box[2]) && std::isfinite(box[3]);
}

/* One record as the item reads it. */
struct Record {
    int kind = 0;                   /* SHAPE_POINT, SHAPE_LINE, SHAPE_POLYGON, or 0 for none */
    const double *points = nullptr; /* world (x, y) pairs of all parts */
    int nPoints = 0;
    double box[4] = {0, 0, 0, 0};   /* world box, from the record or its points */
    std::vector<int> counts;        /* parts, each within the points; at least one point each */
};

/*
 * Reads record i into rec. Answers false for a record with nothing to
 * show: no points, a kind without geometry, or a non-finite box. Part
 * counts are held to the points the record has (a count past them is cut,
 * points past the parts are ignored); a point record is one part of all
 * its points.
 */
bool readRecord(RAMOBJ *obj, int i, Record &rec)
{
    const ShapeOps *ops = opsOf(obj);
    int kind = 0, nParts = 0;
    const int *parts = ops->parts(obj, i, &kind, &nParts);
    int n = 0;
    const double *points = ops->points(obj, i, &n);
    rec.kind = kind;
    rec.points = points;
    rec.nPoints = n;
    rec.counts.clear();
    if (points == nullptr || n <= 0 || (kind != SHAPE_POINT && kind != SHAPE_LINE && kind != SHAPE_POLYGON)) {
        return false;
    }
    if (parts == nullptr || kind == SHAPE_POINT) {
        rec.counts.push_back(n);
    } else {
        int left = n;
        for (int k = 0; k < nParts && left > 0; k++) {
            int c = std::min(std::max(parts[k], 0), left);
            if (c > 0) {
                rec.counts.push_back(c);
                left -= c;
            }
        }
        if (rec.counts.empty()) {
            return false;
        }
    }
    const double *box = ops->bbox(obj, i);
    if (box != nullptr) {
        std::copy(box, box + 4, rec.box);
    } else {
        rec.box[0] = rec.box[2] = points[0];
        rec.box[1] = rec.box[3] = points[1];
    }
    return finiteBox(rec.box);
}

bool selected(RAMOBJ *obj, int i)
{
    return opsOf(obj)->isSelected(obj, i) != 0;
}

/* Moves the canvas's offsets for the time of a drawing or a test so that
 * record coordinates land at their translated place. */
class TranslatedFrame {
public:
    TranslatedFrame(GcanvasWidget *canvas, double x, double y)
        : canvas_(canvas), xOffset_(canvas->xOffset), yOffset_(canvas->yOffset)
    {
        canvas->xOffset -= x * canvas->mx;
        canvas->yOffset -= y * canvas->my;
    }
    ~TranslatedFrame()
    {
        canvas_->xOffset = xOffset_;
        canvas_->yOffset = yOffset_;
    }
    TranslatedFrame(const TranslatedFrame &) = delete;
    TranslatedFrame &operator=(const TranslatedFrame &) = delete;

private:
    GcanvasWidget *canvas_;
    double xOffset_, yOffset_;
};

/* The record's points in canvas units into out, with counts the points of
 * each part there. When the item is smoothed and the record has at least
 * recordMinimum points, parts of 3 points or more are smoothed; rings are
 * closed when closeRings asks. */
void canvasParts(const GcanvasWidget *canvas, const ObjectItem *o, const Record &rec, bool closeRings,
                 int recordMinimum, std::vector<double> &out, std::vector<int> &counts, std::vector<double> &work)
{
    out.clear();
    counts.clear();
    bool smooth = o->smooth != nullptr && o->smooth->coordProc != nullptr && rec.nPoints >= recordMinimum;
    const double *in = rec.points;
    for (int c : rec.counts) {
        size_t start = out.size();
        work.resize(2 * static_cast<size_t>(c));
        worldToCanvasPoints(canvas, in, work.data(), c);
        in += 2 * static_cast<size_t>(c);
        /* A part whose smoothed points would pass kSmoothLimit is drawn as
         * it is (the bound is c * steps + 1 points). */
        if (smooth && c >= 3 && int64_t(c) * o->splineSteps < kSmoothLimit) {
            int bound = o->smooth->coordProc(canvas, nullptr, c, o->splineSteps, nullptr, nullptr);
            out.resize(start + 2 * static_cast<size_t>(std::max(bound, 0)));
            int made = o->smooth->coordProc(canvas, work.data(), c, o->splineSteps, nullptr, out.data() + start);
            out.resize(start + 2 * static_cast<size_t>(std::clamp(made, 0, bound)));
        } else {
            out.insert(out.end(), work.begin(), work.end());
        }
        int n = static_cast<int>((out.size() - start) / 2);
        if (closeRings && n > 1 && (out[start] != out[out.size() - 2] || out[start + 1] != out.back())) {
            out.push_back(out[start]);
            out.push_back(out[start + 1]);
            n++;
        }
        counts.push_back(n);
    }
}

/* The record's box in canvas units (under the translated frame). */
void canvasBox(const GcanvasWidget *canvas, const Record &rec, double *out)
{
    worldRectToCanvas(canvas, rec.box[0], rec.box[1], rec.box[2], rec.box[3], out);
}

/* ---- bounding box ---- */

void objectBbox(GcanvasWidget *canvas, GcanvasItem *item)
{
    ObjectItem *o = asObject(item);
    RAMOBJ *obj = o->object;
    int count = obj != nullptr ? obj->count(obj) : 0;
    if (obj == nullptr || count <= 0 || gcanvasItemState(canvas, item) == GCANVAS_STATE_HIDDEN) {
        item->x1 = item->y1 = item->x2 = item->y2 = -1;
        return;
    }
    if (!o->extentKnown) {
        bool any = false;
        double *u = o->extent;
        Record rec;
        for (int i = 0; i < count; i++) {
            if (!readRecord(obj, i, rec)) {
                continue;
            }
            if (!any) {
                std::copy(rec.box, rec.box + 4, u);
                any = true;
            } else {
                u[0] = std::min(u[0], rec.box[0]);
                u[1] = std::min(u[1], rec.box[1]);
                u[2] = std::max(u[2], rec.box[2]);
                u[3] = std::max(u[3], rec.box[3]);
            }
        }
        o->extentAny = any;
        o->extentKnown = true;
    }
    const double *u = o->extent;
    if (!o->extentAny) {
        item->x1 = item->y1 = item->x2 = item->y2 = -1;
        return;
    }
    double c[4];
    {
        TranslatedFrame frame(canvas, o->x, o->y);
        worldRectToCanvas(canvas, u[0], u[1], u[2], u[3], c);
    }
    double w = o->outline.gc != nullptr ? std::ceil(gcanvasChosenWidth(canvas, &o->header, o->outline)) : 0;
    double xPad = w, yPad = w;
    if (obj->subtype(obj) == SHAPE_POINT) {
        /* Symbols reach half their size past every point. */
        xPad += o->symbolXSize / 2.0 + 1;
        yPad += o->symbolYSize / 2.0 + 1;
    }
    item->x1 = c[0] - xPad;
    item->y1 = c[1] - yPad;
    item->x2 = c[2] + xPad;
    item->y2 = c[3] + yPad;
    item->xPad = static_cast<float>(xPad);
    item->yPad = static_cast<float>(yPad);
}

/* ---- the object held ---- */

/* Told by the object of every change: the old and the new area redraw. */
void objectChanged(RAMOBJ *, ClientData clientData)
{
    auto *o = static_cast<ObjectItem *>(clientData);
    GcanvasWidget *canvas = o->canvas;
    gcanvasEventuallyRedrawItem(canvas, &o->header);
    o->extentKnown = false;
    objectBbox(canvas, &o->header);
    gcanvasEventuallyRedrawItem(canvas, &o->header);
    o->picked = -1;
    canvas->flags |= GCANVAS_REPICK_NEEDED;
}

/* The SHAPE object behind a command name, or NULL: only commands of the
 * object layer count, and only shape layers carry the record operations
 * the item reads. */
RAMOBJ *shapeObjectNamed(Tcl_Interp *interp, const char *name)
{
    Tcl_CmdInfo info;
    if (!Tcl_GetCommandInfo(interp, name, &info) || info.deleteProc != objDelete) {
        return nullptr;
    }
    auto *obj = static_cast<RAMOBJ *>(info.clientData);
    if (obj == nullptr || obj->magic != RAMOBJ_MAGIC || obj->type != RAMOBJ_SHAPE || obj->extension == nullptr
        || obj->acquire == nullptr || obj->release == nullptr || obj->count == nullptr || obj->subtype == nullptr) {
        return nullptr;
    }
    return obj;
}

/* Takes a use of obj with the item's listener; false when refused. */
bool attach(ObjectItem *o, RAMOBJ *obj)
{
    if (!obj->acquire(obj, objectChanged, o)) {
        return false;
    }
    if (obj->version < RAMOBJ_VERSION) {
        tesk_fprintf(stderr, "RAMOBJ version 0x%x or higher is required\n", RAMOBJ_VERSION);
        obj->release(obj, objectChanged, o);
        return false;
    }
    return true;
}

void detach(ObjectItem *o)
{
    if (o->object != nullptr) {
        RAMOBJ *obj = o->object;
        o->object = nullptr;
        o->picked = -1;
        o->extentKnown = false;
        obj->release(obj, objectChanged, o);
    }
}

void setObjectName(ObjectItem *o, const std::string *name)
{
    if (o->objectName != nullptr) {
        ckfree(o->objectName);
        o->objectName = nullptr;
    }
    if (name != nullptr && !name->empty()) {
        o->objectName = static_cast<char *>(ckalloc(static_cast<unsigned>(name->size() + 1)));
        std::memcpy(o->objectName, name->c_str(), name->size() + 1);
    }
}

/* True when the option words set -object. */
bool objectOptionGiven(int objc, Tcl_Obj *const objv[])
{
    for (int i = 0; i < objc; i += 2) {
        int length;
        const char *word = Tcl_GetStringFromObj(objv[i], &length);
        if (length >= 3 && std::strncmp(word, "-object", static_cast<size_t>(length)) == 0) {
            return true;
        }
    }
    return false;
}

/*
 * Follows a changed -object: empty releases the object; a name of the
 * object already held changes nothing; another SHAPE object is attached
 * and the one held before released. A name that is no SHAPE object (or an
 * object that refuses the use) gives "Invalid object!" with the previous
 * name and object kept.
 */
int followObjectName(Tcl_Interp *interp, ObjectItem *o, const std::string &previous)
{
    if (o->objectName == nullptr || o->objectName[0] == '\0') {
        setObjectName(o, nullptr);
        detach(o);
        return TCL_OK;
    }
    RAMOBJ *obj = shapeObjectNamed(interp, o->objectName);
    if (obj != nullptr && obj == o->object) {
        return TCL_OK;
    }
    if (obj == nullptr || !attach(o, obj)) {
        setObjectName(o, &previous);
        Tcl_SetResult(interp, const_cast<char *>("Invalid object!"), TCL_STATIC);
        return TCL_ERROR;
    }
    detach(o);
    o->object = obj;
    o->extentKnown = false;
    return TCL_OK;
}

/* ---- create, configure, coordinates, delete ---- */

int objectConfigure(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int objc, Tcl_Obj *const objv[],
                    int flags)
{
    ObjectItem *o = asObject(item);
    Tk_Window tkwin = canvas->tkwin;
    std::string previous = o->objectName != nullptr ? o->objectName : "";
    if (Tk_ConfigureWidget(interp, tkwin, configSpecs, objc,
                           const_cast<const char **>(reinterpret_cast<const char *const *>(objv)),
                           reinterpret_cast<char *>(o), flags | TK_CONFIG_OBJS)
        != TCL_OK) {
        /* The name must keep naming the object held. */
        setObjectName(o, &previous);
        return TCL_ERROR;
    }
    if (objectOptionGiven(objc, objv) && followObjectName(interp, o, previous) != TCL_OK) {
        return TCL_ERROR;
    }

    const GcanvasOutline &line = o->outline;
    bool stateDependant = line.activeWidth > line.width || line.activeDash.number != 0 || line.activeColor != nullptr
                          || line.activeStipple != None || o->activeFillColor != nullptr
                          || o->activeFillStipple != None;
    if (stateDependant) {
        item->redrawFlags |= GCANVAS_ITEM_STATE_DEPENDANT;
    } else {
        item->redrawFlags &= ~GCANVAS_ITEM_STATE_DEPENDANT;
    }
    o->splineSteps = std::clamp(o->splineSteps, 1, 100);
    /* Symbols from nothing to what 16-bit drawing requests hold. */
    o->symbolXSize = std::clamp(o->symbolXSize, 0, 16383);
    o->symbolYSize = std::clamp(o->symbolYSize, 0, 16383);
    if (gcanvasItemState(canvas, item) == GCANVAS_STATE_HIDDEN) {
        objectBbox(canvas, item);
        return TCL_OK;
    }

    XGCValues values;
    XColor *colour =
        gcanvasChosen<XColor *>(canvas, item, o->fillColor, o->activeFillColor, o->disabledFillColor, nullptr);
    GC fill = nullptr;
    if (colour != nullptr) {
        values.foreground = colour->pixel;
        unsigned long mask = GCForeground;
        Pixmap stipple = chosenFillStipple(canvas, o);
        if (stipple != None) {
            values.stipple = stipple;
            values.fill_style = FillStippled;
            mask |= GCStipple | GCFillStyle;
        }
        fill = gcanvasGetGC(tkwin, mask, &values);
    }
    gcanvasFreeGC(canvas->display, o->fillGC);
    o->fillGC = fill;

    unsigned long mask = gcanvasConfigOutlineGC(&values, canvas, item, &o->outline);
    GC outlineGC = nullptr;
    if (mask != 0) {
        values.cap_style = CapRound;
        values.join_style = o->joinStyle;
        mask |= GCCapStyle | GCJoinStyle;
        outlineGC = gcanvasGetGC(tkwin, mask, &values);
    }
    gcanvasFreeGC(canvas->display, o->outline.gc);
    o->outline.gc = outlineGC;

    GC marker = nullptr;
    if (o->markerColor != nullptr) {
        values.foreground = o->markerColor->pixel;
        marker = gcanvasGetGC(tkwin, GCForeground, &values);
    }
    gcanvasFreeGC(canvas->display, o->markerGC);
    o->markerGC = marker;

    objectBbox(canvas, item);
    return TCL_OK;
}

int objectCoords(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int objc, Tcl_Obj *const objv[])
{
    ObjectItem *o = asObject(item);
    if (objc == 0) {
        Tcl_Obj *xy[] = {Tcl_NewDoubleObj(gcanvasPlainZero(o->x)), Tcl_NewDoubleObj(gcanvasPlainZero(o->y))};
        Tcl_SetObjResult(interp, Tcl_NewListObj(2, xy));
        return TCL_OK;
    }
    char text[80];
    if (objc == 1) {
        Tcl_Obj *word = objv[0];
        if (Tcl_ListObjGetElements(interp, word, &objc, const_cast<Tcl_Obj ***>(&objv)) != TCL_OK) {
            return TCL_ERROR;
        }
        if (objc != 2) {
            if (std::strcmp(Tcl_GetString(word), "disassemble") == 0) {
                Tcl_SetResult(interp, const_cast<char *>("disassemble is not available in this build"), TCL_STATIC);
                return TCL_ERROR;
            }
            std::snprintf(text, sizeof text, "wrong # coordinates: expected 2, got %d", objc);
            Tcl_SetObjResult(interp, Tcl_NewStringObj(text, -1));
            return TCL_ERROR;
        }
    } else if (objc != 2) {
        std::snprintf(text, sizeof text, "wrong # coordinates: expected 0 or 2, got %d", objc);
        Tcl_SetObjResult(interp, Tcl_NewStringObj(text, -1));
        return TCL_ERROR;
    }
    double x, y;
    if (gcanvasGetCoordFromObj(interp, canvas, objv[0], &x) != TCL_OK
        || gcanvasGetCoordFromObj(interp, canvas, objv[1], &y) != TCL_OK) {
        return TCL_ERROR;
    }
    o->x = x;
    o->y = y;
    objectBbox(canvas, item);
    return TCL_OK;
}

void objectDelete(GcanvasWidget *, GcanvasItem *item, Display *display)
{
    ObjectItem *o = asObject(item);
    gcanvasDeleteOutline(display, &o->outline);
    for (XColor **c : {&o->fillColor, &o->activeFillColor, &o->disabledFillColor, &o->markerColor,
                       &o->highlightColor}) {
        if (*c != nullptr) {
            Tk_FreeColor(*c);
            *c = nullptr;
        }
    }
    for (Pixmap *p : {&o->fillStipple, &o->activeFillStipple, &o->disabledFillStipple}) {
        if (*p != None) {
            Tk_FreeBitmap(display, *p);
            *p = None;
        }
    }
    gcanvasFreeGC(display, o->fillGC);
    o->fillGC = nullptr;
    gcanvasFreeGC(display, o->markerGC);
    o->markerGC = nullptr;
    setObjectName(o, nullptr);
    detach(o);
}

int objectCreate(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int objc, Tcl_Obj *const objv[])
{
    ObjectItem *o = asObject(item);
    int coords = 2;
    if (objc == 1) {
        coords = 1;
    } else if (objc > 1) {
        const char *second = Tcl_GetString(objv[1]);
        if (second[0] == '-' && second[1] >= 'a' && second[1] <= 'z') {
            coords = 1;
        }
    }
    if (objc < coords) {
        Tcl_AppendResult(interp, "wrong # args: should be \"", Tk_PathName(canvas->tkwin), " create ",
                         item->type->name, " x y ?options?\"", nullptr);
        return TCL_ERROR;
    }
    /* The header is zeroed by the canvas; what is not zero starts here. */
    gcanvasCreateOutline(&o->outline);
    o->anchor = TK_ANCHOR_CENTER;
    o->joinStyle = JoinRound;
    o->capStyle = CapRound;
    o->splineSteps = 12;
    o->picked = -1;
    o->canvas = canvas;
    o->symbolXSize = o->symbolYSize = 10;
    o->symbolType = SYMBOL_OVAL;
    o->markerType = MARKER_POINT;
    if (objectCoords(interp, canvas, item, coords, objv) != TCL_OK
        || objectConfigure(interp, canvas, item, objc - coords, objv + coords, 0) != TCL_OK) {
        objectDelete(canvas, item, canvas->display);
        return TCL_ERROR;
    }
    return TCL_OK;
}

/* ---- display ---- */

/* Reused buffers of one drawing or test. */
struct Scratch {
    Record rec;
    std::vector<double> canvasPoints, work, clipA, clipB;
    std::vector<int> counts;
    std::vector<XPoint> xpoints;
};

short toDrawable(double v)
{
    return static_cast<short>(std::clamp(roundToInt(v), -32768, 32767));
}

/* Appends a drawable point unless it repeats the last one of the part
 * begun at start. */
void appendPoint(std::vector<XPoint> &out, size_t start, double x, double y)
{
    XPoint p{toDrawable(x), toDrawable(y)};
    if (out.size() > start && out.back().x == p.x && out.back().y == p.y) {
        return;
    }
    out.push_back(p);
}

/* One Sutherland-Hodgman stage in doubles: the closed ring in against the
 * edge (axis 0: x, 1: y) kept at or above (below false) or at or below
 * (below true) limit. */
void clipStage(const std::vector<double> &in, int axis, double limit, bool below, std::vector<double> &out)
{
    out.clear();
    size_t n = in.size() / 2;
    if (n == 0) {
        return;
    }
    auto inside = [&](size_t k) {
        double v = in[2 * k + axis];
        return below ? v <= limit : v >= limit;
    };
    size_t prev = n - 1;
    bool prevInside = inside(prev);
    for (size_t k = 0; k < n; k++) {
        bool curInside = inside(k);
        if (curInside != prevInside) {
            double a = in[2 * prev + axis], b = in[2 * k + axis];
            double t = (limit - a) / (b - a);
            double other = in[2 * prev + 1 - axis] + t * (in[2 * k + 1 - axis] - in[2 * prev + 1 - axis]);
            if (axis == 0) {
                out.push_back(limit);
                out.push_back(other);
            } else {
                out.push_back(other);
                out.push_back(limit);
            }
        }
        if (curInside) {
            out.push_back(in[2 * k]);
            out.push_back(in[2 * k + 1]);
        }
        prev = k;
        prevInside = curInside;
    }
}

/* The ring (drawable doubles, in a) clipped to box; the result is left in a. */
void clipRingToBox(std::vector<double> &a, std::vector<double> &b, const double *box)
{
    clipStage(a, 0, box[0], false, b);
    clipStage(b, 0, box[2], true, a);
    clipStage(a, 1, box[1], false, b);
    clipStage(b, 1, box[3], true, a);
}

/* Liang-Barsky: the part of p0-p1 inside box as parameters t0 <= t1;
 * false when none of it is. */
bool clipSegment(const double *p0, const double *p1, const double *box, double *t0, double *t1)
{
    double dx = p1[0] - p0[0], dy = p1[1] - p0[1];
    double lo = 0, hi = 1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {p0[0] - box[0], box[2] - p0[0], p0[1] - box[1], box[3] - p0[1]};
    for (int k = 0; k < 4; k++) {
        if (p[k] == 0) {
            if (q[k] < 0) {
                return false;
            }
        } else {
            double r = q[k] / p[k];
            if (p[k] < 0) {
                lo = std::max(lo, r);
            } else {
                hi = std::min(hi, r);
            }
        }
    }
    if (lo > hi) {
        return false;
    }
    *t0 = lo;
    *t1 = hi;
    return true;
}

/* The record's box in drawable coordinates. */
void drawableBox(const GcanvasWidget *canvas, const Record &rec, double *out)
{
    canvasBox(canvas, rec, out);
    out[0] -= canvas->drawableXOrigin;
    out[2] -= canvas->drawableXOrigin;
    out[1] -= canvas->drawableYOrigin;
    out[3] -= canvas->drawableYOrigin;
}

bool boxWithin(const double *inner, const double *outer)
{
    return inner[0] >= outer[0] && inner[1] >= outer[1] && inner[2] <= outer[2] && inner[3] <= outer[3];
}

bool boxesMeet(const double *a, const double *b)
{
    return a[0] <= b[2] && a[2] >= b[0] && a[1] <= b[3] && a[3] >= b[1];
}

/* A selected record whose stored box may meet box (world units): the
 * cheap test before a record is read whole. Records without a box pass. */
bool candidate(RAMOBJ *obj, int i, const double *box)
{
    if (!selected(obj, i)) {
        return false;
    }
    const double *b = opsOf(obj)->bbox(obj, i);
    return b == nullptr || boxesMeet(b, box);
}

/* What one display call works with. */
struct DrawFrame {
    GcanvasWidget *canvas;
    ObjectItem *o;
    Display *display;
    Drawable drawable;
    double cull[4];                 /* world box: lines and polygons */
    double cullPoints[4];           /* world box: point records */
    double clip[4];                 /* drawable box of the area drawn, with a margin */
};

/* The parts of a record as drawable polylines into s.xpoints, with
 * s.counts their counts. Smoothed parts, and parts reaching past the
 * 16-bit range, are clipped there (a part may become several). */
void linePoints(const DrawFrame &f, Scratch &s)
{
    GcanvasWidget *canvas = f.canvas;
    Record &rec = s.rec;
    s.xpoints.clear();
    s.counts.clear();
    bool smooth = f.o->smooth != nullptr && f.o->smooth->coordProc != nullptr && rec.nPoints >= 3;
    double box[4];
    drawableBox(canvas, rec, box);
    const double reach[4] = {-kSafeReach, -kSafeReach, kSafeReach, kSafeReach};
    if (!smooth && boxWithin(box, reach)) {
        size_t total = 0;
        for (int c : rec.counts) {
            total += static_cast<size_t>(std::max(c, 2));
        }
        s.xpoints.resize(total);
        s.counts = rec.counts;
        int n = worldToScreenPartsPacked(canvas, rec.points, s.xpoints.data(), static_cast<int>(s.counts.size()),
                                         s.counts.data());
        s.xpoints.resize(static_cast<size_t>(n));
        return;
    }
    /* Lines are cut only where they pass the 16-bit reach, so that a dash
     * pattern runs the same whichever area is redrawn. */
    const double *clipBox = boxWithin(box, reach) ? reach : f.clip;
    canvasParts(canvas, f.o, rec, false, 3, s.canvasPoints, s.counts, s.work);
    std::vector<int> parts;
    parts.swap(s.counts);
    s.counts.clear();
    const double *p = s.canvasPoints.data();
    const double ox = canvas->drawableXOrigin, oy = canvas->drawableYOrigin;
    for (int c : parts) {
        size_t start = s.xpoints.size();
        bool open = false;              /* a run is being built */
        /* A part of one point is a segment from it to itself. */
        int segments = std::max(c - 1, 1);
        for (int k = 0; k < segments; k++) {
            const double *q = p + 2 * std::min(k + 1, c - 1);
            double a[2] = {p[2 * k] - ox, p[2 * k + 1] - oy};
            double b[2] = {q[0] - ox, q[1] - oy};
            double t0, t1;
            if (!clipSegment(a, b, clipBox, &t0, &t1)) {
                open = false;
                continue;
            }
            if (!open || t0 > 0) {
                if (s.xpoints.size() > start) {
                    s.counts.push_back(static_cast<int>(s.xpoints.size() - start));
                    start = s.xpoints.size();
                }
                appendPoint(s.xpoints, start, a[0] + t0 * (b[0] - a[0]), a[1] + t0 * (b[1] - a[1]));
            }
            appendPoint(s.xpoints, start, a[0] + t1 * (b[0] - a[0]), a[1] + t1 * (b[1] - a[1]));
            open = t1 >= 1;
        }
        if (s.xpoints.size() > start) {
            if (s.xpoints.size() - start == 1) {
                s.xpoints.push_back(s.xpoints.back());
            }
            s.counts.push_back(static_cast<int>(s.xpoints.size() - start));
        }
        p += 2 * static_cast<size_t>(c);
    }
}

/* The rings of a polygon record as drawable points into s.xpoints (each
 * closed), with s.counts their counts; clipped to clipBox (drawable
 * coordinates) when the record reaches past it. Answers whether it did. */
bool polygonPoints(const DrawFrame &f, Scratch &s, const double *clipBox)
{
    GcanvasWidget *canvas = f.canvas;
    Record &rec = s.rec;
    s.xpoints.clear();
    s.counts.clear();
    double box[4];
    drawableBox(canvas, rec, box);
    bool clip = !boxWithin(box, clipBox);
    canvasParts(canvas, f.o, rec, true, 4, s.canvasPoints, s.counts, s.work);
    std::vector<int> rings;
    rings.swap(s.counts);
    const double ox = canvas->drawableXOrigin, oy = canvas->drawableYOrigin;
    const double *p = s.canvasPoints.data();
    for (int c : rings) {
        size_t start = s.xpoints.size();
        if (clip) {
            s.clipA.clear();
            for (int k = 0; k < c; k++) {
                s.clipA.push_back(p[2 * k] - ox);
                s.clipA.push_back(p[2 * k + 1] - oy);
            }
            clipRingToBox(s.clipA, s.clipB, clipBox);
            for (size_t k = 0; k + 1 < s.clipA.size(); k += 2) {
                appendPoint(s.xpoints, start, s.clipA[k], s.clipA[k + 1]);
            }
        } else {
            for (int k = 0; k < c; k++) {
                appendPoint(s.xpoints, start, p[2 * k] - ox, p[2 * k + 1] - oy);
            }
        }
        p += 2 * static_cast<size_t>(c);
        size_t n = s.xpoints.size() - start;
        if (n > 1 && (s.xpoints[start].x != s.xpoints.back().x || s.xpoints[start].y != s.xpoints.back().y)) {
            s.xpoints.push_back(s.xpoints[start]);
            n++;
        }
        s.counts.push_back(static_cast<int>(n));
    }
    return clip;
}

/* Draws one part as a polyline; a part that has shrunk to one position
 * (a feature smaller than a pixel) is a dot of the line's width d. */
void drawPart(DrawGC *line, XPoint *p, int c, int d)
{
    for (int k = 1; k < c; k++) {
        if (p[k].x != p[0].x || p[k].y != p[0].y) {
            drawPolyline(line, p, c, CoordModeOrigin);
            return;
        }
    }
    if (c >= 1) {
        drawArc(line, p[0].x - d / 2, p[0].y - d / 2, d + 1, d + 1, 0, 23040, 1);
    }
}

/* The GC's line width as the outline GC was made with it. */
int outlineLineWidth(const GcanvasWidget *canvas, const ObjectItem *o)
{
    return std::clamp(gcanvasTruncToInt(gcanvasChosenWidth(canvas, &o->header, o->outline) + 0.5), 0, 32767);
}

/* Sets the fill stipple's origin from -offset; answers whether it did. */
bool setFillStippleOrigin(const DrawFrame &f)
{
    ObjectItem *o = f.o;
    Pixmap stipple = chosenFillStipple(f.canvas, o);
    if (o->fillGC == nullptr || stipple == None) {
        return false;
    }
    Tk_TSOffset offset = o->tsoffset;
    if ((offset.flags & TK_OFFSET_INDEX) == 0) {
        int w = 0, h = 0;
        Tk_SizeOfBitmap(f.display, stipple, &w, &h);
        if (offset.flags & TK_OFFSET_CENTER) {
            offset.xoffset -= w / 2;
        }
        if (offset.flags & TK_OFFSET_MIDDLE) {
            offset.yoffset -= h / 2;
        }
    }
    gcanvasSetOffset(f.canvas, o->fillGC, &offset);
    return true;
}

/* The DrawGCs of one drawer, freed with their context. */
class DrawPens {
public:
    DrawPens(Display *display, Drawable drawable) : context_(drawContextOpen(display, drawable)) {}
    ~DrawPens()
    {
        for (DrawGC *gc : pens_) {
            drawGCFree(gc);
        }
        drawContextClose(context_);
    }
    DrawPens(const DrawPens &) = delete;
    DrawPens &operator=(const DrawPens &) = delete;
    bool ok() const { return context_ != nullptr; }
    /* A pen drawing with gc, or NULL for no gc. */
    DrawGC *pen(GC gc)
    {
        if (gc == nullptr || context_ == nullptr) {
            return nullptr;
        }
        DrawGC *made = drawGCCreate(context_, gc);
        if (made != nullptr) {
            pens_.push_back(made);
        }
        return made;
    }

private:
    DrawContext *context_;
    std::vector<DrawGC *> pens_;
};

int drawPoints(const DrawFrame &f, Scratch &s)
{
    ObjectItem *o = f.o;
    GcanvasWidget *canvas = f.canvas;
    RAMOBJ *obj = o->object;
    if (o->fillGC == nullptr && o->outline.gc == nullptr && o->markerGC == nullptr) {
        return 0;
    }
    bool stippled = setFillStippleOrigin(f);
    if (o->outline.gc != nullptr) {
        gcanvasChangeOutlineGC(canvas, &o->header, &o->outline);
    }
    int drawn = 0;
    {
        DrawPens pens(f.display, f.drawable);
        DrawGC *fill = pens.pen(o->fillGC);
        DrawGC *line = pens.pen(o->outline.gc);
        DrawGC *marker = pens.pen(o->markerGC);
        int sx = std::max(o->symbolXSize, 0), sy = std::max(o->symbolYSize, 0);
        int hx = sx / 2, hy = sy / 2;
        int count = obj->count(obj);
        for (int i = 0; pens.ok() && i < count; i++) {
            if (!selected(obj, i) || !readRecord(obj, i, s.rec) || s.rec.kind != SHAPE_POINT
                || !boxesMeet(s.rec.box, f.cullPoints)) {
                continue;
            }
            drawn++;
            for (int k = 0; k < s.rec.nPoints; k++) {
                const double *wp = s.rec.points + 2 * k;
                if (wp[0] < f.cullPoints[0] || wp[0] > f.cullPoints[2] || wp[1] < f.cullPoints[1]
                    || wp[1] > f.cullPoints[3]) {
                    continue;
                }
                double c[2];
                worldToCanvasPoints(canvas, wp, c, 1);
                int cx = gcanvasDrawableCoord(canvas->drawableXOrigin, c[0]);
                int cy = gcanvasDrawableCoord(canvas->drawableYOrigin, c[1]);
                int left = cx - hx, top = cy - hy;
                auto toX = [](int v) { return static_cast<short>(std::clamp(v, -32768, 32767)); };
                switch (o->symbolType) {
                case SYMBOL_OVAL:
                    if (fill != nullptr) {
                        drawArc(fill, left, top, sx, sy, 0, 23040, 1);
                    }
                    if (line != nullptr) {
                        drawArc(line, left, top, sx, sy, 0, 23040, 0);
                    }
                    break;
                case SYMBOL_RECTANGLE:
                    if (fill != nullptr) {
                        drawFillRectangle(fill, left, top, sx, sy);
                    }
                    if (line != nullptr) {
                        drawRectangle(line, left, top, sx, sy);
                    }
                    break;
                case SYMBOL_DIAMOND:
                case SYMBOL_CROSSHAIR: {
                    XPoint diamond[5] = {{toX(cx), toX(top)},
                                         {toX(left), toX(cy)},
                                         {toX(cx), toX(top + sy)},
                                         {toX(left + sx), toX(cy)},
                                         {toX(cx), toX(top)}};
                    XPoint cross[13] = {{toX(cx + 1), toX(top)},          {toX(cx + 1), toX(cy - 1)},
                                        {toX(cx + hx), toX(cy - 1)},      {toX(cx + hx), toX(cy + 1)},
                                        {toX(cx + 1), toX(cy + 1)},       {toX(cx + 1), toX(top + sy)},
                                        {toX(cx - 1), toX(top + sy)},     {toX(cx - 1), toX(cy + 1)},
                                        {toX(left), toX(cy + 1)},         {toX(left), toX(cy - 1)},
                                        {toX(cx - 1), toX(cy - 1)},       {toX(cx - 1), toX(top)},
                                        {toX(cx + 1), toX(top)}};
                    XPoint *shape = o->symbolType == SYMBOL_DIAMOND ? diamond : cross;
                    int n = o->symbolType == SYMBOL_DIAMOND ? 5 : 13;
                    if (fill != nullptr) {
                        drawFillPolygon(fill, shape, n, Complex, CoordModeOrigin);
                    }
                    if (line != nullptr) {
                        drawPolyline(line, shape, n, CoordModeOrigin);
                    }
                    break;
                }
                default:
                    break;
                }
                if (marker != nullptr) {
                    if (o->markerType == MARKER_CROSS) {
                        XPoint h[2] = {{toX(left + 1), toX(cy)}, {toX(left + sx - 1), toX(cy)}};
                        XPoint v[2] = {{toX(cx), toX(top + 1)}, {toX(cx), toX(top + sy - 1)}};
                        drawPolyline(marker, h, 2, CoordModeOrigin);
                        drawPolyline(marker, v, 2, CoordModeOrigin);
                    } else {
                        drawFillRectangle(marker, cx, cy, 1, 1);
                    }
                }
            }
        }
    }
    if (o->outline.gc != nullptr) {
        gcanvasResetOutlineGC(canvas, &o->header, &o->outline);
    }
    if (stippled) {
        XSetTSOrigin(f.display, o->fillGC, 0, 0);
    }
    return drawn;
}

int drawLines(const DrawFrame &f, Scratch &s)
{
    ObjectItem *o = f.o;
    RAMOBJ *obj = o->object;
    if (o->outline.gc == nullptr) {
        return 0;
    }
    gcanvasChangeOutlineGC(f.canvas, &o->header, &o->outline);
    int drawn = 0;
    {
        DrawPens pens(f.display, f.drawable);
        DrawGC *line = pens.pen(o->outline.gc);
        int d = outlineLineWidth(f.canvas, o);
        int count = obj->count(obj);
        for (int i = 0; line != nullptr && i < count; i++) {
            if (!candidate(obj, i, f.cull) || !readRecord(obj, i, s.rec) || s.rec.kind != SHAPE_LINE
                || !boxesMeet(s.rec.box, f.cull)) {
                continue;
            }
            drawn++;
            linePoints(f, s);
            XPoint *p = s.xpoints.data();
            for (int c : s.counts) {
                drawPart(line, p, c, d);
                p += c;
            }
        }
    }
    gcanvasResetOutlineGC(f.canvas, &o->header, &o->outline);
    return drawn;
}

int drawPolygons(const DrawFrame &f, Scratch &s)
{
    ObjectItem *o = f.o;
    GcanvasWidget *canvas = f.canvas;
    RAMOBJ *obj = o->object;
    if (o->fillGC == nullptr && o->outline.gc == nullptr) {
        return 0;
    }
    bool stippled = setFillStippleOrigin(f);
    if (o->outline.gc != nullptr) {
        gcanvasChangeOutlineGC(canvas, &o->header, &o->outline);
    }
    int drawn = 0;
    {
        DrawPens pens(f.display, f.drawable);
        DrawGC *fill = pens.pen(o->fillGC);
        DrawGC *line = pens.pen(o->outline.gc);
        int d = outlineLineWidth(canvas, o);
        int count = obj->count(obj);
        for (int i = 0; pens.ok() && i < count; i++) {
            if (!candidate(obj, i, f.cull) || !readRecord(obj, i, s.rec) || s.rec.kind != SHAPE_POLYGON
                || !boxesMeet(s.rec.box, f.cull)) {
                continue;
            }
            if (s.rec.counts[0] <= 2 && line == nullptr) {
                continue;
            }
            drawn++;
            int total = 0;
            for (int c : s.rec.counts) {
                total += c;
            }
            if (total < 3) {
                /* Too few points for an area: a dot of the outline's width. */
                double c[2];
                worldToCanvasPoints(canvas, s.rec.points, c, 1);
                int cx = gcanvasDrawableCoord(canvas->drawableXOrigin, c[0]);
                int cy = gcanvasDrawableCoord(canvas->drawableYOrigin, c[1]);
                drawArc(line, cx - d / 2, cy - d / 2, d + 1, d + 1, 0, 23040, 1);
                continue;
            }
            /* Fills are clipped to the area being drawn (the even-odd
             * regions stay small); outlines only at the 16-bit reach, so
             * that their dashes do not depend on the area. */
            static const double reach[4] = {-kSafeReach, -kSafeReach, kSafeReach, kSafeReach};
            bool clipped = polygonPoints(f, s, fill != nullptr ? f.clip : reach);
            if (fill != nullptr) {
                drawFillRings(fill, s.xpoints.data(), static_cast<int>(s.counts.size()), s.counts.data(), Complex,
                               CoordModeOrigin);
                if (line != nullptr && clipped) {
                    polygonPoints(f, s, reach);
                }
            }
            if (line != nullptr) {
                XPoint *p = s.xpoints.data();
                for (int c : s.counts) {
                    drawPart(line, p, c, d);
                    p += c;
                }
            }
        }
    }
    if (o->outline.gc != nullptr) {
        gcanvasResetOutlineGC(canvas, &o->header, &o->outline);
    }
    if (stippled) {
        XSetTSOrigin(f.display, o->fillGC, 0, 0);
    }
    return drawn;
}

void objectDisplay(GcanvasWidget *canvas, GcanvasItem *item, Display *display, Drawable drawable, int x, int y,
                   int width, int height)
{
    ObjectItem *o = asObject(item);
    RAMOBJ *obj = o->object;
    if (obj == nullptr || drawable == None || obj->count(obj) <= 0) {
        return;
    }
    auto started = std::chrono::steady_clock::now();
    TranslatedFrame frame(canvas, o->x, o->y);
    DrawFrame f;
    f.canvas = canvas;
    f.o = o;
    f.display = display;
    f.drawable = drawable;
    double w = o->outline.gc != nullptr ? gcanvasChosenWidth(canvas, &o->header, o->outline) : 0;
    canvasRectToWorld(canvas, x - w - 1, y - w - 1, x + width + w + 1, y + height + w + 1, f.cull);
    double hx = o->symbolXSize / 2.0 + w + 1, hy = o->symbolYSize / 2.0 + w + 1;
    canvasRectToWorld(canvas, x - hx, y - hy, x + width + hx, y + height + hy, f.cullPoints);
    /* Clipped edges land this far outside the area, with their outline. */
    double margin = std::ceil(w) + 8;
    f.clip[0] = x - canvas->drawableXOrigin - margin;
    f.clip[1] = y - canvas->drawableYOrigin - margin;
    f.clip[2] = x + width - canvas->drawableXOrigin + margin;
    f.clip[3] = y + height - canvas->drawableYOrigin + margin;

    Scratch s;
    int drawn = 0;
    switch (obj->subtype(obj)) {
    case SHAPE_POINT:
        drawn = drawPoints(f, s);
        break;
    case SHAPE_LINE:
        drawn = drawLines(f, s);
        break;
    case SHAPE_POLYGON:
        drawn = drawPolygons(f, s);
        break;
    default:
        break;
    }
    if (getDebugFlag()) {
        std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
        tesk_fprintf(stderr, "drawn %d items in %f s\n", drawn, elapsed.count());
    }
}

/* ---- point test ---- */

/* Canvas distance from p to a box (0 inside). */
double boxDistance(const double *box, const double *p)
{
    double dx = p[0] < box[0] ? box[0] - p[0] : p[0] > box[2] ? p[0] - box[2] : 0;
    double dy = p[1] < box[1] ? box[1] - p[1] : p[1] > box[3] ? p[1] - box[3] : 0;
    return std::hypot(dx, dy);
}

/* Distance from p to the symbols of a point record: 0 on a symbol. */
double pointsDistance(const GcanvasWidget *canvas, const ObjectItem *o, const Record &rec, double width,
                      const double *p)
{
    double hx = std::max(o->symbolXSize, 1) / 2.0 + width / 2, hy = std::max(o->symbolYSize, 1) / 2.0 + width / 2;
    double best = kInfinity;
    for (int k = 0; k < rec.nPoints && best > 0; k++) {
        double c[2];
        worldToCanvasPoints(canvas, rec.points + 2 * k, c, 1);
        double box[4] = {c[0] - hx, c[1] - hy, c[0] + hx, c[1] + hy};
        double d = o->symbolType == SYMBOL_RECTANGLE ? boxDistance(box, p) : ovalToPointScaled(1, 1, box, 0, 1, p);
        best = std::min(best, d);
    }
    return best;
}

/* Distance from p to the polylines of a line record drawn width wide. */
double linesDistance(const GcanvasWidget *canvas, const ObjectItem *o, Scratch &s, double width, const double *p)
{
    canvasParts(canvas, o, s.rec, false, 3, s.canvasPoints, s.counts, s.work);
    double w = std::max(width, 1.0);
    double best = kInfinity;
    const double *part = s.canvasPoints.data();
    for (int c : s.counts) {
        double d = c == 1 ? std::max(std::hypot(part[0] - p[0], part[1] - p[1]) - w / 2, 0.0)
                          : thickPolylineToPoint(part, c, w, o->capStyle, o->joinStyle, p);
        best = std::min(best, d);
        if (best <= 0) {
            return 0;
        }
        part += 2 * static_cast<size_t>(c);
    }
    return best;
}

/* Distance from p to a polygon record: 0 inside an odd number of its
 * rings (the even-odd rule it is filled by), else the distance to the
 * nearest ring edge, less half the outline. */
double polygonDistance(const GcanvasWidget *canvas, const ObjectItem *o, Scratch &s, double width, const double *p)
{
    canvasParts(canvas, o, s.rec, true, 4, s.canvasPoints, s.counts, s.work);
    int inside = 0;
    double edge = kInfinity;
    const double *ring = s.canvasPoints.data();
    for (int c : s.counts) {
        double boundary;
        if (c >= 3) {
            inside += ringDistanceScaled(1, 1, ring, c, p, &boundary) == 0;
        } else if (c == 2) {
            boundary = segmentDistanceScaled(1, 1, ring, ring + 2, p);
        } else {
            boundary = std::hypot(ring[0] - p[0], ring[1] - p[1]);
        }
        edge = std::min(edge, boundary);
        ring += 2 * static_cast<size_t>(c);
    }
    if (inside & 1) {
        return 0;
    }
    double half = o->outline.gc != nullptr ? width / 2 : 0;
    return std::max(edge - half, 0.0);
}

double objectToPoint(GcanvasWidget *canvas, GcanvasItem *item, double *point)
{
    ObjectItem *o = asObject(item);
    RAMOBJ *obj = o->object;
    o->picked = -1;
    if (obj == nullptr || gcanvasItemState(canvas, item) == GCANVAS_STATE_HIDDEN) {
        return kInfinity;
    }
    TranslatedFrame frame(canvas, o->x, o->y);
    double width = o->outline.gc != nullptr ? gcanvasChosenWidth(canvas, &o->header, o->outline) : 0;
    Scratch s;
    double best = kInfinity;
    int found = -1;
    for (int i = obj->count(obj) - 1; i >= 0; i--) {
        if (!selected(obj, i) || !readRecord(obj, i, s.rec)) {
            continue;
        }
        /* What the record draws reaches this far past its box; a record
         * whose box is no nearer than the best so far is passed over. */
        double reach = s.rec.kind == SHAPE_POINT
                           ? std::max({o->symbolXSize, o->symbolYSize, 1}) / 2.0 + width
                           : std::max(width, 1.0) / 2;
        double box[4];
        canvasBox(canvas, s.rec, box);
        if (boxDistance(box, point) - reach >= best) {
            continue;
        }
        double d;
        switch (s.rec.kind) {
        case SHAPE_POINT:
            d = pointsDistance(canvas, o, s.rec, width, point);
            break;
        case SHAPE_LINE:
            d = linesDistance(canvas, o, s, width, point);
            break;
        default:
            d = polygonDistance(canvas, o, s, width, point);
            break;
        }
        if (d < best) {
            best = d;
            found = i;
            if (best < canvas->closeEnough) {
                break;
            }
        }
    }
    o->picked = found;
    return best;
}

/* ---- area test ---- */

/* How the symbols of a point record lie against rect. */
int pointsToArea(const GcanvasWidget *canvas, const ObjectItem *o, const Record &rec, double width,
               const double *rect)
{
    double hx = o->symbolXSize / 2.0 + width, hy = o->symbolYSize / 2.0 + width;
    int in = 0, out = 0;
    for (int k = 0; k < rec.nPoints; k++) {
        double c[2];
        worldToCanvasPoints(canvas, rec.points + 2 * k, c, 1);
        double box[4] = {c[0] - hx, c[1] - hy, c[0] + hx, c[1] + hy};
        int r = rectToRect(box, rect);
        if (r == 0) {
            return 0;
        }
        r > 0 ? in++ : out++;
    }
    return in > 0 && out > 0 ? 0 : in > 0 ? 1 : -1;
}

int linesToArea(const GcanvasWidget *canvas, ObjectItem *o, Scratch &s, double width, double *rect)
{
    canvasParts(canvas, o, s.rec, false, 3, s.canvasPoints, s.counts, s.work);
    double w = std::max(width, 1.0);
    int in = 0, out = 0;
    double *part = s.canvasPoints.data();
    for (int c : s.counts) {
        int r;
        if (c == 1) {
            double oval[4] = {part[0] - w / 2, part[1] - w / 2, part[0] + w / 2, part[1] + w / 2};
            r = TkOvalToArea(oval, rect);
        } else {
            r = TkThickPolyLineToArea(part, c, w, o->capStyle, o->joinStyle, rect);
        }
        if (r == 0) {
            return 0;
        }
        r > 0 ? in++ : out++;
        part += 2 * static_cast<size_t>(c);
    }
    return in > 0 && out > 0 ? 0 : in > 0 ? 1 : -1;
}

/* How a ring's edges (open polyline of n points) lie against rect. */
int edgesArea(double *ring, int n, double *rect)
{
    if (n == 1) {
        return ring[0] >= rect[0] && ring[0] <= rect[2] && ring[1] >= rect[1] && ring[1] <= rect[3] ? 1 : -1;
    }
    int state = TkLineToArea(ring, ring + 2, rect);
    for (int k = 1; state != 0 && k + 1 < n; k++) {
        if (TkLineToArea(ring + 2 * k, ring + 2 * k + 2, rect) != state) {
            return 0;
        }
    }
    return state;
}

/*
 * How a polygon record lies against rect, by the even-odd rule: a ring
 * whose edges (with the outline) cross rect makes it overlap; rings
 * within rect count inside; a rect within an odd number of filled rings
 * lies in the filled area.
 */
int polygonToArea(const GcanvasWidget *canvas, ObjectItem *o, Scratch &s, double width, double *rect)
{
    canvasParts(canvas, o, s.rec, true, 4, s.canvasPoints, s.counts, s.work);
    bool outline = o->outline.gc != nullptr;
    bool filled = o->fillGC != nullptr;
    double w = std::max(width, 1.0);
    int in = 0, out = 0, containing = 0;
    double *ring = s.canvasPoints.data();
    for (int c : s.counts) {
        int edges = outline && c >= 2 ? TkThickPolyLineToArea(ring, c, w, CapRound, o->joinStyle, rect)
                                      : edgesArea(ring, c, rect);
        if (edges == 0) {
            return 0;
        }
        if (edges > 0) {
            in++;
        } else if (filled && c >= 4 && TkPolygonToArea(ring, c, rect) == 0) {
            containing++;
        } else {
            out++;
        }
        ring += 2 * static_cast<size_t>(c);
    }
    if (in > 0) {
        return out == 0 && containing == 0 ? 1 : 0;
    }
    return containing & 1 ? 0 : -1;
}

int objectToArea(GcanvasWidget *canvas, GcanvasItem *item, double *rect)
{
    ObjectItem *o = asObject(item);
    RAMOBJ *obj = o->object;
    if (obj == nullptr || gcanvasItemState(canvas, item) == GCANVAS_STATE_HIDDEN) {
        return -1;
    }
    TranslatedFrame frame(canvas, o->x, o->y);
    double width = o->outline.gc != nullptr ? gcanvasChosenWidth(canvas, &o->header, o->outline) : 0;
    Scratch s;
    int in = 0, out = 0;
    for (int i = obj->count(obj) - 1; i >= 0; i--) {
        if (!selected(obj, i) || !readRecord(obj, i, s.rec)) {
            continue;
        }
        double reach = s.rec.kind == SHAPE_POINT ? std::max(o->symbolXSize, o->symbolYSize) / 2.0 + width
                                                  : std::max(width, 1.0);
        double box[4];
        canvasBox(canvas, s.rec, box);
        double grown[4] = {box[0] - reach, box[1] - reach, box[2] + reach, box[3] + reach};
        int r;
        if (rectToRect(grown, rect) < 0) {
            r = -1;
        } else if (s.rec.kind == SHAPE_POINT) {
            r = pointsToArea(canvas, o, s.rec, width, rect);
        } else if (s.rec.kind == SHAPE_LINE) {
            r = linesToArea(canvas, o, s, width, rect);
        } else {
            r = polygonToArea(canvas, o, s, width, rect);
        }
        if (r == 0) {
            return 0;
        }
        r > 0 ? in++ : out++;
    }
    if (in == 0) {
        return -1;
    }
    return out > 0 ? 0 : 1;
}

/* ---- scale, translate, measures ---- */

void objectScale(GcanvasWidget *canvas, GcanvasItem *item, double originX, double originY, double scaleX,
                 double scaleY)
{
    ObjectItem *o = asObject(item);
    o->x = (o->x - originX) * scaleX + originX;
    o->y = (o->y - originY) * scaleY + originY;
    objectBbox(canvas, item);
}

void objectTranslate(GcanvasWidget *canvas, GcanvasItem *item, double dx, double dy)
{
    ObjectItem *o = asObject(item);
    o->x += dx;
    o->y += dy;
    objectBbox(canvas, item);
}

/* Calls visit(points, n) for every part of every selected record of the
 * layer's kind. */
template <typename Visit>
void eachSelectedPart(ObjectItem *o, int kind, Visit visit)
{
    RAMOBJ *obj = o->object;
    if (obj == nullptr) {
        return;
    }
    Record rec;
    int count = obj->count(obj);
    for (int i = 0; i < count; i++) {
        if (!selected(obj, i) || !readRecord(obj, i, rec) || rec.kind != kind) {
            continue;
        }
        const double *p = rec.points;
        for (int c : rec.counts) {
            visit(p, c);
            p += 2 * static_cast<size_t>(c);
        }
    }
}

int layerKind(const ObjectItem *o)
{
    return o->object != nullptr ? o->object->subtype(o->object) : 0;
}

double objectAreaMeasure(GcanvasWidget *, GcanvasItem *item)
{
    ObjectItem *o = asObject(item);
    double sum = 0;
    if (layerKind(o) == SHAPE_POLYGON) {
        eachSelectedPart(o, SHAPE_POLYGON, [&](const double *p, int n) { sum += polygonArea(p, n); });
    }
    return sum;
}

double objectLength(GcanvasWidget *, GcanvasItem *item)
{
    ObjectItem *o = asObject(item);
    int kind = layerKind(o);
    double sum = 0;
    if (kind == SHAPE_LINE || kind == SHAPE_POLYGON) {
        eachSelectedPart(o, kind, [&](const double *p, int n) { sum += polylineLength(p, n); });
    }
    return sum;
}

/* The weighted mean of the parts' centroids (a point record is one group
 * of its points), at the item's translated place; answers the total
 * weight. Without any weight the parts' centroids count alike. */
double objectCentroid(GcanvasWidget *, GcanvasItem *item, double *x, double *y)
{
    ObjectItem *o = asObject(item);
    int kind = layerKind(o);
    double sx = 0, sy = 0, weight = 0, mx = 0, my = 0;
    int parts = 0;
    auto add = [&](double w, double cx, double cy) {
        sx += w * cx;
        sy += w * cy;
        weight += w;
        mx += cx;
        my += cy;
        parts++;
    };
    eachSelectedPart(o, kind, [&](const double *p, int n) {
        double cx = 0, cy = 0, w = 0;
        if (kind == SHAPE_POLYGON) {
            w = polygonAreaCentroid(p, n, &cx, &cy);
        } else if (kind == SHAPE_LINE) {
            w = polylineCentroid(p, n, &cx, &cy);
        } else {
            w = pointsMean(p, n, &cx, &cy);
        }
        add(w, cx, cy);
    });
    if (parts == 0) {
        *x = o->x;
        *y = o->y;
        return 0;
    }
    *x = (weight != 0 ? sx / weight : mx / parts) + o->x;
    *y = (weight != 0 ? sy / weight : my / parts) + o->y;
    return weight;
}

/* ---- the slots without work of their own ---- */

int objectToPostscript(Tcl_Interp *, GcanvasWidget *, GcanvasItem *, int)
{
    return TCL_OK;
}

int objectIndex(Tcl_Interp *, GcanvasWidget *, GcanvasItem *, Tcl_Obj *, int *indexPtr)
{
    *indexPtr = 0;
    return TCL_OK;
}

void objectInsert(GcanvasWidget *canvas, GcanvasItem *item, int, Tcl_Obj *)
{
    objectBbox(canvas, item);
}

void objectDChars(GcanvasWidget *canvas, GcanvasItem *item, int, int)
{
    objectBbox(canvas, item);
}

int objectComponent(GcanvasItem *item)
{
    return asObject(item)->picked;
}

GcanvasItemType makeType()
{
    GcanvasItemType t;
    std::memset(&t, 0, sizeof t);
    t.name = "object";
    t.itemSize = sizeof(ObjectItem);
    t.createProc = objectCreate;
    t.configSpecs = configSpecs;
    t.configProc = objectConfigure;
    t.coordProc = objectCoords;
    t.deleteProc = objectDelete;
    t.displayProc = objectDisplay;
    t.alwaysRedraw = GCANVAS_TYPE_USES_OBJS;
    t.pointProc = objectToPoint;
    t.areaProc = objectToArea;
    t.postscriptProc = objectToPostscript;
    t.scaleProc = objectScale;
    t.translateProc = objectTranslate;
    t.indexProc = objectIndex;
    t.insertProc = objectInsert;
    t.dCharsProc = objectDChars;
    t.bboxProc = objectBbox;
    t.getComponentProc = objectComponent;
    t.areaMeasureProc = objectAreaMeasure;
    t.lengthProc = objectLength;
    t.centroidProc = objectCentroid;
    return t;
}

} // namespace

GcanvasItemType gcanvasObjectType = makeType();
