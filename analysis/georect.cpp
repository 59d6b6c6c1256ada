/*
 * georect.cpp --
 *
 *	Georectification parameters: GOERECHD records made from a control-point
 *	fit, written through a replacement file and read back with their
 *	checks; the row and column collapse of the two polynomials and their
 *	evaluation; the input window an output block of the rectification
 *	tool needs.
 */
#include "analysis/georect.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "analysis/gcpcalc.h"
#include "analysis/regress.h"
#include "runtime/bytes.h"
#include "runtime/replace.h"
#include "runtime/util.h"
#include "tesk_stdio.h"

namespace {

constexpr int kHeaderSize = 48;
constexpr char kMagic[] = "GOERECHD";

bool validShape(int nTerms, int power)
{
    return power >= 0 && power <= GEORECT_MAX_POWER && nTerms == gcpTermCount(power);
}

/* The length of a collapsed list: 2 power + 2, 4 for the bilinear case. */
int listLength(const Georect *record)
{
    return record->power == 0 ? 4 : 2 * record->power + 2;
}

/* floor or ceil of a value as a bound, clamped to the int range; false for
 * NaN. */
bool toBound(double value, int32_t *bound)
{
    if (std::isnan(value)) {
        return false;
    }
    *bound = value >= INT_MAX ? INT_MAX : value <= -INT_MAX ? -INT_MAX : static_cast<int32_t>(value);
    return true;
}

void widen(PixelBounds *bounds, double j, double i)
{
    int32_t b;
    if (toBound(std::ceil(j), &b) && b > bounds->right) {
        bounds->right = b;
    }
    if (toBound(std::floor(j), &b) && b < bounds->left) {
        bounds->left = b;
    }
    if (toBound(std::ceil(i), &b) && b > bounds->bottom) {
        bounds->bottom = b;
    }
    if (toBound(std::floor(i), &b) && b < bounds->top) {
        bounds->top = b;
    }
}

/* The steps of |step| from the smaller to the larger of a and b: the
 * number of intervals (0 when the step cannot advance). */
long stepCount(double a, double b, double step)
{
    double span = std::fabs(b - a), s = std::fabs(step);
    if (!(s > 0.0) || !std::isfinite(span)) {
        return 0;
    }
    double k = std::floor(span / s + 1e-9);
    return k > 1e8 ? 100000000L : static_cast<long>(k);
}

/* Walks one edge: the list collapsed for the fixed coordinate, evaluated
 * from lo by step at offset-relative positions. */
void walkEdge(const double *list, int n, double lo, double hi, double step, double offset, PixelBounds *bounds)
{
    double from = std::fmin(lo, hi), s = std::fabs(step);
    long count = stepCount(lo, hi, step);
    for (long k = 0; k <= count; k++) {
        double j, i;
        evalPolyPair(list, from + k * s - offset, n, &j, &i);
        widen(bounds, j, i);
    }
}

}  // namespace

bool makeGeorect(Georect *record, double xOffset, double yOffset, double jOffset, double iOffset, int nTerms, int power,
                 const double *iCoef, const double *jCoef)
{
    if (!validShape(nTerms, power)) {
        return false;
    }
    std::memset(record, 0, sizeof *record);
    record->xOffset = xOffset;
    record->yOffset = yOffset;
    record->jOffset = jOffset;
    record->iOffset = iOffset;
    record->nTerms = nTerms;
    record->power = power;
    std::memcpy(record->coef, iCoef, static_cast<size_t>(nTerms) * sizeof(double));
    std::memcpy(record->coef + nTerms, jCoef, static_cast<size_t>(nTerms) * sizeof(double));
    record->coef[0] += iOffset;
    record->coef[nTerms] += jOffset;
    return true;
}

int writeGeorect(const char *fileName, double xOffset, double yOffset, double jOffset, double iOffset, int nTerms,
                 int power, const double *iCoef, const double *jCoef)
{
    Georect record;
    if (!makeGeorect(&record, xOffset, yOffset, jOffset, iOffset, nTerms, power, iCoef, jCoef)) {
        tesk_fprintf(stderr, "%s write error.", fileName);
        return 0;
    }
    unsigned char data[kHeaderSize + 16 * GEORECT_MAX_TERMS];
    std::memcpy(data, kMagic, 8);
    putF64(data + 8, record.xOffset);
    putF64(data + 16, record.yOffset);
    putF64(data + 24, record.jOffset);
    putF64(data + 32, record.iOffset);
    putI32(data + 40, record.nTerms);
    putI32(data + 44, record.power);
    for (int k = 0; k < 2 * nTerms; k++) {
        putF64(data + kHeaderSize + 8 * k, record.coef[k]);
    }
    switch (replaceWithBytes(fileName, data, kHeaderSize + 16 * static_cast<size_t>(nTerms))) {
    case REPLACE_DONE: return 1;
    case REPLACE_OPEN: tesk_fprintf(stderr, "%s open error.", fileName); return 0;
    default: tesk_fprintf(stderr, "%s write error.", fileName); return 0;
    }
}

