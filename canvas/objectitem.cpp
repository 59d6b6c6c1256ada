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
 *
 *	This file holds the type record, the options, the hold on the object,
 *	create, configure, coordinates, scale, translate and delete; reading,
 *	drawing, hit tests and measures are in the files objectint.h names.
 */
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include "canvas/canvasint.h"
#include "canvas/coords.h"
#include "canvas/itemopts.h"
#include "canvas/objectint.h"
#include "canvas/outline.h"
#include "runtime/configspec.h"
#include "runtime/shapeapi.h"
#include "tesk.h"
#include "tesk_stdio.h"

namespace objectitem {

namespace {

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
    {TK_CONFIG_CUSTOM, "-activewidth", nullptr, nullptr, "0.0", OI_OPT(outline.activeWidth), TK_CONFIG_DONT_SET_DEFAULT,
     &gcanvasPixelOption},
    {TK_CONFIG_CUSTOM, "-dash", nullptr, nullptr, nullptr, OI_OPT(outline.dash), TK_CONFIG_NULL_OK,
     const_cast<Tk_CustomOption *>(&gcanvasDashOption)},
    {TK_CONFIG_PIXELS, "-dashoffset", nullptr, nullptr, "0", OI_OPT(outline.offset), TK_CONFIG_DONT_SET_DEFAULT,
     nullptr},
    {TK_CONFIG_CUSTOM, "-disableddash", nullptr, nullptr, nullptr, OI_OPT(outline.disabledDash), TK_CONFIG_NULL_OK,
     const_cast<Tk_CustomOption *>(&gcanvasDashOption)},
    {TK_CONFIG_COLOR, "-disabledfill", nullptr, nullptr, nullptr, OI_OPT(disabledFillColor), TK_CONFIG_NULL_OK,
     nullptr},
    {TK_CONFIG_COLOR, "-disabledoutline", nullptr, nullptr, nullptr, OI_OPT(outline.disabledColor), TK_CONFIG_NULL_OK,
     nullptr},
    {TK_CONFIG_BITMAP, "-disabledoutlinestipple", nullptr, nullptr, nullptr, OI_OPT(outline.disabledStipple),
     TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_BITMAP, "-disabledstipple", nullptr, nullptr, nullptr, OI_OPT(disabledFillStipple), TK_CONFIG_NULL_OK,
     nullptr},
    {TK_CONFIG_CUSTOM, "-disabledwidth", nullptr, nullptr, "0.0", OI_OPT(outline.disabledWidth),
     TK_CONFIG_DONT_SET_DEFAULT, &gcanvasPixelOption},
    {TK_CONFIG_COLOR, "-fill", nullptr, nullptr, nullptr, OI_OPT(fillColor), TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_INT, "-floating", nullptr, nullptr, "0", OI_OPT(header.floating), 0, nullptr},
    {TK_CONFIG_COLOR, "-background", "background", "Background", nullptr, OI_OPT(outline.background), TK_CONFIG_NULL_OK,
     nullptr},
    {TK_CONFIG_SYNONYM, "-bg", "background", nullptr, nullptr, 0, 0, nullptr},
    {TK_CONFIG_JOIN_STYLE, "-joinstyle", nullptr, nullptr, "round", OI_OPT(joinStyle), TK_CONFIG_DONT_SET_DEFAULT,
     nullptr},
    {TK_CONFIG_CUSTOM, "-offset", nullptr, nullptr, "0,0", OI_OPT(tsoffset), TK_CONFIG_DONT_SET_DEFAULT,
     &gcanvasOffsetOption},
    {TK_CONFIG_COLOR, "-outline", nullptr, nullptr, "black", OI_OPT(outline.color), TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_CUSTOM, "-outlineoffset", nullptr, nullptr, "0,0", OI_OPT(outline.tsoffset), TK_CONFIG_DONT_SET_DEFAULT,
     &gcanvasOffsetOption},
    {TK_CONFIG_BITMAP, "-outlinestipple", nullptr, nullptr, nullptr, OI_OPT(outline.stipple), TK_CONFIG_NULL_OK,
     nullptr},
    {TK_CONFIG_CUSTOM, "-smooth", nullptr, nullptr, "0", OI_OPT(smooth), TK_CONFIG_DONT_SET_DEFAULT,
     const_cast<Tk_CustomOption *>(&gcanvasSmoothOption)},
    {TK_CONFIG_INT, "-splinesteps", nullptr, nullptr, "12", OI_OPT(splineSteps), TK_CONFIG_DONT_SET_DEFAULT, nullptr},
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
     &gcanvasSymbolTypeOption},
    {TK_CONFIG_CUSTOM, "-markertype", nullptr, nullptr, "point", OI_OPT(markerType), TK_CONFIG_DONT_SET_DEFAULT,
     &gcanvasMarkerTypeOption},
    {TK_CONFIG_COLOR, "-markercolor", nullptr, nullptr, "red", OI_OPT(markerColor), TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_COLOR, "-highlightcolor", nullptr, nullptr, "yellow", OI_OPT(highlightColor), TK_CONFIG_NULL_OK,
     nullptr},
    {TK_CONFIG_END, nullptr, nullptr, nullptr, nullptr, 0, 0, nullptr},
};

