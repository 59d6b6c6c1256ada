/*
 * fft2d.cpp --
 *
 *	The radix-2 fast Fourier transform and its row and column passes (see
 *	fft2d.h). One engine serves all three: the values of several
 *	transforms are gathered into a work area, bit-reversed, as separate
 *	real and imaginary arrays whose innermost index is the lane, so that
 *	every butterfly runs as a plain loop over lanes that the compiler
 *	vectorises. Rows are gathered kRowLanes rows at a time and columns
 *	kColumnLanes neighbouring columns at a time (whole cache lines of each
 *	row). Stages are taken two at a time (radix 4, after one radix-2 stage when
 *	their number is odd) with twiddle arrays computed once per call from
 *	the caller's tables.
 */
#include "imagestore/fft2d.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include "tesk.h"
#include "tesk_stdio.h"

namespace {

/* Transforms run side by side in the work area of the row and of the
 * column passes (rows gather from that many streams, columns read that
 * many neighbouring values of each row). */
constexpr int kRowLanes = 8;
constexpr int kColumnLanes = 16;
/* Above this many bytes of lane work area the passes run one lane at a time. */
constexpr size_t kMaxLaneWork = size_t{64} << 20;

bool isPowerOfTwo(int n)
{
    return n >= 1 && (n & (n - 1)) == 0;
}

/* Whether a transform of length n (a power of two) has an odd number of
 * radix-2 stages. */
bool oddStages(int n)
{
    return __builtin_ctz(static_cast<unsigned>(n)) % 2 == 1;
}

/* Everything one pass needs, in one gmemAlloc'd block: the bit-reversal
 * permutation, the twiddles of every stage and the lanes' work arrays. */
struct Work {
    int n = 0;              /* transform length, a power of two */
    int lanes = 1;          /* transforms side by side: 1, kRowLanes or kColumnLanes */
    int *reverse = nullptr; /* n entries: the bit-reversed index of each position */
    float *twRe = nullptr;  /* n - 1 used: stage of half span L at L - 1 .. 2L - 2 */
    float *twIm = nullptr;
    float *re = nullptr; /* n x lanes real parts, lane index innermost */
    float *im = nullptr; /* the same for the imaginary parts */
    void *block = nullptr;

    Work() = default;
    Work(const Work &) = delete;
    Work &operator=(const Work &) = delete;
    ~Work() { gmemFree(block); }