int readGeorect(const char *fileName, Georect *record)
{
    int fd = openRegularFile(fileName);
    if (fd < 0) {
        tesk_fprintf(stderr, "%s open error.", fileName);
        return 0;
    }
    unsigned char head[kHeaderSize];
    size_t got = readAt(fd, head, kHeaderSize, 0);
    /* A file of another kind is named as such even when it is shorter than
     * the header. */
    if (got >= 8 && std::memcmp(head, kMagic, 8) != 0) {
        close(fd);
        tesk_fprintf(stderr, "%s is not a georectification parameter file.", fileName);
        return 0;
    }
    if (got < kHeaderSize) {
        close(fd);
        tesk_fprintf(stderr, "%s read error.", fileName);
        return 0;
    }
    const int32_t nTerms = getI32(head + 40), power = getI32(head + 44);
    if (!validShape(nTerms, power)) {
        close(fd);
        tesk_fprintf(stderr, "%s is not a georectification parameter file.", fileName);
        return 0;
    }
    unsigned char data[16 * GEORECT_MAX_TERMS];
    const size_t want = 16 * static_cast<size_t>(nTerms);
    bool whole = readAllAt(fd, data, want, kHeaderSize);
    close(fd);
    if (!whole) {
        tesk_fprintf(stderr, "%s read error.", fileName);
        return 0;
    }
    std::memset(record, 0, sizeof *record);
    record->xOffset = getF64(head + 8);
    record->yOffset = getF64(head + 16);
    record->jOffset = getF64(head + 24);
    record->iOffset = getF64(head + 32);
    record->nTerms = nTerms;
    record->power = power;
    for (int k = 0; k < 2 * nTerms; k++) {
        record->coef[k] = getF64(data + 8 * k);
    }
    return 1;
}

/* Collapse and evaluation --------------------------------------------------------- */

void collapseRowPolys(const Georect *record, double *list, double v)
{
    const double *ic = record->coef, *jc = record->coef + record->nTerms;
    const int p = record->power;
    if (p == 0) {
        list[0] = ic[0] + ic[2] * v;
        list[1] = jc[0] + jc[2] * v;
        list[2] = ic[1] + ic[3] * v;
        list[3] = jc[1] + jc[3] * v;
        return;
    }
    double vp[GEORECT_MAX_POWER + 1];
    powerSeries(v, p, vp);
    for (int i = 0; i <= p; i++) {
        double si = 0.0, sj = 0.0;
        for (int j = 0; j <= p - i; j++) {
            int k = termIndex(i, j);
            si += vp[j] * ic[k];
            sj += vp[j] * jc[k];
        }
        list[2 * i] = si;
        list[2 * i + 1] = sj;
    }
}

void collapseColumnPolys(const Georect *record, double *list, double u)
{
    const double *ic = record->coef, *jc = record->coef + record->nTerms;
    const int p = record->power;
    if (p == 0) {
        list[0] = ic[0] + ic[1] * u;
        list[1] = jc[0] + jc[1] * u;
        list[2] = ic[2] + ic[3] * u;
        list[3] = jc[2] + jc[3] * u;
        return;
    }
    double up[GEORECT_MAX_POWER + 1];
    powerSeries(u, p, up);
    for (int j = 0; j <= p; j++) {
        double si = 0.0, sj = 0.0;
        for (int i = 0; i <= p - j; i++) {
            int k = termIndex(i, j);
            si += up[i] * ic[k];
            sj += up[i] * jc[k];
        }
        list[2 * j] = si;
        list[2 * j + 1] = sj;
    }
}

void evalPolyPair(const double *list, double t, int n, double *j, double *i)
{
    double vi = list[0] + list[2] * t;
    double vj = list[1] + list[3] * t;
    double tk = t;
    for (int k = 2; 2 * k < n; k++) {
        tk *= t;
        vi += list[2 * k] * tk;
        vj += list[2 * k + 1] * tk;
    }
    *j = vj;
    *i = vi;
}

/* Windows --------------------------------------------------------------------------- */

void traceWindowBounds(const Georect *record, const GeorectArea *area, PixelBounds *bounds)
{
    bounds->left = bounds->top = INT_MAX;
    bounds->right = bounds->bottom = -INT_MAX;
    const int n = listLength(record);
    double list[2 * GEORECT_MAX_POWER + 2];
    for (double y : {area->yBottom, area->yTop}) {
        collapseRowPolys(record, list, y - record->yOffset);
        walkEdge(list, n, area->xLeft, area->xRight, area->dx, record->xOffset, bounds);
    }
    for (double x : {area->xLeft, area->xRight}) {
        collapseColumnPolys(record, list, x - record->xOffset);
        walkEdge(list, n, area->yBottom, area->yTop, area->dy, record->yOffset, bounds);
    }
}

int64_t georectSourceWindow(const Georect *record, GeorectArea *area, PixelBounds *bounds, const GeorectFrame *frame,
                            const PixelBounds *output, const PixelBounds *input, int firstRow, int firstColumn,
                            int rows, int columns, int clamp)
{
    area->dx = frame->dx;
    area->dy = frame->dy;
    area->xLeft = (firstColumn - output->left) * frame->dx + frame->x0;
    area->xRight = area->xLeft + (columns - 1) * frame->dx;
    area->yTop = (output->top - firstRow) * frame->dy + frame->y0;
    area->yBottom = area->yTop - (rows - 1) * frame->dy;
    if (rows < 1 || columns < 1) {
        *bounds = {0, 0, -1, -1};
        return 0;
    }
    traceWindowBounds(record, area, bounds);
    if (clamp) {
        bounds->left = bounds->left > input->left ? bounds->left : input->left;
        bounds->top = bounds->top > input->top ? bounds->top : input->top;
        bounds->right = bounds->right < input->right ? bounds->right : input->right;
        bounds->bottom = bounds->bottom < input->bottom ? bounds->bottom : input->bottom;
    }
    if (bounds->right < bounds->left || bounds->bottom < bounds->top) {
        return 0;
    }
    /* Each side is below 2^32 pixels, their product may pass 2^63: an
     * unclamped window so large counts as the largest one. */
    const int64_t width = static_cast<int64_t>(bounds->right) - bounds->left + 1;
    const int64_t height = static_cast<int64_t>(bounds->bottom) - bounds->top + 1;
    return width > INT64_MAX / height ? INT64_MAX : width * height;
}
