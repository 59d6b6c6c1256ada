/*
 * regress.cpp --
 *
 *	The numeric library beside the control-point fit: cross-product sums
 *	and their normalisation, the sweep solvers by complete pivoting (the
 *	fit's sweepSolve of gcpcalc.h and the regression's resolve), polynomial
 *	regression between bands with its lookup tables and per-band drivers,
 *	byte statistics and the two template searches.
 */
#include "analysis/regress.h"

#include <cmath>
#include <cstring>

#include "analysis/gcpcalc.h"
#include "tesk_stdio.h"

namespace {

/* Matrices up to this width are solved with work arrays on the stack. */
constexpr int kStackWidth = 128;

/*
 * sweep --
 *	Complete-pivoting elimination of the leading m x m block of the w x w
 *	row-major matrix a, carrying its trailing columns; negate selects the
 *	pivot column's change of sign (sweepSolve) or not (resolve). scratch
 *	holds w doubles, rowOf and colOf m integers each. False when a pivot is
 *	at most 1e-12 times the largest leading diagonal element (singular).
 */
bool sweep(double *a, int m, int w, bool negate, double *scratch, int32_t *rowOf, int32_t *colOf)
{
    const size_t stride = static_cast<size_t>(w);
    double largest = 0.0;
    for (int k = 0; k < m; k++) {
        largest = std::fmax(largest, std::fabs(a[k * stride + k]));
        rowOf[k] = colOf[k] = -1;
    }
    const double tolerance = 1e-12 * largest;

    for (int step = 0; step < m; step++) {
        double best = -1.0;
        int pr = -1, pc = -1;
        for (int c = 0; c < m; c++) {
            if (rowOf[c] >= 0) {
                continue;
            }
            for (int r = 0; r < m; r++) {
                if (colOf[r] < 0 && std::fabs(a[r * stride + c]) > best) {
                    best = std::fabs(a[r * stride + c]);
                    pr = r;
                    pc = c;
                }
            }
        }
        if (pr < 0 || !(best > tolerance)) {
            return false;
        }
        rowOf[pc] = pr;
        colOf[pr] = pc;
        double *prow = a + pr * stride;
        const double pivot = prow[pc];
        for (int j = 0; j < w; j++) {
            prow[j] /= pivot;
        }
        for (int i = 0; i < w; i++) {
            if (i == pr) {
                continue;
            }
            double *row = a + i * stride;
            const double f = row[pc];
            if (f != 0.0) {
                for (int j = 0; j < w; j++) {
                    row[j] -= prow[j] * f;
                }
            }
            row[pc] = negate ? -f / pivot : f / pivot;
        }
        prow[pc] = 1.0 / pivot;
    }

    /* Each row's leading entries back in the order of the columns, then the
     * trailing columns' values in the order of their variables, copied into
     * the trailing rows too. */
    for (int r = 0; r < w; r++) {
        double *row = a + r * stride;
        for (int b = 0; b < m; b++) {
            scratch[b] = row[colOf[b]];
        }
        std::memcpy(row, scratch, static_cast<size_t>(m) * sizeof(double));
    }
    for (int c = m; c < w; c++) {
        for (int r = 0; r < m; r++) {
            scratch[colOf[r]] = a[r * stride + c];
        }
        for (int q = 0; q < m; q++) {
            a[q * stride + c] = scratch[q];
            a[c * stride + q] = scratch[q];
        }
    }
    return true;
}

/* The sweep with work arrays from work (resolveWorkBytes(m, w) bytes), the
 * stack, or the allocator. */
bool sweepWith(double *a, int m, int w, bool negate, void *work, bool *noMemory)
{
    *noMemory = false;
    if (m < 0 || w < m) {
        return false;
    }
    if (work != nullptr) {
        auto *scratch = static_cast<double *>(work);
        auto *ints = reinterpret_cast<int32_t *>(scratch + w);
        return sweep(a, m, w, negate, scratch, ints, ints + m);
    }
    if (w <= kStackWidth) {
        double scratch[kStackWidth];
        int32_t ints[2 * kStackWidth];
        return sweep(a, m, w, negate, scratch, ints, ints + m);
    }
    void *block = gmemAlloc(resolveWorkBytes(m, w));
    if (block == nullptr) {
        *noMemory = true;
        return false;
    }
    bool solved = sweepWith(a, m, w, negate, block, noMemory);
    gmemFree(block);
    return solved;
}

/* Adds the cross products of the n entries of e into the n x n matrix,
 * upper triangle added and mirrored. */
void addCrossProducts(const double *e, int n, double *matrix)
{
    for (int i = 0; i < n; i++) {
        double *row = matrix + static_cast<size_t>(i) * n;
        const double ei = e[i];
        for (int j = i; j < n; j++) {
            row[j] += ei * e[j];
            matrix[static_cast<size_t>(j) * n + i] = row[j];
        }
    }
}

/* Squared correlation from exact sums: n·sab - sa·sb squared over the
 * products of the variances' numerators; 0 when either is not positive. */
double correlation2(double n, double sa, double saa, double sb, double sbb, double sab)
{
    const double va = n * saa - sa * sa, vb = n * sbb - sb * sb;
    if (!(va > 0.0) || !(vb > 0.0)) {
        return 0.0;
    }
    const double cov = n * sab - sa * sb;
    return cov * cov / (va * vb);
}

}  // namespace