    /* Allocates and fills the permutation and twiddles; false when the
     * memory cannot be had. */
    bool make(int length, int laneCount, const double *cosTable, const double *sinTable)
    {
        n = length;
        lanes = laneCount;
        size_t count = static_cast<size_t>(n);
        size_t bytes =
            count * (sizeof(int) + 2 * sizeof(float)) + count * static_cast<size_t>(lanes) * 2 * sizeof(float);
        block = gmemAlloc(bytes);
        if (block == nullptr) {
            return false;
        }
        re = static_cast<float *>(block);
        im = re + count * lanes;
        twRe = im + count * lanes;
        twIm = twRe + count;
        reverse = reinterpret_cast<int *>(twIm + count);

        int bits = 0;
        while ((1 << bits) < n) {
            bits++;
        }
        for (int j = 0; j < n; j++) {
            int r = 0;
            for (int b = 0; b < bits; b++) {
                r |= ((j >> b) & 1) << (bits - 1 - b);
            }
            reverse[j] = r;
        }
        /* The stage of half span L turns by the table's angle for k = 2L;
         * its twiddles are powers of that rotation, kept in double. */
        for (int half = 1; half < n; half *= 2) {
            double c = cosTable[2 * half - 1], s = sinTable[2 * half - 1];
            double wr = 1.0, wi = 0.0;
            for (int j = 0; j < half; j++) {
                twRe[half - 1 + j] = static_cast<float>(wr);
                twIm[half - 1 + j] = static_cast<float>(wi);
                double t = wr * c - wi * s;
                wi = wi * c + wr * s;
                wr = t;
            }
        }
        return true;
    }
};

/* One radix-4 butterfly on four points of every lane: quarters 0 .. 3 of
 * a span hold, in bit-reversed order, the transforms of the values whose
 * index is 0, 2, 1 and 3 modulo 4. Quarter 1 is turned by w1 = W^2j,
 * quarter 2 by w2 = W^j and quarter 3 by w3 = W^3j (W the rotation of the
 * whole span); quarter is +1 or -1, the sign of W's quarter turn. */
template <int B>
inline void butterfly4(float *__restrict r0, float *__restrict r1, float *__restrict r2, float *__restrict r3,
                       float *__restrict i0, float *__restrict i1, float *__restrict i2, float *__restrict i3,
                       float w1r, float w1i, float w2r, float w2i, float w3r, float w3i, float quarter)
{
    for (int b = 0; b < B; b++) {
        float u2r = w1r * r1[b] - w1i * i1[b];
        float u2i = w1r * i1[b] + w1i * r1[b];
        float u1r = w2r * r2[b] - w2i * i2[b];
        float u1i = w2r * i2[b] + w2i * r2[b];
        float u3r = w3r * r3[b] - w3i * i3[b];
        float u3i = w3r * i3[b] + w3i * r3[b];
        float ar = r0[b] + u2r, ai = i0[b] + u2i;
        float br = r0[b] - u2r, bi = i0[b] - u2i;
        float cr = u1r + u3r, ci = u1i + u3i;
        float dr = -quarter * (u1i - u3i), di = quarter * (u1r - u3r);
        r0[b] = ar + cr;
        i0[b] = ai + ci;
        r2[b] = ar - cr;
        i2[b] = ai - ci;
        r1[b] = br + dr;
        i1[b] = bi + di;
        r3[b] = br - dr;
        i3[b] = bi - di;
    }
}

/* The stages of the transform of every lane of the work area, whose
 * values stand in bit-reversed order; the result in natural order. With
 * an odd number of stages, firstDone says that the gather has made the
 * first (radix-2, twiddle 1) already. */
template <int B>
void transformLanes(const Work &w, bool firstDone)
{
    const int n = w.n;
    float *re = w.re, *im = w.im;
    int half = 1;
    if (oddStages(n)) {
        for (int p = 0; p < n && !firstDone; p += 2) {
            float *__restrict ar = re + static_cast<size_t>(p) * B;
            float *__restrict ai = im + static_cast<size_t>(p) * B;
            float *__restrict br = ar + B;
            float *__restrict bi = ai + B;
            for (int b = 0; b < B; b++) {
                float tr = br[b], ti = bi[b];
                br[b] = ar[b] - tr;
                bi[b] = ai[b] - ti;
                ar[b] += tr;
                ai[b] += ti;
            }
        }
        half = 2;
    }
    /* The quarter turn of the tables' rotation: the twiddle 1 of length 4. */
    const float quarter = n >= 4 && w.twIm[2] < 0.0f ? -1.0f : 1.0f;
    for (; half < n; half *= 4) {
        /* Spans of 4 x half values: W^j and W^2j are the twiddles of the
         * stages of half span 2 x half and half. */
        const float *w1r = w.twRe + half - 1, *w1i = w.twIm + half - 1;
        const float *w2r = w.twRe + 2 * half - 1, *w2i = w.twIm + 2 * half - 1;
        const size_t step = static_cast<size_t>(half) * B;
        for (int g = 0; g < n; g += 4 * half) {
            for (int j = 0; j < half; j++) {
                float *r0 = re + static_cast<size_t>(g + j) * B;
                float *i0 = im + static_cast<size_t>(g + j) * B;
                float w3r = w1r[j] * w2r[j] - w1i[j] * w2i[j];
                float w3i = w1r[j] * w2i[j] + w1i[j] * w2r[j];
                butterfly4<B>(r0, r0 + step, r0 + 2 * step, r0 + 3 * step, i0, i0 + step, i0 + 2 * step, i0 + 3 * step,
                              w1r[j], w1i[j], w2r[j], w2i[j], w3r, w3i, quarter);
            }
        }
    }
}

/* Shifts and scale of a pass in a direction: the input is read from
 * (j + inShift) mod n, the result k stored at (k + outShift) mod n. */
struct PassShape {
    int inShift, outShift;
    float scale;
};

PassShape passShape(int n, int direction)
{
    return {direction < 1 ? n / 2 : 0, direction >= 0 ? n / 2 : 0,
            direction <= 0 ? 1.0f / static_cast<float>(n) : 1.0f};
}

/* Rows first .. first + count - 1 of data (n complex values each) through
 * the lanes of w. */
template <int B>
void rowBlock(float *data, int first, int count, const Work &w, PassShape shape)
{
    const int n = w.n, mask = n - 1;
    if (count < B) {
        std::memset(w.re, 0, sizeof(float) * static_cast<size_t>(n) * B);
        std::memset(w.im, 0, sizeof(float) * static_cast<size_t>(n) * B);
    }
    const float *src[B];
    for (int b = 0; b < count; b++) {
        src[b] = data + static_cast<size_t>(first + b) * 2 * n;
    }
    const bool pairs = oddStages(n);
    if (pairs) {
        /* Values j and j + n/2 land side by side: their radix-2 stage is
         * made on the way in. */
        for (int j = 0; j < n / 2; j++) {
            int s0 = 2 * ((j + shape.inShift) & mask), s1 = 2 * ((j + n / 2 + shape.inShift) & mask);
            float *__restrict re = w.re + static_cast<size_t>(w.reverse[j]) * B;
            float *__restrict im = w.im + static_cast<size_t>(w.reverse[j]) * B;
            for (int b = 0; b < count; b++) {
                float ar = src[b][s0], ai = src[b][s0 + 1], br = src[b][s1], bi = src[b][s1 + 1];
                re[b] = ar + br;
                im[b] = ai + bi;
                re[B + b] = ar - br;
                im[B + b] = ai - bi;
            }
        }
    } else {
        for (int j = 0; j < n; j++) {
            int s = 2 * ((j + shape.inShift) & mask);
            float *__restrict re = w.re + static_cast<size_t>(w.reverse[j]) * B;
            float *__restrict im = w.im + static_cast<size_t>(w.reverse[j]) * B;
            for (int b = 0; b < count; b++) {
                re[b] = src[b][s];
                im[b] = src[b][s + 1];
            }
        }
    }
    transformLanes<B>(w, pairs);
    float *dst[B];
    for (int b = 0; b < count; b++) {
        dst[b] = data + static_cast<size_t>(first + b) * 2 * n;
    }
    for (int k = 0; k < n; k++) {
        int d = 2 * ((k + shape.outShift) & mask);
        const float *__restrict re = w.re + static_cast<size_t>(k) * B;
        const float *__restrict im = w.im + static_cast<size_t>(k) * B;
        for (int b = 0; b < count; b++) {
            dst[b][d] = re[b] * shape.scale;
            dst[b][d + 1] = im[b] * shape.scale;
        }
    }
}

/* Columns first .. first + count - 1 of data (n rows of columns complex
 * values) through the lanes of w. */
template <int B>
void columnBlock(float *data, int columns, int first, int count, const Work &w, PassShape shape)
{
    const int n = w.n, mask = n - 1;
    if (count < B) {
        std::memset(w.re, 0, sizeof(float) * static_cast<size_t>(n) * B);
        std::memset(w.im, 0, sizeof(float) * static_cast<size_t>(n) * B);
    }
    const bool pairs = oddStages(n);
    if (pairs) {
        /* As in rowBlock: the first stage on the way in. */
        for (int j = 0; j < n / 2; j++) {
            int s0 = (j + shape.inShift) & mask, s1 = (j + n / 2 + shape.inShift) & mask;
            const float *__restrict a = data + (static_cast<size_t>(s0) * columns + first) * 2;
            const float *__restrict c = data + (static_cast<size_t>(s1) * columns + first) * 2;
            float *__restrict re = w.re + static_cast<size_t>(w.reverse[j]) * B;
            float *__restrict im = w.im + static_cast<size_t>(w.reverse[j]) * B;
            for (int b = 0; b < count; b++) {
                re[b] = a[2 * b] + c[2 * b];
                im[b] = a[2 * b + 1] + c[2 * b + 1];
                re[B + b] = a[2 * b] - c[2 * b];
                im[B + b] = a[2 * b + 1] - c[2 * b + 1];
            }
        }
    } else {
        for (int j = 0; j < n; j++) {
            int s = (j + shape.inShift) & mask;
            const float *__restrict src = data + (static_cast<size_t>(s) * columns + first) * 2;
            float *__restrict re = w.re + static_cast<size_t>(w.reverse[j]) * B;
            float *__restrict im = w.im + static_cast<size_t>(w.reverse[j]) * B;
            for (int b = 0; b < count; b++) {
                re[b] = src[2 * b];
                im[b] = src[2 * b + 1];
            }
        }
    }
    transformLanes<B>(w, pairs);
    for (int k = 0; k < n; k++) {
        int d = (k + shape.outShift) & mask;
        float *__restrict dst = data + (static_cast<size_t>(d) * columns + first) * 2;
        const float *__restrict re = w.re + static_cast<size_t>(k) * B;
        const float *__restrict im = w.im + static_cast<size_t>(k) * B;
        for (int b = 0; b < count; b++) {
            dst[2 * b] = re[b] * shape.scale;
            dst[2 * b + 1] = im[b] * shape.scale;
        }
    }
}

/* Lanes for transforms of length n: lanes unless their work area grows
 * too large, then 1. */
int lanesFor(int n, int lanes)
{
    return static_cast<size_t>(n) * lanes * 2 * sizeof(float) <= kMaxLaneWork ? lanes : 1;
}

}  // namespace