#undef OI_OPT

}  // namespace

Pixmap chosenFillStipple(const GcanvasWidget *canvas, const ObjectItem *o)
{
    return gcanvasChosen<Pixmap>(canvas, &o->header, o->fillStipple, o->activeFillStipple, o->disabledFillStipple,
                                 None);
}

namespace {

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
    gcanvasMarkIndexStale(canvas);
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
    if (obj == nullptr || obj->magic != RAMOBJ_MAGIC || obj->type != RAMOBJ_SHAPE || obj->extension == nullptr ||
        obj->acquire == nullptr || obj->release == nullptr || obj->count == nullptr || obj->subtype == nullptr) {
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
        o->highlighted = -1;
        o->unlit = -1;
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
    if (teskConfigureWidget(interp, tkwin, configSpecs, objc,
                            const_cast<const char **>(reinterpret_cast<const char *const *>(objv)),
                            reinterpret_cast<char *>(o), flags | TK_CONFIG_OBJS | TESK_CONFIG_PARTIAL) != TCL_OK) {
        /* The name must keep naming the object held. */
        setObjectName(o, &previous);
        return TCL_ERROR;
    }
    if (objectOptionGiven(objc, objv) && followObjectName(interp, o, previous) != TCL_OK) {
        return TCL_ERROR;
    }

    const GcanvasOutline &line = o->outline;
    bool stateDependant = line.activeWidth > line.width || line.activeDash.number != 0 || line.activeColor != nullptr ||
                          line.activeStipple != None || o->activeFillColor != nullptr || o->activeFillStipple != None;
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

    /* The highlighted record's pen: as wide as the outline drawn. */
    GC highlightGC = nullptr;
    if (o->highlightColor != nullptr) {
        values.foreground = o->highlightColor->pixel;
        values.line_width = std::max(gcanvasTruncToInt(gcanvasChosenWidth(canvas, item, o->outline)), 1);
        highlightGC = gcanvasGetGC(tkwin, GCForeground | GCLineWidth, &values);
    }
    gcanvasFreeGC(canvas->display, o->highlightGC);
    o->highlightGC = highlightGC;

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
    if (objc == 1 && std::strcmp(Tcl_GetString(objv[0]), "disassemble") == 0) {
        if (objectDisassemble(interp, canvas, item) != TCL_OK) {
            return TCL_ERROR;
        }
        Tcl_SetResult(interp, const_cast<char *>("..."), TCL_STATIC);
        return TCL_OK;
    }
    double x, y;
    if (gcanvasReadPointCoords(interp, canvas, objc, objv, &x, &y) != TCL_OK) {
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
    for (XColor **c :
         {&o->fillColor, &o->activeFillColor, &o->disabledFillColor, &o->markerColor, &o->highlightColor}) {
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
    gcanvasFreeGC(display, o->highlightGC);
    o->highlightGC = nullptr;
    setObjectName(o, nullptr);
    detach(o);
    objectCancelUnlitCheck(o);
}

int objectCreate(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int objc, Tcl_Obj *const objv[])
{
    ObjectItem *o = asObject(item);
    int coords = gcanvasPointCoordWords(interp, canvas, item, objc, objv);
    if (coords < 0) {
        return TCL_ERROR;
    }
    /* The header is zeroed by the canvas; what is not zero starts here. */
    gcanvasCreateOutline(&o->outline);
    o->anchor = TK_ANCHOR_CENTER;
    o->joinStyle = JoinRound;
    o->capStyle = CapRound;
    o->splineSteps = 12;
    o->picked = -1;
    o->highlighted = -1;
    o->unlit = -1;
    o->canvas = canvas;
    o->symbolXSize = o->symbolYSize = 10;
    o->symbolType = SYMBOL_OVAL;
    o->markerType = MARKER_POINT;
    if (objectCoords(interp, canvas, item, coords, objv) != TCL_OK ||
        objectConfigure(interp, canvas, item, objc - coords, objv + coords, 0) != TCL_OK) {
        objectDelete(canvas, item, canvas->display);
        return TCL_ERROR;
    }
    return TCL_OK;
}

/* ---- scale, translate ---- */

void objectScale(GcanvasWidget *canvas, GcanvasItem *item, double originX, double originY, double scaleX, double scaleY)
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

int objectExtent(GcanvasItem *item, double *box)
{
    ObjectItem *o = asObject(item);
    box[0] = box[2] = o->x;
    box[1] = box[3] = o->y;
    return 1;
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
    t.extentProc = objectExtent;
    t.indexProc = objectIndex;
    t.insertProc = objectInsert;
    t.dCharsProc = objectDChars;
    t.bboxProc = objectBbox;
    t.disassembleProc = objectDisassemble;
    t.getComponentProc = objectComponent;
    t.highlightComponentProc = objectHighlightComponent;
    t.areaMeasureProc = objectAreaMeasure;
    t.lengthProc = objectLength;
    t.centroidProc = objectCentroid;
    return t;
}

}  // namespace

}  // namespace objectitem

GcanvasItemType gcanvasObjectType = objectitem::makeType();
