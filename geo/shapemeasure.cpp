/*
 * shapemeasure.cpp --
 *
 *	Plane measures of shape records and the object command's words over
 *	them: area, length, centroid, and the point and direction along a
 *	part (langle) or at a segment (vangle). All work on X and Y, part by
 *	part, in the units of the stored coordinates.
 */
#include "geo/shapemeasure.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "geo/shapecall.h"
#include "runtime/cnumber.h"

namespace {

/* The parts of a record: runs of consecutive points. A record without a
 * part array is one part of all its points. */
struct RecordParts {
    const double *xy = nullptr;
    int nPoints = 0;
    const int *counts = nullptr;
    int nParts = 0;

    RecordParts() = default;
    explicit RecordParts(ShapeRecord *rec)
    {
        xy = shapeRecordPoints(rec, &nPoints);
        if (xy == nullptr) {
            nPoints = 0;
        }
        counts = shapeRecordParts(rec, &nParts);
        if (counts == nullptr) {
            nParts = nPoints > 0 ? 1 : 0;
        }
    }
    int count(int k) const { return counts != nullptr ? counts[k] : nPoints; }
    /* Calls f(points, n) for each part in order. */
    template <class F>
    void each(F f) const
    {
        int start = 0;
        for (int k = 0; k < nParts; k++) {
            int n = count(k);
            if (start + n > nPoints) {
                n = nPoints - start;
            }
            f(xy + 2 * start, n);
            start += n;
        }
    }
};

/* The answer of up to three numbers; "no finite answer" when one has
 * grown past a double's range (coordinates near it). */
int setResult(Tcl_Interp *interp, const char *format, double a, double b = 0, double c = 0)
{
    const double values[3] = {a, b, c};
    if (!cAllFinite(values, 3)) {
        return cNoFiniteAnswer(interp);
    }
    char text[96];
    std::snprintf(text, sizeof text, format, a, b, c);
    Tcl_SetObjResult(interp, Tcl_NewStringObj(text, -1));
    return TCL_OK;
}

/* Sums measure over the parts of every record (all) or of the given ones. */
template <class Measure>
int totalOverRecords(ShapeCall &c, Measure measure)
{
    double total = 0;
    int code = eachRecord(c, 2, true, [&](int i) {
        RecordParts(shapeRecordAt(c.set, i)).each([&](const double *xy, int n) { total += measure(xy, n); });
        return true;
    });
    return code == TCL_OK ? setResult(c.interp, "%.12g", total) : code;
}

/* The record of langle and vangle, its index a Tcl integer within the set.
 * Answers false, with the command's result set, when nothing more is to be
 * done: an invalid index, a record without points (an empty result) or of
 * one point (the point and no direction). */
bool angleRecord(ShapeCall &c, RecordParts *parts, int *code)
{
    int i;
    if (Tcl_GetInt(nullptr, c.argv[2], &i) != TCL_OK || i < 0 || i >= c.set->count) {
        *code = c.invalidIndex();
        return false;
    }
    *parts = RecordParts(shapeRecordAt(c.set, i));
    *code = TCL_OK;
    if (parts->nPoints == 1) {
        *code = setResult(c.interp, "%.12g %.12g %.12g", parts->xy[0], parts->xy[1], 0);
    }
    return parts->nPoints > 1;
}

}  // namespace

int shapeAreaWord(ShapeCall &c)
{
    if (c.argc < 3) {
        return c.usageOf(" index ?index?... | all");
    }
    if (!shapeTypeIsPolygon(shapeFileType(c.set))) {
        return c.error("shape object does not have area.");
    }
    return totalOverRecords(c, shapeRingArea);
}

int shapeLengthWord(ShapeCall &c)
{
    if (c.argc < 3) {
        return c.usage(" length index ?index?... | all");
    }
    if (!shapeTypeHasParts(shapeFileType(c.set))) {
        return c.error("shape object does not have length.");
    }
    return totalOverRecords(c, shapeLineLength);
}

