/*
 * calcfuncs.cpp --
 *
 *	The eight function modules of "rimage calc": dratio, ratio, nratio,
 *	stretch, dev, linear, avg and norm. Each has a set-up, which turns the
 *	-b, -par and -ob texts into the band lists and parameters of the run,
 *	and a row kernel. Kernels work on whole rows, one row of floats per
 *	band; their loops run over blocks of kBlock values with a constant trip
 *	count, which the compiler vectorises at -O2.
 */
#include "analysis/tools/calcfuncs.h"

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

#include "runtime/cnumber.h"
#include "runtime/util.h"
#include "tesk_stdio.h"

namespace {

constexpr int kBlock = 32;                  // values of one vectorised block
constexpr float kTinyDenominator = 1e-30f;  // stands in for a zero (or NaN) denominator

using Full = std::integral_constant<int, kBlock>;

/* Calls fn(i, count) over 0 .. n - 1: count is the constant kBlock for the
 * full blocks and n - i (an int) for the rest. */
template <typename Fn>
inline __attribute__((always_inline)) void overBlocks(int n, Fn fn)
{
    int i = 0;
    for (; i + kBlock <= n; i += kBlock) {
        fn(i, Full());
    }
    if (i < n) {
        fn(i, n - i);
    }
}

/* A denominator of 0, or one that is not a number, becomes 1e-30. */
inline float guarded(float d)
{
    return (d == 0.0f || d != d) ? kTinyDenominator : d;
}

/* a when c holds, else b, without a branch (a select written as a
 * conditional expression becomes a jump, which stops vectorising). */
inline float blend(bool c, float a, float b)
{
    int32_t mask = -static_cast<int32_t>(c), ia, ib;
    std::memcpy(&ia, &a, sizeof ia);
    std::memcpy(&ib, &b, sizeof ib);
    int32_t bits = (ia & mask) | (ib & ~mask);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

int fail(const char *message)
{
    tesk_fprintf(stderr, "%s\n", message);
    return 0;
}

std::string_view trimmed(std::string_view item)
{
    while (!item.empty() && std::isspace(static_cast<unsigned char>(item.front()))) {
        item.remove_prefix(1);
    }
    while (!item.empty() && std::isspace(static_cast<unsigned char>(item.back()))) {
        item.remove_suffix(1);
    }
    return item;
}

/* Calls take(item) for every non-empty comma-separated item of text. */
template <typename Take>
void eachItem(const char *text, Take take)
{
    std::string_view rest(text);
    while (!rest.empty()) {
        size_t comma = rest.find(',');
        std::string_view item = rest.substr(0, comma);
        if (!item.empty()) {
            take(trimmed(item));
        }
        if (comma == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(comma + 1);
    }
}

/* ---- band lists shared by the set-ups ------------------------------------ */

struct FixedTexts {
    const char *count;   // a given -b with the wrong number of items
    const char *range;   // an input band outside the image
    const char *output;  // a bad -ob
};

/*
 * fixedBands --
 *	The bands of a module that reads want bands and writes one: a given
 *	-b must hold want items, by default bands 1 .. want; every band must
 *	lie in the input image (an image with fewer bands than the default
 *	list is refused). A given -ob must hold one band of the output image;
 *	by default band 1.
 */
bool fixedBands(CalcContext *ctx, int want, const char *bands, const char *outBands, const FixedTexts &text)
{
    std::vector<int> list;
    if (bands != nullptr) {
        if (calcPassLongs(bands, list, CALC_MAX_BANDS) != want) {
            return fail(text.count);
        }
    } else {
        for (int k = 1; k <= want; k++) {
            list.push_back(k);
        }
    }
    ctx->inBands.clear();
    for (int band : list) {
        if (band < 1 || band > ctx->inImageBands) {
            return fail(text.range);
        }
        ctx->inBands.push_back(band - 1);
    }
    int out = 1;
    if (outBands != nullptr) {
        if (calcPassLongs(outBands, list, CALC_MAX_BANDS) != 1 || list[0] < 1 || list[0] > ctx->outImageBands) {
            return fail(text.output);
        }
        out = list[0];
    }
    ctx->outBands.assign(1, out - 1);
    return true;
}

/*
 * freeBands --
 *	The input bands of a module that reads any number of them: a given -b
 *	holds one to inImageBands bands of the input image; by default every
 *	band in order.
 */
bool freeBands(CalcContext *ctx, const char *bands, const char *tooMany, const char *range)
{
    std::vector<int> list;
    if (bands != nullptr) {
        int n = calcPassLongs(bands, list, CALC_MAX_BANDS);
        if (n > ctx->inImageBands || n > CALC_MAX_BANDS) {
            return fail(tooMany);
        }
        if (n == 0) {
            return fail(range);
        }
    } else {
        if (ctx->inImageBands > CALC_MAX_BANDS) {
            return fail(tooMany);
        }
        for (int k = 1; k <= ctx->inImageBands; k++) {
            list.push_back(k);
        }
    }
    ctx->inBands.clear();
    for (int band : list) {
        if (band < 1 || band > ctx->inImageBands) {
            return fail(range);
        }
        ctx->inBands.push_back(band - 1);
    }
    return true;
}

/* One output band per input band: a given -ob names as many bands of the
 * output image as there are input bands; by default input band k goes to
 * output band k (the frame skips bands the output does not have). */
bool perBandOutputs(CalcContext *ctx, const char *outBands, const char *inconsistent, const char *range)
{
    size_t n = ctx->inBands.size();
    ctx->outBands.clear();
    if (outBands == nullptr) {
        for (size_t k = 0; k < n; k++) {
            ctx->outBands.push_back(static_cast<int>(k));
        }
        return true;
    }
    std::vector<int> list;
    if (calcPassLongs(outBands, list, CALC_MAX_BANDS) != static_cast<int>(n)) {
        return fail(inconsistent);
    }
    for (int band : list) {
        if (band < 1 || band > ctx->outImageBands) {
            return fail(range);
        }
        ctx->outBands.push_back(band - 1);
    }
    return true;
}

/* One output band: -ob names none (band 1) or one band from 1 up; a band
 * beyond the output image's is not written. */
bool oneOutput(CalcContext *ctx, const char *outBands, const char *message)
{
    int out = 1;
    if (outBands != nullptr) {
        std::vector<int> list;
        int n = calcPassLongs(outBands, list, CALC_MAX_BANDS);
        if (n > 1 || (n == 1 && list[0] < 1)) {
            return fail(message);
        }
        if (n == 1) {
            out = list[0];
        }
    }
    ctx->outBands.assign(1, out - 1);
    return true;
}

/*
 * readParams --
 *	Sets the parameters to the defaults, then lays the -par values (when
 *	given) over the first of them. False, after printing message, when an
 *	item is not a number or accept(count) refuses the count.
 */
template <typename Accept>
bool readParams(CalcContext *ctx, const char *text, std::vector<float> defaults, Accept accept, const char *message)
{
    ctx->params = std::move(defaults);
    if (text == nullptr) {
        return true;
    }
    std::vector<float> given;
    int n = calcPassFloats(text, given, CALC_MAX_PARAMS);
    if (n < 0 || n > CALC_MAX_PARAMS || !accept(n)) {
        return fail(message);
    }
    if (given.size() > ctx->params.size()) {
        ctx->params.resize(given.size());
    }
    std::copy(given.begin(), given.end(), ctx->params.begin());
    return true;
}

/* ---- dratio: (x0 - x1) / (x2 - x3) * p0 + p1 -------------------------------- */

int dratioSetup(CalcContext *ctx, const char *bands, const char *params, const char *outBands)
{
    static const FixedTexts texts = {"dratio: Input bands must be four.", "dratio: Input band out of range.",
                                     "dratio: Output band must be 1."};
    if (!fixedBands(ctx, 4, bands, outBands, texts)) {
        return 0;
    }
    return readParams(
        ctx, params, {1.0f, 0.0f}, [](int n) { return n == 2; }, "dratio: Invalid parameter(s).");
}

void dratioKernel(const CalcContext *ctx, const CalcRow *r)
{
    const float p0 = ctx->params[0], p1 = ctx->params[1];
    const float *x0 = r->in[0], *x1 = r->in[1], *x2 = r->in[2], *x3 = r->in[3];
    float *y = r->out[0];
    overBlocks(r->columns, [&](int i, auto count) {
        [](const float *__restrict a, const float *__restrict b, const float *__restrict c, const float *__restrict e,
           float *__restrict out, auto n, float gain, float offset) {
            for (int k = 0; k < n; k++) {
                out[k] = (a[k] - b[k]) / guarded(c[k] - e[k]) * gain + offset;
            }
        }(x0 + i, x1 + i, x2 + i, x3 + i, y + i, count, p0, p1);
    });
}

/* ---- ratio: (x0 - p2) / (x1 - p3) * p0 + p1 --------------------------------- */

int ratioSetup(CalcContext *ctx, const char *bands, const char *params, const char *outBands)
{
    static const FixedTexts texts = {"ratio: Input bands must be two.", "ratio: Input band out of range.",
                                     "ratio: invalid output band."};
    if (!fixedBands(ctx, 2, bands, outBands, texts)) {
        return 0;
    }
    return readParams(
        ctx, params, {1.0f, 0.0f, 0.0f, 0.0f}, [](int n) { return n == 2 || n == 4; }, "ratio: Invalid parameter(s).");
}

void ratioKernel(const CalcContext *ctx, const CalcRow *r)
{
    const float *p = ctx->params.data();
    const float p0 = p[0], p1 = p[1], p2 = p[2], p3 = p[3];
    const float *x0 = r->in[0], *x1 = r->in[1];
    float *y = r->out[0];
    overBlocks(r->columns, [&](int i, auto count) {
        [](const float *__restrict a, const float *__restrict b, float *__restrict out, auto n, float gain,
           float offset, float da, float db) {
            for (int k = 0; k < n; k++) {
                out[k] = (a[k] - da) / guarded(b[k] - db) * gain + offset;
            }
        }(x0 + i, x1 + i, y + i, count, p0, p1, p2, p3);
    });
}

/* ---- nratio: a = x0 - p0, b = (x1 - p1) p2, (a - b) / (a + b) * p3 + p4 ------- */

int nratioSetup(CalcContext *ctx, const char *bands, const char *params, const char *outBands)
{
    static const FixedTexts texts = {"nratio: Input bands must be two.", "nratio: Input band out of range.",
                                     "nratio: invalid output band."};
    if (!fixedBands(ctx, 2, bands, outBands, texts)) {
        return 0;
    }
    return readParams(
        ctx, params, {0.0f, 0.0f, 1.0f, 1.0f, 0.0f}, [](int n) { return n <= 5; }, "nratio: Invalid parameter(s).");
}

void nratioKernel(const CalcContext *ctx, const CalcRow *r)
{
    const float *p = ctx->params.data();
    const float p0 = p[0], p1 = p[1], p2 = p[2], p3 = p[3], p4 = p[4];
    const float *x0 = r->in[0], *x1 = r->in[1];
    float *y = r->out[0];
    overBlocks(r->columns, [&](int i, auto count) {
        [](const float *__restrict u, const float *__restrict v, float *__restrict out, auto n, float du, float dv,
           float scale, float gain, float offset) {
            for (int k = 0; k < n; k++) {
                float a = u[k] - du;
                float b = (v[k] - dv) * scale;
                out[k] = (a - b) / guarded(a + b) * gain + offset;
            }
        }(x0 + i, x1 + i, y + i, count, p0, p1, p2, p3, p4);
    });
}

/* ---- stretch: (x_k - p[2k+1]) * p[2k] per band -------------------------------- */

int stretchSetup(CalcContext *ctx, const char *bands, const char *params, const char *outBands)
{
    if (!freeBands(ctx, bands, "stretch: Too many input bands.", "stretch: Input band out of range.") ||
        !perBandOutputs(ctx, outBands, "stretch: Inconsistant output and input bands.",
                        "stretch: Output band is out of range.")) {
        return 0;
    }
    int n = static_cast<int>(ctx->inBands.size());
    std::vector<float> defaults;
    for (int k = 0; k < n; k++) {
        defaults.push_back(1.0f);
        defaults.push_back(0.0f);
    }
    return readParams(
        ctx, params, std::move(defaults), [n](int count) { return count % 2 == 0 && count <= 2 * n; },
        "stretch: Invalide parameter(s).");
}

void stretchKernel(const CalcContext *ctx, const CalcRow *r)
{
    for (size_t k = 0; k < ctx->outBands.size(); k++) {
        calcStretchRun(r->in[k], r->out[k], r->columns, ctx->params[2 * k], ctx->params[2 * k + 1]);
    }
}

/* ---- dev: radial de-vignetting --------------------------------------------------- */

int devSetup(CalcContext *ctx, const char *bands, const char *params, const char *outBands)
{
    if (!freeBands(ctx, bands, "DEV: Too many input bands.", "DEV: Input band out of range.") ||
        !perBandOutputs(ctx, outBands, "DEV: Inconsistant output and input bands.",
                        "DEV: Output band is out of range.")) {
        return 0;
    }
    std::vector<float> defaults = {2.0f,
                                   1.5f,
                                   50.0f,
                                   8.0f,
                                   0.0068f,
                                   0.0068f,
                                   static_cast<float>(ctx->columns * 0.5),
                                   static_cast<float>(ctx->rows * 0.5)};
    if (!readParams(
            ctx, params, std::move(defaults), [](int n) { return n <= 8; }, "DEV: Invalid parameter(s).")) {
        return 0;
    }
    /* p3 is the focal distance: the correction divides by it. */
    if (ctx->params[3] == 0.0f || !std::isfinite(ctx->params[3])) {
        return fail("DEV: Invalid parameter(s).");
    }
    ctx->params[0] *= 2.0f;
    return 1;
}

/*
 * devKernel --
 *	For the pixel at (row r, column c): dy = (r - p7) p5, dx = (p6 - c) p4,
 *	g = sqrt((dy^2 + dx^2 + p3^2) / p3^2) - 1 (the squares and their sum in
 *	single precision, the quotient and the root in double); every band's
 *	value becomes exp(p0 g) (x - p1) + p1 with the doubled p0, so that the
 *	dark level p1 stays fixed and the centre pixel comes back unchanged.
 */
void devKernel(const CalcContext *ctx, const CalcRow *r)
{
    const float *p = ctx->params.data();
    const float dy = (static_cast<float>(r->row) - p[7]) * p[5];
    const float dy2 = dy * dy, f2 = p[3] * p[3];
    const double exponent = p[0];
    float *factor = r->scratch;
    for (int c = 0; c < r->columns; c++) {
        float dx = (p[6] - static_cast<float>(c)) * p[4];
        double g = std::sqrt(static_cast<double>(dy2 + dx * dx + f2) / f2) - 1.0;
        factor[c] = static_cast<float>(std::exp(exponent * g));
    }
    const float dark = p[1];
    for (size_t k = 0; k < ctx->outBands.size(); k++) {
        overBlocks(r->columns, [&](int i, auto count) {
            [](const float *__restrict x, const float *__restrict f, float *__restrict out, auto n, float level) {
                for (int j = 0; j < n; j++) {
                    out[j] = f[j] * (x[j] - level) + level;
                }
            }(r->in[k] + i, factor + i, r->out[k] + i, count, dark);
        });
    }
}

/* ---- linear: p[n] + sum of p[k] x_k ----------------------------------------------- */

int linearSetup(CalcContext *ctx, const char *bands, const char *params, const char *outBands)
{
    if (!freeBands(ctx, bands, "linear: Too many input bands.", "linear: Input band out of range.") ||
        !oneOutput(ctx, outBands, "linear: output band must be 1.")) {
        return 0;
    }
    int n = static_cast<int>(ctx->inBands.size());
    std::vector<float> defaults(static_cast<size_t>(n), 1.0f / static_cast<float>(n));
    defaults.push_back(0.0f);
    return readParams(
        ctx, params, std::move(defaults), [n](int count) { return count == 0 || count == n + 1; },
        "linear: invalide parameter(s).");
}

void linearKernel(const CalcContext *ctx, const CalcRow *r)
{
    size_t n = ctx->inBands.size();
    float *y = r->out[0];
    std::fill_n(y, r->columns, ctx->params[n]);
    for (size_t k = 0; k < n; k++) {
        overBlocks(r->columns, [&](int i, auto count) {
            [](const float *__restrict x, float *__restrict out, auto m, float weight) {
                for (int j = 0; j < m; j++) {
                    out[j] += weight * x[j];
                }
            }(r->in[k] + i, y + i, count, ctx->params[k]);
        });
    }
}

/* ---- avg: the mean of the bands, or the ceiling once a band reaches it ------------ */

int avgSetup(CalcContext *ctx, const char *bands, const char *params, const char *outBands)
{
    if (!freeBands(ctx, bands, "avg: Too many input bands.", "avg: Input band out of range.") ||
        !oneOutput(ctx, outBands, "avg: output band must be 1.")) {
        return 0;
    }
    return readParams(
        ctx, params, {FLT_MAX}, [](int n) { return n <= 1; }, "avg: invalide parameter(s).");
}

/* The sum of the bands goes to the result row and the number of values at or
 * above the ceiling to the scratch row; then each pixel with such a value
 * takes the ceiling, the others the sum over the band count. */
void avgKernel(const CalcContext *ctx, const CalcRow *r)
{
    const float ceiling = ctx->params[0];
    const size_t n = ctx->inBands.size();
    float *sum = r->out[0], *reached = r->scratch;
    std::fill_n(sum, r->columns, 0.0f);
    std::fill_n(reached, r->columns, 0.0f);
    for (size_t k = 0; k < n; k++) {
        overBlocks(r->columns, [&](int i, auto count) {
            [](const float *__restrict x, float *__restrict s, float *__restrict hit, auto m, float top) {
                for (int j = 0; j < m; j++) {
                    s[j] += x[j];
                    hit[j] += x[j] >= top ? 1.0f : 0.0f;
                }
            }(r->in[k] + i, sum + i, reached + i, count, ceiling);
        });
    }
    const float count = static_cast<float>(n);
    overBlocks(r->columns, [&](int i, auto m) {
        [](float *__restrict s, const float *__restrict hit, auto len, float top, float bands) {
            for (int j = 0; j < len; j++) {
                s[j] = blend(hit[j] > 0.0f, top, s[j] / bands);
            }
        }(sum + i, reached + i, m, ceiling, count);
    });
}

/* ---- norm: each band over the mean of the divisor bands ------------------------ */

/* A norm band list: the numbers of text, or first .. last when text is
 * NULL; -1 on a syntax error or when there are too many. */
int normList(const char *text, int last, std::vector<int> &list)
{
    list.assign(CALC_MAX_BANDS, 0);
    if (text != nullptr) {
        int n = parseNumberList(text, list.data(), CALC_MAX_BANDS);
        list.resize(n > 0 ? static_cast<size_t>(n) : 0);
        return n;
    }
    if (last > CALC_MAX_BANDS) {
        return -1;
    }
    for (int k = 0; k < last; k++) {
        list[k] = k + 1;
    }
    list.resize(static_cast<size_t>(last));
    return last;
}

/*
 * normSetup --
 *	-b and -ob pair input and output bands (by default every band of each
 *	image; the counts must agree). -par lists the divisor's bands as
 *	positions 1 .. nIn in the selected input bands, by default all of
 *	them.
 */
int normSetup(CalcContext *ctx, const char *bands, const char *params, const char *outBands)
{
    std::vector<int> in, out, par;
    int nIn = normList(bands, ctx->inImageBands, in);
    int nOut = normList(outBands, ctx->outImageBands, out);
    if (nIn != nOut || nIn < 1 || nIn > ctx->inImageBands || nOut > ctx->outImageBands) {
        return fail("invalid input/output bands");
    }
    ctx->inBands.clear();
    ctx->outBands.clear();
    for (int k = 0; k < nIn; k++) {
        if (in[k] < 1 || in[k] > ctx->inImageBands) {
            return fail("input band out of range");
        }
        if (out[k] < 1 || out[k] > ctx->outImageBands) {
            return fail("output band out of range");
        }
        ctx->inBands.push_back(in[k] - 1);
        ctx->outBands.push_back(out[k] - 1);
    }
    int nPar = normList(params, nIn, par);
    if (nPar < 1) {
        return fail("invalid par specification");
    }
    ctx->parBands.clear();
    for (int position : par) {
        if (position < 1 || position > ctx->inImageBands || position > nIn) {
            return fail("par band out of range");
        }
        ctx->parBands.push_back(position - 1);
    }
    ctx->params.clear();
    return 1;
}

/* The divisor (the mean of the divisor bands) goes to the scratch row; a
 * divisor of 0 gives the floating-point quotient (infinity or NaN). */
void normKernel(const CalcContext *ctx, const CalcRow *r)
{
    float *mean = r->scratch;
    std::fill_n(mean, r->columns, 0.0f);
    for (int position : ctx->parBands) {
        overBlocks(r->columns, [&](int i, auto count) {
            [](const float *__restrict x, float *__restrict s, auto m) {
                for (int j = 0; j < m; j++) {
                    s[j] += x[j];
                }
            }(r->in[position] + i, mean + i, count);
        });
    }
    const float n = static_cast<float>(ctx->parBands.size());
    overBlocks(r->columns, [&](int i, auto count) {
        [](float *__restrict s, auto m, float bands) {
            for (int j = 0; j < m; j++) {
                s[j] /= bands;
            }
        }(mean + i, count, n);
    });
    for (size_t k = 0; k < ctx->outBands.size(); k++) {
        overBlocks(r->columns, [&](int i, auto count) {
            [](const float *__restrict x, const float *__restrict m, float *__restrict out, auto len) {
                for (int j = 0; j < len; j++) {
                    out[j] = x[j] / m[j];
                }
            }(r->in[k] + i, mean + i, r->out[k] + i, count);
        });
    }
}

}  // namespace

const CalcModule calcModules[CALC_MODULES] = {
    {"dratio", "dratio", dratioSetup, dratioKernel},
    {"ratio", "radio", ratioSetup, ratioKernel},
    {"nratio", "nradio", nratioSetup, nratioKernel},
    {"stretch", "stretch", stretchSetup, stretchKernel},
    {"dev", "dev", devSetup, devKernel},
    {"linear", "linear", linearSetup, linearKernel},
    {"avg", "pavg", avgSetup, avgKernel},
    {"norm", "normalize", normSetup, normKernel},
};

int calcFindModule(const char *name)
{
    for (int m = 0; m < CALC_MODULES; m++) {
        if (name != nullptr && strCaseCmp(calcModules[m].name, name) == 0) {
            return m;
        }
    }
    return CALC_MODULES;
}

void calcStretchRun(const float *in, float *out, int n, float gain, float offset)
{
    overBlocks(n, [&](int i, auto count) {
        [](const float *__restrict x, float *__restrict y, auto m, float g, float o) {
            for (int j = 0; j < m; j++) {
                y[j] = (x[j] - o) * g;
            }
        }(in + i, out + i, count, gain, offset);
    });
}

int calcPassLongs(const char *text, std::vector<int> &out, int max)
{
    out.clear();
    if (text == nullptr) {
        return 0;
    }
    int count = 0;
    eachItem(text, [&](std::string_view item) {
        if (!item.empty() && item.front() == '+') {
            item.remove_prefix(1);
        }
        long long value = 0;
        auto [end, error] = std::from_chars(item.data(), item.data() + item.size(), value);
        if (error == std::errc::result_out_of_range) {
            value = item.front() == '-' ? LLONG_MIN : LLONG_MAX;
        } else if (error != std::errc() || end != item.data() + item.size()) {
            value = 0;
        }
        if (count < max) {
            out.push_back(static_cast<int>(value < INT_MIN ? INT_MIN : value > INT_MAX ? INT_MAX : value));
        }
        count++;
    });
    return count;
}

int calcPassFloats(const char *text, std::vector<float> &out, int max)
{
    out.clear();
    if (text == nullptr) {
        return 0;
    }
    int count = 0;
    bool bad = false;
    eachItem(text, [&](std::string_view item) {
        if (!item.empty() && item.front() == '+') {
            item.remove_prefix(1);
        }
        /* a finite number, finite again as a float */
        double number = 0.0;
        const std::string word(item);
        if (std::isspace(static_cast<unsigned char>(word.c_str()[0])) || !cWholeNumber(word.c_str(), &number) ||
            !(std::fabs(number) <= FLT_MAX)) {
            bad = true;
            number = 0.0;
        }
        float value = static_cast<float>(number);
        if (count < max) {
            out.push_back(value);
        }
        count++;
    });
    return bad ? -1 : count;
}
