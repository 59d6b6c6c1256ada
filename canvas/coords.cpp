/*
 * coords.cpp --
 *
 *	World, canvas and drawable coordinates of the geo canvas, point
 *	arrays, ring clipping and the ShapeKind table.
 */
#include "canvas/coords.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include "platform/x11draw.h"
#include "platform/x11regions.h"
#include "runtime/cnumber.h"
#include "tesk.h"

/* ---- canvas handle ---- */

Tk_Window gcanvasTkwin(const GcanvasWidget *canvas)
{
    return canvas->tkwin;
}

short gcanvasDrawableCoord(int origin, double c)
{
    double t = c - static_cast<double>(origin);
    if (std::isnan(t)) {
        return 0;
    }
    t += t > 0 ? 0.5 : -0.5;
    if (t > 32767) {
        return 32767;
    }
    if (t < -32768) {
        return -32768;
    }
    return static_cast<short>(t);
}

int gcanvasTruncToInt(double v)
{
    if (std::isnan(v)) {
        return 0;
    }
    if (v >= 2147483647.0) {
        return INT32_MAX;
    }
    if (v <= -2147483648.0) {
        return INT32_MIN;
    }
    return static_cast<int>(v);
}

double gcanvasPlainZero(double v)
{
    return v == 0.0 ? 0.0 : v;
}

namespace {

/* Keeps a finite distance, or refuses it with the finite-value message. */
int keepFinite(Tcl_Interp *interp, const char *word, const char *what, double v, double *out)
{
    if (!std::isfinite(v)) {
        if (interp != nullptr) {
            Tcl_ResetResult(interp);
            Tcl_AppendResult(interp, "Invalid ", what, ": \"", word, "\" must be finite", nullptr);
        }
        return TCL_ERROR;
    }
    *out = v;
    return TCL_OK;
}

double screenPixelsPerMM(Tk_Window tkwin)
{
    Screen *screen = Tk_Screen(tkwin);
    return static_cast<double>(WidthOfScreen(screen)) / WidthMMOfScreen(screen);
}

/* A number with only blanks after it, read as Tk reads the number of a
 * screen distance (decimal: a leading zero does not make it octal). */
bool plainNumber(const char *string, double *out)
{
    /* Whole numbers of up to nine digits, the usual coordinates, are read
     * here: exactly what the C reader gives, at a fraction of its cost. */
    const char *p = string + (string[0] == '-' || string[0] == '+');
    int whole = 0, digits = 0;
    while (*p >= '0' && *p <= '9' && digits < 9) {
        whole = whole * 10 + (*p++ - '0');
        digits++;
    }
    if (digits > 0 && *p == '\0') {
        *out = string[0] == '-' ? -static_cast<double>(whole) : whole;
        return true;
    }
    /* Not finite is read here and refused by the caller, by its name. */
    const char *end;
    double v;
    if (!cReadNumber(string, &v, &end, cAllowNonFinite)) {
        return false;
    }
    while (*end != '\0' && std::isspace(static_cast<unsigned char>(*end))) {
        end++;
    }
    if (*end != '\0') {
        return false;
    }
    *out = v;
    return true;
}

/* A plain number as it is, or a number with a unit through Tk
 * (millimetres, times pixelsPerMM). */
int readDistance(Tcl_Interp *interp, Tk_Window tkwin, double pixelsPerMM, const char *string, const char *what,
                 double *out)
{
    double v;
    if (!plainNumber(string, &v)) {
        double mm;
        if (Tk_GetScreenMM(interp, tkwin, string, &mm) != TCL_OK) {
            return TCL_ERROR;
        }
        v = mm * pixelsPerMM;
    }
    return keepFinite(interp, string, what, v, out);
}

}  // namespace

int gcanvasParseDistance(Tcl_Interp *interp, Tk_Window tkwin, const char *string, const char *what, double *out)
{
    return readDistance(interp, tkwin, screenPixelsPerMM(tkwin), string, what, out);
}