int fftTwiddles(int n, int direction, double *cosTable, double *sinTable)
{
    if (n < 1) {
        return 0;
    }
    const double sign = direction > 0 ? 1.0 : -1.0;
    const double twoPi = 6.283185307179586476925286766559;
    for (int k = 1; k <= n; k++) {
        double angle = twoPi * sign / k;
        cosTable[k - 1] = std::cos(angle);
        sinTable[k - 1] = std::sin(angle);
    }
    return 1;
}

int fft1D(int n, float *data, int direction, const double *cosTable, const double *sinTable)
{
    if (!isPowerOfTwo(n)) {
        return 0;
    }
    Work w;
    if (!w.make(n, 1, cosTable, sinTable)) {
        return 0;
    }
    PassShape shape = {0, 0, direction <= 0 ? 1.0f / static_cast<float>(n) : 1.0f};
    rowBlock<1>(data, 0, 1, w, shape);
    return 1;
}

int fftRows(float *data, const double *sinTable, const double *cosTable, int rows, int n, int direction)
{
    if (!isPowerOfTwo(n) || rows < 0) {
        return 0;
    }
    Work w;
    if (!w.make(n, lanesFor(n, kRowLanes), cosTable, sinTable)) {
        tesk_fprintf(stderr, "Error in malloc.\n");
        return 0;
    }
    PassShape shape = passShape(n, direction);
    for (int first = 0; first < rows; first += w.lanes) {
        int count = std::min(w.lanes, rows - first);
        if (w.lanes == kRowLanes) {
            rowBlock<kRowLanes>(data, first, count, w, shape);
        } else {
            rowBlock<1>(data, first, count, w, shape);
        }
    }
    return 1;
}

int fftColumns(float *data, const double *sinTable, const double *cosTable, int n, int columns, int direction)
{
    if (!isPowerOfTwo(n) || columns < 0) {
        return 0;
    }
    Work w;
    if (!w.make(n, lanesFor(n, kColumnLanes), cosTable, sinTable)) {
        tesk_fprintf(stderr, "Error in malloc.\n");
        return 0;
    }
    PassShape shape = passShape(n, direction);
    for (int first = 0; first < columns; first += w.lanes) {
        int count = std::min(w.lanes, columns - first);
        if (w.lanes == kColumnLanes) {
            columnBlock<kColumnLanes>(data, columns, first, count, w, shape);
        } else {
            columnBlock<1>(data, columns, first, count, w, shape);
        }
    }
    return 1;
}
