/*
 * objectread.cpp --
 *
 *	How the object item reads its shape layer: records through the
 *	object's ShapeOps (counts held to the points, non-finite boxes
 *	skipped), their points in canvas units (smoothed when the item asks),
 *	the cheap box test that culls records before they are read whole, and
 *	the item's box from the union of the record boxes.
 */
#include <algorithm>
#include <cmath>
#include <vector>
#include "canvas/coords.h"
#include "canvas/itemopts.h"
#include "canvas/objectint.h"
#include "canvas/outline.h"
#include "runtime/shapeapi.h"

namespace objectitem {

namespace {

bool finiteBox(const double *box)
{
    return std::isfinite(box[0]) && std::isfinite(box[1]) && std::isfinite(box[2]) && std::isfinite(box[3]);
}

}  // namespace

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

bool boxesMeet(const double *a, const double *b)
{
    return a[0] <= b[2] && a[2] >= b[0] && a[1] <= b[3] && a[3] >= b[1];
}

bool candidate(RAMOBJ *obj, int i, const double *box)
{
    if (!selected(obj, i)) {
        return false;
    }
    const double *b = opsOf(obj)->bbox(obj, i);
    return b == nullptr || boxesMeet(b, box);
}

/* ---- bounding box ---- */

void objectBbox(GcanvasWidget *canvas, GcanvasItem *item)
{
    ObjectItem *o = asObject(item);
    RAMOBJ *obj = o->object;
    gcanvasMarkIndexStale(canvas);
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

}  // namespace objectitem