int gcanvasGetCoord(Tcl_Interp *, GcanvasWidget *canvas, const char *string, double *out)
{
    return readDistance(canvas->interp, canvas->tkwin, canvas->pixelsPerMM, string, "coordinate", out);
}

int gcanvasGetCoordFromObj(Tcl_Interp *, GcanvasWidget *canvas, Tcl_Obj *obj, double *out)
{
    /* A number that Tcl holds as a double, or as an integer without a text
     * (whose text could read otherwise, "010"), is taken as it is: making
     * its text to read it back would cost more than the item. */
    static const Tcl_ObjType *doubleType = Tcl_GetObjType("double");
    static const Tcl_ObjType *intType = Tcl_GetObjType("int");
    double v;
    if ((obj->typePtr == doubleType || (obj->typePtr == intType && obj->bytes == nullptr)) &&
        cGetDoubleFromObj(nullptr, obj, &v) == TCL_OK && std::isfinite(v)) {
        *out = v;
        return TCL_OK;
    }
    return gcanvasGetCoord(canvas->interp, canvas, Tcl_GetString(obj), out);
}

bool gcanvasIsOptionWord(Tcl_Obj *obj)
{
    static const Tcl_ObjType *doubleType = Tcl_GetObjType("double");
    static const Tcl_ObjType *intType = Tcl_GetObjType("int");
    if (obj->bytes == nullptr && obj->typePtr != nullptr && (obj->typePtr == doubleType || obj->typePtr == intType)) {
        return false;
    }
    static const Tcl_ObjType *listType = Tcl_GetObjType("list");
    int length = 0;
    if (obj->bytes == nullptr && obj->typePtr != nullptr && obj->typePtr == listType &&
        Tcl_ListObjLength(nullptr, obj, &length) == TCL_OK && length != 1) {
        return false;
    }
    const char *word = Tcl_GetString(obj);
    return word[0] == '-' && word[1] >= 'a' && word[1] <= 'z';
}

bool gcanvasParseAtPoint(const char *word, double *x, double *y)
{
    if (word == nullptr || word[0] != '@') {
        return false;
    }
    const char *end;
    double px, py;
    if (!cReadNumber(word + 1, &px, &end) || *end != ',' || !cReadNumber(end + 1, &py, &end) || *end != '\0') {
        return false;
    }
    *x = px;
    *y = py;
    return true;
}

void gcanvasSetStippleOrigin(GcanvasWidget *canvas, GC gc)
{
    XSetTSOrigin(canvas->display, gc, -canvas->drawableXOrigin, -canvas->drawableYOrigin);
}

void gcanvasSetOffset(GcanvasWidget *canvas, GC gc, const Tk_TSOffset *offset)
{
    int x = -canvas->drawableXOrigin;
    int y = -canvas->drawableYOrigin;
    if (offset != nullptr) {
        x += offset->xoffset;
        y += offset->yoffset;
        if ((offset->flags & TK_OFFSET_INDEX) == 0 && (offset->flags & TK_OFFSET_RELATIVE) != 0) {
            Tk_SetTSOrigin(canvas->tkwin, gc, x - canvas->xOrigin, y - canvas->yOrigin);
            return;
        }
    }
    XSetTSOrigin(canvas->display, gc, x, y);
}

void gcanvasAnchorOffset(Tk_TSOffset *offset, const double *b)
{
    if (offset->flags & TK_OFFSET_INDEX) {
        return;
    }
    if (offset->flags & TK_OFFSET_LEFT) {
        offset->xoffset = gcanvasTruncToInt(b[0] + 0.5);
    } else if (offset->flags & TK_OFFSET_CENTER) {
        offset->xoffset = gcanvasTruncToInt((b[0] + b[2] + 1) / 2);
    } else if (offset->flags & TK_OFFSET_RIGHT) {
        offset->xoffset = gcanvasTruncToInt(b[2] + 0.5);
    }
    if (offset->flags & TK_OFFSET_TOP) {
        offset->yoffset = gcanvasTruncToInt(b[1] + 0.5);
    } else if (offset->flags & TK_OFFSET_MIDDLE) {
        offset->yoffset = gcanvasTruncToInt((b[1] + b[3] + 1) / 2);
    } else if (offset->flags & TK_OFFSET_BOTTOM) {
        offset->yoffset = gcanvasTruncToInt(b[3] + 0.5);
    }
}

