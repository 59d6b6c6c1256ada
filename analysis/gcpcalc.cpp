/*
 * gcpcalc.cpp --
 *
 *	Ground control points: the calculator context, its records, the
 *	least-squares fit of the I and J polynomials with residuals and root
 *	mean squares, the point transform, the text formatters and GCPOBJ
 *	files. Serves the geocalc calculator, calc geocalc and the gcp objects.
 */
#include "analysis/gcpcalc.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

#include "analysis/georect.h"
#include "analysis/regress.h"
#include "runtime/bytes.h"
#include "runtime/cnumber.h"
#include "runtime/replace.h"
#include "runtime/util.h"
#include "tesk_stdio.h"

namespace {

constexpr int kObjHeaderSize = 18; /* "GCPOBJ", count, power, nTerms */
constexpr int kObjRecordSize = 48;

/* gmemAlloc of size zeroed bytes; "\ngmemAlloc error in memAlloc: %s.\n"
 * with name and NULL when memory runs out. */
void *memAlloc(size_t size, const char *name)
{
    void *block = gmemAlloc(size);
    if (block == nullptr) {
        tesk_fprintf(stderr, "\ngmemAlloc error in memAlloc: %s.\n", name);
        return nullptr;
    }
    std::memset(block, 0, size);
    return block;
}

/* Frees a gmem block held in *block and clears the pointer. */
template <typename T>
void freeBlock(T **block)
{
    if (*block != nullptr) {
        gmemFree(*block);
        *block = nullptr;
    }
}

/* A copy of n doubles in a new gmem block, or NULL. */
double *copyDoubles(const double *source, int n, const char *name)
{
    auto *copy = static_cast<double *>(memAlloc(static_cast<size_t>(n) * sizeof(double), name));
    if (copy != nullptr) {
        std::memcpy(copy, source, static_cast<size_t>(n) * sizeof(double));
    }
    return copy;
}

bool hasFit(const GcpCalc *calc)
{
    return calc->nTerms > 0 && calc->nTerms <= GEORECT_MAX_TERMS && calc->iCoef != nullptr && calc->jCoef != nullptr &&
           calc->terms != nullptr;
}

/* Sum of coef[k]·t[k] for k from 1 to n - 1. */
double termSum(const double *coef, const double *t, int n)
{
    double sum = 0.0;
    for (int k = 1; k < n; k++) {
        sum += coef[k] * t[k];
    }
    return sum;
}

/* A value as "%.3f" shows it, without a negative zero for what rounds to
 * zero (a residual of -1e-15 is 0.000). */
double shown(double value)
{
    return value < 0.0 && value > -0.0005 ? 0.0 : value;
}

/* The total degree of term k of a fit of the given power (power 0: the
 * bilinear terms 1, u, v, uv). */
int termDegree(int power, int k)
{
    if (power == 0) {
        return k == 0 ? 0 : k == 3 ? 2 : 1;
    }
    int degree = 0;
    while ((degree + 1) * (degree + 2) / 2 <= k) {
        degree++;
    }
    return degree;
}

/* A coefficient list: coef[0] + offset, then the others, in format. */
void formatCoefficients(const GcpCalc *calc, const double *coef, double offset, const char *format, char *buffer)
{
    buffer[0] = '\0';
    if (!hasFit(calc)) {
        return;
    }
    CLocaleScope locale;
    char *p = buffer;
    for (int k = 0; k < calc->nTerms; k++) {
        if (k > 0) {
            *p++ = ' ';
        }
        int n = std::snprintf(p, 31, format, k == 0 ? coef[0] + offset : coef[k]);
        p += n < 0 ? 0 : n > 30 ? 30 : n;
        *p = '\0';
    }
}

/* Frees the vectors of a fit held in *iCoef, *jCoef and *terms. */
void freeFitVectors(double **iCoef, double **jCoef, double **terms)
{
    freeBlock(iCoef);
    freeBlock(jCoef);
    freeBlock(terms);
}

}  // namespace

/* Terms ----------------------------------------------------------------------- */

int gcpTermCount(int power)
{
    return power == 0 ? 4 : (power + 1) * (power + 2) / 2;
}

void polyTerms2D(double u, double v, int power, double *t)
{
    t[0] = 1.0;
    t[1] = u;
    t[2] = v;
    if (power == 0) {
        t[3] = u * v;
        return;
    }
    /* Degree d - 1 starts at index first; its d terms times u give the
     * first d terms of degree d, its last term times v gives v^d. */
    int first = 1;
    for (int d = 2; d <= power; d++) {
        int next = first + d;
        for (int k = 0; k < d; k++) {
            t[next + k] = t[first + k] * u;
        }
        t[next + d] = t[first + d - 1] * v;
        first = next;
    }
}