/* Solvers ----------------------------------------------------------------------- */

bool sweepSolve(double *matrix, int m, int w)
{
    bool noMemory;
    bool solved = sweepWith(matrix, m, w, true, nullptr, &noMemory);
    if (noMemory) {
        tesk_fprintf(stderr, "Error in resolve: gmemAlloc.\n");
    }
    return solved;
}

bool resolve(double *matrix, int m, int n, void *work)
{
    bool noMemory;
    bool solved = sweepWith(matrix, m, n, false, work, &noMemory);
    if (noMemory) {
        tesk_fprintf(stderr, "Error in resolve: gmemAlloc.\n");
    }
    return solved;
}

void normalizeCovariance(int n, double count, double *matrix, double *means)
{
    if (!(count > 0.0)) {
        return;
    }
    for (int i = 0; i < n; i++) {
        double *row = matrix + static_cast<size_t>(i) * n;
        for (int j = 0; j < n; j++) {
            row[j] = (row[j] - means[i] * means[j] / count) / count;
        }
    }
    for (int i = 0; i < n; i++) {
        means[i] /= count;
    }
}

/* Regression --------------------------------------------------------------------- */

void powerSeries(double x, int degree, double *out)
{
    out[0] = 1.0;
    for (int k = 1; k <= degree; k++) {
        out[k] = out[k - 1] * x;
    }
}

void accumulatePolySample(double x, double y, int degree, double *matrix, double *sums, double *sample)
{
    powerSeries(x, degree, sample);
    sample[degree + 1] = y;
    for (int k = 0; k < degree + 2; k++) {
        sums[k] += sample[k];
    }
    addCrossProducts(sample + 1, degree + 1, matrix);
}

void extractRegressionCoefficients(double *coef, const double *matrix, const double *sums, int n)
{
    const double *last = matrix + static_cast<size_t>(n - 1) * n;
    double fitted = 0.0;
    for (int k = 1; k < n; k++) {
        coef[k] = last[k - 1];
        fitted += coef[k] * sums[k];
    }
    coef[0] = sums[n] - fitted;
}

void polyByteLut(const double *coef, int degree, unsigned char *table)
{
    for (int v = 0; v < 256; v++) {
        double y = 0.0, vk = 1.0;
        for (int k = 0; k <= degree; k++) {
            y += coef[k] * vk;
            vk *= v;
        }
        y += 0.5;
        table[v] = y >= 255.0 ? 255 : !(y >= 0.0) ? 0 : static_cast<unsigned char>(y);
    }
}

void bandPolyLuts(const double *coef, int degree, unsigned char *tables, int bands)
{
    for (int b = 0; b < bands; b++) {
        polyByteLut(coef + static_cast<size_t>(b) * (degree + 1), degree, tables + 256 * static_cast<size_t>(b));
    }
}

void accumulateBandRegression(const unsigned char *a, const unsigned char *b, long pixels, int bands, int degree,
                              double *sample, double *matrices, double *sums)
{
    const size_t n = degree + 1, s = degree + 2;
    for (long p = 0; p < pixels; p++) {
        const unsigned char *pa = a + p * bands, *pb = b + p * bands;
        for (int band = 0; band < bands; band++) {
            accumulatePolySample(pa[band], pb[band], degree, matrices + band * n * n, sums + band * s, sample);
        }
    }
}