void gcanvasSetFillStippleOffset(GcanvasWidget *canvas, GC gc, Pixmap stipple, const Tk_TSOffset *offset)
{
    if (offset == nullptr) {
        gcanvasSetOffset(canvas, gc, nullptr);
        return;
    }
    Tk_TSOffset shifted = *offset;
    if ((shifted.flags & TK_OFFSET_INDEX) == 0 && stipple != None) {
        int w = 0, h = 0;
        Tk_SizeOfBitmap(canvas->display, stipple, &w, &h);
        if (shifted.flags & TK_OFFSET_CENTER) {
            shifted.xoffset -= w / 2;
        }
        if (shifted.flags & TK_OFFSET_MIDDLE) {
            shifted.yoffset -= h / 2;
        }
    }
    gcanvasSetOffset(canvas, gc, &shifted);
}

GcanvasTextInfo *gcanvasGetTextInfo(GcanvasWidget *canvas)
{
    return &canvas->textInfo;
}

/* ---- world and canvas coordinates ---- */

namespace {

inline double toCanvasX(const GcanvasWidget *c, double x)
{
    return x * c->mx - c->xOffset;
}

inline double toCanvasY(const GcanvasWidget *c, double y)
{
    return y * c->my - c->yOffset;
}

inline double toWorldX(const GcanvasWidget *c, double x)
{
    return (x + c->xOffset) / c->mx;
}

inline double toWorldY(const GcanvasWidget *c, double y)
{
    return (y + c->yOffset) / c->my;
}

/* Orders a box's corners: x1 <= x2, y1 <= y2 (equal values stay). */
inline void normalise(double *box)
{
    if (box[0] > box[2]) {
        swapDouble(&box[0], &box[2]);
    }
    if (box[1] > box[3]) {
        swapDouble(&box[1], &box[3]);
    }
}

}  // namespace

void worldToCanvasPoints(const GcanvasWidget *canvas, const double *in, double *out, int n)
{
    for (int i = 0; i < n; i++) {
        out[2 * i] = toCanvasX(canvas, in[2 * i]);
        out[2 * i + 1] = toCanvasY(canvas, in[2 * i + 1]);
    }
}

void canvasToWorldPoints(const GcanvasWidget *canvas, const double *in, double *out, int n)
{
    for (int i = 0; i < n; i++) {
        out[2 * i] = toWorldX(canvas, in[2 * i]);
        out[2 * i + 1] = toWorldY(canvas, in[2 * i + 1]);
    }
}

void worldBBoxToCanvas(const GcanvasWidget *canvas, const double *in, double *out)
{
    worldRectToCanvas(canvas, in[0], in[1], in[2], in[3], out);
}

void canvasBBoxToWorld(const GcanvasWidget *canvas, const double *in, double *out)
{
    canvasRectToWorld(canvas, in[0], in[1], in[2], in[3], out);
}

void worldRectToCanvas(const GcanvasWidget *canvas, double x1, double y1, double x2, double y2, double *out)
{
    out[0] = toCanvasX(canvas, x1);
    out[1] = toCanvasY(canvas, y1);
    out[2] = toCanvasX(canvas, x2);
    out[3] = toCanvasY(canvas, y2);
    normalise(out);
}

void canvasRectToWorld(const GcanvasWidget *canvas, double x1, double y1, double x2, double y2, double *out)
{
    out[0] = toWorldX(canvas, x1);
    out[1] = toWorldY(canvas, y1);
    out[2] = toWorldX(canvas, x2);
    out[3] = toWorldY(canvas, y2);
    normalise(out);
}

void setItemBBoxFromWorld(GcanvasWidget *canvas, GcanvasItem *item, double x1, double y1, double x2, double y2)
{
    gcanvasMarkIndexStale(canvas);
    double box[4];
    worldRectToCanvas(canvas, x1, y1, x2, y2, box);
    item->x1 = box[0];
    item->y1 = box[1];
    item->x2 = box[2];
    item->y2 = box[3];
}

