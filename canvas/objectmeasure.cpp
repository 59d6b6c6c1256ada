/*
 * objectmeasure.cpp --
 *
 *	Measures of the object item over its selected records of the layer's
 *	kind: the area of polygon layers, the length of line and polygon
 *	layers, and the weighted centroid at the item's translated place.
 */
#include "canvas/objectint.h"
#include "runtime/planar.h"
#include "runtime/shapeapi.h"

namespace objectitem {

namespace {

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

}  // namespace

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

}  // namespace objectitem