void bandNormalizeCovariance(int degree, int bands, double *matrices, double *sums)
{
    const size_t n = degree + 1, s = degree + 2;
    for (int band = 0; band < bands; band++) {
        double *bandSums = sums + band * s;
        normalizeCovariance(degree + 1, bandSums[0], matrices + band * n * n, bandSums + 1);
    }
}

bool bandResolve(int degree, int bands, double *matrices)
{
    const size_t n = degree + 1;
    void *work = gmemAlloc(resolveWorkBytes(degree, degree + 1));
    if (work == nullptr) {
        tesk_fprintf(stderr, "Error in resolve: gmemAlloc.\n");
        return false;
    }
    bool all = true;
    for (int band = 0; band < bands; band++) {
        all = resolve(matrices + band * n * n, degree, degree + 1, work) && all;
    }
    gmemFree(work);
    return all;
}

void bandRegressionCoefficients(int degree, int bands, double *coef, const double *matrices, const double *sums)
{
    const size_t n = degree + 1, s = degree + 2;
    for (int band = 0; band < bands; band++) {
        extractRegressionCoefficients(coef + band * n, matrices + band * n * n, sums + band * s, degree + 1);
    }
}

int copyDiagonal(const double *matrix, int first, int n, double *out)
{
    int count = 0;
    for (int k = first < 0 ? 0 : first; k < n; k++) {
        out[count++] = matrix[static_cast<size_t>(k) * n + k];
    }
    return count;
}

int bandDiagonals(int degree, int bands, const double *matrices, int first, double *out)
{
    const size_t n = degree + 1;
    int total = 0;
    for (int band = 0; band < bands; band++) {
        total += copyDiagonal(matrices + band * n * n, first, degree + 1, out + total);
    }
    return total;
}

/* Bivariate samples ---------------------------------------------------------------- */

void bilinearTerms(double x, double y, double *out)
{
    out[0] = 1.0;
    out[1] = x;
    out[2] = y;
    out[3] = x * y;
}

int bivariateProducts(double x, double y, int power, double *out, double *xPowers, double *yPowers)
{
    powerSeries(x, power, xPowers);
    powerSeries(y, power, yPowers);
    int count = 0;
    for (int i = 0; i <= power; i++) {
        for (int j = 0; j <= power - i; j++) {
            out[count++] = xPowers[i] * yPowers[j];
        }
    }
    return count;
}

void accumulateBivariateSample(double x, double y, double u, double v, int power, double *matrix, double *sums,
                               double *sample, double *xPowers, double *yPowers)
{
    const int t = bivariateProducts(x, y, power, sample, xPowers, yPowers);
    sample[t] = u;
    sample[t + 1] = v;
    for (int k = 0; k < t + 2; k++) {
        sums[k] += sample[k];
    }
    addCrossProducts(sample + 1, t + 1, matrix);
}

/* Byte statistics ------------------------------------------------------------------ */

void byteSumsAdd(const unsigned char *bytes, long n, double *sum, double *sumSquares)
{
    double s = 0.0, q = 0.0;
    for (long k = 0; k < n; k++) {
        const double v = bytes[k];
        s += v;
        q += v * v;
    }
    *sum += s;
    *sumSquares += q;
}

void byteSumsSub(const unsigned char *bytes, long n, double *sum, double *sumSquares)
{
    double s = 0.0, q = 0.0;
    byteSumsAdd(bytes, n, &s, &q);
    *sum -= s;
    *sumSquares -= q;
}

void byteMeanVariance(const unsigned char *bytes, long n, double *mean, double *variance)
{
    double s = 0.0, q = 0.0;
    byteSumsAdd(bytes, n, &s, &q);
    *mean = n > 0 ? s / n : 0.0;
    *variance = n > 0 ? q / n - *mean * *mean : 0.0;
}

double byteDotProduct(const unsigned char *a, const unsigned char *b, long n)
{
    double sum = 0.0;
    for (long k = 0; k < n; k++) {
        sum += static_cast<double>(a[k]) * b[k];
    }
    return sum;
}

double byteCorrelation2(const unsigned char *a, const unsigned char *b, long n)
{
    double sa = 0.0, saa = 0.0, sb = 0.0, sbb = 0.0;
    byteSumsAdd(a, n, &sa, &saa);
    byteSumsAdd(b, n, &sb, &sbb);
    return correlation2(static_cast<double>(n), sa, saa, sb, sbb, byteDotProduct(a, b, n));
}