void gcanvasItemWorldBBox(const GcanvasWidget *canvas, const GcanvasItem *item, double *out)
{
    canvasRectToWorld(canvas, item->x1, item->y1, item->x2, item->y2, out);
}

void itemBBoxWorldToCanvas(const GcanvasWidget *canvas, const GcanvasItem *item, double *x1, double *y1, double *x2,
                           double *y2)
{
    double box[4];
    worldRectToCanvas(canvas, item->x1, item->y1, item->x2, item->y2, box);
    *x1 = box[0];
    *y1 = box[1];
    *x2 = box[2];
    *y2 = box[3];
}

/* ---- world to drawable points ---- */

int worldToScreenPoints(const GcanvasWidget *canvas, const double *points, int n, XPoint *out)
{
    /* Convert, collapsing runs of equal points to their first. */
    int kept = 0;
    for (int i = 0; i < n; i++) {
        XPoint p;
        p.x = gcanvasDrawableCoord(canvas->drawableXOrigin, toCanvasX(canvas, points[2 * i]));
        p.y = gcanvasDrawableCoord(canvas->drawableYOrigin, toCanvasY(canvas, points[2 * i + 1]));
        if (kept == 0 || p.x != out[kept - 1].x || p.y != out[kept - 1].y) {
            out[kept++] = p;
        }
    }
    if (kept <= 2) {
        if (kept == 1) {
            out[1] = out[0];
        }
        return 2;
    }
    /* One forward pass dropping middle points on a straight run that keeps
     * its direction; the first and last points stay. */
    int last = 0; /* index of p, the last point kept */
    for (int m = 1; m < kept - 1; m++) {
        const XPoint &p = out[last];
        const XPoint &c = out[m];
        const XPoint &q = out[m + 1];
        int64_t ax = c.x - p.x, ay = c.y - p.y;
        int64_t bx = q.x - c.x, by = q.y - c.y;
        if (ax * by == ay * bx && ax * bx + ay * by > 0) {
            continue; /* m dropped; q is the next candidate */
        }
        out[++last] = c;
    }
    out[++last] = out[kept - 1];
    return last + 1;
}

namespace {

int screenParts(const GcanvasWidget *canvas, const double *points, XPoint *out, int nParts, int *counts, int spread)
{
    int total = 0;
    const double *in = points;
    for (int i = 0; i < nParts; i++) {
        int n = counts[i];
        int kept = n > 0 ? worldToScreenPoints(canvas, in, n, out + spread * total) : 0;
        in += 2 * static_cast<size_t>(n > 0 ? n : 0);
        counts[i] = kept;
        total += kept;
    }
    return total;
}

}  // namespace

int worldToScreenParts(const GcanvasWidget *canvas, const double *points, XPoint *out, int nParts, int *counts)
{
    return screenParts(canvas, points, out, nParts, counts, 2);
}

int worldToScreenPartsPacked(const GcanvasWidget *canvas, const double *points, XPoint *out, int nParts, int *counts)
{
    return screenParts(canvas, points, out, nParts, counts, 1);
}

/* ---- point arrays ---- */

void pointsBBox(const double *points, int n, double *box)
{
    box[0] = box[2] = points[0];
    box[1] = box[3] = points[1];
    for (int i = 1; i < n; i++) {
        double x = points[2 * i], y = points[2 * i + 1];
        if (x < box[0]) {
            box[0] = x;
        } else if (x > box[2]) {
            box[2] = x;
        }
        if (y < box[1]) {
            box[1] = y;
        } else if (y > box[3]) {
            box[3] = y;
        }
    }
}

void translatePoints(double *points, double dx, double dy, int n)
{
    translatePointsTo(points, points, dx, dy, n);
}

void translatePointsTo(const double *in, double *out, double dx, double dy, int n)
{
    for (int i = 0; i < n; i++) {
        out[2 * i] = in[2 * i] + dx;
        out[2 * i + 1] = in[2 * i + 1] + dy;
    }
}

