/*
 * pcalc.cpp --
 *
 *	"rimage pcalc", per-pixel calibration with a parameter image: every
 *	pixel's value goes through a polynomial or a piecewise-linear curve
 *	whose coefficients or knots are the par image's bands (one par pixel
 *	per input pixel, or one par row per input band), or every pixel's band
 *	values are fitted by a polynomial over given positions, the
 *	coefficients going into the par image and the residual into the
 *	output. Its entry fills the pcalc row of the rimage tool table.
 */
#include "analysis/tools/tools.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <strings.h>
#include <vector>

#include "analysis/regress.h"
#include "analysis/tools/toolutil.h"
#include "analysis/tools/tooltable.h"
#include "imagestore/pixels.h"
#include "imagestore/ramimage.h"
#include "imagestore/stats.h"
#include "runtime/cnumber.h"
#include "tesk_stdio.h"

namespace {

const char *const kUsage[] = {
    "Usage: %s -in IN -out OUT -par PARIMG -op OP -norm NORM -layer LAYER",
    "where",
    "    IN     input image file.",
    "    OUT    output image file.",
    "    PARIMG parameter image file.",
    "    OP     operation type.",
    "    NORM   normalize: H, V, NONE (def: NONE).",
    "    LAYER  data layer: XZ or XY (def: XY).",
};

enum { OPT_IN, OPT_OUT, OPT_PAR, OPT_OP, OPT_NORM, OPT_LAYER, OPT_COUNT };
enum { NORM_NONE = 0, NORM_H = 1, NORM_V = 2 };
enum { LAYER_XZ = 3, LAYER_XY = 4 };
constexpr int kOpRegression = -2;  // op of the regression mode
constexpr int kOpPiecewise = -1;   // op of the piecewise-linear mapping
constexpr int kMaxValues = 128;    // values after the first word of -op
constexpr size_t kMaxOpText = 1023;

struct PcalcContext {
    RamImage *input = nullptr;
    RamImage *par = nullptr;
    RamImage *output = nullptr;
    int op = 1;       // first number of -op; kOpRegression for the fit
    int nValues = 0;  // values after the first number, without a threshold
    int order = 0;    // polynomial order
    int norm = NORM_NONE;
    int layer = LAYER_XY;
    float threshold = 3.4028235e38f;  // values at or above it end a pixel's data
    double values[kMaxValues];
};

/* Releases the three images (a changed image is written back at its last
 * release) and resets the meter; answers 1. */
int pcalcRelease(PcalcContext *ctx)
{
    for (RamImage **image : {&ctx->output, &ctx->par, &ctx->input}) {
        if (*image != nullptr) {
            ramImageRelease(*image, nullptr);
            *image = nullptr;
        }
    }
    meterReset();
    return 1;
}

int parseFailed(PcalcContext *ctx, int error)
{
    pcalcRelease(ctx);
    ramImagePrintError(error);
    return 0;
}

/*
 * parseOperator --
 *	Splits -op at commas and blanks: an integer, then at most kMaxValues
 *	decimal numbers. False for an empty, overlong or malformed text.
 */
bool parseOperator(PcalcContext *ctx, const char *text)
{
    if (std::strlen(text) > kMaxOpText) {
        return false;
    }
    const char *p = text;
    bool first = true;
    ctx->nValues = 0;
    while (true) {
        while (*p == ',' || *p == ' ' || *p == '\t') {
            p++;
        }
        if (*p == '\0') {
            break;
        }
        char *end = nullptr;
        errno = 0;
        if (first) {
            long value = std::strtol(p, &end, 10);
            if (end == p || errno != 0 || value < -1000000 || value > 1000000) {
                return false;
            }
            ctx->op = static_cast<int>(value);
            first = false;
        } else {
            double value = 0;
            const char *past = p;
            if (!cReadNumber(p, &value, &past) || ctx->nValues >= kMaxValues) {
                return false;
            }
            end = const_cast<char *>(past);
            ctx->values[ctx->nValues++] = value;
        }
        if (*end != '\0' && *end != ',' && *end != ' ' && *end != '\t') {
            return false;
        }
        p = end;
    }
    return !first;
}

/* The size rules of the layer: the par image and the output must cover
 * what the run reads and writes. */
bool sizesFit(const PcalcContext *ctx)
{
    const ImageDesc &in = ctx->input->desc, &par = ctx->par->desc, &out = ctx->output->desc;
    bool parFits = par.columns >= in.columns;
    if (ctx->op == kOpRegression || ctx->layer == LAYER_XY) {
        parFits = parFits && par.rows >= in.rows;
    } else {
        parFits = parFits && par.rows >= in.nbands;
    }
    if (!parFits) {
        tesk_fprintf(stderr, "Unmatched size of par image.\n");
        return false;
    }
    int bands = ctx->op == kOpRegression ? 1 : in.nbands;
    if (out.rows < in.rows || out.columns < in.columns || out.nbands < bands) {
        tesk_fprintf(stderr, "Unmatched size of output image.\n");
        return false;
    }
    return true;
}

/*
 * pcalcParseOptions --
 *	Reads the options and opens the three images; 1 with them held for
 *	the run, or 0 after the messages with everything released.
 */
int pcalcParseOptions(PcalcContext *ctx, int argc, const char **argv)
{
    ToolOption options[OPT_COUNT + 1] = {{"-in", nullptr},   {"-out", nullptr},   {"-par", nullptr}, {"-op", nullptr},
                                         {"-norm", nullptr}, {"-layer", nullptr}, {nullptr, nullptr}};
    int unknown = parseToolOptions(options, argc, argv);
    if (unknown > 0) {
        tesk_fprintf(stderr, "Error: %d unknown param(s).\n", unknown);
        return 0;
    }
    int error = RAMIMG_OK;
    auto openImage = [&](const char *text, RamImage **image) {
        *image = ramImageOpen(text, text, nullptr, nullptr, &error);
        if (*image == nullptr) {
            tesk_fprintf(stderr, "Error in open: %s\n", text);
            return false;
        }
        return true;
    };
    const char *in = options[OPT_IN].value;
    if (in == nullptr) {
        tesk_fprintf(stderr, "Input image missing.\n");
        return parseFailed(ctx, error);
    }
    if (!openImage(in, &ctx->input)) {
        return parseFailed(ctx, error);
    }
    const char *out = options[OPT_OUT].value;
    if (out == nullptr) {
        tesk_fprintf(stderr, "Output image missing.\n");
        return parseFailed(ctx, error);
    }
    if (!openImage(out, &ctx->output)) {
        return parseFailed(ctx, error);
    }
    const char *layer = options[OPT_LAYER].value;
    if (layer != nullptr) {
        if (strcasecmp(layer, "XZ") == 0) {
            ctx->layer = LAYER_XZ;
        } else if (strcasecmp(layer, "XY") == 0) {
            ctx->layer = LAYER_XY;
        } else {
            tesk_fprintf(stderr, "Unknown data layer.\n");
            return parseFailed(ctx, error);
        }
    }
    const char *par = options[OPT_PAR].value;
    if (par == nullptr) {
        tesk_fprintf(stderr, "image of parameter missing.\n");
        return parseFailed(ctx, error);
    }
    if (!openImage(par, &ctx->par)) {
        return parseFailed(ctx, error);
    }

    const int bands = ctx->input->desc.nbands;
    const int parBands = ctx->par->desc.nbands;
    int expected;
    if (options[OPT_OP].value != nullptr) {
        if (!parseOperator(ctx, options[OPT_OP].value)) {
            tesk_fprintf(stderr, "Error in parsing operator.\n");
            return parseFailed(ctx, error);
        }
        if (ctx->op != kOpPiecewise) {
            ctx->order = ctx->op;
            if (ctx->nValues > 0) {
                ctx->op = kOpRegression;
                if (ctx->nValues == bands + 1) {
                    ctx->threshold = static_cast<float>(ctx->values[--ctx->nValues]);
                } else if (ctx->nValues != bands) {
                    tesk_fprintf(stderr, "Unmatched parameters in input image file.\n");
                    return parseFailed(ctx, error);
                }
                if (ctx->order >= ctx->nValues) {
                    tesk_fprintf(stderr, "A lower order of a polynomial is expected.\n");
                    return parseFailed(ctx, error);
                }
            }
            expected = ctx->order + 1;
        } else {
            if (parBands < ctx->nValues) {
                ctx->threshold = static_cast<float>(ctx->values[--ctx->nValues]);
            }
            expected = ctx->nValues;
        }
    } else {
        ctx->op = ctx->order = parBands - 1;
        expected = parBands;
    }
    if (expected != parBands) {
        tesk_fprintf(stderr, "Unmatched parameters in par image file.\n");
        return parseFailed(ctx, error);
    }
    const char *norm = options[OPT_NORM].value;
    if (norm != nullptr) {
        if (strcasecmp(norm, "H") == 0) {
            ctx->norm = NORM_H;
        } else if (strcasecmp(norm, "V") == 0) {
            ctx->norm = NORM_V;
        } else if (strcasecmp(norm, "NONE") == 0) {
            ctx->norm = NORM_NONE;
        } else {
            tesk_fprintf(stderr, "Unknown flag of normilze.\n");
            return parseFailed(ctx, error);
        }
    }
    if (!sizesFit(ctx)) {
        return parseFailed(ctx, error);
    }
    return 1;
}

/* c[0] + c[1]·x + ... + c[k-1]·x^(k-1) in single precision. */
inline float polynomial(float x, const float *c, int k)
{
    float sum = c[0], power = 1.0f;
    for (int i = 1; i < k; i++) {
        power *= x;
        sum += c[i] * power;
    }
    return sum;
}

/*
 * piecewise --
 *	x mapped through the knots k[0 .. n-1] (ascending) onto the targets
 *	y: interpolated between the two knots around x (the first two for an
 *	x below the first knot), extrapolated from the last two knots below
 *	the threshold beyond them. Fewer than two knots below the threshold
 *	give 0.
 */
inline float piecewise(float x, const float *k, const double *y, int n, float threshold)
{
    if (n < 2 || !(k[0] < threshold) || !(k[1] < threshold)) {
        return 0.0f;
    }
    int j = 1;
    for (; j < n; j++) {
        if (k[j] >= threshold) {
            break;
        }
        if (x <= k[j]) {
            break;
        }
    }
    int upper = (j < n && k[j] < threshold) ? j : j - 1;
    double a = k[upper - 1], b = k[upper];
    double ya = y[upper - 1], yb = y[upper];
    if (b == a) {
        return static_cast<float>(ya);
    }
    return static_cast<float>(((x - a) * yb + (b - x) * ya) / (b - a));
}

/* The curve of the run over n values, the par pixel of value i at
 * coefficients + i * step. */
void applyCurve(const PcalcContext *ctx, float *values, int n, const float *coefficients, size_t step)
{
    const int k = ctx->par->desc.nbands;
    if (ctx->op == kOpPiecewise) {
        for (int i = 0; i < n; i++) {
            values[i] = piecewise(values[i], coefficients + i * step, ctx->values, k, ctx->threshold);
        }
    } else {
        for (int i = 0; i < n; i++) {
            values[i] = polynomial(values[i], coefficients + i * step, k);
        }
    }
}

/* Reports the fraction of rows done at every tenth. */
class TenthsMeter {
public:
    explicit TenthsMeter(const char *label) : label_(label) {}
    void row(int done, int rows)
    {
        float fraction = static_cast<float>(done) / static_cast<float>(rows);
        if (fraction >= level_) {
            meterSet(label_, fraction);
            level_ += 0.1f;
        }
    }

private:
    const char *label_;
    float level_ = 0.1f;
};

/* Resets the statistics of bands 0 .. n - 1 of an image and tells its
 * clients that its pixels changed. */
void announceChange(RamImage *image, int n)
{
    if (image->stats != nullptr) {
        for (int b = 0; b < n && b < image->desc.nbands; b++) {
            statReset(&image->stats[b]);
        }
    }
    ramImageNotifyClients(image, 0, RAMIMG_CONFIG);
}

/* XY layer: par pixel (r, c) holds the curve of input pixel (r, c). */
int pcalcRunXY(PcalcContext *ctx)
{
    const int rows = ctx->input->desc.rows, columns = ctx->input->desc.columns;
    const int bands = ctx->input->desc.nbands, k = ctx->par->desc.nbands;
    std::vector<float> row(columns);
    std::vector<float> par(static_cast<size_t>(columns) * k);
    TenthsMeter meter("pcalc xy");
    for (int r = 0; r < rows; r++) {
        ramImageGetFloatBIP(ctx->par, r, 0, columns, 1, k, nullptr, par.data());
        for (int b = 0; b < bands; b++) {
            ramImageGetFloat(ctx->input, r, 0, columns, b, row.data());
            applyCurve(ctx, row.data(), columns, par.data(), k);
            ramImagePutFloat(ctx->output, r, 0, columns, b, row.data());
        }
        meter.row(r + 1, rows);
    }
    meterSet("pcalc xy", 1.0f);
    announceChange(ctx->output, bands);
    return pcalcRelease(ctx);
}

/* Each array divided by its largest value, when that is positive. */
void scaleByLargest(std::vector<float> &f)
{
    float largest = 0.0f;
    for (float v : f) {
        largest = std::max(largest, v);
    }
    if (largest > 0.0f) {
        for (float &v : f) {
            v /= largest;
        }
    }
}

/* The normalising factor of one par pixel: 1 / slope at x = 1 of a
 * polynomial, the knot span of a piecewise curve. */
float pixelFactor(const PcalcContext *ctx, const float *c)
{
    const int k = ctx->par->desc.nbands;
    if (ctx->op == kOpPiecewise) {
        return c[k - 1] - c[0];
    }
    float slope = 0.0f;
    for (int i = 1; i < k; i++) {
        slope += static_cast<float>(i) * c[i];
    }
    if (slope == 0.0f) {
        slope = 1e-8f;
    }
    return 1.0f / slope;
}

/* XZ layer: par pixel (b, c) holds the curve of column c of input band b
 * on every row; H and V scale the results by the columns' or the bands'
 * factors. */
int pcalcRunXZ(PcalcContext *ctx)
{
    const int rows = ctx->input->desc.rows, columns = ctx->input->desc.columns;
    const int bands = ctx->input->desc.nbands, k = ctx->par->desc.nbands;
    const int parRows = ctx->par->desc.rows, parColumns = ctx->par->desc.columns;
    const size_t parRow = static_cast<size_t>(parColumns) * k;
    std::vector<float> par(parRow * parRows);
    for (int j = 0; j < parRows; j++) {
        ramImageGetFloatBIP(ctx->par, j, 0, parColumns, 1, k, nullptr, par.data() + parRow * j);
    }
    std::vector<float> f(parRows), g(parColumns);
    for (int j = 0; j < parRows; j++) {
        f[j] = pixelFactor(ctx, par.data() + parRow * j + static_cast<size_t>(parColumns / 2) * k);
    }
    for (int c = 0; c < parColumns; c++) {
        g[c] = pixelFactor(ctx, par.data() + parRow * (parRows / 2) + static_cast<size_t>(c) * k);
    }
    scaleByLargest(f);
    scaleByLargest(g);

    std::vector<float> values(static_cast<size_t>(columns) * bands);
    TenthsMeter meter("pcalc xz");
    for (int r = 0; r < rows; r++) {
        for (int b = 0; b < bands; b++) {
            float *band = values.data() + static_cast<size_t>(b) * columns;
            ramImageGetFloat(ctx->input, r, 0, columns, b, band);
            applyCurve(ctx, band, columns, par.data() + parRow * b, k);
            if (ctx->norm == NORM_H) {
                for (int c = 0; c < columns; c++) {
                    band[c] *= g[c];
                }
            } else if (ctx->norm == NORM_V) {
                for (int c = 0; c < columns; c++) {
                    band[c] *= f[b];
                }
            }
            ramImagePutFloat(ctx->output, r, 0, columns, b, band);
        }
        meter.row(r + 1, rows);
    }
    meterSet("pcalc xz", 1.0f);
    announceChange(ctx->output, bands);
    return pcalcRelease(ctx);
}

/*
 * PolyFit --
 *	The least-squares polynomial of one pixel: its work arrays, reused
 *	for every pixel.
 */
struct PolyFit {
    int order;
    std::vector<double> matrix, sums, sample, coef;
    std::vector<unsigned char> work;
    explicit PolyFit(int m)
        : order(m), matrix(static_cast<size_t>(m + 1) * (m + 1)), sums(m + 2), sample(m + 2), coef(m + 1),
          work(resolveWorkBytes(m, m + 1))
    {}