void copyWindow(const unsigned char *image, int rows, int rowLength, unsigned char *out, int r0, int c0, int r1, int c1)
{
    if (r0 > r1 || c1 < c0) {
        return;
    }
    const size_t width = static_cast<size_t>(c1) - c0 + 1;
    const int from = c0 < 0 ? 0 : c0, to = c1 >= rowLength ? rowLength - 1 : c1;
    for (int r = r0; r <= r1; r++) {
        unsigned char *dst = out + static_cast<size_t>(r - r0) * width;
        if (r < 0 || r >= rows || from > to) {
            std::memset(dst, 0, width);
            continue;
        }
        std::memset(dst, 0, static_cast<size_t>(from - c0));
        std::memcpy(dst + (from - c0), image + static_cast<size_t>(r) * rowLength + from,
                    static_cast<size_t>(to - from + 1));
        std::memset(dst + (to - c0 + 1), 0, static_cast<size_t>(c1 - to));
    }
}

void zeroBytes(unsigned char *buffer, size_t n)
{
    std::memset(buffer, 0, n);
}

/* Template search ------------------------------------------------------------------ */

bool templateMatch(TemplateMatch *result, const unsigned char *image, int rows, int columns, const unsigned char *templ,
                   int tRows, int tColumns)
{
    *result = {0.0f, 0, 0};
    if (tRows < 1 || tColumns < 1 || tRows > rows || tColumns > columns) {
        return true;
    }
    const long n = static_cast<long>(tRows) * tColumns;
    auto *window = static_cast<unsigned char *>(gmemAlloc(static_cast<size_t>(n)));
    if (window == nullptr) {
        return false;
    }
    double best = 0.0;
    for (int r = 0; r + tRows <= rows; r++) {
        for (int c = 0; c + tColumns <= columns; c++) {
            copyWindow(image, rows, columns, window, r, c, r + tRows - 1, c + tColumns - 1);
            double value = byteCorrelation2(window, templ, n);
            if (value > best) {
                best = value;
                *result = {static_cast<float>(value), r, c};
            }
        }
    }
    gmemFree(window);
    return true;
}

bool templateMatchFast(TemplateMatch *result, const unsigned char *image, int rows, int columns,
                       const unsigned char *templ, int tRows, int tColumns)
{
    *result = {0.0f, 0, 0};
    if (tRows < 1 || tColumns < 1 || tRows > rows || tColumns > columns) {
        return true;
    }
    const double n = static_cast<double>(tRows) * tColumns;
    double st = 0.0, stt = 0.0;
    byteSumsAdd(templ, static_cast<long>(n), &st, &stt);
    if (st == 0.0) {
        return true;
    }
    const size_t stride = static_cast<size_t>(columns);
    double topSum = 0.0, topSquares = 0.0; /* the window at row 0 of the current column */
    for (int r = 0; r < tRows; r++) {
        byteSumsAdd(image + r * stride, tColumns, &topSum, &topSquares);
    }
    double best = 0.0;
    for (int c = 0; c + tColumns <= columns; c++) {
        if (c > 0) {
            /* The column strip c - 1 leaves, c + tColumns - 1 enters. */
            for (int r = 0; r < tRows; r++) {
                const double out = image[r * stride + c - 1], in = image[r * stride + c + tColumns - 1];
                topSum += in - out;
                topSquares += in * in - out * out;
            }
        }
        double sum = topSum, squares = topSquares;
        for (int r = 0; r + tRows <= rows; r++) {
            if (r > 0) {
                byteSumsSub(image + (r - 1) * stride + c, tColumns, &sum, &squares);
                byteSumsAdd(image + (r + tRows - 1) * stride + c, tColumns, &sum, &squares);
            }
            if (sum == 0.0) {
                continue;
            }
            double dot = 0.0;
            for (int k = 0; k < tRows; k++) {
                dot +=
                    byteDotProduct(image + (r + k) * stride + c, templ + static_cast<size_t>(k) * tColumns, tColumns);
            }
            if (!(n * dot - sum * st > 0.0)) {
                continue;
            }
            double value = correlation2(n, sum, squares, st, stt, dot);
            if (value > best) {
                best = value;
                *result = {static_cast<float>(value), r, c};
            }
        }
    }
    return true;
}