namespace {

/* Reflects one coordinate (0: x, 1: y) of n points about its mean. */
void mirrorAxis(double *points, int n, int axis)
{
    if (n <= 0) {
        return;
    }
    double sum = 0;
    for (int i = 0; i < n; i++) {
        sum += points[2 * i + axis];
    }
    double twiceMean = sum / (n * 0.5);
    for (int i = 0; i < n; i++) {
        points[2 * i + axis] = twiceMean - points[2 * i + axis];
    }
}

}  // namespace

void mirrorPointsX(double *points, int n)
{
    mirrorAxis(points, n, 0);
}

void mirrorPointsY(double *points, int n)
{
    mirrorAxis(points, n, 1);
}

int partIndexOfPoint(int n, const int *counts, int nParts)
{
    if (n < 0) {
        return 0;
    }
    if (nParts <= 0) {
        return -1;
    }
    int64_t running = 0;
    for (int i = 0; i < nParts; i++) {
        running += counts[i];
        if (running > n) {
            return i;
        }
    }
    return nParts - 1;
}

double polygonSignedArea(const double *points, int n)
{
    if (n <= 0) {
        return 0;
    }
    double sum = 0;
    double px = points[2 * (n - 1)], py = points[2 * (n - 1) + 1];
    for (int i = 0; i < n; i++) {
        double x = points[2 * i], y = points[2 * i + 1];
        sum += (y + py) * (x - px);
        px = x;
        py = y;
    }
    return 0.5 * sum;
}

long long polygonArea2Short(const XPoint *points, int n)
{
    if (n <= 0) {
        return 0;
    }
    long long sum = 0;
    XPoint p = points[n - 1];
    for (int i = 0; i < n; i++) {
        sum += static_cast<long long>(points[i].y + p.y) * (points[i].x - p.x);
        p = points[i];
    }
    return sum;
}

void swapDouble(double *a, double *b)
{
    double t = *a;
    *a = *b;
    *b = t;
}

void swapInt(int *a, int *b)
{
    int t = *a;
    *a = *b;
    *b = t;
}

void swapShort(short *a, short *b)
{
    short t = *a;
    *a = *b;
    *b = t;
}

XColor *copyTkColor(Tcl_Interp *interp, Tk_Window tkwin, XColor *colour)
{
    if (colour == nullptr) {
        return nullptr;
    }
    return Tk_GetColor(interp, tkwin, Tk_GetUid(Tk_NameOfColor(colour)));
}

XColor *copyXColor(Display *display, Colormap colormap, const XColor *colour)
{
    if (colour == nullptr) {
        return nullptr;
    }
    auto *copy = static_cast<XColor *>(gmemAlloc(sizeof(XColor)));
    if (copy == nullptr) {
        return nullptr;
    }
    *copy = *colour;
    if (!XAllocColor(display, colormap, copy)) {
        gmemFree(copy);
        return nullptr;
    }
    return copy;
}

/* ---- ShapeKind ---- */

namespace {

struct ShapeKindRow {
    int code;
    const char *name;
};

/* Item types and their kinds; the rest have none. */
const ShapeKindRow kItemKinds[] = {
    {SHAPE_LINE, "line"},  {SHAPE_POLYGON, "polygon"}, {SHAPE_POINT, "symbol"}, {SHAPE_POINT, "gtext"},
    {SHAPE_POINT, "text"}, {SHAPE_POINT, "image"},     {SHAPE_POINT, "bitmap"},
};

}  // namespace

int itemShapeKind(const GcanvasItem *item)
{
    const char *type = item->type != nullptr ? item->type->name : nullptr;
    if (type == nullptr) {
        return -1;
    }
    for (const ShapeKindRow &row : kItemKinds) {
        if (std::strcmp(row.name, type) == 0) {
            return row.code;
        }
    }
    return -1;
}

/* ---- clipping ---- */

namespace {

/* One edge of the box: a coordinate (0: x, 1: y) kept >= or <= a limit. */
struct Edge {
    int axis;
    int limit;
    bool below; /* inside is coordinate <= limit */