/* Contexts -------------------------------------------------------------------- */

void gcpCalcInit(GcpCalc *calc)
{
    std::memset(calc, 0, sizeof *calc);
    calc->capacity = GCP_CAPACITY;
    calc->running = 1;
    std::snprintf(calc->helpFile, sizeof calc->helpFile, "%s", "/geocalc.hlp");
    calc->records = static_cast<GcpRecord *>(memAlloc(GCP_CAPACITY * sizeof(GcpRecord), "records"));
}

GcpCalc *gcpCalcCreate(const GcpCalc *source)
{
    auto *calc = static_cast<GcpCalc *>(gmemAlloc(sizeof(GcpCalc)));
    if (calc == nullptr) {
        tesk_fprintf(stderr, "\ngmemAlloc error in memAlloc: %s.\n", "GcpCalc");
        return nullptr;
    }
    gcpCalcInit(calc);
    if (calc->records == nullptr) {
        gmemFree(calc);
        return nullptr;
    }
    if (source == nullptr) {
        return calc;
    }
    int count = source->count < 0 ? 0 : source->count > GCP_CAPACITY ? GCP_CAPACITY : source->count;
    if (source->records != nullptr) {
        std::memcpy(calc->records, source->records, static_cast<size_t>(count) * sizeof(GcpRecord));
    }
    calc->count = count;
    calc->current = source->current;
    calc->running = source->running;
    calc->lineLength = source->lineLength;
    calc->wordCount = source->wordCount;
    calc->nTerms = source->nTerms;
    calc->power = source->power;
    calc->xOffset = source->xOffset;
    calc->yOffset = source->yOffset;
    calc->iOffset = source->iOffset;
    calc->jOffset = source->jOffset;
    calc->msrJ = source->msrJ;
    calc->msrI = source->msrI;
    calc->msr = source->msr;
    if (hasFit(source)) {
        calc->iCoef = copyDoubles(source->iCoef, source->nTerms, "Icoef");
        calc->jCoef = copyDoubles(source->jCoef, source->nTerms, "Jcoef");
        calc->terms = copyDoubles(source->terms, source->nTerms + 2, "xy");
        if (calc->iCoef == nullptr || calc->jCoef == nullptr || calc->terms == nullptr) {
            gcpCalcFree(calc);
            return nullptr;
        }
    } else {
        calc->nTerms = 0;
    }
    return calc;
}

void gcpCalcClear(GcpCalc *calc)
{
    freeFitVectors(&calc->iCoef, &calc->jCoef, &calc->terms);
    freeBlock(&calc->records);
    calc->nTerms = 0;
    calc->count = 0;
    calc->current = 0;
}

void gcpCalcFree(GcpCalc *calc)
{
    if (calc != nullptr) {
        gcpCalcClear(calc);
        gmemFree(calc);
    }
}

void gcpDropFit(GcpCalc *calc)
{
    freeFitVectors(&calc->iCoef, &calc->jCoef, &calc->terms);
    calc->nTerms = 0;
}

void gcpExchange(GcpCalc *calc)
{
    for (int k = 0; k < calc->count; k++) {
        GcpRecord &r = calc->records[k];
        std::swap(r.x1, r.x2);
        std::swap(r.y1, r.y2);
    }
    gcpDropFit(calc);
}

/* Records --------------------------------------------------------------------- */

int gcpFindById(const GcpCalc *calc, int id, int *index)
{
    for (int k = 0; k < calc->count; k++) {
        if (calc->records[k].id == id) {
            *index = k;
            return 1;
        }
    }
    *index = calc->count;
    return 0;
}

void gcpDeleteRecord(GcpCalc *calc, int index)
{
    if (index < 0 || index >= calc->count) {
        return;
    }
    std::memmove(calc->records + index, calc->records + index + 1,
                 static_cast<size_t>(calc->count - index - 1) * sizeof(GcpRecord));
    calc->count--;
    calc->modified = 1;
    if (calc->current >= calc->count && calc->current > 0) {
        calc->current--;
    }
}