int shapeCentroidWord(ShapeCall &c)
{
    bool average = c.argc == 4 && std::strcmp(c.argv[3], "average") == 0;
    if (c.argc < 3 || c.argc > 4 || (c.argc == 4 && !average)) {
        return c.usageOf(" index [average]");
    }
    int i;
    if (!c.index(2, &i)) {
        return c.invalidIndex();
    }
    int type = shapeFileType(c.set);
    auto centroid = shapeTypeIsPolygon(type)  ? shapeRingAreaCentroid
                    : shapeTypeHasParts(type) ? shapeLineCentroid
                                              : shapePointsAverage;
    Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
    double sx = 0, sy = 0, sw = 0, mx = 0, my = 0;
    int parts = 0;
    bool finite = true;
    char text[96];
    RecordParts(shapeRecordAt(c.set, i)).each([&](const double *xy, int n) {
        double x, y;
        double w = centroid(xy, n, &x, &y);
        const double part[3] = {x, y, w};
        finite = finite && cAllFinite(part, 3);
        sx += x * w;
        sy += y * w;
        sw += w;
        mx += x;
        my += y;
        parts++;
        std::snprintf(text, sizeof text, "%.12g %.12g %.12g", x, y, w);
        Tcl_ListObjAppendElement(nullptr, list, Tcl_NewStringObj(text, -1));
    });
    int code = finite ? TCL_OK : cNoFiniteAnswer(c.interp);
    if (average || code != TCL_OK) {
        /* Parts that weigh nothing together count alike. */
        if (code == TCL_OK && sw != 0) {
            code = setResult(c.interp, "%.12g %.12g %.12g", sx / sw, sy / sw, sw);
        } else if (code == TCL_OK && parts > 0) {
            code = setResult(c.interp, "%.12g %.12g %.12g", mx / parts, my / parts, 0);
        }
        Tcl_DecrRefCount(list);
        return code;
    }
    Tcl_SetObjResult(c.interp, list);
    return TCL_OK;
}

int shapeLAngleWord(ShapeCall &c)
{
    if (c.argc < 3 || c.argc > 4) {
        return c.usageOf(" index [pIndex]");
    }
    double pos = 0.5;
    if (c.argc == 4 && (cGetDouble(nullptr, c.argv[3], &pos) != TCL_OK || !(pos >= 0) || std::isinf(pos))) {
        return c.error("invalid position");
    }
    RecordParts parts;
    int code;
    if (!angleRecord(c, &parts, &code)) {
        return code;
    }
    double whole = std::floor(pos);
    int k = static_cast<int>(std::fmod(whole, parts.nParts));
    double f = pos - whole;
    int start = 0;
    for (int p = 0; p < k; p++) {
        start += parts.count(p);
    }
    const double *xy = parts.xy + 2 * start;
    int n = parts.count(k);
    if (n < 2) {
        return setResult(c.interp, "%.12g %.12g %.12g", xy[0], xy[1], 0);
    }
    double d = f * shapeLineLength(xy, n);
    int s = 1;
    double seg = std::hypot(xy[2] - xy[0], xy[3] - xy[1]);
    /* Rounding may leave a little of d at the end: stay on the last segment. */
    while (d > seg && s < n - 1) {
        d -= seg;
        s++;
        seg = std::hypot(xy[2 * s] - xy[2 * s - 2], xy[2 * s + 1] - xy[2 * s - 1]);
    }
    double t = seg > 0 ? std::fmin(d / seg, 1.0) : 0;
    const double *a = xy + 2 * (s - 1), *b = xy + 2 * s;
    return setResult(c.interp, "%.12g %.12g %.12g", a[0] + t * (b[0] - a[0]), a[1] + t * (b[1] - a[1]),
                     shapeSegmentAngle(a[0], a[1], b[0], b[1]));
}

int shapeVAngleWord(ShapeCall &c)
{
    if (c.argc < 3 || c.argc > 4) {
        return c.usageOf(" index [pos]");
    }
    int pos = 0;
    if (c.argc == 4 && !readClampedDecimal(c.argv[3], &pos)) {
        return c.error("invalid position");
    }
    RecordParts parts;
    int code;
    if (!angleRecord(c, &parts, &code)) {
        return code;
    }
    pos = pos < 0 ? 0 : (pos > parts.nPoints - 2 ? parts.nPoints - 2 : pos);
    const double *a = parts.xy + 2 * pos, *b = a + 2;
    return setResult(c.interp, "%.12g %.12g %.12g", (a[0] + b[0]) / 2, (a[1] + b[1]) / 2,
                     shapeSegmentAngle(a[0], a[1], b[0], b[1]));
}