    bool inside(const XPoint &p) const
    {
        int v = axis == 0 ? p.x : p.y;
        return below ? v <= limit : v >= limit;
    }
};

/* Where prev -> cur crosses the edge, computed from prev and rounded to
 * 16 bits. */
XPoint crossing(const Edge &edge, const XPoint &prev, const XPoint &cur)
{
    XPoint r;
    double c = edge.limit;
    if (edge.axis == 0) {
        r.x = static_cast<short>(edge.limit);
        r.y = static_cast<short>(
            roundToInt(prev.y + (c - prev.x) * (prev.y - cur.y) / static_cast<double>(prev.x - cur.x)));
    } else {
        r.x = static_cast<short>(
            roundToInt(prev.x + (c - prev.y) * (prev.x - cur.x) / static_cast<double>(prev.y - cur.y)));
        r.y = static_cast<short>(edge.limit);
    }
    return r;
}

/* One Sutherland-Hodgman stage: in[0..n) against edge into out. */
void clipStage(const XPoint *in, size_t n, const Edge &edge, std::vector<XPoint> &out)
{
    out.clear();
    if (n == 0) {
        return;
    }
    XPoint prev = in[n - 1];
    bool prevInside = edge.inside(prev);
    for (size_t i = 0; i < n; i++) {
        const XPoint &cur = in[i];
        bool curInside = edge.inside(cur);
        if (!curInside) {
            if (prevInside) {
                out.push_back(crossing(edge, prev, cur));
            }
        } else {
            if (!prevInside) {
                out.push_back(crossing(edge, prev, cur));
            }
            out.push_back(cur);
        }
        prev = cur;
        prevInside = curInside;
    }
}

/* The clipped ring of in[0..n) against the box x1, y1, x2, y2, left in
 * result; scratch holds the stages between. */
void clipRingStages(const XPoint *in, size_t n, const int *box, std::vector<XPoint> &scratch,
                    std::vector<XPoint> &result)
{
    const Edge edges[] = {{0, box[0], false}, {0, box[2], true}, {1, box[1], false}, {1, box[3], true}};
    clipStage(in, n, edges[0], scratch);
    clipStage(scratch.data(), scratch.size(), edges[1], result);
    clipStage(result.data(), result.size(), edges[2], scratch);
    clipStage(scratch.data(), scratch.size(), edges[3], result);
}

/* The clipped 16-bit ring of in[0..n), left in result. */
void clipRing(const XPoint *in, size_t n, int xmin, int ymin, int xmax, int ymax, std::vector<XPoint> &result)
{
    const int box[4] = {xmin, ymin, xmax, ymax};
    std::vector<XPoint> scratch;
    scratch.reserve(2 * n);
    result.reserve(2 * n);
    clipRingStages(in, n, box, scratch, result);
}

}  // namespace

int clipPolygonToBox(std::vector<XPoint> &points, int n, int xmin, int ymin, int xmax, int ymax)
{
    if (n <= 0) {
        return 0;
    }
    std::vector<XPoint> result;
    clipRing(points.data(), static_cast<size_t>(n), xmin, ymin, xmax, ymax, result);
    if (points.size() < result.size()) {
        points.resize(result.size());
    }
    std::copy(result.begin(), result.end(), points.begin());
    return static_cast<int>(result.size());
}

int clipPolygonsToBox(std::vector<XPoint> &points, int nRings, int *counts, int xmin, int ymin, int xmax, int ymax)
{
    std::vector<XPoint> packed;
    std::vector<XPoint> ring;
    size_t start = 0;
    for (int i = 0; i < nRings; i++) {
        size_t n = counts[i] > 0 ? static_cast<size_t>(counts[i]) : 0;
        ring.clear();
        if (n > 0 && start + n <= points.size()) {
            clipRing(points.data() + start, n, xmin, ymin, xmax, ymax, ring);
        }
        start += 2 * n;
        counts[i] = static_cast<int>(ring.size());
        packed.insert(packed.end(), ring.begin(), ring.end());
    }
    if (points.size() < packed.size()) {
        points.resize(packed.size());
    }
    std::copy(packed.begin(), packed.end(), points.begin());
    return static_cast<int>(packed.size());
}