int gcpAddRecordText(GcpCalc *calc, const char *line)
{
    if (calc->records == nullptr || calc->count >= GCP_CAPACITY || calc->count >= calc->capacity) {
        tesk_fprintf(stderr, "GCP number overflow.\n");
        return 0;
    }
    GcpRecord r = {};
    int used = 0;
    double xy[4];  // x1 y1 x2 y2
    if (std::sscanf(line, "%d %d%n", &r.selected, &r.id, &used) != 2 || cScanNumbers(line + used, xy, 4) != 4) {
        tesk_fprintf(stderr, "Invalid record:\n%s", line);
        return 0;
    }
    r.x1 = xy[0];
    r.y1 = xy[1];
    r.x2 = xy[2];
    r.y2 = xy[3];
    calc->records[calc->count++] = r;
    calc->modified = 1;
    return calc->count;
}

/* The fit --------------------------------------------------------------------- */

int gcpFit(GcpCalc *calc, int power)
{
    if (power < 0 || power > GEORECT_MAX_POWER) {
        tesk_fprintf(stderr, "The power of the polynomial must be 0 to %d.\n", GEORECT_MAX_POWER);
        return 0;
    }
    const int nTerms = gcpTermCount(power);
    const GcpRecord *records = calc->records;

    /* Means of the selected points. */
    int n = 0;
    double sx = 0.0, sy = 0.0, si = 0.0, sj = 0.0;
    for (int k = 0; k < calc->count; k++) {
        if (records[k].selected != 0) {
            sx += records[k].x1;
            sy += records[k].y1;
            sj += records[k].x2;
            si += records[k].y2;
            n++;
        }
    }
    if (n < nTerms) {
        tesk_fprintf(stderr, "Not enough GCPs !");
        return 0;
    }
    const double xOffset = sx / n, yOffset = sy / n, jOffset = sj / n, iOffset = si / n;

    /* The new fit's vectors and the work arrays; the context's fit is only
     * replaced once the new one stands. */
    const int size = nTerms + 2;  /* terms, dj, di */
    const int width = nTerms + 1; /* cross products from term 1 on */
    double *jCoef = static_cast<double *>(memAlloc(nTerms * sizeof(double), "Jcoef"));
    double *iCoef = jCoef == nullptr ? nullptr : static_cast<double *>(memAlloc(nTerms * sizeof(double), "Icoef"));
    double *terms = iCoef == nullptr ? nullptr : static_cast<double *>(memAlloc(size * sizeof(double), "xy"));
    double *sums = terms == nullptr ? nullptr : static_cast<double *>(memAlloc(size * sizeof(double), "sumptr"));
    double *cov = sums == nullptr
                      ? nullptr
                      : static_cast<double *>(memAlloc(static_cast<size_t>(width) * width * sizeof(double), "covptr"));
    if (cov == nullptr) {
        freeFitVectors(&iCoef, &jCoef, &terms);
        freeBlock(&sums);
        return 0;
    }

    /* The terms are built from positions divided by their spread, so that
     * the terms of every degree are of one size and the solver's test for a
     * singular system does not depend on the units of the coordinates
     * (terms of power 3 over +-5000 units span 22 orders of magnitude);
     * the coefficients are scaled back after the solve. */
    double spread = 0.0;
    for (int k = 0; k < calc->count; k++) {
        const GcpRecord &r = records[k];
        if (r.selected != 0) {
            spread += (r.x1 - xOffset) * (r.x1 - xOffset) + (r.y1 - yOffset) * (r.y1 - yOffset);
        }
    }
    spread = std::sqrt(spread / (2.0 * n));
    if (!(spread > 0.0) || !std::isfinite(spread)) {
        spread = 1.0;
    }

    for (int k = 0; k < calc->count; k++) {
        const GcpRecord &r = records[k];
        if (r.selected == 0) {
            continue;
        }
        polyTerms2D((r.x1 - xOffset) / spread, (r.y1 - yOffset) / spread, power, terms);
        terms[nTerms] = r.x2 - jOffset;
        terms[nTerms + 1] = r.y2 - iOffset;
        for (int a = 0; a < size; a++) {
            sums[a] += terms[a];
        }
        const double *e = terms + 1;
        for (int a = 0; a < width; a++) {
            double *row = cov + static_cast<size_t>(a) * width;
            for (int b = a; b < width; b++) {
                row[b] += e[a] * e[b];
            }
        }
    }
    for (int a = 0; a < width; a++) {
        for (int b = 0; b < a; b++) {
            cov[static_cast<size_t>(a) * width + b] = cov[static_cast<size_t>(b) * width + a];
        }
    }
    normalizeCovariance(width, n, cov, sums + 1);

    const int m = nTerms - 1;
    if (!sweepSolve(cov, m, width)) {
        tesk_fprintf(stderr, "Singular GCP system.\n");
        freeFitVectors(&iCoef, &jCoef, &terms);
        freeBlock(&sums);
        freeBlock(&cov);
        return 0;
    }
    for (int k = 1; k < nTerms; k++) {
        jCoef[k] = cov[static_cast<size_t>(m) * width + k - 1];
        iCoef[k] = cov[static_cast<size_t>(m + 1) * width + k - 1];
    }
    jCoef[0] = sums[nTerms] - termSum(jCoef, sums, nTerms);
    iCoef[0] = sums[nTerms + 1] - termSum(iCoef, sums, nTerms);
    freeBlock(&sums);
    freeBlock(&cov);
    for (int k = 1; k < nTerms; k++) {
        const double unit = std::pow(spread, termDegree(power, k));
        jCoef[k] /= unit;
        iCoef[k] /= unit;
    }

    /* Residuals of every record; the root mean squares over the selected. */
    double sumJ = 0.0, sumI = 0.0;
    for (int k = 0; k < calc->count; k++) {
        GcpRecord &r = calc->records[k];
        polyTerms2D(r.x1 - xOffset, r.y1 - yOffset, power, terms);
        double dx = (r.x2 - jOffset) - jCoef[0] - termSum(jCoef, terms, nTerms);
        double dy = (r.y2 - iOffset) - iCoef[0] - termSum(iCoef, terms, nTerms);
        r.dx = static_cast<float>(dx);
        r.dy = static_cast<float>(dy);
        if (r.selected != 0) {
            sumJ += dx * dx;
            sumI += dy * dy;
        }
    }

    freeFitVectors(&calc->iCoef, &calc->jCoef, &calc->terms);
    calc->iCoef = iCoef;
    calc->jCoef = jCoef;
    calc->terms = terms;
    calc->nTerms = nTerms;
    calc->power = power;
    calc->xOffset = xOffset;
    calc->yOffset = yOffset;
    calc->jOffset = jOffset;
    calc->iOffset = iOffset;
    calc->msrJ = std::sqrt(sumJ / n);
    calc->msrI = std::sqrt(sumI / n);
    calc->msr = std::sqrt((sumJ + sumI) / n);
    return 1;
}

