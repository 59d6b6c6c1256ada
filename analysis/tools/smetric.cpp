/*
 * smetric.cpp --
 *
 *	"rimage smetric", systematic radiometric calibration: removes column
 *	(X), row (Y) or both (XY) shading and radial fall-off (R) measured from
 *	the input itself as smoothed mean profiles, matches a band's histogram
 *	to another's (Z), or removes an analytic exponential fall-off along the
 *	columns, the rows or the radius (EX, EY, EXY). Corrections are additive
 *	(ADD) or multiplicative about a fixed level (MULTI). Its entry fills
 *	the smetric row of the rimage tool table.
 */
#include "analysis/tools/tools.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <strings.h>
#include <vector>

#include "analysis/tools/toolutil.h"
#include "analysis/tools/tooltable.h"
#include "imagestore/codes.h"
#include "imagestore/formats/detect.h"
#include "imagestore/pixels.h"
#include "imagestore/ramimage.h"
#include "imagestore/stats.h"
#include "runtime/cnumber.h"
#include "runtime/tooloptions.h"
#include "runtime/util.h"
#include "tesk_stdio.h"

namespace {

const char *const kUsage[] = {
    "Usage: %s -in IN -out OUT -o OPT -sr SR -nr NR -sc SC -nc NC -l LOW -h HIGH -m MD -dark DARK -p PAR -b B -w WIN",
    "    where",
    "    IN      the input image ID;",
    "    OUT     the output image ID;",
    "    OPT     the option for sysmetric calibaration:",
    "                X:   avg horizontal calibration",
    "                Y:   avg vertical calibration",
    "                XY:  avg X-Y 2D calibration",
    "                R:   avg X-Y 2D calibration",
    "                Z:   hist Z calibration",
    "                EX:  exp. horizontal calibartion",
    "                EY:  exp. vertical calibration",
    "                EXY: exp. X-Y 2D calibration",
    "    SC      the start column of the input sample area",
    "    SR      the start row of the input sample area",
    "    NC      the number of columns or start angle",
    "    NR      the number of rows or end angle",
    "    LOW     the low boundary",
    "    HIGH    the high boundary",
    "    MD      the optione of model: add or multi",
    "    DARK    the dark value",
    "    PAR     the additional parameters: p,r,a0,a1,c",
    "                p:power; r:radius; a0:amp; a1:gain; c:const",
    "                def: 1.0,128,1.0,1.0,0.0",
    "    B       band selection: i1[[:o1];i2[:o2];...]",
    "    WIN     width of window (def: 32)",
};

enum {
    OPT_O,
    OPT_IN,
    OPT_OUT,
    OPT_SR,
    OPT_NR,
    OPT_SC,
    OPT_NC,
    OPT_L,
    OPT_H,
    OPT_DARK,
    OPT_P,
    OPT_M,
    OPT_B,
    OPT_W,
    OPT_COUNT
};
enum { MODE_X, MODE_Y, MODE_XY, MODE_R, MODE_Z, MODE_EX, MODE_EY, MODE_EXY };
enum { MODEL_ADD = 8, MODEL_MULTI = 9 };
constexpr float kHuge = 3.4028235e38f;
constexpr double kMaxRadius = 1e7;  // radius bins R may hold (a centre far off the image)

struct SmetricContext {
    RamImage *input = nullptr;
    RamImage *output = nullptr;
    MadeOutput made;  // the output this run created, dropped when the run fails
    int option = MODE_X;
    int model = MODEL_ADD;
    int columns = 0, rows = 0;  // the smaller of the two images'
    std::vector<int> inBands, outBands;
    int sampleRow = 0, sampleRows = 0;        // X: first row and count; R: centre row, end angle
    int sampleColumn = 0, sampleColumns = 0;  // Y: first column and count; R: centre column, start angle
    int window = 32;                          // smoothing window, at least 1
    float low = -kHuge, high = kHuge;         // sampled values lie in low .. high
    float dark = 0.0f;
    float power = 1.0f, radius = 128.0f, amplitude = 1.0f, gain = 1.0f, constant = 0.0f;
    std::vector<float> inRow, outRow;  // the work rows
};

void releaseImages(SmetricContext *ctx)
{
    for (RamImage **image : {&ctx->output, &ctx->input}) {
        if (*image != nullptr) {
            ramImageRelease(*image, nullptr);
            *image = nullptr;
        }
    }
}

int parseFailed(SmetricContext *ctx, int error)
{
    releaseImages(ctx);
    ramImagePrintError(error);
    return 0;
}

/*
 * createOutput --
 *	Makes the output out, which did not open, from the input's
 *	descriptor: a memory type as a memory image of the store, any other
 *	type as a new file, never over an existing file (one that did not
 *	open as an image is not ours to truncate). On success ctx->output
 *	holds it; on failure a message is printed and *error is the code.
 */
bool createOutput(SmetricContext *ctx, const char *out, int *error)
{
    ImageDesc desc = ctx->input->desc;
    if (std::strlen(out) >= sizeof desc.file) {
        tesk_fprintf(stderr, "Error in create %s.\n", out);
        return false;
    }
    std::snprintf(desc.file, sizeof desc.file, "%s", out);
    desc.dataFd = -1;
    int code = RAMIMG_OK;
    if (isMemoryImgId(desc.imgid)) {
        if (ramImageCreate(&desc, nullptr, 0, &code) == nullptr) {
            tesk_fprintf(stderr, "Error in create %s.\n", out);
            *error = code;
            return false;
        }
        ctx->made.memory = out;
    } else {
        if (fileExists(out) == 0) {
            tesk_fprintf(stderr, "Error in create %s.\n", out);
            *error = RAMIMG_EXISTS;
            return false;
        }
        if (ramImageNewFile(&desc) == -1) {
            tesk_fprintf(stderr, "Error in create %s.\n", out);
            return false;
        }
        ctx->made.file = out;
    }
    ctx->output = ramImageOpen(out, out, nullptr, nullptr, &code);
    if (ctx->output == nullptr) {
        tesk_fprintf(stderr, "Error in open %s.\n", out);
        *error = code;
        return false;
    }
    return true;
}

int modeCode(const char *text)
{
    static const struct {
        const char *word;
        int mode;
    } kModes[] = {{"X", MODE_X}, {"Y", MODE_Y},   {"XY", MODE_XY}, {"YX", MODE_XY},   {"R", MODE_R},
                  {"Z", MODE_Z}, {"EX", MODE_EX}, {"EY", MODE_EY}, {"EXY", MODE_EXY}, {"EYX", MODE_EXY}};
    for (const auto &m : kModes) {
        if (strcasecmp(text, m.word) == 0) {
            return m.mode;
        }
    }
    return -1;
}

/* -p: exactly five numbers p,r,a0,a1,c; nothing is stored otherwise. */
bool parseExpParams(SmetricContext *ctx, const char *text)
{
    float values[5];
    int n = 0;
    const char *p = text;
    while (true) {
        const char *comma = std::strchr(p, ',');
        if (n == 5) {
            tesk_fprintf(stderr, "invalid syntax for par: must be p,r,a0,a1,c\n");
            return false;
        }
        double v = 0;
        if (!cToolNumber(p, &v)) {
            tesk_fprintf(stderr, "invalid syntax for par: must be p,r,a0,a1,c\n");
            return false;
        }
        values[n++] = static_cast<float>(v);
        if (comma == nullptr) {
            break;
        }
        p = comma + 1;
    }
    if (n != 5) {
        tesk_fprintf(stderr, "invalid syntax for par: must be p,r,a0,a1,c\n");
        return false;
    }
    if (values[2] < 0.0f) {
        tesk_fprintf(stderr, "invalid negative amplitude.\n");
        return false;
    }
    if (values[3] < 0.0f) {
        tesk_fprintf(stderr, "invalid negative gain.\n");
        return false;
    }
    if (values[1] == 0.0f) {
        tesk_fprintf(stderr, "invalid radius.\n");
        return false;
    }
    ctx->power = values[0];
    ctx->radius = values[1];
    ctx->amplitude = values[2];
    ctx->gain = values[3];
    ctx->constant = values[4];
    return true;
}

/*
 * smetricParseOptions --
 *	Reads the options, opens the input and opens or creates the output;
 *	1 with both held for the run, 0 after the messages with both
 *	released.
 */
int smetricParseOptions(int argc, const char **argv, SmetricContext *ctx)
{
    ToolOption options[OPT_COUNT + 1] = {
        {"-o", nullptr},  {"-in", nullptr}, {"-out", nullptr}, {"-sr", nullptr}, {"-nr", nullptr},
        {"-sc", nullptr}, {"-nc", nullptr}, {"-l", nullptr},   {"-h", nullptr},  {"-dark", nullptr},
        {"-p", nullptr},  {"-m", nullptr},  {"-b", nullptr},   {"-w", nullptr},  {nullptr, nullptr},
    };
    int unknown = parseToolOptions(options, argc, argv);
    if (unknown > 0) {
        tesk_fprintf(stderr, "Error: %d unknown param(s).\n", unknown);
        return 0;
    }
    const char *in = options[OPT_IN].value;
    if (in == nullptr) {
        tesk_fprintf(stderr, "Input image missing!.\n");
        return 0;
    }
    int error = RAMIMG_OK;
    ctx->input = ramImageOpen(in, in, nullptr, nullptr, &error);
    if (ctx->input == nullptr) {
        tesk_fprintf(stderr, "Error in open: %s\n", in);
        return parseFailed(ctx, error);
    }
    const ImageDesc &inDesc = ctx->input->desc;
    if (options[OPT_O].value != nullptr) {
        ctx->option = modeCode(options[OPT_O].value);
        if (ctx->option < 0) {
            tesk_fprintf(stderr, "Unknown option.\n");
            return parseFailed(ctx, error);
        }
        if (ctx->option == MODE_R) {
            ctx->sampleColumn = inDesc.columns / 2;
            ctx->sampleRow = inDesc.rows / 2;
            ctx->low = 1.0f;
            ctx->sampleColumns = 0;
            ctx->sampleRows = 360;
        }
    }
    if (options[OPT_W].value != nullptr) {
        ctx->window = toolInt(options[OPT_W].value);
        if (ctx->window < 1) {
            ctx->window = 8;
        }
    }
    const char *out = options[OPT_OUT].value != nullptr ? options[OPT_OUT].value : in;
    ctx->output = ramImageOpen(out, out, nullptr, nullptr, &error);
    if (ctx->output == nullptr) {
        if (!createOutput(ctx, out, &error)) {
            return parseFailed(ctx, error);
        }
        error = RAMIMG_OK;
    }
    const struct {
        int index;
        float *field;
    } kReals[] = {{OPT_L, &ctx->low}, {OPT_H, &ctx->high}, {OPT_DARK, &ctx->dark}};
    for (const auto &entry : kReals) {
        double v = 0;
        if (options[entry.index].value == nullptr) {
            continue;
        }
        if (!cToolNumber(options[entry.index].value, &v)) {
            tesk_fprintf(stderr, "Invalid value for %s: must be finite.\n", options[entry.index].option);
            return parseFailed(ctx, error);
        }
        *entry.field = static_cast<float>(v);
    }
    if (const char *m = options[OPT_M].value; m != nullptr) {
        if (strcasecmp(m, "ADD") == 0) {
            ctx->model = MODEL_ADD;
        } else if (strcasecmp(m, "MULTI") == 0) {
            ctx->model = MODEL_MULTI;
        } else {
            tesk_fprintf(stderr, "Unknown model.\n");
            return parseFailed(ctx, error);
        }
    }
    if (options[OPT_P].value != nullptr && !parseExpParams(ctx, options[OPT_P].value)) {
        return parseFailed(ctx, error);
    }
    const struct {
        int index;
        int *field;
    } kIntegers[] = {{OPT_NR, &ctx->sampleRows},
                     {OPT_SR, &ctx->sampleRow},
                     {OPT_NC, &ctx->sampleColumns},
                     {OPT_SC, &ctx->sampleColumn}};
    for (const auto &entry : kIntegers) {
        if (options[entry.index].value != nullptr) {
            *entry.field = toolInt(options[entry.index].value);
        }
    }
    ctx->inBands.assign(TESK_MAX_BAND_PAIRS, 0);
    ctx->outBands.assign(TESK_MAX_BAND_PAIRS, 0);
    int pairs = parseToolBandPairs(inDesc.nbands, ctx->output->desc.nbands, ctx->inBands.data(),
                                   ctx->outBands.data(), options[OPT_B].value);
    if (pairs <= 0) {
        return parseFailed(ctx, error);
    }
    ctx->inBands.resize(pairs);
    ctx->outBands.resize(pairs);
    ctx->columns = std::min(inDesc.columns, ctx->output->desc.columns);
    ctx->rows = std::min(inDesc.rows, ctx->output->desc.rows);
    ctx->inRow.assign(ctx->columns, 0.0f);
    ctx->outRow.assign(ctx->columns, 0.0f);
    return 1;
}

/* ---- Profiles ------------------------------------------------------------ */

/*
 * smoothProfile --
 *	Moving box of window entries over n values held stride apart: the
 *	box at j covers j - h + 1 .. j + window - h (h = window / 2), indices
 *	outside 0 .. n - 1 taking the nearest end. Window 1 changes nothing.
 */
void smoothProfile(double *values, int n, size_t stride, int window, std::vector<double> &scratch)
{
    if (window <= 1 || n <= 0) {
        return;
    }
    auto at = [&](long long i) { return values[static_cast<size_t>(std::clamp<long long>(i, 0, n - 1)) * stride]; };
    const long long w = window, h = w / 2, lo = -h, hi = w - 1 - h;
    scratch.resize(n);
    /* The first box, positions lo .. hi, with the clamped ends counted at
     * once (a window may be far wider than the profile). */
    double sum = 0.0;
    if (lo < 0) {
        sum += static_cast<double>(std::min(hi, -1LL) - lo + 1) * at(0);
    }
    if (hi > n - 1) {
        sum += static_cast<double>(hi - std::max(lo, static_cast<long long>(n)) + 1) * at(n - 1);
    }
    for (long long i = std::max(lo, 0LL); i <= std::min(hi, static_cast<long long>(n) - 1); i++) {
        sum += at(i);
    }
    for (long long j = 0; j < n; j++) {
        sum += at(j + w - h) - at(j - h);
        scratch[j] = sum;
    }
    for (int j = 0; j < n; j++) {
        values[static_cast<size_t>(j) * stride] = scratch[j];
    }
}

/* Profile sums and counts of every pair, n positions each, pair-major. */
struct Profile {
    int n = 0;
    std::vector<double> sums, counts;
    void reset(int pairs, int positions)
    {
        n = positions;
        sums.assign(static_cast<size_t>(pairs) * positions, 0.0);
        counts.assign(static_cast<size_t>(pairs) * positions, 0.0);
    }
    void add(int k, int j, float v, float low, float high)
    {
        if (v >= low && v <= high) {
            sums[static_cast<size_t>(k) * n + j] += v;
            counts[static_cast<size_t>(k) * n + j] += 1.0;
        }
    }
};

/*
 * corrections --
 *	Turns each pair's smoothed profile into corrections in place of the
 *	sums (as floats in q): ADD the mean minus the profile's average, MULTI
 *	the mean over the average, means less the dark level. An empty
 *	position fails with the routine's name and the index word.
 */
bool corrections(const SmetricContext *ctx, Profile &profile, const char *routine, const char *indexWord,
                 std::vector<float> &q)
{
    const int pairs = static_cast<int>(ctx->inBands.size()), n = profile.n;
    q.assign(static_cast<size_t>(pairs) * n, 0.0f);
    std::vector<double> scratch;
    for (int k = 0; k < pairs; k++) {
        double *sums = profile.sums.data() + static_cast<size_t>(k) * n;
        double *counts = profile.counts.data() + static_cast<size_t>(k) * n;
        smoothProfile(sums, n, 1, ctx->window, scratch);
        smoothProfile(counts, n, 1, ctx->window, scratch);
        float *qk = q.data() + static_cast<size_t>(k) * n;
        double total = 0.0;
        for (int j = 0; j < n; j++) {
            if (!(counts[j] > 0.0)) {
                tesk_fprintf(stderr, "Failed to find pixel in %s.\n", routine);
                tesk_fprintf(stderr, "b: %d  %s: %d\n", k, indexWord, j);
                return false;
            }
            float mean = static_cast<float>(sums[j] / counts[j]) - ctx->dark;
            if (mean == 0.0f) {
                mean = 1e-32f;
            }
            qk[j] = mean;
            total += mean;
        }
        const float avg = static_cast<float>(total / n);
        for (int j = 0; j < n; j++) {
            qk[j] = ctx->model == MODEL_ADD ? qk[j] - avg : qk[j] / avg;
        }
    }
    return true;
}

/* The first index and count of a sample range inside 0 .. size - 1. */
void sampleRange(int first, int count, int size, int *start, int *n)
{
    *start = (first < 0 || first >= size) ? 0 : first;
    *n = (count <= 0 || count > size - *start) ? size - *start : count;
}

/* Column profile (X): sampled rows of the input, one position a column. */
bool xStats(const SmetricContext *ctx, std::vector<float> &q)
{
    int start, n;
    sampleRange(ctx->sampleRow, ctx->sampleRows, ctx->input->desc.rows, &start, &n);
    Profile profile;
    profile.reset(static_cast<int>(ctx->inBands.size()), ctx->columns);
    std::vector<float> row(ctx->columns);
    for (int r = start; r < start + n; r++) {
        for (size_t k = 0; k < ctx->inBands.size(); k++) {
            ramImageGetFloat(ctx->input, r, 0, ctx->columns, ctx->inBands[k], row.data());
            for (int c = 0; c < ctx->columns; c++) {
                profile.add(static_cast<int>(k), c, row[c], ctx->low, ctx->high);
            }
        }
    }
    return corrections(ctx, profile, "xStats", "j", q);
}

/* Row profile (Y): sampled columns of every row, one position a row. */
bool yStats(const SmetricContext *ctx, std::vector<float> &q)
{
    int start, n;
    sampleRange(ctx->sampleColumn, ctx->sampleColumns, ctx->input->desc.columns, &start, &n);
    Profile profile;
    profile.reset(static_cast<int>(ctx->inBands.size()), ctx->rows);
    std::vector<float> row(n);
    for (int r = 0; r < ctx->rows; r++) {
        for (size_t k = 0; k < ctx->inBands.size(); k++) {
            ramImageGetFloat(ctx->input, r, start, n, ctx->inBands[k], row.data());
            for (int c = 0; c < n; c++) {
                profile.add(static_cast<int>(k), r, row[c], ctx->low, ctx->high);
            }
        }
    }
    return corrections(ctx, profile, "yStats", "i", q);
}

/* ---- Corrections ----------------------------------------------------------- */

/*
 * correctRows --
 *	For every pair and row: reads the input band, lets fill put the
 *	row's corrections (ADD: subtrahends, MULTI: divisors) into q, applies
 *	them and writes the output band.
 */
template <typename Fill>
void correctRows(SmetricContext *ctx, Fill fill)
{
    const int columns = ctx->columns;
    float *v = ctx->inRow.data(), *q = ctx->outRow.data();
    for (size_t k = 0; k < ctx->inBands.size(); k++) {
        for (int r = 0; r < ctx->rows; r++) {
            ramImageGetFloat(ctx->input, r, 0, columns, ctx->inBands[k], v);
            fill(static_cast<int>(k), r, q);
            if (ctx->model == MODEL_ADD) {
                for (int c = 0; c < columns; c++) {
                    v[c] -= q[c];
                }
            } else {
                const float dark = ctx->dark;
                for (int c = 0; c < columns; c++) {
                    v[c] = (v[c] - dark) / q[c] + dark;
                }
            }
            ramImagePutFloat(ctx->output, r, 0, columns, ctx->outBands[k], v);
        }
    }
}

int smetricApplyX(SmetricContext *ctx)
{
    std::vector<float> qx;
    if (!xStats(ctx, qx)) {
        return 0;
    }
    correctRows(ctx, [&](int k, int, float *q) {
        std::copy_n(qx.data() + static_cast<size_t>(k) * ctx->columns, ctx->columns, q);
    });
    return 1;
}

int smetricApplyY(SmetricContext *ctx)
{
    std::vector<float> qy;
    if (!yStats(ctx, qy)) {
        return 0;
    }
    correctRows(
        ctx, [&](int k, int r, float *q) { std::fill_n(q, ctx->columns, qy[static_cast<size_t>(k) * ctx->rows + r]); });
    return 1;
}

int smetricApplyXY(SmetricContext *ctx)
{
    std::vector<float> qx, qy;
    if (!xStats(ctx, qx) || !yStats(ctx, qy)) {
        return 0;
    }
    const bool add = ctx->model == MODEL_ADD;
    correctRows(ctx, [&](int k, int r, float *q) {
        const float *x = qx.data() + static_cast<size_t>(k) * ctx->columns;
        const float y = qy[static_cast<size_t>(k) * ctx->rows + r];
        for (int c = 0; c < ctx->columns; c++) {
            q[c] = add ? x[c] + y : x[c] * y;
        }
    });
    return 1;
}

/* R: radius profile from rays out of the centre, one position a whole
 * pixel of distance; a pixel beyond the last bin takes the last. */
int rSysMetric(SmetricContext *ctx)
{
    const double cx = ctx->sampleColumn, cy = ctx->sampleRow;
    const double w = ctx->input->desc.columns, h = ctx->input->desc.rows;
    double rMax = 0.0;
    for (double x : {0.0, w}) {
        for (double y : {0.0, h}) {
            rMax = std::max(rMax, std::hypot(x - cx, y - cy));
        }
    }
    if (!(rMax < kMaxRadius)) {
        tesk_fprintf(stderr, "malloc error in rSysMetric.\n");
        return 0;
    }
    const int n = std::max(1, static_cast<int>(rMax));
    const int pairs = static_cast<int>(ctx->inBands.size());
    Profile profile;
    profile.reset(pairs, n);
    std::vector<float> samples(static_cast<size_t>(n) * pairs);
    const double start = ctx->sampleColumns, end = ctx->sampleRows;
    const double step = (end - start) / 120.0;
    for (int i = 0; i < 120; i++) {
        const double theta = start + i * step;
        if (!(theta < end)) {
            break;
        }
        const double radians = theta * M_PI / 180.0;
        ramImageGetProfile(ctx->input, cx, cy, cx + rMax * std::sin(radians), cy - rMax * std::cos(radians), pairs,
                           ctx->inBands.data(), samples.data(), n, 1);
        for (int j = 0; j < n; j++) {
            for (int k = 0; k < pairs; k++) {
                profile.add(k, j, std::trunc(samples[static_cast<size_t>(j) * pairs + k]), ctx->low, ctx->high);
            }
        }
    }
    std::vector<float> qr;
    if (!corrections(ctx, profile, "rSysMetric", "j", qr)) {
        return 0;
    }
    std::vector<int> bin(ctx->columns);
    correctRows(ctx, [&](int k, int r, float *q) {
        const double dy = r - cy;
        const float *qk = qr.data() + static_cast<size_t>(k) * n;
        for (int c = 0; c < ctx->columns; c++) {
            int d = static_cast<int>(std::sqrt((c - cx) * (c - cx) + dy * dy));
            q[c] = qk[std::min(d, n - 1)];
        }
    });
    return 1;
}

/*
 * zLookup --
 *	The table that maps bin i, of cumulative count a[i], to the first bin
 *	j of b whose cumulative count is nearest; the bins below a's first
 *	filled one and from the one where a is complete are spread linearly.
 */
void zLookup(const uint32_t *histA, const uint32_t *histB, int n, unsigned char *table)
{
    std::vector<double> a(n), b(n);
    double sumA = 0.0, sumB = 0.0;
    for (int i = 0; i < n; i++) {
        a[i] = sumA += histA[i];
        b[i] = sumB += histB[i];
    }
    auto first = [n](const std::vector<double> &v, auto test) {
        int i = 0;
        while (i < n - 1 && !test(v[i])) {
            i++;
        }
        return i;
    };
    const int a0 = first(a, [](double v) { return v != 0.0; });
    const int b0 = first(b, [](double v) { return v != 0.0; });
    std::vector<int> lut(n);
    for (int i = 0; i < a0; i++) {
        lut[i] = static_cast<int>(std::trunc((a0 + 1.0) * b0 / a0 - 0.5));
    }
    int from = b0 > 0 ? b0 - 1 : 0;
    for (int i = a0; i < n; i++) {
        int best = from;
        for (int j = from + 1; j < n; j++) {
            if (std::fabs(a[i] - b[j]) < std::fabs(a[i] - b[best])) {
                best = j;
            }
        }
        lut[i] = from = best;
    }
    const int aFull = first(a, [sumA](double v) { return v >= sumA; });
    const int bFull = first(b, [sumB](double v) { return v >= sumB; });
    for (int i = aFull; i < n; i++) {
        lut[i] = static_cast<int>(std::trunc(static_cast<double>(i - aFull) * (n - bFull) / (n - aFull) + 0.5 + bFull));
    }
    for (int i = 0; i < n; i++) {
        table[i] = static_cast<unsigned char>(std::clamp(lut[i], 0, 255));
    }
}

/* Z: each pair's band of the output mapped through the lookup table that
 * matches the input band's histogram to the output band's. */
int zSysMetric(SmetricContext *ctx)
{
    if (ctx->input->desc.pixel != PIX_BYTE || ctx->output->desc.pixel != PIX_BYTE) {
        tesk_fprintf(stderr, "Images must be of byte pixels\n");
        return 0;
    }
    for (size_t k = 0; k < ctx->inBands.size(); k++) {
        if (ctx->inBands[k] >= ctx->output->desc.nbands) {
            tesk_fprintf(stderr, "Error in band params.\n");
            return 0;
        }
    }
    std::vector<unsigned char> row(ctx->columns);
    unsigned char table[256];
    for (size_t k = 0; k < ctx->inBands.size(); k++) {
        BandStat *a = ramImageHist(ctx->input, 0, 1, 1);
        BandStat *b = a != nullptr ? ramImageHist(ctx->output, 0, 1, 1) : nullptr;
        if (b == nullptr) {
            tesk_fprintf(stderr, "malloc error in zSysMetric\n");
            return 0;
        }
        const BandStat &sa = a[ctx->inBands[k]], &sb = b[ctx->outBands[k]];
        if (sa.bins == nullptr || sb.bins == nullptr || sa.nBins != 256 || sb.nBins != 256) {
            tesk_fprintf(stderr, "malloc error in zSysMetric\n");
            return 0;
        }
        zLookup(sa.bins, sb.bins, 256, table);
        for (int r = 0; r < ctx->rows; r++) {
            ramImageGetBytes(ctx->output, r, 0, ctx->columns, ctx->inBands[k], row.data());
            for (unsigned char &v : row) {
                v = table[v];
            }
            ramImagePutBytes(ctx->output, r, 0, ctx->columns, ctx->outBands[k], row.data());
        }
        if (ctx->output->stats != nullptr) {
            statReset(&ctx->output->stats[ctx->outBands[k]]);
        }
    }
    return 1;
}

/* EX, EY, EXY: q = a0·f + c (ADD) or a0·f + 1 (MULTI, about the level
 * c), f(d) = exp(-a1·(|d| / r)^p). */
int eSysmetric(SmetricContext *ctx)
{
    const bool add = ctx->model == MODEL_ADD;
    const double base = add ? ctx->constant : 1.0;
    auto q = [&](double d) {
        return static_cast<float>(ctx->amplitude * std::exp(-ctx->gain * std::pow(std::fabs(d) / ctx->radius,
                                                                                  static_cast<double>(ctx->power))) +
                                  base);
    };
    std::vector<float> table;
    if (ctx->option == MODE_EX) {
        table.resize(ctx->columns);
        for (int c = 0; c < ctx->columns; c++) {
            table[c] = q(c - ctx->sampleColumn);
        }
    } else if (ctx->option == MODE_EY) {
        table.resize(ctx->rows);
        for (int r = 0; r < ctx->rows; r++) {
            table[r] = q(r - ctx->sampleRow);
        }
    }
    /* MULTI keeps c, not the dark level, fixed. */
    const float savedDark = ctx->dark;
    if (!add) {
        ctx->dark = ctx->constant;
    }
    correctRows(ctx, [&](int, int r, float *out) {
        if (ctx->option == MODE_EX) {
            std::copy(table.begin(), table.end(), out);
        } else if (ctx->option == MODE_EY) {
            std::fill_n(out, ctx->columns, table[r]);
        } else {
            const double dy = r - ctx->sampleRow;
            for (int c = 0; c < ctx->columns; c++) {
                out[c] = q(std::hypot(c - ctx->sampleColumn, dy));
            }
        }
    });
    ctx->dark = savedDark;
    return 1;
}

/* After every run: the output's statistics reset, its clients told, both
 * images released. */
void smetricFinish(SmetricContext *ctx)
{
    ctx->inRow.clear();
    ctx->outRow.clear();
    if (ctx->output != nullptr) {
        if (ctx->output->stats != nullptr) {
            for (int b = 0; b < ctx->output->desc.nbands; b++) {
                statReset(&ctx->output->stats[b]);
            }
        }
        ramImageNotifyClients(ctx->output, 0, RAMIMG_CONFIG);
    }
    releaseImages(ctx);
}

int smetricRun(SmetricContext *ctx)
{
    switch (ctx->option) {
    case MODE_X: return smetricApplyX(ctx);
    case MODE_Y: return smetricApplyY(ctx);
    case MODE_XY: return smetricApplyXY(ctx);
    case MODE_R: return rSysMetric(ctx);
    case MODE_Z: return zSysMetric(ctx);
    default: return eSysmetric(ctx);
    }
}

}  // namespace

int rimageSmetricMain(const char *programName, int argc, const char **argv)
{
    if (argc <= 0) {
        printToolUsage(programName, kUsage, true);
        return TOOL_USAGE;
    }
    SmetricContext ctx;
    int answer = TOOL_FAILED;
    try {
        if (smetricParseOptions(argc, argv, &ctx)) {
            answer = smetricRun(&ctx) ? TOOL_DONE : TOOL_FAILED;
            smetricFinish(&ctx);
        }
    } catch (const std::bad_alloc &) {
        tesk_fprintf(stderr, "Error in malloc.\n");
        smetricFinish(&ctx);
        answer = TOOL_FAILED;
    }
    /* A refused run leaves no new file or memory image behind. */
    if (answer == TOOL_FAILED) {
        dropMadeOutput(&ctx.made);
    }
    return answer;
}