/* ---- drawable rings ---- */

void gcanvasAppendDrawablePoint(std::vector<XPoint> &out, size_t start, double x, double y)
{
    XPoint q{static_cast<short>(std::clamp(roundToInt(x), -32768, 32767)),
             static_cast<short>(std::clamp(roundToInt(y), -32768, 32767))};
    if (out.size() > start && out.back().x == q.x && out.back().y == q.y) {
        return;
    }
    out.push_back(q);
}

bool gcanvasDrawableRings(const GcanvasWidget *canvas, const double *points, const int *counts, int nRings,
                          const double *box, std::vector<XPoint> &out, std::vector<int> &outCounts,
                          std::vector<DrawablePoint> &clipA, std::vector<DrawablePoint> &clipB)
{
    out.clear();
    outCounts.clear();
    bool clipped = false;
    const double ox = canvas->drawableXOrigin, oy = canvas->drawableYOrigin;
    const double *ring = points;
    for (int i = 0; i < nRings; i++) {
        int c = std::max(counts[i], 0);
        size_t start = out.size();
        double b[4];
        pointsBBox(ring, c, b);
        bool inside = b[0] - ox >= box[0] && b[2] - ox <= box[2] && b[1] - oy >= box[1] && b[3] - oy <= box[3];
        if (inside || c < 3) {
            for (int k = 0; k < c; k++) {
                gcanvasAppendDrawablePoint(out, start, ring[2 * k] - ox, ring[2 * k + 1] - oy);
            }
        } else {
            clipped = true;
            clipA.clear();
            for (int k = 0; k < c; k++) {
                clipA.push_back({ring[2 * k] - ox, ring[2 * k + 1] - oy});
            }
            clipRingToBox(clipA, clipB, box);
            for (const DrawablePoint &q : clipA) {
                gcanvasAppendDrawablePoint(out, start, q.x, q.y);
            }
        }
        size_t n = out.size() - start;
        if (n > 1 && (out[start].x != out.back().x || out[start].y != out.back().y)) {
            out.push_back(out[start]);
            n++;
        }
        outCounts.push_back(static_cast<int>(n));
        ring += 2 * static_cast<size_t>(c);
    }
    return clipped;
}

/* ---- drawing of long point lists ---- */

namespace {

/* Points one plain request may carry: the core request length less the
 * request's header. */
long plainRequestPoints(Display *display)
{
    return static_cast<long>(XMaxRequestSize(display)) - 8;
}

}  // namespace

void gcanvasDrawLines(Display *display, Drawable drawable, GC gc, int lineWidth, XPoint *points, int n)
{
    if (points == nullptr || n <= 0) {
        return;
    }
    long limit = lineWidth < 2 ? plainRequestPoints(display) : static_cast<long>(DRAW_RUN_POINTS);
    if (n <= limit) {
        XDrawLines(display, drawable, gc, points, n, CoordModeOrigin);
        return;
    }
    DrawContext *context = drawContextOpen(display, drawable);
    DrawGC *pen = drawGCCreate(context, gc);
    drawPolyline(pen, points, n, CoordModeOrigin);
    drawGCFree(pen);
    drawContextClose(context);
}

void gcanvasFillRings(Display *display, Drawable drawable, GC gc, XPoint *points, int nRings, const int *counts)
{
    if (points == nullptr || counts == nullptr || nRings <= 0) {
        return;
    }
    int longest = 0;
    for (int i = 0; i < nRings; i++) {
        longest = std::max(longest, counts[i]);
    }
    if (longest <= plainRequestPoints(display)) {
        fillPolygonsWithHoles(display, drawable, gc, points, nRings, counts, Complex, CoordModeOrigin);
        return;
    }
    DrawContext *context = drawContextOpen(display, drawable);
    DrawGC *pen = drawGCCreate(context, gc);
    drawFillRings(pen, points, nRings, counts, Complex, CoordModeOrigin);
    drawGCFree(pen);
    drawContextClose(context);
}