int gcpTransform(const GcpCalc *calc, double x, double y, double *i, double *j)
{
    if (!hasFit(calc)) {
        return 0;
    }
    double t[GEORECT_MAX_TERMS];
    polyTerms2D(x - calc->xOffset, y - calc->yOffset, calc->power, t);
    double si = 0.0, sj = 0.0;
    for (int k = 0; k < calc->nTerms; k++) {
        si += calc->iCoef[k] * t[k];
        sj += calc->jCoef[k] * t[k];
    }
    *i = calc->iOffset + si;
    *j = calc->jOffset + sj;
    return 1;
}

/* Text forms ------------------------------------------------------------------- */

int gcpFormatRecord(const GcpCalc *calc, int index, char *buffer)
{
    if (index < 0 || index >= calc->count) {
        return 0;
    }
    const GcpRecord &r = calc->records[index];
    CLocaleScope locale;
    std::snprintf(buffer, GCP_LINE_SIZE, "%d %.3f %.3f %.3f %.3f %.3f %.3f", r.id, shown(r.x1), shown(r.y1),
                  shown(r.x2), shown(r.y2), shown(r.dx), shown(r.dy));
    return 1;
}

int gcpFormatResidual(const GcpCalc *calc, int index, char *buffer)
{
    if (index < 0 || index >= calc->count) {
        return 0;
    }
    const GcpRecord &r = calc->records[index];
    CLocaleScope locale;
    std::snprintf(buffer, GCP_LINE_SIZE, "%d %.3f %.3f", r.id, shown(r.dx), shown(r.dy));
    return 1;
}

void gcpFormatJCoef(const GcpCalc *calc, const char *format, char *buffer)
{
    formatCoefficients(calc, calc->jCoef, calc->jOffset, format, buffer);
}

void gcpFormatICoef(const GcpCalc *calc, const char *format, char *buffer)
{
    formatCoefficients(calc, calc->iCoef, calc->iOffset, format, buffer);
}

