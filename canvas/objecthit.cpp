/*
 * objecthit.cpp --
 *
 *	Hit tests of the object item: the distance from a point to the
 *	nearest selected record (symbols, thick polylines, polygons by the
 *	even-odd rule), remembering which record it was, and how the records
 *	lie against a rectangle (inside, outside or across); and the
 *	component highlight, the record under the pointer drawn in the
 *	highlight colour.
 */
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>
#include "canvas/canvasint.h"
#include "canvas/coords.h"
#include "canvas/geometry.h"
#include "canvas/itemopts.h"
#include "canvas/objectint.h"
#include "canvas/outline.h"
#include "runtime/shapeapi.h"
#include "tkInt.h"

namespace objectitem {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

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
    GcanvasRingsHit hit = gcanvasRingsHit(s.canvasPoints.data(), s.counts.data(), static_cast<int>(s.counts.size()), p);
    int inside = hit.inside;
    double edge = hit.edge;
    if (inside & 1) {
        return 0;
    }
    double half = o->outline.gc != nullptr ? width / 2 : 0;
    return std::max(edge - half, 0.0);
}

}  // namespace

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
        double reach = s.rec.kind == SHAPE_POINT ? std::max({o->symbolXSize, o->symbolYSize, 1}) / 2.0 + width
                                                 : std::max(width, 1.0) / 2;
        double box[4];
        canvasBox(canvas, s.rec, box);
        if (boxDistance(box, point) - reach >= best) {
            continue;
        }
        double d;
        switch (s.rec.kind) {
        case SHAPE_POINT: d = pointsDistance(canvas, o, s.rec, width, point); break;
        case SHAPE_LINE: d = linesDistance(canvas, o, s, width, point); break;
        default: d = polygonDistance(canvas, o, s, width, point); break;
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

namespace {

/* ---- area test ---- */

/* How the symbols of a point record lie against rect. */
int pointsToArea(const GcanvasWidget *canvas, const ObjectItem *o, const Record &rec, double width, const double *rect)
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

/*
 * How a polygon record lies against rect, by the even-odd rule: a ring
 * whose edges (with the outline) cross rect makes it overlap; rings
 * within rect count inside; a rect within an odd number of filled rings
 * lies in the filled area.
 */
int polygonToArea(const GcanvasWidget *canvas, ObjectItem *o, Scratch &s, double width, double *rect)
{
    canvasParts(canvas, o, s.rec, true, 4, s.canvasPoints, s.counts, s.work);
    return gcanvasRingsToArea(s.canvasPoints.data(), s.counts.data(), static_cast<int>(s.counts.size()),
                              o->outline.gc != nullptr, width, o->joinStyle, o->fillGC != nullptr, rect);
}

}  // namespace

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
        double reach =
            s.rec.kind == SHAPE_POINT ? std::max(o->symbolXSize, o->symbolYSize) / 2.0 + width : std::max(width, 1.0);
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

}  // namespace objectitem

namespace objectitem {

namespace {

/* Redraws the area record i covers (with its outline's reach), or the
 * whole item when it floats. */
void redrawRecord(GcanvasWidget *canvas, ObjectItem *o, int i)
{
    RAMOBJ *obj = o->object;
    if (o->header.floating || obj == nullptr) {
        gcanvasEventuallyRedrawItem(canvas, &o->header);
        return;
    }
    Record rec;
    if (i >= obj->count(obj) || !readRecord(obj, i, rec)) {
        return;
    }
    double box[4];
    if (rec.kind == SHAPE_POINT) {
        double hx = o->symbolXSize / 2.0 / std::fabs(canvas->mx), hy = o->symbolYSize / 2.0 / std::fabs(canvas->my);
        box[0] = rec.points[0] - hx, box[1] = rec.points[1] - hy;
        box[2] = rec.points[0] + hx, box[3] = rec.points[1] + hy;
    } else {
        std::copy(rec.box, rec.box + 4, box);
    }
    double c[4];
    worldRectToCanvas(canvas, box[0] + o->x, box[1] + o->y, box[2] + o->x, box[3] + o->y, c);
    double reach = (o->outline.gc != nullptr ? gcanvasChosenWidth(canvas, &o->header, o->outline) : 0) + 1;
    gcanvasEventuallyRedraw(canvas, c[0] - reach, c[1] - reach, c[2] + reach, c[3] + reach, 1);
}

/* Redraws the record switched off when no "on" followed the "off". */
void unlitCheck(ClientData clientData)
{
    ObjectItem *o = static_cast<ObjectItem *>(clientData);
    o->unlitCheckPending = false;
    if (o->unlit >= 0) {
        int record = o->unlit;
        o->unlit = -1;
        redrawRecord(o->canvas, o, record);
    }
}

}  // namespace

/* The canvas switches the highlight off and on again on every motion
 * within the item: "off" only remembers the record, and "on" redraws
 * only when the record changed, so that a motion over the same record
 * redraws nothing. */
void objectHighlightComponent(GcanvasWidget *canvas, GcanvasItem *item, int on)
{
    ObjectItem *o = asObject(item);
    if (!on) {
        if (o->highlighted >= 0) {
            if (o->unlit >= 0 && o->unlit != o->highlighted) {
                redrawRecord(canvas, o, o->unlit);
            }
            o->unlit = o->highlighted;
            o->highlighted = -1;
            if (!o->unlitCheckPending) {
                o->unlitCheckPending = true;
                Tcl_DoWhenIdle(unlitCheck, o);
            }
        }
        return;
    }
    int before = o->unlit >= 0 ? o->unlit : o->highlighted;
    o->unlit = -1;
    if (o->picked >= 0 && o->picked == before) {
        o->highlighted = before; /* the same record: drawn as it is */
        return;
    }
    o->highlighted = -1;
    if (before >= 0) {
        redrawRecord(canvas, o, before);
    }
    if (o->picked >= 0) {
        redrawRecord(canvas, o, o->picked);
        o->highlighted = o->picked;
    }
}

void objectCancelUnlitCheck(ObjectItem *o)
{
    if (o->unlitCheckPending) {
        Tcl_CancelIdleCall(unlitCheck, o);
        o->unlitCheckPending = false;
    }
    o->unlit = -1;
}

}  // namespace objectitem