    /* Fits y over x (n pairs) into a[0 .. order] and answers the residual
     * √(V / n), V the residual variance; false when the fit has no
     * solution. */
    bool fit(const double *x, const float *y, int n, float *a, float *residual)
    {
        std::fill(matrix.begin(), matrix.end(), 0.0);
        std::fill(sums.begin(), sums.end(), 0.0);
        for (int i = 0; i < n; i++) {
            accumulatePolySample(x[i], y[i], order, matrix.data(), sums.data(), sample.data());
        }
        normalizeCovariance(order + 1, sums[0], matrix.data(), sums.data() + 1);
        if (!resolve(matrix.data(), order, order + 1, work.data())) {
            return false;
        }
        extractRegressionCoefficients(coef.data(), matrix.data(), sums.data(), order + 1);
        for (int i = 0; i <= order; i++) {
            a[i] = static_cast<float>(coef[i]);
        }
        double v = std::max(matrix[matrix.size() - 1], 0.0);
        *residual = static_cast<float>(std::sqrt(v / n));
        return true;
    }
};

/* Regression: each pixel's band values (up to the first at or above the
 * threshold) fitted over the -op positions; coefficients into the par
 * image, the residual into the output's first band. */
int pcalcRunReg(PcalcContext *ctx)
{
    const int rows = ctx->input->desc.rows, columns = ctx->input->desc.columns;
    const int bands = ctx->input->desc.nbands, k = ctx->order + 1;
    std::vector<float> pixels(static_cast<size_t>(columns) * bands);
    std::vector<float> coefficients(static_cast<size_t>(columns) * k);
    std::vector<float> residuals(columns);
    PolyFit poly(ctx->order);
    TenthsMeter meter("pcalc reg");
    for (int r = 0; r < rows; r++) {
        ramImageGetFloatBIP(ctx->input, r, 0, columns, 1, bands, nullptr, pixels.data());
        for (int c = 0; c < columns; c++) {
            const float *y = pixels.data() + static_cast<size_t>(c) * bands;
            float *a = coefficients.data() + static_cast<size_t>(c) * k;
            int n = 0;
            while (n < bands && y[n] < ctx->threshold) {
                n++;
            }
            if (n < k || !poly.fit(ctx->values, y, n, a, &residuals[c])) {
                std::fill(a, a + k, 0.0f);
                residuals[c] = 0.0f;
            }
        }
        ramImagePutFloat(ctx->output, r, 0, columns, 0, residuals.data());
        writeFloatBIPData(ctx->par, r, 0, columns, k, nullptr, coefficients.data());
        meter.row(r + 1, rows);
    }
    meterSet("pcalc reg", 1.0f);
    announceChange(ctx->output, 1);
    announceChange(ctx->par, k);
    return pcalcRelease(ctx);
}

}  // namespace

int rimagePcalcMain(const char *programName, int argc, const char **argv)
{
    if (argc <= 0) {
        printToolUsage(programName, kUsage, true);
        return TOOL_USAGE;
    }
    PcalcContext ctx;
    try {
        if (!pcalcParseOptions(&ctx, argc, argv)) {
            return TOOL_FAILED;
        }
        if (ctx.op == kOpRegression) {
            return pcalcRunReg(&ctx);
        }
        return ctx.layer == LAYER_XZ ? pcalcRunXZ(&ctx) : pcalcRunXY(&ctx);
    } catch (const std::bad_alloc &) {
        tesk_fprintf(stderr, "Error in memory allocation.\n");
        pcalcRelease(&ctx);
        return TOOL_FAILED;
    }
}