void gcpFormatMsr(const GcpCalc *calc, const char *format, char *buffer)
{
    CLocaleScope locale;
    const double values[3] = {calc->msrJ, calc->msrI, calc->msr};
    char *p = buffer;
    for (int k = 0; k < 3; k++) {
        if (k > 0) {
            *p++ = ' ';
        }
        int n = std::snprintf(p, 31, format, values[k]);
        p += n < 0 ? 0 : n > 30 ? 30 : n;
        *p = '\0';
    }
}

/* Georectification parameters --------------------------------------------------- */

bool gcpMakeGeorect(const GcpCalc *calc, Georect *record)
{
    return hasFit(calc) && makeGeorect(record, calc->xOffset, calc->yOffset, calc->jOffset, calc->iOffset, calc->nTerms,
                                       calc->power, calc->iCoef, calc->jCoef);
}

int gcpSaveGeorect(const GcpCalc *calc, const char *fileName)
{
    if (!hasFit(calc)) {
        return 0;
    }
    return writeGeorect(fileName, calc->xOffset, calc->yOffset, calc->jOffset, calc->iOffset, calc->nTerms, calc->power,
                        calc->iCoef, calc->jCoef);
}

/* GCPOBJ files ------------------------------------------------------------------ */

int gcpObjSave(GcpCalc *calc, const char *fileName)
{
    const int count = calc->count < 0 ? 0 : calc->count > GCP_CAPACITY ? GCP_CAPACITY : calc->count;
    unsigned char data[kObjHeaderSize + GCP_CAPACITY * kObjRecordSize];
    std::memcpy(data, "GCPOBJ", 6);
    putI32(data + 6, count);
    putI32(data + 10, calc->power);
    putI32(data + 14, hasFit(calc) ? calc->nTerms : 0);
    for (int k = 0; k < count; k++) {
        const GcpRecord &r = calc->records[k];
        unsigned char *p = data + kObjHeaderSize + k * kObjRecordSize;
        putI32(p, r.selected);
        putI32(p + 4, r.id);
        putF64(p + 8, r.x1);
        putF64(p + 16, r.y1);
        putF64(p + 24, r.x2);
        putF64(p + 32, r.y2);
        putF32(p + 40, r.dx);
        putF32(p + 44, r.dy);
    }
    const size_t total = kObjHeaderSize + static_cast<size_t>(count) * kObjRecordSize;

    if (replaceWithBytes(fileName, data, total) != REPLACE_DONE) {
        tesk_fprintf(stderr, "%s: %s\n", fileName, std::strerror(errno != 0 ? errno : EIO));
        return 0;
    }
    calc->modified = 0;
    return 1;
}

GcpCalc *gcpObjLoad(const char *fileName)
{
    int fd = openRegularFile(fileName);
    if (fd < 0) {
        tesk_fprintf(stderr, "%s: %s\n", fileName, errno == EINVAL ? "not a regular file" : std::strerror(errno));
        return nullptr;
    }
    unsigned char data[kObjHeaderSize + GCP_CAPACITY * kObjRecordSize];
    size_t got = readAt(fd, data, sizeof data, 0);
    close(fd);
    if (got < 6 || std::memcmp(data, "GCPOBJ", 6) != 0) {
        tesk_fprintf(stderr, "%s is not a GCPOBJ file.\n", fileName);
        return nullptr;
    }
    int32_t count = got >= 10 ? getI32(data + 6) : -1;
    if (got < kObjHeaderSize || count < 0 || count > GCP_CAPACITY ||
        got < kObjHeaderSize + static_cast<size_t>(count) * kObjRecordSize) {
        tesk_fprintf(stderr, "%s read error.\n", fileName);
        return nullptr;
    }
    GcpCalc *calc = gcpCalcCreate(nullptr);
    if (calc == nullptr) {
        return nullptr;
    }
    for (int k = 0; k < count; k++) {
        const unsigned char *p = data + kObjHeaderSize + k * kObjRecordSize;
        GcpRecord &r = calc->records[k];
        r.selected = getI32(p);
        r.id = getI32(p + 4);
        r.x1 = getF64(p + 8);
        r.y1 = getF64(p + 16);
        r.x2 = getF64(p + 24);
        r.y2 = getF64(p + 32);
        r.dx = getF32(p + 40);
        r.dy = getF32(p + 44);
    }
    calc->count = count;
    calc->power = getI32(data + 10);
    const int32_t nTerms = getI32(data + 14);
    calc->nTerms = 0; /* no coefficients until the refit */
    if (nTerms >= 1) {
        gcpFit(calc, calc->power);
    }
    return calc;
}
